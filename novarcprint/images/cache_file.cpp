/*
 * The image cache's files: where a name the server sent may live, the
 * three forms a cache file takes (plain, enciphered with the file key,
 * payload-ciphered), reading any of them back as the image's bytes, and
 * checking that a cached file still decodes.
 *
 * An enciphered file is a 16-byte counter block followed by the data under
 * the file key; its readable size is the file size less 16.  Files are
 * created by the service's user under its file mask, so the cache holds
 * patient data readable by that user and the operators' group only.
 */
#include <cctype>
#include <cstdlib>
#include <cstring>

#include "imaging_bind.h"
#include "images.h"

namespace {

/* Reads and writes in blocks, so enciphering never needs a second copy of
 * a whole file. */
constexpr DWORD kBlock = 64 * 1024;

/* Whether szPart (lower case) occurs in szName, in any case. */
bool Contains(const char *szName, const char *szPart)
{
    if (!szName)
        return false;
    const size_t n = strlen(szPart);
    for (; *szName; szName++) {
        size_t i = 0;
        while (i < n && tolower((unsigned char)szName[i]) == szPart[i])
            i++;
        if (i == n)
            return true;
    }
    return false;
}

bool WriteAll(HANDLE hFile, const char *p, DWORD dwLen)
{
    while (dwLen > 0) {
        DWORD dwDone = 0;
        if (!WriteFile(hFile, p, dwLen, &dwDone, NULL) || dwDone == 0)
            return false;
        p += dwDone;
        dwLen -= dwDone;
    }
    return true;
}

bool ReadAll(HANDLE hFile, char *p, DWORD dwLen)
{
    while (dwLen > 0) {
        DWORD dwDone = 0;
        if (!ReadFile(hFile, p, dwLen, &dwDone, NULL) || dwDone == 0)
            return false;
        p += dwDone;
        dwLen -= dwDone;
    }
    return true;
}

HANDLE OpenForReading(const char *szPath)
{
    return CreateFileA(szPath, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING,
                       FILE_ATTRIBUTE_NORMAL, NULL);
}

/* A file's size when it is one a transfer could have written; else false. */
bool CacheFileSize(HANDLE hFile, DWORD *pdwSize)
{
    DWORD dwHigh = 0;
    const DWORD dwLow = GetFileSize(hFile, &dwHigh);
    if (dwLow == INVALID_FILE_SIZE && GetLastError() != NO_ERROR)
        return false;
    if (dwHigh != 0 || dwLow > (DWORD)IMAGE_TRANSFER_MAX_BYTES + KEL_FILE_IV_SIZE)
        return false;
    *pdwSize = dwLow;
    return true;
}

} // namespace

bool IsEncipheredName(const char *szName)
{
    return Contains(szName, ".x2m");
}

bool IsPayloadCipheredName(const char *szName)
{
    return Contains(szName, ".xem");
}

bool IsPdfName(const char *szName)
{
    return Contains(szName, ".pdf");
}

bool CachePath(NovarcprintProcess *s, const char *szWho, const char *szName, char *szFull)
{
    if (KELPeerFileInFolder(IMAGE_CACHE_FOLDER, szName, KEL_PATH_WRITE, szFull, MAX_PATH))
        return true;
    const DWORD dwError = GetLastError();
    s->Log("%s refused <%s>: %s", szWho, szName, KELPeerPathReason(dwError));
    szFull[0] = 0;
    return false;
}

int WriteEncipheredFile(const char *szPath, const char *pData, DWORD dwLen)
{
    unsigned char iv[KEL_FILE_IV_SIZE];
    if (KelFileKeyNewIv(iv) != 0)
        return 0;
    HANDLE hFile =
        CreateFileA(szPath, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (hFile == INVALID_HANDLE_VALUE)
        return 0;
    bool bOk = WriteAll(hFile, (const char *)iv, sizeof(iv));
    char *pBlock = bOk && dwLen > 0 ? (char *)malloc(kBlock) : nullptr;
    bOk = bOk && (dwLen == 0 || pBlock);
    for (DWORD dwAt = 0; bOk && dwAt < dwLen;) {
        const DWORD n = dwLen - dwAt < kBlock ? dwLen - dwAt : kBlock;
        memcpy(pBlock, pData + dwAt, n);
        bOk = KelFileKeyCrypt(iv, dwAt, pBlock, n) == 0 && WriteAll(hFile, pBlock, n);
        dwAt += n;
    }
    free(pBlock);
    CloseHandle(hFile);
    if (!bOk)
        DeleteFileA(szPath);
    return bOk ? 1 : 0;
}

int ReadCacheFile(const char *szPath, CacheBytes *pBytes, bool *pbOpened)
{
    *pBytes = CacheBytes();
    HANDLE hFile = OpenForReading(szPath);
    if (pbOpened)
        *pbOpened = hFile != INVALID_HANDLE_VALUE;
    if (hFile == INVALID_HANDLE_VALUE)
        return 0;
    DWORD dwSize = 0;
    bool bOk = CacheFileSize(hFile, &dwSize);
    const bool bEnciphered = IsEncipheredName(szPath);
    unsigned char iv[KEL_FILE_IV_SIZE] = {};
    if (bOk && bEnciphered) {
        /* A file too short for its counter block holds nothing readable. */
        if (dwSize < KEL_FILE_IV_SIZE)
            dwSize = 0;
        else
            bOk = ReadAll(hFile, (char *)iv, sizeof(iv)), dwSize -= KEL_FILE_IV_SIZE;
    }
    /* One spare byte, so an empty file still has a block to hand over. */
    char *pData = bOk ? (char *)malloc((size_t)dwSize + 1) : nullptr;
    bOk = pData && ReadAll(hFile, pData, dwSize);
    CloseHandle(hFile);
    if (bOk && bEnciphered)
        bOk = KelFileKeyCrypt(iv, 0, pData, dwSize) == 0;
    if (bOk && IsPayloadCipheredName(szPath)) {
        int iLen = (int)dwSize;
        UnprotectPayload(pData, &iLen, 0);
    }
    if (!bOk) {
        free(pData);
        return 0;
    }
    pBytes->pData = pData;
    pBytes->dwLen = dwSize;
    return 1;
}

void FreeCacheBytes(CacheBytes *pBytes)
{
    free(pBytes->pData);
    *pBytes = CacheBytes();
}

int EncryptFileInPlace(const char *szPath)
{
    HANDLE hFile = OpenForReading(szPath);
    if (hFile == INVALID_HANDLE_VALUE)
        return 0;
    DWORD dwSize = 0;
    char *pData = nullptr;
    bool bOk = CacheFileSize(hFile, &dwSize) && (pData = (char *)malloc((size_t)dwSize + 1)) &&
               ReadAll(hFile, pData, dwSize);
    CloseHandle(hFile);
    const int iResult = bOk ? WriteEncipheredFile(szPath, pData, dwSize) : 0;
    free(pData);
    return iResult;
}

int ValidateCachedImage(NovarcprintProcess *s, const char *szPath)
{
    if (IsPdfName(szPath))
        return 1;
    CacheBytes bytes;
    if (!ReadCacheFile(szPath, &bytes)) {
        s->Log("ValidateCachedImage(%s) unreadable, deleted", szPath);
        DeleteFileA(szPath);
        return 0;
    }
    BITMAPHANDLE bitmap = {};
    KELL_PreLoadFilters(4, 4, "BMP,J2K,JPG,TIF");
    const int iLoaded = bytes.dwLen > 0 ? KELL_LoadMemory((const BYTE *)bytes.pData, &bitmap,
                                                          sizeof(bitmap), 0, 1, bytes.dwLen)
                                        : 0;
    FreeCacheBytes(&bytes);
    if (iLoaded == L_SUCCESS) {
        KELL_FreeBitmap(&bitmap);
        return 1;
    }
    s->Log("ValidateCachedImage(%s) does not decode, deleted", szPath);
    DeleteFileA(szPath);
    return 0;
}
