/*
 * POSIX half: data transfer, shutdown, blocking mode and socket options.
 */
#include "winsock/bsd_table.h"

#include <winerror.h>

#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/ioctl.h>
#include <sys/socket.h>

#include <cerrno>

namespace winport::bsd {
namespace {

int Errno()
{
    return WsaErrorFromErrno(errno);
}

int PosixIoFlags(int flags)
{
    return ((flags & kPeek) ? MSG_PEEK : 0) | ((flags & kOutOfBand) ? MSG_OOB : 0);
}

} // namespace

/* A datagram longer than the buffer fills the buffer and fails with
 * WSAEMSGSIZE, as on Windows (POSIX truncates silently). */
int Receive(SocketValue s, void *buffer, size_t length, int flags, size_t *received)
{
    *received = 0;
    int fd;
    SocketState state;
    if (!SocketTable::Instance().Find(s, &fd, &state))
        return WSAENOTSOCK;
    if (state.shutRead)
        return WSAESHUTDOWN;
    const int posixFlags = PosixIoFlags(flags) | (state.type == SOCK_DGRAM ? MSG_TRUNC : 0);
    ssize_t n;
    do
        n = recv(fd, buffer, length, posixFlags);
    while (n < 0 && errno == EINTR);
    if (n < 0)
        return Errno();
    if (static_cast<size_t>(n) > length) {
        *received = length;
        return WSAEMSGSIZE;
    }
    *received = static_cast<size_t>(n);
    return 0;
}

/* Never raises SIGPIPE.  A blocking socket sends everything before it
 * returns, as Winsock does; a non-blocking one sends what fits. */
int Send(SocketValue s, const void *buffer, size_t length, int flags, size_t *sent)
{
    *sent = 0;
    int fd;
    SocketState state;
    if (!SocketTable::Instance().Find(s, &fd, &state))
        return WSAENOTSOCK;
    if (state.shutWrite)
        return WSAESHUTDOWN;
    const char *data = static_cast<const char *>(buffer);
    const int posixFlags = PosixIoFlags(flags) | MSG_NOSIGNAL;
    size_t done = 0;
    do {
        ssize_t n = send(fd, data + done, length - done, posixFlags);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return Errno();
        done += static_cast<size_t>(n);
    } while (done < length && !state.nonBlocking);
    *sent = done;
    return 0;
}

int Shutdown(SocketValue s, ShutdownHow how)
{
    int fd;
    if (!SocketTable::Instance().Find(s, &fd))
        return WSAENOTSOCK;
    const int posixHow = how == ShutdownHow::Receive ? SHUT_RD
                         : how == ShutdownHow::Send  ? SHUT_WR
                                                     : SHUT_RDWR;
    if (shutdown(fd, posixHow) != 0)
        return Errno();
    SocketTable::Instance().Update(s, [how](SocketState &st) {
        st.shutRead = st.shutRead || how != ShutdownHow::Send;
        st.shutWrite = st.shutWrite || how != ShutdownHow::Receive;
    });
    return 0;
}

int SetNonBlocking(SocketValue s, bool nonBlocking)
{
    int fd;
    if (!SocketTable::Instance().Find(s, &fd))
        return WSAENOTSOCK;
    int fl = fcntl(fd, F_GETFL);
    if (fl < 0 || fcntl(fd, F_SETFL, nonBlocking ? (fl | O_NONBLOCK) : (fl & ~O_NONBLOCK)) != 0)
        return Errno();
    SocketTable::Instance().Update(
        s, [nonBlocking](SocketState &st) { st.nonBlocking = nonBlocking; });
    return 0;
}

int BytesReadable(SocketValue s, uint32_t *count)
{
    int fd;
    if (!SocketTable::Instance().Find(s, &fd))
        return WSAENOTSOCK;
    int n = 0;
    if (ioctl(fd, FIONREAD, &n) != 0) {
        if (errno != EINVAL) // a listening socket has nothing to read
            return Errno();
        n = 0;
    }
    *count = static_cast<uint32_t>(n);
    return 0;
}

/* SO_REUSEADDR is only recorded: stream sockets always get the POSIX option
 * before bind (see Bind), and the Windows meaning (taking a port another
 * socket is listening on) is not offered. */
int SetOption(SocketValue s, Option option, int value)
{
    int fd;
    if (!SocketTable::Instance().Find(s, &fd))
        return WSAENOTSOCK;
    int level = SOL_SOCKET, name = 0;
    switch (option) {
    case Option::ReuseAddress:
        SocketTable::Instance().Update(s,
                                       [value](SocketState &st) { st.reuseAddress = value != 0; });
        return 0;
    case Option::KeepAlive:
        name = SO_KEEPALIVE;
        value = value != 0;
        break;
    case Option::SendBuffer:
        name = SO_SNDBUF;
        break;
    case Option::ReceiveBuffer:
        name = SO_RCVBUF;
        break;
    case Option::NoDelay:
        level = IPPROTO_TCP;
        name = TCP_NODELAY;
        value = value != 0;
        break;
    case Option::Error:
        return WSAENOPROTOOPT; // read-only
    }
    if (setsockopt(fd, level, name, &value, sizeof value) != 0)
        return Errno();
    return 0;
}

/* SO_SNDBUF / SO_RCVBUF read back what was set: Linux stores twice the
 * value (the other half is its bookkeeping) and reports that.  SO_ERROR
 * reads and clears the pending error as a WSA code. */
int GetOption(SocketValue s, Option option, int *value)
{
    int fd;
    SocketState state;
    if (!SocketTable::Instance().Find(s, &fd, &state))
        return WSAENOTSOCK;
    int level = SOL_SOCKET, name = 0;
    switch (option) {
    case Option::ReuseAddress:
        *value = state.reuseAddress ? 1 : 0;
        return 0;
    case Option::Error:
        if (state.connectError) {
            *value = WsaErrorFromErrno(state.connectError);
            SocketTable::Instance().Update(s, [](SocketState &st) { st.connectError = 0; });
            return 0;
        }
        name = SO_ERROR;
        break;
    case Option::KeepAlive:
        name = SO_KEEPALIVE;
        break;
    case Option::SendBuffer:
        name = SO_SNDBUF;
        break;
    case Option::ReceiveBuffer:
        name = SO_RCVBUF;
        break;
    case Option::NoDelay:
        level = IPPROTO_TCP;
        name = TCP_NODELAY;
        break;
    }
    int raw = 0;
    socklen_t len = sizeof raw;
    if (getsockopt(fd, level, name, &raw, &len) != 0)
        return Errno();
    switch (option) {
    case Option::Error:
        *value = WsaErrorFromErrno(raw);
        break;
    case Option::SendBuffer:
    case Option::ReceiveBuffer:
        *value = raw / 2;
        break;
    default:
        *value = raw != 0;
    }
    return 0;
}

} // namespace winport::bsd
