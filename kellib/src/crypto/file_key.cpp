/*
 * The file key's cipher: AES-128 in counter mode under key F, for the image
 * cache's enciphered files (a random 16-byte initial counter block at the
 * front of the file, then the data XORed with the key stream from it).
 *
 * Crypto++ counter mode does the work, keyed once per thread; its seek
 * lets a caller encipher or decipher a file in blocks of any size.  Its
 * failures are exceptions, and none may leave this file.
 */
#include "kellib/protect.h"

#include "keys.h"

#include <cryptopp/aes.h>
#include <cryptopp/modes.h>
#include <cryptopp/osrng.h>

using namespace kel::crypto;

namespace {

struct FileCipher {
    CryptoPP::AutoSeededRandomPool rng;
    CryptoPP::CTR_Mode<CryptoPP::AES>::Encryption ctr;

    FileCipher()
    {
        const uint8_t zero[KEL_FILE_IV_SIZE] = {};
        ctr.SetKeyWithIV(key_material().f, kAes128KeySize, zero, sizeof zero);
    }
};

FileCipher &file_cipher()
{
    thread_local FileCipher cipher;
    return cipher;
}

} // namespace

int KelFileKeyNewIv(unsigned char iv[KEL_FILE_IV_SIZE])
{
    if (iv == nullptr)
        return -1;
    try {
        file_cipher().rng.GenerateBlock(iv, KEL_FILE_IV_SIZE);
        return 0;
    } catch (...) {
        return -1;
    }
}

int KelFileKeyCrypt(const unsigned char iv[KEL_FILE_IV_SIZE], unsigned long long offset, char *data,
                    size_t length)
{
    if (iv == nullptr || (data == nullptr && length > 0))
        return -1;
    if (length == 0)
        return 0;
    try {
        FileCipher &c = file_cipher();
        c.ctr.Resynchronize(iv, KEL_FILE_IV_SIZE);
        c.ctr.Seek(offset);
        auto *p = reinterpret_cast<uint8_t *>(data);
        c.ctr.ProcessData(p, p, length);
        return 0;
    } catch (...) {
        return -1;
    }
}
