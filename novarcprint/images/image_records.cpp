/*
 * The image requests' payload readers: one bounded reader per payload,
 * each turning bytes into a plain record or refusing them whole.
 */
#include <cstring>

#include "image_records.h"
#include "kellib/payload.h"

namespace {

/* Text up to cEnd, which must be there unless bEndMayBeMissing; the text
 * must fit iSize with its NUL.  A NUL inside a field ends the text (what a
 * C string would hold) but not the field. */
bool Text(KelPayload &r, char cEnd, bool bEndMayBeMissing, char *szOut, int iSize)
{
    const char *pStart = r.Here();
    const void *pEnd = memchr(pStart, cEnd, (size_t)r.Left());
    if (!pEnd && !bEndMayBeMissing)
        return false;
    const int n = pEnd ? (int)((const char *)pEnd - pStart) : r.Left();
    const void *pNul = memchr(pStart, 0, (size_t)n);
    const int iText = pNul ? (int)((const char *)pNul - pStart) : n;
    if (iText >= iSize)
        return false;
    memcpy(szOut, pStart, (size_t)iText);
    szOut[iText] = 0;
    r.iPos += pEnd ? n + 1 : n;
    return true;
}

/* A name: text that is not empty. */
bool Name(KelPayload &r, char cEnd, bool bEndMayBeMissing, char *szOut, int iSize)
{
    return Text(r, cEnd, bEndMayBeMissing, szOut, iSize) && szOut[0] != 0;
}

} // namespace

TransferNameForm TransferNameFormOf(TransferKind kind)
{
    switch (kind) {
    case TRANSFER_IMAGE:
        return {'\0', 1};
    case TRANSFER_DAW:
    case TRANSFER_SIGNATURE:
        return {'\0', 4};
    default:
        return {'\x01', 0};
    }
}

bool ReadPiece(const char *p, int iLen, PieceView *pPiece)
{
    *pPiece = PieceView();
    KelPayload r = KelPayload::Of(p, iLen);
    if (!p || !r.Byte(&pPiece->iMode))
        return false;
    pPiece->pRest = p + r.iPos;
    pPiece->iRestLen = r.Left();
    return true;
}

bool ReadTransferStart(TransferKind kind, const char *p, int iLen, TransferStart *pStart)
{
    *pStart = TransferStart();
    if (!p || iLen <= 0)
        return false;
    const TransferNameForm form = TransferNameFormOf(kind);
    KelPayload r = KelPayload::Of(p, iLen);
    const int iSize = kind == TRANSFER_LETTERHEAD  ? LETTERHEAD_NAME_SIZE
                      : kind == TRANSFER_SIGNATURE ? SIGNATURE_NAME_SIZE
                                                   : IMAGE_NAME_SIZE;
    if (!Name(r, form.cNameEnd, form.iValues == 0, pStart->szName, iSize))
        return false;
    for (int i = 0; i < form.iValues; i++)
        if (!r.Int32(&pStart->iValues[i]))
            return false;
    return true;
}

bool ReadSpecialImage(const char *p, int iLen, SpecialImageRecord *pRecord)
{
    *pRecord = SpecialImageRecord();
    pRecord->iPiece = -1;
    KelPayload r = KelPayload::Of(p, iLen);
    if (!p || !r.Int32(&pRecord->iSubCode))
        return false;
    if (pRecord->iSubCode == SPECIAL_IMAGE_PIECE)
        pRecord->iPiece = PIECE_DATA;
    else if (pRecord->iSubCode == SPECIAL_IMAGE_END)
        pRecord->iPiece = PIECE_END;
    else if (pRecord->iSubCode == SPECIAL_IMAGE_ABORT)
        pRecord->iPiece = PIECE_ABORT;
    pRecord->pRest = p + r.iPos;
    pRecord->iRestLen = r.Left();
    return true;
}

bool ReadImageSettings(const char *p, int iLen, int *piRotation)
{
    KelPayload r = KelPayload::Of(p, iLen);
    int values[3];
    for (int &v : values)
        if (!p || !r.Int32(&v))
            return false;
    *piRotation = values[2];
    return true;
}

bool ReadLetterheadName(const char *p, int iLen, LetterheadNameRecord *pRecord)
{
    *pRecord = LetterheadNameRecord();
    KelPayload r = KelPayload::Of(p, iLen);
    return p && r.Byte(&pRecord->iMode) &&
           Name(r, '\x01', true, pRecord->szName, sizeof(pRecord->szName));
}

bool ReadFileHereQuery(const char *p, int iLen, FileHereQuery *pQuery)
{
    *pQuery = FileHereQuery();
    KelPayload r = KelPayload::Of(p, iLen);
    if (!p || !r.Byte(&pQuery->iMode) ||
        !Name(r, '\x01', true, pQuery->szName, sizeof(pQuery->szName)))
        return false;
    return Text(r, '\x01', true, pQuery->szSecond, sizeof(pQuery->szSecond));
}

bool ReadQueryFileSize(const char *p, int iLen, char szName[IMAGE_NAME_SIZE])
{
    szName[0] = 0;
    KelPayload r = KelPayload::Of(p, iLen);
    return p && Name(r, '\0', true, szName, IMAGE_NAME_SIZE);
}

bool ReadStoreCacheFile(const char *p, int iLen, StoreCacheRecord *pRecord)
{
    *pRecord = StoreCacheRecord();
    KelPayload r = KelPayload::Of(p, iLen);
    if (!p || !Name(r, '\0', false, pRecord->szName, sizeof(pRecord->szName)) ||
        !r.Int32(&pRecord->iDataLen) || pRecord->iDataLen < 0 || pRecord->iDataLen > r.Left())
        return false;
    pRecord->pData = p + r.iPos;
    return true;
}

bool ReadCompImageSignature(const char *p, int iLen, CompSignatureRecord *pRecord)
{
    *pRecord = CompSignatureRecord();
    KelPayload r = KelPayload::Of(p, iLen);
    if (!p || !r.Int32(&pRecord->iOn))
        return false;
    if (pRecord->iOn == 0)
        return true;
    if (!r.Int32(&pRecord->iFormType) || !r.Int32(&pRecord->iDataLen) || pRecord->iDataLen < 0 ||
        pRecord->iDataLen > r.Left())
        return false;
    pRecord->pData = p + r.iPos;
    return true;
}

bool ReadPrintLocalImage(const char *p, int iLen, LocalImageRecord *pRecord)
{
    *pRecord = LocalImageRecord();
    KelPayload r = KelPayload::Of(p, iLen);
    return p && r.Byte(&pRecord->iMode) &&
           Name(r, '\0', false, pRecord->szName, sizeof(pRecord->szName)) &&
           r.Int32(&pRecord->iPage);
}
