/*
 * CreateFileA: opening and creating files under the winport root.
 */
#include "kernel/errors.h"
#include "kernel/file_object.h"
#include "kernel/named_pipe.h"
#include "kernel/paths.h"
#include "utils/posix_fs.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>

namespace winport {
namespace {

constexpr DWORD kFileReadData = 0x0001;
constexpr DWORD kFileWriteData = 0x0002;

struct OpenRequest {
    bool read = false;
    bool write = false;
    bool appendOnly = false; // FILE_APPEND_DATA without write access: O_APPEND
    int baseFlags = 0;
    mode_t mode = 0666;
};

OpenRequest ParseAccess(DWORD access, DWORD flagsAndAttributes, const SECURITY_ATTRIBUTES *sa)
{
    OpenRequest req;
    req.read = (access & (GENERIC_READ | GENERIC_ALL | kFileReadData)) != 0;
    const bool writeData = (access & (GENERIC_WRITE | GENERIC_ALL | kFileWriteData)) != 0;
    req.appendOnly = !writeData && (access & FILE_APPEND_DATA);
    req.write = writeData || req.appendOnly;
    req.baseFlags = req.read && req.write ? O_RDWR : req.write ? O_WRONLY : O_RDONLY;
    if (req.appendOnly)
        req.baseFlags |= O_APPEND;
    if (!sa || !sa->bInheritHandle)
        req.baseFlags |= O_CLOEXEC;
    if (flagsAndAttributes & FILE_ATTRIBUTE_READONLY)
        req.mode = 0444;
    return req;
}

int OpenRetrying(const std::string &path, int flags, mode_t mode)
{
    int fd;
    do
        fd = open(path.c_str(), flags, mode);
    while (fd < 0 && errno == EINTR);
    return fd;
}

/* Windows refuses write access to a read-only file even to an administrator;
 * POSIX lets root through, so check the attribute ourselves. */
bool IsReadOnlyFile(const std::string &path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && !(st.st_mode & S_IWUSR);
}

/* Opens per the disposition; returns the fd or -1 with the last error set.
 * `existed` tells whether an existing file was opened. */
int OpenByDisposition(const std::string &path, const OpenRequest &req, DWORD disposition,
                      bool &existed)
{
    existed = false;
    const bool truncates = disposition == CREATE_ALWAYS || disposition == TRUNCATE_EXISTING;
    if ((req.write || truncates) && IsReadOnlyFile(path)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return -1;
    }
    int fd = -1;
    switch (disposition) {
    case CREATE_NEW:
        fd = OpenRetrying(path, req.baseFlags | O_CREAT | O_EXCL, req.mode);
        if (fd < 0 && errno == EEXIST) {
            SetLastError(ERROR_FILE_EXISTS);
            return -1;
        }
        break;
    case CREATE_ALWAYS:
    case OPEN_ALWAYS:
        fd = OpenRetrying(path, req.baseFlags | O_CREAT | O_EXCL, req.mode);
        if (fd < 0 && errno == EEXIST) {
            existed = true;
            fd = OpenRetrying(path, req.baseFlags | (truncates ? O_TRUNC : 0), req.mode);
        }
        break;
    case OPEN_EXISTING:
        fd = OpenRetrying(path, req.baseFlags, 0);
        existed = fd >= 0;
        break;
    case TRUNCATE_EXISTING:
        fd = OpenRetrying(path, req.baseFlags | O_TRUNC, 0);
        existed = fd >= 0;
        break;
    }
    if (fd < 0) {
        if (errno == ENOENT)
            SetLastError(NotFoundError(path));
        else
            SetLastErrorFromErrno(errno);
    }
    return fd;
}

} // namespace
} // namespace winport

/* CreateFileA: opens or creates a file.  Share modes are not enforced (POSIX
 * has no mandatory sharing; every open succeeds as with FILE_SHARE_READ |
 * FILE_SHARE_WRITE | FILE_SHARE_DELETE); overlapped, template and flag bits
 * other than FILE_ATTRIBUTE_READONLY are ignored; folders cannot be opened
 * (ERROR_ACCESS_DENIED, as without FILE_FLAG_BACKUP_SEMANTICS). */
HANDLE WINAPI CreateFileA(LPCSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                          LPSECURITY_ATTRIBUTES lpSecurityAttributes, DWORD dwCreationDisposition,
                          DWORD dwFlagsAndAttributes, HANDLE hTemplateFile)
{
    using namespace winport;
    (void)dwShareMode;
    (void)hTemplateFile;

    if (IsPipeName(lpFileName))
        return OpenPipeClient(lpFileName, dwDesiredAccess);
    MappedPath mapped = MapPath(lpFileName);
    if (!mapped.ok()) {
        SetLastError(mapped.error);
        return INVALID_HANDLE_VALUE;
    }
    // "name\" names a folder; a file cannot be named so (STATUS_OBJECT_NAME_INVALID).
    if (mapped.posix.size() > 1 && mapped.posix.back() == '/' && !util::IsDirectory(mapped.posix)) {
        SetLastError(ERROR_INVALID_NAME);
        return INVALID_HANDLE_VALUE;
    }
    const OpenRequest req =
        ParseAccess(dwDesiredAccess, dwFlagsAndAttributes, lpSecurityAttributes);
    if (dwCreationDisposition < CREATE_NEW || dwCreationDisposition > TRUNCATE_EXISTING ||
        (dwCreationDisposition == TRUNCATE_EXISTING && !req.write)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }

    bool existed = false;
    int fd = OpenByDisposition(mapped.posix, req, dwCreationDisposition, existed);
    if (fd < 0)
        return INVALID_HANDLE_VALUE;
    struct stat st;
    if (fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
        close(fd);
        SetLastError(ERROR_ACCESS_DENIED);
        return INVALID_HANDLE_VALUE;
    }

    HANDLE handle =
        HandleTable::Instance().Insert(std::make_shared<FileObject>(fd, req.read, req.write));
    const bool reportsExisting =
        dwCreationDisposition == CREATE_ALWAYS || dwCreationDisposition == OPEN_ALWAYS;
    SetLastError(existed && reportsExisting ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
    return handle;
}
