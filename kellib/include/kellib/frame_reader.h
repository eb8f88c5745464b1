/*
 * A wire message gathered from a non-blocking socket as its bytes arrive,
 * never waiting for the rest: for a loop that serves many peers and must
 * not stop for a slow one.  The print service reads the first message of
 * every print connection this way, so a peer that sends a byte at a time
 * holds only its own connection, and the service closes it when its time
 * is up.
 *
 * The message is decoded exactly as KELrecv decodes one (protection mode,
 * integrity check, inflation).
 */
#ifndef KELLIB_FRAME_READER_H
#define KELLIB_FRAME_READER_H

#include <winsock2.h>

#include "kellib/msgbuf.h"
#include "kellib/wire.h"

struct KelFrameReader {
    unsigned char header[KEL_HEADER_SIZE];
    int iHeaderGot; /* header bytes received so far */
    int iBodyGot;   /* body bytes received so far */
    MsgBuf body;    /* the body, sized once the header is in */
};

#define KEL_FRAME_DONE 1 /* a whole message: the payload is in *pOut */
#define KEL_FRAME_MORE 0 /* nothing more to read now: wait for FD_READ */
#define KEL_FRAME_FAILED                                                                           \
    -1 /* closed, a socket error, a frame longer than                                              \
          allowed, or one that does not decode */

void KELInitFrameReader(KelFrameReader *pReader);
/* Frees what the reader holds; it may be used again after KELInitFrameReader. */
void KELFreeFrameReader(KelFrameReader *pReader);

/* Reads what the socket has now (at most one message) and never waits.
 * iMaxLength bounds the frame's declared length: a longer one fails before
 * anything is allocated for it.  On KEL_FRAME_DONE the payload replaces the
 * contents of *pOut (iLen its length, a NUL behind it) and the reader is
 * ready for the next message. */
int KELReadFrameSome(SOCKET s, KelFrameReader *pReader, int iMaxLength, MsgBuf *pOut);

#endif /* KELLIB_FRAME_READER_H */
