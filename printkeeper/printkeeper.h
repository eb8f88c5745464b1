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
#include <string>

#include <winsock2.h> /* before windows.h, which would bring the old winsock.h */
#include <windows.h>

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

/* tray_ui.cpp: the companion; the pipe's client end */
int RunUserInterface();
/* Timer 9 (service side): true when the check is done (every desktop
 * session with a user has its companion, or it is time to stop looking). */
bool CheckSessionCompanions();
/* The companion's hidden window (it connects to the pipe once its
 * messages run); NULL when it cannot be made. */
HWND CreateUserInterfaceWindow();
/* Opens the service's pipe in message read mode (waiting while it is busy);
 * INVALID_HANDLE_VALUE with the failure logged. */
HANDLE OpenServicePipe();
/* Writes one command with its NUL; false unless all of it was written. */
bool WritePipeCommand(HANDLE hPipe, const char *szCommand);

/* tray_menu.cpp: the companion's icon and menu */
void UpkeepTrayIcon(HWND hWnd);
void RemoveTrayIcon(HWND hWnd);
void ShowTrayMenu(HWND hWnd, HANDLE hPipe);
/* The newest client debug log's file name (in CLIENT_DEBUG_DIR); false
 * when there is none. */
bool NewestDebugLogName(char *szName, int iSize);
/* The last DEBUG_LOG_VIEW_BYTES of a debug log: DEBUG_LOG_SHOWN, else
 * DEBUG_LOG_UNREADABLE (it cannot be opened, or is empty) or
 * DEBUG_LOG_CORRUPT (it cannot be measured). */
int ReadDebugLogTail(const char *szPath, std::string *pText);

/* pipe_commands.cpp: what the pipe's messages mean */
enum PipeCommand { PIPE_KEEPALIVE, PIPE_SHUTDOWN, PIPE_DEBUG_LOG };
/* The command in a message of iLen bytes (its text ends at the first NUL or
 * at iLen); anything not known is a keep-alive. */
PipeCommand ParsePipeCommand(const char *pData, int iLen);
/* Stopping the service and switching the debug logs are for operators. */
bool PipeCommandNeedsOperator(PipeCommand command);
/* Switches the debug-log marker file; the new state. */
bool ToggleDebugLogFlag();
/* Carries out a command for the client of hPipe (checked for rights). */
void ExecutePipeCommand(HANDLE hPipe, PipeCommand command);

/* pipe_server.cpp */
bool StartPipeServer();
/* Companions connected now. */
int PipeConnectionCount();

/* endpoints.cpp: the endpoint files and the notices sent to them */
struct EndpointRecord {
    char szName[ENDPOINT_VALUE_MAX + 1];
    char szAddress[ENDPOINT_VALUE_MAX + 1];
    char szD[ENDPOINT_VALUE_MAX + 1];
    char szW[ENDPOINT_VALUE_MAX + 1];
    char szPort[8];
};
/* One line's options into *pRecord; false when the line has none. */
bool ParseEndpointLine(const char *szLine, EndpointRecord *pRecord);
/* The records of an endpoint file's text (its first line is skipped). */
int ParseEndpointText(const char *pText, int iLen, EndpointRecord *pRecords, int iMax);
bool IsDottedIPv4(const char *szText);
/* The unique dotted addresses of every endpoint file, at most iMax. */
int CollectEndpointAddresses(char (*pAddresses)[16], int iMax);
DWORD NextNoticePeriodMs(bool bEndpointsFound, unsigned uRandom);
void FormatEndpointNotice(bool bStopping, const char *szComputer, const char *szAddress,
                          char *szOut, int iSize);
/* Sends the notice to each address, holds the connections iLingerMs, closes. */
int SendEndpointNotices(const char (*pAddresses)[16], int iCount, bool bStopping, int iLingerMs);
void OnEndpointNoticeTimer();
/* Whether the notice port of szAddress accepts a connection (6 s at most). */
bool TestEndpointConnection(const char *szAddress);
void SendStopNotices();

/* cleanup.cpp: old client debug logs and cached scans */
bool IsOldFile(const SYSTEMTIME &created, const SYSTEMTIME &now, int iDays);
/* Deletes the old files matching szPattern in szDir; how many went. */
int CleanOutOldFiles(const char *szDir, const char *szPattern, int iDays, bool bSkipDotFiles,
                     const char *szLogFormat);
void StartCleanupThreads();

/* gateway.cpp */
/* The workstation's own IPv4 address as dotted text, "" when none. */
void OwnAddress(char *szOut, int iSize);

/* update_port.cpp: reads one message of an update connection */
void ReadUpdateSocket(SOCKET sock);

#endif /* PRINTKEEPER_H */
