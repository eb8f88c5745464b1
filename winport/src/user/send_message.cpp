/*
 * SendMessageA, SendMessageTimeoutA, InSendMessage, IsHungAppWindow, and
 * sending between the threads of this process.
 *
 * A send to a window of the calling thread calls its procedure directly.
 * A send to another thread queues the message there and waits; while it
 * waits, the sender handles messages other threads send to it (unless
 * SMTO_BLOCK), so two threads that send to each other do not deadlock, as
 * on Windows.  Windows of other processes go through remote_message.cpp.
 */
#include "user/desktop.h"
#include "user/message_private.h"
#include "user/remote_message.h"
#include "user/window_life.h"

#include "kernel/clock.h"

#include <winport_test.h>

namespace winport {
namespace {

thread_local int t_inSend = 0; // sent messages this thread is handling now

enum class WaitOutcome { Done, TimedOut };

/* Waits for `sent`, handling this thread's sent messages meanwhile. */
WaitOutcome WaitForSent(SentMessage &sent, ThreadQueue &self, ThreadQueue &receiver, UINT flags,
                        int64_t timeoutMs)
{
    const uint64_t start = MonotonicNs();
    for (;;) {
        {
            std::lock_guard<std::mutex> guard(sent.lock);
            if (sent.state == SentMessage::State::Done)
                return WaitOutcome::Done;
        }
        if (!(flags & SMTO_BLOCK)) {
            ProcessSentMessages(self);
            std::lock_guard<std::mutex> guard(sent.lock);
            if (sent.state == SentMessage::State::Done)
                return WaitOutcome::Done;
        }
        int64_t left = -1;
        if (timeoutMs >= 0) {
            const int64_t elapsed = static_cast<int64_t>((MonotonicNs() - start) / 1000000);
            left = timeoutMs - elapsed;
            if (left <= 0 && (flags & SMTO_NOTIMEOUTIFNOTHUNG) && !receiver.IsHung())
                left = 50; // keep waiting while the receiver still looks at its queue
            if (left <= 0) {
                std::lock_guard<std::mutex> guard(sent.lock);
                if (sent.state == SentMessage::State::Done)
                    return WaitOutcome::Done;
                if (sent.state == SentMessage::State::Queued)
                    sent.state = SentMessage::State::Abandoned; // never delivered
                return WaitOutcome::TimedOut;
            }
        }
        self.SetWaiting(!(flags & SMTO_BLOCK));
        self.waker()->Wait(left);
        self.SetWaiting(false);
    }
}

/* SendMessageTimeoutA to one window (not HWND_BROADCAST). */
BOOL SendOne(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, UINT flags, int64_t timeoutMs,
             LRESULT *result)
{
    if (WindowRef window = WindowTable::Instance().Find(hwnd)) {
        if (window->tid == GetCurrentThreadId()) {
            *result = CallWindowProcedure(window, message, wParam, lParam);
            return TRUE;
        }
        return SendToOtherThread(window, message, wParam, lParam, flags, timeoutMs, result);
    }
    if (!hwnd || WindowTable::IsLocal(hwnd)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    switch (remote::Send(hwnd, message, wParam, lParam, flags, timeoutMs, result)) {
    case remote::SendOutcome::Done:
        return TRUE;
    case remote::SendOutcome::TimedOut:
    case remote::SendOutcome::Hung:
        SetLastError(ERROR_TIMEOUT);
        return FALSE;
    case remote::SendOutcome::ReceiverGone:
        *result = 0;
        if (!(flags & SMTO_ERRORONEXIT))
            return TRUE;
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    case remote::SendOutcome::Refused:
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    case remote::SendOutcome::InvalidWindow:
    default:
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
}

/* Sends to every top-level window of this process, then of the others. */
void Broadcast(UINT message, WPARAM wParam, LPARAM lParam, UINT flags, int64_t timeoutMs)
{
    const DWORD saved = GetLastError(); // one window's failure is not the broadcast's
    LRESULT ignored;
    for (const WindowRef &window : WindowTable::Instance().TopLevel())
        SendOne(window->hwnd, message, wParam, lParam, flags, timeoutMs, &ignored);
    for (const desktop::Entry &entry : desktop::OtherProcesses())
        SendOne(entry.hwnd, message, wParam, lParam, flags, timeoutMs, &ignored);
    SetLastError(saved);
}

} // namespace

int64_t RealTimeoutMs(UINT nominalMs)
{
    return static_cast<int64_t>(RealMs(nominalMs));
}

LRESULT DeliverSent(SentMessage &sent)
{
    WindowRef window = WindowTable::Instance().Find(sent.hwnd);
    if (!window || window->tid != GetCurrentThreadId()) {
        std::lock_guard<std::mutex> guard(sent.lock);
        sent.receiverGone = true;
        return 0;
    }
    ++t_inSend;
    LRESULT result = CallWindowProcedure(window, sent.message, sent.wParam, sent.lParam);
    --t_inSend;
    return result;
}

void ProcessSentMessages(ThreadQueue &self)
{
    while (self.ProcessOneSent(DeliverSent)) {
    }
}

BOOL SendToOtherThread(const WindowRef &window, UINT message, WPARAM wParam, LPARAM lParam,
                       UINT flags, int64_t timeoutMs, LRESULT *result)
{
    std::shared_ptr<ThreadQueue> receiver = ThreadQueue::Find(window->tid);
    if (!receiver) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    if ((flags & SMTO_ABORTIFHUNG) && receiver->IsHung()) {
        SetLastError(ERROR_TIMEOUT);
        return FALSE;
    }
    std::shared_ptr<ThreadQueue> self = ThreadQueue::CurrentShared();
    auto sent = std::make_shared<SentMessage>();
    sent->hwnd = window->hwnd;
    sent->message = message;
    sent->wParam = wParam;
    sent->lParam = lParam;
    sent->notify = self->waker();
    if (!receiver->PushSent(sent)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    if (WaitForSent(*sent, *self, *receiver, flags, timeoutMs) == WaitOutcome::TimedOut) {
        SetLastError(ERROR_TIMEOUT);
        return FALSE;
    }
    std::lock_guard<std::mutex> guard(sent->lock);
    *result = sent->result;
    if (sent->receiverGone && (flags & SMTO_ERRORONEXIT)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    return TRUE;
}

LRESULT SendWithinProcess(const WindowRef &window, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (window->tid == GetCurrentThreadId())
        return CallWindowProcedure(window, msg, wParam, lParam);
    LRESULT result = 0;
    const DWORD saved = GetLastError();
    SendToOtherThread(window, msg, wParam, lParam, SMTO_NORMAL, -1, &result);
    SetLastError(saved);
    return result;
}

} // namespace winport

using namespace winport;

/* SendMessageA: calls the window procedure and returns its result; for a
 * window of another thread or process the message is queued there and the
 * caller waits (handling messages sent to its own thread meanwhile).  An
 * invalid window gives 0 with ERROR_INVALID_WINDOW_HANDLE.  HWND_BROADCAST
 * sends to every top-level window and returns 0. */
LRESULT WINAPI SendMessageA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam)
{
    if (IsBroadcast(hWnd)) {
        Broadcast(Msg, wParam, lParam, SMTO_NORMAL, -1);
        return 0;
    }
    LRESULT result = 0;
    return SendOne(hWnd, Msg, wParam, lParam, SMTO_NORMAL, -1, &result) ? result : 0;
}

/* SendMessageTimeoutA: SendMessageA with a time-out (ignored for the
 * calling thread's own windows) and the SMTO_* flags: SMTO_BLOCK handles no
 * incoming sent messages while waiting, SMTO_ABORTIFHUNG gives up at once
 * on a thread that has not looked at its queue for 5 s, SMTO_ERRORONEXIT
 * fails when the receiver goes away.  Time-out: 0 with ERROR_TIMEOUT.
 * HWND_BROADCAST sends to every top-level window of every process, each
 * with the full time-out, and returns nonzero.  For other processes'
 * windows SMTO_NOTIMEOUTIFNOTHUNG is not honoured (the time-out applies). */
LRESULT WINAPI SendMessageTimeoutA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam, UINT fuFlags,
                                   UINT uTimeout, PDWORD_PTR lpdwResult)
{
    const int64_t timeoutMs = RealTimeoutMs(uTimeout);
    if (IsBroadcast(hWnd)) {
        Broadcast(Msg, wParam, lParam, fuFlags, timeoutMs);
        return TRUE;
    }
    LRESULT result = 0;
    if (!SendOne(hWnd, Msg, wParam, lParam, fuFlags, timeoutMs, &result))
        return 0;
    if (lpdwResult)
        *lpdwResult = static_cast<DWORD_PTR>(result);
    return TRUE;
}

/* InSendMessage: whether the calling thread is handling a message another
 * thread or process sent. */
BOOL WINAPI InSendMessage(void)
{
    return t_inSend > 0 ? TRUE : FALSE;
}

/* IsHungAppWindow: whether the window's thread has not looked at its queue
 * for 5 s while not waiting for messages.  Other processes' windows and
 * invalid handles: FALSE. */
BOOL WINAPI IsHungAppWindow(HWND hwnd)
{
    WindowRef window = WindowTable::Instance().Find(hwnd);
    if (!window)
        return FALSE;
    std::shared_ptr<ThreadQueue> queue = ThreadQueue::Find(window->tid);
    return queue && queue->IsHung() ? TRUE : FALSE;
}

/* winport_test_sent_waiting: whether a sent message waits for this thread. */
BOOL winport_test_sent_waiting(void)
{
    return ThreadQueue::Current().HasSent() ? TRUE : FALSE;
}
