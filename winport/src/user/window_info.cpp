/*
 * What can be asked of a window and the headless window state: IsWindow,
 * IsWindowVisible, ShowWindow, UpdateWindow, GetParent,
 * GetWindowThreadProcessId, GetClassNameA, GetWindowTextA and its length,
 * SetWindowTextA, EnumWindows, FindWindowA, the active, foreground and
 * desktop windows.
 *
 * A window of another process is known by its machine-wide registry entry
 * (class, title, process and thread); only top-level windows have one.
 * Lists of top-level windows put the newest first (a new window goes to
 * the top of the z-order) and leave message-only windows out.
 */
#include "user/desktop.h"
#include "user/window_life.h"

#include <algorithm>
#include <cstring>
#include <unordered_map>

namespace winport {
namespace {

/* The desktop window: a handle no process owns. */
const HWND kDesktopWindow = reinterpret_cast<HWND>(static_cast<ULONG_PTR>(0x20010));

struct Activation {
    std::mutex lock;
    std::unordered_map<DWORD, HWND> active; // thread -> its active window; guarded by lock
    HWND foreground = nullptr;              // guarded by lock
};

Activation &TheActivation()
{
    static Activation *activation = new Activation;
    return *activation;
}

/* The top-level window a window belongs to. */
WindowRef TopLevelOf(WindowRef window)
{
    for (int depth = 0; window && depth < 1000; depth++) {
        HWND up = WindowTable::Instance().Locked(
            [&] { return (window->style & WS_CHILD) ? window->parent : nullptr; });
        if (!up)
            break;
        window = WindowTable::Instance().Find(up);
    }
    return window;
}

struct Listed {
    HWND hwnd;
    uint64_t stamp;
    bool local;
    std::string className;
    std::string title;
};

/* A snapshot of every top-level window, newest first. */
std::vector<Listed> AllTopLevel()
{
    std::vector<Listed> all;
    for (const WindowRef &w : WindowTable::Instance().TopLevel()) {
        std::string title = WindowTable::Instance().Locked([&] { return w->text; });
        all.push_back(Listed{w->hwnd, w->stamp, true, w->cls->name, title});
    }
    for (const desktop::Entry &e : desktop::OtherProcesses())
        all.push_back(Listed{e.hwnd, e.stamp, false, e.className, e.title});
    std::stable_sort(all.begin(), all.end(),
                     [](const Listed &a, const Listed &b) { return a.stamp > b.stamp; });
    return all;
}

/* Copies `text` into a caller's buffer of `size` chars; returns the count. */
int CopyOut(const std::string &text, LPSTR buffer, int size)
{
    const size_t n = std::min(text.size(), static_cast<size_t>(size) - 1);
    std::memcpy(buffer, text.data(), n);
    buffer[n] = '\0';
    return static_cast<int>(n);
}

} // namespace

void NoteActivated(const WindowRef &window)
{
    WindowRef top = TopLevelOf(window);
    if (!top)
        return;
    Activation &a = TheActivation();
    std::lock_guard<std::mutex> guard(a.lock);
    a.active[top->tid] = top->hwnd;
    a.foreground = top->hwnd;
}

void NoteDestroyedForActivation(HWND hwnd)
{
    Activation &a = TheActivation();
    std::lock_guard<std::mutex> guard(a.lock);
    for (auto it = a.active.begin(); it != a.active.end();)
        it = it->second == hwnd ? a.active.erase(it) : std::next(it);
    if (a.foreground == hwnd)
        a.foreground = nullptr;
}

} // namespace winport

using namespace winport;

/* IsWindow: whether the handle is a window: one of this process's (also
 * while it is being created or destroyed), a top-level window of another
 * process, or the desktop window. */
BOOL WINAPI IsWindow(HWND hWnd)
{
    if (!hWnd)
        return FALSE;
    if (hWnd == kDesktopWindow || WindowTable::Instance().Find(hWnd))
        return TRUE;
    return !WindowTable::IsLocal(hWnd) && desktop::Lookup(hWnd) ? TRUE : FALSE;
}

/* IsWindowVisible: headless bookkeeping: WS_VISIBLE at creation or
 * ShowWindow, and every ancestor visible too. */
BOOL WINAPI IsWindowVisible(HWND hWnd)
{
    WindowRef window = WindowTable::Instance().Find(hWnd);
    for (int depth = 0; window && depth < 1000; depth++) {
        auto [visible, parent] = WindowTable::Instance().Locked([&] {
            return std::make_pair(window->visible,
                                  (window->style & WS_CHILD) ? window->parent : nullptr);
        });
        if (!visible)
            return FALSE;
        if (!parent)
            return TRUE;
        window = WindowTable::Instance().Find(parent);
    }
    return FALSE;
}

/* ShowWindow: headless: records visibility (SW_HIDE hides, every other
 * command shows) and minimised state, and the commands that activate make
 * the window the active and foreground window.  Returns whether the window
 * was visible before.  Only this process's windows (else FALSE with
 * ERROR_INVALID_WINDOW_HANDLE); no messages are sent. */
BOOL WINAPI ShowWindow(HWND hWnd, int nCmdShow)
{
    WindowRef window = FindWindowOrFail(hWnd);
    if (!window)
        return FALSE;
    const bool minimize = nCmdShow == SW_MINIMIZE || nCmdShow == SW_SHOWMINIMIZED ||
                          nCmdShow == SW_SHOWMINNOACTIVE || nCmdShow == SW_FORCEMINIMIZE;
    const bool restore = nCmdShow == SW_SHOWNORMAL || nCmdShow == SW_RESTORE ||
                         nCmdShow == SW_SHOWMAXIMIZED || nCmdShow == SW_SHOWDEFAULT;
    const bool wasVisible = WindowTable::Instance().Locked([&] {
        const bool was = window->visible;
        window->visible = nCmdShow != SW_HIDE;
        if (minimize)
            window->style |= WS_MINIMIZE;
        else if (restore)
            window->style &= ~static_cast<DWORD>(WS_MINIMIZE);
        return was;
    });
    const bool activates = nCmdShow == SW_SHOWNORMAL || nCmdShow == SW_SHOW ||
                           nCmdShow == SW_SHOWMAXIMIZED || nCmdShow == SW_SHOWMINIMIZED ||
                           nCmdShow == SW_RESTORE || nCmdShow == SW_SHOWDEFAULT;
    if (activates)
        NoteActivated(window);
    return wasVisible ? TRUE : FALSE;
}

/* UpdateWindow: headless: there is nothing to paint; TRUE for a window of
 * this process, else FALSE with ERROR_INVALID_WINDOW_HANDLE. */
BOOL WINAPI UpdateWindow(HWND hWnd)
{
    return FindWindowOrFail(hWnd) ? TRUE : FALSE;
}

/* GetParent: a child's parent, a popup's owner, else NULL (last error
 * unchanged).  An invalid window: NULL with ERROR_INVALID_WINDOW_HANDLE. */
HWND WINAPI GetParent(HWND hWnd)
{
    WindowRef window = FindWindowOrFail(hWnd);
    if (!window)
        return nullptr;
    return WindowTable::Instance().Locked([&]() -> HWND {
        if (window->style & WS_CHILD)
            return window->parent;
        return (window->style & WS_POPUP) ? window->owner : nullptr;
    });
}

/* GetWindowThreadProcessId: the thread that created the window (and its
 * process in *lpdwProcessId), also for other processes' top-level windows.
 * An invalid window: 0 with ERROR_INVALID_WINDOW_HANDLE. */
DWORD WINAPI GetWindowThreadProcessId(HWND hWnd, LPDWORD lpdwProcessId)
{
    if (WindowRef window = WindowTable::Instance().Find(hWnd)) {
        if (lpdwProcessId)
            *lpdwProcessId = GetCurrentProcessId();
        return window->tid;
    }
    if (hWnd && !WindowTable::IsLocal(hWnd)) {
        if (auto entry = desktop::Lookup(hWnd)) {
            if (lpdwProcessId)
                *lpdwProcessId = entry->pid;
            return entry->tid;
        }
    }
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return 0;
}

/* GetClassNameA: the window's class name, cut to nMaxCount - 1 chars;
 * returns the chars copied.  Other processes' top-level windows too; the
 * desktop window's class is "#32769".  An invalid window: 0 with
 * ERROR_INVALID_WINDOW_HANDLE; no room: 0 with ERROR_INSUFFICIENT_BUFFER. */
int WINAPI GetClassNameA(HWND hWnd, LPSTR lpClassName, int nMaxCount)
{
    std::string name;
    if (hWnd == kDesktopWindow) {
        name = "#32769";
    } else if (WindowRef window = WindowTable::Instance().Find(hWnd)) {
        name = window->cls->name;
    } else if (auto entry =
                   hWnd && !WindowTable::IsLocal(hWnd) ? desktop::Lookup(hWnd) : std::nullopt) {
        name = entry->className;
    } else {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    if (!lpClassName || nMaxCount <= 0) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    return CopyOut(name, lpClassName, nMaxCount);
}

/* GetWindowTextA: the window's text, cut to nMaxCount - 1 chars; returns
 * the chars copied.  This process's windows are asked with WM_GETTEXT;
 * another process's top-level window's title is read from its registry
 * entry without a message, as Windows reads it without one.  An invalid
 * window: 0 with ERROR_INVALID_WINDOW_HANDLE. */
int WINAPI GetWindowTextA(HWND hWnd, LPSTR lpString, int nMaxCount)
{
    if (WindowRef window = WindowTable::Instance().Find(hWnd)) {
        if (!lpString || nMaxCount <= 0)
            return 0;
        lpString[0] = '\0';
        return static_cast<int>(SendWithinProcess(window, WM_GETTEXT,
                                                  static_cast<WPARAM>(nMaxCount),
                                                  reinterpret_cast<LPARAM>(lpString)));
    }
    if (hWnd && !WindowTable::IsLocal(hWnd)) {
        if (auto entry = desktop::Lookup(hWnd))
            return lpString && nMaxCount > 0 ? CopyOut(entry->title, lpString, nMaxCount) : 0;
    }
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return 0;
}

/* GetWindowTextLengthA: the length of the window's text (WM_GETTEXTLENGTH
 * for this process's windows, the registry entry for others'). */
int WINAPI GetWindowTextLengthA(HWND hWnd)
{
    if (WindowRef window = WindowTable::Instance().Find(hWnd))
        return static_cast<int>(SendWithinProcess(window, WM_GETTEXTLENGTH, 0, 0));
    if (hWnd && !WindowTable::IsLocal(hWnd)) {
        if (auto entry = desktop::Lookup(hWnd))
            return static_cast<int>(entry->title.size());
    }
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return 0;
}

/* SetWindowTextA: sends WM_SETTEXT (DefWindowProcA stores the text, and a
 * top-level window's new title is published machine-wide).  Other
 * processes' windows get the string marshalled.  An invalid window: FALSE
 * with ERROR_INVALID_WINDOW_HANDLE. */
BOOL WINAPI SetWindowTextA(HWND hWnd, LPCSTR lpString)
{
    if (!IsWindow(hWnd) || hWnd == kDesktopWindow) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    return SendMessageA(hWnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(lpString)) ? TRUE : FALSE;
}

/* GetActiveWindow: the calling thread's active window.  Headless: a window
 * becomes active only through ShowWindow (an activating command) or
 * SetForegroundWindow, so a program that never shows its windows gets
 * NULL, as it would on Windows. */
HWND WINAPI GetActiveWindow(void)
{
    Activation &a = TheActivation();
    HWND hwnd;
    {
        std::lock_guard<std::mutex> guard(a.lock);
        auto it = a.active.find(GetCurrentThreadId());
        hwnd = it == a.active.end() ? nullptr : it->second;
    }
    return hwnd && WindowTable::Instance().Find(hwnd) ? hwnd : nullptr;
}

/* GetForegroundWindow: the last window of this process activated (see
 * GetActiveWindow), or NULL; other processes' activations are not seen. */
HWND WINAPI GetForegroundWindow(void)
{
    Activation &a = TheActivation();
    HWND hwnd;
    {
        std::lock_guard<std::mutex> guard(a.lock);
        hwnd = a.foreground;
    }
    return hwnd && WindowTable::Instance().Find(hwnd) ? hwnd : nullptr;
}

/* SetForegroundWindow: activates a window of this process (its top-level
 * window); FALSE for any other handle. */
BOOL WINAPI SetForegroundWindow(HWND hWnd)
{
    WindowRef window = WindowTable::Instance().Find(hWnd);
    if (!window)
        return FALSE;
    NoteActivated(window);
    return TRUE;
}

/* GetDesktopWindow: the desktop window's handle (a window no process owns:
 * IsWindow is TRUE, its class is "#32769"; it has no procedure). */
HWND WINAPI GetDesktopWindow(void)
{
    return kDesktopWindow;
}

/* EnumWindows: calls lpEnumFunc for each top-level window of every process
 * under this root (a snapshot; this process's windows destroyed meanwhile
 * are skipped) until it returns FALSE.  Returns FALSE then (the callback
 * sets any error), else TRUE.  A NULL callback: FALSE with
 * ERROR_INVALID_PARAMETER. */
BOOL WINAPI EnumWindows(WNDENUMPROC lpEnumFunc, LPARAM lParam)
{
    if (!lpEnumFunc) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    for (const Listed &w : AllTopLevel()) {
        if (w.local && !WindowTable::Instance().Find(w.hwnd))
            continue;
        if (!lpEnumFunc(w.hwnd, lParam))
            return FALSE;
    }
    return TRUE;
}

/* FindWindowA: the first top-level window (see EnumWindows) whose class
 * (name or this process's class atom) and title match, both without regard
 * to case; NULL matches anything.  Not found: NULL, last error unchanged,
 * as documented. */
HWND WINAPI FindWindowA(LPCSTR lpClassName, LPCSTR lpWindowName)
{
    std::string className;
    if (lpClassName && ClassTable::IsAtom(lpClassName)) {
        auto cls = ClassTable::Instance().Find(lpClassName);
        if (!cls)
            return nullptr;
        className = cls->name;
    } else if (lpClassName) {
        className = lpClassName;
    }
    for (const Listed &w : AllTopLevel()) {
        if (lpClassName && !EqualNoCase(w.className, className))
            continue;
        if (lpWindowName && !EqualNoCase(w.title, lpWindowName))
            continue;
        if (w.local && !WindowTable::Instance().Find(w.hwnd))
            continue;
        return w.hwnd;
    }
    return nullptr;
}
