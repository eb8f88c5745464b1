/*
 * Lines and shapes on raster pages, pixel by pixel: GDI's exclusive right
 * and bottom edges, pen widths, the null pen, FillRect, the printable-area
 * origin, and monochrome devices.
 */
#include "gdi_test_util.h"

using namespace gditest;

namespace {

constexpr std::uint32_t kWhite = 0xFFFFFF, kBlack = 0x000000, kRed = 0xFF0000;

/* Draws on one raster page of the small device and returns it. */
template <class Draw>
KeptRaster drawPage(Draw draw, const DeviceDescription &d = smallRaster(),
                    std::vector<RecordItem> *record = nullptr)
{
    auto printer = makePrinter(d, PageFormat::Raster);
    SetRecording(printer->dc, true);
    startDoc(printer->dc);
    StartPage(printer->dc);
    draw(printer->dc);
    if (record)
        *record = GetRecord(printer->dc);
    EndDoc(printer->dc);
    return printer->sink->rasters.at(0);
}

void select(HDC dc, HGDIOBJ pen, HGDIOBJ brush)
{
    DeleteObject(SelectObject(dc, pen));
    DeleteObject(SelectObject(dc, brush));
}

} // namespace

TEST(Rectangle, OnePixelPenOutlinesInsideTheExclusiveEdges)
{
    KeptRaster r = drawPage([](HDC dc) {
        select(dc, CreatePen(PS_SOLID, 0, 0), CreateSolidBrush(RGB(255, 0, 0)));
        Rectangle(dc, 10, 10, 20, 20);
    });
    EXPECT_EQ(r.at(10, 10), kBlack);
    EXPECT_EQ(r.at(19, 19), kBlack) << "right/bottom outline on column/row 19";
    EXPECT_EQ(r.at(19, 15), kBlack);
    EXPECT_EQ(r.at(20, 15), kWhite) << "right edge exclusive";
    EXPECT_EQ(r.at(15, 20), kWhite) << "bottom edge exclusive";
    EXPECT_EQ(r.at(9, 9), kWhite);
    EXPECT_EQ(r.at(11, 11), kRed);
    EXPECT_EQ(r.at(18, 18), kRed);
}

TEST(Rectangle, NullPenFillShrinksByOneAndInsideFrameStaysInside)
{
    KeptRaster r = drawPage([](HDC dc) {
        select(dc, GetStockObject(NULL_PEN), CreateSolidBrush(RGB(255, 0, 0)));
        Rectangle(dc, 10, 10, 20, 20);
        select(dc, CreatePen(PS_INSIDEFRAME, 5, 0), GetStockObject(WHITE_BRUSH));
        Rectangle(dc, 100, 100, 130, 130);
    });
    EXPECT_EQ(r.at(10, 10), kRed);
    EXPECT_EQ(r.at(18, 18), kRed);
    EXPECT_EQ(r.at(19, 19), kWhite) << "null pen: the fill loses the last row and column";
    EXPECT_EQ(r.at(99, 99), kWhite) << "inside frame: nothing outside the box";
    EXPECT_EQ(r.at(100, 115), kBlack);
    EXPECT_EQ(r.at(104, 115), kBlack);
    EXPECT_EQ(r.at(105, 115), kWhite) << "five units thick";
    EXPECT_EQ(r.at(129, 115), kBlack);
    EXPECT_EQ(r.at(130, 115), kWhite);
}

TEST(Lines, PenWidthsCoverWholeDeviceUnitsCentredOnThePath)
{
    std::vector<RecordItem> record;
    KeptRaster r = drawPage(
        [](HDC dc) {
            select(dc, CreatePen(PS_SOLID, 7, 0), GetStockObject(NULL_BRUSH));
            MoveToEx(dc, 50, 100, nullptr);
            LineTo(dc, 250, 100);
            select(dc, CreatePen(PS_SOLID, 4, 0), GetStockObject(NULL_BRUSH));
            MoveToEx(dc, 50, 200, nullptr);
            LineTo(dc, 250, 200);
            select(dc, CreatePen(PS_SOLID, 0, 0), GetStockObject(NULL_BRUSH));
            MoveToEx(dc, 50, 300, nullptr);
            LineTo(dc, 250, 300);
        },
        smallRaster(), &record);
    for (int y = 97; y <= 103; y++)
        EXPECT_EQ(r.at(150, y), kBlack) << "width 7, row " << y;
    EXPECT_EQ(r.at(150, 96), kWhite);
    EXPECT_EQ(r.at(150, 104), kWhite);
    for (int y = 198; y <= 201; y++)
        EXPECT_EQ(r.at(150, y), kBlack) << "width 4, row " << y;
    EXPECT_EQ(r.at(150, 197), kWhite);
    EXPECT_EQ(r.at(150, 202), kWhite);
    EXPECT_EQ(r.at(150, 300), kBlack) << "width 0 draws one unit";
    EXPECT_EQ(r.at(150, 299), kWhite);
    EXPECT_EQ(r.at(150, 301), kWhite);

    auto lines = Only<RecLine>(record);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0].pen.width, 7);
    EXPECT_EQ(lines[0].from.x, 50);
    EXPECT_EQ(lines[0].to.x, 250);
    EXPECT_EQ(lines[2].pen.width, 1) << "width 0 recorded as the one unit drawn";
}

TEST(FillRect, CoversLeftTopInclusiveRightBottomExclusiveWithoutThePen)
{
    std::vector<RecordItem> record;
    KeptRaster r = drawPage(
        [](HDC dc) {
            select(dc, CreatePen(PS_SOLID, 9, RGB(0, 0, 255)), GetStockObject(NULL_BRUSH));
            HBRUSH red = CreateSolidBrush(RGB(255, 0, 0));
            RECT rc{30, 40, 60, 70};
            EXPECT_EQ(FillRect(dc, &rc, red), 1);
            RECT black{100, 40, 110, 50};
            EXPECT_NE(FillRect(dc, &black, reinterpret_cast<HBRUSH>(COLOR_WINDOWTEXT + 1)), 0);
            SetLastError(kSentinel);
            EXPECT_EQ(FillRect(dc, &rc, reinterpret_cast<HBRUSH>(0x7777)), 0);
            EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
            DeleteObject(red);
        },
        smallRaster(), &record);
    EXPECT_EQ(r.at(30, 40), kRed);
    EXPECT_EQ(r.at(59, 69), kRed);
    EXPECT_EQ(r.at(60, 55), kWhite);
    EXPECT_EQ(r.at(45, 70), kWhite);
    EXPECT_EQ(r.at(29, 55), kWhite) << "no pen outline";
    EXPECT_EQ(r.at(105, 45), kBlack) << "system colour brush";
    auto shapes = Only<RecShape>(record);
    ASSERT_EQ(shapes.size(), 2u);
    EXPECT_EQ(shapes[0].kind, RecShape::FillRect);
    EXPECT_EQ(shapes[0].brush.color, RGB(255, 0, 0));
}

TEST(Shapes, DeviceOriginIsThePrintableCornerAndOutsideIsClipped)
{
    DeviceDescription d = smallRaster();
    d.marginLeft = 30;
    d.marginTop = 20;
    d.marginRight = 30;
    d.marginBottom = 20;
    std::vector<RecordItem> record;
    KeptRaster r = drawPage(
        [](HDC dc) {
            select(dc, GetStockObject(NULL_PEN), GetStockObject(BLACK_BRUSH));
            RECT all{-100, -100, 2000, 2000};
            FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
            Rectangle(dc, -5, -5, 5, 5);
        },
        d, &record);
    EXPECT_EQ(r.at(30, 20), kBlack) << "device (0, 0) at the printable corner";
    EXPECT_EQ(r.at(29, 20), kWhite) << "clipped to the printable area";
    EXPECT_EQ(r.at(30, 19), kWhite);
    EXPECT_EQ(r.at(569, 379), kBlack);
    EXPECT_EQ(r.at(570, 379), kWhite);
    auto shapes = Only<RecShape>(record);
    ASSERT_EQ(shapes.size(), 2u);
    EXPECT_EQ(shapes[1].rect.left, -5) << "recorded in device units";
}

TEST(Shapes, ReversedCornersAreNormalisedAndEllipseStaysInItsBox)
{
    std::vector<RecordItem> record;
    KeptRaster r = drawPage(
        [](HDC dc) {
            select(dc, CreatePen(PS_SOLID, 1, 0), CreateSolidBrush(RGB(255, 0, 0)));
            Rectangle(dc, 60, 60, 40, 40);
            Ellipse(dc, 100, 100, 200, 150);
        },
        smallRaster(), &record);
    auto shapes = Only<RecShape>(record);
    ASSERT_EQ(shapes.size(), 2u);
    EXPECT_EQ(shapes[0].rect.left, 40);
    EXPECT_EQ(shapes[0].rect.bottom, 60);
    EXPECT_EQ(r.at(50, 50), kRed);
    EXPECT_EQ(r.at(150, 125), kRed) << "ellipse centre";
    EXPECT_EQ(r.at(101, 101), kWhite) << "ellipse corner stays empty";
    EXPECT_EQ(r.at(200, 125), kWhite);
}

TEST(Shapes, MonochromeDevicesShowColoursAsGreys)
{
    DeviceDescription d = smallRaster();
    d.color = false;
    KeptRaster r = drawPage(
        [](HDC dc) {
            EXPECT_EQ(GetDeviceCaps(dc, BITSPIXEL), 1);
            RECT rc{0, 0, 10, 10};
            HBRUSH red = CreateSolidBrush(RGB(255, 0, 0));
            FillRect(dc, &rc, red);
            DeleteObject(red);
        },
        d);
    std::uint32_t p = r.at(5, 5);
    EXPECT_EQ(p >> 16, p & 0xFF) << "grey";
    EXPECT_NEAR(static_cast<int>(p & 0xFF), 76, 1) << "luminance of pure red";
}
