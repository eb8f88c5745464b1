/*
 * Terminal sessions: WTSEnumerateSessionsA, WTSQuerySessionInformationA,
 * WTSFreeMemory, ProcessIdToSessionId, WTSGetActiveConsoleSessionId, and
 * session change notifications (WTSRegisterSessionNotification and
 * WTSUnRegisterSessionNotification).
 *
 * Notifications: while any window is registered, a watcher thread looks at
 * the sessions once a second and posts WM_WTSSESSION_CHANGE to each
 * registered window when a session with a user appears (WTS_SESSION_LOGON)
 * or goes (WTS_SESSION_LOGOFF), lParam the session id; windows registered
 * with NOTIFY_FOR_THIS_SESSION hear only of their process's session.  The
 * thread ends with the last registration.
 */
#include "kernel/clock.h"
#include "service/session_source.h"

#include <windows.h>
#include <wtsapi32.h>

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <thread>

namespace winport {
namespace {

struct Registrations {
    std::mutex lock;
    std::condition_variable changed;
    std::multimap<HWND, DWORD> windows; // window -> flags; guarded by lock
    bool watching = false;              // guarded by lock
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

/* Sessions with a user, by id. */
std::map<DWORD, std::string> LoggedOn()
{
    std::map<DWORD, std::string> users;
    for (const SessionRecord &record : ListSessions())
        if (!record.user.empty())
            users[record.id] = record.user;
    return users;
}

void Notify(Registrations &r, WPARAM change, DWORD session, DWORD ownSession)
{
    std::lock_guard<std::mutex> guard(r.lock);
    for (const auto &[window, flags] : r.windows)
        if (flags == NOTIFY_FOR_ALL_SESSIONS || session == ownSession)
            PostMessageA(window, WM_WTSSESSION_CHANGE, change, static_cast<LPARAM>(session));
}

/* `before`: the sessions when the first window registered, so that a
 * change right after registering is reported. */
void Watch(std::map<DWORD, std::string> before)
{
    Registrations &r = TheRegistrations();
    DWORD ownSession = 0;
    SessionOfProcess(GetCurrentProcessId(), &ownSession);
    for (;;) {
        {
            std::unique_lock<std::mutex> guard(r.lock);
            r.changed.wait_for(guard, std::chrono::milliseconds(RealMs(1000)),
                               [&] { return r.windows.empty(); });
            if (r.windows.empty()) {
                r.watching = false;
                return;
            }
        }
        const std::map<DWORD, std::string> now = LoggedOn();
        for (const auto &[id, user] : before) {
            auto it = now.find(id);
            if (it == now.end() || it->second != user)
                Notify(r, WTS_SESSION_LOGOFF, id, ownSession);
        }
        for (const auto &[id, user] : now) {
            auto it = before.find(id);
            if (it == before.end() || it->second != user)
                Notify(r, WTS_SESSION_LOGON, id, ownSession);
        }
        before = now;
    }
}

const SessionRecord *FindSession(const std::vector<SessionRecord> &sessions, DWORD id)
{
    for (const SessionRecord &record : sessions)
        if (record.id == id)
            return &record;
    return nullptr;
}

/* A WTSFreeMemory block holding `size` bytes of `data`. */
LPSTR Allocated(const void *data, size_t size)
{
    char *block = static_cast<char *>(std::malloc(size ? size : 1));
    if (block && size)
        std::memcpy(block, data, size);
    return block;
}

} // namespace
} // namespace winport

/* WTSEnumerateSessionsA: every session of this machine in one block that
 * WTSFreeMemory frees (the station names inside it).  Only this machine's
 * server (WTS_CURRENT_SERVER_HANDLE) is known: another handle gives
 * ERROR_INVALID_HANDLE; Reserved must be 0 and Version 1
 * (ERROR_INVALID_PARAMETER). */
BOOL WINAPI WTSEnumerateSessionsA(HANDLE hServer, DWORD Reserved, DWORD Version,
                                  PWTS_SESSION_INFOA *ppSessionInfo, DWORD *pCount)
{
    using namespace winport;
    if (hServer != WTS_CURRENT_SERVER_HANDLE) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (Reserved != 0 || Version != 1 || !ppSessionInfo || !pCount) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const std::vector<SessionRecord> sessions = ListSessions();
    size_t size = sessions.size() * sizeof(WTS_SESSION_INFOA);
    for (const SessionRecord &record : sessions)
        size += record.station.size() + 1;
    auto *info = static_cast<WTS_SESSION_INFOA *>(std::malloc(size));
    if (!info) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return FALSE;
    }
    char *text = reinterpret_cast<char *>(info + sessions.size());
    for (size_t i = 0; i < sessions.size(); i++) {
        info[i].SessionId = sessions[i].id;
        info[i].State = sessions[i].state;
        info[i].pWinStationName = text;
        std::memcpy(text, sessions[i].station.c_str(), sessions[i].station.size() + 1);
        text += sessions[i].station.size() + 1;
    }
    *ppSessionInfo = info;
    *pCount = static_cast<DWORD>(sessions.size());
    return TRUE;
}

/* WTSQuerySessionInformationA: one fact of a session (WTS_CURRENT_SESSION
 * is the caller's) in a block that WTSFreeMemory frees: texts with their
 * NUL (WTSUserName, WTSWinStationName, WTSDomainName: the machine's name,
 * WTSClientName, WTSInitialProgram, ...: empty), WTSSessionId a DWORD,
 * WTSConnectState a WTS_CONNECTSTATE_CLASS.  A session that does not exist
 * gives ERROR_FILE_NOT_FOUND, a class beyond WTSClientProtocolType
 * ERROR_INVALID_PARAMETER. */
BOOL WINAPI WTSQuerySessionInformationA(HANDLE hServer, DWORD SessionId,
                                        WTS_INFO_CLASS WTSInfoClass, LPSTR *ppBuffer,
                                        DWORD *pBytesReturned)
{
    using namespace winport;
    if (hServer != WTS_CURRENT_SERVER_HANDLE) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (!ppBuffer || !pBytesReturned || WTSInfoClass < WTSInitialProgram ||
        WTSInfoClass > WTSClientProtocolType) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (SessionId == WTS_CURRENT_SESSION &&
        !ProcessIdToSessionId(GetCurrentProcessId(), &SessionId))
        return FALSE;
    const std::vector<SessionRecord> sessions = ListSessions();
    const SessionRecord *record = FindSession(sessions, SessionId);
    if (!record) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return FALSE;
    }
    std::string text;
    DWORD number = 0;
    bool isNumber = false;
    switch (WTSInfoClass) {
    case WTSSessionId:
        number = record->id;
        isNumber = true;
        break;
    case WTSConnectState:
        number = static_cast<DWORD>(record->state);
        isNumber = true;
        break;
    case WTSUserName:
        text = record->user;
        break;
    case WTSWinStationName:
        text = record->station;
        break;
    case WTSDomainName: {
        char name[MAX_COMPUTERNAME_LENGTH + 1] = "";
        DWORD size = sizeof name;
        if (!record->user.empty() && GetComputerNameA(name, &size))
            text = name;
        break;
    }
    default:
        break;
    }
    const size_t size = isNumber ? sizeof number : text.size() + 1;
    LPSTR block = isNumber ? Allocated(&number, size) : Allocated(text.c_str(), size);
    if (!block) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return FALSE;
    }
    *ppBuffer = block;
    *pBytesReturned = static_cast<DWORD>(size);
    return TRUE;
}

void WINAPI WTSFreeMemory(PVOID pMemory)
{
    std::free(pMemory);
}

/* ProcessIdToSessionId: 0 for the services and every process in no log-in
 * session; ERROR_INVALID_PARAMETER for a process that does not exist. */
BOOL WINAPI ProcessIdToSessionId(DWORD dwProcessId, DWORD *pSessionId)
{
    DWORD id = 0;
    if (!pSessionId || !winport::SessionOfProcess(dwProcessId, &id)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    *pSessionId = id;
    return TRUE;
}

DWORD WINAPI WTSGetActiveConsoleSessionId(void)
{
    return winport::ActiveConsoleSession();
}

/* WTSRegisterSessionNotification: registers one of this process's windows
 * (ERROR_INVALID_WINDOW_HANDLE otherwise); flags other than
 * NOTIFY_FOR_THIS_SESSION and NOTIFY_FOR_ALL_SESSIONS give
 * ERROR_INVALID_PARAMETER. */
BOOL WINAPI WTSRegisterSessionNotification(HWND hWnd, DWORD dwFlags)
{
    using namespace winport;
    if (dwFlags != NOTIFY_FOR_THIS_SESSION && dwFlags != NOTIFY_FOR_ALL_SESSIONS) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (!OwnWindow(hWnd)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    std::map<DWORD, std::string> sessions = LoggedOn();
    Registrations &r = TheRegistrations();
    std::lock_guard<std::mutex> guard(r.lock);
    r.windows.emplace(hWnd, dwFlags);
    if (!r.watching) {
        r.watching = true;
        std::thread(Watch, std::move(sessions)).detach();
    }
    return TRUE;
}

/* WTSUnRegisterSessionNotification: undoes one registration; a window
 * that is not registered gives ERROR_INVALID_PARAMETER. */
BOOL WINAPI WTSUnRegisterSessionNotification(HWND hWnd)
{
    using namespace winport;
    Registrations &r = TheRegistrations();
    std::lock_guard<std::mutex> guard(r.lock);
    auto it = r.windows.find(hWnd);
    if (it == r.windows.end()) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    r.windows.erase(it);
    r.changed.notify_all();
    return TRUE;
}
