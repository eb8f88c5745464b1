/*
 * Font metrics against external reference data.
 *
 * The server lays text out with Windows widths; Windows' Arial, Times New
 * Roman and Courier New carry the widths of the Helvetica, Times and
 * Courier core fonts.  The URW base35 AFM files hold those widths at 1000
 * units per em, so a font created with lfHeight -1000 must measure every
 * printable ASCII character within one unit of its AFM width.  Vertical
 * metrics are checked against the Windows fonts' own OS/2 values.
 */
#include "gdi_test_util.h"

#include <cctype>
#include <cmath>
#include <fstream>
#include <map>
#include <sstream>

using namespace gditest;

namespace {

/* Glyph names of printable ASCII, 0x20 to 0x7E. */
const char *const kAsciiNames[] = {
    "space",       "exclam",
    "quotedbl",    "numbersign",
    "dollar",      "percent",
    "ampersand",   "quotesingle",
    "parenleft",   "parenright",
    "asterisk",    "plus",
    "comma",       "hyphen",
    "period",      "slash",
    "zero",        "one",
    "two",         "three",
    "four",        "five",
    "six",         "seven",
    "eight",       "nine",
    "colon",       "semicolon",
    "less",        "equal",
    "greater",     "question",
    "at",          "A",
    "B",           "C",
    "D",           "E",
    "F",           "G",
    "H",           "I",
    "J",           "K",
    "L",           "M",
    "N",           "O",
    "P",           "Q",
    "R",           "S",
    "T",           "U",
    "V",           "W",
    "X",           "Y",
    "Z",           "bracketleft",
    "backslash",   "bracketright",
    "asciicircum", "underscore",
    "grave",       "a",
    "b",           "c",
    "d",           "e",
    "f",           "g",
    "h",           "i",
    "j",           "k",
    "l",           "m",
    "n",           "o",
    "p",           "q",
    "r",           "s",
    "t",           "u",
    "v",           "w",
    "x",           "y",
    "z",           "braceleft",
    "bar",         "braceright",
    "asciitilde",
};
static_assert(sizeof kAsciiNames / sizeof kAsciiNames[0] == 0x7F - 0x20);

/* Advance widths by glyph name from an AFM file's "C ... ; WX w ; N name" lines. */
std::map<std::string, int> readAfm(const std::string &file)
{
    std::map<std::string, int> widths;
    std::ifstream in(std::string(WINPORT_AFM_DIR) + "/" + file);
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("C ", 0) != 0)
            continue;
        int wx = -1;
        std::string name;
        std::istringstream fields(line);
        std::string tok;
        while (fields >> tok) {
            if (tok == "WX")
                fields >> wx;
            else if (tok == "N")
                fields >> name;
        }
        if (wx >= 0 && !name.empty())
            widths[name] = wx;
    }
    return widths;
}

struct AfmCase {
    const char *face;
    LONG weight;
    BYTE italic;
    const char *afm;
};

class AfmWidths : public ::testing::TestWithParam<AfmCase> {};

} // namespace

TEST_P(AfmWidths, EveryPrintableAsciiAdvanceMatchesTheAfmWithinOneUnit)
{
    const AfmCase &c = GetParam();
    auto afm = readAfm(c.afm);
    if (afm.empty())
        GTEST_SKIP() << "no AFM file " << c.afm << " in " << WINPORT_AFM_DIR;
    auto printer = makePrinter();
    HFONT font = makeFont(c.face, -1000, c.weight, c.italic);
    HGDIOBJ old = SelectObject(printer->dc, font);
    int mismatches = 0;
    for (int ch = 0x20; ch < 0x7F; ch++) {
        const char *name = kAsciiNames[ch - 0x20];
        ASSERT_TRUE(afm.count(name)) << name << " missing from " << c.afm;
        char s[1] = {static_cast<char>(ch)};
        SIZE size{};
        ASSERT_TRUE(GetTextExtentPoint32A(printer->dc, s, 1, &size));
        if (std::abs(size.cx - afm[name]) > 1) {
            ADD_FAILURE() << c.face << " '" << static_cast<char>(ch) << "' (" << name
                          << "): measured " << size.cx << ", AFM " << afm[name];
            mismatches++;
        }
    }
    EXPECT_EQ(mismatches, 0);
    SelectObject(printer->dc, old);
    DeleteObject(font);
}

INSTANTIATE_TEST_SUITE_P(
    CoreFamilies, AfmWidths,
    ::testing::Values(AfmCase{"Arial", FW_NORMAL, 0, "NimbusSans-Regular.afm"},
                      AfmCase{"Arial", FW_BOLD, 0, "NimbusSans-Bold.afm"},
                      AfmCase{"Arial", FW_NORMAL, 1, "NimbusSans-Italic.afm"},
                      AfmCase{"Helvetica", FW_NORMAL, 0, "NimbusSans-Regular.afm"},
                      AfmCase{"Helvetica", FW_BOLD, 0, "NimbusSans-Bold.afm"},
                      AfmCase{"Microsoft Sans Serif", FW_NORMAL, 0, "NimbusSans-Regular.afm"},
                      AfmCase{"Times New Roman", FW_NORMAL, 0, "NimbusRoman-Regular.afm"},
                      AfmCase{"Times New Roman", FW_BOLD, 0, "NimbusRoman-Bold.afm"},
                      AfmCase{"Times New Roman", FW_NORMAL, 1, "NimbusRoman-Italic.afm"},
                      AfmCase{"Times", FW_NORMAL, 0, "NimbusRoman-Regular.afm"},
                      AfmCase{"Courier New", FW_NORMAL, 0, "NimbusMonoPS-Regular.afm"},
                      AfmCase{"Courier New", FW_BOLD, 0, "NimbusMonoPS-Bold.afm"},
                      AfmCase{"Courier", FW_NORMAL, 0, "NimbusMonoPS-Regular.afm"}),
    [](const ::testing::TestParamInfo<AfmCase> &info) {
        std::string name = info.param.face;
        name += info.param.weight >= FW_BOLD ? "Bold" : "";
        name += info.param.italic ? "Italic" : "";
        std::string out;
        for (char ch : name)
            if (std::isalnum(static_cast<unsigned char>(ch)))
                out += ch;
        return out;
    });

TEST(FontVerticalMetrics, MatchTheWindowsFontsAtOneThousandUnitsPerEm)
{
    /* usWinAscent, usWinDescent and hhea lineGap of the Windows fonts, in
     * units of their 2048-unit em. */
    const struct {
        const char *face;
        int winAscent, winDescent, lineGap;
    } fonts[] = {{"Arial", 1854, 434, 67},
                 {"Times New Roman", 1825, 443, 87},
                 {"Courier New", 1705, 615, 0}};
    auto printer = makePrinter();
    for (const auto &f : fonts) {
        HFONT font = makeFont(f.face, -1000);
        HGDIOBJ old = SelectObject(printer->dc, font);
        TEXTMETRICA tm{};
        ASSERT_TRUE(GetTextMetricsA(printer->dc, &tm));
        int ascent = static_cast<int>(std::lround(f.winAscent * 1000.0 / 2048));
        int descent = static_cast<int>(std::lround(f.winDescent * 1000.0 / 2048));
        EXPECT_NEAR(tm.tmAscent, ascent, 1) << f.face;
        EXPECT_NEAR(tm.tmDescent, descent, 1) << f.face;
        EXPECT_EQ(tm.tmHeight, tm.tmAscent + tm.tmDescent) << f.face;
        EXPECT_EQ(tm.tmInternalLeading, tm.tmHeight - 1000) << f.face;
        EXPECT_NEAR(tm.tmExternalLeading, std::lround(f.lineGap * 1000.0 / 2048), 1) << f.face;
        SelectObject(printer->dc, old);
        DeleteObject(font);
    }
}
