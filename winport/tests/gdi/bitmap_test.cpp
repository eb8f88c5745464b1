/*
 * Bitmaps: DIBs of every depth and row order drawn with StretchDIBits,
 * DIB sections and device-dependent bitmaps through memory DCs, SRCAND on
 * paper, bitmap resources and LoadBitmapA.
 */
#include "gdi_test_util.h"

#include "winport_gdi_ext.h"

using namespace gditest;

namespace {

constexpr std::uint32_t kWhite = 0xFFFFFF, kBlack = 0x000000, kRed = 0xFF0000, kBlue = 0x0000FF;

/* A BITMAPINFO with room for a 256-colour table. */
struct Info {
    BITMAPINFOHEADER header{};
    RGBQUAD colors[256]{};
    Info(int width, int height, int bpp)
    {
        header.biSize = sizeof header;
        header.biWidth = width;
        header.biHeight = height;
        header.biPlanes = 1;
        header.biBitCount = static_cast<WORD>(bpp);
        header.biCompression = BI_RGB;
    }
    const BITMAPINFO *bmi() const { return reinterpret_cast<const BITMAPINFO *>(this); }
};

template <class Draw> KeptRaster drawPage(Draw draw, std::vector<RecordItem> *record = nullptr)
{
    auto printer = makePrinter(smallRaster(), PageFormat::Raster);
    SetRecording(printer->dc, true);
    startDoc(printer->dc);
    StartPage(printer->dc);
    draw(printer->dc);
    if (record)
        *record = GetRecord(printer->dc);
    EndDoc(printer->dc);
    return printer->sink->rasters.at(0);
}

/* 2 x 2 pixels, 24 bpp, rows of 8 bytes: row 0 red red, row 1 blue blue. */
const std::uint8_t kRows24[16] = {0, 0, 255, 0, 0, 255, 0, 0, 255, 0, 0, 255, 0, 0, 0, 0};

/* A .bmp file of 2 x 2 pixels, 24 bpp, bottom-up: top row black, bottom white. */
std::vector<std::uint8_t> bmpFile()
{
    std::vector<std::uint8_t> f(14 + 40 + 16, 0);
    BITMAPFILEHEADER fh{0x4D42, static_cast<DWORD>(f.size()), 0, 0, 54};
    std::memcpy(f.data(), &fh, sizeof fh);
    Info info(2, 2, 24);
    std::memcpy(f.data() + 14, &info.header, 40);
    std::memset(f.data() + 54, 255, 6); /* bottom row (stored first): white */
    return f;
}

} // namespace

TEST(StretchDIBits, BottomUpAndTopDownRowsLandTheRightWayUp)
{
    KeptRaster r = drawPage([](HDC dc) {
        Info up(2, 2, 24); /* bottom-up: the first stored row is the bottom one */
        EXPECT_EQ(
            StretchDIBits(dc, 0, 0, 20, 20, 0, 0, 2, 2, kRows24, up.bmi(), DIB_RGB_COLORS, SRCCOPY),
            2);
        Info down(2, -2, 24);
        StretchDIBits(dc, 100, 0, 20, 20, 0, 0, 2, 2, kRows24, down.bmi(), DIB_RGB_COLORS, SRCCOPY);
        /* A bottom-up DIB's source origin is its bottom-left corner: row 0
         * of the source rectangle is the first row stored. */
        StretchDIBits(dc, 200, 0, 20, 20, 0, 0, 2, 1, kRows24, up.bmi(), DIB_RGB_COLORS, SRCCOPY);
        StretchDIBits(dc, 300, 0, 20, 20, 0, 0, 2, 1, kRows24, down.bmi(), DIB_RGB_COLORS, SRCCOPY);
    });
    EXPECT_EQ(r.at(5, 5), kBlue) << "bottom-up: last stored row on top";
    EXPECT_EQ(r.at(5, 15), kRed);
    EXPECT_EQ(r.at(105, 5), kRed) << "top-down: first stored row on top";
    EXPECT_EQ(r.at(105, 15), kBlue);
    EXPECT_EQ(r.at(20, 5), kWhite) << "scaled to exactly 20 units";
    EXPECT_EQ(r.at(205, 15), kRed) << "bottom-up, ySrc 0: the bottom row";
    EXPECT_EQ(r.at(305, 15), kRed) << "top-down, ySrc 0: the top row";
}

TEST(StretchDIBits, PaletteAndTrueColourDepthsDecode)
{
    KeptRaster r = drawPage([](HDC dc) {
        Info pal8(2, -1, 8);
        pal8.colors[3] = RGBQUAD{255, 0, 0, 0}; /* blue */
        pal8.colors[9] = RGBQUAD{0, 0, 255, 0}; /* red */
        const std::uint8_t idx8[4] = {3, 9, 0, 0};
        StretchDIBits(dc, 0, 0, 20, 10, 0, 0, 2, 1, idx8, pal8.bmi(), DIB_RGB_COLORS, SRCCOPY);

        Info mono(8, -1, 1);
        mono.colors[0] = RGBQUAD{0, 0, 0, 0};
        mono.colors[1] = RGBQUAD{255, 255, 255, 0};
        const std::uint8_t bits1[4] = {0xF0, 0, 0, 0}; /* four white, four black */
        StretchDIBits(dc, 0, 50, 80, 10, 0, 0, 8, 1, bits1, mono.bmi(), DIB_RGB_COLORS, SRCCOPY);

        Info rgb32(1, -1, 32);
        const std::uint8_t bits32[4] = {0, 0, 255, 0};
        StretchDIBits(dc, 0, 100, 10, 10, 0, 0, 1, 1, bits32, rgb32.bmi(), DIB_RGB_COLORS, SRCCOPY);
    });
    EXPECT_EQ(r.at(5, 5), kBlue);
    EXPECT_EQ(r.at(15, 5), kRed);
    EXPECT_EQ(r.at(5, 55), kWhite);
    EXPECT_EQ(r.at(45, 55), kBlack);
    EXPECT_EQ(r.at(5, 105), kRed);
}

TEST(StretchDIBits, RefusesDibsItCannotDraw)
{
    auto printer = makePrinter();
    const std::uint8_t bits[64] = {};
    Info bad(2, 2, 24);
    auto refused = [&](const Info &info, UINT usage = DIB_RGB_COLORS, DWORD rop = SRCCOPY) {
        SetLastError(kSentinel);
        int lines =
            StretchDIBits(printer->dc, 0, 0, 2, 2, 0, 0, 2, 2, bits, info.bmi(), usage, rop);
        return lines == 0 && GetLastError() == ERROR_INVALID_PARAMETER;
    };
    bad.header.biBitCount = 7;
    EXPECT_TRUE(refused(bad));
    bad = Info(0, 2, 24);
    EXPECT_TRUE(refused(bad)) << "zero width";
    bad = Info(2, 2, 24);
    bad.header.biCompression = BI_JPEG;
    EXPECT_TRUE(refused(bad));
    bad = Info(2, 2, 24);
    bad.header.biPlanes = 2;
    EXPECT_TRUE(refused(bad));
    bad = Info(2, 2, 24);
    bad.header.biSize = 12;
    EXPECT_TRUE(refused(bad)) << "core headers are not read";
    bad = Info(100000, 100000, 24);
    EXPECT_TRUE(refused(bad)) << "absurd size";
    EXPECT_TRUE(refused(Info(2, 2, 24), DIB_PAL_COLORS));
    EXPECT_TRUE(refused(Info(2, 2, 24), SRCCOPY, 0x00AA0029)) << "unsupported raster operation";
}

TEST(RasterOps, SrcAndOnPaperKeepsWhatWhiteCoversAndMarksWithBlack)
{
    std::vector<RecordItem> record;
    KeptRaster r = drawPage(
        [](HDC dc) {
            RECT band{0, 0, 200, 20};
            HBRUSH red = CreateSolidBrush(RGB(255, 0, 0));
            FillRect(dc, &band, red);
            DeleteObject(red);
            Info sig(2, -1, 24); /* a signature: white, then black */
            const std::uint8_t bits[8] = {255, 255, 255, 0, 0, 0, 0, 0};
            StretchDIBits(dc, 0, 0, 200, 40, 0, 0, 2, 1, bits, sig.bmi(), DIB_RGB_COLORS, SRCAND);
            StretchDIBits(dc, 300, 0, 200, 40, 0, 0, 2, 1, bits, sig.bmi(), DIB_RGB_COLORS,
                          SRCCOPY);
        },
        &record);
    EXPECT_EQ(r.at(50, 10), kRed) << "white source leaves the page";
    EXPECT_EQ(r.at(50, 30), kWhite);
    EXPECT_EQ(r.at(150, 10), kBlack) << "black source marks it";
    EXPECT_EQ(r.at(350, 10), kWhite) << "SRCCOPY paints white";
    auto blits = Only<RecBitmap>(record);
    ASSERT_EQ(blits.size(), 2u);
    EXPECT_EQ(blits[0].rop, static_cast<DWORD>(SRCAND));
    EXPECT_STREQ(blits[0].call, "StretchDIBits");
    EXPECT_EQ(blits[0].cx, 200);
    EXPECT_EQ(blits[0].bmBits, 24);
}

TEST(DibSections, ProgramWrittenBitsBlitAndDrawingWritesBack)
{
    HDC mem = CreateCompatibleDC(nullptr);
    Info info(4, 4, 24); /* bottom-up: our drawing must come back in this layout */
    void *bits = nullptr;
    HBITMAP dib = CreateDIBSection(mem, info.bmi(), DIB_RGB_COLORS, &bits, nullptr, 0);
    ASSERT_NE(dib, nullptr);
    ASSERT_NE(bits, nullptr);
    DIBSECTION ds{};
    EXPECT_EQ(GetObjectA(dib, sizeof ds, &ds), static_cast<int>(sizeof ds));
    EXPECT_EQ(ds.dsBm.bmWidth, 4);
    EXPECT_EQ(ds.dsBm.bmWidthBytes, 12);
    EXPECT_EQ(ds.dsBm.bmBits, bits);
    EXPECT_EQ(ds.dsBmih.biBitCount, 24);
    BITMAP bm{};
    EXPECT_EQ(GetObjectA(dib, sizeof bm, &bm), static_cast<int>(sizeof bm));

    auto *px = static_cast<std::uint8_t *>(bits);
    px[2] = 255; /* stored row 0 = bottom row, pixel 0: red */
    SelectObject(mem, dib);
    RECT top{0, 0, 4, 1};
    FillRect(mem, &top, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    EXPECT_EQ(px[3 * 12 + 0], 255) << "the top row is stored last";

    KeptRaster r =
        drawPage([&](HDC dc) { StretchBlt(dc, 0, 0, 40, 40, mem, 0, 0, 4, 4, SRCCOPY); });
    EXPECT_EQ(r.at(5, 35), kRed);
    EXPECT_EQ(r.at(5, 5), kWhite);
    EXPECT_EQ(r.at(15, 35), kBlack);
    DeleteDC(mem);
    DeleteObject(dib);
}

TEST(DeviceBitmaps, MonochromeSourceTakesTextAndBackgroundColours)
{
    const std::uint8_t rows[4] = {0x80, 0, 0x00, 0}; /* 2 x 2, rows padded to 16 bits */
    HBITMAP mono = CreateBitmap(2, 2, 1, 1, rows);
    BITMAP bm{};
    GetObjectA(mono, sizeof bm, &bm);
    EXPECT_EQ(bm.bmBitsPixel, 1);
    EXPECT_EQ(bm.bmWidthBytes, 2);
    HDC mem = CreateCompatibleDC(nullptr);
    SelectObject(mem, mono);
    KeptRaster r = drawPage([&](HDC dc) {
        SetTextColor(dc, RGB(255, 0, 0));
        SetBkColor(dc, RGB(0, 0, 255));
        BitBlt(dc, 0, 0, 2, 2, mem, 0, 0, SRCCOPY);
    });
    EXPECT_EQ(r.at(0, 0), kBlue) << "1 bits: background colour";
    EXPECT_EQ(r.at(1, 0), kRed) << "0 bits: text colour";
    DeleteDC(mem);
    DeleteObject(mono);

    HDC fresh = CreateCompatibleDC(nullptr);
    HBITMAP compat = CreateCompatibleBitmap(fresh, 8, 8);
    GetObjectA(compat, sizeof bm, &bm);
    EXPECT_EQ(bm.bmBitsPixel, 1) << "a fresh memory DC holds a monochrome bitmap";
    DeleteObject(compat);
    auto printer = makePrinter();
    compat = CreateCompatibleBitmap(printer->dc, 8, 8);
    GetObjectA(compat, sizeof bm, &bm);
    EXPECT_EQ(bm.bmBitsPixel, 32);
    DeleteObject(compat);
    DeleteDC(fresh);
    HBITMAP empty = CreateBitmap(0, 0, 1, 1, nullptr);
    GetObjectA(empty, sizeof bm, &bm);
    EXPECT_EQ(bm.bmWidth, 1) << "zero size gives the stock 1x1 bitmap";
    EXPECT_TRUE(DeleteObject(empty));
    EXPECT_EQ(GetObjectType(empty), static_cast<DWORD>(OBJ_BITMAP));
}

TEST(BitmapResources, LoadBitmapFindsRegisteredBitmapsByIdOrName)
{
    static const std::vector<std::uint8_t> file = bmpFile();
    ASSERT_TRUE(winport_register_bitmap(MAKEINTRESOURCEA(2523), file.data(), file.size()));
    ASSERT_TRUE(winport_register_bitmap("RxSymbol", file.data(), file.size()));
    HBITMAP byId = LoadBitmapA(nullptr, MAKEINTRESOURCEA(2523));
    ASSERT_NE(byId, nullptr);
    BITMAP bm{};
    GetObjectA(byId, sizeof bm, &bm);
    EXPECT_EQ(bm.bmWidth, 2);
    EXPECT_EQ(bm.bmHeight, 2);
    HBITMAP byName = LoadBitmapA(nullptr, "RXSYMBOL");
    EXPECT_NE(byName, nullptr) << "names match without regard to case";

    HDC mem = CreateCompatibleDC(nullptr);
    SelectObject(mem, byId);
    std::vector<RecordItem> record;
    KeptRaster r = drawPage(
        [&](HDC dc) { StretchBlt(dc, 10, 10, 20, 20, mem, 0, 0, 2, 2, SRCCOPY); }, &record);
    EXPECT_EQ(r.at(15, 15), kBlack) << "the file's top row";
    EXPECT_EQ(r.at(15, 25), kWhite);
    EXPECT_EQ(r.at(15, 5), kWhite);
    auto blits = Only<RecBitmap>(record);
    ASSERT_EQ(blits.size(), 1u);
    EXPECT_STREQ(blits[0].call, "StretchBlt");
    EXPECT_EQ(blits[0].bmWidth, 2);
    DeleteDC(mem);
    DeleteObject(byId);
    DeleteObject(byName);

    SetLastError(kSentinel);
    EXPECT_EQ(LoadBitmapA(nullptr, MAKEINTRESOURCEA(2525)), nullptr);
    EXPECT_EQ(GetLastError(), 1814u) << "ERROR_RESOURCE_NAME_NOT_FOUND";
    static const std::vector<std::uint8_t> cut(file.begin(), file.begin() + 60);
    winport_register_bitmap("Cut", cut.data(), cut.size());
    SetLastError(kSentinel);
    EXPECT_EQ(LoadBitmapA(nullptr, "Cut"), nullptr) << "bits run past the data";
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_DATA));
}

TEST(BitBlt, RefusesSourcesThatCannotBeReadBack)
{
    auto printer = makePrinter();
    HDC screen = GetDC(nullptr);
    SetLastError(kSentinel);
    EXPECT_FALSE(BitBlt(printer->dc, 0, 0, 10, 10, screen, 0, 0, SRCCOPY));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    SetLastError(kSentinel);
    EXPECT_FALSE(BitBlt(printer->dc, 0, 0, 10, 10, nullptr, 0, 0, SRCCOPY));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_TRUE(BitBlt(printer->dc, 0, 0, 10, 10, nullptr, 0, 0, WHITENESS)) << "needs no source";
    ReleaseDC(nullptr, screen);
}
