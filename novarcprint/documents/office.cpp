/*
 * Word and Excel documents: the files arrive in compressed pieces and are
 * printed by the workstation's office program, either the headless one
 * registered under App Paths ("soffice.exe", started with "-pt") or the
 * office library "KelWord.dll".  Around either, the fax and converter
 * printers end their own document first, since the office program prints
 * on the same printer, and start a new one after it.
 */
#include <cctype>
#include <cstdio>
#include <cstring>

#include <kellib/payload.h>
#include <kellib/peer_path.h>

#include "office.h"
#include "office_bind.h"
#include "printer.h"

namespace {

/* What differs between the Word and the Excel requests. */
struct OfficeKind {
    const char *szFolder;
    const char *szCreateFailed;
    const char *szPrintLog;
    const char *szWithLibrary;
    const char *szWithOpenOffice;
    const char *szOpenOfficeFailed;
    const char *szPrintFunction;
    bool bDesktopFirst; /* the desktop switch also covers the headless program */
};

const OfficeKind kWord = {WORD_DOCUMENT_FOLDER,
                          "Cannot Create Word File",
                          "PrintWordDocument",
                          "Print WORD Document with MS WORD",
                          "Print WORD Document with OpenOffice",
                          "Unable to Print WORD Document Using OpenOffice",
                          "PrintWordDocument",
                          false};
const OfficeKind kExcel = {EXCEL_DOCUMENT_FOLDER,
                           "Cannot Create Excel File",
                           "PrintExcelDocument",
                           "Print EXCEL Document with MS EXCEL",
                           "Print EXCEL Document with OpenOffice",
                           "Unable to Print EXCEL Document Using OpenOffice",
                           "PrintExcelDocument",
                           true};

void CloseReceptionFile(OfficeReception &r, bool bDelete)
{
    if (r.hFile != INVALID_HANDLE_VALUE)
        CloseHandle(r.hFile);
    r.hFile = INVALID_HANDLE_VALUE;
    if (bDelete && r.szPath[0])
        DeleteFileA(r.szPath);
}

/* Drops the transfer: its file goes, the rest of its pieces are ignored. */
void FailReception(NovarcprintProcess *s, OfficeReception &r, const char *szWhy)
{
    s->Log("%s <%s>", szWhy, r.szName);
    CloseReceptionFile(r, true);
    FreeMsgBuf(&r.Buffer);
    r.bError = true;
}

void StartReception(NovarcprintProcess *s, const OfficeKind &kind, OfficeReception &r,
                    const MsgBuf *pMsg)
{
    r.iState = 0;
    r.bError = false;
    r.szPath[0] = 0;
    KelPayload in = KelPayload::Of(pMsg->szBuf, pMsg->iLen);
    if (!in.String(r.szName, sizeof(r.szName))) {
        snprintf(r.szName, sizeof(r.szName), "%s", "");
        FailReception(s, r, "Office document without a name");
        return;
    }
    CreateDirectoryA(kind.szFolder, NULL);
    for (int i = 0; i < (int)sizeof(r.szUpperName) - 1 && r.szName[i]; i++) {
        r.szUpperName[i] = (char)toupper((unsigned char)r.szName[i]);
        r.szUpperName[i + 1] = 0;
    }
    if (!KELPeerFileInFolder(kind.szFolder, r.szName, KEL_PATH_WRITE, r.szPath, sizeof(r.szPath))) {
        s->Log("Office document name refused <%s>: %s", r.szName,
               KELPeerPathReason(GetLastError()));
        r.szPath[0] = 0;
        r.bError = true;
        return;
    }
    r.hFile =
        CreateFileA(r.szPath, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (r.hFile == INVALID_HANDLE_VALUE) {
        s->Log("%s", kind.szCreateFailed);
        r.szPath[0] = 0;
        r.bError = true;
        return;
    }
    FreeMsgBuf(&r.Buffer);
    InitMsgBuf(&r.Buffer, OFFICE_BUFFER_INITIAL);
}

int ReceivePiece(NovarcprintProcess *s, const OfficeKind &kind, OfficeReception &r,
                 const MsgBuf *pMsg)
{
    if (r.bError)
        return 0;
    if (r.iState == -1) {
        StartReception(s, kind, r, pMsg);
        return r.bError ? 0 : 1;
    }
    if (pMsg->iLen <= 0)
        return 1;
    if (pMsg->iLen > OFFICE_FILE_MAX_BYTES - r.Buffer.iLen) {
        FailReception(s, r, "Office document too large");
        return 0;
    }
    AppendBytes(&r.Buffer, pMsg->szBuf, pMsg->iLen);
    return 1;
}

int ReceiveEnd(NovarcprintProcess *s, OfficeReception &r)
{
    /* The next piece starts a file whatever became of this one: one bad
     * transfer must not swallow the name of the next. */
    r.iState = -1;
    if (r.bError) {
        r.bError = false;
        return 0;
    }
    bool bOk = r.Buffer.iLen > 0 && KELUnzipInPlace(&r.Buffer.szBuf, &r.Buffer.iLen) == -1;
    if (bOk) {
        r.Buffer.iBufSize = r.Buffer.iLen;
        DWORD dwWritten = 0;
        bOk = WriteFile(r.hFile, r.Buffer.szBuf, (DWORD)r.Buffer.iLen, &dwWritten, NULL) &&
              dwWritten == (DWORD)r.Buffer.iLen;
    }
    if (!bOk)
        s->Log("Office document <%s> does not unpack", r.szName);
    CloseReceptionFile(r, !bOk);
    FreeMsgBuf(&r.Buffer);
    return bOk ? 1 : 0;
}

/* The headless office program registered under App Paths, or none. */
bool ReadOpenOfficePath(NovarcprintProcess *s)
{
    HKEY hKey;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, OPEN_OFFICE_APP_PATH_KEY, 0, KEY_READ, &hKey) !=
        ERROR_SUCCESS)
        return false;
    char szPath[MAX_PATH] = "";
    DWORD dwSize = sizeof(szPath) - 1, dwType = 0;
    LONG lResult = RegQueryValueExA(hKey, NULL, NULL, &dwType, (LPBYTE)szPath, &dwSize);
    RegCloseKey(hKey);
    if (lResult != ERROR_SUCCESS || dwType != REG_SZ || !szPath[0])
        return false;
    szPath[dwSize < sizeof(szPath) ? dwSize : sizeof(szPath) - 1] = 0;
    snprintf(s->m_Office.m_szOpenOfficePath, sizeof(s->m_Office.m_szOpenOfficePath), "%s", szPath);
    s->m_Office.m_bOpenOffice = true;
    return true;
}

int Available(NovarcprintProcess *s, const char *szFunction)
{
    if (ReadOpenOfficePath(s))
        return 1;
    HRESULT hr = CoInitialize(NULL);
    char szMessage[KELWORD_MESSAGE_SIZE] = "";
    int iInstalled = KelWordInstalled(szFunction, szMessage) ? 1 : 0;
    if (SUCCEEDED(hr))
        CoUninitialize();
    return iInstalled;
}

/* Starts the program as the process's own user and waits for its end. */
bool RunOfficeProgram(char *szCommand)
{
    STARTUPINFOA si = STARTUPINFOA();
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi = PROCESS_INFORMATION();
    const DWORD dwFlags = DETACHED_PROCESS | HIGH_PRIORITY_CLASS;
    OSVERSIONINFOA version = OSVERSIONINFOA();
    version.dwOSVersionInfoSize = sizeof(version);
    GetVersionExA(&version);
    BOOL bStarted = FALSE;
    if (version.dwMajorVersion < 6) {
        bStarted = CreateProcessA(NULL, szCommand, NULL, NULL, TRUE, dwFlags, NULL, NULL, &si, &pi);
    } else {
        HANDLE hToken = NULL, hPrimary = NULL;
        if (OpenProcessToken(GetCurrentProcess(), TOKEN_ALL_ACCESS, &hToken) &&
            DuplicateTokenEx(hToken, MAXIMUM_ALLOWED, NULL, SecurityImpersonation, TokenPrimary,
                             &hPrimary))
            bStarted = CreateProcessAsUserA(hPrimary, NULL, szCommand, NULL, NULL, FALSE, dwFlags,
                                            NULL, NULL, &si, &pi);
        if (hPrimary)
            CloseHandle(hPrimary);
        if (hToken)
            CloseHandle(hToken);
    }
    if (!bStarted)
        return false;
    /* The program bounds its own run (it ends a conversion that hangs). */
    WaitForSingleObject(pi.hProcess, INFINITE);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return true;
}

void PrintWithOpenOffice(NovarcprintProcess *s, const OfficeKind &kind, const char *szPath)
{
    WaitForSingleObject(s->m_hOfficeMutex, INFINITE);
    s->Log("%s", kind.szWithOpenOffice);
    char szCommand[3 * MAX_PATH + 100];
    snprintf(szCommand, sizeof(szCommand),
             "\"%s\" -norestore -nofirststartwizard -nologo -headless -pt \"%s\" \"%s\"",
             s->m_Office.m_szOpenOfficePath, s->m_szPrinterName, szPath);
    /* The program prints on the converter by name and gets the paper last
     * committed there, which may be the job's label; office files are
     * letter pages. */
    if (s->m_bConverter)
        KELAmyuniSetPaperSizeForExternalPrinting(s);
    if (!RunOfficeProgram(szCommand))
        s->Log("%s", kind.szOpenOfficeFailed);
    ReleaseMutex(s->m_hOfficeMutex);
}

void PrintWithLibrary(NovarcprintProcess *s, const OfficeKind &kind,
                      const OfficePrintRecord &record, const char *szPath)
{
    s->Log("%s", kind.szWithLibrary);
    DummyDesktop desktop;
    HRESULT hr = CoInitialize(NULL);
    if (hr != 0)
        s->Log("CoInitialize() Returned <%d>", (int)hr);
    char szMessage[KELWORD_MESSAGE_SIZE] = "";
    if (KelWordPrint(kind.szPrintFunction, s->m_szPrinterName, szPath, record.szText1,
                     record.szText2, szMessage))
        s->m_Printer.m_bPrinted = true;
    else
        s->Log("%s", szMessage);
    if (SUCCEEDED(hr))
        CoUninitialize();
}

void PrintOfficeFile(NovarcprintProcess *s, const OfficeKind &kind, const OfficePrintRecord &record,
                     const char *szPath)
{
    if (s->m_bConverter)
        CloseNovarcPrinter(s); /* the office program prints on it by name */
    if (s->m_Office.m_bOpenOffice) {
        PrintWithOpenOffice(s, kind, szPath);
        s->m_Printer.m_bPrinted = true;
    } else {
        PrintWithLibrary(s, kind, record, szPath);
    }
}

int PrintOfficeDocument(NovarcprintProcess *s, const OfficeKind &kind, const MsgBuf *pMsg)
{
    s->Log("%s", kind.szPrintLog);
    OfficePrintRecord record;
    if (!ParseOfficePrintRecord(pMsg->szBuf, pMsg->iLen, &record)) {
        s->Log("%s malformed request iLen<%d>", kind.szPrintLog, pMsg->iLen);
        return 0;
    }
    char szPath[MAX_PATH];
    if (!KELPeerFileInFolder(kind.szFolder, record.szName, KEL_PATH_READ, szPath, sizeof(szPath))) {
        s->Log("%s refused <%s>: %s", kind.szPrintLog, record.szName,
               KELPeerPathReason(GetLastError()));
        return 0;
    }
    const bool bOwnPrinted = s->m_Printer.m_bPrinted;
    EndDocumentForOutsideProgram(s);
    SetFaxOrientation(s, s->m_szPrinterName, DMORIENT_PORTRAIT);
    if (kind.bDesktopFirst) {
        DummyDesktop desktop;
        PrintOfficeFile(s, kind, record, szPath);
    } else {
        PrintOfficeFile(s, kind, record, szPath);
    }
    ResumeAfterOutsideProgram(s);
    /* On any other printer the office program's output is a job of its
     * own: the job's document holds what it held before, and an empty one
     * taken for printed would come out at the close as a blank sheet. */
    if (!s->m_bFax && !s->m_bConverter)
        s->m_Printer.m_bPrinted = bOwnPrinted;
    return 1;
}

} // namespace

bool ParseOfficePrintRecord(const char *pData, int iLen, OfficePrintRecord *pRecord)
{
    KelPayload in = KelPayload::Of(pData, iLen);
    pRecord->szText1[0] = pRecord->szText2[0] = 0;
    if (!pData || !in.String(pRecord->szName, sizeof(pRecord->szName)) || !pRecord->szName[0])
        return false;
    if (in.Left() > 0 && !in.String(pRecord->szText1, sizeof(pRecord->szText1)))
        return false;
    if (in.Left() > 0 && !in.String(pRecord->szText2, sizeof(pRecord->szText2)))
        return false;
    return true;
}

DummyDesktop::DummyDesktop()
    : m_hPrevious(GetThreadDesktop(GetCurrentThreadId())),
      m_hDesktop(CreateDesktopA("dummy", NULL, NULL, DF_ALLOWOTHERACCOUNTHOOK, 0xF00CF, NULL))
{
    if (m_hDesktop)
        SetThreadDesktop(m_hDesktop);
}

DummyDesktop::~DummyDesktop()
{
    if (!m_hDesktop)
        return;
    SetThreadDesktop(m_hPrevious);
    CloseDesktop(m_hDesktop);
}

void EndDocumentForOutsideProgram(NovarcprintProcess *s)
{
    PrinterState &p = s->m_Printer;
    if (s->m_bFax) {
        EndFaxDocument(s);
        p.m_bDocumentEnded = false;
        return;
    }
    if (!s->m_bConverter || !p.m_hPrinterDc)
        return;
    if (s->m_bPageOpen)
        EndPage(p.m_hPrinterDc);
    EndDoc(p.m_hPrinterDc);
    DeleteDC(p.m_hPrinterDc);
    p.m_hPrinterDc = NULL;
    NoteDocumentEnded(s);
    s->m_bDocumentOpen = false;
    if (p.m_bPrinted) {
        CloseNovarcPrinter(s);
        ReopenNovarcPrinter(s);
    }
    p.m_bPrinted = false;
    p.m_bDocumentEnded = false;
}

void ResumeAfterOutsideProgram(NovarcprintProcess *s)
{
    PrinterState &p = s->m_Printer;
    SetFaxOrientation(s, s->m_szPrinterName, DMORIENT_PORTRAIT);
    if (p.m_bPrinted && IncrementVsiPrinterFile(s))
        p.m_bPrinted = false; /* moved out: the next document starts empty */
    if (s->m_bFax || s->m_bConverter)
        ReopenNovarcPrinter(s);
}

int WordAvailable(NovarcprintProcess *s)
{
    return Available(s, "WordInstalled");
}

int ExcelAvailable(NovarcprintProcess *s)
{
    return Available(s, "ExcelInstalled");
}

int HandleReceiveWordDocument(NovarcprintProcess *s, MsgBuf *pMsg, int)
{
    return ReceivePiece(s, kWord, s->m_Office.m_Word, pMsg);
}

int HandleReceiveEndWordDocument(NovarcprintProcess *s, MsgBuf *, int)
{
    return ReceiveEnd(s, s->m_Office.m_Word);
}

int HandleReceiveExcelDocument(NovarcprintProcess *s, MsgBuf *pMsg, int)
{
    return ReceivePiece(s, kExcel, s->m_Office.m_Excel, pMsg);
}

int HandleReceiveEndExcelDocument(NovarcprintProcess *s, MsgBuf *, int)
{
    return ReceiveEnd(s, s->m_Office.m_Excel);
}

int HandlePrintWordDocument(NovarcprintProcess *s, MsgBuf *pMsg, int)
{
    return PrintOfficeDocument(s, kWord, pMsg);
}

int HandlePrintExcelDocument(NovarcprintProcess *s, MsgBuf *pMsg, int)
{
    return PrintOfficeDocument(s, kExcel, pMsg);
}
