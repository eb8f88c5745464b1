/*
 * Whole-file reads and writes through the Windows API, so that the
 * components take Windows paths as their callers give them.  A file is
 * replaced by writing "<path>.tmp" and moving it over, so a reader never
 * sees half a PDF.
 */
#ifndef PDFSHARED_PDF_FILES_H
#define PDFSHARED_PDF_FILES_H

#include <windows.h>

#include <string>

namespace pdfshared {

/* Files larger than this are refused: a PDF the workstation prints or
 * joins is far smaller, and the whole file is held in memory. */
constexpr DWORD kMaxPdfBytes = 512u * 1024 * 1024;

/* Reads the file; false with *error set (a text for the caller). */
bool ReadWholeFile(const std::string &path, std::string *bytes, std::string *error);

/* Writes `bytes` as the file, replacing it; false with *error set. */
bool ReplaceFile(const std::string &path, const std::string &bytes, std::string *error);

/* "... (error 3)" style text for the last Windows error. */
std::string ErrorText(const std::string &what, const std::string &path);

bool FileExists(const std::string &path);

} // namespace pdfshared

#endif
