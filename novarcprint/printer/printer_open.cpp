/*
 * The job's printer: the machine-wide gate of the special printers, the
 * open in its fixed order (record, libraries, target kind, raw or GDI
 * document), the reply to the server, reopening with a new device mode and
 * the close that ends the document.
 */
#include <cstdio>
#include <cstring>

#include "printer.h"
#include "imaging_bind.h"
#include "office.h"
#include "pdf_bind.h"

#include <commdlg.h> /* after windows.h, which printer.h brings */

namespace {

const char *WaitText(DWORD dwWait)
{
    switch (dwWait) {
    case WAIT_TIMEOUT:
        return "WAIT_TIMEOUT";
    case WAIT_ABANDONED:
        return "WAIT_ABANDONED";
    case WAIT_FAILED:
        return "WAIT_FAILED";
    default:
        return "WAIT_OBJECT_0";
    }
}

bool GateFailed(NovarcprintProcess *s, SpecialLock lock)
{
    s->m_bOpenedPrinter = false;
    if (s->m_hSpecialLock[lock]) {
        CloseHandle(s->m_hSpecialLock[lock]);
        s->m_hSpecialLock[lock] = NULL;
    }
    SendPrinterOpenReply(s);
    return false;
}

void FirstString(const MsgBuf &record, char *szOut, int iSize)
{
    szOut[0] = 0;
    if (record.iLen <= 0 || !record.szBuf)
        return;
    const void *pEnd = memchr(record.szBuf, 0, (size_t)record.iLen);
    int n = pEnd ? (int)((const char *)pEnd - record.szBuf) : record.iLen;
    if (n >= iSize)
        n = iSize - 1;
    memcpy(szOut, record.szBuf, (size_t)n);
    szOut[n] = 0;
}

/* Why the gate did not pass: the lock's name and the wait's result. */
void LogGateWait(NovarcprintProcess *s, const SpecialPrinter &sp, DWORD dwWait)
{
    if (sp.bConverter)
        s->Log("WaitForSingleObject( hNovarcPDFMutex, 0) dwWait:%d", (int)dwWait);
    else
        s->Log("OpenNovarcPrinter After WaitForSingleObject(%s) %s", sp.szHandle, WaitText(dwWait));
}

} // namespace

bool GetNovarcPrinterMutex(NovarcprintProcess *s)
{
    char szName[PRINTER_NAME_SIZE];
    FirstString(s->m_OpenRecord, szName, sizeof(szName));
    const SpecialPrinter *pSpecial = FindSpecialPrinter(szName);
    if (!pSpecial)
        return true;
    const SpecialPrinter &sp = *pSpecial;
    if (sp.lock == LOCK_FAX)
        s->m_bFax = true;
    char *szLockName = s->m_szSpecialLockName[sp.lock];
    if (sp.szLockName)
        snprintf(szLockName, KERNEL_NAME_SIZE, "%s", sp.szLockName);
    else
        snprintf(szLockName, KERNEL_NAME_SIZE, "%s_MUTEX", szName);
    HANDLE &hLock = s->m_hSpecialLock[sp.lock];
    if (!hLock)
        hLock = CreateMutexA(NULL, FALSE, szLockName);
    if (!hLock) {
        s->Log("%s", sp.szCreateFailed);
        return GateFailed(s, sp.lock);
    }
    DWORD dwWait = WaitForSingleObject(hLock, sp.dwWaitMs);
    if (dwWait == WAIT_OBJECT_0)
        return true;
    if (dwWait == WAIT_ABANDONED) {
        /* A client that ended holding the gate left it to this one: the
         * wait owns it, and failing here would keep it held for good. */
        if (!sp.bConverter)
            LogGateWait(s, sp, dwWait);
        return true;
    }
    if (dwWait == WAIT_TIMEOUT && sp.dwWaitMs > 0) {
        /* Another client prints there: try again shortly, without a reply. */
        s->m_iOpenTimer = (int)s->SetSessionTimer(OPEN_TIMER, OPEN_TIMER_MS);
        return false;
    }
    LogGateWait(s, sp, dwWait);
    return GateFailed(s, sp.lock);
}

int SendPrinterOpenReply(NovarcprintProcess *s)
{
    PrinterState &p = s->m_Printer;
    int iStatus = p.m_bOpenError ? -1 : (s->m_bOpenedPrinter ? 1 : 0);
    unsigned char reply[PRINTER_OPEN_REPLY_SIZE];
    BuildPrinterOpenReply(iStatus, WordAvailable(s), ExcelAvailable(s), p.m_iFaxBusy, reply);
    int iOk = SendMessageWithSize(s->m_sockReply, (char *)reply, sizeof(reply), REPLY_OPTIONS);
    s->m_bOpenReplySent = true;
    s->Log("SendPrinterOpenReply iStatus<%d>", iStatus);
    return iOk;
}

namespace {

void QueryColour(NovarcprintProcess *s)
{
    HANDLE hPrinter = NULL;
    PRINTER_DEFAULTSA defaults = {NULL, NULL, PRINTER_ALL_ACCESS};
    s->m_Printer.m_bColor = false;
    if (!OpenPrinterA(s->m_szPrinterName, &hPrinter, &defaults))
        return;
    DWORD dwNeeded = 0;
    GetPrinterA(hPrinter, 2, NULL, 0, &dwNeeded);
    if (dwNeeded > 0) {
        BYTE *pBuf = new BYTE[dwNeeded];
        if (GetPrinterA(hPrinter, 2, pBuf, dwNeeded, &dwNeeded)) {
            PRINTER_INFO_2A *pInfo = (PRINTER_INFO_2A *)pBuf;
            s->m_Printer.m_bColor = DeviceCapabilitiesA(s->m_szPrinterName, pInfo->pPortName,
                                                        DC_COLORDEVICE, NULL, NULL) == 1;
        }
        delete[] pBuf;
    }
    ClosePrinter(hPrinter);
}

void ClassifyDriver(NovarcprintProcess *s, const char *szDriver)
{
    PrinterState &p = s->m_Printer;
    if (strstr(szDriver, "321"))
        p.m_iModelClass = 1;
    else if (strstr(szDriver, "2380"))
        p.m_iModelClass = 2;
    else if (strstr(szDriver, "4029"))
        p.m_iModelClass = 3;
    else if (strstr(szDriver, "1022"))
        p.m_iModelClass = 4;
    else if (strstr(szDriver, "Eltron"))
        p.m_bEltron = true;
    else if (strstr(szDriver, "TSP800"))
        p.m_bTsp800 = true;
    else if (strstr(szDriver, "T650"))
        p.m_bT650 = true;
    else if (strstr(szDriver, "deskjet 3600"))
        s->m_iWaitInterval = DEEP_WAIT_INTERVAL_MS;
    else if (strstr(szDriver, "zvprt"))
        p.m_iModelClass = 5;
}

void ReadDriverClass(NovarcprintProcess *s)
{
    DWORD dwNeeded = 0;
    GetPrinterA(s->m_Printer.m_hPrinter, 2, NULL, 0, &dwNeeded);
    if (dwNeeded == 0)
        return;
    BYTE *pBuf = new BYTE[dwNeeded];
    if (GetPrinterA(s->m_Printer.m_hPrinter, 2, pBuf, dwNeeded, &dwNeeded)) {
        PRINTER_INFO_2A *pInfo = (PRINTER_INFO_2A *)pBuf;
        if (pInfo->pDriverName)
            ClassifyDriver(s, pInfo->pDriverName);
    }
    delete[] pBuf;
}

/* The user picks another printer when the named one cannot be opened. */
int OpenThroughDialog(NovarcprintProcess *s)
{
    PrinterState &p = s->m_Printer;
    PRINTDLGA pd = PRINTDLGA();
    pd.lStructSize = sizeof(pd);
    pd.Flags = PD_RETURNDC | PD_NOPAGENUMS | PD_NOSELECTION | PD_USEDEVMODECOPIESANDCOLLATE |
               PD_HIDEPRINTTOFILE;
    pd.nCopies = 1;
    if (!PrintDlgA(&pd)) {
        s->Log("OpenNovarcPrinter PrintDlg() cancelled");
        s->m_bOpenedPrinter = false;
        p.m_bOpenError = true;
        return 0;
    }
    if (pd.hDevNames) {
        DEVNAMES *pNames = (DEVNAMES *)GlobalLock(pd.hDevNames);
        if (pNames)
            s->SetPrinterName((const char *)pNames + pNames->wDeviceOffset);
        GlobalUnlock(pd.hDevNames);
        GlobalFree(pd.hDevNames);
    }
    if (pd.hDevMode)
        GlobalFree(pd.hDevMode);
    if (pd.hDC)
        DeleteDC(pd.hDC);
    PRINTER_DEFAULTSA defaults = {NULL, NULL, PRINTER_ACCESS_USE};
    if (!OpenPrinterA(s->m_szPrinterName, &p.m_hPrinter, &defaults)) {
        p.m_hPrinter = NULL;
        s->m_bOpenedPrinter = false;
        return 0;
    }
    return 1;
}

/* Opens the named printer (or the dialog's) and classifies its driver. */
int OpenSpoolerPrinter(NovarcprintProcess *s)
{
    PrinterState &p = s->m_Printer;
    PRINTER_DEFAULTSA defaults = {NULL, NULL, PRINTER_ALL_ACCESS};
    if (!OpenPrinterA(s->m_szPrinterName, &p.m_hPrinter, &defaults) &&
        !OpenPrinterA(s->m_szPrinterName, &p.m_hPrinter, &defaults)) {
        p.m_hPrinter = NULL;
        s->Log("OpenNovarcPrinter OpenPrinter(%s) FAILED GetLastError() = %d", s->m_szPrinterName,
               (int)GetLastError());
        if (!OpenThroughDialog(s))
            return 0;
    }
    ReadDriverClass(s);
    return 1;
}

int OpenRawDocument(NovarcprintProcess *s)
{
    PrinterState &p = s->m_Printer;
    if (p.m_hPrinter)
        ClosePrinter(p.m_hPrinter);
    p.m_hPrinter = NULL;
    if (!OpenPrinterA(s->m_szPrinterName, &p.m_hPrinter, NULL))
        p.m_hPrinter = NULL;
    DOC_INFO_1A doc = {p.m_szJobDocName, p.m_szOutputName[0] ? p.m_szOutputName : NULL,
                       (LPSTR) "RAW"};
    p.m_iRawJobId = p.m_hPrinter ? (int)StartDocPrinterA(p.m_hPrinter, 1, (LPBYTE)&doc) : 0;
    if (p.m_iRawJobId == 0) {
        s->m_bOpenedPrinter = false;
    } else if (!StartPagePrinter(p.m_hPrinter)) {
        EndDocPrinter(p.m_hPrinter);
        s->m_bOpenedPrinter = false;
    } else {
        s->m_bOpenedPrinter = true;
        s->m_bDocumentOpen = true;
    }
    if (!s->m_bOpenedPrinter && p.m_hPrinter) {
        ClosePrinter(p.m_hPrinter);
        p.m_hPrinter = NULL;
    }
    s->Log("OpenNovarcPrinter m_iUseRawData m_bOpenedPrinter = %s",
           s->m_bOpenedPrinter ? "TRUE" : "FALSE");
    return s->m_bOpenedPrinter ? 1 : 0;
}

int OpenGdiDocument(NovarcprintProcess *s)
{
    PrinterState &p = s->m_Printer;
    p.m_DevMode = DEVMODEA();
    p.m_DevMode.dmSpecVersion = DM_SPECVERSION;
    p.m_DevMode.dmSize = DEVMODE_PUBLIC_SIZE;
    p.m_DevMode.dmFields = DM_ORIENTATION;
    p.m_DevMode.dmOrientation = p.m_bLandscape ? DMORIENT_LANDSCAPE : DMORIENT_PORTRAIT;
    if (!StartJobDocument(s, NULL)) {
        s->Log("OpenNovarcPrinter StartDoc() FAILED GetLastError() = %d", (int)GetLastError());
        CloseNovarcPrinter(s);
        if (p.m_hPrinterDc) { /* no document to end: the context must still go */
            DeleteDC(p.m_hPrinterDc);
            p.m_hPrinterDc = NULL;
        }
        s->m_bOpenedPrinter = false;
        p.m_bOpenError = true;
        return 0;
    }
    if (p.m_hPrinterDc)
        QueryColour(s);
    s->Log("OpenNovarcPrinter m_bOpenedPrinter = %s", s->m_bOpenedPrinter ? "TRUE" : "FALSE");
    return 1;
}

void TakeRecord(NovarcprintProcess *s, const PrinterOpenRecord &r)
{
    PrinterState &p = s->m_Printer;
    s->m_iFormLength = r.iFormLength;
    p.m_iUseRawData = r.iUseRawData;
    if (r.bHasImaging && r.iImagingLibrary >= 0)
        p.m_iImagingLibrary = r.iImagingLibrary;
    if (r.bHasFormType)
        p.m_iFormTypeCode = r.iFormTypeCode;
    if (r.bHasOptions)
        p.m_iOptionFlags = r.iOptionFlags;
    if (r.bHasFaxJob)
        s->m_iFaxJob = r.iFaxJob;
    if (r.bHasUserName)
        snprintf(p.m_szUserName, sizeof(p.m_szUserName), "%s", r.szUserName);
    p.m_bJpegLevel = p.m_iOptionFlags & OPTION_JPEG_LEVEL;
    p.m_bLabelMode = p.m_iOptionFlags & OPTION_LABEL_MODE;
    p.m_bEyePaper = p.m_iOptionFlags & OPTION_EYE_PAPER;
    p.m_bInsuranceForm = p.m_iOptionFlags & OPTION_INSURANCE_FORM;
    p.m_bMobileLabel = p.m_iOptionFlags & OPTION_MOBILE_LABEL;
    s->SetPrinterName(r.szPrinterName);
    snprintf(p.m_szDriverName, sizeof(p.m_szDriverName), "%s", r.szDriverName);
    snprintf(p.m_szOutputName, sizeof(p.m_szOutputName), "%s", r.szOutputName);
}

/* The libraries an open may need: the imaging library and the PDF engine
 * stay loaded for the process once an open asked for them, the converter is
 * looked for at every open.  A missing DLL simply leaves its calls failing. */
void LoadOpenLibraries(NovarcprintProcess *s)
{
    if (s->m_Printer.m_iImagingLibrary)
        KELLoadImagingLibrary();
    if (!KelPdfTronLoaded())
        KelLoadPdfTron();
    KelLoadAmyuni(s);
}

/* A converter printer: its part configured, the converter's DC comes next. */
bool OpenConverterTarget(NovarcprintProcess *s)
{
    StartConverterJob(s);
    if (!OpenKelAmyuniPrinter(s, s->m_szPrinterName)) {
        s->Log("OpenKelAmyuniPrinter(FAILED) m_bOpenedPrinter = FALSE");
        s->m_bOpenedPrinter = false;
        return false;
    }
    s->m_bConverter = true;
    if (s->m_iPrintkeeperMode)
        s->SetSessionTimer(CONVERTER_IDLE_TIMER, CONVERTER_IDLE_MS);
    return true;
}

} // namespace

int OpenNovarcPrinter(NovarcprintProcess *s, const MsgBuf *pRecord)
{
    PrinterState &p = s->m_Printer;
    p.m_bOpenError = false;
    if (s->m_bDocumentOpen) {
        /* A second open in the middle of the job: the document drawn so far
         * stays as it is, with what it knows of itself (printed, converter),
         * so that the close still ends it and its pages are delivered. */
        s->Log("OpenNovarcPrinter a document is open: kept for the close");
        return 0;
    }
    s->m_bConverter = false;
    p.m_bPrinted = false;
    s->m_bFax = false;
    p.m_bEPrint = false;
    p.m_sDefaultSource = -1;
    p.m_iPendingBin = -1;
    PrinterOpenRecord record;
    if (!ParseOpenRecord(pRecord->szBuf, pRecord->iLen, &record)) {
        s->Log("OPEN_PRINTER malformed record iLen<%d>", pRecord->iLen);
        return 0;
    }
    TakeRecord(s, record);
    s->m_bOpenedPrinter = false;
    s->Log("OpenNovarcPrinter");
    s->Log("OpenNovarcPrinter iFormTypeCode<%d> iOptionFlags<%d> szUserName<%s>", p.m_iFormTypeCode,
           p.m_iOptionFlags, p.m_szUserName);
    LoadOpenLibraries(s);
    const SpecialPrinter *pSpecial = FindSpecialPrinter(s->m_szPrinterName);
    if (pSpecial && pSpecial->lock == LOCK_FAX && !OpenVsiFaxPrinter(s))
        return 0;
    const bool bConverter = ConverterDirectoryFor(s->m_szPrinterName) != NULL;
    if (bConverter && !OpenConverterTarget(s))
        return 0;
    if (strcmp(s->m_szPrinterName, "LeadtoolsCVT") == 0) {
        CreateDirectoryA("c:\\novarc\\convert_pdf", NULL);
        p.m_szOutputName[0] = 0;
        p.m_bLeadtoolsConvertPrinter = true;
        s->m_bOpenedPrinter = true;
        return 1;
    }
    if (!bConverter && s->m_szPrinterName[0] && !OpenSpoolerPrinter(s))
        return 0;
    if (p.m_bTsp800)
        ApplyCutSettings(s, p.m_iFormTypeCode, s->m_szPrinterName);
    if (p.m_iUseRawData)
        return OpenRawDocument(s);
    return OpenGdiDocument(s);
}
