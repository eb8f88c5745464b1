/*
 * The other process of the cross-process window tests: a small GUI program
 * that the tests start with CreateProcessA (as c:\bin\userchild.exe under
 * the scratch root) and talk to through window messages, as the print
 * service talks to a print client.  Its exit code reports what it saw.
 *
 *   userchild.exe window <class> <title>   a window and a message loop
 *   userchild.exe late <class> <ms>        the same, after sleeping <ms>
 *   userchild.exe exit                     ends at once (no window)
 *
 * The window answers:
 *   WM_COPYDATA dwData 1  the FNV-1a hash of the bytes
 *               dwData 2  claims the socket in the record and echoes on it
 *                         (WSAAsyncSelect FD_READ | FD_CLOSE); 1 on success
 *               dwData 3  claims the record twice: bit 0 the first worked,
 *                         bit 1 the second failed with WSAEINVAL
 *               dwData 4  keeps the record and claims it when timer 7
 *                         fires (lpData + 372: the delay in ms, 4 bytes);
 *                         exits 10 if that failed with WSAEINVAL, 11 if not
 *   kQuitWith (posted)    exits with wParam
 *   kDouble (sent)        returns wParam * 2
 *   kMark / kAskMark      remembers wParam / returns it
 *   FD_CLOSE on the echo socket: exits 20
 * Tests only.
 */
#include <windows.h>
#include <winsock2.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

namespace {

constexpr UINT kQuitWith = WM_APP + 1;
constexpr UINT kDouble = WM_APP + 2;
constexpr UINT kMark = WM_APP + 3;
constexpr UINT kAskMark = WM_APP + 4;
constexpr UINT kSocketEvent = WM_APP + 10;
constexpr UINT_PTR kClaimTimer = 7;

WSAPROTOCOL_INFOA g_kept;
WPARAM g_mark = 0;
int g_exitCode = 0;

uint32_t Fnv1a(const unsigned char *p, size_t n)
{
    uint32_t h = 2166136261u;
    for (size_t i = 0; i < n; i++)
        h = (h ^ p[i]) * 16777619u;
    return h;
}

SOCKET Claim(WSAPROTOCOL_INFOA *info)
{
    return WSASocketA(FROM_PROTOCOL_INFO, FROM_PROTOCOL_INFO, FROM_PROTOCOL_INFO, info, 0,
                      WSA_FLAG_OVERLAPPED);
}

void Quit(int code)
{
    g_exitCode = code;
    PostQuitMessage(code);
}

LRESULT OnCopyData(HWND hwnd, const COPYDATASTRUCT *cds)
{
    auto *record = static_cast<WSAPROTOCOL_INFOA *>(cds->lpData);
    switch (cds->dwData) {
    case 1:
        return Fnv1a(static_cast<const unsigned char *>(cds->lpData), cds->cbData);
    case 2: {
        SOCKET s = Claim(record);
        if (s == INVALID_SOCKET)
            return 0;
        return WSAAsyncSelect(s, hwnd, kSocketEvent, FD_READ | FD_CLOSE) == 0;
    }
    case 3: {
        SOCKET first = Claim(record);
        SOCKET second = Claim(record);
        const bool secondRefused = second == INVALID_SOCKET && WSAGetLastError() == WSAEINVAL;
        closesocket(first);
        return (first != INVALID_SOCKET ? 1 : 0) | (secondRefused ? 2 : 0);
    }
    case 4: {
        uint32_t delay = 0;
        std::memcpy(&g_kept, record, sizeof g_kept);
        std::memcpy(&delay, static_cast<const char *>(cds->lpData) + sizeof g_kept, sizeof delay);
        SetTimer(hwnd, kClaimTimer, delay, nullptr);
        return 1;
    }
    default:
        return -1;
    }
}

void OnSocketEvent(SOCKET s, WORD event)
{
    if (event == FD_READ) {
        char buf[4096];
        int n = recv(s, buf, sizeof buf, 0);
        for (int sent = 0; n > 0 && sent < n;) {
            int k = send(s, buf + sent, n - sent, 0);
            if (k > 0)
                sent += k;
            else if (WSAGetLastError() == WSAEWOULDBLOCK)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            else
                break;
        }
    } else if (event == FD_CLOSE) {
        closesocket(s);
        Quit(20);
    }
}

LRESULT CALLBACK ChildProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp)
{
    switch (msg) {
    case WM_COPYDATA:
        return OnCopyData(hwnd, reinterpret_cast<const COPYDATASTRUCT *>(lp));
    case kQuitWith:
        Quit(static_cast<int>(wp));
        return 0;
    case kDouble:
        return static_cast<LRESULT>(wp * 2);
    case kMark:
        g_mark = wp;
        return 0;
    case kAskMark:
        return static_cast<LRESULT>(g_mark);
    case kSocketEvent:
        OnSocketEvent(static_cast<SOCKET>(wp), WSAGETSELECTEVENT(lp));
        return 0;
    case WM_TIMER:
        if (wp == kClaimTimer) {
            KillTimer(hwnd, kClaimTimer);
            SOCKET s = Claim(&g_kept);
            Quit(s == INVALID_SOCKET && WSAGetLastError() == WSAEINVAL ? 10 : 11);
        }
        return 0;
    case WM_DESTROY:
        Quit(g_exitCode);
        return 0;
    default:
        return DefWindowProcA(hwnd, msg, wp, lp);
    }
}

int RunWindow(const char *cls, const char *title, int sleepMs)
{
    WSADATA data;
    if (WSAStartup(MAKEWORD(2, 2), &data) != 0)
        return 90;
    WNDCLASSEXA wc = {};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = ChildProc;
    wc.lpszClassName = cls;
    if (!RegisterClassExA(&wc))
        return 91;
    if (!CreateWindowExA(0, cls, title, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT,
                         CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr, nullptr, nullptr))
        return 92;
    if (sleepMs > 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(sleepMs)); // busy starting up
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    WSACleanup();
    return static_cast<int>(msg.wParam);
}

} // namespace

int main(int argc, char **argv)
{
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "window" && argc > 3)
        return RunWindow(argv[2], argv[3], 0);
    if (mode == "late" && argc > 3)
        return RunWindow(argv[2], "late", std::atoi(argv[3]));
    if (mode == "exit")
        return 3;
    return 99;
}
