/*
 * The chunked transfers of the update port: one per kind of file, each
 * received into a temporary file in c:\kel\transfer, verified by size at
 * its end, moved to its final name there and handed to the installing
 * step (update_install.cpp).
 *
 * A transfer belongs to the connection that sent its first chunk; the
 * others are refused.  It is bounded: at most UPDATE_MAX_TRANSFER_BYTES,
 * no pause longer than UPDATE_TRANSFER_IDLE_MS, no longer than
 * UPDATE_TRANSFER_MAX_MS in all.  A transfer that fails, is abandoned or
 * whose connection goes leaves no file behind but what it replaced.
 */
#include <cstdio>
#include <cstring>

#include <kellib.h>

#include "printkeeper.h"
#include "privileged.h"
#include "update.h"

namespace {

enum AfterEnd { AFTER_SERVICE, AFTER_IMAGING, AFTER_KIT, AFTER_RUNTIME, AFTER_CLIENT };

struct TransferKind {
    int iKit;            /* the installer (HelperKit); -1: the print client */
    const char *szMoved; /* where a locked old file is moved aside; NULL: no clean-up */
    const char *szLogPrefix;
    AfterEnd eAfter;
    bool bKitMoveLog; /* "<prefix> KELMoveFile(...)" rather than "KELMoveFileEx(...) SUCCESS" */
};

/* In the order of the sub-codes (UpdateTransferIndex); the kits' file
 * names are the helper's (KitFileName). */
const TransferKind kKinds[UPDATE_TRANSFER_KINDS] = {
    {KIT_SERVICE, "ServiceSpoolMoved.exe", "ReceiveServiceUpdate", AFTER_SERVICE, false},
    {KIT_IMAGING, NULL, "ReceiveImagingUpdate", AFTER_IMAGING, true},
    {KIT_ECG, NULL, "ReceiveEcgUpdate", AFTER_KIT, true},
    {KIT_CONVERTER, NULL, "ReceiveAmyuniUpdate", AFTER_KIT, true},
    {KIT_PDF, NULL, "ReceiveKelPdfTronUpdate", AFTER_KIT, true},
    {KIT_VC8, "vcredist_x86_v2Moved.exe", "ReceiveVC8RuntimeUpdate", AFTER_RUNTIME, false},
    {KIT_VC9, "vc2008redist_x86Moved.exe", "ReceiveVC9RuntimeUpdate", AFTER_RUNTIME, false},
    {-1, NULL, "ReceiveNovarcPrintUpdate", AFTER_CLIENT, false},
};

struct Transfer {
    bool bUnderWay = false;
    SOCKET owner = INVALID_SOCKET;
    HANDLE hFile = INVALID_HANDLE_VALUE;
    bool bError = false; /* the temporary file could not be made (or was given up) */
    DWORD dwStart = 0;
    DWORD dwLast = 0;
    long long llBytes = 0;
    int iA = 0, iB = 0;
    char szTemp[MAX_PATH] = "";
    char szFinal[MAX_PATH] = "";
};

Transfer g_transfers[UPDATE_TRANSFER_KINDS];

bool TakesPrintPort(int iIndex)
{
    return kKinds[iIndex].eAfter == AFTER_SERVICE || kKinds[iIndex].eAfter == AFTER_IMAGING;
}

void CloseTemp(Transfer &t)
{
    if (t.hFile != INVALID_HANDLE_VALUE)
        CloseHandle(t.hFile);
    t.hFile = INVALID_HANDLE_VALUE;
}

/* Back to expecting the first chunk; the temporary file goes unless kept. */
void Reset(Transfer &t, bool bDeleteTemp)
{
    CloseTemp(t);
    if (bDeleteTemp && t.szTemp[0])
        DeleteFileA(t.szTemp);
    t = Transfer();
}

/* The paths of a transfer in the transfer folder, through the one check for
 * names that reach the disk. */
bool TransferPaths(int iIndex, Transfer &t)
{
    char szName[64], szTempName[80];
    if (kKinds[iIndex].iKit >= 0)
        snprintf(szName, sizeof(szName), "%s", KitFileName(kKinds[iIndex].iKit));
    else
        snprintf(szName, sizeof(szName), UPDATE_CLIENT_NAME, t.iB, t.iA);
    if (kKinds[iIndex].eAfter == AFTER_CLIENT)
        snprintf(szTempName, sizeof(szTempName), "PRT_TMP%s", szName);
    else
        snprintf(szTempName, sizeof(szTempName), "%s%s", szName, UPDATE_TEMP_SUFFIX);
    if (KELPeerFileInFolder(TRANSFER_DIR, szName, KEL_PATH_WRITE, t.szFinal, sizeof(t.szFinal)) &&
        KELPeerFileInFolder(TRANSFER_DIR, szTempName, KEL_PATH_WRITE, t.szTemp, sizeof(t.szTemp)))
        return true;
    LogLine("%s transfer refused <%s>: %s", kKinds[iIndex].szLogPrefix, szName,
            KELPeerPathReason(GetLastError()));
    t.szTemp[0] = t.szFinal[0] = 0;
    return false;
}

void LogDelete(const char *szPrefix, const char *szPath)
{
    SetFileAttributesA(szPath, FILE_ATTRIBUTE_NORMAL);
    const bool bDeleted = DeleteFileA(szPath) || GetLastError() == ERROR_FILE_NOT_FOUND;
    LogLine("%s DeleteFile( %s ) %s", szPrefix, szPath, bDeleted ? "SUCCESS" : "FAILED");
}

/* Before a program's first chunk: the old copies go, a locked one moved aside. */
void PreTransferCleanup(int iIndex, const Transfer &t)
{
    const char *szPrefix = kKinds[iIndex].szLogPrefix;
    char szMovedName[80], szMoved[MAX_PATH];
    if (kKinds[iIndex].szMoved)
        snprintf(szMovedName, sizeof(szMovedName), "%s", kKinds[iIndex].szMoved);
    else
        snprintf(szMovedName, sizeof(szMovedName), "Novarcprint.%d.%d.Moved.exe", t.iB, t.iA);
    if (!KELPeerFileInFolder(TRANSFER_DIR, szMovedName, KEL_PATH_WRITE, szMoved, sizeof(szMoved)))
        return;
    LogLine("%s BEGIN Pre Transfer Cleanup: %s", szPrefix, t.szFinal);
    LogDelete(szPrefix, szMoved);
    SetFileAttributesA(t.szFinal, FILE_ATTRIBUTE_NORMAL);
    if (!DeleteFileA(t.szFinal) && GetLastError() != ERROR_FILE_NOT_FOUND) {
        LogLine("%s DeleteFile( %s ) FAILED", szPrefix, t.szFinal);
        if (MoveFileExA(t.szFinal, szMoved, MOVEFILE_REPLACE_EXISTING))
            LogDelete(szPrefix, szMoved);
    } else {
        LogLine("%s DeleteFile( %s ) SUCCESS", szPrefix, t.szFinal);
    }
    LogDelete(szPrefix, t.szTemp);
    LogLine("%s END Pre Transfer Cleanup: %s", szPrefix, t.szFinal);
}

void TakePrintPort(int iIndex, SOCKET sock)
{
    PrintkeeperGlobals &g = g_Printkeeper;
    if (kKinds[iIndex].eAfter == AFTER_SERVICE) {
        g.sockUpdate = sock;
        LogLine("RECEIVE_SERVICE_UPDATE closeConnection(13001)");
    } else {
        LogLine("RECEIVE_IMAGING_UPDATE closeConnection(13001)");
    }
    ClosePrintListener();
}

/* The first chunk: a new transfer owned by sock.  Status to answer. */
int StartTransfer(int iIndex, SOCKET sock, const UpdateMessage &msg)
{
    Transfer &t = g_transfers[iIndex];
    const char *szPrefix = kKinds[iIndex].szLogPrefix;
    t.bUnderWay = true;
    t.owner = sock;
    t.bError = false;
    t.dwStart = t.dwLast = GetTickCount();
    t.iA = msg.iA;
    t.iB = msg.iB;
    if (kKinds[iIndex].eAfter == AFTER_CLIENT && (t.iA <= 0 || t.iB <= 0)) {
        LogLine("%s Starting Transfer: version %d.%d refused", szPrefix, t.iA, t.iB);
        t.bError = true;
        return UPD_STATUS_FAILED;
    }
    if (TakesPrintPort(iIndex))
        TakePrintPort(iIndex, sock);
    CreateFolderTree(TRANSFER_DIR);
    if (!TransferPaths(iIndex, t)) {
        t.bError = true;
        return UPD_STATUS_FAILED;
    }
    if (kKinds[iIndex].szMoved || kKinds[iIndex].eAfter == AFTER_CLIENT)
        PreTransferCleanup(iIndex, t);
    LogLine("%s Starting Transfer: %s", szPrefix, t.szTemp);
    DeleteFileA(t.szTemp);
    t.hFile = CreateProgramFile(t.szTemp);
    if (t.hFile == INVALID_HANDLE_VALUE) {
        LogLine("%s Starting Transfer: %s ERROR fopen( FAILED )", szPrefix, t.szTemp);
        t.bError = true;
        return UPD_STATUS_FAILED;
    }
    return UPD_STATUS_ACCEPTED;
}

/* Appends a chunk; a write that fails or passes the bound gives the
 * transfer up (its file goes, later data is refused, the end resets). */
int AppendChunk(int iIndex, const char *pChunk, int iLen)
{
    Transfer &t = g_transfers[iIndex];
    const char *szPrefix = kKinds[iIndex].szLogPrefix;
    t.dwLast = GetTickCount();
    if (t.llBytes + iLen > UPDATE_MAX_TRANSFER_BYTES) {
        LogLine("%s transfer of %s abandoned: more than %d bytes", szPrefix, t.szTemp,
                UPDATE_MAX_TRANSFER_BYTES);
        CloseTemp(t);
        DeleteFileA(t.szTemp);
        t.bError = true;
        return UPD_STATUS_FAILED;
    }
    DWORD dwWritten = 0;
    if (iLen > 0 &&
        (!WriteFile(t.hFile, pChunk, (DWORD)iLen, &dwWritten, NULL) || dwWritten != (DWORD)iLen)) {
        LogLine("%s transfer of %s abandoned: write failed ERROR:%d", szPrefix, t.szTemp,
                (int)GetLastError());
        CloseTemp(t);
        DeleteFileA(t.szTemp);
        t.bError = true;
        return UPD_STATUS_FAILED;
    }
    t.llBytes += iLen;
    return UPD_STATUS_ACCEPTED;
}

void OnData(int iIndex, SOCKET sock, const UpdateMessage &msg)
{
    Transfer &t = g_transfers[iIndex];
    int iStatus;
    if (!t.bUnderWay) {
        iStatus = StartTransfer(iIndex, sock, msg);
        if (iStatus == UPD_STATUS_ACCEPTED)
            iStatus = AppendChunk(iIndex, msg.pChunk, msg.iChunkLen);
    } else if (t.bError) {
        iStatus = UPD_STATUS_FAILED; /* no file: the data has nowhere to go */
    } else {
        iStatus = AppendChunk(iIndex, msg.pChunk, msg.iChunkLen);
    }
    SendStatusReply(sock, iStatus);
}

/* Size check of the closed temporary file; true when it may be used. */
bool Verify(int iIndex, int iExpected)
{
    Transfer &t = g_transfers[iIndex];
    if (iExpected <= 0)
        return true; /* the server asked for no check */
    LogLine("Verify: %s", t.szTemp);
    const DWORD dwSize = GetFileSize(t.hFile, NULL);
    if (dwSize == INVALID_FILE_SIZE || (long long)dwSize != (long long)iExpected ||
        t.llBytes != iExpected) {
        LogLine("Verify: %s Filesize FAILED", t.szTemp);
        return false;
    }
    LogLine("Verify OK: %s", t.szTemp);
    return true;
}

/* After a verified end: the file moved to its final name and installed.
 * The status and the end acknowledgement go out as each kind needs them
 * (a service update's before its installer may end this process). */
void FinishTransfer(int iIndex, SOCKET sock, const Transfer &done)
{
    const char *szPrefix = kKinds[iIndex].szLogPrefix;
    const bool bMoved =
        KELMoveFileEx(done.szTemp, done.szFinal, MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED);
    if (kKinds[iIndex].bKitMoveLog)
        LogLine("%s KELMoveFile(%s,%s)%s", szPrefix, done.szTemp, done.szFinal,
                bMoved ? "" : " FAILED");
    else
        LogLine("KELMoveFileEx(%s,%s) %s", done.szTemp, done.szFinal,
                bMoved ? "SUCCESS" : "FAILED");
    if (!bMoved) {
        DeleteFileA(done.szTemp);
        if (TakesPrintPort(iIndex))
            PostMessageA(g_Printkeeper.hMainWnd, WM_RESTART_LISTEN, 0, 0);
        /* Nothing stale is run in its place. */
        SendStatusReply(sock, UPD_STATUS_FAILED);
        SendEndAck(sock);
        return;
    }
    switch (kKinds[iIndex].eAfter) {
    case AFTER_SERVICE:
        InstallServiceUpdate(sock, done.szFinal);
        break;
    case AFTER_IMAGING:
    case AFTER_KIT:
        InstallKit(sock, kKinds[iIndex].iKit, done.szFinal);
        break;
    case AFTER_RUNTIME:
        InstallRuntime(sock, kKinds[iIndex].iKit, done.szFinal);
        break;
    case AFTER_CLIENT:
        SendStatusReply(sock, InstallClient(done.szFinal, done.iA, done.iB));
        SendEndAck(sock);
        break;
    }
}

void OnEnd(int iIndex, SOCKET sock, const UpdateMessage &msg)
{
    Transfer &t = g_transfers[iIndex];
    const char *szPrefix = kKinds[iIndex].szLogPrefix;
    if (!t.bUnderWay || t.bError) {
        if (TakesPrintPort(iIndex) && t.bUnderWay) {
            LogLine("%s NoFile closeConnection(13001) and send RESTART_MESSAGE", szPrefix);
            PostMessageA(g_Printkeeper.hMainWnd, WM_RESTART_LISTEN, 0, 0);
        } else if (!t.bUnderWay) {
            LogLine("%s end without a transfer", szPrefix);
        }
        Reset(t, true);
        SendStatusReply(sock, UPD_STATUS_FAILED);
        SendEndAck(sock);
        return;
    }
    const bool bVerified = Verify(iIndex, msg.iExpectedSize);
    CloseTemp(t);
    /* The transfer is over whatever follows: a new one may start while an
     * installer runs. */
    const Transfer done = t;
    Reset(t, !bVerified);
    if (!bVerified) {
        if (TakesPrintPort(iIndex))
            PostMessageA(g_Printkeeper.hMainWnd, WM_RESTART_LISTEN, 0, 0);
        SendStatusReply(sock, UPD_STATUS_FAILED);
        SendEndAck(sock);
        return;
    }
    FinishTransfer(iIndex, sock, done);
}

} // namespace

/* Every transfer is a program.  Its file starts as a copy of the installed
 * client, emptied, so that it has what a program file needs here to be
 * run (on Linux the execute permission, which a file made by CreateFileA
 * lacks); without a client to copy it is made plain. */
HANDLE CreateProgramFile(const char *szPath)
{
    if (CopyFileA(DEFAULT_CLIENT_PATH, szPath, FALSE)) {
        HANDLE hFile = CreateFileA(szPath, GENERIC_WRITE, 0, NULL, TRUNCATE_EXISTING,
                                   FILE_ATTRIBUTE_NORMAL, NULL);
        if (hFile != INVALID_HANDLE_VALUE)
            return hFile;
    }
    return CreateFileA(szPath, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
}

const char *TransferLogPrefix(int iIndex)
{
    return iIndex >= 0 && iIndex < UPDATE_TRANSFER_KINDS ? kKinds[iIndex].szLogPrefix : "";
}

void HandleTransferMessage(SOCKET sock, const UpdateMessage &msg, int iIndex, bool bEnd)
{
    Transfer &t = g_transfers[iIndex];
    if (t.bUnderWay && t.owner != sock) {
        /* Another connection's transfer: not a byte of this one reaches it. */
        LogLine("%s message from another connection refused", kKinds[iIndex].szLogPrefix);
        SendStatusReply(sock, UPD_STATUS_FAILED);
        if (bEnd)
            SendEndAck(sock);
        return;
    }
    t.dwLast = GetTickCount();
    if (bEnd)
        OnEnd(iIndex, sock, msg);
    else
        OnData(iIndex, sock, msg);
}

void AbortTransfersOf(SOCKET sock)
{
    for (int i = 0; i < UPDATE_TRANSFER_KINDS; i++) {
        Transfer &t = g_transfers[i];
        if (!t.bUnderWay || t.owner != sock)
            continue;
        /* The half-made file goes before the line saying so: whoever reads
         * the log then finds the transfer folder as the line says. */
        char szTemp[sizeof(t.szTemp)];
        snprintf(szTemp, sizeof(szTemp), "%s", t.szTemp[0] ? t.szTemp : "(no file)");
        Reset(t, true);
        LogLine("%s transfer of %s aborted: connection closed", kKinds[i].szLogPrefix, szTemp);
    }
}

void CheckTransferBounds()
{
    const DWORD dwNow = GetTickCount();
    bool bRestart = false;
    for (int i = 0; i < UPDATE_TRANSFER_KINDS; i++) {
        Transfer &t = g_transfers[i];
        if (!t.bUnderWay)
            continue;
        const DWORD dwIdle = dwNow - t.dwLast, dwAll = dwNow - t.dwStart;
        if (dwIdle <= UPDATE_TRANSFER_IDLE_MS && dwAll <= UPDATE_TRANSFER_MAX_MS)
            continue;
        bRestart = bRestart || TakesPrintPort(i);
        if (t.bError) {
            /* Given up a while ago and its connection said nothing since:
             * the kind is free for the next transfer. */
            Reset(t, true);
            continue;
        }
        /* Its file goes (before the line saying so); should the owner come
         * back, its data is refused and its end resets, rather than
         * starting a truncated file. */
        CloseTemp(t);
        DeleteFileA(t.szTemp);
        LogLine("%s transfer of %s abandoned: %s", kKinds[i].szLogPrefix, t.szTemp,
                dwIdle > UPDATE_TRANSFER_IDLE_MS ? "no data in time" : "too long");
        t.bError = true;
        t.dwLast = t.dwStart = dwNow;
    }
    if (bRestart && g_Printkeeper.sockListen == INVALID_SOCKET)
        PostMessageA(g_Printkeeper.hMainWnd, WM_RESTART_LISTEN, 0, 0);
}

bool TransferHoldsPrintPort()
{
    for (int i = 0; i < UPDATE_TRANSFER_KINDS; i++)
        if (g_transfers[i].bUnderWay && TakesPrintPort(i))
            return true;
    return false;
}
