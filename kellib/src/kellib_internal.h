/*
 * kellib's private entry points: the pieces of the framing, inflation and
 * socket binding that the library shares between its files and that its
 * tests and fuzzers drive directly.  Never included by the programs.
 */
#ifndef KELLIB_INTERNAL_H
#define KELLIB_INTERNAL_H

#include "kellib/msgbuf.h"

#include <winsock2.h>

/* ---- inflation (compress.cpp) ---- */

enum KelInflateResult {
    KEL_INFLATE_OK = 1,     /* a complete stream, all input consumed */
    KEL_INFLATE_BAD = 0,    /* zlib error, truncated stream, trailing bytes or
                               output past KEL_MAX_WIRE_LENGTH */
    KEL_INFLATE_NOMEM = -1, /* allocation failed (the box was shown) */
};

/* Inflates one whole zlib stream into a new C-heap block with one spare
 * byte behind the data.  On KEL_INFLATE_OK *out and *outLen hold it (the
 * caller frees it); otherwise *out is null.  boxTitle captions the
 * out-of-memory box. */
KelInflateResult KelInflateBlock(const char *in, int inLen, char **out, int *outLen,
                                 const char *boxTitle);

/* ---- framing (wire.cpp) ---- */

struct KelFrameHeader {
    int compressed; /* header byte 0, signed */
    int mode;       /* header byte 1, signed */
    int length;     /* bytes of body that follow */
};

/* Reads the 6 header bytes.  Returns 1 for a frame worth receiving; 0 when
 * its length is 0, negative or beyond KEL_MAX_WIRE_LENGTH. */
int KelParseHeader(const unsigned char *header, KelFrameHeader *out);
/* Writes the header bytes for a body of `length` bytes. */
void KelBuildHeader(unsigned char *header, int compressed, int mode, int length);

/* Turns the body in buffer->szBuf (header.length bytes, with room for at
 * least one more) into the payload: checks and removes the protection, then
 * inflates.  1: szBuf holds the payload and a NUL, iLen its length.
 * 0: integrity failure or bad compressed stream; iLen is 0 and szBuf[0] 0,
 * so nothing of the frame is delivered. */
int KelDecodeFrame(const KelFrameHeader *header, MsgBuf *buffer);

/* ---- socket binding (winsock_bind.cpp) ---- */

/* Loads the given DLL name as the Winsock module (replacing any loaded
 * one); KELLoadWinsock picks the name.  Returns 1 when loaded. */
int KelLoadWinsockModule(LPCSTR dllName);
/* The loaded module, or null. */
HMODULE KelWinsockModule(void);

/* Waits at most `ms` milliseconds for the socket to become readable
 * (forWrite false) or writable (forWrite true). */
void KelWaitSocket(SOCKET socket, int ms, bool forWrite);

#endif /* KELLIB_INTERNAL_H */
