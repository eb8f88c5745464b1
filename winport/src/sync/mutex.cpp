/*
 * Mutexes: owned by a thread, recursive, abandoned when the owner ends.
 *
 * A thread records the mutexes it owns in a thread-local list.  When the
 * thread ends, the list's destructor marks each one abandoned and frees it,
 * so the next waiter gets WAIT_ABANDONED, as on Windows.  When a whole
 * process ends (killed with SIGKILL, say) nothing runs in it, so a waiter in
 * another process looks at the owner's process itself (liveness.h) every
 * kPollMs while it waits and takes the mutex as abandoned once the owner is
 * gone.
 */
#include "sync/liveness.h"
#include "sync/named_objects.h"

#include <unistd.h>

#include <algorithm>
#include <vector>

namespace winport {
namespace {

constexpr uint64_t kPollNs = 100ull * 1000000ull; // real time, not scaled

bool OwnedByCaller(const SyncState &s)
{
    return s.ownerTid == static_cast<uint32_t>(gettid()) &&
           s.ownerPid == static_cast<uint32_t>(getpid());
}

void TakeOwnership(SyncState &s)
{
    s.ownerTid = static_cast<uint32_t>(gettid());
    s.ownerPid = static_cast<uint32_t>(getpid());
    s.ownerStart = SelfStartTime();
    s.recursion = 1;
}

void ClearOwner(SyncState &s)
{
    s.ownerTid = 0;
    s.ownerPid = 0;
    s.ownerStart = 0;
    s.recursion = 0;
}

/* The mutexes the calling thread owns; abandons them when the thread ends. */
class OwnedMutexes {
public:
    ~OwnedMutexes()
    {
        for (auto &storage : list_) {
            SyncState &s = storage->state();
            bool abandoned = false;
            {
                StateLock lock(s);
                if (OwnedByCaller(s)) {
                    ClearOwner(s);
                    s.abandoned = 1;
                    MarkChanged(s);
                    abandoned = true;
                }
            }
            if (abandoned)
                WakeAll(s, storage->shared());
        }
    }
    void Add(std::shared_ptr<SyncStorage> storage) { list_.push_back(std::move(storage)); }
    void Remove(const SyncStorage *storage)
    {
        auto it = std::find_if(list_.begin(), list_.end(),
                               [&](const auto &s) { return s.get() == storage; });
        if (it != list_.end())
            list_.erase(it);
    }

private:
    std::vector<std::shared_ptr<SyncStorage>> list_;
};

thread_local OwnedMutexes tOwned;

class MutexObject final : public SyncObject {
public:
    using SyncObject::SyncObject;

protected:
    std::optional<DWORD> TryAcquire() override
    {
        SyncState &s = state();
        if (s.ownerTid == 0) {
            TakeOwnership(s);
            const DWORD result = s.abandoned ? WAIT_ABANDONED : WAIT_OBJECT_0;
            s.abandoned = 0;
            tOwned.Add(storage());
            return result;
        }
        if (OwnedByCaller(s)) {
            ++s.recursion;
            return WAIT_OBJECT_0;
        }
        if (s.ownerPid != static_cast<uint32_t>(getpid()) &&
            !ProcessAlive(static_cast<pid_t>(s.ownerPid), s.ownerStart)) {
            TakeOwnership(s);
            s.abandoned = 0;
            tOwned.Add(storage());
            return WAIT_ABANDONED;
        }
        return std::nullopt;
    }
    std::optional<uint64_t> PollNs() const override
    {
        const SyncState &s = state();
        if (s.ownerTid != 0 && s.ownerPid != static_cast<uint32_t>(getpid()))
            return kPollNs;
        return std::nullopt;
    }
};

ObjectRef MakeMutex(std::shared_ptr<SyncStorage> storage)
{
    return std::make_shared<MutexObject>(ObjectType::Mutex, std::move(storage));
}

} // namespace
} // namespace winport

/* CreateMutexA: a new mutex, owned by the caller when bInitialOwner; for a
 * name that exists, the existing mutex (not taken) with
 * ERROR_ALREADY_EXISTS.  Security attributes are ignored. */
HANDLE WINAPI CreateMutexA(LPSECURITY_ATTRIBUTES lpMutexAttributes, BOOL bInitialOwner,
                           LPCSTR lpName)
{
    using namespace winport;
    (void)lpMutexAttributes;
    bool created = false;
    HANDLE handle = CreateSyncHandle(
        lpName, ObjectType::Mutex,
        [bInitialOwner](SyncState &s) {
            if (bInitialOwner)
                TakeOwnership(s);
        },
        MakeMutex, &created);
    if (handle && created && bInitialOwner) {
        const DWORD error = GetLastError();
        if (auto mutex = GetObjectAs<MutexObject>(handle, ObjectType::Mutex))
            tOwned.Add(mutex->storage());
        SetLastError(error);
    }
    return handle;
}

/* OpenMutexA: the existing named mutex; ERROR_FILE_NOT_FOUND when there is
 * none.  The access asked for is not checked (one user). */
HANDLE WINAPI OpenMutexA(DWORD dwDesiredAccess, BOOL bInheritHandle, LPCSTR lpName)
{
    (void)dwDesiredAccess;
    (void)bInheritHandle;
    return winport::OpenSyncHandle(lpName, winport::ObjectType::Mutex, winport::MakeMutex);
}

/* ReleaseMutex: gives up one level of ownership; the mutex is free when
 * the count reaches 0.  A caller that does not own it gets
 * ERROR_NOT_OWNER. */
BOOL WINAPI ReleaseMutex(HANDLE hMutex)
{
    using namespace winport;
    auto mutex = GetObjectAs<MutexObject>(hMutex, ObjectType::Mutex);
    if (!mutex)
        return FALSE;
    SyncState &s = mutex->state();
    bool freed = false;
    {
        StateLock lock(s);
        if (!OwnedByCaller(s)) {
            SetLastError(ERROR_NOT_OWNER);
            return FALSE;
        }
        if (--s.recursion == 0) {
            ClearOwner(s);
            MarkChanged(s);
            freed = true;
        }
    }
    if (freed) {
        WakeAll(s, mutex->shared());
        tOwned.Remove(mutex->storage().get());
    }
    return TRUE;
}
