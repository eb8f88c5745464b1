/*
 * Requests and the workers that run them.  The route table in dispatch.cpp
 * is the one place a request type is listed: its row names the type, its
 * log name, where it runs and its handler.  Every worker runs the same
 * entry point (RequestWorker) and is started one way (StartWorker); every
 * handler has the RequestHandler form, on the main thread or under the
 * print lock alike.  How to add a request type: novarcprint/README.md.
 */
#ifndef NOVARCPRINT_WORKERS_H
#define NOVARCPRINT_WORKERS_H

#include "novarcprint_process.h"

/* A request handler.  On the main thread it reads the session's m_Msg; on
 * a worker it reads the worker's own copy, under the print lock. */
typedef int (*RequestHandler)(NovarcprintProcess *pSession, MsgBuf *pMsg, int iType);

/* Where a request runs. */
enum RunsOn {
    RUNS_MAIN,      /* on the main thread, inside the dispatcher */
    RUNS_WORKER,    /* on a worker, under the print lock, in arrival order */
    RUNS_PRINT_MODE /* as RUNS_WORKER, the type stored in the session first */
};

/* One row of the route table. */
struct RequestRoute {
    int iType;
    const char *szName; /* the request's name in log lines */
    RunsOn runs;
    const char *szWorker; /* the worker's name in its own log lines; NULL on the main thread */
    RequestHandler pHandler;
};

/* The row of a request type, or NULL: the type is ignored. */
const RequestRoute *FindRoute(int iType);

/* What one worker runs: its name in the log, its handler, the request type.
 * With pGiveUp set, the worker waits for its turn and the print lock at most
 * the session's death interval; when that passes it runs pGiveUp instead of
 * its handler, without the lock (the close: a worker stuck in a driver must
 * not keep the process alive for ever). */
struct WorkerJob {
    const char *szWorker;
    RequestHandler pHandler;
    int iType;
    RequestHandler pGiveUp;
};

/* How the starter of a worker waits for it and names it in failures. */
struct WorkerWait {
    bool bWait;               /* wait (the wait interval) until it holds the print lock */
    const char *szName;       /* name in the wait check and " CloseHandle()" */
    const char *szCreateName; /* name in " CreateThread()" */
    bool bLogWait;            /* log the thread and the wait around it */
};

/* Starts a worker on pMsg, which it takes over (cleared here; NULL or
 * empty for a request without payload), and waits as asked.  False when
 * the thread could not be started: the request is dropped with a log line. */
bool StartWorker(NovarcprintProcess *pSession, const WorkerJob &job, MsgBuf *pMsg,
                 const WorkerWait &wait);

/* The one worker entry point: the discipline around the handler (print
 * lock, free semaphore, handler, release). */
DWORD WINAPI RequestWorker(LPVOID pArg);

/* The placeholder of every request whose handling is not built yet: the
 * request takes its turn and logs that it was not handled. */
int HandleLogOnly(NovarcprintProcess *pSession, MsgBuf *pMsg, int iType);

/* Main-thread requests of the core. */
int HandleOpenPrinter(NovarcprintProcess *pSession, MsgBuf *pMsg, int iType);
int HandleClosePrinter(NovarcprintProcess *pSession, MsgBuf *pMsg, int iType);
int HandleCloseWithStatus(NovarcprintProcess *pSession, MsgBuf *pMsg, int iType);
int HandleAbortPrintJob(NovarcprintProcess *pSession, MsgBuf *pMsg, int iType);
/* Logs the route's name and does nothing more (yet). */
int HandleMainLogOnly(NovarcprintProcess *pSession, MsgBuf *pMsg, int iType);

/* Worker requests of the core (named-file reception, deletion, checksum). */
int HandleSendNamedFile(NovarcprintProcess *pSession, MsgBuf *pMsg, int iType);
int HandleReceiveDeleteFile(NovarcprintProcess *pSession, MsgBuf *pMsg, int iType);
int HandleSendNamedFileChecksum(NovarcprintProcess *pSession, MsgBuf *pMsg, int iType);

/* Timer hooks of the printer session. */
void HandlePrinterOpenTimerProc(NovarcprintProcess *pSession);
void HandlePrinterCloseTimerProc(NovarcprintProcess *pSession);

#endif /* NOVARCPRINT_WORKERS_H */
