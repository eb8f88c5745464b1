/*
 * In-memory zlib: compression of wire payloads (in place, or straight into
 * the send block) and inflation of received payloads and files.
 *
 * zlib is initialised through its own deflateInit/inflateInit macros: the
 * stream format is the same as with any other zlib, and a 64-bit zlib would
 * refuse the 32-bit structure size an older interface passed.
 *
 * Inflation only ever accepts a complete stream that consumes all its input
 * and stays within KEL_MAX_WIRE_LENGTH; anything else leaves the caller's
 * buffer as it was.  The result block grows geometrically, so a large
 * payload costs a handful of reallocations rather than one per chunk.
 */
#include "kellib/compress.h"
#include "kellib/wire.h"
#include "kellib_internal.h"

#include <winsock2.h> /* before windows.h, which would bring the old winsock.h */
#include <windows.h>
#include <zlib.h>

#include <cstdlib>
#include <cstring>

namespace {

constexpr const char *kNoMemoryText = "UNABLE TO ALLOCATE ENOUGH MEMORY FOR UNCOMPRESSION";

/* Room for KEL_MAX_WIRE_LENGTH + 1 bytes of output plus the spare byte, so
 * a stream of exactly the limit can still reach its end marker and one byte
 * more is seen as too much. */
constexpr size_t kInflateCeiling = static_cast<size_t>(KEL_MAX_WIRE_LENGTH) + 2;

void ShowNoMemory(const char *title)
{
    MessageBoxA(nullptr, kNoMemoryText, title, MB_OK);
}

size_t InitialCapacity(int inLen)
{
    size_t cap = static_cast<size_t>(inLen) * 4 + 1;
    if (cap < 4096)
        cap = 4096;
    return cap < kInflateCeiling ? cap : kInflateCeiling;
}

/* Doubles the block (up to the ceiling).  False when it is already at the
 * ceiling (too much output) or memory ran out (*noMemory set). */
bool Grow(char **block, size_t *cap, bool *noMemory)
{
    if (*cap >= kInflateCeiling)
        return false;
    size_t next = *cap * 2 < kInflateCeiling ? *cap * 2 : kInflateCeiling;
    void *grown = realloc(*block, next);
    if (grown == nullptr) {
        *noMemory = true;
        return false;
    }
    *block = static_cast<char *>(grown);
    *cap = next;
    return true;
}

/* Runs inflate over the whole input into *block, growing it as needed.
 * Returns the result and the bytes produced in *total. */
KelInflateResult RunInflate(z_stream *zs, char **block, size_t *cap, size_t *total)
{
    for (;;) {
        size_t room = *cap - 1 - *total;
        if (room == 0) {
            bool noMemory = false;
            if (!Grow(block, cap, &noMemory))
                return noMemory ? KEL_INFLATE_NOMEM : KEL_INFLATE_BAD;
            continue;
        }
        uInt give = room > 0x40000000u ? 0x40000000u : static_cast<uInt>(room);
        zs->next_out = reinterpret_cast<Bytef *>(*block + *total);
        zs->avail_out = give;
        int rc = inflate(zs, Z_NO_FLUSH);
        *total += give - zs->avail_out;
        if (*total > static_cast<size_t>(KEL_MAX_WIRE_LENGTH))
            return KEL_INFLATE_BAD;
        if (rc == Z_STREAM_END)
            return zs->avail_in == 0 ? KEL_INFLATE_OK : KEL_INFLATE_BAD;
        if (rc == Z_MEM_ERROR)
            return KEL_INFLATE_NOMEM;
        /* Z_OK with output space left means the input ran out mid-stream;
         * only a full output block may ask for another round. */
        if ((rc != Z_OK && rc != Z_BUF_ERROR) || zs->avail_out != 0)
            return KEL_INFLATE_BAD;
    }
}

/* The in-place inflaters differ only in when they install the result. */
int InflateInPlace(char **buffer, int *length, const char *title, bool onlyWhenLonger)
{
    if (buffer == nullptr || *buffer == nullptr || length == nullptr || *length <= 0)
        return 0;
    char *out = nullptr;
    int outLen = 0;
    if (KelInflateBlock(*buffer, *length, &out, &outLen, title) != KEL_INFLATE_OK)
        return 0;
    if (onlyWhenLonger ? outLen <= *length : outLen == 0) {
        free(out);
        return 0;
    }
    free(*buffer);
    *buffer = out;
    *length = outLen;
    return -1;
}

} // namespace

KelInflateResult KelInflateBlock(const char *in, int inLen, char **out, int *outLen,
                                 const char *boxTitle)
{
    *out = nullptr;
    *outLen = 0;
    if (in == nullptr || inLen <= 0)
        return KEL_INFLATE_BAD;

    size_t cap = InitialCapacity(inLen);
    char *block = static_cast<char *>(malloc(cap));
    if (block == nullptr) {
        ShowNoMemory(boxTitle);
        return KEL_INFLATE_NOMEM;
    }
    z_stream zs{};
    if (inflateInit(&zs) != Z_OK) {
        free(block);
        ShowNoMemory(boxTitle);
        return KEL_INFLATE_NOMEM;
    }
    zs.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(in));
    zs.avail_in = static_cast<uInt>(inLen);

    size_t total = 0;
    KelInflateResult result = RunInflate(&zs, &block, &cap, &total);
    inflateEnd(&zs);
    if (result != KEL_INFLATE_OK) {
        free(block);
        if (result == KEL_INFLATE_NOMEM)
            ShowNoMemory(boxTitle);
        return result;
    }
    /* Give back the slack of the last doubling; keep the spare byte. */
    if (cap > total + 1) {
        void *fitted = realloc(block, total + 1);
        if (fitted != nullptr)
            block = static_cast<char *>(fitted);
    }
    *out = block;
    *outLen = static_cast<int>(total);
    return KEL_INFLATE_OK;
}

int KELCompressTo(const char *data, int length, char *out)
{
    if (data == nullptr || out == nullptr || length <= 1)
        return 0;
    z_stream zs{};
    if (deflateInit(&zs, Z_DEFAULT_COMPRESSION) != Z_OK)
        return 0;
    zs.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(data));
    zs.avail_in = static_cast<uInt>(length);
    zs.next_out = reinterpret_cast<Bytef *>(out);
    zs.avail_out = static_cast<uInt>(length - 1);
    /* One call: a stream that does not end within length - 1 bytes is not
     * worth sending compressed. */
    int rc = deflate(&zs, Z_FINISH);
    int produced = (length - 1) - static_cast<int>(zs.avail_out);
    deflateEnd(&zs);
    return rc == Z_STREAM_END ? produced : 0;
}

int KELCompressInPlace(char *data, int *length)
{
    if (data == nullptr || length == nullptr || *length <= 1)
        return 0;
    char *block = static_cast<char *>(malloc(static_cast<size_t>(*length - 1)));
    if (block == nullptr)
        return 0;
    int produced = KELCompressTo(data, *length, block);
    int result = 0;
    if (produced > 0) {
        memcpy(data, block, static_cast<size_t>(produced));
        *length = produced;
        result = -1;
    }
    free(block);
    return result;
}

int KELUnCompressInPlace(char **buffer, int *length)
{
    return InflateInPlace(buffer, length, "KELUnCompressInPlace() ERROR", true);
}

int KELUnzipInPlace(char **data, int *length)
{
    return InflateInPlace(data, length, "KELUnzipInPlace() ERROR", false);
}
