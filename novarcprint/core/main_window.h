/*
 * The main window "PrintProcess" and the process-wide state around it: the
 * connection socket handed over by the print service, the one session, the
 * receive guard.  Declared here so the unit tests can drive the socket
 * events without a message loop.
 */
#ifndef NOVARCPRINT_MAIN_WINDOW_H
#define NOVARCPRINT_MAIN_WINDOW_H

#include "novarcprint_process.h"

struct NovarcprintGlobals {
    HINSTANCE hInstance;
    HWND hMainWnd;
    SOCKET sockConnection;
    NovarcprintProcess *pSession;
    volatile bool bReceiving;
    bool bPriorityLowered;
    /* How many idle polls a started frame may take before the connection
     * counts as lost (tests shorten it). */
    int iReceiveIdlePolls;
};

extern NovarcprintGlobals g_Novarcprint;

LRESULT CALLBACK WndProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam);
void exitFunc();

/* Window message handlers. */
LRESULT OnCreate(HWND hWnd);
LRESULT OnStartupMessage();
LRESULT OnCopyData(HWND hWnd, const COPYDATASTRUCT *pCopy);
LRESULT OnSocketEvent(HWND hWnd, WPARAM wParam, LPARAM lParam);
LRESULT OnClose(HWND hWnd);
LRESULT OnDestroy();

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE hPrevInstance, LPSTR lpCmdLine, int nShowCmd);

#endif /* NOVARCPRINT_MAIN_WINDOW_H */
