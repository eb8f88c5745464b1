/*
 * Drawing one run of a line: text with its highlight and underline, rules,
 * and check boxes.  Positions are device units on the printer DC; the
 * fixed offsets are those the editor's printouts have always had, tuned per
 * kind of printer (the converter and fax drivers place fills differently).
 */
#include <algorithm>

#include "wp_render.h"

namespace {

COLORREF HighlightColor(const WpRender *r, int iKind)
{
    const bool bConverter = r->s->m_bConverter;
    const bool bFax = r->s->m_bFax;
    if (iKind == 1)
        return bConverter ? RGB(0xFF, 0xFF, 0xB4)
               : bFax     ? RGB(0xFA, 0xFA, 0xFA)
                          : RGB(0xFF, 0xFF, 0x64);
    return bConverter ? RGB(0xB4, 0xE6, 0xE6)
           : bFax     ? RGB(0xE6, 0xE6, 0xE6)
                      : RGB(0x64, 0xFF, 0xFF);
}

void Line(HDC hdc, int x0, int y0, int x1, int y1)
{
    MoveToEx(hdc, x0, y0, NULL);
    LineTo(hdc, x1, y1);
}

void DrawCheckBox(WpRender *r, const WpRun &run, int iBaseline)
{
    const int W = (int)(0.6 * run.iWidth);
    const int iLeft = run.iX + (int)(run.iWidth * 0.4 * 0.5);
    SelectObject(r->hdc, r->hPenBox);
    MoveToEx(r->hdc, iLeft, iBaseline, NULL);
    LineTo(r->hdc, iLeft, iBaseline - W);
    LineTo(r->hdc, iLeft + W, iBaseline - W);
    LineTo(r->hdc, iLeft + W, iBaseline);
    LineTo(r->hdc, iLeft, iBaseline);
    if (run.iCheck == -1) {
        SelectObject(r->hdc, r->hPenCheck);
        Line(r->hdc, iLeft + W / 3, iBaseline, iLeft + W / 10, iBaseline - W / 3);
        Line(r->hdc, iLeft + W / 3, iBaseline, iLeft + W, iBaseline - W);
    }
}

int SpacesIn(const std::string &text)
{
    return (int)std::count(text.begin(), text.end(), ' ');
}

/* Text of a justified line, word by word: each space takes its share. */
void DrawSpread(WpRender *r, const WpRun &run, int iBaseline, const WpJustify &j)
{
    const std::string &t = run.text;
    const int iBefore = j.Shift(j.iSeen);
    int iAdvance = 0, iSpaces = 0;
    size_t start = 0;
    while (start < t.size()) {
        size_t end = t.find(' ', start);
        end = end == std::string::npos ? t.size() : end + 1;
        const int x = run.iX + iAdvance + j.Shift(j.iSeen + iSpaces) - iBefore;
        TextOutA(r->hdc, x, iBaseline, t.data() + start, (int)(end - start));
        SIZE size = {0, 0};
        GetTextExtentPoint32A(r->hdc, t.data() + start, (int)(end - start), &size);
        iAdvance += size.cx;
        if (t[end - 1] == ' ')
            iSpaces++;
        start = end;
    }
}

void DrawText(WpRender *r, const WpRun &run, int iBaseline, int iUnderline, const WpJustify *pJ)
{
    int iWidth = run.iWidth;
    const bool bSpread = pJ && SpacesIn(run.text) > 0;
    if (bSpread)
        iWidth += pJ->Shift(pJ->iSeen + SpacesIn(run.text)) - pJ->Shift(pJ->iSeen);
    if (run.style.iHighlight) {
        const int iDown = r->s->m_bConverter ? 10 : 25;
        RECT rc = {run.iX, iBaseline - run.iHeight + iDown, run.iX + iWidth, iBaseline + iDown};
        HBRUSH hBrush = CreateSolidBrush(HighlightColor(r, run.style.iHighlight));
        FillRect(r->hdc, &rc, hBrush);
        DeleteObject(hBrush);
    }
    SelectObject(r->hdc, run.hFont);
    SetTextColor(r->hdc, run.style.crText);
    if (bSpread)
        DrawSpread(r, run, iBaseline, *pJ);
    else
        TextOutA(r->hdc, run.iX, iBaseline, run.text.data(), (int)run.text.size());
    if (run.style.bUnderline) {
        const int y = iUnderline + (r->s->m_Printer.m_bEPrint ? 2 : 7);
        SelectObject(r->hdc, r->hPenFirst);
        Line(r->hdc, run.iX, y, run.iX + iWidth, y);
    }
}

} // namespace

void WpDrawRun(WpRender *r, const WpRun &run, int iBaseline, int iUnderline, const WpJustify *pJ)
{
    switch (run.kind) {
    case WP_RUN_TEXT:
        DrawText(r, run, iBaseline, iUnderline, pJ);
        break;
    case WP_RUN_RULE:
        SelectObject(r->hdc, r->hPenRule);
        Line(r->hdc, run.iX, iBaseline - 10, run.iX + run.iWidth, iBaseline - 10);
        break;
    case WP_RUN_CHECK:
        DrawCheckBox(r, run, iBaseline);
        break;
    case WP_RUN_SIGNATURE:
        WpDrawSignature(r, run, iBaseline);
        break;
    case WP_RUN_IMAGE:
        break; /* drawn after the line, below it */
    }
}
