/*
 * The printer session's entry points from the dispatcher: the open timer,
 * the open and close workers, the two device-settings requests and the raw
 * data job.  Each payload is read by one bounded reader; a malformed one
 * fails that request with a log line.
 */
#include <cstdio>
#include <cstring>

#include <atomic>

#include "documents.h"
#include "printer.h"
#include "workers.h"

void HandlePrinterOpenTimerProc(NovarcprintProcess *s)
{
    KillTimer(s->m_hWnd, OPEN_TIMER);
    if (!GetNovarcPrinterMutex(s))
        return;
    MsgBuf record = MsgBuf();
    if (s->m_OpenRecord.iLen > 0 &&
        !AppendBytes(&record, s->m_OpenRecord.szBuf, s->m_OpenRecord.iLen)) {
        s->Log("OPEN_PRINTER (Timer) CreateThread()");
        return;
    }
    const WorkerJob job = {"ThreadOpenPrinter", HandleOpenPrinterWork, OPEN_PRINTER, NULL};
    const WorkerWait wait = {true, "OPEN_PRINTER (Timer)", "OPEN_PRINTER (Timer)", false};
    StartWorker(s, job, &record, wait);
}

void HandlePrinterCloseTimerProc(NovarcprintProcess *s)
{
    static std::atomic<bool> s_bRunning(false);
    if (s_bRunning.exchange(true))
        return;
    /* The file is taken once the close worker has ended the document: the
     * port may still be writing it before. */
    if (s->m_iWorkerCount.load() == 0 && CompImageOutputReady()) {
        char szName[PRINTER_NAME_SIZE];
        s->CopyPrinterName(szName, sizeof(szName));
        s->Log("HandlePrinterCloseTimerProc m_szPrinterName<%s>", szName);
        if (ReturnCompImageOutput(s) < 0) { /* taken at the next tick */
            s_bRunning = false;
            return;
        }
        KillTimer(s->m_hWnd, CLOSE_TIMER);
        /* The job is over: the client ends, and the printer's lock with it. */
        if (s->m_iPrintkeeperMode)
            PostMessageA(s->m_hMainWnd, WM_CLOSE, 0, 0);
    }
    s_bRunning = false;
}

namespace {

/* The session's main lock, opened by name as every worker does. */
HANDLE TakeMainLock(NovarcprintProcess *s, DWORD dwTimeout)
{
    HANDLE hMain = OpenMutexA(MUTEX_ALL_ACCESS, FALSE, s->m_szMainMutexName);
    if (hMain) {
        DWORD dwWait = WaitForSingleObject(hMain, dwTimeout);
        if (dwWait != WAIT_OBJECT_0 && dwWait != WAIT_ABANDONED) {
            s->CheckWaitResult(dwWait, "MAIN_MUTEX");
            CloseHandle(hMain);
            return NULL;
        }
    }
    return hMain;
}

void ReleaseMainLock(HANDLE hMain)
{
    if (hMain) {
        ReleaseMutex(hMain);
        CloseHandle(hMain);
    }
}

} // namespace

int HandleOpenPrinterWork(NovarcprintProcess *s, MsgBuf *pMsg, int)
{
    HANDLE hMain = TakeMainLock(s, INFINITE);
    s->Log("ThreadOpenPrinter m_bOpenedPrinter:%d", (int)s->m_bOpenedPrinter);
    s->m_bOpenedPrinter = false;
    OpenNovarcPrinter(s, pMsg);
    SendPrinterOpenReply(s);
    ReleaseMainLock(hMain);
    return 1;
}

int HandleClosePrinterWork(NovarcprintProcess *s, MsgBuf *, int)
{
    HANDLE hMain = TakeMainLock(s, (DWORD)s->m_iDeathInterval);
    CloseNovarcPrinter(s);
    s->m_bOpenedPrinter = false;
    ReleaseMainLock(hMain);
    s->SetDone(1); /* the job's end, in order after its last page */
    if (strcmp(s->m_szPrinterName, "CompImage") != 0 && s->m_iPrintkeeperMode)
        PostMessageA(s->m_hMainWnd, WM_CLOSE, 0, 0);
    return 1;
}

namespace {

bool TakeInts(MsgBuf *pMsg, int *pValues, int iCount)
{
    if (pMsg->iLen < 4 * iCount)
        return false;
    for (int i = 0; i < iCount; i++)
        pValues[i] = TakeInt(pMsg);
    return true;
}

} // namespace

int HandleSetLandscapeMode(NovarcprintProcess *s, MsgBuf *pMsg, int)
{
    PrinterState &p = s->m_Printer;
    const bool bHasPageOption = pMsg->iLen >= 12;
    int values[3] = {0, 0, 0};
    if (!TakeInts(pMsg, values, bHasPageOption ? 3 : 2)) {
        s->Log("SET_LANDSCAPE_MODE payload too short iLen<%d>", pMsg->iLen);
        return 0;
    }
    p.m_bLandscapeRequest = p.m_bLandscape = values[0] != 0;
    p.m_bLegalRequest = values[1] != 0;
    if (bHasPageOption)
        p.m_bDocPageOption = values[2] != 0;
    if (values[0]) {
        s->Log("ThreadSetLandscapeMode() SetLandScapeMode()");
        SetLandScapeMode(s, 0);
    } else
        s->Log("ThreadSetLandscapeMode() NOT SetLandScapeMode()");
    return 1;
}

int HandleSetPrinterTray(NovarcprintProcess *s, MsgBuf *pMsg, int)
{
    PrinterState &p = s->m_Printer;
    int values[3];
    if (!TakeInts(pMsg, values, 3)) {
        s->Log("SET_PRINTER_TRAY payload too short iLen<%d>", pMsg->iLen);
        return 0;
    }
    p.m_iTrayKind = values[0];
    p.m_iTray = values[1];
    p.m_iNextTray = values[2];
    s->Log("SET_PRINTER_TRAY kind<%d> tray<%d> next<%d>", values[0], values[1], values[2]);
    p.m_iPendingBin = TrayToBin(p.m_iTrayKind, p.m_iTray);
    if (p.m_iTrayKind == 2) {
        p.m_bLandscape = true;
        p.m_bEnvelopeFeed = true;
        SetLandScapeMode(s, 0);
    } else {
        p.m_bLandscape = p.m_bLandscapeRequest;
        p.m_bEnvelopeFeed = false;
    }
    DocumentProperties(s, p.m_iPendingBin);
    p.m_iPendingBin = TrayToBin(p.m_iTrayKind, p.m_iNextTray);
    return 1;
}

int HandlePrintRawData(NovarcprintProcess *s, MsgBuf *pMsg, int)
{
    if (pMsg->iLen <= 0) {
        s->Log("PRINT_RAW_DATA empty payload");
        return 0;
    }
    return PrintRawData(s, s->m_szPrinterName, pMsg->szBuf, pMsg->iLen) ? 1 : 0;
}
