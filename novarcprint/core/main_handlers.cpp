/*
 * Requests handled on the main thread inside the dispatcher: opening and
 * closing the job and aborting it.  (The image cache's questions are
 * answered by images/.)
 */
#include <cstring>

#include "printer.h"
#include "workers.h"

namespace {

/* The close could not get the print lock within the death interval: a
 * worker is stuck (in a driver, say) and would keep the process and every
 * printer lock it holds alive for ever.  The process ends without the
 * close; its end frees the locks. */
int HandleCloseGivenUp(NovarcprintProcess *s, MsgBuf *, int)
{
    char szName[PRINTER_NAME_SIZE];
    s->CopyPrinterName(szName, sizeof(szName));
    s->Log(
        "ThreadClosePrinter gave up after %d ms m_szPrinterName<%s> PostMessage(m_hWnd, WM_CLOSE)",
        (int)s->m_iDeathInterval, szName);
    PostMessageA(s->m_hMainWnd, WM_CLOSE, 0, 0);
    return 0;
}

/* The closing worker: nobody waits for it.  Counted like every worker, so
 * the end of WinMain waits for the close (it ends the document) instead of
 * deleting the session under it. */
void StartCloseWorker(NovarcprintProcess *s, int iType)
{
    const WorkerJob job = {"ThreadClosePrinter", HandleClosePrinterWork, iType, HandleCloseGivenUp};
    const WorkerWait wait = {false, "ThreadClosePrinter", "ThreadClosePrinter", false};
    StartWorker(s, job, NULL, wait);
}

int HandleJobReset(NovarcprintProcess *s, MsgBuf *, int)
{
    s->SetDone(1);
    return 1;
}

} // namespace

void NovarcprintProcess::EndJob()
{
    MarkDone("ThreadSetDone");
    const WorkerJob job = {"ThreadSetDone", HandleJobReset, 0, NULL};
    const WorkerWait wait = {false, "ThreadSetDone", "ThreadSetDone", false};
    StartWorker(this, job, NULL, wait);
}

int HandleMainLogOnly(NovarcprintProcess *s, MsgBuf *, int iType)
{
    const RequestRoute *pRoute = FindRoute(iType);
    s->Log("%s", pRoute ? pRoute->szName : "");
    return 1;
}

int HandleOpenPrinter(NovarcprintProcess *s, MsgBuf *pMsg, int)
{
    s->Log("HandleWebnovNovarcprintMsg OPEN_PRINTER");
    FreeMsgBuf(&s->m_OpenRecord);
    if (pMsg->iLen > 0)
        AppendBytes(&s->m_OpenRecord, pMsg->szBuf, pMsg->iLen);
    char szPrinterName[PRINTER_NAME_SIZE] = "";
    MsgBuf peek = MsgBuf();
    if (pMsg->iLen > 0 && AppendBytes(&peek, pMsg->szBuf, pMsg->iLen))
        TakeString(&peek, szPrinterName);
    FreeMsgBuf(&peek);
    if (!szPrinterName[0])
        s->m_bDebugLog = false;
    s->Log("OPEN_PRINTER szPrinterName<%s>", szPrinterName);
    s->m_iOpenTimer = (int)s->SetSessionTimer(OPEN_TIMER, OPEN_TIMER_MS);
    return 1;
}

int HandleClosePrinter(NovarcprintProcess *s, MsgBuf *, int iType)
{
    KillTimer(s->m_hWnd, DEATH_TIMER);
    char szName[PRINTER_NAME_SIZE];
    s->CopyPrinterName(szName, sizeof(szName));
    s->Log("CLOSE_PRINTER m_szPrinterName<%s> m_iPrintkeeperMode<%d>", szName,
           s->m_iPrintkeeperMode);
    s->m_bCloseReceived = true;
    s->m_iDeathInterval = s->m_bConnectionClosed ? DEATH_INTERVAL_LOST_MS : DEATH_INTERVAL_MS;
    /* A document still open (after a second OPEN_PRINTER, say) is ended by
     * the close worker as an open printer is: its pages are delivered. */
    const bool bToClose = s->m_bOpenedPrinter || s->m_bDocumentOpen;
    if (s->m_iPrintkeeperMode && !bToClose) {
        s->Log("CLOSE_PRINTER m_szPrinterName<%s> PostMessage(m_hWnd, WM_CLOSE)", szName);
        PostMessageA(s->m_hMainWnd, WM_CLOSE, 0, 0);
    }
    /* Stream and document workers may still be drawing the job's last
     * pages: resetting the page state here, on the main thread, would move
     * their pen back to the top of the page.  The close worker runs after
     * them under the print lock and resets the job there. */
    if (bToClose) {
        StartCloseWorker(s, iType);
        s->MarkDone("ThreadClosePrinter");
    } else {
        s->EndJob();
    }
    return 1;
}

int HandleCloseWithStatus(NovarcprintProcess *s, MsgBuf *pMsg, int iType)
{
    KillTimer(s->m_hWnd, DEATH_TIMER);
    /* A short payload leaves the missing values at 0 rather than -100. */
    int iFlag = pMsg->iLen >= 4 ? TakeInt(pMsg) : 0;
    int iValue = pMsg->iLen >= 4 ? TakeInt(pMsg) : 0;
    s->m_bCloseStatusFlag = (iFlag != 0);
    s->m_iCloseStatusValue = iValue;
    s->m_bCloseReceived = true;
    s->m_iDeathInterval = s->m_bConnectionClosed ? DEATH_INTERVAL_LOST_MS : DEATH_INTERVAL_MS;
    StartCloseWorker(s, iType);
    s->MarkDone("ThreadClosePrinter");
    char szName[PRINTER_NAME_SIZE];
    s->CopyPrinterName(szName, sizeof(szName));
    if (strcmp(szName, "CompImage") == 0)
        s->m_iCloseTimer = (int)s->SetSessionTimer(CLOSE_TIMER, CLOSE_TIMER_MS);
    return 1;
}

int HandleAbortPrintJob(NovarcprintProcess *s, MsgBuf *, int)
{
    s->Log("ABORT_PRINT_JOB");
    s->EndJob();
    if (s->m_iPrintkeeperMode)
        PostMessageA(s->m_hMainWnd, WM_CLOSE, 0, 0);
    return 1;
}
