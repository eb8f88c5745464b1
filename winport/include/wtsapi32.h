/*
 * Terminal sessions: the sessions of this machine (session 0 holds the
 * services; each desktop or remote log-on is a session of its own), what is
 * known about each, and notification of log-ons and log-offs.  Sessions come
 * from systemd-logind where it runs; without it there is session 0 only.
 */
#ifndef WINPORT_WTSAPI32_H
#define WINPORT_WTSAPI32_H

#include "windef.h"

WINPORT_BEGIN_C

#define WTS_CURRENT_SERVER_HANDLE ((HANDLE)NULL)
#define WTS_CURRENT_SESSION ((DWORD)-1)

typedef enum _WTS_CONNECTSTATE_CLASS {
    WTSActive,
    WTSConnected,
    WTSConnectQuery,
    WTSShadow,
    WTSDisconnected,
    WTSIdle,
    WTSListen,
    WTSReset,
    WTSDown,
    WTSInit
} WTS_CONNECTSTATE_CLASS;

typedef struct _WTS_SESSION_INFOA {
    DWORD SessionId;
    LPSTR pWinStationName;
    WTS_CONNECTSTATE_CLASS State;
} WTS_SESSION_INFOA, *PWTS_SESSION_INFOA;

typedef enum _WTS_INFO_CLASS {
    WTSInitialProgram,
    WTSApplicationName,
    WTSWorkingDirectory,
    WTSOEMId,
    WTSSessionId,
    WTSUserName,
    WTSWinStationName,
    WTSDomainName,
    WTSConnectState,
    WTSClientBuildNumber,
    WTSClientName,
    WTSClientDirectory,
    WTSClientProductId,
    WTSClientHardwareId,
    WTSClientAddress,
    WTSClientDisplay,
    WTSClientProtocolType
} WTS_INFO_CLASS;

BOOL WINAPI WTSEnumerateSessionsA(HANDLE hServer, DWORD Reserved, DWORD Version,
                                  PWTS_SESSION_INFOA *ppSessionInfo, DWORD *pCount);
BOOL WINAPI WTSQuerySessionInformationA(HANDLE hServer, DWORD SessionId,
                                        WTS_INFO_CLASS WTSInfoClass, LPSTR *ppBuffer,
                                        DWORD *pBytesReturned);
void WINAPI WTSFreeMemory(PVOID pMemory);

/* Windows declares these two with the process functions (windows.h); here
 * they come with the sessions they tell of. */
BOOL WINAPI ProcessIdToSessionId(DWORD dwProcessId, DWORD *pSessionId);
/* The session at the machine's own screen and keyboard, 0xFFFFFFFF when
 * none is. */
DWORD WINAPI WTSGetActiveConsoleSessionId(void);

#define NOTIFY_FOR_THIS_SESSION 0
#define NOTIFY_FOR_ALL_SESSIONS 1

#define WM_WTSSESSION_CHANGE 0x02B1

#define WTS_CONSOLE_CONNECT 0x1
#define WTS_CONSOLE_DISCONNECT 0x2
#define WTS_REMOTE_CONNECT 0x3
#define WTS_REMOTE_DISCONNECT 0x4
#define WTS_SESSION_LOGON 0x5
#define WTS_SESSION_LOGOFF 0x6
#define WTS_SESSION_LOCK 0x7
#define WTS_SESSION_UNLOCK 0x8
#define WTS_SESSION_REMOTE_CONTROL 0x9
#define WTS_SESSION_CREATE 0xa
#define WTS_SESSION_TERMINATE 0xb

BOOL WINAPI WTSRegisterSessionNotification(HWND hWnd, DWORD dwFlags);
BOOL WINAPI WTSUnRegisterSessionNotification(HWND hWnd);

WINPORT_END_C

#endif /* WINPORT_WTSAPI32_H */
