/*
 * Small POSIX file-system helpers shared by the kernel and user parts of the
 * platform layer: creating folder chains, finding a name in a folder without
 * regard to case, reaching a Unix socket in a folder.  Private to winport.
 */
#ifndef WINPORT_UTILS_POSIX_FS_H
#define WINPORT_UTILS_POSIX_FS_H

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <optional>
#include <string>

namespace winport::util {

/* mkdir -p: creates every missing folder of `path` (mode 0777 & ~umask).
 * Returns 0 or the errno of the first failure. */
int MakeDirs(const std::string &path);

/* Whether `path` names an existing folder (symbolic links followed). */
bool IsDirectory(const std::string &path);

/* flock(fd, op) (LOCK_EX or LOCK_SH) waiting at most `realMs` real
 * milliseconds: the lock files live in the shared root, and a process of
 * another user holding one for ever must not hang every other.  0, or
 * ETIMEDOUT, or the errno of a failure. */
int LockBounded(int fd, int op, int realMs);
constexpr int kSharedLockWaitMs = 10000;

/* Copies everything readable from `in` to `out` (retrying interrupted
 * calls); 0 or an errno value. */
int CopyFdData(int in, int out);

/* Writes all `size` bytes (retrying interrupted and short writes); 0 or an
 * errno value (EIO when the file takes nothing). */
int WriteAllFd(int fd, const void *data, std::size_t size);

/* Reads to the end of `fd`, at most `limit` bytes into *text; *more tells
 * whether the file went on past them.  0 or an errno value. */
int ReadFdUpTo(int fd, std::size_t limit, std::string *text, bool *more);

/* Whether anything (even a dangling symbolic link) exists at `path`. */
bool Exists(const std::string &path);

/* The entry of folder `dir` whose name equals `name` ignoring ASCII case:
 * the exact spelling when it exists, else the smallest matching name in
 * byte order (so the choice does not depend on the directory's order).
 * Nothing when no entry matches or `dir` cannot be read. */
std::optional<std::string> FindNoCase(const std::string &dir, const std::string &name);

/* The folder part of a POSIX path ("/a/b" -> "/a", "b" -> "."). */
std::string ParentOf(const std::string &path);

/* Runs `op` (bind or connect, given the address and its length) on the
 * Unix socket `name` in `folder`, addressed through the folder's descriptor
 * so that the path always fits in sun_path.  op's result; errno kept. */
template <class Op> int AtSocketInFolder(const std::string &folder, const std::string &name, Op op)
{
    int dir = open(folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (dir < 0)
        return -1;
    sockaddr_un addr = {};
    addr.sun_family = AF_UNIX;
    std::snprintf(addr.sun_path, sizeof addr.sun_path, "/proc/self/fd/%d/%s", dir, name.c_str());
    int rc = op(reinterpret_cast<sockaddr *>(&addr), static_cast<socklen_t>(sizeof addr));
    int saved = errno;
    close(dir);
    errno = saved;
    return rc;
}

} // namespace winport::util

#endif
