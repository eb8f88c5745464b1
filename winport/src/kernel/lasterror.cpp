/*
 * The last-error slot: one per thread, shared by GetLastError and
 * WSAGetLastError as on Windows (where both read the thread's TEB).
 */
#include <windows.h>

namespace {
thread_local DWORD tls_last_error = ERROR_SUCCESS;
}

/* GetLastError: the calling thread's last error code. */
DWORD WINAPI GetLastError(void)
{
    return tls_last_error;
}

/* SetLastError: sets the calling thread's last error code. */
void WINAPI SetLastError(DWORD dwErrCode)
{
    tls_last_error = dwErrCode;
}
