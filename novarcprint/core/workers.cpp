/*
 * The worker discipline: one entry point for every worker and one way to
 * start one.  A worker owns its copy of the request and its ticket, waits
 * for its turn, takes the print lock, passes the turn on, lets the
 * dispatcher go on, runs its handler and releases.  Requests whose
 * handling is not built yet run the placeholder handler, so they still take
 * part in the ordering and the server's sequence is served in order.
 */
#include <cstring>

#include "workers.h"

namespace {

/* What a new worker owns: its job, its own copy of the request and its
 * place in the order of requests. */
struct WorkerStart {
    NovarcprintProcess *pSession;
    WorkerJob job;
    MsgBuf msg;
    unsigned uTicket;
};

void FreeWorkerStart(WorkerStart *pStart)
{
    FreeMsgBuf(&pStart->msg);
    delete pStart;
}

/* Waits for the worker's turn, then for the print lock, and passes the turn
 * on.  Only the worker whose turn it is waits for the lock, so the lock's
 * wake-up order never decides which request runs next.  A job that can give
 * up waits at most the session's death interval, read afresh as it waits
 * (the close request that started the job sets it). */
DWORD TakePrintLock(WorkerStart *pStart, HANDLE hPrintMutex)
{
    NovarcprintProcess *s = pStart->pSession;
    DWORD dwWait = WAIT_TIMEOUT;
    if (!pStart->job.pGiveUp) {
        s->m_Order.WaitTurn(pStart->uTicket, INFINITE);
        dwWait = WaitForSingleObject(hPrintMutex, INFINITE);
        s->m_Order.Pass(pStart->uTicket);
        return dwWait;
    }
    const DWORD dwStart = GetTickCount();
    bool bTurn = false;
    for (;;) {
        const DWORD dwSpent = GetTickCount() - dwStart;
        const DWORD dwBound = (DWORD)s->m_iDeathInterval;
        if (dwSpent >= dwBound)
            break;
        const DWORD dwSlice = dwBound - dwSpent < 100 ? dwBound - dwSpent : 100;
        if (!bTurn) {
            bTurn = s->m_Order.WaitTurn(pStart->uTicket, dwSlice);
            continue;
        }
        dwWait = WaitForSingleObject(hPrintMutex, dwSlice);
        if (dwWait != WAIT_TIMEOUT)
            break;
    }
    s->m_Order.Pass(pStart->uTicket);
    return dwWait;
}

} // namespace

int HandleLogOnly(NovarcprintProcess *pSession, MsgBuf *pMsg, int iType)
{
    pSession->Log("Request iType:%d iLen:%d not handled by this client", iType, pMsg->iLen);
    return 1;
}

DWORD WINAPI RequestWorker(LPVOID pArg)
{
    WorkerStart *pStart = (WorkerStart *)pArg;
    NovarcprintProcess *pSession = pStart->pSession;
    const WorkerJob &job = pStart->job;
    HANDLE hPrintMutex = OpenMutexA(MUTEX_ALL_ACCESS, FALSE, pSession->m_szPrintMutexName);
    if (!hPrintMutex)
        pSession->Log("%s OpenMutex() FAILED ERROR:%d", job.szWorker, (int)GetLastError());
    HANDLE hFree = OpenSemaphoreA(SEMAPHORE_ALL_ACCESS, FALSE, pSession->m_szFreeSemaphoreName);
    if (!hFree)
        pSession->Log("%s OpenSemaphore() FAILED ERROR:%d", job.szWorker, (int)GetLastError());
    if (!hPrintMutex || !hFree) {
        /* Without the print lock the handler would run beside another one:
         * the request fails instead.  The dispatcher is let go at once when
         * it can be. */
        pSession->Log("%s type<%d> dropped", job.szWorker, job.iType);
        pSession->m_Order.Pass(pStart->uTicket);
        if (hFree) {
            ReleaseSemaphore(hFree, 1, NULL);
            CloseHandle(hFree);
        }
        if (hPrintMutex)
            CloseHandle(hPrintMutex);
        FreeWorkerStart(pStart);
        pSession->m_iWorkerCount--;
        return 0;
    }
    const DWORD dwWait = TakePrintLock(pStart, hPrintMutex);
    if (dwWait != WAIT_OBJECT_0 && dwWait != WAIT_ABANDONED) {
        pSession->CheckWaitResult(dwWait, job.szWorker);
        ReleaseSemaphore(hFree, 1, NULL);
        CloseHandle(hFree);
        CloseHandle(hPrintMutex);
        if (job.pGiveUp)
            job.pGiveUp(pSession, &pStart->msg, job.iType);
        else
            pSession->Log("%s type<%d> dropped", job.szWorker, job.iType);
        FreeWorkerStart(pStart);
        pSession->m_iWorkerCount--;
        return 0;
    }
    if (!ReleaseSemaphore(hFree, 1, NULL))
        pSession->Log("%s ReleaseSemaphore()", job.szWorker);
    CloseHandle(hFree);
    pSession->Log("%s type<%d>", job.szWorker, job.iType);
    job.pHandler(pSession, &pStart->msg, job.iType);
    pSession->RestartConverterIdleTimer(); /* its idle time starts now */
    ReleaseMutex(hPrintMutex);
    CloseHandle(hPrintMutex);
    FreeWorkerStart(pStart);
    pSession->m_iWorkerCount--;
    return 1;
}

bool StartWorker(NovarcprintProcess *s, const WorkerJob &job, MsgBuf *pMsg, const WorkerWait &wait)
{
    WorkerStart *pStart = new WorkerStart{s, job, MsgBuf(), s->m_Order.Take()};
    if (pMsg) {
        pStart->msg = *pMsg;
        *pMsg = MsgBuf();
    }
    DWORD dwThreadId = 0;
    /* Counted before the thread exists, so that whoever waits for the workers
     * to finish (the end of WinMain, tests) never misses one about to start. */
    s->m_iWorkerCount++;
    HANDLE hThread = CreateThread(NULL, 0, RequestWorker, pStart, 0, &dwThreadId);
    if (!hThread) {
        s->m_iWorkerCount--;
        s->Log("%s CreateThread()", wait.szCreateName);
        s->m_Order.Pass(pStart->uTicket);
        FreeWorkerStart(pStart);
        return false;
    }
    if (wait.bLogWait)
        s->Log("%d %s", (int)dwThreadId, wait.szName);
    if (!CloseHandle(hThread)) {
        s->Log("%s CloseHandle()", wait.szName);
        return true; /* counts as a normal wait */
    }
    if (!wait.bWait)
        return true;
    if (wait.bLogWait)
        s->Log("%d %s WaitForSingleObject(%d)", (int)dwThreadId, wait.szName,
               s->m_iWaitInterval.load());
    DWORD dwWait = WaitForSingleObject(s->m_hFreeSemaphore, (DWORD)s->m_iWaitInterval);
    if (wait.bLogWait)
        s->Log("%d %s AFTER WaitForSingleObject() dwWait:%d", (int)dwThreadId, wait.szName,
               (int)dwWait);
    s->CheckWaitResult(dwWait, wait.szName);
    return true;
}
