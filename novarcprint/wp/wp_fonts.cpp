/*
 * Fonts of a document: the editor's font table and its mapping, the fonts
 * made through the shared printer-font lookup (cached per document, since a
 * letter switches between a handful of styles thousands of times), line
 * heights by the header's spacing mode, and the character width table the
 * check boxes are sized from.
 */
#include <cstring>
#include <mutex>

#include "draw.h"
#include "wp_render.h"

namespace {

const char *const kWpFaces[] = {
    "",      "Courier 10",      "Courier 12", "Helvetica", "Times New Roman",
    "Arial", "Times New Roman", "Courier"};

/* Width table: 1/1000 em by family (0 Courier, 1 Arial, 2 Times New Roman),
 * character and style (0 regular, 1 bold, 2 italic, 3 bold italic).  The
 * installed families are metric-compatible with the ones the editor lays
 * out with, so the table is measured from them once per process at an em
 * of 2048 units (their design grid) and rounded down, as the editor keeps it. */
short g_aWidths[3][256][4];
std::once_flag g_widthsOnce;

void MeasureWidths()
{
    const char *const kFamilies[3] = {"Courier New", "Arial", "Times New Roman"};
    HDC hdc = CreateCompatibleDC(NULL);
    for (int f = 0; f < 3; f++)
        for (int style = 0; style < 4; style++) {
            HFONT hFont = CreateFontA(-2048, 0, 0, 0, (style & 1) ? 700 : 400, (style & 2) != 0, 0,
                                      0, ANSI_CHARSET, 0, 0, 0, 0, kFamilies[f]);
            HGDIOBJ hOld = SelectObject(hdc, hFont);
            for (int c = 0; c < 256; c++) {
                const char ch = (char)c;
                SIZE size = {0, 0};
                GetTextExtentPoint32A(hdc, &ch, 1, &size);
                g_aWidths[f][c][style] = (short)(size.cx * 1000 / 2048);
            }
            SelectObject(hdc, hOld);
            DeleteObject(hFont);
        }
    DeleteDC(hdc);
}

int WidthFamily(int iFont)
{
    return iFont == 5 ? 1 : iFont == 6 ? 2 : 0;
}

} // namespace

int MapWpFont(int iType)
{
    switch (iType) {
    case 2:
    case 7:
        return 1;
    case 3:
        return 5;
    case 4:
        return 6;
    default:
        return iType >= 0 && iType <= 7 ? iType : 0;
    }
}

int WpRunSize(const WpStyle &style)
{
    return (style.bSub || style.bSuper) ? (int)(style.iSize / 1.5) : style.iSize;
}

namespace {

int FontHeight(const WpRender *r, const WpStyle &style)
{
    if (style.bBase && r->s->m_iPrintMode == SET_PRINT_SIZE_9)
        return -MulDiv(72, r->iDpiY, 720);
    /* "Courier 12" is twelve characters an inch: a smaller Courier. */
    if (style.iRawFont == 2)
        return -MulDiv(WpRunSize(style), r->iDpiY, 86);
    return -MulDiv(WpRunSize(style), r->iDpiY, 72);
}

} // namespace

HFONT WpFont(WpRender *r, const WpStyle &style)
{
    const WpFontKey key{style.iFont, style.iRawFont, FontHeight(r, style), style.iWeight,
                        style.bItalic};
    auto it = r->fonts.find(key);
    if (it != r->fonts.end())
        return it->second;
    char szFace[FONT_FACE_SIZE];
    strcpy(szFace, kWpFaces[style.iFont >= 1 && style.iFont <= 7 ? style.iFont : 5]);
    HFONT hFont = NULL;
    if (CreatePrinterFont(r->s, r->hdc, &hFont, szFace, key.iHeight, 0, key.iWeight, style.bItalic,
                          0, 0) != 0 ||
        !hFont)
        hFont =
            CreateFontA(key.iHeight, 0, 0, 0, 0, style.bItalic, 0, 0, 0, 0, 0, 0, FF_ROMAN, szFace);
    r->fonts[key] = hFont;
    return hFont;
}

int WpLineHeight7200(WpRender *r, int iFont, int iSize)
{
    if (r->pDoc->header.iLineSpacing == 0)
        return 100 * iSize;
    auto it = r->lineHeights.find({iFont, iSize});
    if (it != r->lineHeights.end())
        return it->second;
    /* The font's own line height, taken at 1200 dpi so that it does not
     * depend on the printer's resolution. */
    HDC hScreen = GetDC(NULL);
    HFONT hFont = CreateFontA(-MulDiv(iSize, 1200, 72), 0, 0, 0, 400, 0, 0, 0, DEFAULT_CHARSET, 0,
                              0, 0, 0, kWpFaces[iFont >= 1 && iFont <= 7 ? iFont : 5]);
    HGDIOBJ hOld = SelectObject(hScreen, hFont);
    TEXTMETRICA tm = {};
    GetTextMetricsA(hScreen, &tm);
    SelectObject(hScreen, hOld);
    DeleteObject(hFont);
    ReleaseDC(NULL, hScreen);
    const int iHeight = MulDiv(tm.tmHeight + tm.tmExternalLeading, 7200, 1200);
    r->lineHeights[{iFont, iSize}] = iHeight;
    return iHeight;
}

int WpLineHeightDevice(WpRender *r, int iFont, int iSize)
{
    return MulDiv(WpLineHeight7200(r, iFont, iSize), r->iDpiY, 7200);
}

double WpCharAdvance(const WpRender *r, const WpStyle &style, unsigned char c)
{
    std::call_once(g_widthsOnce, MeasureWidths);
    const int iStyle = (style.iWeight >= 700 ? 1 : 0) | (style.bItalic ? 2 : 0);
    const int iWidth = g_aWidths[WidthFamily(style.iFont)][c][iStyle];
    return (double)iWidth * WpRunSize(style) * r->iDpiX / 72000.0;
}

void WpReleaseFonts(WpRender *r)
{
    for (auto &entry : r->fonts)
        if (entry.second)
            DeleteObject(entry.second);
    r->fonts.clear();
}
