/*
 * The service's side of the privileged helper (see privileged.h): one
 * user-defined control per operation, then the helper's status until the
 * operation has finished.  Without a helper the service does the operation
 * itself.
 */
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "printkeeper.h"
#include "privileged.h"

namespace {

/* How often the helper's status is looked at while an operation runs. */
constexpr DWORD kPollMs = 100;

/* Whether the helper has finished an operation since `before`. */
bool Finished(const SERVICE_STATUS &status, DWORD dwBefore)
{
    return status.dwCheckPoint != dwBefore && status.dwWaitHint == 0;
}

int Fail(DWORD dwError)
{
    SetLastError(dwError);
    return 0;
}

} // namespace

void PrivilegedLog(const char *szFormat, ...)
{
    char szText[512];
    va_list args;
    va_start(args, szFormat);
    vsnprintf(szText, sizeof(szText), szFormat, args);
    va_end(args);
    LogLine("%s", szText);
}

int RequestPrivileged(DWORD dwControl, DWORD dwWaitMs)
{
    SC_HANDLE hManager = OpenSCManagerA(NULL, NULL, SC_MANAGER_CONNECT);
    SC_HANDLE hHelper = hManager ? OpenServiceA(hManager, HELPER_SERVICE_NAME,
                                                SERVICE_USER_DEFINED_CONTROL | SERVICE_QUERY_STATUS)
                                 : NULL;
    if (!hHelper) {
        /* No helper on this machine (a console run): the service does it,
         * with the same checks, as far as its own user may. */
        if (hManager)
            CloseServiceHandle(hManager);
        const DWORD dwError = DoPrivileged(dwControl);
        LogLine("Privileged operation %d without the helper: %d", (int)dwControl, (int)dwError);
        return dwError ? Fail(dwError) : 1;
    }
    SERVICE_STATUS status;
    memset(&status, 0, sizeof(status));
    DWORD dwError = 0;
    if (!QueryServiceStatus(hHelper, &status)) {
        dwError = GetLastError();
    } else {
        const DWORD dwBefore = status.dwCheckPoint;
        if (!ControlService(hHelper, dwControl, &status)) {
            dwError = GetLastError();
        } else if (dwWaitMs > 0) {
            dwError = WAIT_TIMEOUT;
            for (DWORD dwWaited = 0; dwWaited <= dwWaitMs; dwWaited += kPollMs) {
                if (QueryServiceStatus(hHelper, &status) && Finished(status, dwBefore)) {
                    dwError = status.dwServiceSpecificExitCode;
                    break;
                }
                Sleep(kPollMs);
            }
        }
    }
    CloseServiceHandle(hHelper);
    CloseServiceHandle(hManager);
    if (dwError)
        LogLine("Privileged operation %d FAILED ERROR:%d", (int)dwControl, (int)dwError);
    return dwError ? Fail(dwError) : 1;
}
