/*
 * Session change notifications.  A window registered here would receive
 * WM_WTSSESSION_CHANGE when a user logs on or off, locks the screen, ...;
 * this platform has one session and reports no changes.
 */
#ifndef WINPORT_WTSAPI32_H
#define WINPORT_WTSAPI32_H

#include "windef.h"

WINPORT_BEGIN_C

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
