/*
 * PrintNovarcWpDocument: the document is read whole before anything is
 * drawn, then the page is set up from its header (margins per page set,
 * physical offsets, pending positions), the cells are rendered, and the
 * page is left open or ended by the session's form-feed option so that a
 * following document or stream continues where this one stopped.
 */
#include <algorithm>

#include "printer.h"
#include "wp_render.h"

namespace {

struct Hundredths {
    int iTop, iBottom, iLeft, iRight;
};

void RaiseForFax(Hundredths *m)
{
    for (int *p : {&m->iTop, &m->iBottom, &m->iLeft, &m->iRight})
        if (*p < 25)
            *p = 25;
}

/* One margin set in device units, placed on the printable area. */
WpMargins ToDevice(const WpRender *r, const Hundredths &m, bool bPhysical, bool bEPrint)
{
    WpMargins d;
    d.iTop = m.iTop * r->iDpiY / 100;
    d.iBottom = m.iBottom * r->iDpiY / 100;
    d.iLeft = m.iLeft * r->iDpiX / 100;
    d.iRight = m.iRight * r->iDpiX / 100;
    if (bPhysical) {
        d.iLeft -= r->iPhysX;
        d.iRight -= r->iPhysX;
        d.iTop -= r->iPhysY;
        d.iBottom -= r->iPhysY;
    }
    if (bEPrint) {
        /* The text block keeps its size but starts at the printable corner. */
        d.iRight += d.iLeft;
        d.iBottom += d.iTop;
        d.iLeft = d.iTop = 0;
    }
    for (int *p : {&d.iTop, &d.iBottom, &d.iLeft, &d.iRight})
        *p = std::max(*p, 0);
    return d;
}

void SetUpMargins(WpRender *r)
{
    NovarcprintProcess *s = r->s;
    const WpHeader &h = r->pDoc->header;
    Hundredths later = {h.iTopMargin, h.iBottomMargin, h.iLeftMargin, h.iRightMargin};
    Hundredths first = {h.iFirstTopMargin, h.iFirstBottomMargin, h.iFirstLeftMargin,
                        h.iFirstRightMargin};
    if (first.iBottom < 25)
        first.iBottom = later.iBottom;
    if (s->m_bFax) {
        RaiseForFax(&later);
        RaiseForFax(&first);
    }
    r->iLeftHundredths = later.iLeft;
    r->iFirstLeftHundredths = first.iLeft;
    r->iFirstBottomHundredths = first.iBottom;
    r->llTextWidth = (long long)(h.iPageWidth - later.iLeft - later.iRight) * 720;
    const bool bPhysical =
        !(s->m_bPageOpen && s->m_iFormFeedOption != 0) && s->m_iPrintMode != SET_PRINT_SIZE_9;
    r->first = ToDevice(r, first, bPhysical, s->m_Printer.m_bEPrint);
    r->later = ToDevice(r, later, bPhysical, s->m_Printer.m_bEPrint);
    StreamState &st = s->m_Stream;
    if (st.m_bHorzPending) {
        st.m_bHorzPending = false;
        st.m_dX = 0;
        r->iHorzOffset = st.m_iHorzPos;
        r->first.iLeft += st.m_iHorzPos;
        r->later.iLeft += st.m_iHorzPos;
    }
    if (st.m_bVertPending) {
        st.m_bVertPending = false;
        st.m_dY = 0;
        r->first.iTop += st.m_iVertPos;
        r->later.iTop += st.m_iVertPos;
    }
}

void SetUpPage(WpRender *r)
{
    NovarcprintProcess *s = r->s;
    WpHeader &h = r->pDoc->header;
    if (h.iBaseSize < 1)
        h.iBaseSize = 12;
    r->base.iRawFont = h.iBaseFont;
    r->base.iFont = MapWpFont(h.iBaseFont);
    r->base.iSize = h.iBaseSize;
    r->base.bBase = true;
    r->cur = r->base;
    r->iDpiX = GetDeviceCaps(r->hdc, LOGPIXELSX);
    r->iDpiY = GetDeviceCaps(r->hdc, LOGPIXELSY);
    r->iHorzRes = GetDeviceCaps(r->hdc, HORZRES);
    r->iVertRes = GetDeviceCaps(r->hdc, VERTRES);
    r->iPhysX = GetDeviceCaps(r->hdc, PHYSICALOFFSETX);
    r->iPhysY = GetDeviceCaps(r->hdc, PHYSICALOFFSETY);
    SetUpMargins(r);
    r->iBaseLineHeight = WpLineHeightDevice(r, r->base.iFont, r->base.iSize);
    WpComputePageBreaks(r);
    double &y = s->m_Stream.m_dY;
    if (y + r->first.iTop > r->PageBottom()) {
        s->Log("(m_dYpos + iTopMargin > FormLength)");
        EndPage(r->hdc);
        s->m_Printer.m_bPageEnded = true;
        /* The document still needs a page to be drawn on. */
        StartPage(r->hdc);
        SetTextAlign(r->hdc, TA_BASELINE);
        SetBkMode(r->hdc, TRANSPARENT);
        y = 0;
    }
    if (s->m_bPageOpen && s->m_bFax && r->first.iLeft == 0)
        r->first.iLeft = (int)(0.75 * r->iDpiX / 100);
    y += r->first.iTop;
    s->m_Stream.m_dX = r->first.iLeft;
    const bool bEPrint = s->m_Printer.m_bEPrint;
    r->hPenFirst = CreatePen(PS_SOLID, bEPrint ? 2 : 3, RGB(0, 0, 0));
    r->hPenBox = CreatePen(PS_SOLID, 3, RGB(0, 0, 0));
    r->hPenCheck = CreatePen(PS_SOLID, 9, RGB(0, 0, 0));
    r->hPenRule = CreatePen(PS_SOLID, 7, RGB(0, 0, 0));
}

/* Ends the page this document leaves, unless it is left open for the next. */
void EndLeftPage(WpRender *r, bool *pbEnded)
{
    NovarcprintProcess *s = r->s;
    WpPrintPendingSignatures(r);
    if (s->m_iFormFeedOption != 1 || *pbEnded)
        return;
    EndPage(r->hdc);
    s->m_Printer.m_bPageEnded = true;
    s->m_Stream.m_dY = 0;
    *pbEnded = true;
}

void EndDocument(WpRender *r)
{
    NovarcprintProcess *s = r->s;
    if (r->pHeading && r->bAnyBreak)
        WpDrawFooting(r);
    /* Both flags may call for the end of the page; it ends once. */
    bool bEnded = false;
    if (!s->m_Printer.m_bPageStarted)
        EndLeftPage(r, &bEnded);
    if (!s->m_bPageOpen) {
        EndLeftPage(r, &bEnded);
        s->m_Stream.m_dX = 0;
        s->m_Stream.m_bHorzPending = s->m_Stream.m_bVertPending = false;
        s->m_Stream.m_iHorzPos = s->m_Stream.m_iVertPos = 0;
    }
    if (s->m_iFormFeedOption == 0)
        s->m_Printer.m_bPageStarted = true;
    else
        s->m_bPageOpen = false;
    SelectObject(r->hdc, GetStockObject(BLACK_PEN));
    SelectObject(r->hdc, GetStockObject(SYSTEM_FONT));
    for (HPEN hPen : {r->hPenFirst, r->hPenBox, r->hPenCheck, r->hPenRule})
        if (hPen)
            DeleteObject(hPen);
    WpReleaseFonts(r);
    ReleaseDataFields(&s->m_Wp.m_DataFields);
    WpDeleteImageFiles(r);
    r->line.clear();
}

} // namespace

int PrintNovarcWpDocument(NovarcprintProcess *s, const char *pData, int iLen, bool bHeading)
{
    PrinterState &p = s->m_Printer;
    if (!p.m_hPrinterDc)
        return 0;
    WpDocument doc;
    WpHeading heading;
    WpReadError error;
    if (!ReadWpPrintRequest(pData, iLen, bHeading, &doc, &heading, &error)) {
        s->Log("PrintNovarcWpDocument document refused: %s at byte %d", error.szWhat, error.iPos);
        ReleaseDataFields(&s->m_Wp.m_DataFields);
        return 0;
    }
    if (doc.header.iPageWidth >= 1100)
        p.m_bLandscape = true;
    if (!p.m_bEnvelopeFeed && !p.m_bPageStarted)
        SetLandScapeMode(s, 0);
    WpRender r;
    r.s = s;
    r.hdc = p.m_hPrinterDc; /* an orientation change may have made a new one */
    r.pDoc = &doc;
    r.pHeading = bHeading ? &heading : nullptr;
    if (!r.hdc)
        return 0;
    /* A document that continues no page starts its own, whatever the
     * form-feed option: drawing outside a page would reach no paper. */
    if (!p.m_bPageStarted) {
        if (s->m_iFormFeedOption == 1)
            s->m_Stream.m_dY = 0;
        StartPage(r.hdc);
        p.m_bPageEnded = false;
    }
    SetTextAlign(r.hdc, TA_BASELINE);
    SetBkMode(r.hdc, TRANSPARENT);
    s->m_Wp.m_iPageCount = 1;
    if (doc.iPrintFlags & WP_FLAG_LETTERHEAD)
        WpPrintLetterhead(&r, doc.header.iPageSelector ? doc.header.iPageSelector : 1);
    if (doc.header.iDocType == 10)
        s->m_bPageOpen = false;
    s->Log("PrintNovarcWpDocument");
    SetUpPage(&r);
    WpDrawHeading(&r);
    WpRenderCells(&r);
    EndDocument(&r);
    s->Log("After PrintNovarcWpDocument");
    wp_free_document(&doc);
    p.m_bPrinted = true;
    p.m_bDocumentEnded = false;
    return 1;
}

int HandlePrintNovarcDocument(NovarcprintProcess *s, MsgBuf *pMsg, int iType)
{
    return PrintNovarcWpDocument(s, pMsg->szBuf, pMsg->iLen,
                                 iType == PRINT_NOVARC_DOCUMENT_HEADING);
}

int HandleGetDataFieldInfo(NovarcprintProcess *s, MsgBuf *pMsg, int)
{
    const DataFieldReadResult result =
        ReadDataFieldList(pMsg->szBuf, pMsg->iLen, &s->m_Wp.m_DataFields);
    s->Log("PRINT_DATA_FIELD_INFO items:%d kept:%d", result.iItems,
           (int)s->m_Wp.m_DataFields.entries.size());
    if (result.bCut)
        s->Log("PRINT_DATA_FIELD_INFO item at byte %d runs past the end", result.iCutAt);
    if (result.iBadBodies)
        s->Log("PRINT_DATA_FIELD_INFO %d check items without their values", result.iBadBodies);
    return 1;
}
