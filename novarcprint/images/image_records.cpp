/*
 * The image requests' payload readers: one bounded reader per payload,
 * each turning bytes into a plain record or refusing them whole.
 */
#include <cstring>

#include "image_records.h"

namespace {

/* A bounded reader over one payload; every read stays inside it. */
struct Reader {
    const char *p;
    int iLen;
    int iPos;

    int Left() const { return iLen - iPos; }
    bool Byte(int *pValue)
    {
        if (Left() < 1)
            return false;
        *pValue = (unsigned char)p[iPos++];
        return true;
    }
    bool Int(int *pValue)
    {
        if (Left() < 4)
            return false;
        unsigned v = 0;
        for (int i = 0; i < 4; i++)
            v |= (unsigned)(unsigned char)p[iPos + i] << (8 * i);
        *pValue = (int)v;
        iPos += 4;
        return true;
    }
    /* Text up to cEnd, which must be there unless bEndMayBeMissing; the
     * text must fit iSize with its NUL.  A NUL inside a field ends the
     * text (what a C string would hold) but not the field. */
    bool Text(char cEnd, bool bEndMayBeMissing, char *szOut, int iSize)
    {
        const char *pStart = p + iPos;
        const void *pEnd = memchr(pStart, cEnd, (size_t)Left());
        if (!pEnd && !bEndMayBeMissing)
            return false;
        const int n = pEnd ? (int)((const char *)pEnd - pStart) : Left();
        const void *pNul = memchr(pStart, 0, (size_t)n);
        const int iText = pNul ? (int)((const char *)pNul - pStart) : n;
        if (iText >= iSize)
            return false;
        memcpy(szOut, pStart, (size_t)iText);
        szOut[iText] = 0;
        iPos += pEnd ? n + 1 : n;
        return true;
    }
    /* A name: text that is not empty. */
    bool Name(char cEnd, bool bEndMayBeMissing, char *szOut, int iSize)
    {
        return Text(cEnd, bEndMayBeMissing, szOut, iSize) && szOut[0] != 0;
    }
};

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
    Reader r{p, iLen, 0};
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
    Reader r{p, iLen, 0};
    const int iSize = kind == TRANSFER_LETTERHEAD  ? LETTERHEAD_NAME_SIZE
                      : kind == TRANSFER_SIGNATURE ? SIGNATURE_NAME_SIZE
                                                   : IMAGE_NAME_SIZE;
    if (!r.Name(form.cNameEnd, form.iValues == 0, pStart->szName, iSize))
        return false;
    for (int i = 0; i < form.iValues; i++)
        if (!r.Int(&pStart->iValues[i]))
            return false;
    return true;
}

bool ReadSpecialImage(const char *p, int iLen, SpecialImageRecord *pRecord)
{
    *pRecord = SpecialImageRecord();
    pRecord->iPiece = -1;
    Reader r{p, iLen, 0};
    if (!p || !r.Int(&pRecord->iSubCode))
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
    Reader r{p, iLen, 0};
    int values[3];
    for (int &v : values)
        if (!p || !r.Int(&v))
            return false;
    *piRotation = values[2];
    return true;
}

bool ReadLetterheadName(const char *p, int iLen, LetterheadNameRecord *pRecord)
{
    *pRecord = LetterheadNameRecord();
    Reader r{p, iLen, 0};
    return p && r.Byte(&pRecord->iMode) &&
           r.Name('\x01', true, pRecord->szName, sizeof(pRecord->szName));
}

bool ReadFileHereQuery(const char *p, int iLen, FileHereQuery *pQuery)
{
    *pQuery = FileHereQuery();
    Reader r{p, iLen, 0};
    if (!p || !r.Byte(&pQuery->iMode) ||
        !r.Name('\x01', true, pQuery->szName, sizeof(pQuery->szName)))
        return false;
    return r.Text('\x01', true, pQuery->szSecond, sizeof(pQuery->szSecond));
}

bool ReadQueryFileSize(const char *p, int iLen, char szName[IMAGE_NAME_SIZE])
{
    szName[0] = 0;
    Reader r{p, iLen, 0};
    return p && r.Name('\0', true, szName, IMAGE_NAME_SIZE);
}

bool ReadStoreCacheFile(const char *p, int iLen, StoreCacheRecord *pRecord)
{
    *pRecord = StoreCacheRecord();
    Reader r{p, iLen, 0};
    if (!p || !r.Name('\0', false, pRecord->szName, sizeof(pRecord->szName)) ||
        !r.Int(&pRecord->iDataLen) || pRecord->iDataLen < 0 || pRecord->iDataLen > r.Left())
        return false;
    pRecord->pData = p + r.iPos;
    return true;
}

bool ReadCompImageSignature(const char *p, int iLen, CompSignatureRecord *pRecord)
{
    *pRecord = CompSignatureRecord();
    Reader r{p, iLen, 0};
    if (!p || !r.Int(&pRecord->iOn))
        return false;
    if (pRecord->iOn == 0)
        return true;
    if (!r.Int(&pRecord->iFormType) || !r.Int(&pRecord->iDataLen) || pRecord->iDataLen < 0 ||
        pRecord->iDataLen > r.Left())
        return false;
    pRecord->pData = p + r.iPos;
    return true;
}

bool ReadPrintLocalImage(const char *p, int iLen, LocalImageRecord *pRecord)
{
    *pRecord = LocalImageRecord();
    Reader r{p, iLen, 0};
    return p && r.Byte(&pRecord->iMode) &&
           r.Name('\0', false, pRecord->szName, sizeof(pRecord->szName)) && r.Int(&pRecord->iPage);
}
