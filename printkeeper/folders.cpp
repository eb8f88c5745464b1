/*
 * The service's folders and files: the version lock, the hardening of the
 * program folder, the converter folders emptied at start and the fax
 * service restart.
 */
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "printkeeper.h"
#include "privileged.h"

#include <aclapi.h>
#include <wtsapi32.h>

namespace {

/* Full control for SYSTEM and Administrators: GENERIC_ALL | STANDARD_RIGHTS_ALL. */
constexpr DWORD kFullAccess = 0x101F0000;

struct ProtectedAcl {
    PSID pSystem = NULL;
    PSID pAdmins = NULL;
    PACL pAcl = NULL;
    bool Build()
    {
        SID_IDENTIFIER_AUTHORITY ntAuthority = SECURITY_NT_AUTHORITY;
        if (!AllocateAndInitializeSid(&ntAuthority, 1, SECURITY_LOCAL_SYSTEM_RID, 0, 0, 0, 0, 0, 0,
                                      0, &pSystem) ||
            !AllocateAndInitializeSid(&ntAuthority, 2, SECURITY_BUILTIN_DOMAIN_RID,
                                      DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0, 0, &pAdmins))
            return false;
        EXPLICIT_ACCESS_A ea[2];
        memset(ea, 0, sizeof(ea));
        PSID sids[2] = {pSystem, pAdmins};
        for (int i = 0; i < 2; i++) {
            ea[i].grfAccessPermissions = kFullAccess;
            ea[i].grfAccessMode = SET_ACCESS;
            ea[i].grfInheritance = SUB_CONTAINERS_AND_OBJECTS_INHERIT;
            ea[i].Trustee.TrusteeForm = TRUSTEE_IS_SID;
            ea[i].Trustee.TrusteeType = TRUSTEE_IS_WELL_KNOWN_GROUP;
            ea[i].Trustee.ptstrName = (LPSTR)sids[i];
        }
        return SetEntriesInAclA(2, ea, NULL, &pAcl) == ERROR_SUCCESS;
    }
    ~ProtectedAcl()
    {
        if (pSystem)
            FreeSid(pSystem);
        if (pAdmins)
            FreeSid(pAdmins);
        if (pAcl)
            LocalFree(pAcl);
    }
};

DWORD Protect(const char *szPath, const ProtectedAcl &acl)
{
    return SetNamedSecurityInfoA(
        (LPSTR)szPath, SE_FILE_OBJECT,
        OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION |
            PROTECTED_DACL_SECURITY_INFORMATION | SACL_SECURITY_INFORMATION |
            PROTECTED_SACL_SECURITY_INFORMATION,
        acl.pAdmins, acl.pAdmins, acl.pAcl, NULL);
}

bool ReadFirstLine(const char *szPath, char *szLine, int iSize)
{
    szLine[0] = 0;
    HANDLE hFile = CreateFileA(szPath, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
    if (hFile == INVALID_HANDLE_VALUE)
        return false;
    DWORD dwRead = 0;
    bool bOk = ReadFile(hFile, szLine, (DWORD)(iSize - 1), &dwRead, NULL) != FALSE;
    CloseHandle(hFile);
    szLine[bOk ? dwRead : 0] = 0;
    szLine[strcspn(szLine, "\r\n")] = 0;
    return bOk;
}

/* Calls fn(path, data) for every entry of the folder but "." and "..";
 * entries whose path would not fit are skipped. */
template <class Fn> void ForEachEntry(const char *szDir, Fn fn)
{
    const size_t n = strlen(szDir);
    const char *szSep = n > 0 && szDir[n - 1] == '\\' ? "" : "\\";
    char szPattern[MAX_PATH];
    snprintf(szPattern, sizeof(szPattern), "%s%s*", szDir, szSep);
    WIN32_FIND_DATAA fd;
    HANDLE hFind = FindFirstFileA(szPattern, &fd);
    if (hFind == INVALID_HANDLE_VALUE)
        return;
    do {
        if (!strcmp(fd.cFileName, ".") || !strcmp(fd.cFileName, ".."))
            continue;
        char szEntry[MAX_PATH];
        if (snprintf(szEntry, sizeof(szEntry), "%s%s%s", szDir, szSep, fd.cFileName) <
            (int)sizeof(szEntry))
            fn(szEntry, fd);
    } while (FindNextFileA(hFind, &fd));
    FindClose(hFind);
}

void AppendFaxServiceLog(const char *szText)
{
    SYSTEMTIME st;
    GetLocalTime(&st);
    char szLine[512];
    snprintf(szLine, sizeof(szLine), "%d/%d/%d at %d:%d:%d:%d Printkeeper: %s %c%c", st.wMonth,
             st.wDay, st.wYear, st.wHour, st.wMinute, st.wSecond, st.wMilliseconds, szText, '\r',
             '\n');
    AppendToLogFile(FAX_SERVICE_LOG, szLine);
}

} // namespace

bool FileExists(const char *szPath)
{
    return GetFileAttributesA(szPath) != INVALID_FILE_ATTRIBUTES;
}

/* A fresh workstation has no C:\novarc yet: each missing folder on the
 * way is created, so the first log line of the first start is kept. */
void CreateFolderTree(const char *szDir)
{
    char szPath[MAX_PATH];
    snprintf(szPath, sizeof(szPath), "%s", szDir);
    /* past the drive ("c:\\") */
    for (char *p = szPath + (strlen(szPath) > 3 ? 3 : strlen(szPath)); *p; p++) {
        if (*p != '\\')
            continue;
        *p = 0;
        CreateDirectoryA(szPath, NULL);
        *p = '\\';
    }
    CreateDirectoryA(szPath, NULL);
}

int ParseLockedVersion(const char *szFirstLine)
{
    char szDigits[4];
    snprintf(szDigits, sizeof(szDigits), "%s", szFirstLine);
    return atoi(szDigits);
}

int ReadLockedVersion()
{
    char szLine[64];
    if (!ReadFirstLine(VERSION_LOCK_FILE, szLine, sizeof(szLine)))
        return 0;
    return ParseLockedVersion(szLine);
}

void ApplyVersionLock()
{
    PrintkeeperGlobals &g = g_Printkeeper;
    if (g.iLockedVersion <= 0 || g.iLockedVersion == PRINTKEEPER_VERSION_MAJOR)
        return;
    LogLine("Print service Version %d != LOCKEDVERSION:%d EXITING!", PRINTKEEPER_VERSION_MAJOR,
            g.iLockedVersion);
    StopInstalledService();
    if (g.hMainWnd && g.bSessionNotifyRegistered)
        WTSUnRegisterSessionNotification(g.hMainWnd);
    ExitProcess(EXIT_VERSION_LOCKED);
}

void HardenDirectory(const char *szDir, bool bRecursive)
{
    ProtectedAcl acl;
    if (!acl.Build())
        return;
    if (!FileExists(szDir)) {
        SECURITY_DESCRIPTOR sd;
        InitializeSecurityDescriptor(&sd, SECURITY_DESCRIPTOR_REVISION);
        SetSecurityDescriptorOwner(&sd, acl.pAdmins, FALSE);
        SetSecurityDescriptorGroup(&sd, acl.pAdmins, FALSE);
        SetSecurityDescriptorDacl(&sd, TRUE, acl.pAcl, FALSE);
        SECURITY_ATTRIBUTES sa = {sizeof(sa), &sd, FALSE};
        CreateDirectoryA(szDir, &sa);
        return;
    }
    Protect(szDir, acl);
    if (bRecursive)
        ForEachEntry(szDir,
                     [&](const char *szEntry, const WIN32_FIND_DATAA &) { Protect(szEntry, acl); });
}

void CleanOutConvertPdfDir(const char *szDir)
{
    LogLine("CleanOutConvertPdfDir( %s ) ", szDir);
    ForEachEntry(szDir, [](const char *szFile, const WIN32_FIND_DATAA &fd) {
        if (!(fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            DeleteFileA(szFile);
    });
}

void RestartFaxService()
{
    char szText[128];
    snprintf(szText, sizeof(szText), "Print service version %d.%d restarting Fax Service.",
             PRINTKEEPER_VERSION_MAJOR, PRINTKEEPER_VERSION_MINOR);
    LogLine("%s", szText);
    AppendFaxServiceLog(szText);
    /* Stopping and starting services needs root: the helper runs
     * "net stop" and "net start" for us. */
    if (!RequestPrivileged(HELPER_RESTART_FAX, FAX_RESTART_WAIT_MS))
        LogLine("Fax Service restart FAILED ERROR:%d", (int)GetLastError());
}
