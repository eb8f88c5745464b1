/*
 * Payload protection by mode: 1 Blowfish CFB-64; 2 AES-128-CTR under a
 * static key; 4 as 2 with an encrypted SHA-256 digest; 8 AES-128-CTR from a
 * random counter block with an encrypted SHA-256 tag.
 */
#ifndef KELLIB_PROTECT_H
#define KELLIB_PROTECT_H

#include <winsock2.h> /* before windows.h, which would bring the old winsock.h */
#include <windows.h>

#define KEL_MODE_PLAIN 0
#define KEL_MODE_BLOWFISH 1
#define KEL_MODE_AES 2
#define KEL_MODE_AES_DIGEST 4
#define KEL_MODE_SEALED 8

#define KEL_DIGEST_TRAILER 32
#define KEL_SEALED_TRAILER 48

/* The protection mode chosen from send options (highest bit wins). */
int KelModeFromOptions(int options);
/* Bytes the mode appends behind the payload: 48, 32 or 0. */
int KelTrailerSize(int mode);

/* Encrypts length bytes at data in place and writes the trailer behind them;
 * data must have room for length + KelTrailerSize(mode) bytes.  Mode 0 does
 * nothing.  Returns 0, or -1 when the random generator failed (mode 8). */
int ProtectPayload(char *data, int length, int mode);

/* Checks and decrypts in place; 0 on success (*length reduced by the
 * trailer for modes 4 and 8), -1 on an integrity failure.  A mode byte with
 * bit 8 set is mode 8, else bit 4 mode 4, else bit 2 mode 2, else mode 1. */
int UnprotectPayload(char *data, int *length, int mode);

/* Enciphering of cache files uses mode 1 outside the framing. */
void KelBlowfishDecryptA(char *data, int length);
void KelBlowfishEncryptA(char *data, int length);

/* The file key: the image cache keeps files enciphered as a 16-byte
 * initial counter block (KelFileKeyNewIv) followed by the data under
 * AES-128 in counter mode with the file key, the counter advancing with the
 * byte position.  KelFileKeyCrypt XORs length bytes at data, which sit at
 * byte offset of the file's data (after the counter block), with that key
 * stream: enciphering and deciphering are the same, and a file may be done
 * in blocks of any size.  Both return 0, or -1 on a failure (null pointers,
 * the random generator). */
#define KEL_FILE_IV_SIZE 16
int KelFileKeyNewIv(unsigned char iv[KEL_FILE_IV_SIZE]);
int KelFileKeyCrypt(const unsigned char iv[KEL_FILE_IV_SIZE], unsigned long long offset, char *data,
                    size_t length);

#define SHA256_RAW 0x1
/* SHA-256 of data: the 32 raw bytes with SHA256_RAW, else 64 lowercase hex
 * digits and a NUL.  The result lives in a per-thread buffer that the
 * thread's next call overwrites. */
const char *Sha256(const void *data, size_t length, int flags);

#endif /* KELLIB_PROTECT_H */
