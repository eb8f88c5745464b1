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
