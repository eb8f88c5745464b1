/*
 * Texts the PDF components receive: Windows-1252 from the server (UTF-8
 * accepted), turned into the UTF-8 poppler takes; and error texts copied
 * into callers' fixed buffers.
 */
#ifndef PDFSHARED_PDF_TEXT_H
#define PDFSHARED_PDF_TEXT_H

#include <cstddef>
#include <string>

namespace pdfshared {

/* UTF-8 for a Windows-1252 text, or the text itself when it is well-formed
 * UTF-8 with at least one multi-byte character (a Windows-1252 text almost
 * never is: "Ã«" would have to follow a capital A tilde). */
std::string ToUtf8(const char *text);

/* Copies `text` into `buffer` (capacity `size`, NUL included), cut at a
 * character boundary when it does not fit; nothing for a null buffer. */
void CopyText(char *buffer, std::size_t size, const std::string &text);

} // namespace pdfshared

#endif
