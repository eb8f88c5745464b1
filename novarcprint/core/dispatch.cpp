/*
 * The dispatcher: takes the request type off each received payload, finds
 * the type's row in the route table and either runs its handler on the
 * main thread or starts its worker and waits until the worker holds the
 * print lock.  Requests therefore run one at a time in arrival order.
 *
 * The route table is the one place a request type is listed.  A type that
 * is not built yet keeps HandleLogOnly as its handler; building it means
 * writing the handler and changing its row (novarcprint/README.md).
 */
#include <cstring>

#include "documents.h"
#include "forms.h"
#include "images.h"
#include "office.h"
#include "printer.h"
#include "stream.h"
#include "workers.h"
#include "wp.h"

namespace {

// clang-format off
/* Every request type the client serves; types not listed are ignored. */
const RequestRoute kRoutes[] = {
/*   type, log name, runs, worker, handler */
    {OPEN_PRINTER, "OPEN_PRINTER", RUNS_MAIN, NULL, HandleOpenPrinter},
    {CLOSE_PRINTER, "CLOSE_PRINTER", RUNS_MAIN, NULL, HandleClosePrinter},
    {PRINT_NOVARC_DOCUMENT, "PRINT_NOVARC_DOCUMENT", RUNS_WORKER, "ThreadPrintNovarcDocument", HandlePrintNovarcDocument},
    {PRINT_WORD_DOCUMENT, "PRINT_WORD_DOCUMENT", RUNS_WORKER, "ThreadPrintNovarcWordDocument", HandlePrintWordDocument},
    {PRINT_STREAM, "PRINT_STREAM", RUNS_WORKER, "ThreadPrintNovarcStream", HandlePrintNovarcStream},
    {PRINT_DOCUMENT_ERROR, "Print Document Error", RUNS_MAIN, NULL, HandleMainLogOnly},
    {ABORT_PRINT_JOB, "ABORT_PRINT_JOB", RUNS_MAIN, NULL, HandleAbortPrintJob},
    {SET_PRINT_SIZE_8, "SET_PRINT_SIZE", RUNS_PRINT_MODE, "ThreadSetPrintMode", HandleSetPrintMode},
    {SET_PRINT_SIZE_9, "SET_PRINT_SIZE", RUNS_PRINT_MODE, "ThreadSetPrintMode", HandleSetPrintMode},
    {SET_PRINT_SIZE_10, "SET_PRINT_SIZE", RUNS_PRINT_MODE, "ThreadSetPrintMode", HandleSetPrintMode},
    {PRINT_IMAGE, "PRINT_IMAGE", RUNS_WORKER, "ThreadReceiveImageFile", HandleTransferPiece},
    {PRINT_END_IMAGE, "PRINT_END_IMAGE", RUNS_WORKER, "ThreadReceiveEndImageFile", HandleTransferPiece},
    {LETTERHEAD_IMAGE, "LETTERHEAD_IMAGE", RUNS_WORKER, "ThreadReceiveLetterheadeFile", HandleTransferPiece},
    {END_LETTERHEAD_IMAGE, "END_LETTERHEAD_IMAGE", RUNS_WORKER, "ThreadReceiveEndLetterheadFile", HandleTransferPiece},
    {SET_PRINTER_TRAY, "SET_PRINTER_TRAY", RUNS_WORKER, "ThreadSetPrinterTray", HandleSetPrinterTray},
    {SET_VERT_POS, "SET_VERT_POS", RUNS_WORKER, "ThreadSetPosition", HandleSetPosition},
    {SET_HORZ_POS, "SET_HORZ_POS", RUNS_WORKER, "ThreadSetPosition", HandleSetPosition},
    {PRINT_ANNOTATION, "PRINT_ANNOTATION", RUNS_WORKER, "ThreadReceiveAnnotationFile", HandleTransferPiece},
    {PRINT_END_ANNOTATION, "PRINT_END_ANNOTATION", RUNS_WORKER, "ThreadReceiveEndAnnotationFile", HandleTransferPiece},
    {IS_IMAGE_FILE_HERE, "IS_IMAGE_FILE_HERE", RUNS_MAIN, NULL, HandleIsImageFileHere},
    {PRINT_LOCAL_IMAGE, "PRINT_LOCAL_IMAGE", RUNS_WORKER, "ThreadPrintImageFile", HandlePrintLocalImage},
    {PRINT_DATA_FIELD_INFO, "PRINT_DATA_FIELD_INFO", RUNS_WORKER, "ThreadGetDataFieldInfo", HandleGetDataFieldInfo},
    {SET_PRINT_SIZE_23, "SET_PRINT_SIZE", RUNS_PRINT_MODE, "ThreadSetPrintMode", HandleSetPrintMode},
    {SET_PRINT_SIZE_24, "SET_PRINT_SIZE", RUNS_PRINT_MODE, "ThreadSetPrintMode", HandleSetPrintMode},
    {SIGNATURE_IMAGE, "SIGNATURE_IMAGE", RUNS_WORKER, "ThreadReceiveSignatureImage", HandleTransferPiece},
    {END_SIGNATURE_IMAGE, "END_SIGNATURE_IMAGE", RUNS_WORKER, "ThreadReceiveEndSignatureImage", HandleTransferPiece},
    {PRINTER_FORM_LENGTH, "PRINTER_FORM_LENGTH", RUNS_WORKER, "ThreadPrinterFormLength", HandleFormLength},
    {SET_PRINTER_BOLD, "SET_PRINTER_BOLD", RUNS_WORKER, "ThreadSetPrinterBold", HandleBold},
    {SPECIAL_IMAGE_MESSAGE, "Special Message Type", RUNS_WORKER, "ThreadReceiveImageFile", HandleSpecialImageMessage},
    {IMAGE_SETTINGS, "IMAGE_SETTINGS", RUNS_WORKER, "ThreadImageSettings", HandleImageSettings},
    {LETTERHEAD_IMAGE_NAME, "LETTERHEAD_IMAGE_NAME", RUNS_WORKER, "ThreadLetterheadImageName", HandleLetterheadImageName},
    {SET_FORMFEED_OPTION, "SET_FORMFEED_OPTION", RUNS_WORKER, "ThreadSetFormfeedOption", HandleFormFeedOption},
    {PRINT_PRESCRIPTION, "PRINT_PRESCRIPTION", RUNS_WORKER, "ThreadPrintPrescription", HandlePrintPrescription},
    {SET_LANDSCAPE_MODE, "SET_LANDSCAPE_MODE", RUNS_WORKER, "ThreadSetLandscapeMode", HandleSetLandscapeMode},
    {PRINT_EYE_PRESCRIPTION, "PRINT_EYE_PRESCRIPTION", RUNS_WORKER, "ThreadPrintEyePrescription", HandlePrintEyePrescription},
    {PRINT_NOVARC_DOCUMENT_HEADING, "PRINT_NOVARC_DOCUMENT", RUNS_WORKER, "ThreadPrintNovarcDocumentWithHeading", HandlePrintNovarcDocument},
    {PRINT_PRESCRIPTION_PENN, "PRINT_PRESCRIPTION_PENN", RUNS_WORKER, "ThreadPrintPrescription", HandlePrintPrescription},
    {DAW_IMAGE, "DAW_IMAGE", RUNS_WORKER, "ThreadReceiveDawImage", HandleTransferPiece},
    {END_DAW_IMAGE, "END_DAW_IMAGE", RUNS_WORKER, "ThreadReceiveEndDawImage", HandleTransferPiece},
    {PRINT_PRESCRIPTION_NJ, "PRINT_PRESCRIPTION_NJ", RUNS_WORKER, "ThreadPrintPrescription", HandlePrintPrescription},
    {PRINT_PRESCRIPTION_NJ_PA, "PRINT_PRESCRIPTION_NJ_PA", RUNS_WORKER, "ThreadPrintPrescription", HandlePrintPrescription},
    {PRINT_PRESCRIPTION_NJ_NP, "PRINT_PRESCRIPTION_NJ_NP", RUNS_WORKER, "ThreadPrintPrescription", HandlePrintPrescription},
    {PRINT_ECG_DOCUMENT, "PRINT_ECG_DOCUMENT", RUNS_WORKER, "ThreadPrintEcgDocument", HandlePrintEcgDocument},
    {RECEIVE_WORD_DOCUMENT, "RECEIVE_WORD_DOCUMENT", RUNS_WORKER, "ThreadReceiveWordDocument", HandleReceiveWordDocument},
    {RECEIVE_END_WORD_DOCUMENT, "RECEIVE_END_WORD_DOCUMENT", RUNS_WORKER, "ThreadReceiveEndWordDocument", HandleReceiveEndWordDocument},
    {CLOSE_PRINTER_WITH_STATUS, "", RUNS_MAIN, NULL, HandleCloseWithStatus},
    {PRINT_BAR_CODE, "PRINT_BAR_CODE", RUNS_WORKER, "ThreadPrintBarCode", HandleBarCode},
    {SET_PRINT_SIZE_91, "SET_PRINT_SIZE", RUNS_PRINT_MODE, "ThreadSetPrintMode", HandleSetPrintMode},
    {QUERY_FILE_SIZE, "QUERY_FILE_SIZE", RUNS_MAIN, NULL, HandleQueryFileSize},
    {STORE_CACHE_FILE, "STORE_CACHE_FILE", RUNS_MAIN, NULL, HandleStoreCacheFile},
    {COMP_IMAGE_SIGNATURE, "COMP_IMAGE_SIGNATURE", RUNS_WORKER, "ThreadCompImageSignature", HandleCompImageSignature},
    {RECEIVE_EXCEL_DOCUMENT, "RECEIVE_EXCEL_DOCUMENT", RUNS_WORKER, "ThreadReceiveExcelDocument", HandleReceiveExcelDocument},
    {RECEIVE_END_EXCEL_DOCUMENT, "RECEIVE_END_EXCEL_DOCUMENT", RUNS_WORKER, "ThreadReceiveEndExcelDocument", HandleReceiveEndExcelDocument},
    {PRINT_EXCEL_DOCUMENT, "PRINT_EXCEL_DOCUMENT", RUNS_WORKER, "ThreadPrintNovarcExcelDocument", HandlePrintExcelDocument},
    {PRINT_PRESCRIPTION_NY_2006, "PRINT_PRESCRIPTION_NY_2006", RUNS_WORKER, "ThreadPrintPrescription", HandlePrintPrescription},
    {PRINT_PRESCRIPTION_NY_2006NON_TYPE_30, "PRINT_PRESCRIPTION_NY_2006NON_TYPE_30", RUNS_WORKER, "ThreadPrintPrescription", HandlePrintPrescription},
    {PRINT_RAW_DATA, "PRINT_RAW_DATA", RUNS_WORKER, "ThreadPrintRawData", HandlePrintRawData},
    {PRINT_CONVERT_AND_SEND_FILES, "PRINT_CONVERT_AND_SEND_FILES", RUNS_WORKER, "ThreadPrintConvertAndSendFiles", HandlePrintConvertAndSendFiles},
    {SEND_NAMED_FILE, "SEND_NAMED_FILE", RUNS_WORKER, "ThreadSendNamedFile", HandleSendNamedFile},
    {PRINT_CONTACT_LENS, "PRINT_CONTACT_LENS", RUNS_WORKER, "ThreadPrintContactLens", HandlePrintContactLens},
    {RECEIVE_PRINT_URL, "RECEIVE_PRINT_URL", RUNS_WORKER, "ThreadReceivePrintUrl", HandleReceivePrintUrl},
    {RECEIVE_DELETE_FILE, "RECEIVE_DELETE_FILE", RUNS_WORKER, "ThreadReceiveDeleteFile", HandleReceiveDeleteFile},
    {PRINT_PDF_COMP_FORM, "PRINT_PDF_COMP_FORM", RUNS_WORKER, "ThreadPrintPdfCompForm", HandlePrintPdfCompForm},
    {PRINT_LAB_ELECTRONIC_E, "PRINT_LAB_ELECTRONIC_E", RUNS_WORKER, "ThreadPrintLabElectronicE", HandlePrintLabElectronicE},
    {PRINT_PDF_COMP_FORM_PAGE_RANGE, "PRINT_PDF_COMP_FORM_PAGE_RANGE", RUNS_WORKER, "ThreadPrintPdfCompForm", HandlePrintPdfCompForm},
    {PRINT_STREAM_CUSTOM_FONT, "PRINT_STREAM_CUSTOM_FONT", RUNS_WORKER, "ThreadPrintStreamCustomFont", HandleCustomFont},
    {IMAGE_CONVERSION_OPTIONS, "IMAGE_CONVERSION_OPTIONS", RUNS_WORKER, "ThreadImageConversionOptions", HandleImageConversionOptions},
    {PRINT_FONT_COLOR, "PRINT_FONT_COLOR", RUNS_WORKER, "ThreadPrintFontColor", HandleFontColor},
    {SET_PRINT_SIZE_112, "SET_PRINT_SIZE", RUNS_PRINT_MODE, "ThreadSetPrintMode", HandleSetPrintMode},
    {SEND_NAMED_FILE_CHECKSUM, "SEND_NAMED_FILE_CHECKSUM", RUNS_WORKER, "ThreadSendNamedFileChecksum", HandleSendNamedFileChecksum},
    {RECEIVE_HEADING_FOOTING_INFO, "RECEIVE_HEADING_FOOTING_INFO", RUNS_WORKER, "ReceiveHeadingFootingInfo", HandleHeadingFooting},
    {RECEIVE_RETURN_FILLED_PDF_FORM, "RECEIVE_RETURN_FILLED_PDF_FORM", RUNS_WORKER, "ThreadReceiveReturnFilledPdfForm", HandleReceiveReturnFilledPdfForm},
};
// clang-format on

/* The worker of a routed request, and how the dispatcher waits for it. */
WorkerWait DispatchWait(const RequestRoute &route)
{
    WorkerWait wait = {true, route.szName, route.szName, route.iType == PRINT_STREAM};
    if (route.runs == RUNS_PRINT_MODE)
        wait.szCreateName = "SET_PRINT_MODE";
    return wait;
}

} // namespace

const RequestRoute *FindRoute(int iType)
{
    for (const RequestRoute &route : kRoutes)
        if (route.iType == iType)
            return &route;
    return NULL;
}

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

void NovarcprintProcess::HandleWebnovNovarcprintMsg(SOCKET socket, int, MsgBuf *buffer)
{
    int iType = TakeInt(buffer);
    /* The received block becomes the request as it is: no copy. */
    FreeMsgBuf(&m_Msg);
    m_Msg = *buffer;
    *buffer = MsgBuf();
    /* Every message of a connection comes on the same socket: storing it only
     * when it changes keeps the main thread from writing a field that a
     * running worker is reading to send its reply. */
    if (m_sockReply != socket)
        m_sockReply = socket;
    const RequestRoute *pRoute = FindRoute(iType);
    if (!pRoute) {
        FreeMsgBuf(&m_Msg);
        return;
    }
    if (pRoute->runs == RUNS_MAIN) {
        pRoute->pHandler(this, &m_Msg, iType);
        FreeMsgBuf(&m_Msg);
        return;
    }
    if (pRoute->runs == RUNS_PRINT_MODE)
        m_iStoredPrintModeType = iType; /* the print-mode worker reads it */
    if (iType == PRINT_NOVARC_DOCUMENT || iType == PRINT_NOVARC_DOCUMENT_HEADING)
        Log("Print Novarc Document");
    /* The worker takes the request over: it outlives a timed-out wait. */
    const WorkerJob job = {pRoute->szWorker, pRoute->pHandler, iType, NULL};
    if (StartWorker(this, job, &m_Msg, DispatchWait(*pRoute)) &&
        (iType == PRINT_WORD_DOCUMENT || iType == PRINT_EXCEL_DOCUMENT))
        Sleep(PRINT_WORD_DOCUMENT_PAUSE_MS);
    FreeMsgBuf(&m_Msg);
}
