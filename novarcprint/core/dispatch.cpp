/*
 * The dispatcher: takes the request type off each received payload and
 * either handles the request on the main thread or starts its worker and
 * waits until the worker holds the print lock.  Requests therefore run one
 * at a time in arrival order, unless a worker keeps the dispatcher waiting
 * longer than the wait interval.
 */
#include <cstring>

#include "workers.h"

namespace {

enum Runs { RUNS_MAIN, RUNS_WORKER, RUNS_PRINT_MODE };

struct MessageRoute {
    int iType;
    const char *szName;
    Runs runs;
    LPTHREAD_START_ROUTINE pWorker;
};

/* Every request type the client serves; types not listed are ignored. */
const MessageRoute kRoutes[] = {
    {OPEN_PRINTER, "OPEN_PRINTER", RUNS_MAIN, NULL},
    {CLOSE_PRINTER, "CLOSE_PRINTER", RUNS_MAIN, NULL},
    {PRINT_NOVARC_DOCUMENT, "PRINT_NOVARC_DOCUMENT", RUNS_WORKER, ThreadPrintNovarcDocument},
    {PRINT_WORD_DOCUMENT, "PRINT_WORD_DOCUMENT", RUNS_WORKER, ThreadPrintNovarcWordDocument},
    {PRINT_STREAM, "PRINT_STREAM", RUNS_WORKER, ThreadPrintNovarcStream},
    {PRINT_DOCUMENT_ERROR, "Print Document Error", RUNS_MAIN, NULL},
    {ABORT_PRINT_JOB, "ABORT_PRINT_JOB", RUNS_MAIN, NULL},
    {SET_PRINT_SIZE_8, "SET_PRINT_SIZE", RUNS_PRINT_MODE, ThreadSetPrintMode},
    {SET_PRINT_SIZE_9, "SET_PRINT_SIZE", RUNS_PRINT_MODE, ThreadSetPrintMode},
    {SET_PRINT_SIZE_10, "SET_PRINT_SIZE", RUNS_PRINT_MODE, ThreadSetPrintMode},
    {PRINT_IMAGE, "PRINT_IMAGE", RUNS_WORKER, ThreadReceiveImageFile},
    {PRINT_END_IMAGE, "PRINT_END_IMAGE", RUNS_WORKER, ThreadReceiveEndImageFile},
    {LETTERHEAD_IMAGE, "LETTERHEAD_IMAGE", RUNS_WORKER, ThreadReceiveLetterheadeFile},
    {END_LETTERHEAD_IMAGE, "END_LETTERHEAD_IMAGE", RUNS_WORKER, ThreadReceiveEndLetterheadFile},
    {SET_PRINTER_TRAY, "SET_PRINTER_TRAY", RUNS_WORKER, ThreadSetPrinterTray},
    {SET_VERT_POS, "SET_VERT_POS", RUNS_WORKER, ThreadSetPosition},
    {SET_HORZ_POS, "SET_HORZ_POS", RUNS_WORKER, ThreadSetPosition},
    {PRINT_ANNOTATION, "PRINT_ANNOTATION", RUNS_WORKER, ThreadReceiveAnnotationFile},
    {PRINT_END_ANNOTATION, "PRINT_END_ANNOTATION", RUNS_WORKER, ThreadReceiveEndAnnotationFile},
    {IS_IMAGE_FILE_HERE, "IS_IMAGE_FILE_HERE", RUNS_MAIN, NULL},
    {PRINT_LOCAL_IMAGE, "PRINT_LOCAL_IMAGE", RUNS_WORKER, ThreadPrintImageFile},
    {PRINT_DATA_FIELD_INFO, "PRINT_DATA_FIELD_INFO", RUNS_WORKER, ThreadGetDataFieldInfo},
    {SET_PRINT_SIZE_23, "SET_PRINT_SIZE", RUNS_PRINT_MODE, ThreadSetPrintMode},
    {SET_PRINT_SIZE_24, "SET_PRINT_SIZE", RUNS_PRINT_MODE, ThreadSetPrintMode},
    {SIGNATURE_IMAGE, "SIGNATURE_IMAGE", RUNS_WORKER, ThreadReceiveSignatureImage},
    {END_SIGNATURE_IMAGE, "END_SIGNATURE_IMAGE", RUNS_WORKER, ThreadReceiveEndSignatureImage},
    {PRINTER_FORM_LENGTH, "PRINTER_FORM_LENGTH", RUNS_WORKER, ThreadPrinterFormLength},
    {SET_PRINTER_BOLD, "SET_PRINTER_BOLD", RUNS_WORKER, ThreadSetPrinterBold},
    {SPECIAL_IMAGE_MESSAGE, "Special Message Type", RUNS_MAIN, NULL},
    {IMAGE_SETTINGS, "IMAGE_SETTINGS", RUNS_WORKER, ThreadImageSettings},
    {LETTERHEAD_IMAGE_NAME, "LETTERHEAD_IMAGE_NAME", RUNS_WORKER, ThreadLetterheadImageName},
    {SET_FORMFEED_OPTION, "SET_FORMFEED_OPTION", RUNS_WORKER, ThreadSetFormfeedOption},
    {PRINT_PRESCRIPTION, "PRINT_PRESCRIPTION", RUNS_WORKER, ThreadPrintPrescription},
    {SET_LANDSCAPE_MODE, "SET_LANDSCAPE_MODE", RUNS_WORKER, ThreadSetLandscapeMode},
    {PRINT_EYE_PRESCRIPTION, "PRINT_EYE_PRESCRIPTION", RUNS_WORKER, ThreadPrintEyePrescription},
    {PRINT_NOVARC_DOCUMENT_HEADING, "PRINT_NOVARC_DOCUMENT", RUNS_WORKER,
     ThreadPrintNovarcDocumentWithHeading},
    {PRINT_PRESCRIPTION_PENN, "PRINT_PRESCRIPTION_PENN", RUNS_WORKER, ThreadPrintPrescription},
    {DAW_IMAGE, "DAW_IMAGE", RUNS_WORKER, ThreadReceiveDawImage},
    {END_DAW_IMAGE, "END_DAW_IMAGE", RUNS_WORKER, ThreadReceiveEndDawImage},
    {PRINT_PRESCRIPTION_NJ, "PRINT_PRESCRIPTION_NJ", RUNS_WORKER, ThreadPrintPrescription},
    {PRINT_PRESCRIPTION_NJ_PA, "PRINT_PRESCRIPTION_NJ_PA", RUNS_WORKER, ThreadPrintPrescription},
    {PRINT_PRESCRIPTION_NJ_NP, "PRINT_PRESCRIPTION_NJ_NP", RUNS_WORKER, ThreadPrintPrescription},
    {PRINT_ECG_DOCUMENT, "PRINT_ECG_DOCUMENT", RUNS_WORKER, ThreadPrintEcgDocument},
    {RECEIVE_WORD_DOCUMENT, "RECEIVE_WORD_DOCUMENT", RUNS_WORKER, ThreadReceiveWordDocument},
    {RECEIVE_END_WORD_DOCUMENT, "RECEIVE_END_WORD_DOCUMENT", RUNS_WORKER,
     ThreadReceiveEndWordDocument},
    {CLOSE_PRINTER_WITH_STATUS, "", RUNS_MAIN, NULL},
    {PRINT_BAR_CODE, "PRINT_BAR_CODE", RUNS_WORKER, ThreadPrintBarCode},
    {SET_PRINT_SIZE_91, "SET_PRINT_SIZE", RUNS_PRINT_MODE, ThreadSetPrintMode},
    {QUERY_FILE_SIZE, "QUERY_FILE_SIZE", RUNS_MAIN, NULL},
    {STORE_CACHE_FILE, "STORE_CACHE_FILE", RUNS_MAIN, NULL},
    {COMP_IMAGE_SIGNATURE, "COMP_IMAGE_SIGNATURE", RUNS_MAIN, NULL},
    {RECEIVE_EXCEL_DOCUMENT, "RECEIVE_EXCEL_DOCUMENT", RUNS_WORKER, ThreadReceiveExcelDocument},
    {RECEIVE_END_EXCEL_DOCUMENT, "RECEIVE_END_EXCEL_DOCUMENT", RUNS_WORKER,
     ThreadReceiveEndExcelDocument},
    {PRINT_EXCEL_DOCUMENT, "PRINT_EXCEL_DOCUMENT", RUNS_WORKER, ThreadPrintNovarcExcelDocument},
    {PRINT_PRESCRIPTION_NY_2006, "PRINT_PRESCRIPTION_NY_2006", RUNS_WORKER,
     ThreadPrintPrescription},
    {PRINT_PRESCRIPTION_NY_2006NON_TYPE_30, "PRINT_PRESCRIPTION_NY_2006NON_TYPE_30", RUNS_WORKER,
     ThreadPrintPrescription},
    {PRINT_RAW_DATA, "PRINT_RAW_DATA", RUNS_WORKER, ThreadPrintRawData},
    {PRINT_CONVERT_AND_SEND_FILES, "PRINT_CONVERT_AND_SEND_FILES", RUNS_WORKER,
     ThreadPrintConvertAndSendFiles},
    {SEND_NAMED_FILE, "SEND_NAMED_FILE", RUNS_WORKER, ThreadSendNamedFile},
    {PRINT_CONTACT_LENS, "PRINT_CONTACT_LENS", RUNS_WORKER, ThreadPrintContactLens},
    {RECEIVE_PRINT_URL, "RECEIVE_PRINT_URL", RUNS_WORKER, ThreadReceivePrintUrl},
    {RECEIVE_DELETE_FILE, "RECEIVE_DELETE_FILE", RUNS_WORKER, ThreadReceiveDeleteFile},
    {PRINT_PDF_COMP_FORM, "PRINT_PDF_COMP_FORM", RUNS_WORKER, ThreadPrintPdfCompForm},
    {PRINT_LAB_ELECTRONIC_E, "PRINT_LAB_ELECTRONIC_E", RUNS_WORKER, ThreadPrintLabElectronicE},
    {PRINT_PDF_COMP_FORM_PAGE_RANGE, "PRINT_PDF_COMP_FORM_PAGE_RANGE", RUNS_WORKER,
     ThreadPrintPdfCompForm},
    {PRINT_STREAM_CUSTOM_FONT, "PRINT_STREAM_CUSTOM_FONT", RUNS_WORKER,
     ThreadPrintStreamCustomFont},
    {IMAGE_CONVERSION_OPTIONS, "IMAGE_CONVERSION_OPTIONS", RUNS_WORKER,
     ThreadImageConversionOptions},
    {PRINT_FONT_COLOR, "PRINT_FONT_COLOR", RUNS_WORKER, ThreadPrintFontColor},
    {SET_PRINT_SIZE_112, "SET_PRINT_SIZE", RUNS_PRINT_MODE, ThreadSetPrintMode},
    {SEND_NAMED_FILE_CHECKSUM, "SEND_NAMED_FILE_CHECKSUM", RUNS_WORKER,
     ThreadSendNamedFileChecksum},
    {RECEIVE_HEADING_FOOTING_INFO, "RECEIVE_HEADING_FOOTING_INFO", RUNS_WORKER,
     ReceiveHeadingFootingInfo},
    {RECEIVE_RETURN_FILLED_PDF_FORM, "RECEIVE_RETURN_FILLED_PDF_FORM", RUNS_WORKER,
     ThreadReceiveReturnFilledPdfForm},
};

const MessageRoute *FindRoute(int iType)
{
    for (const MessageRoute &route : kRoutes)
        if (route.iType == iType)
            return &route;
    return NULL;
}

/* The worker's own copy of the request: it outlives a timed-out wait. */
WorkerStart *MakeWorkerStart(NovarcprintProcess *pSession, int iType)
{
    WorkerStart *pStart = new WorkerStart{pSession, MsgBuf(), iType};
    if (pSession->m_Msg.iLen > 0 &&
        !AppendBytes(&pStart->msg, pSession->m_Msg.szBuf, pSession->m_Msg.iLen)) {
        delete pStart;
        return NULL;
    }
    return pStart;
}

} // namespace

int NovarcprintProcess::CheckWaitResult(DWORD dwWait, const char *szName)
{
    if (dwWait == WAIT_TIMEOUT) {
        Log("%s dwWait=WAIT_TIMEOUT", szName);
        return 0;
    }
    if (dwWait == WAIT_FAILED) {
        Log("%s dwWait=WAIT_FAILED ERROR:%d", szName, (int)GetLastError());
        return 0;
    }
    return 1;
}

void NovarcprintProcess::StartWorker(int iType, const char *szName, LPTHREAD_START_ROUTINE pWorker)
{
    const bool bStream = (iType == PRINT_STREAM);
    const MessageRoute *pRoute = FindRoute(iType);
    const bool bPrintMode = pRoute && pRoute->runs == RUNS_PRINT_MODE;
    const char *szCreateText = bPrintMode ? "SET_PRINT_MODE" : szName;
    WorkerStart *pStart = MakeWorkerStart(this, iType);
    DWORD dwThreadId = 0;
    /* Counted before the thread exists, so that whoever waits for the workers
     * to finish (the end of WinMain, tests) never misses one about to start. */
    m_iWorkerCount++;
    HANDLE hThread = pStart ? CreateThread(NULL, 0, pWorker, pStart, 0, &dwThreadId) : NULL;
    if (!hThread) {
        m_iWorkerCount--;
        Log("%s CreateThread()", szCreateText);
        if (pStart) {
            FreeMsgBuf(&pStart->msg);
            delete pStart;
        }
        return;
    }
    if (bStream)
        Log("%d PRINT_STREAM", (int)dwThreadId);
    DWORD dwWait;
    if (!CloseHandle(hThread)) {
        Log("%s CloseHandle()", szName);
        dwWait = WAIT_OBJECT_0;
    } else {
        if (bStream)
            Log("%d PRINT_STREAM WaitForSingleObject(%d)", (int)dwThreadId, m_iWaitInterval);
        dwWait = WaitForSingleObject(m_hFreeSemaphore, (DWORD)m_iWaitInterval);
        if (bStream)
            Log("%d PRINT_STREAM AFTER WaitForSingleObject() dwWait:%d", (int)dwThreadId,
                (int)dwWait);
    }
    CheckWaitResult(dwWait, szName);
    if (iType == PRINT_WORD_DOCUMENT)
        Sleep(PRINT_WORD_DOCUMENT_PAUSE_MS);
}

void NovarcprintProcess::StartPrintModeWorker(int iType)
{
    m_iStoredPrintModeType = iType;
    StartWorker(iType, "SET_PRINT_SIZE", ThreadSetPrintMode);
}

void NovarcprintProcess::HandleWebnovNovarcprintMsg(SOCKET socket, int, MsgBuf *buffer)
{
    int iType = TakeInt(buffer);
    FreeMsgBuf(&m_Msg);
    if (buffer->iBufSize > 0) {
        if (!InitMsgBuf(&m_Msg, buffer->iBufSize)) {
            Log("m_Msg.szBuf == NULL");
            FreeMsgBuf(buffer);
            return;
        }
        memcpy(m_Msg.szBuf, buffer->szBuf, buffer->iBufSize);
        m_Msg.iLen = buffer->iLen;
    }
    FreeMsgBuf(buffer);
    /* Every message of a connection comes on the same socket: storing it only
     * when it changes keeps the main thread from writing a field that a
     * running worker is reading to send its reply. */
    if (m_sockReply != socket)
        m_sockReply = socket;
    const MessageRoute *pRoute = FindRoute(iType);
    if (pRoute) {
        if (pRoute->runs == RUNS_MAIN)
            HandleMainThreadRequest(iType);
        else if (pRoute->runs == RUNS_PRINT_MODE)
            StartPrintModeWorker(iType);
        else {
            if (iType == PRINT_NOVARC_DOCUMENT || iType == PRINT_NOVARC_DOCUMENT_HEADING)
                Log("Print Novarc Document");
            StartWorker(iType, pRoute->szName, pRoute->pWorker);
        }
    }
    FreeMsgBuf(&m_Msg);
}
