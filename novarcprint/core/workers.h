/*
 * Worker threads: one routine per request kind, all following one
 * discipline (take the print lock, let the dispatcher go on, run the
 * handler on a private copy of the request, release).  Also the request
 * handlers of the core and the hooks the printer session fills in.
 */
#ifndef NOVARCPRINT_WORKERS_H
#define NOVARCPRINT_WORKERS_H

#include "novarcprint_process.h"

/* What the dispatcher hands a new worker: its own copy of the request. */
struct WorkerStart {
    NovarcprintProcess *pSession;
    MsgBuf msg;
    int iType;
};

/* A request handler: runs under the print lock on the worker's copy. */
typedef int (*RequestHandler)(NovarcprintProcess *pSession, MsgBuf *pMsg, int iType);

/* The worker discipline around one handler; frees the start record. */
DWORD RunWorker(LPVOID pArg, const char *szWorkerName, RequestHandler pHandler);

/* Handlers of the core (named-file reception, deletion, checksum). */
int HandleSendNamedFile(NovarcprintProcess *pSession, MsgBuf *pMsg, int iType);
int HandleReceiveDeleteFile(NovarcprintProcess *pSession, MsgBuf *pMsg, int iType);
int HandleSendNamedFileChecksum(NovarcprintProcess *pSession, MsgBuf *pMsg, int iType);
/* Clears the named-file transfer (between tests and at a new session). */
void ResetNamedFileTransfer();

/* Timer hooks of the printer session. */
void HandlePrinterOpenTimerProc(NovarcprintProcess *pSession);
void HandlePrinterCloseTimerProc(NovarcprintProcess *pSession);

#define DECLARE_WORKER(name) DWORD WINAPI name(LPVOID pArg)
DECLARE_WORKER(ThreadOpenPrinter);
DECLARE_WORKER(ThreadClosePrinter);
DECLARE_WORKER(ThreadPrintNovarcDocument);
DECLARE_WORKER(ThreadPrintNovarcWordDocument);
DECLARE_WORKER(ThreadPrintNovarcStream);
DECLARE_WORKER(ThreadSetPrintMode);
DECLARE_WORKER(ThreadReceiveImageFile);
DECLARE_WORKER(ThreadReceiveEndImageFile);
DECLARE_WORKER(ThreadReceiveLetterheadeFile);
DECLARE_WORKER(ThreadReceiveEndLetterheadFile);
DECLARE_WORKER(ThreadSetPrinterTray);
DECLARE_WORKER(ThreadSetPosition);
DECLARE_WORKER(ThreadReceiveAnnotationFile);
DECLARE_WORKER(ThreadReceiveEndAnnotationFile);
DECLARE_WORKER(ThreadPrintImageFile);
DECLARE_WORKER(ThreadGetDataFieldInfo);
DECLARE_WORKER(ThreadReceiveSignatureImage);
DECLARE_WORKER(ThreadReceiveEndSignatureImage);
DECLARE_WORKER(ThreadPrinterFormLength);
DECLARE_WORKER(ThreadSetPrinterBold);
DECLARE_WORKER(ThreadImageSettings);
DECLARE_WORKER(ThreadLetterheadImageName);
DECLARE_WORKER(ThreadSetFormfeedOption);
DECLARE_WORKER(ThreadPrintPrescription);
DECLARE_WORKER(ThreadSetLandscapeMode);
DECLARE_WORKER(ThreadPrintEyePrescription);
DECLARE_WORKER(ThreadPrintNovarcDocumentWithHeading);
DECLARE_WORKER(ThreadReceiveDawImage);
DECLARE_WORKER(ThreadReceiveEndDawImage);
DECLARE_WORKER(ThreadPrintEcgDocument);
DECLARE_WORKER(ThreadReceiveWordDocument);
DECLARE_WORKER(ThreadReceiveEndWordDocument);
DECLARE_WORKER(ThreadPrintBarCode);
DECLARE_WORKER(ThreadReceiveExcelDocument);
DECLARE_WORKER(ThreadReceiveEndExcelDocument);
DECLARE_WORKER(ThreadPrintNovarcExcelDocument);
DECLARE_WORKER(ThreadPrintRawData);
DECLARE_WORKER(ThreadPrintConvertAndSendFiles);
DECLARE_WORKER(ThreadSendNamedFile);
DECLARE_WORKER(ThreadPrintContactLens);
DECLARE_WORKER(ThreadReceivePrintUrl);
DECLARE_WORKER(ThreadReceiveDeleteFile);
DECLARE_WORKER(ThreadPrintPdfCompForm);
DECLARE_WORKER(ThreadPrintLabElectronicE);
DECLARE_WORKER(ThreadPrintStreamCustomFont);
DECLARE_WORKER(ThreadImageConversionOptions);
DECLARE_WORKER(ThreadPrintFontColor);
DECLARE_WORKER(ThreadSendNamedFileChecksum);
DECLARE_WORKER(ReceiveHeadingFootingInfo);
DECLARE_WORKER(ThreadReceiveReturnFilledPdfForm);

#endif /* NOVARCPRINT_WORKERS_H */
