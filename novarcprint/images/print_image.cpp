/*
 * PrintImageFile: a cached scan as a page.  The picture is fitted into a
 * box (the printable area, or the smaller boxes of the overlay, card and
 * small modes) keeping its proportions, drawn from the top-left corner with
 * its annotations over it, a heading and footing added, and the page ended
 * unless the mode is the overlay that shares its page with what follows.
 * PRINT_LOCAL_IMAGE prints an image already in the cache the same way.
 */
#include <cctype>
#include <cstdio>
#include <cstring>

#include "draw.h"
#include "image_load.h"
#include "images.h"
#include "printer.h"

namespace {

#define MODE_OVERLAY 4
#define MODE_SMALL_BOX 16
#define MODE_CARD 0x08
#define MODE_CARD_FULL_BOX 0x20
#define MODE_CARD_HALVES 0x40
#define SMALL_BOX 1500
/* The overlay's box on ordinary printers: 8 by 10.54 inches at 600 dpi. */
#define OVERLAY_BOX_WIDTH 4800
#define OVERLAY_BOX_HEIGHT 6324

struct Box {
    int iWidth, iHeight;
};

Box ImageBox(NovarcprintProcess *s, HDC hdc, int iMode)
{
    const int iHorz = GetDeviceCaps(hdc, HORZRES), iVert = GetDeviceCaps(hdc, VERTRES);
    Box box = {iHorz, iVert};
    if (iMode == MODE_OVERLAY) {
        if (s->m_Printer.m_iModelClass == 5) {
            box.iWidth = (int)(iHorz * 0.96);
            box.iHeight = (int)(iVert * 0.96);
        } else if (!s->m_bConverter) {
            box.iWidth = OVERLAY_BOX_WIDTH;
            box.iHeight = OVERLAY_BOX_HEIGHT;
        }
    }
    if (iMode & MODE_CARD) {
        if (!(iMode & MODE_CARD_FULL_BOX)) {
            box.iWidth = iHorz / 2;
            box.iHeight = iVert / 2;
        }
        if (iMode & MODE_CARD_HALVES) {
            box.iWidth = (int)(iHorz / 2.285);
            box.iHeight = iVert;
        }
    }
    if (iMode == MODE_SMALL_BOX)
        box.iWidth = box.iHeight = SMALL_BOX;
    return box;
}

/* The depth asked of the library: converter printers may want the JPEG
 * level-1 form, or full colour for annotated ".CMP" images they burn. */
DecodeChoice ChooseDepth(NovarcprintProcess *s, const char *szName)
{
    if (!s->m_bConverter)
        return {0, 0};
    if (s->m_Printer.m_bJpegLevel)
        return {3, 3};
    char szUpper[IMAGE_NAME_SIZE];
    int i = 0;
    for (; szName[i] && i < IMAGE_NAME_SIZE - 1; i++)
        szUpper[i] = (char)toupper((unsigned char)szName[i]);
    szUpper[i] = 0;
    return {0, strstr(szUpper, ".CMP") ? 16 : 0};
}

/* In raw-data mode the job has no device context: each image gets a GDI
 * document of its own. */
bool OpenRawImageDocument(NovarcprintProcess *s)
{
    PrinterState &p = s->m_Printer;
    p.m_hPrinterDc = CreateDCA(p.m_szDriverName, s->m_szPrinterName, NULL, NULL);
    if (!p.m_hPrinterDc)
        return false;
    DOCINFOA doc = {};
    doc.cbSize = sizeof(doc);
    doc.lpszDocName = "Novarc Document";
    doc.lpszDatatype = "RAW";
    if (StartDocA(p.m_hPrinterDc, &doc) <= 0 || StartPage(p.m_hPrinterDc) <= 0) {
        DeleteDC(p.m_hPrinterDc);
        p.m_hPrinterDc = NULL;
        return false;
    }
    return true;
}

} // namespace

void CloseRawImageDocument(NovarcprintProcess *s)
{
    PrinterState &p = s->m_Printer;
    if (!p.m_iUseRawData || !p.m_hPrinterDc)
        return;
    EndDoc(p.m_hPrinterDc);
    DeleteDC(p.m_hPrinterDc);
    p.m_hPrinterDc = NULL;
}

namespace {

/* Fits a w x h picture into the box, keeping its proportions. */
Box FitToBox(int w, int h, const Box &box)
{
    if (w <= 0 || h <= 0)
        return {0, 0};
    const long long llFullWidthHeight = (long long)h * box.iWidth / w;
    if (llFullWidthHeight >= box.iHeight)
        return {(int)((long long)box.iHeight * w / h), box.iHeight};
    return {box.iWidth, (int)llFullWidthHeight};
}

void DrawPicture(NovarcprintProcess *s, HDC hdc, LoadedImage *pImage, const Box &out)
{
    BITMAPHANDLE &bitmap = pImage->bitmap;
    const RECT rcOut = {0, 0, out.iWidth, out.iHeight};
    SetMapMode(hdc, MM_TEXT);
    SetTextAlign(hdc, 0);
    if (bitmap.BitsPerPixel == 1 && !s->m_Printer.m_bEPrint && !s->m_bConverter) {
        /* The library draws in true colour and has no palette to select. */
        KELL_PaintDC(hdc, &bitmap, NULL, &rcOut, SRCCOPY);
        PrintAnnotations(hdc, pImage, rcOut);
        return;
    }
    if (s->m_bConverter && pImage->hAnnotations) {
        if (ShownWidth(bitmap) != out.iWidth || ShownHeight(bitmap) != out.iHeight)
            KELL_SizeBitmap(&bitmap, out.iWidth, out.iHeight, L_SIZE_RESAMPLE);
        if (bitmap.BitsPerPixel < 8)
            KELL_ColorResBitmap(&bitmap, &bitmap, sizeof(bitmap), 24, 0);
        RealizeAnnotations(pImage);
    }
    if (s->m_Printer.m_bEPrint)
        KELL_PrintBitmap(hdc, &bitmap, 1, 1, out.iWidth, out.iHeight);
    else
        KELL_PrintBitmapFast(hdc, &bitmap, 1, 1, out.iWidth, out.iHeight);
    if (!s->m_bConverter)
        PrintAnnotations(hdc, pImage, rcOut);
}

void DrawInactive(HDC hdc, const Box &out)
{
    const COLORREF crText = SetTextColor(hdc, RGB(255, 255, 255));
    const COLORREF crBack = SetBkColor(hdc, RGB(255, 0, 0));
    const int iBkMode = SetBkMode(hdc, OPAQUE);
    TextOutA(hdc, out.iWidth / 2, 0, "Inactive", 8);
    SetTextColor(hdc, crText);
    SetBkColor(hdc, crBack);
    SetBkMode(hdc, iBkMode);
}

/* A scan whose box is the whole page, painted opaque from the top-left
 * corner: anything already on the page would vanish under it. */
bool IsWholePageScan(int iMode)
{
    return iMode != MODE_OVERLAY && iMode != MODE_SMALL_BOX && !(iMode & MODE_CARD);
}

/* A page still open (the last page of a report, an overlay) when a
 * whole-page scan arrives is ended first, so the scan gets a page of its
 * own; text that follows the scan starts at the top of the next page. */
void EndPageUnderScan(NovarcprintProcess *s, HDC hdc)
{
    s->Log("PrintImageFile ends the open page before the scan");
    EndPage(hdc);
    PrinterState &p = s->m_Printer;
    p.m_bPageEnded = true;
    p.m_bPageStarted = false;
    p.m_bBetweenPages = true;
    s->m_bPageOpen = false;
    s->m_Stream.m_dY = 0;
    s->m_Stream.m_iLineCount = 0;
}

/* Decodes, fits and draws one picture on the page: 1 when drawn, 0 when
 * the file could not be read, -1 when it does not decode. */
int PrintPicture(NovarcprintProcess *s, const char *szPath, const char *szName, int iMode)
{
    PrinterState &p = s->m_Printer;
    HDC hdc = p.m_hPrinterDc;
    if (!hdc)
        return 0;
    Box box = ImageBox(s, hdc, iMode);
    LoadedImage image;
    const int iLoaded = LoadCachedImage(s, szPath, szName, ChooseDepth(s, szName),
                                        s->m_Images.m_iImageRotation, &image);
    if (iLoaded != 1) {
        ReleaseLoadedImage(&image);
        CloseRawImageDocument(s);
        return iLoaded;
    }
    if (IsWholePageScan(iMode) && p.m_bPageStarted)
        EndPageUnderScan(s, hdc);
    StartPage(hdc);
    p.m_bPageStarted = true;
    p.m_bBetweenPages = false;
    if (iMode & MODE_CARD)
        TrimCardImage(&image.bitmap, iMode);
    const Box out = FitToBox(ShownWidth(image.bitmap), ShownHeight(image.bitmap), box);
    if (iMode & MODE_CARD)
        CleanCardBottomEdge(&image.bitmap);
    DrawPicture(s, hdc, &image, out);
    if (strstr(szName, "Inactive"))
        DrawInactive(hdc, out);
    PrintImageFileHeaderFooter(s, hdc, box.iWidth, box.iHeight, s->m_iCurrentImagePage);
    if (iMode != MODE_OVERLAY) {
        DocumentProperties(s, p.m_iPendingBin);
        EndPage(hdc);
        p.m_bPageEnded = true;
        p.m_bPageStarted = false;
        p.m_bBetweenPages = true;
    }
    p.m_bPrinted = true;
    p.m_bDocumentEnded = false;
    SetTextAlign(hdc, TA_BASELINE);
    ReleaseLoadedImage(&image);
    CloseRawImageDocument(s);
    return 1;
}

} // namespace

int PrintImageFile(NovarcprintProcess *s, const char *szName, int iPage, int iMode)
{
    s->Log("PrintImageFile( %s page:%d ) mode:%d", szName, iPage, iMode);
    if (s->m_Printer.m_bLeadtoolsConvertPrinter)
        return ConvertImageFile(s, szName, iPage, iMode);
    char szPath[MAX_PATH];
    snprintf(szPath, sizeof(szPath), "%s", szName);
    if (IsPdfName(szName)) {
        if (IsImageFileHere(s, szPath, FILE_HERE_NO_REPLY))
            return PrintNovarcPdfDocument(s, szPath, iPage, iMode);
        ShortenImageWait(s, "PrintImageFile");
        return 0;
    }
    s->m_iCurrentImagePage++;
    ShortenImageWait(s, "PrintImageFile");
    if (!IsImageFileHere(s, szPath, FILE_HERE_NO_REPLY))
        return 0;
    PrinterState &p = s->m_Printer;
    if (iMode != MODE_OVERLAY && iPage >= 2)
        DocumentProperties(s, p.m_iPendingBin);
    if (p.m_iUseRawData && !OpenRawImageDocument(s)) {
        s->Log("PrintImageFile( %s ) no document for the image", szName);
        return 0;
    }
    const int iResult = PrintPicture(s, szPath, szName, iMode);
    if (iResult < 0)
        return -1;
    /* The mobile and print converters take the scan into their PDF: the
     * cached copy is not needed again. */
    if (iResult == 1 && strstr(s->m_szPrinterName, "NovarcPDF") &&
        strcmp(s->m_szPrinterName, "NovarcPDF") != 0)
        DeleteFileA(szPath);
    return 0;
}

int HandlePrintLocalImage(NovarcprintProcess *s, MsgBuf *pMsg, int)
{
    LocalImageRecord record;
    if (!ReadPrintLocalImage(pMsg->szBuf, pMsg->iLen, &record)) {
        s->Log("PRINT_LOCAL_IMAGE malformed payload iLen<%d>", pMsg->iLen);
        return 0;
    }
    /* A CompImage job's output is the one image printed now. */
    if (strcmp(s->m_szPrinterName, COMP_IMAGE_PRINTER) == 0)
        DeleteFileA("c:\\novarc\\CompImage\\CompImage.tif");
    LengthenImageWait(s, "ThreadPrintImageFile");
    ApplyCompImageSubstitution(s, record.szName);
    PrintImageFile(s, record.szName, record.iPage, record.iMode);
    s->m_Images.m_iImageRotation = 0;
    return 1;
}

void LengthenImageWait(NovarcprintProcess *s, const char *szWho)
{
    if (s->m_iWaitInterval != DEFAULT_WAIT_INTERVAL_MS)
        return;
    s->m_iWaitInterval = IMAGE_WAIT_INTERVAL_MS;
    s->Log("%s LENGTHEN WAIT INTERVAL", szWho);
}

void ShortenImageWait(NovarcprintProcess *s, const char *szWho)
{
    if (s->m_iWaitInterval != IMAGE_WAIT_INTERVAL_MS)
        return;
    s->m_iWaitInterval = DEFAULT_WAIT_INTERVAL_MS;
    s->Log("%s SHORTEN WAIT INTERVAL", szWho);
}
