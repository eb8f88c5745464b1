/*
 * Semaphores: a count between 0 and a maximum; a wait takes one, a release
 * gives some back and may not pass the maximum.
 */
#include "sync/named_objects.h"

namespace winport {
namespace {

class SemaphoreObject final : public SyncObject {
public:
    using SyncObject::SyncObject;

protected:
    std::optional<DWORD> TryAcquire() override
    {
        SyncState &s = state();
        if (s.count <= 0)
            return std::nullopt;
        --s.count;
        return WAIT_OBJECT_0;
    }
};

ObjectRef MakeSemaphore(std::shared_ptr<SyncStorage> storage)
{
    return std::make_shared<SemaphoreObject>(ObjectType::Semaphore, std::move(storage));
}

} // namespace
} // namespace winport

/* CreateSemaphoreA: a semaphore with the initial count (0 <= initial <=
 * maximum, maximum > 0, else ERROR_INVALID_PARAMETER); for a name that
 * exists, the existing semaphore, its counts unchanged, with
 * ERROR_ALREADY_EXISTS. */
HANDLE WINAPI CreateSemaphoreA(LPSECURITY_ATTRIBUTES lpSemaphoreAttributes, LONG lInitialCount,
                               LONG lMaximumCount, LPCSTR lpName)
{
    using namespace winport;
    (void)lpSemaphoreAttributes;
    if (lMaximumCount <= 0 || lInitialCount < 0 || lInitialCount > lMaximumCount) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    bool created = false;
    return CreateSyncHandle(
        lpName, ObjectType::Semaphore,
        [=](SyncState &s) {
            s.count = lInitialCount;
            s.maximum = lMaximumCount;
        },
        MakeSemaphore, &created);
}

/* OpenSemaphoreA: the existing named semaphore; ERROR_FILE_NOT_FOUND when
 * there is none.  The access asked for is not checked (one user). */
HANDLE WINAPI OpenSemaphoreA(DWORD dwDesiredAccess, BOOL bInheritHandle, LPCSTR lpName)
{
    (void)dwDesiredAccess;
    (void)bInheritHandle;
    return winport::OpenSyncHandle(lpName, winport::ObjectType::Semaphore, winport::MakeSemaphore);
}

/* ReleaseSemaphore: adds lReleaseCount (> 0, else ERROR_INVALID_PARAMETER)
 * and reports the count before.  A release that would pass the maximum
 * changes nothing and fails with ERROR_TOO_MANY_POSTS. */
BOOL WINAPI ReleaseSemaphore(HANDLE hSemaphore, LONG lReleaseCount, LPLONG lpPreviousCount)
{
    using namespace winport;
    auto semaphore = GetObjectAs<SemaphoreObject>(hSemaphore, ObjectType::Semaphore);
    if (!semaphore)
        return FALSE;
    if (lReleaseCount <= 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    SyncState &s = semaphore->state();
    LONG previous = 0;
    {
        StateLock lock(s);
        if (static_cast<int64_t>(s.count) + lReleaseCount > s.maximum) {
            SetLastError(ERROR_TOO_MANY_POSTS);
            return FALSE;
        }
        previous = s.count;
        s.count += lReleaseCount;
        MarkChanged(s);
    }
    WakeAll(s, semaphore->shared());
    if (lpPreviousCount)
        *lpPreviousCount = previous;
    return TRUE;
}
