/*
 * Reading, writing, sizing and positioning open files.
 */
#include "kernel/errors.h"
#include "kernel/file_object.h"
#include "kernel/named_pipe.h"
#include "kernel/pipe_io.h"

#include <sys/stat.h>

#include <cerrno>

namespace winport {
namespace {

std::shared_ptr<FileObject> GetFile(HANDLE handle)
{
    return GetObjectAs<FileObject>(handle, ObjectType::File);
}

/* The error of a failed read or write on a handle opened without that
 * access is ERROR_ACCESS_DENIED on Windows. */
DWORD IoError(int err)
{
    return err == EBADF ? ERROR_ACCESS_DENIED : Win32ErrorFromErrno(err);
}

} // namespace
} // namespace winport

/* ReadFile: reads up to the count; 0 bytes at the end of the file is
 * success.  On a pipe it returns what is there, and ERROR_BROKEN_PIPE once
 * the writers are gone (pipe_io.h).  Overlapped reads are not supported
 * (ERROR_INVALID_PARAMETER). */
BOOL WINAPI ReadFile(HANDLE hFile, LPVOID lpBuffer, DWORD nNumberOfBytesToRead,
                     LPDWORD lpNumberOfBytesRead, LPVOID lpOverlapped)
{
    using namespace winport;
    if (lpNumberOfBytesRead)
        *lpNumberOfBytesRead = 0;
    if (lpOverlapped || (!lpBuffer && nNumberOfBytesToRead)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (auto pipe = NamedPipeOf(hFile))
        return PipeHandleRead(pipe, lpBuffer, nNumberOfBytesToRead, lpNumberOfBytesRead);
    auto file = GetFile(hFile);
    if (!file)
        return FALSE;
    if (!file->canRead()) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    if (IsPipe(file->fd()))
        return PipeRead(file->fd(), lpBuffer, nNumberOfBytesToRead, lpNumberOfBytesRead);
    char *out = static_cast<char *>(lpBuffer);
    DWORD total = 0;
    while (total < nNumberOfBytesToRead) {
        ssize_t n = read(file->fd(), out + total, nNumberOfBytesToRead - total);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            SetLastError(IoError(errno));
            if (lpNumberOfBytesRead)
                *lpNumberOfBytesRead = total;
            return FALSE;
        }
        if (n == 0)
            break;
        total += static_cast<DWORD>(n);
    }
    if (lpNumberOfBytesRead)
        *lpNumberOfBytesRead = total;
    return TRUE;
}

/* WriteFile: writes the whole buffer (a handle opened with FILE_APPEND_DATA
 * only appends); to a pipe nobody reads, ERROR_NO_DATA.  Overlapped writes
 * are not supported. */
BOOL WINAPI WriteFile(HANDLE hFile, LPCVOID lpBuffer, DWORD nNumberOfBytesToWrite,
                      LPDWORD lpNumberOfBytesWritten, LPVOID lpOverlapped)
{
    using namespace winport;
    if (lpNumberOfBytesWritten)
        *lpNumberOfBytesWritten = 0;
    if (lpOverlapped || (!lpBuffer && nNumberOfBytesToWrite)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (auto pipe = NamedPipeOf(hFile))
        return PipeHandleWrite(pipe, lpBuffer, nNumberOfBytesToWrite, lpNumberOfBytesWritten);
    auto file = GetFile(hFile);
    if (!file)
        return FALSE;
    if (!file->canWrite()) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    if (IsPipe(file->fd()))
        return PipeWrite(file->fd(), lpBuffer, nNumberOfBytesToWrite, lpNumberOfBytesWritten);
    const char *in = static_cast<const char *>(lpBuffer);
    DWORD total = 0;
    while (total < nNumberOfBytesToWrite) {
        ssize_t n = write(file->fd(), in + total, nNumberOfBytesToWrite - total);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            SetLastError(IoError(errno));
            if (lpNumberOfBytesWritten)
                *lpNumberOfBytesWritten = total;
            return FALSE;
        }
        total += static_cast<DWORD>(n);
    }
    if (lpNumberOfBytesWritten)
        *lpNumberOfBytesWritten = total;
    return TRUE;
}

/* GetFileSize: the low 32 bits of the size (high bits through the pointer);
 * INVALID_FILE_SIZE on failure.  Success clears the last error, so that a
 * size whose low part is 0xFFFFFFFF can be told from a failure. */
DWORD WINAPI GetFileSize(HANDLE hFile, LPDWORD lpFileSizeHigh)
{
    using namespace winport;
    auto file = GetFile(hFile);
    if (!file)
        return INVALID_FILE_SIZE;
    struct stat st;
    if (fstat(file->fd(), &st) != 0) {
        SetLastErrorFromErrno(errno);
        return INVALID_FILE_SIZE;
    }
    const uint64_t size = static_cast<uint64_t>(st.st_size);
    if (lpFileSizeHigh)
        *lpFileSizeHigh = static_cast<DWORD>(size >> 32);
    SetLastError(ERROR_SUCCESS);
    return static_cast<DWORD>(size);
}

/* SetFilePointer: moves the file pointer (32-bit signed distance, or 64-bit
 * with the high part); before the start fails with ERROR_NEGATIVE_SEEK and
 * a position beyond 32 bits without the high pointer with
 * ERROR_INVALID_PARAMETER.  Success clears the last error. */
DWORD WINAPI SetFilePointer(HANDLE hFile, LONG lDistanceToMove, PLONG lpDistanceToMoveHigh,
                            DWORD dwMoveMethod)
{
    using namespace winport;
    auto file = GetFile(hFile);
    if (!file)
        return INVALID_SET_FILE_POINTER;
    int64_t distance = lDistanceToMove;
    if (lpDistanceToMoveHigh)
        distance = static_cast<int64_t>((static_cast<uint64_t>(*lpDistanceToMoveHigh) << 32) |
                                        static_cast<uint32_t>(lDistanceToMove));
    int64_t base = 0;
    struct stat st;
    switch (dwMoveMethod) {
    case FILE_BEGIN:
        break;
    case FILE_CURRENT:
        base = lseek(file->fd(), 0, SEEK_CUR);
        break;
    case FILE_END:
        base = fstat(file->fd(), &st) == 0 ? st.st_size : -1;
        break;
    default:
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_SET_FILE_POINTER;
    }
    if (base < 0) {
        SetLastErrorFromErrno(errno);
        return INVALID_SET_FILE_POINTER;
    }
    const int64_t target = base + distance;
    if (target < 0) {
        SetLastError(ERROR_NEGATIVE_SEEK);
        return INVALID_SET_FILE_POINTER;
    }
    if (!lpDistanceToMoveHigh && target > 0xFFFFFFFEll) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_SET_FILE_POINTER;
    }
    if (lseek(file->fd(), target, SEEK_SET) < 0) {
        SetLastErrorFromErrno(errno);
        return INVALID_SET_FILE_POINTER;
    }
    if (lpDistanceToMoveHigh)
        *lpDistanceToMoveHigh = static_cast<LONG>(target >> 32);
    SetLastError(ERROR_SUCCESS);
    return static_cast<DWORD>(target);
}

/* SetEndOfFile: truncates or extends the file to the file pointer. */
BOOL WINAPI SetEndOfFile(HANDLE hFile)
{
    using namespace winport;
    auto file = GetFile(hFile);
    if (!file)
        return FALSE;
    if (!file->canWrite()) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    off_t pos = lseek(file->fd(), 0, SEEK_CUR);
    if (pos < 0 || ftruncate(file->fd(), pos) != 0) {
        SetLastErrorFromErrno(errno);
        return FALSE;
    }
    return TRUE;
}

/* FlushFileBuffers: writes the file's data to the disk (fsync); needs write
 * access as on Windows. */
BOOL WINAPI FlushFileBuffers(HANDLE hFile)
{
    using namespace winport;
    if (NamedPipeOf(hFile))
        return TRUE; // a pipe's writes are in the reader's queue already
    auto file = GetFile(hFile);
    if (!file)
        return FALSE;
    if (!file->canWrite()) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    if (fsync(file->fd()) != 0 && errno != EINVAL) {
        SetLastErrorFromErrno(errno);
        return FALSE;
    }
    return TRUE;
}
