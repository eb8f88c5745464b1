/*
 * winport-reg: the winport registry on the command line.  Shared parts of
 * the tool: key names, error texts, exit codes, and the commands.
 *
 * The tool is a Linux program built on libwinport: it reaches the registry
 * only through the Reg* functions, so it sees and changes exactly what the
 * system's programs see, under the root WINPORT_ROOT names.
 */
#ifndef WINPORT_REG_TOOL_H
#define WINPORT_REG_TOOL_H

#include <windows.h>

#include <cstdio>
#include <string>

namespace regtool {

/* Exit codes. */
constexpr int kExitOk = 0;
constexpr int kExitFailed = 1; // the registry refused or lacks the key or value
constexpr int kExitUsage = 2;  // bad command line
constexpr int kExitFile = 3;   // a file could not be read or written, or does not parse

/* A full key name split into its predefined root and the path below it. */
struct KeyName {
    HKEY root = nullptr;
    std::string rootName; // the long form, "HKEY_LOCAL_MACHINE"
    std::string subKey;   // "" for the root itself
    std::string Full() const { return subKey.empty() ? rootName : rootName + "\\" + subKey; }
};

/* Parses "HKEY_LOCAL_MACHINE\SOFTWARE\x" or "HKLM\SOFTWARE\x" (any case);
 * false when the root is not one winport has. */
bool ParseKeyName(const std::string &text, KeyName &key);

/* A short text for a registry error code. */
std::string ErrorText(LSTATUS err);

/* Deletes a key with all its subkeys. */
LSTATUS DeleteTree(HKEY parent, const std::string &subKey);

/* The commands; each returns the exit code and reports on stderr. */
int ExportKey(const KeyName &key, FILE *out);
int ImportFile(const std::string &text, const std::string &fileName);
int QueryKey(const KeyName &key, const char *valueName);

} // namespace regtool

#endif
