/*
 * AES-128 on AES-NI: key expansion with aeskeygenassist, single blocks, and
 * counter mode eight blocks at a time so the aesenc latency of one block
 * hides behind the others.  This file alone is built with -maes -msse4.1;
 * it is reached only after cpu_has_aes_ni().
 */
#include "aes128.h"

#if defined(__x86_64__) || defined(__i386__)

#include <immintrin.h>

#include <utility>

namespace kel::crypto {
namespace {

constexpr size_t kLanes = 8;

inline __m128i expand_step(__m128i key, __m128i assist)
{
    assist = _mm_shuffle_epi32(assist, 0xff);
    key = _mm_xor_si128(key, _mm_slli_si128(key, 4));
    key = _mm_xor_si128(key, _mm_slli_si128(key, 4));
    key = _mm_xor_si128(key, _mm_slli_si128(key, 4));
    return _mm_xor_si128(key, assist);
}

/* The round constant must be an immediate, hence the template. */
template <int Rcon> inline __m128i next_round_key(__m128i key)
{
    return expand_step(key, _mm_aeskeygenassist_si128(key, Rcon));
}

inline void load_schedule(const Aes128Key &key, __m128i rk[11])
{
    for (int i = 0; i < 11; ++i)
        rk[i] = _mm_load_si128(reinterpret_cast<const __m128i *>(key.rk) + i);
}

inline __m128i encrypt(const __m128i rk[11], __m128i b)
{
    b = _mm_xor_si128(b, rk[0]);
    for (int i = 1; i < 10; ++i)
        b = _mm_aesenc_si128(b, rk[i]);
    return _mm_aesenclast_si128(b, rk[10]);
}

inline uint64_t load_be64(const uint8_t *p)
{
    uint64_t v = 0;
    for (int i = 0; i < 8; ++i)
        v = (v << 8) | p[i];
    return v;
}

inline void store_be64(uint8_t *p, uint64_t v)
{
    for (int i = 7; i >= 0; --i, v >>= 8)
        p[i] = uint8_t(v);
}

/* The counter is kept as two native halves; a block is the 16 bytes
 * reversed, which turns the little-endian lanes into the big-endian
 * counter block. */
inline __m128i byte_reverse()
{
    return _mm_set_epi8(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15);
}

inline __m128i counter_block(uint64_t hi, uint64_t lo, uint64_t step)
{
    const uint64_t l = lo + step;
    const uint64_t h = hi + (l < lo ? 1 : 0);
    return _mm_shuffle_epi8(_mm_set_epi64x(static_cast<long long>(h), static_cast<long long>(l)),
                            byte_reverse());
}

inline void advance(uint64_t &hi, uint64_t &lo, uint64_t n)
{
    const uint64_t l = lo + n;
    if (l < lo)
        ++hi;
    lo = l;
}

/* One batch of counter blocks.  The lanes are expanded by a fold over a
 * constant index pack, so every block stays in its own register: a plain
 * loop over an array left the blocks in memory and ran at a third of the
 * speed. */
template <size_t... I>
inline __attribute__((always_inline)) void ctr_batch(const __m128i rk[11], uint64_t hi, uint64_t lo,
                                                     uint8_t *data, std::index_sequence<I...>)
{
    __m128i b[sizeof...(I)];
    if (lo <= UINT64_MAX - (sizeof...(I) - 1)) {
        // No carry into the high half inside this batch: plain vector adds.
        const __m128i base = _mm_set_epi64x(static_cast<long long>(hi), static_cast<long long>(lo));
        ((b[I] = _mm_shuffle_epi8(_mm_add_epi64(base, _mm_set_epi64x(0, I)), byte_reverse())), ...);
    } else {
        ((b[I] = counter_block(hi, lo, I)), ...);
    }
    ((b[I] = _mm_xor_si128(b[I], rk[0])), ...);
    for (int r = 1; r < 10; ++r)
        ((b[I] = _mm_aesenc_si128(b[I], rk[r])), ...);
    ((b[I] = _mm_aesenclast_si128(b[I], rk[10])), ...);
    __m128i *p = reinterpret_cast<__m128i *>(data);
    ((_mm_storeu_si128(p + I, _mm_xor_si128(_mm_loadu_si128(p + I), b[I]))), ...);
}

} // namespace

void aes128_expand_key_ni(Aes128Key &key, const uint8_t user_key[kAes128KeySize])
{
    __m128i rk[11];
    rk[0] = _mm_loadu_si128(reinterpret_cast<const __m128i *>(user_key));
    rk[1] = next_round_key<0x01>(rk[0]);
    rk[2] = next_round_key<0x02>(rk[1]);
    rk[3] = next_round_key<0x04>(rk[2]);
    rk[4] = next_round_key<0x08>(rk[3]);
    rk[5] = next_round_key<0x10>(rk[4]);
    rk[6] = next_round_key<0x20>(rk[5]);
    rk[7] = next_round_key<0x40>(rk[6]);
    rk[8] = next_round_key<0x80>(rk[7]);
    rk[9] = next_round_key<0x1b>(rk[8]);
    rk[10] = next_round_key<0x36>(rk[9]);
    for (int i = 0; i < 11; ++i)
        _mm_store_si128(reinterpret_cast<__m128i *>(key.rk) + i, rk[i]);
    // The portable rounds read the same schedule as big-endian words.
    for (int i = 0; i < 44; ++i) {
        const uint8_t *p = key.rk + 4 * i;
        key.w[i] = (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3];
    }
}

void aes128_encrypt_block_ni(const Aes128Key &key, const uint8_t in[kAesBlock],
                             uint8_t out[kAesBlock])
{
    __m128i rk[11];
    load_schedule(key, rk);
    const __m128i b = encrypt(rk, _mm_loadu_si128(reinterpret_cast<const __m128i *>(in)));
    _mm_storeu_si128(reinterpret_cast<__m128i *>(out), b);
}

void aes128_ctr_xor_ni(const Aes128Key &key, uint8_t counter[kAesBlock], uint8_t *data,
                       size_t length)
{
    __m128i rk[11];
    load_schedule(key, rk);
    uint64_t hi = load_be64(counter), lo = load_be64(counter + 8);

    for (; length >= kLanes * kAesBlock; length -= kLanes * kAesBlock, data += kLanes * kAesBlock) {
        ctr_batch(rk, hi, lo, data, std::make_index_sequence<kLanes>{});
        advance(hi, lo, kLanes);
    }
    while (length > 0) {
        const __m128i stream = encrypt(rk, counter_block(hi, lo, 0));
        advance(hi, lo, 1);
        if (length >= kAesBlock) {
            __m128i *p = reinterpret_cast<__m128i *>(data);
            _mm_storeu_si128(p, _mm_xor_si128(_mm_loadu_si128(p), stream));
            data += kAesBlock;
            length -= kAesBlock;
        } else {
            alignas(16) uint8_t bytes[kAesBlock];
            _mm_store_si128(reinterpret_cast<__m128i *>(bytes), stream);
            for (size_t i = 0; i < length; ++i)
                data[i] ^= bytes[i];
            length = 0;
        }
    }
    store_be64(counter, hi);
    store_be64(counter + 8, lo);
}

} // namespace kel::crypto

#else

namespace kel::crypto {
// Never selected on processors without the extensions.
void aes128_expand_key_ni(Aes128Key &key, const uint8_t user_key[kAes128KeySize])
{
    aes128_expand_key_portable(key, user_key);
}
void aes128_encrypt_block_ni(const Aes128Key &key, const uint8_t in[kAesBlock],
                             uint8_t out[kAesBlock])
{
    aes128_encrypt_block_portable(key, in, out);
}
void aes128_ctr_xor_ni(const Aes128Key &key, uint8_t counter[kAesBlock], uint8_t *data,
                       size_t length)
{
    aes128_ctr_xor_portable(key, counter, data, length);
}
} // namespace kel::crypto

#endif
