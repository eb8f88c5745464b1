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

struct Rounds {
    __m128i abef;
    __m128i cdgh;
    __m128i msg[4]; // schedule words of the last four groups, indexed by group % 4
};

/* Four rounds (group G of 16).  Indices are compile-time constants so the
 * message registers never spill to memory. */
template <int G> inline __attribute__((always_inline)) void group(Rounds &r)
{
    __m128i wk = _mm_add_epi32(r.msg[G % 4], _mm_load_si128(reinterpret_cast<const __m128i *>(
                                                 kSha256RoundConstants + 4 * G)));
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
