/*
 * MsgBuf: the growable byte buffer behind every request payload and reply.
 *
 * Readers take from the front and shift the rest down; writers grow the block
 * by the fixed steps the wire code has always used (exact for raw bytes, 100
 * for bytes and integers, the string plus 100 for strings).  Whatever the
 * payload says, a reader stops at iLen and a string reader at the capacity it
 * is given; a writer never grows the buffer past KEL_MAX_WIRE_LENGTH.
 */
#include "kellib/msgbuf.h"
#include "kellib/wire.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

bool IsEmpty(const MsgBuf *buffer)
{
    return buffer->szBuf == nullptr;
}

/* Drops the first n bytes (n <= iLen) and moves the rest to the start. */
void Consume(MsgBuf *buffer, int n)
{
    int rest = buffer->iLen - n;
    if (rest > 0)
        memmove(buffer->szBuf, buffer->szBuf + n, static_cast<size_t>(rest));
    buffer->iLen = rest;
}

/* The bytes the readers may look at: none when the buffer has no block. */
int Available(const MsgBuf *buffer)
{
    if (buffer == nullptr || buffer->szBuf == nullptr || buffer->iLen <= 0)
        return 0;
    return buffer->iLen;
}

/* Reallocates to `size` bytes, which must hold `needed` (iLen plus what is
 * being appended).  Refuses sizes past the wire limit; a growth step that
 * would overshoot the limit is cut back to it.  The buffer is unchanged on
 * failure. */
bool Resize(MsgBuf *buffer, int64_t size, int64_t needed)
{
    if (needed > KEL_MAX_WIRE_LENGTH)
        return false;
    if (size > KEL_MAX_WIRE_LENGTH)
        size = KEL_MAX_WIRE_LENGTH;
    if (size < needed)
        size = needed;
    if (size <= 0)
        return true;
    void *block = realloc(buffer->szBuf, static_cast<size_t>(size));
    if (block == nullptr)
        return false;
    buffer->szBuf = static_cast<char *>(block);
    buffer->iBufSize = static_cast<int>(size);
    return true;
}

/* Makes room for n more bytes: an empty buffer gets `initial` bytes; a
 * buffer whose use would reach its size grows to growTo (both computed by
 * the caller in 64 bits so nothing can wrap). */
bool Reserve(MsgBuf *buffer, int64_t n, int64_t initial, int64_t growTo)
{
    int64_t needed = static_cast<int64_t>(buffer->iLen) + n;
    if (IsEmpty(buffer)) {
        buffer->iLen = 0;
        buffer->iBufSize = 0;
        return Resize(buffer, initial, n);
    }
    if (needed >= buffer->iBufSize)
        return Resize(buffer, growTo, needed);
    return true;
}

/* Copies the front run up to (not including) `stop`, or to the end of the
 * buffer, into out cut to outSize - 1, and consumes it with its stop byte. */
int TakeDelimited(MsgBuf *buffer, char *out, int outSize, char stop)
{
    if (out != nullptr && outSize > 0)
        out[0] = '\0';
    int avail = Available(buffer);
    if (avail <= 0)
        return KEL_SHORT_BUFFER;
    const void *hit = memchr(buffer->szBuf, stop, static_cast<size_t>(avail));
    int runLen = hit ? static_cast<int>(static_cast<const char *>(hit) - buffer->szBuf) : avail;
    if (out != nullptr && outSize > 0) {
        int copy = runLen < outSize - 1 ? runLen : outSize - 1;
        memcpy(out, buffer->szBuf, static_cast<size_t>(copy));
        out[copy] = '\0';
    }
    Consume(buffer, hit ? runLen + 1 : runLen);
    return 0;
}

} // namespace

int InitMsgBuf(MsgBuf *buffer, int n)
{
    buffer->iLen = 0;
    buffer->iBufSize = 0;
    buffer->szBuf = nullptr;
    if (n <= 0)
        return 1;
    buffer->szBuf = static_cast<char *>(malloc(static_cast<size_t>(n)));
    if (buffer->szBuf == nullptr)
        return 0;
    buffer->iBufSize = n;
    return 1;
}

void FreeMsgBuf(MsgBuf *buffer)
{
    free(buffer->szBuf);
    buffer->szBuf = nullptr;
    buffer->iBufSize = 0;
    buffer->iLen = 0;
}

int TakeInt(MsgBuf *buffer)
{
    if (Available(buffer) < 4)
        return KEL_SHORT_BUFFER;
    const auto *p = reinterpret_cast<const unsigned char *>(buffer->szBuf);
    uint32_t v = static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
                 static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
    Consume(buffer, 4);
    return static_cast<int32_t>(v);
}

int TakeByte(MsgBuf *buffer)
{
    if (Available(buffer) < 1)
        return KEL_SHORT_BUFFER;
    int b = static_cast<unsigned char>(buffer->szBuf[0]);
    Consume(buffer, 1);
    return b;
}

int TakeBytes(MsgBuf *buffer, void *out, int n)
{
    if (n < 0)
        return KEL_SHORT_BUFFER;
    if (out != nullptr)
        memset(out, 0, static_cast<size_t>(n));
    if (Available(buffer) < n)
        return KEL_SHORT_BUFFER;
    if (out != nullptr && n > 0)
        memcpy(out, buffer->szBuf, static_cast<size_t>(n));
    if (n > 0)
        Consume(buffer, n);
    return 0;
}

int TakeString(MsgBuf *buffer, char *out, int outSize)
{
    return TakeDelimited(buffer, out, outSize, '\0');
}

int TakeField(MsgBuf *buffer, char *out, int outSize)
{
    return TakeDelimited(buffer, out, outSize, '\x01');
}

int AppendBytes(MsgBuf *buffer, const void *data, int n)
{
    if (n < 0 || (data == nullptr && n > 0))
        return 0;
    if (!Reserve(buffer, n, n, static_cast<int64_t>(buffer->iLen) + n))
        return 0;
    if (n > 0) {
        memcpy(buffer->szBuf + buffer->iLen, data, static_cast<size_t>(n));
        buffer->iLen += n;
    }
    return 1;
}

int AppendByte(MsgBuf *buffer, int b)
{
    if (!Reserve(buffer, 1, 1, static_cast<int64_t>(buffer->iBufSize) + 100))
        return 0;
    buffer->szBuf[buffer->iLen++] = static_cast<char>(b);
    return 1;
}

int AppendInt(MsgBuf *buffer, int v)
{
    if (!Reserve(buffer, 4, 5, static_cast<int64_t>(buffer->iBufSize) + 100))
        return 0;
    auto u = static_cast<uint32_t>(v);
    char *p = buffer->szBuf + buffer->iLen;
    p[0] = static_cast<char>(u & 0xff);
    p[1] = static_cast<char>((u >> 8) & 0xff);
    p[2] = static_cast<char>((u >> 16) & 0xff);
    p[3] = static_cast<char>((u >> 24) & 0xff);
    buffer->iLen += 4;
    return 1;
}

int AppendString(MsgBuf *buffer, const char *text, int flags)
{
    if (text == nullptr)
        return 0;
    size_t textLen = strlen(text);
    if (textLen >= static_cast<size_t>(KEL_MAX_WIRE_LENGTH))
        return 0;
    int64_t add = static_cast<int64_t>(textLen) + ((flags & APPEND_NO_NUL) ? 0 : 1);
    if (!Reserve(buffer, add, static_cast<int64_t>(textLen) + 1,
                 static_cast<int64_t>(buffer->iBufSize) + add + 100))
        return 0;
    memcpy(buffer->szBuf + buffer->iLen, text, static_cast<size_t>(add));
    buffer->iLen += static_cast<int>(add);
    return 1;
}
