/*
 * The worker discipline and the worker routines.  Requests whose handling
 * belongs to the printer, stream, document, form and image code run the
 * placeholder handler: they take part in the ordering (print lock, free
 * semaphore) and log the request, so the server's message sequence is
 * served in order even before their handling exists.
 */
#include <cstring>

#include "printer.h"
#include "stream.h"
#include "workers.h"

namespace {

/* Logs the request: the worker took its turn under the print lock. */
int HandleLogOnly(NovarcprintProcess *pSession, MsgBuf *pMsg, int iType)
{
    pSession->Log("Request iType:%d iLen:%d not handled by this client", iType, pMsg->iLen);
    return 1;
}

} // namespace

DWORD RunWorker(LPVOID pArg, const char *szWorkerName, RequestHandler pHandler)
{
    WorkerStart *pStart = (WorkerStart *)pArg;
    NovarcprintProcess *pSession = pStart->pSession;
    HANDLE hPrintMutex = OpenMutexA(MUTEX_ALL_ACCESS, FALSE, pSession->m_szPrintMutexName);
    HANDLE hFree = OpenSemaphoreA(SEMAPHORE_ALL_ACCESS, FALSE, pSession->m_szFreeSemaphoreName);
    WaitForSingleObject(hPrintMutex, INFINITE);
    if (!ReleaseSemaphore(hFree, 1, NULL))
        pSession->Log("%s ReleaseSemaphore()", szWorkerName);
    if (hFree)
        CloseHandle(hFree);
    pSession->Log("%s type<%d>", szWorkerName, pStart->iType);
    pHandler(pSession, &pStart->msg, pStart->iType);
    if (hPrintMutex) {
        ReleaseMutex(hPrintMutex);
        CloseHandle(hPrintMutex);
    }
    FreeMsgBuf(&pStart->msg);
    delete pStart;
    pSession->m_iWorkerCount--;
    return 1;
}

void HandlePrinterCloseTimerProc(NovarcprintProcess *pSession)
{
    KillTimer(pSession->m_hWnd, CLOSE_TIMER);
    pSession->Log("HandlePrinterCloseTimerProc m_szPrinterName<%s>", pSession->m_szPrinterName);
}

#define DEFINE_WORKER(name, handler)                                                               \
    DWORD WINAPI name(LPVOID pArg)                                                                 \
    {                                                                                              \
        return RunWorker(pArg, #name, handler);                                                    \
    }

DEFINE_WORKER(ThreadOpenPrinter, HandleOpenPrinterWork)
DEFINE_WORKER(ThreadClosePrinter, HandleClosePrinterWork)
DEFINE_WORKER(ThreadPrintNovarcDocument, HandleLogOnly)
DEFINE_WORKER(ThreadPrintNovarcWordDocument, HandleLogOnly)
DEFINE_WORKER(ThreadPrintNovarcStream, HandlePrintNovarcStream)
DEFINE_WORKER(ThreadSetPrintMode, HandleSetPrintMode)
DEFINE_WORKER(ThreadReceiveImageFile, HandleLogOnly)
DEFINE_WORKER(ThreadReceiveEndImageFile, HandleLogOnly)
DEFINE_WORKER(ThreadReceiveLetterheadeFile, HandleLogOnly)
DEFINE_WORKER(ThreadReceiveEndLetterheadFile, HandleLogOnly)
DEFINE_WORKER(ThreadSetPrinterTray, HandleSetPrinterTray)
DEFINE_WORKER(ThreadSetPosition, HandleSetPosition)
DEFINE_WORKER(ThreadReceiveAnnotationFile, HandleLogOnly)
DEFINE_WORKER(ThreadReceiveEndAnnotationFile, HandleLogOnly)
DEFINE_WORKER(ThreadPrintImageFile, HandleLogOnly)
DEFINE_WORKER(ThreadGetDataFieldInfo, HandleLogOnly)
DEFINE_WORKER(ThreadReceiveSignatureImage, HandleLogOnly)
DEFINE_WORKER(ThreadReceiveEndSignatureImage, HandleLogOnly)
DEFINE_WORKER(ThreadPrinterFormLength, HandleFormLength)
DEFINE_WORKER(ThreadSetPrinterBold, HandleBold)
DEFINE_WORKER(ThreadImageSettings, HandleLogOnly)
DEFINE_WORKER(ThreadLetterheadImageName, HandleLogOnly)
DEFINE_WORKER(ThreadSetFormfeedOption, HandleFormFeedOption)
DEFINE_WORKER(ThreadPrintPrescription, HandleLogOnly)
DEFINE_WORKER(ThreadSetLandscapeMode, HandleSetLandscapeMode)
DEFINE_WORKER(ThreadPrintEyePrescription, HandleLogOnly)
DEFINE_WORKER(ThreadPrintNovarcDocumentWithHeading, HandleLogOnly)
DEFINE_WORKER(ThreadReceiveDawImage, HandleLogOnly)
DEFINE_WORKER(ThreadReceiveEndDawImage, HandleLogOnly)
DEFINE_WORKER(ThreadPrintEcgDocument, HandleLogOnly)
DEFINE_WORKER(ThreadReceiveWordDocument, HandleLogOnly)
DEFINE_WORKER(ThreadReceiveEndWordDocument, HandleLogOnly)
DEFINE_WORKER(ThreadPrintBarCode, HandleBarCode)
DEFINE_WORKER(ThreadReceiveExcelDocument, HandleLogOnly)
DEFINE_WORKER(ThreadReceiveEndExcelDocument, HandleLogOnly)
DEFINE_WORKER(ThreadPrintNovarcExcelDocument, HandleLogOnly)
DEFINE_WORKER(ThreadPrintRawData, HandlePrintRawData)
DEFINE_WORKER(ThreadPrintConvertAndSendFiles, HandleLogOnly)
DEFINE_WORKER(ThreadSendNamedFile, HandleSendNamedFile)
DEFINE_WORKER(ThreadPrintContactLens, HandleLogOnly)
DEFINE_WORKER(ThreadReceivePrintUrl, HandleLogOnly)
DEFINE_WORKER(ThreadReceiveDeleteFile, HandleReceiveDeleteFile)
DEFINE_WORKER(ThreadPrintPdfCompForm, HandleLogOnly)
DEFINE_WORKER(ThreadPrintLabElectronicE, HandleLogOnly)
DEFINE_WORKER(ThreadPrintStreamCustomFont, HandleCustomFont)
DEFINE_WORKER(ThreadImageConversionOptions, HandleLogOnly)
DEFINE_WORKER(ThreadPrintFontColor, HandleFontColor)
DEFINE_WORKER(ThreadSendNamedFileChecksum, HandleSendNamedFileChecksum)
DEFINE_WORKER(ReceiveHeadingFootingInfo, HandleHeadingFooting)
DEFINE_WORKER(ThreadReceiveReturnFilledPdfForm, HandleLogOnly)
