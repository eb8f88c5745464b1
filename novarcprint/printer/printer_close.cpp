/*
 * The job's documents: the one document start of open and reopen, ending
 * the document (close), starting a new one on the same printer with the
 * session's device mode (reopen), and the raw data job that bypasses the
 * document altogether.
 */
#include <cstdio>
#include <cstring>

#include "images.h"
#include "pdf_bind.h"
#include "printer.h"

void NoteDocumentEnded(NovarcprintProcess *s)
{
    /* No page is open on the next document until a renderer starts one:
     * a renderer that went on drawing as if its page were still there
     * would draw on no paper at all. */
    s->m_Printer.m_bPageStarted = false;
    s->m_Printer.m_bBetweenPages = true;
    s->m_bPageOpen = false;
}

bool CloseNovarcPrinter(NovarcprintProcess *s)
{
    PrinterState &p = s->m_Printer;
    s->Log("CloseNovarcPrinter()");
    s->m_bDocumentOpen = false;
    if (p.m_bLeadtoolsConvertPrinter) {
        s->Log("CloseNovarcPrinter() m_bLeadtoolsConvertPrinter return(TRUE);");
        return true;
    }
    if (p.m_iUseRawData) {
        if (p.m_hPrinter) {
            EndPagePrinter(p.m_hPrinter);
            EndDocPrinter(p.m_hPrinter);
            ClosePrinter(p.m_hPrinter);
        }
        p.m_hPrinter = NULL;
        s->Log("CloseNovarcPrinter() m_iUseRawData return(TRUE);");
        return true;
    }
    if (p.m_hPrinter) {
        ClosePrinter(p.m_hPrinter);
        p.m_hPrinter = NULL;
    }
    if (!p.m_hPrinterDc) {
        s->Log("CloseNovarcPrinter() (!m_hPrinterDc) return(FALSE);");
        return false;
    }
    if (!p.m_bBetweenPages)
        PrintPendingTrailerImages(s);
    if (p.m_bPrinted) {
        if (s->m_iFormFeedOption == 0 && s->m_bPageOpen) {
            EndPage(p.m_hPrinterDc);
            p.m_bPageEnded = true;
        }
        /* Something was printed, so the document is ended even when no page
         * was: a text report that fits on one page and has no form feed at
         * its end has none ended, and deleting the context instead would
         * throw the whole report away.  EndDoc ends the open page. */
        if (!p.m_bDocumentEnded)
            EndDoc(p.m_hPrinterDc);
        p.m_bDocumentEnded = false;
    } else if (p.m_iFormTypeCode != FORM_TYPE_NEVER_ABORT)
        AbortDoc(p.m_hPrinterDc);
    NoteDocumentEnded(s);
    DeleteDC(p.m_hPrinterDc);
    p.m_hPrinterDc = NULL;
    if (p.m_bPrinted && s->m_bFax)
        IncrementVsiPrinterFile(s);
    if (p.m_bPrinted)
        IncrementAmyuniPrinterFile(s);
    s->Log("CloseNovarcPrinter() return(TRUE);");
    return true;
}

namespace {

/* The document's name, output and data type; the same for every document
 * of the job. */
void FillDocInfo(NovarcprintProcess *s)
{
    PrinterState &p = s->m_Printer;
    p.m_DocInfo = DOCINFOA();
    p.m_DocInfo.cbSize = 20;
    p.m_DocInfo.lpszDocName = s->m_bConverter ? p.m_szOutputName : p.m_szJobDocName;
    p.m_bEPrint = strstr(s->m_szPrinterName, "ePrint") != NULL;
    if (p.m_bEPrint)
        p.m_DocInfo.lpszDocName = p.m_szOutputName;
    else if (!s->m_bConverter && p.m_szOutputName[0])
        p.m_DocInfo.lpszOutput = p.m_szOutputName;
    p.m_DocInfo.lpszDatatype = "RAW";
}

/* The job's owner in the spooler.  A reopen comes after the close of the
 * printer handle, so the handle is opened again for it. */
void SetJobOwner(NovarcprintProcess *s)
{
    PrinterState &p = s->m_Printer;
    p.m_JobInfo = JOB_INFO_1A();
    p.m_JobInfo.JobId = (DWORD)p.m_iJobId;
    p.m_JobInfo.pUserName = p.m_szUserName;
    p.m_JobInfo.pDocument = p.m_szJobDocName;
    p.m_JobInfo.pDatatype = (LPSTR) "RAW";
    if (!p.m_hPrinter && s->m_szPrinterName[0]) {
        PRINTER_DEFAULTSA defaults = {NULL, NULL, PRINTER_ALL_ACCESS};
        if (!OpenPrinterA(s->m_szPrinterName, &p.m_hPrinter, &defaults))
            p.m_hPrinter = NULL;
    }
    if (p.m_hPrinter && !SetJobA(p.m_hPrinter, (DWORD)p.m_iJobId, 1, (LPBYTE)&p.m_JobInfo, 0))
        s->Log("SetJob() FAILED GetLastError() = %d", (int)GetLastError());
}

} // namespace

bool StartJobDocument(NovarcprintProcess *s, const DEVMODEA *pMode)
{
    PrinterState &p = s->m_Printer;
    p.m_hPrinterDc = s->m_bConverter ? KelAmyuni_CDICreateDC(p.m_hConverter)
                                     : CreateDCA(p.m_szDriverName, s->m_szPrinterName, NULL, pMode);
    FillDocInfo(s);
    p.m_iJobId = p.m_hPrinterDc ? StartDocA(p.m_hPrinterDc, &p.m_DocInfo) : -1;
    if (p.m_iJobId == -1)
        return false;
    SetJobOwner(s);
    p.m_bPageEnded = false;
    s->m_bOpenedPrinter = true;
    s->m_bDocumentOpen = true;
    return true;
}

bool ReopenNovarcPrinter(NovarcprintProcess *s)
{
    PrinterState &p = s->m_Printer;
    p.m_DevMode = DEVMODEA();
    p.m_DevMode.dmSpecVersion = DM_SPECVERSION;
    p.m_DevMode.dmSize = DEVMODE_PUBLIC_SIZE;
    p.m_DevMode.dmFields = DM_ORIENTATION | DM_DEFAULTSOURCE;
    p.m_DevMode.dmOrientation = p.m_bLandscape ? DMORIENT_LANDSCAPE : DMORIENT_PORTRAIT;
    p.m_DevMode.dmDefaultSource = p.m_sDefaultSource;
    s->Log("ReopenNovarcPrinter()");
    if (s->m_bConverter && !OpenKelAmyuniPrinter(s, s->m_szPrinterName)) {
        s->m_bOpenedPrinter = false;
        s->Log("ReopenNovarcPrinter(FAILED)");
        return false;
    }
    const bool bPlain = p.m_iModelClass == 4 || p.m_iFormTypeCode == FORM_TYPE_REOPEN_PLAIN;
    if (p.m_hPrinterDc) /* the old document was ended; its context goes with it */
        DeleteDC(p.m_hPrinterDc);
    return StartJobDocument(s, bPlain ? NULL : &p.m_DevMode);
}

bool PrintRawData(NovarcprintProcess *s, const char *szPrinter, const char *pData, int iLen)
{
    HANDLE hPrinter = NULL;
    if (!OpenPrinterA((LPSTR)szPrinter, &hPrinter, NULL)) {
        s->Log("PrintRawData OpenPrinter(%s) FAILED", szPrinter);
        return false;
    }
    DOC_INFO_1A doc = {(LPSTR) "My Document", NULL, (LPSTR) "RAW"};
    bool bOk = false;
    if (StartDocPrinterA(hPrinter, 1, (LPBYTE)&doc) != 0) {
        if (StartPagePrinter(hPrinter)) {
            DWORD dwWritten = 0;
            bOk = WritePrinter(hPrinter, (LPVOID)pData, (DWORD)iLen, &dwWritten) &&
                  dwWritten == (DWORD)iLen;
            EndPagePrinter(hPrinter);
        }
        EndDocPrinter(hPrinter);
    }
    ClosePrinter(hPrinter);
    s->Log("PrintRawData(%s) iLen<%d> %s", szPrinter, iLen, bOk ? "TRUE" : "FALSE");
    return bOk;
}
