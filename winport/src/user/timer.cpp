/*
 * SetTimer and KillTimer.
 *
 * A timer lives in the queue of its window's thread (the calling thread's
 * for a thread timer) and never posts anything: GetMessageA generates one
 * WM_TIMER when the timer is due and nothing else is waiting, and restarts
 * the period then.  A timer whose messages are not fetched for several
 * periods therefore yields one WM_TIMER, not a burst, as on Windows.
 * Periods go through the process clock (WINPORT_TIME_SCALE).
 */
#include "user/desktop.h"
#include "user/message_private.h"

#include "kernel/clock.h"

namespace winport {
namespace {

UINT ClampElapse(UINT elapse)
{
    if (elapse < USER_TIMER_MINIMUM)
        return USER_TIMER_MINIMUM;
    if (elapse > USER_TIMER_MAXIMUM)
        return USER_TIMER_MAXIMUM;
    return elapse;
}

/* The queue that holds a window's timers: its thread's, which must be in
 * this process (another process's window: ERROR_ACCESS_DENIED). */
std::shared_ptr<ThreadQueue> TimerQueueOf(HWND hwnd)
{
    WindowRef window = WindowTable::Instance().Find(hwnd);
    if (!window) {
        const bool remote = !WindowTable::IsLocal(hwnd) && desktop::Lookup(hwnd);
        SetLastError(remote ? ERROR_ACCESS_DENIED : ERROR_INVALID_WINDOW_HANDLE);
        return nullptr;
    }
    std::shared_ptr<ThreadQueue> queue = ThreadQueue::Find(window->tid);
    if (!queue)
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return queue;
}

} // namespace
} // namespace winport

using namespace winport;

/* SetTimer: starts (or, for the same window and id, replaces and restarts)
 * a timer of uElapse ms, clamped to USER_TIMER_MINIMUM..MAXIMUM.  With a
 * window it returns nIDEvent (1 when nIDEvent is 0); with hWnd NULL it
 * replaces the calling thread's timer nIDEvent if there is one, else
 * returns a new id.  lpTimerFunc, when given, is called by DispatchMessageA
 * instead of the window procedure.  A window of another thread of this
 * process is allowed (the timer runs in that thread); an invalid window:
 * ERROR_INVALID_WINDOW_HANDLE; another process's: ERROR_ACCESS_DENIED. */
UINT_PTR WINAPI SetTimer(HWND hWnd, UINT_PTR nIDEvent, UINT uElapse, TIMERPROC lpTimerFunc)
{
    const uint64_t periodNs = RealNs(ClampElapse(uElapse));
    if (!hWnd) {
        ThreadQueue &self = ThreadQueue::Current();
        UINT_PTR id = nIDEvent;
        if (!id || !self.HasTimer(nullptr, id))
            id = self.NewThreadTimerId();
        if (!id) {
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            return 0;
        }
        self.SetTimer(nullptr, id, lpTimerFunc, periodNs);
        return id;
    }
    std::shared_ptr<ThreadQueue> queue = TimerQueueOf(hWnd);
    if (!queue)
        return 0;
    queue->SetTimer(hWnd, nIDEvent, lpTimerFunc, periodNs);
    return nIDEvent ? nIDEvent : 1;
}

/* KillTimer: stops a timer (a WM_TIMER already fetched is not recalled).
 * An unknown timer: FALSE with ERROR_INVALID_PARAMETER; an invalid window:
 * ERROR_INVALID_WINDOW_HANDLE; another process's: ERROR_ACCESS_DENIED. */
BOOL WINAPI KillTimer(HWND hWnd, UINT_PTR uIDEvent)
{
    std::shared_ptr<ThreadQueue> queue = hWnd ? TimerQueueOf(hWnd) : ThreadQueue::CurrentShared();
    if (!queue)
        return FALSE;
    if (!queue->KillTimer(hWnd, uIDEvent)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    return TRUE;
}
