/*
 * The process-wide handle table and the kernel object base class.  Private
 * to winport.
 *
 * Every kernel object (files now; mutexes, events, semaphores, threads,
 * processes and pipes later) derives from KernelObject, which carries a type
 * tag.  Objects are reference counted through std::shared_ptr: each handle in
 * the table holds one reference and every operation in flight holds another,
 * so CloseHandle on one thread while another thread still uses the object
 * only drops the handle; the object goes when the last user lets go.
 *
 * Handle values are multiples of 4 from 0x40 upwards, never reused within a
 * run (a stale handle fails with ERROR_INVALID_HANDLE instead of reaching a
 * newer object), and never equal to NULL, INVALID_HANDLE_VALUE or the
 * pseudo handles (HANDLE)-1 and (HANDLE)-2.  All members are thread-safe.
 */
#ifndef WINPORT_KERNEL_HANDLES_H
#define WINPORT_KERNEL_HANDLES_H

#include <windows.h>

#include <cstdint>
#include <memory>
#include <mutex>
#include <unordered_map>

namespace winport {

enum class ObjectType : uint8_t {
    File,
    Mutex,
    Event,
    Semaphore,
    Thread,
    Process,
    Pipe,
    Token,          // access tokens (OpenProcessToken, DuplicateTokenEx)
    FindFile,       // FindFirstFileA searches (closed with FindClose)
    ServiceManager, // OpenSCManagerA (closed with CloseServiceHandle)
    Service,        // OpenServiceA, CreateServiceA (closed with CloseServiceHandle)
    EventSource,    // RegisterEventSourceA (closed with DeregisterEventSource)
};

class KernelObject {
public:
    explicit KernelObject(ObjectType type) : type_(type) {}
    virtual ~KernelObject() = default;
    KernelObject(const KernelObject &) = delete;
    KernelObject &operator=(const KernelObject &) = delete;

    ObjectType type() const { return type_; }
    /* Whether WaitForSingleObject may wait on it (synchronisation objects,
     * threads, processes).  Files are not waitable here. */
    virtual bool waitable() const { return false; }

private:
    const ObjectType type_;
};

using ObjectRef = std::shared_ptr<KernelObject>;

class HandleTable {
public:
    static HandleTable &Instance();

    /* A new handle for `object` (one more reference to it). */
    HANDLE Insert(ObjectRef object);
    /* The object behind `handle`, or null. */
    ObjectRef Get(HANDLE handle) const;
    /* Removes `handle`; returns its object (null when unknown). */
    ObjectRef Remove(HANDLE handle);
    /* Number of open handles (tests use it to find leaks). */
    size_t Count() const;

private:
    HandleTable() = default;
    mutable std::mutex lock_;
    std::unordered_map<uintptr_t, ObjectRef> entries_; // guarded by lock_
    uintptr_t next_ = 0x40;                            // guarded by lock_
};

/* The object of type `type` behind `handle`, as T; null with
 * ERROR_INVALID_HANDLE when the handle is unknown or of another type. */
template <class T> std::shared_ptr<T> GetObjectAs(HANDLE handle, ObjectType type)
{
    ObjectRef object = HandleTable::Instance().Get(handle);
    if (!object || object->type() != type) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    return std::static_pointer_cast<T>(object);
}

/* The pseudo handles of GetCurrentProcess() and GetCurrentThread(). */
inline bool IsPseudoHandle(HANDLE handle)
{
    return handle == reinterpret_cast<HANDLE>(static_cast<intptr_t>(-1)) ||
           handle == reinterpret_cast<HANDLE>(static_cast<intptr_t>(-2));
}

} // namespace winport

#endif
