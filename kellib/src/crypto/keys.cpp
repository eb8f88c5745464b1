/*
 * The key values of the protection modes.  The server side holds the same
 * values (print them with the kelkeys tool); changing any of them here
 * breaks every connection to a server that was not changed with it.
 */
#include "keys.h"

#include <cstring>

namespace kel::crypto {
namespace {

// Printable ASCII, used as the bytes of the characters.
constexpr char kKeyA[] = "}~i|g#Nx";
constexpr char kKeyB[] = "=%<1?+RQ";
constexpr char kKeyS[] = "8&drDPt?MQ&^iL65";
static_assert(sizeof kKeyA - 1 == kBlowfishKeySize && sizeof kKeyB - 1 == kBlowfishKeySize);
static_assert(sizeof kKeyS - 1 == kAes128KeySize);

struct DerivedKeySource {
    uint8_t table[kAes128KeySize];
    uint8_t seed;
    uint8_t selector;
};

constexpr DerivedKeySource kSourceE = {
    {0x8d, 0x0a, 0x73, 0x2a, 0xb5, 0x53, 0xda, 0x2f, 0xc4, 0x52, 0x8c, 0xc6, 0xe6, 0x07, 0x92,
     0x1a},
    0xd5,
    0x15,
};

constexpr DerivedKeySource kSourceM = {
    {0xe1, 0xdd, 0x68, 0x6c, 0x34, 0x0e, 0x68, 0xdb, 0x9f, 0x50, 0xe0, 0x2b, 0xe3, 0xdf, 0x68,
     0x7e},
    0xf6,
    0x98,
};

constexpr DerivedKeySource kSourceF = {
    {0x5b, 0xc3, 0x1e, 0x97, 0x42, 0xe8, 0x0d, 0x6a, 0xb1, 0x3f, 0xd4, 0x79, 0x26, 0x8e, 0xf0,
     0x63},
    0xa7,
    0x4c,
};

KeyMaterial build_material()
{
    KeyMaterial k;
    std::memcpy(k.a, kKeyA, sizeof k.a);
    std::memcpy(k.b, kKeyB, sizeof k.b);
    std::memcpy(k.s, kKeyS, sizeof k.s);
    derive_key(kSourceE.table, kSourceE.seed, kSourceE.selector, k.e);
    derive_key(kSourceM.table, kSourceM.seed, kSourceM.selector, k.m);
    derive_key(kSourceF.table, kSourceF.seed, kSourceF.selector, k.f);
    return k;
}

KeySchedules build_schedules()
{
    const KeyMaterial &k = key_material();
    KeySchedules s;
    blowfish_set_key(s.a, k.a, sizeof k.a);
    blowfish_set_key(s.b, k.b, sizeof k.b);
    aes128_expand_key(s.s, k.s);
    aes128_expand_key(s.m, k.m);
    return s;
}

} // namespace

unsigned derive_rotation(uint8_t selector, size_t i)
{
    return (selector + 3 * i) % 8;
}

void derive_key(const uint8_t table[kAes128KeySize], uint8_t seed, uint8_t selector,
                uint8_t out[kAes128KeySize])
{
    for (size_t i = 0; i < kAes128KeySize; ++i) {
        const unsigned x = uint8_t(table[i] ^ seed);
        const unsigned n = derive_rotation(selector, i);
        out[i] = uint8_t((x << n) | (x >> ((8 - n) % 8)));
    }
}

const KeyMaterial &key_material()
{
    static const KeyMaterial material = build_material();
    return material;
}

const KeySchedules &key_schedules()
{
    // About 4 KiB per Blowfish key; built once rather than per message.
    static const KeySchedules schedules = build_schedules();
    return schedules;
}

} // namespace kel::crypto
