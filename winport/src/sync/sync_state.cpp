/*
 * SyncState: its robust lock, the futex its waiters sleep on, and the
 * deadlines of waits (see sync_state.h).
 */
#include "sync/sync_state.h"

#include "kernel/clock.h"

#include <linux/futex.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <new>

namespace winport {
namespace {

uint64_t NowNs()
{
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<uint64_t>(ts.tv_sec) * 1000000000ull + static_cast<uint64_t>(ts.tv_nsec);
}

} // namespace

Deadline Deadline::AfterNominalMs(DWORD ms)
{
    if (ms == INFINITE)
        return Never();
    return AfterRealNs(RealNs(ms));
}

Deadline Deadline::AfterRealNs(uint64_t realNs)
{
    return Deadline(false, NowNs() + realNs);
}

bool Deadline::Expired() const
{
    return !infinite_ && NowNs() >= ns_;
}

Deadline Deadline::Earliest(const Deadline &other) const
{
    if (infinite_)
        return other;
    if (other.infinite_)
        return *this;
    return ns_ <= other.ns_ ? *this : other;
}

timespec Deadline::Absolute() const
{
    timespec ts;
    ts.tv_sec = static_cast<time_t>(ns_ / 1000000000ull);
    ts.tv_nsec = static_cast<long>(ns_ % 1000000000ull);
    return ts;
}

int Deadline::RemainingMsForPoll() const
{
    if (infinite_)
        return -1;
    const uint64_t now = NowNs();
    if (now >= ns_)
        return 0;
    const uint64_t ms = (ns_ - now + 999999) / 1000000;
    return ms > INT_MAX ? INT_MAX : static_cast<int>(ms);
}

void InitSyncState(SyncState &state, ObjectType kind, bool shared)
{
    std::memset(static_cast<void *>(&state), 0, sizeof state);
    state.kind = static_cast<uint32_t>(kind);
    new (&state.seq) std::atomic<uint32_t>(0);
    pthread_mutexattr_t attr;
    pthread_mutexattr_init(&attr);
    pthread_mutexattr_setrobust(&attr, PTHREAD_MUTEX_ROBUST);
    if (shared)
        pthread_mutexattr_setpshared(&attr, PTHREAD_PROCESS_SHARED);
    pthread_mutex_init(&state.lock, &attr);
    pthread_mutexattr_destroy(&attr);
}

StateLock::StateLock(SyncState &state) : state_(state)
{
    // EOWNERDEAD: a process died within a critical section of a few
    // instructions; the fields are usable, so the lock is repaired.
    if (pthread_mutex_lock(&state_.lock) == EOWNERDEAD)
        pthread_mutex_consistent(&state_.lock);
}

StateLock::~StateLock()
{
    pthread_mutex_unlock(&state_.lock);
}

namespace {

long Futex(std::atomic<uint32_t> *word, int op, uint32_t value, const timespec *timeout,
           uint32_t bitset)
{
    return syscall(SYS_futex, reinterpret_cast<uint32_t *>(word), op, value, timeout, nullptr,
                   bitset);
}

} // namespace

void WakeAll(SyncState &state, bool shared)
{
    const int op = shared ? FUTEX_WAKE : (FUTEX_WAKE | FUTEX_PRIVATE_FLAG);
    Futex(&state.seq, op, INT_MAX, nullptr, 0);
}

void WaitForChange(SyncState &state, bool shared, uint32_t seen, const Deadline &deadline)
{
    // FUTEX_WAIT_BITSET takes an absolute CLOCK_MONOTONIC time, so a
    // spurious wake-up does not stretch the wait.
    const int op = shared ? FUTEX_WAIT_BITSET : (FUTEX_WAIT_BITSET | FUTEX_PRIVATE_FLAG);
    timespec abs;
    const timespec *timeout = nullptr;
    if (!deadline.infinite()) {
        abs = deadline.Absolute();
        timeout = &abs;
    }
    Futex(&state.seq, op, seen, timeout, FUTEX_BITSET_MATCH_ANY);
}

} // namespace winport
