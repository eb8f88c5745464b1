/*
 * Thread objects: what CreateThread's handle refers to, and the main thread
 * of a process started by CreateProcessA.  Private to winport.
 *
 * A thread started by CreateThread is signalled when it has ended: after
 * its function returned and after the mutexes it still owned were
 * abandoned, so a waiter that then tries one of them sees WAIT_ABANDONED.
 * A child process's main thread is signalled with its process.
 */
#ifndef WINPORT_SYNC_THREAD_OBJECT_H
#define WINPORT_SYNC_THREAD_OBJECT_H

#include "sync/objects.h"

#include <condition_variable>
#include <mutex>
#include <sys/types.h>

namespace winport {

class ThreadObject final : public Waitable {
public:
    ThreadObject() : Waitable(ObjectType::Thread) {}
    /* The main thread of a child process (`process` is its ProcessObject,
     * `tid` its thread id, the pid on Linux). */
    ThreadObject(std::shared_ptr<Waitable> process, pid_t tid)
        : Waitable(ObjectType::Thread), tid_(tid), process_(std::move(process))
    {}

    DWORD Wait(const Deadline &deadline) override;

    /* The thread's id; waits until a new thread has published it. */
    pid_t Tid();
    /* Sets the thread's nice value unless it has ended (its id may belong
     * to another thread by then). */
    void SetNice(int nice);
    /* Called by the new thread itself as it starts and as it ends. */
    void Started(pid_t tid);
    void Finished(DWORD exitCode);

private:
    std::mutex lock_;
    std::condition_variable changed_;
    pid_t tid_ = 0;      // guarded by lock_
    bool done_ = false;  // guarded by lock_
    DWORD exitCode_ = 0; // guarded by lock_
    const std::shared_ptr<Waitable> process_;
};

} // namespace winport

#endif
