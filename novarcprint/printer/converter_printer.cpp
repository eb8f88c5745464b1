/*
 * The PDF converter printers ("NovarcPDF", "NovarcMobilePDF",
 * "NovarcPrintPDF"): each document of a job becomes one numbered part file
 * in the printer's folder, which convert-and-send later joins and returns.
 * Here the converter is configured for the part about to be printed:
 * folder and file, append or replace, resolution, image compression, the
 * paper of the job's mode, and the lock that keeps other programs' output
 * out of the part.  Runs under the session's print lock.
 */
#include <cstdio>
#include <cstring>

#include "pdf_bind.h"
#include "printer.h"

namespace {

struct ConverterFolder {
    const char *szName; /* contained in the printer name */
    const char *szDir;
};

const char kConvertRoot[] = "c:\\novarc\\convert_pdf";

const ConverterFolder kFolders[] = {
    {"NovarcPDF", "c:\\novarc\\convert_pdf"},
    {"NovarcMobilePDF", "c:\\novarc\\convert_pdf\\mobile"},
    {"NovarcPrintPDF", "c:\\novarc\\convert_pdf\\print"},
};

#define LOCK_TRIES 6
#define LETTER_LENGTH 2794 /* tenths of a millimetre */
#define LETTER_WIDTH 2159
#define PAPER_LETTER 1
#define PAPER_USER 256

void EndConverter(NovarcprintProcess *s)
{
    PrinterState &p = s->m_Printer;
    if (p.m_hConverter)
        KelAmyuni_DriverEnd(p.m_hConverter);
    p.m_hConverter = NULL;
}

/* DriverInit, and once the converter's installer when the printer is not
 * there; false when there is still no handle. */
bool InitConverter(NovarcprintProcess *s, const char *szPrinter)
{
    PrinterState &p = s->m_Printer;
    if (p.m_hConverter) {
        s->Log("KelAmyuni_DriverEnd()");
        EndConverter(s);
    }
    s->Log("KelAmyuni_DriverInit()");
    p.m_hConverter = KelAmyuni_DriverInit(szPrinter);
    if (p.m_hConverter)
        return true;
    char szError[201] = "";
    KelAmyuni_GetLastErrorMsg(szError, 200);
    s->Log("KelAmyuni_DriverInit(GetLastErrorMsg(%s))", szError);
    s->Log("KelInstallAmyuniPrinter(%s)", szPrinter);
    KelAmyuni_RunInstaller(szPrinter);
    if (!p.m_hConverter) {
        p.m_hConverter = KelAmyuni_DriverInit(szPrinter);
        if (!p.m_hConverter) {
            KelAmyuni_GetLastErrorMsg(szError, 200);
            s->Log("KelAmyuni_DriverIni(GetLastErrorMsg(%s))", szError);
            s->Log("NovarcPDF m_hConverter == NULL");
            return false;
        }
    }
    return true;
}

/* 0 locked; below -1 failed for good; -1 still held elsewhere after every try. */
int LockPart(NovarcprintProcess *s, const char *szPart)
{
    HANDLE h = s->m_Printer.m_hConverter;
    s->Log(" KelAmyuni_Lock( m_hConverter, %s );", szPart);
    int iResult = -1;
    for (int iCtr = 0; iCtr < LOCK_TRIES; iCtr++) {
        iResult = (int)KelAmyuni_Lock(h, szPart);
        if (iResult < -1) {
            s->Log("KelAmyuni_Lock( m_hConverter, %s ) FAILED ERROR:%d", szPart,
                   (int)GetLastError());
            return iResult;
        }
        if (iResult != -1)
            break;
        s->Log("KelAmyuni_Lock( m_hConverter, %s ) FAILED ERROR:%d iCtr:%d Try Again", szPart,
               (int)GetLastError(), iCtr);
    }
    s->Log("KelAmyuni_Lock( m_hConverter, %s ) %s", szPart, iResult == 0 ? "SUCCESS" : "FAILED");
    return iResult;
}

void LogPaper(NovarcprintProcess *s, HANDLE h, const char *szMode)
{
    s->Log("OpenKelAmyuniPrinter %s nLength<%d> nWidth<%d> nPaperSizse<%d>", szMode,
           (int)KelAmyuni_GetPaperLength(h), (int)KelAmyuni_GetPaperWidth(h),
           (int)KelAmyuni_GetPaperSize(h));
}

void ApplyLabelPaper(NovarcprintProcess *s, HANDLE h, const char *szMode, int iLength, int iWidth,
                     int iHMargin, int iVMargin)
{
    LogPaper(s, h, szMode);
    s->Log("OpenKelAmyuniPrinter giLocalPCLabelMode SetScalingOption(%d)", 0);
    KelAmyuni_SetScalingOption(h, 0);
    KelAmyuni_SetPaperLength(h, iLength);
    KelAmyuni_SetPaperWidth(h, iWidth);
    KelAmyuni_SetPaperSize(h, PAPER_USER);
    KelAmyuni_SetHorizontalMargin(h, iHMargin);
    KelAmyuni_SetVerticalMargin(h, iVMargin);
    s->Log("NOW OpenKelAmyuniPrinter %s nLength<%d> nWidth<%d>", szMode,
           (int)KelAmyuni_GetPaperLength(h), (int)KelAmyuni_GetPaperWidth(h));
}

/* The paper of the job's mode, first matching mode first, then committed. */
void ApplyPaperMode(NovarcprintProcess *s, int iHMargin, int iVMargin)
{
    const PrinterState &p = s->m_Printer;
    HANDLE h = p.m_hConverter;
    if (p.m_bMobileLabel) {
        ApplyLabelPaper(s, h, "m_iLocalPCMobileLabLabelMode", 600, 600, 0, 0);
    } else if (p.m_bLabelMode) {
        ApplyLabelPaper(s, h, "giLocalPCLabelMode", 600, 360, 60, 10);
    } else if (p.m_bInsuranceForm) {
        s->Log("OpenKelAmyuniPrinter giLocalPCInsuranceFormMode SetPaperSize(%d)", PAPER_LETTER);
        KelAmyuni_SetPaperSize(h, PAPER_LETTER);
        s->Log("OpenKelAmyuniPrinter giLocalPCInsuranceFormMode SetHorizontalMargin(%d) "
               "SetVerticalMargin(%d)",
               0, 0);
        KelAmyuni_SetHorizontalMargin(h, 0);
        KelAmyuni_SetVerticalMargin(h, 0);
        s->Log("OpenKelAmyuniPrinter giLocalPCInsuranceFormMode SetScalingOption(%d)", 1);
        KelAmyuni_SetScalingOption(h, 1);
        s->Log("OpenKelAmyuniPrinter giLocalPCInsuranceFormMode SetScalingPaperSize(%d)",
               PAPER_LETTER);
        KelAmyuni_SetScalingPaperSize(h, PAPER_LETTER);
        s->Log("OpenKelAmyuniPrinter giLocalPCInsuranceFormMode KelAmyuni_SetDefaultConfigEx()");
        KelAmyuni_SetDefaultConfigEx(h);
        return;
    } else {
        s->Log("OpenKelAmyuniPrinter SetScalingOption(%d)", 0);
        KelAmyuni_SetScalingOption(h, 0);
        s->Log("OpenKelAmyuniPrinter SetPaperLength(2794) Width(2159) Letter");
        KelAmyuni_SetPaperLength(h, LETTER_LENGTH);
        KelAmyuni_SetPaperWidth(h, LETTER_WIDTH);
        if (iHMargin != 0 || iVMargin != 0) {
            s->Log("OpenKelAmyuniPrinter nHMargin<%d> nVMargin<%d> Set to 0", iHMargin, iVMargin);
            KelAmyuni_SetHorizontalMargin(h, 0);
            KelAmyuni_SetVerticalMargin(h, 0);
        }
    }
    s->Log("OpenKelAmyuniPrinter KelAmyuni_SetDefaultConfigEx()");
    KelAmyuni_SetDefaultConfigEx(h);
}

bool HoldsConverterGate(NovarcprintProcess *s)
{
    return s->m_hSpecialLock[LOCK_NOVARCPDF] || s->m_hSpecialLock[LOCK_MOBILEPDF] ||
           s->m_hSpecialLock[LOCK_PRINTPDF];
}

/* The part's name, path and catalogue; false when they do not fit (the
 * unique names always do). */
bool SetPartNames(NovarcprintProcess *s)
{
    PrinterState &p = s->m_Printer;
    return snprintf(p.m_szOutputName, sizeof(p.m_szOutputName), "Part%d%s", p.m_iPartNumber,
                    p.m_szConverterFileName) < (int)sizeof(p.m_szOutputName) &&
           snprintf(p.m_szConvertFileName, sizeof(p.m_szConvertFileName), "%s\\%s",
                    p.m_szConverterDir, p.m_szOutputName) < (int)sizeof(p.m_szConvertFileName) &&
           snprintf(p.m_szCatalogName, sizeof(p.m_szCatalogName), "%s\\%s.cat", p.m_szConverterDir,
                    p.m_szOutputName) < (int)sizeof(p.m_szCatalogName);
}

bool PartExists(const char *szPath)
{
    HANDLE hFile = CreateFileA(szPath, GENERIC_READ | GENERIC_WRITE, 0, NULL, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, NULL);
    if (hFile == INVALID_HANDLE_VALUE)
        return false;
    CloseHandle(hFile);
    return true;
}

} // namespace

const char *ConverterDirectoryFor(const char *szPrinter)
{
    for (const ConverterFolder &f : kFolders)
        if (strstr(szPrinter, f.szName))
            return f.szDir;
    return NULL;
}

void StartConverterJob(NovarcprintProcess *s)
{
    PrinterState &p = s->m_Printer;
    MakeUniqueFileName(p.m_szOutputName, OPEN_NAME_SIZE, "Img", "pdf");
    snprintf(p.m_szConverterFileName, sizeof(p.m_szConverterFileName), "%s", p.m_szOutputName);
    snprintf(p.m_szDocumentName, sizeof(p.m_szDocumentName), "%s", p.m_szOutputName);
    p.m_iPartNumber = 1;
}

bool OpenKelAmyuniPrinter(NovarcprintProcess *s, const char *szPrinter)
{
    PrinterState &p = s->m_Printer;
    s->Log("OpenKelAmyuniPrinter( %s )", szPrinter);
    if (!KelAmyuniLoaded()) {
        s->Log("OpenKelAmyuniPrinter(AMYUNI_DLL == NULL)");
        return false;
    }
    if (const char *szDir = ConverterDirectoryFor(szPrinter))
        snprintf(p.m_szConverterDir, sizeof(p.m_szConverterDir), "%s", szDir);
    CreateDirectoryA(kConvertRoot, NULL);
    CreateDirectoryA(p.m_szConverterDir, NULL);
    if (!InitConverter(s, szPrinter))
        return false;
    HANDLE h = p.m_hConverter;
    if (!SetPartNames(s)) {
        s->Log("OpenKelAmyuniPrinter part name too long");
        EndConverter(s);
        return false;
    }
    s->Log("KelAmyuni_SetFileNameOptions()");
    s->Log("OpenKelAmyuniPrinter( m_szConvertFileName:%s )", p.m_szConvertFileName);
    int iFileOptions = CDINTF_NO_PROMPT;
    if (PartExists(p.m_szConvertFileName)) {
        s->Log("FileExists( %s ) so Concatenate", p.m_szConvertFileName);
        iFileOptions |= CDINTF_CONCATENATE;
    }
    s->Log("KelAmyuni_SetResolution()");
    KelAmyuni_SetResolution(h, 300);
    KelAmyuni_SetJPEGCompression(h, TRUE);
    KelAmyuni_SetJPegLevel(h, p.m_bJpegLevel ? 1 : 5);
    s->Log("KelAmyuni_SetImageOptions()");
    KelAmyuni_SetImageOptions(h, 3);
    KelAmyuni_SetDefaultDirectory(h, p.m_szConverterDir);
    KelAmyuni_SetDefaultFileName(h, p.m_szConvertFileName);
    const int iLock = LockPart(s, p.m_szOutputName);
    if (iLock < -1)
        return false;
    if (iLock == -1) {
        EndConverter(s);
        return false;
    }
    s->Log("KelAmyuni_SetDocFileProps()");
    KelAmyuni_SetDocFileProps(h, p.m_szOutputName, iFileOptions, p.m_szConverterDir,
                              p.m_szOutputName);
    KelAmyuni_SetFileNameOptions(h, iFileOptions | CDINTF_USE_FILENAME);
    const int iHMargin = (int)KelAmyuni_GetHorizontalMargin(h);
    const int iVMargin = (int)KelAmyuni_GetVerticalMargin(h);
    s->Log("OpenKelAmyuniPrinter nHMargin<%d> nVMargin<%d>", iHMargin, iVMargin);
    ApplyPaperMode(s, iHMargin, iVMargin);
    if (HoldsConverterGate(s))
        return true;
    EndConverter(s);
    return false;
}

void IncrementAmyuniPrinterFile(NovarcprintProcess *s)
{
    PrinterState &p = s->m_Printer;
    if (!s->m_bConverter)
        return;
    p.m_iPartNumber++;
    s->Log("IncrementAmyuniPrinterFile( %s\\Part%d%s )", p.m_szConverterDir, p.m_iPartNumber,
           p.m_szConverterFileName);
}

void KELAmyuniSetPaperSizeForExternalPrinting(NovarcprintProcess *s)
{
    HANDLE h = s->m_Printer.m_hConverter;
    if (!s->m_bConverter)
        return;
    s->Log("KELAmyuniSetPaperSizeForExternalPrinting nLength<%d> nWidth<%d> nPaperSizse<%d>",
           (int)KelAmyuni_GetPaperLength(h), (int)KelAmyuni_GetPaperWidth(h),
           (int)KelAmyuni_GetPaperSize(h));
    KelAmyuni_SetPaperLength(h, LETTER_LENGTH);
    KelAmyuni_SetPaperWidth(h, LETTER_WIDTH);
    KelAmyuni_SetPaperSize(h, PAPER_LETTER);
    s->Log("KELAmyuniSetPaperSizeForExternalPrinting KelAmyuni_SetDefaultConfigEx()");
    KelAmyuni_SetDefaultConfigEx(h);
    s->Log("KELAmyuniSetPaperSizeForExternalPrinting nLength<%d> nWidth<%d>",
           (int)KelAmyuni_GetPaperLength(h), (int)KelAmyuni_GetPaperWidth(h));
    const int iSet = KelAmyuni_SetDefaultConfigEx(h);
    s->Log("KELAmyuniSetPaperSizeForExternalPrinting NOW nLength<%d> nWidth<%d> nPaperSizse<%d> "
           "nSetDefault<%d>",
           (int)KelAmyuni_GetPaperLength(h), (int)KelAmyuni_GetPaperWidth(h),
           (int)KelAmyuni_GetPaperSize(h), iSet);
}

void DeleteConverterPartFiles(NovarcprintProcess *s)
{
    const PrinterState &p = s->m_Printer;
    if (p.m_szConvertFileName[0])
        DeleteFileA(p.m_szConvertFileName);
    if (p.m_szCatalogName[0])
        DeleteFileA(p.m_szCatalogName);
}
