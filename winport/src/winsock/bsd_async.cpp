/*
 * POSIX half: socket event notification for WSAAsyncSelect (see
 * bsd_runtime.h).
 *
 * Each registered socket keeps the events it selected and the subset that
 * is armed (may be reported).  Evaluate() looks at the socket as it is now
 * (poll with no wait, FIONREAD, SO_ACCEPTCONN), reports the armed events
 * whose condition holds, disarms them, and then asks epoll (one-shot) to
 * wake the event thread only for conditions that can still change; a
 * condition that is true already but not armed (data waiting after an
 * FD_READ nobody has answered with recv) is left to the re-enabling call,
 * so the thread never spins.  Messages are posted after the lock is let go.
 */
#include "winsock/bsd_runtime.h"
#include "winsock/bsd_table.h"

#include <winerror.h>

#include <poll.h>
#include <sys/epoll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <mutex>
#include <thread>
#include <unordered_map>
#include <vector>

namespace winport::bsd {
namespace {

struct Registration {
    uint64_t window = 0;
    uint32_t message = 0;
    uint32_t events = 0; // selected
    uint32_t armed = 0;  // selected and not reported since the last re-enabling
    bool connectCalled = false;
    bool wasConnected = false; // FD_CLOSE only for a connection that existed
    bool inEpoll = false;
    int fd = -1;
};

struct Post {
    uint64_t window;
    uint32_t message;
    SocketValue socket;
    uint32_t lParam;
};

struct Engine {
    std::mutex lock;
    pid_t pid = 0;                // guarded by lock: the process the epoll set belongs to (fork)
    int epfd = -1;                // guarded by lock
    AsyncPoster poster = nullptr; // guarded by lock
    std::unordered_map<SocketValue, Registration> regs; // guarded by lock
    std::unordered_map<SocketValue, int> takenErrors;   // guarded by lock: errno values
};

Engine &TheEngine()
{
    static Engine *engine = new Engine; // the event thread outlives main()
    return *engine;
}

/* What a socket looks like now. */
struct Probe {
    short revents = 0;
    bool listening = false;
    bool stream = false;
    bool pendingConnect = false;
    bool shutRead = false;
    bool connected = false;
    int bytes = 0;
};

Probe Look(int fd, const SocketState &state)
{
    Probe p;
    pollfd pfd = {fd, POLLIN | POLLOUT | POLLPRI | POLLRDHUP, 0};
    while (poll(&pfd, 1, 0) < 0 && errno == EINTR) {
    }
    p.revents = pfd.revents;
    int on = 0;
    socklen_t len = sizeof on;
    p.listening = getsockopt(fd, SOL_SOCKET, SO_ACCEPTCONN, &on, &len) == 0 && on;
    p.stream = state.type == SOCK_STREAM;
    p.pendingConnect = state.connect == ConnectState::Pending;
    p.shutRead = state.shutRead;
    sockaddr_storage peer;
    socklen_t peerLen = sizeof peer;
    p.connected = getpeername(fd, reinterpret_cast<sockaddr *>(&peer), &peerLen) == 0;
    if (!p.listening && ioctl(fd, FIONREAD, &p.bytes) != 0)
        p.bytes = 0;
    return p;
}

int TakeSocketError(int fd)
{
    int err = 0;
    socklen_t len = sizeof err;
    getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len);
    return err;
}

uint32_t Reply(uint32_t event, int err)
{
    return event | (static_cast<uint32_t>(err ? WsaErrorFromErrno(err) : 0) << 16);
}

/* A pending connect that poll reports finished: settle it as select does. */
void SettleConnect(SocketValue s, Registration &r, Probe &p, std::vector<Post> &posts)
{
    const int err = TakeSocketError(r.fd);
    SocketTable::Instance().Update(s, [err](SocketState &st) {
        st.connect = err ? ConnectState::Failed : ConnectState::Idle;
        st.connectError = err;
    });
    p.pendingConnect = false;
    p.connected = err == 0;
    p.revents &= ~POLLERR; // that error was the connect's, now taken
    r.connectCalled = false;
    if (r.armed & kFdConnect)
        posts.push_back({r.window, r.message, s, Reply(kFdConnect, err)});
    r.armed &= ~static_cast<uint32_t>(kFdConnect);
    if (!err)
        r.armed |= r.events & kFdWrite; // FD_WRITE follows an established connection
}

/* The events to report now, in Windows' order, disarming them. */
void Collect(Engine &e, SocketValue s, Registration &r, Probe &p, std::vector<Post> &posts)
{
    auto report = [&](uint32_t event, int err) {
        posts.push_back({r.window, r.message, s, Reply(event, err)});
        r.armed &= ~event;
    };
    if (p.pendingConnect && (p.revents & (POLLOUT | POLLERR | POLLHUP)))
        SettleConnect(s, r, p, posts);
    else if (r.connectCalled && !p.pendingConnect && p.connected) {
        r.connectCalled = false; // a connect that succeeded at once
        if (r.armed & kFdConnect)
            report(kFdConnect, 0);
        r.armed |= r.events & kFdWrite;
    }
    if (p.connected)
        r.wasConnected = true;
    if (p.listening) {
        if ((r.armed & kFdAccept) && (p.revents & POLLIN))
            report(kFdAccept, 0);
        return;
    }
    const bool dataWaiting = p.stream ? p.bytes > 0 : (p.revents & POLLIN) != 0;
    if ((r.armed & kFdRead) && dataWaiting)
        report(kFdRead, 0);
    if ((r.armed & kFdWrite) && p.connected && !p.pendingConnect && (p.revents & POLLOUT))
        report(kFdWrite, 0);
    if (!(r.armed & kFdClose) || !p.stream || p.pendingConnect || !r.wasConnected)
        return;
    if ((p.revents & POLLERR)) {
        const int err = TakeSocketError(r.fd); // a reset: keep it for the next recv
        if (err)
            e.takenErrors[s] = err;
        report(kFdClose, err ? err : ECONNRESET);
    } else if ((p.revents & POLLRDHUP) && !p.shutRead && p.bytes == 0) {
        report(kFdClose, 0);
    }
}

/* Arms epoll for the conditions that can still change (see the file
 * comment); a socket with nothing left to watch leaves the set. */
void Watch(Engine &e, SocketValue s, Registration &r, const Probe &p)
{
    uint32_t want = 0;
    const bool eof = (p.revents & POLLRDHUP) && p.bytes == 0;
    if (p.pendingConnect) {
        want |= EPOLLOUT;
    } else if (p.listening) {
        if (r.armed & kFdAccept)
            want |= EPOLLIN;
    } else if (!(p.revents & (POLLERR | POLLHUP))) {
        if ((r.armed & kFdRead) && !eof)
            want |= EPOLLIN;
        if ((r.armed & kFdWrite) && p.connected)
            want |= EPOLLOUT;
        if ((r.armed & kFdClose) && p.stream && !(p.revents & POLLRDHUP))
            want |= EPOLLRDHUP;
    }
    epoll_event ev = {};
    ev.events = want | EPOLLONESHOT;
    ev.data.u64 = s;
    if (!want) {
        if (r.inEpoll)
            epoll_ctl(e.epfd, EPOLL_CTL_DEL, r.fd, nullptr);
        r.inEpoll = false;
    } else if (r.inEpoll) {
        epoll_ctl(e.epfd, EPOLL_CTL_MOD, r.fd, &ev);
    } else {
        r.inEpoll = epoll_ctl(e.epfd, EPOLL_CTL_ADD, r.fd, &ev) == 0;
    }
}

void Evaluate(SocketValue s)
{
    Engine &e = TheEngine();
    std::vector<Post> posts;
    AsyncPoster poster;
    {
        std::lock_guard<std::mutex> guard(e.lock);
        auto it = e.regs.find(s);
        if (it == e.regs.end())
            return;
        Registration &r = it->second;
        int fd;
        SocketState state;
        if (!SocketTable::Instance().Find(s, &fd, &state) || fd != r.fd) {
            e.regs.erase(it); // closed behind our back
            return;
        }
        Probe p = Look(fd, state);
        Collect(e, s, r, p, posts);
        Watch(e, s, r, p);
        poster = e.poster;
    }
    if (poster)
        for (const Post &post : posts)
            poster(post.window, post.message, post.socket, post.lParam);
}

void EventLoop(int epfd)
{
    epoll_event events[32];
    for (;;) {
        int n = epoll_wait(epfd, events, 32, -1);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return;
        for (int i = 0; i < n; i++) {
            {
                Engine &e = TheEngine();
                std::lock_guard<std::mutex> guard(e.lock);
                auto it = e.regs.find(events[i].data.u64);
                if (it != e.regs.end())
                    it->second.inEpoll = true; // one-shot: still in the set, disabled
            }
            Evaluate(events[i].data.u64);
        }
    }
}

/* The epoll set and its thread, created on first use (again in a forked
 * child, which has no event thread). */
bool StartEngineLocked(Engine &e)
{
    if (e.pid == getpid() && e.epfd >= 0)
        return true;
    e.regs.clear();
    e.takenErrors.clear();
    e.epfd = epoll_create1(EPOLL_CLOEXEC);
    if (e.epfd < 0)
        return false;
    e.pid = getpid();
    std::thread(EventLoop, e.epfd).detach();
    return true;
}

void ForgetLocked(Engine &e, SocketValue s)
{
    auto it = e.regs.find(s);
    if (it == e.regs.end())
        return;
    if (it->second.inEpoll && e.pid == getpid())
        epoll_ctl(e.epfd, EPOLL_CTL_DEL, it->second.fd, nullptr);
    e.regs.erase(it);
}

} // namespace

void SetAsyncPoster(AsyncPoster poster)
{
    Engine &e = TheEngine();
    std::lock_guard<std::mutex> guard(e.lock);
    e.poster = poster;
}

int AsyncSelect(SocketValue s, uint64_t window, uint32_t message, uint32_t events)
{
    int fd;
    if (!SocketTable::Instance().Find(s, &fd))
        return WSAENOTSOCK;
    if (int err = SetNonBlocking(s, true))
        return err;
    Engine &e = TheEngine();
    {
        std::lock_guard<std::mutex> guard(e.lock);
        ForgetLocked(e, s);
        events &= kFdAll;
        if (!events)
            return 0;
        if (!StartEngineLocked(e))
            return WSAENOBUFS;
        Registration r;
        r.window = window;
        r.message = message;
        r.events = events;
        r.armed = events;
        r.fd = fd;
        e.regs[s] = r;
    }
    Evaluate(s);
    return 0;
}

void AsyncForget(SocketValue s)
{
    Engine &e = TheEngine();
    std::lock_guard<std::mutex> guard(e.lock);
    ForgetLocked(e, s);
    e.takenErrors.erase(s);
}

void AsyncForgetAll()
{
    Engine &e = TheEngine();
    std::lock_guard<std::mutex> guard(e.lock);
    while (!e.regs.empty())
        ForgetLocked(e, e.regs.begin()->first);
    e.takenErrors.clear();
}

void AsyncReenable(SocketValue s, uint32_t events)
{
    Engine &e = TheEngine();
    {
        std::lock_guard<std::mutex> guard(e.lock);
        auto it = e.regs.find(s);
        if (it == e.regs.end())
            return;
        it->second.armed |= events & it->second.events & ~static_cast<uint32_t>(kFdConnect);
        if (events & kFdConnect)
            it->second.connectCalled = true;
    }
    Evaluate(s);
}

void AsyncInherit(SocketValue listener, SocketValue accepted)
{
    Engine &e = TheEngine();
    {
        std::lock_guard<std::mutex> guard(e.lock);
        auto it = e.regs.find(listener);
        int fd;
        if (it == e.regs.end() || !SocketTable::Instance().Find(accepted, &fd))
            return;
        Registration r;
        r.window = it->second.window;
        r.message = it->second.message;
        r.events = it->second.events;
        r.armed = r.events;
        r.fd = fd;
        ForgetLocked(e, accepted);
        e.regs[accepted] = r;
    }
    Evaluate(accepted);
}

int TakeAsyncError(SocketValue s)
{
    Engine &e = TheEngine();
    std::lock_guard<std::mutex> guard(e.lock);
    auto it = e.takenErrors.find(s);
    if (it == e.takenErrors.end())
        return 0;
    const int err = it->second;
    e.takenErrors.erase(it);
    return WsaErrorFromErrno(err);
}

} // namespace winport::bsd
