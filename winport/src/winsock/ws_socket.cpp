/*
 * Windows half: socket life cycle: socket, bind, listen, accept, connect,
 * closesocket, getpeername, getsockname.
 */
#include "winsock/bsd_runtime.h"
#include "winsock/ws_private.h"

namespace winport::ws {
namespace {

/* Runs a boundary call: 0 on success, else SOCKET_ERROR with the error. */
int Result(int err)
{
    return err ? Fail(err) : 0;
}

} // namespace
} // namespace winport::ws

/* socket: a new socket (close-on-exec, blocking).  AF_INET and AF_INET6;
 * SOCK_STREAM and SOCK_DGRAM. */
SOCKET WSAAPI socket(int af, int type, int protocol)
{
    using namespace winport;
    if (!ws::CheckStarted())
        return INVALID_SOCKET;
    bsd::SocketValue s;
    if (int err = bsd::Create(af, type, protocol, &s)) {
        WSASetLastError(err);
        return INVALID_SOCKET;
    }
    return static_cast<SOCKET>(s);
}

/* bind: gives the socket a local address.  Stream sockets get POSIX
 * SO_REUSEADDR first so a restarted listener can reuse its port while old
 * connections are in TIME_WAIT (Windows allows that by default); a port
 * another socket listens on still fails with WSAEADDRINUSE. */
int WSAAPI bind(SOCKET s, const struct sockaddr *name, int namelen)
{
    using namespace winport;
    if (!ws::CheckStarted())
        return SOCKET_ERROR;
    if (!bsd::IsSocket(s))
        return ws::Fail(WSAENOTSOCK);
    bsd::Address address;
    if (int err = ws::FromSockaddr(name, namelen, &address))
        return ws::Fail(err);
    return ws::Result(bsd::Bind(s, address));
}

/* listen: makes a bound stream socket accept connections (unbound:
 * WSAEINVAL, as Windows does not bind implicitly). */
int WSAAPI listen(SOCKET s, int backlog)
{
    using namespace winport;
    if (!ws::CheckStarted())
        return SOCKET_ERROR;
    return ws::Result(bsd::Listen(s, backlog));
}

/* accept: takes a pending connection; the new socket inherits the
 * listener's blocking mode.  addr/addrlen are optional; a too-short buffer
 * fails with WSAEFAULT before anything is accepted. */
SOCKET WSAAPI accept(SOCKET s, struct sockaddr *addr, int *addrlen)
{
    using namespace winport;
    if (!ws::CheckStarted())
        return INVALID_SOCKET;
    if (!bsd::IsSocket(s)) {
        WSASetLastError(WSAENOTSOCK);
        return INVALID_SOCKET;
    }
    if (addr && (!addrlen || *addrlen < static_cast<int>(sizeof(sockaddr_in)))) {
        WSASetLastError(WSAEFAULT);
        return INVALID_SOCKET;
    }
    bsd::SocketValue conn;
    bsd::Address peer;
    const int acceptError = bsd::Accept(s, &conn, &peer);
    bsd::AsyncReenable(s, bsd::kFdAccept); // any accept re-enables, even a failed one
    if (acceptError) {
        WSASetLastError(acceptError);
        return INVALID_SOCKET;
    }
    if (addr && ws::ToSockaddr(peer, addr, addrlen) != 0) {
        bsd::Close(conn);
        WSASetLastError(WSAEFAULT);
        return INVALID_SOCKET;
    }
    bsd::AsyncInherit(s, conn); // the listener's WSAAsyncSelect applies to it
    return static_cast<SOCKET>(conn);
}

/* connect: connects the socket.  A non-blocking socket fails at once with
 * WSAEWOULDBLOCK and completes in the background (select: writable on
 * success, exceptional on failure).  The wildcard address or port 0 fail
 * with WSAEADDRNOTAVAIL. */
int WSAAPI connect(SOCKET s, const struct sockaddr *name, int namelen)
{
    using namespace winport;
    if (!ws::CheckStarted())
        return SOCKET_ERROR;
    if (!bsd::IsSocket(s))
        return ws::Fail(WSAENOTSOCK);
    bsd::Address address;
    if (int err = ws::FromSockaddr(name, namelen, &address))
        return ws::Fail(err);
    const int err = bsd::Connect(s, address);
    if (!err || err == WSAEWOULDBLOCK)
        bsd::AsyncReenable(s, bsd::kFdConnect); // FD_CONNECT when it completes
    return ws::Result(err);
}

/* closesocket: closes the socket.  Unlike Windows, a call blocked in another
 * thread on the same socket is not woken (Linux semantics of close). */
int WSAAPI closesocket(SOCKET s)
{
    using namespace winport;
    if (!ws::CheckStarted())
        return SOCKET_ERROR;
    bsd::AsyncForget(s); // no events for it any more, before its descriptor number is free
    return ws::Result(bsd::Close(s));
}

/* getpeername: the address of the connected peer (WSAENOTCONN if none). */
int WSAAPI getpeername(SOCKET s, struct sockaddr *name, int *namelen)
{
    using namespace winport;
    if (!ws::CheckStarted())
        return SOCKET_ERROR;
    if (!bsd::IsSocket(s))
        return ws::Fail(WSAENOTSOCK);
    if (!name || !namelen)
        return ws::Fail(WSAEFAULT);
    bsd::Address address;
    if (int err = bsd::PeerName(s, &address))
        return ws::Fail(err);
    return ws::Result(ws::ToSockaddr(address, name, namelen));
}

/* getsockname: the local address (an unbound socket: WSAEINVAL). */
int WSAAPI getsockname(SOCKET s, struct sockaddr *name, int *namelen)
{
    using namespace winport;
    if (!ws::CheckStarted())
        return SOCKET_ERROR;
    if (!bsd::IsSocket(s))
        return ws::Fail(WSAENOTSOCK);
    if (!name || !namelen)
        return ws::Fail(WSAEFAULT);
    bsd::Address address;
    if (int err = bsd::SockName(s, &address))
        return ws::Fail(err);
    return ws::Result(ws::ToSockaddr(address, name, namelen));
}
