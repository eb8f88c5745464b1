/*
 * Sending the endpoint notices: a connection to each address on the notice
 * port, non-blocking so that an unreachable server costs at most six
 * seconds, the notice as one wire message, and the connections held a
 * moment (together, so a run costs one linger, not one per server) before
 * they close.
 */
#include <cstdio>
#include <cstring>

#include "printkeeper.h"

namespace {

SOCKET ConnectEndpoint(const char *szAddress)
{
    SOCKET sock = KelWs_socket(AF_INET, SOCK_STREAM, 0);
    if (sock == INVALID_SOCKET)
        return INVALID_SOCKET;
    sockaddr_in peer;
    memset(&peer, 0, sizeof(peer));
    peer.sin_family = AF_INET;
    peer.sin_port = KelWs_htons(ENDPOINT_PORT);
    peer.sin_addr.s_addr = KelWs_inet_addr(szAddress);
    /* Asynchronous selection makes the socket non-blocking; its message is
     * one the window ignores. */
    HWND hWnd = g_Printkeeper.hMainWnd;
    if (hWnd)
        KelWs_WSAAsyncSelect(sock, hWnd, WM_ENDPOINT_CONNECT, FD_CONNECT);
    bool bConnected = KelWs_connect(sock, (sockaddr *)&peer, sizeof(peer)) == 0;
    if (!bConnected && KelWs_WSAGetLastError() == WSAEWOULDBLOCK) {
        for (int iTick = 0; iTick < ENDPOINT_CONNECT_TICKS && !bConnected; iTick++) {
            fd_set writable;
            FD_ZERO(&writable);
            FD_SET(sock, &writable);
            timeval tv = {1, 0};
            if (KelWs_select(0, NULL, &writable, NULL, &tv) != 1)
                continue;
            sockaddr_in connected;
            int iLen = sizeof(connected);
            bConnected = KelWs_getpeername(sock, (sockaddr *)&connected, &iLen) == 0;
            if (!bConnected)
                break; /* refused: writable with an error */
        }
    }
    if (hWnd)
        KelWs_WSAAsyncSelect(sock, hWnd, 0, 0);
    if (!bConnected) {
        KelWs_closesocket(sock);
        return INVALID_SOCKET;
    }
    return sock;
}

} // namespace

bool TestEndpointConnection(const char *szAddress)
{
    SOCKET sock = ConnectEndpoint(szAddress);
    if (sock == INVALID_SOCKET)
        return false;
    KelWs_closesocket(sock);
    return true;
}

int SendEndpointNotices(const char (*pAddresses)[16], int iCount, bool bStopping, int iLingerMs)
{
    char szComputer[MAX_COMPUTERNAME_LENGTH + 1] = "";
    DWORD dwComputer = sizeof(szComputer);
    GetComputerNameA(szComputer, &dwComputer);
    char szOwn[32];
    OwnAddress(szOwn, sizeof(szOwn));
    char szNotice[128];
    FormatEndpointNotice(bStopping, szComputer, szOwn, szNotice, sizeof(szNotice));
    SOCKET socks[ENDPOINT_MAX_ADDRESSES];
    int iOpen = 0, iSent = 0;
    const DWORD dwStart = GetTickCount();
    for (int i = 0; i < iCount && iOpen < ENDPOINT_MAX_ADDRESSES; i++) {
        /* Unreachable servers must not hold a stopping service for minutes. */
        if (GetTickCount() - dwStart > ENDPOINT_RUN_MAX_MS) {
            LogLine("Endpoint notices: %d servers left out after %d s", iCount - i,
                    ENDPOINT_RUN_MAX_MS / 1000);
            break;
        }
        SOCKET sock = ConnectEndpoint(pAddresses[i]);
        if (sock == INVALID_SOCKET) {
            DebugLogLine("Endpoint %s:%d cannot be reached", pAddresses[i], ENDPOINT_PORT);
            continue;
        }
        if (SendString(sock, szNotice, SEND_NO_COMPRESS))
            iSent++;
        socks[iOpen++] = sock;
    }
    if (iOpen > 0 && iLingerMs > 0)
        Sleep((DWORD)iLingerMs);
    for (int i = 0; i < iOpen; i++)
        KelWs_closesocket(socks[i]);
    return iSent;
}
