/*
 * SHA-256 against the FIPS 180-4 examples and against Crypto++ on the
 * lengths where padding changes shape, on both code paths; and the exported
 * Sha256() text and raw forms.
 */
#include "crypto_test_util.h"
#include "sha256.h"

#include "kellib/protect.h"

#include <cryptopp/sha.h>

#include <algorithm>
#include <cstring>
#include <thread>

namespace kel::crypto::test {
namespace {

std::string digest_hex(const Bytes &data)
{
    uint8_t out[kSha256Size];
    sha256_digest(data.data(), data.size(), out);
    return to_hex(out, sizeof out);
}

std::string digest_hex(const std::string &text)
{
    return digest_hex(Bytes(text.begin(), text.end()));
}

std::string reference_hex(const Bytes &data)
{
    uint8_t out[CryptoPP::SHA256::DIGESTSIZE];
    CryptoPP::SHA256().CalculateDigest(out, data.data(), data.size());
    return to_hex(out, sizeof out);
}

class Sha256Paths : public BothPaths {
protected:
    void SetUp() override { pin(cpu_has_sha_ni()); }
};

TEST_P(Sha256Paths, MatchesPublishedExamples)
{
    EXPECT_EQ(digest_hex(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(digest_hex("abc"),
              "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    EXPECT_EQ(digest_hex("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
              "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
}

TEST_P(Sha256Paths, MillionAsInOddChunksMatchesPublishedDigest)
{
    const std::string chunk(997, 'a'); // not a multiple of the block size
    Sha256Ctx ctx;
    sha256_init(ctx);
    size_t left = 1000000;
    while (left > 0) {
        const size_t n = std::min(left, chunk.size());
        sha256_update(ctx, chunk.data(), n);
        left -= n;
    }
    uint8_t out[kSha256Size];
    sha256_final(ctx, out);
    EXPECT_EQ(to_hex(out, sizeof out),
              "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
}

TEST_P(Sha256Paths, PaddingBoundaryLengthsMatchReference)
{
    std::mt19937 rng(1);
    for (size_t length : {0, 1, 55, 56, 63, 64, 65, 119, 120, 127, 128, 129, 1000, 4097}) {
        const Bytes data = random_bytes(rng, length);
        EXPECT_EQ(digest_hex(data), reference_hex(data)) << "length " << length;
    }
}

TEST_P(Sha256Paths, RandomInputsMatchReference)
{
    std::mt19937 rng(2);
    for (int i = 0; i < 200; ++i) {
        const Bytes data = random_bytes(rng, rng() % 3000);
        ASSERT_EQ(digest_hex(data), reference_hex(data)) << "length " << data.size();
    }
}

TEST_P(Sha256Paths, StreamingSplitAnywhereMatchesOneShot)
{
    std::mt19937 rng(3);
    const Bytes data = random_bytes(rng, 300);
    const std::string whole = digest_hex(data);
    for (size_t a = 0; a <= data.size(); a += 7) {
        for (size_t b = a; b <= data.size(); b += 29) {
            Sha256Ctx ctx;
            sha256_init(ctx);
            sha256_update(ctx, data.data(), a);
            sha256_update(ctx, data.data() + a, b - a);
            sha256_update(ctx, data.data() + b, data.size() - b);
            uint8_t out[kSha256Size];
            sha256_final(ctx, out);
            ASSERT_EQ(to_hex(out, sizeof out), whole) << "split at " << a << ", " << b;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Sha256, Sha256Paths, ::testing::Values(Path::Portable, Path::Accelerated),
                         path_name);

TEST(Sha256Export, TextFormIsLowercaseHexOfDigest)
{
    EXPECT_STREQ(Sha256("abc", 3, 0),
                 "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
}

TEST(Sha256Export, RawFormIsTheThirtyTwoDigestBytes)
{
    const Bytes expected =
        from_hex("ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    EXPECT_EQ(std::memcmp(Sha256("abc", 3, SHA256_RAW), expected.data(), expected.size()), 0);
}

TEST(Sha256Export, ThreadsDoNotOverwriteEachOthersResult)
{
    const char *mine = Sha256("abc", 3, 0);
    std::string other;
    std::thread([&] { other = Sha256("", 0, 0); }).join();
    EXPECT_STREQ(mine, "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    EXPECT_EQ(other, "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
}

} // namespace
} // namespace kel::crypto::test
