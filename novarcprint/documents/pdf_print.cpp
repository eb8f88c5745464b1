/*
 * Cached PDFs printed on the job's document: through the PDF engine from
 * memory (the cache file deciphered as its name says), or without the
 * engine as a plain file, by the converter's own PDF printing or, failing
 * that, the office library.  Under the print lock.
 */
#include <cstdio>
#include <cstring>

#include "documents.h"
#include "images.h"
#include "pdf_bind.h"
#include "printer.h"

namespace {

#define PDF_OPTION_RASTERIZE 0x08
#define ACROBAT_MESSAGE_SIZE 1024

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

int PrintThroughEngine(NovarcprintProcess *s, const char *szPath, int iPage, int iMode)
{
    PrinterState &p = s->m_Printer;
    CacheBytes bytes;
    if (!ReadCacheFile(szPath, &bytes)) {
        s->Log("PrintNovarcPdfDocument ReadFile( %s ) FAILED", szPath);
        return 0;
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
    /* The engine ended every page it drew, the open one included. */
    p.m_bPageEnded = true;
    p.m_bPrinted = true;
    s->m_bPageOpen = false;
    p.m_bPageStarted = false;
    FreeCacheBytes(&bytes);
    return 1;
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

typedef int(WINAPI *PrintAcrobatFn)(LPCSTR, LPCSTR, LPCSTR, LPCSTR, LPSTR);

void PrintThroughOffice(NovarcprintProcess *s, const char *szPlain)
{
    HMODULE hLib = LoadLibraryA("KelWord.dll");
    PrintAcrobatFn pPrint =
        hLib ? (PrintAcrobatFn)(void *)GetProcAddress(hLib, "PrintAcrobatDocument") : NULL;
    char szMessage[ACROBAT_MESSAGE_SIZE] = "";
    if (pPrint && pPrint(s->m_szPrinterName, szPlain, "-1", "-1", szMessage))
        s->Log("Success!?");
    s->Log("%s", szMessage);
    if (hLib)
        FreeLibrary(hLib);
}

void PrintWithoutEngine(NovarcprintProcess *s, const char *szPath, int iPage)
{
    char szPlain[MAX_PATH];
    if (!PlainCopy(s, szPath, szPlain, sizeof(szPlain)))
        return;
    if (KelAmyuniLoaded()) {
        if (iPage < 1)
            s->Log("Amyuni PrintPDFDocument( ALL PAGES )");
        else
            s->Log("Amyuni PrintPDFDocument(Page:%d)", iPage);
        KelAmyuni_PrintPDFDocument(szPlain, s->m_szPrinterName, iPage < 1 ? 1 : iPage,
                                   iPage < 1 ? 20000 : iPage, 1);
    } else
        PrintThroughOffice(s, szPlain);
    DeleteFileA(szPlain);
}

} // namespace

int PrintNovarcPdfDocument(NovarcprintProcess *s, const char *szPath, int iPage, int iMode)
{
    s->Log("PrintNovarcPdfDocument(%s page:%d mode:%d)", szPath, iPage, iMode);
    if (strcmp(s->m_szPrinterName, "VSIFAX Server") == 0)
        s->m_bFax = true;
    LengthenImageWait(s, "PrintNovarcPdfDocument");
    int iResult = 1;
    if (KelPdfTronLoaded() || KelLoadPdfTron())
        iResult = PrintThroughEngine(s, szPath, iPage, iMode);
    else
        PrintWithoutEngine(s, szPath, iPage);
    ShortenImageWait(s, "PrintNovarcPdfDocument");
    if (iResult && strstr(s->m_szPrinterName, "NovarcPDF") &&
        strcmp(s->m_szPrinterName, "NovarcPDF") != 0)
        DeleteFileA(szPath);
    return iResult;
}
