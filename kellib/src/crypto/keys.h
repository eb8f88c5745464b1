/*
 * The fixed keys of the protection modes and their expanded schedules.
 *
 * Both ends of a connection hold the same five keys: A and B (Blowfish, 8
 * bytes), S (AES-128, used as stored) and E and M (AES-128, built at start
 * from a table, a seed and a selector so that they never sit in the binary
 * as plain bytes).  The file key F of the enciphered cache files is built
 * the same way; it never crosses the wire, but every client of a site must
 * read the files another left.  Everything is computed on first use, thread-safely, and
 * kept for the life of the process.
 */
#ifndef KELLIB_CRYPTO_KEYS_H
#define KELLIB_CRYPTO_KEYS_H

#include "aes128.h"
#include "blowfish.h"

#include <cstddef>
#include <cstdint>

namespace kel::crypto {

constexpr size_t kBlowfishKeySize = 8;

struct KeyMaterial {
    uint8_t a[kBlowfishKeySize]; // mode 1 payloads and enciphered cache files
    uint8_t b[kBlowfishKeySize]; // mode 4 digests
    uint8_t s[kAes128KeySize];   // modes 2 and 4 payloads
    uint8_t e[kAes128KeySize];   // mode 8 payloads
    uint8_t m[kAes128KeySize];   // mode 8 tags
    uint8_t f[kAes128KeySize];   // the file key: enciphered cache files (".x2m")
};

struct KeySchedules {
    BlowfishKey a;
    BlowfishKey b;
    Aes128Key s;
    Aes128Key m;
    // Key E's schedule lives in the mode 8 cipher objects, not here.
};

const KeyMaterial &key_material();
const KeySchedules &key_schedules();

/* Bit rotation applied to byte i of a derived key: (selector + 3 i) mod 8. */
unsigned derive_rotation(uint8_t selector, size_t i);

/* out[i] = rotl8(table[i] ^ seed, derive_rotation(selector, i)). */
void derive_key(const uint8_t table[kAes128KeySize], uint8_t seed, uint8_t selector,
                uint8_t out[kAes128KeySize]);

} // namespace kel::crypto

#endif /* KELLIB_CRYPTO_KEYS_H */
