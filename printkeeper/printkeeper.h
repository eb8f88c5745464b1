/*
 * The print service: one process that owns the workstation's print port.
 *
 * Everything except the console handlers runs on the thread of the main
 * window's message loop: socket events arrive as window messages and are
 * handled one at a time.  The state below is that thread's, apart from the
 * few flags the console and control handlers set, which are atomic.
 */
#ifndef PRINTKEEPER_H
#define PRINTKEEPER_H

#include <atomic>

#include <windows.h>
#include <winsock2.h>

#include <kellib.h>

#include "printkeeper_msgs.h"

#define ALLOW_LIST_FILE KEL_ALLOW_LIST_FILE
#define ALLOW_LIST_MAX 256

/* The allow list (allow_list.cpp): without the file every peer is taken. */
struct AllowEntry {
    unsigned long network; /* host order, masked */
    unsigned long mask;
};
struct AllowList {
    bool bPresent;
    int iCount;
    AllowEntry entries[ALLOW_LIST_MAX];
};

struct PrintkeeperGlobals {
    HINSTANCE hInstance = NULL;
    HWND hMainWnd = NULL;
    std::atomic<bool> bRunning{false};
    bool bDebug = false;
    /* The NT family; the 2000/XP flags choose who shows the tray icon. */
    bool bWinNT = true;
    bool bWin2000 = false;
    bool bWinXP = false;
    bool bWin6 = false;
    SERVICE_STATUS ssStatus = {};
    SERVICE_STATUS_HANDLE hStatus = NULL;
    DWORD dwCheckPoint = 1;
    DWORD dwExitCode = 0;
    HANDLE hStopEvent = NULL;
    std::atomic<bool> bShutdownEvent{false}; /* the system is shutting down */
    SOCKET sockListen = INVALID_SOCKET;
    SOCKET sockUpdateListen = INVALID_SOCKET;
    /* A client slot holds a connection waiting for its first message (its
     * socket, when it came, what of the message has arrived) or, once
     * handed over, the print client serving it: at most SOCKET_SLOTS of
     * both together. */
    SOCKET sockClients[SOCKET_SLOTS];
    DWORD dwAcceptedAt[SOCKET_SLOTS];
    KelFrameReader firstMessage[SOCKET_SLOTS];
    HANDLE hClients[SOCKET_SLOTS];
    SOCKET sockUpdates[SOCKET_SLOTS];
    SOCKET sockUpdate = INVALID_SOCKET;  /* the one active update connection */
    SOCKET sockGateway = INVALID_SOCKET; /* opened by updates that register */
    bool bUpdateReading = false;
    /* A service installer was started and has its grace time to stop us. */
    bool bServiceInstalling = false;
    int iLockedVersion = 0;
    bool bInHouse = false;
    bool bDebugLog = false;
    bool bSessionNotifyRegistered = false;
    bool bLaunchUiTimer = false;
    AllowList allowList = {};
    PrintkeeperGlobals();
};

extern PrintkeeperGlobals g_Printkeeper;

/* service_log.cpp */
void LogLine(const char *szFormat, ...);
void DebugLogLine(const char *szFormat, ...);
void RotateServiceLog();
/* Appends one line to a log file (appending writes land whole); a file
 * that cannot be opened is skipped. */
void AppendToLogFile(const char *szPath, const char *szLine);
void FormatLogLine(const SYSTEMTIME &st, const char *szText, bool bDebugForm, char *szOut,
                   int iOutSize);

/* service_control.cpp: the service control manager, console and event log */
void WINAPI ServiceMain(DWORD dwArgc, LPSTR *lpszArgv);
BOOL ReportStatusToSCMgr(DWORD dwCurrentState, DWORD dwWin32ExitCode, DWORD dwWaitHint);
void AddToMessageLog(const char *szMsg);
void ServiceStop();
void InstallService();
void StopInstalledService();
void RemoveService();

/* main_window.cpp */
HWND CreateServiceWindow(HINSTANCE hInstance);
LRESULT CALLBACK ServiceWndProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam);
int RunMessageLoop();
bool OpenListeners();
void CloseListeners();
void ClosePrintListener();
void CloseAllSockets();
/* The slot of sock in a socket table, -1 when it has none. */
int FindSlot(const SOCKET *table, SOCKET sock);
/* Closes sock (the caller's) and frees its slot in table, if it has one. */
bool CloseSlotSocket(SOCKET *table, SOCKET sock);

/* Accepts every pending print connection while slots are free. */
void AcceptPrintConnections();
/* Frees the slots of ended clients and of connections past their deadline. */
void CheckClientSlots();

/* allow_list.cpp */
void LoadAllowList();
/* The lines' entries into *pList (present); the count of lines not understood. */
int ParseAllowList(const char *szText, AllowList *pList);
bool AllowListPermits(const AllowList *pList, unsigned long addressHostOrder);
/* Whether the peer may connect; a refusal is logged. */
bool PeerAllowed(const sockaddr_in &peer);

/* launch.cpp */
void LaunchNovarcPrint(SOCKET sock, int iSlot);
int StartNovarcPrintVersion(int iSlot, const char *szPath);
HWND FindWindowForProcess(DWORD dwProcessId);
bool ParseVersionInfo(const char *pData, int iLen, int *piMajor, int *piMinor);
void ChooseClientPath(const char *pData, int iLen, char *szPath, int iPathSize);

/* folders.cpp */
int ReadLockedVersion();
int ParseLockedVersion(const char *szFirstLine);
void ApplyVersionLock();
void HardenDirectory(const char *szDir, bool bRecursive);
void CleanOutConvertPdfDir(const char *szDir);
void RestartFaxService();
bool FileExists(const char *szPath);
void CreateFolderTree(const char *szDir);

/* tray_ui.cpp */
int RunUserInterface();

/* update_port.cpp: reads one message of an update connection */
void ReadUpdateSocket(SOCKET sock);

#endif /* PRINTKEEPER_H */
