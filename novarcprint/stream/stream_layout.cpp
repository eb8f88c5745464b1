/*
 * The stream layout engine: draws one PRINT_STREAM payload on the open
 * printer.  Text sits on a baseline grid in lines per inch, pages break by
 * the form length's line count, and the pen position stays in the session
 * so that consecutive streams continue on the same page until the job ends.
 */
#include <cstring>

#include "printer.h"
#include "stream.h"

namespace {

const char *const kStreamFaces[] = {
    "",      "Courier 10",      "Courier 12", "Helvetica", "Times New Roman",
    "Arial", "Times New Roman", "Courier"};
const int kStreamFaceCount = (int)(sizeof(kStreamFaces) / sizeof(kStreamFaces[0]));

/* What one stream's drawing needs, worked out once at its start. */
struct Layout {
    HDC hdc;
    double dSize;
    double dFactor;
    double dLeftFactor;
    int iFirstBaseline;
    int iLeftMargin;
    int iLpi;
    double dScale;
    double dLineSpacing;
    int iUsableLines;
    int iHorzRes;
    int iVertRes;
    int iDescent; /* of the main font: how far a line reaches below its baseline */
    HFONT hFont;
    HFONT hCaption;
    HPEN hPen;
};

/* a × b points to device units. */
int Points(double a, double b, int iResolution)
{
    return PointsToDevice(a * b, iResolution);
}

void ChooseSize(NovarcprintProcess *s, Layout *L)
{
    const PrinterState &p = s->m_Printer;
    L->dFactor = 0.6;
    if (s->m_iPrintMode == PRINT_STREAM_CUSTOM_FONT) {
        L->dSize = s->m_Stream.m_iCustomPointSize;
    } else if (s->m_iPrintMode == SET_PRINT_SIZE_9 && !p.m_bLandscapeRequest) {
        L->dSize = 7.2;
        L->dFactor = 0.75;
    } else if (s->m_iPrintMode == SET_PRINT_SIZE_9) {
        L->dSize = p.m_bLegalInEffect ? 7.2 : 5.81;
        L->dFactor = 1.2;
    } else {
        L->dSize = (s->m_iPrintMode == SET_PRINT_SIZE_24) ? 10 : 12;
    }
    if (p.m_bEltron || p.m_bTsp800)
        L->dFactor = 0.75;
    else if (p.m_bT650)
        L->dFactor = 1.2;
    L->dLeftFactor = 0;
    if (s->m_bConverter) {
        L->dFactor = 2.0;
        L->dLeftFactor = 1.6;
    }
    if (p.m_iModelClass != 0)
        L->dFactor = 1.2;
}

/* Page geometry for the current size (the bar-code height in bar-code mode). */
void ComputeGeometry(NovarcprintProcess *s, Layout *L)
{
    L->iFirstBaseline = Points(L->dFactor, L->dSize, GetDeviceCaps(L->hdc, LOGPIXELSY));
    L->iLeftMargin = Points(L->dLeftFactor, L->dSize, GetDeviceCaps(L->hdc, LOGPIXELSX));
    L->dScale = s->m_Printer.m_bLandscape ? 0.85 : 1.0;
    L->dLineSpacing = (double)(GetDeviceCaps(L->hdc, LOGPIXELSY) / L->iLpi) * L->dScale;
    /* A form length that leaves no usable line (2 or less, none at all) is
     * taken as the usual one: a report never goes without page breaks. */
    int iFormLength = s->m_iFormLength;
    const int iReserved = s->m_Printer.m_iModelClass == 0 ? 2 : 0;
    if (iFormLength - iReserved <= 0)
        iFormLength = STREAM_DEFAULT_FORM_LENGTH;
    L->iUsableLines = iFormLength - iReserved;
    L->iHorzRes = GetDeviceCaps(L->hdc, HORZRES);
    L->iVertRes = GetDeviceCaps(L->hdc, VERTRES);
}

/* Lines per inch of the grid; anything but 6 or 8 (or a custom value that
 * cannot divide the resolution) is 6. */
int EffectiveLinesPerInch(NovarcprintProcess *s)
{
    if (s->m_iLinesPerInch != 6 && s->m_iLinesPerInch != 8)
        s->m_iLinesPerInch = 6;
    if (s->m_iPrintMode != PRINT_STREAM_CUSTOM_FONT)
        return s->m_iLinesPerInch;
    const int iCustom = s->m_Stream.m_iCustomLinesPerInch;
    return iCustom > 0 ? iCustom : 6;
}

HFONT MakeFont(NovarcprintProcess *s, HDC hdc, char *szFace, int iHeight, int iWeight)
{
    HFONT hFont = NULL;
    if (CreatePrinterFont(s, hdc, &hFont, szFace, -iHeight, 0, iWeight, 0, 0, 0) == 0 && hFont)
        return hFont;
    return CreateFontA(-iHeight, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, FF_ROMAN, szFace);
}

void ReleaseStreamFonts(StreamState *st)
{
    if (st->m_hFont)
        DeleteObject(st->m_hFont);
    if (st->m_hCaptionFont)
        DeleteObject(st->m_hCaptionFont);
    st->m_hFont = NULL;
    st->m_hCaptionFont = NULL;
    st->m_FontChoice = StreamFontChoice();
}

void CreateStreamFonts(NovarcprintProcess *s, Layout *L)
{
    const int iRow = (s->m_iPrintMode == PRINT_STREAM_CUSTOM_FONT) ? s->m_Stream.m_iFontIndex : 1;
    char szRowFace[STREAM_FACE_SIZE] = "";
    if (iRow >= 0 && iRow < kStreamFaceCount)
        strcpy(szRowFace, kStreamFaces[iRow]);
    char szFace[STREAM_FACE_SIZE];
    strcpy(szFace, szRowFace);
    const int iDpiY = GetDeviceCaps(L->hdc, LOGPIXELSY);
    int iFontHeight;
    if (s->m_iBarCodeMode) {
        strcpy(szFace, "Free 3 of 9 Extended");
        L->dSize = s->m_iBarCodeHeight;
        iFontHeight = Points(0.77, L->dSize, iDpiY);
    } else {
        iFontHeight = Points(1.0, L->dSize, iDpiY);
    }
    const PrinterState &p = s->m_Printer;
    const int iWeight = s->m_bBold ? 800 : (p.m_bTsp800 || s->m_bConverter) ? 700 : 400;

    StreamFontChoice choice;
    choice.hdc = L->hdc;
    strcpy(choice.szFace, szFace);
    strcpy(choice.szCaptionFace, szRowFace);
    choice.iHeight = iFontHeight;
    choice.iWeight = iWeight;
    choice.bCaption = s->m_iBarCodeMode != 0;
    choice.iModelClass = p.m_iModelClass;
    choice.iPrintMode = s->m_iPrintMode;
    choice.iLinesPerInch = s->m_iLinesPerInch;
    choice.bLandscapeRequest = p.m_bLandscapeRequest;
    StreamState &st = s->m_Stream;
    if (st.m_hFont && choice == st.m_FontChoice) {
        L->hFont = st.m_hFont;
        L->hCaption = st.m_hCaptionFont;
        return;
    }
    ReleaseStreamFonts(&st);
    L->hFont = MakeFont(s, L->hdc, szFace, iFontHeight, iWeight);
    L->hCaption = NULL;
    if (s->m_iBarCodeMode)
        L->hCaption = MakeFont(s, L->hdc, szRowFace, iFontHeight / 3, 700);
    st.m_hFont = L->hFont;
    st.m_hCaptionFont = L->hCaption;
    st.m_FontChoice = choice;
}

void SelectStreamFont(const Layout *L)
{
    SelectTextFont(L->hdc, L->hFont);
}

void StartStreamPage(NovarcprintProcess *s, const Layout *L)
{
    StartPage(L->hdc);
    SelectStreamFont(L);
    s->m_Printer.m_bPageStarted = true;
    s->m_Printer.m_bBetweenPages = false;
    s->m_bPageOpen = true;
}

void BreakStreamPage(NovarcprintProcess *s, const Layout *L)
{
    EndPage(L->hdc);
    s->m_bPageOpen = false;
    s->m_Printer.m_bPageStarted = false;
    s->m_Printer.m_bPageEnded = true;
    s->m_Printer.m_bBetweenPages = true;
    s->m_Stream.m_iLineCount = 0;
    s->m_Stream.m_dX = 0;
    s->m_Stream.m_dY = L->iFirstBaseline;
}

/* A line whose baseline, with the font's descent below it, would leave the
 * printable area goes to the next page instead of being clipped away: the
 * line count alone misses printers with wide margins.  A line at the top of
 * the page stays, whatever it reaches. */
void BreakBeforeTheBottom(NovarcprintProcess *s, const Layout *L)
{
    StreamState &st = s->m_Stream;
    if (st.m_dY <= L->iFirstBaseline || st.m_dY + L->iDescent <= L->iVertRes)
        return;
    const double dX = st.m_dX; /* the line moves down the pages, not sideways */
    BreakStreamPage(s, L);
    StartStreamPage(s, L);
    st.m_dX = dX;
}

void ApplyPending(NovarcprintProcess *s, const Layout *L)
{
    StreamState &st = s->m_Stream;
    if (st.m_bHorzPending) {
        st.m_dX = st.m_iHorzPos + (s->m_bConverter ? 1.6 : 0.0);
        st.m_bHorzPending = false;
        st.m_iHorzPos = 0;
    }
    if (st.m_bVertPending) {
        st.m_dY = st.m_iVertPos + (s->m_bConverter ? 2.0 : 0.0);
        st.m_bVertPending = false;
        st.m_iVertPos = 0;
        st.m_dLineHeight = L->dLineSpacing;
        if (st.m_dLineHeight > 0)
            st.m_iLineCount = (int)((st.m_dY - L->iFirstBaseline) / st.m_dLineHeight);
    }
}

void DrawTextRun(NovarcprintProcess *s, const Layout *L, const char *szText, int iLen)
{
    StreamState &st = s->m_Stream;
    SIZE size;
    /* Nothing wraps: what does not fit the printable width is cut. */
    iLen = FitTextToWidth(L->hdc, szText, iLen, L->iHorzRes - st.m_dX, &size);
    if (!TextOutA(L->hdc, (int)st.m_dX, (int)st.m_dY, szText, iLen))
        s->Log("PrintNovarcStream() TextOutA() FAILED ERROR:%d", (int)GetLastError());
    st.m_dLineHeight = size.cy;
    st.m_dLastWidth = size.cx;
    if (s->m_iBarCodeMode && L->hCaption) {
        SetBkMode(L->hdc, OPAQUE);
        SelectObject(L->hdc, L->hCaption);
        const SIZE caption = MeasureText(L->hdc, szText, iLen);
        const int iX = (int)st.m_dX + (int)((st.m_dLastWidth - caption.cx) / 2);
        const int iY = (int)(st.m_dY + st.m_dLineHeight) - (int)(caption.cy * 1.2);
        TextOutA(L->hdc, iX, iY, szText, iLen);
        SelectObject(L->hdc, L->hFont);
        SetBkMode(L->hdc, TRANSPARENT);
    }
    st.m_dX += st.m_dLastWidth;
    s->m_Stream.m_iDrawnItems += iLen;
}

void DrawRuleCell(NovarcprintProcess *s, const Layout *L)
{
    StreamState &st = s->m_Stream;
    const SIZE size = MeasureText(L->hdc, "a", 1);
    st.m_dLineHeight = size.cy;
    st.m_dLastWidth = size.cx;
    SelectObject(L->hdc, L->hPen);
    const int iHalf = (int)(size.cy * 0.5);
    MoveToEx(L->hdc, (int)st.m_dX, (int)st.m_dY - iHalf, NULL);
    LineTo(L->hdc, (int)(st.m_dX + size.cx), (int)(st.m_dY - iHalf));
    st.m_dX += size.cx;
    s->m_Stream.m_iDrawnItems += 1;
}

void LineEnd(NovarcprintProcess *s, const Layout *L)
{
    StreamState &st = s->m_Stream;
    st.m_dLineHeight = L->dLineSpacing * (s->m_Printer.m_bLandscape ? 0.9 : 1.0);
    st.m_dY += st.m_dLineHeight;
    st.m_iLineCount++;
    st.m_dX = L->iLeftMargin;
    s->m_Stream.m_iDrawnItems += 1;
}

void RunTokens(NovarcprintProcess *s, const Layout *L, const char *pData, int iLen)
{
    StreamCursor cursor = {(const unsigned char *)pData, iLen};
    /* A long report arrives in pieces of a fixed size, so a CR LF can be cut
     * between two of them: an LF that starts this piece after a lone CR
     * ended the last one finishes that line end rather than making another. */
    if (s->m_Stream.m_bEndedWithCr && cursor.iLen > 0 && cursor.pData[0] == 0x0A) {
        cursor.pData++;
        cursor.iLen--;
    }
    s->m_Stream.m_bEndedWithCr = false;
    char szText[STREAM_TEXT_MAX + 1];
    int iTextLen = 0;
    int iLastToken = TOKEN_END;
    for (;;) {
        const int iToken = NextStreamToken(&cursor, szText, &iTextLen);
        if (iToken == TOKEN_END)
            break;
        iLastToken = iToken;
        if (iToken != TOKEN_FORM_FEED) {
            if (s->m_Stream.m_iLineCount >= L->iUsableLines)
                BreakStreamPage(s, L);
            if (!s->m_Printer.m_bPageStarted)
                StartStreamPage(s, L);
        }
        ApplyPending(s, L);
        if (iToken == TOKEN_TEXT || iToken == TOKEN_RULE_CELL)
            BreakBeforeTheBottom(s, L);
        if (iToken == TOKEN_TEXT) {
            DrawTextRun(s, L, szText, iTextLen);
        } else if (iToken == TOKEN_LINE_END || iToken == TOKEN_LINE_END_PAIR) {
            LineEnd(s, L);
        } else if (iToken == TOKEN_FORM_FEED) {
            BreakStreamPage(s, L);
            s->m_Stream.m_dX = L->iLeftMargin;
        } else if (iToken == TOKEN_RULE_CELL) {
            DrawRuleCell(s, L);
        }
    }
    s->m_Stream.m_bEndedWithCr =
        iLastToken == TOKEN_LINE_END && iLen > 0 && pData[iLen - 1] == 0x0D;
}

/* Raw mode: the payload goes to the spooler as it is. */
int PrintRawStream(NovarcprintProcess *s, const char *pData, int iLen)
{
    PrinterState &p = s->m_Printer;
    DWORD dwWritten = 0;
    const BOOL bOk =
        p.m_hPrinter && WritePrinter(p.m_hPrinter, (LPVOID)pData, (DWORD)iLen, &dwWritten);
    if (bOk && dwWritten == (DWORD)iLen)
        return 1;
    s->Log("PrintNovarcStream() WritePrinter failed wrote<%d> of <%d>", (int)dwWritten, iLen);
    if (p.m_hPrinter) {
        EndPagePrinter(p.m_hPrinter);
        EndDocPrinter(p.m_hPrinter);
        ClosePrinter(p.m_hPrinter);
        p.m_hPrinter = NULL;
    }
    return 0;
}

void EndStream(NovarcprintProcess *s, Layout *L)
{
    /* The fonts stay for the next stream, but not selected: the DC may be
     * deleted or drawn on by other requests before then. */
    SelectObject(L->hdc, GetStockObject(SYSTEM_FONT));
    SelectObject(L->hdc, GetStockObject(BLACK_PEN));
    StreamState &st = s->m_Stream;
    if (st.m_iDrawnItems == 0 && st.m_bNothingDrawn)
        st.m_dY = 0;
    else if (st.m_iDrawnItems != 0)
        st.m_bNothingDrawn = false;
    DeleteObject(L->hPen);
    s->m_Printer.m_bPrinted = true;
    s->m_Printer.m_bDocumentEnded = false;
}

} // namespace

int PrintNovarcStream(NovarcprintProcess *s, const char *pData, int iLen)
{
    s->Log("PrintNovarcStream()");
    if (!pData || iLen <= 0)
        return 0;
    if (s->m_Printer.m_iUseRawData)
        return PrintRawStream(s, pData, iLen);
    Layout L = {};
    L.hdc = s->m_Printer.m_hPrinterDc;
    if (!L.hdc)
        return 0;
    SetLandScapeMode(s, 0);
    L.hdc = s->m_Printer.m_hPrinterDc; /* a landscape change may have made a new one */
    if (!L.hdc)
        return 0;
    L.hPen = CreatePen(PS_SOLID, 7, RGB(0, 0, 0));
    ChooseSize(s, &L);
    L.iLpi = EffectiveLinesPerInch(s);
    ComputeGeometry(s, &L);
    StreamState &st = s->m_Stream;
    if (st.m_dY == 0) {
        /* A fresh position continues no line: a CR left by the last job is void. */
        st.m_bEndedWithCr = false;
        if (st.m_iDrawnItems == 0)
            st.m_bNothingDrawn = true;
        st.m_dY = L.iFirstBaseline;
        st.m_dX = L.iLeftMargin;
    }
    CreateStreamFonts(s, &L);
    if (s->m_iBarCodeMode)
        ComputeGeometry(s, &L);
    if (s->m_Printer.m_bColor)
        SetTextColor(L.hdc, s->m_crTextColor & 0xffffff);
    SelectStreamFont(&L);
    TEXTMETRICA tm = {};
    GetTextMetricsA(L.hdc, &tm);
    L.iDescent = tm.tmDescent;
    if (!s->m_Printer.m_bPageStarted)
        StartStreamPage(s, &L);
    RunTokens(s, &L, pData, iLen);
    EndStream(s, &L);
    return 1;
}

void ResetPrintingFlag(NovarcprintProcess *s)
{
    s->Log("ResetPrintingFlag(600y)");
    s->m_Stream.m_iHorzPos = 0;
    s->m_Stream.m_iVertPos = 0;
    s->m_Stream.m_dX = 0;
    s->m_Stream.m_dY = 0;
    s->m_Printer.m_bPageStarted = false;
    s->m_Printer.m_bBetweenPages = true;
    s->m_bPageOpen = false;
    s->m_iFormFeedOption = 1;
}
