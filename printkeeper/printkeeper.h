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

#define PRINTKEEPER_VERSION_MAJOR 237
#define PRINTKEEPER_VERSION_MINOR 859

#define SERVICE_NAME "NovarcPrintkeeper"
#define SERVICE_DISPLAY_NAME "Novarc Print Service"
#define SERVICE_WINDOW_CLASS "NOVARC Print Service"
#define SERVICE_WINDOW_TITLE "NOVARC Print Service"
#define SERVICE_TYPE_PRINTKEEPER (SERVICE_WIN32_OWN_PROCESS | SERVICE_INTERACTIVE_PROCESS)
/* The service and every client it starts run as this local account (the
 * installer creates it), never as the system. */
#define SERVICE_ACCOUNT ".\\novarc"

/* Exit statuses.  A start that could not serve (the print port taken)
 * fails, and the service manager starts it again; a start the version lock
 * refuses ends with EX_CONFIG, which the service's unit lists as "do not
 * restart", so it shows as failed without a restart loop. */
#define EXIT_START_FAILED 1
#define EXIT_VERSION_LOCKED 78

/* Messages of the main window. */
#define WM_SOCKET_NOTIFY (WM_USER + 0)   /* 1024: WSAAsyncSelect events */
#define WM_SERVICE_STOP (WM_USER + 1)    /* 1025 */
#define WM_SERVICE_INSTALL (WM_USER + 2) /* 1026 */
#define WM_SERVICE_REMOVE (WM_USER + 3)  /* 1027 */
#define WM_SERVICE_START (WM_USER + 4)   /* 1028 */
#define WM_SERVICE_HALT (WM_USER + 5)    /* 1029: stop the installed service */
#define WM_TRAY_CALLBACK (WM_USER + 6)   /* 1030 */
#define WM_RESTART_LISTEN (WM_USER + 7)  /* 1031 */

/* Timers of the main window. */
#define TIMER_TRAY_ICON 1
#define TIMER_ENDPOINT_NOTICE 2
#define TIMER_RESTART_LISTEN 4
#define TIMER_SESSION_NOTIFY 8
#define TIMER_LAUNCH_UI 9
#define TIMER_SLOTS 10 /* deadlines of waiting connections, ended clients */
#define TIMER_SLOTS_MS 1000
#define TIMER_SESSION_NOTIFY_MS 2000
#define TIMER_LAUNCH_UI_MS 2000
#define RESTART_AFTER_UPDATE_MS 30000
#define RESTART_AFTER_ENDSESSION_MS 10000

#define PRINT_PORT 13001
#define UPDATE_PORT 13002
/* The kernel keeps this many connections that are not accepted yet (it
 * caps the number at net.core.somaxconn).  A backlog of 4 loses print jobs
 * under a burst: the overflow is answered with SYN cookies, and a
 * connection whose data arrives before it is accepted is reset. */
#define LISTEN_BACKLOG 511
#define SOCKET_SLOTS 100

/* Bounds on a peer: its first message in full within this time, at most
 * this long; a client that is not idle, or does not take the socket,
 * within these times is ended and the server gets the failure reply. */
#define FIRST_MESSAGE_DEADLINE_MS 30000
#define FIRST_MESSAGE_MAX_BYTES (1024 * 1024)
#define CLIENT_IDLE_WAIT_MS 30000
#define HANDOFF_WAIT_MS 30000

#define LAUNCH_FAILURE_REPLY 27
#define LAUNCH_FAILURE_REPLY_SIZE 9
#define VERSION_INFO_TYPE 30
#define VERSION_INFO_SUBTYPE 22
#define VERSION_INFO_MAX_XML 2164

#define DEFAULT_CLIENT_PATH "C:\\novarc\\bin2\\novarcprint.exe"
#define VERSIONED_CLIENT_PATH "C:\\novarc\\bin2\\novarcprint.%d.%d.exe"
#define PROGRAM_PATH "C:\\novarc\\bin2\\Printkeeper.exe"
#define BIN2_DIR "c:\\novarc\\bin2"
#define SERVICES_DIR "C:\\novarc\\bin\\Services"
#define ERROR_LOGS_DIR "C:\\novarc\\bin\\Services\\ErrorLogs"
#define CLIENT_DEBUG_DIR "C:\\novarc\\bin\\NovarcPrintDebug\\"
#define DEBUG_MARKER_FILE "c:\\novarc\\bin\\PRINT_DEBUGGING_ON"
#define INHOUSE_MARKER_FILE "c:\\kel\\INHOUSE_PC"
#define VERSION_LOCK_FILE "C:\\novarc\\bin\\Services\\ServiceVersionLocked.txt"
#define PORTABLE_CHART_DIR "C:\\Novarc\\PortableChart"
#define SERVICE_LOG_FILE "c:\\novarc\\bin\\Services\\ErrorLogs\\Printkeeper.log"
#define SERVICE_LOG_OLD "c:\\novarc\\bin\\Services\\ErrorLogs\\Printkeeper_old.log"
#define SERVICE_LOG_TMP "c:\\novarc\\bin\\Services\\ErrorLogs\\Printkeeper.tmp"
#define SERVICE_LOG_KEEP_BYTES 1000000
#define FAX_SERVICE_LOG "c:\\novarc\\bin\\Services\\ErrorLogs\\FaxService.log"
#define FAX_SERVICE_NAME "NovarcFaxService"
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
int RunProgram(const char *szCmdLine);

/* main_window.cpp */
HWND CreateServiceWindow(HINSTANCE hInstance);
LRESULT CALLBACK ServiceWndProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam);
int RunMessageLoop();
bool OpenListeners();
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

/* update_port.cpp */
void ReadUpdateSocket(SOCKET sock);

#endif /* PRINTKEEPER_H */
