/*
 * The service's hidden main window and its message loop: start-up, the two
 * listeners, socket notifications, restarts of listening, end of session
 * and shutdown.  Socket events arrive here as WM_SOCKET_NOTIFY messages and
 * are handled one at a time on this thread.
 */
#include <cstdio>
#include <cstring>

#include <kellib.h>
#include <wtsapi32.h>

#include "printkeeper.h"
#include "update.h"

PrintkeeperGlobals g_Printkeeper;

PrintkeeperGlobals::PrintkeeperGlobals()
{
    for (int i = 0; i < SOCKET_SLOTS; i++) {
        sockClients[i] = INVALID_SOCKET;
        sockUpdates[i] = INVALID_SOCKET;
        dwAcceptedAt[i] = 0;
        KELInitFrameReader(&firstMessage[i]);
        hClients[i] = NULL;
    }
}

int FindSlot(const SOCKET *table, SOCKET sock)
{
    for (int i = 0; i < SOCKET_SLOTS; i++)
        if (table[i] == sock)
            return i;
    return -1;
}

bool CloseSlotSocket(SOCKET *table, SOCKET sock)
{
    KelWs_closesocket(sock);
    const int iSlot = FindSlot(table, sock);
    if (iSlot < 0)
        return false;
    table[iSlot] = INVALID_SOCKET;
    if (table == g_Printkeeper.sockClients)
        KELFreeFrameReader(&g_Printkeeper.firstMessage[iSlot]);
    return true;
}

namespace {

void CloseSocket(SOCKET *pSock)
{
    if (*pSock == INVALID_SOCKET)
        return;
    KelWs_closesocket(*pSock);
    *pSock = INVALID_SOCKET;
}

/* Creates, binds and listens; registers the events with the main window. */
SOCKET OpenListener(u_short port, LONG lEvents)
{
    PrintkeeperGlobals &g = g_Printkeeper;
    if (!KELLoadWinsock() || !KELWSAStartup())
        return INVALID_SOCKET;
    SOCKET sock = KelWs_socket(AF_INET, SOCK_STREAM, 0);
    if (sock == INVALID_SOCKET) {
        LogLine("Error socket() %d", KelWs_WSAGetLastError());
        return INVALID_SOCKET;
    }
    sockaddr_in addr;
    memset(&addr, 0, sizeof(addr));
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = KelWs_htonl(INADDR_ANY);
    addr.sin_port = KelWs_htons(port);
    if (KelWs_bind(sock, (const sockaddr *)&addr, sizeof(addr)) == SOCKET_ERROR) {
        int iError = KelWs_WSAGetLastError();
        if (iError == WSAEADDRINUSE)
            LogLine("Error WSAEADDRINUSE Service May Already Be Running");
        else
            LogLine("Error bind() port %d error %d", port, iError);
        KelWs_closesocket(sock);
        return INVALID_SOCKET;
    }
    if (KelWs_listen(sock, LISTEN_BACKLOG) == SOCKET_ERROR ||
        KelWs_WSAAsyncSelect(sock, g.hMainWnd, WM_SOCKET_NOTIFY, lEvents) == SOCKET_ERROR) {
        LogLine("Error listen() port %d error %d", port, KelWs_WSAGetLastError());
        KelWs_closesocket(sock);
        return INVALID_SOCKET;
    }
    return sock;
}

/* A slot with neither a waiting connection nor a running client. */
int FreeClientSlot()
{
    PrintkeeperGlobals &g = g_Printkeeper;
    for (int i = 0; i < SOCKET_SLOTS; i++)
        if (g.sockClients[i] == INVALID_SOCKET && g.hClients[i] == NULL)
            return i;
    return -1;
}

/* Keep-alive finds a server that vanished without a word. */
void KeepAlive(SOCKET sock)
{
    const BOOL bOn = TRUE;
    KelWs_setsockopt(sock, SOL_SOCKET, SO_KEEPALIVE, (const char *)&bOn, sizeof(bOn));
}

/* One accept: the socket of an allowed peer, INVALID_SOCKET when nothing
 * more waits (a refused peer is closed and counts as taken). */
SOCKET AcceptAllowed(SOCKET listener, bool *pRefused)
{
    sockaddr_in peer;
    memset(&peer, 0, sizeof(peer));
    int iLen = sizeof(peer);
    *pRefused = false;
    SOCKET sock = KelWs_accept(listener, (sockaddr *)&peer, &iLen);
    if (sock == INVALID_SOCKET)
        return INVALID_SOCKET;
    if (!PeerAllowed(peer)) {
        KelWs_closesocket(sock);
        *pRefused = true;
        return INVALID_SOCKET;
    }
    KeepAlive(sock);
    return sock;
}

/* While a service update holds the update socket, no other update
 * connection is taken; otherwise each gets a slot of its own. */
void AcceptUpdateConnection()
{
    PrintkeeperGlobals &g = g_Printkeeper;
    if (g.sockUpdate != INVALID_SOCKET)
        return;
    int iSlot = FindSlot(g.sockUpdates, INVALID_SOCKET);
    if (iSlot < 0)
        return;
    bool bRefused = false;
    SOCKET sock = AcceptAllowed(g.sockUpdateListen, &bRefused);
    if (sock == INVALID_SOCKET)
        return;
    g.sockUpdates[iSlot] = sock;
    KelWs_WSAAsyncSelect(sock, g.hMainWnd, WM_SOCKET_NOTIFY, FD_READ | FD_ACCEPT | FD_CLOSE);
}

void OnSocketClosed(SOCKET sock)
{
    PrintkeeperGlobals &g = g_Printkeeper;
    if (sock == g.sockGateway) {
        CloseSocket(&g.sockGateway);
        return;
    }
    if (FindSlot(g.sockClients, sock) >= 0) {
        CloseSlotSocket(g.sockClients, sock);
        return;
    }
    if (FindSlot(g.sockUpdates, sock) < 0)
        return; /* already closed: a late notification */
    const bool bActive = sock == g.sockUpdate;
    CloseSlotSocket(g.sockUpdates, sock);
    OnUpdateConnectionGone(sock);
    if (bActive)
        SetTimer(g.hMainWnd, TIMER_RESTART_LISTEN, RESTART_AFTER_UPDATE_MS, NULL);
}

void OnSocketNotify(SOCKET sock, WORD wEvent)
{
    PrintkeeperGlobals &g = g_Printkeeper;
    switch (wEvent) {
    case FD_ACCEPT:
        if (sock == g.sockUpdateListen)
            AcceptUpdateConnection();
        else if (sock == g.sockListen)
            AcceptPrintConnections();
        break;
    case FD_READ: {
        int iSlot = FindSlot(g.sockClients, sock);
        if (iSlot >= 0)
            LaunchNovarcPrint(sock, iSlot);
        else if (FindSlot(g.sockUpdates, sock) >= 0)
            ReadUpdateSocket(sock);
        break;
    }
    case FD_CLOSE:
        OnSocketClosed(sock);
        break;
    default:
        break;
    }
    /* A slot may have come free: connections the kernel kept wait no more. */
    if (wEvent != FD_ACCEPT && g.sockListen != INVALID_SOCKET)
        AcceptPrintConnections();
}

void StartUp()
{
    PrintkeeperGlobals &g = g_Printkeeper;
    /* "-install", "-stop" and "-remove" create the window too, but they are
     * not the service: emptying the converter folders there would delete
     * the work files of clients the running service started. */
    if (!g.bRunning.load())
        return;
    HardenDirectory(BIN2_DIR, true);
    RotateServiceLog();
    LogLine("Print service Version %d.%d started.", PRINTKEEPER_VERSION_MAJOR,
            PRINTKEEPER_VERSION_MINOR);
    StartCleanupThreads();
    if (!StartPipeServer())
        LogLine("The tray companion's pipe could not be served");
    if (!g.bInHouse)
        SetTimer(g.hMainWnd, TIMER_ENDPOINT_NOTICE, ENDPOINT_NOTICE_FIRST_MS, NULL);
    CleanOutConvertPdfDir("c:\\novarc\\convert_pdf\\");
    CleanOutConvertPdfDir("c:\\novarc\\convert_pdf\\mobile\\");
    CleanOutConvertPdfDir("c:\\novarc\\convert_pdf\\print\\");
    CreateDirectoryA(PORTABLE_CHART_DIR, NULL);
    LoadAllowList();
    SetTimer(g.hMainWnd, TIMER_SLOTS, TIMER_SLOTS_MS, NULL);
    SetTimer(g.hMainWnd, TIMER_TRANSFER_WATCH, TIMER_TRANSFER_WATCH_MS, NULL);
    if (!OpenListeners()) {
        /* Stopped with an error, so the service manager shows the failure
         * (and may start the service again). */
        g.dwExitCode = (DWORD)KelWs_WSAGetLastError();
        if (g.dwExitCode == 0)
            g.dwExitCode = ERROR_SERVICE_SPECIFIC_ERROR;
        DestroyWindow(g.hMainWnd);
        return;
    }
    if (!g.bDebug)
        ReportStatusToSCMgr(SERVICE_RUNNING, NO_ERROR, 0);
}

void RestartListening()
{
    /* Listening may still be up (an update connection that simply ended):
     * binding the ports a second time would fail and end the service. */
    CloseListeners();
    LoadAllowList();
    if (!OpenListeners()) {
        g_Printkeeper.dwExitCode = ERROR_SERVICE_SPECIFIC_ERROR;
        DestroyWindow(g_Printkeeper.hMainWnd);
    }
}

void OnEndSession()
{
    PrintkeeperGlobals &g = g_Printkeeper;
    KillTimer(g.hMainWnd, TIMER_ENDPOINT_NOTICE);
    CloseAllSockets();
    KELReleaseSocketLibrary();
    KELUnloadWinsock();
    SetTimer(g.hMainWnd, TIMER_RESTART_LISTEN, RESTART_AFTER_ENDSESSION_MS, NULL);
}

void OnTimer(HWND hWnd, UINT_PTR id)
{
    PrintkeeperGlobals &g = g_Printkeeper;
    switch (id) {
    case TIMER_RESTART_LISTEN:
        KillTimer(hWnd, id);
        g.bServiceInstalling = false;
        RestartListening();
        break;
    case TIMER_SLOTS:
        /* Slots freed here take the connections the kernel kept meanwhile:
         * with every slot taken no accept ran, so no FD_ACCEPT comes. */
        CheckClientSlots();
        if (g.sockListen != INVALID_SOCKET)
            AcceptPrintConnections();
        break;
    case TIMER_RELAY:
        KillTimer(hWnd, id);
        break;
    case TIMER_TRANSFER_WATCH:
        CheckTransferBounds();
        CheckRelayBounds();
        break;
    case TIMER_ENDPOINT_NOTICE:
        OnEndpointNoticeTimer();
        break;
    case TIMER_LAUNCH_UI:
        /* Companions start from each desktop session's autostart entry (the
         * service's user cannot start programs as another user): this only
         * tells the log whether each session's has connected since the
         * logon. */
        if (CheckSessionCompanions())
            KillTimer(hWnd, id);
        break;
    case TIMER_SESSION_NOTIFY:
        if (WTSRegisterSessionNotification(hWnd, NOTIFY_FOR_ALL_SESSIONS)) {
            g.bSessionNotifyRegistered = true;
            KillTimer(hWnd, id);
        }
        break;
    default:
        break;
    }
}

void OnDestroy(HWND hWnd)
{
    PrintkeeperGlobals &g = g_Printkeeper;
    LogLine("Exiting Print service version %d.%d.", PRINTKEEPER_VERSION_MAJOR,
            PRINTKEEPER_VERSION_MINOR);
    if (g.bSessionNotifyRegistered && !WTSUnRegisterSessionNotification(hWnd))
        LogLine("WTSUnRegisterSessionNotification(FAILED) ERROR:%d", (int)GetLastError());
    g.bSessionNotifyRegistered = false;
    KillTimer(hWnd, TIMER_ENDPOINT_NOTICE);
    KillTimer(hWnd, TIMER_SLOTS);
    if (g.bRunning.load())
        SendStopNotices();
    CloseAllSockets();
    KELReleaseSocketLibrary();
    KELUnloadWinsock();
    for (int i = 0; i < SOCKET_SLOTS; i++) { /* the clients run on without us */
        if (g.hClients[i])
            CloseHandle(g.hClients[i]);
        g.hClients[i] = NULL;
    }
    if (g.hMainWnd == hWnd)
        g.hMainWnd = NULL;
    PostQuitMessage(0);
}

void PaintDebugBanner(HWND hWnd)
{
    HDC hdc = GetDC(hWnd);
    if (!hdc)
        return;
    char szText[128];
    snprintf(szText, sizeof(szText), "Debugging %s.", SERVICE_DISPLAY_NAME);
    TextOutA(hdc, 10, 10, szText, (int)strlen(szText));
    ReleaseDC(hWnd, hdc);
}

} // namespace

void AcceptPrintConnections()
{
    PrintkeeperGlobals &g = g_Printkeeper;
    if (g.bShutdownEvent.load())
        return; /* the machine is going down: no new jobs */
    /* Every connection the kernel holds, while there is room: one accept per
     * FD_ACCEPT would leave the rest of a burst waiting until they are
     * reset.  Without a free slot the rest stay in the kernel's queue. */
    for (;;) {
        int iSlot = FreeClientSlot();
        if (iSlot < 0) {
            CheckClientSlots();
            if ((iSlot = FreeClientSlot()) < 0)
                return;
        }
        bool bRefused = false;
        SOCKET sock = AcceptAllowed(g.sockListen, &bRefused);
        if (sock == INVALID_SOCKET) {
            if (bRefused)
                continue;
            return;
        }
        g.sockClients[iSlot] = sock;
        g.dwAcceptedAt[iSlot] = GetTickCount();
        KELInitFrameReader(&g.firstMessage[iSlot]);
        /* FD_CLOSE as well: a connection closed before its first message
         * never becomes readable as far as Winsock is concerned. */
        KelWs_WSAAsyncSelect(sock, g.hMainWnd, WM_SOCKET_NOTIFY, FD_READ | FD_CLOSE);
    }
}

void CheckClientSlots()
{
    PrintkeeperGlobals &g = g_Printkeeper;
    const DWORD dwNow = GetTickCount();
    for (int i = 0; i < SOCKET_SLOTS; i++) {
        if (g.hClients[i] && WaitForSingleObject(g.hClients[i], 0) == WAIT_OBJECT_0) {
            CloseHandle(g.hClients[i]);
            g.hClients[i] = NULL;
        }
        if (g.sockClients[i] == INVALID_SOCKET ||
            dwNow - g.dwAcceptedAt[i] < FIRST_MESSAGE_DEADLINE_MS)
            continue;
        /* What has arrived counts, even if its FD_READ is still queued. */
        LaunchNovarcPrint(g.sockClients[i], i);
        if (g.sockClients[i] != INVALID_SOCKET) {
            LogLine("Print connection closed: no first message within %d s",
                    FIRST_MESSAGE_DEADLINE_MS / 1000);
            CloseSlotSocket(g.sockClients, g.sockClients[i]);
        }
    }
}

void CloseListeners()
{
    CloseSocket(&g_Printkeeper.sockListen);
    CloseSocket(&g_Printkeeper.sockUpdateListen);
}

void ClosePrintListener()
{
    CloseSocket(&g_Printkeeper.sockListen);
}

bool OpenListeners()
{
    PrintkeeperGlobals &g = g_Printkeeper;
    g.sockListen = OpenListener(PRINT_PORT, FD_ACCEPT);
    if (g.sockListen == INVALID_SOCKET)
        return false;
    g.sockUpdateListen = OpenListener(UPDATE_PORT, FD_READ | FD_ACCEPT | FD_CLOSE);
    return g.sockUpdateListen != INVALID_SOCKET;
}

void CloseAllSockets()
{
    PrintkeeperGlobals &g = g_Printkeeper;
    CloseSocket(&g.sockGateway);
    CloseListeners();
    for (int i = 0; i < SOCKET_SLOTS; i++) {
        CloseSocket(&g.sockClients[i]);
        if (g.sockUpdates[i] != INVALID_SOCKET) {
            AbortTransfersOf(g.sockUpdates[i]);
            AbortRelayOf(g.sockUpdates[i]);
        }
        CloseSocket(&g.sockUpdates[i]);
    }
    g.sockUpdate = INVALID_SOCKET;
}

LRESULT CALLBACK ServiceWndProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam)
{
    PrintkeeperGlobals &g = g_Printkeeper;
    switch (uMsg) {
    case WM_CREATE:
        CreateFolderTree("c:\\novarc");
        HardenDirectory(BIN2_DIR, false);
        CreateFolderTree(SERVICES_DIR);
        CreateFolderTree(ERROR_LOGS_DIR);
        PostMessageA(hWnd, WM_SERVICE_START, 0, 0);
        return 0;
    case WM_SOCKET_NOTIFY:
        OnSocketNotify((SOCKET)wParam, WSAGETSELECTEVENT(lParam));
        return 0;
    case WM_SERVICE_STOP:
        if (g.hStopEvent)
            WaitForSingleObject(g.hStopEvent, INFINITE);
        DestroyWindow(hWnd);
        return 0;
    case WM_SERVICE_INSTALL:
        InstallService();
        DestroyWindow(hWnd);
        return 0;
    case WM_SERVICE_REMOVE:
        RemoveService();
        DestroyWindow(hWnd);
        return 0;
    case WM_SERVICE_HALT:
        StopInstalledService();
        DestroyWindow(hWnd);
        return 0;
    case WM_SERVICE_START:
        StartUp();
        return 0;
    case WM_RESTART_LISTEN:
        RestartListening();
        return 0;
    case WM_TIMER:
        OnTimer(hWnd, (UINT_PTR)wParam);
        return 0;
    case WM_ENDSESSION:
        if (wParam)
            OnEndSession();
        return 0;
    case WM_WTSSESSION_CHANGE:
        if (wParam == WTS_SESSION_LOGON) {
            LogLine("WTS_SESSION_LOGON");
            SetTimer(hWnd, TIMER_LAUNCH_UI, TIMER_LAUNCH_UI_MS, NULL);
        } else if (wParam == WTS_SESSION_LOGOFF)
            LogLine("WTS_SESSION_LOGOFF");
        return 0;
    case WM_PAINT:
        if (g.bDebug) {
            PaintDebugBanner(hWnd);
            return 0;
        }
        break;
    case WM_DESTROY:
        OnDestroy(hWnd);
        return 0;
    default:
        break;
    }
    return DefWindowProcA(hWnd, uMsg, wParam, lParam);
}

HWND CreateServiceWindow(HINSTANCE hInstance)
{
    WNDCLASSA wc;
    memset(&wc, 0, sizeof(wc));
    wc.lpfnWndProc = ServiceWndProc;
    wc.hInstance = hInstance;
    wc.lpszClassName = SERVICE_WINDOW_CLASS;
    RegisterClassA(&wc);
    HWND hWnd = CreateWindowExA(0, SERVICE_WINDOW_CLASS, SERVICE_WINDOW_TITLE, WS_OVERLAPPEDWINDOW,
                                CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, NULL,
                                NULL, hInstance, NULL);
    g_Printkeeper.hMainWnd = hWnd;
    return hWnd;
}

int RunMessageLoop()
{
    PrintkeeperGlobals &g = g_Printkeeper;
    g.bRunning = true;
    if (g.bDebug) {
        ShowWindow(g.hMainWnd, SW_SHOWNORMAL);
        UpdateWindow(g.hMainWnd);
    }
    /* Session notifications cannot be registered before the session
     * manager runs: retry until they are. */
    SetTimer(g.hMainWnd, TIMER_SESSION_NOTIFY, TIMER_SESSION_NOTIFY_MS, NULL);
    MSG msg;
    memset(&msg, 0, sizeof(msg));
    while (GetMessageA(&msg, NULL, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    return (int)msg.wParam;
}
