/*
 * What image printing lays on pages drawn by others: the letterhead behind
 * a document page, signatures and the drawing (DAW) image at the positions
 * the server gave, a document's signature image, the heading and footing
 * of a scanned page, and the lab report's electronic "e".
 *
 * Positions the server gives for signatures and drawings are tenths of an
 * inch from the margins of the page being printed; a height of 0 is the
 * whole printable height.  A printed signature file is deleted at once: it
 * is patient data and is not asked for again.
 */
#include <cstdio>
#include <cstring>
#include <vector>

#include "draw.h"
#include "image_load.h"
#include "images.h"

namespace {

#define WHITE RGB(255, 255, 255)

/* Decodes a cache file (any of its forms) into pBitmap; false when it
 * cannot be read or decoded. */
bool LoadForPaint(const char *szPath, BITMAPHANDLE *pBitmap)
{
    CacheBytes bytes;
    if (!ReadCacheFile(szPath, &bytes))
        return false;
    KELL_PreLoadFilters(4, 4, "BMP,J2K,JPG,TIF");
    const bool bOk =
        bytes.dwLen > 0 && KELL_LoadMemory((const BYTE *)bytes.pData, pBitmap, sizeof(*pBitmap), 0,
                                           1, bytes.dwLen) == L_SUCCESS;
    FreeCacheBytes(&bytes);
    return bOk;
}

/* Paints a cached picture with its top-left corner at (x, y), iHeight
 * high (0: the printable height) and as wide as its proportions say.
 * 1 when painted, -1 when it does not load. */
int PaintAt(NovarcprintProcess *s, const char *szWho, const char *szPath, int x, int y, int iHeight,
            DWORD dwRop)
{
    HDC hdc = s->m_Printer.m_hPrinterDc;
    if (iHeight == 0)
        iHeight = GetDeviceCaps(hdc, VERTRES);
    s->Log("%s KELL_LoadBitmap(%s)", szWho, szPath);
    BITMAPHANDLE bitmap = {};
    if (!LoadForPaint(szPath, &bitmap))
        return -1;
    const int w = ShownWidth(bitmap), h = ShownHeight(bitmap);
    const int iWidth = h > 0 ? (int)((long long)w * iHeight / h) : 0;
    const RECT rc = {x, y, x + iWidth, y + iHeight};
    KELL_PaintDC(hdc, &bitmap, NULL, &rc, dwRop);
    KELL_FreeBitmap(&bitmap);
    s->m_Printer.m_bPrinted = true;
    s->m_Printer.m_bDocumentEnded = false;
    return 1;
}

/* Where the page's text is now, as signatures and drawings are placed. */
int PageX(NovarcprintProcess *s, HDC hdc, int iTenths)
{
    return s->m_Images.m_iLeftMargin + GetDeviceCaps(hdc, LOGPIXELSX) * iTenths / 10;
}
int PageY(NovarcprintProcess *s, HDC hdc, int iTenths)
{
    return (int)s->m_Stream.m_dY + s->m_Images.m_iTopMargin +
           GetDeviceCaps(hdc, LOGPIXELSY) * iTenths / 10;
}

void DrawDigitalImageCaption(NovarcprintProcess *s, HDC hdc)
{
    char szFace[FONT_FACE_SIZE] = "Microsoft Sans Serif";
    HFONT hFont = NULL;
    if (CreatePrinterFont(s, hdc, &hFont, szFace, FontHeightForPoints(hdc, 6), 0, FW_NORMAL, 0, 0,
                          0) != 0)
        return;
    HGDIOBJ hOld = SelectObject(hdc, hFont);
    TextOutA(hdc, InchesToDeviceX(hdc, 2.5), InchesToDeviceY(hdc, 4.5), "(Digital Image)", 15);
    SelectObject(hdc, hOld);
    DeleteObject(hFont);
    s->m_Images.m_bDigitalImageCaption = false;
}

/* Covers the form's printed signature line with white. */
void BlankSignatureLine(NovarcprintProcess *s, HDC hdc)
{
    int x = InchesToDeviceX(hdc, 4.7), y = InchesToDeviceY(hdc, 4.9);
    if (!s->m_bFax) {
        x += InchesToDeviceX(hdc, -0.23);
        y += InchesToDeviceY(hdc, 0.18);
    }
    HPEN hPen = CreatePen(PS_SOLID, 60, WHITE);
    HGDIOBJ hOldPen = SelectObject(hdc, hPen);
    HGDIOBJ hOldBrush = SelectObject(hdc, GetStockObject(NULL_BRUSH));
    Rectangle(hdc, x, y, x + InchesToDeviceX(hdc, 1.4), y + InchesToDeviceY(hdc, 0.5));
    SelectObject(hdc, hOldBrush);
    SelectObject(hdc, hOldPen);
    DeleteObject(hPen);
}

} // namespace

int PrintLetterheadFile(NovarcprintProcess *s, const char *szName)
{
    if (!szName || !szName[0]) {
        s->Log("PrintLetterheadFile FileName Blank(%s)", szName ? szName : "");
        return -1;
    }
    HDC hdc = s->m_Printer.m_hPrinterDc;
    char szPath[MAX_PATH];
    BITMAPHANDLE bitmap = {};
    if (!hdc || !CachePath(s, "PrintLetterheadFile", szName, szPath) ||
        !LoadForPaint(szPath, &bitmap)) {
        s->Log("PrintLetterheadFile(%s) FAILED", szName);
        CloseRawImageDocument(s);
        return -1;
    }
    const int iHorz = GetDeviceCaps(hdc, HORZRES), iVert = GetDeviceCaps(hdc, VERTRES);
    const int w = ShownWidth(bitmap), h = ShownHeight(bitmap);
    int iWidth = iHorz, iHeight = (int)((long long)h * iHorz / w);
    if (iHeight >= iVert) {
        iWidth = (int)((long long)iVert * w / h);
        iHeight = iVert;
    }
    RECT rc = {0, 0, iWidth, iHeight};
    if (s->m_bConverter) {
        const int dx = InchesToDeviceX(hdc, 0.25), dy = InchesToDeviceY(hdc, 0.25);
        rc = {dx, dy, iWidth - dx, iHeight - dy};
    }
    KELL_PaintDC(hdc, &bitmap, NULL, &rc, SRCCOPY);
    KELL_FreeBitmap(&bitmap);
    s->m_Printer.m_bPrinted = true;
    s->m_Printer.m_bDocumentEnded = false;
    return 1;
}

void PrintLetterhead(NovarcprintProcess *s, int iPage)
{
    const ImagesState &im = s->m_Images;
    if (iPage == 1 && im.m_iLetterheadCount != 0)
        PrintLetterheadFile(s, im.m_szLetterhead[0]);
    else if (iPage > 1 && im.m_iLetterheadCount > 1)
        PrintLetterheadFile(s, im.m_szLetterhead[1]);
}

int PrintSignatureFile(NovarcprintProcess *s)
{
    ImagesState &im = s->m_Images;
    HDC hdc = s->m_Printer.m_hPrinterDc;
    std::vector<SignatureRecord> records;
    records.swap(im.m_Signatures);
    im.m_bSignaturePending = false;
    if (!hdc)
        return 0;
    for (const SignatureRecord &record : records) {
        char szPath[MAX_PATH];
        snprintf(szPath, sizeof(szPath), "%d_%s", s->m_iProcessId, record.szName);
        if (!IsImageFileHere(s, szPath, FILE_HERE_NO_REPLY))
            return 0;
        const int iHeight = GetDeviceCaps(hdc, LOGPIXELSX) * record.iHeight / 10;
        if (PaintAt(s, "PrintSignatureFile", szPath, PageX(s, hdc, record.iX),
                    PageY(s, hdc, record.iY), iHeight, SRCCOPY) < 0) {
            CloseRawImageDocument(s);
            return -1;
        }
        DeleteFileA(szPath);
        if (im.m_bDigitalImageCaption)
            DrawDigitalImageCaption(s, hdc);
        if (record.iFlags == 1)
            BlankSignatureLine(s, hdc);
    }
    if (!records.empty() && records.back().iFlags != 0 && im.m_bDawPending)
        PrintDawFile(s, im.m_szDawFileName);
    CloseRawImageDocument(s);
    return 1;
}

int PrintDawFile(NovarcprintProcess *s, const char *szName)
{
    ImagesState &im = s->m_Images;
    HDC hdc = s->m_Printer.m_hPrinterDc;
    char szPath[MAX_PATH];
    snprintf(szPath, sizeof(szPath), "%s", szName);
    if (!hdc || !IsImageFileHere(s, szPath, FILE_HERE_NO_REPLY))
        return 0;
    const int iHeight = GetDeviceCaps(hdc, LOGPIXELSX) * im.m_iDaw[2] / 10;
    const int iResult = PaintAt(s, "PrintDawFile", szPath, PageX(s, hdc, im.m_iDaw[0]),
                                PageY(s, hdc, im.m_iDaw[1]), iHeight, SRCCOPY);
    DeleteFileA(szPath);
    im.m_bDawPending = false;
    CloseRawImageDocument(s);
    return iResult;
}

int PrintDocumentSignatureFile(NovarcprintProcess *s, const char *szName, int iX, int iY,
                               int iHeight)
{
    char szPath[MAX_PATH];
    snprintf(szPath, sizeof(szPath), "%s", szName);
    if (!s->m_Printer.m_hPrinterDc || !IsImageFileHere(s, szPath, FILE_HERE_NO_REPLY))
        return 0;
    const int iResult = PaintAt(s, "PrintDocumentSignatureFile", szPath, iX, iY, iHeight, SRCAND);
    if (iResult < 0)
        CloseRawImageDocument(s);
    return iResult;
}

void PrintPendingTrailerImages(NovarcprintProcess *s)
{
    if (s->m_Images.m_bSignaturePending)
        PrintSignatureFile(s);
    if (s->m_Images.m_bDawPending)
        PrintDawFile(s, s->m_Images.m_szDawFileName);
}

int PrintLabElectronicE(NovarcprintProcess *s)
{
    s->Log("PrintLabElectronicE()");
    HDC hdc = s->m_Printer.m_hPrinterDc;
    if (!hdc)
        return 0;
    const int x = s->m_Images.m_iLeftMargin + InchesToDeviceX(hdc, 0.42);
    const int y = s->m_Images.m_iTopMargin;
    s->m_Stream.m_dY = y;
    char szFace[FONT_FACE_SIZE] = "Times New Roman";
    HFONT hFont = NULL;
    if (CreatePrinterFont(s, hdc, &hFont, szFace, FontHeightForPoints(hdc, 60), 0, FW_NORMAL, 0, 0,
                          0) != 0)
        return 0;
    HGDIOBJ hOld = SelectObject(hdc, hFont);
    const UINT uAlign = SetTextAlign(hdc, TA_BASELINE);
    const int iBkMode = SetBkMode(hdc, TRANSPARENT);
    TextOutA(hdc, x, y, "e", 1);
    SetBkMode(hdc, iBkMode);
    SetTextAlign(hdc, uAlign);
    SelectObject(hdc, hOld);
    DeleteObject(hFont);
    s->m_Stream.m_dX = x;
    s->m_Printer.m_bPrinted = true;
    s->m_Printer.m_bDocumentEnded = false;
    return 1;
}

int HandlePrintLabElectronicE(NovarcprintProcess *s, MsgBuf *, int)
{
    return PrintLabElectronicE(s);
}
