/*
 * What a verified transfer installs: the service's own installer (started,
 * not waited for), the imaging, ECG, converter and PDF engine installers
 * (run with "-N" and waited for), the runtime installers, and new print
 * clients, which are placed in c:\novarc\bin2 under the name their own
 * version record gives.  Running and placing go through the privileged
 * helper (privileged.h).
 */
#include <cstdio>
#include <cstring>

#include <kellib.h>

#include "printkeeper.h"
#include "privileged.h"
#include "update.h"

namespace {

const char *const kRuntimeWindows[] = {"Microsoft Visual C++ 2005 Redistributable",
                                       "Microsoft Visual C++ 2008 Redistributable"};

bool RuntimeSetupWindowOpen()
{
    for (const char *szTitle : kRuntimeWindows)
        if (FindWindowA(NULL, szTitle))
            return true;
    return false;
}

} // namespace

int RunUpdateKit(int iKit, bool bWait, const char *szPath, const char *szLogPrefix)
{
    if (!RequestPrivileged(HELPER_RUN_INSTALLER + iKit, bWait ? UPDATE_INSTALLER_WAIT_MS : 0)) {
        LogLine("%s CreateProcessAsUser() FAILED ERROR:%d", szLogPrefix, (int)GetLastError());
        return 0;
    }
    LogLine("%s CreateProcessAsUser( %s ) SUCCESS", szLogPrefix, szPath);
    return 1;
}

void WaitForRuntimeSetupWindows()
{
    for (DWORD dwWaited = 0; RuntimeSetupWindowOpen() && dwWaited < UPDATE_INSTALLER_WAIT_MS;
         dwWaited += UPDATE_RUNTIME_WINDOW_POLL_MS)
        Sleep(UPDATE_RUNTIME_WINDOW_POLL_MS);
}

void InstallServiceUpdate(SOCKET sock, const char *szFinal)
{
    PrintkeeperGlobals &g = g_Printkeeper;
    /* Answered first: the installer may stop this service at once. */
    SendStatusReply(sock, UPD_STATUS_ACCEPTED);
    SendEndAck(sock);
    CloseListeners();
    if (!RunUpdateKit(KIT_SERVICE, false, szFinal, "ReceiveServiceUpdate")) {
        PostMessageA(g.hMainWnd, WM_RESTART_LISTEN, 0, 0);
        return;
    }
    /* An installer that has not stopped this service within the grace time
     * did not mean to: the ports open again then. */
    g.bServiceInstalling = true;
    SetTimer(g.hMainWnd, TIMER_RESTART_LISTEN, UPDATE_SERVICE_INSTALL_GRACE_MS, NULL);
}

void InstallKit(SOCKET sock, int iKit, const char *szFinal)
{
    PrintkeeperGlobals &g = g_Printkeeper;
    SendStatusReply(sock, UPD_STATUS_ACCEPTED);
    const bool bImaging = iKit == KIT_IMAGING;
    /* The imaging library is loaded by every client: no new job starts
     * while its installer replaces it. */
    if (bImaging)
        CloseListeners();
    RunUpdateKit(iKit, true, szFinal, TransferLogPrefix(iKit));
    if (bImaging)
        PostMessageA(g.hMainWnd, WM_RESTART_LISTEN, 0, 0);
    SendEndAck(sock);
}

void InstallRuntime(SOCKET sock, int iKit, const char *szFinal)
{
    SendStatusReply(sock, UPD_STATUS_ACCEPTED);
    LogLine("Install: %s", szFinal);
    if (RunUpdateKit(iKit, true, szFinal, "InstallVCRuntime()")) {
        /* The runtime's own setup may go on in a window of its own. */
        Sleep(UPDATE_RUNTIME_SETTLE_MS);
        WaitForRuntimeSetupWindows();
    }
    SendEndAck(sock);
}

void ClientProgramName(const char *szFile, int iA, int iB, char *szName, int iSize)
{
    int iMinor = iB, iMajor = iA;
    DWORD dwHandle = 0;
    const DWORD dwSize = GetFileVersionInfoSizeA(szFile, &dwHandle);
    if (dwSize > 0) {
        char *pBlock = new char[dwSize];
        VS_FIXEDFILEINFO *pInfo = NULL;
        UINT uLen = 0;
        if (GetFileVersionInfoA(szFile, 0, dwSize, pBlock) &&
            VerQueryValueA(pBlock, "\\", (LPVOID *)&pInfo, &uLen) &&
            uLen >= sizeof(VS_FIXEDFILEINFO) && HIWORD(pInfo->dwFileVersionMS) >= 2) {
            iMajor = HIWORD(pInfo->dwFileVersionMS);
            iMinor = LOWORD(pInfo->dwFileVersionMS);
        }
        delete[] pBlock;
    }
    snprintf(szName, (size_t)iSize, UPDATE_CLIENT_NAME, iMinor, iMajor);
}

int InstallClient(const char *szReceived, int iA, int iB)
{
    char szName[64], szVerified[MAX_PATH], szTarget[MAX_PATH];
    ClientProgramName(szReceived, iA, iB, szName, sizeof(szName));
    CreateFolderTree(VERIFIED_DIR);
    if (!KELPeerFileInFolder(VERIFIED_DIR, szName, KEL_PATH_WRITE, szVerified,
                             sizeof(szVerified)) ||
        !KELProgramFilePath(BIN2_DIR, szName, szTarget, sizeof(szTarget))) {
        LogLine("ReceiveNovarcPrintUpdate %s refused: %s", szName,
                KELPeerPathReason(GetLastError()));
        DeleteFileA(szReceived);
        return UPD_STATUS_FAILED;
    }
    /* Verified files wait in their own folder under their final name,
     * where the helper takes them from. */
    const bool bMoved =
        KELMoveFileEx(szReceived, szVerified, MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED);
    const bool bPlaced = bMoved && RequestPrivileged(HELPER_PLACE_PROGRAMS, UPDATE_PLACE_WAIT_MS);
    if (bMoved && !bPlaced)
        LogLine("ReceiveNovarcPrintUpdate placing %s FAILED ERROR:%d", szName, (int)GetLastError());
    LogLine("KELMoveFileEx(%s,%s) %s", szReceived, szTarget, bPlaced ? "SUCCESS" : "FAILED");
    DeleteFileA(szReceived);
    DeleteFileA(szVerified);
    return bPlaced ? UPD_STATUS_ACCEPTED : UPD_STATUS_FAILED;
}
