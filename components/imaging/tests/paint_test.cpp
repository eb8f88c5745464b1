/*
 * Drawing bitmaps on device contexts: L_PaintDC and the print functions on
 * the DC's record and on rendered pages, and JPEG and G4 pages that reach
 * a PDF as their own bytes (pdfimages, an outside tool, names each image's
 * encoding).
 */
#include "gdi_test_util.h"
#include "imaging_test_util.h"
#include "outside.h"

#include <sstream>

using namespace imagingtest;
using namespace gditest;

namespace {

constexpr std::uint32_t kRed = 0xFF0000;

INT LoadOutside(const std::string &name, Bitmap *b)
{
    const std::vector<unsigned char> data = ReadBytes(OutsidePath(name));
    return L_LoadMemory(data.data(), &b->h, sizeof(BITMAPHANDLE), 0, 0,
                        static_cast<DWORD>(data.size()));
}

/* 20 x 10, 1 bit: left half black, right half white. */
void HalfBlack(Bitmap &b)
{
    ASSERT_EQ(L_CreateBitmap(&b.h, sizeof(BITMAPHANDLE), 20, 10, 1), L_SUCCESS);
    for (int y = 0; y < 10; y++)
        for (int x = 10; x < 20; x++)
            L_PutPixelColor(&b.h, y, x, RGB(255, 255, 255));
}

/* The encodings `pdfimages -list` gives, one per image, in page order. */
std::vector<std::string> Encodings(const std::string &pdfPath)
{
    int status = 0;
    std::istringstream lines(RunCommand("pdfimages -list " + pdfPath + " 2>&1", &status));
    std::vector<std::string> found;
    std::string line;
    bool table = false;
    while (std::getline(lines, line)) {
        if (line.rfind("----", 0) == 0) {
            table = true;
            continue;
        }
        std::istringstream cols(line);
        std::string col[9];
        for (std::string &c : col)
            cols >> c;
        if (table && !col[8].empty())
            found.push_back(col[8]);
    }
    return found;
}

/* One grey pixel of page `page` rendered at 20 dpi by pdftoppm. */
int GreyAt(const std::string &pdfPath, int page, int x, int y)
{
    int status = 0;
    const std::string pgm = RunCommand("pdftoppm -r 20 -gray -f " + std::to_string(page) + " -l " +
                                           std::to_string(page) + " " + pdfPath,
                                       &status);
    /* "P5\n170 220\n255\n" then the pixels */
    std::istringstream head(pgm);
    std::string magic;
    int w = 0, h = 0, max = 0;
    head >> magic >> w >> h >> max;
    const std::size_t start = static_cast<std::size_t>(head.tellg()) + 1;
    if (magic != "P5" || x >= w || y >= h || start + static_cast<std::size_t>(w) * h > pgm.size())
        return -1;
    return static_cast<unsigned char>(pgm[start + static_cast<std::size_t>(y) * w + x]);
}

} // namespace

TEST(PaintDC, RecordsTheBitmapOperationAndDrawsIt)
{
    auto printer = makePrinter(smallRaster(), PageFormat::Raster);
    SetRecording(printer->dc, true);
    startDoc(printer->dc);
    StartPage(printer->dc);
    RECT band{0, 200, 600, 260};
    HBRUSH red = CreateSolidBrush(RGB(255, 0, 0));
    FillRect(printer->dc, &band, red);
    DeleteObject(red);
    Bitmap b;
    HalfBlack(b);
    const RECT whole{100, 50, 300, 150}, part{0, 0, 20, 5}, below{100, 200, 300, 250};
    ASSERT_EQ(L_PaintDC(printer->dc, &b.h, nullptr, &whole, SRCCOPY), L_SUCCESS);
    ASSERT_EQ(L_PaintDC(printer->dc, &b.h, &part, &below, SRCAND), L_SUCCESS);
    auto blits = Only<RecBitmap>(GetRecord(printer->dc));
    EndDoc(printer->dc);

    ASSERT_EQ(blits.size(), 2u);
    EXPECT_STREQ(blits[0].call, "L_PaintDC");
    EXPECT_EQ(blits[0].x, 100);
    EXPECT_EQ(blits[0].cx, 200);
    EXPECT_EQ(blits[0].cy, 100);
    EXPECT_EQ(blits[0].srcCx, 20);
    EXPECT_EQ(blits[0].bmWidth, 20);
    EXPECT_EQ(blits[0].bmBits, 1);
    EXPECT_EQ(blits[0].rop, static_cast<DWORD>(SRCCOPY));
    EXPECT_EQ(blits[1].srcCy, 5);
    EXPECT_EQ(blits[1].rop, static_cast<DWORD>(SRCAND));
    const KeptRaster &page = printer->sink->rasters.at(0);
    EXPECT_EQ(page.at(150, 100), 0x000000u);
    EXPECT_EQ(page.at(250, 100), 0xFFFFFFu);
    EXPECT_EQ(page.at(150, 220), 0x000000u) << "black marks under SRCAND";
    EXPECT_EQ(page.at(250, 220), kRed) << "white leaves the red band";
    EXPECT_EQ(page.at(250, 255), kRed) << "half the source fills the destination";
}

TEST(PrintBitmap, BothDrawTheWholeBitmapAtThePositionAndSize)
{
    auto printer = makePrinter(smallRaster(), PageFormat::Raster);
    SetRecording(printer->dc, true);
    startDoc(printer->dc);
    StartPage(printer->dc);
    Bitmap b;
    HalfBlack(b);
    ASSERT_EQ(L_PrintBitmapFast(printer->dc, &b.h, 1, 1, 300, 150), L_SUCCESS);
    ASSERT_EQ(L_PrintBitmap(printer->dc, &b.h, 310, 1, 200, 100), L_SUCCESS);
    auto blits = Only<RecBitmap>(GetRecord(printer->dc));
    EndDoc(printer->dc);
    ASSERT_EQ(blits.size(), 2u);
    EXPECT_STREQ(blits[0].call, "L_PrintBitmapFast");
    EXPECT_EQ(blits[0].x, 1);
    EXPECT_EQ(blits[0].cx, 300);
    EXPECT_EQ(blits[0].srcCx, 20) << "the device scales";
    EXPECT_STREQ(blits[1].call, "L_PrintBitmap");
    EXPECT_EQ(blits[1].srcCx, 200) << "resampled to the device size first";
    const KeptRaster &page = printer->sink->rasters.at(0);
    EXPECT_EQ(page.at(50, 50), 0x000000u);
    EXPECT_EQ(page.at(250, 50), 0xFFFFFFu);
    EXPECT_EQ(page.at(350, 50), 0x000000u);
    EXPECT_EQ(page.at(480, 50), 0xFFFFFFu);
}

TEST(PdfImages, JpegAndG4PagesKeepTheirBytesAndRenderTheRightWayRound)
{
    ScratchDir dir;
    const std::string pdf = dir.path() + "/pages.pdf";
    auto printer = makePrinter();
    startDoc(printer->dc);
    const char *files[] = {"page_g4.tif", "page_g4_strips.tif", "page_g4_black.tif", "photo.jpg"};
    for (const char *name : files) {
        Bitmap b;
        ASSERT_EQ(LoadOutside(name, &b), L_SUCCESS) << name;
        StartPage(printer->dc);
        const RECT page{0, 0, 5100, 6600};
        ASSERT_EQ(L_PaintDC(printer->dc, &b.h, nullptr, &page, SRCCOPY), L_SUCCESS) << name;
        EndPage(printer->dc);
    }
    Bitmap turned; /* changed pixels: no longer the file's bytes */
    ASSERT_EQ(LoadOutside("page_g4.tif", &turned), L_SUCCESS);
    ASSERT_EQ(L_RotateBitmap(&turned.h, 18000, 0, RGB(255, 255, 255)), L_SUCCESS);
    StartPage(printer->dc);
    ASSERT_EQ(L_PrintBitmapFast(printer->dc, &turned.h, 0, 0, 5100, 6600), L_SUCCESS);
    EndPage(printer->dc);
    EndDoc(printer->dc);
    std::ofstream(pdf, std::ios::binary) << printer->sink->pdf;

    const std::vector<std::string> enc = Encodings(pdf);
    ASSERT_EQ(enc.size(), 5u);
    EXPECT_EQ(enc[0], "ccitt");
    EXPECT_EQ(enc[1], "ccitt") << "several strips are joined into one G4 image";
    EXPECT_EQ(enc[2], "ccitt");
    EXPECT_EQ(enc[3], "jpeg");
    EXPECT_NE(enc[4], "ccitt");
    /* At 20 dpi the block (x 200-1199, y 300-599 at 300 dpi) covers
     * x 13-79, y 20-39; page 5 is turned half a circle. */
    for (int page = 1; page <= 3; page++) {
        EXPECT_LT(GreyAt(pdf, page, 40, 30), 64) << "page " << page << ": the block is black";
        EXPECT_GT(GreyAt(pdf, page, 120, 120), 192) << "page " << page << ": the paper is white";
    }
    EXPECT_LT(GreyAt(pdf, 5, 170 - 40, 220 - 30), 64);
}
