/*
 * POSIX half: Address <-> struct sockaddr conversions.  Private.
 */
#ifndef WINPORT_WINSOCK_BSD_ADDR_H
#define WINPORT_WINSOCK_BSD_ADDR_H

#include "winsock/bsd.h"

#include <netinet/in.h>
#include <sys/socket.h>

#include <cstring>

namespace winport::bsd {

/* Fills `out` from `in`; returns the sockaddr length, 0 for an unknown family. */
inline socklen_t ToPosix(const Address &in, sockaddr_storage *out)
{
    std::memset(out, 0, sizeof *out);
    if (in.family == kFamilyInet) {
        auto *sin = reinterpret_cast<sockaddr_in *>(out);
        sin->sin_family = AF_INET;
        sin->sin_port = in.port;
        std::memcpy(&sin->sin_addr, in.addr, 4);
        return sizeof(sockaddr_in);
    }
    if (in.family == kFamilyInet6) {
        auto *sin6 = reinterpret_cast<sockaddr_in6 *>(out);
        sin6->sin6_family = AF_INET6;
        sin6->sin6_port = in.port;
        sin6->sin6_flowinfo = in.flowinfo;
        std::memcpy(&sin6->sin6_addr, in.addr, 16);
        sin6->sin6_scope_id = in.scopeId;
        return sizeof(sockaddr_in6);
    }
    return 0;
}

/* Fills `out` from a POSIX address; false for a family other than IPv4/6. */
inline bool FromPosix(const sockaddr *in, Address *out)
{
    *out = Address{};
    if (in->sa_family == AF_INET) {
        const auto *sin = reinterpret_cast<const sockaddr_in *>(in);
        out->family = kFamilyInet;
        out->port = sin->sin_port;
        std::memcpy(out->addr, &sin->sin_addr, 4);
        return true;
    }
    if (in->sa_family == AF_INET6) {
        const auto *sin6 = reinterpret_cast<const sockaddr_in6 *>(in);
        out->family = kFamilyInet6;
        out->port = sin6->sin6_port;
        out->flowinfo = sin6->sin6_flowinfo;
        std::memcpy(out->addr, &sin6->sin6_addr, 16);
        out->scopeId = sin6->sin6_scope_id;
        return true;
    }
    return false;
}

inline int PosixFamily(int family)
{
    return family == kFamilyInet ? AF_INET : family == kFamilyInet6 ? AF_INET6 : -1;
}

} // namespace winport::bsd

#endif
