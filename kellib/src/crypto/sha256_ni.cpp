/*
 * SHA-256 block compression on the x86 SHA extensions.  This file alone is
 * built with -msha -msse4.1; it is reached only after cpu_has_sha_ni().
 *
 * The state lives in two registers in the order the instructions want
 * (ABEF and CDGH); each group of four rounds adds the round constants to
 * four schedule words, runs two double rounds, and advances the message
 * schedule with sha256msg1/sha256msg2 while the rounds execute.
 */
#include "sha256.h"

#if defined(__x86_64__) || defined(__i386__)

#include <immintrin.h>

#include <utility>

namespace kel::crypto {
namespace {

alignas(16) constexpr uint32_t kK[64] = {
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
    0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
    0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
    0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
    0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
    0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
    0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
    0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2,
};

struct Rounds {
    __m128i abef;
    __m128i cdgh;
    __m128i msg[4]; // schedule words of the last four groups, indexed by group % 4
};

/* Four rounds (group G of 16).  Indices are compile-time constants so the
 * message registers never spill to memory. */
template <int G> inline __attribute__((always_inline)) void group(Rounds &r)
{
    __m128i wk =
        _mm_add_epi32(r.msg[G % 4], _mm_load_si128(reinterpret_cast<const __m128i *>(kK + 4 * G)));
    r.cdgh = _mm_sha256rnds2_epu32(r.cdgh, r.abef, wk);
    if constexpr (G >= 3 && G < 15) {
        // Completes the words of the next group from the last two.
        const __m128i tmp = _mm_alignr_epi8(r.msg[G % 4], r.msg[(G + 3) % 4], 4);
        r.msg[(G + 1) % 4] = _mm_add_epi32(r.msg[(G + 1) % 4], tmp);
        r.msg[(G + 1) % 4] = _mm_sha256msg2_epu32(r.msg[(G + 1) % 4], r.msg[G % 4]);
    }
    wk = _mm_shuffle_epi32(wk, 0x0E);
    r.abef = _mm_sha256rnds2_epu32(r.abef, r.cdgh, wk);
    if constexpr (G >= 1 && G < 13)
        r.msg[(G + 3) % 4] = _mm_sha256msg1_epu32(r.msg[(G + 3) % 4], r.msg[G % 4]);
}

template <int... G>
inline __attribute__((always_inline)) void all_groups(Rounds &r, std::integer_sequence<int, G...>)
{
    (group<G>(r), ...);
}

} // namespace

void sha256_blocks_ni(uint32_t state[8], const uint8_t *data, size_t blocks)
{
    // Big-endian message words into little-endian lanes.
    const __m128i bswap = _mm_set_epi64x(0x0c0d0e0f08090a0bLL, 0x0405060700010203LL);

    __m128i tmp = _mm_loadu_si128(reinterpret_cast<const __m128i *>(state));
    __m128i efgh = _mm_loadu_si128(reinterpret_cast<const __m128i *>(state + 4));
    tmp = _mm_shuffle_epi32(tmp, 0xB1);   // CDAB
    efgh = _mm_shuffle_epi32(efgh, 0x1B); // EFGH reversed
    Rounds r;
    r.abef = _mm_alignr_epi8(tmp, efgh, 8);
    r.cdgh = _mm_blend_epi16(efgh, tmp, 0xF0);

    for (; blocks > 0; --blocks, data += kSha256Block) {
        const __m128i abef_in = r.abef, cdgh_in = r.cdgh;
        for (int i = 0; i < 4; ++i) {
            const __m128i m = _mm_loadu_si128(reinterpret_cast<const __m128i *>(data + 16 * i));
            r.msg[i] = _mm_shuffle_epi8(m, bswap);
        }
        all_groups(r, std::make_integer_sequence<int, 16>{});
        r.abef = _mm_add_epi32(r.abef, abef_in);
        r.cdgh = _mm_add_epi32(r.cdgh, cdgh_in);
    }

    tmp = _mm_shuffle_epi32(r.abef, 0x1B);    // FEBA
    r.cdgh = _mm_shuffle_epi32(r.cdgh, 0xB1); // DCHG
    const __m128i abcd = _mm_blend_epi16(tmp, r.cdgh, 0xF0);
    efgh = _mm_alignr_epi8(r.cdgh, tmp, 8);
    _mm_storeu_si128(reinterpret_cast<__m128i *>(state), abcd);
    _mm_storeu_si128(reinterpret_cast<__m128i *>(state + 4), efgh);
}

} // namespace kel::crypto

#else

namespace kel::crypto {
// Never selected on processors without the extensions.
void sha256_blocks_ni(uint32_t state[8], const uint8_t *data, size_t blocks)
{
    sha256_blocks_portable(state, data, blocks);
}
} // namespace kel::crypto

#endif
