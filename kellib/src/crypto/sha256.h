/*
 * SHA-256 (FIPS 180-4): a streaming context plus one-shot digest.  The
 * block compression runs on SHA-NI when the processor has it, else on the
 * portable code; both give identical results.
 */
#ifndef KELLIB_CRYPTO_SHA256_H
#define KELLIB_CRYPTO_SHA256_H

#include <cstddef>
#include <cstdint>

namespace kel::crypto {

/* FIPS 180-4 round constants, shared by the portable and SHA-NI paths. */
alignas(16) extern const uint32_t kSha256RoundConstants[64];

constexpr size_t kSha256Size = 32;
constexpr size_t kSha256Block = 64;

struct Sha256Ctx {
    uint32_t state[8];
    uint64_t total;              // bytes fed so far
    uint8_t block[kSha256Block]; // the incomplete block
    size_t used;                 // bytes waiting in block
};

void sha256_init(Sha256Ctx &ctx);
void sha256_update(Sha256Ctx &ctx, const void *data, size_t length);
/* Writes the digest; the context must be initialised again before reuse. */
void sha256_final(Sha256Ctx &ctx, uint8_t out[kSha256Size]);

void sha256_digest(const void *data, size_t length, uint8_t out[kSha256Size]);

/* Block compression, one implementation each; callers go through the
 * functions above, which pick one. */
void sha256_blocks_portable(uint32_t state[8], const uint8_t *data, size_t blocks);
/* Only valid when cpu_has_sha_ni(). */
void sha256_blocks_ni(uint32_t state[8], const uint8_t *data, size_t blocks);

} // namespace kel::crypto

#endif /* KELLIB_CRYPTO_SHA256_H */
