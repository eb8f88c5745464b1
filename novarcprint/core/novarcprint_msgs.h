/*
 * Numbers of the print client: window messages, timer ids and periods, the
 * request types the server sends and the reply codes the client sends back.
 * Everything that the window procedures, the dispatcher and the tests must
 * agree on lives here and nowhere else.
 */
#ifndef NOVARCPRINT_MSGS_H
#define NOVARCPRINT_MSGS_H

/* Window messages of the main window "PrintProcess". */
#define WM_SOCKET_EVENT 1024     /* WM_USER: WSAAsyncSelect events of the connection */
#define WM_STARTUP_MESSAGE 1025  /* posted after Winsock started */
#define WM_FAX_PRINT_STATUS 1031 /* to "NOVARC Fax Service" windows at exit */
#define WM_QUIT_VALUE 18         /* WM_QUIT arriving at the procedure: ignored */

/* Timers.  Main window: 1 keeps the loop turning, 3 ends a process whose
 * connection is gone.  Session window: 3 death, 4 close, 5 open, 6 idle of a
 * converter printer. */
#define MAIN_KEEPALIVE_TIMER 1
#define MAIN_KEEPALIVE_MS 60000
/* How long the end of WinMain waits for running workers before it deletes
 * the session they use. */
#define WORKER_EXIT_WAIT_MS 5000
#define DEATH_TIMER 3
#define DEATH_NO_SESSION_MS 60000
#define DEATH_SESSION_MS 300000
#define CLOSE_TIMER 4
#define CLOSE_TIMER_MS 1000
#define OPEN_TIMER 5
#define OPEN_TIMER_MS 100
#define CONVERTER_IDLE_TIMER 6
#define CONVERTER_IDLE_MS 60000

/* Waits of the dispatcher and of the closing worker. */
#define DEFAULT_WAIT_INTERVAL_MS 60000
#define DEATH_INTERVAL_MS 300000
#define DEATH_INTERVAL_LOST_MS 30000
#define PRINT_WORD_DOCUMENT_PAUSE_MS 3000
#define IMAGE_QUERY_LOCK_MS 10000

/* Product version logged at start. */
#define NOVARCPRINT_VERSION_MAJOR 237
#define NOVARCPRINT_VERSION_MINOR 859

/* Request types (first int32 of every payload from the server). */
enum NovarcMessageType {
    OPEN_PRINTER = 1,
    CLOSE_PRINTER = 2,
    PRINT_NOVARC_DOCUMENT = 3,
    PRINT_WORD_DOCUMENT = 4,
    PRINT_STREAM = 5,
    PRINT_DOCUMENT_ERROR = 6,
    ABORT_PRINT_JOB = 7,
    SET_PRINT_SIZE_8 = 8,
    SET_PRINT_SIZE_9 = 9,
    SET_PRINT_SIZE_10 = 10,
    PRINT_IMAGE = 11,
    PRINT_END_IMAGE = 12,
    LETTERHEAD_IMAGE = 13,
    END_LETTERHEAD_IMAGE = 14,
    SET_PRINTER_TRAY = 15,
    SET_VERT_POS = 16,
    SET_HORZ_POS = 17,
    PRINT_ANNOTATION = 18,
    PRINT_END_ANNOTATION = 19,
    IS_IMAGE_FILE_HERE = 20,
    PRINT_LOCAL_IMAGE = 21,
    PRINT_DATA_FIELD_INFO = 22,
    SET_PRINT_SIZE_23 = 23,
    SET_PRINT_SIZE_24 = 24,
    SIGNATURE_IMAGE = 25,
    END_SIGNATURE_IMAGE = 26,
    PRINTER_OPEN_REPLY = 27,
    PRINTER_FORM_LENGTH = 28,
    SET_PRINTER_BOLD = 29,
    SPECIAL_IMAGE_MESSAGE = 30,
    IMAGE_SETTINGS = 31,
    LETTERHEAD_IMAGE_NAME = 32,
    SET_FORMFEED_OPTION = 33,
    PRINT_PRESCRIPTION = 34,
    SET_LANDSCAPE_MODE = 35,
    PRINT_EYE_PRESCRIPTION = 36,
    PRINT_NOVARC_DOCUMENT_HEADING = 37,
    PRINT_PRESCRIPTION_PENN = 38,
    DAW_IMAGE = 44,
    END_DAW_IMAGE = 45,
    PRINT_PRESCRIPTION_NJ = 46,
    PRINT_PRESCRIPTION_NJ_PA = 47,
    PRINT_PRESCRIPTION_NJ_NP = 48,
    PRINT_ECG_DOCUMENT = 49,
    RECEIVE_WORD_DOCUMENT = 50,
    RECEIVE_END_WORD_DOCUMENT = 51,
    CLOSE_PRINTER_WITH_STATUS = 89,
    PRINT_BAR_CODE = 90,
    SET_PRINT_SIZE_91 = 91,
    QUERY_FILE_SIZE = 92,
    STORE_CACHE_FILE = 93,
    COMP_IMAGE_SIGNATURE = 94,
    RECEIVE_EXCEL_DOCUMENT = 95,
    RECEIVE_END_EXCEL_DOCUMENT = 96,
    PRINT_EXCEL_DOCUMENT = 97,
    PRINT_PRESCRIPTION_NY_2006 = 98,
    PRINT_PRESCRIPTION_NY_2006NON_TYPE_30 = 99,
    PRINT_RAW_DATA = 100,
    PRINT_CONVERT_AND_SEND_FILES = 101,
    SEND_NAMED_FILE = 102,
    PRINT_CONTACT_LENS = 103,
    RECEIVE_PRINT_URL = 104,
    RECEIVE_DELETE_FILE = 105,
    PRINT_PDF_COMP_FORM = 106,
    PRINT_LAB_ELECTRONIC_E = 107,
    PRINT_PDF_COMP_FORM_PAGE_RANGE = 108,
    PRINT_STREAM_CUSTOM_FONT = 109,
    IMAGE_CONVERSION_OPTIONS = 110,
    PRINT_FONT_COLOR = 111,
    SET_PRINT_SIZE_112 = 112,
    SEND_NAMED_FILE_CHECKSUM = 113,
    RECEIVE_HEADING_FOOTING_INFO = 114,
    RECEIVE_RETURN_FILLED_PDF_FORM = 115,
};

/* Reply codes from the client to the server. */
#define REPLY_CHECKSUM 3      /* byte 3, int32 113, hex text */
#define REPLY_FILE_IS_HERE 20 /* byte 20, int32 flag */
#define REPLY_FILE_RETURN 39  /* byte 0x27 + name, block or "DONE" */
#define FILE_BLOCK_SIZE 1000
#define SEND_WHOLE_FILE_EMPTY 0x1  /* SendWholeFile: only the name and the end */
#define SEND_WHOLE_FILE_SEALED 0x2 /* blocks sent as replies are, never compressed */
#define SEND_WHOLE_FILE_KEEP 0x4   /* the caller deletes the file */
#define REPLY_OPTIONS 0x202        /* sealed, never compressed */
#define FILE_BLOCK_OPTIONS 0x242

/* Named-file reception: flags and the largest file accepted. */
#define NAMED_FILE_ZIPPED 0x1
#define NAMED_FILE_MAKE_DIR 0x2
#define NAMED_FILE_MAX_BYTES (64 * 1024 * 1024)
/* The largest file whose checksum is computed (it is read whole). */
#define CHECKSUM_MAX_BYTES (256 * 1024 * 1024)

#endif /* NOVARCPRINT_MSGS_H */
