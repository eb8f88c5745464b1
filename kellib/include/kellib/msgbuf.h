/*
 * MsgBuf: the growable byte buffer every request handler reads its payload
 * from and every reply is built in.
 *
 * Readers remove what they return from the front of the buffer and answer
 * KEL_SHORT_BUFFER (-100) when it holds too little.  No reader ever reads
 * past iLen, and the string readers never write past the capacity they are
 * given, whatever the payload says.
 */
#ifndef KELLIB_MSGBUF_H
#define KELLIB_MSGBUF_H

#include <winsock2.h> /* before windows.h, which would bring the old winsock.h */
#include <windows.h>

#define KEL_SHORT_BUFFER (-100)

struct MsgBuf {
    int iBufSize; /* bytes allocated for szBuf */
    int iLen;     /* bytes in use */
    char *szBuf;  /* C heap, owned by the buffer */
};

/* Allocates n bytes when n > 0 (else szBuf is null and iBufSize 0); iLen 0.
 * Returns 1, or 0 when the allocation failed (the buffer is then empty). */
int InitMsgBuf(MsgBuf *buffer, int n);
/* Frees szBuf and sets both counts to 0. */
void FreeMsgBuf(MsgBuf *buffer);

int TakeInt(MsgBuf *buffer);
int TakeByte(MsgBuf *buffer);
/* Zero-fills out (n bytes) when given; with iLen >= n copies and removes n
 * bytes and returns 0, else returns -100 and leaves the buffer as it was.
 * A null out only discards.  A negative n is refused with -100. */
int TakeBytes(MsgBuf *buffer, void *out, int n);
/* Copies the NUL-terminated string at the front into out (at most
 * outSize - 1 characters, always terminated) and removes it with its NUL.
 * A string longer than out is cut, but removed whole, so the fields after it
 * stay in step; a string without NUL runs to the end of the buffer. */
int TakeString(MsgBuf *buffer, char *out, int outSize);
/* Copies bytes up to a 0x01 or the end of the buffer into out (cut to
 * outSize - 1), removes them and the 0x01. */
int TakeField(MsgBuf *buffer, char *out, int outSize);

template <int N> inline int TakeString(MsgBuf *buffer, char (&out)[N])
{
    return TakeString(buffer, out, N);
}
template <int N> inline int TakeField(MsgBuf *buffer, char (&out)[N])
{
    return TakeField(buffer, out, N);
}

/* Writers; each returns 1, or 0 when memory ran out or the buffer would pass
 * KEL_MAX_WIRE_LENGTH (the buffer is then unchanged). */
int AppendBytes(MsgBuf *buffer, const void *data, int n);
int AppendByte(MsgBuf *buffer, int b);
int AppendInt(MsgBuf *buffer, int v);
#define APPEND_NO_NUL 0x1
int AppendString(MsgBuf *buffer, const char *text, int flags);

#endif /* KELLIB_MSGBUF_H */
