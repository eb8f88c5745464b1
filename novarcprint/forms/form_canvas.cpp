/*
 * The page every form is drawn on and the small drawing steps the forms
 * share.  One form message prints one page: the start takes the session's
 * print position as the form's origin and opens a page when none is open;
 * the end prints the images waiting for the page and ends it.
 */
#include "form_canvas.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace {

void StartFormPage(FormCanvas *c)
{
    NovarcprintProcess *s = c->pSession;
    /* A page a stream left open takes the form; otherwise the form gets a
     * page of its own, whatever the form-feed option says: without one the
     * drawing would reach no paper. */
    if (s->m_Printer.m_bPageStarted)
        return;
    StartPage(c->hdc);
    s->m_Printer.m_bPageStarted = true;
    s->m_Printer.m_bBetweenPages = false;
    s->m_bPageOpen = true;
}

/* The origin is where the server last put the print position.  The form
 * takes the pending positions (a stream after it must not jump back to
 * them) but keeps their values, so copies sent without new positions land
 * on the same place of the sheet. */
void TakeOrigin(FormCanvas *c)
{
    StreamState &st = c->pSession->m_Stream;
    c->x0 = st.m_iHorzPos;
    c->y0 = st.m_iVertPos;
    st.m_bHorzPending = false;
    st.m_bVertPending = false;
    st.m_dX = c->x0;
    st.m_dY = c->y0;
    c->y = c->y0;
}

} // namespace

bool BeginFormPage(FormCanvas *c, NovarcprintProcess *pSession, int iPenWidth)
{
    memset(c, 0, sizeof(*c));
    c->pSession = pSession;
    c->hdc = pSession->m_Printer.m_hPrinterDc;
    if (!c->hdc)
        return false;
    c->px = GetDeviceCaps(c->hdc, LOGPIXELSX);
    c->py = GetDeviceCaps(c->hdc, LOGPIXELSY);
    c->hPen = CreatePen(PS_SOLID, iPenWidth, RGB(0, 0, 0));
    c->hOldPen = SelectObject(c->hdc, c->hPen);
    c->hOldBrush = SelectObject(c->hdc, GetStockObject(BLACK_BRUSH));
    c->hOldFont = GetCurrentObject(c->hdc, OBJ_FONT);
    StartFormPage(c);
    SetTextAlign(c->hdc, TA_BASELINE);
    SetBkMode(c->hdc, TRANSPARENT);
    TakeOrigin(c);
    return true;
}

void EndFormPage(FormCanvas *c, bool bDaw)
{
    SelectObject(c->hdc, c->hOldFont);
    SelectObject(c->hdc, c->hOldBrush);
    SelectObject(c->hdc, c->hOldPen);
    for (int i = 0; i < c->iFontCount; i++)
        DeleteObject(c->fonts[i].hFont);
    c->iFontCount = 0;
    DeleteObject(c->hPen);
    if (FormSignaturePending(c))
        PrintFormSignature(c);
    if (bDaw && FormDawPending(c))
        PrintFormDaw(c);
    NovarcprintProcess *s = c->pSession;
    EndPage(c->hdc);
    /* The page is over for every renderer: the next one starts its own. */
    s->m_Printer.m_bPageStarted = false;
    s->m_Printer.m_bBetweenPages = true;
    s->m_bPageOpen = false;
    s->m_Printer.m_bPageEnded = true;
    s->m_Printer.m_bPrinted = true;
    s->m_Printer.m_bDocumentEnded = false;
}

int FormInchX(const FormCanvas *c, double dInches)
{
    return InchesToDeviceX(c->hdc, dInches);
}

int FormInchY(const FormCanvas *c, double dInches)
{
    return InchesToDeviceY(c->hdc, dInches);
}

int FormX(const FormCanvas *c, double dInches)
{
    return c->x0 + FormInchX(c, dInches);
}

int FormY(const FormCanvas *c, double dInches)
{
    return c->y0 + FormInchY(c, dInches);
}

HFONT FormFont(FormCanvas *c, const FormTextStyle &style)
{
    for (int i = 0; i < c->iFontCount; i++) {
        const FormTextStyle &have = c->fonts[i].style;
        if (have.dPoints == style.dPoints && have.iWeight == style.iWeight &&
            strcmp(have.szFace, style.szFace) == 0)
            return c->fonts[i].hFont;
    }
    char szFace[FONT_FACE_SIZE];
    snprintf(szFace, sizeof(szFace), "%s", style.szFace);
    const int iHeight = FontHeightForPoints(c->hdc, style.dPoints);
    HFONT hFont = NULL;
    if (CreatePrinterFont(c->pSession, c->hdc, &hFont, szFace, iHeight, 0, style.iWeight, 0, 0,
                          0) != 0 ||
        !hFont)
        hFont = CreateFontA(iHeight, 0, 0, 0, style.iWeight, 0, 0, 0, 0, 0, 0, 0, 0, szFace);
    if (c->iFontCount < FORM_FONT_MAX) {
        c->fonts[c->iFontCount].style = style;
        c->fonts[c->iFontCount].hFont = hFont;
        c->iFontCount++;
    }
    return hFont;
}

SIZE FormMeasure(FormCanvas *c, const FormTextStyle &style, const std::string &text)
{
    SelectObject(c->hdc, FormFont(c, style));
    return MeasureText(c->hdc, text.c_str(), (int)text.size());
}

int FormText(FormCanvas *c, const FormTextStyle &style, int x, int y, const std::string &text)
{
    const SIZE size = FormMeasure(c, style, text);
    if (!text.empty())
        TextOutA(c->hdc, x, y, text.c_str(), (int)text.size());
    c->iLastHeight = size.cy;
    return size.cx;
}

int FormCentred(FormCanvas *c, const FormTextStyle &style, int y, const std::string &text)
{
    const SIZE size = FormMeasure(c, style, text);
    return FormText(c, style, c->x0 + (FormInchX(c, FORM_WIDTH_INCHES) - size.cx) / 2, y, text);
}

void FormNextLine(FormCanvas *c)
{
    c->y += c->iLastHeight;
}

void FormLine(FormCanvas *c, int x1, int y1, int x2, int y2)
{
    MoveToEx(c->hdc, x1, y1, NULL);
    LineTo(c->hdc, x2, y2);
}

void FormBox(FormCanvas *c, int iLeft, int iTop, int iRight, int iBottom)
{
    /* The pen draws it; the black brush the forms hold would fill it and
     * hide what is written in it. */
    HGDIOBJ hBrush = SelectObject(c->hdc, GetStockObject(NULL_BRUSH));
    Rectangle(c->hdc, iLeft, iTop, iRight, iBottom);
    SelectObject(c->hdc, hBrush);
}

int FormUnderlinedValue(FormCanvas *c, const FormTextStyle &label, const FormTextStyle &value,
                        int x, int y, const std::string &szLabel, const std::string &szValue)
{
    const int xValue = x + FormText(c, label, x, y, szLabel);
    const int xEnd = xValue + FormText(c, value, xValue, y, szValue);
    FormLine(c, xValue, y + 4, xEnd, y + 4);
    return xEnd;
}

int FormBitmap(FormCanvas *c, int iResource, int x, int y)
{
    HBITMAP hBitmap = LoadBitmapA(c->pSession->m_hInstance, MAKEINTRESOURCEA(iResource));
    if (!hBitmap)
        return -1;
    BITMAP bm = {};
    GetObjectA(hBitmap, sizeof(bm), &bm);
    HDC hScreen = GetDC(NULL);
    const int iScreenX = GetDeviceCaps(hScreen, LOGPIXELSX);
    const int iScreenY = GetDeviceCaps(hScreen, LOGPIXELSY);
    ReleaseDC(NULL, hScreen);
    const int cx = (int)((long long)bm.bmWidth * c->px / (iScreenX > 0 ? iScreenX : 96));
    const int cy = (int)((long long)bm.bmHeight * c->py / (iScreenY > 0 ? iScreenY : 96));
    HDC hMem = CreateCompatibleDC(c->hdc);
    HGDIOBJ hOld = SelectObject(hMem, hBitmap);
    StretchBlt(c->hdc, x, y, cx, cy, hMem, 0, 0, bm.bmWidth, bm.bmHeight, SRCCOPY);
    SelectObject(hMem, hOld);
    DeleteDC(hMem);
    DeleteObject(hBitmap);
    return cy;
}

std::string FormFormat(const char *szFormat, ...)
{
    char szText[1024];
    va_list args;
    va_start(args, szFormat);
    vsnprintf(szText, sizeof(szText), szFormat, args);
    va_end(args);
    return szText;
}

void SplitFormLines(const char *szText, int iMaxChars, int iMaxLines, std::string *pLines)
{
    std::string rest = szText ? szText : "";
    for (int i = 0; i < iMaxLines; i++) {
        if (i > 0 && !rest.empty() && rest[0] == ' ')
            rest.erase(0, 1);
        if ((int)rest.size() <= iMaxChars) {
            pLines[i] = rest;
            rest.clear();
            continue;
        }
        /* The longest head within the limit that ends before a space or
         * just after a comma. */
        int iCut = iMaxChars;
        for (int k = iMaxChars; k >= 1; k--) {
            if (rest[k] == ' ' || rest[k - 1] == ',') {
                iCut = k;
                break;
            }
        }
        pLines[i] = rest.substr(0, iCut);
        rest.erase(0, iCut);
    }
}
