/*
 * AES-128 and its counter mode on both code paths: the FIPS-197 and
 * SP 800-38A examples, counter carries across the 64-bit halves and the
 * 128-bit wrap, and random cross-checks with Crypto++ at odd lengths.
 */
#include "aes128.h"
#include "crypto_test_util.h"

#include <cryptopp/aes.h>
#include <cryptopp/modes.h>

namespace kel::crypto::test {
namespace {

Bytes encrypt_block(const std::string &key_hex, const std::string &plain_hex)
{
    Aes128Key key;
    aes128_expand_key(key, from_hex(key_hex).data());
    Bytes out(kAesBlock);
    aes128_encrypt_block(key, from_hex(plain_hex).data(), out.data());
    return out;
}

Bytes ctr(const Bytes &key_bytes, Bytes counter, Bytes data)
{
    Aes128Key key;
    aes128_expand_key(key, key_bytes.data());
    aes128_ctr_xor(key, counter.data(), data.data(), data.size());
    return data;
}

Bytes reference_ctr(const Bytes &key, const Bytes &counter, Bytes data)
{
    CryptoPP::CTR_Mode<CryptoPP::AES>::Encryption enc(key.data(), key.size(), counter.data());
    enc.ProcessData(data.data(), data.data(), data.size());
    return data;
}

class Aes128Paths : public BothPaths {
protected:
    void SetUp() override { pin(cpu_has_aes_ni()); }
};

TEST_P(Aes128Paths, EncryptsPublishedExampleBlocks)
{
    EXPECT_EQ(to_hex(encrypt_block("000102030405060708090a0b0c0d0e0f",
                                   "00112233445566778899aabbccddeeff")),
              "69c4e0d86a7b0430d8cdb78070b4c55a");
    EXPECT_EQ(to_hex(encrypt_block("2b7e151628aed2a6abf7158809cf4f3c",
                                   "3243f6a8885a308d313198a2e0370734")),
              "3925841d02dc09fbdc118597196a0b32");
}

TEST_P(Aes128Paths, ExpandsPublishedKeySchedule)
{
    Aes128Key key;
    aes128_expand_key(key, from_hex("2b7e151628aed2a6abf7158809cf4f3c").data());
    EXPECT_EQ(to_hex(key.rk + 16, 16), "a0fafe1788542cb123a339392a6c7605");
    EXPECT_EQ(to_hex(key.rk + 160, 16), "d014f9a8c9ee2589e13f0cc8b6630ca6");
    EXPECT_EQ(key.w[43], 0xb6630ca6u);
}

TEST_P(Aes128Paths, CounterModeMatchesPublishedExample)
{
    const Bytes key = from_hex("2b7e151628aed2a6abf7158809cf4f3c");
    Bytes counter = from_hex("f0f1f2f3f4f5f6f7f8f9fafbfcfdfeff");
    const Bytes plain =
        from_hex("6bc1bee22e409f96e93d7e117393172aae2d8a571e03ac9c9eb76fac45af8e51"
                 "30c81c46a35ce411e5fbc1191a0a52eff69f2445df4f9b17ad2b417be66c3710");
    Bytes data = plain;
    Aes128Key k;
    aes128_expand_key(k, key.data());
    aes128_ctr_xor(k, counter.data(), data.data(), data.size());
    EXPECT_EQ(to_hex(data), "874d6191b620e3261bef6864990db6ce9806f66b7970fdff8617187bb9fffdff"
                            "5ae4df3edbd5d35e5b4f09020db03eab1e031dda2fbe03d1792170a0f3009cee");
    // Four blocks used: the counter's low byte went from ff through 03.
    EXPECT_EQ(to_hex(counter), "f0f1f2f3f4f5f6f7f8f9fafbfcfdff03");
}

TEST_P(Aes128Paths, CounterCarriesFromLowToHighHalf)
{
    std::mt19937 rng(10);
    const Bytes key = random_bytes(rng, 16);
    // Low half three short of overflow; long enough for the eight-block batch.
    const Bytes counter = from_hex("0102030405060708fffffffffffffffd");
    for (size_t length : {48, 64, 300}) {
        const Bytes data = random_bytes(rng, length);
        EXPECT_EQ(ctr(key, counter, data), reference_ctr(key, counter, data)) << length;
    }
    Bytes after = counter;
    Aes128Key k;
    aes128_expand_key(k, key.data());
    Bytes data(300);
    aes128_ctr_xor(k, after.data(), data.data(), data.size());
    EXPECT_EQ(to_hex(after), "01020304050607090000000000000010"); // 19 blocks on
}

TEST_P(Aes128Paths, CounterWrapsAtTwoToThe128)
{
    std::mt19937 rng(11);
    const Bytes key = random_bytes(rng, 16);
    const Bytes all_ones(16, 0xff);
    const Bytes zero(16, 0);
    const Bytes stream = ctr(key, all_ones, Bytes(48, 0));
    // The second block's key stream is that of counter zero.
    const Bytes from_zero = ctr(key, zero, Bytes(32, 0));
    EXPECT_EQ(Bytes(stream.begin() + 16, stream.end()), from_zero);
    const Bytes long_data = random_bytes(rng, 200);
    EXPECT_EQ(ctr(key, all_ones, long_data), reference_ctr(key, all_ones, long_data));
}

TEST_P(Aes128Paths, RandomOddLengthsMatchReference)
{
    std::mt19937 rng(12);
    for (int i = 0; i < 300; ++i) {
        const Bytes key = random_bytes(rng, 16);
        const Bytes counter = random_bytes(rng, 16);
        const Bytes data = random_bytes(rng, rng() % 700);
        ASSERT_EQ(ctr(key, counter, data), reference_ctr(key, counter, data))
            << "length " << data.size();
    }
}

TEST_P(Aes128Paths, StreamContinuesAcrossBlockAlignedCalls)
{
    std::mt19937 rng(13);
    const Bytes key = random_bytes(rng, 16);
    const Bytes counter = random_bytes(rng, 16);
    const Bytes data = random_bytes(rng, 1000);
    Aes128Key k;
    aes128_expand_key(k, key.data());
    Bytes split = data, c = counter;
    aes128_ctr_xor(k, c.data(), split.data(), 160);
    aes128_ctr_xor(k, c.data(), split.data() + 160, 16);
    aes128_ctr_xor(k, c.data(), split.data() + 176, data.size() - 176);
    EXPECT_EQ(split, reference_ctr(key, counter, data));
}

INSTANTIATE_TEST_SUITE_P(Aes128, Aes128Paths, ::testing::Values(Path::Portable, Path::Accelerated),
                         path_name);

TEST(Aes128, BothPathsExpandTheSameSchedule)
{
    if (!cpu_has_aes_ni())
        GTEST_SKIP() << "processor lacks AES-NI";
    std::mt19937 rng(14);
    for (int i = 0; i < 50; ++i) {
        const Bytes user = random_bytes(rng, 16);
        Aes128Key a, b;
        aes128_expand_key_portable(a, user.data());
        aes128_expand_key_ni(b, user.data());
        ASSERT_EQ(to_hex(a.rk, sizeof a.rk), to_hex(b.rk, sizeof b.rk));
        ASSERT_TRUE(std::equal(a.w, a.w + 44, b.w));
    }
}

} // namespace
} // namespace kel::crypto::test
