/*
 * Registry names (see names.h): case folding and ordering for code page
 * 1252, key path splitting, the registry clock.
 */
#include "registry/names.h"

#include <time.h>

namespace winport::reg {
namespace {

/* Unicode code points of the 1252 bytes 0x80..0x9F; the five bytes 1252
 * leaves undefined map to themselves, as MultiByteToWideChar maps them. */
constexpr uint16_t kHighControls[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

uint32_t CodePoint(unsigned char c)
{
    if (c >= 0x80 && c < 0xA0)
        return kHighControls[c - 0x80];
    return c;
}

/* The upper case of one 1252 character, where 1252 has it. */
unsigned char Upper(unsigned char c)
{
    if (c >= 'a' && c <= 'z')
        return static_cast<unsigned char>(c - 0x20);
    if (c >= 0xE0 && c <= 0xFE && c != 0xF7) // à..þ -> À..Þ, but not ÷
        return static_cast<unsigned char>(c - 0x20);
    switch (c) {
    case 0x9A: // š
        return 0x8A;
    case 0x9C: // œ
        return 0x8C;
    case 0x9E: // ž
        return 0x8E;
    case 0xFF: // ÿ
        return 0x9F;
    default:
        return c; // µ and ß have no upper case in 1252
    }
}

} // namespace

std::string FoldName(std::string_view name)
{
    std::string folded(name);
    for (char &c : folded)
        c = static_cast<char>(Upper(static_cast<unsigned char>(c)));
    return folded;
}

bool SameName(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (Upper(static_cast<unsigned char>(a[i])) != Upper(static_cast<unsigned char>(b[i])))
            return false;
    }
    return true;
}

bool FoldedLess::operator()(const std::string &a, const std::string &b) const
{
    const size_t n = a.size() < b.size() ? a.size() : b.size();
    for (size_t i = 0; i < n; ++i) {
        uint32_t ca = CodePoint(static_cast<unsigned char>(a[i]));
        uint32_t cb = CodePoint(static_cast<unsigned char>(b[i]));
        if (ca != cb)
            return ca < cb;
    }
    return a.size() < b.size();
}

LSTATUS SplitKeyPath(const char *path, std::vector<std::string> &parts)
{
    parts.clear();
    if (!path || !*path)
        return ERROR_SUCCESS;
    if (*path == '\\')
        return ERROR_BAD_PATHNAME;
    std::string_view rest(path);
    while (!rest.empty()) {
        size_t end = rest.find('\\');
        parts.emplace_back(rest.substr(0, end));
        if (end == std::string_view::npos)
            break;
        rest.remove_prefix(end);
        while (!rest.empty() && rest.front() == '\\')
            rest.remove_prefix(1);
    }
    return ERROR_SUCCESS;
}

bool IsStringType(DWORD type)
{
    return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
}

uint64_t NowFileTime()
{
    constexpr uint64_t kSecondsFrom1601To1970 = 11644473600ull;
    struct timespec ts;
    clock_gettime(CLOCK_REALTIME, &ts);
    return (static_cast<uint64_t>(ts.tv_sec) + kSecondsFrom1601To1970) * 10000000ull +
           static_cast<uint64_t>(ts.tv_nsec) / 100;
}

} // namespace winport::reg
