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

#include <commdlg.h> /* after windows.h, which printkeeper.h brings */
#include <shellapi.h>

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

void ShowNoDebugErrors(HWND hWnd)
{
    MessageBoxA(hWnd,
                FileExists(DEBUG_MARKER_FILE) ? "No Debug Errors To Report!"
                                              : "No Debug Errors To Report! (Debug Mode Is OFF)",
                "Current Debug Log Is Empty", MB_OK);
}

/* The log viewer: the user picks a client debug log (the newest offered
 * first) and sees its end.  With no log at all there is nothing to pick. */
void ViewDebugLog(HWND hWnd)
{
    char szFile[MAX_PATH] = "";
    if (!NewestDebugLogName(szFile, sizeof(szFile))) {
        ShowNoDebugErrors(hWnd);
        return;
    }
    OPENFILENAMEA ofn;
    memset(&ofn, 0, sizeof(ofn));
    ofn.lStructSize = sizeof(ofn);
    ofn.hwndOwner = hWnd;
    ofn.lpstrFilter = "NovarcPrint Log Files (*.log)\0*.log\0";
    ofn.nFilterIndex = 1;
    ofn.lpstrFile = szFile;
    ofn.nMaxFile = sizeof(szFile);
    ofn.lpstrInitialDir = CLIENT_DEBUG_FOLDER;
    ofn.lpstrTitle = "Select NovarcPrint Log File to View.";
    ofn.Flags = OFN_EXPLORER | OFN_NONETWORKBUTTON | OFN_FILEMUSTEXIST | OFN_HIDEREADONLY;
    if (!GetOpenFileNameA(&ofn))
        return;
    std::string tail;
    switch (ReadDebugLogTail(szFile, &tail)) {
    case DEBUG_LOG_UNREADABLE:
        ShowNoDebugErrors(hWnd);
        break;
    case DEBUG_LOG_CORRUPT:
        MessageBoxA(hWnd, "Debug Log Is Corrupt", "ERROR", MB_OK);
        break;
    default:
        MessageBoxA(hWnd, tail.c_str(), "NovarcPrint Debug Log", MB_OK);
        break;
    }
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

bool NewestDebugLogName(char *szName, int iSize)
{
    WIN32_FIND_DATAA fd;
    HANDLE hFind = FindFirstFileA(CLIENT_DEBUG_DIR "*.log", &fd);
    if (hFind == INVALID_HANDLE_VALUE)
        return false;
    FILETIME ftNewest = {0, 0};
    szName[0] = 0;
    do {
        if ((fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) || (int)strlen(fd.cFileName) >= iSize)
            continue;
        if (!szName[0] || Ticks(fd.ftLastWriteTime) > Ticks(ftNewest)) {
            snprintf(szName, (size_t)iSize, "%s", fd.cFileName);
            ftNewest = fd.ftLastWriteTime;
        }
    } while (FindNextFileA(hFind, &fd));
    FindClose(hFind);
    return szName[0] != 0;
}

int ReadDebugLogTail(const char *szPath, std::string *pText)
{
    HANDLE hFile = CreateFileA(szPath, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
    if (hFile == INVALID_HANDLE_VALUE)
        return DEBUG_LOG_UNREADABLE;
    DWORD dwHigh = 0;
    const DWORD dwSize = GetFileSize(hFile, &dwHigh);
    if (dwSize == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) {
        CloseHandle(hFile);
        return DEBUG_LOG_CORRUPT;
    }
    const unsigned long long ullSize = ((unsigned long long)dwHigh << 32) | dwSize;
    const DWORD dwWant = ullSize > DEBUG_LOG_VIEW_BYTES ? DEBUG_LOG_VIEW_BYTES : (DWORD)ullSize;
    LONG lHigh = (LONG)((ullSize - dwWant) >> 32);
    SetFilePointer(hFile, (LONG)(ullSize - dwWant), &lHigh, FILE_BEGIN);
    pText->assign(dwWant, '\0');
    DWORD dwRead = 0;
    const bool bOk = ReadFile(hFile, &(*pText)[0], dwWant, &dwRead, NULL) != FALSE;
    CloseHandle(hFile);
    pText->resize(dwRead);
    /* An empty log has no errors to report. */
    return bOk && dwRead > 0 ? DEBUG_LOG_SHOWN : DEBUG_LOG_UNREADABLE;
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
