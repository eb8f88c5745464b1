/*
 * NovarcprintProcess: the print session, one per print client.  It holds the
 * reply socket, the session window with its timers, the kernel objects that
 * order the workers, the current request and the printer and stream state the
 * server changes message by message, and writes the debug log.
 *
 * The main thread and the one worker holding the print lock share the
 * fields.  What a worker writes and the main thread reads as well is atomic
 * (the flags, the intervals) or read through a lock (the printer name).
 * The special-printer lock handles are the main thread's alone: the gate,
 * the lost-connection rule and the release all run there.
 */
#ifndef NOVARCPRINT_PROCESS_H
#define NOVARCPRINT_PROCESS_H

#include <winsock2.h> /* before windows.h, which would bring the old winsock.h */
#include <windows.h>

#include <atomic>
#include <mutex>

#include <kellib.h>

#include "draw_state.h"
#include "images_state.h"
#include "named_file_state.h"
#include "novarcprint_msgs.h"
#include "office_state.h"
#include "printer_state.h"
#include "request_order.h"
#include "shared_printers.h"
#include "stream_state.h"
#include "wp_state.h"

#define KERNEL_NAME_SIZE 260
#define PRINTER_NAME_SIZE 200
#define HEADING_TEXT_SIZE 1000
#define LOG_MESSAGE_LIMIT 1000

/* Where the debug log lives and whether it is written. */
struct DebugLogTarget {
    bool bEnabled;
    char szPath[2 * MAX_PATH];
};

class NovarcprintProcess {
public:
    NovarcprintProcess(HINSTANCE hInstance, HWND hMainWnd, int iPrintkeeperMode);
    ~NovarcprintProcess();
    NovarcprintProcess(const NovarcprintProcess &) = delete;
    NovarcprintProcess &operator=(const NovarcprintProcess &) = delete;

    /* Debug log, session form: one line with the calling thread's id. */
    void Log(const char *szFormat, ...) __attribute__((format(printf, 2, 3)));

    /* Dispatcher: takes buffer over.  Main thread only. */
    void HandleWebnovNovarcprintMsg(SOCKET socket, int iEvent, MsgBuf *buffer);
    int CheckWaitResult(DWORD dwWait, const char *szName);

    /* The end of a job: the done flag and the reset of the job's heading,
     * footing, image and stream state.  Under the print lock only (a worker
     * may be drawing with that state). */
    void SetDone(int iFlag);
    /* The done flag alone, for an end whose reset a worker does under the
     * print lock (SetDone there), after the requests before it. */
    void MarkDone(const char *szWorker);
    /* The end of the job from the main thread (abort, a failed receive, a
     * socket error, a lost connection): the done flag now, the reset by a
     * worker under the print lock.  Main thread only. */
    void EndJob();
    void HandleWMDestroy();
    /* Timers of the session window (death, close, open, converter idle). */
    void OnSessionTimer(UINT_PTR idTimer);
    /* Sets one of the session window timers with the session timer procedure. */
    UINT_PTR SetSessionTimer(UINT_PTR idTimer, int iMs);
    /* Timer 6: an idle converter job ends the client; a busy worker defers it. */
    void ConverterIdleTimer();
    /* Timer 6 again from now (a message arrived, a worker ended). */
    void RestartConverterIdleTimer();
    void CleanupRecentScansFiles();

    /* Replies of the core. */
    int SendFileIsHereMessage(int iFileFlag);
    int SendWholeFile(SOCKET socket, const char *szName, const char *szPath, int iFlags);

    bool IsDone() const { return m_bDone; }
    bool CloseReceived() const { return m_bCloseReceived; }
    bool OpenReplySent() const { return m_bOpenReplySent; }
    bool HoldsConverterLock() const;
    void SetConnectionClosed() { m_bConnectionClosed = true; }
    DebugLogTarget LogTarget() const;
    /* The printer name: written by the open worker, read by the main
     * thread too (the close requests, the death timer), through a lock. */
    void SetPrinterName(const char *szName);
    void CopyPrinterName(char *szOut, int iSize);

    /* Shared fields, in the order the session declares them. */
    SOCKET m_sockReply;
    HWND m_hWnd;
    HWND m_hMainWnd;
    HINSTANCE m_hInstance;
    int m_iProcessId;
    int m_iPrintkeeperMode;
    int m_iPrintStatus;
    std::atomic<bool> m_bDone;
    std::atomic<bool> m_bOpenedPrinter;
    /* A document or raw job is open on the printer: the close must end it,
     * even after a second OPEN_PRINTER cleared m_bOpenedPrinter. */
    std::atomic<bool> m_bDocumentOpen;
    std::atomic<bool> m_bOpenReplySent;
    std::atomic<bool> m_bCloseReceived;
    std::atomic<bool> m_bConnectionClosed;
    std::atomic<bool> m_bDebugLog;
    std::atomic<bool> m_bFax;
    std::atomic<bool> m_bConverter;
    bool m_bCloseStatusFlag;
    int m_iCloseStatusValue;
    std::atomic<int> m_iFaxJob;

    /* Stream settings the table of request types sets directly. */
    int m_iPrintMode;
    int m_iLinesPerInch;
    int m_iFormLength;
    bool m_bBold;
    int m_iFormFeedOption;
    bool m_bPageOpen;
    int m_iBarCodeMode;
    int m_iBarCodeHeight;
    COLORREF m_crTextColor;
    int m_iHeadingType;
    int m_iFootingType;
    char m_szHeading[HEADING_TEXT_SIZE];
    char m_szFooting[HEADING_TEXT_SIZE];
    int m_iCurrentImagePage;
    int m_iImageState;

    char m_szDebugDir[MAX_PATH];
    char m_szLogFileName[MAX_PATH];
    char m_szLogPath[2 * MAX_PATH];
    char m_szPrinterName[PRINTER_NAME_SIZE];
    std::atomic<int> m_iStoredPrintModeType;
    int m_iCloseTimer;
    int m_iOpenTimer;
    std::atomic<long> m_iWorkerCount;
    /* The order in which workers take the print lock: their requests'. */
    RequestOrder m_Order;

    HANDLE m_hPrintMutex;
    HANDLE m_hMainMutex;
    HANDLE m_hFreeSemaphore;
    HANDLE m_hOfficeMutex;
    HANDLE m_hSpecialLock[LOCK_COUNT];

    char m_szMainMutexName[KERNEL_NAME_SIZE];
    char m_szPrintMutexName[KERNEL_NAME_SIZE];
    char m_szFreeSemaphoreName[KERNEL_NAME_SIZE];
    char m_szOfficeMutexName[KERNEL_NAME_SIZE];
    char m_szSpecialLockName[LOCK_COUNT][KERNEL_NAME_SIZE];

    std::atomic<int> m_iWaitInterval;
    std::atomic<int> m_iDeathInterval;
    MsgBuf m_Msg;
    MsgBuf m_OpenRecord;
    /* The job's printer and its device settings (printer/). */
    PrinterState m_Printer;
    /* The text stream's extra settings and pen position (stream/). */
    StreamState m_Stream;
    /* What the shared drawing helpers keep (draw/). */
    DrawingState m_Draw;
    /* The named file being received (SEND_NAMED_FILE). */
    NamedFileTransfer m_NamedFile;
    /* The data-field list and page breaks of word-processor documents (wp/). */
    WpState m_Wp;
    /* The image transfers, letterheads, signatures and CompImage (images/). */
    ImagesState m_Images;
    /* Office files being received, the headless office program (documents/). */
    OfficeState m_Office;
    char m_szCreateError[64];
    std::mutex m_PrinterNameLock;

private:
    void BuildNames();
    void CreateKernelObjects();
    void CreateSessionWindow();
    void ReleaseLocks();
    void ResetPrintingFlag();
    void DeleteConverterTempFiles();
    void CloseKernelObjects();
};

/* Debug log, process form (no thread id), for code without a session. */
void write_file(const char *szFormat, ...) __attribute__((format(printf, 1, 2)));
/* Where write_file writes; WinMain copies the session's values in. */
void SetProcessLogTarget(const DebugLogTarget &target);
/* Writes one entry; bThread selects the session form. */
void WriteDebugEntry(const DebugLogTarget &target, bool bThread, const char *szMessage);
/* The next log file name: differs from every earlier result of this process. */
void MakeLogFileName(int iProcessId, char *szOut, int iOutSize);

#endif /* NOVARCPRINT_PROCESS_H */
