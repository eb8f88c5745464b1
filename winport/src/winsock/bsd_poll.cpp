/*
 * POSIX half: select() semantics on poll().
 *
 * Windows reports a socket readable when data, a pending connection or the
 * end of the stream waits; writable when send would not block, including
 * when a non-blocking connect has succeeded; and "exceptional" when out-of-
 * band data waits or a non-blocking connect has failed (not writable then).
 */
#include "winsock/bsd_table.h"

#include <winerror.h>

#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <ctime>

namespace winport::bsd {
namespace {

int64_t NowMs()
{
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

/* Settles a pending non-blocking connect whose socket poll has reported:
 * success or failure (the error is kept for SO_ERROR). */
void SettleConnect(SocketValue s, int fd, SocketState &state)
{
    int err = 0;
    socklen_t len = sizeof err;
    getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len);
    state.connect = err ? ConnectState::Failed : ConnectState::Idle;
    state.connectError = err;
    SocketTable::Instance().Update(s, [&state](SocketState &st) {
        st.connect = state.connect;
        st.connectError = state.connectError;
    });
}

bool EntryReady(const PollEntry &entry, short revents, const SocketState &state)
{
    switch (entry.want) {
    case kWantRead:
        if (state.connect != ConnectState::Idle)
            return revents & POLLIN;
        return revents & (POLLIN | POLLHUP | POLLERR | POLLRDHUP);
    case kWantWrite:
        if (state.connect != ConnectState::Idle)
            return false;
        return revents & (POLLOUT | POLLERR);
    case kWantExcept:
        return (revents & POLLPRI) || state.connect == ConnectState::Failed;
    default:
        return false;
    }
}

short EventsFor(uint8_t want)
{
    switch (want) {
    case kWantRead:
        return POLLIN | POLLRDHUP;
    case kWantWrite:
        return POLLOUT;
    default:
        return POLLPRI;
    }
}

} // namespace

int Poll(std::vector<PollEntry> &entries, int64_t timeoutMs, int *readyCount)
{
    *readyCount = 0;
    std::vector<pollfd> fds(entries.size());
    std::vector<SocketState> states(entries.size());
    bool readyNow = false;
    for (size_t i = 0; i < entries.size(); i++) {
        entries[i].ready = false;
        if (!SocketTable::Instance().Find(entries[i].socket, &fds[i].fd, &states[i]))
            return WSAENOTSOCK;
        fds[i].events = EventsFor(entries[i].want);
        if (entries[i].want == kWantExcept && states[i].connect == ConnectState::Failed)
            readyNow = true;
    }
    const int64_t deadline = timeoutMs < 0 ? -1 : NowMs() + timeoutMs;
    for (;;) {
        int wait = -1;
        if (readyNow)
            wait = 0;
        else if (deadline >= 0)
            wait = static_cast<int>(std::max<int64_t>(0, deadline - NowMs()));
        int n = poll(fds.data(), fds.size(), wait);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return WsaErrorFromErrno(errno);

        for (size_t i = 0; i < entries.size(); i++) {
            if (states[i].connect == ConnectState::Pending && fds[i].fd >= 0 &&
                (fds[i].revents & (POLLOUT | POLLERR | POLLHUP))) {
                SettleConnect(entries[i].socket, fds[i].fd, states[i]);
                for (size_t j = 0; j < entries.size(); j++) // the same socket in other sets
                    if (entries[j].socket == entries[i].socket)
                        states[j] = states[i];
            }
        }
        for (size_t i = 0; i < entries.size(); i++) {
            const short revents = fds[i].fd >= 0 ? fds[i].revents : 0;
            entries[i].ready = EntryReady(entries[i], revents, states[i]);
            if (entries[i].ready)
                ++*readyCount;
            else if (revents & (POLLHUP | POLLERR | POLLNVAL))
                fds[i].fd = -1; // a condition this set does not report: stop polling it
        }
        if (*readyCount > 0 || wait == 0 || (deadline >= 0 && NowMs() >= deadline))
            return 0;
        if (readyNow)
            readyNow = false;
    }
}

} // namespace winport::bsd
