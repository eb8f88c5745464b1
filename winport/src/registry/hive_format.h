/*
 * The text form of a hive file.  Private to winport.
 *
 *   WINPORT REGISTRY 1
 *   ; HKEY_LOCAL_MACHINE
 *   #generation 42
 *   #nextid 17
 *
 *   [SOFTWARE\Novarc] 12 133497216000000000
 *   @="default value"
 *   "Port"="FILE:"
 *   "Expanded"=str(2):"%SystemRoot%\\x"
 *   "Bins"=multi:"Upper","Lower"
 *   "Copies"=dword:00000002
 *   "Limit"=qword:0000000100000000
 *   "DevMode"=hex:01,02,ff
 *   "Odd"=hex(1):41,00,42
 *
 * Every key has a section, parents before children, subkeys in the order
 * RegEnumKeyEx lists them and values in the order RegEnumValue does; the
 * numbers after a section's path are the key's id and last write time
 * (FILETIME).  Strings are written as strings only when the bytes read back
 * exactly (REG_SZ and REG_EXPAND_SZ: one terminating NUL and no other;
 * REG_MULTI_SZ: non-empty strings and the final NUL), and as hex otherwise,
 * so what RegSetValueEx stored is what RegQueryValueEx returns.  Quoted
 * text escapes \\ \" \n \r \t and \xHH for every other byte outside
 * printable ASCII; a path component escapes those bytes and '%', '[' and
 * ']' as %HH.  The file is plain ASCII, one line per value, so it diffs
 * well.
 *
 * Reading is bounded and never trusts the file: a line that does not parse
 * (or whose names or data exceed the registry's limits) is skipped and
 * counted, a section with a bad header takes its values with it, and
 * whatever is intact is kept.
 */
#ifndef WINPORT_REGISTRY_HIVE_FORMAT_H
#define WINPORT_REGISTRY_HIVE_FORMAT_H

#include "registry/tree.h"

#include <string>
#include <string_view>
#include <vector>

namespace winport::reg {

constexpr std::string_view kHiveMagic = "WINPORT REGISTRY 1";
/* A hive file larger than this is not read beyond it. */
constexpr size_t kMaxHiveFileSize = 64u * 1024 * 1024;

struct ParseReport {
    size_t damagedLines = 0;
    std::vector<std::string> problems; // the first few, as "line N: why"
};

/* Reads a hive file's text; keys without a time get `now`. */
Tree ParseHive(std::string_view text, HiveKind kind, uint64_t now, ParseReport &report);

/* The text of `tree`; `title` goes into the comment line. */
std::string SerializeHive(const Tree &tree, std::string_view title);

} // namespace winport::reg

#endif
