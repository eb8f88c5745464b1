/*
 * The tray companion ("-UI"): one per desktop session, started there by the
 * session's autostart entry.  It connects to the service's pipe, shows the
 * tray icon (tray_menu.cpp) and says "HEY" every two seconds; when a write
 * fails the service is gone, and the companion ends with its icon (so it
 * outlives the service by at most two seconds).
 */
#include <cstring>

#include "printkeeper.h"

#include <namedpipeapi.h> /* after windows.h, which printkeeper.h brings */
#include <wtsapi32.h>

namespace {

HANDLE g_hPipe = INVALID_HANDLE_VALUE;

void ConnectOrQuit(HWND hWnd)
{
    KELLoadWinsock();
    g_hPipe = OpenServicePipe();
    if (g_hPipe == INVALID_HANDLE_VALUE) {
        LogLine("Unable To Open Named Pipe To Print Service. Exiting User Interface Application");
        DestroyWindow(hWnd);
        return;
    }
    SetTimer(hWnd, TIMER_UI_KEEPALIVE, TIMER_UI_KEEPALIVE_MS, NULL);
    UpkeepTrayIcon(hWnd);
}

LRESULT CALLBACK UiWndProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam)
{
    switch (uMsg) {
    case WM_CREATE:
        SetTimer(hWnd, TIMER_UI_TRAY_ICON, TIMER_UI_TRAY_ICON_MS, NULL);
        PostMessageA(hWnd, WM_UI_CONNECT, 0, 0);
        return 0;
    case WM_UI_CONNECT:
        ConnectOrQuit(hWnd);
        return 0;
    case WM_TIMER:
        if (wParam == TIMER_UI_TRAY_ICON && g_hPipe != INVALID_HANDLE_VALUE)
            UpkeepTrayIcon(hWnd);
        else if (wParam == TIMER_UI_KEEPALIVE && !WritePipeCommand(g_hPipe, PIPE_CMD_KEEPALIVE))
            DestroyWindow(hWnd);
        return 0;
    case WM_TRAY_CALLBACK:
        if (lParam == WM_RBUTTONDOWN)
            ShowTrayMenu(hWnd, g_hPipe);
        return 0;
    case WM_DESTROY:
        KillTimer(hWnd, TIMER_UI_TRAY_ICON);
        KillTimer(hWnd, TIMER_UI_KEEPALIVE);
        RemoveTrayIcon(hWnd);
        if (g_hPipe != INVALID_HANDLE_VALUE)
            CloseHandle(g_hPipe);
        g_hPipe = INVALID_HANDLE_VALUE;
        PostQuitMessage(0);
        return 0;
    default:
        return DefWindowProcA(hWnd, uMsg, wParam, lParam);
    }
}

} // namespace

HANDLE OpenServicePipe()
{
    for (;;) {
        HANDLE hPipe = CreateFileA(UI_PIPE_NAME, GENERIC_READ | GENERIC_WRITE, 0, NULL,
                                   OPEN_EXISTING, 0, NULL);
        if (hPipe != INVALID_HANDLE_VALUE) {
            DWORD dwMode = PIPE_READMODE_MESSAGE;
            if (!SetNamedPipeHandleState(hPipe, &dwMode, NULL, NULL)) {
                LogLine("StartClientUserInterfaceNamedPipeThread() SetNamedPipeHandleState() "
                        "FAILED");
                CloseHandle(hPipe);
                return INVALID_HANDLE_VALUE;
            }
            return hPipe;
        }
        if (GetLastError() != ERROR_PIPE_BUSY) {
            LogLine("StartClientUserInterfaceNamedPipeThread() CreateFile() FAILED ERROR:%d",
                    (int)GetLastError());
            return INVALID_HANDLE_VALUE;
        }
        if (!WaitNamedPipeA(UI_PIPE_NAME, UI_PIPE_WAIT_MS)) {
            LogLine("StartClientUserInterfaceNamedPipeThread() WaitNamedPipe(FAILED) Could not "
                    "open pipe");
            return INVALID_HANDLE_VALUE;
        }
    }
}

bool WritePipeCommand(HANDLE hPipe, const char *szCommand)
{
    const DWORD dwSize = (DWORD)strlen(szCommand) + 1;
    DWORD dwWritten = 0;
    return hPipe != INVALID_HANDLE_VALUE && WriteFile(hPipe, szCommand, dwSize, &dwWritten, NULL) &&
           dwWritten == dwSize;
}

HWND CreateUserInterfaceWindow()
{
    WNDCLASSA wc;
    memset(&wc, 0, sizeof(wc));
    wc.lpfnWndProc = UiWndProc;
    wc.hInstance = g_Printkeeper.hInstance;
    wc.lpszClassName = UI_WINDOW_CLASS;
    RegisterClassA(&wc);
    return CreateWindowExA(0, UI_WINDOW_CLASS, UI_WINDOW_TITLE, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                           CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, NULL, NULL,
                           g_Printkeeper.hInstance, NULL);
}

/* The desktop sessions with a user (session 0 is the services'); -1 when
 * they cannot be listed. */
int CountUserSessions()
{
    PWTS_SESSION_INFOA pInfo = NULL;
    DWORD dwCount = 0;
    if (!WTSEnumerateSessionsA(WTS_CURRENT_SERVER_HANDLE, 0, 1, &pInfo, &dwCount)) {
        LogLine("WTSEnumerateSessions(FAILED)ERROR :%d", (int)GetLastError());
        return -1;
    }
    int iUsers = 0;
    for (DWORD i = 0; i < dwCount; i++) {
        if (pInfo[i].SessionId == 0)
            continue;
        LPSTR pszUser = NULL;
        DWORD dwBytes = 0;
        if (!WTSQuerySessionInformationA(WTS_CURRENT_SERVER_HANDLE, pInfo[i].SessionId, WTSUserName,
                                         &pszUser, &dwBytes)) {
            LogLine("WTSQuerySessionInformation(FAILED)ERROR :%d", (int)GetLastError());
            continue;
        }
        if (dwBytes > 1 && pszUser[0])
            iUsers++;
        WTSFreeMemory(pszUser);
    }
    WTSFreeMemory(pInfo);
    return iUsers;
}

bool CheckSessionCompanions()
{
    static int s_iChecks = 0;
    const int iUsers = CountUserSessions();
    const int iCompanions = PipeConnectionCount();
    const bool bDone =
        iUsers < 0 || (iUsers > 0 && iCompanions >= iUsers) || ++s_iChecks >= LAUNCH_UI_CHECKS;
    if (!bDone)
        return false;
    s_iChecks = 0;
    if (iUsers >= 0)
        LogLine("Tray companions connected: %d of %d desktop sessions", iCompanions, iUsers);
    return true;
}

int RunUserInterface()
{
    HANDLE hMutex = CreateMutexA(NULL, FALSE, UI_MUTEX_NAME);
    if (hMutex && GetLastError() == ERROR_ALREADY_EXISTS) {
        LogLine("NovarcPrintkeeperUIMutex ERROR_ALREADY_EXISTS");
        CloseHandle(hMutex);
        return 0;
    }
    if (!hMutex) /* runs without the one-per-session guard */
        LogLine("NovarcPrintkeeperUIMutex CreateMutex(FAILED) ERROR:%d", (int)GetLastError());
    HWND hWnd = CreateUserInterfaceWindow();
    if (!hWnd) {
        if (hMutex)
            CloseHandle(hMutex);
        return 1;
    }
    MSG msg;
    memset(&msg, 0, sizeof(msg));
    while (GetMessageA(&msg, NULL, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    if (hMutex)
        CloseHandle(hMutex);
    return 0;
}
