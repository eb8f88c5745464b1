/*
 * Helpers of the Windows half of Winsock: the start-up check, failure
 * reporting, Windows sockaddr <-> bsd::Address.  Private.
 */
#ifndef WINPORT_WINSOCK_WS_PRIVATE_H
#define WINPORT_WINSOCK_WS_PRIVATE_H

#include "winsock/bsd.h"

#include <winsock2.h>
#include <ws2tcpip.h>

namespace winport::ws {

/* Whether WSAStartup is outstanding; false after setting WSANOTINITIALISED. */
bool CheckStarted();

/* Sets the last error and returns SOCKET_ERROR. */
inline int Fail(int wsaError)
{
    WSASetLastError(wsaError);
    return SOCKET_ERROR;
}

/* A Windows sockaddr of `length` bytes as an Address; 0 or WSAEFAULT (NULL,
 * too short) or WSAEAFNOSUPPORT. */
int FromSockaddr(const struct sockaddr *in, int length, bsd::Address *out);

/* Writes `in` as a Windows sockaddr into `out` of *length bytes and sets
 * *length; WSAEFAULT when NULL or too short. */
int ToSockaddr(const bsd::Address &in, struct sockaddr *out, int *length);

/* The size of the Windows sockaddr of a family (sockaddr_in / sockaddr_in6). */
int SockaddrSize(int family);

} // namespace winport::ws

#endif
