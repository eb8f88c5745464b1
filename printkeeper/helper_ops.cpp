/*
 * The privileged operations themselves (see privileged.h), as the helper
 * runs them for the service, or the service itself when no helper is
 * installed.  Everything they touch was left by a less trusted process, so
 * each file is checked again here: fixed folders, names from a fixed table
 * or pattern, no symbolic link on the way, plain files of a bounded size.
 */
#include <cstdio>
#include <cstring>

#include <kellib.h>

#include "privileged.h"

namespace {

/* A print client is far below this; more is not a program of ours. */
constexpr DWORD kMaxProgramBytes = 256u * 1024 * 1024;
/* How long an installer may run before the helper stops waiting. */
constexpr DWORD kInstallerWaitMs = 30 * 60 * 1000;

struct Kit {
    const char *szFile;
    const char *szArgs; /* NULL: no command line */
    bool bWait;
};

const Kit kKits[KIT_COUNT] = {
    {"ServiceSpool.exe", "-N", false},   {"ImagingKit.exe", "-N", true},
    {"EcgKit.exe", "-N", true},          {"ConverterKit.exe", "-N", true},
    {"PdfKit.exe", "-N", true},          {"vcredist_x86_v2.exe", NULL, true},
    {"vc2008redist_x86.exe", NULL, true}};

/* ASCII without regard to case: the names here are ASCII. */
bool SameText(const char *a, const char *b, size_t n)
{
    for (size_t i = 0; i < n; i++) {
        char ca = a[i] >= 'A' && a[i] <= 'Z' ? (char)(a[i] + 32) : a[i];
        char cb = b[i] >= 'A' && b[i] <= 'Z' ? (char)(b[i] + 32) : b[i];
        if (ca != cb)
            return false;
    }
    return true;
}

bool IsDigits(const char *p, const char *end)
{
    if (p == end)
        return false;
    for (; p < end; p++)
        if (*p < '0' || *p > '9')
            return false;
    return true;
}

/* The entry is a plain file of a size a program may have. */
bool PlainFile(const WIN32_FIND_DATAA &fd)
{
    return !(fd.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) &&
           fd.nFileSizeHigh == 0 && fd.nFileSizeLow <= kMaxProgramBytes;
}

/* Copies one verified client into the program folder: beside its final
 * name first, then renamed over it, so a client starting meanwhile runs
 * the old program or the new one, never half of one.  The copy starts as
 * a copy of the installed client, so it gets the program folder's
 * owner and permissions (everyone may run it, only root may change it). */
DWORD PlaceOne(const char *szName)
{
    char szSource[MAX_PATH], szTarget[MAX_PATH], szTemp[MAX_PATH], szTemplate[MAX_PATH];
    char szTempName[MAX_PATH];
    if (snprintf(szTempName, sizeof(szTempName), ".%s.new", szName) >= (int)sizeof(szTempName))
        return ERROR_INVALID_NAME; /* a cut name would place a different file */
    if (!KELPeerFileInFolder(VERIFIED_DIR, szName, KEL_PATH_READ, szSource, sizeof(szSource)) ||
        !KELProgramFilePath(KEL_PROGRAM_FOLDER, szName, szTarget, sizeof(szTarget)) ||
        !KELProgramFilePath(KEL_PROGRAM_FOLDER, szTempName, szTemp, sizeof(szTemp)) ||
        !KELProgramFilePath(KEL_PROGRAM_FOLDER, "novarcprint.exe", szTemplate, sizeof(szTemplate)))
        return GetLastError();
    DeleteFileA(szTemp);
    if (!CopyFileA(szTemplate, szTemp, TRUE))
        return GetLastError();
    DWORD dwError = 0;
    HANDLE hIn = CreateFileA(szSource, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING,
                             FILE_ATTRIBUTE_NORMAL, NULL);
    HANDLE hOut =
        CreateFileA(szTemp, GENERIC_WRITE, 0, NULL, TRUNCATE_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
    if (hIn == INVALID_HANDLE_VALUE || hOut == INVALID_HANDLE_VALUE)
        dwError = GetLastError();
    static char buffer[64 * 1024];
    DWORD dwTotal = 0;
    while (!dwError) {
        DWORD dwRead = 0, dwWritten = 0;
        if (!ReadFile(hIn, buffer, sizeof(buffer), &dwRead, NULL)) {
            dwError = GetLastError();
        } else if (dwRead == 0) {
            break;
        } else if ((dwTotal += dwRead) > kMaxProgramBytes) {
            dwError = ERROR_INVALID_DATA;
        } else if (!WriteFile(hOut, buffer, dwRead, &dwWritten, NULL) || dwWritten != dwRead) {
            dwError = ERROR_WRITE_FAULT;
        }
    }
    if (hIn != INVALID_HANDLE_VALUE)
        CloseHandle(hIn);
    if (hOut != INVALID_HANDLE_VALUE)
        CloseHandle(hOut);
    if (!dwError && !MoveFileExA(szTemp, szTarget, MOVEFILE_REPLACE_EXISTING))
        dwError = GetLastError();
    if (dwError) {
        DeleteFileA(szTemp);
        return dwError;
    }
    DeleteFileA(szSource);
    return 0;
}

DWORD PlacePrograms()
{
    char szPattern[MAX_PATH];
    snprintf(szPattern, sizeof(szPattern), "%s\\*", VERIFIED_DIR);
    if (!KELPeerPath(VERIFIED_DIR, KEL_PATH_READ, NULL, 0))
        return GetLastError();
    WIN32_FIND_DATAA fd;
    HANDLE hFind = FindFirstFileA(szPattern, &fd);
    if (hFind == INVALID_HANDLE_VALUE)
        return 0; /* nothing verified: nothing to place */
    DWORD dwResult = 0;
    do {
        if (!PlainFile(fd) || !IsClientProgramName(fd.cFileName))
            continue;
        DWORD dwError = PlaceOne(fd.cFileName);
        PrivilegedLog("Privileged: place %s %s", fd.cFileName, dwError ? "FAILED" : "SUCCESS");
        if (dwError && !dwResult)
            dwResult = dwError;
    } while (FindNextFileA(hFind, &fd));
    FindClose(hFind);
    return dwResult;
}

/* Starts szPath (with szArgs, or none) as this process's user, and waits
 * for it when asked, at most kInstallerWaitMs. */
DWORD RunProgramFile(const char *szPath, const char *szArgs, bool bWait)
{
    char szCommand[2 * MAX_PATH];
    snprintf(szCommand, sizeof(szCommand), "\"%s\"%s%s", szPath, szArgs ? " " : "",
             szArgs ? szArgs : "");
    STARTUPINFOA si;
    memset(&si, 0, sizeof(si));
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi;
    memset(&pi, 0, sizeof(pi));
    if (!CreateProcessA(szPath, szCommand, NULL, NULL, FALSE,
                        CREATE_NEW_CONSOLE | NORMAL_PRIORITY_CLASS, NULL, NULL, &si, &pi))
        return GetLastError();
    DWORD dwError = 0;
    if (bWait && WaitForSingleObject(pi.hProcess, kInstallerWaitMs) != WAIT_OBJECT_0)
        dwError = WAIT_TIMEOUT;
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return dwError;
}

DWORD RunKit(int iKit)
{
    char szPath[MAX_PATH];
    if (!KELPeerFileInFolder(TRANSFER_DIR, kKits[iKit].szFile, KEL_PATH_READ, szPath,
                             sizeof(szPath)))
        return GetLastError();
    const DWORD dwAttributes = GetFileAttributesA(szPath);
    if (dwAttributes == INVALID_FILE_ATTRIBUTES)
        return GetLastError();
    if (dwAttributes & FILE_ATTRIBUTE_DIRECTORY)
        return ERROR_ACCESS_DENIED;
    PrivilegedLog("Privileged: run %s", szPath);
    return RunProgramFile(szPath, kKits[iKit].szArgs, kKits[iKit].bWait);
}

/* The relay folder holds the one installer a relay download brought. */
DWORD RunRelay()
{
    char szPattern[MAX_PATH], szPath[MAX_PATH], szName[MAX_PATH] = "";
    snprintf(szPattern, sizeof(szPattern), "%s\\*", RELAY_DIR);
    if (!KELPeerPath(RELAY_DIR, KEL_PATH_READ, NULL, 0))
        return GetLastError();
    WIN32_FIND_DATAA fd;
    HANDLE hFind = FindFirstFileA(szPattern, &fd);
    if (hFind == INVALID_HANDLE_VALUE)
        return ERROR_FILE_NOT_FOUND;
    int iFiles = 0;
    do {
        if (strcmp(fd.cFileName, ".") && strcmp(fd.cFileName, "..")) {
            iFiles++;
            if (PlainFile(fd))
                snprintf(szName, sizeof(szName), "%s", fd.cFileName);
        }
    } while (FindNextFileA(hFind, &fd));
    FindClose(hFind);
    if (iFiles != 1 || !szName[0])
        return ERROR_FILE_NOT_FOUND; /* none, or more than one: which would it be? */
    if (!KELPeerFileInFolder(RELAY_DIR, szName, KEL_PATH_READ, szPath, sizeof(szPath)))
        return GetLastError();
    PrivilegedLog("Privileged: run %s", szPath);
    return RunProgramFile(szPath, "-N", true);
}

/* Stops a service and waits (at most 30 s) until it has stopped. */
DWORD StopServiceNamed(SC_HANDLE hManager, const char *szName)
{
    SC_HANDLE hService = OpenServiceA(hManager, szName, SERVICE_ALL_ACCESS);
    if (!hService)
        return GetLastError();
    SERVICE_STATUS status;
    memset(&status, 0, sizeof(status));
    DWORD dwError = 0;
    if (ControlService(hService, SERVICE_CONTROL_STOP, &status)) {
        for (int i = 0; i < 300 && QueryServiceStatus(hService, &status) &&
                        status.dwCurrentState != SERVICE_STOPPED;
             i++)
            Sleep(100);
    } else if (GetLastError() != ERROR_SERVICE_NOT_ACTIVE) {
        dwError = GetLastError();
    }
    CloseServiceHandle(hService);
    return dwError;
}

/* The fax service restarted as its command lines have always done it:
 * "net stop", then "net start", each waited for, with the system
 * directory's net.exe (never one found elsewhere on a search). */
DWORD NetRestartFax()
{
    char szNet[MAX_PATH];
    const UINT uLen = GetSystemDirectoryA(szNet, sizeof(szNet));
    if (uLen == 0 || uLen + sizeof("\\net.exe") > sizeof(szNet))
        return ERROR_PATH_NOT_FOUND;
    strcat(szNet, "\\net.exe");
    PrivilegedLog("Privileged: net stop %s, net start %s", FAX_SERVICE, FAX_SERVICE);
    const DWORD dwError = RunProgramFile(szNet, "stop " FAX_SERVICE, true);
    if (dwError)
        return dwError;
    return RunProgramFile(szNet, "start " FAX_SERVICE, true);
}

DWORD StopNamedService(const char *szName)
{
    SC_HANDLE hManager = OpenSCManagerA(NULL, NULL, SC_MANAGER_ALL_ACCESS);
    if (!hManager)
        return GetLastError();
    PrivilegedLog("Privileged: stop %s", szName);
    DWORD dwError = StopServiceNamed(hManager, szName);
    CloseServiceHandle(hManager);
    return dwError;
}

} // namespace

const char *KitFileName(int iKit)
{
    return iKit >= 0 && iKit < KIT_COUNT ? kKits[iKit].szFile : NULL;
}

const char *KitArguments(int iKit)
{
    return iKit >= 0 && iKit < KIT_COUNT ? kKits[iKit].szArgs : NULL;
}

bool IsClientProgramName(const char *szName)
{
    /* "Novarcprint." digits "." digits ".exe", without regard to case */
    const size_t n = strlen(szName);
    if (n < 19 || !SameText(szName, "novarcprint.", 12) || !SameText(szName + n - 4, ".exe", 4))
        return false;
    const char *pEnd = szName + n - 4;
    const char *pDot = (const char *)memchr(szName + 12, '.', (size_t)(pEnd - (szName + 12)));
    return pDot && IsDigits(szName + 12, pDot) && IsDigits(pDot + 1, pEnd);
}

DWORD DoPrivileged(DWORD dwControl)
{
    if (dwControl == HELPER_PLACE_PROGRAMS)
        return PlacePrograms();
    if (dwControl == HELPER_RESTART_FAX)
        return NetRestartFax();
    if (dwControl == HELPER_STOP_SERVICE)
        return StopNamedService(PRINT_SERVICE);
    if (dwControl >= HELPER_RUN_INSTALLER && dwControl < HELPER_RUN_INSTALLER + KIT_COUNT)
        return RunKit((int)(dwControl - HELPER_RUN_INSTALLER));
    if (dwControl == HELPER_RUN_RELAY)
        return RunRelay();
    return ERROR_INVALID_SERVICE_CONTROL;
}
