/*
 * The main loop of the renderer: reads the cells one by one, gathers
 * characters into runs that share one style, and acts on the control cells
 * and code records as it meets them.  Each cell is visited once, so every
 * record acts once without being taken out of the buffer.
 */
#include <algorithm>
#include <cstring>

#include "wp_render.h"

namespace {

void AddChar(WpRender *r, unsigned char c)
{
    if (r->bRuleOpen)
        WpCloseRule(r);
    /* A long stretch without a style change comes in several runs. */
    if ((int)r->text.size() >= WP_RUN_TEXT_MAX)
        WpCloseText(r);
    r->text += (char)c;
}

/* A style change ends the run made under the old style. */
WpStyle &Restyle(WpRender *r)
{
    WpCloseText(r);
    return r->cur;
}

void SetFont(WpRender *r, int iType, int iSize)
{
    if (r->iBlockDepth > 0)
        return;
    WpStyle &st = Restyle(r);
    const int iMapped = MapWpFont(iType);
    st.bBase = false;
    if (iMapped == 0) {
        r->s->Log("SP_FONT NO FONT! Using Default");
        st.iFont = st.iRawFont = 5;
        st.iSize = 10;
        return;
    }
    st.iFont = iMapped;
    st.iRawFont = iType;
    st.iSize = iSize < 1 ? r->base.iSize : iSize;
}

/* Where a tab position (1/72000 inch from the paper's edge) puts the next
 * run, unless it lies left of the pen or beyond the allowed right end. */
void TabTo(WpRender *r, long long llPos, long long llLimit)
{
    const long long llNow =
        (long long)((r->s->m_Stream.m_dX + r->iPhysX) * 72000.0 / (r->iDpiX ? r->iDpiX : 1));
    if (llPos <= llNow || llPos > llLimit)
        return;
    WpCloseText(r);
    double dX = (double)llPos / 72000.0 * r->iDpiX + r->iHorzOffset;
    if (!r->s->m_bFax)
        dX -= r->iPhysX;
    r->bNextX = true;
    r->dNextX = dX;
    r->iTabs = 0;
}

void Symbol(WpRender *r, int iKind)
{
    static const unsigned char kSymbols[] = {0xAE, 0xA9, 0xB0, 0x95, 0xA7};
    if (iKind < 3 || iKind > 7 || r->cur.bLineFlag)
        return;
    AddChar(r, kSymbols[iKind - 3]);
}

void Attribute(WpRender *r, const WpCodeRecord &rec)
{
    const int v2 = rec.V2(), v3 = rec.V3();
    const bool bOn = v2 == 1;
    const long long llPos = (long long)v2 * 1000 + v3;
    switch (rec.V1()) {
    case FONT:
        SetFont(r, v2, v3);
        break;
    case UND:
        Restyle(r).bUnderline = bOn;
        break;
    case BOLD:
        Restyle(r).iWeight = bOn ? 800 : 400;
        break;
    case ITALICS:
        Restyle(r).bItalic = bOn;
        break;
    case WP_SUBSCRIPT:
        Restyle(r).bSub = bOn;
        break;
    case WP_SUPERSCRIPT:
        Restyle(r).bSuper = bOn;
        break;
    case WP_HIGHLIGHT:
        if (v3 == 0)
            Restyle(r).iHighlight = bOn ? 1 : 0;
        break;
    case WP_HIGHLIGHT2:
        Restyle(r).iHighlight = bOn ? 2 : 0;
        break;
    case WP_CENTER:
        r->bCentre = true;
        break;
    case WP_TAB_POSITION:
        TabTo(r, llPos, (long long)r->iLeftHundredths * 720 + r->llTextWidth);
        break;
    case WP_TAB_FROM_MARGIN: {
        const long long llMargin =
            (long long)(r->iPage == 1 ? r->iFirstLeftHundredths : r->iLeftHundredths) * 720;
        if (llPos <= r->llTextWidth)
            TabTo(r, llMargin + llPos, llMargin + r->llTextWidth);
        break;
    }
    case WP_LINE_FLAG:
        Restyle(r).bLineFlag = v2 != 0;
        break;
    case WP_SYMBOL:
        Symbol(r, v2);
        break;
    default:
        break; /* kept in the document, no effect on paper */
    }
}

void CheckBox(WpRender *r, int iCheck)
{
    WpCloseText(r);
    WpRun run;
    run.kind = WP_RUN_CHECK;
    run.iCheck = iCheck;
    run.style = r->cur;
    WpAddRun(r, run);
}

void DataCheckBox(WpRender *r, const WpCodeRecord &rec)
{
    if (rec.V1() == 1) {
        const DataFieldEntry *e = FindDataField(r->s->m_Wp.m_DataFields, rec.Int32At(10));
        const bool bChecked = e && e->iType == DATA_FIELD_CHECK_TYPE && e->iCheckValue != 0;
        CheckBox(r, bChecked ? -1 : 1);
    } else if (rec.V1() >= 2 && rec.V1() <= 9 && rec.V3() == 0) {
        AddChar(r, ' ');
    }
}

void Label(WpRender *r, const WpCodeRecord &rec)
{
    char szLabel[WP_LABEL_MAX + 1] = "";
    int n = 0;
    const unsigned char *p = rec.Extra();
    while (p && n < rec.ExtraSize() && n < WP_LABEL_MAX && p[n] && p[n] != '\n') {
        szLabel[n] = (char)p[n];
        n++;
    }
    szLabel[n] = 0;
    WpCloseText(r);
    WpRun run;
    run.text = szLabel;
    run.style = r->cur;
    /* The label's column: its width with the separator the form font adds,
     * at least a space's width per character. */
    std::string measured = szLabel;
    if (r->cur.iFont == 5)
        measured += "    :";
    HFONT hFont = WpFont(r, r->cur);
    SelectObject(r->hdc, hFont);
    SIZE size = {0, 0}, space = {0, 0};
    GetTextExtentPoint32A(r->hdc, measured.c_str(), (int)measured.size(), &size);
    GetTextExtentPoint32A(r->hdc, " ", 1, &space);
    const int iColumn = std::max((int)size.cx, (int)measured.size() * (int)space.cx);
    if (n > 0)
        WpAddRun(r, run);
    else
        WpRunStart(r);
    r->bNextX = true;
    r->dNextX = r->line.empty() ? r->s->m_Stream.m_dX + iColumn : r->line.back().iX + iColumn;
}

void FontReset(WpRender *r)
{
    if (r->pDoc->header.szFontReset[0] != 'Y')
        return;
    WpStyle &st = Restyle(r);
    st.iFont = r->base.iFont;
    st.iRawFont = r->base.iRawFont;
    st.iSize = r->base.iSize;
    st.bBase = true;
}

void Image(WpRender *r, const WpCodeRecord &rec)
{
    WpImageKeys keys;
    if (!DecodeImageKeys(rec, &keys))
        return;
    WpCloseText(r);
    WpRun run;
    run.kind = WP_RUN_IMAGE;
    run.image = keys;
    run.style = r->cur;
    WpAddRun(r, run);
    r->images.push_back(keys);
    WpEndLine(r, WP_END_IMAGE, rec.V1() == 0);
}

void Record(WpRender *r, const WpCodeRecord &rec)
{
    switch (rec.Type()) {
    case WP_ATTRIBUTE:
        Attribute(r, rec);
        break;
    case WP_INDENT:
        WpCloseText(r);
        r->bNextX = true;
        r->dNextX = r->Margins().iLeft + (double)r->iDpiX * rec.V1() / 100;
        r->iTabs = 0;
        break;
    case WP_CHECK_BOX:
        CheckBox(r, rec.V1() == 0 ? 1 : -1);
        break;
    case WP_DATA_CHECK_BOX:
        DataCheckBox(r, rec);
        break;
    case WP_SPACE:
        AddChar(r, ' ');
        break;
    case 15:
        if (rec.V1() == 18)
            AddChar(r, ' ');
        break;
    case 16:
        if (rec.V1() == 1)
            Restyle(r).bRunFlag = rec.V3() != 0;
        break;
    case SP_SIGNATURE_CODE: {
        WpRun run;
        WpCloseText(r);
        if (WpMakeSignatureRun(r, rec, &run))
            WpAddRun(r, run);
        break;
    }
    case IMAGE:
        Image(r, rec);
        break;
    case WP_LINE_MARK:
        Restyle(r).bLineMark = rec.V3() != 0;
        break;
    case WP_FONT_COLOR:
        Restyle(r).crText = RGB(rec.V1() & 0xff, rec.V2() & 0xff, rec.V3() & 0xff);
        break;
    case WP_LABEL:
        Label(r, rec);
        break;
    case WP_BLOCK:
        if (rec.V1() == 1)
            r->iBlockDepth++;
        else if (r->iBlockDepth > 0)
            r->iBlockDepth--;
        break;
    case WP_FONT_RESET:
        FontReset(r);
        break;
    default:
        break; /* fields and the editor's own records print nothing */
    }
}

void Rule(WpRender *r)
{
    if (r->cur.bLineFlag) {
        AddChar(r, ' ');
        return;
    }
    if (!r->bRuleOpen) {
        WpCloseText(r);
        r->bRuleOpen = true;
    }
    r->text += ' ';
}

} // namespace

void WpRenderCells(WpRender *r)
{
    WpDocument &doc = *r->pDoc;
    for (int i = 0; i < doc.iMaxSize && !r->bDone; i++) {
        const WpCell &cell = doc.wp_buf[i];
        if (r->bRuleOpen && cell.code != WP_RULE_CHAR)
            WpCloseRule(r);
        switch (cell.code) {
        case WP_NULL_CHAR:
            break;
        case WP_RULE_CHAR:
            Rule(r);
            break;
        case TAB:
            WpCloseText(r);
            r->iTabs++;
            break;
        case HRT:
            WpEndLine(r, WP_END_HARD, true);
            break;
        case FFEED:
            WpEndLine(r, r->s->m_iFormFeedOption == 0 ? WP_END_HARD : WP_END_FEED, true);
            break;
        case WP_LEGACY_SRT:
        case WP_SRT:
            WpEndLine(r, WP_END_SOFT, true);
            break;
        case 14:
            WpCloseText(r);
            r->bNextX = true;
            r->dNextX = WpRunStart(r) + r->iDpiX / 2;
            break;
        case WP_CODE_RECORD:
            if (cell.pRecord)
                Record(r, *cell.pRecord);
            break;
        default:
            AddChar(r, cell.code);
            break;
        }
    }
    if (!r->bDone)
        WpEndLine(r, WP_END_LAST, false);
}
