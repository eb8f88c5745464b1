/*
 * AES-128: the portable table-driven rounds, key expansion and counter mode,
 * and the choice between them and the AES-NI code in aes128_ni.cpp.
 *
 * The S-box and round tables are computed at compile time from the field
 * arithmetic rather than typed in, so a transcription error cannot hide in
 * them.  Table lookups depend on secret data; the portable path is a fallback
 * for processors without AES-NI, where that trade-off is accepted.
 */
#include "aes128.h"

#include "cpu.h"

#include <array>
#include <cstring>

namespace kel::crypto {
namespace {

constexpr uint8_t gf_mul(uint8_t a, uint8_t b)
{
    uint8_t product = 0;
    for (int i = 0; i < 8; ++i) {
        if (b & 1)
            product ^= a;
        const bool carry = (a & 0x80) != 0;
        a = uint8_t(a << 1);
        if (carry)
            a ^= 0x1b; // x^8 = x^4 + x^3 + x + 1
        b >>= 1;
    }
    return product;
}

constexpr uint8_t rotl8(uint8_t x, int n)
{
    return uint8_t((x << n) | (x >> (8 - n)));
}

constexpr std::array<uint8_t, 256> make_sbox()
{
    std::array<uint8_t, 256> box{};
    for (int x = 0; x < 256; ++x) {
        // Multiplicative inverse as x^254; 0 maps to 0.
        uint8_t inv = 1, base = uint8_t(x);
        for (int e = 254; e > 0; e >>= 1) {
            if (e & 1)
                inv = gf_mul(inv, base);
            base = gf_mul(base, base);
        }
        if (x == 0)
            inv = 0;
        box[x] =
            uint8_t(inv ^ rotl8(inv, 1) ^ rotl8(inv, 2) ^ rotl8(inv, 3) ^ rotl8(inv, 4) ^ 0x63);
    }
    return box;
}

constexpr std::array<uint8_t, 256> kSbox = make_sbox();
static_assert(kSbox[0x00] == 0x63 && kSbox[0x53] == 0xed && kSbox[0xff] == 0x16);

/* kTe[n][x]: SubBytes and MixColumns of byte x in row n, as a column word. */
constexpr std::array<std::array<uint32_t, 256>, 4> make_round_tables()
{
    std::array<std::array<uint32_t, 256>, 4> t{};
    for (int x = 0; x < 256; ++x) {
        const uint8_t s = kSbox[x];
        const uint32_t word = (uint32_t(gf_mul(s, 2)) << 24) | (uint32_t(s) << 16) |
                              (uint32_t(s) << 8) | gf_mul(s, 3);
        for (int n = 0; n < 4; ++n)
            t[n][x] = n == 0 ? word : (word >> (8 * n)) | (word << (32 - 8 * n));
    }
    return t;
}

constexpr auto kTe = make_round_tables();

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

inline uint32_t sub_word(uint32_t w)
{
    return (uint32_t(kSbox[w >> 24]) << 24) | (uint32_t(kSbox[(w >> 16) & 0xff]) << 16) |
           (uint32_t(kSbox[(w >> 8) & 0xff]) << 8) | kSbox[w & 0xff];
}

inline uint32_t te_column(uint32_t a, uint32_t b, uint32_t c, uint32_t d, uint32_t rk)
{
    return kTe[0][a >> 24] ^ kTe[1][(b >> 16) & 0xff] ^ kTe[2][(c >> 8) & 0xff] ^ kTe[3][d & 0xff] ^
           rk;
}

inline uint32_t last_column(uint32_t a, uint32_t b, uint32_t c, uint32_t d, uint32_t rk)
{
    return ((uint32_t(kSbox[a >> 24]) << 24) | (uint32_t(kSbox[(b >> 16) & 0xff]) << 16) |
            (uint32_t(kSbox[(c >> 8) & 0xff]) << 8) | kSbox[d & 0xff]) ^
           rk;
}

/* Adds one to a 128-bit big-endian counter, wrapping at 2^128. */
inline void increment_counter(uint8_t counter[kAesBlock])
{
    for (int i = kAesBlock - 1; i >= 0; --i)
        if (++counter[i] != 0)
            break;
}

} // namespace

void aes128_expand_key_portable(Aes128Key &key, const uint8_t user_key[kAes128KeySize])
{
    uint32_t *w = key.w;
    for (int i = 0; i < 4; ++i)
        w[i] = load_be32(user_key + 4 * i);
    uint8_t rcon = 1;
    for (int i = 4; i < 44; ++i) {
        uint32_t t = w[i - 1];
        if (i % 4 == 0) {
            t = sub_word((t << 8) | (t >> 24)) ^ (uint32_t(rcon) << 24);
            rcon = gf_mul(rcon, 2);
        }
        w[i] = w[i - 4] ^ t;
    }
    for (int i = 0; i < 44; ++i)
        store_be32(key.rk + 4 * i, w[i]);
}

void aes128_encrypt_block_portable(const Aes128Key &key, const uint8_t in[kAesBlock],
                                   uint8_t out[kAesBlock])
{
    const uint32_t *rk = key.w;
    uint32_t s0 = load_be32(in) ^ rk[0], s1 = load_be32(in + 4) ^ rk[1];
    uint32_t s2 = load_be32(in + 8) ^ rk[2], s3 = load_be32(in + 12) ^ rk[3];
    for (int round = 1; round < 10; ++round) {
        rk += 4;
        const uint32_t t0 = te_column(s0, s1, s2, s3, rk[0]);
        const uint32_t t1 = te_column(s1, s2, s3, s0, rk[1]);
        const uint32_t t2 = te_column(s2, s3, s0, s1, rk[2]);
        const uint32_t t3 = te_column(s3, s0, s1, s2, rk[3]);
        s0 = t0;
        s1 = t1;
        s2 = t2;
        s3 = t3;
    }
    rk += 4;
    store_be32(out, last_column(s0, s1, s2, s3, rk[0]));
    store_be32(out + 4, last_column(s1, s2, s3, s0, rk[1]));
    store_be32(out + 8, last_column(s2, s3, s0, s1, rk[2]));
    store_be32(out + 12, last_column(s3, s0, s1, s2, rk[3]));
}

void aes128_ctr_xor_portable(const Aes128Key &key, uint8_t counter[kAesBlock], uint8_t *data,
                             size_t length)
{
    uint8_t stream[kAesBlock];
    while (length > 0) {
        aes128_encrypt_block_portable(key, counter, stream);
        increment_counter(counter);
        const size_t n = length < kAesBlock ? length : kAesBlock;
        for (size_t i = 0; i < n; ++i)
            data[i] ^= stream[i];
        data += n;
        length -= n;
    }
}

void aes128_expand_key(Aes128Key &key, const uint8_t user_key[kAes128KeySize])
{
    if (use_aes_ni())
        aes128_expand_key_ni(key, user_key);
    else
        aes128_expand_key_portable(key, user_key);
}

void aes128_encrypt_block(const Aes128Key &key, const uint8_t in[kAesBlock], uint8_t out[kAesBlock])
{
    if (use_aes_ni())
        aes128_encrypt_block_ni(key, in, out);
    else
        aes128_encrypt_block_portable(key, in, out);
}

void aes128_ctr_xor(const Aes128Key &key, uint8_t counter[kAesBlock], uint8_t *data, size_t length)
{
    if (use_aes_ni())
        aes128_ctr_xor_ni(key, counter, data, length);
    else
        aes128_ctr_xor_portable(key, counter, data, length);
}

} // namespace kel::crypto
