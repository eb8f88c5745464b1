/*
 * The print client's debug log: written only while the marker file existed
 * at start, one line per event, appended by reopening the file each time so
 * a crash never loses what was already written.  Each process writes its own
 * file; the name carries the process id and the time of day to the
 * millisecond.
 */
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <mutex>

#include "novarcprint_process.h"

namespace {

std::mutex g_logLock;
DebugLogTarget g_processLog = {false, ""};
char g_szLastLogName[MAX_PATH] = "";

void FormatLimited(char *szOut, const char *szFormat, va_list args)
{
    /* Longer messages are cut rather than refused: the start says what happened. */
    vsnprintf(szOut, LOG_MESSAGE_LIMIT + 1, szFormat, args);
}

void AppendToFile(const char *szPath, const char *szLine, int iLen)
{
    /* Append-only access makes every write land at the end of the file as
     * one piece: the main thread and a worker log at the same moment, and a
     * seek to the end followed by a write would let one line overwrite the
     * other. */
    HANDLE hFile = CreateFileA(szPath, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                               OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (hFile == INVALID_HANDLE_VALUE)
        return;
    DWORD dwWritten = 0;
    WriteFile(hFile, szLine, (DWORD)iLen, &dwWritten, NULL);
    CloseHandle(hFile);
}

} // namespace

void MakeLogFileName(int iProcessId, char *szOut, int iOutSize)
{
    char szComputer[MAX_COMPUTERNAME_LENGTH + 1] = "";
    DWORD dwSize = sizeof(szComputer);
    if (!GetComputerNameA(szComputer, &dwSize))
        szComputer[0] = 0;
    szComputer[8] = 0;
    std::lock_guard<std::mutex> guard(g_logLock);
    for (;;) {
        SYSTEMTIME st;
        GetSystemTime(&st);
        snprintf(szOut, iOutSize, "%s%d%s%d_%d_%d_%d_%d_%d_%d.%s", "novarcprint", iProcessId,
                 szComputer, st.wMonth, st.wDay, st.wYear, st.wHour, st.wMinute, st.wSecond,
                 st.wMilliseconds, "log");
        if (strcmp(szOut, g_szLastLogName) != 0)
            break;
        Sleep(1);
    }
    snprintf(g_szLastLogName, sizeof(g_szLastLogName), "%s", szOut);
}

void WriteDebugEntry(const DebugLogTarget &target, bool bThread, const char *szMessage)
{
    if (!target.bEnabled || !target.szPath[0])
        return;
    SYSTEMTIME st;
    GetLocalTime(&st);
    char szLine[LOG_MESSAGE_LIMIT + 128];
    int iLen;
    if (bThread)
        iLen = snprintf(szLine, sizeof(szLine), "%d/%d/%d  at %d:%d:%d:%d Thread:%d %s %c%c",
                        st.wMonth, st.wDay, st.wYear, st.wHour, st.wMinute, st.wSecond,
                        st.wMilliseconds, (int)GetCurrentThreadId(), szMessage, 13, 10);
    else
        iLen = snprintf(szLine, sizeof(szLine), "%d/%d/%d  at %d:%d:%d:%d %s %c%c", st.wMonth,
                        st.wDay, st.wYear, st.wHour, st.wMinute, st.wSecond, st.wMilliseconds,
                        szMessage, 13, 10);
    if (iLen <= 0)
        return;
    if (iLen >= (int)sizeof(szLine))
        iLen = (int)sizeof(szLine) - 1;
    /* Workers and the main thread log at once; whole lines only. */
    std::lock_guard<std::mutex> guard(g_logLock);
    AppendToFile(target.szPath, szLine, iLen);
}

void SetProcessLogTarget(const DebugLogTarget &target)
{
    std::lock_guard<std::mutex> guard(g_logLock);
    g_processLog = target;
}

void write_file(const char *szFormat, ...)
{
    DebugLogTarget target;
    {
        std::lock_guard<std::mutex> guard(g_logLock);
        target = g_processLog;
    }
    if (!target.bEnabled)
        return;
    char szMessage[LOG_MESSAGE_LIMIT + 1];
    va_list args;
    va_start(args, szFormat);
    FormatLimited(szMessage, szFormat, args);
    va_end(args);
    WriteDebugEntry(target, false, szMessage);
}

void NovarcprintProcess::Log(const char *szFormat, ...)
{
    if (!m_bDebugLog)
        return;
    char szMessage[LOG_MESSAGE_LIMIT + 1];
    va_list args;
    va_start(args, szFormat);
    FormatLimited(szMessage, szFormat, args);
    va_end(args);
    WriteDebugEntry(LogTarget(), true, szMessage);
}

DebugLogTarget NovarcprintProcess::LogTarget() const
{
    DebugLogTarget target;
    target.bEnabled = m_bDebugLog;
    snprintf(target.szPath, sizeof(target.szPath), "%s", m_szLogPath);
    return target;
}
