/*
 * The server's plain file commands: a named file sent in pieces and written
 * where the server says (bounded in size), the deletion of a named file, and
 * the SHA-256 of a named file sent back.  Each has one payload reader; a
 * malformed payload fails its request with a log line.  Every path goes
 * through KELPeerPath first: the server names files on the workstation, but
 * never in the program folders, never through a link, never outside the
 * drives; a refused path fails that request with a log line.  The
 * transfer in progress is the session's (m_NamedFile).
 */
#include <cstring>

#include "workers.h"

namespace {

struct NamedFilePiece {
    int iFileId;
    int iPieceNumber;
};

void CloseTransfer(NamedFileTransfer &t)
{
    t.bOpen = false;
    t.iNextPiece = 0;
    FreeMsgBuf(&t.data);
}

/* A path that fits whole, or failure: a cut path would name another file. */
bool ReadPath(MsgBuf *pMsg, char *szPath)
{
    if (pMsg->iLen <= 0)
        return false;
    const void *pNul = memchr(pMsg->szBuf, 0, pMsg->iLen);
    if (!pNul || (const char *)pNul - pMsg->szBuf >= MAX_PATH)
        return false;
    TakeString(pMsg, szPath, MAX_PATH);
    return szPath[0] != 0;
}

/* The plain form of a path the server named, or false after a log line
 * saying why it is refused. */
bool AllowedPath(NovarcprintProcess *pSession, const char *szRequest, const char *szPath,
                 int iAccess, char *szFull)
{
    if (KELPeerPath(szPath, iAccess, szFull, MAX_PATH))
        return true;
    const DWORD dwError = GetLastError();
    pSession->Log("%s refused <%s>: %s", szRequest, szPath, KELPeerPathReason(dwError));
    return false;
}

bool ReadTransferHeader(MsgBuf *pMsg, NamedFileHeader *pHeader)
{
    if (pMsg->iLen < 4)
        return false;
    pHeader->iFileId = TakeInt(pMsg);
    if (!ReadPath(pMsg, pHeader->szPath) || pMsg->iLen < 8)
        return false;
    pHeader->iTotalSize = TakeInt(pMsg);
    pHeader->iFlags = TakeInt(pMsg);
    return true;
}

bool ReadPieceHeader(MsgBuf *pMsg, NamedFilePiece *pPiece)
{
    if (pMsg->iLen < 8)
        return false;
    pPiece->iFileId = TakeInt(pMsg);
    pPiece->iPieceNumber = TakeInt(pMsg);
    return true;
}

void CreateParentFolders(const char *szPath)
{
    char szDir[MAX_PATH];
    snprintf(szDir, sizeof(szDir), "%s", szPath);
    char *pLast = NULL;
    for (char *p = szDir; *p; p++)
        if (*p == '\\' || *p == '/')
            pLast = p;
    if (!pLast)
        return;
    *pLast = 0;
    for (char *p = szDir + 1; *p; p++) {
        if (*p != '\\' && *p != '/')
            continue;
        char c = *p;
        *p = 0;
        CreateDirectoryA(szDir, NULL);
        *p = c;
    }
    CreateDirectoryA(szDir, NULL);
}

/* The bytes into a file beside the target, which then takes the target's
 * name: a failed or short write never leaves a partial file under the name
 * the server asked for, nor spoils the file that was there before. */
bool WriteBeside(NovarcprintProcess *pSession, const char *szTarget, const char *pData, int iLen)
{
    char szPart[MAX_PATH];
    char szFull[MAX_PATH];
    if (snprintf(szPart, sizeof(szPart), "%s.part", szTarget) >= (int)sizeof(szPart) ||
        !AllowedPath(pSession, "SEND_NAMED_FILE", szPart, KEL_PATH_WRITE, szFull)) {
        pSession->Log("SEND_NAMED_FILE no room beside <%s>", szTarget);
        return false;
    }
    /* A file there that this process may not write stays as it is: the
     * rename would otherwise replace it on the folder's permission alone. */
    HANDLE hFile = CreateFileA(szTarget, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
    if (hFile != INVALID_HANDLE_VALUE)
        CloseHandle(hFile);
    else if (GetLastError() != ERROR_FILE_NOT_FOUND) {
        pSession->Log("SEND_NAMED_FILE cannot create <%s> ERROR:%d", szTarget, (int)GetLastError());
        return false;
    }
    hFile = CreateFileA(szPart, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (hFile == INVALID_HANDLE_VALUE) {
        pSession->Log("SEND_NAMED_FILE cannot create <%s> ERROR:%d", szPart, (int)GetLastError());
        return false;
    }
    DWORD dwWritten = 0;
    bool bOk = iLen <= 0 ||
               (WriteFile(hFile, pData, (DWORD)iLen, &dwWritten, NULL) && dwWritten == (DWORD)iLen);
    DWORD dwError = bOk ? 0 : GetLastError();
    if (!CloseHandle(hFile) && bOk) {
        bOk = false;
        dwError = GetLastError();
    }
    if (bOk && !MoveFileExA(szPart, szTarget, MOVEFILE_REPLACE_EXISTING)) {
        bOk = false;
        dwError = GetLastError();
    }
    if (!bOk) {
        pSession->Log("SEND_NAMED_FILE write failed <%s> wrote<%d> of <%d> ERROR:%d", szTarget,
                      (int)dwWritten, iLen, (int)dwError);
        DeleteFileA(szPart);
    }
    return bOk;
}

void WriteNamedFile(NovarcprintProcess *pSession)
{
    NamedFileTransfer &t = pSession->m_NamedFile;
    const NamedFileHeader &h = t.header;
    if (h.iFlags & NAMED_FILE_MAKE_DIR)
        CreateParentFolders(h.szPath);
    /* Again now that the folders exist: nothing on the way may have become
     * a link since the first piece. */
    char szFull[MAX_PATH];
    if (!AllowedPath(pSession, "SEND_NAMED_FILE", h.szPath, KEL_PATH_WRITE, szFull))
        return;
    int iLen = t.data.iLen;
    if ((h.iFlags & NAMED_FILE_ZIPPED) && iLen > 0 && !KELUnzipInPlace(&t.data.szBuf, &iLen)) {
        pSession->Log("SEND_NAMED_FILE inflate failed <%s>", h.szPath);
        return;
    }
    t.data.iLen = iLen;
    if (t.data.iBufSize < iLen)
        t.data.iBufSize = iLen;
    if (WriteBeside(pSession, h.szPath, t.data.szBuf, iLen))
        pSession->Log("SEND_NAMED_FILE wrote <%s> %d bytes", h.szPath, iLen);
}

/* One pass over a piece; false when it does not continue the open transfer. */
enum PieceResult { PIECE_TAKEN, PIECE_MISMATCH, PIECE_FAILED };

PieceResult TakePiece(NovarcprintProcess *pSession, MsgBuf *pMsg)
{
    NamedFileTransfer &t = pSession->m_NamedFile;
    if (!t.bOpen) {
        NamedFileHeader header;
        if (!ReadTransferHeader(pMsg, &header)) {
            pSession->Log("SEND_NAMED_FILE malformed transfer header");
            return PIECE_FAILED;
        }
        if (header.iTotalSize < 0 || header.iTotalSize > NAMED_FILE_MAX_BYTES) {
            pSession->Log("SEND_NAMED_FILE size<%d> over limit<%d> dropped", header.iTotalSize,
                          NAMED_FILE_MAX_BYTES);
            return PIECE_FAILED;
        }
        /* Refused before a byte is collected; the plain form is kept. */
        char szFull[MAX_PATH];
        if (!AllowedPath(pSession, "SEND_NAMED_FILE", header.szPath, KEL_PATH_WRITE, szFull))
            return PIECE_FAILED;
        memcpy(header.szPath, szFull, sizeof(szFull));
        t.header = header;
        t.bOpen = true;
        t.iNextPiece = -1;
    }
    NamedFilePiece piece;
    if (!ReadPieceHeader(pMsg, &piece)) {
        pSession->Log("SEND_NAMED_FILE malformed piece header");
        return PIECE_FAILED;
    }
    if (piece.iFileId == 0)
        return PIECE_FAILED;
    /* The first piece sets the numbering; later ones must follow it. */
    if (t.iNextPiece == -1)
        t.iNextPiece = piece.iPieceNumber;
    if (piece.iFileId != t.header.iFileId || piece.iPieceNumber != t.iNextPiece)
        return PIECE_MISMATCH;
    if (pMsg->iLen > t.header.iTotalSize - t.data.iLen) {
        pSession->Log("SEND_NAMED_FILE piece beyond size<%d> dropped", t.header.iTotalSize);
        return PIECE_FAILED;
    }
    if (pMsg->iLen > 0 && !AppendBytes(&t.data, pMsg->szBuf, pMsg->iLen))
        return PIECE_FAILED;
    t.iNextPiece++;
    return PIECE_TAKEN;
}

} // namespace

int HandleSendNamedFile(NovarcprintProcess *pSession, MsgBuf *pMsg, int)
{
    NamedFileTransfer &transfer = pSession->m_NamedFile;
    PieceResult result = PIECE_FAILED;
    for (int iAttempt = 0; iAttempt < 2; iAttempt++) {
        MsgBuf copy = MsgBuf();
        if (pMsg->iLen > 0 && !AppendBytes(&copy, pMsg->szBuf, pMsg->iLen))
            break;
        result = TakePiece(pSession, &copy);
        FreeMsgBuf(&copy);
        if (result != PIECE_MISMATCH)
            break;
        pSession->Log("SEND_NAMED_FILE piece out of order, restarting");
        CloseTransfer(transfer);
    }
    if (result != PIECE_TAKEN) {
        CloseTransfer(transfer);
        return 0;
    }
    if (transfer.data.iLen >= transfer.header.iTotalSize) {
        WriteNamedFile(pSession);
        CloseTransfer(transfer);
    }
    return 1;
}

int HandleReceiveDeleteFile(NovarcprintProcess *pSession, MsgBuf *pMsg, int)
{
    char szPath[MAX_PATH];
    if (!ReadPath(pMsg, szPath)) {
        pSession->Log("RECEIVE_DELETE_FILE malformed path");
        return 0;
    }
    char szFull[MAX_PATH];
    if (!AllowedPath(pSession, "RECEIVE_DELETE_FILE", szPath, KEL_PATH_WRITE, szFull))
        return 0;
    if (!DeleteFileA(szFull))
        pSession->Log("RECEIVE_DELETE_FILE <%s> ERROR:%d", szFull, (int)GetLastError());
    return 1;
}

namespace {

/* The hex SHA-256 of the whole file, or "" when it cannot be read whole. */
void FileChecksum(const char *szPath, char *szOut, int iOutSize)
{
    szOut[0] = 0;
    HANDLE hFile = CreateFileA(szPath, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, NULL);
    if (hFile == INVALID_HANDLE_VALUE)
        return;
    DWORD dwSize = GetFileSize(hFile, NULL);
    if (dwSize != INVALID_FILE_SIZE && dwSize <= CHECKSUM_MAX_BYTES) {
        char *pData = new (std::nothrow) char[dwSize + 1];
        DWORD dwRead = 0;
        if (pData && ReadFile(hFile, pData, dwSize, &dwRead, NULL) && dwRead == dwSize)
            snprintf(szOut, iOutSize, "%s", Sha256(pData, dwSize, 0));
        delete[] pData;
    }
    CloseHandle(hFile);
}

} // namespace

int HandleSendNamedFileChecksum(NovarcprintProcess *pSession, MsgBuf *pMsg, int)
{
    char szPath[MAX_PATH] = "";
    char szHex[72] = "";
    char szFull[MAX_PATH];
    /* A refused path is answered as a missing file: the server learns
     * nothing about what lies behind it. */
    if (!ReadPath(pMsg, szPath))
        pSession->Log("SEND_NAMED_FILE_CHECKSUM malformed path");
    else if (AllowedPath(pSession, "SEND_NAMED_FILE_CHECKSUM", szPath, KEL_PATH_READ, szFull))
        FileChecksum(szFull, szHex, sizeof(szHex));
    pSession->Log("SEND_NAMED_FILE_CHECKSUM <%s> <%s>", szPath, szHex);
    MsgBuf reply = MsgBuf();
    int iOk = AppendByte(&reply, REPLY_CHECKSUM) && AppendInt(&reply, SEND_NAMED_FILE_CHECKSUM) &&
              AppendString(&reply, szHex, 0);
    if (iOk)
        SendMessageWithSize(pSession->m_sockReply, reply.szBuf, reply.iLen, REPLY_OPTIONS);
    FreeMsgBuf(&reply);
    return iOk;
}
