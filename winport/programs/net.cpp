/*
 * net.exe of the system directory, the part of it that starts and stops
 * services: "net start NAME" and "net stop NAME", through the service
 * control manager, with Windows' messages and exit statuses (0 done, 2 a
 * failure net reports, 1 a command it does not know).  Programs run it by
 * its bare name, as on Windows; scripts/install.sh puts it in
 * C:\Windows\system32 as net.exe.
 */
#include <windows.h>

#include <cstdio>
#include <cstring>

namespace {

/* How long net waits for a service to finish starting or stopping. */
constexpr DWORD kWaitMs = 30000;
constexpr DWORD kPollMs = 250;

int HelpMessage(int code, const char *text)
{
    printf("%s\n\nMore help is available by typing NET HELPMSG %d.\n\n", text, code);
    return 2;
}

/* ASCII without regard to case, as net reads its commands. */
bool SameWord(const char *a, const char *b)
{
    for (;; a++, b++) {
        const char ca = (*a >= 'A' && *a <= 'Z') ? (char)(*a + 32) : *a;
        const char cb = (*b >= 'A' && *b <= 'Z') ? (char)(*b + 32) : *b;
        if (ca != cb)
            return false;
        if (!ca)
            return true;
    }
}

int Syntax()
{
    printf("The syntax of this command is:\n\nNET\n    [ START | STOP ] service\n\n");
    return 1;
}

/* The name Windows shows: the service's display name, else its name. */
void DisplayName(const char *szService, char *szOut, DWORD dwSize)
{
    snprintf(szOut, dwSize, "%s", szService);
    char szKey[300];
    snprintf(szKey, sizeof szKey, "SYSTEM\\CurrentControlSet\\Services\\%s", szService);
    HKEY hKey = NULL;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, szKey, 0, KEY_READ, &hKey) != ERROR_SUCCESS)
        return;
    char szName[256];
    DWORD dwType = 0, dwBytes = sizeof szName - 1;
    if (RegQueryValueExA(hKey, "DisplayName", NULL, &dwType, (LPBYTE)szName, &dwBytes) ==
            ERROR_SUCCESS &&
        dwType == REG_SZ && dwBytes > 1) {
        szName[dwBytes] = 0;
        snprintf(szOut, dwSize, "%s", szName);
    }
    RegCloseKey(hKey);
}

/* Polls until the service leaves `pending`; its last state. */
DWORD WaitWhile(SC_HANDLE hService, DWORD dwPending)
{
    SERVICE_STATUS status;
    memset(&status, 0, sizeof status);
    for (DWORD dwWaited = 0;; dwWaited += kPollMs) {
        if (!QueryServiceStatus(hService, &status))
            return 0;
        if (status.dwCurrentState != dwPending || dwWaited >= kWaitMs)
            return status.dwCurrentState;
        printf(".");
        fflush(stdout);
        Sleep(kPollMs);
    }
}

int Start(SC_HANDLE hService, const char *szName)
{
    SERVICE_STATUS status;
    memset(&status, 0, sizeof status);
    if (QueryServiceStatus(hService, &status) && status.dwCurrentState != SERVICE_STOPPED)
        return HelpMessage(2182, "The requested service has already been started.");
    if (!StartServiceA(hService, 0, NULL)) {
        if (GetLastError() == ERROR_SERVICE_ALREADY_RUNNING)
            return HelpMessage(2182, "The requested service has already been started.");
        printf("The %s service could not be started.\n\n", szName);
        return HelpMessage(3521, "A system error has occurred.");
    }
    printf("The %s service is starting", szName);
    const DWORD dwState = WaitWhile(hService, SERVICE_START_PENDING);
    printf(".\n");
    if (dwState != SERVICE_RUNNING) {
        printf("The %s service could not be started.\n\n", szName);
        return 2;
    }
    printf("The %s service was started successfully.\n\n", szName);
    return 0;
}

int Stop(SC_HANDLE hService, const char *szName)
{
    SERVICE_STATUS status;
    memset(&status, 0, sizeof status);
    if (!ControlService(hService, SERVICE_CONTROL_STOP, &status)) {
        char szText[300];
        snprintf(szText, sizeof szText, "The %s service is not started.", szName);
        if (GetLastError() == ERROR_SERVICE_NOT_ACTIVE)
            return HelpMessage(3521, szText);
        printf("The %s service could not be stopped.\n\n", szName);
        return 2;
    }
    printf("The %s service is stopping", szName);
    const DWORD dwState = WaitWhile(hService, SERVICE_STOP_PENDING);
    printf(".\n");
    if (dwState != SERVICE_STOPPED) {
        printf("The %s service could not be stopped.\n\n", szName);
        return 2;
    }
    printf("The %s service was stopped successfully.\n\n", szName);
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 3)
        return Syntax();
    const bool bStart = SameWord(argv[1], "start");
    if (!bStart && !SameWord(argv[1], "stop"))
        return Syntax();
    SC_HANDLE hManager = OpenSCManagerA(NULL, NULL, SC_MANAGER_CONNECT);
    if (!hManager) {
        printf("System error %d has occurred.\n\n", (int)GetLastError());
        return 2;
    }
    SC_HANDLE hService =
        OpenServiceA(hManager, argv[2], SERVICE_START | SERVICE_STOP | SERVICE_QUERY_STATUS);
    int iResult;
    if (!hService) {
        iResult = HelpMessage(2185, "The service name is invalid.");
    } else {
        char szName[256];
        DisplayName(argv[2], szName, sizeof szName);
        iResult = bStart ? Start(hService, szName) : Stop(hService, szName);
        CloseServiceHandle(hService);
    }
    CloseServiceHandle(hManager);
    return iResult;
}
