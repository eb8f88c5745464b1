/*
 * GDI objects: handles, stock objects, selection and deletion, GetObjectA.
 */
#include "gdi_test_util.h"

using namespace gditest;

namespace {

struct MemoryDc {
    HDC dc = CreateCompatibleDC(nullptr);
    ~MemoryDc() { DeleteDC(dc); }
};

} // namespace

TEST(GdiObjects, StockObjectsHaveTheirTypesAndSurviveDeletion)
{
    const struct {
        int index;
        DWORD type;
    } cases[] = {{WHITE_BRUSH, OBJ_BRUSH},    {BLACK_BRUSH, OBJ_BRUSH},
                 {NULL_BRUSH, OBJ_BRUSH},     {WHITE_PEN, OBJ_PEN},
                 {BLACK_PEN, OBJ_PEN},        {NULL_PEN, OBJ_PEN},
                 {SYSTEM_FONT, OBJ_FONT},     {DEVICE_DEFAULT_FONT, OBJ_FONT},
                 {ANSI_FIXED_FONT, OBJ_FONT}, {ANSI_VAR_FONT, OBJ_FONT},
                 {DEFAULT_GUI_FONT, OBJ_FONT}};
    for (const auto &c : cases) {
        HGDIOBJ obj = GetStockObject(c.index);
        ASSERT_NE(obj, nullptr) << c.index;
        EXPECT_EQ(GetObjectType(obj), c.type) << c.index;
        EXPECT_TRUE(DeleteObject(obj));
        EXPECT_EQ(GetObjectType(obj), c.type) << "stock object " << c.index << " was freed";
        EXPECT_EQ(GetStockObject(c.index), obj);
    }
    EXPECT_EQ(GetStockObject(HOLLOW_BRUSH), GetStockObject(NULL_BRUSH));
    EXPECT_EQ(GetStockObject(9), nullptr);
    EXPECT_EQ(GetStockObject(-1), nullptr);
}

TEST(GdiObjects, SelectObjectReturnsThePreviousObjectOfTheSameType)
{
    MemoryDc mem;
    HPEN pen = CreatePen(PS_SOLID, 3, RGB(1, 2, 3));
    HPEN pen2 = CreatePen(PS_DASH, 1, 0);
    HBRUSH brush = CreateSolidBrush(RGB(9, 9, 9));
    HFONT font = makeFont("Arial", -20);
    EXPECT_EQ(SelectObject(mem.dc, pen), GetStockObject(BLACK_PEN));
    EXPECT_EQ(SelectObject(mem.dc, pen2), pen);
    EXPECT_EQ(SelectObject(mem.dc, brush), GetStockObject(WHITE_BRUSH));
    EXPECT_EQ(SelectObject(mem.dc, font), GetStockObject(SYSTEM_FONT));
    EXPECT_EQ(GetCurrentObject(mem.dc, OBJ_PEN), pen2);
    EXPECT_EQ(GetCurrentObject(mem.dc, OBJ_BRUSH), brush);
    EXPECT_EQ(GetCurrentObject(mem.dc, OBJ_FONT), font);
    EXPECT_EQ(GetObjectType(mem.dc), static_cast<DWORD>(OBJ_MEMDC));

    SetLastError(kSentinel);
    EXPECT_EQ(SelectObject(nullptr, pen), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    SetLastError(kSentinel);
    EXPECT_EQ(SelectObject(mem.dc, nullptr), nullptr);
    EXPECT_EQ(GetLastError(), kSentinel) << "a NULL object sets no last error";
    EXPECT_EQ(GetCurrentObject(mem.dc, OBJ_PEN), pen2) << "the DC is unaffected";

    SelectObject(mem.dc, GetStockObject(BLACK_PEN));
    SelectObject(mem.dc, GetStockObject(WHITE_BRUSH));
    SelectObject(mem.dc, GetStockObject(SYSTEM_FONT));
    for (HGDIOBJ o : {static_cast<HGDIOBJ>(pen), static_cast<HGDIOBJ>(pen2),
                      static_cast<HGDIOBJ>(brush), static_cast<HGDIOBJ>(font)})
        EXPECT_TRUE(DeleteObject(o));
}

TEST(GdiObjects, DeletedObjectStaysUsableUntilItsLastDcLetsGo)
{
    MemoryDc a, b;
    HFONT font = makeFont("Times New Roman", -30);
    SelectObject(a.dc, font);
    SelectObject(b.dc, font);
    EXPECT_TRUE(DeleteObject(font));
    LOGFONTA lf;
    EXPECT_EQ(GetObjectA(font, sizeof lf, &lf), static_cast<int>(sizeof lf))
        << "freed while selected";
    TEXTMETRICA tm;
    EXPECT_TRUE(GetTextMetricsA(a.dc, &tm));

    EXPECT_EQ(SelectObject(a.dc, GetStockObject(SYSTEM_FONT)), font);
    EXPECT_EQ(GetObjectType(font), static_cast<DWORD>(OBJ_FONT)) << "still selected into b";
    EXPECT_EQ(SelectObject(b.dc, GetStockObject(SYSTEM_FONT)), font) << "handle still returned";
    SetLastError(kSentinel);
    EXPECT_EQ(GetObjectType(font), 0u) << "freed after the last deselect";
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

TEST(GdiObjects, DeleteDcFreesDeletedSelectionsAndRefusesStaleHandles)
{
    HDC dc = CreateCompatibleDC(nullptr);
    HPEN pen = CreatePen(PS_SOLID, 5, 0);
    SelectObject(dc, pen);
    DeleteObject(pen);
    EXPECT_TRUE(DeleteDC(dc));
    EXPECT_EQ(GetObjectType(pen), 0u);

    SetLastError(kSentinel);
    EXPECT_FALSE(DeleteDC(dc)) << "second DeleteDC of the same handle";
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    HPEN reused = CreatePen(PS_SOLID, 1, 0); /* likely takes the freed slot */
    EXPECT_EQ(GetObjectType(pen), 0u) << "a stale handle must not reach the new object";
    EXPECT_EQ(GetObjectType(reused), static_cast<DWORD>(OBJ_PEN));
    DeleteObject(reused);
}

TEST(GdiObjects, DeleteDcRefusesWhatIsNotADc)
{
    SetLastError(kSentinel);
    EXPECT_FALSE(DeleteDC(static_cast<HDC>(GetStockObject(BLACK_PEN))));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    SetLastError(kSentinel);
    EXPECT_FALSE(DeleteDC(nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    SetLastError(kSentinel);
    EXPECT_FALSE(DeleteDC(reinterpret_cast<HDC>(0x12345678)));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_EQ(GetObjectType(GetStockObject(BLACK_PEN)), static_cast<DWORD>(OBJ_PEN));
}

TEST(GdiObjects, BitmapGoesIntoOneMemoryDcAtATime)
{
    MemoryDc a, b;
    auto printer = makePrinter();
    HBITMAP bm = CreateCompatibleBitmap(a.dc, 10, 10);
    ASSERT_NE(SelectObject(a.dc, bm), nullptr);
    EXPECT_EQ(SelectObject(b.dc, bm), nullptr) << "already selected into another DC";
    EXPECT_EQ(SelectObject(printer->dc, bm), nullptr) << "only memory DCs hold bitmaps";
    SelectObject(a.dc, GetStockObject(BLACK_PEN));
    EXPECT_TRUE(DeleteObject(bm));
    EXPECT_EQ(GetObjectType(bm), static_cast<DWORD>(OBJ_BITMAP)) << "selected: deferred";
    DeleteDC(a.dc);
    a.dc = nullptr;
    EXPECT_EQ(GetObjectType(bm), 0u);
}

TEST(GdiObjects, GetObjectDescribesPensBrushesAndFonts)
{
    HPEN pen = CreatePen(PS_DASH, 17, RGB(1, 2, 3));
    LOGPEN lp{};
    EXPECT_EQ(GetObjectA(pen, 0, nullptr), static_cast<int>(sizeof(LOGPEN)));
    EXPECT_EQ(GetObjectA(pen, sizeof lp, &lp), static_cast<int>(sizeof lp));
    EXPECT_EQ(lp.lopnStyle, static_cast<UINT>(PS_DASH));
    EXPECT_EQ(lp.lopnWidth.x, 17);
    EXPECT_EQ(lp.lopnColor, RGB(1, 2, 3));

    HBRUSH brush = CreateSolidBrush(RGB(10, 20, 30));
    LOGBRUSH lb{};
    EXPECT_EQ(GetObjectA(brush, sizeof lb, &lb), static_cast<int>(sizeof lb));
    EXPECT_EQ(lb.lbStyle, static_cast<UINT>(BS_SOLID));
    EXPECT_EQ(lb.lbColor, RGB(10, 20, 30));

    HFONT font = makeFont("Courier New", -42, FW_BOLD);
    LOGFONTA lf{};
    EXPECT_EQ(GetObjectA(font, sizeof lf, &lf), static_cast<int>(sizeof lf));
    EXPECT_EQ(lf.lfHeight, -42);
    EXPECT_EQ(lf.lfWeight, FW_BOLD);
    EXPECT_STREQ(lf.lfFaceName, "Courier New");
    LONG height = 0;
    EXPECT_EQ(GetObjectA(font, sizeof height, &height), static_cast<int>(sizeof height))
        << "a short buffer gets the beginning";
    EXPECT_EQ(height, -42);

    SetLastError(kSentinel);
    EXPECT_EQ(GetObjectA(nullptr, sizeof lf, &lf), 0);
    EXPECT_EQ(GetLastError(), kSentinel);
    DeleteObject(pen);
    SetLastError(kSentinel);
    EXPECT_EQ(GetObjectA(pen, sizeof lp, &lp), 0) << "deleted pen";
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    DeleteObject(brush);
    DeleteObject(font);
}

TEST(GdiObjects, CreatePenNormalisesAndRefusesStyles)
{
    EXPECT_EQ(CreatePen(PS_NULL, 4, RGB(1, 1, 1)), GetStockObject(NULL_PEN));
    SetLastError(kSentinel);
    EXPECT_EQ(CreatePen(7, 1, 0), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    HFONT longName = makeFont("A face name far longer than thirty-one characters", -10);
    LOGFONTA lf{};
    GetObjectA(longName, sizeof lf, &lf);
    EXPECT_EQ(std::strlen(lf.lfFaceName), 31u);
    DeleteObject(longName);
}
