/*
 * Process start and the main window "PrintProcess" (never shown): Winsock
 * start, the socket handoff from the print service, socket events, the death
 * timers that end a process whose connection is gone, and the shutdown
 * order (window, session, socket, Winsock, message loop).
 */
#include <cstring>

#include "main_window.h"

NovarcprintGlobals g_Novarcprint = {NULL,  NULL,  INVALID_SOCKET,     NULL,
                                    false, false, KEL_RECV_IDLE_POLLS};

namespace {

const char kMainClass[] = "PrintProcess";
const char kMainTitle[] = "GRAPHICAL NOVARC PRINT PROCESS";
const char kFaxServiceClass[] = "NOVARC Fax Service";
const char *const kConverterLockNote = "FD_CLOSE before CLOSE_PRINTER. LOST SOCKET CONNECTION!";

void CALLBACK MainDeathTimerProc(HWND hWnd, UINT, UINT_PTR, DWORD)
{
    KillTimer(hWnd, DEATH_TIMER);
    PostMessageA(hWnd, WM_CLOSE, 0, 0);
}

void ReceiveAndDispatch(HWND hWnd, WPARAM wParam)
{
    NovarcprintGlobals &g = g_Novarcprint;
    NovarcprintProcess *pSession = g.pSession;
    if (pSession && pSession->m_bConverter && pSession->m_iPrintkeeperMode)
        pSession->SetSessionTimer(CONVERTER_IDLE_TIMER, CONVERTER_IDLE_MS);
    if (g.bReceiving)
        return;
    g.bReceiving = true;
    MsgBuf buffer = MsgBuf();
    InitMsgBuf(&buffer, 4);
    if (buffer.szBuf)
        memset(buffer.szBuf, 0, 4);
    /* Bounded: a peer that stops in the middle of a frame without closing
     * would otherwise hold the main thread, and with it every timer that
     * ends a lost session. */
    int iOk = KELrecvEx(g.sockConnection, &buffer, RECV_BOUNDED, g.iReceiveIdlePolls);
    g.bReceiving = false;
    if (!iOk) {
        write_file(" !sockGetMessage WM_CLOSE");
        PostMessageA(hWnd, WM_CLOSE, 0, 0);
        if (pSession)
            pSession->EndJob();
        FreeMsgBuf(&buffer);
        return;
    }
    if (pSession)
        pSession->HandleWebnovNovarcprintMsg((SOCKET)wParam, FD_READ, &buffer);
    FreeMsgBuf(&buffer);
}

void ConnectionClosed(HWND hWnd, WPARAM wParam)
{
    NovarcprintProcess *pSession = g_Novarcprint.pSession;
    if (!pSession) {
        write_file("FD_CLOSE SET DEATH TIMER 60000");
        SetTimer(hWnd, DEATH_TIMER, DEATH_NO_SESSION_MS, MainDeathTimerProc);
        return;
    }
    KillTimer(pSession->m_hWnd, CONVERTER_IDLE_TIMER);
    if (pSession->CloseReceived() || (SOCKET)wParam != g_Novarcprint.sockConnection)
        return;
    pSession->SetConnectionClosed();
    if (pSession->HoldsConverterLock()) {
        /* Another client waits for this converter printer: free it now. */
        pSession->Log("%s", kConverterLockNote);
        pSession->EndJob();
        PostMessageA(hWnd, WM_CLOSE, 0, 0);
        return;
    }
    pSession->Log("FD_CLOSE SET DEATH TIMER 300000");
    SetTimer(hWnd, DEATH_TIMER, DEATH_SESSION_MS, MainDeathTimerProc);
    pSession->SetSessionTimer(DEATH_TIMER, DEATH_SESSION_MS);
}

BOOL CALLBACK PostStatusToFaxService(HWND hWnd, LPARAM lParam)
{
    char szClass[64] = "";
    if (GetClassNameA(hWnd, szClass, sizeof(szClass)) && strcmp(szClass, kFaxServiceClass) == 0) {
        const NovarcprintProcess *pSession = (const NovarcprintProcess *)lParam;
        PostMessageA(hWnd, WM_FAX_PRINT_STATUS, (WPARAM)pSession->m_iFaxJob,
                     (LPARAM)pSession->m_iPrintStatus);
    }
    return TRUE;
}

} // namespace

LRESULT OnCreate(HWND hWnd)
{
    KELLoadWinsock();
    g_Novarcprint.sockConnection = INVALID_SOCKET;
    if (KELWSAStartup())
        PostMessageA(hWnd, WM_STARTUP_MESSAGE, 0, 0);
    else
        PostMessageA(hWnd, WM_CLOSE, 0, 0);
    return 0;
}

LRESULT OnStartupMessage()
{
    write_file("WndProc STARTUP_MESSAGE");
    g_Novarcprint.bReceiving = false;
    return 0;
}

LRESULT OnCopyData(HWND hWnd, const COPYDATASTRUCT *pCopy)
{
    /* One connection per process: a second handoff would orphan the first socket. */
    if (g_Novarcprint.sockConnection != INVALID_SOCKET) {
        write_file("WM_COPYDATA socket already taken over");
        return 0;
    }
    if (!pCopy || pCopy->cbData < sizeof(WSAPROTOCOL_INFOA) || !pCopy->lpData) {
        write_file("WM_COPYDATA malformed handoff record");
        PostMessageA(hWnd, WM_CLOSE, 0, 0);
        return 0;
    }
    WSAPROTOCOL_INFOA info;
    memcpy(&info, pCopy->lpData, sizeof(info));
    if (!KELWSAStartup()) {
        PostMessageA(hWnd, WM_CLOSE, 0, 0);
        return 0;
    }
    SOCKET sock = KelWs_WSASocketA(FROM_PROTOCOL_INFO, FROM_PROTOCOL_INFO, FROM_PROTOCOL_INFO,
                                   &info, 0, WSA_FLAG_OVERLAPPED);
    g_Novarcprint.sockConnection = sock;
    if (sock == INVALID_SOCKET || sock == 0) {
        g_Novarcprint.sockConnection = INVALID_SOCKET;
        PostMessageA(hWnd, WM_CLOSE, 0, 0);
        return 0;
    }
    if (KelWs_WSAAsyncSelect(sock, hWnd, WM_SOCKET_EVENT, FD_READ | FD_CLOSE) == SOCKET_ERROR)
        PostMessageA(hWnd, WM_CLOSE, 0, 0);
    return 0;
}

LRESULT OnSocketEvent(HWND hWnd, WPARAM wParam, LPARAM lParam)
{
    NovarcprintProcess *pSession = g_Novarcprint.pSession;
    if (pSession && pSession->IsDone())
        return 0;
    int iError = WSAGETSELECTERROR(lParam);
    if (iError) {
        write_file("WSOCK_MESSAGE error<%d>", iError);
        PostMessageA(hWnd, WM_CLOSE, 0, 0);
        if (pSession)
            pSession->EndJob();
    }
    int iEvent = WSAGETSELECTEVENT(lParam);
    if (iEvent == FD_READ) {
        if (g_Novarcprint.bReceiving)
            return 0;
        ReceiveAndDispatch(hWnd, wParam);
    } else if (iEvent == FD_CLOSE) {
        ConnectionClosed(hWnd, wParam);
    }
    g_Novarcprint.bReceiving = false;
    return 0;
}

LRESULT OnClose(HWND hWnd)
{
    write_file("WndProc WM_CLOSE");
    DestroyWindow(hWnd);
    return 0;
}

LRESULT OnDestroy()
{
    write_file("WndProc WM_DESTROY");
    NovarcprintProcess *pSession = g_Novarcprint.pSession;
    if (pSession) {
        if (pSession->m_bFax) {
            EnumWindows(PostStatusToFaxService, (LPARAM)pSession);
            pSession->Log("PostPrintStatus(%d)", pSession->m_iPrintStatus);
        }
        pSession->HandleWMDestroy();
    }
    exitFunc();
    return 0;
}

void exitFunc()
{
    if (g_Novarcprint.sockConnection != INVALID_SOCKET) {
        KelWs_shutdown(g_Novarcprint.sockConnection, SD_BOTH);
        KelWs_closesocket(g_Novarcprint.sockConnection);
        g_Novarcprint.sockConnection = INVALID_SOCKET;
    }
    Sleep(10);
    KELReleaseSocketLibrary();
    /* The socket library stays mapped: a worker may still be inside one of
     * its calls (a reply on its way), and unmapping it under that worker
     * ends the process with a crash instead of an exit.  It goes with the
     * process. */
    if (g_Novarcprint.pSession)
        g_Novarcprint.pSession->Log("exitFunc( PostQuitMessage() )");
    PostQuitMessage(0);
}

LRESULT CALLBACK WndProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam)
{
    switch (uMsg) {
    case WM_CREATE:
        return OnCreate(hWnd);
    case WM_STARTUP_MESSAGE:
        return OnStartupMessage();
    case WM_COPYDATA:
        return OnCopyData(hWnd, (const COPYDATASTRUCT *)lParam);
    case WM_SOCKET_EVENT:
        return OnSocketEvent(hWnd, wParam, lParam);
    case WM_CLOSE:
        return OnClose(hWnd);
    case WM_DESTROY:
        return OnDestroy();
    case WM_QUIT_VALUE:
        return 0;
    default:
        Sleep(10);
        return DefWindowProcA(hWnd, uMsg, wParam, lParam);
    }
}
