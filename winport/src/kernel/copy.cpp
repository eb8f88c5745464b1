/*
 * CopyFileA and SetFileAttributesA.
 *
 * A copy is written beside the destination and renamed over it when
 * complete, so a crash or a full disk never leaves a half-written file
 * under the destination's name.  The copy takes the source's read-only
 * attribute and last-write time, as Windows copies attributes and times.
 */
#include "kernel/errors.h"
#include "kernel/paths.h"

#include "utils/posix_fs.h"

#include <windows.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>

namespace winport {
namespace {

/* Writes the copy aside and renames it over `to`; 0 or an errno value. */
int CopyAside(const std::string &from, const struct stat &source, const std::string &to)
{
    int in = open(from.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0)
        return errno;
    std::string temp = to + ".wpcopy-XXXXXX";
    int out = mkostemp(temp.data(), O_CLOEXEC);
    if (out < 0) {
        int err = errno;
        close(in);
        return err;
    }
    int err = util::CopyFdData(in, out);
    if (!err && fsync(out) != 0)
        err = errno;
    const timespec times[2] = {source.st_atim, source.st_mtim};
    if (!err)
        futimens(out, times);
    if (!err && fchmod(out, source.st_mode & 07777) != 0)
        err = errno;
    close(in);
    if (close(out) != 0 && !err)
        err = errno;
    if (!err && rename(temp.c_str(), to.c_str()) != 0)
        err = errno;
    if (err)
        unlink(temp.c_str());
    return err;
}

/* Maps `path`; false with the last error set when it cannot be mapped. */
bool Map(const char *path, MappedPath &out)
{
    out = MapPath(path);
    if (!out.ok()) {
        SetLastError(out.error);
        return false;
    }
    return true;
}

} // namespace
} // namespace winport

/* CopyFileA: copies a file's data, read-only attribute and last-write
 * time.  A missing source gives ERROR_FILE_NOT_FOUND (or
 * ERROR_PATH_NOT_FOUND), an existing destination with bFailIfExists
 * ERROR_FILE_EXISTS, a read-only or folder destination and a folder source
 * ERROR_ACCESS_DENIED, a file copied onto itself ERROR_SHARING_VIOLATION.
 * The destination is replaced in one step. */
BOOL WINAPI CopyFileA(LPCSTR lpExistingFileName, LPCSTR lpNewFileName, BOOL bFailIfExists)
{
    using namespace winport;
    MappedPath from, to;
    if (!Map(lpExistingFileName, from) || !Map(lpNewFileName, to))
        return FALSE;
    struct stat source, dest;
    if (stat(from.posix.c_str(), &source) != 0) {
        SetLastError(errno == ENOENT ? NotFoundError(from.posix) : Win32ErrorFromErrno(errno));
        return FALSE;
    }
    if (S_ISDIR(source.st_mode)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    if (stat(to.posix.c_str(), &dest) == 0) {
        DWORD error = 0;
        if (source.st_dev == dest.st_dev && source.st_ino == dest.st_ino)
            error = ERROR_SHARING_VIOLATION;
        else if (bFailIfExists)
            error = ERROR_FILE_EXISTS;
        else if (S_ISDIR(dest.st_mode) || !(dest.st_mode & S_IWUSR))
            error = ERROR_ACCESS_DENIED;
        if (error) {
            SetLastError(error);
            return FALSE;
        }
    } else if (errno == ENOENT && NotFoundError(to.posix) == ERROR_PATH_NOT_FOUND) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return FALSE;
    }
    if (int err = CopyAside(from.posix, source, to.posix)) {
        SetLastErrorFromErrno(err);
        return FALSE;
    }
    return TRUE;
}

/* SetFileAttributesA: FILE_ATTRIBUTE_READONLY takes the write permission
 * away from a file, its absence gives the owner's back.  Hidden, system and
 * archive have no POSIX counterpart and are accepted without effect, as is
 * read-only on a folder (Windows does not enforce it there either). */
BOOL WINAPI SetFileAttributesA(LPCSTR lpFileName, DWORD dwFileAttributes)
{
    using namespace winport;
    MappedPath mapped;
    if (!Map(lpFileName, mapped))
        return FALSE;
    struct stat st;
    if (stat(mapped.posix.c_str(), &st) != 0) {
        SetLastError(errno == ENOENT ? NotFoundError(mapped.posix) : Win32ErrorFromErrno(errno));
        return FALSE;
    }
    if (S_ISDIR(st.st_mode))
        return TRUE;
    mode_t mode = st.st_mode & 07777;
    if (dwFileAttributes & FILE_ATTRIBUTE_READONLY)
        mode &= ~static_cast<mode_t>(S_IWUSR | S_IWGRP | S_IWOTH);
    else
        mode |= S_IWUSR;
    if (mode != (st.st_mode & 07777) && chmod(mapped.posix.c_str(), mode) != 0) {
        SetLastErrorFromErrno(errno);
        return FALSE;
    }
    return TRUE;
}
