/*
 * The per-thread message queue (see thread_queue.h): the queue registry,
 * the waker, posted and sent messages, the quit flag, timers, and what
 * happens to a queue when its thread ends.
 */
#include "user/thread_queue.h"

#include "kernel/clock.h"
#include "user/window_life.h"
#include "user/window_table.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <ctime>
#include <unordered_map>

namespace winport {

uint64_t MonotonicNs()
{
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<uint64_t>(ts.tv_sec) * 1000000000ull + static_cast<uint64_t>(ts.tv_nsec);
}

// ---- Waker ---------------------------------------------------------------

Waker::Waker() : fd_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

Waker::~Waker()
{
    if (fd_ >= 0)
        close(fd_);
}

void Waker::Signal()
{
    uint64_t one = 1;
    while (write(fd_, &one, sizeof one) < 0 && errno == EINTR) {
    }
}

int Waker::Wait(int64_t timeoutMs, int otherFd)
{
    pollfd fds[2] = {{fd_, POLLIN, 0}, {otherFd, POLLIN, 0}};
    const nfds_t count = otherFd >= 0 ? 2 : 1;
    const uint64_t deadline = timeoutMs < 0 ? 0 : MonotonicNs() + timeoutMs * 1000000ull;
    for (;;) {
        int wait = -1;
        if (timeoutMs >= 0) {
            const uint64_t now = MonotonicNs();
            wait = now >= deadline ? 0 : static_cast<int>((deadline - now + 999999) / 1000000);
        }
        int n = poll(fds, count, wait);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return 0;
        int result = 0;
        if (fds[0].revents) {
            uint64_t value;
            while (read(fd_, &value, sizeof value) < 0 && errno == EINTR) {
            }
            result |= kSignalled;
        }
        if (count == 2 && fds[1].revents)
            result |= kOtherFd;
        return result;
    }
}

// ---- The registry of queues ------------------------------------------------

namespace {

struct QueueRegistry {
    std::mutex lock;
    std::unordered_map<DWORD, std::shared_ptr<ThreadQueue>> queues; // guarded by lock
};

QueueRegistry &Registry()
{
    static QueueRegistry *registry = new QueueRegistry; // threads may end after main()
    return *registry;
}

/* Owns the calling thread's queue; ends it when the thread ends. */
struct QueueHolder {
    std::shared_ptr<ThreadQueue> queue;
    pid_t pid = 0;
    ~QueueHolder()
    {
        if (!queue || pid != getpid())
            return;
        queue->Shutdown();
        DropThreadWindows(queue->threadId());
        std::lock_guard<std::mutex> guard(Registry().lock);
        Registry().queues.erase(queue->threadId());
    }
};

thread_local QueueHolder t_holder;

} // namespace

std::shared_ptr<ThreadQueue> ThreadQueue::CurrentShared()
{
    if (!t_holder.queue || t_holder.pid != getpid()) { // first use, or a forked child's copy
        t_holder.queue = std::make_shared<ThreadQueue>(GetCurrentThreadId());
        t_holder.pid = getpid();
        std::lock_guard<std::mutex> guard(Registry().lock);
        Registry().queues[t_holder.queue->threadId()] = t_holder.queue;
    }
    return t_holder.queue;
}

ThreadQueue &ThreadQueue::Current()
{
    return *CurrentShared();
}

std::shared_ptr<ThreadQueue> ThreadQueue::Find(DWORD tid)
{
    std::lock_guard<std::mutex> guard(Registry().lock);
    auto it = Registry().queues.find(tid);
    if (it == Registry().queues.end() || !it->second->alive())
        return nullptr;
    return it->second;
}

void ThreadQueue::ResetAll()
{
    std::vector<std::shared_ptr<ThreadQueue>> queues;
    {
        std::lock_guard<std::mutex> guard(Registry().lock);
        for (const auto &entry : Registry().queues)
            queues.push_back(entry.second);
    }
    for (const auto &queue : queues)
        queue->Clear();
}

ThreadQueue::ThreadQueue(DWORD tid)
    : tid_(tid), waker_(std::make_shared<Waker>()), lastLookNs_(MonotonicNs())
{}

bool ThreadQueue::alive()
{
    std::lock_guard<std::mutex> guard(lock_);
    return alive_;
}

// ---- Posted and sent messages --------------------------------------------

bool MessageFilter::Matches(HWND msgHwnd, UINT message) const
{
    if (first <= last && (first || last) && (message < first || message > last))
        return false;
    if (hwnd == reinterpret_cast<HWND>(static_cast<LONG_PTR>(-1)))
        return msgHwnd == nullptr;
    if (!hwnd)
        return true;
    return WindowTable::Instance().IsSelfOrDescendant(hwnd, msgHwnd);
}

bool ThreadQueue::Post(const MSG &msg, bool *full)
{
    if (full)
        *full = false;
    {
        std::lock_guard<std::mutex> guard(lock_);
        if (!alive_)
            return false;
        if (posted_.size() >= kMaxPosted) {
            if (full)
                *full = true;
            return false;
        }
        posted_.push_back(msg);
    }
    waker_->Signal();
    return true;
}

bool ThreadQueue::PushSent(std::shared_ptr<SentMessage> sent)
{
    {
        std::lock_guard<std::mutex> guard(lock_);
        if (!alive_)
            return false;
        sent_.push_back(std::move(sent));
    }
    waker_->Signal();
    return true;
}

bool ThreadQueue::HasSent()
{
    std::lock_guard<std::mutex> guard(lock_);
    return !sent_.empty();
}

bool ThreadQueue::ProcessOneSent(Deliver deliver)
{
    std::shared_ptr<SentMessage> sent;
    for (;;) {
        {
            std::lock_guard<std::mutex> guard(lock_);
            if (sent_.empty())
                return false;
            sent = std::move(sent_.front());
            sent_.pop_front();
        }
        std::lock_guard<std::mutex> guard(sent->lock);
        if (sent->state == SentMessage::State::Queued) {
            sent->state = SentMessage::State::Running;
            break;
        }
        // abandoned by a sender that timed out before we got to it
    }
    LRESULT result = deliver(*sent);
    {
        std::lock_guard<std::mutex> guard(sent->lock);
        sent->result = result;
        sent->state = SentMessage::State::Done;
    }
    if (sent->notify)
        sent->notify->Signal();
    return true;
}

bool ThreadQueue::TakePosted(const MessageFilter &filter, bool remove, MSG *out)
{
    std::lock_guard<std::mutex> guard(lock_);
    for (auto it = posted_.begin(); it != posted_.end(); ++it) {
        if (!filter.Matches(it->hwnd, it->message))
            continue;
        *out = *it;
        if (remove)
            posted_.erase(it);
        return true;
    }
    return false;
}

bool ThreadQueue::TakeQuit(bool remove, MSG *out)
{
    std::lock_guard<std::mutex> guard(lock_);
    if (!quitPosted_)
        return false;
    *out = MSG{};
    out->message = WM_QUIT;
    out->wParam = static_cast<WPARAM>(static_cast<LONG_PTR>(quitCode_));
    out->time = GetTickCount();
    if (remove)
        quitPosted_ = false;
    return true;
}

void ThreadQueue::PostQuit(int exitCode)
{
    {
        std::lock_guard<std::mutex> guard(lock_);
        quitPosted_ = true;
        quitCode_ = exitCode;
    }
    waker_->Signal();
}

bool ThreadQueue::quitPosted()
{
    std::lock_guard<std::mutex> guard(lock_);
    return quitPosted_;
}

int ThreadQueue::quitCode()
{
    std::lock_guard<std::mutex> guard(lock_);
    return quitCode_;
}

void ThreadQueue::ClearQuit()
{
    std::lock_guard<std::mutex> guard(lock_);
    quitPosted_ = false;
    quitCode_ = 0;
}

// ---- Timers ----------------------------------------------------------------

bool ThreadQueue::TakeTimer(const MessageFilter &filter, bool remove, MSG *out)
{
    std::lock_guard<std::mutex> guard(lock_);
    const uint64_t now = MonotonicNs();
    QueueTimer *best = nullptr;
    for (auto &timer : timers_) {
        if (timer.dueNs > now || !filter.Matches(timer.hwnd, WM_TIMER))
            continue;
        if (!best || timer.dueNs < best->dueNs)
            best = &timer;
    }
    if (!best)
        return false;
    *out = MSG{};
    out->hwnd = best->hwnd;
    out->message = WM_TIMER;
    out->wParam = best->id;
    out->lParam = reinterpret_cast<LPARAM>(best->proc);
    out->time = GetTickCount();
    if (remove)
        best->dueNs = now + best->periodNs; // periods missed meanwhile are not made up
    return true;
}

int64_t ThreadQueue::NextTimerMs()
{
    std::lock_guard<std::mutex> guard(lock_);
    if (timers_.empty())
        return -1;
    uint64_t due = UINT64_MAX;
    for (const auto &timer : timers_)
        due = std::min(due, timer.dueNs);
    const uint64_t now = MonotonicNs();
    return due <= now ? 0 : static_cast<int64_t>((due - now + 999999) / 1000000);
}

void ThreadQueue::SetTimer(HWND hwnd, UINT_PTR id, TIMERPROC proc, uint64_t periodNs)
{
    {
        std::lock_guard<std::mutex> guard(lock_);
        const uint64_t due = MonotonicNs() + periodNs;
        for (auto &timer : timers_) {
            if (timer.hwnd == hwnd && timer.id == id) {
                timer = QueueTimer{hwnd, id, proc, periodNs, due}; // replaced and restarted
                return;
            }
        }
        timers_.push_back(QueueTimer{hwnd, id, proc, periodNs, due});
    }
    waker_->Signal(); // a waiting GetMessage recomputes its time-out
}

bool ThreadQueue::KillTimer(HWND hwnd, UINT_PTR id)
{
    std::lock_guard<std::mutex> guard(lock_);
    auto it = std::find_if(timers_.begin(), timers_.end(),
                           [&](const QueueTimer &t) { return t.hwnd == hwnd && t.id == id; });
    if (it == timers_.end())
        return false;
    timers_.erase(it);
    return true;
}

bool ThreadQueue::HasTimer(HWND hwnd, UINT_PTR id)
{
    std::lock_guard<std::mutex> guard(lock_);
    return std::any_of(timers_.begin(), timers_.end(),
                       [&](const QueueTimer &t) { return t.hwnd == hwnd && t.id == id; });
}

bool ThreadQueue::HasTimerProc(TIMERPROC proc)
{
    std::lock_guard<std::mutex> guard(lock_);
    return std::any_of(timers_.begin(), timers_.end(),
                       [&](const QueueTimer &t) { return t.proc == proc; });
}

UINT_PTR ThreadQueue::NewThreadTimerId()
{
    std::lock_guard<std::mutex> guard(lock_);
    for (int tries = 0; tries < 0x8000; tries++) {
        UINT_PTR id = nextThreadTimer_;
        nextThreadTimer_ = nextThreadTimer_ <= 0x100 ? 0x7fff : nextThreadTimer_ - 1;
        bool used = std::any_of(timers_.begin(), timers_.end(),
                                [&](const QueueTimer &t) { return !t.hwnd && t.id == id; });
        if (!used)
            return id;
    }
    return 0;
}

// ---- Windows going away, threads ending, hung detection ------------------

void ThreadQueue::ForgetWindow(HWND hwnd)
{
    std::lock_guard<std::mutex> guard(lock_);
    posted_.erase(std::remove_if(posted_.begin(), posted_.end(),
                                 [hwnd](const MSG &m) { return m.hwnd == hwnd; }),
                  posted_.end());
    timers_.erase(std::remove_if(timers_.begin(), timers_.end(),
                                 [hwnd](const QueueTimer &t) { return t.hwnd == hwnd; }),
                  timers_.end());
}

void ThreadQueue::NoteLook()
{
    std::lock_guard<std::mutex> guard(lock_);
    lastLookNs_ = MonotonicNs();
}

void ThreadQueue::SetWaiting(bool waiting)
{
    std::lock_guard<std::mutex> guard(lock_);
    waiting_ = waiting;
    lastLookNs_ = MonotonicNs();
}

/* Windows calls a thread hung when it has not looked at its queue for five
 * seconds and is not waiting for messages now. */
bool ThreadQueue::IsHung()
{
    std::lock_guard<std::mutex> guard(lock_);
    return alive_ && !waiting_ && MonotonicNs() - lastLookNs_ > RealNs(5000);
}

void ThreadQueue::Clear()
{
    std::deque<std::shared_ptr<SentMessage>> sent;
    {
        std::lock_guard<std::mutex> guard(lock_);
        posted_.clear();
        timers_.clear();
        quitPosted_ = false;
        quitCode_ = 0;
        sent.swap(sent_);
    }
    for (const auto &message : sent) {
        {
            std::lock_guard<std::mutex> guard(message->lock);
            message->state = SentMessage::State::Done;
            message->result = 0;
            message->receiverGone = true;
        }
        if (message->notify)
            message->notify->Signal();
    }
}

void ThreadQueue::Shutdown()
{
    {
        std::lock_guard<std::mutex> guard(lock_);
        alive_ = false;
    }
    Clear();
}

} // namespace winport
