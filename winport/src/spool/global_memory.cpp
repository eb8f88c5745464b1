/*
 * GlobalAlloc and friends, as much of them as the print dialog's DEVMODE
 * and DEVNAMES handles need.  Every block stays where it is allocated, so
 * the handle is the block's address and GlobalLock returns it; a table of
 * live blocks keeps a freed or foreign handle from being used.
 */
#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>

namespace {

struct Block {
    SIZE_T size = 0;
    unsigned locks = 0;
};

std::mutex &tableLock()
{
    static std::mutex lock;
    return lock;
}

std::map<void *, Block> &blocks()
{
    static std::map<void *, Block> table;
    return table;
}

constexpr DWORD kErrorNotLocked = 158; /* ERROR_NOT_LOCKED */

} // namespace

/***********************************************************************
 *           GlobalAlloc
 * GMEM_MOVEABLE blocks do not move: the handle is the address.
 */
HGLOBAL WINAPI GlobalAlloc(UINT uFlags, SIZE_T dwBytes)
{
    if (uFlags & ~UINT(GMEM_MOVEABLE | GMEM_ZEROINIT)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    void *p = std::malloc(dwBytes ? dwBytes : 1);
    if (!p) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    if (uFlags & GMEM_ZEROINIT)
        std::memset(p, 0, dwBytes ? dwBytes : 1);
    std::lock_guard<std::mutex> guard(tableLock());
    blocks()[p] = Block{dwBytes, 0};
    return p;
}

/***********************************************************************
 *           GlobalLock
 */
LPVOID WINAPI GlobalLock(HGLOBAL hMem)
{
    std::lock_guard<std::mutex> guard(tableLock());
    auto it = blocks().find(hMem);
    if (it == blocks().end()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    it->second.locks++;
    return hMem;
}

/***********************************************************************
 *           GlobalUnlock
 * Nonzero while still locked; FALSE with NO_ERROR at the last unlock.
 */
BOOL WINAPI GlobalUnlock(HGLOBAL hMem)
{
    std::lock_guard<std::mutex> guard(tableLock());
    auto it = blocks().find(hMem);
    if (it == blocks().end()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (it->second.locks == 0) {
        SetLastError(kErrorNotLocked);
        return FALSE;
    }
    if (--it->second.locks > 0)
        return TRUE;
    SetLastError(NO_ERROR);
    return FALSE;
}

/***********************************************************************
 *           GlobalSize
 */
SIZE_T WINAPI GlobalSize(HGLOBAL hMem)
{
    std::lock_guard<std::mutex> guard(tableLock());
    auto it = blocks().find(hMem);
    if (it == blocks().end()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return 0;
    }
    return it->second.size;
}

/***********************************************************************
 *           GlobalFree
 * NULL on success; the handle itself, with ERROR_INVALID_HANDLE, when it is
 * not a live block.
 */
HGLOBAL WINAPI GlobalFree(HGLOBAL hMem)
{
    if (!hMem)
        return nullptr;
    {
        std::lock_guard<std::mutex> guard(tableLock());
        if (!blocks().erase(hMem)) {
            SetLastError(ERROR_INVALID_HANDLE);
            return hMem;
        }
    }
    std::free(hMem);
    return nullptr;
}
