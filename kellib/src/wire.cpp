/*
 * Wire messages on a socket: SendMessageWithSize builds and sends one frame,
 * KELrecv reads one and decodes it into a MsgBuf.
 *
 * The header and body decoding (KelParseHeader, KelDecodeFrame) know
 * nothing of sockets, so everything a peer controls can be exercised from
 * memory by the tests and the fuzzer.
 *
 * Both work on blocking and non-blocking sockets alike.  Where the socket
 * has nothing to give (or no room to take), they wait at most
 * KEL_RECV_POLL_MS for it to become ready instead of sleeping a fixed time
 * or spinning, so flowing data is never delayed and an idle socket costs no
 * CPU.  The bounded receive counts those waits.
 */
#include "kellib/compress.h"
#include "kellib/protect.h"
#include "kellib/sock.h"
#include "kellib/wire.h"
#include "kellib_internal.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

/* What a body's first read may reserve before its bytes arrive. */
constexpr int64_t kFirstBodyBlock = 64 * 1024;

/* Nothing of a frame that fails to decode may reach a handler. */
int Reject(MsgBuf *buffer)
{
    buffer->iLen = 0;
    if (buffer->szBuf != nullptr && buffer->iBufSize > 0)
        buffer->szBuf[0] = '\0';
    return 0;
}

/* Reads until `want` bytes are in `out`.  Returns 1 when complete, 0 on
 * close, error or an exhausted bounded wait, and -1 when the socket would
 * block before the first byte and `mayReturnEmpty` is set. */
int ReceiveExactly(SOCKET socket, char *out, int want, bool mayReturnEmpty, bool bounded,
                   int idlePolls, const char *logTag)
{
    int got = 0;
    int idle = 0;
    while (got < want) {
        if (bounded && idle >= idlePolls)
            return 0;
        int n = KelWs_recv(socket, out + got, want - got, 0);
        if (n > 0) {
            got += n;
            idle = 0;
            continue;
        }
        if (n == 0)
            return 0;
        int error = KelWs_WSAGetLastError();
        if (error != WSAEWOULDBLOCK) {
            KELDiagLog(error, logTag);
            return 0;
        }
        if (got == 0 && mayReturnEmpty)
            return -1;
        KelWaitSocket(socket, KEL_RECV_POLL_MS, false);
        if (bounded)
            ++idle;
    }
    return 1;
}

/* Makes szBuf hold at least `size` bytes.  Its old contents are not kept:
 * they belong to the previous message. */
bool EnsureCapacity(MsgBuf *buffer, int size)
{
    if (buffer->szBuf != nullptr && buffer->iBufSize >= size)
        return true;
    char *block = static_cast<char *>(malloc(static_cast<size_t>(size)));
    if (block == nullptr)
        return false;
    free(buffer->szBuf);
    buffer->szBuf = block;
    buffer->iBufSize = size;
    return true;
}

/* Makes szBuf `size` bytes long, keeping what it holds. */
bool GrowKeeping(MsgBuf *buffer, int size)
{
    void *block = realloc(buffer->szBuf, static_cast<size_t>(size));
    if (block == nullptr)
        return false;
    buffer->szBuf = static_cast<char *>(block);
    buffer->iBufSize = size;
    return true;
}

/* Receives a body of `length` bytes into szBuf, with room after it for the
 * terminator and the slack the buffer has always carried.  The buffer grows
 * as the bytes arrive, not by what the header claims: a peer that sends a
 * header and then little or nothing costs what it sent, not its claim. */
int ReceiveBody(SOCKET socket, MsgBuf *buffer, int length, bool bounded, int idlePolls)
{
    const int64_t whole = static_cast<int64_t>(length) + 10;
    const int64_t first = whole < kFirstBodyBlock ? whole : kFirstBodyBlock;
    if (!EnsureCapacity(buffer, static_cast<int>(first)))
        return 0;
    buffer->szBuf[0] = '\0';
    int got = 0;
    while (got < length) {
        if (buffer->iBufSize - 10 <= got) {
            int64_t next = static_cast<int64_t>(buffer->iBufSize) * 2;
            if (next > whole)
                next = whole;
            if (!GrowKeeping(buffer, static_cast<int>(next)))
                return 0;
        }
        const int room = buffer->iBufSize - 10;
        const int want = (room < length ? room : length) - got;
        if (ReceiveExactly(socket, buffer->szBuf + got, want, false, bounded, idlePolls,
                           "2-KELrecv()") != 1)
            return 0;
        got += want;
    }
    return 1;
}

/* Sends the whole block.  False when a socket error abandoned it. */
bool SendAll(SOCKET socket, const char *data, int total)
{
    int sent = 0;
    while (sent < total) {
        int n = KelWs_send(socket, data + sent, total - sent, 0);
        if (n > 0) {
            sent += n;
            continue;
        }
        /* 0 for a non-empty send means no Winsock to send with. */
        if (n != SOCKET_ERROR || KelWs_WSAGetLastError() != WSAEWOULDBLOCK)
            return false;
        KelWaitSocket(socket, KEL_RECV_POLL_MS, true);
    }
    return true;
}

} // namespace

int KelParseHeader(const unsigned char *header, KelFrameHeader *out)
{
    /* Both header bytes are signed on the wire; a peer's 0x80..0xff must
     * read as negative, exactly as the other end stores them. */
    out->compressed = static_cast<signed char>(header[0]); // NOLINT(bugprone-signed-char-misuse)
    out->mode = static_cast<signed char>(header[1]);       // NOLINT(bugprone-signed-char-misuse)
    uint32_t raw = static_cast<uint32_t>(header[2]) | static_cast<uint32_t>(header[3]) << 8 |
                   static_cast<uint32_t>(header[4]) << 16 | static_cast<uint32_t>(header[5]) << 24;
    out->length = static_cast<int32_t>(raw);
    /* An empty frame ends the connection like a close; a negative or huge
     * length is never sent by a sound peer and is refused before anything
     * is allocated for it. */
    return out->length > 0 && out->length <= KEL_MAX_WIRE_LENGTH;
}

void KelBuildHeader(unsigned char *header, int compressed, int mode, int length)
{
    auto raw = static_cast<uint32_t>(length);
    header[0] = static_cast<unsigned char>(compressed);
    header[1] = static_cast<unsigned char>(mode);
    header[2] = static_cast<unsigned char>(raw & 0xff);
    header[3] = static_cast<unsigned char>((raw >> 8) & 0xff);
    header[4] = static_cast<unsigned char>((raw >> 16) & 0xff);
    header[5] = static_cast<unsigned char>((raw >> 24) & 0xff);
}

int KelDecodeFrame(const KelFrameHeader *header, MsgBuf *buffer)
{
    int length = header->length;
    if (length <= 0 || buffer->szBuf == nullptr || buffer->iBufSize <= length)
        return Reject(buffer);
    if (header->mode != 0 && UnprotectPayload(buffer->szBuf, &length, header->mode) != 0)
        return Reject(buffer);
    if (header->compressed != 0) {
        /* The flag says the body is a zlib stream: what it inflates to is
         * the payload, even in the odd case of a stream that does not
         * shrink.  A broken stream is a broken frame. */
        char *inflated = nullptr;
        int inflatedLen = 0;
        if (KelInflateBlock(buffer->szBuf, length, &inflated, &inflatedLen,
                            "KELUnCompressInPlace() ERROR") != KEL_INFLATE_OK)
            return Reject(buffer);
        free(buffer->szBuf);
        buffer->szBuf = inflated;
        buffer->iBufSize = inflatedLen;
        length = inflatedLen;
    }
    buffer->iLen = length;
    /* Both the receive block (length + 10) and the inflated block (one
     * spare byte) have room for the terminator. */
    buffer->szBuf[length] = '\0';
    return 1;
}

int KELrecvEx(SOCKET socket, MsgBuf *buffer, int options, int idlePolls)
{
    if (buffer == nullptr)
        return 0;
    /* "No message" is told by szBuf[0] == 0, so there must be a szBuf[0]. */
    if ((buffer->szBuf == nullptr || buffer->iBufSize <= 0) && !EnsureCapacity(buffer, 16))
        return 0;
    buffer->szBuf[0] = '\0';
    bool bounded = (options & RECV_BOUNDED) != 0;

    unsigned char raw[KEL_HEADER_SIZE];
    int rc = ReceiveExactly(socket, reinterpret_cast<char *>(raw), KEL_HEADER_SIZE, true, bounded,
                            idlePolls, "1-KELrecv()");
    if (rc < 0)
        return 1;
    if (rc == 0)
        return 0;

    KelFrameHeader header{};
    if (!KelParseHeader(raw, &header))
        return 0;
    if (ReceiveBody(socket, buffer, header.length, bounded, idlePolls) != 1) {
        buffer->iLen = 0;
        buffer->szBuf[0] = '\0';
        return 0;
    }
    return KelDecodeFrame(&header, buffer);
}

int KELrecv(SOCKET socket, MsgBuf *buffer, int options)
{
    return KELrecvEx(socket, buffer, options, KEL_RECV_IDLE_POLLS);
}

int SendMessageWithSize(SOCKET socket, const char *data, int length, int options)
{
    if (socket == 0)
        return 0;
    if (length <= 0 || data == nullptr)
        return 1;
    int mode = KelModeFromOptions(options);
    int trailer = KelTrailerSize(mode);
    /* Every way of not sending the whole frame answers 0: a caller that
     * deletes what it sent (a returned file) must not take an abandoned
     * send for a delivered one. */
    if (length > KEL_MAX_WIRE_LENGTH - trailer)
        return 0; /* no receiver would take it */

    char *block =
        static_cast<char *>(malloc(static_cast<size_t>(KEL_HEADER_SIZE) +
                                   static_cast<size_t>(length) + static_cast<size_t>(trailer)));
    if (block == nullptr)
        return 0;
    char *payload = block + KEL_HEADER_SIZE;
    int payloadLen = length;
    int compressed = 0;
    /* Compressed straight into the block: the caller's bytes stay as they
     * are, and a payload that does not shrink is copied as it is. */
    if (length > KEL_COMPRESS_THRESHOLD && !(options & SEND_NO_COMPRESS)) {
        int produced = KELCompressTo(data, length, payload);
        if (produced > 0) {
            payloadLen = produced;
            compressed = 1;
        }
    }
    if (!compressed)
        memcpy(payload, data, static_cast<size_t>(length));
    KelBuildHeader(reinterpret_cast<unsigned char *>(block), compressed, mode,
                   payloadLen + trailer);
    bool sent = ProtectPayload(payload, payloadLen, mode) == 0 &&
                SendAll(socket, block, KEL_HEADER_SIZE + payloadLen + trailer);
    free(block);
    return sent ? 1 : 0;
}

int SendString(SOCKET socket, const char *text, int options)
{
    size_t length = text != nullptr ? strlen(text) : 0;
    if (length > static_cast<size_t>(KEL_MAX_WIRE_LENGTH))
        return 0; /* abandoned like any frame too large to send */
    return SendMessageWithSize(socket, text, static_cast<int>(length), options);
}

int KELgethostname(SOCKET socket, char *out, int outSize)
{
    char name[256];
    name[0] = '\0';
    if (KelWs_gethostname(name, sizeof name) != 0) {
        if (out != nullptr && outSize > 0)
            out[0] = '\0';
        return 0;
    }
    name[sizeof name - 1] = '\0';
    if (out != nullptr && outSize > 0) {
        size_t copy = strnlen(name, static_cast<size_t>(outSize) - 1);
        memcpy(out, name, copy);
        out[copy] = '\0';
    }
    SendString(socket, name, 0);
    return 1;
}
