/*
 * Pictures named inside a word-processor document: drawn at the pen in the
 * box the document gives (hundredths of an inch), cut to the room the page
 * has and placed by the document's justification.  A picture the cache
 * does not have, or that does not decode, leaves its box on the page with
 * "Virtual Image" in it, so the text around it stays where it belongs.
 *
 * The cached copies of a document's pictures are removed after the
 * document only on the mobile and print converters, which keep the
 * picture in their own output.
 */
#include <algorithm>
#include <cstdio>
#include <cstring>

#include "image_load.h"
#include "images.h"

namespace {

#define STREAM_FLAG_OWN_WIDTH 0x01

struct Placement {
    int x, iWidth, iHeight;
};

bool IsMobileConverter(const NovarcprintProcess *s)
{
    return strstr(s->m_szPrinterName, "NovarcPDF") && strcmp(s->m_szPrinterName, "NovarcPDF") != 0;
}

int JustifiedX(HDC hdc, const StreamImageRecord &record, int iLeft, int iRight, int iWidth)
{
    switch (record.iJustification) {
    case 0:
        return (GetDeviceCaps(hdc, HORZRES) - iWidth) / 2;
    case 2:
        return iRight - iWidth;
    default:
        return iLeft;
    }
}

/* The picture's box.  The document's size, shrunk with its proportions
 * kept until it fits both the usable width (not the right edge's
 * coordinate, which would let a left-justified picture run past the right
 * margin) and the room above the page bottom. */
Placement PictureBox(HDC hdc, const StreamImageRecord &record, int x, int iLeft, int iAvail,
                     int iLimit, int iFlags)
{
    const long long rw = std::max(0, record.iWidth), rh = std::max(0, record.iHeight);
    long long w = rw * GetDeviceCaps(hdc, LOGPIXELSX) / 100;
    long long h = rh * GetDeviceCaps(hdc, LOGPIXELSY) / 100;
    iAvail = std::max(0, iAvail);
    iLimit = std::max(0, iLimit);
    if (w > iAvail) {
        w = iAvail;
        h = rw > 0 ? iAvail * rh / rw : 0;
    }
    if (h > iLimit) {
        h = iLimit;
        w = rh > 0 ? iLimit * rw / rh : 0;
    }
    if (iFlags & STREAM_FLAG_OWN_WIDTH) {
        w = std::max(0LL, rw * GetDeviceCaps(hdc, LOGPIXELSY) / 10 - 60);
        h = rw > 0 ? rh * w / rw : 0;
        return {x, (int)w, (int)h};
    }
    return {JustifiedX(hdc, record, iLeft, iLeft + iAvail, (int)w), (int)w, (int)h};
}

/* The placeholder's box: each side cut on its own. */
Placement PlaceholderBox(HDC hdc, const StreamImageRecord &record, int x, int iLeft, int iAvail,
                         int iLimit, int iFlags)
{
    const long long rw = std::max(0, record.iWidth), rh = std::max(0, record.iHeight);
    long long w =
        std::min(rw * GetDeviceCaps(hdc, LOGPIXELSX) / 100, (long long)std::max(0, iAvail));
    long long h =
        std::min(rh * GetDeviceCaps(hdc, LOGPIXELSY) / 100, (long long)std::max(0, iLimit));
    if (iFlags & STREAM_FLAG_OWN_WIDTH) {
        h = rh * GetDeviceCaps(hdc, LOGPIXELSX) / 10;
        w = rh > 0 ? rw * h / rh : 0;
        return {x, (int)w, (int)h};
    }
    return {JustifiedX(hdc, record, iLeft, iLeft + std::max(0, iAvail), (int)w), (int)w, (int)h};
}

void DrawPlaceholder(HDC hdc, int y, const Placement &box)
{
    static const char kText[] = "Virtual Image";
    SIZE size = {0, 0};
    GetTextExtentPoint32A(hdc, kText, (int)strlen(kText), &size);
    TextOutA(hdc, box.x + (box.iWidth - size.cx) / 2, y + box.iHeight / 2, kText,
             (int)strlen(kText));
    HGDIOBJ hOldBrush = SelectObject(hdc, GetStockObject(NULL_BRUSH));
    Rectangle(hdc, box.x, y, box.x + box.iWidth, y + box.iHeight);
    SelectObject(hdc, hOldBrush);
}

/* The annotation bytes a document carries go beside the picture, where
 * the annotation lookup finds them first: the name's extension (from its
 * last dot) replaced by ".ann".  The written path, or "" when nothing was
 * written. */
void WriteDocumentAnnotations(NovarcprintProcess *s, const StreamImageRecord &record,
                              char *szWritten)
{
    szWritten[0] = 0;
    if (!record.pAnnotations || record.iAnnotationLen <= 0)
        return;
    char szName[IMAGE_NAME_SIZE + 8];
    const char *pDot = strrchr(record.szName, '.');
    const int iStem = pDot ? (int)(pDot - record.szName) : (int)strlen(record.szName);
    snprintf(szName, sizeof(szName), "%.*s.ann", iStem, record.szName);
    char szPath[MAX_PATH];
    if (!CachePath(s, "PrintStreamImage", szName, szPath))
        return;
    HANDLE hFile =
        CreateFileA(szPath, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (hFile == INVALID_HANDLE_VALUE)
        return;
    DWORD dwDone = 0;
    const bool bOk =
        WriteFile(hFile, record.pAnnotations, (DWORD)record.iAnnotationLen, &dwDone, NULL) &&
        dwDone == (DWORD)record.iAnnotationLen;
    CloseHandle(hFile);
    if (bOk)
        snprintf(szWritten, MAX_PATH, "%s", szPath);
    else
        DeleteFileA(szPath);
}

/* Finds the picture; a payload-ciphered name may have been stored under
 * the file key instead.  The full path in szPath, or false. */
bool FindStreamImage(NovarcprintProcess *s, const char *szName, char *szPath)
{
    snprintf(szPath, MAX_PATH, "%s", szName);
    if (IsImageFileHere(s, szPath, FILE_HERE_NO_REPLY))
        return true;
    const size_t n = strlen(szName);
    if (n < 4 || !IsPayloadCipheredName(szName))
        return false;
    snprintf(szPath, MAX_PATH, "%.*s.x2m", (int)(n - 4), szName);
    return IsImageFileHere(s, szPath, FILE_HERE_NO_REPLY);
}

void DrawStreamPicture(NovarcprintProcess *s, HDC hdc, LoadedImage *pImage, int y,
                       const Placement &box)
{
    BITMAPHANDLE &bitmap = pImage->bitmap;
    const RECT rc = {box.x, y, box.x + box.iWidth, y + box.iHeight};
    if (s->m_bConverter && pImage->hAnnotations) {
        if (ShownWidth(bitmap) != box.iWidth || ShownHeight(bitmap) != box.iHeight)
            KELL_SizeBitmap(&bitmap, box.iWidth, box.iHeight, L_SIZE_RESAMPLE);
        if (bitmap.BitsPerPixel < 8 && bitmap.BitsPerPixel != 1 && bitmap.BitsPerPixel != 4)
            KELL_ColorResBitmap(&bitmap, &bitmap, sizeof(bitmap), 8, 0);
        RealizeAnnotations(pImage);
    }
    if (bitmap.BitsPerPixel == 1)
        KELL_PaintDC(hdc, &bitmap, NULL, &rc, SRCCOPY);
    else
        KELL_PrintBitmapFast(hdc, &bitmap, box.x, y, box.iWidth, box.iHeight);
    if (!s->m_bConverter)
        PrintAnnotations(hdc, pImage, rc);
}

} // namespace

int PrintStreamImage(NovarcprintProcess *s, HDC hdc, const StreamImageRecord &record, int *pX,
                     int *pY, int iLeft, int iAvailWidth, int iHeightLimit, int iFlags)
{
    char szWritten[MAX_PATH];
    WriteDocumentAnnotations(s, record, szWritten);
    char szPath[MAX_PATH];
    LoadedImage image;
    int iLoaded = 0;
    if (FindStreamImage(s, record.szName, szPath)) {
        const DecodeChoice choice =
            s->m_bConverter && s->m_Printer.m_bJpegLevel ? DecodeChoice{3, 3} : DecodeChoice{0, 0};
        iLoaded = LoadCachedImage(s, szPath, record.szName, choice, record.iRotation, &image);
    }
    int iResult = 0;
    Placement box;
    if (iLoaded == 1) {
        box = PictureBox(hdc, record, *pX, iLeft, iAvailWidth, iHeightLimit, iFlags);
        DrawStreamPicture(s, hdc, &image, *pY, box);
    } else {
        s->Log("PrintStreamImage(%s) not in the image cache", record.szName);
        box = PlaceholderBox(hdc, record, *pX, iLeft, iAvailWidth, iHeightLimit, iFlags);
        DrawPlaceholder(hdc, *pY, box);
        iResult = -1;
    }
    ReleaseLoadedImage(&image);
    /* Annotations travel with one print of their picture. */
    if (szWritten[0])
        DeleteFileA(szWritten);
    s->m_Printer.m_bPrinted = true;
    s->m_Printer.m_bDocumentEnded = false;
    *pX += box.iWidth;
    *pY += box.iHeight;
    return iResult;
}

void DeleteWpStringImageFile(NovarcprintProcess *s, const char *szName)
{
    if (!IsMobileConverter(s) || !szName || !szName[0])
        return;
    char szX2m[IMAGE_NAME_SIZE + 4];
    snprintf(szX2m, sizeof(szX2m), "%s.x2m", szName);
    for (const char *szEach : {szName, (const char *)szX2m}) {
        char szPath[MAX_PATH];
        if (!CachePath(s, "DeleteWpStringImageFile", szEach, szPath))
            return;
        s->Log("DeleteWpStringImageFile DeleteFile( %s )", szPath);
        DeleteFileA(szPath);
    }
}
