/*
 * The companion's tray icon and its menu: stop the service, its version,
 * the connectivity test, the client debug logs (switch, view, archive).
 * The icon is added again whenever the shell has lost it (a restarted
 * desktop).  Stopping and switching go to the service over the pipe; the
 * service decides whether this user may.
 */
#include <cstdio>
#include <cstring>
#include <string>

#include "printkeeper.h"

#include <shellapi.h> /* after windows.h, which printkeeper.h brings */

namespace {

bool g_bIconShown = false;

unsigned long long Ticks(const FILETIME &ft)
{
    return ((unsigned long long)ft.dwHighDateTime << 32) | ft.dwLowDateTime;
}

NOTIFYICONDATAA IconData(HWND hWnd)
{
    NOTIFYICONDATAA nid;
    memset(&nid, 0, sizeof(nid));
    nid.cbSize = sizeof(nid);
    nid.hWnd = hWnd;
    nid.uID = TRAY_ICON_ID;
    nid.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    nid.uCallbackMessage = WM_TRAY_CALLBACK;
    nid.hIcon = LoadIconA(g_Printkeeper.hInstance, MAKEINTRESOURCEA(TRAY_ICON_ID));
    if (!nid.hIcon)
        nid.hIcon = LoadIconA(NULL, IDI_APPLICATION);
    snprintf(nid.szTip, sizeof(nid.szTip), "%s", TRAY_TIP);
    return nid;
}

void TestConnectivity(HWND hWnd)
{
    static char addresses[ENDPOINT_MAX_ADDRESSES][16];
    const int iCount = CollectEndpointAddresses(addresses, ENDPOINT_MAX_ADDRESSES);
    std::string report;
    for (int i = 0; i < iCount; i++) {
        LogLine("TestConnection:%s", addresses[i]);
        report += std::string(addresses[i]) + " \t " +
                  (TestEndpointConnection(addresses[i]) ? "Connected" : "Error Connecting") +
                  " \r\n";
    }
    MessageBoxA(hWnd, report.c_str(), "Test Outbound Connectivity", MB_OK);
}

void ViewDebugLog(HWND hWnd)
{
    std::string tail;
    if (!ReadNewestDebugLog(&tail)) {
        MessageBoxA(hWnd,
                    FileExists(DEBUG_MARKER_FILE)
                        ? "No Debug Errors To Report!"
                        : "No Debug Errors To Report! (Debug Mode Is OFF)",
                    "Current Debug Log Is Empty", MB_OK);
        return;
    }
    MessageBoxA(hWnd, tail.c_str(), "NovarcPrint Debug Log", MB_OK);
}

void ArchiveDebugLogs(HWND hWnd)
{
    if (MessageBoxA(hWnd, "Are You SURE You Want To Delete ALL NovarcPrint Debug Logs?",
                    "Delete NovarcPrint Debug Logs",
                    MB_YESNO | MB_ICONWARNING | MB_TOPMOST) != IDYES)
        return;
    WIN32_FIND_DATAA fd;
    HANDLE hFind = FindFirstFileA(CLIENT_DEBUG_DIR "*", &fd);
    if (hFind == INVALID_HANDLE_VALUE)
        return;
    do {
        if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            continue;
        char szPath[2 * MAX_PATH];
        if (snprintf(szPath, sizeof(szPath), "%s%s", CLIENT_DEBUG_DIR, fd.cFileName) <
            (int)sizeof(szPath))
            DeleteFileA(szPath);
    } while (FindNextFileA(hFind, &fd));
    FindClose(hFind);
}

} // namespace

bool ReadNewestDebugLog(std::string *pText)
{
    WIN32_FIND_DATAA fd;
    HANDLE hFind = FindFirstFileA(CLIENT_DEBUG_DIR "*.log", &fd);
    if (hFind == INVALID_HANDLE_VALUE)
        return false;
    char szNewest[2 * MAX_PATH] = "";
    FILETIME ftNewest = {0, 0};
    do {
        if ((fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ||
            strlen(CLIENT_DEBUG_DIR) + strlen(fd.cFileName) >= sizeof(szNewest))
            continue;
        if (!szNewest[0] || Ticks(fd.ftLastWriteTime) > Ticks(ftNewest)) {
            snprintf(szNewest, sizeof(szNewest), "%s%s", CLIENT_DEBUG_DIR, fd.cFileName);
            ftNewest = fd.ftLastWriteTime;
        }
    } while (FindNextFileA(hFind, &fd));
    FindClose(hFind);
    HANDLE hFile = szNewest[0]
                       ? CreateFileA(szNewest, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                     NULL, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL)
                       : INVALID_HANDLE_VALUE;
    if (hFile == INVALID_HANDLE_VALUE)
        return false;
    DWORD dwHigh = 0;
    const DWORD dwSize = GetFileSize(hFile, &dwHigh);
    const unsigned long long ullSize = ((unsigned long long)dwHigh << 32) | dwSize;
    const DWORD dwWant = ullSize > DEBUG_LOG_VIEW_BYTES ? DEBUG_LOG_VIEW_BYTES : (DWORD)ullSize;
    LONG lHigh = (LONG)((ullSize - dwWant) >> 32);
    SetFilePointer(hFile, (LONG)(ullSize - dwWant), &lHigh, FILE_BEGIN);
    pText->assign(dwWant, '\0');
    DWORD dwRead = 0;
    const bool bOk = ReadFile(hFile, &(*pText)[0], dwWant, &dwRead, NULL) != FALSE;
    CloseHandle(hFile);
    pText->resize(dwRead);
    return bOk && dwRead > 0;
}

void UpkeepTrayIcon(HWND hWnd)
{
    NOTIFYICONDATAA nid = IconData(hWnd);
    if (Shell_NotifyIconA(NIM_ADD, &nid)) {
        g_bIconShown = true;
        return;
    }
    if (g_bIconShown && !Shell_NotifyIconA(NIM_MODIFY, &nid))
        Shell_NotifyIconA(NIM_ADD, &nid);
}

void RemoveTrayIcon(HWND hWnd)
{
    NOTIFYICONDATAA nid = IconData(hWnd);
    Shell_NotifyIconA(NIM_DELETE, &nid);
    g_bIconShown = false;
}

void ShowTrayMenu(HWND hWnd, HANDLE hPipe)
{
    HMENU hMenu = CreatePopupMenu();
    if (!hMenu)
        return;
    AppendMenuA(hMenu, MF_STRING, TRAY_MENU_STOP, "Stop Print Service");
    AppendMenuA(hMenu, MF_STRING, TRAY_MENU_VERSION, "Print Service Version");
    AppendMenuA(hMenu, MF_SEPARATOR, 0, NULL);
    AppendMenuA(hMenu, MF_STRING, TRAY_MENU_CONNECTIVITY, "Test Outbound Connectivity");
    AppendMenuA(hMenu, MF_SEPARATOR, 0, NULL);
    AppendMenuA(hMenu, MF_STRING, TRAY_MENU_VIEW_LOGS, "View Debug Logs");
    AppendMenuA(hMenu, MF_STRING, TRAY_MENU_DEBUG,
                FileExists(DEBUG_MARKER_FILE) ? "Turn OFF (Debug Mode)" : "Turn ON (Debug Mode)");
    AppendMenuA(hMenu, MF_STRING, TRAY_MENU_ARCHIVE, "Archive Debug Logs");
    POINT pt;
    GetCursorPos(&pt);
    SetForegroundWindow(hWnd);
    const int iChoice =
        TrackPopupMenu(hMenu, TPM_RETURNCMD | TPM_RIGHTBUTTON, pt.x, pt.y, 0, hWnd, NULL);
    DestroyMenu(hMenu);
    char szText[128];
    switch (iChoice) {
    case TRAY_MENU_STOP:
        if (MessageBoxA(hWnd, "Are You SURE?", "STOP The Print Service",
                        MB_YESNO | MB_ICONWARNING | MB_TOPMOST) == IDYES)
            WritePipeCommand(hPipe, PIPE_CMD_SHUTDOWN);
        break;
    case TRAY_MENU_VERSION:
        snprintf(szText, sizeof(szText), "You Are Currently Running Print Service Version %d.%d ",
                 PRINTKEEPER_VERSION_MAJOR, PRINTKEEPER_VERSION_MINOR);
        MessageBoxA(hWnd, szText, "VERSION INFO", MB_OK);
        break;
    case TRAY_MENU_CONNECTIVITY:
        TestConnectivity(hWnd);
        break;
    case TRAY_MENU_DEBUG:
        WritePipeCommand(hPipe, PIPE_CMD_DEBUG_LOG);
        break;
    case TRAY_MENU_VIEW_LOGS:
        ViewDebugLog(hWnd);
        break;
    case TRAY_MENU_ARCHIVE:
        ArchiveDebugLogs(hWnd);
        break;
    default:
        break;
    }
}
