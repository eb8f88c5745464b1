/*
 * Windows half: the Winsock functions that need the runtime: WSAAsyncSelect
 * (socket events as window messages), WSADuplicateSocketA and WSASocketA
 * with protocol info (a socket handed to another process).
 *
 * A hand-off sends the descriptor itself to the target process's endpoint
 * (SCM_RIGHTS), where it is parked under a random token; the 372-byte
 * WSAPROTOCOL_INFOA carries that token (dwProviderReserved and
 * dwServiceFlags4, marked by dwServiceFlags3) beside the fields Windows
 * fills for the socket's provider.  WSASocketA in the target claims the
 * descriptor once.  Nothing but the record has to travel between the
 * processes, as on Windows.
 */
#include "winsock/bsd_runtime.h"
#include "winsock/ws_private.h"

#include "user/endpoint.h"
#include "user/handoff.h"

#include <fcntl.h>
#include <sys/random.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <mutex>

namespace winport::ws {
namespace {

constexpr DWORD kHandoffMark = 0x57504453; // "WPDS" in dwServiceFlags3: a duplicated socket

/* The event thread's poster: one window message per network event.  It
 * keeps the caller's last error (it also runs inside recv, send, accept). */
void PostSocketEvent(uint64_t window, uint32_t message, bsd::SocketValue s, uint32_t lParam)
{
    const DWORD saved = GetLastError();
    PostMessageA(reinterpret_cast<HWND>(window), message, static_cast<WPARAM>(s),
                 static_cast<LPARAM>(lParam));
    SetLastError(saved);
}

uint64_t NewToken()
{
    uint64_t token = 0;
    while (token == 0)
        if (getrandom(&token, sizeof token, 0) != sizeof token)
            token = 0;
    return token;
}

/* Fills the record as Windows' TCP/IP provider does for the socket, plus
 * the hand-off token. */
void FillProtocolInfo(const bsd::ShareInfo &share, uint64_t token, LPWSAPROTOCOL_INFOA info)
{
    std::memset(info, 0, sizeof *info);
    const bool stream = share.type == SOCK_STREAM;
    const bool v6 = share.family == AF_INET6;
    info->dwServiceFlags1 = stream ? 0x20066 : 0x20609; // XP1_* of TCP and of UDP
    info->dwServiceFlags3 = kHandoffMark;
    info->dwServiceFlags4 = static_cast<DWORD>(token >> 32);
    info->dwProviderFlags = 0x8; // PFL_MATCHES_PROTOCOL_ZERO
    info->ProviderId =
        GUID{0xE70F1AA0, 0xAB8B, 0x11CF, {0x8C, 0xA3, 0x00, 0x80, 0x5F, 0x48, 0xA1, 0x92}};
    info->dwCatalogEntryId = (v6 ? 1004 : 1001) + (stream ? 0 : 1);
    info->ProtocolChain.ChainLen = 1; // a base protocol
    info->iVersion = 2;
    info->iAddressFamily = share.family;
    info->iMaxSockAddr = v6 ? 28 : 16;
    info->iMinSockAddr = v6 ? 28 : 16;
    info->iSocketType = share.type;
    info->iProtocol = share.protocol;
    info->dwMessageSize = stream ? 0 : 65467;
    info->dwProviderReserved = static_cast<DWORD>(token);
    std::snprintf(info->szProtocol, sizeof info->szProtocol, "Tcpip [%s/IP%s]",
                  stream ? "TCP" : "UDP", v6 ? "v6" : "");
}

/* WSASocketA for a duplicated socket: claims the parked descriptor. */
SOCKET Redeem(const WSAPROTOCOL_INFOA &info)
{
    const uint64_t token =
        (static_cast<uint64_t>(info.dwServiceFlags4) << 32) | info.dwProviderReserved;
    handoff::Parked parked;
    if (!handoff::Claim(token, &parked)) {
        WSASetLastError(WSAEINVAL); // never handed to us, claimed already, or expired
        return INVALID_SOCKET;
    }
    bsd::SocketValue s;
    if (int err = bsd::AdoptDescriptor(parked.fd, &s)) {
        close(parked.fd);
        WSASetLastError(err);
        return INVALID_SOCKET;
    }
    return static_cast<SOCKET>(s);
}

} // namespace
} // namespace winport::ws

/* WSAAsyncSelect: asks for FD_* events of the socket as messages wMsg to
 * hWnd (wParam the socket, lParam WSAMAKESELECTREPLY(event, error)), with
 * Winsock's re-enabling rules, replacing any earlier request; lEvent 0
 * stops them.  The socket becomes non-blocking either way.  A window that
 * does not exist (with lEvent nonzero): WSAEINVAL.  A socket shared with
 * another process keeps one registration per process (Windows has one
 * for all its descriptors).  FD_OOB is accepted but never reported. */
int WSAAPI WSAAsyncSelect(SOCKET s, HWND hWnd, u_int wMsg, LONG lEvent)
{
    using namespace winport;
    if (!ws::CheckStarted())
        return SOCKET_ERROR;
    if (!bsd::IsSocket(s))
        return ws::Fail(WSAENOTSOCK);
    if (lEvent && !IsWindow(hWnd))
        return ws::Fail(WSAEINVAL);
    static std::once_flag installed;
    std::call_once(installed, [] { bsd::SetAsyncPoster(ws::PostSocketEvent); });
    if (int err = bsd::AsyncSelect(s, reinterpret_cast<uint64_t>(hWnd), wMsg,
                                   static_cast<uint32_t>(lEvent)))
        return ws::Fail(err);
    return 0;
}

/* WSADuplicateSocketA: hands the socket to process dwProcessId (which must
 * have a window, hence an endpoint, or be this process) and fills the
 * 372-byte record with which WSASocketA there claims it, once, within
 * 120 s.  The caller keeps its own socket.  No such process, or one
 * without an endpoint: WSAEINVAL; a NULL record: WSAEFAULT. */
int WSAAPI WSADuplicateSocketA(SOCKET s, DWORD dwProcessId, LPWSAPROTOCOL_INFOA lpProtocolInfo)
{
    using namespace winport;
    if (!ws::CheckStarted())
        return SOCKET_ERROR;
    if (!bsd::IsSocket(s))
        return ws::Fail(WSAENOTSOCK);
    if (!lpProtocolInfo)
        return ws::Fail(WSAEFAULT);
    bsd::ShareInfo share;
    if (int err = bsd::DescribeForSharing(s, &share))
        return ws::Fail(err);
    const uint64_t token = ws::NewToken();
    if (dwProcessId == GetCurrentProcessId()) {
        const int copy = fcntl(share.fd, F_DUPFD_CLOEXEC, 0);
        if (copy < 0)
            return ws::Fail(WSAEMFILE);
        handoff::Park(token, handoff::Parked{copy, share.family, share.type, share.protocol});
    } else {
        wire::ParkRequest request{token, share.family, share.type, share.protocol};
        wire::Reply reply;
        if (!dwProcessId ||
            !endpoint::Call(dwProcessId, wire::Kind::Park, wire::Encode(request), share.fd,
                            &reply) ||
            reply.status != wire::Status::Ok)
            return ws::Fail(WSAEINVAL);
    }
    ws::FillProtocolInfo(share, token, lpProtocolInfo);
    return 0;
}

/* WSASocketA: without protocol info, socket(af, type, protocol).  With the
 * record of WSADuplicateSocketA, the duplicated socket (af, type and
 * protocol may be FROM_PROTOCOL_INFO; the descriptor is what was handed
 * over, whatever they say); a record already claimed, expired or meant for
 * another process: WSAEINVAL.  With another record, a new socket of its
 * family, type and protocol.  The group and WSA_FLAG_OVERLAPPED are
 * ignored. */
SOCKET WSAAPI WSASocketA(int af, int type, int protocol, LPWSAPROTOCOL_INFOA lpProtocolInfo,
                         GROUP g, DWORD dwFlags)
{
    using namespace winport;
    (void)g;
    (void)dwFlags;
    if (!ws::CheckStarted())
        return INVALID_SOCKET;
    if (!lpProtocolInfo)
        return socket(af, type, protocol);
    if (lpProtocolInfo->dwServiceFlags3 == ws::kHandoffMark)
        return ws::Redeem(*lpProtocolInfo);
    return socket(af == FROM_PROTOCOL_INFO ? lpProtocolInfo->iAddressFamily : af,
                  type == FROM_PROTOCOL_INFO ? lpProtocolInfo->iSocketType : type,
                  protocol == FROM_PROTOCOL_INFO ? lpProtocolInfo->iProtocol : protocol);
}
