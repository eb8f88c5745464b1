/*
 * The five piecewise transfers (image, letterhead, annotation, drawing,
 * signature) as one: the first data piece names the file and creates it in
 * the cache, later pieces add to it, the end closes it and does what the
 * kind does with a finished file.  The table below is everything that
 * differs between the kinds; the pieces' handling is the same for all.
 *
 * Sound where the old receivers were not: a name must be a bare file name
 * in the cache folder (else the transfer is dropped whole); a transfer
 * stops at IMAGE_TRANSFER_MAX_BYTES; an end or abort with no transfer open
 * is ignored; after a file that could not be created the end resets the
 * kind, so the next transfer starts afresh instead of being dropped too.
 */
#include <cstdio>
#include <cstring>

#include "images.h"

namespace {

typedef void (*TransferEnd)(NovarcprintProcess *s, ReceptionRecord &r);

void EndImage(NovarcprintProcess *s, ReceptionRecord &r);
void EndLetterhead(NovarcprintProcess *s, ReceptionRecord &r);
void EndAnnotation(NovarcprintProcess *s, ReceptionRecord &r);
void EndDaw(NovarcprintProcess *s, ReceptionRecord &r);
void EndSignature(NovarcprintProcess *s, ReceptionRecord &r);

struct TransferRow {
    TransferKind kind;
    const char *szWho;    /* the receiver's name in log lines */
    const char *szSuffix; /* added to the name for the file written */
    bool bPidPrefix;      /* the file is "<process id>_<name>" */
    bool bDropEndOnError; /* an end after a failed creation does nothing */
    bool bInMemory;       /* collected in memory and written at the end */
    TransferEnd pEnd;
};

// clang-format off
const TransferRow kTransfers[TRANSFER_KINDS] = {
/*   kind, who, suffix, pid prefix, drop end on error, in memory, end */
    {TRANSFER_IMAGE, "ReceiveImageFile", "", false, true, true, EndImage},
    {TRANSFER_LETTERHEAD, "ReceiveLetterheadFile", "", false, false, false, EndLetterhead},
    {TRANSFER_ANNOTATION, "ReceiveAnnotationFile", ".zz", false, false, false, EndAnnotation},
    {TRANSFER_DAW, "ReceiveDawImage", "", false, true, false, EndDaw},
    {TRANSFER_SIGNATURE, "ReceiveSignatureImage", "", true, true, false, EndSignature},
};
// clang-format on

void CloseFile(ReceptionRecord &r)
{
    if (r.hFile != INVALID_HANDLE_VALUE)
        CloseHandle(r.hFile);
    r.hFile = INVALID_HANDLE_VALUE;
}

/* Back to "no transfer": the next data piece starts one. */
void Reset(ReceptionRecord &r)
{
    CloseFile(r);
    FreeMsgBuf(&r.ImageDataMs);
    r.iState = -1;
    r.iError = 0;
    r.llBytes = 0;
}

/* Drops the transfer whole: nothing of it stays in the cache. */
void Drop(NovarcprintProcess *s, const TransferRow &row, ReceptionRecord &r, const char *szWhy)
{
    s->Log("%s(%s) dropped: %s", row.szWho, r.szName, szWhy);
    CloseFile(r);
    FreeMsgBuf(&r.ImageDataMs);
    if (r.szPath[0])
        DeleteFileA(r.szPath);
    r.szPath[0] = 0;
    r.iError = 1; /* the rest of its pieces are dropped until its end */
}

/* The name the file is stored under and its full path. */
bool StoredPath(NovarcprintProcess *s, const TransferRow &row, ReceptionRecord &r)
{
    char szFile[IMAGE_NAME_SIZE + 16];
    if (row.kind == TRANSFER_IMAGE) {
        /* Names not already enciphered are kept enciphered as "<name>.x2m",
         * the name the image is printed and asked for under from now on. */
        r.iEncrypt = !IsEncipheredName(r.szName) && !IsPayloadCipheredName(r.szName);
        if (r.iEncrypt && strlen(r.szName) + 4 >= sizeof(r.szName))
            return false;
        if (r.iEncrypt)
            strcat(r.szName, ".x2m");
        snprintf(szFile, sizeof(szFile), "%s", r.szName);
    } else if (row.bPidPrefix) {
        /* The prefix would make a device name such as "CON.tif" harmless,
         * but a name the server may not use is refused whatever is added. */
        if (!KELPeerFileName(r.szName))
            return CachePath(s, row.szWho, r.szName, r.szPath);
        snprintf(szFile, sizeof(szFile), "%d_%s", s->m_iProcessId, r.szName);
    } else {
        snprintf(szFile, sizeof(szFile), "%s%s", r.szName, row.szSuffix);
    }
    return CachePath(s, row.szWho, szFile, r.szPath);
}

void StartTransfer(NovarcprintProcess *s, const TransferRow &row, ReceptionRecord &r,
                   const PieceView &piece)
{
    r.iState = 0;
    r.iError = 0;
    r.iPage = 0;
    r.iEncrypt = 0;
    r.llBytes = 0;
    r.szPath[0] = 0;
    TransferStart start;
    if (!ReadTransferStart(row.kind, piece.pRest, piece.iRestLen, &start)) {
        r.szName[0] = 0;
        Drop(s, row, r, "malformed first piece");
        return;
    }
    snprintf(r.szName, sizeof(r.szName), "%s", start.szName);
    memcpy(r.iValues, start.iValues, sizeof(r.iValues));
    r.iPage = start.iValues[0];
    CreateDirectoryA(IMAGE_CACHE_FOLDER, NULL);
    if (!StoredPath(s, row, r)) {
        Drop(s, row, r, "not a cache file name");
        return;
    }
    r.hFile =
        CreateFileA(r.szPath, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (r.hFile == INVALID_HANDLE_VALUE) {
        s->Log("%s(%s) CreateFile ERROR:%d", row.szWho, r.szPath, (int)GetLastError());
        r.iError = 1;
        r.szPath[0] = 0;
        return;
    }
    if (row.bInMemory && !InitMsgBuf(&r.ImageDataMs, IMAGE_BUFFER_INITIAL))
        Drop(s, row, r, "no memory");
    s->Log("%s(%s) started", row.szWho, r.szPath);
}

bool WriteAll(HANDLE hFile, const char *p, int iLen)
{
    while (iLen > 0) {
        DWORD dwDone = 0;
        if (!WriteFile(hFile, p, (DWORD)iLen, &dwDone, NULL) || dwDone == 0)
            return false;
        p += dwDone;
        iLen -= (int)dwDone;
    }
    return true;
}

void AddPiece(NovarcprintProcess *s, const TransferRow &row, ReceptionRecord &r,
              const PieceView &piece)
{
    if (piece.iRestLen > IMAGE_TRANSFER_MAX_BYTES - r.llBytes) {
        Drop(s, row, r, "larger than a transfer may be");
        return;
    }
    r.llBytes += piece.iRestLen;
    const bool bOk = row.bInMemory ? AppendBytes(&r.ImageDataMs, piece.pRest, piece.iRestLen) != 0
                                   : WriteAll(r.hFile, piece.pRest, piece.iRestLen);
    if (!bOk)
        Drop(s, row, r, row.bInMemory ? "no memory" : "write failed");
}

} // namespace

int ReceiveTransferPiece(NovarcprintProcess *s, TransferKind kind, const char *pData, int iLen,
                         int iPiece)
{
    const TransferRow &row = kTransfers[kind];
    ReceptionRecord &r = s->m_Images.m_Transfer[kind];
    PieceView piece;
    if (!ReadPiece(pData, iLen, &piece)) {
        /* Without its mode an end cannot say whether to print: the
         * transfer fails whole and the server sends it again. */
        s->Log("%s piece without its mode byte", row.szWho);
        if (iPiece != PIECE_DATA && r.iState == 0) {
            Drop(s, row, r, "end without its mode byte");
            Reset(r);
        }
        return 0;
    }
    r.iMode = piece.iMode;
    if (iPiece != PIECE_DATA && r.iState != 0) {
        s->Log("%s %s with no transfer open, ignored", row.szWho,
               iPiece == PIECE_END ? "end" : "abort");
        return 0;
    }
    if (r.iError) {
        if (iPiece == PIECE_DATA)
            return 0;
        const bool bAct = iPiece == PIECE_END && !row.bDropEndOnError;
        Reset(r);
        if (bAct)
            row.pEnd(s, r);
        return 0;
    }
    if (iPiece == PIECE_ABORT) {
        Drop(s, row, r, "aborted by the server");
        Reset(r);
        return 1;
    }
    if (iPiece == PIECE_END) {
        row.pEnd(s, r);
        return 1;
    }
    if (r.iState != 0)
        StartTransfer(s, row, r, piece);
    else
        AddPiece(s, row, r, piece);
    return r.iError ? 0 : 1;
}

void ReleaseTransfers(NovarcprintProcess *s)
{
    for (ReceptionRecord &r : s->m_Images.m_Transfer)
        Reset(r);
}

void TakeLetterheadName(NovarcprintProcess *s, const char *szName)
{
    ImagesState &im = s->m_Images;
    if (++im.m_iLetterheadCount > 2)
        im.m_iLetterheadCount = 1;
    snprintf(im.m_szLetterhead[im.m_iLetterheadCount - 1], LETTERHEAD_NAME_SIZE, "%s", szName);
}

namespace {

void EndImage(NovarcprintProcess *s, ReceptionRecord &r)
{
    const TransferRow &row = kTransfers[TRANSFER_IMAGE];
    MsgBuf &buf = r.ImageDataMs;
    if (buf.iLen > 0 && !(r.iMode & 0x10)) {
        if (KELUnzipInPlace(&buf.szBuf, &buf.iLen) != -1) {
            Drop(s, row, r, "the image does not inflate");
            Reset(r);
            ShortenImageWait(s, row.szWho);
            return;
        }
        buf.iBufSize = buf.iLen;
    }
    bool bWritten;
    if (r.iEncrypt) {
        CloseFile(r);
        bWritten = buf.iLen <= 0 || WriteEncipheredFile(r.szPath, buf.szBuf, (DWORD)buf.iLen);
    } else {
        bWritten = buf.iLen <= 0 || WriteAll(r.hFile, buf.szBuf, buf.iLen);
        CloseFile(r);
    }
    if (!bWritten)
        Drop(s, row, r, "write failed");
    s->Log("%s(%s) %d bytes mode:%d", row.szWho, r.szName, buf.iLen, r.iMode);
    Reset(r);
    if (bWritten && r.iMode != 4) {
        char szName[IMAGE_NAME_SIZE];
        snprintf(szName, sizeof(szName), "%s", r.szName);
        ApplyCompImageSubstitution(s, szName);
        PrintImageFile(s, szName, r.iPage, r.iMode);
    }
    s->m_Images.m_iImageRotation = 0;
    ShortenImageWait(s, row.szWho);
}

void EndLetterhead(NovarcprintProcess *s, ReceptionRecord &r)
{
    Reset(r);
    TakeLetterheadName(s, r.szName);
}

void EndAnnotation(NovarcprintProcess *s, ReceptionRecord &r)
{
    const TransferRow &row = kTransfers[TRANSFER_ANNOTATION];
    Reset(r);
    char szOut[MAX_PATH];
    if (CachePath(s, row.szWho, r.szName, szOut) &&
        !KelUnZipPlusLimit(r.szPath, szOut, IMAGE_TRANSFER_MAX_BYTES))
        s->Log("%s(%s) does not inflate", row.szWho, r.szName);
    DeleteFileA(r.szPath);
}

void EndDaw(NovarcprintProcess *s, ReceptionRecord &r)
{
    Reset(r);
    ImagesState &im = s->m_Images;
    snprintf(im.m_szDawFileName, sizeof(im.m_szDawFileName), "%s", r.szName);
    memcpy(im.m_iDaw, r.iValues, sizeof(im.m_iDaw));
    if (im.m_iDaw[2] > 0)
        im.m_bDawPending = true;
}

void EndSignature(NovarcprintProcess *s, ReceptionRecord &r)
{
    Reset(r);
    ImagesState &im = s->m_Images;
    /* The reader took no signature name longer than the field. */
    snprintf(im.m_szSignatureFileName, sizeof(im.m_szSignatureFileName), "%.*s",
             SIGNATURE_NAME_SIZE - 1, r.szName);
    memcpy(im.m_iSignature, r.iValues, sizeof(im.m_iSignature));
    const int iHeight = r.iValues[2], iFlags = r.iValues[3];
    if (iHeight > 0 || (iFlags & 0x08)) {
        SignatureRecord record = {};
        snprintf(record.szName, sizeof(record.szName), "%.*s", SIGNATURE_NAME_SIZE - 1, r.szName);
        record.iX = r.iValues[0];
        record.iY = r.iValues[1];
        record.iHeight = iHeight;
        record.iFlags = iFlags;
        im.m_Signatures.push_back(record);
    }
    if (iFlags & 0x08)
        PrintSignatureFile(s);
    else if (iHeight > 0)
        im.m_bSignaturePending = true;
}

} // namespace
