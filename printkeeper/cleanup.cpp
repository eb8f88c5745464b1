/*
 * One pass at start-up over the print clients' debug logs (older than 14
 * days) and the cached scans (older than 30 days), each on a thread of its
 * own.  Only plain files directly in the two folders are touched.
 */
#include <cstdio>
#include <cstring>

#include "printkeeper.h"

#include <timezoneapi.h> /* after windows.h, which printkeeper.h brings */

/* The age rule compares calendar dates, the creation date in local time and
 * today's in UTC, as the service always has.  A file dated in the future
 * (a clock set wrong) is never old: deleting it would lose a current file. */
bool IsOldFile(const SYSTEMTIME &created, const SYSTEMTIME &now, int iDays)
{
    if (created.wYear != now.wYear) {
        if (created.wYear > now.wYear)
            return false;
        return now.wMonth > 1 || now.wDay > iDays;
    }
    if (created.wMonth == now.wMonth)
        return (int)now.wDay - (int)created.wDay >= iDays;
    if (created.wMonth > now.wMonth)
        return false;
    return now.wMonth - created.wMonth > 1 || now.wDay > created.wDay;
}

int CleanOutOldFiles(const char *szDir, const char *szPattern, int iDays, bool bSkipDotFiles,
                     const char *szLogFormat)
{
    char szSearch[MAX_PATH];
    snprintf(szSearch, sizeof(szSearch), "%s\\%s", szDir, szPattern);
    WIN32_FIND_DATAA fd;
    HANDLE hFind = FindFirstFileA(szSearch, &fd);
    if (hFind == INVALID_HANDLE_VALUE)
        return 0;
    SYSTEMTIME now;
    GetSystemTime(&now);
    int iDeleted = 0;
    do {
        if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            continue;
        if (bSkipDotFiles && fd.cFileName[0] == '.')
            continue;
        FILETIME local;
        SYSTEMTIME created;
        if (!FileTimeToLocalFileTime(&fd.ftCreationTime, &local) ||
            !FileTimeToSystemTime(&local, &created) || !IsOldFile(created, now, iDays))
            continue;
        char szPath[2 * MAX_PATH];
        if (snprintf(szPath, sizeof(szPath), "%s\\%s", szDir, fd.cFileName) >= (int)sizeof(szPath))
            continue;
        LogLine(szLogFormat, szPath);
        if (DeleteFileA(szPath))
            iDeleted++;
    } while (FindNextFileA(hFind, &fd));
    FindClose(hFind);
    return iDeleted;
}

namespace {

DWORD WINAPI CleanOutNovarcPrintDebugFolder(LPVOID)
{
    CleanOutOldFiles("C:\\novarc\\bin\\NovarcPrintDebug", "*.log", DEBUG_LOG_KEEP_DAYS, false,
                     "CleanOutNovarcPrintDebugFolder( %s ) ");
    return 0;
}

DWORD WINAPI CleanOutRecentScansFolder(LPVOID)
{
    CleanOutOldFiles(RECENT_SCANS_DIR, "*", RECENT_SCANS_KEEP_DAYS, true,
                     "CleanOutRecentScansFolder( %s ) ");
    return 0;
}

} // namespace

void StartCleanupThreads()
{
    for (LPTHREAD_START_ROUTINE pThread :
         {CleanOutNovarcPrintDebugFolder, CleanOutRecentScansFolder}) {
        HANDLE hThread = CreateThread(NULL, 0, pThread, NULL, 0, NULL);
        if (hThread)
            CloseHandle(hThread);
    }
}
