/*
 * The process-wide handle table (see handles.h) and CloseHandle.
 */
#include "kernel/handles.h"

namespace winport {

HandleTable &HandleTable::Instance()
{
    static HandleTable *table = new HandleTable; // never destroyed: handles may outlive main()
    return *table;
}

HANDLE HandleTable::Insert(ObjectRef object)
{
    std::lock_guard<std::mutex> guard(lock_);
    uintptr_t value = next_;
    next_ += 4;
    entries_.emplace(value, std::move(object));
    return reinterpret_cast<HANDLE>(value);
}

ObjectRef HandleTable::Get(HANDLE handle) const
{
    std::lock_guard<std::mutex> guard(lock_);
    auto it = entries_.find(reinterpret_cast<uintptr_t>(handle));
    return it == entries_.end() ? nullptr : it->second;
}

ObjectRef HandleTable::Remove(HANDLE handle)
{
    ObjectRef object;
    {
        std::lock_guard<std::mutex> guard(lock_);
        auto it = entries_.find(reinterpret_cast<uintptr_t>(handle));
        if (it == entries_.end())
            return nullptr;
        object = std::move(it->second);
        entries_.erase(it);
    }
    return object; // the destructor (if last) runs outside the lock
}

size_t HandleTable::Count() const
{
    std::lock_guard<std::mutex> guard(lock_);
    return entries_.size();
}

} // namespace winport

/* CloseHandle: closes a kernel object handle; the object goes with its last
 * handle.  The pseudo handles of the current process and thread close as a
 * no-op (TRUE), as documented; anything else unknown fails with
 * ERROR_INVALID_HANDLE. */
BOOL WINAPI CloseHandle(HANDLE hObject)
{
    if (winport::IsPseudoHandle(hObject))
        return TRUE;
    if (!winport::HandleTable::Instance().Remove(hObject)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return TRUE;
}
