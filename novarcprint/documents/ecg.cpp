/*
 * ECG and Holter reports: the data file arrives whole with the request and
 * is printed by the ECG library "KelEcg.dll" on the job's printer by name.
 * Without the library the job's own page says so, so that the report is
 * not silently missing from the printout.
 */
#include <cstdio>
#include <cstring>

#include <kellib/payload.h>
#include <kellib/peer_path.h>

#include "office.h"
#include "office_bind.h"
#include "printer.h"

namespace {

struct EcgRecord {
    int iKind;
    char szName[MAX_PATH];
    const char *pData;
    int iDataLen;
};

bool ParseEcgRecord(const MsgBuf *pMsg, EcgRecord *pRecord)
{
    KelPayload in = KelPayload::Of(pMsg->szBuf, pMsg->iLen);
    if (!pMsg->szBuf || !in.Int32(&pRecord->iKind) ||
        !in.String(pRecord->szName, sizeof(pRecord->szName)))
        return false;
    pRecord->pData = in.Here();
    pRecord->iDataLen = in.Left();
    return true;
}

bool WriteDataFile(const char *szPath, const char *pData, int iLen)
{
    HANDLE hFile =
        CreateFileA(szPath, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (hFile == INVALID_HANDLE_VALUE)
        return false;
    DWORD dwWritten = 0;
    bool bOk = iLen == 0 ||
               (WriteFile(hFile, pData, (DWORD)iLen, &dwWritten, NULL) && dwWritten == (DWORD)iLen);
    CloseHandle(hFile);
    return bOk;
}

/* The page that says the ECG library is missing, on the job's own DC. */
void PrintMissingLibraryPage(NovarcprintProcess *s)
{
    PrinterState &p = s->m_Printer;
    HDC hdc = p.m_hPrinterDc;
    if (!hdc)
        return;
    if (!s->m_bPageOpen) {
        StartPage(hdc);
        s->m_bPageOpen = true;
    }
    static const char *const kLines[] = {"ERROR: Unable To Access KelEcg.dll",
                                         "       Please Transfer EcgKit.exe From Your Server",
                                         "       Or Contact Your System Administrator"};
    int y = 200;
    for (const char *szLine : kLines) {
        TextOutA(hdc, 200, y, szLine, (int)strlen(szLine));
        SIZE size = {0, 0};
        GetTextExtentPoint32A(hdc, szLine, (int)strlen(szLine), &size);
        y += size.cy;
    }
    EndPage(hdc);
    s->m_bPageOpen = false;
    p.m_bPageEnded = true;
    p.m_bPrinted = true;
}

} // namespace

int HandlePrintEcgDocument(NovarcprintProcess *s, MsgBuf *pMsg, int)
{
    EcgRecord record;
    if (!ParseEcgRecord(pMsg, &record)) {
        s->Log("PRINT_ECG_DOCUMENT malformed request iLen<%d>", pMsg->iLen);
        return 0;
    }
    char szPath[MAX_PATH];
    if (!KELPeerFileInFolder(ECG_DOCUMENT_FOLDER, record.szName, KEL_PATH_WRITE, szPath,
                             sizeof(szPath))) {
        s->Log("PRINT_ECG_DOCUMENT refused <%s>: %s", record.szName,
               KELPeerPathReason(GetLastError()));
        return 0;
    }
    CreateDirectoryA(ECG_DOCUMENT_FOLDER, NULL);
    if (s->m_bFax)
        EndDocumentForOutsideProgram(s);
    bool bLoaded = false;
    {
        DummyDesktop desktop;
        if (!WriteDataFile(szPath, record.pData, record.iDataLen))
            s->Log("PRINT_ECG_DOCUMENT cannot write <%s>", szPath);
        HRESULT hr = CoInitialize(NULL);
        bLoaded = KelEcgPrintReport(record.iKind, s->m_szPrinterName, szPath);
        if (SUCCEEDED(hr))
            CoUninitialize();
    }
    if (s->m_bFax) {
        /* The library printed a fax document of its own: count it out. */
        s->m_Printer.m_bPrinted = bLoaded;
        ResumeAfterOutsideProgram(s);
    }
    if (!bLoaded && !s->m_bFax)
        PrintMissingLibraryPage(s);
    DeleteFileA(szPath);
    return bLoaded ? 1 : 0;
}
