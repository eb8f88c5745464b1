/*
 * Byte-range locks on open files: LockFile and UnlockFile.
 *
 * A lock belongs to the handle, as on Windows: it is an open-file-
 * description lock (F_OFD_SETLK), so another handle, in this process or
 * another, cannot take an overlapping range, and closing the handle or
 * ending the process releases it.  Windows also refuses an overlapping
 * lock through the same handle, which POSIX would merge; the handle's own
 * ranges are kept to refuse it too.  Unlike Windows, the locks are
 * advisory: reads and writes through other handles are not blocked.
 */
#include "kernel/errors.h"
#include "kernel/file_object.h"

#include <fcntl.h>

#include <algorithm>
#include <cerrno>

namespace winport {
namespace {

std::uint64_t Join(DWORD low, DWORD high)
{
    return (static_cast<std::uint64_t>(high) << 32) | low;
}

/* One F_OFD_SETLK call over [first, first + count). */
bool SetRange(int fd, short type, std::uint64_t first, std::uint64_t count)
{
    struct flock range = {};
    range.l_type = type;
    range.l_whence = SEEK_SET;
    range.l_start = static_cast<off_t>(std::min<std::uint64_t>(first, INT64_MAX));
    range.l_len = static_cast<off_t>(std::min<std::uint64_t>(count, INT64_MAX - range.l_start));
    return fcntl(fd, F_OFD_SETLK, &range) == 0;
}

std::shared_ptr<FileObject> LockableFile(HANDLE handle, std::uint64_t count)
{
    auto file = GetObjectAs<FileObject>(handle, ObjectType::File);
    if (file && count == 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    return file;
}

} // namespace
} // namespace winport

/* LockFile: locks a byte range for this handle, failing at once with
 * ERROR_LOCK_VIOLATION when another handle, or this one, holds an
 * overlapping range.  The range may lie beyond the end of the file. */
BOOL WINAPI LockFile(HANDLE hFile, DWORD dwFileOffsetLow, DWORD dwFileOffsetHigh,
                     DWORD nNumberOfBytesToLockLow, DWORD nNumberOfBytesToLockHigh)
{
    using namespace winport;
    const std::uint64_t first = Join(dwFileOffsetLow, dwFileOffsetHigh);
    const std::uint64_t count = Join(nNumberOfBytesToLockLow, nNumberOfBytesToLockHigh);
    auto file = LockableFile(hFile, count);
    if (!file)
        return FALSE;
    const std::uint64_t end = first + std::min(count, UINT64_MAX - first);
    std::lock_guard<std::mutex> guard(file->lockLock);
    for (const FileObject::LockedRange &r : file->locked)
        if (first < r.end && r.first < end) {
            SetLastError(ERROR_LOCK_VIOLATION);
            return FALSE;
        }
    if (!SetRange(file->fd(), F_WRLCK, first, end - first)) {
        int err = errno;
        SetLastError(err == EAGAIN || err == EACCES ? ERROR_LOCK_VIOLATION
                                                    : Win32ErrorFromErrno(err));
        return FALSE;
    }
    file->locked.push_back({first, end});
    return TRUE;
}

/* UnlockFile: releases a range this handle locked, given exactly as it was
 * locked; any other range fails with ERROR_NOT_LOCKED. */
BOOL WINAPI UnlockFile(HANDLE hFile, DWORD dwFileOffsetLow, DWORD dwFileOffsetHigh,
                       DWORD nNumberOfBytesToUnlockLow, DWORD nNumberOfBytesToUnlockHigh)
{
    using namespace winport;
    const std::uint64_t first = Join(dwFileOffsetLow, dwFileOffsetHigh);
    const std::uint64_t count = Join(nNumberOfBytesToUnlockLow, nNumberOfBytesToUnlockHigh);
    auto file = LockableFile(hFile, count);
    if (!file)
        return FALSE;
    const std::uint64_t end = first + std::min(count, UINT64_MAX - first);
    std::lock_guard<std::mutex> guard(file->lockLock);
    auto it = std::find_if(
        file->locked.begin(), file->locked.end(),
        [&](const FileObject::LockedRange &r) { return r.first == first && r.end == end; });
    if (it == file->locked.end()) {
        SetLastError(ERROR_NOT_LOCKED);
        return FALSE;
    }
    SetRange(file->fd(), F_UNLCK, first, end - first);
    file->locked.erase(it);
    return TRUE;
}
