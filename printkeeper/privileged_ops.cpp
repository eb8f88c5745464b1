/*
 * The steps of an update that change more than the transfer folder:
 * running an installer and placing a print client in c:\novarc\bin2.
 * Each takes only files the update code has verified, checks their paths
 * again, and logs what it did.
 *
 * Installers run as the service's own identity, as the installer of a
 * Windows service runs them: the process token duplicated into a primary
 * token for CreateProcessAsUserA.  They inherit none of the service's
 * handles, so no installer can keep the service's ports open after it.
 */
#include <cstdio>
#include <cstring>

#include <kellib.h>

#include "printkeeper.h"
#include "update.h"

namespace {

/* Copies szSource to szTarget beside it and renames it into place, so a
 * client starting meanwhile runs the old program or the new one, never
 * half of one.  The copy starts from the installed client, so it has the
 * program folder's permissions. */
bool CopyBesideAndRename(const char *szSource, const char *szTemp, const char *szTarget)
{
    DeleteFileA(szTemp);
    if (!CopyFileA(DEFAULT_CLIENT_PATH, szTemp, FALSE) && !CopyFileA(szSource, szTemp, FALSE))
        return false;
    HANDLE hIn = CreateFileA(szSource, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING,
                             FILE_ATTRIBUTE_NORMAL, NULL);
    HANDLE hOut =
        CreateFileA(szTemp, GENERIC_WRITE, 0, NULL, TRUNCATE_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
    bool bOk = hIn != INVALID_HANDLE_VALUE && hOut != INVALID_HANDLE_VALUE;
    static char buffer[64 * 1024];
    long long llTotal = 0;
    while (bOk) {
        DWORD dwRead = 0, dwWritten = 0;
        if (!ReadFile(hIn, buffer, sizeof(buffer), &dwRead, NULL))
            bOk = false;
        else if (dwRead == 0)
            break;
        else if ((llTotal += dwRead) > UPDATE_MAX_TRANSFER_BYTES)
            bOk = false;
        else if (!WriteFile(hOut, buffer, dwRead, &dwWritten, NULL) || dwWritten != dwRead)
            bOk = false;
    }
    if (hIn != INVALID_HANDLE_VALUE)
        CloseHandle(hIn);
    if (hOut != INVALID_HANDLE_VALUE)
        CloseHandle(hOut);
    if (bOk && MoveFileExA(szTemp, szTarget, MOVEFILE_REPLACE_EXISTING))
        return true;
    DeleteFileA(szTemp);
    return false;
}

/* A primary token of the service's own identity; NULL when it failed. */
HANDLE ServiceToken(const char *szLogPrefix)
{
    HANDLE hToken = NULL, hPrimary = NULL;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ASSIGN_PRIMARY | TOKEN_DUPLICATE, &hToken)) {
        LogLine("%s OpenProcessToken() FAILED ERROR:%d", szLogPrefix, (int)GetLastError());
        return NULL;
    }
    if (!DuplicateTokenEx(hToken, MAXIMUM_ALLOWED, NULL, SecurityImpersonation, TokenPrimary,
                          &hPrimary)) {
        LogLine("%s DuplicateTokenEx() FAILED ERROR:%d", szLogPrefix, (int)GetLastError());
        hPrimary = NULL;
    }
    CloseHandle(hToken);
    return hPrimary;
}

} // namespace

int RunUpdateKit(const char *szPath, const char *szArgs, bool bWait, const char *szLogPrefix)
{
    const DWORD dwAttributes = GetFileAttributesA(szPath);
    if (dwAttributes == INVALID_FILE_ATTRIBUTES ||
        (dwAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT))) {
        LogLine("%s CreateProcessAsUser() FAILED ERROR:%d", szLogPrefix, (int)ERROR_FILE_NOT_FOUND);
        return 0;
    }
    HANDLE hPrimary = ServiceToken(szLogPrefix);
    if (!hPrimary)
        return 0;
    /* The program's own path first, so "-N" arrives as its first argument
     * whatever the platform makes of the command line. */
    char szCommand[2 * MAX_PATH + 16];
    if (szArgs)
        snprintf(szCommand, sizeof(szCommand), "\"%s\" %s", szPath, szArgs);
    STARTUPINFOA si;
    memset(&si, 0, sizeof(si));
    si.cb = sizeof(si);
    si.dwFlags = STARTF_USESHOWWINDOW;
    si.wShowWindow = SW_SHOWNORMAL;
    PROCESS_INFORMATION pi;
    memset(&pi, 0, sizeof(pi));
    const BOOL bStarted =
        CreateProcessAsUserA(hPrimary, szPath, szArgs ? szCommand : NULL, NULL, NULL, FALSE,
                             CREATE_NEW_CONSOLE | NORMAL_PRIORITY_CLASS, NULL, NULL, &si, &pi);
    CloseHandle(hPrimary);
    if (!bStarted) {
        LogLine("%s CreateProcessAsUser() FAILED ERROR:%d", szLogPrefix, (int)GetLastError());
        return 0;
    }
    LogLine("%s CreateProcessAsUser( %s ) SUCCESS", szLogPrefix, szPath);
    int iResult = 1;
    if (bWait && WaitForSingleObject(pi.hProcess, UPDATE_INSTALLER_WAIT_MS) != WAIT_OBJECT_0) {
        LogLine("%s %s still running after %d ms: no longer waited for", szLogPrefix, szPath,
                UPDATE_INSTALLER_WAIT_MS);
        iResult = 0;
    }
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return iResult;
}

int PlaceClientProgram(const char *szName)
{
    char szSource[MAX_PATH], szTarget[MAX_PATH], szTemp[MAX_PATH], szTempName[80];
    snprintf(szTempName, sizeof(szTempName), ".%s.new", szName);
    if (!KELPeerFileInFolder(UPDATE_VERIFIED_DIR, szName, KEL_PATH_READ, szSource,
                             sizeof(szSource)) ||
        !KELProgramFilePath(BIN2_DIR, szName, szTarget, sizeof(szTarget)) ||
        !KELProgramFilePath(BIN2_DIR, szTempName, szTemp, sizeof(szTemp))) {
        LogLine("PlaceClientProgram %s refused: %s", szName, KELPeerPathReason(GetLastError()));
        return 0;
    }
    if (!CopyBesideAndRename(szSource, szTemp, szTarget)) {
        LogLine("PlaceClientProgram %s FAILED ERROR:%d", szTarget, (int)GetLastError());
        return 0;
    }
    return 1;
}

int RunRelayInstaller(const char *szPath)
{
    return RunUpdateKit(szPath, "-N", true, "RelayDownload");
}
