/*
 * Windows half: Windows sockaddr_in / sockaddr_in6 <-> bsd::Address.
 */
#include "winsock/ws_private.h"

#include <cstring>

namespace winport::ws {

int SockaddrSize(int family)
{
    return family == AF_INET    ? static_cast<int>(sizeof(sockaddr_in))
           : family == AF_INET6 ? static_cast<int>(sizeof(sockaddr_in6))
                                : 0;
}

int FromSockaddr(const struct sockaddr *in, int length, bsd::Address *out)
{
    *out = bsd::Address{};
    if (!in || length < static_cast<int>(sizeof(u_short)))
        return WSAEFAULT;
    const int family = in->sa_family;
    const int size = SockaddrSize(family);
    if (!size)
        return WSAEAFNOSUPPORT;
    if (length < size)
        return WSAEFAULT;
    if (family == AF_INET) {
        const auto *sin = reinterpret_cast<const sockaddr_in *>(in);
        out->family = bsd::kFamilyInet;
        out->port = sin->sin_port;
        std::memcpy(out->addr, &sin->sin_addr, 4);
    } else {
        const auto *sin6 = reinterpret_cast<const sockaddr_in6 *>(in);
        out->family = bsd::kFamilyInet6;
        out->port = sin6->sin6_port;
        out->flowinfo = sin6->sin6_flowinfo;
        std::memcpy(out->addr, &sin6->sin6_addr, 16);
        out->scopeId = sin6->sin6_scope_id;
    }
    return 0;
}

int ToSockaddr(const bsd::Address &in, struct sockaddr *out, int *length)
{
    const int family = in.family == bsd::kFamilyInet ? AF_INET : AF_INET6;
    const int size = SockaddrSize(family);
    if (!out || !length || *length < size)
        return WSAEFAULT;
    std::memset(out, 0, static_cast<size_t>(size));
    if (family == AF_INET) {
        auto *sin = reinterpret_cast<sockaddr_in *>(out);
        sin->sin_family = AF_INET;
        sin->sin_port = in.port;
        std::memcpy(&sin->sin_addr, in.addr, 4);
    } else {
        auto *sin6 = reinterpret_cast<sockaddr_in6 *>(out);
        sin6->sin6_family = AF_INET6;
        sin6->sin6_port = in.port;
        sin6->sin6_flowinfo = in.flowinfo;
        std::memcpy(&sin6->sin6_addr, in.addr, 16);
        sin6->sin6_scope_id = in.scopeId;
    }
    *length = size;
    return 0;
}

} // namespace winport::ws
