/*
 * kelkeys: prints the five payload protection keys and the file key this build uses, in hex,
 * one per line ("A <hex>"), so that the server side can be configured with
 * the same values.  The output is key material: treat it as a secret.
 */
#include "keys.h"

#include <cstdio>
#include <cstring>

namespace {

void print_key(const char *label, const uint8_t *key, size_t length)
{
    std::printf("%s ", label);
    for (size_t i = 0; i < length; ++i)
        std::printf("%02x", key[i]);
    std::printf("\n");
}

void usage(FILE *out)
{
    std::fprintf(out, "usage: kelkeys [--help]\n"
                      "\n"
                      "Prints the payload protection keys of this build, one per line:\n"
                      "  A  Blowfish key, mode 1 and enciphered cache files (8 bytes)\n"
                      "  B  Blowfish key, mode 4 digest trailer (8 bytes)\n"
                      "  S  AES-128 key, modes 2 and 4 (16 bytes)\n"
                      "  E  AES-128 key, mode 8 payload (16 bytes, derived)\n"
                      "  M  AES-128 key, mode 8 tag (16 bytes, derived)\n"
                      "  F  AES-128 file key, enciphered cache files (16 bytes, derived)\n"
                      "The server must use the same values.  Keep the output secret.\n");
}

} // namespace

int main(int argc, char **argv)
{
    if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        usage(stdout);
        return 0;
    }
    if (argc != 1) {
        usage(stderr);
        return 2;
    }
    const kel::crypto::KeyMaterial &k = kel::crypto::key_material();
    print_key("A", k.a, sizeof k.a);
    print_key("B", k.b, sizeof k.b);
    print_key("S", k.s, sizeof k.s);
    print_key("E", k.e, sizeof k.e);
    print_key("M", k.m, sizeof k.m);
    print_key("F", k.f, sizeof k.f);
    return 0;
}
