/*
 * Text helpers the renderers share: how text is set up on the printer's
 * device context, measured, cut to the printable width and centred.
 */
#include "draw.h"

void SelectTextFont(HDC hdc, HFONT hFont)
{
    SelectObject(hdc, hFont);
    SetTextAlign(hdc, TA_BASELINE);
    SetBkMode(hdc, TRANSPARENT);
}

SIZE MeasureText(HDC hdc, const char *szText, int iLen)
{
    SIZE size = {0, 0};
    GetTextExtentPoint32A(hdc, szText, iLen, &size);
    return size;
}

int FitTextToWidth(HDC hdc, const char *szText, int iLen, double dMaxWidth, SIZE *pSize)
{
    SIZE size = MeasureText(hdc, szText, iLen);
    /* Measured again after each dropped character: kerning and the last
     * glyph's overhang make widths not add up character by character. */
    while (iLen > 0 && size.cx > dMaxWidth) {
        iLen--;
        size = MeasureText(hdc, szText, iLen);
    }
    if (pSize)
        *pSize = size;
    return iLen;
}

BOOL DrawTextCentred(HDC hdc, int xLeft, int iWidth, int y, const char *szText, int iLen)
{
    const SIZE size = MeasureText(hdc, szText, iLen);
    return TextOutA(hdc, xLeft + (iWidth - (int)size.cx) / 2, y, szText, iLen);
}
