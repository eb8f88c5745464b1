/*
 * Prescriptions and optical forms end to end: novarc-send plays the server
 * and sends each of the nine form messages from its sample payload file in
 * tools/prescriptions to a real Novarcprint, which prints on the embedded
 * "Workstation PDF" printer of a scratch root.  pdftotext -bbox reads the
 * words back, and the key fields must stand where the forms put them,
 * within half a point.
 *
 * Expected places are worked out here from the forms' inches, points and
 * device-unit offsets at the printer's 600 dpi; text heights come from
 * fonts this test makes.  A word's box ends below its base line by the
 * font's descent, which gives the base line back.
 */
#include <cmath>
#include <cstdio>
#include <cstring>
#include <regex>

#include "client_process.h"

namespace {

struct Word {
    double xMin, yMin, xMax, yMax;
    std::string text;
};

/* Prints one sample at (300, 300) in 1/600 inch; the PDF's words. */
std::vector<Word> PrintSample(const ScratchRoot &root, const std::string &sample, int *pages)
{
    int status = 0;
    const std::string out = RunCommand(
        "WINPORT_ROOT=" + ShellQuoted(root.path()) +
            " WINPORT_TIME_SCALE=" + std::to_string(kTimeScale) +
            " " NOVARC_SEND_EXE " --spawn " NOVARCPRINT_EXE
            " --wait 2000 --printer 'Workstation PDF' --position 300,300 --prescription " +
            ShellQuoted(std::string(SAMPLES_DIR "/") + sample) + " 2>&1",
        &status);
    EXPECT_EQ(status, 0) << out;
    EXPECT_NE(out.find("printer-open reply status 1"), std::string::npos) << out;
    std::string pdf;
    for (const auto &entry : std::filesystem::directory_iterator(root.driveC("novarc/printed")))
        if (entry.path().extension() == ".pdf")
            pdf = entry.path().string();
    EXPECT_FALSE(pdf.empty()) << out;
    const std::string info = RunCommand("pdfinfo " + ShellQuoted(pdf), &status);
    const size_t at = info.find("\nPages:");
    *pages = at == std::string::npos ? -1 : atoi(info.c_str() + at + 7);
    const std::string xml = RunCommand("pdftotext -bbox " + ShellQuoted(pdf) + " -", &status);
    std::vector<Word> words;
    static const std::regex word("<word xMin=\"([0-9.]+)\" yMin=\"([0-9.]+)\" xMax=\"([0-9.]+)\" "
                                 "yMax=\"([0-9.]+)\">([^<]*)</word>");
    for (std::sregex_iterator it(xml.begin(), xml.end(), word), end; it != end; ++it)
        words.push_back({std::stod((*it)[1]), std::stod((*it)[2]), std::stod((*it)[3]),
                         std::stod((*it)[4]), (*it)[5]});
    return words;
}

/* A font as the forms ask for it.  height: the text height the forms step
 * lines by (measured on the screen DC: heights in device units do not
 * depend on the DC).  descent: how far below the base line pdftotext ends a
 * word's box, the descender the PDF's font descriptor carries (the font
 * file's own: Liberation Sans, which the sans faces are drawn with, 434 of
 * 2048; Nimbus Mono PS, which draws Courier, 397 of 1000), in device units. */
struct FontSize {
    int height;
    double descent;
};

FontSize Measure(const char *face, double points, int weight = 400, int dpi = 600)
{
    const int em = MulDiv((int)(points * 1000), dpi, 72000);
    HDC dc = GetDC(NULL);
    HFONT font = CreateFontA(-em, 0, 0, 0, weight, 0, 0, 0, 0, 0, 0, 0, 0, face);
    HGDIOBJ old = SelectObject(dc, font);
    SIZE size{};
    GetTextExtentPoint32A(dc, " ", 1, &size);
    SelectObject(dc, old);
    DeleteObject(font);
    ReleaseDC(NULL, dc);
    const double descender = strcmp(face, "Courier") == 0 ? 397.0 / 1000 : 434.0 / 2048;
    return {(int)size.cy, em * descender};
}

int Width(const char *face, double points, int weight, const std::string &text)
{
    HDC dc = GetDC(NULL);
    HFONT font = CreateFontA(-MulDiv((int)(points * 1000), 600, 72000), 0, 0, 0, weight, 0, 0, 0, 0,
                             0, 0, 0, 0, face);
    HGDIOBJ old = SelectObject(dc, font);
    SIZE size{};
    GetTextExtentPoint32A(dc, text.c_str(), (int)text.size(), &size);
    SelectObject(dc, old);
    DeleteObject(font);
    ReleaseDC(NULL, dc);
    return size.cx;
}

class FormsEndToEnd : public ::testing::Test {
protected:
    static constexpr int kDpi = 600;
    static constexpr int x0 = 300, y0 = 300; /* --position 300,300 at 600 dpi */
    static int In(double inches) { return (int)(inches * kDpi + 1e-6); }

    void Print(const std::string &sample)
    {
        int pages = 0;
        words_ = PrintSample(root_, sample, &pages);
        EXPECT_EQ(pages, 1) << sample;
        /* The printable area's corner, from the printer the client used. */
        HDC dc = CreateDCA(NULL, "Workstation PDF", NULL, NULL);
        ASSERT_NE(dc, (HDC)NULL);
        ASSERT_EQ(GetDeviceCaps(dc, LOGPIXELSX), kDpi);
        offsetX_ = GetDeviceCaps(dc, PHYSICALOFFSETX);
        offsetY_ = GetDeviceCaps(dc, PHYSICALOFFSETY);
        DeleteDC(dc);
    }
    /* The word starts at device x and its base line is at device y. */
    void ExpectWord(const std::string &text, int x, int y, const FontSize &font, int nth = 0)
    {
        const Word *found = NULL;
        for (const Word &w : words_)
            if (w.text == text && nth-- == 0) {
                found = &w;
                break;
            }
        ASSERT_NE(found, (const Word *)NULL) << "\"" << text << "\" not in the PDF";
        const double xPt = (offsetX_ + x) * 72.0 / kDpi;
        const double yPt = (offsetY_ + y) * 72.0 / kDpi;
        const double baseline = found->yMax - font.descent * 72.0 / kDpi;
        EXPECT_NEAR(found->xMin, xPt, 0.5) << text;
        EXPECT_NEAR(baseline, yPt, 0.5) << text;
    }
    bool Has(const std::string &text) const
    {
        for (const Word &w : words_)
            if (w.text == text)
                return true;
        return false;
    }

    ScratchRoot root_;
    std::vector<Word> words_;
    int offsetX_ = 0, offsetY_ = 0;
    const FontSize body9 = Measure("Microsoft Sans Serif", 9);
    const FontSize letter10 = Measure("Microsoft Sans Serif", 10);
    const FontSize drug12 = Measure("Microsoft Sans Serif", 12, 700);
    const FontSize label8 = Measure("Helvetica", 8, 500);
};

TEST_F(FormsEndToEnd, GeneralPad)
{
    Print("general_pad.payload");
    const int L = x0 + In(0.42), hB = body9.height;
    const int yPrescriber = y0 + letter10.height + 2 * hB;
    ExpectWord("Amara", L, yPrescriber, body9);
    ExpectWord("DEA", L, yPrescriber + hB, body9);
    EXPECT_TRUE(Has("1548306221")) << "the NPI on the DEA line";
    ExpectWord("LIC", L, yPrescriber + 2 * hB, body9);
    ExpectWord("HALVORSEN,", L, yPrescriber + 8 * hB, body9);
    ExpectWord("Lisinopril", L, y0 + In(2.4) + 28 + 100 / 2, drug12);
    ExpectWord("Take", L, y0 + In(2.7) + 28, body9);
}

TEST_F(FormsEndToEnd, PennsylvaniaPad)
{
    Print("pennsylvania.payload");
    const int L = x0 + In(0.42), hB = body9.height;
    const int yPrescriber = y0 + letter10.height + 2 * hB;
    ExpectWord("Amara", L, yPrescriber, body9);
    ExpectWord("DEA", L, yPrescriber + hB, body9);
    ExpectWord("HALVORSEN,", L, yPrescriber + 8 * hB, body9);
    const int yDrug = y0 + In(2.5) + 28 + 100 / 2;
    ExpectWord("Atorvastatin", L, yDrug, drug12);
    ExpectWord("Take", L, yDrug + 2 * drug12.height, body9);
}

/* The NJ blanks: data only, with the samples' offsets (0.02 down, 0.01
 * left: 20 and -10 device units at any resolution). */
TEST_F(FormsEndToEnd, NjBlanks)
{
    const int xo = -10, yo = 20, h = label8.height;
    const FontSize drug10 = Measure("Microsoft Sans Serif", 10);
    Print("nj.payload");
    ExpectWord("HALVORSEN,", x0 + In(0.35) + xo, y0 + In(2.4) - 4 * h + yo, label8);
    ExpectWord("Metformin", x0 + In(0.05) + xo, y0 + In(2.8) + 28 + yo, drug10);
    ExpectWord("Take", x0 + In(0.42) + xo, y0 + In(3.1) + 28 + yo, label8);
    EXPECT_FALSE(Has("Amara")) << "no prescriber block on a blank";
}

TEST_F(FormsEndToEnd, NjBlankForNursePractitioners)
{
    const int xo = -10, yo = 20, h = label8.height;
    const FontSize drug10 = Measure("Microsoft Sans Serif", 10);
    Print("nj_np.payload");
    ExpectWord("HALVORSEN,", x0 + In(0.25) + xo, y0 + In(2.64) + 28 + yo, label8);
    ExpectWord("Metformin", x0 + In(0.5) + xo, y0 + In(2.8) + 28 + 3 * h + yo, drug10);
    ExpectWord("Take", x0 + In(0.42) + xo, y0 + In(3.17) + 28 + 3 * drug10.height + yo, label8);
}

TEST_F(FormsEndToEnd, NjBlankForPhysicianAssistants)
{
    const int xo = -10, yo = 20, h = label8.height;
    const FontSize drug10 = Measure("Microsoft Sans Serif", 10);
    Print("nj_pa.payload");
    ExpectWord("HALVORSEN,", x0 + In(0.27) + xo, y0 + In(2.55) + 28 + yo, label8);
    ExpectWord("Metformin", x0 + In(0.5) + xo, y0 + In(2.67) + 28 + 3 * h + yo, drug10);
    ExpectWord("Take", x0 + In(0.42) + xo, y0 + In(3.17) + 28 + 3 * drug10.height + yo, label8);
}

/* The NY stocks: 8-point body, 9-point bold letterhead 3 (or 1.5) of its
 * heights below the copy line, Rx symbol 80 (or 25) units below 2.4 inches. */
class NyStockEndToEnd : public FormsEndToEnd {
protected:
    void Check(const char *sample, double letterheadHeights, int letterheadAdd, int rxAdd)
    {
        const FontSize body8 = Measure("Microsoft Sans Serif", 8);
        const FontSize letter9 = Measure("Microsoft Sans Serif", 9, 700);
        const int L = x0 + In(0.42), h = body8.height, hL = letter9.height;
        Print(sample);
        const int yLetterhead = y0 + h + (int)(letterheadHeights * hL) + letterheadAdd;
        ExpectWord("HUDSON", L, yLetterhead, letter9);
        const int yPrescriber = yLetterhead + 2 * hL;
        ExpectWord("Amara", L, yPrescriber, body8);
        ExpectWord("DEA", L, yPrescriber + h, body8);
        ExpectWord("HALVORSEN,", L, yPrescriber + 8 * h, body8);
        const int yDrug = y0 + In(2.4) + rxAdd + 100;
        ExpectWord("Amoxicillin", L, yDrug, drug12);
        ExpectWord("Take", L, yDrug + drug12.height + h, body8);
    }
};

TEST_F(NyStockEndToEnd, NyOfficialStock)
{
    Check("ny_2006.payload", 3, 15, 80);
}

TEST_F(NyStockEndToEnd, NyOfficialStockNonType30)
{
    Check("ny_2006_non_type_30.payload", 1.5, 0, 25);
}

/* The optical forms: the patient and the lens values, centred in their
 * columns. */
TEST_F(FormsEndToEnd, EyePrescriptionSingleVision)
{
    const FontSize value = Measure("Courier", 8, 500);
    Print("eye_single_vision.payload");
    ExpectWord("Mirela", x0, y0 + In(0.2) + Measure("Microsoft Sans Serif", 11).height,
               Measure("Microsoft Sans Serif", 10, 700));
    ExpectWord("NGUYEN,", x0 + In(0.8), y0 + In(1.12), value);
    auto centred = [&](double from, double to, const char *text) {
        return x0 + In(from) + (In(to) - In(from) - Width("Courier", 8, 500, text)) / 2;
    };
    ExpectWord("-2.25", centred(0.512, 1.31, "-2.25"), y0 + In(2.015), value);
    ExpectWord("BD", centred(3.7, 4.3, "BD"), y0 + In(2.265), value);
    ExpectWord("+1.25", centred(4.3, 5.0, "+1.25"), y0 + In(2.015), value);
}

TEST_F(FormsEndToEnd, EyePrescriptionDistanceAndNear)
{
    const FontSize value = Measure("Courier", 8, 500);
    Print("eye_distance_near.payload");
    ExpectWord("NGUYEN,", x0 + In(0.8), y0 + In(1.12), value);
    auto centred = [&](double from, double to, const char *text) {
        return x0 + In(from) + (In(to) - In(from) - Width("Courier", 8, 500, text)) / 2;
    };
    ExpectWord("-2.25", centred(1.2, 2.24, "-2.25"), y0 + In(2.015), value);
    ExpectWord("-1.00", centred(1.2, 2.24, "-1.00"), y0 + In(2.515), value);
    ExpectWord("175", centred(3.3125, 3.9375, "175"), y0 + In(2.765), value, 1);
}

TEST_F(FormsEndToEnd, ContactLens)
{
    const FontSize value = Measure("Courier", 8, 500);
    Print("contact_lens.payload");
    ExpectWord("NGUYEN,", x0 + In(0.8), y0 + In(1.32), value);
    auto centred = [&](double from, double to, const char *text) {
        return x0 + In(from) + (In(to) - In(from) - Width("Courier", 8, 500, text)) / 2;
    };
    ExpectWord("Soft", centred(0.28, 2.08, "Soft toric"), y0 + In(2.215), value);
    ExpectWord("8.6", centred(2.08, 2.88, "8.6"), y0 + In(2.465), value, 1);
    ExpectWord("-2.00", centred(3.505, 4.405, "-2.00"), y0 + In(2.465), value);
    /* The expiry as sent (pdftotext joins it to its label, which it touches). */
    EXPECT_TRUE(Has("Exp00/00/00"));
    EXPECT_FALSE(Has("N/A"));
}

} // namespace
