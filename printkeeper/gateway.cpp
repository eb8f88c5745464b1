/*
 * The remote gateway: the settings the server gives (sub-code 53), the
 * connection the service opens to the gateway and registers on, the relay
 * request it passes on (234), and the relay download the server then
 * sends in pieces (235), which ends in an installer run with "-N".
 *
 * A relay download belongs to the connection that asked for the relay,
 * is bounded like a transfer, and lands under the name it gives (a bare
 * name, checked) in its own folder, c:\kel\transfer\relay, where the
 * installing step takes it from.
 */
#include <cstdio>
#include <cstring>
#include <ctime>

#include <kellib.h>
#include <ws2tcpip.h>

#include "printkeeper.h"
#include "privileged.h"
#include "update.h"

namespace {

struct GatewayState {
    bool bMode = false;    /* relays go through the gateway */
    bool bEnabled = false; /* mode 2: the gateway is enabled, not used for relays */
    GatewaySettings settings = {};
};

struct Relay {
    bool bPending = false; /* a relay request went out; the next 235 starts the file */
    bool bUnderWay = false;
    SOCKET owner = INVALID_SOCKET;
    HANDLE hFile = INVALID_HANDLE_VALUE;
    long long llSize = 0;
    long long llGot = 0;
    DWORD dwLast = 0;
    char szName[RELAY_NAME_SIZE] = "";
    char szTemp[MAX_PATH] = "";
};

GatewayState g_gateway;
Relay g_relay;

void CloseGateway()
{
    PrintkeeperGlobals &g = g_Printkeeper;
    if (g.sockGateway == INVALID_SOCKET)
        return;
    KelWs_shutdown(g.sockGateway, SD_BOTH);
    KelWs_closesocket(g.sockGateway);
    g.sockGateway = INVALID_SOCKET;
}

void EndRelay(bool bDeleteTemp)
{
    if (g_relay.hFile != INVALID_HANDLE_VALUE)
        CloseHandle(g_relay.hFile);
    if (bDeleteTemp && g_relay.szTemp[0])
        DeleteFileA(g_relay.szTemp);
    g_relay = Relay();
}

void SendRelayResult(SOCKET sock, bool bInstalled)
{
    char reply[UPD_REPLY_RELAY_SIZE];
    BuildRelayResult(reply, bInstalled);
    /* A relay that installed is answered with the send flags the gateway
     * protocol has always used for it (66). */
    SendUpdateReplyWith(sock, reply, sizeof(reply),
                        bInstalled ? UPD_RELAY_OK_FLAGS : SEND_SEALED | SEND_NO_COMPRESS);
}

bool Register(SOCKET sock)
{
    const GatewaySettings &s = g_gateway.settings;
    char szComputer[MAX_COMPUTERNAME_LENGTH + 1] = "";
    DWORD dwComputer = sizeof(szComputer);
    GetComputerNameA(szComputer, &dwComputer);
    SYSTEMTIME st;
    GetLocalTime(&st);
    const time_t now = time(NULL);
    char szCtime[64], szTime[64], szAddress[32];
    snprintf(szCtime, sizeof(szCtime), "%s", ctime(&now));
    GatewayTimeStamp(szCtime, szTime, sizeof(szTime));
    OwnAddress(szAddress, sizeof(szAddress));
    GatewayRegistration reg = {s.szIdentity1,    s.szIdentity2, szComputer, szTime,
                               st.wMilliseconds, szAddress,     s.iNumber};
    char message[2048];
    const int iLen = BuildGatewayRegistration(reg, message, sizeof(message));
    if (iLen <= 0)
        return false;
    SendMessageWithSize(sock, message, iLen, SEND_SEALED | SEND_NO_COMPRESS);
    return KELgethostname(sock, NULL, 0) != 0;
}

/* Connects to the gateway within UPDATE_GATEWAY_CONNECT_MS and registers. */
bool ConnectGateway()
{
    PrintkeeperGlobals &g = g_Printkeeper;
    if (g.sockGateway != INVALID_SOCKET)
        return true;
    const GatewaySettings &s = g_gateway.settings;
    ADDRINFOA hints;
    memset(&hints, 0, sizeof(hints));
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    PADDRINFOA pList = NULL;
    if (KelWs_getaddrinfo(s.szHost, s.szPort[0] ? s.szPort : GATEWAY_DEFAULT_PORT, &hints,
                          &pList) != 0 ||
        !pList) {
        LogLine("%s %s:%s not found", GATEWAY_DISPLAY_NAME, s.szHost, s.szPort);
        return false;
    }
    SOCKET sock = KelWs_socket(AF_INET, SOCK_STREAM, 0);
    bool bConnected = false;
    if (sock != INVALID_SOCKET) {
        /* Non-blocking, so an unreachable gateway costs a bounded wait. */
        KelWs_WSAAsyncSelect(sock, g.hMainWnd, WM_SOCKET_NOTIFY, FD_CLOSE);
        if (KelWs_connect(sock, pList->ai_addr, (int)pList->ai_addrlen) == 0) {
            bConnected = true;
        } else if (KelWs_WSAGetLastError() == WSAEWOULDBLOCK) {
            fd_set writable;
            FD_ZERO(&writable);
            FD_SET(sock, &writable);
            timeval tv = {UPDATE_GATEWAY_CONNECT_MS / 1000, 0};
            sockaddr_in peer;
            int iPeer = sizeof(peer);
            bConnected = KelWs_select(0, NULL, &writable, NULL, &tv) == 1 &&
                         KelWs_getpeername(sock, (sockaddr *)&peer, &iPeer) == 0;
        }
    }
    KelWs_freeaddrinfo(pList);
    if (!bConnected) {
        LogLine("%s %s:%s cannot be reached", GATEWAY_DISPLAY_NAME, s.szHost, s.szPort);
        if (sock != INVALID_SOCKET)
            KelWs_closesocket(sock);
        return false;
    }
    g.sockGateway = sock;
    if (!Register(sock)) {
        CloseGateway();
        return false;
    }
    return true;
}

/* The first piece: size and name; the file is made. */
void StartRelayFile(SOCKET sock, const UpdateMessage &msg)
{
    int iSize = 0;
    char szName[RELAY_NAME_SIZE], szTempName[RELAY_NAME_SIZE + 16];
    if (ReadRelayStart(msg.pRelayRest, msg.iRelayRestLen, &iSize, szName, sizeof(szName)) !=
        UPD_READ_OK) {
        LogLine("RelayDownload refused: malformed start");
        EndRelay(true);
        SendRelayResult(sock, false);
        return;
    }
    snprintf(szTempName, sizeof(szTempName), "%s%s", szName, UPDATE_TEMP_SUFFIX);
    CreateFolderTree(TRANSFER_DIR);
    if (!KELPeerFileName(szName) || !KELPeerFileInFolder(TRANSFER_DIR, szTempName, KEL_PATH_WRITE,
                                                         g_relay.szTemp, sizeof(g_relay.szTemp))) {
        LogLine("RelayDownload refused <%s>: %s", szName, KELPeerPathReason(GetLastError()));
        EndRelay(false);
        SendRelayResult(sock, false);
        return;
    }
    g_relay.bPending = false;
    g_relay.bUnderWay = true;
    g_relay.owner = sock;
    g_relay.llSize = iSize;
    g_relay.dwLast = GetTickCount();
    snprintf(g_relay.szName, sizeof(g_relay.szName), "%s", szName);
    DeleteFileA(g_relay.szTemp);
    g_relay.hFile = CreateProgramFile(g_relay.szTemp);
    if (g_relay.hFile == INVALID_HANDLE_VALUE) {
        LogLine("RelayDownload %s ERROR fopen( FAILED )", g_relay.szTemp);
        EndRelay(false);
        SendRelayResult(sock, false);
    }
}

/* Empties the relay folder: the helper runs the one file it finds there. */
void EmptyRelayFolder()
{
    char szPattern[MAX_PATH];
    snprintf(szPattern, sizeof(szPattern), "%s\\*", RELAY_DIR);
    WIN32_FIND_DATAA fd;
    HANDLE hFind = FindFirstFileA(szPattern, &fd);
    if (hFind == INVALID_HANDLE_VALUE)
        return;
    do {
        char szPath[MAX_PATH];
        if (!(fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
            KELPeerFileInFolder(RELAY_DIR, fd.cFileName, KEL_PATH_WRITE, szPath, sizeof(szPath)))
            DeleteFileA(szPath);
    } while (FindNextFileA(hFind, &fd));
    FindClose(hFind);
}

/* The file is whole: alone into the relay folder, run by the helper,
 * answered. */
void FinishRelay(SOCKET sock)
{
    char szFinal[MAX_PATH];
    CloseHandle(g_relay.hFile);
    g_relay.hFile = INVALID_HANDLE_VALUE;
    CloseGateway();
    CreateFolderTree(RELAY_DIR);
    EmptyRelayFolder();
    bool bInstalled = false;
    if (KELPeerFileInFolder(RELAY_DIR, g_relay.szName, KEL_PATH_WRITE, szFinal, sizeof(szFinal)) &&
        KELMoveFileEx(g_relay.szTemp, szFinal, MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED)) {
        bInstalled = RequestPrivileged(HELPER_RUN_RELAY, UPDATE_INSTALLER_WAIT_MS) != 0;
        LogLine("RelayDownload %s -N %s", szFinal, bInstalled ? "SUCCESS" : "FAILED");
        DeleteFileA(szFinal);
    } else {
        LogLine("RelayDownload KELMoveFile(%s) FAILED", g_relay.szTemp);
    }
    EndRelay(true);
    SendRelayResult(sock, bInstalled);
    if (sock == g_Printkeeper.sockUpdate)
        g_Printkeeper.sockUpdate = INVALID_SOCKET;
}

} // namespace

/* The workstation's own IPv4 address as dotted text: the last one its
 * name resolves to, "" when none. */
void OwnAddress(char *szOut, int iSize)
{
    szOut[0] = 0;
    ADDRINFOA hints;
    memset(&hints, 0, sizeof(hints));
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    PADDRINFOA pList = NULL;
    if (KelWs_getaddrinfo("", "", &hints, &pList) != 0)
        return;
    for (PADDRINFOA p = pList; p; p = p->ai_next)
        if (p->ai_family == AF_INET && p->ai_addr)
            snprintf(szOut, (size_t)iSize, "%s",
                     KelWs_inet_ntoa(((const sockaddr_in *)p->ai_addr)->sin_addr));
    KelWs_freeaddrinfo(pList);
}

void ApplyGatewaySettings(const GatewaySettings &settings)
{
    g_gateway.bMode = settings.iMode == 1;
    g_gateway.bEnabled = settings.iMode == 2;
    if (g_gateway.bMode)
        g_gateway.settings = settings;
}

void ShutdownGateway()
{
    CloseGateway();
}

void RelayRequest(SOCKET sock, int iNumber, const char *szText)
{
    if (!g_gateway.bMode || !ConnectGateway()) {
        SendRelayResult(sock, false);
        return;
    }
    char message[RELAY_TEXT_SIZE + 16];
    const int iLen = BuildRelayRequest(iNumber, szText, message, sizeof(message));
    SendMessageWithSize(g_Printkeeper.sockGateway, message, iLen, SEND_SEALED | SEND_NO_COMPRESS);
    SetTimer(g_Printkeeper.hMainWnd, TIMER_RELAY, TIMER_RELAY_MS, NULL);
    EndRelay(true);
    g_relay.bPending = true;
    g_relay.owner = sock;
    g_relay.dwLast = GetTickCount();
}

void RelayDownload(SOCKET sock, const UpdateMessage &msg)
{
    if (msg.iRelayMarker == -1) {
        if (g_relay.owner == sock) {
            LogLine("RelayDownload aborted by the server");
            EndRelay(true);
        }
        CloseGateway();
        SendRelayResult(sock, false);
        return;
    }
    if ((!g_relay.bPending && !g_relay.bUnderWay) || g_relay.owner != sock) {
        LogLine("RelayDownload refused: no relay of this connection under way");
        return;
    }
    if (g_relay.bPending) {
        StartRelayFile(sock, msg);
        return;
    }
    const char *pChunk = NULL;
    int iChunk = 0;
    DWORD dwWritten = 0;
    if (ReadRelayChunk(msg.pRelayRest, msg.iRelayRestLen, &pChunk, &iChunk) != UPD_READ_OK ||
        g_relay.llGot + iChunk > g_relay.llSize ||
        (iChunk > 0 && (!WriteFile(g_relay.hFile, pChunk, (DWORD)iChunk, &dwWritten, NULL) ||
                        dwWritten != (DWORD)iChunk))) {
        LogLine("RelayDownload %s abandoned: a piece that does not fit", g_relay.szTemp);
        EndRelay(true);
        CloseGateway();
        SendRelayResult(sock, false);
        return;
    }
    g_relay.llGot += iChunk;
    g_relay.dwLast = GetTickCount();
    if (g_relay.llGot == g_relay.llSize)
        FinishRelay(sock);
}

void AbortRelayOf(SOCKET sock)
{
    if ((g_relay.bPending || g_relay.bUnderWay) && g_relay.owner == sock)
        EndRelay(true);
}

void CheckRelayBounds()
{
    if ((g_relay.bPending || g_relay.bUnderWay) &&
        GetTickCount() - g_relay.dwLast > UPDATE_TRANSFER_IDLE_MS) {
        char szTemp[sizeof(g_relay.szTemp)];
        snprintf(szTemp, sizeof(szTemp), "%s",
                 g_relay.szTemp[0] ? g_relay.szTemp : "(not started)");
        EndRelay(true);
        CloseGateway();
        LogLine("RelayDownload %s abandoned: no data in time", szTemp);
    }
}
