/*
 * A file opened by CreateFileA: a kernel object owning a POSIX descriptor.
 * Private to winport.
 */
#ifndef WINPORT_KERNEL_FILE_OBJECT_H
#define WINPORT_KERNEL_FILE_OBJECT_H

#include "kernel/handles.h"

#include <unistd.h>

#include <cstdint>
#include <mutex>
#include <vector>

namespace winport {

class FileObject final : public KernelObject {
public:
    FileObject(int fd, bool canRead, bool canWrite)
        : KernelObject(ObjectType::File), fd_(fd), canRead_(canRead), canWrite_(canWrite)
    {}
    ~FileObject() override { close(fd_); }

    int fd() const { return fd_; }
    /* The access the handle was opened with (GENERIC_READ / GENERIC_WRITE or
     * FILE_APPEND_DATA); ReadFile and WriteFile check it as Windows does. */
    bool canRead() const { return canRead_; }
    bool canWrite() const { return canWrite_; }

    /* The byte ranges this handle has locked (LockFile), [first, end). */
    struct LockedRange {
        std::uint64_t first;
        std::uint64_t end;
    };
    std::mutex lockLock;
    std::vector<LockedRange> locked; /* guarded by lockLock */

private:
    const int fd_;
    const bool canRead_;
    const bool canWrite_;
};

} // namespace winport

#endif
