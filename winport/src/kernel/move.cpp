/*
 * MoveFileExA: renaming and moving files and folders, with the copy
 * fallback across file systems.
 */
#include "kernel/errors.h"
#include "kernel/paths.h"
#include "utils/posix_fs.h"

#include <windows.h>

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace winport {
namespace {

/* rename() that refuses an existing target atomically where the file system
 * allows it, and by a check otherwise. */
int RenameNoReplace(const std::string &from, const std::string &to)
{
    if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
        return 0;
    if (errno != EINVAL && errno != ENOSYS)
        return errno;
    if (util::Exists(to))
        return EEXIST;
    return rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
}

/* Copies the regular file `from` beside `to` under a temporary name, then
 * renames it into place (atomically replacing when `replace`), then deletes
 * `from`.  Returns 0 or an errno value. */
int CopyThenDelete(const std::string &from, const std::string &to, bool replace)
{
    struct stat st;
    if (stat(from.c_str(), &st) != 0)
        return errno;
    if (!S_ISREG(st.st_mode))
        return EXDEV; // Windows moves folders only within a volume
    int in = open(from.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0)
        return errno;
    std::string tmp = util::ParentOf(to) + "/.wpmove-XXXXXX";
    int out = mkostemp(tmp.data(), O_CLOEXEC);
    if (out < 0) {
        int err = errno;
        close(in);
        return err;
    }
    int err = util::CopyFdData(in, out);
    if (!err && fchmod(out, st.st_mode & 07777) != 0)
        err = errno;
    if (!err) {
        struct timespec times[2] = {st.st_atim, st.st_mtim};
        futimens(out, times);
        if (fsync(out) != 0)
            err = errno;
    }
    close(in);
    if (close(out) != 0 && !err)
        err = errno;
    if (!err)
        err =
            replace ? (rename(tmp.c_str(), to.c_str()) == 0 ? 0 : errno) : RenameNoReplace(tmp, to);
    if (err) {
        unlink(tmp.c_str());
        return err;
    }
    return unlink(from.c_str()) == 0 ? 0 : errno;
}

bool IsReadOnly(const struct stat &st)
{
    return S_ISREG(st.st_mode) && !(st.st_mode & S_IWUSR);
}

} // namespace
} // namespace winport

/* MoveFileExA: moves a file or folder.  Without MOVEFILE_REPLACE_EXISTING an
 * existing target fails with ERROR_ALREADY_EXISTS; with it a file is
 * replaced atomically (a folder or read-only target: ERROR_ACCESS_DENIED).
 * Across file systems only with MOVEFILE_COPY_ALLOWED (copy, then delete),
 * else ERROR_NOT_SAME_DEVICE.  MOVEFILE_DELAY_UNTIL_REBOOT is not supported
 * (ERROR_NOT_SUPPORTED); MOVEFILE_WRITE_THROUGH is implied. */
BOOL WINAPI MoveFileExA(LPCSTR lpExistingFileName, LPCSTR lpNewFileName, DWORD dwFlags)
{
    using namespace winport;
    if (dwFlags & MOVEFILE_DELAY_UNTIL_REBOOT) {
        SetLastError((dwFlags & MOVEFILE_COPY_ALLOWED) ? ERROR_INVALID_PARAMETER
                                                       : ERROR_NOT_SUPPORTED);
        return FALSE;
    }
    MappedPath from = MapPath(lpExistingFileName);
    if (!from.ok()) {
        SetLastError(from.error);
        return FALSE;
    }
    if (!lpNewFileName) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    MappedPath to = MapPath(lpNewFileName);
    if (!to.ok()) {
        SetLastError(to.error);
        return FALSE;
    }
    struct stat src, dst;
    if (lstat(from.posix.c_str(), &src) != 0) {
        SetLastError(errno == ENOENT ? NotFoundError(from.posix) : Win32ErrorFromErrno(errno));
        return FALSE;
    }
    const bool replace = dwFlags & MOVEFILE_REPLACE_EXISTING;
    if (lstat(to.posix.c_str(), &dst) == 0) {
        // The target names the source itself: a name differing only in case
        // found the source.  Windows then changes the case of the name.
        if (from.posix == to.posix) {
            const std::string respelled = util::ParentOf(to.posix) + "/" + to.spelledName;
            if (!to.spelledName.empty() && respelled != to.posix &&
                rename(from.posix.c_str(), respelled.c_str()) != 0) {
                SetLastErrorFromErrno(errno);
                return FALSE;
            }
            return TRUE;
        }
        if (!replace) {
            SetLastError(ERROR_ALREADY_EXISTS);
            return FALSE;
        }
        if (S_ISDIR(dst.st_mode) || IsReadOnly(dst)) {
            SetLastError(ERROR_ACCESS_DENIED);
            return FALSE;
        }
    }

    int err = replace ? (rename(from.posix.c_str(), to.posix.c_str()) == 0 ? 0 : errno)
                      : RenameNoReplace(from.posix, to.posix);
    if (err == EXDEV && (dwFlags & MOVEFILE_COPY_ALLOWED))
        err = CopyThenDelete(from.posix, to.posix, replace);
    switch (err) {
    case 0:
        return TRUE;
    case EEXIST:
        SetLastError(ERROR_ALREADY_EXISTS);
        break;
    case ENOENT:
        SetLastError(ERROR_PATH_NOT_FOUND); // the source exists: the target's folder is missing
        break;
    case ENOTEMPTY:
    case EISDIR:
        SetLastError(ERROR_ACCESS_DENIED);
        break;
    default:
        SetLastErrorFromErrno(err);
    }
    return FALSE;
}
