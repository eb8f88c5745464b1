/*
 * Windows half: gethostname, gethostbyname, getaddrinfo, freeaddrinfo.
 */
#include "winsock/ws_private.h"

#include <cstdlib>
#include <cstring>
#include <string>

namespace winport::ws {
namespace {

/* gethostbyname's result: one per thread, valid until the thread's next
 * call, as Windows documents. */
struct HostEntry {
    hostent entry = {};
    std::string name;
    std::vector<char *> aliases;
    std::vector<uint32_t> addresses;
    std::vector<char *> addressList;
};

/* One ADDRINFOA node with its sockaddr and canonical name in the same
 * allocation, so freeaddrinfo frees each node with one free(). */
ADDRINFOA *NewNode(const bsd::Resolved &r)
{
    const size_t addrSize =
        static_cast<size_t>(SockaddrSize(r.family == bsd::kFamilyInet ? AF_INET : AF_INET6));
    const size_t nameSize = r.canonName.empty() ? 0 : r.canonName.size() + 1;
    const size_t addrOffset = (sizeof(ADDRINFOA) + 7) & ~size_t(7);
    char *block = static_cast<char *>(std::calloc(1, addrOffset + addrSize + nameSize));
    if (!block)
        return nullptr;
    auto *ai = reinterpret_cast<ADDRINFOA *>(block);
    ai->ai_family = r.family == bsd::kFamilyInet ? AF_INET : AF_INET6;
    ai->ai_socktype = r.socktype;
    ai->ai_protocol = r.protocol;
    ai->ai_addrlen = addrSize;
    ai->ai_addr = reinterpret_cast<struct sockaddr *>(block + addrOffset);
    int len = static_cast<int>(addrSize);
    ToSockaddr(r.address, ai->ai_addr, &len);
    if (nameSize) {
        ai->ai_canonname = block + addrOffset + addrSize;
        std::memcpy(ai->ai_canonname, r.canonName.c_str(), nameSize);
    }
    return ai;
}

} // namespace
} // namespace winport::ws

/* gethostname: the host name (as POSIX reports it); a buffer that cannot
 * hold it with its NUL fails with WSAEFAULT. */
int WSAAPI gethostname(char *name, int namelen)
{
    using namespace winport;
    if (!ws::CheckStarted())
        return SOCKET_ERROR;
    std::string host;
    if (int err = bsd::HostName(&host))
        return ws::Fail(err);
    if (!name || namelen < 0 || static_cast<size_t>(namelen) <= host.size())
        return ws::Fail(WSAEFAULT);
    std::memcpy(name, host.c_str(), host.size() + 1);
    return 0;
}

/* gethostbyname: the IPv4 addresses of a host (NULL: this host), in a
 * per-thread hostent with no aliases.  Failures: WSAHOST_NOT_FOUND,
 * WSATRY_AGAIN, WSANO_RECOVERY, WSANO_DATA. */
struct hostent *WSAAPI gethostbyname(const char *name)
{
    using namespace winport;
    if (!ws::CheckStarted())
        return nullptr;
    std::string host;
    if (!name) {
        if (int err = bsd::HostName(&host)) {
            WSASetLastError(err);
            return nullptr;
        }
        name = host.c_str();
    }
    static thread_local ws::HostEntry result;
    std::string canon;
    std::vector<uint32_t> addresses;
    if (int err = bsd::ResolveHostV4(name, &canon, &addresses)) {
        WSASetLastError(err);
        return nullptr;
    }
    result.name = canon;
    result.addresses = std::move(addresses);
    result.aliases.assign(1, nullptr);
    result.addressList.clear();
    for (uint32_t &a : result.addresses)
        result.addressList.push_back(reinterpret_cast<char *>(&a));
    result.addressList.push_back(nullptr);
    result.entry.h_name = result.name.data();
    result.entry.h_aliases = result.aliases.data();
    result.entry.h_addrtype = AF_INET;
    result.entry.h_length = 4;
    result.entry.h_addr_list = result.addressList.data();
    return &result.entry;
}

/* getaddrinfo: resolves a node and service into a chain of ADDRINFOA in the
 * Windows layout (free with freeaddrinfo).  An empty node is this computer
 * (every address its name has, as Windows lists the registered addresses)
 * and an empty service is none.  Returns 0 or the error (also set as the
 * last error): WSAHOST_NOT_FOUND, WSATYPE_NOT_FOUND, WSAEINVAL for bad
 * flags, WSANO_RECOVERY when the hints carry anything besides flags,
 * family, socket type and protocol. */
int WSAAPI getaddrinfo(const char *pNodeName, const char *pServiceName, const ADDRINFOA *pHints,
                       PADDRINFOA *ppResult)
{
    using namespace winport;
    if (ppResult)
        *ppResult = nullptr;
    if (!ws::CheckStarted())
        return WSANOTINITIALISED;
    auto fail = [](int err) {
        WSASetLastError(err);
        return err;
    };
    if (!ppResult)
        return fail(WSAEINVAL);
    if (!pNodeName && !pServiceName)
        return fail(WSAHOST_NOT_FOUND);
    bsd::ResolveHints hints;
    if (pHints) {
        if (pHints->ai_addrlen || pHints->ai_canonname || pHints->ai_addr || pHints->ai_next)
            return fail(WSANO_RECOVERY);
        if (pHints->ai_family != AF_UNSPEC && pHints->ai_family != AF_INET &&
            pHints->ai_family != AF_INET6)
            return fail(WSAEAFNOSUPPORT);
        hints.flags = pHints->ai_flags;
        hints.family = pHints->ai_family == AF_INET    ? bsd::kFamilyInet
                       : pHints->ai_family == AF_INET6 ? bsd::kFamilyInet6
                                                       : bsd::kFamilyUnspec;
        hints.socktype = pHints->ai_socktype;
        hints.protocol = pHints->ai_protocol;
    }
    std::string thisHost;
    if (pNodeName && !*pNodeName) {
        if (int err = bsd::HostName(&thisHost))
            return fail(err);
        pNodeName = thisHost.c_str();
    }
    if (pServiceName && !*pServiceName)
        pServiceName = nullptr;
    std::vector<bsd::Resolved> resolved;
    if (int err = bsd::Resolve(pNodeName, pServiceName, pHints ? &hints : nullptr, &resolved))
        return fail(err);
    ADDRINFOA *head = nullptr, **tail = &head;
    for (const bsd::Resolved &r : resolved) {
        ADDRINFOA *node = ws::NewNode(r);
        if (!node) {
            freeaddrinfo(head);
            return fail(WSA_NOT_ENOUGH_MEMORY);
        }
        *tail = node;
        tail = &node->ai_next;
    }
    *ppResult = head;
    WSASetLastError(0);
    return 0;
}

/* freeaddrinfo: frees a chain from getaddrinfo (NULL is ignored). */
void WSAAPI freeaddrinfo(PADDRINFOA pAddrInfo)
{
    while (pAddrInfo) {
        PADDRINFOA next = pAddrInfo->ai_next;
        std::free(pAddrInfo);
        pAddrInfo = next;
    }
}
