/*
 * Replies of the core to the server: the file-is-here note and whole-file
 * transfer in the file-return protocol (a name message, blocks of up to 1000
 * bytes, and an end message unless the last block was short).  Every reply
 * goes to the reply socket of the request being served.
 */
#include <cstring>

#include "workers.h"

namespace {

int SendFileReturn(SOCKET socket, const char *pData, int iLen, bool bNulTerminated, int iOptions)
{
    MsgBuf reply = MsgBuf();
    int iOk = AppendByte(&reply, REPLY_FILE_RETURN) && AppendBytes(&reply, pData, iLen) &&
              (!bNulTerminated || AppendByte(&reply, 0));
    if (iOk)
        iOk = SendMessageWithSize(socket, reply.szBuf, reply.iLen, iOptions);
    FreeMsgBuf(&reply);
    return iOk;
}

int SendFileName(SOCKET socket, const char *szName)
{
    return SendFileReturn(socket, szName, (int)strlen(szName), true, REPLY_OPTIONS);
}

int SendFilesDone(SOCKET socket)
{
    return SendFileReturn(socket, "DONE", 4, true, REPLY_OPTIONS);
}

} // namespace

int NovarcprintProcess::SendFileIsHereMessage(int iFileFlag)
{
    Log("SendFileIsHereMessage( iFileFlag:%d )", iFileFlag);
    MsgBuf reply = MsgBuf();
    /* Every reply starts with its one-byte code. */
    int iOk = AppendByte(&reply, REPLY_FILE_IS_HERE) && AppendInt(&reply, iFileFlag);
    if (iOk)
        iOk = SendMessageWithSize(m_sockReply, reply.szBuf, reply.iLen, REPLY_OPTIONS);
    FreeMsgBuf(&reply);
    return iOk;
}

int NovarcprintProcess::SendWholeFile(SOCKET socket, const char *szName, const char *szPath,
                                      int iFlags)
{
    if (iFlags & SEND_WHOLE_FILE_EMPTY) {
        SendFileName(socket, szName);
        SendFilesDone(socket);
        return 0;
    }
    HANDLE hFile = CreateFileA(szPath, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, NULL);
    if (hFile == INVALID_HANDLE_VALUE)
        return 0;
    /* The file is often the only copy (converter output, a filled form):
     * it goes only once its name, every block and its end have been sent. */
    bool bSent = SendFileName(socket, szName) != 0;
    char block[FILE_BLOCK_SIZE];
    while (bSent) {
        DWORD dwRead = 0;
        if (!ReadFile(hFile, block, sizeof(block), &dwRead, NULL)) {
            /* Never announce a file as complete when its rest could not be read. */
            Log("SendWholeFile ReadFile() ERROR:%d <%s>", (int)GetLastError(), szPath);
            CloseHandle(hFile);
            return 0;
        }
        if (dwRead == 0) {
            bSent = SendFilesDone(socket) != 0;
            break;
        }
        bSent = SendFileReturn(socket, block, (int)dwRead, false,
                               (iFlags & SEND_WHOLE_FILE_SEALED) ? REPLY_OPTIONS
                                                                 : FILE_BLOCK_OPTIONS) != 0;
        if (dwRead < sizeof(block))
            break;
    }
    CloseHandle(hFile);
    if (!bSent) {
        Log("SendWholeFile send failed, <%s> kept", szPath);
        return 0;
    }
    if (!(iFlags & SEND_WHOLE_FILE_KEEP))
        DeleteFileA(szPath);
    return -1;
}
