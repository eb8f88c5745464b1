/*
 * Requests handled on the main thread inside the dispatcher: opening and
 * closing the job, aborting it, and the requests that only log here until
 * the image cache answers them.
 */
#include <cstring>

#include "workers.h"

namespace {

/* Starts a worker that nobody waits for (the closing worker). */
void StartUnwaitedWorker(NovarcprintProcess *pSession, int iType, LPTHREAD_START_ROUTINE pWorker)
{
    WorkerStart *pStart = new WorkerStart{pSession, MsgBuf(), iType};
    /* Counted like every worker, so the end of WinMain waits for the close
     * (it ends the document) instead of deleting the session under it. */
    pSession->m_iWorkerCount++;
    HANDLE hThread = CreateThread(NULL, 0, pWorker, pStart, 0, NULL);
    if (!hThread) {
        pSession->m_iWorkerCount--;
        pSession->Log("ThreadClosePrinter CreateThread()");
        delete pStart;
        return;
    }
    CloseHandle(hThread);
}

} // namespace

void NovarcprintProcess::HandleMainThreadRequest(int iType)
{
    switch (iType) {
    case OPEN_PRINTER:
        HandleOpenPrinter();
        break;
    case CLOSE_PRINTER:
        HandleClosePrinter();
        break;
    case CLOSE_PRINTER_WITH_STATUS:
        HandleCloseWithStatus();
        break;
    case ABORT_PRINT_JOB:
        HandleAbortPrintJob();
        break;
    case PRINT_DOCUMENT_ERROR:
        Log("Print Document Error");
        break;
    case IS_IMAGE_FILE_HERE: {
        Log("Is Image File Here");
        DWORD dwWait = WaitForSingleObject(m_hMainMutex, IMAGE_QUERY_LOCK_MS);
        if (dwWait == WAIT_OBJECT_0 || dwWait == WAIT_ABANDONED)
            ReleaseMutex(m_hMainMutex);
        break;
    }
    case SPECIAL_IMAGE_MESSAGE:
        Log("Special Message Type");
        break;
    case QUERY_FILE_SIZE:
        Log("QUERY_FILE_SIZE");
        break;
    case STORE_CACHE_FILE:
        Log("STORE_CACHE_FILE");
        break;
    case COMP_IMAGE_SIGNATURE:
        Log("COMP_IMAGE_SIGNATURE");
        break;
    default:
        break;
    }
}

void NovarcprintProcess::HandleOpenPrinter()
{
    Log("HandleWebnovNovarcprintMsg OPEN_PRINTER");
    FreeMsgBuf(&m_OpenRecord);
    if (m_Msg.iLen > 0)
        AppendBytes(&m_OpenRecord, m_Msg.szBuf, m_Msg.iLen);
    char szPrinterName[PRINTER_NAME_SIZE] = "";
    MsgBuf peek = MsgBuf();
    if (m_Msg.iLen > 0 && AppendBytes(&peek, m_Msg.szBuf, m_Msg.iLen))
        TakeString(&peek, szPrinterName);
    FreeMsgBuf(&peek);
    if (!szPrinterName[0])
        m_bDebugLog = false;
    Log("OPEN_PRINTER szPrinterName<%s>", szPrinterName);
    m_iOpenTimer = (int)SetSessionTimer(OPEN_TIMER, OPEN_TIMER_MS);
}

void NovarcprintProcess::HandleClosePrinter()
{
    KillTimer(m_hWnd, DEATH_TIMER);
    Log("CLOSE_PRINTER m_szPrinterName<%s> m_iPrintkeeperMode<%d>", m_szPrinterName,
        m_iPrintkeeperMode);
    m_bCloseReceived = true;
    m_iDeathInterval = m_bConnectionClosed ? DEATH_INTERVAL_LOST_MS : DEATH_INTERVAL_MS;
    if (m_iPrintkeeperMode && !m_bOpenedPrinter) {
        Log("CLOSE_PRINTER m_szPrinterName<%s> PostMessage(m_hWnd, WM_CLOSE)", m_szPrinterName);
        PostMessageA(m_hMainWnd, WM_CLOSE, 0, 0);
    }
    /* Stream and document workers may still be drawing the job's last
     * pages: resetting the page state here, on the main thread, would move
     * their pen back to the top of the page.  The close worker runs after
     * them under the print lock and resets the job there. */
    if (m_bOpenedPrinter) {
        StartUnwaitedWorker(this, CLOSE_PRINTER, ThreadClosePrinter);
        MarkDone();
    } else {
        SetDone(1);
    }
}

void NovarcprintProcess::HandleCloseWithStatus()
{
    KillTimer(m_hWnd, DEATH_TIMER);
    /* A short payload leaves the missing values at 0 rather than -100. */
    int iFlag = m_Msg.iLen >= 4 ? TakeInt(&m_Msg) : 0;
    int iValue = m_Msg.iLen >= 4 ? TakeInt(&m_Msg) : 0;
    m_bCloseStatusFlag = (iFlag != 0);
    m_iCloseStatusValue = iValue;
    m_bCloseReceived = true;
    m_iDeathInterval = m_bConnectionClosed ? DEATH_INTERVAL_LOST_MS : DEATH_INTERVAL_MS;
    StartUnwaitedWorker(this, CLOSE_PRINTER_WITH_STATUS, ThreadClosePrinter);
    MarkDone();
    if (strcmp(m_szPrinterName, "CompImage") == 0)
        m_iCloseTimer = (int)SetSessionTimer(CLOSE_TIMER, CLOSE_TIMER_MS);
}

void NovarcprintProcess::HandleAbortPrintJob()
{
    Log("ABORT_PRINT_JOB");
    SetDone(1);
    if (m_iPrintkeeperMode)
        PostMessageA(m_hMainWnd, WM_CLOSE, 0, 0);
}
