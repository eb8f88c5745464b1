/*
 * Session change notifications: WTSRegisterSessionNotification and
 * WTSUnRegisterSessionNotification.  This platform has one session and no
 * log-on, log-off or lock events to report yet, so a registered window
 * never receives WM_WTSSESSION_CHANGE; registrations are kept so that
 * unregistering behaves as on Windows.
 */
#include <windows.h>
#include <wtsapi32.h>

#include <mutex>
#include <set>

namespace {

struct Registrations {
    std::mutex lock;
    std::multiset<HWND> windows; // guarded by lock
};

Registrations &TheRegistrations()
{
    static Registrations *r = new Registrations;
    return *r;
}

bool OwnWindow(HWND hWnd)
{
    DWORD pid = 0;
    return hWnd && IsWindow(hWnd) && GetWindowThreadProcessId(hWnd, &pid) &&
           pid == GetCurrentProcessId();
}

} // namespace

/* WTSRegisterSessionNotification: registers one of this process's windows
 * (ERROR_INVALID_WINDOW_HANDLE otherwise); flags other than
 * NOTIFY_FOR_THIS_SESSION and NOTIFY_FOR_ALL_SESSIONS give
 * ERROR_INVALID_PARAMETER. */
BOOL WINAPI WTSRegisterSessionNotification(HWND hWnd, DWORD dwFlags)
{
    if (dwFlags != NOTIFY_FOR_THIS_SESSION && dwFlags != NOTIFY_FOR_ALL_SESSIONS) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (!OwnWindow(hWnd)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    Registrations &r = TheRegistrations();
    std::lock_guard<std::mutex> guard(r.lock);
    r.windows.insert(hWnd);
    return TRUE;
}

/* WTSUnRegisterSessionNotification: undoes one registration; a window
 * that is not registered gives ERROR_INVALID_PARAMETER. */
BOOL WINAPI WTSUnRegisterSessionNotification(HWND hWnd)
{
    Registrations &r = TheRegistrations();
    std::lock_guard<std::mutex> guard(r.lock);
    auto it = r.windows.find(hWnd);
    if (it == r.windows.end()) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    r.windows.erase(it);
    return TRUE;
}
