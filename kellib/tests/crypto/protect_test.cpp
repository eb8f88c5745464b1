/*
 * The payload protection modes as a receiver sees them: round trips,
 * trailer layouts rebuilt from the primitives, length boundaries, tampering,
 * the mode-byte rules, the derived keys, and hostile arguments.
 */
#include "crypto_test_util.h"
#include "keys.h"
#include "sha256.h"

#include "kellib/protect.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <thread>

namespace kel::crypto::test {
namespace {

constexpr int kModes[] = {KEL_MODE_BLOWFISH, KEL_MODE_AES, KEL_MODE_AES_DIGEST, KEL_MODE_SEALED};

/* A send buffer: payload plus room for the trailer. */
Bytes protect(const Bytes &payload, int mode)
{
    Bytes wire(payload.size() + size_t(KelTrailerSize(mode)));
    std::copy(payload.begin(), payload.end(), wire.begin());
    EXPECT_EQ(ProtectPayload(reinterpret_cast<char *>(wire.data()), int(payload.size()), mode), 0);
    return wire;
}

/* Returns the UnprotectPayload result; on success wire holds the payload. */
int unprotect(Bytes &wire, int mode_byte)
{
    int length = int(wire.size());
    const int r = UnprotectPayload(reinterpret_cast<char *>(wire.data()), &length, mode_byte);
    if (r == 0)
        wire.resize(size_t(length));
    else
        EXPECT_EQ(length, int(wire.size())) << "a failed check must leave the length alone";
    return r;
}

TEST(ProtectModes, EveryModeRoundTripsEveryLength)
{
    std::mt19937 rng(30);
    for (int mode : kModes) {
        for (size_t length : {1, 15, 16, 17, 100, 101, 4096}) {
            const Bytes payload = random_bytes(rng, length);
            Bytes wire = protect(payload, mode);
            if (length >= 16) {
                EXPECT_NE(Bytes(wire.begin(), wire.begin() + long(length)), payload);
            }
            ASSERT_EQ(unprotect(wire, mode), 0) << "mode " << mode << " length " << length;
            EXPECT_EQ(wire, payload) << "mode " << mode << " length " << length;
        }
    }
}

TEST(ProtectModes, EmptyPayloadRoundTripsOnlyWithoutTrailer)
{
    for (int mode : {KEL_MODE_BLOWFISH, KEL_MODE_AES}) {
        Bytes wire = protect({}, mode);
        EXPECT_EQ(unprotect(wire, mode), 0);
        EXPECT_TRUE(wire.empty());
    }
    // A frame holding nothing but a trailer is refused.
    Bytes digest_only = protect({}, KEL_MODE_AES_DIGEST);
    EXPECT_EQ(unprotect(digest_only, KEL_MODE_AES_DIGEST), -1);
    Bytes sealed_only = protect({}, KEL_MODE_SEALED);
    EXPECT_EQ(sealed_only.size(), 48u);
    EXPECT_EQ(unprotect(sealed_only, KEL_MODE_SEALED), -1);
}

TEST(ProtectModes, SealedOneBytePayloadIsAcceptedAtFortyNine)
{
    Bytes wire = protect({0x5a}, KEL_MODE_SEALED);
    ASSERT_EQ(wire.size(), 49u);
    ASSERT_EQ(unprotect(wire, KEL_MODE_SEALED), 0);
    EXPECT_EQ(wire, Bytes{0x5a});
}

TEST(ProtectModes, SealedMessagesDifferEachTime)
{
    const Bytes payload(64, 0x11);
    EXPECT_NE(protect(payload, KEL_MODE_SEALED), protect(payload, KEL_MODE_SEALED));
}

TEST(ProtectModes, ChangingAnySealedByteFailsTheCheck)
{
    std::mt19937 rng(31);
    const Bytes payload = random_bytes(rng, 37);
    const Bytes wire = protect(payload, KEL_MODE_SEALED);
    for (size_t i = 0; i < wire.size(); ++i) {
        Bytes bad = wire;
        bad[i] ^= uint8_t(1u << (i % 8));
        ASSERT_EQ(unprotect(bad, KEL_MODE_SEALED), -1) << "byte " << i;
    }
}

TEST(ProtectModes, ChangingAnyDigestByteFailsTheCheck)
{
    std::mt19937 rng(32);
    const Bytes payload = random_bytes(rng, 41);
    const Bytes wire = protect(payload, KEL_MODE_AES_DIGEST);
    for (size_t i = 0; i < wire.size(); ++i) {
        Bytes bad = wire;
        bad[i] ^= 0x80;
        ASSERT_EQ(unprotect(bad, KEL_MODE_AES_DIGEST), -1) << "byte " << i;
    }
}

TEST(ProtectModes, ShortTrailerFramesAreRefusedWithoutOverrun)
{
    // Every length below the trailer plus one payload byte, from an exact
    // allocation so that a read past the end shows under the sanitizers.
    for (int mode : {KEL_MODE_AES_DIGEST, KEL_MODE_SEALED}) {
        for (int length = 0; length <= KelTrailerSize(mode); ++length) {
            Bytes frame(size_t(length), 0x33);
            EXPECT_EQ(unprotect(frame, mode), -1) << "mode " << mode << " length " << length;
        }
    }
}

TEST(ProtectModes, ReceiverPicksModeByHighestBit)
{
    struct Case {
        int byte, mode;
    };
    const Case cases[] = {{1, 1}, {16, 1}, {64, 1}, {0, 1}, {2, 2}, {4, 4},
                          {8, 8}, {12, 8}, {6, 4},  {3, 2}, {-1, 8}};
    std::mt19937 rng(33);
    for (const Case &c : cases) {
        const Bytes payload = random_bytes(rng, 77);
        Bytes wire = protect(payload, c.mode);
        ASSERT_EQ(unprotect(wire, c.byte), 0) << "mode byte " << c.byte;
        EXPECT_EQ(wire, payload) << "mode byte " << c.byte;
    }
}

TEST(ProtectModes, SendOptionsChooseHighestProtection)
{
    EXPECT_EQ(KelModeFromOptions(0x202), KEL_MODE_SEALED);
    EXPECT_EQ(KelModeFromOptions(0x242), KEL_MODE_SEALED);
    EXPECT_EQ(KelModeFromOptions(0x3c0), KEL_MODE_SEALED);
    EXPECT_EQ(KelModeFromOptions(0x1c0), KEL_MODE_AES_DIGEST);
    EXPECT_EQ(KelModeFromOptions(0x0c2), KEL_MODE_AES);
    EXPECT_EQ(KelModeFromOptions(0x042), KEL_MODE_BLOWFISH);
    EXPECT_EQ(KelModeFromOptions(0x002), KEL_MODE_PLAIN);
    EXPECT_EQ(KelModeFromOptions(0x03d), KEL_MODE_PLAIN);
    EXPECT_EQ(KelTrailerSize(KEL_MODE_SEALED), 48);
    EXPECT_EQ(KelTrailerSize(KEL_MODE_AES_DIGEST), 32);
    EXPECT_EQ(KelTrailerSize(KEL_MODE_AES), 0);
    EXPECT_EQ(KelTrailerSize(KEL_MODE_PLAIN), 0);
}

/* The layouts a server must produce, rebuilt from the primitives. */
TEST(ProtectLayout, SealedTrailerIsEncryptedTagThenCounter)
{
    std::mt19937 rng(34);
    const Bytes payload = random_bytes(rng, 123);
    const Bytes wire = protect(payload, KEL_MODE_SEALED);
    const uint8_t *tag = wire.data() + payload.size();
    const uint8_t *counter = tag + 32;

    Aes128Key e;
    aes128_expand_key(e, key_material().e);
    Bytes plain(wire.begin(), wire.begin() + long(payload.size()));
    Bytes c(counter, counter + 16);
    aes128_ctr_xor(e, c.data(), plain.data(), plain.size());
    EXPECT_EQ(plain, payload);

    Bytes expected_tag(32);
    sha256_digest(wire.data(), payload.size(), expected_tag.data());
    c.assign(counter, counter + 16);
    aes128_ctr_xor(key_schedules().m, c.data(), expected_tag.data(), 32);
    EXPECT_EQ(Bytes(tag, tag + 32), expected_tag);
}

TEST(ProtectLayout, DigestTrailerIsBlowfishOfCiphertextDigest)
{
    std::mt19937 rng(35);
    const Bytes payload = random_bytes(rng, 90);
    const Bytes wire = protect(payload, KEL_MODE_AES_DIGEST);

    Bytes plain(wire.begin(), wire.begin() + long(payload.size()));
    uint8_t zero[16] = {};
    aes128_ctr_xor(key_schedules().s, zero, plain.data(), plain.size());
    EXPECT_EQ(plain, payload);

    Bytes digest(32);
    sha256_digest(wire.data(), payload.size(), digest.data());
    BlowfishCfb cfb;
    blowfish_cfb_init(cfb);
    blowfish_cfb_encrypt(key_schedules().b, cfb, digest.data(), digest.size());
    EXPECT_EQ(Bytes(wire.begin() + long(payload.size()), wire.end()), digest);
}

TEST(ProtectLayout, CacheFileCipherIsModeOne)
{
    std::mt19937 rng(36);
    const Bytes payload = random_bytes(rng, 333);
    Bytes file = payload;
    KelBlowfishEncryptA(reinterpret_cast<char *>(file.data()), int(file.size()));
    EXPECT_EQ(file, protect(payload, KEL_MODE_BLOWFISH));
    KelBlowfishDecryptA(reinterpret_cast<char *>(file.data()), int(file.size()));
    EXPECT_EQ(file, payload);
}

TEST(ProtectLayout, MessagesOpenOnTheOtherCodePath)
{
    if (!cpu_has_aes_ni() || !cpu_has_sha_ni())
        GTEST_SKIP() << "processor lacks the extensions";
    std::mt19937 rng(37);
    for (int mode : kModes) {
        const Bytes payload = random_bytes(rng, 1000);
        Bytes wire = protect(payload, mode);
        PortableScope portable;
        ASSERT_EQ(unprotect(wire, mode), 0) << "mode " << mode;
        EXPECT_EQ(wire, payload);
    }
}

TEST(ProtectKeys, DerivedKeysMatchKnownAnswers)
{
    uint8_t table[16], out[16];
    for (int i = 0; i < 16; ++i)
        table[i] = uint8_t(i);
    derive_key(table, 0x5a, 3, out);
    EXPECT_EQ(to_hex(out, 16), "d2d6b0952f7d8b5d92d4a0152b5d8a55");
    // The values the server is configured with.
    EXPECT_EQ(to_hex(key_material().e, 16), "0bdf35ffc06887eb2287cac4662da33f");
    EXPECT_EQ(to_hex(key_material().m, 16), "1759a7352c7c7aa5693585bb51947a11");
}

TEST(ProtectArguments, HostileArgumentsFailWithoutTouchingData)
{
    char data[64] = "payload";
    int length = -1;
    EXPECT_EQ(UnprotectPayload(data, &length, KEL_MODE_SEALED), -1);
    EXPECT_EQ(UnprotectPayload(data, &length, KEL_MODE_BLOWFISH), -1);
    EXPECT_EQ(UnprotectPayload(data, nullptr, KEL_MODE_AES), -1);
    length = 10;
    EXPECT_EQ(UnprotectPayload(nullptr, &length, KEL_MODE_AES), -1);
    EXPECT_EQ(ProtectPayload(data, -5, KEL_MODE_AES), -1);
    EXPECT_EQ(ProtectPayload(nullptr, 10, KEL_MODE_SEALED), -1);
    EXPECT_EQ(ProtectPayload(data, 7, 3), -1); // not a mode a sender chooses
    EXPECT_EQ(ProtectPayload(data, 7, KEL_MODE_PLAIN), 0);
    EXPECT_STREQ(data, "payload");
    KelBlowfishEncryptA(nullptr, 10);
    KelBlowfishDecryptA(data, -1);
    EXPECT_STREQ(data, "payload");
}

TEST(ProtectThreads, SealedMessagesFromManyThreadsRoundTrip)
{
    std::vector<std::thread> threads;
    std::atomic<int> failures{0};
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([t, &failures] {
            std::mt19937 rng(uint32_t(40 + t));
            for (int i = 0; i < 200; ++i) {
                const Bytes payload = random_bytes(rng, 1 + rng() % 300);
                Bytes wire = protect(payload, i % 2 ? KEL_MODE_SEALED : KEL_MODE_AES_DIGEST);
                if (unprotect(wire, i % 2 ? KEL_MODE_SEALED : KEL_MODE_AES_DIGEST) != 0 ||
                    wire != payload)
                    ++failures;
            }
        });
    }
    for (auto &th : threads)
        th.join();
    EXPECT_EQ(failures.load(), 0);
}

} // namespace
} // namespace kel::crypto::test
