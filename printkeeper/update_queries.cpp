/*
 * What the update port's queries ask about: the imaging library, the
 * converter and PDF engine versions, the 2005 and 2008 runtimes, and
 * whether a print client version is in c:\novarc\bin2.  Each looks where
 * the programs themselves would load from.
 */
#include <cstdio>
#include <cstring>

#include "printkeeper.h"
#include "update.h"

#include <msi.h> /* after windows.h, which printkeeper.h brings */

namespace {

const char *const kImagingDlls[] = {"ltkrnu.dll", "ltfilu.dll", "lttwnu.dll", "LTDISU.DLL",
                                    "ltannu.dll"};
constexpr int kImagingDllCount = sizeof(kImagingDlls) / sizeof(kImagingDlls[0]);

/* Kept loaded once all are, as a client that found them would keep them. */
HMODULE g_hImaging[kImagingDllCount];

const char *const kRuntime2005Codes[] = {
    "{A49F249F-0C91-497F-86DF-B2585E8E76B7}", "{6E8E85E8-CE4B-4FF5-91F7-04999C9FAE6A}",
    "{03ED71EA-F531-4927-AABD-1C31BCE8E187}", "{7299052B-02A4-4627-81F2-1818DA5D550D}",
    "{071C9B48-7C32-4621-A0AC-3F809523288F}", "{0F8FB34E-675E-42ED-850B-29D98C2ECE08}",
    "{837B34E3-7C30-493C-8F6A-2B0F04E2912C}", "{6CE5BAE9-D3CA-4B99-891A-1DC6C118A5FC}",
    "{85025851-A784-46D8-950D-05CB3CA43A13}", "{710F4C1C-CC18-4C49-8CBF-51240C89A1A2}",
    "{AD8A2FA1-06E7-4B0D-927d-6E54B3D31028}", NULL};

const char *const kRuntime2008Codes[] = {"{FF66E9F6-83E7-3A3E-AF14-8DE9A809A6A4}",
                                         "{350AA351-21FA-3270-8B7A-835434E766AD}",
                                         "{2B547B43-DB50-3139-9EBE-37D419E0F5FA}",
                                         "{9A25302D-30C0-39D9-BD6F-21E6EC160475}",
                                         "{8220EEFE-38CD-377E-8595-13398D740ACE}",
                                         "{5827ECE1-AEB0-328E-B813-6FC68622C1F9}",
                                         "{1F1C2DFC-2D24-3E06-BCB8-725134ADF989}",
                                         "{4B6C7001-C7D6-3710-913E-5BC23FCE91E6}",
                                         "{977AD349-C2A8-39DD-9273-285C08987C7B}",
                                         "{B7E38540-E355-3503-AFD7-635B2F2F76E1}",
                                         "{9BE518E6-ECC6-35A9-88E4-87755C07200F}",
                                         "{5FCE6D76-F5DC-37AB-B2B8-22AB8CEDB1D4}",
                                         "{3C3D696B-0DB7-3C6D-A356-3DB8CE541918}",
                                         "{4FFA2088-8317-3B14-93CD-4C699DB37843}",
                                         NULL};

const char *const kSxs2005[] = {"X86_MICROSOFT.VC80.ATL", "X86_MICROSOFT.VC80.CRT",
                                "X86_MICROSOFT.VC80.MFC_", "X86_MICROSOFT.VC80.MFCLOC",
                                "X86_MICROSOFT.VC80.OPENMP"};
const char *const kSxs2008[] = {"X86_MICROSOFT.VC90.ATL", "X86_MICROSOFT.VC90.CRT",
                                "X86_MICROSOFT.VC90.MFC_", "X86_MICROSOFT.VC90.MFCLOC",
                                "X86_MICROSOFT.VC90.OPENMP"};
constexpr int kSxsNames = 5;

typedef int(WINAPI *KelPdfTronDllVersionFn)(void);

/* szName in the system directory; false when the path would not fit. */
bool SystemFile(const char *szName, char *szPath, int iSize)
{
    char szSystem[MAX_PATH];
    if (!GetSystemDirectoryA(szSystem, sizeof(szSystem)))
        return false;
    const int n = snprintf(szPath, (size_t)iSize, "%s\\%s", szSystem, szName);
    return n > 0 && n < iSize;
}

bool ReadFirstLine(const char *szPath, char *szLine, int iSize)
{
    HANDLE hFile = CreateFileA(szPath, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, NULL);
    if (hFile == INVALID_HANDLE_VALUE)
        return false;
    DWORD dwRead = 0;
    const bool bOk = ReadFile(hFile, szLine, (DWORD)(iSize - 1), &dwRead, NULL) != FALSE;
    CloseHandle(hFile);
    szLine[bOk ? dwRead : 0] = 0;
    szLine[strcspn(szLine, "\r\n")] = 0;
    return bOk;
}

/* Any product code answering INSTALLSTATE_DEFAULT; -1 when msi.dll or its
 * function is missing, so the caller looks elsewhere. */
int AnyProductInstalled(const char *const *codes)
{
    HMODULE hMsi = LoadLibraryA("msi.dll");
    if (!hMsi)
        return -1;
    auto query =
        (decltype(&MsiQueryProductStateA))(void *)GetProcAddress(hMsi, "MsiQueryProductStateA");
    int iFound = query ? 0 : -1;
    for (int i = 0; query && codes[i] && !iFound; i++)
        iFound = query(codes[i]) == INSTALLSTATE_DEFAULT ? 1 : 0;
    FreeLibrary(hMsi);
    return iFound;
}

/* The side-by-side store holds every assembly of the runtime. */
bool SideBySideHas(const char *const *names)
{
    PrintkeeperGlobals &g = g_Printkeeper;
    /* The store is in the Windows folder: C:\WINNT only where Windows 2000
     * (and NT) installed itself there. */
    const char *szPattern = g.bWin2000 ? "C:\\winnt\\winsxs\\*.*" : "C:\\windows\\winsxs\\*.*";
    bool seen[kSxsNames] = {};
    WIN32_FIND_DATAA fd;
    HANDLE hFind = FindFirstFileA(szPattern, &fd);
    if (hFind == INVALID_HANDLE_VALUE)
        return false;
    do {
        char szUpper[MAX_PATH];
        snprintf(szUpper, sizeof(szUpper), "%s", fd.cFileName);
        for (char *p = szUpper; *p; p++)
            if (*p >= 'a' && *p <= 'z')
                *p = (char)(*p - 32);
        for (int i = 0; i < kSxsNames; i++)
            seen[i] = seen[i] || strstr(szUpper, names[i]) != NULL;
    } while (FindNextFileA(hFind, &fd));
    FindClose(hFind);
    for (int i = 0; i < kSxsNames; i++)
        if (!seen[i])
            return false;
    return true;
}

bool RuntimeSetupRunning()
{
    return FindWindowA(NULL, "Microsoft Visual C++ 2005 Redistributable") ||
           FindWindowA(NULL, "Microsoft Visual C++ 2008 Redistributable");
}

} // namespace

int QueryImagingLibrary()
{
    if (g_hImaging[0])
        return 1;
    for (int i = 0; i < kImagingDllCount; i++) {
        char szPath[MAX_PATH];
        g_hImaging[i] =
            SystemFile(kImagingDlls[i], szPath, sizeof(szPath)) ? LoadLibraryA(szPath) : NULL;
        if (g_hImaging[i])
            continue;
        for (int k = 0; k < i; k++) {
            FreeLibrary(g_hImaging[k]);
            g_hImaging[k] = NULL;
        }
        return 0;
    }
    return 1;
}

int ParseConverterVersion(const char *szText)
{
    const char *p = szText;
    while (*p == ' ' || *p == '\t')
        p++;
    if (*p < '0' || *p > '9')
        return -1;
    long long llValue = 0;
    for (; *p >= '0' && *p <= '9' && llValue < 0x7fffffff; p++)
        llValue = llValue * 10 + (*p - '0');
    return llValue > 0x7fffffff ? 0x7fffffff : (int)llValue;
}

int QueryConverterVersion()
{
    char szPath[MAX_PATH], szLine[64];
    if (!SystemFile(CONVERTER_VERSION_FILE, szPath, sizeof(szPath)) ||
        !ReadFirstLine(szPath, szLine, sizeof(szLine)))
        return -1;
    return ParseConverterVersion(szLine);
}

int QueryPdfEngineVersion()
{
    HMODULE hEngine = LoadLibraryA(PDF_ENGINE_DLL);
    if (!hEngine) {
        LogLine("Unable to Link With KelPdfTron.dll");
        return 0;
    }
    auto version = (KelPdfTronDllVersionFn)(void *)GetProcAddress(hEngine, "KelPdfTronDllVersion");
    int iVersion = 0;
    if (version)
        iVersion = version();
    else
        LogLine("UNABLE TO LINK WITH KelPdfTronDllVersion");
    FreeLibrary(hEngine);
    return iVersion;
}

bool Runtime2005Installed()
{
    if (g_Printkeeper.bWin6)
        return true;
    if (RuntimeSetupRunning()) {
        WaitForRuntimeSetupWindows();
        return true;
    }
    const int iMsi = AnyProductInstalled(kRuntime2005Codes);
    return iMsi >= 0 ? iMsi == 1 : SideBySideHas(kSxs2005);
}

bool Runtime2008Installed()
{
    if (RuntimeSetupRunning()) {
        WaitForRuntimeSetupWindows();
        return true;
    }
    HKEY hKey = NULL;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\NET Framework Setup\\NDP\\v3.5", 0,
                      KEY_READ, &hKey) == ERROR_SUCCESS) {
        RegCloseKey(hKey);
        return true;
    }
    if (AnyProductInstalled(kRuntime2008Codes) == 1)
        return true;
    return SideBySideHas(kSxs2008);
}

int QueryClientInstalled(int iA, int iB)
{
    if (iA <= 0 || iB <= 0)
        return 0;
    char szPath[MAX_PATH];
    snprintf(szPath, sizeof(szPath), UPDATE_CLIENT_QUERY_PATH, iB, iA);
    return FileExists(szPath) ? 1 : 0;
}
