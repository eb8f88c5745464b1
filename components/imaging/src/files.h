/*
 * Inside the imaging library: files named in UTF-16, read and written
 * through the Windows file API (so Windows paths map as everywhere else).
 */
#ifndef IMAGING_FILES_H
#define IMAGING_FILES_H

#include <imaging.h>

#include <cstddef>
#include <string>
#include <vector>

namespace imaging {

/* Largest file the library reads whole. */
constexpr std::size_t kMaxFileBytes = 256u * 1024 * 1024;

/* The name in the ANSI code page (1252) of the Windows "A" functions;
 * false when it is empty, too long, or holds a character that code page
 * lacks (no file of the "A" world can have that name). */
bool AnsiName(const char16_t *name, std::string *out);

/* The whole file: L_SUCCESS, L_ERR_FILE_NOT_FOUND, L_ERR_FILE_READ or
 * L_ERR_TOO_LARGE. */
INT ReadWholeFile(const char16_t *name, std::vector<unsigned char> *out);

/* Creates or replaces the file: L_SUCCESS or L_ERR_FILE_WRITE. */
INT WriteWholeFile(const char16_t *name, const unsigned char *data, std::size_t size);

} // namespace imaging

#endif /* IMAGING_FILES_H */
