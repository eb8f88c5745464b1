/*
 * Device settings changed while the job's printer is open: orientation and
 * legal paper, the paper source by the server's tray number, label paper,
 * and the cut behaviour of the receipt printers.  Every change goes through
 * the printer's device mode; a printer that cannot be opened for it keeps
 * its old settings.
 */
#include <cstdio>
#include <cstring>

#include "images.h"
#include "printer.h"

namespace {

bool OpenSecond(NovarcprintProcess *s)
{
    PRINTER_DEFAULTSA defaults = {NULL, NULL, PRINTER_ALL_ACCESS};
    if (OpenPrinterA(s->m_szPrinterName, &s->m_Printer.m_hSecondPrinter, &defaults))
        return true;
    s->m_Printer.m_hSecondPrinter = NULL;
    s->Log("OpenPrinter() FAILED GetLastError() = %d", (int)GetLastError());
    return false;
}

void CloseSecond(NovarcprintProcess *s, DEVMODEA *pMode)
{
    delete[](BYTE *) pMode;
    if (s->m_Printer.m_hSecondPrinter)
        ClosePrinter(s->m_Printer.m_hSecondPrinter);
    s->m_Printer.m_hSecondPrinter = NULL;
}

void Merge(NovarcprintProcess *s, DEVMODEA *pMode)
{
    DocumentPropertiesA(NULL, s->m_Printer.m_hSecondPrinter, s->m_szPrinterName, pMode, pMode,
                        DM_IN_BUFFER | DM_OUT_BUFFER);
}

/* Legal when asked for or already there, letter otherwise. */
void ApplyPaper(NovarcprintProcess *s, DEVMODEA *pMode, DWORD dwFields)
{
    PrinterState &p = s->m_Printer;
    pMode->dmFields = dwFields | DM_PAPERSIZE | DM_MEDIATYPE;
    pMode->dmMediaType = DMMEDIA_STANDARD;
    if (pMode->dmPaperSize == DMPAPER_LEGAL)
        p.m_bLegalInEffect = true;
    else {
        pMode->dmPaperSize = p.m_bLegalRequest ? DMPAPER_LEGAL : DMPAPER_LETTER;
        p.m_bLegalInEffect = p.m_bLegalRequest;
    }
}

void EndOpenPage(NovarcprintProcess *s)
{
    if (!s->m_bPageOpen && s->m_Printer.m_hPrinterDc) {
        EndPage(s->m_Printer.m_hPrinterDc);
        s->m_Printer.m_bPageEnded = true;
        /* The renderers start a new page before they draw again. */
        s->m_Printer.m_bPageStarted = false;
        s->m_Printer.m_bBetweenPages = true;
    }
}

/* A raw job has no document to turn or feed from another tray: ending it
 * for a new device mode would send the rest of the raw data nowhere. */
bool IgnoredInRawJob(NovarcprintProcess *s, const char *szChange)
{
    if (!s->m_Printer.m_iUseRawData)
        return false;
    s->Log("%s ignored: raw job", szChange);
    return true;
}

} // namespace

DEVMODEA *ReadDeviceMode(HANDLE hPrinter, const char *szPrinter)
{
    LONG lSize = DocumentPropertiesA(NULL, hPrinter, (LPSTR)szPrinter, NULL, NULL, 0);
    if (lSize < DEVMODE_PUBLIC_SIZE)
        lSize = DEVMODE_PUBLIC_SIZE;
    DEVMODEA *pMode = (DEVMODEA *)new BYTE[lSize]();
    snprintf((char *)pMode->dmDeviceName, CCHDEVICENAME, "%s", szPrinter);
    pMode->dmSpecVersion = DM_SPECVERSION;
    pMode->dmSize = DEVMODE_PUBLIC_SIZE;
    if (DocumentPropertiesA(NULL, hPrinter, (LPSTR)szPrinter, pMode, NULL, DM_OUT_BUFFER) < 0)
        write_file("DocumentProperties(FAILED)");
    return pMode;
}

void SetLandScapeMode(NovarcprintProcess *s, int iForce)
{
    PrinterState &p = s->m_Printer;
    if (IgnoredInRawJob(s, "SetLandScapeMode()"))
        return;
    if (!iForce && p.m_bLastAppliedLandscape == p.m_bLandscape &&
        p.m_bLastAppliedLegal == p.m_bLegalRequest)
        return;
    p.m_bLastAppliedLandscape = p.m_bLandscape;
    p.m_bLastAppliedLegal = p.m_bLegalRequest;
    if (s->m_bFax) {
        CloseNovarcPrinter(s);
        SetFaxOrientation(s, s->m_szPrinterName,
                          p.m_bLandscape ? DMORIENT_LANDSCAPE : DMORIENT_PORTRAIT);
        ReopenNovarcPrinter(s);
        return;
    }
    if (!OpenSecond(s))
        return;
    DEVMODEA *pMode = ReadDeviceMode(p.m_hSecondPrinter, s->m_szPrinterName);
    const short sWanted = p.m_bLandscape ? DMORIENT_LANDSCAPE : DMORIENT_PORTRAIT;
    if (pMode->dmOrientation == sWanted) {
        CloseSecond(s, pMode);
        return;
    }
    /* Waiting signatures belong on the page in its old orientation. */
    PrintPendingTrailerImages(s);
    pMode->dmFields = DM_ORIENTATION;
    pMode->dmOrientation = sWanted;
    if (((p.m_bMobileLabel || p.m_bLabelMode) && s->m_bConverter) || p.m_bInsuranceForm)
        pMode->dmMediaType = DMMEDIA_USER;
    else
        ApplyPaper(s, pMode, DM_ORIENTATION);
    Merge(s, pMode);
    EndOpenPage(s);
    if (s->m_bConverter && p.m_hPrinterDc)
        ResetDCA(p.m_hPrinterDc, pMode);
    else {
        if (p.m_bPrinted)
            CloseNovarcPrinter(s);
        else if (p.m_iFormTypeCode != FORM_TYPE_NEVER_ABORT && p.m_hPrinterDc) {
            AbortDoc(p.m_hPrinterDc);
            NoteDocumentEnded(s);
        }
        ReopenNovarcPrinter(s);
    }
    CloseSecond(s, pMode);
}

void DocumentProperties(NovarcprintProcess *s, int iBin)
{
    PrinterState &p = s->m_Printer;
    if (s->m_bFax || iBin == -1 || IgnoredInRawJob(s, "DocumentProperties()"))
        return;
    iBin = ResolveBin(s, iBin);
    if (!OpenSecond(s))
        return;
    DEVMODEA *pMode = ReadDeviceMode(p.m_hSecondPrinter, s->m_szPrinterName);
    pMode->dmFields = DM_DEFAULTSOURCE;
    pMode->dmDefaultSource = (short)iBin;
    Merge(s, pMode);
    PrintPendingTrailerImages(s);
    EndOpenPage(s);
    pMode->dmOrientation = p.m_bLandscape ? DMORIENT_LANDSCAPE : DMORIENT_PORTRAIT;
    if (p.m_bEnvelopeFeed) {
        pMode->dmFields = DM_ORIENTATION | DM_PAPERSIZE | DM_DEFAULTSOURCE;
        pMode->dmPaperSize = DMPAPER_ENV_10;
    } else {
        pMode->dmFields = DM_ORIENTATION | DM_DEFAULTSOURCE;
        if ((p.m_bMobileLabel || p.m_bLabelMode || p.m_bInsuranceForm) && s->m_bConverter)
            pMode->dmMediaType = DMMEDIA_USER;
        else
            ApplyPaper(s, pMode, DM_ORIENTATION | DM_DEFAULTSOURCE);
    }
    pMode->dmDefaultSource = (short)iBin;
    p.m_sDefaultSource = (short)iBin;
    if (p.m_hPrinterDc)
        ResetDCA(p.m_hPrinterDc, pMode);
    CloseSecond(s, pMode);
}

namespace {

/* The first bin whose name, after leading blanks, begins with the tray name. */
int FindBinByName(const char *szPrinter, const char *szPort, const char *szTray, int iFallback)
{
    int iCount = DeviceCapabilitiesA(szPrinter, szPort, DC_BINS, NULL, NULL);
    if (iCount <= 0)
        return iFallback;
    /* The driver fills all its bins; only the first 50 are looked at. */
    const int iAll = iCount;
    static const int kMaxBins = 50;
    if (iCount > kMaxBins)
        iCount = kMaxBins;
    char *pNames = new char[(size_t)iAll * 24]();
    WORD *pBins = new WORD[(size_t)iAll]();
    DeviceCapabilitiesA(szPrinter, szPort, DC_BINNAMES, pNames, NULL);
    DeviceCapabilitiesA(szPrinter, szPort, DC_BINS, (LPSTR)pBins, NULL);
    int iResult = iFallback;
    if (iFallback == 3) {
        bool bHas3 = false;
        for (int i = 0; i < iCount; i++)
            bHas3 = bHas3 || pBins[i] == 3;
        if (!bHas3)
            iResult = 2;
    }
    for (int i = 0; i < iCount; i++) {
        char szName[25];
        memcpy(szName, pNames + 24 * i, 24);
        szName[24] = 0;
        const char *pName = szName;
        while (*pName == ' ' || *pName == '\t')
            pName++;
        if (strncmp(pName, szTray, strlen(szTray)) == 0) {
            iResult = pBins[i];
            break;
        }
    }
    delete[] pNames;
    delete[] pBins;
    return iResult;
}

} // namespace

int ResolveBin(NovarcprintProcess *s, int iBin)
{
    if (iBin == -1)
        return -1;
    const int iFormType = s->m_Printer.m_iFormTypeCode;
    if (iFormType != FORM_TYPE_TRAY_NAMES && iBin == 3)
        iBin = 2;
    HANDLE hPrinter = NULL;
    PRINTER_DEFAULTSA defaults = {NULL, NULL, PRINTER_ALL_ACCESS};
    if (!OpenPrinterA(s->m_szPrinterName, &hPrinter, &defaults))
        return iBin;
    DWORD dwNeeded = 0;
    GetPrinterA(hPrinter, 2, NULL, 0, &dwNeeded);
    int iResult = iBin;
    if (dwNeeded > 0) {
        BYTE *pBuf = new BYTE[dwNeeded];
        if (GetPrinterA(hPrinter, 2, pBuf, dwNeeded, &dwNeeded)) {
            PRINTER_INFO_2A *pInfo = (PRINTER_INFO_2A *)pBuf;
            const char *szTray =
                TrayNameFor(iBin, pInfo->pDriverName ? pInfo->pDriverName : "", iFormType);
            iResult = FindBinByName(s->m_szPrinterName, pInfo->pPortName, szTray, iBin);
            s->Log("ResolveBin iBin<%d> szTray<%s> result<%d>", iBin, szTray, iResult);
        }
        delete[] pBuf;
    }
    ClosePrinter(hPrinter);
    return iResult;
}

namespace {

/* The paper code of "Label 4.00 x 6.00", or 0 when the driver has none. */
int LabelPaper(const char *szPrinter)
{
    int iCount = DeviceCapabilitiesA(szPrinter, NULL, DC_PAPERS, NULL, NULL);
    if (iCount <= 0)
        return 0;
    char *pNames = new char[(size_t)iCount * 64]();
    WORD *pPapers = new WORD[(size_t)iCount]();
    DeviceCapabilitiesA(szPrinter, NULL, DC_PAPERNAMES, pNames, NULL);
    DeviceCapabilitiesA(szPrinter, NULL, DC_PAPERS, (LPSTR)pPapers, NULL);
    int iPaper = 0;
    for (int i = 0; i < iCount && !iPaper; i++)
        if (strncmp(pNames + 64 * i, "Label 4.00 x 6.00", 64) == 0)
            iPaper = pPapers[i];
    delete[] pNames;
    delete[] pPapers;
    return iPaper;
}

} // namespace

void SetLabelMode(NovarcprintProcess *s)
{
    PrinterState &p = s->m_Printer;
    if (!OpenSecond(s))
        return;
    int iLabel = LabelPaper(s->m_szPrinterName);
    DEVMODEA *pMode = ReadDeviceMode(p.m_hSecondPrinter, s->m_szPrinterName);
    if (p.m_bEltron) {
        pMode->dmFields = DM_ORIENTATION | DM_PAPERSIZE;
        pMode->dmPaperSize = (short)(iLabel ? iLabel : 42);
    } else {
        pMode->dmFields = DM_ORIENTATION | DM_DEFAULTSOURCE;
        pMode->dmDefaultSource = (short)ResolveBin(s, p.m_iPendingBin);
    }
    pMode->dmOrientation = p.m_bLandscape ? DMORIENT_LANDSCAPE : DMORIENT_PORTRAIT;
    Merge(s, pMode);
    if (p.m_hPrinterDc) {
        HDC hDc = ResetDCA(p.m_hPrinterDc, pMode);
        if (hDc)
            p.m_hPrinterDc = hDc;
    }
    CloseSecond(s, pMode);
}

void ApplyCutSettings(NovarcprintProcess *s, int iFormTypeCode, const char *szPrinter)
{
    if (iFormTypeCode != FORM_TYPE_CUT_29 && iFormTypeCode != FORM_TYPE_CUT_30)
        return;
    static const char *const kKeys[3] = {
        "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Print\\Printers\\%s\\PrinterDriverData",
        "SYSTEM\\ControlSet001\\Control\\Print\\Printers\\%s\\PrinterDriverData",
        "SYSTEM\\CurrentControlSet\\Control\\Print\\Printers\\%s\\PrinterDriverData"};
    for (int i = 0; i < 3; i++) {
        char szKey[MAX_PATH + OPEN_NAME_SIZE];
        snprintf(szKey, sizeof(szKey), kKeys[i], szPrinter);
        HKEY hKey;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, szKey, 0, KEY_SET_VALUE, &hKey) != ERROR_SUCCESS) {
            s->Log("%s", szKey);
            continue;
        }
        const DWORD dwDoc = 3, dwPage = 11;
        LONG lRes = RegSetValueExA(hKey, "ORIGINAL_DOCCUTACTION", 0, REG_DWORD,
                                   (const BYTE *)&dwDoc, sizeof(dwDoc));
        if (lRes != ERROR_SUCCESS)
            s->Log("lRes:%d Index:%d ORIGINAL_DOCCUTACTION", (int)lRes, i);
        lRes = RegSetValueExA(hKey, "RPO_PAGEDOCCUTACTION", 0, REG_DWORD, (const BYTE *)&dwPage,
                              sizeof(dwPage));
        if (lRes != ERROR_SUCCESS)
            s->Log("lRes:%d Index:%d RPO_PAGEDOCCUTACTION", (int)lRes, i);
        RegCloseKey(hKey);
    }
    Sleep(1000);
}
