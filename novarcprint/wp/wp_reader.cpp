/*
 * The reader of a serialised document: the header with its version-gated
 * items, then the cell buffer with each code record and the extra data of
 * its type.  The payload carries no length of its own for any of this, so
 * every count, size and string is checked against what is left before it is
 * used; the first inconsistency refuses the whole document.
 */
#include <new>

#include "wp_document.h"
#include "wp_keys.h"
#include "kellib/payload.h"

namespace {

struct Reader {
    KelPayload in;
    WpReadError *pError;

    bool Fail(const char *szWhat)
    {
        pError->szWhat = szWhat;
        pError->iPos = in.iPos;
        return false;
    }
    bool Int(int *pValue, const char *szWhat) { return in.Int32(pValue) || Fail(szWhat); }
    bool Ints(int *pValues, int n, const char *szWhat)
    {
        for (int i = 0; i < n; i++)
            if (!Int(&pValues[i], szWhat))
                return false;
        return true;
    }
    template <int N> bool Str(char (&szOut)[N], const char *szWhat)
    {
        return in.String(szOut, N) || Fail(szWhat);
    }
};

bool ReadHeaderStart(Reader *r, WpDocument *d)
{
    WpHeader &h = d->header;
    int iFirst = 0;
    if (!r->Int(&iFirst, "header short"))
        return false;
    /* Documents older than the version field begin with the kind word. */
    if (iFirst > 1) {
        d->iVersion = iFirst;
        if (!r->Int(&h.iKind, "header short"))
            return false;
    } else {
        d->iVersion = 0;
        h.iKind = iFirst;
    }
    if (!r->in.Byte(&h.iStyle))
        return r->Fail("header short");
    if (!r->Str(h.szIdent1, "identification string too long or cut") ||
        !r->Str(h.szIdent2, "identification string too long or cut") ||
        !r->Str(h.szIdent3, "identification string too long or cut") ||
        !r->Int(&h.iDocType, "header short"))
        return false;
    int aiMargins[4];
    if (!r->Ints(aiMargins, 4, "header short"))
        return false;
    h.iTopMargin = aiMargins[0];
    h.iBottomMargin = aiMargins[1];
    h.iRightMargin = aiMargins[2];
    h.iLeftMargin = aiMargins[3];
    return r->Int(&h.iPageLength, "header short") && r->Int(&h.iJustify, "header short") &&
           r->Int(&h.iPageWidth, "header short") && r->Int(&h.iItem6, "header short");
}

bool ReadHeaderMiddle(Reader *r, WpDocument *d)
{
    WpHeader &h = d->header;
    if (!r->Ints(h.aiItem7, 3, "header short") || !r->Int(&h.iBaseFont, "header short") ||
        !r->Int(&h.iBaseSize, "header short") || !r->Int(&h.iItem7b, "header short"))
        return false;
    if (h.iBaseFont < 1 || h.iBaseFont > 7)
        h.iBaseFont = 1;
    if (!r->Str(h.szItem8a, "header string too long or cut") ||
        !r->Str(h.szItem8b, "header string too long or cut") ||
        !r->Str(h.szItem8c, "header string too long or cut"))
        return false;
    if (!r->Int(&h.iFirstTopMargin, "header short") ||
        !r->Int(&h.iFirstBottomMargin, "header short") ||
        !r->Int(&h.iFirstLeftMargin, "header short") ||
        !r->Int(&h.iFirstRightMargin, "header short") || !r->Ints(h.aiItem9, 2, "header short"))
        return false;
    return r->Str(h.szItem10a, "header string too long or cut") &&
           r->Ints(h.aiItem10, 2, "header short") &&
           r->Str(h.szItem10b, "header string too long or cut") &&
           r->Int(&h.iItem10c, "header short") &&
           r->Str(h.szFontReset, "font-reset flag too long or cut") &&
           r->Ints(h.aiItem12, 12, "header short") && r->Int(&h.iPageSelector, "header short");
}

bool ReadHeaderTail(Reader *r, WpDocument *d)
{
    WpHeader &h = d->header;
    const int v = d->iVersion;
    if (v > 11 && !r->Ints(h.aiItem13, 2, "header short"))
        return false;
    if (v > 14 && !r->Ints(h.aiItem14, 3, "header short"))
        return false;
    if (v > 181 && !r->Int(&h.iLineSpacing, "header short"))
        return false;
    if (v >= 230) {
        if (!r->Int(&h.iItem15, "header short"))
            return false;
        /* The only header text the editor may send longer than its field. */
        if (!r->in.StringCut(h.szItem15, WP_NOTE_SIZE))
            return r->Fail("header string cut");
    }
    if (!r->Int(&h.iItem16, "header short"))
        return false;
    if (h.iDocType == 1 || h.iDocType == 2 || h.iDocType == 41)
        for (int i = 0; i < WP_TAIL_COUNT; i++)
            if (!r->in.String(h.aszTail[i], WP_TAIL_SIZE))
                return r->Fail("header tail string too long or cut");
    return true;
}

/* Length of the extra data of a record, or -1 with the error set. */
int ExtraLength(Reader *r, int iType, int v1, int v2, int v3)
{
    KelPayload probe = r->in;
    const char *szWhy = "";
    auto Block = [&]() {
        int n = 0;
        return probe.Int32(&n) && n >= 0 && probe.Skip(n);
    };
    auto String = [&]() {
        const int n = probe.StringLength();
        return n >= 0 && probe.Skip(n + 1);
    };
    bool bOk = true;
    if (iType == 36 || iType == 37 || (iType == 22 && v1 == 8 && v3 != 0))
        bOk = Block();
    else if (iType == WP_DATA_CHECK_BOX)
        bOk = probe.Int32();
    else if (iType == 16 && v3 != 0)
        bOk = Block();
    else if (WpHasKeyList(iType)) {
        const int n = WpKeyListExtent(iType, probe.p + probe.iPos, probe.Left(), &szWhy);
        if (n < 0) {
            r->Fail(szWhy);
            return -1;
        }
        probe.iPos += n;
    } else if (iType == 30 || iType == 11 || iType == 23 || iType == 35 || iType == 24 ||
               iType == 15)
        bOk = String();
    else if ((iType == SP_FORMAT_VAR && v1 >= -6 && v1 <= -1) ||
             (iType == 6 && (v2 == -6 || v2 == -5 || v2 == -3 || v2 == -1)))
        bOk = String() && String() && (!(v3 & 0x80) || String());
    else if (iType == 9 && v3 != 0)
        bOk = Block() && Block();
    if (!bOk) {
        r->Fail("record data past the end");
        return -1;
    }
    return probe.iPos - r->in.iPos;
}

bool ReadRecord(Reader *r, WpCell *pCell)
{
    if (r->in.Left() < 2)
        return r->Fail("record length past the end");
    const int L = (int16_t)(uint16_t)(r->in.p[r->in.iPos] | r->in.p[r->in.iPos + 1] << 8);
    /* The length counts itself and the type at least. */
    if (L < 4)
        return r->Fail("record length too small");
    if (r->in.Left() < L)
        return r->Fail("record past the end");
    auto pRecord = std::make_unique<WpCodeRecord>();
    pRecord->bytes.assign(r->in.p + r->in.iPos, r->in.p + r->in.iPos + L);
    r->in.iPos += L;
    const int iType = pRecord->Type();
    const int n = ExtraLength(r, iType, pRecord->V1(), pRecord->V2(), pRecord->V3());
    if (n < 0)
        return false;
    if (n > 0) {
        /* Type 9 keeps what was sent after the fixed part; the others store
         * their data at offset 10 whatever the length said. */
        const int iAt = iType == 9 ? L : WP_RECORD_FIXED;
        pRecord->bytes.resize((size_t)iAt + n + (iType == 16 ? 1 : 0));
        memcpy(pRecord->bytes.data() + iAt, r->in.p + r->in.iPos, (size_t)n);
        r->in.iPos += n;
    }
    pCell->pRecord = std::move(pRecord);
    return true;
}

bool ReadCells(Reader *r, WpDocument *d)
{
    wp_free_document(d);
    int n = 0;
    if (!r->Int(&n, "cell count missing"))
        return false;
    if (n < 0)
        return r->Fail("negative cell count");
    if (n > r->in.Left())
        return r->Fail("cell count beyond the payload");
    if (n > WP_MAX_CELLS)
        return r->Fail("cell count beyond the limit");
    if (!wp_buf_reserve(d, n + 100) || !wp_buf_set_max_size(d, n))
        return r->Fail("no memory for the cells");
    for (int i = 0; i < n; i++) {
        WpCell &cell = d->wp_buf[i];
        int iCode = 0;
        if (!r->in.Byte(&iCode))
            return r->Fail("cells past the end");
        cell.code = (unsigned char)iCode;
        if (iCode == WP_CODE_RECORD && !ReadRecord(r, &cell))
            return false;
    }
    return true;
}

} // namespace

bool ReadWpDocument(const char *pPayload, int iLen, int *piPos, WpDocument *pDoc,
                    WpReadError *pError)
{
    if (!pPayload || iLen < 0 || *piPos < 0 || *piPos > iLen) {
        pError->szWhat = "no payload";
        pError->iPos = *piPos;
        return false;
    }
    Reader r{{(const unsigned char *)pPayload, iLen, *piPos}, pError};
    bool bOk;
    try {
        bOk = ReadHeaderStart(&r, pDoc) && ReadHeaderMiddle(&r, pDoc) && ReadHeaderTail(&r, pDoc) &&
              ReadCells(&r, pDoc);
    } catch (const std::bad_alloc &) {
        bOk = r.Fail("no memory for the document");
    }
    if (!bOk) {
        wp_free_document(pDoc);
        return false;
    }
    *piPos = r.in.iPos;
    return true;
}

bool ReadWpPrintRequest(const char *pPayload, int iLen, bool bHeading, WpDocument *pDoc,
                        WpHeading *pHeading, WpReadError *pError)
{
    *pHeading = WpHeading();
    Reader r{{(const unsigned char *)pPayload, pPayload ? iLen : 0, 0}, pError};
    if (!r.Int(&pDoc->iPrintFlags, "print flags missing"))
        return false;
    if (bHeading && (!r.Int(&pHeading->iHeadingType, "heading record short") ||
                     !r.Int(&pHeading->iFootingType, "heading record short") ||
                     !r.Str(pHeading->szHeading, "heading text too long or cut") ||
                     !r.Str(pHeading->szFooting, "footing text too long or cut")))
        return false;
    int iPos = r.in.iPos;
    return ReadWpDocument(pPayload, iLen, &iPos, pDoc, pError);
}
