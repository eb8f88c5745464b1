/*
 * AES-128 encryption (FIPS-197) and counter mode.  Only the encrypting
 * direction exists: counter mode never needs the inverse cipher.  Round
 * keys are expanded once per key and reused; the rounds run on AES-NI when
 * the processor has it, else on the table-driven portable code.
 */
#ifndef KELLIB_CRYPTO_AES128_H
#define KELLIB_CRYPTO_AES128_H

#include <cstddef>
#include <cstdint>

namespace kel::crypto {

constexpr size_t kAesBlock = 16;
constexpr size_t kAes128KeySize = 16;

struct Aes128Key {
    alignas(16) uint8_t rk[176]; // the 11 round keys, bytes in cipher order
    uint32_t w[44];              // the same round keys as big-endian words
};

void aes128_expand_key(Aes128Key &key, const uint8_t user_key[kAes128KeySize]);
void aes128_encrypt_block(const Aes128Key &key, const uint8_t in[kAesBlock],
                          uint8_t out[kAesBlock]);

/* XORs length bytes at data with the key stream that starts at counter, a
 * 128-bit big-endian integer incremented after each block (wrapping at
 * 2^128).  Encryption and decryption are the same operation.  On return
 * counter holds the block after the last one used, a partial last block
 * counting as used, so a stream split at 16-byte multiples can continue. */
void aes128_ctr_xor(const Aes128Key &key, uint8_t counter[kAesBlock], uint8_t *data, size_t length);

/* One implementation each; the functions above pick one. */
void aes128_expand_key_portable(Aes128Key &key, const uint8_t user_key[kAes128KeySize]);
void aes128_encrypt_block_portable(const Aes128Key &key, const uint8_t in[kAesBlock],
                                   uint8_t out[kAesBlock]);
void aes128_ctr_xor_portable(const Aes128Key &key, uint8_t counter[kAesBlock], uint8_t *data,
                             size_t length);
/* Only valid when cpu_has_aes_ni(). */
void aes128_expand_key_ni(Aes128Key &key, const uint8_t user_key[kAes128KeySize]);
void aes128_encrypt_block_ni(const Aes128Key &key, const uint8_t in[kAesBlock],
                             uint8_t out[kAesBlock]);
void aes128_ctr_xor_ni(const Aes128Key &key, uint8_t counter[kAesBlock], uint8_t *data,
                       size_t length);

} // namespace kel::crypto

#endif /* KELLIB_CRYPTO_AES128_H */
