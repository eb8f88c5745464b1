/*
 * Sample pages of the imaging library, for docs/gallery (run by
 * docs/gallery/imaging.sh, which turns the PDF into PNG pages):
 *
 *   1. a scanned letter page (G4, 300 dpi) painted on a 600-dpi letter page
 *      with an annotation file printed over it;
 *   2. a colour picture as loaded, turned a quarter, turned 30 degrees with a
 *      grey fill, trimmed of its border, sharpened, and burnt with
 *      annotations; a signature combined with SRCAND over a form line.
 *
 *   imaging_gallery OUT.pdf      (C:\gallery.ann is written under the
 *                                 winport root: set WINPORT_ROOT)
 */
#include "gdi_device.h"

#include <imaging.h>
#include <leptonica/allheaders.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

using namespace winport::gdi;

namespace {

const char kAnnotations[] = R"({
  "format": "novarc-annotations", "version": 1,
  "image": {"width": 2550, "height": 3300},
  "objects": [
    {"type": "rectangle", "rect": [140, 520, 1400, 880], "color": "#D00000", "lineWidth": 8},
    {"type": "arrow", "points": [[1900, 1150], [1420, 860]], "color": "#0040C0", "lineWidth": 10},
    {"type": "highlighter", "rect": [140, 1240, 2300, 1300]},
    {"type": "note", "rect": [1600, 1150, 2400, 1500], "text": "Compare with the scan of 3 May.",
     "font": {"name": "Arial", "size": 60}},
    {"type": "ellipse", "rect": [300, 2000, 900, 2400], "color": "#008000", "lineWidth": 6},
    {"type": "freehand", "points": [[1000, 2100], [1100, 2050], [1200, 2150], [1300, 2050],
                                    [1400, 2150]], "color": "#800080", "lineWidth": 6},
    {"type": "text", "rect": [140, 2600, 2000, 2700], "text": "Zoë Müller, left knee, lateral",
     "font": {"name": "Times New Roman", "size": 70, "italic": true}},
    {"type": "stamp", "rect": [1700, 2850, 2400, 3100], "text": "REVIEWED",
     "font": {"name": "Arial", "size": 110}}
  ]})";

/* Text-like strokes over a letter page at 300 dpi, as a G4 TIFF. */
std::vector<unsigned char> ScannedPage()
{
    Pix *pix = pixCreate(2550, 3300, 1);
    for (int line = 0; line < 48; line++)
        for (int word = 0; word < 11; word++) {
            const int x = 150 + word * 200 + (line * 37 % 60), y = 300 + line * 60;
            pixRasterop(pix, x, y, 110 + (word * line) % 60, 28, PIX_SET, nullptr, 0, 0);
            pixRasterop(pix, x + 8, y + 8, 80, 12, PIX_CLR, nullptr, 0, 0);
        }
    pixSetResolution(pix, 300, 300);
    l_uint8 *data = nullptr;
    size_t size = 0;
    pixWriteMemTiff(&data, &size, pix, IFF_TIFF_G4);
    std::vector<unsigned char> bytes(data, data + size);
    lept_free(data);
    pixDestroy(&pix);
    return bytes;
}

/* A colour picture with a grey scanner border. */
void Picture(BITMAPHANDLE *b)
{
    L_CreateBitmap(b, sizeof *b, 400, 300, 24);
    L_FillBitmap(b, RGB(150, 150, 150));
    for (int y = 30; y < 270; y++)
        for (int x = 30; x < 370; x++)
            L_PutPixelColor(b, y, x, RGB(60 + x / 2, 40 + y / 2, (x / 40 + y / 40) % 2 ? 220 : 60));
}

void Paint(HDC dc, BITMAPHANDLE *b, int x, int y, int w)
{
    const int h = w * (b->ViewPerspective >= L_LEFT_TOP ? b->Width : b->Height) /
                  (b->ViewPerspective >= L_LEFT_TOP ? b->Height : b->Width);
    const RECT dest{x, y, x + w, y + h};
    L_PaintDC(dc, b, nullptr, &dest, SRCCOPY);
}

/* The annotation file, written and loaded through the Windows file API. */
HANNOBJECT LoadAnnotations()
{
    HANDLE f = CreateFileA("C:\\gallery.ann", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD wrote = 0;
    WriteFile(f, kAnnotations, sizeof kAnnotations - 1, &wrote, nullptr);
    CloseHandle(f);
    HANNOBJECT h = nullptr;
    L_AnnLoad(u"C:\\gallery.ann", &h);
    return h;
}

void ScannedPageWithAnnotations(HDC dc)
{
    const std::vector<unsigned char> g4 = ScannedPage();
    BITMAPHANDLE page{};
    L_LoadMemory(g4.data(), &page, sizeof page, 0, 1, static_cast<DWORD>(g4.size()));
    const RECT whole{0, 0, GetDeviceCaps(dc, HORZRES), GetDeviceCaps(dc, VERTRES)};
    L_PaintDC(dc, &page, nullptr, &whole, SRCCOPY);
    HANNOBJECT ann = LoadAnnotations();
    const RECT image{0, 0, page.Width - 1, page.Height - 1};
    L_AnnSetRect(ann, &image);
    L_AnnPrint(dc, &whole, ann);
    L_AnnDestroy(ann, 0);
    L_FreeBitmap(&page);
}

void Transforms(HDC dc)
{
    BITMAPHANDLE original{}, b{};
    Picture(&original);
    Paint(dc, &original, 200, 200, 1400);
    L_CopyBitmap(&b, &original, sizeof b);
    L_RotateBitmap(&b, 9000, L_ROTATE_RESIZE, RGB(255, 255, 255));
    Paint(dc, &b, 1800, 200, 800);
    L_FreeBitmap(&b);
    L_CopyBitmap(&b, &original, sizeof b);
    L_RotateBitmap(&b, 3000, L_ROTATE_RESIZE | L_ROTATE_RESAMPLE, RGB(200, 200, 200));
    Paint(dc, &b, 2800, 200, 1600);
    L_FreeBitmap(&b);
    L_CopyBitmap(&b, &original, sizeof b);
    L_AutoTrimBitmap(&b, 40);
    L_SharpenBitmap(&b, 900);
    Paint(dc, &b, 200, 2000, 1400);
    L_FreeBitmap(&b);
    L_CopyBitmap(&b, &original, sizeof b);
    HANNOBJECT ann = LoadAnnotations();
    L_AnnRealize(&b, nullptr, ann, FALSE); /* the whole page's notes on a small picture */
    L_AnnDestroy(ann, 0);
    Paint(dc, &b, 1800, 2000, 1400);
    L_FreeBitmap(&b);
    /* A signature laid over a form line with SRCAND: white leaves the line. */
    BITMAPHANDLE sig{};
    L_CreateBitmap(&sig, sizeof sig, 300, 100, 1);
    L_FillBitmap(&sig, RGB(255, 255, 255));
    for (int x = 10; x < 290; x++) {
        const int y = 50 + static_cast<int>(30 * std::sin(x / 25.0));
        for (int t = 0; t < 4; t++)
            L_PutPixelColor(&sig, y + t, x, RGB(0, 0, 0));
    }
    const RECT line{200, 4000, 3000, 4008};
    HBRUSH red = CreateSolidBrush(RGB(200, 0, 0));
    FillRect(dc, &line, red);
    DeleteObject(red);
    const RECT dest{400, 3700, 1900, 4200};
    L_PaintDC(dc, &sig, nullptr, &dest, SRCAND);
    L_FreeBitmap(&sig);
    L_FreeBitmap(&original);
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: imaging_gallery OUT.pdf\n");
        return 2;
    }
    const std::string out = argv[1];
    HDC dc = CreatePrinterDC(DeviceDescription{}, std::make_shared<PdfFileSink>(out));
    DOCINFOA di{sizeof(DOCINFOA), "imaging gallery", nullptr, nullptr, 0};
    StartDocA(dc, &di);
    StartPage(dc);
    ScannedPageWithAnnotations(dc);
    EndPage(dc);
    StartPage(dc);
    Transforms(dc);
    EndPage(dc);
    EndDoc(dc);
    DeleteDC(dc);
    return 0;
}
