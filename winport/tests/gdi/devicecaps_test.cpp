/*
 * Device capabilities of printer, screen and memory DCs, and the DC
 * attributes with their previous values and failures.
 */
#include "gdi_test_util.h"

using namespace gditest;

TEST(DeviceCaps, PrinterReportsPaperPrintableAreaAndResolution)
{
    DeviceDescription d = letter600();
    d.marginLeft = 100;
    d.marginTop = 150;
    d.marginRight = 120;
    d.marginBottom = 170;
    auto printer = makePrinter(d);
    HDC dc = printer->dc;
    EXPECT_EQ(GetDeviceCaps(dc, TECHNOLOGY), DT_RASPRINTER);
    EXPECT_EQ(GetDeviceCaps(dc, LOGPIXELSX), 600);
    EXPECT_EQ(GetDeviceCaps(dc, LOGPIXELSY), 600);
    EXPECT_EQ(GetDeviceCaps(dc, PHYSICALWIDTH), 5100);
    EXPECT_EQ(GetDeviceCaps(dc, PHYSICALHEIGHT), 6600);
    EXPECT_EQ(GetDeviceCaps(dc, PHYSICALOFFSETX), 100);
    EXPECT_EQ(GetDeviceCaps(dc, PHYSICALOFFSETY), 150);
    EXPECT_EQ(GetDeviceCaps(dc, HORZRES), 5100 - 220);
    EXPECT_EQ(GetDeviceCaps(dc, VERTRES), 6600 - 320);
    EXPECT_EQ(GetDeviceCaps(dc, HORZSIZE), 207) << "4880 dots at 600 dpi in mm";
    EXPECT_EQ(GetDeviceCaps(dc, VERTSIZE), 266);
    EXPECT_EQ(GetDeviceCaps(dc, BITSPIXEL), 24);
    EXPECT_EQ(GetDeviceCaps(dc, PLANES), 1);
    EXPECT_EQ(GetDeviceCaps(dc, NUMCOLORS), -1);
    int raster = GetDeviceCaps(dc, RASTERCAPS);
    EXPECT_TRUE(raster & RC_STRETCHDIB);
    EXPECT_TRUE(raster & RC_STRETCHBLT);
    EXPECT_TRUE(raster & RC_BITBLT);
    EXPECT_EQ(GetDeviceCaps(dc, 9999), 0);

    d.orientation = Orientation::Landscape;
    d.color = false;
    auto landscape = makePrinter(d);
    dc = landscape->dc;
    EXPECT_EQ(GetDeviceCaps(dc, PHYSICALWIDTH), 6600);
    EXPECT_EQ(GetDeviceCaps(dc, PHYSICALHEIGHT), 5100);
    /* Turned a quarter counter-clockwise: top->left, right->top, bottom->right, left->bottom. */
    EXPECT_EQ(GetDeviceCaps(dc, PHYSICALOFFSETX), 150);
    EXPECT_EQ(GetDeviceCaps(dc, PHYSICALOFFSETY), 120);
    EXPECT_EQ(GetDeviceCaps(dc, HORZRES), 6600 - 320);
    EXPECT_EQ(GetDeviceCaps(dc, VERTRES), 5100 - 220);
    EXPECT_EQ(GetDeviceCaps(dc, BITSPIXEL), 1);
    EXPECT_EQ(GetDeviceCaps(dc, NUMCOLORS), 2);
}

TEST(DeviceCaps, ScreenIsA96DpiDisplayAndMemoryDcsFollowTheirReference)
{
    HDC screen = GetDC(nullptr);
    ASSERT_NE(screen, nullptr);
    EXPECT_EQ(GetDeviceCaps(screen, LOGPIXELSX), 96);
    EXPECT_EQ(GetDeviceCaps(screen, LOGPIXELSY), 96);
    EXPECT_EQ(GetDeviceCaps(screen, TECHNOLOGY), DT_RASDISPLAY);
    EXPECT_EQ(GetDeviceCaps(screen, PHYSICALWIDTH), 0) << "not a printer";
    EXPECT_EQ(GetObjectType(screen), static_cast<DWORD>(OBJ_DC));
    EXPECT_EQ(ReleaseDC(nullptr, screen), 1);
    EXPECT_EQ(ReleaseDC(nullptr, screen), 0) << "already released";

    auto printer = makePrinter();
    HDC mem = CreateCompatibleDC(printer->dc);
    EXPECT_EQ(GetDeviceCaps(mem, LOGPIXELSX), 600);
    EXPECT_EQ(ReleaseDC(nullptr, mem), 0) << "not from GetDC";
    DeleteDC(mem);

    SetLastError(kSentinel);
    EXPECT_EQ(GetDeviceCaps(reinterpret_cast<HDC>(0x4242), LOGPIXELSX), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    SetLastError(kSentinel);
    EXPECT_EQ(CreateCompatibleDC(static_cast<HDC>(GetStockObject(WHITE_BRUSH))), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

TEST(DcAttributes, SettersReturnThePreviousValueAndRefuseWhatTheyCannotDo)
{
    HDC dc = CreateCompatibleDC(nullptr);
    EXPECT_EQ(SetMapMode(dc, MM_TEXT), MM_TEXT);
    SetLastError(kSentinel);
    EXPECT_EQ(SetMapMode(dc, MM_LOMETRIC), 0) << "only MM_TEXT";
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_SUPPORTED));
    SetLastError(kSentinel);
    EXPECT_EQ(SetMapMode(dc, 9), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(GetMapMode(dc), MM_TEXT);

    EXPECT_EQ(GetTextAlign(dc), static_cast<UINT>(TA_LEFT | TA_TOP));
    EXPECT_EQ(SetTextAlign(dc, TA_BASELINE | TA_CENTER), static_cast<UINT>(TA_TOP));
    EXPECT_EQ(GetTextAlign(dc), static_cast<UINT>(TA_BASELINE | TA_CENTER));
    EXPECT_EQ(GetBkMode(dc), OPAQUE);
    EXPECT_EQ(SetBkMode(dc, TRANSPARENT), OPAQUE);
    SetLastError(kSentinel);
    EXPECT_EQ(SetBkMode(dc, 3), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(GetBkMode(dc), TRANSPARENT);
    EXPECT_EQ(SetBkColor(dc, RGB(1, 2, 3)), RGB(255, 255, 255));
    EXPECT_EQ(GetBkColor(dc), RGB(1, 2, 3));
    EXPECT_EQ(SetTextColor(dc, RGB(4, 5, 6)), RGB(0, 0, 0));
    EXPECT_EQ(GetTextColor(dc), RGB(4, 5, 6));
    EXPECT_EQ(SetStretchBltMode(dc, HALFTONE), BLACKONWHITE);
    EXPECT_EQ(SetStretchBltMode(dc, 0), 0);

    POINT old{};
    EXPECT_TRUE(MoveToEx(dc, 12, 34, &old));
    EXPECT_TRUE(MoveToEx(dc, 0, 0, &old));
    EXPECT_EQ(old.x, 12);
    EXPECT_EQ(old.y, 34);
    DeleteDC(dc);

    HDC bad = reinterpret_cast<HDC>(0x99);
    SetLastError(kSentinel);
    EXPECT_EQ(SetTextAlign(bad, TA_LEFT), static_cast<UINT>(GDI_ERROR));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_EQ(SetBkColor(bad, 0), CLR_INVALID);
    EXPECT_EQ(SetTextColor(bad, 0), CLR_INVALID);
    EXPECT_EQ(SetBkMode(bad, OPAQUE), 0);
    EXPECT_FALSE(MoveToEx(bad, 0, 0, nullptr));
    EXPECT_FALSE(LineTo(bad, 0, 0));
    EXPECT_FALSE(Rectangle(bad, 0, 0, 1, 1));
}
