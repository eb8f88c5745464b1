/*
 * The protection modes of wire payloads, the cache-file cipher and the
 * exported SHA-256.
 *
 * Mode 8 encrypts its payload with Crypto++'s AES counter mode from a fresh
 * random counter block; everything else runs on this folder's own ciphers
 * with schedules expanded once per process.  Crypto++ reports failures by
 * exception; none may leave this file, so each use is fenced.
 */
#include "kellib/protect.h"

#include "keys.h"
#include "sha256.h"

#include <cryptopp/aes.h>
#include <cryptopp/modes.h>
#include <cryptopp/osrng.h>

#include <cstring>

using namespace kel::crypto;

namespace {

constexpr int kTagSize = 32;
constexpr int kCounterSize = 16;
static_assert(KEL_DIGEST_TRAILER == kTagSize);
static_assert(KEL_SEALED_TRAILER == kTagSize + kCounterSize);

/* Per thread: seeding the generator and keying the cipher cost far more
 * than a small message, so both are done once per thread. */
struct SealedCipher {
    CryptoPP::AutoSeededRandomPool rng;
    CryptoPP::CTR_Mode<CryptoPP::AES>::Encryption ctr;

    SealedCipher()
    {
        const uint8_t zero[kCounterSize] = {};
        ctr.SetKeyWithIV(key_material().e, kAes128KeySize, zero, sizeof zero);
    }
};

SealedCipher &sealed_cipher()
{
    thread_local SealedCipher cipher;
    return cipher;
}

/* Crypto++ counter mode under key E from the given counter block. */
bool sealed_crypt(const uint8_t counter[kCounterSize], uint8_t *data, size_t length)
{
    try {
        SealedCipher &c = sealed_cipher();
        c.ctr.Resynchronize(counter, kCounterSize);
        c.ctr.ProcessData(data, data, length);
        return true;
    } catch (...) {
        return false;
    }
}

bool random_counter(uint8_t counter[kCounterSize])
{
    try {
        sealed_cipher().rng.GenerateBlock(counter, kCounterSize);
        return true;
    } catch (...) {
        return false;
    }
}

/* Compares without an early exit, so the time taken says nothing about
 * where a forged tag first differs. */
bool equal_constant_time(const uint8_t *a, const uint8_t *b, size_t n)
{
    volatile uint8_t diff = 0;
    for (size_t i = 0; i < n; ++i)
        diff = diff | uint8_t(a[i] ^ b[i]);
    return diff == 0;
}

/* Mode 8 tag: SHA-256 of the ciphertext under AES-CTR with key M. */
void sealed_tag(const uint8_t *cipher, size_t length, const uint8_t counter[kCounterSize],
                uint8_t tag[kTagSize])
{
    sha256_digest(cipher, length, tag);
    uint8_t ctr[kCounterSize];
    std::memcpy(ctr, counter, sizeof ctr);
    aes128_ctr_xor(key_schedules().m, ctr, tag, kTagSize);
}

/* Mode 4 digest: SHA-256 of the ciphertext under Blowfish CFB with key B. */
void digest_trailer(const uint8_t *cipher, size_t length, uint8_t digest[kTagSize])
{
    sha256_digest(cipher, length, digest);
    BlowfishCfb cfb;
    blowfish_cfb_init(cfb);
    blowfish_cfb_encrypt(key_schedules().b, cfb, digest, kTagSize);
}

void static_aes(uint8_t *data, size_t length)
{
    uint8_t counter[kCounterSize] = {};
    aes128_ctr_xor(key_schedules().s, counter, data, length);
}

void blowfish_a(uint8_t *data, size_t length, bool encrypt)
{
    BlowfishCfb cfb;
    blowfish_cfb_init(cfb);
    if (encrypt)
        blowfish_cfb_encrypt(key_schedules().a, cfb, data, length);
    else
        blowfish_cfb_decrypt(key_schedules().a, cfb, data, length);
}

int protect_sealed(uint8_t *data, size_t length)
{
    uint8_t counter[kCounterSize];
    if (!random_counter(counter) || !sealed_crypt(counter, data, length))
        return -1;
    sealed_tag(data, length, counter, data + length);
    std::memcpy(data + length + kTagSize, counter, kCounterSize);
    return 0;
}

int unprotect_sealed(uint8_t *data, int *length)
{
    // An empty payload is never sent, so 48 bytes is a malformed frame.
    if (*length < KEL_SEALED_TRAILER + 1)
        return -1;
    const size_t body = size_t(*length) - KEL_SEALED_TRAILER;
    const uint8_t *counter = data + body + kTagSize;
    uint8_t tag[kTagSize];
    sealed_tag(data, body, counter, tag);
    if (!equal_constant_time(tag, data + body, kTagSize))
        return -1;
    if (!sealed_crypt(counter, data, body))
        return -1;
    *length = int(body);
    return 0;
}

/* A failed check still runs the mode 2 decryption over the whole length;
 * harmless, since the caller drops the frame. */
int unprotect_digest(uint8_t *data, int *length)
{
    int result = -1;
    if (*length > KEL_DIGEST_TRAILER) {
        const size_t body = size_t(*length) - KEL_DIGEST_TRAILER;
        uint8_t digest[kTagSize];
        digest_trailer(data, body, digest);
        if (equal_constant_time(digest, data + body, kTagSize)) {
            result = 0;
            *length = int(body);
        }
    }
    static_aes(data, size_t(*length));
    return result;
}

/* The receiver reads the mode byte by its bits, highest first. */
int receipt_mode(int mode)
{
    if (mode & KEL_MODE_SEALED)
        return KEL_MODE_SEALED;
    if (mode & KEL_MODE_AES_DIGEST)
        return KEL_MODE_AES_DIGEST;
    if (mode & KEL_MODE_AES)
        return KEL_MODE_AES;
    return KEL_MODE_BLOWFISH;
}

} // namespace

int KelModeFromOptions(int options)
{
    if (options & 0x200)
        return KEL_MODE_SEALED;
    if (options & 0x100)
        return KEL_MODE_AES_DIGEST;
    if (options & 0x080)
        return KEL_MODE_AES;
    if (options & 0x040)
        return KEL_MODE_BLOWFISH;
    return KEL_MODE_PLAIN;
}

int KelTrailerSize(int mode)
{
    if (mode == KEL_MODE_SEALED)
        return KEL_SEALED_TRAILER;
    if (mode == KEL_MODE_AES_DIGEST)
        return KEL_DIGEST_TRAILER;
    return 0;
}

int ProtectPayload(char *data, int length, int mode)
{
    if (length < 0 || (data == nullptr && length > 0))
        return -1;
    auto *p = reinterpret_cast<uint8_t *>(data);
    const auto n = size_t(length);
    switch (mode) {
    case KEL_MODE_PLAIN:
        return 0;
    case KEL_MODE_BLOWFISH:
        blowfish_a(p, n, true);
        return 0;
    case KEL_MODE_AES:
        static_aes(p, n);
        return 0;
    case KEL_MODE_AES_DIGEST:
        if (p == nullptr)
            return -1;
        static_aes(p, n);
        digest_trailer(p, n, p + n);
        return 0;
    case KEL_MODE_SEALED:
        return p == nullptr ? -1 : protect_sealed(p, n);
    default:
        // Not a mode a sender may choose; nothing is touched.
        return -1;
    }
}

int UnprotectPayload(char *data, int *length, int mode)
{
    if (length == nullptr || *length < 0 || (data == nullptr && *length > 0))
        return -1;
    auto *p = reinterpret_cast<uint8_t *>(data);
    switch (receipt_mode(mode)) {
    case KEL_MODE_SEALED:
        return unprotect_sealed(p, length);
    case KEL_MODE_AES_DIGEST:
        return unprotect_digest(p, length);
    case KEL_MODE_AES:
        static_aes(p, size_t(*length));
        return 0;
    default:
        blowfish_a(p, size_t(*length), false);
        return 0;
    }
}

void KelBlowfishDecryptA(char *data, int length)
{
    if (data != nullptr && length > 0)
        blowfish_a(reinterpret_cast<uint8_t *>(data), size_t(length), false);
}

void KelBlowfishEncryptA(char *data, int length)
{
    if (data != nullptr && length > 0)
        blowfish_a(reinterpret_cast<uint8_t *>(data), size_t(length), true);
}

const char *Sha256(const void *data, size_t length, int flags)
{
    // One buffer per thread: concurrent callers never see each other's result.
    thread_local char result[2 * kSha256Size + 1];
    uint8_t digest[kSha256Size];
    sha256_digest(data != nullptr ? data : "", data != nullptr ? length : 0, digest);
    if (flags & SHA256_RAW) {
        std::memcpy(result, digest, kSha256Size);
        return result;
    }
    static const char kHex[] = "0123456789abcdef";
    for (size_t i = 0; i < kSha256Size; ++i) {
        result[2 * i] = kHex[digest[i] >> 4];
        result[2 * i + 1] = kHex[digest[i] & 15];
    }
    result[2 * kSha256Size] = '\0';
    return result;
}
