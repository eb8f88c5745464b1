/*
 * Window messages between processes.  Private to winport.
 *
 * The sending side turns PostMessageA / SendMessageA / SendMessageTimeoutA
 * on another process's window into a request to that process's endpoint;
 * the receiving side (on an endpoint connection thread) puts the message in
 * the queue of the window's thread and, for a send, answers with the
 * window procedure's result once it has returned.
 *
 * Pointers do not cross processes, so the messages whose lParam points at
 * data are marshalled, as Windows does for system messages: WM_COPYDATA
 * (the COPYDATASTRUCT and its bytes), WM_SETTEXT, WM_DEVMODECHANGE and
 * WM_SETTINGCHANGE (a string), WM_GETTEXT (the text comes back).  Other
 * messages carry wParam and lParam as numbers, as on Windows for WM_USER
 * and above.  WM_CREATE and WM_NCCREATE are refused.
 */
#ifndef WINPORT_USER_REMOTE_MESSAGE_H
#define WINPORT_USER_REMOTE_MESSAGE_H

#include "user/wire.h"

#include <windows.h>

namespace winport::remote {

/* Whether lParam (or wParam) of this message points at data, so that it
 * may only be sent, never posted (ERROR_MESSAGE_SYNC_ONLY). */
bool IsPointerMessage(UINT message);

/* Posts to one window of another process: TRUE, or FALSE with the last
 * error (ERROR_INVALID_WINDOW_HANDLE, ERROR_NOT_ENOUGH_QUOTA). */
BOOL Post(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
/* Posts to every top-level window of every other process. */
void PostToOtherProcesses(UINT message, WPARAM wParam, LPARAM lParam);

enum class SendOutcome { Done, TimedOut, InvalidWindow, Hung, ReceiverGone, Refused };
/* Sends to a window of another process and waits (timeoutMs < 0: for
 * ever), handling messages sent to this thread meanwhile unless
 * SMTO_BLOCK is in `flags`. */
SendOutcome Send(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, UINT flags,
                 int64_t timeoutMs, LRESULT *result);

/* Receiving side, called on endpoint connection threads. */
wire::Reply HandlePost(const wire::Bytes &body);
wire::Reply HandleSend(int connection, const wire::Bytes &body);

} // namespace winport::remote

#endif
