/*
 * Small POSIX file-system helpers shared by the kernel and user parts of the
 * platform layer: creating folder chains, finding a name in a folder without
 * regard to case.  Private to winport.
 */
#ifndef WINPORT_UTILS_POSIX_FS_H
#define WINPORT_UTILS_POSIX_FS_H

#include <optional>
#include <string>

namespace winport::util {

/* mkdir -p: creates every missing folder of `path` (mode 0777 & ~umask).
 * Returns 0 or the errno of the first failure. */
int MakeDirs(const std::string &path);

/* Whether `path` names an existing folder (symbolic links followed). */
bool IsDirectory(const std::string &path);

/* Copies everything readable from `in` to `out` (retrying interrupted
 * calls); 0 or an errno value. */
int CopyFdData(int in, int out);

/* Whether anything (even a dangling symbolic link) exists at `path`. */
bool Exists(const std::string &path);

/* The entry of folder `dir` whose name equals `name` ignoring ASCII case:
 * the exact spelling when it exists, else the smallest matching name in
 * byte order (so the choice does not depend on the directory's order).
 * Nothing when no entry matches or `dir` cannot be read. */
std::optional<std::string> FindNoCase(const std::string &dir, const std::string &name);

/* The folder part of a POSIX path ("/a/b" -> "/a", "b" -> "."). */
std::string ParentOf(const std::string &path);

} // namespace winport::util

#endif
