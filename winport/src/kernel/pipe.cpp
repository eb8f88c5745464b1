/*
 * Anonymous pipes: CreatePipe, and the pipe side of ReadFile and WriteFile
 * (see pipe_io.h).  A pipe end is a file object over a POSIX pipe, so a
 * child started with it as standard output (STARTF_USESTDHANDLES) writes
 * into it directly.
 */
#include "kernel/pipe_io.h"

#include "kernel/errors.h"
#include "kernel/file_object.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>

namespace winport {

bool IsPipe(int fd)
{
    struct stat st;
    return fstat(fd, &st) == 0 && S_ISFIFO(st.st_mode);
}

BOOL PipeRead(int fd, void *buffer, DWORD size, LPDWORD done)
{
    if (size == 0)
        return TRUE;
    ssize_t n;
    do {
        n = read(fd, buffer, size);
    } while (n < 0 && errno == EINTR);
    if (n < 0) {
        SetLastErrorFromErrno(errno);
        return FALSE;
    }
    if (n == 0) {
        SetLastError(ERROR_BROKEN_PIPE); // every write end is closed
        return FALSE;
    }
    if (done)
        *done = static_cast<DWORD>(n);
    return TRUE;
}

namespace {

/* Blocks SIGPIPE on this thread for a scope and swallows one raised within
 * it, so a write to a closed pipe fails instead of ending the process. */
class SigpipeGuard {
public:
    SigpipeGuard()
    {
        sigset_t pipe;
        sigemptyset(&pipe);
        sigaddset(&pipe, SIGPIPE);
        sigset_t pending;
        sigpending(&pending);
        wasPending_ = sigismember(&pending, SIGPIPE) == 1;
        pthread_sigmask(SIG_BLOCK, &pipe, &old_);
    }
    ~SigpipeGuard()
    {
        if (raised_ && !wasPending_) {
            sigset_t pipe;
            sigemptyset(&pipe);
            sigaddset(&pipe, SIGPIPE);
            const timespec zero{0, 0};
            sigtimedwait(&pipe, nullptr, &zero);
        }
        pthread_sigmask(SIG_SETMASK, &old_, nullptr);
    }
    void Raised() { raised_ = true; }

private:
    sigset_t old_;
    bool wasPending_ = false;
    bool raised_ = false;
};

} // namespace

BOOL PipeWrite(int fd, const void *buffer, DWORD size, LPDWORD done)
{
    SigpipeGuard guard;
    const char *in = static_cast<const char *>(buffer);
    DWORD total = 0;
    while (total < size) {
        ssize_t n = write(fd, in + total, size - total);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            if (errno == EPIPE) {
                guard.Raised();
                SetLastError(ERROR_NO_DATA); // the read end is closed
            } else {
                SetLastErrorFromErrno(errno);
            }
            if (done)
                *done = total;
            return FALSE;
        }
        total += static_cast<DWORD>(n);
    }
    if (done)
        *done = total;
    return TRUE;
}

} // namespace winport

/* CreatePipe: an anonymous pipe, its read end and its write end.  The
 * buffer size is the system's; inheritance is decided when a process is
 * started with the ends as standard handles. */
BOOL WINAPI CreatePipe(PHANDLE hReadPipe, PHANDLE hWritePipe,
                       LPSECURITY_ATTRIBUTES lpPipeAttributes, DWORD nSize)
{
    using namespace winport;
    (void)lpPipeAttributes;
    (void)nSize;
    if (!hReadPipe || !hWritePipe) {
        SetLastError(ERROR_NOACCESS);
        return FALSE;
    }
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) {
        SetLastErrorFromErrno(errno);
        return FALSE;
    }
    *hReadPipe = HandleTable::Instance().Insert(std::make_shared<FileObject>(fds[0], true, false));
    *hWritePipe = HandleTable::Instance().Insert(std::make_shared<FileObject>(fds[1], false, true));
    return TRUE;
}
