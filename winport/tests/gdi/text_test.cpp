/*
 * Text output on the record and on raster pages: alignment, the current
 * position, extents, rotation, background modes, Windows-1252.
 */
#include "gdi_test_util.h"

#include <scratch_root.h>

using namespace gditest;

namespace {

/* A printer DC with an open page, recording, a font selected. */
struct Page {
    std::unique_ptr<Printer> printer;
    HFONT font;
    TEXTMETRICA tm{};
    explicit Page(HFONT f, const DeviceDescription &d = letter600(),
                  PageFormat format = PageFormat::Pdf)
        : printer(makePrinter(d, format)), font(f)
    {
        SetRecording(printer->dc, true);
        SelectObject(printer->dc, font);
        GetTextMetricsA(printer->dc, &tm);
        startDoc(printer->dc);
        StartPage(printer->dc);
    }
    ~Page()
    {
        EndDoc(printer->dc);
        SelectObject(printer->dc, GetStockObject(SYSTEM_FONT));
        DeleteObject(font);
    }
    HDC dc() const { return printer->dc; }
    LONG extent(const char *s) const
    {
        SIZE size{};
        GetTextExtentPoint32A(printer->dc, s, static_cast<int>(std::strlen(s)), &size);
        return size.cx;
    }
    RecText lastText() const
    {
        auto texts = Only<RecText>(GetRecord(printer->dc));
        return texts.empty() ? RecText{} : texts.back();
    }
};

/* Pixels different from white inside [x0, x1) x [y0, y1) of a raster. */
int inkIn(const KeptRaster &r, int x0, int y0, int x1, int y1)
{
    int n = 0;
    for (int y = std::max(y0, 0); y < std::min(y1, r.height); y++)
        for (int x = std::max(x0, 0); x < std::min(x1, r.width); x++)
            n += r.at(x, y) != 0xFFFFFF;
    return n;
}

} // namespace

TEST(TextAlign, ReferencePointMovesAsGdiPlacesText)
{
    Page page(makeFont("Arial", -100));
    const LONG w = page.extent("Hello");
    const struct {
        UINT align;
        LONG dx; /* origin x relative to the reference point */
        LONG dy; /* baseline relative to the reference point */
    } cases[] = {
        {TA_LEFT | TA_TOP, 0, page.tm.tmAscent},
        {TA_CENTER | TA_TOP, -(w / 2), page.tm.tmAscent},
        {TA_RIGHT | TA_TOP, -w, page.tm.tmAscent},
        {TA_LEFT | TA_BASELINE, 0, 0},
        {TA_CENTER | TA_BASELINE, -(w / 2), 0},
        {TA_RIGHT | TA_BASELINE, -w, 0},
        {TA_LEFT | TA_BOTTOM, 0, -page.tm.tmDescent},
        {TA_CENTER | TA_BOTTOM, -(w / 2), -page.tm.tmDescent},
        {TA_RIGHT | TA_BOTTOM, -w, -page.tm.tmDescent},
    };
    for (const auto &c : cases) {
        SetTextAlign(page.dc(), c.align);
        ASSERT_TRUE(TextOutA(page.dc(), 1000, 2000, "Hello", 5));
        RecText t = page.lastText();
        EXPECT_EQ(t.ref.x, 1000);
        EXPECT_EQ(t.ref.y, 2000);
        EXPECT_EQ(t.origin.x, 1000 + c.dx) << "align " << c.align;
        EXPECT_EQ(t.origin.y, 2000 + c.dy) << "align " << c.align;
        EXPECT_EQ(t.box.left, t.origin.x);
        EXPECT_EQ(t.box.right, t.origin.x + w);
        EXPECT_EQ(t.box.top, t.origin.y - page.tm.tmAscent);
        EXPECT_EQ(t.box.bottom, t.origin.y + page.tm.tmDescent);
        EXPECT_EQ(t.width, w);
        EXPECT_EQ(t.page, 1);
    }
    EXPECT_EQ(SetTextAlign(page.dc(), TA_BASELINE), static_cast<UINT>(TA_RIGHT | TA_BOTTOM))
        << "SetTextAlign returns the previous alignment";
}

TEST(TextAlign, UpdateCpDrawsAtAndAdvancesTheCurrentPosition)
{
    Page page(makeFont("Times New Roman", -80));
    MoveToEx(page.dc(), 500, 700, nullptr);
    SetTextAlign(page.dc(), TA_UPDATECP | TA_BASELINE);
    TextOutA(page.dc(), 0, 0, "ab", 2);
    EXPECT_EQ(page.lastText().origin.x, 500) << "x and y are ignored";
    TextOutA(page.dc(), 0, 0, "cd", 2);
    EXPECT_EQ(page.lastText().origin.x, 500 + page.extent("ab")) << "continues after the text";
    POINT pos;
    GetCurrentPositionEx(page.dc(), &pos);
    EXPECT_EQ(pos.x, 500 + page.extent("abcd"));
    EXPECT_EQ(pos.y, 700);
    SetTextAlign(page.dc(), TA_UPDATECP | TA_RIGHT);
    TextOutA(page.dc(), 0, 0, "ef", 2);
    GetCurrentPositionEx(page.dc(), &pos);
    EXPECT_EQ(pos.x, 500 + page.extent("abcd") - page.extent("ef"));
    SetTextAlign(page.dc(), TA_UPDATECP | TA_CENTER);
    TextOutA(page.dc(), 0, 0, "gh", 2);
    POINT after;
    GetCurrentPositionEx(page.dc(), &after);
    EXPECT_EQ(after.x, pos.x) << "centred text leaves the position";
}

TEST(TextExtent, IsTheSumOfWholeUnitAdvances)
{
    Page page(makeFont("Arial", -75));
    const char *s = "Hello, World: 0123456789 fi";
    LONG sum = 0;
    for (const char *p = s; *p; p++) {
        SIZE one{};
        GetTextExtentPoint32A(page.dc(), p, 1, &one);
        sum += one.cx;
    }
    SIZE all{};
    ASSERT_TRUE(GetTextExtentPoint32A(page.dc(), s, static_cast<int>(std::strlen(s)), &all));
    EXPECT_EQ(all.cx, sum) << "no kerning, no fractional carry";
    EXPECT_EQ(all.cy, page.tm.tmHeight);
    TextOutA(page.dc(), 10, 200, s, static_cast<int>(std::strlen(s)));
    EXPECT_EQ(page.lastText().width, sum);

    const INT dx[3] = {100, 100, 100};
    ExtTextOutA(page.dc(), 10, 400, 0, nullptr, "abc", 3, dx);
    EXPECT_EQ(page.lastText().width, 300) << "lpDx replaces the advances";

    SIZE empty{1, 1};
    EXPECT_TRUE(GetTextExtentPoint32A(page.dc(), "", 0, &empty));
    EXPECT_EQ(empty.cx, 0);
    SetLastError(kSentinel);
    EXPECT_FALSE(GetTextExtentPoint32A(page.dc(), "a", -1, &empty));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    SetLastError(kSentinel);
    EXPECT_FALSE(GetTextExtentPoint32A(page.dc(), "a", 1, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST(TextRecord, CarriesFontColourAndWindows1252AsUnicode)
{
    Page page(makeFont("Arial", -100, FW_BOLD, 1));
    SetTextColor(page.dc(), RGB(200, 10, 20));
    SetBkMode(page.dc(), TRANSPARENT);
    const char text[] = "\x95 item \x80 5 \x93ok\x94";
    TextOutA(page.dc(), 100, 100, text, static_cast<int>(sizeof text - 1));
    RecText t = page.lastText();
    EXPECT_EQ(t.utf8, "\u2022 item \u20AC 5 \u201Cok\u201D");
    EXPECT_EQ(t.text, std::string(text));
    EXPECT_EQ(t.face, "Arial");
    EXPECT_EQ(t.family, "Liberation Sans");
    EXPECT_EQ(t.lfHeight, -100);
    EXPECT_EQ(t.emHeight, 100);
    EXPECT_TRUE(t.bold);
    EXPECT_TRUE(t.italic);
    EXPECT_EQ(t.color, RGB(200, 10, 20));
    EXPECT_FALSE(t.opaque);
    std::string line = DumpItem(t);
    EXPECT_NE(line.find("face=\"Arial\""), std::string::npos) << line;
    EXPECT_NE(line.find("bold italic"), std::string::npos) << line;
    EXPECT_NE(line.find("color=#C80A14"), std::string::npos) << line;
}

TEST(TextRotation, QuarterTurnsTurnTheCellAboutTheReferencePoint)
{
    const LONG x = 1000, y = 1000;
    for (LONG esc : {900L, 2700L}) {
        Page page(makeFont("Arial", -100, FW_NORMAL, 0, esc));
        SetTextAlign(page.dc(), TA_LEFT | TA_BASELINE);
        TextOutA(page.dc(), x, y, "ABC", 3);
        RecText t = page.lastText();
        const LONG w = page.extent("ABC"), a = page.tm.tmAscent, d = page.tm.tmDescent;
        EXPECT_EQ(t.escapement, esc);
        if (esc == 900) { /* reads upwards: ascent to the left */
            EXPECT_EQ(t.box.left, x - a);
            EXPECT_EQ(t.box.right, x + d);
            EXPECT_EQ(t.box.top, y - w);
            EXPECT_EQ(t.box.bottom, y);
        } else { /* reads downwards: ascent to the right */
            EXPECT_EQ(t.box.left, x - d);
            EXPECT_EQ(t.box.right, x + a);
            EXPECT_EQ(t.box.top, y);
            EXPECT_EQ(t.box.bottom, y + w);
        }
        EXPECT_EQ(page.extent("ABC"), w) << "the extent is along the baseline";
    }
}

TEST(TextRaster, RotatedGlyphsLandInsideTheRecordedBox)
{
    Page page(makeFont("Arial", -40, FW_BOLD, 0, 900), smallRaster(), PageFormat::Raster);
    SetTextAlign(page.dc(), TA_LEFT | TA_BASELINE);
    TextOutA(page.dc(), 300, 300, "HHHH", 4);
    RecText t = page.lastText();
    EndPage(page.dc());
    ASSERT_EQ(page.printer->sink->rasters.size(), 1u);
    const KeptRaster &r = page.printer->sink->rasters[0];
    int inside = inkIn(r, t.box.left, t.box.top, t.box.right, t.box.bottom);
    int total = inkIn(r, 0, 0, r.width, r.height);
    EXPECT_GT(inside, 200);
    EXPECT_EQ(total, inside) << "ink outside the recorded box";
    EXPECT_GT(t.box.bottom - t.box.top, t.box.right - t.box.left) << "drawn upright, not turned";
}

TEST(TextRaster, OpaqueBackgroundFillsTheCellTransparentDoesNot)
{
    Page page(makeFont("Arial", -40), smallRaster(), PageFormat::Raster);
    SetTextAlign(page.dc(), TA_LEFT | TA_TOP);
    SetBkColor(page.dc(), RGB(255, 0, 0));
    SetBkMode(page.dc(), OPAQUE);
    TextOutA(page.dc(), 20, 20, "..", 2); /* dots leave the cell's top empty of glyphs */
    SetBkMode(page.dc(), TRANSPARENT);
    TextOutA(page.dc(), 20, 200, "..", 2);
    EndPage(page.dc());
    const KeptRaster &r = page.printer->sink->rasters.at(0);
    EXPECT_EQ(r.at(22, 22), 0xFF0000u) << "opaque cell filled with the background colour";
    EXPECT_EQ(r.at(22, 202), 0xFFFFFFu) << "transparent text leaves the page";
    EXPECT_EQ(r.at(22, 20 + page.tm.tmHeight + 2), 0xFFFFFFu) << "fill stops at the cell";
}

TEST(TextRaster, UnderlineAndStrikeOutDrawAcrossTheText)
{
    HFONT font = CreateFontA(-60, 0, 0, 0, FW_NORMAL, 0, 1, 1, 0, 0, 0, 0, 0, "Arial");
    Page page(font, smallRaster(), PageFormat::Raster);
    SetTextAlign(page.dc(), TA_LEFT | TA_BASELINE);
    SetBkMode(page.dc(), TRANSPARENT);
    TextOutA(page.dc(), 50, 100, "    ", 4); /* spaces: only the lines ink */
    RecText t = page.lastText();
    EXPECT_TRUE(t.underline);
    EXPECT_TRUE(t.strikeOut);
    EndPage(page.dc());
    const KeptRaster &r = page.printer->sink->rasters.at(0);
    EXPECT_GT(inkIn(r, 50, 101, 50 + t.width, 100 + page.tm.tmDescent), t.width / 2) << "underline";
    EXPECT_GT(inkIn(r, 50, 100 - page.tm.tmAscent / 2, 50 + t.width, 100), t.width / 2)
        << "strike-out";
}

TEST(TextOutput, FailsExactlyAndDrawsNothingBetweenPages)
{
    ScratchRoot root; /* for the error log */
    auto printer = makePrinter();
    SetRecording(printer->dc, true);
    startDoc(printer->dc);
    /* Windows names no result for drawing outside a page; winport fails it,
     * so output that reaches no paper never passes unseen. */
    SetLastError(kSentinel);
    EXPECT_FALSE(TextOutA(printer->dc, 10, 10, "lost", 4)) << "no page open";
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_READY));
    SetLastError(kSentinel);
    EXPECT_FALSE(LineTo(printer->dc, 100, 100));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_READY));
    EXPECT_FALSE(Rectangle(printer->dc, 0, 0, 10, 10));
    auto texts = Only<RecText>(GetRecord(printer->dc));
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_EQ(texts[0].page, 0) << "recorded as reaching no paper";
    const std::string log = ReadText(root.path() + "/winport/log/winport_gdi_tests.log");
    EXPECT_NE(log.find("winport: TextOutA on a printer between pages"), std::string::npos) << log;
    EXPECT_EQ(log.find("LineTo"), std::string::npos) << "one line per gap between pages";
    ASSERT_GT(StartPage(printer->dc), 0);
    EXPECT_TRUE(TextOutA(printer->dc, 10, 10, "kept", 4));
    EXPECT_TRUE(LineTo(printer->dc, 200, 200));
    EndPage(printer->dc);
    EXPECT_FALSE(TextOutA(printer->dc, 10, 10, "lost", 4)) << "after the page, again none";
    EndDoc(printer->dc);

    SetLastError(kSentinel);
    EXPECT_FALSE(TextOutA(nullptr, 0, 0, "x", 1));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    SetLastError(kSentinel);
    EXPECT_FALSE(TextOutA(printer->dc, 0, 0, "x", -1));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    SetLastError(kSentinel);
    EXPECT_FALSE(TextOutA(printer->dc, 0, 0, nullptr, 3));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_TRUE(TextOutA(printer->dc, 0, 0, nullptr, 0));
}
