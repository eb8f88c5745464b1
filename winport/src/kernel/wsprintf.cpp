/*
 * wsprintfA: user32's formatter, which is not printf.
 *
 * Its arguments are read as Windows passes them: 'l' and 'h' do not widen
 * anything beyond 32 bits (LONG is 32-bit), so "%ld" takes an int here and
 * passing it to the C library's printf would read garbage.  Only the
 * conversions wsprintf knows are formatted (c, C, d, i, u, x, X, s, S, p
 * with the flags '-', '#', '0', a width and a precision); there is no
 * floating point.  A '%' followed by anything else writes that character.
 * Output stops at 1023 characters and a NUL, the documented buffer limit.
 */
#include <windows.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <string>

namespace {

constexpr size_t kMaxOutput = 1023;

struct Spec {
    bool left = false;
    bool prefix = false; // '#': 0x / 0X before hex
    bool zero = false;
    int width = 0;
    int precision = -1;
    char size = 0; // 'h', 'l' or 0
    char type = 0;
};

const char *ParseSpec(const char *p, Spec &spec)
{
    for (;; ++p) {
        if (*p == '-')
            spec.left = true;
        else if (*p == '#')
            spec.prefix = true;
        else if (*p == '0')
            spec.zero = true;
        else
            break;
    }
    while (*p >= '0' && *p <= '9')
        spec.width = spec.width * 10 + (*p++ - '0');
    if (*p == '.') {
        spec.precision = 0;
        ++p;
        while (*p >= '0' && *p <= '9')
            spec.precision = spec.precision * 10 + (*p++ - '0');
    }
    if (*p == 'h' || *p == 'l' || *p == 'w') {
        spec.size = *p == 'w' ? 'l' : *p;
        ++p;
    }
    spec.type = *p;
    return *p ? p + 1 : p;
}

void Pad(std::string &out, const std::string &body, const Spec &spec, bool numeric)
{
    const size_t width = static_cast<size_t>(spec.width);
    if (body.size() >= width) {
        out += body;
    } else if (spec.left) {
        out += body;
        out.append(width - body.size(), ' ');
    } else if (spec.zero && numeric) {
        // zeros go after the sign or the 0x prefix
        size_t lead = (!body.empty() && body[0] == '-') ? 1 : 0;
        if (body.size() > lead + 1 && body[lead] == '0' && (body[lead + 1] | 0x20) == 'x')
            lead += 2;
        out += body.substr(0, lead);
        out.append(width - body.size(), '0');
        out += body.substr(lead);
    } else {
        out.append(width - body.size(), ' ');
        out += body;
    }
}

std::string FormatNumber(const Spec &spec, va_list &args)
{
    const int raw = va_arg(args, int);
    const int digits = spec.precision > 0 ? spec.precision : 1;
    char buf[64];
    switch (spec.type) {
    case 'd':
    case 'i': {
        const int v = spec.size == 'h' ? static_cast<short>(raw) : raw;
        std::snprintf(buf, sizeof buf, "%.*d", digits, v);
        break;
    }
    case 'u': {
        const unsigned v =
            spec.size == 'h' ? static_cast<unsigned short>(raw) : static_cast<unsigned>(raw);
        std::snprintf(buf, sizeof buf, "%.*u", digits, v);
        break;
    }
    default: { // x, X
        const unsigned v =
            spec.size == 'h' ? static_cast<unsigned short>(raw) : static_cast<unsigned>(raw);
        const bool upper = spec.type == 'X';
        std::snprintf(buf, sizeof buf, upper ? "%s%.*X" : "%s%.*x",
                      spec.prefix && v ? (upper ? "0X" : "0x") : "", digits, v);
    }
    }
    return buf;
}

std::string Narrow(const wchar_t *w, int precision)
{
    std::string out;
    for (; *w && (precision < 0 || static_cast<int>(out.size()) < precision); ++w)
        out += static_cast<unsigned>(*w) < 0x100 ? static_cast<char>(*w) : '?';
    return out;
}

std::string FormatString(const Spec &spec, va_list &args)
{
    // 's' is the caller's width (narrow here), 'S' the other one; 'h' and
    // 'l' choose narrow and wide explicitly.
    const bool wide = spec.size == 'l' || (spec.size == 0 && spec.type == 'S');
    if (wide) {
        const wchar_t *w = va_arg(args, const wchar_t *);
        return Narrow(w ? w : L"(null)", spec.precision);
    }
    const char *s = va_arg(args, const char *);
    if (!s)
        s = "(null)";
    const size_t len = std::strlen(s);
    return std::string(s, spec.precision >= 0 ? std::min(len, static_cast<size_t>(spec.precision))
                                              : len);
}

std::string FormatChar(const Spec &spec, va_list &args)
{
    const int raw = va_arg(args, int);
    const bool wide = spec.size == 'l' || (spec.size == 0 && spec.type == 'C');
    if (wide)
        return std::string(1, static_cast<unsigned>(raw) < 0x100 ? static_cast<char>(raw) : '?');
    return std::string(1, static_cast<char>(raw));
}

std::string Format(const char *fmt, va_list &args)
{
    std::string out;
    for (const char *p = fmt; *p && out.size() < kMaxOutput;) {
        if (*p != '%') {
            out += *p++;
            continue;
        }
        Spec spec;
        p = ParseSpec(p + 1, spec);
        switch (spec.type) {
        case 'd':
        case 'i':
        case 'u':
        case 'x':
        case 'X':
            Pad(out, FormatNumber(spec, args), spec, true);
            break;
        case 's':
        case 'S':
            Pad(out, FormatString(spec, args), spec, false);
            break;
        case 'c':
        case 'C':
            Pad(out, FormatChar(spec, args), spec, false);
            break;
        case 'p': {
            char buf[32];
            std::snprintf(
                buf, sizeof buf, "%016llX",
                static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(va_arg(args, void *))));
            Pad(out, buf, spec, true);
            break;
        }
        case '\0':
            break;
        default:
            out += spec.type; // "%%" and the like
        }
    }
    if (out.size() > kMaxOutput)
        out.resize(kMaxOutput);
    return out;
}

} // namespace

/* wsprintfA: formats into lpOut (at most 1024 bytes with the NUL) and
 * returns the characters written without the NUL (see above). */
int WINAPIV wsprintfA(LPSTR lpOut, LPCSTR lpFmt, ...)
{
    if (!lpOut || !lpFmt) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    va_list args;
    va_start(args, lpFmt);
    const std::string text = Format(lpFmt, args);
    va_end(args);
    std::memcpy(lpOut, text.c_str(), text.size() + 1);
    return static_cast<int>(text.size());
}
