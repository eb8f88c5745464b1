/*
 * The per-thread message queue.  Private to winport.
 *
 * Every thread that touches windows or messages gets one queue, created on
 * first use and registered by thread id so that other threads (and the
 * endpoint thread that carries messages from other processes) can reach it.
 * A queue holds, as Windows does:
 *
 *   - sent messages (SendMessage from another thread or process), handled
 *     inside GetMessage/PeekMessage and while the thread itself waits in a
 *     SendMessage, never returned to the caller;
 *   - posted messages, FIFO, at most kMaxPosted;
 *   - the quit flag of PostQuitMessage (WM_QUIT is generated when no posted
 *     message is left, never queued);
 *   - timers, which generate WM_TIMER only when nothing else is ready, at
 *     most one per timer however many periods passed (timers coalesce).
 *
 * A thread waits for its queue on an eventfd (Waker), so a wait can also
 * watch a socket (a SendMessage to another process).  When the thread ends,
 * its queue is shut down: waiting senders get 0, its windows disappear.
 *
 * Locking: each queue has its own lock; the window table's lock (see
 * window_table.h) may be taken while a queue lock is held, never the other
 * way round.  No lock is held while a window procedure runs.
 */
#ifndef WINPORT_USER_THREAD_QUEUE_H
#define WINPORT_USER_THREAD_QUEUE_H

#include <windows.h>

#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <vector>

namespace winport {

/* An eventfd a thread sleeps on; any thread may signal it. */
class Waker {
public:
    Waker();
    ~Waker();
    Waker(const Waker &) = delete;
    Waker &operator=(const Waker &) = delete;

    void Signal();
    /* Waits until signalled (the signal is consumed), `otherFd` is readable
     * or `timeoutMs` (-1: for ever) passes.  Returns kSignalled, kOtherFd
     * (possibly both) or 0 on time-out. */
    enum : int { kSignalled = 1, kOtherFd = 2 };
    int Wait(int64_t timeoutMs, int otherFd = -1);

private:
    int fd_;
};

/* A message sent to a window of another thread, shared by the sender (who
 * waits for it) and the receiving queue. */
struct SentMessage {
    enum class State { Queued, Running, Done, Abandoned };

    HWND hwnd = nullptr;
    UINT message = 0;
    WPARAM wParam = 0;
    LPARAM lParam = 0;
    /* Data marshalled from another process (WM_COPYDATA bytes, strings);
     * lParam points into it while the receiver runs. */
    std::vector<unsigned char> payload;
    COPYDATASTRUCT copyData = {};
    std::shared_ptr<Waker> notify; // signalled when done

    std::mutex lock;
    State state = State::Queued; // guarded by lock
    LRESULT result = 0;          // guarded by lock
    bool receiverGone = false;   // guarded by lock: window or thread ended first
};

struct MessageFilter {
    HWND hwnd = nullptr; // NULL: any; (HWND)-1: thread messages only
    UINT first = 0;
    UINT last = 0;
    bool Matches(HWND msgHwnd, UINT message) const;
};

struct QueueTimer {
    HWND hwnd;
    UINT_PTR id;
    TIMERPROC proc;
    uint64_t periodNs; // real time
    uint64_t dueNs;    // CLOCK_MONOTONIC
};

class ThreadQueue {
public:
    static constexpr size_t kMaxPosted = 10000; // Windows' default posted-message quota

    /* The calling thread's queue, created on first use. */
    static ThreadQueue &Current();
    static std::shared_ptr<ThreadQueue> CurrentShared();
    /* The live queue of thread `tid` in this process, or null. */
    static std::shared_ptr<ThreadQueue> Find(DWORD tid);
    /* Forgets every queue's messages, timers and quit state (tests). */
    static void ResetAll();

    explicit ThreadQueue(DWORD tid);
    DWORD threadId() const { return tid_; }
    const std::shared_ptr<Waker> &waker() const { return waker_; }

    /* Any thread.  False when the queue has ended, or (posted) holds
     * kMaxPosted messages already (*full set). */
    bool Post(const MSG &msg, bool *full = nullptr);
    bool PushSent(std::shared_ptr<SentMessage> sent);

    /* Owner thread: runs the oldest waiting sent message through `deliver`
     * (which calls the window procedure); false when none waits. */
    using Deliver = LRESULT (*)(SentMessage &sent);
    bool ProcessOneSent(Deliver deliver);
    bool HasSent();

    /* Owner thread: the next posted message, quit or timer message for the
     * filter, in Windows' order; removed when `remove`. */
    bool TakePosted(const MessageFilter &filter, bool remove, MSG *out);
    bool TakeQuit(bool remove, MSG *out);
    bool TakeTimer(const MessageFilter &filter, bool remove, MSG *out);
    /* Milliseconds until the next timer is due (0 if one is due, -1 if none). */
    int64_t NextTimerMs();

    void PostQuit(int exitCode);
    bool quitPosted();
    int quitCode();
    void ClearQuit();

    /* Timers.  SetTimer replaces a timer of the same window and id. */
    void SetTimer(HWND hwnd, UINT_PTR id, TIMERPROC proc, uint64_t periodNs);
    bool KillTimer(HWND hwnd, UINT_PTR id);
    bool HasTimer(HWND hwnd, UINT_PTR id);
    bool HasTimerProc(TIMERPROC proc);
    /* A thread-timer id (hwnd NULL) not in use, counting down from 0x7fff. */
    UINT_PTR NewThreadTimerId();

    /* Drops the posted messages and timers of a destroyed window. */
    void ForgetWindow(HWND hwnd);

    /* Hung-window bookkeeping: the owner marks each look at its queue and
     * whether it is waiting for messages now. */
    void NoteLook();
    void SetWaiting(bool waiting);
    bool IsHung();

    /* Thread exit: refuses new messages and releases waiting senders. */
    void Shutdown();
    bool alive();

private:
    void Clear();

    const DWORD tid_;
    const std::shared_ptr<Waker> waker_;
    std::mutex lock_;
    bool alive_ = true;                             // guarded by lock_
    std::deque<MSG> posted_;                        // guarded by lock_
    std::deque<std::shared_ptr<SentMessage>> sent_; // guarded by lock_
    std::vector<QueueTimer> timers_;                // guarded by lock_
    bool quitPosted_ = false;                       // guarded by lock_
    int quitCode_ = 0;                              // guarded by lock_
    UINT_PTR nextThreadTimer_ = 0x7fff;             // guarded by lock_
    uint64_t lastLookNs_ = 0;                       // guarded by lock_
    bool waiting_ = false;                          // guarded by lock_
};

/* CLOCK_MONOTONIC in nanoseconds. */
uint64_t MonotonicNs();

} // namespace winport

#endif
