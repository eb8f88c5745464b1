/*
 * The heading and footing of a scanned page: the text the server sent
 * (RECEIVE_HEADING_FOOTING_INFO) at the left and "Page #n" at the right,
 * near the top or above the bottom by the type's position.  A heading
 * belongs to the one image it came before.
 */
#include <cstdio>
#include <cstring>

#include "draw.h"
#include "images.h"

namespace {

/* One line: the text cut from its end until it fits left of the page
 * number, then the page number. */
void DrawLine(HDC hdc, char *szText, int x, int y, const char *szPage)
{
    const int iFit = FitTextToWidth(hdc, szText, (int)strlen(szText), x, NULL);
    szText[iFit] = 0;
    TextOutA(hdc, 0, y, szText, iFit);
    TextOutA(hdc, x, y, szPage, (int)strlen(szPage));
}

} // namespace

void PrintImageFileHeaderFooter(NovarcprintProcess *s, HDC hdc, int iWidth, int, int iPage)
{
    SetBkColor(hdc, RGB(255, 255, 255));
    SetBkMode(hdc, OPAQUE);
    SetTextColor(hdc, RGB(0, 0, 0));
    const SIZE widest = MeasureText(hdc, "Page #999", 9);
    const int x = iWidth - widest.cx;
    const int iDpiY = GetDeviceCaps(hdc, LOGPIXELSY);
    const int d = iDpiY * 15 / 100;
    const double dRaise = 0.75 * widest.cy;
    char szPage[32];
    snprintf(szPage, sizeof(szPage), "Page #%d", iPage);
    const int iHeadingPos = HeadingTypePosition(s->m_iHeadingType);
    const int iFootingPos = HeadingTypePosition(s->m_iFootingType);
    if (s->m_iHeadingType != 0 && iHeadingPos)
        DrawLine(hdc, s->m_szHeading, x, (int)(iDpiY * iHeadingPos / 100 - d - dRaise), szPage);
    if (s->m_iFootingType != 0 && iFootingPos)
        DrawLine(hdc, s->m_szFooting, x, (int)(iDpiY * (1090 - iFootingPos) / 100 - d - dRaise),
                 szPage);
    s->Log("PrintImageFileHeaderFooter m_iHeadingType<%d> iHeadingPos:%d m_iFootingType<%d> "
           "iFootingPos:%d",
           s->m_iHeadingType, iHeadingPos, s->m_iFootingType, iFootingPos);
    s->m_iHeadingType = 0;
    s->m_iFootingType = 0;
    s->m_szHeading[0] = 0;
    s->m_szFooting[0] = 0;
}
