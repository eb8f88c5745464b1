/*
 * One print client per print connection: the service reads the
 * connection's first message, which may name the client version to run,
 * starts that client, duplicates the connected socket into it and hands
 * the duplicate to the client's window.  From then on the connection is
 * the client's; the service closes its own copy and forgets it.
 *
 * The first message is gathered as its bytes arrive, never waiting for
 * the rest (a slow peer holds only its own slot, until its deadline), and
 * is bounded in size.  Launches run on the main thread one after another:
 * the service waits until the new client is idle (its window exists) and
 * until the client has taken the socket, each for a bounded time, so no
 * connection is handed to nobody and no client stalls the service.  The
 * client then keeps the slot until it ends.
 */
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <kellib.h>
#include <pugixml.hpp>

#include "printkeeper.h"

namespace {

int ReadInt32(const char *p)
{
    unsigned v = 0;
    for (int i = 0; i < 4; i++)
        v |= (unsigned)(unsigned char)p[i] << (8 * i);
    return (int)v;
}

/* A decimal version number; an empty or unreadable text is 0. */
int VersionNumber(const pugi::xml_node &node)
{
    const char *szText = node.child_value();
    char *pEnd = NULL;
    long lValue = strtol(szText, &pEnd, 10);
    if (pEnd == szText || lValue < INT32_MIN || lValue > INT32_MAX)
        return 0;
    return (int)lValue;
}

bool CanOpenForReading(const char *szPath)
{
    HANDLE hFile = CreateFileA(szPath, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, NULL);
    if (hFile == INVALID_HANDLE_VALUE)
        return false;
    CloseHandle(hFile);
    return true;
}

struct WindowSearch {
    DWORD dwProcessId;
    HWND hFound;
};

BOOL CALLBACK MatchProcessWindow(HWND hWnd, LPARAM lParam)
{
    WindowSearch *pSearch = (WindowSearch *)lParam;
    DWORD dwPid = 0;
    GetWindowThreadProcessId(hWnd, &dwPid);
    if (dwPid != pSearch->dwProcessId)
        return TRUE;
    pSearch->hFound = hWnd;
    return FALSE;
}

/* The same reply code and status as a printer that did not open, so the
 * server treats a client that never started as a failed open. */
void SendLaunchFailure(SOCKET sock)
{
    char reply[LAUNCH_FAILURE_REPLY_SIZE];
    memset(reply, 0, sizeof(reply));
    reply[0] = LAUNCH_FAILURE_REPLY;
    const int iStatus = -1;
    for (int i = 0; i < 4; i++)
        reply[1 + i] = (char)((unsigned)iStatus >> (8 * i));
    SendMessageWithSize(sock, reply, sizeof(reply), SEND_SEALED | SEND_NO_COMPRESS);
}

} // namespace

bool ParseVersionInfo(const char *pData, int iLen, int *piMajor, int *piMinor)
{
    *piMajor = 0;
    *piMinor = 0;
    if (!pData || iLen < 8 || ReadInt32(pData) != VERSION_INFO_TYPE ||
        ReadInt32(pData + 4) != VERSION_INFO_SUBTYPE)
        return false;
    int iXmlLen = iLen - 8;
    if (iXmlLen > VERSION_INFO_MAX_XML)
        iXmlLen = VERSION_INFO_MAX_XML;
    pugi::xml_document doc;
    if (!doc.load_buffer(pData + 8, (size_t)iXmlLen))
        return true; /* a version-info message, but nothing to choose by */
    pugi::xml_node options = doc.find_node(
        [](const pugi::xml_node &n) { return strcmp(n.name(), "NovarcPrintOptions") == 0; });
    if (!options)
        return true;
    *piMajor = VersionNumber(options.child("NovarcPrintMajorVersion"));
    *piMinor = VersionNumber(options.child("NovarcPrintMinorVersion"));
    return true;
}

void ChooseClientPath(const char *pData, int iLen, char *szPath, int iPathSize)
{
    snprintf(szPath, (size_t)iPathSize, "%s", DEFAULT_CLIENT_PATH);
    int iMajor = 0, iMinor = 0;
    if (!ParseVersionInfo(pData, iLen, &iMajor, &iMinor) || iMajor == 0 || iMinor == 0)
        return;
    char szVersioned[MAX_PATH];
    snprintf(szVersioned, sizeof(szVersioned), VERSIONED_CLIENT_PATH, iMinor, iMajor);
    if (CanOpenForReading(szVersioned)) {
        snprintf(szPath, (size_t)iPathSize, "%s", szVersioned);
        return;
    }
    LogLine("ReceiveNovarcVersionInfo() File:%s Does Not Exist. Defaulting to %s", szVersioned,
            szPath);
}

HWND FindWindowForProcess(DWORD dwProcessId)
{
    WindowSearch search = {dwProcessId, NULL};
    EnumWindows(MatchProcessWindow, (LPARAM)&search);
    return search.hFound;
}

void LaunchNovarcPrint(SOCKET sock, int iSlot)
{
    PrintkeeperGlobals &g = g_Printkeeper;
    char szPath[MAX_PATH];
    MsgBuf first;
    InitMsgBuf(&first, 0);
    const int iRead =
        KELReadFrameSome(sock, &g.firstMessage[iSlot], FIRST_MESSAGE_MAX_BYTES, &first);
    if (iRead == KEL_FRAME_MORE) {
        FreeMsgBuf(&first);
        return; /* the rest comes with a later FD_READ, or the deadline ends it */
    }
    /* From here the socket's events are the client's business: a second
     * FD_READ for the requests that follow must not launch again. */
    KelWs_WSAAsyncSelect(sock, g.hMainWnd, 0, 0);
    if (iRead != KEL_FRAME_DONE) {
        /* The server went away (or sent no whole message): a client started
         * now would only sit out its death timer on a dead connection, and
         * a port probe would cost a process each time. */
        FreeMsgBuf(&first);
        LogLine("ReceiveNovarcVersionInfo() no first message, connection closed");
        CloseSlotSocket(g.sockClients, sock);
        return;
    }
    ChooseClientPath(first.szBuf, first.iLen, szPath, sizeof(szPath));
    FreeMsgBuf(&first);
    StartNovarcPrintVersion(iSlot, szPath);
}

int StartNovarcPrintVersion(int iSlot, const char *szPath)
{
    PrintkeeperGlobals &g = g_Printkeeper;
    LogLine("StartNovarcPrintVersion( %s )", szPath);
    if (iSlot < 0 || iSlot >= SOCKET_SLOTS || g.sockClients[iSlot] == INVALID_SOCKET)
        return 0;
    SOCKET sock = g.sockClients[iSlot];
    STARTUPINFOA si;
    memset(&si, 0, sizeof(si));
    si.cb = sizeof(si);
    si.dwFlags = STARTF_USESHOWWINDOW;
    si.wShowWindow = SW_SHOWNORMAL;
    PROCESS_INFORMATION pi;
    memset(&pi, 0, sizeof(pi));
    bool bHandedOver = false;
    if (CreateProcessA(szPath, NULL, NULL, NULL, TRUE, DETACHED_PROCESS | NORMAL_PRIORITY_CLASS,
                       NULL, NULL, &si, &pi) &&
        WaitForInputIdle(pi.hProcess, CLIENT_IDLE_WAIT_MS) == 0) {
        WSAPROTOCOL_INFOA info;
        memset(&info, 0, sizeof(info));
        if (KelWs_WSADuplicateSocketA(sock, pi.dwProcessId, &info) == 0) {
            HWND hClient = FindWindowForProcess(pi.dwProcessId);
            if (hClient && IsWindow(hClient)) {
                COPYDATASTRUCT cds;
                cds.dwData = 0;
                cds.cbData = sizeof(info);
                cds.lpData = &info;
                DWORD_PTR dwResult = 0;
                bHandedOver = SendMessageTimeoutA(hClient, WM_COPYDATA, 0, (LPARAM)&cds,
                                                  SMTO_NORMAL, HANDOFF_WAIT_MS, &dwResult) != 0;
            }
        }
    }
    if (pi.hThread)
        CloseHandle(pi.hThread);
    if (!bHandedOver) {
        /* A client that never became ready, or never took the socket, ends
         * by its own death timer; the duplicated socket expires unclaimed. */
        if (pi.hProcess)
            CloseHandle(pi.hProcess);
        SendLaunchFailure(sock);
        Sleep(100); /* let the reply leave before the close */
        CloseSlotSocket(g.sockClients, sock);
        return 0;
    }
    g.hClients[iSlot] = pi.hProcess; /* the slot is the client's until it ends */
    CloseSlotSocket(g.sockClients, sock);
    return 1;
}
