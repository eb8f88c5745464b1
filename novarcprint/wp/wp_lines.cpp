/*
 * Lines of a document: runs are placed as they close (tabs, tab positions
 * and indents decide where the next one starts), and a line is drawn when
 * the document's own return ends it: the page breaks first when the line
 * does not fit, the line is centred or justified when the document says so,
 * then every run is drawn on the line's baseline.
 */
#include <algorithm>

#include "printer.h"
#include "wp_render.h"

namespace {

double &PenX(WpRender *r)
{
    return r->s->m_Stream.m_dX;
}

double &PenY(WpRender *r)
{
    return r->s->m_Stream.m_dY;
}

void Measure(WpRender *r, WpRun *pRun)
{
    if (pRun->kind == WP_RUN_SIGNATURE || pRun->kind == WP_RUN_IMAGE)
        return;
    pRun->hFont = WpFont(r, pRun->style);
    SelectObject(r->hdc, pRun->hFont);
    SIZE size = {0, 0};
    if (pRun->kind == WP_RUN_CHECK) {
        GetTextExtentPoint32A(r->hdc, "x", 1, &size);
        pRun->iWidth = (int)(2 * WpCharAdvance(r, pRun->style, 'x'));
    } else {
        GetTextExtentPoint32A(r->hdc, pRun->text.data(), (int)pRun->text.size(), &size);
        pRun->iWidth = size.cx;
    }
    pRun->iHeight = size.cy;
}

int RunLineHeight(WpRender *r, const WpRun &run)
{
    switch (run.kind) {
    case WP_RUN_SIGNATURE:
        return run.iHeight;
    case WP_RUN_IMAGE:
        return 0;
    default:
        return WpLineHeightDevice(r, run.style.iFont, WpRunSize(run.style));
    }
}

/* Where an underlined superscript run is underlined: at its own raised
 * baseline, unless its chain of underlined superscripts touches an
 * underlined run on the line's baseline, whose underline it then joins. */
bool JoinsBaselineUnderline(const std::vector<WpRun> &line, size_t i)
{
    auto IsSuper = [&](size_t k) {
        return line[k].style.bUnderline && line[k].style.bSuper && !line[k].style.bSub;
    };
    auto IsPlain = [&](size_t k) {
        return line[k].kind != WP_RUN_IMAGE && line[k].style.bUnderline &&
               !(line[k].style.bSuper && !line[k].style.bSub);
    };
    size_t first = i, last = i;
    while (first > 0 && IsSuper(first - 1))
        first--;
    while (last + 1 < line.size() && IsSuper(last + 1))
        last++;
    return (first > 0 && IsPlain(first - 1)) || (last + 1 < line.size() && IsPlain(last + 1));
}

int CountSpaces(const std::vector<WpRun> &line)
{
    int n = 0;
    for (const WpRun &run : line)
        if (run.kind == WP_RUN_TEXT)
            n += (int)std::count(run.text.begin(), run.text.end(), ' ');
    return n;
}

/* Spaces at the end of the line's last run, when it is text. */
int TrailingSpaces(const std::vector<WpRun> &line)
{
    if (line.empty() || line.back().kind != WP_RUN_TEXT)
        return 0;
    const std::string &t = line.back().text;
    const size_t last = t.find_last_not_of(' ');
    return (int)(last == std::string::npos ? t.size() : t.size() - 1 - last);
}

int SpacesWidth(WpRender *r, const std::vector<WpRun> &line, int n)
{
    if (n <= 0)
        return 0;
    SelectObject(r->hdc, line.back().hFont);
    const std::string spaces((size_t)n, ' ');
    SIZE size = {0, 0};
    GetTextExtentPoint32A(r->hdc, spaces.data(), n, &size);
    return size.cx;
}

int LineEndX(const std::vector<WpRun> &line)
{
    int iEnd = 0;
    for (const WpRun &run : line)
        iEnd = std::max(iEnd, run.iX + run.iWidth);
    return iEnd;
}

void DrawLine(WpRender *r, WpLineEnd end, int iBaseline)
{
    std::vector<WpRun> &line = r->line;
    WpJustify j;
    if (end == WP_END_SOFT && r->pDoc->header.iJustify) {
        /* The spaces that end the line stay where they are: the last word,
         * not the blank after it, ends on the right limit. */
        const int iTrailing = TrailingSpaces(line);
        j.iSpaces = CountSpaces(line) - iTrailing;
        j.iExtra =
            std::max(0, r->RightLimit() - (LineEndX(line) - SpacesWidth(r, line, iTrailing)));
    }
    int iCentre = 0;
    if (r->bCentre && !line.empty()) {
        const int iMid = (r->Margins().iLeft + r->RightLimit()) / 2;
        iCentre = iMid - (line.front().iX + LineEndX(line)) / 2;
    }
    for (size_t i = 0; i < line.size(); i++) {
        WpRun run = line[i];
        run.iX += iCentre + j.Shift(j.iSeen);
        const bool bRaised = run.style.bSuper && !run.style.bSub;
        const int iRunBaseline = bRaised ? iBaseline - (int)(0.45 * run.iHeight) : iBaseline;
        const int iUnderline = bRaised && run.style.bUnderline && JoinsBaselineUnderline(line, i)
                                   ? iBaseline
                                   : iRunBaseline;
        WpDrawRun(r, run, iRunBaseline, iUnderline, j.iSpaces > 0 ? &j : nullptr);
        if (run.kind == WP_RUN_TEXT)
            j.iSeen += (int)std::count(run.text.begin(), run.text.end(), ' ');
    }
}

} // namespace

double WpRunStart(WpRender *r)
{
    double dStart = r->bNextX ? r->dNextX : PenX(r) + r->iTabs * (r->iDpiX / 2);
    r->bNextX = false;
    r->iTabs = 0;
    PenX(r) = dStart;
    return dStart;
}

void WpAddRun(WpRender *r, WpRun run)
{
    run.iX = (int)WpRunStart(r);
    Measure(r, &run);
    PenX(r) += run.iWidth;
    r->line.push_back(std::move(run));
}

void WpCloseText(WpRender *r)
{
    if (r->text.empty())
        return;
    WpRun run;
    run.text.swap(r->text);
    run.style = r->cur;
    WpAddRun(r, std::move(run));
}

void WpCloseRule(WpRender *r)
{
    if (!r->bRuleOpen)
        return;
    r->bRuleOpen = false;
    WpRun run;
    run.kind = WP_RUN_RULE;
    run.text.swap(r->text);
    run.style = r->cur;
    WpAddRun(r, std::move(run));
}

void WpEndLine(WpRender *r, WpLineEnd end, bool bReadBreak)
{
    WpCloseText(r);
    WpCloseRule(r);
    if (end == WP_END_LAST && r->line.empty())
        return;
    if (r->line.empty()) {
        /* An empty line still takes a line's height. */
        r->text.push_back(' ');
        WpCloseText(r);
    }
    int iHeight = 0;
    for (const WpRun &run : r->line)
        iHeight = std::max(iHeight, RunLineHeight(r, run));
    const bool bListBreaks = r->pDoc->header.iDocType == 2;
    if (!bListBreaks && PenY(r) + iHeight > r->PageBottom() && PenY(r) > r->Margins().iTop) {
        /* The line goes to the next page whole: move its runs with it. */
        std::vector<WpRun> moved;
        moved.swap(r->line);
        const int iOldLeft = r->Margins().iLeft;
        WpEndPage(r);
        if (r->bDone)
            return;
        for (WpRun &run : moved)
            run.iX += r->Margins().iLeft - iOldLeft;
        r->line.swap(moved);
    }
    PenY(r) += iHeight;
    DrawLine(r, end, (int)PenY(r));
    for (const WpRun &run : r->line)
        if (run.kind == WP_RUN_IMAGE)
            WpPrintImageRun(r, run);
    r->line.clear();
    r->bCentre = false;
    PenX(r) = r->Margins().iLeft;
    if (bListBreaks) {
        const std::vector<int> &breaks = r->s->m_Wp.m_PageBreaks;
        if (bReadBreak && r->iPageBreakRead < (int)breaks.size() &&
            breaks[r->iPageBreakRead++] != -1)
            WpEndPage(r);
    } else if (end == WP_END_FEED || (end == WP_END_IMAGE && PenY(r) >= r->PageBottom())) {
        WpEndPage(r);
    }
}

void WpEndPage(WpRender *r)
{
    NovarcprintProcess *s = r->s;
    r->s->m_Wp.m_iPageCount++;
    const int iSelector = r->pDoc->header.iPageSelector;
    if (iSelector != 0 && r->s->m_Wp.m_iPageCount >= iSelector) {
        r->bDone = true;
        return;
    }
    if (iSelector == 0 && (r->iPage > 1 || (r->pDoc->iPrintFlags & WP_FLAG_FIRST_PAGE_HEADING)))
        WpDrawFooting(r);
    r->bAnyBreak = true;
    PrinterState &p = s->m_Printer;
    if (p.m_iPendingBin != -1 && p.m_iPendingBin != p.m_sDefaultSource)
        DocumentProperties(s, p.m_iPendingBin);
    r->hdc = p.m_hPrinterDc;
    WpPrintPendingSignatures(r);
    EndPage(r->hdc);
    p.m_bPageEnded = true;
    StartPage(r->hdc);
    SetTextAlign(r->hdc, TA_BASELINE);
    SetBkMode(r->hdc, TRANSPARENT);
    p.m_bPageEnded = false;
    r->iPage++;
    WpPrintLetterhead(r, r->iPage);
    PenY(r) = r->later.iTop;
    PenX(r) = r->later.iLeft;
    WpDrawHeading(r);
}
