/*
 * Blowfish against the published ECB and variable-key-length vectors, and
 * its CFB-64 mode against the published chaining example and Crypto++'s
 * CFB mode with 8-byte feedback, including streams split across calls.
 */
#include "blowfish.h"
#include "crypto_test_util.h"

#include <cryptopp/blowfish.h>
#include <cryptopp/modes.h>

#include <algorithm>

namespace kel::crypto::test {
namespace {

struct EcbVector {
    const char *key, *plain, *cipher;
};

// The standard 34-entry ECB set with 8-byte keys.
constexpr EcbVector kEcb[] = {
    {"0000000000000000", "0000000000000000", "4ef997456198dd78"},
    {"ffffffffffffffff", "ffffffffffffffff", "51866fd5b85ecb8a"},
    {"3000000000000000", "1000000000000001", "7d856f9a613063f2"},
    {"1111111111111111", "1111111111111111", "2466dd878b963c9d"},
    {"0123456789abcdef", "1111111111111111", "61f9c3802281b096"},
    {"1111111111111111", "0123456789abcdef", "7d0cc630afda1ec7"},
    {"fedcba9876543210", "0123456789abcdef", "0aceab0fc6a0a28d"},
    {"7ca110454a1a6e57", "01a1d6d039776742", "59c68245eb05282b"},
    {"0131d9619dc1376e", "5cd54ca83def57da", "b1b8cc0b250f09a0"},
    {"07a1133e4a0b2686", "0248d43806f67172", "1730e5778bea1da4"},
    {"3849674c2602319e", "51454b582ddf440a", "a25e7856cf2651eb"},
    {"04b915ba43feb5b6", "42fd443059577fa2", "353882b109ce8f1a"},
    {"0113b970fd34f2ce", "059b5e0851cf143a", "48f4d0884c379918"},
    {"0170f175468fb5e6", "0756d8e0774761d2", "432193b78951fc98"},
    {"43297fad38e373fe", "762514b829bf486a", "13f04154d69d1ae5"},
    {"07a7137045da2a16", "3bdd119049372802", "2eedda93ffd39c79"},
    {"04689104c2fd3b2f", "26955f6835af609a", "d887e0393c2da6e3"},
    {"37d06bb516cb7546", "164d5e404f275232", "5f99d04f5b163969"},
    {"1f08260d1ac2465e", "6b056e18759f5cca", "4a057a3b24d3977b"},
    {"584023641aba6176", "004bd6ef09176062", "452031c1e4fada8e"},
    {"025816164629b007", "480d39006ee762f2", "7555ae39f59b87bd"},
    {"49793ebc79b3258f", "437540c8698f3cfa", "53c55f9cb49fc019"},
    {"4fb05e1515ab73a7", "072d43a077075292", "7a8e7bfa937e89a3"},
    {"49e95d6d4ca229bf", "02fe55778117f12a", "cf9c5d7a4986adb5"},
    {"018310dc409b26d6", "1d9d5c5018f728c2", "d1abb290658bc778"},
    {"1c587f1c13924fef", "305532286d6f295a", "55cb3774d13ef201"},
    {"0101010101010101", "0123456789abcdef", "fa34ec4847b268b2"},
    {"1f1f1f1f0e0e0e0e", "0123456789abcdef", "a790795108ea3cae"},
    {"e0fee0fef1fef1fe", "0123456789abcdef", "c39e072d9fac631d"},
    {"0000000000000000", "ffffffffffffffff", "014933e0cdaff6e4"},
    {"ffffffffffffffff", "0000000000000000", "f21e9a77b71c49bc"},
    {"0123456789abcdef", "0000000000000000", "245946885754369a"},
    {"fedcba9876543210", "ffffffffffffffff", "6b5c5a9c5d9e0a5a"},
};

// Prefixes of one key, lengths 4 to 24, enciphering fedcba9876543210.
constexpr const char *kVariableKeyCipher[] = {
    "be1e639408640f05", "b39e44481bdb1e6e", "9457aa83b1928c0d", "8bb77032f960629d",
    "e87a244e2cc85e82", "15750e7a4f4ec577", "122ba70b3ab64ae0", "3a833c9affc537f6",
    "9409da87a90f6bf2", "884f80625060b8b4", "1f85031c19e11968", "79d9373a714ca34f",
    "93142887ee3be15c", "03429e838ce2d14b", "a4299e27469ff67b", "afd5aed1c1bc96a8",
    "10851c0e3858da9f", "e6f51ed79b9db21f", "64a6e14afd36b46f", "80c7d7d45a5479ad",
    "05044b62fa52d080",
};

BlowfishKey make_key(const Bytes &user)
{
    BlowfishKey key;
    EXPECT_TRUE(blowfish_set_key(key, user.data(), user.size()));
    return key;
}

Bytes cfb(const Bytes &user, const Bytes &iv, Bytes data, bool encrypt)
{
    const BlowfishKey key = make_key(user);
    BlowfishCfb state;
    blowfish_cfb_init(state, iv.data());
    if (encrypt)
        blowfish_cfb_encrypt(key, state, data.data(), data.size());
    else
        blowfish_cfb_decrypt(key, state, data.data(), data.size());
    return data;
}

Bytes reference_cfb(const Bytes &user, const Bytes &iv, Bytes data, bool encrypt)
{
    constexpr int kFeedback = 8; // whole-block feedback, not the 1-byte CFB-8
    if (encrypt) {
        CryptoPP::CFB_Mode<CryptoPP::Blowfish>::Encryption e(user.data(), user.size(), iv.data(),
                                                             kFeedback);
        e.ProcessData(data.data(), data.data(), data.size());
    } else {
        CryptoPP::CFB_Mode<CryptoPP::Blowfish>::Decryption d(user.data(), user.size(), iv.data(),
                                                             kFeedback);
        d.ProcessData(data.data(), data.data(), data.size());
    }
    return data;
}

TEST(Blowfish, EncryptsPublishedEcbVectors)
{
    for (const EcbVector &v : kEcb) {
        const BlowfishKey key = make_key(from_hex(v.key));
        Bytes out(kBlowfishBlock);
        blowfish_encrypt_block(key, from_hex(v.plain).data(), out.data());
        EXPECT_EQ(to_hex(out), v.cipher) << "key " << v.key;
    }
}

TEST(Blowfish, EncryptsPublishedVariableLengthKeyVectors)
{
    const Bytes full = from_hex("f0e1d2c3b4a5968778695a4b3c2d1e0f0011223344556677");
    const Bytes plain = from_hex("fedcba9876543210");
    size_t length = 4;
    for (const char *expected : kVariableKeyCipher) {
        const BlowfishKey key = make_key(Bytes(full.begin(), full.begin() + length));
        Bytes out(kBlowfishBlock);
        blowfish_encrypt_block(key, plain.data(), out.data());
        EXPECT_EQ(to_hex(out), expected) << "key length " << length;
        ++length;
    }
}

TEST(Blowfish, RefusesKeysOutsideFourToFiftySixBytes)
{
    const Bytes long_key(57, 1);
    BlowfishKey key;
    EXPECT_FALSE(blowfish_set_key(key, long_key.data(), 3));
    EXPECT_FALSE(blowfish_set_key(key, long_key.data(), 57));
    EXPECT_FALSE(blowfish_set_key(key, nullptr, 8));
    EXPECT_TRUE(blowfish_set_key(key, long_key.data(), 56));
}

TEST(BlowfishCfb, MatchesPublishedChainingExample)
{
    const Bytes key = from_hex("0123456789abcdeff0e1d2c3b4a59687");
    const Bytes iv = from_hex("fedcba9876543210");
    const Bytes plain = from_hex("37363534333231204e6f77206973207468652074696d6520666f722000");
    const Bytes cipher = cfb(key, iv, plain, true);
    EXPECT_EQ(to_hex(cipher), "e73214a2822139caf26ecf6d2eb9e76e3da3de04d1517200519d57a6c3");
    EXPECT_EQ(cfb(key, iv, cipher, false), plain);
}

TEST(BlowfishCfb, RandomKeysAndLengthsMatchReference)
{
    {
        // The reference must be CFB-64 (8-byte feedback), not CFB-8.
        const uint8_t key[8] = {1}, iv[8] = {};
        CryptoPP::CFB_Mode<CryptoPP::Blowfish>::Encryption e(key, sizeof key, iv, 8);
        ASSERT_EQ(e.OptimalBlockSize(), 8u);
    }
    std::mt19937 rng(20);
    for (int i = 0; i < 150; ++i) {
        const Bytes key = random_bytes(rng, 4 + rng() % 53);
        const Bytes iv = random_bytes(rng, 8);
        const Bytes data = random_bytes(rng, rng() % 600);
        const Bytes cipher = cfb(key, iv, data, true);
        ASSERT_EQ(cipher, reference_cfb(key, iv, data, true)) << "length " << data.size();
        ASSERT_EQ(cfb(key, iv, cipher, false), data);
        ASSERT_EQ(reference_cfb(key, iv, cipher, false), data);
    }
}

TEST(BlowfishCfb, StreamSplitAcrossCallsMatchesOneCall)
{
    std::mt19937 rng(21);
    const Bytes user = random_bytes(rng, 16);
    const BlowfishKey key = make_key(user);
    const Bytes iv = random_bytes(rng, 8);
    const Bytes data = random_bytes(rng, 500);
    const Bytes whole = reference_cfb(user, iv, data, true);
    for (int trial = 0; trial < 50; ++trial) {
        Bytes enc = data;
        BlowfishCfb state;
        blowfish_cfb_init(state, iv.data());
        for (size_t at = 0; at < enc.size();) {
            const size_t n = std::min<size_t>(enc.size() - at, rng() % 21);
            blowfish_cfb_encrypt(key, state, enc.data() + at, n);
            at += n;
        }
        ASSERT_EQ(enc, whole);

        BlowfishCfb back;
        blowfish_cfb_init(back, iv.data());
        for (size_t at = 0; at < enc.size();) {
            const size_t n = std::min<size_t>(enc.size() - at, rng() % 13);
            blowfish_cfb_decrypt(key, back, enc.data() + at, n);
            at += n;
        }
        ASSERT_EQ(enc, data);
    }
}

} // namespace
} // namespace kel::crypto::test
