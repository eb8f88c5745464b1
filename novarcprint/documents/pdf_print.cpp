/*
 * Cached PDFs printed on the job's document: through the PDF engine from
 * memory (the cache file deciphered as its name says), or without the
 * engine as a plain file, by the converter's own PDF printing or, failing
 * that, the office library.  A whole file the engine printed nothing of
 * goes the way without it too.  Under the print lock.
 */
#include <cstdio>
#include <cstring>

#include "documents.h"
#include "images.h"
#include "office_bind.h"
#include "pdf_bind.h"
#include "printer.h"

namespace {

#define PDF_OPTION_RASTERIZE 0x08

bool IsCipheredName(const char *szName)
{
    return strstr(szName, ".X2M") || strstr(szName, ".x2m") || strstr(szName, ".XEM") ||
           strstr(szName, ".xem");
}

/* The name without its last four characters (".x2m", ".xem"). */
void PlainName(char *szOut, int iSize, const char *szName)
{
    const int iLen = (int)strlen(szName);
    FormatName(szOut, iSize, "%.*s", iLen > 4 ? iLen - 4 : iLen, szName);
}

/* The pages the engine printed on the job's document; -1 when the file
 * cannot be read. */
int PrintThroughEngine(NovarcprintProcess *s, const char *szPath, int iPage, int iMode)
{
    PrinterState &p = s->m_Printer;
    CacheBytes bytes;
    if (!ReadCacheFile(szPath, &bytes)) {
        s->Log("PrintNovarcPdfDocument ReadFile( %s ) FAILED", szPath);
        return -1;
    }
    char szName[MAX_PATH];
    if (IsCipheredName(szPath))
        PlainName(szName, sizeof(szName), szPath);
    else
        FormatName(szName, sizeof(szName), "%s", szPath);
    if (iPage < 1)
        s->Log("KelPdfTron PrintPDFDocumentBuffer(ALL PAGES)");
    else
        s->Log("KelPdfTron PrintPDFDocumentBuffer(Page:%d)", iPage);
    const int iSource = ResolveBin(s, p.m_iPendingBin);
    const char *szOptions = (iMode & PDF_OPTION_RASTERIZE) ? "USE_BUILTIN_RASTERIZER" : "";
    const int iPages = KelPdfTron_PrintDocumentBuffer(
        p.m_hPrinterDc, p.m_hPrinter, s->m_szPrinterName, iSource, szName,
        (const BYTE *)bytes.pData, bytes.dwLen, iPage, 1, szOptions, s->m_iHeadingType,
        s->m_iFootingType, s->m_szHeading, s->m_szFooting);
    s->Log("KelPdfTron PrintPDFDocumentBufferOptionHeading( %s ) pages<%d>", szOptions, iPages);
    /* The engine ended every page it drew, the open one included.  When it
     * drew none the document is as it was: marked printed, an empty
     * document would reach the printer (a blank fax) at the close. */
    if (iPages > 0) {
        p.m_bPageEnded = true;
        p.m_bPrinted = true;
        s->m_bPageOpen = false;
        p.m_bPageStarted = false;
    }
    FreeCacheBytes(&bytes);
    return iPages;
}

/* The plain file to print: the cached file itself, or its deciphered copy
 * beside it.  False when it cannot be had. */
bool PlainCopy(NovarcprintProcess *s, const char *szPath, char *szPlain, int iSize)
{
    if (!IsCipheredName(szPath)) {
        FormatName(szPlain, iSize, "%s", szPath);
        return GetFileAttributesA(szPath) != INVALID_FILE_ATTRIBUTES;
    }
    PlainName(szPlain, iSize, szPath);
    CacheBytes bytes;
    if (!ReadCacheFile(szPath, &bytes))
        return false;
    HANDLE hFile =
        CreateFileA(szPlain, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    DWORD dwWritten = 0;
    const bool bOk = hFile != INVALID_HANDLE_VALUE &&
                     WriteFile(hFile, bytes.pData, bytes.dwLen, &dwWritten, NULL) &&
                     dwWritten == bytes.dwLen;
    if (hFile != INVALID_HANDLE_VALUE)
        CloseHandle(hFile);
    FreeCacheBytes(&bytes);
    if (!bOk) {
        s->Log("PrintNovarcPdfDocument plain copy <%s> FAILED", szPlain);
        DeleteFileA(szPlain);
    }
    return bOk;
}

/* The office library prints the file on the printer by name, as a
 * document of its own. */
void PrintThroughOffice(NovarcprintProcess *s, const char *szPlain)
{
    HRESULT hr = CoInitialize(NULL);
    if (hr != 0)
        s->Log("CoInitialize() Returned <%d>", (int)hr);
    char szMessage[KELWORD_MESSAGE_SIZE] = "";
    if (KelWordPrint("PrintAcrobatDocument", s->m_szPrinterName, szPlain, "-1", "-1", szMessage))
        s->Log("Success!?");
    s->Log("%s", szMessage);
    if (SUCCEEDED(hr))
        CoUninitialize();
}

/* The plain file printed on the printer by name, by the converter or the
 * office library.  The fax printer's own document is ended first, since
 * the outside print is a fax document of its own, and a new one started
 * after it.  The file printed goes afterwards, unless it is the cached
 * file and bKeepCached. */
void PrintWithoutEngine(NovarcprintProcess *s, const char *szPath, int iPage, bool bKeepCached)
{
    EndFaxDocument(s);
    char szPlain[MAX_PATH];
    if (PlainCopy(s, szPath, szPlain, sizeof(szPlain))) {
        if (KelAmyuniLoaded()) {
            if (iPage < 1)
                s->Log("Amyuni PrintPDFDocument( ALL PAGES )");
            else
                s->Log("Amyuni PrintPDFDocument(Page:%d)", iPage);
            KelAmyuni_PrintPDFDocument(szPlain, s->m_szPrinterName, iPage < 1 ? 1 : iPage,
                                       iPage < 1 ? 20000 : iPage, 1);
        } else
            PrintThroughOffice(s, szPlain);
        if (!bKeepCached || strcmp(szPlain, szPath) != 0)
            DeleteFileA(szPlain);
    }
    SetFaxOrientation(s, s->m_szPrinterName, DMORIENT_PORTRAIT);
    if (s->m_bFax)
        StartFaxDocument(s);
}

} // namespace

int PrintNovarcPdfDocument(NovarcprintProcess *s, const char *szPath, int iPage, int iMode)
{
    s->Log("PrintNovarcPdfDocument(%s page:%d mode:%d)", szPath, iPage, iMode);
    if (strcmp(s->m_szPrinterName, "VSIFAX Server") == 0)
        s->m_bFax = true;
    LengthenImageWait(s, "PrintNovarcPdfDocument");
    int iResult = 1;
    if (KelPdfTronLoaded() || KelLoadPdfTron()) {
        const int iPages = PrintThroughEngine(s, szPath, iPage, iMode);
        iResult = iPages < 0 ? 0 : 1;
        /* An engine that printed nothing of a whole file failed it (an old
         * or damaged engine); printed without it the report is not lost.
         * A single page may simply not be there, so that is not retried. */
        if (iPages == 0 && iPage < 1) {
            s->Log("PrintNovarcPdfDocument engine printed nothing, printing without it");
            PrintWithoutEngine(s, szPath, iPage, true);
        }
    } else
        PrintWithoutEngine(s, szPath, iPage, false);
    ShortenImageWait(s, "PrintNovarcPdfDocument");
    if (iResult && strstr(s->m_szPrinterName, "NovarcPDF") &&
        strcmp(s->m_szPrinterName, "NovarcPDF") != 0)
        DeleteFileA(szPath);
    return iResult;
}
