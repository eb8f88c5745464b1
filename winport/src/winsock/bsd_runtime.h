/*
 * The POSIX half of Winsock's runtime services: socket event notification
 * for WSAAsyncSelect and descriptor sharing for WSADuplicateSocketA /
 * WSASocketA.  Plain types, like bsd.h; all functions may be called from
 * any thread.  Private.
 *
 * Event notification: one event thread per process watches the registered
 * sockets with epoll and reports each network event through a poster the
 * Windows half installs (it posts the window message).  Winsock's
 * re-enabling rules decide what is reported:
 *
 *   FD_READ     once per arrival of data, again only after recv (when data
 *               is still there)
 *   FD_WRITE    when connected (connect, accept, or already at selection),
 *               then only after a send failed with WSAEWOULDBLOCK and room
 *               came back
 *   FD_ACCEPT   once per pending connection, again after accept
 *   FD_CONNECT  once, when a connect completes (with its error)
 *   FD_CLOSE    once: the peer closed and no data is left to read, or the
 *               connection was reset (WSAECONNRESET)
 *
 * An event that has already happened when a socket is selected (or an
 * event re-enabled) is reported at once.
 */
#ifndef WINPORT_WINSOCK_BSD_RUNTIME_H
#define WINPORT_WINSOCK_BSD_RUNTIME_H

#include "winsock/bsd.h"

#include <cstdint>

namespace winport::bsd {

/* The FD_* bits, as in winsock2.h. */
enum AsyncEvent : uint32_t {
    kFdRead = 0x01,
    kFdWrite = 0x02,
    kFdOob = 0x04,
    kFdAccept = 0x08,
    kFdConnect = 0x10,
    kFdClose = 0x20,
    kFdAll = 0x3F,
};

/* Delivers one event: posts `message` to `window` with wParam = socket and
 * lParam = event | error << 16.  Installed by the Windows half. */
using AsyncPoster = void (*)(uint64_t window, uint32_t message, SocketValue s, uint32_t lParam);
void SetAsyncPoster(AsyncPoster poster);

/* WSAAsyncSelect: replaces the socket's registration (events 0 cancels it)
 * and makes the socket non-blocking.  0 or a WSA error. */
int AsyncSelect(SocketValue s, uint64_t window, uint32_t message, uint32_t events);
/* closesocket and WSACleanup: forgets the registration (before the
 * descriptor is closed, so that epoll never watches a reused number). */
void AsyncForget(SocketValue s);
void AsyncForgetAll();
/* The re-enabling calls: recv (FD_READ, FD_OOB), send that would block
 * (FD_WRITE), accept (FD_ACCEPT), connect (starts FD_CONNECT). */
void AsyncReenable(SocketValue s, uint32_t events);
/* accept: the new socket inherits the listener's registration. */
void AsyncInherit(SocketValue listener, SocketValue accepted);
/* An error the event thread had to take from the socket (SO_ERROR) to
 * report it; the next recv or send reports it (0 when none). */
int TakeAsyncError(SocketValue s);

/* Sharing (bsd_share.cpp). */
struct ShareInfo {
    int fd = -1;    // the socket's descriptor (still owned by the table)
    int family = 0; // Windows numbering
    int type = 0;
    int protocol = 0;
};
int DescribeForSharing(SocketValue s, ShareInfo *out);
/* Makes a received descriptor a socket of this process (the table takes
 * it); its blocking mode is what the descriptor has. */
int AdoptDescriptor(int fd, SocketValue *out);

} // namespace winport::bsd

#endif
