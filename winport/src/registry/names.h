/*
 * Key and value names: comparison without regard to case, key paths, the
 * limits Windows documents, and the registry's clock.  Private to winport.
 *
 * Names are ANSI text in the system's code page (Windows-1252).  Windows
 * compares registry names by their upper-case Unicode form, so "drucker
 * büro" and "DRUCKER BÜRO" name the same key, and it lists subkeys in the
 * order of that form; FoldName and FoldedLess reproduce both for 1252.
 */
#ifndef WINPORT_REGISTRY_NAMES_H
#define WINPORT_REGISTRY_NAMES_H

#include <windows.h>
#include <winreg.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace winport::reg {

/* Documented limits: a key name component, a value name, the depth of the
 * tree.  Value data is capped at the size the standard hive format allows,
 * which also bounds what a damaged file can make the reader allocate. */
constexpr size_t kMaxKeyNameLen = 255;
constexpr size_t kMaxValueNameLen = 16383;
constexpr size_t kMaxDepth = 512;
constexpr size_t kMaxValueSize = 1024 * 1024;

/* The upper-case form of `name` (ASCII and the letters of 1252). */
std::string FoldName(std::string_view name);

/* Whether two names are the same registry name. */
bool SameName(std::string_view a, std::string_view b);

/* Orders folded names as Windows orders subkeys: by Unicode code point. */
struct FoldedLess {
    bool operator()(const std::string &a, const std::string &b) const;
};

/* Splits a relative key path ("a\b\\c\") into its components.  A leading
 * backslash is ERROR_BAD_PATHNAME; runs of backslashes separate one pair of
 * components, and trailing ones are ignored, as Windows parses them.  NULL
 * and "" give no components. */
LSTATUS SplitKeyPath(const char *path, std::vector<std::string> &parts);

/* Whether the string types REG_SZ, REG_EXPAND_SZ, REG_MULTI_SZ. */
bool IsStringType(DWORD type);

/* Now as a FILETIME count (100 ns units since 1601). */
uint64_t NowFileTime();

inline FILETIME ToFileTime(uint64_t ticks)
{
    FILETIME ft;
    ft.dwLowDateTime = static_cast<DWORD>(ticks & 0xffffffffu);
    ft.dwHighDateTime = static_cast<DWORD>(ticks >> 32);
    return ft;
}

} // namespace winport::reg

#endif
