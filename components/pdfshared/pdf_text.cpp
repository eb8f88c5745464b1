/*
 * Windows-1252 and UTF-8 (see pdf_text.h).
 */
#include "pdf_text.h"

#include <cstring>

namespace pdfshared {
namespace {

/* Unicode of 0x80..0x9F in Windows-1252; 0 where the code page has none
 * (those bytes become U+FFFD). */
constexpr unsigned short kHigh[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

void AppendUtf8(std::string &out, unsigned cp)
{
    if (cp < 0x80) {
        out += char(cp);
    } else if (cp < 0x800) {
        out += char(0xC0 | (cp >> 6));
        out += char(0x80 | (cp & 0x3F));
    } else {
        out += char(0xE0 | (cp >> 12));
        out += char(0x80 | ((cp >> 6) & 0x3F));
        out += char(0x80 | (cp & 0x3F));
    }
}

/* Length of the UTF-8 sequence at s (n bytes left), 0 when malformed. */
std::size_t SequenceLength(const unsigned char *s, std::size_t n)
{
    unsigned char c = s[0];
    std::size_t len = c < 0x80           ? 1
                      : (c >> 5) == 0x6  ? 2
                      : (c >> 4) == 0xE  ? 3
                      : (c >> 3) == 0x1E ? 4
                                         : 0;
    if (len == 0 || len > n || (len == 2 && c < 0xC2))
        return 0;
    for (std::size_t i = 1; i < len; i++)
        if ((s[i] & 0xC0) != 0x80)
            return 0;
    if (len == 3 && ((c == 0xE0 && s[1] < 0xA0) || (c == 0xED && s[1] >= 0xA0)))
        return 0; /* overlong, surrogates */
    if (len == 4 && ((c == 0xF0 && s[1] < 0x90) || c > 0xF4 || (c == 0xF4 && s[1] >= 0x90)))
        return 0;
    return len;
}

bool IsMultiByteUtf8(const std::string &text)
{
    const auto *s = reinterpret_cast<const unsigned char *>(text.data());
    bool multi = false;
    for (std::size_t i = 0; i < text.size();) {
        std::size_t len = SequenceLength(s + i, text.size() - i);
        if (len == 0)
            return false;
        multi = multi || len > 1;
        i += len;
    }
    return multi;
}

} // namespace

std::string ToUtf8(const char *text)
{
    std::string in = text ? text : "";
    if (IsMultiByteUtf8(in))
        return in;
    std::string out;
    out.reserve(in.size() + in.size() / 4);
    for (unsigned char c : in) {
        unsigned cp = c;
        if (c >= 0x80 && c < 0xA0)
            cp = kHigh[c - 0x80] ? kHigh[c - 0x80] : 0xFFFD;
        AppendUtf8(out, cp);
    }
    return out;
}

void CopyText(char *buffer, std::size_t size, const std::string &text)
{
    if (!buffer || size == 0)
        return;
    std::size_t n = text.size() < size ? text.size() : size - 1;
    /* Do not end inside a UTF-8 sequence. */
    while (n > 0 && n < text.size() && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80)
        n--;
    std::memcpy(buffer, text.data(), n);
    buffer[n] = '\0';
}

} // namespace pdfshared
