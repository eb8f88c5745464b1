/*
 * POSIX half: host names and name resolution.
 */
#include "winsock/bsd_addr.h"

#include <winerror.h>

#include <arpa/inet.h>
#include <netdb.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <memory>

namespace winport::bsd {
namespace {

constexpr int kWinPassive = 0x1;
constexpr int kWinCanonName = 0x2;
constexpr int kWinNumericHost = 0x4;
constexpr int kWinNumericServ = 0x8;

using AddrInfoPtr = std::unique_ptr<addrinfo, void (*)(addrinfo *)>;

bool SameEndpoint(const Resolved &a, const Resolved &b)
{
    return a.family == b.family && a.address.port == b.address.port &&
           std::equal(a.address.addr, a.address.addr + 16, b.address.addr);
}

} // namespace

int HostName(std::string *out)
{
    char name[256] = {};
    if (gethostname(name, sizeof name - 1) != 0)
        return WsaErrorFromErrno(errno);
    *out = name;
    return 0;
}

/* Windows lists each address once with the socket type and protocol of the
 * hints (0 when none were given); glibc lists it once per socket type, so
 * without a socket type the duplicates are merged. */
int Resolve(const char *node, const char *service, const ResolveHints *hints,
            std::vector<Resolved> *out)
{
    out->clear();
    addrinfo h = {};
    const ResolveHints none;
    const ResolveHints &in = hints ? *hints : none;
    if (in.flags & ~(kWinPassive | kWinCanonName | kWinNumericHost | kWinNumericServ))
        return WSAEINVAL;
    h.ai_flags = ((in.flags & kWinPassive) ? AI_PASSIVE : 0) |
                 ((in.flags & kWinCanonName) ? AI_CANONNAME : 0) |
                 ((in.flags & kWinNumericHost) ? AI_NUMERICHOST : 0) |
                 ((in.flags & kWinNumericServ) ? AI_NUMERICSERV : 0);
    if (in.family == kFamilyUnspec)
        h.ai_family = AF_UNSPEC;
    else if ((h.ai_family = PosixFamily(in.family)) < 0)
        return WSAEAFNOSUPPORT;
    h.ai_socktype = in.socktype;
    h.ai_protocol = in.protocol;

    addrinfo *raw = nullptr;
    int rc = getaddrinfo(node, service, &h, &raw);
    if (rc != 0)
        return WsaErrorFromEai(rc, errno);
    AddrInfoPtr list(raw, freeaddrinfo);
    for (const addrinfo *ai = raw; ai; ai = ai->ai_next) {
        Resolved r;
        if (!ai->ai_addr || !FromPosix(ai->ai_addr, &r.address))
            continue;
        r.family = r.address.family;
        r.socktype = in.socktype ? ai->ai_socktype : 0;
        r.protocol = in.socktype ? ai->ai_protocol : in.protocol;
        if (!in.socktype && std::any_of(out->begin(), out->end(),
                                        [&r](const Resolved &x) { return SameEndpoint(x, r); }))
            continue;
        if (out->empty() && ai->ai_canonname && (in.flags & kWinCanonName))
            r.canonName = ai->ai_canonname;
        out->push_back(std::move(r));
    }
    return out->empty() ? WSANO_DATA : 0;
}

int ResolveHostV4(const char *name, std::string *canonName, std::vector<uint32_t> *addresses)
{
    addresses->clear();
    addrinfo h = {};
    h.ai_family = AF_INET;
    h.ai_socktype = SOCK_STREAM;
    h.ai_flags = AI_CANONNAME;
    addrinfo *raw = nullptr;
    int rc = getaddrinfo(name, nullptr, &h, &raw);
    if (rc != 0) {
        int err = WsaErrorFromEai(rc, errno);
        return err == WSAEAFNOSUPPORT || err == WSAEINVAL ? WSANO_DATA : err;
    }
    AddrInfoPtr list(raw, freeaddrinfo);
    *canonName = raw->ai_canonname ? raw->ai_canonname : name;
    for (const addrinfo *ai = raw; ai; ai = ai->ai_next) {
        if (ai->ai_family != AF_INET)
            continue;
        uint32_t a = reinterpret_cast<const sockaddr_in *>(ai->ai_addr)->sin_addr.s_addr;
        if (std::find(addresses->begin(), addresses->end(), a) == addresses->end())
            addresses->push_back(a);
    }
    return addresses->empty() ? WSANO_DATA : 0;
}

int FormatHost(const Address &address, std::string *out)
{
    char text[INET6_ADDRSTRLEN] = {};
    const int af = PosixFamily(address.family);
    if (af < 0)
        return WSAEINVAL;
    if (!inet_ntop(af, address.addr, text, sizeof text))
        return WSAEINVAL;
    *out = text;
    return 0;
}

} // namespace winport::bsd
