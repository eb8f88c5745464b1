/*
 * zlib streams for wire payloads and whole files.
 */
#ifndef KELLIB_COMPRESS_H
#define KELLIB_COMPRESS_H

#include <winsock2.h> /* before windows.h, which would bring the old winsock.h */
#include <windows.h>

/* -1 when data now holds its compressed form (and *length its size); 0 when
 * left unchanged (nothing to do, no memory, or it would not shrink). */
int KELCompressInPlace(char *data, int *length);
/* Writes the compressed form of data into out (capacity length - 1, so the
 * result is always smaller); returns its size, or 0 when it would not
 * shrink.  The framing uses it to compress straight into the send block. */
int KELCompressTo(const char *data, int length, char *out);

/* -1 when *buffer was replaced by the inflated bytes (old block freed,
 * *length updated, one spare byte behind the data); 0 otherwise, with the
 * buffer unchanged: a corrupt stream, an output no longer than the input,
 * or an output beyond KEL_MAX_WIRE_LENGTH. */
int KELUnCompressInPlace(char **buffer, int *length);
/* The same for a received file whose data pointer is *data; the result is
 * installed whenever anything was produced. */
int KELUnzipInPlace(char **data, int *length);

#define KELZIP_QUIET 0x1
/* -1 on success, 0 on failure. */
int KelZipPlus(LPCSTR source, LPCSTR destination, int flags);
/* -1 when at least one byte was written, 0 otherwise (destination removed). */
int KelUnZipPlus(LPCSTR source, LPCSTR destination);
/* The same, failing (destination removed) once the output would pass limit
 * bytes: a small stream a peer sent must not fill the disk. */
int KelUnZipPlusLimit(LPCSTR source, LPCSTR destination, ULONGLONG limit);

/* Up to 61 MoveFileExA attempts 500 ms apart; stops at once on
 * ERROR_FILE_NOT_FOUND.  Returns the last MoveFileExA result. */
BOOL KELMoveFileEx(LPCSTR source, LPCSTR target, DWORD flags);

#endif /* KELLIB_COMPRESS_H */
