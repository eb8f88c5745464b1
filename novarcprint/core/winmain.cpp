/*
 * The entry of the print client: create the hidden main window and the
 * session, run the message loop until WM_DESTROY posts the quit, then free
 * everything.  The process has no command line; the print service hands it
 * its socket through the main window.
 */
#include <cstring>

#include "main_window.h"

namespace {

HWND CreateMainWindow(HINSTANCE hInstance, HBRUSH hBrush)
{
    WNDCLASSEXA wc;
    memset(&wc, 0, sizeof(wc));
    wc.cbSize = sizeof(wc);
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = WndProc;
    wc.hInstance = hInstance;
    wc.hIcon = LoadIconA(hInstance, MAKEINTRESOURCEA(104));
    wc.hIconSm = wc.hIcon;
    wc.hCursor = LoadCursorA(NULL, IDC_ARROW);
    wc.hbrBackground = hBrush;
    wc.lpszClassName = "PrintProcess";
    RegisterClassExA(&wc);
    return CreateWindowExA(0, "PrintProcess", "GRAPHICAL NOVARC PRINT PROCESS",
                           WS_OVERLAPPEDWINDOW | WS_MINIMIZE | WS_VSCROLL | WS_HSCROLL,
                           CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, NULL, NULL,
                           hInstance, NULL);
}

void LowerPriorityOnceOpened()
{
    NovarcprintGlobals &g = g_Novarcprint;
    if (g.bPriorityLowered || !g.pSession || !g.pSession->OpenReplySent())
        return;
    /* Drawing workers get the processor once the printer is open. */
    SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_BELOW_NORMAL);
    g.bPriorityLowered = true;
}

} // namespace

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE, LPSTR, int)
{
    NovarcprintGlobals &g = g_Novarcprint;
    g.hInstance = hInstance;
    HBRUSH hBrush = CreateSolidBrush(RGB(255, 255, 255));
    g.hMainWnd = CreateMainWindow(hInstance, hBrush);
    SetTimer(g.hMainWnd, MAIN_KEEPALIVE_TIMER, MAIN_KEEPALIVE_MS, NULL);
    g.pSession = new NovarcprintProcess(hInstance, g.hMainWnd, 1);
    SetProcessLogTarget(g.pSession->LogTarget());
    g.pSession->Log("WinMain(Novarcprint.%d.%d) kellib version", NOVARCPRINT_VERSION_MAJOR,
                    NOVARCPRINT_VERSION_MINOR);
    MSG msg;
    memset(&msg, 0, sizeof(msg));
    while (GetMessageA(&msg, NULL, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
        LowerPriorityOnceOpened();
    }
    g.pSession->CleanupRecentScansFiles();
    /* A worker may still be finishing the request that came before the
     * close; the session must outlive it.  One that does not finish in time
     * keeps the session: the process ends without deleting it. */
    for (DWORD dwWaited = 0;
         g.pSession->m_iWorkerCount.load() > 0 && dwWaited < WORKER_EXIT_WAIT_MS; dwWaited += 10)
        Sleep(10);
    if (g.pSession->m_iWorkerCount.load() > 0) {
        g.pSession->Log(" workers still running, pNovarcprint kept");
    } else {
        g.pSession->Log(" delete pNovarcprint");
        delete g.pSession;
        g.pSession = NULL;
    }
    if (hBrush)
        DeleteObject(hBrush);
    return (int)msg.wParam;
}
