/*
 * The windows of this process: the Window record and the process-wide table
 * that maps handles to records.  Private to winport.
 *
 * Window handles are unique across the machine: the high 32 bits hold the
 * owning process's id, the low 32 bits a serial that this process never
 * reuses.  So a handle tells at once whether its window is ours (looked up
 * here) or another process's (looked up in the machine-wide registry,
 * desktop.h), and a stale handle never reaches a newer window.
 *
 * The table's lock guards every field of every Window that can change; it
 * is the innermost lock of the user part (taken under a queue's lock, never
 * held while calling out).  No window procedure runs under it.
 */
#ifndef WINPORT_USER_WINDOW_TABLE_H
#define WINPORT_USER_WINDOW_TABLE_H

#include "user/window_class.h"

#include <windows.h>

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

namespace winport {

enum class WindowState { Creating, Alive, Destroying };

struct Window {
    HWND hwnd = nullptr;
    DWORD tid = 0;
    std::shared_ptr<WindowClass> cls;
    uint64_t stamp = 0; // creation time (ns since boot): enumeration order
    // Everything below is guarded by the table's lock.
    WindowState state = WindowState::Creating;
    WNDPROC proc = nullptr;
    DWORD style = 0;
    DWORD exStyle = 0;
    HWND parent = nullptr; // WS_CHILD windows
    HWND owner = nullptr;  // owned top-level windows
    std::vector<HWND> children;
    std::string text;
    std::vector<unsigned char> extra; // cbWndExtra bytes
    LONG_PTR userData = 0;
    LONG_PTR id = 0; // GWLP_ID (the hMenu of a child)
    HINSTANCE instance = nullptr;
    bool visible = false;
    bool messageOnly = false;   // created with HWND_MESSAGE as parent
    std::string registeredRoot; // where it is published machine-wide ("" if not)
    RECT rect = {};

    bool topLevel() const { return !(style & WS_CHILD) && !messageOnly; }
};

using WindowRef = std::shared_ptr<Window>;

class WindowTable {
public:
    static WindowTable &Instance();

    /* Handle encoding (see the file comment). */
    static HWND MakeHandle(uint32_t pid, uint32_t serial);
    static uint32_t PidOf(HWND hwnd);
    static bool IsLocal(HWND hwnd);

    HWND NewHandle();
    void Insert(const WindowRef &window);
    /* The window (creating, alive or being destroyed), or null. */
    WindowRef Find(HWND hwnd);
    void Remove(HWND hwnd);

    /* Runs `f` under the table lock. */
    template <class F> auto Locked(F f)
    {
        std::lock_guard<std::mutex> guard(lock_);
        return f();
    }

    /* Snapshots (taken under the lock). */
    std::vector<WindowRef> TopLevel();
    std::vector<HWND> Children(HWND hwnd);
    std::vector<HWND> Owned(HWND owner);
    std::vector<WindowRef> OfThread(DWORD tid);
    /* Whether `hwnd` is `ancestor` or one of its descendants. */
    bool IsSelfOrDescendant(HWND ancestor, HWND hwnd);
    bool ClassInUse(const WindowClass *cls);

    /* Forgets every window without calling anything (tests, fork). */
    std::vector<WindowRef> Clear();

private:
    WindowTable() = default;
    std::mutex lock_;
    std::unordered_map<uint64_t, WindowRef> windows_; // guarded by lock_
    uint32_t nextSerial_ = 1;                         // guarded by lock_
};

/* The calling thread's window, checked: the window when `hwnd` is one of
 * this process's windows, else null with ERROR_INVALID_WINDOW_HANDLE. */
WindowRef FindWindowOrFail(HWND hwnd);

} // namespace winport

#endif
