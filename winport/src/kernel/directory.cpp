/*
 * Folders and file attributes: CreateDirectoryA, RemoveDirectoryA,
 * DeleteFileA, GetFileAttributesA.
 */
#include "kernel/errors.h"
#include "kernel/paths.h"
#include "security/security.h"

#include <windows.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace winport {
namespace {

/* Maps the path or sets the last error; false on failure. */
bool Map(LPCSTR path, std::string &posix)
{
    MappedPath mapped = MapPath(path);
    if (!mapped.ok()) {
        SetLastError(mapped.error);
        return false;
    }
    posix = std::move(mapped.posix);
    return true;
}

} // namespace
} // namespace winport

/* CreateDirectoryA: creates one folder with the owner and DACL of the
 * security descriptor in lpSecurityAttributes, if any (mapped as
 * SetNamedSecurityInfoA maps them).  An existing name fails with
 * ERROR_ALREADY_EXISTS, a missing parent with ERROR_PATH_NOT_FOUND, a
 * descriptor that cannot be honoured with its error and no folder. */
BOOL WINAPI CreateDirectoryA(LPCSTR lpPathName, LPSECURITY_ATTRIBUTES lpSecurityAttributes)
{
    using namespace winport;
    security::FileChange change;
    if (DWORD error = security::PlanFromDescriptor(
            lpSecurityAttributes ? lpSecurityAttributes->lpSecurityDescriptor : nullptr, &change)) {
        SetLastError(error);
        return FALSE;
    }
    std::string posix;
    if (!Map(lpPathName, posix))
        return FALSE;
    // A protected folder never exists with group or other write permission.
    if (mkdir(posix.c_str(), change.protect ? 0755 : 0777) != 0) {
        SetLastError(errno == ENOENT ? ERROR_PATH_NOT_FOUND : Win32ErrorFromErrno(errno));
        return FALSE;
    }
    const bool secured = change.setOwner || change.setGroup || change.protect;
    if (DWORD error = secured ? security::ApplyChange(posix, change) : 0) {
        rmdir(posix.c_str());
        SetLastError(error);
        return FALSE;
    }
    return TRUE;
}

/* RemoveDirectoryA: removes an empty folder (ERROR_DIR_NOT_EMPTY otherwise;
 * a file gives ERROR_DIRECTORY). */
BOOL WINAPI RemoveDirectoryA(LPCSTR lpPathName)
{
    using namespace winport;
    std::string posix;
    if (!Map(lpPathName, posix))
        return FALSE;
    if (rmdir(posix.c_str()) != 0) {
        int err = errno;
        if (err == ENOENT)
            SetLastError(NotFoundError(posix));
        else if (err == ENOTDIR && NotFoundError(posix) == ERROR_FILE_NOT_FOUND)
            SetLastError(ERROR_DIRECTORY);
        else if (err == EEXIST)
            SetLastError(ERROR_DIR_NOT_EMPTY);
        else
            SetLastErrorFromErrno(err);
        return FALSE;
    }
    return TRUE;
}

/* DeleteFileA: deletes a file.  A folder, or a read-only file, fails with
 * ERROR_ACCESS_DENIED as on Windows (POSIX would let the owner unlink a
 * read-only file). */
BOOL WINAPI DeleteFileA(LPCSTR lpFileName)
{
    using namespace winport;
    std::string posix;
    if (!Map(lpFileName, posix))
        return FALSE;
    struct stat st;
    if (lstat(posix.c_str(), &st) != 0) {
        SetLastError(errno == ENOENT ? NotFoundError(posix) : Win32ErrorFromErrno(errno));
        return FALSE;
    }
    if (S_ISDIR(st.st_mode) || (S_ISREG(st.st_mode) && !(st.st_mode & S_IWUSR))) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    if (unlink(posix.c_str()) != 0) {
        SetLastErrorFromErrno(errno);
        return FALSE;
    }
    return TRUE;
}

/* GetFileAttributesA: FILE_ATTRIBUTE_DIRECTORY for a folder, otherwise
 * FILE_ATTRIBUTE_ARCHIVE, which Windows gives every file it creates
 * (FILE_ATTRIBUTE_NORMAL means "no other attribute" and is never reported
 * here); FILE_ATTRIBUTE_READONLY is added when the owner cannot write.  A
 * symbolic link is not followed: as on Windows it reports
 * FILE_ATTRIBUTE_REPARSE_POINT, with FILE_ATTRIBUTE_DIRECTORY when it
 * leads to a folder (a dangling link counts as a file link). */
DWORD WINAPI GetFileAttributesA(LPCSTR lpFileName)
{
    using namespace winport;
    std::string posix;
    if (!Map(lpFileName, posix))
        return INVALID_FILE_ATTRIBUTES;
    struct stat st;
    if (lstat(posix.c_str(), &st) != 0) {
        SetLastError(errno == ENOENT ? NotFoundError(posix) : Win32ErrorFromErrno(errno));
        return INVALID_FILE_ATTRIBUTES;
    }
    if (S_ISLNK(st.st_mode)) {
        struct stat target;
        const bool folder = stat(posix.c_str(), &target) == 0 && S_ISDIR(target.st_mode);
        return FILE_ATTRIBUTE_REPARSE_POINT |
               (folder ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_ARCHIVE);
    }
    DWORD attributes = S_ISDIR(st.st_mode) ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_ARCHIVE;
    if (!(st.st_mode & S_IWUSR))
        attributes |= FILE_ATTRIBUTE_READONLY;
    return attributes;
}
