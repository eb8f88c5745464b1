/*
 * Blowfish: key schedule, block encryption and CFB-64.
 *
 * CFB runs byte by byte only at the ragged edges of a call; whole blocks
 * aligned with the feedback register go through a word loop that keeps the
 * register in two native words.
 */
#include "blowfish.h"

#include <cstring>

namespace kel::crypto {
namespace {

inline uint32_t f(const BlowfishKey &key, uint32_t x)
{
    return ((key.s[0][x >> 24] + key.s[1][(x >> 16) & 0xff]) ^ key.s[2][(x >> 8) & 0xff]) +
           key.s[3][x & 0xff];
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

/* Whole blocks while the register is aligned (pos 0); the register's
 * encryption for each block is done here, so pos stays 0. */
template <bool Encrypt>
size_t cfb_blocks(const BlowfishKey &key, BlowfishCfb &cfb, uint8_t *data, size_t length)
{
    size_t done = 0;
    uint32_t l = load_be32(cfb.reg), r = load_be32(cfb.reg + 4);
    for (; length - done >= kBlowfishBlock; done += kBlowfishBlock) {
        blowfish_encrypt_words(key, l, r);
        uint8_t *p = data + done;
        const uint32_t dl = load_be32(p), dr = load_be32(p + 4);
        store_be32(p, dl ^ l);
        store_be32(p + 4, dr ^ r);
        // The register becomes this block's ciphertext.
        l = Encrypt ? dl ^ l : dl;
        r = Encrypt ? dr ^ r : dr;
    }
    store_be32(cfb.reg, l);
    store_be32(cfb.reg + 4, r);
    return done;
}

template <bool Encrypt>
void cfb_crypt(const BlowfishKey &key, BlowfishCfb &cfb, uint8_t *data, size_t length)
{
    size_t i = 0;
    while (i < length) {
        if (cfb.pos == 0 && length - i >= kBlowfishBlock) {
            i += cfb_blocks<Encrypt>(key, cfb, data + i, length - i);
            continue;
        }
        if (cfb.pos == 0)
            blowfish_encrypt_block(key, cfb.reg, cfb.reg);
        const uint8_t in = data[i];
        const uint8_t out = uint8_t(in ^ cfb.reg[cfb.pos]);
        data[i] = out;
        cfb.reg[cfb.pos] = Encrypt ? out : in;
        cfb.pos = (cfb.pos + 1) % kBlowfishBlock;
        ++i;
    }
}

} // namespace

void blowfish_encrypt_words(const BlowfishKey &key, uint32_t &left, uint32_t &right)
{
    uint32_t l = left, r = right;
    for (int i = 0; i < kBlowfishRounds; i += 2) {
        l ^= key.p[i];
        r ^= f(key, l);
        r ^= key.p[i + 1];
        l ^= f(key, r);
    }
    l ^= key.p[kBlowfishRounds];
    r ^= key.p[kBlowfishRounds + 1];
    // The last round's swap is undone, hence the crossed outputs.
    left = r;
    right = l;
}

void blowfish_encrypt_block(const BlowfishKey &key, const uint8_t in[kBlowfishBlock],
                            uint8_t out[kBlowfishBlock])
{
    uint32_t l = load_be32(in), r = load_be32(in + 4);
    blowfish_encrypt_words(key, l, r);
    store_be32(out, l);
    store_be32(out + 4, r);
}

bool blowfish_set_key(BlowfishKey &key, const uint8_t *user_key, size_t length)
{
    if (user_key == nullptr || length < kBlowfishMinKey || length > kBlowfishMaxKey)
        return false;
    std::memcpy(key.p, kBlowfishInitP, sizeof key.p);
    std::memcpy(key.s, kBlowfishInitS, sizeof key.s);

    // Key bytes cycle over the 18 subkeys, four to a word, big-endian.
    size_t k = 0;
    for (int i = 0; i < kBlowfishRounds + 2; ++i) {
        uint32_t word = 0;
        for (int j = 0; j < 4; ++j, k = (k + 1) % length)
            word = (word << 8) | user_key[k];
        key.p[i] ^= word;
    }
    // Each pair of subkeys becomes the encryption of the previous pair.
    uint32_t l = 0, r = 0;
    for (int i = 0; i < kBlowfishRounds + 2; i += 2) {
        blowfish_encrypt_words(key, l, r);
        key.p[i] = l;
        key.p[i + 1] = r;
    }
    for (auto &box : key.s)
        for (int i = 0; i < 256; i += 2) {
            blowfish_encrypt_words(key, l, r);
            box[i] = l;
            box[i + 1] = r;
        }
    return true;
}

void blowfish_cfb_init(BlowfishCfb &cfb, const uint8_t *iv)
{
    if (iv != nullptr)
        std::memcpy(cfb.reg, iv, kBlowfishBlock);
    else
        std::memset(cfb.reg, 0, kBlowfishBlock);
    cfb.pos = 0;
}

void blowfish_cfb_encrypt(const BlowfishKey &key, BlowfishCfb &cfb, uint8_t *data, size_t length)
{
    cfb_crypt<true>(key, cfb, data, length);
}

void blowfish_cfb_decrypt(const BlowfishKey &key, BlowfishCfb &cfb, uint8_t *data, size_t length)
{
    cfb_crypt<false>(key, cfb, data, length);
}

} // namespace kel::crypto
