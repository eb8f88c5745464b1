/*
 * The service log: one line per event, stamped with the local time to the
 * millisecond, appended by reopening the file each time so that nothing
 * already written is lost when the service is killed.  Debug lines go to
 * the same file, only while the debug marker file existed at start.
 *
 * The log is trimmed at every start: the first log ever kept is moved aside
 * once as the old log, and the current one keeps only its last megabyte.
 */
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <mutex>

#include "printkeeper.h"

namespace {

/* The pipe threads log too. */
std::mutex g_logLock;

constexpr int kLineLimit = 2048;

void AppendLine(const char *szLine)
{
    std::lock_guard<std::mutex> guard(g_logLock);
    AppendToLogFile(SERVICE_LOG_FILE, szLine);
}

void WriteLog(bool bDebugForm, const char *szFormat, va_list args)
{
    char szText[kLineLimit];
    vsnprintf(szText, sizeof(szText), szFormat, args);
    SYSTEMTIME st;
    GetLocalTime(&st);
    char szLine[kLineLimit + 64];
    FormatLogLine(st, szText, bDebugForm, szLine, sizeof(szLine));
    AppendLine(szLine);
}

LONGLONG FileSize(HANDLE hFile)
{
    DWORD dwHigh = 0;
    DWORD dwLow = GetFileSize(hFile, &dwHigh);
    if (dwLow == INVALID_FILE_SIZE && GetLastError() != NO_ERROR)
        return -1;
    return ((LONGLONG)dwHigh << 32) | dwLow;
}

/* Copies the last iKeep bytes of the log into a fresh scratch file. */
bool CopyTail(HANDLE hLog, LONGLONG llSize, int iKeep)
{
    /* A scratch file left by a start that died half-way must not be
     * appended to: the log would get its stale bytes in front. */
    HANDLE hTmp = CreateFileA(SERVICE_LOG_TMP, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, NULL);
    if (hTmp == INVALID_HANDLE_VALUE)
        return false;
    LONG lHigh = (LONG)((llSize - iKeep) >> 32);
    bool bOk = SetFilePointer(hLog, (LONG)(llSize - iKeep), &lHigh, FILE_BEGIN) !=
                   INVALID_SET_FILE_POINTER ||
               GetLastError() == NO_ERROR;
    static char buffer[64 * 1024];
    int iLeft = iKeep;
    while (bOk && iLeft > 0) {
        DWORD dwRead = 0, dwWritten = 0;
        DWORD dwWant = (DWORD)(iLeft < (int)sizeof(buffer) ? iLeft : (int)sizeof(buffer));
        bOk = ReadFile(hLog, buffer, dwWant, &dwRead, NULL) && dwRead > 0 &&
              WriteFile(hTmp, buffer, dwRead, &dwWritten, NULL) && dwWritten == dwRead;
        iLeft -= (int)dwRead;
    }
    CloseHandle(hTmp);
    return bOk;
}

} // namespace

void AppendToLogFile(const char *szPath, const char *szLine)
{
    HANDLE hFile = CreateFileA(szPath, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                               OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (hFile == INVALID_HANDLE_VALUE)
        return; /* a log that cannot be opened is skipped */
    DWORD dwWritten = 0;
    WriteFile(hFile, szLine, (DWORD)strlen(szLine), &dwWritten, NULL);
    CloseHandle(hFile);
}

void FormatLogLine(const SYSTEMTIME &st, const char *szText, bool bDebugForm, char *szOut,
                   int iOutSize)
{
    snprintf(szOut, (size_t)iOutSize,
             bDebugForm ? "%d/%d/%d  at %d:%d:%d:%d %s %c%c" : "%d/%d/%d at %d:%d:%d:%d %s %c%c",
             st.wMonth, st.wDay, st.wYear, st.wHour, st.wMinute, st.wSecond, st.wMilliseconds,
             szText, '\r', '\n');
}

void LogLine(const char *szFormat, ...)
{
    va_list args;
    va_start(args, szFormat);
    WriteLog(false, szFormat, args);
    va_end(args);
}

void DebugLogLine(const char *szFormat, ...)
{
    if (!g_Printkeeper.bDebugLog)
        return;
    va_list args;
    va_start(args, szFormat);
    WriteLog(true, szFormat, args);
    va_end(args);
}

void RotateServiceLog()
{
    std::lock_guard<std::mutex> guard(g_logLock);
    if (GetFileAttributesA(SERVICE_LOG_OLD) == INVALID_FILE_ATTRIBUTES)
        MoveFileExA(SERVICE_LOG_FILE, SERVICE_LOG_OLD, MOVEFILE_COPY_ALLOWED);
    HANDLE hLog = CreateFileA(SERVICE_LOG_FILE, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, NULL);
    if (hLog == INVALID_HANDLE_VALUE)
        return;
    LONGLONG llSize = FileSize(hLog);
    bool bTrim = llSize > SERVICE_LOG_KEEP_BYTES;
    bool bCopied = bTrim && CopyTail(hLog, llSize, SERVICE_LOG_KEEP_BYTES);
    CloseHandle(hLog);
    if (bCopied)
        MoveFileExA(SERVICE_LOG_TMP, SERVICE_LOG_FILE,
                    MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED);
    else if (bTrim)
        DeleteFileA(SERVICE_LOG_TMP); /* keep the whole log rather than half a tail */
}
