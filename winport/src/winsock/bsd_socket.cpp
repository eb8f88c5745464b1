/*
 * POSIX half: the socket table and the socket life cycle (create, bind,
 * listen, accept, connect, names, close).
 */
#include "winsock/bsd_addr.h"
#include "winsock/bsd_runtime.h"
#include "winsock/bsd_table.h"

#include <winerror.h>

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <climits>

namespace winport::bsd {

SocketTable &SocketTable::Instance()
{
    static SocketTable *table = new SocketTable; // outlives static destructors
    return *table;
}

SocketValue SocketTable::Encode(int fd)
{
    return (static_cast<SocketValue>(fd) + 1) * 4 + 0x100;
}

int SocketTable::Decode(SocketValue s)
{
    if (s < 0x104 || (s - 0x100) % 4 != 0 ||
        (s - 0x100) / 4 - 1 > static_cast<SocketValue>(INT_MAX))
        return -1;
    return static_cast<int>((s - 0x100) / 4 - 1);
}

SocketValue SocketTable::Add(int fd, const SocketState &state)
{
    std::lock_guard<std::mutex> guard(lock_);
    entries_[fd] = state; // a descriptor closed behind our back may come back
    return Encode(fd);
}

bool SocketTable::Find(SocketValue s, int *fd, SocketState *state) const
{
    std::lock_guard<std::mutex> guard(lock_);
    auto it = entries_.find(Decode(s));
    if (it == entries_.end())
        return false;
    *fd = it->first;
    if (state)
        *state = it->second;
    return true;
}

int SocketTable::Remove(SocketValue s)
{
    std::lock_guard<std::mutex> guard(lock_);
    auto it = entries_.find(Decode(s));
    if (it == entries_.end())
        return -1;
    int fd = it->first;
    entries_.erase(it);
    return fd;
}

std::vector<int> SocketTable::RemoveAll()
{
    std::lock_guard<std::mutex> guard(lock_);
    std::vector<int> fds;
    for (const auto &entry : entries_)
        fds.push_back(entry.first);
    entries_.clear();
    return fds;
}

namespace {

int Errno()
{
    return WsaErrorFromErrno(errno);
}

/* Whether the socket has a local address (bind, or an implicit one from
 * connect): POSIX reports port 0 for a socket with none. */
bool IsBound(int fd)
{
    sockaddr_storage ss;
    socklen_t len = sizeof ss;
    if (getsockname(fd, reinterpret_cast<sockaddr *>(&ss), &len) != 0)
        return false;
    Address a;
    return FromPosix(reinterpret_cast<sockaddr *>(&ss), &a) && a.port != 0;
}

/* Completes a blocking connect that a signal interrupted: wait until the
 * socket is writable, then take its result. */
int FinishInterruptedConnect(int fd)
{
    pollfd p = {fd, POLLOUT, 0};
    while (poll(&p, 1, -1) < 0)
        if (errno != EINTR)
            return Errno();
    int err = 0;
    socklen_t len = sizeof err;
    getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len);
    return WsaErrorFromErrno(err);
}

} // namespace

int Create(int family, int type, int protocol, SocketValue *out)
{
    const int af = PosixFamily(family);
    if (af < 0)
        return WSAEAFNOSUPPORT;
    if (type != SOCK_STREAM && type != SOCK_DGRAM && type != SOCK_RAW)
        return WSAESOCKTNOSUPPORT;
    int fd = socket(af, type | SOCK_CLOEXEC, protocol);
    if (fd < 0)
        return Errno();
    SocketState state;
    state.type = type;
    *out = SocketTable::Instance().Add(fd, state);
    return 0;
}

bool IsSocket(SocketValue s)
{
    int fd;
    return SocketTable::Instance().Find(s, &fd);
}

int Close(SocketValue s)
{
    int fd = SocketTable::Instance().Remove(s);
    if (fd < 0)
        return WSAENOTSOCK;
    close(fd); // Linux releases the descriptor even when close reports EINTR
    return 0;
}

void CloseAll()
{
    AsyncForgetAll();
    for (int fd : SocketTable::Instance().RemoveAll())
        close(fd);
}

/* SO_REUSEADDR is set on every stream socket before bind: a restarted
 * listener may then take its port while old connections sit in TIME_WAIT,
 * as Windows allows without the option.  Linux still refuses a second
 * listener on a port in use (EADDRINUSE), which is what Windows does too. */
int Bind(SocketValue s, const Address &address)
{
    int fd;
    SocketState state;
    if (!SocketTable::Instance().Find(s, &fd, &state))
        return WSAENOTSOCK;
    sockaddr_storage ss;
    socklen_t len = ToPosix(address, &ss);
    if (!len)
        return WSAEAFNOSUPPORT;
    if (state.type == SOCK_STREAM) {
        int on = 1;
        setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    }
    if (bind(fd, reinterpret_cast<sockaddr *>(&ss), len) != 0)
        return Errno();
    return 0;
}

int Listen(SocketValue s, int backlog)
{
    int fd;
    if (!SocketTable::Instance().Find(s, &fd))
        return WSAENOTSOCK;
    if (!IsBound(fd))
        return WSAEINVAL; // Windows does not bind implicitly on listen
    if (listen(fd, backlog < 0 ? 0 : backlog) != 0)
        return Errno();
    return 0;
}

/* The accepted socket inherits the listener's blocking mode, as on Windows. */
int Accept(SocketValue s, SocketValue *out, Address *peer)
{
    int fd;
    SocketState state;
    if (!SocketTable::Instance().Find(s, &fd, &state))
        return WSAENOTSOCK;
    sockaddr_storage ss;
    int conn;
    do {
        socklen_t len = sizeof ss;
        conn = accept4(fd, reinterpret_cast<sockaddr *>(&ss), &len,
                       SOCK_CLOEXEC | (state.nonBlocking ? SOCK_NONBLOCK : 0));
    } while (conn < 0 && errno == EINTR);
    if (conn < 0)
        return Errno();
    if (peer)
        FromPosix(reinterpret_cast<sockaddr *>(&ss), peer);
    SocketState child;
    child.type = state.type;
    child.nonBlocking = state.nonBlocking;
    *out = SocketTable::Instance().Add(conn, child);
    return 0;
}

int Connect(SocketValue s, const Address &address)
{
    int fd;
    SocketState state;
    if (!SocketTable::Instance().Find(s, &fd, &state))
        return WSAENOTSOCK;
    // Windows refuses the wildcard address and port 0 as a destination;
    // Linux would quietly connect to the local host.
    static const uint8_t kZero[16] = {};
    const size_t addrLen = address.family == kFamilyInet ? 4 : 16;
    if (address.port == 0 || std::memcmp(address.addr, kZero, addrLen) == 0)
        return WSAEADDRNOTAVAIL;
    sockaddr_storage ss;
    socklen_t len = ToPosix(address, &ss);
    if (!len)
        return WSAEAFNOSUPPORT;
    if (connect(fd, reinterpret_cast<sockaddr *>(&ss), len) == 0)
        return 0;
    if (errno == EINPROGRESS && state.nonBlocking) {
        SocketTable::Instance().Update(s, [](SocketState &st) {
            st.connect = ConnectState::Pending;
            st.connectError = 0;
        });
        return WSAEWOULDBLOCK;
    }
    if (errno == EINTR && !state.nonBlocking)
        return FinishInterruptedConnect(fd);
    return Errno();
}

int PeerName(SocketValue s, Address *out)
{
    int fd;
    if (!SocketTable::Instance().Find(s, &fd))
        return WSAENOTSOCK;
    sockaddr_storage ss;
    socklen_t len = sizeof ss;
    if (getpeername(fd, reinterpret_cast<sockaddr *>(&ss), &len) != 0)
        return Errno();
    return FromPosix(reinterpret_cast<sockaddr *>(&ss), out) ? 0 : WSAEAFNOSUPPORT;
}

/* An unbound socket has no name on Windows (WSAEINVAL). */
int SockName(SocketValue s, Address *out)
{
    int fd;
    if (!SocketTable::Instance().Find(s, &fd))
        return WSAENOTSOCK;
    sockaddr_storage ss;
    socklen_t len = sizeof ss;
    if (getsockname(fd, reinterpret_cast<sockaddr *>(&ss), &len) != 0)
        return Errno();
    if (!FromPosix(reinterpret_cast<sockaddr *>(&ss), out))
        return WSAEAFNOSUPPORT;
    return out->port == 0 ? WSAEINVAL : 0;
}

} // namespace winport::bsd
