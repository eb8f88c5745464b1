/*
 * Loopback connections, the socket handoff and request framing for the
 * server side on a command line and the end-to-end tests.
 */
#include <strings.h>

#include <chrono>
#include <cstring>
#include <thread>

#include <kellib.h>
#include <windows.h>

#include "handoff.h"

namespace {

struct FindWindowArgs {
    DWORD pid;
    HWND found;
};

BOOL CALLBACK MatchPrintWindow(HWND hWnd, LPARAM lParam)
{
    FindWindowArgs *pArgs = (FindWindowArgs *)lParam;
    DWORD pid = 0;
    GetWindowThreadProcessId(hWnd, &pid);
    char szClass[64] = "";
    if (pid == pArgs->pid && GetClassNameA(hWnd, szClass, sizeof(szClass)) &&
        strcasecmp(szClass, "PrintProcess") == 0) {
        pArgs->found = hWnd;
        return FALSE;
    }
    return TRUE;
}

} // namespace

int NovarcStartWinsock()
{
    static bool started = false;
    if (started)
        return 1;
    /* kellib's framing calls Winsock through its binders, which need the module. */
    if (!KELLoadWinsock())
        return 0;
    WSADATA data;
    if (WSAStartup(MAKEWORD(2, 2), &data) != 0)
        return 0;
    started = true;
    return 1;
}

int NovarcLoopbackPair(SOCKET *pServer, SOCKET *pClient)
{
    SOCKET listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (listener == INVALID_SOCKET)
        return 0;
    sockaddr_in addr;
    memset(&addr, 0, sizeof(addr));
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int len = sizeof(addr);
    bool ok = bind(listener, (sockaddr *)&addr, sizeof(addr)) == 0 && listen(listener, 1) == 0 &&
              getsockname(listener, (sockaddr *)&addr, &len) == 0;
    SOCKET server = ok ? socket(AF_INET, SOCK_STREAM, IPPROTO_TCP) : INVALID_SOCKET;
    ok = server != INVALID_SOCKET && connect(server, (sockaddr *)&addr, sizeof(addr)) == 0;
    SOCKET client = ok ? accept(listener, NULL, NULL) : INVALID_SOCKET;
    closesocket(listener);
    if (client == INVALID_SOCKET) {
        if (server != INVALID_SOCKET)
            closesocket(server);
        return 0;
    }
    *pServer = server;
    *pClient = client;
    return 1;
}

HWND NovarcFindPrintWindow(DWORD pid, int timeoutMs)
{
    /* Real time, not the tick count: under the test clock a 10000 ms wait
     * would last 100 ms, less than a loaded machine needs to start a client. */
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        FindWindowArgs args = {pid, NULL};
        EnumWindows(MatchPrintWindow, (LPARAM)&args);
        if (args.found)
            return args.found;
        if (std::chrono::steady_clock::now() >= deadline)
            return NULL;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

int NovarcHandOffSocket(SOCKET sock, DWORD pid, int timeoutMs)
{
    HWND hWnd = NovarcFindPrintWindow(pid, timeoutMs);
    if (!hWnd)
        return 0;
    WSAPROTOCOL_INFOA info;
    memset(&info, 0, sizeof(info));
    if (WSADuplicateSocketA(sock, pid, &info) != 0)
        return 0;
    COPYDATASTRUCT copy;
    copy.dwData = 0;
    copy.cbData = sizeof(info);
    copy.lpData = &info;
    SendMessageA(hWnd, WM_COPYDATA, 0, (LPARAM)&copy);
    return 1;
}

SOCKET NovarcConnect(const char *host, int port)
{
    ADDRINFOA hints;
    memset(&hints, 0, sizeof(hints));
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    PADDRINFOA result = NULL;
    char service[16];
    snprintf(service, sizeof(service), "%d", port);
    if (getaddrinfo(host, service, &hints, &result) != 0 || !result)
        return INVALID_SOCKET;
    SOCKET sock = socket(result->ai_family, SOCK_STREAM, IPPROTO_TCP);
    if (sock != INVALID_SOCKET && connect(sock, result->ai_addr, (int)result->ai_addrlen) != 0) {
        closesocket(sock);
        sock = INVALID_SOCKET;
    }
    freeaddrinfo(result);
    return sock;
}

std::string NovarcInt32(int value)
{
    std::string bytes(4, '\0');
    for (int i = 0; i < 4; i++)
        bytes[i] = (char)((unsigned)value >> (8 * i));
    return bytes;
}

int NovarcSendRequest(SOCKET sock, int type, const std::string &payload)
{
    const std::string message = NovarcInt32(type) + payload;
    /* The server seals its requests as the client seals its replies. */
    return SendMessageWithSize(sock, message.data(), (int)message.size(), 0x202);
}

bool NovarcReceiveReply(SOCKET sock, std::string *pReply, int timeoutMs)
{
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(sock, &readable);
    timeval tv;
    tv.tv_sec = timeoutMs / 1000;
    tv.tv_usec = (timeoutMs % 1000) * 1000;
    if (select(0, &readable, NULL, NULL, &tv) <= 0)
        return false;
    MsgBuf buffer = MsgBuf();
    InitMsgBuf(&buffer, 4);
    buffer.szBuf[0] = 0;
    int ok = KELrecv(sock, &buffer, RECV_BOUNDED);
    if (ok && buffer.iLen > 0)
        pReply->assign(buffer.szBuf, buffer.iLen);
    bool got = ok && buffer.iLen > 0;
    FreeMsgBuf(&buffer);
    return got;
}
