/*
 * Process objects: the handle CreateProcessA returns.  Private to winport.
 *
 * A process object waits on a pidfd (poll) and reaps the child once it has
 * ended, keeping its exit code.  A child whose handles are all closed
 * before it ended is reaped in the background, so a service that starts a
 * client per connection and never waits leaves no zombies behind.
 */
#ifndef WINPORT_SYNC_PROCESS_OBJECT_H
#define WINPORT_SYNC_PROCESS_OBJECT_H

#include "sync/objects.h"

#include <mutex>
#include <sys/types.h>

namespace winport {

class ProcessObject final : public Waitable {
public:
    explicit ProcessObject(pid_t pid);
    ~ProcessObject() override;

    pid_t pid() const { return pid_; }
    DWORD Wait(const Deadline &deadline) override;
    /* STILL_ACTIVE while the process runs, else its exit code.  Never
     * blocks. */
    DWORD ExitCode();

private:
    bool TryReapLocked();

    const pid_t pid_;
    const int pidfd_; // -1 when the kernel has no pidfds: waits then poll
    std::mutex lock_;
    bool reaped_ = false; // guarded by lock_
    DWORD exitCode_ = 0;  // guarded by lock_
};

/* The process id behind a process handle (the pseudo handle of the
 * current process included); 0 for anything else.  Leaves the last error
 * alone. */
DWORD ProcessIdOfHandle(HANDLE handle);

} // namespace winport

#endif
