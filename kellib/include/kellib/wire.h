/*
 * Wire messages: a 6-byte header (compressed flag, protection mode, int32
 * length of what follows), the payload, and the trailer of modes 4 and 8.
 * The sender compresses, then protects; the receiver undoes it in reverse.
 */
#ifndef KELLIB_WIRE_H
#define KELLIB_WIRE_H

#include <winsock2.h>
#include "msgbuf.h"

/* Send options (a bit set; the highest protection bit wins). */
#define SEND_NO_COMPRESS 0x002
#define SEND_BLOWFISH 0x040
#define SEND_AES 0x080
#define SEND_AES_DIGEST 0x100
#define SEND_SEALED 0x200

/* Receive option: give up after 3000 idle polls of at most 10 ms. */
#define RECV_BOUNDED 0x002
#define KEL_RECV_IDLE_POLLS 3000
#define KEL_RECV_POLL_MS 10

#define KEL_HEADER_SIZE 6
/* Payloads of at most 100 bytes are never compressed. */
#define KEL_COMPRESS_THRESHOLD 100

/* The largest length field, and the largest decompressed payload, that a
 * receiver accepts.  Nothing the server sends comes near it (files travel in
 * pieces); a frame claiming more is refused before anything is allocated. */
#define KEL_MAX_WIRE_LENGTH (256 * 1024 * 1024)

/* Returns 1 when the whole message was sent and when length <= 0 (nothing
 * to send); 0 for socket 0 and whenever the message was not sent whole (a
 * send error abandoned it, no memory, too large).  The caller's bytes are
 * never changed. */
int SendMessageWithSize(SOCKET socket, const char *data, int length, int options);
int SendString(SOCKET socket, const char *text, int options);

/* 1: a whole message decoded into buffer (payload then one NUL in szBuf,
 * iLen its length), or no data waiting at all (szBuf[0] = 0, iLen kept).
 * 0: connection closed, socket error, integrity failure, malformed frame or
 * exhausted bounded wait. */
int KELrecv(SOCKET socket, MsgBuf *buffer, int options);
/* KELrecv with the idle poll budget as a parameter (KELrecv passes
 * KEL_RECV_IDLE_POLLS): a caller, or a test, may bound the wait closer. */
int KELrecvEx(SOCKET socket, MsgBuf *buffer, int options, int idlePolls);

/* Reads the local host name into out (at most outSize - 1 characters) and
 * sends it as a string; 1 on success, 0 (out empty) on failure. */
int KELgethostname(SOCKET socket, char *out, int outSize);

#endif /* KELLIB_WIRE_H */
