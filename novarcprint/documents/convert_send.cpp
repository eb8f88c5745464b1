/*
 * Convert and send: the job printed on a converter printer left one PDF
 * part per document; they are joined, optionally normalised, and returned
 * to the server whole or page by page, after which the printer is reopened
 * for the rest of the job under new names.  Every return ends with the
 * lone end marker or a file the server can take as complete: never a part
 * of the job reported as the whole.
 */
#include <cstdio>
#include <cstring>

#include "documents.h"
#include "pdf_bind.h"
#include "printer.h"
#include "stream.h"

namespace {

void DeletePart(NovarcprintProcess *s, int iPart)
{
    const PrinterState &p = s->m_Printer;
    char szPart[MAX_PATH];
    FormatName(szPart, sizeof(szPart), "%s\\Part%d%s", p.m_szConverterDir, iPart,
               p.m_szConverterFileName);
    if (!DeleteFileA(szPart))
        s->Log("DeleteFile( %s ) FAILED", szPart);
}

/* The joined file: every part through the engine, which fails on a part
 * missing or unreadable; a lone part is copied only without the engine. */
bool JoinParts(NovarcprintProcess *s, int iParts, const char *szJoined)
{
    const PrinterState &p = s->m_Printer;
    char szError[KELPDFTRON_ERROR_TEXT_SIZE] = "";
    if (iParts >= 2 || KelPdfTronLoaded() || KelLoadPdfTron()) {
        if (iParts >= 2)
            s->Log("KEL_ConcatenateKelPdfTronDocumentRange( %s )", szJoined);
        if (KelPdfTron_Concatenate(szJoined, p.m_szConverterDir, "Part", p.m_szConverterFileName,
                                   iParts, szError))
            return true;
        s->Log("KEL_ConcatenateKelPdfTronDocumentRange( %s, %s ) FAILED Error <%s>", szJoined,
               p.m_szConverterFileName, szError);
        return false;
    }
    char szPart[MAX_PATH];
    FormatName(szPart, sizeof(szPart), "%s\\Part1%s", p.m_szConverterDir, p.m_szConverterFileName);
    if (CopyFileA(szPart, szJoined, FALSE))
        return true;
    s->Log("MergeAmyuniPdfParts() CopyFile( %s ) FAILED ERROR:%d", szPart, (int)GetLastError());
    return false;
}

/* The convert printer's page files while they last, then the lone end
 * marker. */
void SendImageConvertPageArray(NovarcprintProcess *s)
{
    const PrinterState &p = s->m_Printer;
    for (int i = 1;; i++) {
        char szPage[MAX_PATH], szSent[MAX_PATH];
        PageFileName(szPage, sizeof(szPage), p.m_szConvertFileName, i, p.m_szConversionExtension);
        PageFileName(szSent, sizeof(szSent), p.m_szDocumentName, i, p.m_szConversionExtension);
        if (GetFileAttributesA(szPage) == INVALID_FILE_ATTRIBUTES) {
            s->Log("SendLeadtoolsImageConvertPageArray(  File( %s ) DOES NOT EXIST)", szPage);
            break;
        }
        if (!CompressForReturn(s, szPage)) {
            s->Log("SendLeadtoolsImageConvertPageArray(KelZipPlus(FAILED))");
            break;
        }
        s->Log("SendLeadtoolsImageConvertPageArray(SendWholeFile %s )", szPage);
        if (!s->SendWholeFile(s->m_sockReply, szSent, szPage, 0))
            break;
    }
    SendLoneEndMarker(s);
    DeleteConverterPartFiles(s);
}

/* Each page as its own file, then the lone end marker. */
void SendPdfPageArray(NovarcprintProcess *s)
{
    PrinterState &p = s->m_Printer;
    char szError[KELPDFTRON_ERROR_TEXT_SIZE] = "";
    const int iPages = KelPdfTron_Separate(p.m_szConvertFileName, szError);
    if (iPages <= 0)
        s->Log("SendPdfPageArray SeparateKelPdfTronDocument( %s ) FAILED:%s", p.m_szConvertFileName,
               szError);
    for (int i = 1; i <= iPages; i++) {
        char szPage[MAX_PATH], szSent[MAX_PATH];
        PageFileName(szPage, sizeof(szPage), p.m_szConvertFileName, i, "pdf");
        PageFileName(szSent, sizeof(szSent), p.m_szDocumentName, i, "pdf");
        if (!CompressForReturn(s, szPage)) {
            s->Log("SendPdfPageArray(KelZipPlus(FAILED))");
            break;
        }
        s->Log("SendPdfPageArray(SendWholeFile %s )", szPage);
        if (!s->SendWholeFile(s->m_sockReply, szSent, szPage, 0)) {
            /* The server would take the pages so far for the whole. */
            s->Log("SendPdfPageArray(SendWholeFile %s ) FAILED", szPage);
            break;
        }
    }
    /* Pages not sent (a failure above) are of no use any more. */
    for (int i = 1; i <= iPages; i++) {
        char szPage[MAX_PATH];
        PageFileName(szPage, sizeof(szPage), p.m_szConvertFileName, i, "pdf");
        DeleteFileA(szPage);
    }
    SendLoneEndMarker(s);
    DeleteConverterPartFiles(s);
}

void SendJoinedFile(NovarcprintProcess *s)
{
    PrinterState &p = s->m_Printer;
    s->Log("ConvertAndSendFiles( DOES FILE EXIST?) %s ", p.m_szConvertFileName);
    if (!CompressForReturn(s, p.m_szConvertFileName)) {
        /* Nothing is coming: said at once rather than left to a wait. */
        s->Log("ConvertAndSendFiles(KelZipPlus(FAILED))");
        SendLoneEndMarker(s);
        DeleteConverterPartFiles(s);
        return;
    }
    s->Log("ConvertAndSendFiles(SendWholeFile)");
    if (!s->SendWholeFile(s->m_sockReply, p.m_szDocumentName, p.m_szConvertFileName, 0))
        SendLoneEndMarker(s);
    DeleteConverterPartFiles(s);
}

/* What another printer returns: an ePrint printer its file, any other none. */
void SendOtherPrinterFile(NovarcprintProcess *s)
{
    const PrinterState &p = s->m_Printer;
    if (p.m_bEPrint && KELPeerFileName(p.m_szOutputName)) {
        char szPattern[MAX_PATH];
        FormatName(szPattern, sizeof(szPattern), "C:\\ePrint\\%s*.pdf", p.m_szOutputName);
        WIN32_FIND_DATAA found;
        HANDLE hFind = FindFirstFileA(szPattern, &found);
        if (hFind != INVALID_HANDLE_VALUE) {
            FindClose(hFind);
            char szBase[MAX_PATH], szPath[MAX_PATH], szSent[MAX_PATH];
            FormatName(szBase, sizeof(szBase), "%s", found.cFileName);
            if (char *pDot = strchr(szBase, '.'))
                *pDot = 0;
            FormatName(szPath, sizeof(szPath), "C:\\ePrint\\%s.pdf", szBase);
            FormatName(szSent, sizeof(szSent), "%s_done.pdf", szBase);
            s->SendWholeFile(s->m_sockReply, szSent, szPath, 0);
        }
    }
    SendLoneEndMarker(s);
}

} // namespace

bool MergeAmyuniPdfParts(NovarcprintProcess *s)
{
    PrinterState &p = s->m_Printer;
    if (!s->m_bConverter)
        return false;
    const int iParts = p.m_iPartNumber - 1;
    char szJoined[MAX_PATH];
    FormatName(szJoined, sizeof(szJoined), "%s\\%s", p.m_szConverterDir, p.m_szConverterFileName);
    if (iParts < 1) {
        s->Log("MergeAmyuniPdfParts() JUST ONE FILE %s BUT NOTHING WAS PRINTED!)", szJoined);
        return false;
    }
    if (iParts == 1)
        s->Log("MergeAmyuniPdfParts() JUST ONE FILE %s )", szJoined);
    /* A failed join keeps its parts: they are what the job printed. */
    if (!JoinParts(s, iParts, szJoined))
        return false;
    for (int i = 1; i <= iParts; i++)
        DeletePart(s, i);
    FormatName(p.m_szConvertFileName, sizeof(p.m_szConvertFileName), "%s", szJoined);
    FormatName(p.m_szCatalogName, sizeof(p.m_szCatalogName), "%s.cat", szJoined);
    FormatName(p.m_szDocumentName, sizeof(p.m_szDocumentName), "%s", p.m_szConverterFileName);
    return true;
}

void ConvertAndSendFiles(NovarcprintProcess *s, int iFlags)
{
    PrinterState &p = s->m_Printer;
    p.m_bDocumentEnded = false;
    CloseNovarcPrinter(s);
    if (s->m_bConverter) {
        s->Log("KelAmyuni_DriverEnd( hConverter );");
        if (p.m_hConverter)
            KelAmyuni_DriverEnd(p.m_hConverter);
        p.m_hConverter = NULL;
        if (!MergeAmyuniPdfParts(s)) {
            s->Log("ConvertAndSendFiles(MergeAmyuniPdfParts(FAILED))");
            SendLoneEndMarker(s);
            return;
        }
        char szError[KELPDFTRON_ERROR_TEXT_SIZE] = "";
        if ((iFlags & CONVERT_NORMALIZE) &&
            !KelPdfTron_Normalize(p.m_szConvertFileName, 0, szError))
            s->Log("NormalizeKelPdftronDocument(%s) FAILED:%s", p.m_szConvertFileName, szError);
    }
    ResetPrintingFlag(s);
    s->Log("ConvertAndSendFiles( 1 )");
    const bool bImages = p.m_bLeadtoolsConvertPrinter;
    if (!s->m_bConverter && !bImages) {
        SendOtherPrinterFile(s);
        return;
    }
    if ((iFlags & CONVERT_PAGE_BY_PAGE) && bImages) {
        s->Log("ConvertAndSendFiles( SendPdfPageArray( %s )", p.m_szConvertFileName);
        SendImageConvertPageArray(s);
    } else if (iFlags & CONVERT_PAGE_BY_PAGE) {
        s->Log("ConvertAndSendFiles( SendPdfPageArray( %s )", p.m_szConvertFileName);
        SendPdfPageArray(s);
    } else
        SendJoinedFile(s);
}

int HandlePrintConvertAndSendFiles(NovarcprintProcess *s, MsgBuf *pMsg, int)
{
    if (pMsg->iLen < 8) {
        s->Log("PRINT_CONVERT_AND_SEND_FILES payload too short iLen<%d>", pMsg->iLen);
        SendLoneEndMarker(s);
        return 0;
    }
    TakeInt(pMsg); /* no effect */
    const int iFlags = TakeInt(pMsg);
    ConvertAndSendFiles(s, iFlags);
    s->Log("ConvertAndSendFiles ReopenNovarcPrinter( )");
    if (s->m_bConverter) {
        /* The rest of the job is a new one: nothing printed on it yet. */
        StartConverterJob(s);
        s->m_Printer.m_bPrinted = false;
        s->m_Printer.m_szConvertFileName[0] = 0;
        s->m_Printer.m_szCatalogName[0] = 0;
    }
    ReopenNovarcPrinter(s);
    return 1;
}
