/*
 * FormatMessageA, and LocalAlloc/LocalFree for the buffers it hands out.
 *
 * Messages come from the system's table (errors.cpp) or from the caller's
 * string.  Inserts (%1 to %99, with an optional printf format between
 * exclamation marks) take their values from an array of DWORD_PTRs
 * (FORMAT_MESSAGE_ARGUMENT_ARRAY) or from a va_list, one pointer-sized
 * slot each, as Windows reads them.  Formats are checked against what
 * printf accepts for one value, so a message cannot make printf read or
 * write anything else.
 */
#include "kernel/errors.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace winport {
namespace {

constexpr int kMaxInserts = 99;

bool EnglishOrNeutral(DWORD language)
{
    const WORD primary = PRIMARYLANGID(language);
    return language == 0 || primary == LANG_NEUTRAL || primary == LANG_ENGLISH;
}

/* Formats one value with a printf conversion given without its '%'. */
bool FormatInsert(const std::string &insertFormat, DWORD_PTR value, std::string *out)
{
    if (insertFormat.empty() || insertFormat.size() > 16)
        return false;
    const char conversion = insertFormat.back();
    std::string flags = insertFormat.substr(0, insertFormat.size() - 1);
    bool wide64 = false;
    for (const char *length : {"I64", "ll", "I", "l", "h"}) {
        const size_t at = flags.find(length);
        if (at != std::string::npos) {
            wide64 = length[0] == 'I' || std::strcmp(length, "ll") == 0;
            flags.erase(at, std::strlen(length));
            break;
        }
    }
    if (flags.find_first_not_of("-+ #0123456789.") != std::string::npos)
        return false; // no '*', no second conversion
    char buf[512];
    const std::string format = "%" + flags;
    int n;
    switch (conversion) {
    case 's': {
        const char *s = reinterpret_cast<const char *>(value);
        n = std::snprintf(buf, sizeof buf, (format + "s").c_str(), s ? s : "(null)");
        if (n >= static_cast<int>(sizeof buf) && flags.empty()) {
            *out += s; // a long string without width or precision
            return true;
        }
        break;
    }
    case 'd':
    case 'i':
        n = wide64 ? std::snprintf(buf, sizeof buf, (format + "lld").c_str(),
                                   static_cast<long long>(value))
                   : std::snprintf(buf, sizeof buf, (format + "d").c_str(),
                                   static_cast<int>(static_cast<DWORD>(value)));
        break;
    case 'u':
    case 'x':
    case 'X':
    case 'o':
        n = wide64 ? std::snprintf(buf, sizeof buf, (format + "ll" + conversion).c_str(),
                                   static_cast<unsigned long long>(value))
                   : std::snprintf(buf, sizeof buf, (format + conversion).c_str(),
                                   static_cast<unsigned>(static_cast<DWORD>(value)));
        break;
    case 'c':
        n = std::snprintf(buf, sizeof buf, (format + "c").c_str(),
                          static_cast<int>(static_cast<unsigned char>(value)));
        break;
    case 'p':
        n = std::snprintf(buf, sizeof buf, "%016llX", static_cast<unsigned long long>(value));
        break;
    default:
        return false;
    }
    if (n < 0)
        return false;
    out->append(buf, std::min<size_t>(static_cast<size_t>(n), sizeof buf - 1));
    return true;
}

/* The highest insert number in `text`, 0 when it has none. */
int HighestInsert(const char *text)
{
    int highest = 0;
    for (const char *p = text; *p; ++p) {
        if (*p != '%' || !p[1])
            continue;
        ++p;
        if (*p >= '1' && *p <= '9') {
            int n = *p - '0';
            if (p[1] >= '0' && p[1] <= '9')
                n = n * 10 + (*++p - '0');
            highest = std::max(highest, n);
        }
    }
    return highest;
}

/* Expands inserts and escapes; 0 or the error. */
DWORD Expand(const char *text, const std::vector<DWORD_PTR> &args, bool haveArgs, std::string *out)
{
    for (const char *p = text; *p; ++p) {
        if (*p != '%') {
            out->push_back(*p);
            continue;
        }
        const char c = *++p;
        if (c == '\0')
            break;
        if (c == '0')
            return 0; // end of message, no line break
        if (c >= '1' && c <= '9') {
            int n = c - '0';
            if (p[1] >= '0' && p[1] <= '9')
                n = n * 10 + (*++p - '0');
            std::string insertFormat = "s";
            if (p[1] == '!') {
                const char *end = std::strchr(p + 2, '!');
                if (!end)
                    return ERROR_INVALID_PARAMETER;
                insertFormat.assign(p + 2, end);
                p = end;
            }
            if (!haveArgs || n > static_cast<int>(args.size()))
                return ERROR_INVALID_PARAMETER;
            if (!FormatInsert(insertFormat, args[n - 1], out))
                return ERROR_INVALID_PARAMETER;
            continue;
        }
        switch (c) {
        case 'n':
            *out += "\r\n";
            break;
        case 'r':
            *out += '\r';
            break;
        case 't':
            *out += '\t';
            break;
        default:
            out->push_back(c); // %%, "% ", %., %! and anything else: the character
        }
    }
    return 0;
}

/* Line breaks of the message text become spaces; with a width, lines are
 * broken at the last space before it. */
std::string ApplyWidth(const std::string &text, DWORD width)
{
    std::string flat;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
            flat += ' ';
            ++i;
        } else if (text[i] == '\n') {
            flat += ' ';
        } else {
            flat += text[i];
        }
    }
    if (width == FORMAT_MESSAGE_MAX_WIDTH_MASK)
        return flat;
    std::string wrapped;
    size_t lineStart = 0;
    for (size_t i = 0; i < flat.size(); ++i) {
        wrapped += flat[i];
        if (wrapped.size() - lineStart > width) {
            const size_t space = wrapped.rfind(' ');
            if (space != std::string::npos && space > lineStart) {
                wrapped.replace(space, 1, "\r\n");
                lineStart = space + 2;
            }
        }
    }
    return wrapped;
}

} // namespace
} // namespace winport

using namespace winport;

/* LocalAlloc: a fixed block (LMEM_MOVEABLE is accepted; the handle is the
 * address), zeroed with LMEM_ZEROINIT. */
HLOCAL WINAPI LocalAlloc(UINT uFlags, SIZE_T uBytes)
{
    void *block = (uFlags & LMEM_ZEROINIT) ? std::calloc(1, uBytes ? uBytes : 1)
                                           : std::malloc(uBytes ? uBytes : 1);
    if (!block)
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return block;
}

/* LocalFree: frees a block of LocalAlloc; NULL on success. */
HLOCAL WINAPI LocalFree(HLOCAL hMem)
{
    std::free(hMem);
    return nullptr;
}

/* FormatMessageA: the system's text for an error code (FROM_SYSTEM; US
 * English, ending in "\r\n"; ERROR_MR_MID_NOT_FOUND for a code without
 * one, ERROR_RESOURCE_LANG_NOT_FOUND for a language other than neutral or
 * English) or the caller's string (FROM_STRING), with inserts expanded
 * unless FORMAT_MESSAGE_IGNORE_INSERTS.  Into the caller's buffer
 * (ERROR_INSUFFICIENT_BUFFER when the text and its NUL do not fit in nSize)
 * or, with FORMAT_MESSAGE_ALLOCATE_BUFFER, into a LocalAlloc block of at
 * least nSize bytes stored at *(LPSTR *)lpBuffer.  Returns the length
 * without the NUL, 0 on failure.  Message tables of modules are not
 * provided (FROM_HMODULE alone gives ERROR_RESOURCE_TYPE_NOT_FOUND). */
DWORD WINAPI FormatMessageA(DWORD dwFlags, LPCVOID lpSource, DWORD dwMessageId, DWORD dwLanguageId,
                            LPSTR lpBuffer, DWORD nSize, va_list *Arguments)
{
    const char *text = nullptr;
    if (dwFlags & FORMAT_MESSAGE_FROM_STRING) {
        text = static_cast<const char *>(lpSource);
        if (!text) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return 0;
        }
    } else if (dwFlags & FORMAT_MESSAGE_FROM_SYSTEM) {
        if (!EnglishOrNeutral(dwLanguageId)) {
            SetLastError(ERROR_RESOURCE_LANG_NOT_FOUND);
            return 0;
        }
        text = SystemMessageText(dwMessageId);
        if (!text) {
            SetLastError(ERROR_MR_MID_NOT_FOUND);
            return 0;
        }
    } else if (dwFlags & FORMAT_MESSAGE_FROM_HMODULE) {
        SetLastError(ERROR_RESOURCE_TYPE_NOT_FOUND);
        return 0;
    } else {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if (!lpBuffer) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    std::string result;
    if (dwFlags & FORMAT_MESSAGE_IGNORE_INSERTS) {
        result = text;
    } else {
        std::vector<DWORD_PTR> args;
        const int highest = HighestInsert(text);
        if (Arguments && highest > 0 && highest <= kMaxInserts) {
            if (dwFlags & FORMAT_MESSAGE_ARGUMENT_ARRAY) {
                const auto *array = reinterpret_cast<const DWORD_PTR *>(Arguments);
                args.assign(array, array + highest);
            } else {
                for (int i = 0; i < highest; ++i)
                    args.push_back(va_arg(*Arguments, DWORD_PTR));
            }
        }
        if (DWORD error = Expand(text, args, Arguments != nullptr, &result)) {
            SetLastError(error);
            return 0;
        }
    }
    if (DWORD width = dwFlags & FORMAT_MESSAGE_MAX_WIDTH_MASK)
        result = ApplyWidth(result, width);
    const size_t needed = result.size() + 1;
    if (dwFlags & FORMAT_MESSAGE_ALLOCATE_BUFFER) {
        auto *block = static_cast<char *>(LocalAlloc(LMEM_FIXED, std::max<size_t>(needed, nSize)));
        if (!block)
            return 0;
        std::memcpy(block, result.c_str(), needed);
        *reinterpret_cast<LPSTR *>(lpBuffer) = block;
    } else {
        if (needed > nSize) {
            SetLastError(ERROR_INSUFFICIENT_BUFFER);
            return 0;
        }
        std::memcpy(lpBuffer, result.c_str(), needed);
    }
    return static_cast<DWORD>(result.size());
}
