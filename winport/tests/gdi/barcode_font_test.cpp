/*
 * The bar-code face the build ships: installed into the root's
 * C:\Windows\Fonts on first use, found by its family name, one em per
 * Code 39 symbol, and drawn bars that a scanner (zbarimg) reads back.
 */
#include "gdi_test_util.h"

#include <winport_test.h>

#include <algorithm>
#include <fstream>
#include <sys/stat.h>
#include <utime.h>

using namespace gditest;

namespace {

constexpr const char *kFace = "Free 3 of 9 Extended";
const std::string kShipped = std::string(WINPORT_SHIPPED_FONTS) + "/code39.ttf";

/* Runs each test on a fresh root, and puts the previous one back. */
class BarCodeFont : public ::testing::Test {
protected:
    void SetUp() override
    {
        previous_ = winport_root();
        ASSERT_TRUE(winport_test_set_root(root_.path().c_str()));
    }
    void TearDown() override { winport_test_set_root(previous_.c_str()); }
    std::string installed() const { return root_.path() + "/drive_c/Windows/Fonts/code39.ttf"; }

    ScratchDir root_;
    std::string previous_;
};

struct Listed {
    DWORD type = 0;
    std::vector<std::string> faces;
};

int CALLBACK onFamily(const LOGFONTA *lf, const TEXTMETRICA *, DWORD type, LPARAM param)
{
    auto *seen = reinterpret_cast<Listed *>(param);
    seen->type = type;
    seen->faces.push_back(lf->lfFaceName);
    return 1;
}

Listed enumerate(HDC dc, const char *face)
{
    LOGFONTA lf{};
    lf.lfCharSet = DEFAULT_CHARSET;
    std::snprintf(lf.lfFaceName, LF_FACESIZE, "%s", face);
    Listed seen;
    EnumFontFamiliesExA(dc, &lf, onFamily, reinterpret_cast<LPARAM>(&seen), 0);
    return seen;
}

/* The family that draws text in `face` on a printer DC. */
std::string familyDrawing(const char *face)
{
    auto p = makePrinter();
    SetRecording(p->dc, true);
    HFONT font = makeFont(face, -100);
    SelectObject(p->dc, font);
    TextOutA(p->dc, 0, 0, "*A*", 3);
    auto texts = Only<RecText>(GetRecord(p->dc));
    SelectObject(p->dc, GetStockObject(SYSTEM_FONT));
    DeleteObject(font);
    return texts.empty() ? std::string() : texts[0].family;
}

std::string slurp(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void spit(const std::string &path, const std::string &bytes)
{
    std::ofstream(path, std::ios::binary) << bytes;
}

/* A raster page 300 dpi, wide enough for a short bar code and its quiet
 * zones, with `text` drawn in the bar-code face `em` dots high standing on
 * the baseline at y = 150. */
KeptRaster drawBarCode(const std::string &text, int em, LONG weight = FW_NORMAL)
{
    DeviceDescription d;
    d.deviceName = "Bar Code Raster";
    d.dpiX = d.dpiY = 300;
    d.paperWidth = 80 + em * 2 * static_cast<int>(text.size());
    d.paperHeight = 200;
    auto p = makePrinter(d, PageFormat::Raster);
    HFONT font = makeFont(kFace, -em, weight);
    SelectObject(p->dc, font);
    SetTextAlign(p->dc, TA_BASELINE);
    startDoc(p->dc);
    StartPage(p->dc);
    TextOutA(p->dc, 40, 150, text.data(), static_cast<int>(text.size()));
    EndPage(p->dc);
    EndDoc(p->dc);
    SelectObject(p->dc, GetStockObject(SYSTEM_FONT));
    DeleteObject(font);
    return p->sink->rasters.at(0);
}

/* What zbarimg reads in a raster: the symbol's data, without check or
 * full-ASCII translation. */
std::string scan(const KeptRaster &r, const std::string &dir)
{
    std::string path = dir + "/page.pgm";
    std::string pgm = "P5 " + std::to_string(r.width) + " " + std::to_string(r.height) + " 255\n";
    for (int y = 0; y < r.height; y++)
        for (int x = 0; x < r.width; x++)
            pgm += static_cast<char>(r.at(x, y) & 0xFF);
    spit(path, pgm);
    std::string out = RunCommand("zbarimg --nodbus --raw -q " + path + " 2>/dev/null");
    while (!out.empty() && (out.back() == '\n' || out.back() == '\r'))
        out.pop_back();
    return out;
}

TEST_F(BarCodeFont, IsInstalledIntoTheRootAndChosenAndListedByItsName)
{
    auto p = makePrinter();
    Listed seen = enumerate(p->dc, kFace);
    /* One entry per style, as for any face asked by name. */
    EXPECT_EQ(seen.faces, std::vector<std::string>(4, kFace));
    EXPECT_EQ(seen.type, static_cast<DWORD>(TRUETYPE_FONTTYPE));
    EXPECT_EQ(slurp(installed()), slurp(kShipped));
    EXPECT_EQ(familyDrawing(kFace), kFace); /* drawn by itself, not a fallback */

    /* Listed among every family too, and the name is matched without case. */
    Listed all = enumerate(p->dc, "");
    EXPECT_EQ(std::count(all.faces.begin(), all.faces.end(), kFace), 1);
    EXPECT_EQ(familyDrawing("FREE 3 OF 9 EXTENDED"), kFace);
}

TEST_F(BarCodeFont, CopyReplacesAnOlderInstalledFileAndKeepsANewerOne)
{
    familyDrawing(kFace); /* installs */
    ScratchDir other;

    /* An older, damaged copy is replaced the next time the root is used. */
    spit(installed(), "not a font");
    struct utimbuf old {
        946684800, 946684800
    }; /* 2000-01-01 */
    ASSERT_EQ(utime(installed().c_str(), &old), 0);
    ASSERT_TRUE(winport_test_set_root(other.path().c_str()));
    familyDrawing(kFace);
    ASSERT_TRUE(winport_test_set_root(root_.path().c_str()));
    EXPECT_EQ(familyDrawing(kFace), kFace);
    EXPECT_EQ(slurp(installed()), slurp(kShipped));

    /* A copy newer than ours is the operator's: it stays. */
    std::string theirs = slurp(kShipped) + std::string(16, '\0');
    spit(installed(), theirs);
    struct utimbuf later {
        4102444800, 4102444800
    }; /* 2100-01-01 */
    ASSERT_EQ(utime(installed().c_str(), &later), 0);
    ASSERT_TRUE(winport_test_set_root(other.path().c_str()));
    familyDrawing(kFace);
    ASSERT_TRUE(winport_test_set_root(root_.path().c_str()));
    familyDrawing(kFace);
    EXPECT_EQ(slurp(installed()), theirs);
}

TEST_F(BarCodeFont, RootWithoutAFontsFolderFallsBackUntilAddFontResourceAddsTheFile)
{
    /* A file where the folder should be: nothing can be installed. */
    std::filesystem::create_directories(root_.path() + "/drive_c/Windows");
    std::filesystem::create_directories(root_.path() + "/drive_c/own");
    spit(root_.path() + "/drive_c/Windows/Fonts", "");
    std::filesystem::copy_file(kShipped, root_.path() + "/drive_c/own/bars.ttf");
    spit(root_.path() + "/drive_c/own/notes.ttf", "not a font");

    EXPECT_NE(familyDrawing(kFace), kFace);
    EXPECT_EQ(AddFontResourceA("C:\\own\\missing.ttf"), 0);
    EXPECT_EQ(AddFontResourceA("C:\\own\\notes.ttf"), 0);
    EXPECT_EQ(AddFontResourceA(nullptr), 0);
    EXPECT_NE(familyDrawing(kFace), kFace);

    EXPECT_EQ(AddFontResourceA("c:\\OWN\\Bars.ttf"), 1);
    EXPECT_EQ(familyDrawing(kFace), kFace);
    auto p = makePrinter();
    EXPECT_EQ(enumerate(p->dc, kFace).faces.size(), 4u);
}

TEST_F(BarCodeFont, EverySymbolIsOneEmWideAndBarsStandOnTheBaseline)
{
    auto p = makePrinter();
    for (LONG em : {100L, 193L}) {
        HFONT font = makeFont(kFace, -em);
        SelectObject(p->dc, font);
        TEXTMETRICA tm{};
        ASSERT_TRUE(GetTextMetricsA(p->dc, &tm));
        EXPECT_EQ(tm.tmAscent, em);
        EXPECT_EQ(tm.tmDescent, (em + 5) / 10);

        /* 16 narrow units per symbol, the gap included: one em.  The basic
         * set and '*' are one symbol, every other ASCII character two. */
        const std::string basic = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ-. $/+%*";
        for (int c = 0x20; c < 0x7F; c++) {
            char ch = static_cast<char>(c);
            SIZE size{};
            ASSERT_TRUE(GetTextExtentPoint32A(p->dc, &ch, 1, &size));
            LONG symbols = basic.find(ch) != std::string::npos ? 1 : 2;
            EXPECT_EQ(size.cx, symbols * em) << "character " << ch << " at em " << em;
        }
        SIZE run{};
        GetTextExtentPoint32A(p->dc, "*CODE-39 test*", 14, &run);
        EXPECT_EQ(run.cx, 18 * em);
        SelectObject(p->dc, GetStockObject(SYSTEM_FONT));
        DeleteObject(font);
    }

    /* On the page: the first bar of '*' (narrow) runs from the baseline up
     * one em, nothing below the baseline. */
    KeptRaster r = drawBarCode("*", 60);
    auto dark = [&](int x, int y) { return (r.at(x, y) & 0xFF) < 0x80; };
    EXPECT_TRUE(dark(41, 149));
    EXPECT_TRUE(dark(41, 91));
    EXPECT_FALSE(dark(41, 88));
    EXPECT_FALSE(dark(41, 152));
    EXPECT_FALSE(dark(39, 120)); /* nothing left of the reference point */

    /* Reports ask for it bold too: the bars must not fatten. */
    KeptRaster bold = drawBarCode("*BOLD-8*", 60, 800);
    EXPECT_EQ(bold.pixels, drawBarCode("*BOLD-8*", 60).pixels);
}

TEST_F(BarCodeFont, DrawnTextScansAsCode39IncludingFullAscii)
{
    EXPECT_EQ(scan(drawBarCode("*CODE-39 TEST*", 30), root_.path()), "CODE-39 TEST");
    EXPECT_EQ(scan(drawBarCode("*$/+%.*", 30), root_.path()), "$/+%.");
    /* Full ASCII: each character outside the basic set draws its escape
     * pair, which a full-ASCII reader turns back into the character. */
    EXPECT_EQ(scan(drawBarCode("*Lab 7a!*", 30), root_.path()), "L+A+B 7+A/A");
    EXPECT_EQ(scan(drawBarCode("*{@}~_:*", 30), root_.path()), "%P%V%R%S%O/Z");
    /* A character the code cannot hold breaks the bar code rather than
     * vanishing from it. */
    EXPECT_EQ(scan(drawBarCode("*AB\xe9"
                               "CD*",
                               30),
                   root_.path()),
              "");
}

} // namespace
