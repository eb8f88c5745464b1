/*
 * PrintkeeperHelper: the privileged helper of the print service (see
 * ../privileged.h).  A service of its own, "NovarcPrintkeeperHelper",
 * running as LocalSystem, that takes the print service's few privileged
 * operations as user-defined controls and runs them one at a time on its
 * own thread, reporting progress and results in its service status.
 *
 * Who may send it controls is the service manager's decision: root, the
 * service's user and its group.  What it does with one is fixed by the
 * control code alone; every file is checked again in helper_ops.cpp.
 *
 *   PrintkeeperHelper.exe -install   register the helper (automatic start)
 *   PrintkeeperHelper.exe -remove    stop and unregister it
 *   PrintkeeperHelper.exe            run as the service (the manager starts it)
 */
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <deque>
#include <mutex>
#include <string>

#include <winsock2.h> /* before windows.h, which would bring the old winsock.h */
#include <windows.h>

#include "privileged.h"

namespace {

struct HelperState {
    SERVICE_STATUS_HANDLE hStatus = NULL;
    SERVICE_STATUS status = {};
    HANDLE hWake = NULL; /* auto-reset: a control was queued or a stop asked */
    std::mutex lock;     /* guards status, queue and bStop */
    std::deque<DWORD> queue;
    bool bStop = false;
};

HelperState g_helper;

void Report(DWORD dwState)
{
    std::lock_guard<std::mutex> guard(g_helper.lock);
    g_helper.status.dwCurrentState = dwState;
    g_helper.status.dwControlsAccepted = dwState == SERVICE_RUNNING ? SERVICE_ACCEPT_STOP : 0;
    SetServiceStatus(g_helper.hStatus, &g_helper.status);
}

VOID WINAPI HelperControl(DWORD dwControl)
{
    {
        std::lock_guard<std::mutex> guard(g_helper.lock);
        if (dwControl == SERVICE_CONTROL_STOP) {
            g_helper.bStop = true;
            g_helper.status.dwCurrentState = SERVICE_STOP_PENDING;
            g_helper.status.dwControlsAccepted = 0;
        } else if (dwControl >= 128 && dwControl <= 255 && g_helper.queue.size() < 16) {
            g_helper.queue.push_back(dwControl);
            g_helper.status.dwWaitHint = g_helper.queue.front(); /* busy with this */
        }
        SetServiceStatus(g_helper.hStatus, &g_helper.status);
    }
    SetEvent(g_helper.hWake);
}

/* Runs queued operations until a stop is asked. */
void Serve()
{
    for (;;) {
        DWORD dwControl = 0;
        {
            std::lock_guard<std::mutex> guard(g_helper.lock);
            if (g_helper.bStop)
                return;
            if (!g_helper.queue.empty())
                dwControl = g_helper.queue.front();
        }
        if (!dwControl) {
            WaitForSingleObject(g_helper.hWake, INFINITE);
            continue;
        }
        const DWORD dwResult = DoPrivileged(dwControl);
        std::lock_guard<std::mutex> guard(g_helper.lock);
        g_helper.queue.pop_front();
        g_helper.status.dwServiceSpecificExitCode = dwResult;
        g_helper.status.dwCheckPoint++;
        g_helper.status.dwWaitHint = g_helper.queue.empty() ? 0 : g_helper.queue.front();
        SetServiceStatus(g_helper.hStatus, &g_helper.status);
    }
}

VOID WINAPI HelperMain(DWORD, LPSTR *)
{
    g_helper.hStatus = RegisterServiceCtrlHandlerA(HELPER_SERVICE_NAME, HelperControl);
    if (!g_helper.hStatus)
        return;
    g_helper.hWake = CreateEventA(NULL, FALSE, FALSE, NULL);
    g_helper.status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    Report(SERVICE_RUNNING);
    PrivilegedLog("%s running", HELPER_SERVICE_NAME);
    Serve();
    Report(SERVICE_STOPPED);
    CloseHandle(g_helper.hWake);
}

int Install()
{
    char szPath[MAX_PATH];
    if (GetModuleFileNameA(NULL, szPath, sizeof(szPath)) == 0)
        return 1;
    SC_HANDLE hManager = OpenSCManagerA(NULL, NULL, SC_MANAGER_ALL_ACCESS);
    if (!hManager) {
        PrivilegedLog("OpenSCManager failed - %d", (int)GetLastError());
        return 1;
    }
    SC_HANDLE hService =
        CreateServiceA(hManager, HELPER_SERVICE_NAME, HELPER_DISPLAY_NAME, SERVICE_ALL_ACCESS,
                       SERVICE_WIN32_OWN_PROCESS, SERVICE_AUTO_START, SERVICE_ERROR_NORMAL, szPath,
                       NULL, NULL, "\0\0", NULL, NULL);
    const DWORD dwError = hService ? 0 : GetLastError();
    if (hService)
        CloseServiceHandle(hService);
    CloseServiceHandle(hManager);
    if (dwError)
        PrivilegedLog("%s: CreateService failed - %d", HELPER_DISPLAY_NAME, (int)dwError);
    else
        PrivilegedLog("%s installed.", HELPER_DISPLAY_NAME);
    return dwError ? 1 : 0;
}

int Remove()
{
    SC_HANDLE hManager = OpenSCManagerA(NULL, NULL, SC_MANAGER_ALL_ACCESS);
    SC_HANDLE hService =
        hManager ? OpenServiceA(hManager, HELPER_SERVICE_NAME, SERVICE_ALL_ACCESS) : NULL;
    DWORD dwError = hService ? 0 : GetLastError();
    if (hService) {
        SERVICE_STATUS status;
        if (ControlService(hService, SERVICE_CONTROL_STOP, &status))
            for (int i = 0; i < 300 && QueryServiceStatus(hService, &status) &&
                            status.dwCurrentState != SERVICE_STOPPED;
                 i++)
                Sleep(100);
        if (!DeleteService(hService))
            dwError = GetLastError();
        CloseServiceHandle(hService);
    }
    if (hManager)
        CloseServiceHandle(hManager);
    PrivilegedLog(dwError ? "%s not removed: %d" : "%s removed.", HELPER_DISPLAY_NAME,
                  (int)dwError);
    return dwError ? 1 : 0;
}

} // namespace

void PrivilegedLog(const char *szFormat, ...)
{
    va_list args;
    va_start(args, szFormat);
    vfprintf(stderr, szFormat, args);
    va_end(args);
    fputc('\n', stderr);
    fflush(stderr);
}

int main(int argc, char **argv)
{
    const std::string command = argc > 1 ? argv[1] : "";
    if (command.find("install") != std::string::npos)
        return Install();
    if (command.find("remove") != std::string::npos)
        return Remove();
    char szName[] = HELPER_SERVICE_NAME;
    SERVICE_TABLE_ENTRYA table[] = {{szName, HelperMain}, {NULL, NULL}};
    return StartServiceCtrlDispatcherA(table) ? 0 : 1;
}
