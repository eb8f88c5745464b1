/*
 * Desktop handles.  Windows gives every thread a desktop and lets it move
 * to another one it created (a program does so to keep an outside
 * program's windows off the user's screen).  Here every window is
 * headless wherever it is, so a desktop is only a named handle: the calls
 * keep the bookkeeping and the failures Windows documents, nothing else.
 * Process-local, like desktop handles on Windows; all functions may be
 * called from any thread.
 */
#include <windows.h>

#include <cstdint>
#include <map>
#include <mutex>
#include <string>

namespace {

struct Desktops {
    std::mutex lock;
    std::map<HDESK, std::string> names;   /* open handles */
    std::map<DWORD, HDESK> threadDesktop; /* threads moved off the initial one */
    std::uintptr_t next = 0x1000;
    HDESK initial = nullptr;
};

Desktops &Table()
{
    static Desktops *table = new Desktops; /* outlives static destructors */
    return *table;
}

/* The process's initial desktop, opened once; caller holds the lock. */
HDESK InitialLocked(Desktops &t)
{
    if (!t.initial) {
        t.initial = reinterpret_cast<HDESK>(t.next += 4);
        t.names[t.initial] = "Default";
    }
    return t.initial;
}

} // namespace

/***********************************************************************
 *           CreateDesktopA
 * A new handle to the desktop of that name (created when new).  A NULL or
 * empty name, or one with a backslash, fails with ERROR_INVALID_PARAMETER;
 * device and device mode must be NULL (ERROR_INVALID_PARAMETER).
 */
HDESK WINAPI CreateDesktopA(LPCSTR lpszDesktop, LPCSTR lpszDevice, void *pDevmode, DWORD dwFlags,
                            DWORD dwDesiredAccess, LPSECURITY_ATTRIBUTES lpsa)
{
    (void)dwFlags;
    (void)dwDesiredAccess;
    (void)lpsa;
    if (!lpszDesktop || !*lpszDesktop || std::string(lpszDesktop).find('\\') != std::string::npos ||
        lpszDevice || pDevmode) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    Desktops &t = Table();
    std::lock_guard<std::mutex> guard(t.lock);
    InitialLocked(t);
    HDESK desk = reinterpret_cast<HDESK>(t.next += 4);
    t.names[desk] = lpszDesktop;
    return desk;
}

/***********************************************************************
 *           GetThreadDesktop
 * The desktop of a thread of this process: the initial one until the
 * thread moved.  The handle is not to be closed.  An unknown thread id 0
 * fails with ERROR_INVALID_PARAMETER.
 */
HDESK WINAPI GetThreadDesktop(DWORD dwThreadId)
{
    if (dwThreadId == 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    Desktops &t = Table();
    std::lock_guard<std::mutex> guard(t.lock);
    auto it = t.threadDesktop.find(dwThreadId);
    return it != t.threadDesktop.end() ? it->second : InitialLocked(t);
}

/***********************************************************************
 *           SetThreadDesktop
 * Moves the calling thread to the desktop; an unknown or closed handle
 * fails with ERROR_INVALID_HANDLE.
 */
BOOL WINAPI SetThreadDesktop(HDESK hDesktop)
{
    Desktops &t = Table();
    std::lock_guard<std::mutex> guard(t.lock);
    if (!hDesktop || !t.names.count(hDesktop)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (hDesktop == InitialLocked(t))
        t.threadDesktop.erase(GetCurrentThreadId());
    else
        t.threadDesktop[GetCurrentThreadId()] = hDesktop;
    return TRUE;
}

/***********************************************************************
 *           CloseDesktop
 * Closes a handle from CreateDesktopA.  A handle some thread of the
 * process is on, or the initial desktop, fails with ERROR_BUSY; an
 * unknown handle with ERROR_INVALID_HANDLE.
 */
BOOL WINAPI CloseDesktop(HDESK hDesktop)
{
    Desktops &t = Table();
    std::lock_guard<std::mutex> guard(t.lock);
    if (!hDesktop || !t.names.count(hDesktop)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    bool inUse = hDesktop == InitialLocked(t);
    for (const auto &entry : t.threadDesktop)
        inUse = inUse || entry.second == hDesktop;
    if (inUse) {
        SetLastError(ERROR_BUSY);
        return FALSE;
    }
    t.names.erase(hDesktop);
    return TRUE;
}
