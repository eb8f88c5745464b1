/*
 * The file key's cipher of the enciphered cache files: the key stream is
 * AES-128 counter mode under key F from the file's counter block (checked
 * against this folder's own AES, an independent implementation), a file
 * deciphered in blocks at any offsets equals one deciphered whole, and each
 * file gets its own counter block.
 */
#include "aes128.h"
#include "crypto_test_util.h"
#include "keys.h"

#include "kellib/protect.h"

#include <cstring>
#include <set>

namespace kel::crypto::test {
namespace {

Bytes reference_stream(const uint8_t iv[KEL_FILE_IV_SIZE], const Bytes &plain)
{
    Aes128Key key;
    aes128_expand_key(key, key_material().f);
    uint8_t counter[kAesBlock];
    std::memcpy(counter, iv, kAesBlock);
    Bytes out = plain;
    aes128_ctr_xor(key, counter, out.data(), out.size());
    return out;
}

TEST(FileKey, KeyStreamIsAesCounterModeUnderTheFileKeyFromTheCounterBlock)
{
    std::mt19937 rng(71);
    /* The last counter block wraps past 2^128 inside the data. */
    uint8_t ivs[2][KEL_FILE_IV_SIZE];
    for (auto &b : ivs[0])
        b = uint8_t(rng());
    std::memset(ivs[1], 0xff, sizeof ivs[1]);
    for (const auto &iv : ivs) {
        for (size_t length : {1, 15, 16, 17, 1000, 65537}) {
            const Bytes plain = random_bytes(rng, length);
            Bytes data = plain;
            ASSERT_EQ(KelFileKeyCrypt(iv, 0, reinterpret_cast<char *>(data.data()), data.size()),
                      0);
            EXPECT_EQ(data, reference_stream(iv, plain)) << length;
            ASSERT_EQ(KelFileKeyCrypt(iv, 0, reinterpret_cast<char *>(data.data()), data.size()),
                      0);
            EXPECT_EQ(data, plain) << "the same operation deciphers";
        }
    }
}

TEST(FileKey, BlocksAtAnyOffsetEqualTheWholeFile)
{
    std::mt19937 rng(72);
    uint8_t iv[KEL_FILE_IV_SIZE];
    ASSERT_EQ(KelFileKeyNewIv(iv), 0);
    const Bytes plain = random_bytes(rng, 10007);
    Bytes whole = plain;
    KelFileKeyCrypt(iv, 0, reinterpret_cast<char *>(whole.data()), whole.size());
    Bytes pieces = plain;
    for (size_t at = 0; at < pieces.size();) {
        const size_t n = std::min<size_t>(1 + rng() % 700, pieces.size() - at);
        ASSERT_EQ(KelFileKeyCrypt(iv, at, reinterpret_cast<char *>(pieces.data() + at), n), 0);
        at += n;
    }
    EXPECT_EQ(pieces, whole);
}

TEST(FileKey, EveryFileGetsItsOwnCounterBlockAndBadArgumentsFail)
{
    std::set<Bytes> seen;
    for (int i = 0; i < 64; i++) {
        uint8_t iv[KEL_FILE_IV_SIZE];
        ASSERT_EQ(KelFileKeyNewIv(iv), 0);
        seen.insert(Bytes(iv, iv + sizeof iv));
    }
    EXPECT_EQ(seen.size(), 64u);
    EXPECT_EQ(KelFileKeyNewIv(nullptr), -1);
    uint8_t iv[KEL_FILE_IV_SIZE] = {};
    char byte = 'x';
    EXPECT_EQ(KelFileKeyCrypt(nullptr, 0, &byte, 1), -1);
    EXPECT_EQ(KelFileKeyCrypt(iv, 0, nullptr, 1), -1);
    EXPECT_EQ(KelFileKeyCrypt(iv, 0, nullptr, 0), 0);
    EXPECT_EQ(byte, 'x');
}

TEST(FileKey, DiffersFromTheWireKeys)
{
    const KeyMaterial &k = key_material();
    EXPECT_NE(std::memcmp(k.f, k.s, kAes128KeySize), 0);
    EXPECT_NE(std::memcmp(k.f, k.e, kAes128KeySize), 0);
    EXPECT_NE(std::memcmp(k.f, k.m, kAes128KeySize), 0);
}

} // namespace
} // namespace kel::crypto::test
