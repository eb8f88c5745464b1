/*
 * Window life: CreateWindowExA, DestroyWindow, DefWindowProcA,
 * CallWindowProcA, and the internal helpers of window_life.h.
 *
 * Creation sends WM_NCCREATE and WM_CREATE with the CREATESTRUCTA (the
 * headless layer sends no sizing, showing or parent-notify messages), then
 * publishes a top-level window machine-wide.  Destruction follows Windows'
 * order: owned windows first, then WM_DESTROY to the window and to its
 * children top-down, then WM_NCDESTROY bottom-up, each window staying valid
 * until its WM_NCDESTROY returns.
 */
#include "user/desktop.h"
#include "user/endpoint.h"
#include "user/thread_queue.h"
#include "user/window_life.h"

#include "kernel/root.h"

#include <algorithm>
#include <cstring>
#include <ctime>

namespace winport {
namespace {

uint64_t BootTimeNs()
{
    struct timespec ts;
    clock_gettime(CLOCK_BOOTTIME, &ts); // one clock for every process of the machine
    return static_cast<uint64_t>(ts.tv_sec) * 1000000000ull + static_cast<uint64_t>(ts.tv_nsec);
}

void PublishWindow(const WindowRef &window)
{
    desktop::Entry entry;
    bool publish = false;
    WindowTable::Instance().Locked([&] {
        if (!window->topLevel() || window->state == WindowState::Destroying)
            return;
        publish = true;
        entry.hwnd = window->hwnd;
        entry.pid = GetCurrentProcessId();
        entry.tid = window->tid;
        entry.startTime = desktop::SelfStartTime();
        entry.stamp = window->stamp;
        entry.className = window->cls->name;
        entry.title = window->text;
        if (window->registeredRoot.empty())
            window->registeredRoot = Root();
    });
    if (!publish)
        return;
    endpoint::EnsureListening();
    WithdrawPublishedAtExit();
    desktop::Publish(window->registeredRoot, entry);
}

/* The parent or owner a new window gets; false with the last error set. */
bool ResolveParent(DWORD style, HWND parentArg, WindowRef *parent, WindowRef *owner,
                   bool *messageOnly)
{
    *messageOnly = parentArg == HWND_MESSAGE;
    if (*messageOnly)
        return true;
    if (style & WS_CHILD) {
        if (!parentArg) {
            SetLastError(ERROR_TLW_WITH_WSCHILD);
            return false;
        }
        *parent = FindWindowOrFail(parentArg);
        return *parent != nullptr;
    }
    if (!parentArg)
        return true;
    WindowRef given = FindWindowOrFail(parentArg);
    if (!given)
        return false;
    // The owner of a top-level window is the top-level ancestor of what was given.
    WindowRef w = given;
    for (int depth = 0; w && depth < 1000; depth++) {
        HWND up = WindowTable::Instance().Locked(
            [&] { return (w->style & WS_CHILD) ? w->parent : nullptr; });
        if (!up)
            break;
        w = WindowTable::Instance().Find(up);
    }
    *owner = w ? w : given;
    return true;
}

WindowRef NewWindow(const std::shared_ptr<WindowClass> &cls, DWORD exStyle, DWORD style,
                    const RECT &rect, HMENU menu, HINSTANCE instance)
{
    auto window = std::make_shared<Window>();
    window->hwnd = WindowTable::Instance().NewHandle();
    window->tid = GetCurrentThreadId();
    window->cls = cls;
    window->stamp = BootTimeNs();
    window->proc = cls->info.lpfnWndProc;
    window->style = style;
    window->exStyle = exStyle;
    window->extra.assign(static_cast<size_t>(cls->info.cbWndExtra), 0);
    window->id = (style & WS_CHILD) ? reinterpret_cast<LONG_PTR>(menu) : 0;
    window->instance = instance;
    window->rect = rect;
    window->visible = (style & WS_VISIBLE) != 0;
    return window;
}

/* Collects `hwnd` and its descendants, parents before children. */
void CollectTree(HWND hwnd, std::vector<WindowRef> *out)
{
    WindowRef window = WindowTable::Instance().Find(hwnd);
    if (!window)
        return;
    out->push_back(window);
    for (HWND child : WindowTable::Instance().Children(hwnd))
        CollectTree(child, out);
}

} // namespace

LRESULT CallWindowProcedure(const WindowRef &window, UINT msg, WPARAM wParam, LPARAM lParam)
{
    WNDPROC proc = WindowTable::Instance().Locked([&] { return window->proc; });
    return proc ? proc(window->hwnd, msg, wParam, lParam) : 0;
}

void StoreWindowText(const WindowRef &window, const std::string &text)
{
    bool republish = WindowTable::Instance().Locked([&] {
        window->text = text;
        return !window->registeredRoot.empty();
    });
    if (republish)
        PublishWindow(window);
}

void ForgetWindowRecord(const WindowRef &window)
{
    std::string root = WindowTable::Instance().Locked([&] { return window->registeredRoot; });
    if (!root.empty())
        desktop::Withdraw(root, window->hwnd);
    WindowTable::Instance().Remove(window->hwnd);
    if (auto queue = ThreadQueue::Find(window->tid))
        queue->ForgetWindow(window->hwnd);
    NoteDestroyedForActivation(window->hwnd);
}

void DropThreadWindows(DWORD tid)
{
    for (const WindowRef &window : WindowTable::Instance().OfThread(tid)) {
        std::vector<WindowRef> tree;
        CollectTree(window->hwnd, &tree);
        for (auto it = tree.rbegin(); it != tree.rend(); ++it)
            ForgetWindowRecord(*it);
    }
}

/* Sends WM_DESTROY top-down through the tree (each child in its own thread). */
static void SendDestroy(const WindowRef &window)
{
    SendWithinProcess(window, WM_DESTROY, 0, 0);
    for (HWND child : WindowTable::Instance().Children(window->hwnd))
        if (WindowRef w = WindowTable::Instance().Find(child))
            SendDestroy(w);
}

/* Sends WM_NCDESTROY bottom-up and forgets each window after its message. */
static void FreeTree(const WindowRef &window)
{
    for (HWND child : WindowTable::Instance().Children(window->hwnd))
        if (WindowRef w = WindowTable::Instance().Find(child))
            FreeTree(w);
    SendWithinProcess(window, WM_NCDESTROY, 0, 0);
    ForgetWindowRecord(window);
}

void DestroyWindowTree(const WindowRef &window)
{
    for (HWND owned : WindowTable::Instance().Owned(window->hwnd)) {
        WindowRef w = WindowTable::Instance().Find(owned);
        if (w && w->tid == window->tid)
            DestroyWindow(owned);
        else if (w)
            WindowTable::Instance().Locked([&] { w->owner = nullptr; });
    }
    std::vector<WindowRef> tree;
    CollectTree(window->hwnd, &tree);
    WindowTable::Instance().Locked([&] {
        for (const auto &w : tree)
            w->state = WindowState::Destroying;
    });
    std::string root = WindowTable::Instance().Locked([&] { return window->registeredRoot; });
    if (!root.empty())
        desktop::Withdraw(root, window->hwnd); // no longer found by other processes
    SendDestroy(window);
    FreeTree(window);
}

} // namespace winport

using namespace winport;

/* CreateWindowExA: creates a window of a registered class (name or atom)
 * owned by the calling thread, sending WM_NCCREATE then WM_CREATE with a
 * CREATESTRUCTA whose lpCreateParams is lpParam.  WM_NCCREATE returning
 * FALSE or WM_CREATE returning -1 destroys the window and gives NULL.
 * Unknown class: ERROR_CANNOT_FIND_WND_CLASS; WS_CHILD without a parent:
 * ERROR_TLW_WITH_WSCHILD; a parent that is not one of this process's
 * windows: ERROR_INVALID_WINDOW_HANDLE.  HWND_MESSAGE makes a message-only
 * window.  Headless: no WM_SIZE, WM_MOVE, WM_SHOWWINDOW or WM_PARENTNOTIFY,
 * and CW_USEDEFAULT positions are recorded as 0. */
HWND WINAPI CreateWindowExA(DWORD dwExStyle, LPCSTR lpClassName, LPCSTR lpWindowName, DWORD dwStyle,
                            int X, int Y, int nWidth, int nHeight, HWND hWndParent, HMENU hMenu,
                            HINSTANCE hInstance, LPVOID lpParam)
{
    auto cls = ClassTable::Instance().Find(lpClassName);
    if (!cls) {
        SetLastError(ERROR_CANNOT_FIND_WND_CLASS);
        return nullptr;
    }
    WindowRef parent, owner;
    bool messageOnly = false;
    if (!ResolveParent(dwStyle, hWndParent, &parent, &owner, &messageOnly))
        return nullptr;
    auto pos = [](int v) { return v == CW_USEDEFAULT ? 0 : v; };
    const RECT rect = {pos(X), pos(Y), pos(X) + pos(nWidth), pos(Y) + pos(nHeight)};
    WindowRef window = NewWindow(cls, dwExStyle, dwStyle, rect, hMenu, hInstance);
    window->parent = parent ? parent->hwnd : nullptr;
    window->owner = owner ? owner->hwnd : nullptr;
    window->messageOnly = messageOnly;
    ThreadQueue::Current(); // the creating thread gets its queue now
    WindowTable::Instance().Insert(window);

    CREATESTRUCTA cs = {lpParam,
                        hInstance,
                        hMenu,
                        hWndParent,
                        nHeight,
                        nWidth,
                        Y,
                        X,
                        static_cast<LONG>(dwStyle),
                        lpWindowName,
                        lpClassName,
                        dwExStyle};
    const HWND hwnd = window->hwnd;
    if (!CallWindowProcedure(window, WM_NCCREATE, 0, reinterpret_cast<LPARAM>(&cs)) ||
        CallWindowProcedure(window, WM_CREATE, 0, reinterpret_cast<LPARAM>(&cs)) == -1) {
        if (WindowTable::Instance().Find(hwnd))
            DestroyWindowTree(window);
        return nullptr;
    }
    if (!WindowTable::Instance().Find(hwnd))
        return nullptr; // destroyed by its own WM_CREATE handler
    WindowTable::Instance().Locked([&] {
        if (window->state == WindowState::Creating)
            window->state = WindowState::Alive;
    });
    PublishWindow(window);
    if (dwStyle & WS_VISIBLE)
        NoteActivated(window);
    return hwnd;
}

/* DestroyWindow: destroys a window of the calling thread, its owned windows
 * and its children (WM_DESTROY top-down, WM_NCDESTROY bottom-up), its
 * timers and its posted messages.  Another thread's or process's window:
 * ERROR_ACCESS_DENIED; an unknown one: ERROR_INVALID_WINDOW_HANDLE.  A
 * window already being destroyed is left to that destruction (TRUE). */
BOOL WINAPI DestroyWindow(HWND hWnd)
{
    WindowRef window = WindowTable::Instance().Find(hWnd);
    if (!window) {
        bool remote = hWnd && !WindowTable::IsLocal(hWnd) && desktop::Lookup(hWnd);
        SetLastError(remote ? ERROR_ACCESS_DENIED : ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    if (window->tid != GetCurrentThreadId()) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    bool destroying =
        WindowTable::Instance().Locked([&] { return window->state == WindowState::Destroying; });
    if (!destroying)
        DestroyWindowTree(window);
    return TRUE;
}

/* DefWindowProcA: the default handling this layer needs: WM_NCCREATE
 * stores the title and returns TRUE, WM_CLOSE destroys the window,
 * WM_SETTEXT / WM_GETTEXT / WM_GETTEXTLENGTH keep the text,
 * WM_QUERYENDSESSION answers TRUE; everything else returns 0. */
LRESULT WINAPI DefWindowProcA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam)
{
    WindowRef window = WindowTable::Instance().Find(hWnd);
    switch (Msg) {
    case WM_NCCREATE: {
        auto *cs = reinterpret_cast<const CREATESTRUCTA *>(lParam);
        if (window && cs && cs->lpszName)
            StoreWindowText(window, cs->lpszName);
        return TRUE;
    }
    case WM_CLOSE:
        DestroyWindow(hWnd);
        return 0;
    case WM_SETTEXT:
        if (!window)
            return FALSE;
        StoreWindowText(window, lParam ? reinterpret_cast<const char *>(lParam) : "");
        return TRUE;
    case WM_GETTEXT: {
        if (!window || wParam == 0 || !lParam)
            return 0;
        std::string text = WindowTable::Instance().Locked([&] { return window->text; });
        const size_t n = std::min(text.size(), static_cast<size_t>(wParam) - 1);
        std::memcpy(reinterpret_cast<char *>(lParam), text.data(), n);
        reinterpret_cast<char *>(lParam)[n] = '\0';
        return static_cast<LRESULT>(n);
    }
    case WM_GETTEXTLENGTH:
        return window ? static_cast<LRESULT>(
                            WindowTable::Instance().Locked([&] { return window->text.size(); }))
                      : 0;
    case WM_QUERYENDSESSION:
        return TRUE;
    default:
        return 0;
    }
}

/* CallWindowProcA: calls lpPrevWndFunc with the message (a window procedure
 * saved from GWLP_WNDPROC).  NULL: 0. */
LRESULT WINAPI CallWindowProcA(WNDPROC lpPrevWndFunc, HWND hWnd, UINT Msg, WPARAM wParam,
                               LPARAM lParam)
{
    return lpPrevWndFunc ? lpPrevWndFunc(hWnd, Msg, wParam, lParam) : 0;
}
