/*
 * Console control: handlers for Ctrl+C, Ctrl+Break, close, log-off and
 * shut-down.  Included by windows.h.
 *
 * POSIX signals stand for the console events: SIGINT is CTRL_C_EVENT,
 * SIGQUIT CTRL_BREAK_EVENT, SIGHUP CTRL_CLOSE_EVENT and, in a process that
 * does not run as a service, SIGTERM CTRL_SHUTDOWN_EVENT.
 */
#ifndef WINPORT_WINCON_H
#define WINPORT_WINCON_H

#include "windef.h"

WINPORT_BEGIN_C

#define CTRL_C_EVENT 0
#define CTRL_BREAK_EVENT 1
#define CTRL_CLOSE_EVENT 2
#define CTRL_LOGOFF_EVENT 5
#define CTRL_SHUTDOWN_EVENT 6

typedef BOOL(WINAPI *PHANDLER_ROUTINE)(DWORD CtrlType);

BOOL WINAPI SetConsoleCtrlHandler(PHANDLER_ROUTINE HandlerRoutine, BOOL Add);

WINPORT_END_C

#endif /* WINPORT_WINCON_H */
