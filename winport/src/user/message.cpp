/*
 * The message loop: GetMessageA, PeekMessageA, TranslateMessage,
 * DispatchMessageA, PostMessageA, PostThreadMessageA, PostQuitMessage, and
 * the quit test hooks.
 *
 * What a thread gets from its queue follows Windows' order: messages sent
 * to it are handled first (inside the call, never returned), then posted
 * messages in the order they were posted, then WM_QUIT when PostQuitMessage
 * was called and no posted message is left, then WM_TIMER of a timer that
 * is due.
 */
#include "user/desktop.h"
#include "user/input_idle.h"
#include "user/message_private.h"
#include "user/remote_message.h"
#include "user/window_life.h"

#include <winport_test.h>

namespace winport {
namespace {

const HWND kThreadMessagesOnly = reinterpret_cast<HWND>(static_cast<LONG_PTR>(-1));

/* Whether a window filter names something that can have messages. */
bool FilterValid(HWND hwnd)
{
    return !hwnd || hwnd == kThreadMessagesOnly || WindowTable::Instance().Find(hwnd);
}

/* One look at the queue: sent messages handled, then the first message
 * for the filter in Windows' order. */
bool PeekOnce(ThreadQueue &self, const MessageFilter &filter, bool remove, MSG *out)
{
    self.NoteLook();
    ProcessSentMessages(self);
    return self.TakePosted(filter, remove, out) || self.TakeQuit(remove, out) ||
           self.TakeTimer(filter, remove, out);
}

MSG MakeMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    MSG msg = {};
    msg.hwnd = hwnd;
    msg.message = message;
    msg.wParam = wParam;
    msg.lParam = lParam;
    msg.time = GetTickCount();
    return msg;
}

BOOL PostToQueue(ThreadQueue &queue, const MSG &msg)
{
    bool full = false;
    if (queue.Post(msg, &full))
        return TRUE;
    SetLastError(full ? ERROR_NOT_ENOUGH_QUOTA : ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
}

} // namespace

BOOL PostToLocalWindow(const WindowRef &window, UINT message, WPARAM wParam, LPARAM lParam)
{
    std::shared_ptr<ThreadQueue> queue = ThreadQueue::Find(window->tid);
    if (!queue) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    return PostToQueue(*queue, MakeMessage(window->hwnd, message, wParam, lParam));
}

} // namespace winport

using namespace winport;

/* GetMessageA: waits for the next message for the filter (a window of
 * this thread and its children, NULL for all, (HWND)-1 for thread
 * messages; a message range, 0-0 for all) and removes it.  Returns 0 for
 * WM_QUIT, -1 for an invalid window filter (ERROR_INVALID_WINDOW_HANDLE) or
 * a NULL message pointer (ERROR_NOACCESS), else nonzero.  WM_QUIT is
 * returned whatever the filter. */
BOOL WINAPI GetMessageA(LPMSG lpMsg, HWND hWnd, UINT wMsgFilterMin, UINT wMsgFilterMax)
{
    if (!lpMsg) {
        SetLastError(ERROR_NOACCESS);
        return -1;
    }
    const MessageFilter filter{hWnd, wMsgFilterMin, wMsgFilterMax};
    ThreadQueue &self = ThreadQueue::Current();
    for (;;) {
        if (!FilterValid(hWnd)) {
            SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return -1;
        }
        if (PeekOnce(self, filter, true, lpMsg))
            return lpMsg->message == WM_QUIT ? 0 : TRUE;
        NoteInputIdle();
        self.SetWaiting(true);
        self.waker()->Wait(self.NextTimerMs());
        self.SetWaiting(false);
    }
}

/* PeekMessageA: GetMessageA without waiting: TRUE and the message (removed
 * with PM_REMOVE, left with PM_NOREMOVE), else FALSE.  Messages sent to
 * the thread are handled either way.  An invalid window filter: FALSE with
 * ERROR_INVALID_WINDOW_HANDLE. */
BOOL WINAPI PeekMessageA(LPMSG lpMsg, HWND hWnd, UINT wMsgFilterMin, UINT wMsgFilterMax,
                         UINT wRemoveMsg)
{
    if (!lpMsg) {
        SetLastError(ERROR_NOACCESS);
        return FALSE;
    }
    if (!FilterValid(hWnd)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    const MessageFilter filter{hWnd, wMsgFilterMin, wMsgFilterMax};
    if (PeekOnce(ThreadQueue::Current(), filter, (wRemoveMsg & PM_REMOVE) != 0, lpMsg))
        return TRUE;
    NoteInputIdle();
    return FALSE;
}

/* TranslateMessage: nonzero for key messages (headless: no WM_CHAR is ever
 * generated, there is no keyboard), FALSE for everything else. */
BOOL WINAPI TranslateMessage(const MSG *lpMsg)
{
    if (!lpMsg)
        return FALSE;
    switch (lpMsg->message) {
    case WM_KEYDOWN:
    case WM_KEYUP:
    case WM_SYSKEYDOWN:
    case WM_SYSKEYUP:
        return TRUE;
    default:
        return FALSE;
    }
}

/* DispatchMessageA: calls the window procedure of the message's window and
 * returns its result.  WM_TIMER with a timer procedure in lParam calls that
 * procedure instead (only a procedure of one of this thread's timers: a
 * posted WM_TIMER cannot make the thread call an arbitrary address).  A
 * message without a window: 0.  An invalid window: 0 with
 * ERROR_INVALID_WINDOW_HANDLE; another process's: ERROR_MESSAGE_SYNC_ONLY. */
LRESULT WINAPI DispatchMessageA(const MSG *lpMsg)
{
    if (!lpMsg) {
        SetLastError(ERROR_NOACCESS);
        return 0;
    }
    if ((lpMsg->message == WM_TIMER || lpMsg->message == WM_SYSTIMER) && lpMsg->lParam) {
        auto proc = reinterpret_cast<TIMERPROC>(lpMsg->lParam);
        if (ThreadQueue::Current().HasTimerProc(proc))
            proc(lpMsg->hwnd, lpMsg->message, lpMsg->wParam, GetTickCount());
        return 0;
    }
    if (!lpMsg->hwnd)
        return 0;
    WindowRef window = WindowTable::Instance().Find(lpMsg->hwnd);
    if (!window) {
        const bool remote = !WindowTable::IsLocal(lpMsg->hwnd) && desktop::Lookup(lpMsg->hwnd);
        SetLastError(remote ? ERROR_MESSAGE_SYNC_ONLY : ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    return CallWindowProcedure(window, lpMsg->message, lpMsg->wParam, lpMsg->lParam);
}

/* PostMessageA: queues the message for the window's thread and returns at
 * once.  NULL posts to the calling thread; HWND_BROADCAST to every
 * top-level window of every process.  Messages that carry pointers
 * (WM_COPYDATA, WM_SETTEXT, ...) fail with ERROR_MESSAGE_SYNC_ONLY; an
 * invalid window with ERROR_INVALID_WINDOW_HANDLE; a full queue (10000
 * messages) with ERROR_NOT_ENOUGH_QUOTA. */
BOOL WINAPI PostMessageA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam)
{
    if (remote::IsPointerMessage(Msg)) {
        SetLastError(ERROR_MESSAGE_SYNC_ONLY);
        return FALSE;
    }
    if (!hWnd)
        return PostToQueue(ThreadQueue::Current(), MakeMessage(nullptr, Msg, wParam, lParam));
    if (IsBroadcast(hWnd)) {
        const DWORD saved = GetLastError();
        for (const WindowRef &window : WindowTable::Instance().TopLevel())
            PostToLocalWindow(window, Msg, wParam, lParam);
        remote::PostToOtherProcesses(Msg, wParam, lParam);
        SetLastError(saved);
        return TRUE;
    }
    if (WindowRef window = WindowTable::Instance().Find(hWnd))
        return PostToLocalWindow(window, Msg, wParam, lParam);
    if (WindowTable::IsLocal(hWnd)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    return remote::Post(hWnd, Msg, wParam, lParam);
}

/* PostThreadMessageA: queues a message without a window for a thread of
 * this process that has a message queue; otherwise ERROR_INVALID_THREAD_ID
 * (threads of other processes are not reachable here).  Pointer messages:
 * ERROR_MESSAGE_SYNC_ONLY; a full queue: ERROR_NOT_ENOUGH_QUOTA. */
BOOL WINAPI PostThreadMessageA(DWORD idThread, UINT Msg, WPARAM wParam, LPARAM lParam)
{
    if (remote::IsPointerMessage(Msg)) {
        SetLastError(ERROR_MESSAGE_SYNC_ONLY);
        return FALSE;
    }
    std::shared_ptr<ThreadQueue> queue = ThreadQueue::Find(idThread);
    if (!queue) {
        SetLastError(ERROR_INVALID_THREAD_ID);
        return FALSE;
    }
    return PostToQueue(*queue, MakeMessage(nullptr, Msg, wParam, lParam));
}

/* PostQuitMessage: asks the calling thread's message loop to end: WM_QUIT
 * with the exit code comes once no posted message is left.  Windows keeps
 * a flag, not a message: a second call replaces the code. */
void WINAPI PostQuitMessage(int nExitCode)
{
    ThreadQueue::Current().PostQuit(nExitCode);
}

/* winport_test_quit_posted: whether a quit is pending on this thread (it
 * is taken when GetMessageA returns WM_QUIT), and its exit code. */
BOOL winport_test_quit_posted(int *exitCode)
{
    ThreadQueue &queue = ThreadQueue::Current();
    const bool posted = queue.quitPosted();
    if (posted && exitCode)
        *exitCode = queue.quitCode();
    return posted ? TRUE : FALSE;
}

/* winport_test_reset_quit: forgets a pending quit on this thread. */
void winport_test_reset_quit(void)
{
    ThreadQueue::Current().ClearQuit();
}
