/*
 * Key lists of the signature, image and field records: the table of which
 * keys carry values, the scan that finds a list's end for the reader, and
 * the decoders the renderer uses.  A key the table does not know is a bare
 * four-byte entry, as the editor writes it.
 */
#include <chrono>
#include <cstring>
#include <mutex>
#include <random>

#include "wp_keys.h"
#include "kellib/payload.h"

bool WpHasKeyList(int iType)
{
    switch (iType) {
    case 17:
    case 18:
    case 19:
    case 20:
    case 21:
    case 34:
        return true;
    default:
        return false;
    }
}

WpKeyValue WpKeyKind(int iType, int iKey)
{
    switch (iType) {
    case SP_SIGNATURE_CODE:
        if (iKey == 4)
            return WP_KEY_STRING;
        return (iKey >= 1 && iKey <= 7) ? WP_KEY_INT : WP_KEY_NONE;
    case IMAGE:
        if (iKey == 7 || iKey == 8 || iKey == 14)
            return WP_KEY_STRING;
        if (iKey == 13)
            return WP_KEY_BLOCK;
        return (iKey >= 1 && iKey <= 15) ? WP_KEY_INT : WP_KEY_NONE;
    case 19:
    case 34:
        return (iKey == 1 || iKey == 2) ? WP_KEY_INT : WP_KEY_NONE;
    case 20:
        if (iKey == 3)
            return WP_KEY_STRING;
        return (iKey == 1 || iKey == 2) ? WP_KEY_INT : WP_KEY_NONE;
    case 21:
        return iKey == 1 ? WP_KEY_INT : WP_KEY_NONE;
    default:
        return WP_KEY_NONE;
    }
}

namespace {

/* The image list's strings fill fields of 100 bytes in the decoded list. */
int StringLimit(int iType)
{
    return iType == IMAGE ? WP_IMAGE_STRING_MAX : -1;
}

/* One entry's value at the cursor: skipped, and checked against its bounds. */
bool SkipValue(KelPayload *pIn, int iType, WpKeyValue kind, const char **pszWhy)
{
    switch (kind) {
    case WP_KEY_NONE:
        return true;
    case WP_KEY_INT:
        if (!pIn->Int32()) {
            *pszWhy = "key value past the end";
            return false;
        }
        return true;
    case WP_KEY_STRING: {
        const int n = pIn->StringLength();
        if (n < 0) {
            *pszWhy = "key string without its end";
            return false;
        }
        if (StringLimit(iType) >= 0 && n > StringLimit(iType)) {
            *pszWhy = "key string longer than its field";
            return false;
        }
        return pIn->Skip(n + 1);
    }
    case WP_KEY_BLOCK: {
        int n = 0;
        if (!pIn->Int32(&n) || n < 0 || !pIn->Skip(n)) {
            *pszWhy = "key data block past the end";
            return false;
        }
        return true;
    }
    }
    return false;
}

} // namespace

int WpKeyListExtent(int iType, const unsigned char *p, int iLeft, const char **pszWhy)
{
    KelPayload in{p, iLeft, 0};
    for (;;) {
        int iKey = 0;
        if (!in.Int32(&iKey)) {
            *pszWhy = "key list without its end";
            return -1;
        }
        if (iKey == 0)
            return in.iPos;
        if (!SkipValue(&in, iType, WpKeyKind(iType, iKey), pszWhy))
            return -1;
    }
}

namespace {

/* Walks a stored list, handing each valued entry to the visitor. */
template <class Visit> bool WalkKeys(const WpCodeRecord &record, int iType, Visit visit)
{
    if (record.Type() != iType || record.ExtraSize() < 4)
        return false;
    KelPayload in{record.Extra(), record.ExtraSize(), 0};
    for (;;) {
        int iKey = 0;
        if (!in.Int32(&iKey))
            return false;
        if (iKey == 0)
            return true;
        const WpKeyValue kind = WpKeyKind(iType, iKey);
        const int iStart = in.iPos;
        const char *szWhy = "";
        if (!SkipValue(&in, iType, kind, &szWhy))
            return false;
        if (kind != WP_KEY_NONE)
            visit(iKey, in.p + iStart, in.iPos - iStart);
    }
}

int IntOf(const unsigned char *p)
{
    return (int)((unsigned)p[0] | (unsigned)p[1] << 8 | (unsigned)p[2] << 16 |
                 (unsigned)p[3] << 24);
}

void CopyString(char *szOut, const unsigned char *p, int n)
{
    /* n counts the NUL; the scan has already held the text to its field. */
    memcpy(szOut, p, (size_t)n);
}

/* Tags name embedded data while it is printed; only their difference from
 * each other and from 0 matters. */
unsigned DrawTag()
{
    static std::mutex lock;
    static std::mt19937 generator(
        (unsigned)std::chrono::system_clock::now().time_since_epoch().count());
    std::lock_guard<std::mutex> hold(lock);
    unsigned uTag;
    do
        uTag = (unsigned)generator();
    while (uTag == 0);
    return uTag;
}

} // namespace

bool DecodeSignatureKeys(const WpCodeRecord &record, WpSignatureKeys *pKeys)
{
    *pKeys = WpSignatureKeys();
    return WalkKeys(record, SP_SIGNATURE_CODE, [&](int iKey, const unsigned char *p, int n) {
        switch (iKey) {
        case 1:
            pKeys->iUserId = IntOf(p);
            break;
        case 2:
            pKeys->iDate = IntOf(p);
            break;
        case 3:
            pKeys->iTime = IntOf(p);
            break;
        case 4:
            pKeys->pName.assign((const char *)p, (size_t)n - 1);
            break;
        case 5:
            pKeys->iFileKey = IntOf(p);
            break;
        case 6:
            pKeys->iHeightTenths = IntOf(p);
            break;
        case 7:
            pKeys->iRunKey = IntOf(p);
            break;
        }
    });
}

bool DecodeImageKeys(const WpCodeRecord &record, WpImageKeys *pKeys)
{
    *pKeys = WpImageKeys();
    const bool bOk = WalkKeys(record, IMAGE, [&](int iKey, const unsigned char *p, int n) {
        switch (iKey) {
        case 1:
            pKeys->iKey1 = IntOf(p);
            break;
        case 2:
            pKeys->iWidth = IntOf(p) < 0 ? 0 : IntOf(p);
            break;
        case 3:
            pKeys->iHeight = IntOf(p) < 0 ? 0 : IntOf(p);
            break;
        case 4:
            pKeys->iAnnotationFlag = IntOf(p);
            break;
        case 5:
            pKeys->iVirtualFlag = IntOf(p);
            break;
        case 6:
            pKeys->iKey6 = IntOf(p);
            break;
        case 7:
            CopyString(pKeys->pImageFileName, p, n);
            break;
        case 8:
            CopyString(pKeys->szKey8, p, n);
            break;
        case 9:
            pKeys->iJustification = IntOf(p);
            break;
        case 10:
            pKeys->iZoom = IntOf(p);
            break;
        case 11:
            pKeys->iRotation = IntOf(p);
            break;
        case 12:
            pKeys->iPerspective = IntOf(p);
            break;
        case 13:
            pKeys->bHasData = true;
            pKeys->pData = p + 4;
            pKeys->iDataSize = n - 4;
            break;
        case 14:
            CopyString(pKeys->szKey14, p, n);
            break;
        }
    });
    if (bOk && pKeys->bHasData)
        pKeys->uTag = DrawTag();
    return bOk;
}
