/*
 * The fax server's printer ("VSIFAX Server"): its port writes each printed
 * document to one fixed spool file, which the client moves to a per-job,
 * per-document name after every document so that the fax server can pick
 * it up.  Here: the busy check at open, where the spool file is, the
 * clean-up of files a dead job left, the move, the printer's stored
 * orientation and the scheduler's version.
 */
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "printer.h"

#define FAX_MONITOR_KEY "SYSTEM\\ControlSet001\\Control\\Print\\Monitors\\"
#define FAX_SPOOL_NAME "currentpcl.pcl"
#define FAX_VERSION_READ_MAX 2000
#define FAX_VERSION_WAIT_MS 60000

namespace {

/* The key's "VFXSERVER:" value "<directory>,<file>" as "<directory>\<file>". */
bool ServerValuePath(HKEY hKey, char *szPath, int iSize)
{
    char szValue[2 * MAX_PATH] = "";
    DWORD dwSize = sizeof(szValue) - 1;
    DWORD dwType = 0;
    if (RegQueryValueExA(hKey, "VFXSERVER:", NULL, &dwType, (LPBYTE)szValue, &dwSize) !=
        ERROR_SUCCESS)
        return false;
    szValue[dwSize < sizeof(szValue) ? dwSize : sizeof(szValue) - 1] = 0;
    char *pComma = strchr(szValue, ',');
    if (!pComma)
        return false;
    *pComma = 0;
    char *szFile = pComma + 1;
    char *pNext = strchr(szFile, ',');
    if (pNext)
        *pNext = 0;
    return snprintf(szPath, (size_t)iSize, "%s\\%s", szValue, szFile) < iSize;
}

/* The key's "Directory" value with the spool file name after it. */
bool DirectoryValuePath(HKEY hKey, char *szDirectory, int iDirSize, char *szPath, int iSize)
{
    DWORD dwSize = (DWORD)iDirSize - 1;
    DWORD dwType = 0;
    if (RegQueryValueExA(hKey, "Directory", NULL, &dwType, (LPBYTE)szDirectory, &dwSize) !=
        ERROR_SUCCESS)
        return false;
    szDirectory[dwSize < (DWORD)iDirSize ? dwSize : (DWORD)iDirSize - 1] = 0;
    return snprintf(szPath, (size_t)iSize, "%s\\" FAX_SPOOL_NAME, szDirectory) < iSize;
}

bool OpenFaxKey(const char *szSubKey, HKEY *phKey)
{
    char szKey[MAX_PATH];
    snprintf(szKey, sizeof(szKey), FAX_MONITOR_KEY "%s", szSubKey);
    return RegOpenKeyExA(HKEY_LOCAL_MACHINE, szKey, 0, KEY_ALL_ACCESS, phKey) == ERROR_SUCCESS;
}

/* Where a name's extension starts: the first '.' of its last component
 * (a dot in a folder name is no extension); the end when it has none. */
size_t BaseLength(const char *szPath)
{
    const char *pName = strrchr(szPath, '\\');
    pName = pName ? pName + 1 : szPath;
    const char *pDot = strchr(pName, '.');
    return pDot ? (size_t)(pDot - szPath) : strlen(szPath);
}

void SetDefaultSpoolPath(char *szPath, int iSize)
{
    snprintf(szPath, (size_t)iSize, "%s", DEFAULT_FAX_SPOOL_PATH);
}

} // namespace

void LookUpVsiSpoolPath(char *szPath, int iSize)
{
    SetDefaultSpoolPath(szPath, iSize);
    const char *szVsiTemp = std::getenv("VSITEMP");
    HKEY hKey;
    char szDirectory[MAX_PATH];
    bool bDone = false;
    if (OpenFaxKey("VSI-FAX Port\\Ports", &hKey)) {
        if (!ServerValuePath(hKey, szPath, iSize))
            SetDefaultSpoolPath(szPath, iSize);
        bDone = true;
    } else if (OpenFaxKey("VSI-FAX Port 3.0\\Ports\\VFXSERVER:\\Doc", &hKey)) {
        if (DirectoryValuePath(hKey, szDirectory, sizeof(szDirectory), szPath, iSize)) {
            if (szVsiTemp && szVsiTemp[0] && strstr(szDirectory, "VSITEMP") &&
                snprintf(szPath, (size_t)iSize, "%s\\" FAX_SPOOL_NAME, szVsiTemp) >= iSize)
                SetDefaultSpoolPath(szPath, iSize);
            RegCloseKey(hKey);
            return;
        }
        SetDefaultSpoolPath(szPath, iSize);
        RegCloseKey(hKey);
        /* No directory there: the older port's folder decides. */
        if (OpenFaxKey("VSI-FAX Port 2.0\\Ports\\VFXSERVER:\\Doc", &hKey)) {
            if (!DirectoryValuePath(hKey, szDirectory, sizeof(szDirectory), szPath, iSize))
                SetDefaultSpoolPath(szPath, iSize);
            RegCloseKey(hKey);
        }
        return;
    } else if (OpenFaxKey("VSI-FAX Port 3.0\\Ports", &hKey)) {
        if (!ServerValuePath(hKey, szPath, iSize))
            SetDefaultSpoolPath(szPath, iSize);
        bDone = true;
    } else if (OpenFaxKey("VSI-FAX Port 2.0\\Ports\\VFXSERVER:\\Doc", &hKey)) {
        if (!DirectoryValuePath(hKey, szDirectory, sizeof(szDirectory), szPath, iSize))
            SetDefaultSpoolPath(szPath, iSize);
        bDone = true;
    } else if (OpenFaxKey("VSI-FAX Port 2.0\\Ports", &hKey)) {
        if (!ServerValuePath(hKey, szPath, iSize))
            SetDefaultSpoolPath(szPath, iSize);
        bDone = true;
    }
    if (bDone)
        RegCloseKey(hKey);
}

void MakeVsiDocumentName(const char *szSpoolPath, int iFaxJob, int iDocument, char *szOut,
                         int iSize)
{
    snprintf(szOut, (size_t)iSize, "%.*s%d_%d.pcl", (int)BaseLength(szSpoolPath), szSpoolPath,
             iFaxJob, iDocument);
}

int DeleteStaleSpoolFiles(NovarcprintProcess *s, const char *szSpoolPath)
{
    char szPattern[MAX_PATH];
    if (snprintf(szPattern, sizeof(szPattern), "%.*s*.*", (int)BaseLength(szSpoolPath),
                 szSpoolPath) >= (int)sizeof(szPattern))
        return 0;
    /* The found names are joined to the pattern's own folder, whatever the
     * spool file is called: a fixed cut would join them to another folder. */
    const char *pSlash = strrchr(szPattern, '\\');
    if (!pSlash)
        return 0;
    const int iDirLength = (int)(pSlash - szPattern) + 1;
    WIN32_FIND_DATAA found;
    HANDLE hFind = FindFirstFileA(szPattern, &found);
    if (hFind == INVALID_HANDLE_VALUE)
        return 0;
    int iDeleted = 0;
    do {
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            continue;
        char szFile[MAX_PATH];
        if (snprintf(szFile, sizeof(szFile), "%.*s%s", iDirLength, szPattern, found.cFileName) >=
            (int)sizeof(szFile))
            continue;
        if (DeleteFileA(szFile)) {
            iDeleted++;
        } else {
            s->Log("DeleteFile(%s) FAILED ERROR:%d", szFile, (int)GetLastError());
            s->Log("Abort Fax Printing");
        }
    } while (FindNextFileA(hFind, &found));
    FindClose(hFind);
    return iDeleted;
}

bool IncrementVsiPrinterFile(NovarcprintProcess *s)
{
    PrinterState &p = s->m_Printer;
    if (!s->m_bFax)
        return false;
    p.m_iFaxDocument++;
    char szTarget[MAX_PATH];
    MakeVsiDocumentName(p.m_szSpoolFilePath, s->m_iFaxJob, p.m_iFaxDocument, szTarget,
                        sizeof(szTarget));
    s->Log("IncrementVsiPrinterFile( %s )", szTarget);
    Sleep(1000); /* the port closes the spool file after EndDoc returns */
    if (!KELMoveFileEx(p.m_szSpoolFilePath, szTarget, MOVEFILE_REPLACE_EXISTING)) {
        s->Log("IncrementVsiPrinterFile(KELMoveFileEx(%s, %s,MOVEFILE_REPLACE_EXISTING)  FAILED) "
               "ABORT PRINTING",
               p.m_szSpoolFilePath, szTarget);
        return false;
    }
    return true;
}

bool SetFaxOrientation(NovarcprintProcess *s, const char *szPrinter, int iOrientation)
{
    if (!s->m_bFax)
        return false;
    HANDLE hPrinter = NULL;
    PRINTER_DEFAULTSA defaults = {NULL, NULL, PRINTER_ALL_ACCESS};
    if (!OpenPrinterA((LPSTR)szPrinter, &hPrinter, &defaults))
        return false;
    bool bOk = false;
    BYTE *pInfoBuf = NULL;
    BYTE *pModeBuf = NULL;
    DWORD dwNeeded = 0;
    GetPrinterA(hPrinter, 2, NULL, 0, &dwNeeded); /* ERROR_INSUFFICIENT_BUFFER expected */
    if (dwNeeded > 0) {
        pInfoBuf = new BYTE[dwNeeded];
        if (GetPrinterA(hPrinter, 2, pInfoBuf, dwNeeded, &dwNeeded)) {
            PRINTER_INFO_2A *pInfo = (PRINTER_INFO_2A *)pInfoBuf;
            if (!pInfo->pDevMode) {
                LONG lSize = DocumentPropertiesA(NULL, hPrinter, (LPSTR)szPrinter, NULL, NULL, 0);
                if (lSize > 0) {
                    pModeBuf = new BYTE[(size_t)lSize];
                    if (DocumentPropertiesA(NULL, hPrinter, (LPSTR)szPrinter, (DEVMODEA *)pModeBuf,
                                            NULL, DM_OUT_BUFFER) == IDOK)
                        pInfo->pDevMode = (DEVMODEA *)pModeBuf;
                }
            }
            if (pInfo->pDevMode) {
                pInfo->pDevMode->dmFields = DM_ORIENTATION;
                pInfo->pDevMode->dmOrientation = (short)iOrientation;
                pInfo->pSecurityDescriptor = NULL;
                bOk = DocumentPropertiesA(NULL, hPrinter, (LPSTR)szPrinter, pInfo->pDevMode,
                                          pInfo->pDevMode, DM_IN_BUFFER | DM_OUT_BUFFER) == IDOK &&
                      SetPrinterA(hPrinter, 2, pInfoBuf, 0);
            }
        }
    }
    delete[] pModeBuf;
    delete[] pInfoBuf;
    ClosePrinter(hPrinter);
    if (bOk) {
        DWORD_PTR dwResult = 0;
        SendMessageTimeoutA(HWND_BROADCAST, WM_DEVMODECHANGE, 0, (LPARAM)szPrinter, SMTO_NORMAL,
                            1000, &dwResult);
    }
    return bOk;
}

int ParseVsiFaxVersion(const char *szOutput)
{
    char szCopy[FAX_VERSION_READ_MAX + 1];
    snprintf(szCopy, sizeof(szCopy), "%s", szOutput);
    char *pSave = NULL;
    char *pWord = strtok_r(szCopy, " \t\r\n", &pSave);
    for (int i = 1; pWord && i < 3; i++)
        pWord = strtok_r(NULL, " \t\r\n", &pSave);
    return pWord ? atoi(pWord) : 0;
}

int QueryVsiFaxVersion()
{
    SECURITY_ATTRIBUTES sa = {sizeof(sa), NULL, TRUE};
    HANDLE hRead = NULL, hWrite = NULL;
    if (!CreatePipe(&hRead, &hWrite, &sa, 0))
        return 0;
    Sleep(200);
    STARTUPINFOA si = STARTUPINFOA();
    si.cb = sizeof(si);
    si.dwFlags = STARTF_USESTDHANDLES | STARTF_USESHOWWINDOW;
    si.wShowWindow = SW_HIDE;
    si.hStdOutput = hWrite;
    si.hStdError = hWrite;
    PROCESS_INFORMATION pi = PROCESS_INFORMATION();
    char szCommand[] = "vfxsched version";
    BOOL bStarted = CreateProcessA(NULL, szCommand, NULL, NULL, TRUE,
                                   DETACHED_PROCESS | HIGH_PRIORITY_CLASS, NULL, NULL, &si, &pi);
    /* Our write end goes first, so the read ends when the scheduler does;
     * reading before the wait keeps a talkative scheduler from blocking on
     * a full pipe. */
    CloseHandle(hWrite);
    char szOutput[FAX_VERSION_READ_MAX + 1];
    DWORD dwTotal = 0;
    if (bStarted) {
        DWORD dwRead = 0;
        while (dwTotal < FAX_VERSION_READ_MAX &&
               ReadFile(hRead, szOutput + dwTotal, FAX_VERSION_READ_MAX - dwTotal, &dwRead, NULL) &&
               dwRead > 0)
            dwTotal += dwRead;
    }
    szOutput[dwTotal] = 0;
    CloseHandle(hRead);
    if (bStarted) {
        WaitForSingleObject(pi.hProcess, FAX_VERSION_WAIT_MS);
        CloseHandle(pi.hThread);
        CloseHandle(pi.hProcess);
    }
    return dwTotal ? ParseVsiFaxVersion(szOutput) : 0;
}

bool OpenVsiFaxPrinter(NovarcprintProcess *s)
{
    PrinterState &p = s->m_Printer;
    HANDLE hPrinter = NULL;
    PRINTER_DEFAULTSA defaults = {NULL, NULL, PRINTER_ALL_ACCESS};
    int iJobs = -1;
    if (OpenPrinterA(s->m_szPrinterName, &hPrinter, &defaults)) {
        DWORD dwNeeded = 0;
        GetPrinterA(hPrinter, 2, NULL, 0, &dwNeeded);
        if (dwNeeded > 0) {
            BYTE *pBuf = new BYTE[dwNeeded];
            if (GetPrinterA(hPrinter, 2, pBuf, dwNeeded, &dwNeeded))
                iJobs = (int)((PRINTER_INFO_2A *)pBuf)->cJobs;
            delete[] pBuf;
        }
        ClosePrinter(hPrinter);
        s->Log("VSIFAX Server Printer Jobs: %d", iJobs);
    } else {
        s->Log("VSIFAX Server Printer Jobs: %d", iJobs);
    }
    if (iJobs != 0) {
        s->Log("ERROR: VSIFAX Server Printer Jobs: %d", iJobs);
        s->m_bOpenedPrinter = false;
        p.m_iFaxBusy = 1;
        return false;
    }
    s->m_bFax = true;
    s->m_bOpenedPrinter = true;
    LookUpVsiSpoolPath(p.m_szSpoolFilePath, sizeof(p.m_szSpoolFilePath));
    DeleteStaleSpoolFiles(s, p.m_szSpoolFilePath);
    SetFaxOrientation(s, s->m_szPrinterName, DMORIENT_PORTRAIT);
    p.m_iVsiFaxVersion = QueryVsiFaxVersion();
    s->Log("m_iVsiFaxVersion: %d", p.m_iVsiFaxVersion);
    return true;
}

void EndFaxDocument(NovarcprintProcess *s)
{
    PrinterState &p = s->m_Printer;
    if (s->m_bFax && p.m_hPrinterDc) {
        const bool bPrinted = p.m_bPrinted;
        if (bPrinted) {
            if (s->m_iFormFeedOption == 0 && s->m_bPageOpen) {
                EndPage(p.m_hPrinterDc);
                p.m_bPageEnded = true;
            }
            /* Ended whether or not a page was: a last page still open
             * must reach the fax, as the close delivers it. */
            if (!p.m_bDocumentEnded)
                EndDoc(p.m_hPrinterDc);
        } else {
            AbortDoc(p.m_hPrinterDc);
        }
        p.m_bDocumentEnded = false;
        DeleteDC(p.m_hPrinterDc);
        p.m_hPrinterDc = NULL;
        NoteDocumentEnded(s);
        s->m_bDocumentOpen = false;
        if (bPrinted)
            IncrementVsiPrinterFile(s);
        p.m_bPrinted = false;
        p.m_bPageEnded = false;
    }
    SetFaxOrientation(s, s->m_szPrinterName, DMORIENT_PORTRAIT);
}

void StartFaxDocument(NovarcprintProcess *s)
{
    IncrementVsiPrinterFile(s);
    if (s->m_bFax)
        ReopenNovarcPrinter(s);
}
