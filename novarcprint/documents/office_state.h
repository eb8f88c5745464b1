/*
 * What the office and ECG requests keep in the session (m_Office): the
 * Word and Excel files being received in pieces, and whether the
 * workstation's office program is the headless one registered under App
 * Paths.  Touched only under the session's print lock.
 */
#ifndef NOVARCPRINT_OFFICE_STATE_H
#define NOVARCPRINT_OFFICE_STATE_H

#include <windows.h>

#include <kellib.h>

/* A received office file: compressed pieces held in memory until its end. */
struct OfficeReception {
    int iState = -1; /* -1: the next piece starts a file */
    bool bError = false;
    HANDLE hFile = INVALID_HANDLE_VALUE;
    char szName[MAX_PATH] = "";
    char szPath[MAX_PATH] = "";
    char szUpperName[MAX_PATH] = "";
    MsgBuf Buffer = {};
    OfficeReception() = default;
    OfficeReception(const OfficeReception &) = delete;
    OfficeReception &operator=(const OfficeReception &) = delete;
    ~OfficeReception()
    {
        if (hFile != INVALID_HANDLE_VALUE)
            CloseHandle(hFile);
        FreeMsgBuf(&Buffer);
    }
};

struct OfficeState {
    OfficeReception m_Word;
    OfficeReception m_Excel;
    bool m_bOpenOffice = false;
    char m_szOpenOfficePath[MAX_PATH] = "";
};

#endif /* NOVARCPRINT_OFFICE_STATE_H */
