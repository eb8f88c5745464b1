/*
 * POSIX half: describing a socket for a hand-off to another process and
 * adopting a descriptor received from one (see bsd_runtime.h).
 */
#include "winsock/bsd_runtime.h"
#include "winsock/bsd_table.h"

#include <winerror.h>

#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cerrno>

namespace winport::bsd {

int DescribeForSharing(SocketValue s, ShareInfo *out)
{
    int fd;
    SocketState state;
    if (!SocketTable::Instance().Find(s, &fd, &state))
        return WSAENOTSOCK;
    int domain = 0, protocol = 0;
    socklen_t len = sizeof domain;
    if (getsockopt(fd, SOL_SOCKET, SO_DOMAIN, &domain, &len) != 0)
        return WsaErrorFromErrno(errno);
    len = sizeof protocol;
    if (getsockopt(fd, SOL_SOCKET, SO_PROTOCOL, &protocol, &len) != 0)
        return WsaErrorFromErrno(errno);
    out->fd = fd;
    out->family = domain == AF_INET6 ? kFamilyInet6 : domain == AF_INET ? kFamilyInet : 0;
    out->type = state.type;
    out->protocol = protocol;
    return out->family ? 0 : WSAEAFNOSUPPORT;
}

/* The descriptor keeps the blocking mode it came with: the open file is
 * shared with the sender, whose copy must not change under it. */
int AdoptDescriptor(int fd, SocketValue *out)
{
    int type = 0;
    socklen_t len = sizeof type;
    if (getsockopt(fd, SOL_SOCKET, SO_TYPE, &type, &len) != 0)
        return WSAENOTSOCK;
    const int flags = fcntl(fd, F_GETFL);
    fcntl(fd, F_SETFD, FD_CLOEXEC);
    SocketState state;
    state.type = type;
    state.nonBlocking = flags >= 0 && (flags & O_NONBLOCK);
    *out = SocketTable::Instance().Add(fd, state);
    return 0;
}

} // namespace winport::bsd
