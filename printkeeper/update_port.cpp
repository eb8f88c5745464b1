/*
 * The update port's connections: one wire message at a time is read,
 * turned into a record by the readers of update_msgs.cpp and dispatched by
 * its sub-code; every reply goes back on the connection that asked.
 *
 * A connection that sends a frame that does not decode, or that goes
 * away, is closed alone: its transfers and relay are abandoned and a print
 * port it had taken down for an update comes back, while every other
 * connection, print or update, goes on.
 */
#include <kellib.h>

#include "printkeeper.h"
#include "update.h"

namespace {

void ReplyQuery(SOCKET sock, int iValue, int iSubCode)
{
    char reply[UPD_REPLY_QUERY_SIZE];
    SendUpdateReply(sock, reply, BuildQueryReply(reply, iValue, iSubCode));
}

void ReplyRuntime(SOCKET sock, bool bInstalled)
{
    char reply[UPD_REPLY_RUNTIME_SIZE];
    SendUpdateReply(sock, reply, BuildRuntimeReply(reply, bInstalled));
}

void ReplyVersion(SOCKET sock)
{
    PrintkeeperGlobals &g = g_Printkeeper;
    char reply[UPD_REPLY_VERSION_SIZE];
    SendUpdateReply(sock, reply, BuildVersionReply(reply, g.iLockedVersion));
    /* The server may have just locked this workstation to another version. */
    g.iLockedVersion = ReadLockedVersion();
    ApplyVersionLock();
}

void Dispatch(SOCKET sock, const UpdateMessage &msg)
{
    bool bEnd = false;
    const int iTransfer = UpdateTransferIndex(msg.iSubCode, &bEnd);
    if (iTransfer >= 0) {
        HandleTransferMessage(sock, msg, iTransfer, bEnd);
        return;
    }
    switch (msg.iSubCode) {
    case UPD_VERSION:
        ReplyVersion(sock);
        break;
    case UPD_IMAGING_QUERY:
        ReplyQuery(sock, QueryImagingLibrary(), msg.iSubCode);
        break;
    case UPD_ECG_QUERY:
        ReplyQuery(sock, -1, msg.iSubCode);
        break;
    case UPD_CONVERTER_QUERY:
        ReplyQuery(sock, QueryConverterVersion(), msg.iSubCode);
        break;
    case UPD_PDF_QUERY:
        ReplyQuery(sock, QueryPdfEngineVersion(), msg.iSubCode);
        break;
    case UPD_VC8_QUERY:
        ReplyRuntime(sock, Runtime2005Installed());
        break;
    case UPD_VC9_QUERY:
        ReplyRuntime(sock, Runtime2008Installed());
        break;
    case UPD_RESTART_FAX:
        RestartFaxService();
        break;
    case UPD_CLIENT_QUERY:
        ReplyQuery(sock, QueryClientInstalled(msg.iA, msg.iB), msg.iSubCode);
        break;
    case UPD_GATEWAY_SETTINGS:
        ApplyGatewaySettings(msg.gateway);
        break;
    case UPD_GATEWAY_SHUTDOWN:
        ShutdownGateway();
        break;
    case UPD_RELAY_REQUEST:
        RelayRequest(sock, msg.iRelayNumber, msg.szRelayText);
        break;
    case UPD_RELAY_DOWNLOAD:
        RelayDownload(sock, msg);
        break;
    default:
        break;
    }
}

} // namespace

void SendUpdateReplyWith(SOCKET sock, const char *pReply, int iLen, int iFlags)
{
    if (sock != INVALID_SOCKET && iLen > 0)
        SendMessageWithSize(sock, pReply, iLen, iFlags);
}

void SendUpdateReply(SOCKET sock, const char *pReply, int iLen)
{
    SendUpdateReplyWith(sock, pReply, iLen, SEND_SEALED | SEND_NO_COMPRESS);
}

void SendStatusReply(SOCKET sock, int iStatus)
{
    char reply[UPD_REPLY_STATUS_SIZE];
    SendUpdateReply(sock, reply, BuildStatusReply(reply, iStatus));
}

void SendEndAck(SOCKET sock)
{
    char reply[UPD_REPLY_END_ACK_SIZE];
    SendUpdateReply(sock, reply, BuildEndAck(reply));
}

void DispatchUpdateMessage(SOCKET sock, const char *pData, int iLen)
{
    UpdateMessage msg;
    const int iRead = ReadUpdateMessage(pData, iLen, &msg);
    if (iRead == UPD_READ_MALFORMED) {
        LogLine("UpdateSocket message %d sub-code %d refused: malformed (%d bytes)", msg.iKind,
                msg.iSubCode, iLen);
        /* A transfer message still gets its one status reply. */
        bool bEnd = false;
        if (UpdateTransferIndex(msg.iSubCode, &bEnd) >= 0)
            SendStatusReply(sock, UPD_STATUS_FAILED);
        return;
    }
    if (iRead == UPD_READ_OK)
        Dispatch(sock, msg);
}

void OnUpdateConnectionGone(SOCKET sock)
{
    PrintkeeperGlobals &g = g_Printkeeper;
    AbortTransfersOf(sock);
    AbortRelayOf(sock);
    if (sock == g.sockUpdate)
        g.sockUpdate = INVALID_SOCKET;
    /* A service or imaging update that closed the print port and will not
     * finish now must not leave the workstation deaf.  (A service
     * installer already started has its own grace time.) */
    if (g.sockListen == INVALID_SOCKET && !TransferHoldsPrintPort() && !g.bServiceInstalling &&
        g.hMainWnd)
        PostMessageA(g.hMainWnd, WM_RESTART_LISTEN, 0, 0);
}

void ReadUpdateSocket(SOCKET sock)
{
    PrintkeeperGlobals &g = g_Printkeeper;
    /* The handlers may take a while (moves retry, installers are waited
     * for); a second FD_READ for the same connection waits its turn. */
    if (g.bUpdateReading)
        return;
    g.bUpdateReading = true;
    MsgBuf message;
    InitMsgBuf(&message, 0);
    if (!KELrecv(sock, &message, RECV_BOUNDED)) {
        const bool bActive = sock == g.sockUpdate;
        CloseSlotSocket(g.sockUpdates, sock);
        if (bActive)
            LogLine("UpdateSocket READ: Connection lost! Post RESTART_MESSAGE");
        else
            LogLine("UpdateSocket READ: connection closed");
        OnUpdateConnectionGone(sock);
    } else if (message.iLen > 0) {
        DispatchUpdateMessage(sock, message.szBuf, message.iLen);
    }
    FreeMsgBuf(&message);
    g.bUpdateReading = false;
}
