/*
 * Fonts: GDI's height and weight rules, text metrics as Windows reports
 * them, face names, substitutes, device fonts and EnumFontFamiliesExA.
 */
#include "gdi_test_util.h"

#include <strings.h>

using namespace gditest;

namespace {

struct Selected {
    HDC dc;
    HFONT font;
    HGDIOBJ old;
    Selected(HDC d, HFONT f) : dc(d), font(f), old(SelectObject(d, f)) {}
    ~Selected()
    {
        SelectObject(dc, old);
        DeleteObject(font);
    }
    TEXTMETRICA metrics() const
    {
        TEXTMETRICA tm{};
        GetTextMetricsA(dc, &tm);
        return tm;
    }
    std::string face() const
    {
        char buf[LF_FACESIZE];
        GetTextFaceA(dc, sizeof buf, buf);
        return buf;
    }
    LONG extent(const char *s) const
    {
        SIZE size{};
        GetTextExtentPoint32A(dc, s, static_cast<int>(std::strlen(s)), &size);
        return size.cx;
    }
};

struct Enumerated {
    std::string face;
    std::string style;
    DWORD type;
    LOGFONTA lf;
    NEWTEXTMETRICEXA ntm;
};

struct EnumLog {
    std::vector<Enumerated> items;
    int stopAfter = -1; /* return 0 on that call */
};

int CALLBACK collect(const LOGFONTA *lf, const TEXTMETRICA *tm, DWORD type, LPARAM param)
{
    auto *log = reinterpret_cast<EnumLog *>(param);
    const auto *elf = reinterpret_cast<const ENUMLOGFONTEXA *>(lf);
    log->items.push_back({lf->lfFaceName, reinterpret_cast<const char *>(elf->elfStyle), type, *lf,
                          *reinterpret_cast<const NEWTEXTMETRICEXA *>(tm)});
    if (log->stopAfter >= 0 && static_cast<int>(log->items.size()) > log->stopAfter)
        return 0;
    return 7;
}

EnumLog enumerate(HDC dc, const char *face, BYTE charSet, int *ret, int stopAfter = -1)
{
    EnumLog log;
    log.stopAfter = stopAfter;
    LOGFONTA lf{};
    lf.lfCharSet = charSet;
    std::strncpy(lf.lfFaceName, face, LF_FACESIZE - 1);
    *ret = EnumFontFamiliesExA(dc, &lf, collect, reinterpret_cast<LPARAM>(&log), 0);
    return log;
}

} // namespace

TEST(FontHeights, NegativeIsCharacterHeightPositiveIsCellHeight)
{
    auto printer = makePrinter();
    for (LONG h : {10L, 37L, 100L, 250L, 1000L}) {
        for (const char *face : {"Arial", "Times New Roman", "Courier New"}) {
            TEXTMETRICA em = Selected(printer->dc, makeFont(face, -h)).metrics();
            EXPECT_EQ(em.tmHeight - em.tmInternalLeading, h) << face << " -" << h;
            TEXTMETRICA cell = Selected(printer->dc, makeFont(face, h)).metrics();
            EXPECT_NEAR(cell.tmHeight, h, 1) << face << " +" << h;
            EXPECT_LT(cell.tmHeight - cell.tmInternalLeading, h) << face << " +" << h;
        }
    }
    /* 0 asks for the device's default: 12 points at 600 dpi is 100 units. */
    TEXTMETRICA def = Selected(printer->dc, makeFont("Arial", 0)).metrics();
    EXPECT_EQ(def.tmHeight - def.tmInternalLeading, 100);
}

TEST(FontWeights, SevenHundredAndUpDrawBold)
{
    auto printer = makePrinter();
    Selected semibold(printer->dc, makeFont("Arial", -1000, 699));
    EXPECT_EQ(semibold.metrics().tmWeight, FW_NORMAL);
    EXPECT_NEAR(semibold.extent("A"), 667, 1) << "regular Helvetica A";
    Selected bold(printer->dc, makeFont("Arial", -1000, FW_BOLD));
    EXPECT_EQ(bold.metrics().tmWeight, FW_BOLD);
    EXPECT_NEAR(bold.extent("A"), 722, 1) << "bold Helvetica A";
    Selected heavy(printer->dc, makeFont("Times New Roman", -1000, FW_HEAVY, 1));
    TEXTMETRICA tm = heavy.metrics();
    EXPECT_EQ(tm.tmWeight, FW_BOLD);
    EXPECT_NE(tm.tmItalic, 0);
    EXPECT_NEAR(heavy.extent("a"), 500, 1) << "bold italic Times a";
}

TEST(FontMetrics, PitchFamilyAndCharacterSetAsWindowsReportsThem)
{
    auto printer = makePrinter();
    TEXTMETRICA arial = Selected(printer->dc, makeFont("Arial", -100)).metrics();
    /* TMPF_FIXED_PITCH set means variable pitch. */
    EXPECT_EQ(arial.tmPitchAndFamily, FF_SWISS | TMPF_TRUETYPE | TMPF_VECTOR | TMPF_FIXED_PITCH);
    EXPECT_EQ(arial.tmCharSet, ANSI_CHARSET);
    TEXTMETRICA courier = Selected(printer->dc, makeFont("Courier New", -100)).metrics();
    EXPECT_EQ(courier.tmPitchAndFamily, FF_MODERN | TMPF_TRUETYPE | TMPF_VECTOR);
    EXPECT_EQ(courier.tmAveCharWidth, 60);
    EXPECT_EQ(courier.tmMaxCharWidth, 60);
    TEXTMETRICA wide =
        Selected(printer->dc, CreateFontA(-100, 90, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, "Courier New"))
            .metrics();
    EXPECT_EQ(wide.tmAveCharWidth, 90) << "lfWidth sets the average character width";
    TEXTMETRICA symbol = Selected(printer->dc, makeFont("Wingdings", -100)).metrics();
    EXPECT_EQ(symbol.tmCharSet, SYMBOL_CHARSET);
}

TEST(FontFaces, WindowsNamesAndFallbacksByPitchAndFamily)
{
    auto printer = makePrinter();
    EXPECT_EQ(Selected(printer->dc, makeFont("Arial", -50)).face(), "Arial");
    EXPECT_EQ(Selected(printer->dc, makeFont("times new roman", -50)).face(), "Times New Roman");
    EXPECT_EQ(Selected(printer->dc, makeFont("Helvetica", -50)).face(), "Helvetica");
    const struct {
        BYTE pitchAndFamily;
        const char *expected;
    } fallbacks[] = {{FF_ROMAN, "Times New Roman"},
                     {FF_MODERN, "Courier New"},
                     {FIXED_PITCH, "Courier New"},
                     {FF_SWISS, "Arial"},
                     {0, "Arial"}};
    for (const auto &f : fallbacks) {
        HFONT font =
            CreateFontA(-50, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, f.pitchAndFamily, "Courier 10");
        EXPECT_EQ(Selected(printer->dc, font).face(), f.expected) << int(f.pitchAndFamily);
    }
    Selected s(printer->dc, makeFont("Arial", -50));
    char buf[4];
    SetLastError(kSentinel);
    EXPECT_EQ(GetTextFaceA(printer->dc, 0, nullptr), 6) << "size with the NUL";
    EXPECT_EQ(GetTextFaceA(printer->dc, sizeof buf, buf), 4);
    EXPECT_STREQ(buf, "Ari");
    EXPECT_EQ(GetTextFaceA(printer->dc, 1, buf), 1);
    EXPECT_STREQ(buf, "");
    EXPECT_EQ(GetLastError(), kSentinel);
}

TEST(FontSubstitutes, RegisteredNamesDrawWithTheirTarget)
{
    auto printer = makePrinter();
    ASSERT_TRUE(AddFontSubstitute("Tms Rmn", "Times New Roman"));
    Selected sub(printer->dc, makeFont("Tms Rmn", -1000));
    EXPECT_NEAR(sub.extent("a"), 444, 1) << "drawn with Times widths";
    ASSERT_TRUE(AddFontSubstitute("Plain Mono", "Liberation Mono"));
    EXPECT_EQ(Selected(printer->dc, makeFont("Plain Mono", -1000)).extent("iW"), 1200);
    SetLastError(kSentinel);
    EXPECT_FALSE(AddFontSubstitute("", "Arial"));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST(FontSubstitutes, HelveticaHasArialsHeightsAsWindowsSubstitutesIt)
{
    /* FontSubstitutes: Helvetica=Arial.  A layout that steps lines by the
     * text height of a Helvetica font gets Arial's cell. */
    auto printer = makePrinter();
    auto measure = [&](const char *face, TEXTMETRICA *tm, LONG *width, std::string *name) {
        Selected font(printer->dc, makeFont(face, -67, FW_MEDIUM));
        *tm = font.metrics();
        *width = font.extent("Patient Name");
        *name = font.face();
    };
    TEXTMETRICA h{}, a{};
    LONG hWidth = 0, aWidth = 0;
    std::string hName, aName;
    measure("Helvetica", &h, &hWidth, &hName);
    measure("Arial", &a, &aWidth, &aName);
    EXPECT_EQ(h.tmAscent, a.tmAscent);
    EXPECT_EQ(h.tmDescent, a.tmDescent);
    EXPECT_EQ(hWidth, aWidth);
    EXPECT_EQ(hName, "Helvetica") << "the name asked for, as GetTextFaceA reports it";
}

TEST(FontEnumeration, ListsWindowsFamiliesAndReturnsTheLastCallbackValue)
{
    HDC screen = GetDC(nullptr);
    int ret = 0;
    EnumLog all = enumerate(screen, "", DEFAULT_CHARSET, &ret);
    EXPECT_EQ(ret, 7);
    for (const char *face : {"Arial", "Times New Roman", "Courier New", "Courier", "Helvetica",
                             "Microsoft Sans Serif", "Times"}) {
        auto it = std::find_if(all.items.begin(), all.items.end(),
                               [&](const Enumerated &e) { return e.face == face; });
        ASSERT_NE(it, all.items.end()) << face << " not enumerated";
        EXPECT_EQ(it->type, static_cast<DWORD>(TRUETYPE_FONTTYPE)) << face;
        EXPECT_EQ(it->lf.lfCharSet, ANSI_CHARSET) << face;
        EXPECT_EQ(std::count_if(all.items.begin(), all.items.end(),
                                [&](const Enumerated &e) { return e.face == face; }),
                  1)
            << face << " once per family without a face name";
    }

    EnumLog styles = enumerate(screen, "aRIAL", ANSI_CHARSET, &ret);
    ASSERT_EQ(styles.items.size(), 4u) << "each style of a named family";
    EXPECT_EQ(styles.items[1].style, "Bold");
    EXPECT_EQ(styles.items[1].lf.lfWeight, FW_BOLD);
    EXPECT_TRUE(styles.items[1].ntm.ntmTm.ntmFlags & NTM_BOLD);
    EXPECT_EQ(styles.items[0].ntm.ntmTm.ntmSizeEM, 2048u);

    SetLastError(kSentinel);
    EnumLog none = enumerate(screen, "NoSuchFamily", DEFAULT_CHARSET, &ret);
    EXPECT_EQ(ret, 1) << "nothing enumerated";
    EXPECT_TRUE(none.items.empty());
    EXPECT_EQ(GetLastError(), kSentinel);

    EnumLog stopped = enumerate(screen, "", DEFAULT_CHARSET, &ret, 0);
    EXPECT_EQ(ret, 0);
    EXPECT_EQ(stopped.items.size(), 1u) << "a callback returning 0 stops";
    ReleaseDC(nullptr, screen);
}

TEST(FontEnumeration, CharacterSetsSeparateTextFromSymbolFamilies)
{
    HDC screen = GetDC(nullptr);
    int ret = 0;
    auto has = [](const EnumLog &log, const char *face) {
        return std::any_of(log.items.begin(), log.items.end(),
                           [&](const Enumerated &e) { return e.face == face; });
    };
    EnumLog symbol = enumerate(screen, "", SYMBOL_CHARSET, &ret);
    EXPECT_TRUE(has(symbol, "Wingdings"));
    EXPECT_TRUE(has(symbol, "Symbol"));
    EXPECT_FALSE(has(symbol, "Arial"));
    EnumLog ansi = enumerate(screen, "", ANSI_CHARSET, &ret);
    EXPECT_TRUE(has(ansi, "Arial"));
    EXPECT_FALSE(has(ansi, "Wingdings"));
    ReleaseDC(nullptr, screen);
}

TEST(DeviceFonts, ArePrinterResidentListedFirstAndDrawAtTheirPitch)
{
    DeviceDescription d = letter600();
    d.deviceFonts = {{"Utility 10cpi", "Courier New", 10, 12, FIXED_PITCH | FF_MODERN},
                     {"Utility 17cpi", "Courier New", 17, 12, FIXED_PITCH | FF_MODERN}};
    auto printer = makePrinter(d);
    int ret = 0;
    EnumLog all = enumerate(printer->dc, "", ANSI_CHARSET, &ret);
    ASSERT_GE(all.items.size(), 3u);
    EXPECT_EQ(all.items[0].face, "Utility 10cpi");
    EXPECT_EQ(all.items[0].type, static_cast<DWORD>(DEVICE_FONTTYPE));
    EXPECT_EQ(all.items[1].face, "Utility 17cpi");
    EXPECT_EQ(all.items[2].type, static_cast<DWORD>(TRUETYPE_FONTTYPE));

    /* What a renderer does: copy the enumerated LOGFONTA, set the height. */
    LOGFONTA lf = all.items[0].lf;
    lf.lfHeight = -100;
    Selected utility(printer->dc, CreateFontIndirectA(&lf));
    EXPECT_EQ(utility.face(), "Utility 10cpi");
    EXPECT_EQ(utility.extent("iiWW"), 4 * 60) << "10 characters per inch at 600 dpi";
    EXPECT_TRUE(utility.metrics().tmPitchAndFamily & TMPF_DEVICE);
    lf.lfOutPrecision = OUT_TT_ONLY_PRECIS;
    EXPECT_EQ(Selected(printer->dc, CreateFontIndirectA(&lf)).face(), "Courier New")
        << "outline fonts only: the device font is not chosen";

    HDC screen = GetDC(nullptr); /* no such font there: mapped like any unknown face */
    HFONT elsewhere = CreateFontIndirectA(&lf);
    HGDIOBJ old = SelectObject(screen, elsewhere);
    char face[LF_FACESIZE];
    GetTextFaceA(screen, sizeof face, face);
    EXPECT_STREQ(face, "Courier New");
    SelectObject(screen, old);
    DeleteObject(elsewhere);
    ReleaseDC(nullptr, screen);
}

TEST(DeviceFonts, PrefixSearchFindsCourierWhenTheNumberedFaceIsMissing)
{
    /* The lookup renderers do: the first family whose name begins with the
     * wanted face, then "Courier" when "Courier 10" is not there. */
    auto printer = makePrinter();
    auto find = [&](const char *wanted) -> std::string {
        int ret = 0;
        EnumLog all = enumerate(printer->dc, "", ANSI_CHARSET, &ret);
        for (const auto &e : all.items)
            if (e.face.compare(0, std::strlen(wanted), wanted) == 0)
                return e.face;
        return "";
    };
    EXPECT_EQ(find("Courier 10"), "");
    std::string courier = find("Courier");
    ASSERT_FALSE(courier.empty());
    Selected s(printer->dc, makeFont(courier.c_str(), -1000));
    EXPECT_EQ(s.extent("M"), 600);
}
