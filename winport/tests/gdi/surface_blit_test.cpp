/*
 * winport_gdi_blit_surface: a component's cairo surface drawn like a
 * StretchBlt source, recorded as a bitmap operation, with its compressed
 * bytes (JPEG, CCITT G4) carried into PDF pages as they are.
 */
#include "gdi_test_util.h"

#include "winport_gdi_ext.h"

#include <cairo.h>

#include <fstream>
#include <iterator>
#include <sstream>

using namespace gditest;

namespace {

constexpr std::uint32_t kWhite = 0xFFFFFF, kBlack = 0x000000, kRed = 0xFF0000;

/* An RGB24 surface of w x h pixels in one colour (0xRRGGBB). */
cairo_surface_t *solidSurface(int w, int h, std::uint32_t rgb)
{
    cairo_surface_t *s = cairo_image_surface_create(CAIRO_FORMAT_RGB24, w, h);
    cairo_t *cr = cairo_create(s);
    cairo_set_source_rgb(cr, ((rgb >> 16) & 255) / 255.0, ((rgb >> 8) & 255) / 255.0,
                         (rgb & 255) / 255.0);
    cairo_paint(cr);
    cairo_destroy(cr);
    return s;
}

/* A PDF page with one surface blitted onto it; returns the PDF bytes. */
std::string pdfWithBlit(cairo_surface_t *s, int size)
{
    auto printer = makePrinter();
    startDoc(printer->dc);
    StartPage(printer->dc);
    EXPECT_TRUE(winport_gdi_blit_surface(printer->dc, "Test", 100, 100, size, size, s, 0, 0,
                                         cairo_image_surface_get_width(s),
                                         cairo_image_surface_get_height(s), 24, SRCCOPY));
    EndPage(printer->dc);
    EndDoc(printer->dc);
    return printer->sink->pdf;
}

void keepBytes(cairo_surface_t *s, const char *mime, const std::string &bytes)
{
    auto *copy = new std::string(bytes);
    cairo_surface_set_mime_data(
        s, mime, reinterpret_cast<const unsigned char *>(copy->data()), copy->size(),
        [](void *p) { delete static_cast<std::string *>(p); }, copy);
}

} // namespace

TEST(BlitSurface, DrawsWithSrcCopyAndSrcAndAndIsRecordedAsABitmap)
{
    auto printer = makePrinter(smallRaster(), PageFormat::Raster);
    SetRecording(printer->dc, true);
    startDoc(printer->dc);
    StartPage(printer->dc);
    RECT band{0, 0, 200, 20};
    HBRUSH red = CreateSolidBrush(RGB(255, 0, 0));
    FillRect(printer->dc, &band, red);
    DeleteObject(red);
    /* Left half white, right half black. */
    cairo_surface_t *s = solidSurface(2, 1, kWhite);
    cairo_surface_flush(s);
    reinterpret_cast<std::uint32_t *>(cairo_image_surface_get_data(s))[1] = 0;
    cairo_surface_mark_dirty(s);
    EXPECT_TRUE(winport_gdi_blit_surface(printer->dc, "L_PaintDC", 0, 0, 200, 40, s, 0, 0, 2, 1, 1,
                                         SRCAND));
    EXPECT_TRUE(
        winport_gdi_blit_surface(printer->dc, nullptr, 300, 0, 200, 40, s, 0, 0, 2, 1, 1, SRCCOPY));
    auto blits = Only<RecBitmap>(GetRecord(printer->dc));
    EndDoc(printer->dc);
    cairo_surface_destroy(s);

    const KeptRaster &r = printer->sink->rasters.at(0);
    EXPECT_EQ(r.at(50, 10), kRed) << "white leaves the page under SRCAND";
    EXPECT_EQ(r.at(150, 10), kBlack);
    EXPECT_EQ(r.at(350, 10), kWhite) << "SRCCOPY paints white";
    EXPECT_EQ(r.at(450, 10), kBlack);
    ASSERT_EQ(blits.size(), 2u);
    EXPECT_STREQ(blits[0].call, "L_PaintDC");
    EXPECT_EQ(blits[0].rop, static_cast<DWORD>(SRCAND));
    EXPECT_EQ(blits[0].cx, 200);
    EXPECT_EQ(blits[0].bmWidth, 2);
    EXPECT_EQ(blits[0].bmBits, 1);
    EXPECT_STREQ(blits[1].call, "winport_gdi_blit_surface");
}

/* A 1-bit picture: set bits are black ink.  SRCCOPY draws paper and ink,
 * SRCAND only the ink; a PDF page keeps it as an image mask. */
TEST(BlitSurface, OneBitPicturesDrawInkAndPaperAndStayOneBitInPdf)
{
    auto printer = makePrinter(smallRaster(), PageFormat::Raster);
    startDoc(printer->dc);
    StartPage(printer->dc);
    RECT band{0, 0, 600, 20};
    HBRUSH red = CreateSolidBrush(RGB(255, 0, 0));
    FillRect(printer->dc, &band, red);
    DeleteObject(red);
    /* 40 pixels wide, so the second word of a row counts too: the left
     * 20 and the last 4 are ink. */
    cairo_surface_t *mask = cairo_image_surface_create(CAIRO_FORMAT_A1, 40, 1);
    cairo_t *cr = cairo_create(mask);
    cairo_rectangle(cr, 0, 0, 20, 1);
    cairo_rectangle(cr, 36, 0, 4, 1);
    cairo_fill(cr);
    cairo_destroy(cr);
    EXPECT_TRUE(
        winport_gdi_blit_surface(printer->dc, "x", 0, 0, 200, 40, mask, 0, 0, 40, 1, 1, SRCAND));
    EXPECT_TRUE(
        winport_gdi_blit_surface(printer->dc, "x", 300, 0, 200, 40, mask, 0, 0, 40, 1, 1, SRCCOPY));
    SetLastError(kSentinel);
    EXPECT_FALSE(
        winport_gdi_blit_surface(printer->dc, "x", 0, 0, 2, 2, mask, 0, 0, 40, 1, 1, SRCPAINT));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EndDoc(printer->dc);
    const KeptRaster &r = printer->sink->rasters.at(0);
    EXPECT_EQ(r.at(50, 10), kBlack);
    EXPECT_EQ(r.at(150, 10), kRed) << "SRCAND leaves the page where there is no ink";
    EXPECT_EQ(r.at(195, 10), kBlack);
    EXPECT_EQ(r.at(350, 10), kBlack);
    EXPECT_EQ(r.at(450, 10), kWhite) << "SRCCOPY draws the paper too";
    EXPECT_EQ(r.at(495, 10), kBlack);

    const std::string pdf = pdfWithBlit(mask, 200);
    EXPECT_NE(pdf.find("/ImageMask true"), std::string::npos);
    cairo_surface_destroy(mask);
}

/* A PDF page is written after the drawing: a source the caller releases at
 * once still shows, and one the caller paints over afterwards shows as it
 * was when drawn. */
TEST(BlitSurface, PdfPagesShowSourcesAsTheyWereWhenDrawn)
{
    ScratchDir dir;
    auto printer = makePrinter();
    startDoc(printer->dc);
    StartPage(printer->dc);
    cairo_surface_t *released = solidSurface(4, 4, kBlack);
    cairo_surface_t *repainted = solidSurface(4, 4, kRed);
    EXPECT_TRUE(winport_gdi_blit_surface(printer->dc, "x", 600, 600, 1200, 1200, released, 0, 0, 4,
                                         4, 24, SRCCOPY));
    cairo_surface_destroy(released);
    EXPECT_TRUE(winport_gdi_blit_surface(printer->dc, "x", 2400, 600, 1200, 1200, repainted, 0, 0,
                                         4, 4, 24, SRCCOPY));
    cairo_t *cr = cairo_create(repainted);
    cairo_set_source_rgb(cr, 0, 0, 0);
    cairo_paint(cr);
    cairo_destroy(cr);
    EndPage(printer->dc);
    EndDoc(printer->dc);
    cairo_surface_destroy(repainted);
    const std::string pdf = dir.path() + "/page.pdf";
    std::ofstream(pdf, std::ios::binary) << printer->sink->pdf;

    /* 10 dpi, grey: "P5\n85 110\n255\n" then the pixels. */
    const std::string pgm = RunCommand("pdftoppm -r 10 -gray " + pdf);
    std::istringstream head(pgm);
    std::string magic;
    int w = 0, h = 0, max = 0;
    head >> magic >> w >> h >> max;
    const std::size_t start = static_cast<std::size_t>(head.tellg()) + 1;
    ASSERT_EQ(magic, "P5");
    ASSERT_GE(pgm.size(), start + static_cast<std::size_t>(w) * h);
    auto grey = [&](int x, int y) { return (unsigned char)pgm[start + (std::size_t)y * w + x]; };
    /* The printable area starts a quarter inch in; the squares' centres are
     * at 2 and 5 inches across, 2 inches down. */
    EXPECT_LT(grey(20, 20), 40) << "the released source is drawn";
    const int red = grey(50, 20);
    EXPECT_GT(red, 40) << "the repainting after the drawing does not reach the page";
    EXPECT_LT(red, 120) << "red, not the paper";
}

TEST(BlitSurface, NotSrcCopyLeavesTheCallersSurfaceAlone)
{
    auto printer = makePrinter(smallRaster(), PageFormat::Raster);
    startDoc(printer->dc);
    StartPage(printer->dc);
    cairo_surface_t *s = solidSurface(1, 1, kWhite);
    EXPECT_TRUE(
        winport_gdi_blit_surface(printer->dc, "x", 0, 0, 10, 10, s, 0, 0, 1, 1, 24, NOTSRCCOPY));
    EndDoc(printer->dc);
    cairo_surface_flush(s);
    EXPECT_EQ(reinterpret_cast<std::uint32_t *>(cairo_image_surface_get_data(s))[0] & 0xFFFFFF,
              kWhite);
    EXPECT_EQ(printer->sink->rasters.at(0).at(5, 5), kBlack);
    cairo_surface_destroy(s);
}

TEST(BlitSurface, RefusesWhatItCannotDraw)
{
    auto printer = makePrinter(smallRaster(), PageFormat::Raster);
    cairo_surface_t *argb = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 2, 2);
    cairo_surface_t *rgb = solidSurface(2, 2, kWhite);
    struct Case {
        const char *what;
        HDC dc;
        cairo_surface_t *s;
        DWORD rop;
        DWORD error;
    } cases[] = {
        {"null surface", printer->dc, nullptr, SRCCOPY, ERROR_INVALID_PARAMETER},
        {"ARGB32", printer->dc, argb, SRCCOPY, ERROR_INVALID_PARAMETER},
        {"no source operation", printer->dc, rgb, BLACKNESS, ERROR_INVALID_PARAMETER},
        {"unknown operation", printer->dc, rgb, 0x00AA0029, ERROR_INVALID_PARAMETER},
        {"invalid DC", reinterpret_cast<HDC>(0x1234), rgb, SRCCOPY, ERROR_INVALID_HANDLE},
    };
    for (const Case &c : cases) {
        SetLastError(kSentinel);
        EXPECT_FALSE(winport_gdi_blit_surface(c.dc, "x", 0, 0, 2, 2, c.s, 0, 0, 2, 2, 24, c.rop))
            << c.what;
        EXPECT_EQ(GetLastError(), c.error) << c.what;
    }
    cairo_surface_destroy(argb);
    cairo_surface_destroy(rgb);
}

TEST(BlitSurface, JpegBytesReachThePdfAsTheyAre)
{
    ScratchDir dir;
    const std::string ppm = dir.path() + "/grey.ppm", jpg = dir.path() + "/grey.jpg";
    {
        std::ofstream out(ppm, std::ios::binary);
        out << "P6\n16 16\n255\n" << std::string(16 * 16 * 3, '\x80');
    }
    int status = 0;
    RunCommand("cjpeg -quality 80 -outfile " + jpg + " " + ppm, &status);
    ASSERT_EQ(status, 0) << "cjpeg (libjpeg-turbo-progs) is needed";
    std::ifstream in(jpg, std::ios::binary);
    const std::string jpeg((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_GT(jpeg.size(), 100u);

    cairo_surface_t *s = solidSurface(16, 16, 0x808080);
    keepBytes(s, CAIRO_MIME_TYPE_JPEG, jpeg);
    const std::string pdf = pdfWithBlit(s, 1600);
    cairo_surface_destroy(s);
    EXPECT_NE(pdf.find("/DCTDecode"), std::string::npos);
    EXPECT_NE(pdf.find(jpeg), std::string::npos) << "the JPEG file is the image stream";
}

TEST(BlitSurface, CcittG4BytesReachThePdfAsTheyAre)
{
    /* Eight all-white rows of a G4 image: one V0 code (bit 1) per row, then
     * the end-of-facsimile-block codes. */
    const std::string g4("\xFF\x00\x10\x01", 4);
    cairo_surface_t *s = solidSurface(8, 8, kWhite);
    keepBytes(s, CAIRO_MIME_TYPE_CCITT_FAX, g4);
    keepBytes(s, CAIRO_MIME_TYPE_CCITT_FAX_PARAMS, "Columns=8 Rows=8 K=-1");
    const std::string pdf = pdfWithBlit(s, 800);
    cairo_surface_destroy(s);
    EXPECT_NE(pdf.find("/CCITTFaxDecode"), std::string::npos);
    EXPECT_NE(pdf.find("/K -1"), std::string::npos);
}
