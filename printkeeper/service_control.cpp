/*
 * How the program starts and how it talks to the service control manager:
 * the command line modes, the service entry, status reports, the control
 * and console handlers, install/stop/remove and the event log.
 *
 * In debug mode ("-debug") the program runs the same service body as an
 * ordinary console program: nothing is reported to the service control
 * manager and Ctrl+C stops it.
 */
#include <cstdio>
#include <cstring>

#include "printkeeper.h"

namespace {

/* The system's text for the last error, "text (0xcode)"; empty when the
 * text does not fit. */
const char *GetLastErrorText(char *szBuf, DWORD dwSize)
{
    DWORD dwError = GetLastError();
    LPSTR lpszTemp = NULL;
    DWORD dwRet = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                     FORMAT_MESSAGE_ARGUMENT_ARRAY | FORMAT_MESSAGE_IGNORE_INSERTS,
                                 NULL, dwError, LANG_NEUTRAL, (LPSTR)&lpszTemp, 0, NULL);
    if (!dwRet || dwSize < dwRet + 14) {
        szBuf[0] = 0;
    } else {
        while (dwRet > 0 && (lpszTemp[dwRet - 1] == '\n' || lpszTemp[dwRet - 1] == '\r'))
            lpszTemp[--dwRet] = 0;
        snprintf(szBuf, dwSize, "%s (0x%x)", lpszTemp, (unsigned)dwError);
    }
    if (lpszTemp)
        LocalFree((HLOCAL)lpszTemp);
    return szBuf;
}

/* Console output of install/stop/remove, kept in the service log as well. */
void Say(const char *szFormat, const char *szArg)
{
    printf(szFormat, szArg);
    printf("\n");
    fflush(stdout);
    char szLine[600];
    snprintf(szLine, sizeof(szLine), szFormat, szArg);
    LogLine("%s", szLine + strspn(szLine, "\n")); /* the console's line breaks stay there */
}

VOID WINAPI ServiceCtrl(DWORD dwCtrlCode)
{
    PrintkeeperGlobals &g = g_Printkeeper;
    if (dwCtrlCode == SERVICE_CONTROL_STOP) {
        ReportStatusToSCMgr(SERVICE_STOP_PENDING, NO_ERROR, 0);
        ServiceStop();
        return;
    }
    ReportStatusToSCMgr(g.ssStatus.dwCurrentState, NO_ERROR, 0);
}

/* The service's own console: Ctrl+C only beeps, closing is ignored, and a
 * shutdown is remembered so that no new print connection is taken. */
BOOL WINAPI ServiceConsoleHandler(DWORD dwCtrlType)
{
    switch (dwCtrlType) {
    case CTRL_C_EVENT:
        Beep(1000, 1000);
        return TRUE;
    case CTRL_SHUTDOWN_EVENT:
        g_Printkeeper.bShutdownEvent = true;
        return TRUE;
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
        return TRUE;
    default:
        return FALSE;
    }
}

BOOL WINAPI DebugConsoleHandler(DWORD dwCtrlType)
{
    if (dwCtrlType != CTRL_C_EVENT && dwCtrlType != CTRL_BREAK_EVENT)
        return FALSE;
    printf("Stopping %s.\n", SERVICE_DISPLAY_NAME);
    fflush(stdout);
    ServiceStop();
    return TRUE;
}

void ShowRegisterFailure(HWND hWnd)
{
    const char *szText = "Error in RegisterServiceCtrlHandler()";
    LogLine("%s", szText);
    if (!hWnd)
        return;
    HDC hdc = GetDC(hWnd);
    if (hdc) {
        TextOutA(hdc, 10, 10, szText, (int)strlen(szText));
        ReleaseDC(hWnd, hdc);
    }
}

void ReadOsVersion()
{
    PrintkeeperGlobals &g = g_Printkeeper;
    OSVERSIONINFOA vi;
    memset(&vi, 0, sizeof(vi));
    vi.dwOSVersionInfoSize = sizeof(vi);
    if (!GetVersionExA(&vi))
        return;
    g.bWinNT = vi.dwPlatformId == VER_PLATFORM_WIN32_NT;
    g.bWin2000 = vi.dwMajorVersion == 5 && vi.dwMinorVersion == 0;
    g.bWinXP = vi.dwMajorVersion == 5 && vi.dwMinorVersion == 1;
    g.bWin6 = vi.dwMajorVersion >= 6;
}

/* -install, -stop or -remove did not do what it says: the program ends
 * with a failure status, so an installer running it stops there. */
void CommandFailed()
{
    g_Printkeeper.dwExitCode = ERROR_SERVICE_SPECIFIC_ERROR;
}

/* Stops the service through the manager; true when it reached STOPPED. */
bool StopService(SC_HANDLE schService)
{
    SERVICE_STATUS status;
    memset(&status, 0, sizeof(status));
    if (!ControlService(schService, SERVICE_CONTROL_STOP, &status))
        return false;
    Say("Stopping %s.", SERVICE_DISPLAY_NAME);
    Sleep(1000);
    while (QueryServiceStatus(schService, &status)) {
        if (status.dwCurrentState != SERVICE_STOP_PENDING)
            break;
        printf(".");
        fflush(stdout);
        Sleep(1000);
    }
    bool bStopped = status.dwCurrentState == SERVICE_STOPPED;
    Say(bStopped ? "\n%s stopped." : "\n%s failed to stop.", SERVICE_DISPLAY_NAME);
    return bStopped;
}

/* Opens the manager and the service; reports what failed. */
bool OpenOurService(SC_HANDLE *pManager, SC_HANDLE *pService)
{
    char szErr[256];
    *pService = NULL;
    *pManager = OpenSCManagerA(NULL, NULL, SC_MANAGER_ALL_ACCESS);
    if (!*pManager) {
        Say("OpenSCManager failed - %s", GetLastErrorText(szErr, sizeof(szErr)));
        return false;
    }
    *pService = OpenServiceA(*pManager, SERVICE_NAME, SERVICE_ALL_ACCESS);
    if (!*pService) {
        Say("OpenService failed - %s", GetLastErrorText(szErr, sizeof(szErr)));
        CloseServiceHandle(*pManager);
        *pManager = NULL;
        return false;
    }
    return true;
}

int RunAsService()
{
    printf("%s -install          to install the service\n", "Printkeeper");
    printf("%s -remove           to remove the service\n", "Printkeeper");
    printf("%s -debug <params>   to run as a console app for debugging\n", "Printkeeper");
    printf("\nStartServiceCtrlDispatcher being called.\n");
    printf("This may take several seconds.  Please wait.\n");
    fflush(stdout);
    char szName[] = SERVICE_NAME;
    SERVICE_TABLE_ENTRYA dispatchTable[] = {{szName, ServiceMain}, {NULL, NULL}};
    if (!StartServiceCtrlDispatcherA(dispatchTable)) {
        AddToMessageLog("StartServiceCtrlDispatcher failed.");
        return EXIT_START_FAILED;
    }
    return g_Printkeeper.dwExitCode ? EXIT_START_FAILED : 0;
}

} // namespace

void WINAPI ServiceMain(DWORD, LPSTR *)
{
    PrintkeeperGlobals &g = g_Printkeeper;
    /* In debug mode the window of the command line path is the service's
     * window: replacing it would post a quit (its WM_DESTROY) and start up
     * twice (its WM_CREATE). */
    if (!g.hMainWnd || !IsWindow(g.hMainWnd))
        CreateServiceWindow(g.hInstance);
    if (!g.bDebug) {
        g.hStatus = RegisterServiceCtrlHandlerA(SERVICE_NAME, ServiceCtrl);
        if (!g.hStatus) {
            ShowRegisterFailure(g.hMainWnd);
            return;
        }
    }
    g.ssStatus.dwServiceType = SERVICE_TYPE_PRINTKEEPER;
    g.ssStatus.dwServiceSpecificExitCode = 0;
    ReportStatusToSCMgr(SERVICE_START_PENDING, NO_ERROR, 3000);
    if (!g.bDebug)
        SetConsoleCtrlHandler(ServiceConsoleHandler, TRUE);
    ReportStatusToSCMgr(SERVICE_START_PENDING, NO_ERROR, 3000);
    g.hStopEvent = CreateEventA(NULL, TRUE, FALSE, NULL);
    ReportStatusToSCMgr(SERVICE_START_PENDING, NO_ERROR, 3000);
    RunMessageLoop();
    ReportStatusToSCMgr(SERVICE_STOPPED, g.dwExitCode, 0);
}

BOOL ReportStatusToSCMgr(DWORD dwCurrentState, DWORD dwWin32ExitCode, DWORD dwWaitHint)
{
    PrintkeeperGlobals &g = g_Printkeeper;
    if (g.bDebug)
        return TRUE;
    g.ssStatus.dwControlsAccepted =
        dwCurrentState == SERVICE_START_PENDING ? 0 : SERVICE_ACCEPT_STOP;
    g.ssStatus.dwCurrentState = dwCurrentState;
    g.ssStatus.dwWin32ExitCode = dwWin32ExitCode;
    g.ssStatus.dwWaitHint = dwWaitHint;
    if (dwCurrentState == SERVICE_RUNNING || dwCurrentState == SERVICE_STOPPED)
        g.ssStatus.dwCheckPoint = 0;
    else
        g.ssStatus.dwCheckPoint = g.dwCheckPoint++;
    BOOL bOk = SetServiceStatus(g.hStatus, &g.ssStatus);
    if (!bOk)
        AddToMessageLog("SetServiceStatus");
    return bOk;
}

void AddToMessageLog(const char *szMsg)
{
    if (g_Printkeeper.bDebug)
        return;
    char szLine[256];
    snprintf(szLine, sizeof(szLine), "%s error: %d", SERVICE_NAME, (int)GetLastError());
    HANDLE hEventSource = RegisterEventSourceA(NULL, SERVICE_NAME);
    if (!hEventSource)
        return;
    LPCSTR strings[2] = {szLine, szMsg};
    ReportEventA(hEventSource, EVENTLOG_ERROR_TYPE, 0, 0, NULL, 2, 0, strings, NULL);
    DeregisterEventSource(hEventSource);
}

void ServiceStop()
{
    PrintkeeperGlobals &g = g_Printkeeper;
    if (g.hStopEvent)
        SetEvent(g.hStopEvent);
    if (g.hMainWnd)
        SendMessageA(g.hMainWnd, WM_SERVICE_STOP, 0, 0);
}

void InstallService()
{
    char szPath[512];
    char szErr[256];
    if (GetModuleFileNameA(NULL, szPath, sizeof(szPath)) == 0) {
        printf("Unable to install %s - %s\n", SERVICE_DISPLAY_NAME,
               GetLastErrorText(szErr, sizeof(szErr)));
        CommandFailed();
        return;
    }
    SC_HANDLE schManager = OpenSCManagerA(NULL, NULL, SC_MANAGER_ALL_ACCESS);
    if (!schManager) {
        Say("OpenSCManager failed - %s", GetLastErrorText(szErr, sizeof(szErr)));
        CommandFailed();
        return;
    }
    SC_HANDLE schService =
        CreateServiceA(schManager, SERVICE_NAME, SERVICE_DISPLAY_NAME, SERVICE_ALL_ACCESS,
                       SERVICE_TYPE_PRINTKEEPER, SERVICE_AUTO_START, SERVICE_ERROR_NORMAL, szPath,
                       NULL, NULL, "\0\0", SERVICE_ACCOUNT, NULL);
    if (schService) {
        Say("%s installed.", SERVICE_DISPLAY_NAME);
        CloseServiceHandle(schService);
    } else {
        Say("CreateService failed - %s", GetLastErrorText(szErr, sizeof(szErr)));
        CommandFailed();
    }
    CloseServiceHandle(schManager);
}

void StopInstalledService()
{
    SC_HANDLE schManager, schService;
    if (!OpenOurService(&schManager, &schService)) {
        CommandFailed();
        return;
    }
    if (!StopService(schService))
        CommandFailed();
    CloseServiceHandle(schService);
    CloseServiceHandle(schManager);
}

void RemoveService()
{
    SC_HANDLE schManager, schService;
    if (!OpenOurService(&schManager, &schService)) {
        CommandFailed();
        return;
    }
    StopService(schService);
    char szErr[256];
    if (DeleteService(schService)) {
        Say("%s removed.", SERVICE_DISPLAY_NAME);
    } else {
        Say("DeleteService failed - %s", GetLastErrorText(szErr, sizeof(szErr)));
        CommandFailed();
    }
    CloseServiceHandle(schService);
    CloseServiceHandle(schManager);
}

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE, LPSTR lpCmdLine, int)
{
    PrintkeeperGlobals &g = g_Printkeeper;
    g.hInstance = hInstance;
    const char *szCmd = lpCmdLine ? lpCmdLine : "";
    CreateFolderTree(CLIENT_DEBUG_DIR);
    g.bDebugLog = FileExists(DEBUG_MARKER_FILE);
    g.iLockedVersion = ReadLockedVersion();
    ApplyVersionLock();
    g.bInHouse = FileExists(INHOUSE_MARKER_FILE);
    ReadOsVersion();
    if (strstr(szCmd, "UI"))
        return RunUserInterface();
    const bool bInstall = strstr(szCmd, "install") != NULL;
    const bool bStop = !bInstall && strstr(szCmd, "stop") != NULL;
    const bool bRemove = !bInstall && !bStop && strstr(szCmd, "remove") != NULL;
    const bool bDebug = !bInstall && !bStop && !bRemove && strstr(szCmd, "debug") != NULL;
    if (bInstall || bStop || bRemove || bDebug)
        CreateServiceWindow(hInstance);
    if (bInstall || bStop || bRemove) {
        PostMessageA(g.hMainWnd,
                     bInstall ? WM_SERVICE_INSTALL
                     : bStop  ? WM_SERVICE_HALT
                              : WM_SERVICE_REMOVE,
                     0, 0);
        MSG msg;
        while (GetMessageA(&msg, NULL, 0, 0) > 0) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        return g.dwExitCode ? EXIT_COMMAND_FAILED : 0;
    }
    if (bDebug) {
        g.bDebug = true;
        SetConsoleCtrlHandler(DebugConsoleHandler, TRUE);
        ServiceMain(0, NULL);
        return g.dwExitCode ? EXIT_START_FAILED : 0;
    }
    return RunAsService();
}
