/*
 * What every file return of the documents module shares: the file replaced
 * by its zlib stream before it goes, the lone end marker, and the names of
 * page files.
 */
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "documents.h"

bool CompressForReturn(NovarcprintProcess *s, const char *szPath)
{
    char szPacked[MAX_PATH];
    if (!FormatName(szPacked, sizeof(szPacked), "%s.zz", szPath))
        return false;
    if (!KelZipPlus(szPath, szPacked, KELZIP_QUIET)) {
        DeleteFileA(szPacked);
        return false;
    }
    if (!DeleteFileA(szPath) || !MoveFileExA(szPacked, szPath, MOVEFILE_REPLACE_EXISTING)) {
        s->Log("CompressForReturn MoveFile( %s ) FAILED ERROR:%d", szPacked, (int)GetLastError());
        return false;
    }
    return true;
}

void SendLoneEndMarker(NovarcprintProcess *s)
{
    s->SendWholeFile(s->m_sockReply, "DONE", NULL, SEND_WHOLE_FILE_EMPTY);
}

void PageFileName(char *szOut, int iSize, const char *szName, int iPage, const char *szExtension)
{
    /* Up to the first '.' of the file name, not of a folder on the way. */
    const char *pSlash = strrchr(szName, '\\');
    const char *pDot = strchr(pSlash ? pSlash : szName, '.');
    const int iStem = pDot ? (int)(pDot - szName) : (int)strlen(szName);
    FormatName(szOut, iSize, "%.*sPG%d.%s", iStem, szName, iPage, szExtension);
}

bool FormatName(char *szOut, int iSize, const char *szFormat, ...)
{
    va_list args;
    va_start(args, szFormat);
    const int n = vsnprintf(szOut, (size_t)iSize, szFormat, args);
    va_end(args);
    if (n >= 0 && n < iSize)
        return true;
    szOut[0] = 0;
    return false;
}
