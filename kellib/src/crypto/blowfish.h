/*
 * Blowfish (16 rounds, subkeys initialised from the digits of pi) and its
 * 64-bit cipher feedback mode with a running byte position.  Blocks are two
 * big-endian 32-bit words.  Expanding a key runs the cipher 521 times, so
 * callers expand once and keep the schedule.
 */
#ifndef KELLIB_CRYPTO_BLOWFISH_H
#define KELLIB_CRYPTO_BLOWFISH_H

#include <cstddef>
#include <cstdint>

namespace kel::crypto {

constexpr int kBlowfishRounds = 16;
constexpr size_t kBlowfishBlock = 8;
constexpr size_t kBlowfishMinKey = 4;
constexpr size_t kBlowfishMaxKey = 56;

extern const uint32_t kBlowfishInitP[kBlowfishRounds + 2];
extern const uint32_t kBlowfishInitS[4][256];

struct BlowfishKey {
    uint32_t p[kBlowfishRounds + 2];
    uint32_t s[4][256];
};

/* Expands a key of kBlowfishMinKey to kBlowfishMaxKey bytes; false (and the
 * schedule untouched) for any other length. */
bool blowfish_set_key(BlowfishKey &key, const uint8_t *user_key, size_t length);

/* Enciphers one block given as its two big-endian words. */
void blowfish_encrypt_words(const BlowfishKey &key, uint32_t &left, uint32_t &right);
void blowfish_encrypt_block(const BlowfishKey &key, const uint8_t in[kBlowfishBlock],
                            uint8_t out[kBlowfishBlock]);

/* Running state of CFB-64: the feedback register and the position in it.
 * A message split over several calls gives the same bytes as one call. */
struct BlowfishCfb {
    uint8_t reg[kBlowfishBlock];
    unsigned pos; // 0..7; at 0 the register is enciphered before use
};

/* Starts a stream at the given vector, or at eight zero bytes for null. */
void blowfish_cfb_init(BlowfishCfb &cfb, const uint8_t *iv = nullptr);
/* In place: the ciphertext bytes produced feed back. */
void blowfish_cfb_encrypt(const BlowfishKey &key, BlowfishCfb &cfb, uint8_t *data, size_t length);
/* In place: the ciphertext bytes consumed feed back. */
void blowfish_cfb_decrypt(const BlowfishKey &key, BlowfishCfb &cfb, uint8_t *data, size_t length);

} // namespace kel::crypto

#endif /* KELLIB_CRYPTO_BLOWFISH_H */
