/*
 * The endpoint files ("C:\Novarc\kelfile.txt", "C:\Novarc\keltest7.txt" to
 * "keltest999.txt") and the notices the service sends to the servers they
 * list: "-EPSERVICEUPDATE" every five minutes or so, "-EPSERVICESTOP" when
 * it stops.
 *
 * Only dotted IPv4 addresses from these files are ever contacted, each run
 * reaches at most ENDPOINT_MAX_ADDRESSES of them, a connection gets six
 * seconds, and runs never overlap.
 */
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "printkeeper.h"

namespace {

std::atomic<bool> g_noticeRunning{false};

/* The file's first ENDPOINT_FILE_MAX_BYTES bytes; false without the file. */
bool ReadEndpointFile(const char *szPath, char *pOut, int *piLen)
{
    HANDLE hFile = CreateFileA(szPath, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, NULL);
    if (hFile == INVALID_HANDLE_VALUE)
        return false;
    DWORD dwRead = 0;
    BOOL bOk = ReadFile(hFile, pOut, ENDPOINT_FILE_MAX_BYTES, &dwRead, NULL);
    CloseHandle(hFile);
    *piLen = bOk ? (int)dwRead : 0;
    return bOk;
}

/* Copies a value: at most ENDPOINT_VALUE_MAX characters, "~" for a blank. */
void CopyValue(const char *pFrom, size_t len, char *szTo)
{
    if (len > ENDPOINT_VALUE_MAX)
        len = ENDPOINT_VALUE_MAX;
    for (size_t i = 0; i < len; i++)
        szTo[i] = pFrom[i] == '~' ? ' ' : pFrom[i];
    szTo[len] = 0;
}

bool AddUnique(char (*pAddresses)[16], int *piCount, int iMax, const char *szAddress)
{
    for (int i = 0; i < *piCount; i++)
        if (strcmp(pAddresses[i], szAddress) == 0)
            return true;
    if (*piCount >= iMax)
        return false;
    snprintf(pAddresses[*piCount], 16, "%s", szAddress);
    (*piCount)++;
    return true;
}

struct NoticeRun {
    char addresses[ENDPOINT_MAX_ADDRESSES][16];
    int iCount;
};

DWORD WINAPI EndpointNoticeThread(LPVOID lpParam)
{
    NoticeRun *pRun = (NoticeRun *)lpParam;
    SendEndpointNotices(pRun->addresses, pRun->iCount, false, ENDPOINT_LINGER_MS);
    delete pRun;
    g_noticeRunning = false;
    return 0;
}

} // namespace

bool IsDottedIPv4(const char *szText)
{
    int iParts = 0;
    const char *p = szText;
    while (iParts < 4) {
        int iValue = 0, iDigits = 0;
        while (*p >= '0' && *p <= '9' && iDigits < 4) {
            iValue = iValue * 10 + (*p++ - '0');
            iDigits++;
        }
        if (iDigits == 0 || iDigits > 3 || iValue > 255)
            return false;
        iParts++;
        if (iParts < 4 && *p++ != '.')
            return false;
    }
    return *p == 0;
}

bool ParseEndpointLine(const char *szLine, EndpointRecord *pRecord)
{
    memset(pRecord, 0, sizeof(*pRecord));
    snprintf(pRecord->szPort, sizeof(pRecord->szPort), "%s", ENDPOINT_PORT_TEXT);
    bool bAny = false;
    const char *p = szLine;
    for (;;) {
        while (*p == ' ' || *p == '\t')
            p++;
        if (*p == 0)
            break;
        const char *pToken = p;
        while (*p && *p != ' ' && *p != '\t')
            p++;
        if (pToken[0] != '-' || p - pToken < 2)
            continue; /* not an option */
        const char cOption = pToken[1];
        const char *pValue = pToken + 2;
        size_t len = (size_t)(p - pValue);
        if (len == 0) { /* "-N value": the value is the next word */
            while (*p == ' ' || *p == '\t')
                p++;
            pValue = p;
            while (*p && *p != ' ' && *p != '\t')
                p++;
            len = (size_t)(p - pValue);
        }
        char *szField = cOption == 'N'   ? pRecord->szName
                        : cOption == 'A' ? pRecord->szAddress
                        : cOption == 'D' ? pRecord->szD
                        : cOption == 'W' ? pRecord->szW
                                         : NULL;
        if (!szField)
            continue;
        CopyValue(pValue, len, szField);
        bAny = true;
    }
    return bAny;
}

int ParseEndpointText(const char *pText, int iLen, EndpointRecord *pRecords, int iMax)
{
    int iCount = 0;
    int iLine = 0;
    char szLine[1024];
    for (int i = 0; i < iLen && iCount < iMax;) {
        int j = i;
        while (j < iLen && pText[j] != '\n')
            j++;
        int n = j - i;
        if (n > 0 && pText[j - 1] == '\r')
            n--;
        if (n >= (int)sizeof(szLine))
            n = (int)sizeof(szLine) - 1;
        memcpy(szLine, pText + i, (size_t)n);
        szLine[n] = 0;
        /* The first line is a number the service has no use for. */
        if (iLine++ > 0 && ParseEndpointLine(szLine, &pRecords[iCount]))
            iCount++;
        i = j + 1;
    }
    return iCount;
}

int CollectEndpointAddresses(char (*pAddresses)[16], int iMax)
{
    static char text[ENDPOINT_FILE_MAX_BYTES];
    static EndpointRecord records[64];
    int iCount = 0;
    bool bFull = false;
    for (int n = ENDPOINT_TEST_FIRST - 1; n <= ENDPOINT_TEST_LAST && !bFull; n++) {
        char szPath[MAX_PATH];
        if (n < ENDPOINT_TEST_FIRST)
            snprintf(szPath, sizeof(szPath), "%s", ENDPOINT_FILE);
        else
            snprintf(szPath, sizeof(szPath), ENDPOINT_TEST_FILE, n);
        int iLen = 0;
        if (!ReadEndpointFile(szPath, text, &iLen))
            continue;
        int iRecords = ParseEndpointText(text, iLen, records, 64);
        for (int r = 0; r < iRecords && !bFull; r++) {
            if (!records[r].szAddress[0])
                continue;
            if (!IsDottedIPv4(records[r].szAddress)) {
                LogLine("Endpoint address %s in %s ignored: not a dotted IPv4 address",
                        records[r].szAddress, szPath);
                continue;
            }
            bFull = !AddUnique(pAddresses, &iCount, iMax, records[r].szAddress);
        }
    }
    if (bFull)
        LogLine("Endpoint notices go to the first %d addresses only", iMax);
    return iCount;
}

DWORD NextNoticePeriodMs(bool bEndpointsFound, unsigned uRandom)
{
    if (bEndpointsFound)
        return (300 + uRandom % 61) * 1000;
    return (12 + uRandom % 31) * 5000;
}

void FormatEndpointNotice(bool bStopping, const char *szComputer, const char *szAddress,
                          char *szOut, int iSize)
{
    snprintf(szOut, (size_t)iSize,
             bStopping ? "-EPSERVICESTOP -C%s -I%s" : "-EPSERVICEUPDATE -C%s -I%s", szComputer,
             szAddress);
}

void OnEndpointNoticeTimer()
{
    PrintkeeperGlobals &g = g_Printkeeper;
    KillTimer(g.hMainWnd, TIMER_ENDPOINT_NOTICE);
    if (g.bInHouse)
        return;
    NoticeRun *pRun = new NoticeRun();
    pRun->iCount = CollectEndpointAddresses(pRun->addresses, ENDPOINT_MAX_ADDRESSES);
    const bool bFound = pRun->iCount > 0;
    bool bIdle = false;
    if (bFound && g_noticeRunning.compare_exchange_strong(bIdle, true)) {
        HANDLE hThread = CreateThread(NULL, 0, EndpointNoticeThread, pRun, 0, NULL);
        if (hThread) {
            CloseHandle(hThread);
            pRun = NULL;
        } else {
            g_noticeRunning = false;
        }
    }
    delete pRun;
    SetTimer(g.hMainWnd, TIMER_ENDPOINT_NOTICE, NextNoticePeriodMs(bFound, (unsigned)rand()), NULL);
}

void SendStopNotices()
{
    if (g_Printkeeper.bInHouse)
        return;
    for (int waited = 0; g_noticeRunning.load() && waited < ENDPOINT_STOP_WAIT_MS; waited += 100)
        Sleep(100);
    static char addresses[ENDPOINT_MAX_ADDRESSES][16];
    int iCount = CollectEndpointAddresses(addresses, ENDPOINT_MAX_ADDRESSES);
    if (iCount > 0)
        SendEndpointNotices(addresses, iCount, true, ENDPOINT_LINGER_MS);
}
