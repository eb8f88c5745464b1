/*
 * Windows half: recv, send, shutdown, ioctlsocket, setsockopt, getsockopt.
 */
#include "winsock/bsd_runtime.h"
#include "winsock/ws_private.h"

#include <cstring>

namespace winport::ws {
namespace {

/* MSG_PEEK and MSG_OOB; any other flag: WSAEOPNOTSUPP. */
bool IoFlags(int flags, int *out)
{
    if (flags & ~(MSG_PEEK | MSG_OOB))
        return false;
    *out = ((flags & MSG_PEEK) ? bsd::kPeek : 0) | ((flags & MSG_OOB) ? bsd::kOutOfBand : 0);
    return true;
}

/* The option a (level, name) pair means; WSAEINVAL for an unknown level,
 * WSAENOPROTOOPT for an unknown option. */
int OptionOf(int level, int name, bsd::Option *out, bool *boolean)
{
    *boolean = false;
    if (level == SOL_SOCKET) {
        switch (name) {
        case SO_REUSEADDR:
            *boolean = true;
            *out = bsd::Option::ReuseAddress;
            return 0;
        case SO_KEEPALIVE:
            *boolean = true;
            *out = bsd::Option::KeepAlive;
            return 0;
        case SO_SNDBUF:
            *out = bsd::Option::SendBuffer;
            return 0;
        case SO_RCVBUF:
            *out = bsd::Option::ReceiveBuffer;
            return 0;
        case SO_ERROR:
            *out = bsd::Option::Error;
            return 0;
        default:
            return WSAENOPROTOOPT;
        }
    }
    if (level == IPPROTO_TCP) {
        if (name != TCP_NODELAY)
            return WSAENOPROTOOPT;
        *boolean = true;
        *out = bsd::Option::NoDelay;
        return 0;
    }
    return WSAEINVAL;
}

} // namespace
} // namespace winport::ws

/* recv: receives up to len bytes; 0 when the peer has closed in order.
 * Non-blocking with nothing to read: WSAEWOULDBLOCK; after
 * shutdown(SD_RECEIVE): WSAESHUTDOWN. */
int WSAAPI recv(SOCKET s, char *buf, int len, int flags)
{
    using namespace winport;
    if (!ws::CheckStarted())
        return SOCKET_ERROR;
    if (!bsd::IsSocket(s))
        return ws::Fail(WSAENOTSOCK);
    int ioFlags;
    if (len < 0 || (!buf && len > 0))
        return ws::Fail(WSAEFAULT);
    if (!ws::IoFlags(flags, &ioFlags))
        return ws::Fail(WSAEOPNOTSUPP);
    size_t received = 0;
    int err = bsd::TakeAsyncError(s); // a reset the event thread took to report FD_CLOSE
    if (!err)
        err = bsd::Receive(s, buf, static_cast<size_t>(len), ioFlags, &received);
    bsd::AsyncReenable(s, bsd::kFdRead | bsd::kFdOob); // any recv re-enables, even a failed one
    if (err)
        return ws::Fail(err);
    return static_cast<int>(received);
}

/* send: sends the buffer (a blocking socket sends all of it).  Never raises
 * SIGPIPE: a connection the peer has reset fails with WSAECONNRESET. */
int WSAAPI send(SOCKET s, const char *buf, int len, int flags)
{
    using namespace winport;
    if (!ws::CheckStarted())
        return SOCKET_ERROR;
    if (!bsd::IsSocket(s))
        return ws::Fail(WSAENOTSOCK);
    int ioFlags;
    if (len < 0 || (!buf && len > 0))
        return ws::Fail(WSAEFAULT);
    if (!ws::IoFlags(flags, &ioFlags))
        return ws::Fail(WSAEOPNOTSUPP);
    size_t sent = 0;
    if (int err = bsd::Send(s, buf, static_cast<size_t>(len), ioFlags, &sent)) {
        if (err == WSAEWOULDBLOCK)
            bsd::AsyncReenable(s, bsd::kFdWrite); // FD_WRITE when there is room again
        return ws::Fail(err);
    }
    return static_cast<int>(sent);
}

/* shutdown: SD_RECEIVE, SD_SEND or SD_BOTH (else WSAEINVAL); a socket that
 * is not connected fails with WSAENOTCONN. */
int WSAAPI shutdown(SOCKET s, int how)
{
    using namespace winport;
    if (!ws::CheckStarted())
        return SOCKET_ERROR;
    if (!bsd::IsSocket(s))
        return ws::Fail(WSAENOTSOCK);
    bsd::ShutdownHow h;
    switch (how) {
    case SD_RECEIVE:
        h = bsd::ShutdownHow::Receive;
        break;
    case SD_SEND:
        h = bsd::ShutdownHow::Send;
        break;
    case SD_BOTH:
        h = bsd::ShutdownHow::Both;
        break;
    default:
        return ws::Fail(WSAEINVAL);
    }
    if (int err = bsd::Shutdown(s, h))
        return ws::Fail(err);
    return 0;
}

/* ioctlsocket: FIONBIO (non-zero: non-blocking) and FIONREAD (bytes that
 * recv would return now); other commands fail with WSAEINVAL. */
int WSAAPI ioctlsocket(SOCKET s, LONG cmd, u_long *argp)
{
    using namespace winport;
    if (!ws::CheckStarted())
        return SOCKET_ERROR;
    if (!bsd::IsSocket(s))
        return ws::Fail(WSAENOTSOCK);
    if (!argp)
        return ws::Fail(WSAEFAULT);
    int err;
    if (cmd == static_cast<LONG>(FIONBIO)) {
        err = bsd::SetNonBlocking(s, *argp != 0);
    } else if (cmd == static_cast<LONG>(FIONREAD)) {
        uint32_t count = 0;
        err = bsd::BytesReadable(s, &count);
        if (!err)
            *argp = count;
    } else {
        err = WSAEINVAL;
    }
    return err ? ws::Fail(err) : 0;
}

/* setsockopt: SO_REUSEADDR (recorded; see bind), SO_KEEPALIVE, SO_SNDBUF,
 * SO_RCVBUF at SOL_SOCKET and TCP_NODELAY at IPPROTO_TCP.  Boolean options
 * take a BOOL or, as Windows accepts, a single byte; other values an int. */
int WSAAPI setsockopt(SOCKET s, int level, int optname, const char *optval, int optlen)
{
    using namespace winport;
    if (!ws::CheckStarted())
        return SOCKET_ERROR;
    if (!bsd::IsSocket(s))
        return ws::Fail(WSAENOTSOCK);
    bsd::Option option;
    bool boolean;
    if (int err = ws::OptionOf(level, optname, &option, &boolean))
        return ws::Fail(err);
    int value = 0;
    if (!optval || optlen < 1 || (!boolean && optlen < static_cast<int>(sizeof(int))))
        return ws::Fail(WSAEFAULT);
    if (optlen >= static_cast<int>(sizeof(int)))
        std::memcpy(&value, optval, sizeof value);
    else
        value = static_cast<unsigned char>(optval[0]);
    if (int err = bsd::SetOption(s, option, value))
        return ws::Fail(err);
    return 0;
}

/* getsockopt: the options setsockopt takes, plus SO_ERROR (the pending
 * error as a WSA code, cleared by reading).  Values are ints. */
int WSAAPI getsockopt(SOCKET s, int level, int optname, char *optval, int *optlen)
{
    using namespace winport;
    if (!ws::CheckStarted())
        return SOCKET_ERROR;
    if (!bsd::IsSocket(s))
        return ws::Fail(WSAENOTSOCK);
    bsd::Option option;
    bool boolean;
    if (int err = ws::OptionOf(level, optname, &option, &boolean))
        return ws::Fail(err);
    if (!optval || !optlen || *optlen < static_cast<int>(sizeof(int)))
        return ws::Fail(WSAEFAULT);
    int value = 0;
    if (int err = bsd::GetOption(s, option, &value))
        return ws::Fail(err);
    std::memcpy(optval, &value, sizeof value);
    *optlen = sizeof value;
    return 0;
}
