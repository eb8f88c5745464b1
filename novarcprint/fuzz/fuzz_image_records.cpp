/*
 * Fuzz target for the image requests' payload readers.  The first byte
 * picks the reader, the rest is the payload.  Reading must never crash or
 * read outside the payload; what a reader accepts must hold its record's
 * invariants: names NUL-terminated within their fields and non-empty where
 * a file is named, data views inside the payload, lengths not negative.
 */
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "image_records.h"

namespace {

void Check(bool bOk)
{
    if (!bOk)
        abort();
}

/* The view lies inside [p, p + iLen). */
void CheckView(const char *p, int iLen, const char *pView, int iViewLen)
{
    Check(iViewLen >= 0);
    Check(iViewLen == 0 || (pView >= p && pView + iViewLen <= p + iLen));
}

void CheckName(const char *szName, size_t size)
{
    Check(memchr(szName, 0, size) != nullptr);
}

void ReadOne(int iWhich, const char *p, int iLen)
{
    switch (iWhich % 10) {
    case 0:
    case 1: {
        TransferStart start;
        const TransferKind kind = TransferKind(iWhich / 2 % TRANSFER_KINDS);
        if (ReadTransferStart(kind, p, iLen, &start)) {
            CheckName(start.szName, sizeof(start.szName));
            Check(start.szName[0] != 0);
        }
        break;
    }
    case 2: {
        PieceView piece;
        if (ReadPiece(p, iLen, &piece)) {
            Check(piece.iMode >= 0 && piece.iMode <= 255);
            CheckView(p, iLen, piece.pRest, piece.iRestLen);
        }
        break;
    }
    case 3: {
        SpecialImageRecord record;
        if (ReadSpecialImage(p, iLen, &record)) {
            Check(record.iPiece >= -1 && record.iPiece <= PIECE_ABORT);
            CheckView(p, iLen, record.pRest, record.iRestLen);
        }
        break;
    }
    case 4: {
        int iRotation = 0;
        ReadImageSettings(p, iLen, &iRotation);
        break;
    }
    case 5: {
        LetterheadNameRecord record;
        if (ReadLetterheadName(p, iLen, &record))
            CheckName(record.szName, sizeof(record.szName));
        break;
    }
    case 6: {
        FileHereQuery query;
        if (ReadFileHereQuery(p, iLen, &query)) {
            CheckName(query.szName, sizeof(query.szName));
            CheckName(query.szSecond, sizeof(query.szSecond));
        }
        break;
    }
    case 7: {
        char szName[IMAGE_NAME_SIZE];
        if (ReadQueryFileSize(p, iLen, szName))
            CheckName(szName, sizeof(szName));
        StoreCacheRecord record;
        if (ReadStoreCacheFile(p, iLen, &record)) {
            CheckName(record.szName, sizeof(record.szName));
            CheckView(p, iLen, record.pData, record.iDataLen);
        }
        break;
    }
    case 8: {
        CompSignatureRecord record;
        if (ReadCompImageSignature(p, iLen, &record) && record.iOn)
            CheckView(p, iLen, record.pData, record.iDataLen);
        break;
    }
    default: {
        LocalImageRecord record;
        if (ReadPrintLocalImage(p, iLen, &record))
            CheckName(record.szName, sizeof(record.szName));
        break;
    }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1 || size > (1 << 20))
        return 0;
    ReadOne(data[0], (const char *)data + 1, (int)size - 1);
    return 0;
}
