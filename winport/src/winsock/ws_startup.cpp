/*
 * Windows half: WSAStartup, WSACleanup and the Winsock last error.
 */
#include "winsock/ws_private.h"

#include <cstring>
#include <mutex>

namespace winport::ws {
namespace {

std::mutex g_startup_lock;
int g_startups = 0; // outstanding WSAStartup calls; guarded by g_startup_lock

/* The version a request gets: 1.0 and 1.1 as asked, 1.x above as 1.1, 2.0
 * to 2.2 as asked, anything above as 2.2 (the highest we offer).  A major
 * version 0 is refused (and reported as 2.2). */
WORD Negotiate(WORD requested)
{
    const BYTE major = LOBYTE(requested), minor = HIBYTE(requested);
    if (major == 1)
        return MAKEWORD(1, minor > 1 ? 1 : minor);
    if (major == 2)
        return MAKEWORD(2, minor > 2 ? 2 : minor);
    return MAKEWORD(2, 2);
}

void FillData(LPWSADATA data, WORD version)
{
    data->wVersion = version;
    data->wHighVersion = MAKEWORD(2, 2);
    const bool legacy = LOBYTE(version) < 2;
    data->iMaxSockets = legacy ? 32767 : 0;
    data->iMaxUdpDg = legacy ? 65467 : 0;
    // As ws2_32 does: the texts and their NUL are written, the rest of each
    // array and lpVendorInfo are left alone.
    std::memcpy(data->szDescription, "WinSock 2.0", sizeof "WinSock 2.0");
    std::memcpy(data->szSystemStatus, "Running", sizeof "Running");
}

} // namespace

bool CheckStarted()
{
    std::lock_guard<std::mutex> guard(g_startup_lock);
    if (g_startups > 0)
        return true;
    WSASetLastError(WSANOTINITIALISED);
    return false;
}

} // namespace winport::ws

/* WSAStartup: starts Winsock for the process (counted).  Fills the WSADATA
 * even when the version is refused; returns the error instead of setting
 * the last error, and clears the last error on success. */
int WSAAPI WSAStartup(WORD wVersionRequested, LPWSADATA lpWSAData)
{
    using namespace winport::ws;
    const WORD version = Negotiate(wVersionRequested);
    if (lpWSAData)
        FillData(lpWSAData, version);
    if (LOBYTE(wVersionRequested) == 0)
        return WSAVERNOTSUPPORTED;
    if (!lpWSAData)
        return WSAEFAULT;
    {
        std::lock_guard<std::mutex> guard(g_startup_lock);
        g_startups++;
    }
    WSASetLastError(0);
    return 0;
}

/* WSACleanup: ends one WSAStartup; the last one closes every socket still
 * open, as Windows does.  Without an outstanding WSAStartup: SOCKET_ERROR,
 * WSANOTINITIALISED. */
int WSAAPI WSACleanup(void)
{
    using namespace winport::ws;
    bool last;
    {
        std::lock_guard<std::mutex> guard(g_startup_lock);
        if (g_startups == 0)
            return Fail(WSANOTINITIALISED);
        last = --g_startups == 0;
    }
    if (last)
        winport::bsd::CloseAll();
    return 0;
}

/* WSAGetLastError: the thread's last error (the GetLastError slot). */
int WSAAPI WSAGetLastError(void)
{
    return static_cast<int>(GetLastError());
}

/* WSASetLastError: sets the thread's last error (the SetLastError slot). */
void WSAAPI WSASetLastError(int iError)
{
    SetLastError(static_cast<DWORD>(iError));
}
