/*
 * SHA-256: padding, streaming and the portable block compression.  The
 * SHA-NI compression lives in sha256_ni.cpp, the only file built with the
 * instruction-set flags, so nothing here can fault on an older processor.
 */
#include "sha256.h"

#include "cpu.h"

#include <algorithm>
#include <cstring>

namespace kel::crypto {

/* The round constants: the first 32 bits of the fractional parts of the cube
 * roots of the first 64 primes.  Aligned for the SHA-NI path's 16-byte loads. */
alignas(16) const uint32_t kSha256RoundConstants[64] = {
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
    0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
    0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
    0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
    0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
    0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
    0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
    0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2,
};

namespace {

constexpr uint32_t kInitialState[8] = {
    0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a, 0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19,
};

inline uint32_t rotr(uint32_t x, int n)
{
    return (x >> n) | (x << (32 - n));
}

inline uint32_t load_be32(const uint8_t *p)
{
    return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3];
}

inline void store_be32(uint8_t *p, uint32_t v)
{
    p[0] = uint8_t(v >> 24);
    p[1] = uint8_t(v >> 16);
    p[2] = uint8_t(v >> 8);
    p[3] = uint8_t(v);
}

void compress_one(uint32_t state[8], const uint8_t *block)
{
    uint32_t w[16];
    for (int i = 0; i < 16; ++i)
        w[i] = load_be32(block + 4 * i);

    uint32_t a = state[0], b = state[1], c = state[2], d = state[3];
    uint32_t e = state[4], f = state[5], g = state[6], h = state[7];
    for (int i = 0; i < 64; ++i) {
        // The schedule is kept as a rolling window of 16 words.
        if (i >= 16) {
            const uint32_t w15 = w[(i - 15) & 15], w2 = w[(i - 2) & 15];
            const uint32_t s0 = rotr(w15, 7) ^ rotr(w15, 18) ^ (w15 >> 3);
            const uint32_t s1 = rotr(w2, 17) ^ rotr(w2, 19) ^ (w2 >> 10);
            w[i & 15] += s0 + w[(i - 7) & 15] + s1;
        }
        const uint32_t t1 = h + (rotr(e, 6) ^ rotr(e, 11) ^ rotr(e, 25)) + ((e & f) ^ (~e & g)) +
                            kSha256RoundConstants[i] + w[i & 15];
        const uint32_t t2 =
            (rotr(a, 2) ^ rotr(a, 13) ^ rotr(a, 22)) + ((a & b) ^ (a & c) ^ (b & c));
        h = g;
        g = f;
        f = e;
        e = d + t1;
        d = c;
        c = b;
        b = a;
        a = t1 + t2;
    }
    state[0] += a;
    state[1] += b;
    state[2] += c;
    state[3] += d;
    state[4] += e;
    state[5] += f;
    state[6] += g;
    state[7] += h;
}

using BlockFn = void (*)(uint32_t *, const uint8_t *, size_t);

BlockFn block_function()
{
    return use_sha_ni() ? sha256_blocks_ni : sha256_blocks_portable;
}

} // namespace

void sha256_blocks_portable(uint32_t state[8], const uint8_t *data, size_t blocks)
{
    for (; blocks > 0; --blocks, data += kSha256Block)
        compress_one(state, data);
}

void sha256_init(Sha256Ctx &ctx)
{
    std::memcpy(ctx.state, kInitialState, sizeof ctx.state);
    ctx.total = 0;
    ctx.used = 0;
}

void sha256_update(Sha256Ctx &ctx, const void *data, size_t length)
{
    if (length == 0)
        return;
    const BlockFn compress = block_function();
    auto *in = static_cast<const uint8_t *>(data);
    ctx.total += length;

    if (ctx.used > 0) {
        const size_t take = std::min(length, kSha256Block - ctx.used);
        std::memcpy(ctx.block + ctx.used, in, take);
        ctx.used += take;
        in += take;
        length -= take;
        if (ctx.used < kSha256Block)
            return;
        compress(ctx.state, ctx.block, 1);
        ctx.used = 0;
    }
    // Whole blocks straight from the caller's memory, without copying.
    const size_t blocks = length / kSha256Block;
    if (blocks > 0) {
        compress(ctx.state, in, blocks);
        in += blocks * kSha256Block;
        length -= blocks * kSha256Block;
    }
    std::memcpy(ctx.block, in, length);
    ctx.used = length;
}

void sha256_final(Sha256Ctx &ctx, uint8_t out[kSha256Size])
{
    const uint64_t bits = ctx.total * 8;
    const BlockFn compress = block_function();

    ctx.block[ctx.used++] = 0x80;
    // No room for the 8-byte length: pad out this block and start another.
    if (ctx.used > kSha256Block - 8) {
        std::memset(ctx.block + ctx.used, 0, kSha256Block - ctx.used);
        compress(ctx.state, ctx.block, 1);
        ctx.used = 0;
    }
    std::memset(ctx.block + ctx.used, 0, kSha256Block - 8 - ctx.used);
    for (int i = 0; i < 8; ++i)
        ctx.block[kSha256Block - 1 - i] = uint8_t(bits >> (8 * i));
    compress(ctx.state, ctx.block, 1);

    for (int i = 0; i < 8; ++i)
        store_be32(out + 4 * i, ctx.state[i]);
}

void sha256_digest(const void *data, size_t length, uint8_t out[kSha256Size])
{
    Sha256Ctx ctx;
    sha256_init(ctx);
    sha256_update(ctx, data, length);
    sha256_final(ctx, out);
}

} // namespace kel::crypto
