/*
 * Events: manual-reset events stay signalled until reset and release every
 * waiter; auto-reset events release one waiter and reset themselves.
 */
#include "sync/named_objects.h"

namespace winport {
namespace {

class EventObject final : public SyncObject {
public:
    using SyncObject::SyncObject;

protected:
    std::optional<DWORD> TryAcquire() override
    {
        SyncState &s = state();
        if (!s.signaled)
            return std::nullopt;
        if (!s.manualReset)
            s.signaled = 0;
        return WAIT_OBJECT_0;
    }
};

ObjectRef MakeEvent(std::shared_ptr<SyncStorage> storage)
{
    return std::make_shared<EventObject>(ObjectType::Event, std::move(storage));
}

BOOL SetSignaled(HANDLE handle, bool signaled)
{
    auto event = GetObjectAs<EventObject>(handle, ObjectType::Event);
    if (!event)
        return FALSE;
    SyncState &s = event->state();
    {
        StateLock lock(s);
        s.signaled = signaled ? 1 : 0;
        MarkChanged(s);
    }
    if (signaled)
        WakeAll(s, event->shared());
    return TRUE;
}

} // namespace
} // namespace winport

/* CreateEventA: a manual- or auto-reset event in the initial state; for a
 * name that exists, the existing event, unchanged, with
 * ERROR_ALREADY_EXISTS. */
HANDLE WINAPI CreateEventA(LPSECURITY_ATTRIBUTES lpEventAttributes, BOOL bManualReset,
                           BOOL bInitialState, LPCSTR lpName)
{
    using namespace winport;
    (void)lpEventAttributes;
    bool created = false;
    return CreateSyncHandle(
        lpName, ObjectType::Event,
        [=](SyncState &s) {
            s.manualReset = bManualReset ? 1 : 0;
            s.signaled = bInitialState ? 1 : 0;
        },
        MakeEvent, &created);
}

/* SetEvent: signals the event. */
BOOL WINAPI SetEvent(HANDLE hEvent)
{
    return winport::SetSignaled(hEvent, true);
}

/* ResetEvent: clears the event. */
BOOL WINAPI ResetEvent(HANDLE hEvent)
{
    return winport::SetSignaled(hEvent, false);
}
