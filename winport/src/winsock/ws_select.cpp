/*
 * Windows half: select over Windows fd_sets (arrays of SOCKETs) and
 * __WSAFDIsSet, the function behind FD_ISSET.
 */
#include "winsock/ws_private.h"

namespace winport::ws {
namespace {

void Collect(const fd_set *set, uint8_t want, std::vector<bsd::PollEntry> &entries)
{
    if (!set)
        return;
    for (u_int i = 0; i < set->fd_count; i++)
        entries.push_back({static_cast<bsd::SocketValue>(set->fd_array[i]), want, false});
}

/* Keeps the ready sockets of `set`, in order; `next` walks the entries that
 * Collect made for it. */
void Rewrite(fd_set *set, const std::vector<bsd::PollEntry> &entries, size_t &next)
{
    if (!set)
        return;
    u_int kept = 0;
    const u_int count = set->fd_count;
    for (u_int i = 0; i < count; i++, next++)
        if (entries[next].ready)
            set->fd_array[kept++] = static_cast<SOCKET>(entries[next].socket);
    set->fd_count = kept;
}

} // namespace
} // namespace winport::ws

/* select: waits until a socket of the sets is readable, writable or has an
 * exceptional condition (out-of-band data, a failed non-blocking connect),
 * or the time-out passes (NULL: for ever).  nfds is ignored.  Rewrites the
 * sets to the ready sockets and returns how many entries are ready (0 on
 * time-out).  All sets empty: WSAEINVAL, as on Windows. */
int WSAAPI select(int nfds, fd_set *readfds, fd_set *writefds, fd_set *exceptfds,
                  const struct timeval *timeout)
{
    using namespace winport;
    (void)nfds;
    if (!ws::CheckStarted())
        return SOCKET_ERROR;
    std::vector<bsd::PollEntry> entries;
    ws::Collect(readfds, bsd::kWantRead, entries);
    ws::Collect(writefds, bsd::kWantWrite, entries);
    ws::Collect(exceptfds, bsd::kWantExcept, entries);
    if (entries.empty())
        return ws::Fail(WSAEINVAL);
    for (const bsd::PollEntry &entry : entries)
        if (!bsd::IsSocket(entry.socket))
            return ws::Fail(WSAENOTSOCK);
    int64_t timeoutMs = -1;
    if (timeout) {
        if (timeout->tv_sec < 0 || timeout->tv_usec < 0)
            return ws::Fail(WSAEINVAL);
        timeoutMs = static_cast<int64_t>(timeout->tv_sec) * 1000 + (timeout->tv_usec + 999) / 1000;
    }
    int ready = 0;
    if (int err = bsd::Poll(entries, timeoutMs, &ready))
        return ws::Fail(err);
    size_t next = 0;
    ws::Rewrite(readfds, entries, next);
    ws::Rewrite(writefds, entries, next);
    ws::Rewrite(exceptfds, entries, next);
    return ready;
}

/* __WSAFDIsSet: whether the socket is in the set (FD_ISSET). */
int WSAAPI __WSAFDIsSet(SOCKET fd, fd_set *set)
{
    if (!set)
        return 0;
    for (u_int i = 0; i < set->fd_count; i++)
        if (set->fd_array[i] == fd)
            return 1;
    return 0;
}
