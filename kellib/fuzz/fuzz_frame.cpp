/*
 * Fuzz target for received frames: the input is what a peer put on the
 * socket.  Frames are taken from it one after another as the receive loop
 * would (header, then length bytes of body); a last frame whose length does
 * not fit in what is left is decoded with the bytes there are, so bodies of
 * every size reach the protection and inflation code whatever the length
 * field says.  Decoding must never crash, leak or touch memory outside the
 * buffer, and a delivered payload must be terminated inside its block.
 *
 * Random bytes rarely make a valid zlib stream or a matching integrity tag,
 * so two header values ask the harness to build the body as a sender would:
 * compressed byte 'Z' deflates it first, and a mode byte with bit 0x40
 * protects it (after any deflating).  The decoder then sees well-formed
 * frames with arbitrary payloads as well as hostile ones.
 */
#include "kellib/compress.h"
#include "kellib/msgbuf.h"
#include "kellib/protect.h"
#include "kellib/wire.h"
#include "kellib_internal.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

constexpr int kBuildCompressed = 'Z';
constexpr int kBuildProtected = 0x40;

int SenderMode(int mode)
{
    return (mode & 8) ? 8 : (mode & 4) ? 4 : (mode & 2) ? 2 : 1;
}

/* Builds the body as SendMessageWithSize would when the header asks (what is
 * not asked for is left out: mode 0, not compressed). */
std::vector<uint8_t> Build(KelFrameHeader *header, const uint8_t *payload, size_t n)
{
    std::vector<uint8_t> body(payload, payload + n);
    bool deflate = header->compressed == kBuildCompressed;
    header->compressed = 0;
    if (deflate) {
        std::vector<uint8_t> packed(n > 1 ? n - 1 : 1);
        int produced = KELCompressTo(reinterpret_cast<const char *>(payload), static_cast<int>(n),
                                     reinterpret_cast<char *>(packed.data()));
        if (produced > 0) {
            body.assign(packed.begin(), packed.begin() + produced);
            header->compressed = 1;
        }
    }
    int mode = (header->mode & kBuildProtected) ? SenderMode(header->mode) : 0;
    size_t plain = body.size();
    body.resize(plain + static_cast<size_t>(KelTrailerSize(mode)));
    if (ProtectPayload(reinterpret_cast<char *>(body.data()), static_cast<int>(plain), mode) != 0)
        abort();
    header->mode = mode;
    return body;
}

/* Decodes one body; `expected` is the payload when the harness built it. */
void DecodeOne(KelFrameHeader header, const uint8_t *body, size_t n, const uint8_t *expected,
               size_t expectedLen)
{
    header.length = static_cast<int>(n);
    MsgBuf buffer;
    if (n == 0 || !InitMsgBuf(&buffer, static_cast<int>(n) + 10))
        return;
    memcpy(buffer.szBuf, body, n);
    int rc = KelDecodeFrame(&header, &buffer);
    if (rc == 1) {
        /* The terminator must sit inside the block (ASan checks the read). */
        if (buffer.iLen < 0 || buffer.szBuf[buffer.iLen] != '\0')
            abort();
    } else if (rc != 0 || buffer.iLen != 0) {
        abort();
    }
    if (expected != nullptr && (rc != 1 || static_cast<size_t>(buffer.iLen) != expectedLen ||
                                memcmp(buffer.szBuf, expected, expectedLen) != 0))
        abort(); /* what a sender built must come back unchanged */
    FreeMsgBuf(&buffer);
}

void Frame(KelFrameHeader header, const uint8_t *data, size_t size)
{
    if (header.compressed == kBuildCompressed || (header.mode & kBuildProtected)) {
        std::vector<uint8_t> body = Build(&header, data, size);
        DecodeOne(header, body.data(), body.size(), data, size);
    } else {
        DecodeOne(header, data, size, nullptr, 0);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size > (1u << 24))
        return 0;
    while (size >= KEL_HEADER_SIZE) {
        KelFrameHeader header{};
        int accepted = KelParseHeader(data, &header);
        data += KEL_HEADER_SIZE;
        size -= KEL_HEADER_SIZE;
        if (accepted && static_cast<size_t>(header.length) <= size) {
            Frame(header, data, static_cast<size_t>(header.length));
            data += header.length;
            size -= static_cast<size_t>(header.length);
            continue;
        }
        if (size > 0)
            Frame(header, data, size);
        break;
    }
    return 0;
}
