/*
 * Frame headers and body decoding from memory: which lengths are refused,
 * that a tampered or broken body delivers nothing, and what a decoded
 * buffer looks like.
 */
#include <kellib/compress.h>
#include <kellib/protect.h>
#include <kellib/wire.h>

#include "kellib_internal.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstring>
#include <string>

namespace {

std::string Header(int compressed, int mode, int length)
{
    unsigned char h[KEL_HEADER_SIZE];
    KelBuildHeader(h, compressed, mode, length);
    return std::string(reinterpret_cast<char *>(h), sizeof h);
}

/* Puts the body into a buffer the way the receive loop leaves it. */
struct Received {
    Received(const std::string &body)
    {
        InitMsgBuf(&b, static_cast<int>(body.size()) + 10);
        memcpy(b.szBuf, body.data(), body.size());
    }
    ~Received() { FreeMsgBuf(&b); }
    Received(const Received &) = delete;
    Received &operator=(const Received &) = delete;
    std::string Payload() const { return std::string(b.szBuf, b.iLen); }
    MsgBuf b;
};

/* A body as a sender builds it: optionally deflated, then protected. */
std::string Body(const std::string &payload, int mode, bool compress)
{
    std::string body = payload;
    if (compress) {
        uLongf n = compressBound(payload.size());
        body.assign(n, '\0');
        compress2(reinterpret_cast<Bytef *>(body.data()), &n,
                  reinterpret_cast<const Bytef *>(payload.data()), payload.size(), 6);
        body.resize(n);
    }
    size_t plain = body.size();
    body.resize(plain + static_cast<size_t>(KelTrailerSize(mode)));
    EXPECT_EQ(ProtectPayload(body.data(), static_cast<int>(plain), mode), 0);
    return body;
}

int Decode(int compressed, int mode, Received &r, int length)
{
    KelFrameHeader h{compressed, mode, length};
    return KelDecodeFrame(&h, &r.b);
}

TEST(FrameHeader, RefusesEmptyNegativeAndHugeLengths)
{
    KelFrameHeader h{};
    auto parse = [&](const std::string &raw) {
        return KelParseHeader(reinterpret_cast<const unsigned char *>(raw.data()), &h);
    };
    EXPECT_EQ(parse(Header(0, 0, 0)), 0);
    EXPECT_EQ(parse(Header(0, 0, -1)), 0);
    EXPECT_EQ(parse(Header(0, 0, INT32_MIN)), 0);
    EXPECT_EQ(parse(Header(0, 0, KEL_MAX_WIRE_LENGTH + 1)), 0);
    EXPECT_EQ(parse(Header(1, 8, KEL_MAX_WIRE_LENGTH)), 1);
    EXPECT_EQ(h.length, KEL_MAX_WIRE_LENGTH);
    EXPECT_EQ(parse(std::string("\xff\x88\x01\x02\x03\x04", 6)), 1);
    EXPECT_EQ(h.compressed, -1);
    EXPECT_EQ(h.mode, -120);
    EXPECT_EQ(h.length, 0x04030201);
}

TEST(FrameDecode, CompressedFlagWithBrokenStreamDeliversNothing)
{
    std::string body = Body(std::string(5000, 'q'), 0, true);
    body[body.size() / 2] ^= 0x20;
    Received r(body);
    EXPECT_EQ(Decode(1, 0, r, static_cast<int>(body.size())), 0);
    EXPECT_EQ(r.b.iLen, 0);

    Received text("plain text flagged as compressed");
    EXPECT_EQ(Decode(1, 0, text, 32), 0);
}

TEST(FrameDecode, CompressedStreamThatDidNotShrinkStillYieldsItsPayload)
{
    /* A peer that compresses without checking the result: the flag says
     * zlib, so the payload is what the stream inflates to. */
    std::string payload = "tiny";
    std::string body = Body(payload, 2, true);
    ASSERT_GT(body.size(), payload.size());
    Received r(body);
    ASSERT_EQ(Decode(1, 2, r, static_cast<int>(body.size())), 1);
    EXPECT_EQ(r.Payload(), payload);
}

} // namespace
