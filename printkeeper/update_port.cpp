/*
 * The update port: one update connection at a time.  Its messages are read
 * here; what an update message installs is handled by the update code, and
 * until that exists an update message is only logged.
 */
#include <kellib.h>

#include "printkeeper.h"

namespace {

constexpr int kUpdateMessage = 3;
constexpr int kUpdateMessageVersioned = 30;

} // namespace

void ReadUpdateSocket(SOCKET sock)
{
    PrintkeeperGlobals &g = g_Printkeeper;
    /* The handlers pump messages while they work; a second FD_READ for the
     * same connection must wait for the first message to be done. */
    if (g.bUpdateReading)
        return;
    g.bUpdateReading = true;
    MsgBuf message;
    InitMsgBuf(&message, 0);
    if (!KELrecv(sock, &message, RECV_BOUNDED)) {
        CloseSlotSocket(g.sockUpdates, sock);
        if (sock == g.sockUpdate) {
            g.sockUpdate = INVALID_SOCKET;
            LogLine("UpdateSocket READ: Connection lost! Post RESTART_MESSAGE");
            CloseAllSockets();
            PostMessageA(g.hMainWnd, WM_RESTART_LISTEN, 0, 0);
        }
    } else if (message.iLen > 0 && (message.szBuf[0] == kUpdateMessage ||
                                    message.szBuf[0] == kUpdateMessageVersioned)) {
        DebugLogLine("UpdateSocket message %d (%d bytes)", (int)message.szBuf[0], message.iLen);
    }
    FreeMsgBuf(&message);
    g.bUpdateReading = false;
}
