/*
 * Numbers and names of the print service: its version, the window messages
 * and timers of its main window, the ports, the replies it sends and the
 * folders and files it keeps.  Everything the window procedure, the update
 * code and the tests must agree on lives here and nowhere else.
 */
#ifndef PRINTKEEPER_MSGS_H
#define PRINTKEEPER_MSGS_H

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
#define EXIT_COMMAND_FAILED 1 /* -install, -stop or -remove failed */

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
#define LAUNCH_UI_CHECKS 30 /* a minute for the companions to come up */
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
#define CLIENT_DEBUG_FOLDER "C:\\novarc\\bin\\NovarcPrintDebug"
#define DEBUG_MARKER_FILE "c:\\novarc\\bin\\PRINT_DEBUGGING_ON"
#define INHOUSE_MARKER_FILE "c:\\kel\\INHOUSE_PC"
#define VERSION_LOCK_FILE "C:\\novarc\\bin\\Services\\ServiceVersionLocked.txt"
#define PORTABLE_CHART_DIR "C:\\Novarc\\PortableChart"
#define SERVICE_LOG_FILE "c:\\novarc\\bin\\Services\\ErrorLogs\\Printkeeper.log"
#define SERVICE_LOG_OLD "c:\\novarc\\bin\\Services\\ErrorLogs\\Printkeeper_old.log"
#define SERVICE_LOG_TMP "c:\\novarc\\bin\\Services\\ErrorLogs\\Printkeeper.tmp"
#define SERVICE_LOG_KEEP_BYTES 1000000
#define FAX_SERVICE_LOG "c:\\novarc\\bin\\Services\\ErrorLogs\\FaxService.log"
/* net waits 30 s for each of its two commands. */
#define FAX_RESTART_WAIT_MS 70000

/* The update port.  A message's payload: byte kind, int32 sub-code, the
 * sub-code's fields.  Other kinds are ignored. */
#define UPDATE_KIND 3
#define UPDATE_KIND_VERSIONED 30
enum UpdateSubCode {
    UPD_VERSION = 1,
    UPD_SERVICE_DATA = 2,
    UPD_SERVICE_END = 3,
    UPD_IMAGING_QUERY = 4,
    UPD_IMAGING_DATA = 5,
    UPD_IMAGING_END = 6,
    UPD_ECG_QUERY = 7,
    UPD_ECG_DATA = 8,
    UPD_ECG_END = 9,
    UPD_CONVERTER_QUERY = 10,
    UPD_CONVERTER_DATA = 11,
    UPD_CONVERTER_END = 12,
    UPD_PDF_QUERY = 13,
    UPD_PDF_DATA = 14,
    UPD_PDF_END = 15,
    UPD_VC8_QUERY = 16,
    UPD_VC8_DATA = 17,
    UPD_VC8_END = 18,
    UPD_VC9_QUERY = 19,
    UPD_VC9_DATA = 20,
    UPD_VC9_END = 21,
    UPD_RESTART_FAX = 23,
    UPD_CLIENT_QUERY = 24,
    UPD_CLIENT_DATA = 25,
    UPD_CLIENT_END = 26,
    UPD_GATEWAY_SETTINGS = 53,
    UPD_GATEWAY_SHUTDOWN = 211,
    UPD_RELAY_REQUEST = 234,
    UPD_RELAY_DOWNLOAD = 235,
};

/* Replies on the update port (first byte, length). */
#define UPD_REPLY_VERSION 1 /* 13: byte 1, int32 minor, int32 major, int32 locked version */
#define UPD_REPLY_VERSION_SIZE 13
#define UPD_REPLY_STATUS 3 /* 5: byte 3, int32 1 accepted / 2 failed */
#define UPD_REPLY_STATUS_SIZE 5
#define UPD_STATUS_ACCEPTED 1
#define UPD_STATUS_FAILED 2
#define UPD_REPLY_END_ACK 1 /* 5: byte 1, int32 0 */
#define UPD_REPLY_END_ACK_SIZE 5
#define UPD_REPLY_QUERY 2 /* 9: byte 2, int32 value, int32 the sub-code asked */
#define UPD_REPLY_QUERY_SIZE 9
#define UPD_REPLY_RUNTIME 3 /* 5: byte 3, int32 1 installed / 0 not */
#define UPD_REPLY_RUNTIME_SIZE 5
#define UPD_REPLY_RELAY 89 /* 8: int32 89, int32 1 installed / 0 failed */
#define UPD_REPLY_RELAY_SIZE 8
#define UPD_RELAY_OK_FLAGS 66 /* the relay's success goes out compressed */
/* Gateway messages (sent on the gateway connection). */
#define GATEWAY_KIND 3
#define GATEWAY_REGISTER 1
#define GATEWAY_RELAY 55
#define GATEWAY_DISPLAY_NAME "NOVARC Remote Gateway Server"
#define GATEWAY_DEFAULT_PORT "7000"

/* Update timers: 5 only stops itself after a relay request; 6 watches the
 * transfers' bounds. */
#define TIMER_RELAY 5
#define TIMER_RELAY_MS 3000
#define TIMER_TRANSFER_WATCH 6
#define TIMER_TRANSFER_WATCH_MS 5000

/* Bounds of what one peer may make the service do.  A transfer larger than
 * any installer we ship, one that stalls, or an installer that never ends
 * is abandoned rather than holding the disk or the service. */
#define UPDATE_MAX_TRANSFER_BYTES (256 * 1024 * 1024)
#define UPDATE_TRANSFER_IDLE_MS 120000
#define UPDATE_TRANSFER_MAX_MS 3600000
#define UPDATE_INSTALLER_WAIT_MS 1800000
#define UPDATE_RUNTIME_WINDOW_POLL_MS 2000
#define UPDATE_RUNTIME_SETTLE_MS 3000
#define UPDATE_GATEWAY_CONNECT_MS 10000
/* Placing a client copies at most 256 MiB. */
#define UPDATE_PLACE_WAIT_MS 300000
/* A ServiceSpool installer that has not stopped this service by then did
 * not mean to: listening comes back. */
#define UPDATE_SERVICE_INSTALL_GRACE_MS 30000

/* Where updates go: transfers only into the transfer folder (TRANSFER_DIR,
 * privileged.h, with its verified and relay folders); program files reach
 * the program folders only once verified, through the privileged helper. */
#define UPDATE_TEMP_SUFFIX ".PRT_TMP"
#define UPDATE_CLIENT_NAME "Novarcprint.%d.%d.exe"
#define UPDATE_CLIENT_QUERY_PATH "C:\\novarc\\bin2\\novarcprint.%d.%d.exe"
#define CONVERTER_VERSION_FILE "cdintf550.kel"
#define PDF_ENGINE_DLL "C:\\novarc\\bin\\PdfTron\\kelpdftron.dll"

/* The tray companion ("-UI") and the pipe it talks to the service on.
 * Commands are NUL-terminated texts, one per message. */
#define UI_PIPE_NAME "\\\\.\\pipe\\PrintkeeperUIpipe"
#define UI_PIPE_BUFFER_SIZE 4096
#define UI_PIPE_WAIT_MS 10000
#define PIPE_CMD_SHUTDOWN "SHUTDOWN"
#define PIPE_CMD_DEBUG_LOG "IDM_PRINT_SERVICE_DEBUG_LOG"
#define PIPE_CMD_KEEPALIVE "HEY"
/* Connections served at once; more wait in the pipe's queue. */
#define UI_PIPE_MAX_CONNECTIONS 32
/* Per session: a desktop user creates it in the session's own namespace. */
#define UI_MUTEX_NAME "Local\\NovarcPrintkeeperUIMutex"
#define UI_WINDOW_CLASS "PrintkeeperUI"
#define UI_WINDOW_TITLE "PrintkeeperUI"
#define WM_UI_CONNECT (WM_USER + 4) /* 1028 */
#define TIMER_UI_TRAY_ICON 1
#define TIMER_UI_TRAY_ICON_MS 1000
#define TIMER_UI_KEEPALIVE 7
#define TIMER_UI_KEEPALIVE_MS 2000
#define TRAY_ICON_ID 104
#define TRAY_TIP "NOVARC Print Service"
/* The tray menu's items. */
#define TRAY_MENU_STOP 1
#define TRAY_MENU_VERSION 2
#define TRAY_MENU_CONNECTIVITY 3
#define TRAY_MENU_DEBUG 4
#define TRAY_MENU_VIEW_LOGS 5
#define TRAY_MENU_ARCHIVE 6
/* The log viewer shows a debug log's last bytes. */
#define DEBUG_LOG_VIEW_BYTES 20000
#define DEBUG_LOG_SHOWN 0
#define DEBUG_LOG_UNREADABLE 1
#define DEBUG_LOG_CORRUPT 2

/* Endpoint notices: the servers listed in the endpoint files hear from the
 * service on their notice port (timer 2).  Addresses come only from these
 * files, and a run reaches at most ENDPOINT_MAX_ADDRESSES of them. */
#define ENDPOINT_FILE "C:\\Novarc\\kelfile.txt"
#define ENDPOINT_TEST_FILE "C:\\Novarc\\keltest%d.txt"
#define ENDPOINT_TEST_FIRST 7
#define ENDPOINT_TEST_LAST 999
#define ENDPOINT_PORT 11001
#define ENDPOINT_PORT_TEXT "11001"
#define ENDPOINT_VALUE_MAX 100
#define ENDPOINT_FILE_MAX_BYTES (64 * 1024)
#define ENDPOINT_MAX_ADDRESSES 32
#define ENDPOINT_CONNECT_TICKS 6 /* of 1000 ms */
#define ENDPOINT_LINGER_MS 3000
#define ENDPOINT_STOP_WAIT_MS 30000
#define ENDPOINT_RUN_MAX_MS 20000
#define ENDPOINT_NOTICE_FIRST_MS 60000
#define WM_ENDPOINT_CONNECT (WM_USER + 8) /* ignored: only makes the connect non-blocking */

/* Clean-up at start: old client debug logs and cached scans. */
#define RECENT_SCANS_DIR "C:\\novarc\\RecentScans"
#define DEBUG_LOG_KEEP_DAYS 14
#define RECENT_SCANS_KEEP_DAYS 30

#endif /* PRINTKEEPER_MSGS_H */
