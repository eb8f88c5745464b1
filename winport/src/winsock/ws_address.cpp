/*
 * Windows half: byte order, IPv4 text (inet_addr, inet_ntoa) and
 * WSAAddressToStringA.  The byte-order and IPv4 text functions work without
 * WSAStartup, as on Windows.
 */
#include "winsock/ws_private.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <string>

namespace winport::ws {
namespace {

/* Host <-> network (big-endian) order, whatever the host's order. */
uint32_t Swap32(uint32_t v)
{
    const auto *b = reinterpret_cast<const unsigned char *>(&v);
    return (uint32_t(b[0]) << 24) | (uint32_t(b[1]) << 16) | (uint32_t(b[2]) << 8) | uint32_t(b[3]);
}

uint16_t Swap16(uint16_t v)
{
    const auto *b = reinterpret_cast<const unsigned char *>(&v);
    return static_cast<uint16_t>((b[0] << 8) | b[1]);
}

/* One number of an IPv4 text: decimal, octal ("0...") or hex ("0x..."). */
bool ParsePart(const char *&p, uint64_t &value)
{
    if (!std::isdigit(static_cast<unsigned char>(*p)))
        return false;
    int base = 10;
    if (*p == '0') {
        base = 8;
        p++;
        if (*p == 'x' || *p == 'X') {
            base = 16;
            p++;
        }
    }
    value = 0;
    for (;; p++) {
        int digit;
        const unsigned char c = static_cast<unsigned char>(*p);
        if (std::isdigit(c) && c - '0' < base)
            digit = c - '0';
        else if (base == 16 && std::isxdigit(c))
            digit = std::tolower(c) - 'a' + 10;
        else
            break;
        value = value * static_cast<unsigned>(base) + static_cast<unsigned>(digit);
        if (value > 0xffffffffu)
            return false;
    }
    return true;
}

/* "a.b.c.d", "a.b.c" (c: 16 bits), "a.b" (b: 24 bits), "a" (32 bits), each
 * part decimal, octal or hex, optionally followed by white space: the BSD
 * forms Windows accepts.  Host byte order. */
bool ParseIPv4(const char *cp, uint32_t &out)
{
    uint64_t parts[4];
    int n = 0;
    const char *p = cp;
    for (;;) {
        if (!ParsePart(p, parts[n]))
            return false;
        n++;
        if (*p != '.')
            break;
        if (n == 4)
            return false;
        p++;
    }
    if (*p && !std::isspace(static_cast<unsigned char>(*p)))
        return false;
    static const uint64_t kLastMax[] = {0xffffffffu, 0xffffffu, 0xffffu, 0xffu};
    for (int i = 0; i < n - 1; i++)
        if (parts[i] > 0xff)
            return false;
    if (parts[n - 1] > kLastMax[n - 1])
        return false;
    uint64_t value = parts[n - 1];
    for (int i = 0; i < n - 1; i++)
        value |= parts[i] << (24 - 8 * i);
    out = static_cast<uint32_t>(value);
    return true;
}

} // namespace
} // namespace winport::ws

/* htonl: host to network byte order (32 bits). */
u_long WSAAPI htonl(u_long hostlong)
{
    return winport::ws::Swap32(hostlong);
}

/* htons: host to network byte order (16 bits). */
u_short WSAAPI htons(u_short hostshort)
{
    return winport::ws::Swap16(hostshort);
}

/* ntohl: network to host byte order (32 bits). */
u_long WSAAPI ntohl(u_long netlong)
{
    return winport::ws::Swap32(netlong);
}

/* ntohs: network to host byte order (16 bits). */
u_short WSAAPI ntohs(u_short netshort)
{
    return winport::ws::Swap16(netshort);
}

/* inet_addr: the address of an IPv4 text in network byte order, or
 * INADDR_NONE for NULL, "" or an invalid text. */
unsigned long WSAAPI inet_addr(const char *cp)
{
    uint32_t host;
    if (!cp || !winport::ws::ParseIPv4(cp, host))
        return INADDR_NONE;
    return htonl(host);
}

/* inet_ntoa: "a.b.c.d" in a per-thread buffer, valid until the thread's next
 * call. */
char *WSAAPI inet_ntoa(struct in_addr in)
{
    static thread_local char text[16];
    std::snprintf(text, sizeof text, "%u.%u.%u.%u", in.S_un.S_un_b.s_b1, in.S_un.S_un_b.s_b2,
                  in.S_un.S_un_b.s_b3, in.S_un.S_un_b.s_b4);
    return text;
}

/* WSAAddressToStringA: "a.b.c.d:port" or "[v6%scope]:port", the port left
 * out when 0.  *lpdwAddressStringLength is the length with NUL; a buffer too
 * small fails with WSAEFAULT and that length.  The protocol info is ignored. */
int WSAAPI WSAAddressToStringA(LPSOCKADDR lpsaAddress, DWORD dwAddressLength,
                               LPWSAPROTOCOL_INFOA lpProtocolInfo, LPSTR lpszAddressString,
                               LPDWORD lpdwAddressStringLength)
{
    using namespace winport;
    (void)lpProtocolInfo;
    if (!ws::CheckStarted())
        return SOCKET_ERROR;
    if (!lpsaAddress || !lpdwAddressStringLength)
        return ws::Fail(WSAEFAULT);
    if (lpsaAddress->sa_family != AF_INET && lpsaAddress->sa_family != AF_INET6)
        return ws::Fail(WSAEINVAL);
    bsd::Address address;
    if (dwAddressLength > 0x7fffffff)
        return ws::Fail(WSAEFAULT);
    if (int err = ws::FromSockaddr(lpsaAddress, static_cast<int>(dwAddressLength), &address))
        return ws::Fail(err);
    std::string host;
    if (int err = bsd::FormatHost(address, &host))
        return ws::Fail(err);
    std::string text;
    const unsigned port = ntohs(address.port);
    if (address.family == bsd::kFamilyInet6) {
        if (address.scopeId)
            host += "%" + std::to_string(address.scopeId);
        text = port ? "[" + host + "]:" + std::to_string(port) : host;
    } else {
        text = port ? host + ":" + std::to_string(port) : host;
    }
    const DWORD needed = static_cast<DWORD>(text.size() + 1);
    if (!lpszAddressString || *lpdwAddressStringLength < needed) {
        *lpdwAddressStringLength = needed;
        return ws::Fail(WSAEFAULT);
    }
    std::memcpy(lpszAddressString, text.c_str(), needed);
    *lpdwAddressStringLength = needed;
    return 0;
}
