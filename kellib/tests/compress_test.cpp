/*
 * In-memory compression: interoperability with the system zlib in both
 * directions, when a payload is worth compressing, and that no broken or
 * oversized stream ever replaces the caller's buffer.
 */
#include <kellib/compress.h>
#include <kellib/wire.h>

#include "kellib_internal.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdlib>
#include <cstring>
#include <random>
#include <string>

namespace {

std::string RandomBytes(size_t n, unsigned seed = 7)
{
    std::mt19937 gen(seed);
    std::string s(n, '\0');
    for (auto &c : s)
        c = static_cast<char>(gen());
    return s;
}

std::string Text(size_t n)
{
    std::string s;
    while (s.size() < n)
        s += "Patient: Doe, Jane  DOB 01/02/1970  Rx: 20/20 OD OS ";
    s.resize(n);
    return s;
}

std::string SystemCompress(const std::string &in, int level = Z_DEFAULT_COMPRESSION)
{
    uLongf n = compressBound(in.size());
    std::string out(n, '\0');
    EXPECT_EQ(compress2(reinterpret_cast<Bytef *>(out.data()), &n,
                        reinterpret_cast<const Bytef *>(in.data()), in.size(), level),
              Z_OK);
    out.resize(n);
    return out;
}

/* A C-heap copy, as the in-place inflaters want to own their block. */
struct Heap {
    explicit Heap(const std::string &s) : len(static_cast<int>(s.size()))
    {
        p = static_cast<char *>(malloc(s.size() + 1));
        memcpy(p, s.data(), s.size());
    }
    ~Heap() { free(p); }
    Heap(const Heap &) = delete;
    Heap &operator=(const Heap &) = delete;
    std::string Str() const { return std::string(p, len); }
    char *p;
    int len;
};

TEST(CompressInPlace, OutputIsAStreamTheSystemZlibReads)
{
    std::string original = Text(5000);
    std::string data = original;
    int len = static_cast<int>(data.size());
    ASSERT_EQ(KELCompressInPlace(data.data(), &len), -1);
    ASSERT_LT(len, 5000);
    uLongf outLen = original.size();
    std::string out(outLen, '\0');
    ASSERT_EQ(uncompress(reinterpret_cast<Bytef *>(out.data()), &outLen,
                         reinterpret_cast<const Bytef *>(data.data()), static_cast<uLong>(len)),
              Z_OK);
    EXPECT_EQ(out.substr(0, outLen), original);
}

TEST(CompressInPlace, PayloadThatWouldNotShrinkIsLeftAsItWas)
{
    std::string random = RandomBytes(4096);
    std::string data = random;
    int len = 4096;
    EXPECT_EQ(KELCompressInPlace(data.data(), &len), 0);
    EXPECT_EQ(len, 4096);
    EXPECT_EQ(data, random);

    int zero = 0;
    EXPECT_EQ(KELCompressInPlace(data.data(), &zero), 0);
    char out[8];
    EXPECT_EQ(KELCompressTo(random.data(), 4096, nullptr), 0);
    EXPECT_EQ(KELCompressTo(random.data(), 1, out), 0);
}

TEST(CompressTo, NeverWritesPastLengthMinusOne)
{
    /* Guard bytes behind the capacity catch an overrun. */
    for (size_t n : {2u, 11u, 101u, 4096u}) {
        std::string random = RandomBytes(n, static_cast<unsigned>(n));
        std::string out(n - 1 + 16, '#');
        EXPECT_EQ(KELCompressTo(random.data(), static_cast<int>(n), out.data()), 0);
        EXPECT_EQ(out.substr(n - 1), std::string(16, '#')) << n;
    }
    std::string text = Text(101);
    std::string out(100 + 16, '#');
    int produced = KELCompressTo(text.data(), 101, out.data());
    ASSERT_GT(produced, 0);
    EXPECT_LT(produced, 101);
    EXPECT_EQ(out.substr(100), std::string(16, '#'));
}

TEST(UnCompressInPlace, InflatesWhatTheSystemZlibDeflated)
{
    for (int level : {Z_DEFAULT_COMPRESSION, 1, 9}) {
        std::string original = Text(300000) + RandomBytes(70000);
        Heap h(SystemCompress(original, level));
        int len = h.len;
        ASSERT_EQ(KELUnCompressInPlace(&h.p, &len), -1);
        h.len = len;
        EXPECT_EQ(h.Str(), original);
        h.p[len] = '\0'; /* the spare byte for the terminator (ASan checks) */
    }
}

TEST(UnCompressInPlace, OutputNoLongerThanInputStaysCompressed)
{
    std::string stream = SystemCompress(RandomBytes(50));
    ASSERT_GE(stream.size(), 50u);
    Heap h(stream);
    int len = h.len;
    char *before = h.p;
    EXPECT_EQ(KELUnCompressInPlace(&h.p, &len), 0);
    EXPECT_EQ(h.p, before);
    EXPECT_EQ(len, h.len);
    EXPECT_EQ(h.Str(), stream);

    /* The file inflater takes it anyway. */
    EXPECT_EQ(KELUnzipInPlace(&h.p, &len), -1);
    h.len = len;
    EXPECT_EQ(h.Str(), RandomBytes(50));
}

TEST(UnCompressInPlace, BrokenStreamsFailAndLeaveTheBufferUnchanged)
{
    std::string good = SystemCompress(Text(20000));
    std::string corrupt = good;
    corrupt[good.size() / 2] ^= 0x55;
    std::string badHeader = good;
    badHeader[0] = 0x00;
    std::string truncated = good.substr(0, good.size() - 9);
    std::string trailing = good + "extra";
    std::string garbage = RandomBytes(500);
    for (const std::string *s : {&corrupt, &badHeader, &truncated, &trailing, &garbage}) {
        Heap h(*s);
        int len = h.len;
        char *before = h.p;
        EXPECT_EQ(KELUnCompressInPlace(&h.p, &len), 0);
        EXPECT_EQ(KELUnzipInPlace(&h.p, &len), 0);
        EXPECT_EQ(h.p, before);
        EXPECT_EQ(len, h.len);
        EXPECT_EQ(h.Str(), *s);
    }
    char *null = nullptr;
    int len = 10;
    EXPECT_EQ(KELUnCompressInPlace(&null, &len), 0);
}

/* A stream of n zero bytes, deflated piecewise so the zeros are never all
 * in memory at once. */
std::string ZeroStream(size_t n)
{
    z_stream zs{};
    EXPECT_EQ(deflateInit(&zs, 9), Z_OK);
    std::string zeros(1 << 20, '\0');
    std::string out(1 << 16, '\0');
    std::string stream;
    int rc = Z_OK;
    while (rc != Z_STREAM_END) {
        size_t take = n < zeros.size() ? n : zeros.size();
        n -= take;
        zs.next_in = reinterpret_cast<Bytef *>(zeros.data());
        zs.avail_in = static_cast<uInt>(take);
        do {
            zs.next_out = reinterpret_cast<Bytef *>(out.data());
            zs.avail_out = static_cast<uInt>(out.size());
            rc = deflate(&zs, n == 0 ? Z_FINISH : Z_NO_FLUSH);
            stream.append(out.data(), out.size() - zs.avail_out);
        } while (zs.avail_out == 0);
    }
    deflateEnd(&zs);
    return stream;
}

TEST(UnCompressInPlace, OutputBeyondTheWireLimitIsRefused)
{
    std::string stream = ZeroStream(static_cast<size_t>(KEL_MAX_WIRE_LENGTH) + 1);
    Heap bomb(stream);
    int len = bomb.len;
    EXPECT_EQ(KELUnCompressInPlace(&bomb.p, &len), 0);
    EXPECT_EQ(KELUnzipInPlace(&bomb.p, &len), 0);
    EXPECT_EQ(len, bomb.len);
    EXPECT_EQ(bomb.Str(), stream);

    /* Exactly the limit is still a payload. */
    std::string edge = ZeroStream(static_cast<size_t>(KEL_MAX_WIRE_LENGTH));
    char *out = nullptr;
    int outLen = 0;
    ASSERT_EQ(KelInflateBlock(edge.data(), static_cast<int>(edge.size()), &out, &outLen, "t"),
              KEL_INFLATE_OK);
    EXPECT_EQ(outLen, KEL_MAX_WIRE_LENGTH);
    free(out);
}

} // namespace
