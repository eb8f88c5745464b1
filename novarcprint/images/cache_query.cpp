/*
 * The server's questions about the image cache, answered from the main
 * thread: is a file here (and does it still decode), how large is it, and
 * store this one enciphered.  Also the clean-up of the process's own
 * signature files when it ends.
 */
#include <cstdio>
#include <cstring>

#include "images.h"

namespace {

bool IsFile(const char *szPath)
{
    const DWORD dwAttr = GetFileAttributesA(szPath);
    return dwAttr != INVALID_FILE_ATTRIBUTES && !(dwAttr & FILE_ATTRIBUTE_DIRECTORY);
}

/* A cache answer in the file-return framing: byte 0x27, text, NUL. */
int SendCacheAnswer(NovarcprintProcess *s, const char *szText)
{
    MsgBuf reply = MsgBuf();
    int iOk = AppendByte(&reply, REPLY_FILE_RETURN) && AppendString(&reply, szText, 0);
    if (iOk)
        iOk = SendMessageWithSize(s->m_sockReply, reply.szBuf, reply.iLen, REPLY_OPTIONS);
    FreeMsgBuf(&reply);
    return iOk;
}

/* The size of the first of the name and the name plus ".x2m" that opens. */
long long CachedFileSize(NovarcprintProcess *s, const char *szName)
{
    char szFull[MAX_PATH], szX2m[IMAGE_NAME_SIZE + 4];
    snprintf(szX2m, sizeof(szX2m), "%s.x2m", szName);
    const char *const names[2] = {szName, szX2m};
    for (const char *szTry : names) {
        if (!CachePath(s, "QUERY_FILE_SIZE", szTry, szFull))
            return 0;
        HANDLE hFile = CreateFileA(szFull, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING,
                                   FILE_ATTRIBUTE_NORMAL, NULL);
        if (hFile == INVALID_HANDLE_VALUE)
            continue;
        DWORD dwHigh = 0;
        const DWORD dwLow = GetFileSize(hFile, &dwHigh);
        CloseHandle(hFile);
        return ((long long)dwHigh << 32) | dwLow;
    }
    return 0;
}

} // namespace

int IsImageFileHere(NovarcprintProcess *s, char *szName, int iFlags)
{
    char szFull[MAX_PATH] = "";
    char szX2m[IMAGE_NAME_SIZE + 4];
    snprintf(szX2m, sizeof(szX2m), "%s.x2m", szName);
    bool bFound = CachePath(s, "IsImageFileHere", szName, szFull) && IsFile(szFull);
    if (!bFound)
        bFound = CachePath(s, "IsImageFileHere", szX2m, szFull) && IsFile(szFull);
    int iResult = 0;
    if (bFound) {
        snprintf(szName, MAX_PATH, "%s", szFull);
        iResult = ValidateCachedImage(s, szFull);
    }
    if (!(iFlags & FILE_HERE_NO_REPLY))
        s->SendFileIsHereMessage(iResult);
    return iResult;
}

int HandleIsImageFileHere(NovarcprintProcess *s, MsgBuf *pMsg, int)
{
    s->Log("Is Image File Here");
    const DWORD dwWait = WaitForSingleObject(s->m_hMainMutex, IMAGE_QUERY_LOCK_MS);
    s->Log("IS_IMAGE_FILE_HERE WaitForSingleObject(MAIN_MUTEX) dwWait:%d", (int)dwWait);
    FileHereQuery query;
    int iResult = 0;
    if (ReadFileHereQuery(pMsg->szBuf, pMsg->iLen, &query)) {
        char szName[MAX_PATH];
        snprintf(szName, sizeof(szName), "%s", query.szName);
        iResult = IsImageFileHere(s, szName, 0);
    } else {
        /* The server waits for an answer: a question it cannot have meant
         * is answered "not here". */
        s->Log("IS_IMAGE_FILE_HERE malformed payload iLen<%d>", pMsg->iLen);
        s->SendFileIsHereMessage(0);
    }
    if (dwWait == WAIT_OBJECT_0 || dwWait == WAIT_ABANDONED)
        ReleaseMutex(s->m_hMainMutex);
    return iResult;
}

int HandleQueryFileSize(NovarcprintProcess *s, MsgBuf *pMsg, int)
{
    char szName[IMAGE_NAME_SIZE];
    long long llSize = 0;
    if (ReadQueryFileSize(pMsg->szBuf, pMsg->iLen, szName))
        llSize = CachedFileSize(s, szName);
    else
        s->Log("QUERY_FILE_SIZE malformed payload iLen<%d>", pMsg->iLen);
    char szSize[24];
    snprintf(szSize, sizeof(szSize), "%lld", llSize);
    s->Log("QUERY_FILE_SIZE(%s) %s", szName, szSize);
    return SendCacheAnswer(s, szSize);
}

int HandleStoreCacheFile(NovarcprintProcess *s, MsgBuf *pMsg, int)
{
    StoreCacheRecord record;
    char szStored[IMAGE_NAME_SIZE + 4], szFull[MAX_PATH];
    int iStored = 0;
    if (!ReadStoreCacheFile(pMsg->szBuf, pMsg->iLen, &record)) {
        s->Log("STORE_CACHE_FILE malformed payload iLen<%d>", pMsg->iLen);
    } else {
        snprintf(szStored, sizeof(szStored), "%s.x2m", record.szName);
        /* Written enciphered straight away: the plain bytes never rest on disk. */
        CreateDirectoryA(IMAGE_CACHE_FOLDER, NULL);
        if (CachePath(s, "STORE_CACHE_FILE", szStored, szFull))
            iStored = WriteEncipheredFile(szFull, record.pData, (DWORD)record.iDataLen);
        s->Log("STORE_CACHE_FILE(%s) %d bytes %s", szStored, record.iDataLen,
               iStored ? "stored" : "NOT stored");
    }
    /* The server waits for this answer whatever became of the file. */
    SendCacheAnswer(s, "CACHE DONE");
    return iStored;
}

void CleanupRecentScansFiles(NovarcprintProcess *s)
{
    s->Log("CleanupRecentScansFiles( signature files )");
    char szPattern[MAX_PATH];
    snprintf(szPattern, sizeof(szPattern), "%s\\%d_signature*.*", IMAGE_CACHE_FOLDER,
             s->m_iProcessId);
    WIN32_FIND_DATAA found;
    HANDLE hFind = FindFirstFileA(szPattern, &found);
    if (hFind != INVALID_HANDLE_VALUE) {
        do {
            char szPath[MAX_PATH];
            if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
                snprintf(szPath, sizeof(szPath), "%s\\%s", IMAGE_CACHE_FOLDER, found.cFileName) <
                    (int)sizeof(szPath))
                DeleteFileA(szPath);
        } while (FindNextFileA(hFind, &found));
        FindClose(hFind);
    }
    s->Log("CleanupRecentScansFiles( signature files ) END");
}
