/*
 * Waitable kernel objects.  Private to winport.
 *
 * Waitable is what WaitForSingleObject waits on: mutexes, semaphores and
 * events (SyncObject, over a SyncState), threads and processes.  A
 * SyncObject keeps its SyncState in a SyncStorage: the heap for an unnamed
 * object, a mapped file for a named one (named_objects.h).  Mutex ownership
 * holds the storage too, so a mutex closed by its owner stays valid until
 * the owner lets go.
 */
#ifndef WINPORT_SYNC_OBJECTS_H
#define WINPORT_SYNC_OBJECTS_H

#include "kernel/handles.h"
#include "sync/sync_state.h"

#include <memory>
#include <optional>

namespace winport {

class Waitable : public KernelObject {
public:
    using KernelObject::KernelObject;
    bool waitable() const override { return true; }
    /* Waits until the object is signalled (and takes it, for mutexes,
     * semaphores and auto-reset events) or `deadline` passes: WAIT_OBJECT_0,
     * WAIT_ABANDONED or WAIT_TIMEOUT.  Thread-safe. */
    virtual DWORD Wait(const Deadline &deadline) = 0;
};

class SyncStorage {
public:
    virtual ~SyncStorage() = default;
    SyncState &state() const { return *state_; }
    bool shared() const { return shared_; }

protected:
    SyncState *state_ = nullptr;
    bool shared_ = false;
};

/* Storage for an unnamed object, initialised for `kind`. */
std::shared_ptr<SyncStorage> NewHeapStorage(ObjectType kind);

class SyncObject : public Waitable {
public:
    SyncObject(ObjectType type, std::shared_ptr<SyncStorage> storage)
        : Waitable(type), storage_(std::move(storage))
    {}
    DWORD Wait(const Deadline &deadline) override;

    SyncState &state() const { return storage_->state(); }
    bool shared() const { return storage_->shared(); }
    const std::shared_ptr<SyncStorage> &storage() const { return storage_; }

protected:
    /* Called with the state locked: the wait's result when the object can
     * be taken now (and takes it), else nothing. */
    virtual std::optional<DWORD> TryAcquire() = 0;
    /* Called with the state locked: the longest real sleep before looking
     * again although nothing changed (an owner in another process may end
     * without a word).  Nothing: sleep until a change. */
    virtual std::optional<uint64_t> PollNs() const { return std::nullopt; }

private:
    std::shared_ptr<SyncStorage> storage_;
};

/* Builds the object of `type` over `storage` (a MutexObject, ...). */
using SyncFactory = ObjectRef (*)(std::shared_ptr<SyncStorage> storage);

} // namespace winport

#endif
