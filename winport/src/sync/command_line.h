/*
 * From a Windows command line to what execve needs: the program's POSIX
 * path and the argument vector.  Private to winport.
 */
#ifndef WINPORT_SYNC_COMMAND_LINE_H
#define WINPORT_SYNC_COMMAND_LINE_H

#include <windows.h>

#include <string>
#include <vector>

namespace winport {

/* Splits a command line as the Microsoft C runtime builds argv: the
 * program name up to the first blank or between quotes, taken as it is;
 * then arguments separated by blanks, where quotes group, "" inside quotes
 * is a quote, 2n backslashes before a quote are n backslashes and 2n+1 are
 * n and a literal quote. */
std::vector<std::string> SplitCommandLine(const char *commandLine);

struct ProgramPath {
    std::string posix; // valid when error == 0
    DWORD error = 0;
};

/* lpApplicationName: a Windows path, taken as it is (no extension is
 * added), mapped under the root.  A folder gives ERROR_ACCESS_DENIED. */
ProgramPath ProgramFromApplicationName(const char *applicationName);

/* The first token of a command line when there is no application name:
 * with a folder part, mapped as a path; a bare name is searched, as
 * Windows does, in the program's own folder, the current folder, the
 * system folder and the Windows folder, then in the POSIX PATH, where a
 * name ending in ".exe" is also tried without it.  ".exe" is added to a
 * name without an extension first. */
ProgramPath SearchProgram(const std::string &token);

} // namespace winport

#endif
