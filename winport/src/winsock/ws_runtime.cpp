/*
 * Windows half: the Winsock functions that need the runtime (windows,
 * message queues, cross-process hand-off).  Until it arrives they check
 * their socket and fail with WSAEOPNOTSUPP; WSASocketA without protocol
 * info is already socket().
 */
#include "winsock/ws_private.h"

/* WSAAsyncSelect: not yet (arrives with windows and message queues):
 * SOCKET_ERROR, WSAEOPNOTSUPP. */
int WSAAPI WSAAsyncSelect(SOCKET s, HWND hWnd, u_int wMsg, LONG lEvent)
{
    using namespace winport;
    (void)hWnd;
    (void)wMsg;
    (void)lEvent;
    if (!ws::CheckStarted())
        return SOCKET_ERROR;
    if (!bsd::IsSocket(s))
        return ws::Fail(WSAENOTSOCK);
    return ws::Fail(WSAEOPNOTSUPP);
}

/* WSADuplicateSocketA: not yet (arrives with the cross-process window
 * endpoints that carry the descriptor): SOCKET_ERROR, WSAEOPNOTSUPP. */
int WSAAPI WSADuplicateSocketA(SOCKET s, DWORD dwProcessId, LPWSAPROTOCOL_INFOA lpProtocolInfo)
{
    using namespace winport;
    (void)dwProcessId;
    if (!ws::CheckStarted())
        return SOCKET_ERROR;
    if (!bsd::IsSocket(s))
        return ws::Fail(WSAENOTSOCK);
    if (!lpProtocolInfo)
        return ws::Fail(WSAEFAULT);
    return ws::Fail(WSAEOPNOTSUPP);
}

/* WSASocketA: without protocol info, socket(af, type, protocol) (the group
 * and WSA_FLAG_OVERLAPPED are ignored); with protocol info (redeeming a
 * duplicated socket) not yet: INVALID_SOCKET, WSAEOPNOTSUPP. */
SOCKET WSAAPI WSASocketA(int af, int type, int protocol, LPWSAPROTOCOL_INFOA lpProtocolInfo,
                         GROUP g, DWORD dwFlags)
{
    using namespace winport;
    (void)g;
    (void)dwFlags;
    if (!ws::CheckStarted())
        return INVALID_SOCKET;
    if (lpProtocolInfo) {
        WSASetLastError(WSAEOPNOTSUPP);
        return INVALID_SOCKET;
    }
    return socket(af, type, protocol);
}
