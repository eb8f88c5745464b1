/*
 * The state behind every mutex, semaphore and event, and the waits on it.
 * Private to winport.
 *
 * One SyncState serves all three kinds.  An unnamed object keeps it on the
 * heap; a named one keeps it in a file mapped by every process that opened
 * the name (named_objects.h), so the same code waits on both.  The fields
 * are guarded by `lock`, a robust pthread mutex (process-shared for named
 * objects): a process killed inside the few instructions that hold it hands
 * it on instead of blocking everyone.  Every change of state bumps `seq`
 * and wakes the futex on it; a waiter reads `seq` under the lock and sleeps
 * until it moves or its deadline passes, so no wake-up is lost and a waiter
 * that was killed leaves nothing behind.
 *
 * Deadline is a wait's end on the monotonic clock.  Nominal time-outs go
 * through the process clock (RealNs), so WINPORT_TIME_SCALE shortens every
 * wait.
 */
#ifndef WINPORT_SYNC_SYNC_STATE_H
#define WINPORT_SYNC_SYNC_STATE_H

#include "kernel/handles.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <ctime>
#include <pthread.h>

namespace winport {

class Deadline {
public:
    /* The end of a wait of `ms` nominal milliseconds from now (INFINITE:
     * never). */
    static Deadline AfterNominalMs(DWORD ms);
    /* `realNs` real nanoseconds from now. */
    static Deadline AfterRealNs(uint64_t realNs);
    static Deadline Never() { return Deadline(true, 0); }

    bool infinite() const { return infinite_; }
    bool Expired() const;
    /* Whichever of the two ends first. */
    Deadline Earliest(const Deadline &other) const;
    /* Absolute CLOCK_MONOTONIC time (only when !infinite()). */
    timespec Absolute() const;
    /* Milliseconds left, rounded up, for poll(); -1 when infinite. */
    int RemainingMsForPoll() const;
    /* The same point for std::condition_variable (steady_clock is
     * CLOCK_MONOTONIC); only when !infinite(). */
    std::chrono::steady_clock::time_point SteadyTime() const
    {
        return std::chrono::steady_clock::time_point(std::chrono::nanoseconds(ns_));
    }

private:
    Deadline(bool infinite, uint64_t ns) : infinite_(infinite), ns_(ns) {}
    bool infinite_;
    uint64_t ns_; // CLOCK_MONOTONIC nanoseconds
};

struct SyncState {
    uint32_t kind; // ObjectType
    pthread_mutex_t lock;
    std::atomic<uint32_t> seq;

    // Mutex: the owning thread (0: free), its process and that process's
    // start time (so a reused pid is not taken for the owner).
    uint32_t ownerTid;
    uint32_t ownerPid;
    uint64_t ownerStart;
    uint32_t recursion;
    uint32_t abandoned; // the last owner ended without releasing it

    // Semaphore
    int32_t count;
    int32_t maximum;

    // Event
    uint32_t signaled;
    uint32_t manualReset;
};
static_assert(std::atomic<uint32_t>::is_always_lock_free, "seq must be a plain futex word");

/* Initialises `state` for `kind` (process-shared when `shared`). */
void InitSyncState(SyncState &state, ObjectType kind, bool shared);

/* Holds a SyncState's lock for a scope. */
class StateLock {
public:
    explicit StateLock(SyncState &state);
    ~StateLock();
    StateLock(const StateLock &) = delete;
    StateLock &operator=(const StateLock &) = delete;

private:
    SyncState &state_;
};

/* After a change made under the lock: bump seq (still under the lock). */
inline void MarkChanged(SyncState &state)
{
    state.seq.fetch_add(1, std::memory_order_release);
}

/* Wakes every waiter of `state` (after MarkChanged; lock held or not). */
void WakeAll(SyncState &state, bool shared);

/* Sleeps until seq differs from `seen` or `deadline` passes (spurious
 * returns allowed; callers re-check under the lock). */
void WaitForChange(SyncState &state, bool shared, uint32_t seen, const Deadline &deadline);

} // namespace winport

#endif
