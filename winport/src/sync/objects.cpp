/*
 * The wait shared by mutexes, semaphores and events, unnamed objects'
 * storage, and WaitForSingleObject.
 */
#include "sync/objects.h"

#include <thread>

namespace winport {
namespace {

class HeapStorage final : public SyncStorage {
public:
    HeapStorage(ObjectType kind) : owned_(std::make_unique<SyncState>())
    {
        state_ = owned_.get();
        InitSyncState(*state_, kind, false);
    }
    ~HeapStorage() override { pthread_mutex_destroy(&state_->lock); }

private:
    std::unique_ptr<SyncState> owned_;
};

/* A wait on a handle that never becomes signalled (the current process or
 * thread): it only ends with its time-out, as on Windows. */
DWORD WaitUntilTimeout(const Deadline &deadline)
{
    while (!deadline.infinite() && !deadline.Expired())
        std::this_thread::sleep_for(std::chrono::milliseconds(deadline.RemainingMsForPoll()));
    while (deadline.infinite())
        std::this_thread::sleep_for(std::chrono::hours(24));
    return WAIT_TIMEOUT;
}

} // namespace

std::shared_ptr<SyncStorage> NewHeapStorage(ObjectType kind)
{
    return std::make_shared<HeapStorage>(kind);
}

DWORD SyncObject::Wait(const Deadline &deadline)
{
    SyncState &s = state();
    for (;;) {
        uint32_t seen;
        Deadline next = deadline;
        {
            StateLock lock(s);
            if (std::optional<DWORD> result = TryAcquire())
                return *result;
            seen = s.seq.load(std::memory_order_acquire);
            if (std::optional<uint64_t> poll = PollNs())
                next = deadline.Earliest(Deadline::AfterRealNs(*poll));
        }
        if (deadline.Expired())
            return WAIT_TIMEOUT;
        WaitForChange(s, shared(), seen, next);
    }
}

} // namespace winport

/* WaitForSingleObject: waits for a mutex, semaphore, event, thread or
 * process.  An unknown or non-waitable handle gives WAIT_FAILED with
 * ERROR_INVALID_HANDLE; the current process's and thread's pseudo handles
 * never become signalled.  The time-out runs on the process clock. */
DWORD WINAPI WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds)
{
    using namespace winport;
    const Deadline deadline = Deadline::AfterNominalMs(dwMilliseconds);
    if (IsPseudoHandle(hHandle))
        return WaitUntilTimeout(deadline);
    ObjectRef object = HandleTable::Instance().Get(hHandle);
    auto *waitable = dynamic_cast<Waitable *>(object.get());
    if (!waitable) {
        SetLastError(ERROR_INVALID_HANDLE);
        return WAIT_FAILED;
    }
    return waitable->Wait(deadline);
}
