/*
 * The named-file reception of the session (m_NamedFile): one transfer at a
 * time, from its first piece until its announced size has arrived or a
 * piece out of order restarts it.  Touched only by SEND_NAMED_FILE's
 * handler, under the print lock.
 */
#ifndef NOVARCPRINT_NAMED_FILE_STATE_H
#define NOVARCPRINT_NAMED_FILE_STATE_H

#include <winsock2.h> /* before windows.h, which would bring the old winsock.h */
#include <windows.h>

#include <kellib.h>

struct NamedFileHeader {
    int iFileId;
    char szPath[MAX_PATH];
    int iTotalSize;
    int iFlags;
};

struct NamedFileTransfer {
    bool bOpen = false;
    NamedFileHeader header = {};
    int iNextPiece = 0;
    MsgBuf data = {};
};

#endif /* NOVARCPRINT_NAMED_FILE_STATE_H */
