/*
 * Process objects, exit codes, ExitProcess and the current process's
 * pseudo handle.
 */
#include "sync/process_object.h"

#include <poll.h>
#include <signal.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <thread>

namespace winport {
namespace {

int OpenPidfd(pid_t pid)
{
#ifdef SYS_pidfd_open
    return static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
#else
    (void)pid;
    return -1;
#endif
}

/* The exit code Windows would report.  A normal exit keeps its status
 * (POSIX keeps only its low 8 bits); a crash gets the exception code a
 * Windows program would end with; abort() gives 3, as the C runtime's
 * does; any other signal is a forced end, reported as 1 like a process
 * ended from the task manager. */
DWORD ExitCodeFromStatus(int status)
{
    if (WIFEXITED(status))
        return static_cast<DWORD>(WEXITSTATUS(status));
    if (!WIFSIGNALED(status))
        return 1;
    switch (WTERMSIG(status)) {
    case SIGSEGV:
    case SIGBUS:
        return 0xC0000005; // STATUS_ACCESS_VIOLATION
    case SIGILL:
        return 0xC000001D; // STATUS_ILLEGAL_INSTRUCTION
    case SIGFPE:
        return 0xC0000094; // STATUS_INTEGER_DIVIDE_BY_ZERO
    case SIGABRT:
        return 3;
    default:
        return 1;
    }
}

/* Reaps a child nobody waits for any more. */
void ReapInBackground(pid_t pid)
{
    try {
        std::thread([pid] {
            int status = 0;
            while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
            }
        }).detach();
    } catch (...) {
        // No thread to spare: the child stays a zombie until we end.
    }
}

} // namespace

ProcessObject::ProcessObject(pid_t pid)
    : Waitable(ObjectType::Process), pid_(pid), pidfd_(OpenPidfd(pid))
{}

ProcessObject::~ProcessObject()
{
    if (pidfd_ >= 0)
        close(pidfd_);
    std::lock_guard<std::mutex> guard(lock_);
    if (!reaped_ && !TryReapLocked())
        ReapInBackground(pid_);
}

bool ProcessObject::TryReapLocked()
{
    if (reaped_)
        return true;
    int status = 0;
    pid_t r;
    do {
        r = waitpid(pid_, &status, WNOHANG);
    } while (r < 0 && errno == EINTR);
    if (r == pid_) {
        exitCode_ = ExitCodeFromStatus(status);
        reaped_ = true;
    } else if (r < 0) {
        reaped_ = true; // not our child any more: someone else reaped it
    }
    return reaped_;
}

DWORD ProcessObject::Wait(const Deadline &deadline)
{
    for (;;) {
        {
            std::lock_guard<std::mutex> guard(lock_);
            if (TryReapLocked())
                return WAIT_OBJECT_0;
        }
        if (deadline.Expired())
            return WAIT_TIMEOUT;
        if (pidfd_ >= 0) {
            pollfd p{pidfd_, POLLIN, 0};
            poll(&p, 1, deadline.RemainingMsForPoll());
        } else {
            const int ms = deadline.RemainingMsForPoll();
            usleep(static_cast<useconds_t>((ms < 0 || ms > 5 ? 5 : ms) * 1000));
        }
    }
}

DWORD ProcessObject::ExitCode()
{
    std::lock_guard<std::mutex> guard(lock_);
    return TryReapLocked() ? exitCode_ : static_cast<DWORD>(STILL_ACTIVE);
}

DWORD ProcessIdOfHandle(HANDLE handle)
{
    if (handle == reinterpret_cast<HANDLE>(static_cast<intptr_t>(-1)))
        return static_cast<DWORD>(getpid());
    auto process = std::dynamic_pointer_cast<ProcessObject>(HandleTable::Instance().Get(handle));
    return process ? static_cast<DWORD>(process->pid()) : 0;
}

} // namespace winport

/* GetCurrentProcess: the pseudo handle (HANDLE)-1 for the calling process. */
HANDLE WINAPI GetCurrentProcess(void)
{
    return reinterpret_cast<HANDLE>(static_cast<intptr_t>(-1));
}

/* GetExitCodeProcess: STILL_ACTIVE while the process runs, else its exit
 * code (see ExitCodeFromStatus for processes that did not exit by
 * themselves).  A null result pointer gives ERROR_INVALID_PARAMETER. */
BOOL WINAPI GetExitCodeProcess(HANDLE hProcess, LPDWORD lpExitCode)
{
    using namespace winport;
    if (hProcess == GetCurrentProcess()) {
        if (!lpExitCode) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return FALSE;
        }
        *lpExitCode = STILL_ACTIVE;
        return TRUE;
    }
    auto process = GetObjectAs<ProcessObject>(hProcess, ObjectType::Process);
    if (!process)
        return FALSE;
    if (!lpExitCode) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    *lpExitCode = process->ExitCode();
    return TRUE;
}

/* ExitProcess: ends the process at once with the exit code (its low 8 bits
 * reach a POSIX parent; a winport parent sees the same).  C stdio buffers
 * are flushed first; static destructors do not run while other threads
 * may still be using what they would destroy.  Mutexes the process owned
 * become abandoned for their other users. */
void WINAPI ExitProcess(UINT uExitCode)
{
    std::fflush(nullptr);
    _exit(static_cast<int>(uExitCode & 0xFF));
}
