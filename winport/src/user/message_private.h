/*
 * Helpers shared by the message files (message.cpp, send_message.cpp,
 * remote_message.cpp, timer.cpp).  Private to winport.
 */
#ifndef WINPORT_USER_MESSAGE_PRIVATE_H
#define WINPORT_USER_MESSAGE_PRIVATE_H

#include "user/thread_queue.h"
#include "user/window_table.h"

#include <windows.h>

namespace winport {

/* Calls the window procedure for a message sent to this thread (the
 * Deliver callback of ThreadQueue::ProcessOneSent). */
LRESULT DeliverSent(SentMessage &sent);

/* Handles every message that waits to be sent to this thread. */
void ProcessSentMessages(ThreadQueue &self);

/* Posts to a window of this process: TRUE, or FALSE with the last error. */
BOOL PostToLocalWindow(const WindowRef &window, UINT message, WPARAM wParam, LPARAM lParam);

/* Sends to a window of another thread of this process and waits (see
 * SendMessageTimeoutA); returns FALSE with the last error on failure. */
BOOL SendToOtherThread(const WindowRef &window, UINT message, WPARAM wParam, LPARAM lParam,
                       UINT flags, int64_t timeoutMs, LRESULT *result);

/* An SMTO_* time-out in real milliseconds (-1 for SendMessageA). */
int64_t RealTimeoutMs(UINT nominalMs);

/* The special window handle values that are never windows. */
inline bool IsBroadcast(HWND hwnd)
{
    return hwnd == HWND_BROADCAST;
}

} // namespace winport

#endif
