/*
 * PDF documents read back with poppler's pdftotext and pdfinfo: the text,
 * where each word sits (to a device unit of where the record says it was
 * drawn), the page count, page sizes and orientation.
 */
#include "gdi_test_util.h"

#include <regex>

using namespace gditest;

namespace {

struct Word {
    double xMin, yMin, xMax, yMax; /* points */
    std::string text;
    int page;
};

std::vector<Word> readWords(const std::string &pdf)
{
    std::string xml =
        RunCommand(std::string(WINPORT_PDFTOTEXT) + " -bbox '" + pdf + "' - 2>/dev/null");
    std::vector<Word> words;
    int page = 0;
    std::regex pageRe("<page ");
    std::regex wordRe("<word xMin=\"([0-9.]+)\" yMin=\"([0-9.]+)\" xMax=\"([0-9.]+)\" "
                      "yMax=\"([0-9.]+)\">([^<]*)</word>");
    std::istringstream lines(xml);
    for (std::string line; std::getline(lines, line);) {
        std::smatch m;
        if (std::regex_search(line, pageRe))
            page++;
        else if (std::regex_search(line, m, wordRe))
            words.push_back(
                {std::stod(m[1]), std::stod(m[2]), std::stod(m[3]), std::stod(m[4]), m[5], page});
    }
    return words;
}

const Word *findWord(const std::vector<Word> &words, const std::string &text)
{
    for (const Word &w : words)
        if (w.text == text)
            return &w;
    return nullptr;
}

class PdfReadback : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (std::string(WINPORT_PDFTOTEXT).empty())
            GTEST_SKIP() << "pdftotext (poppler-utils) is not installed";
        path_ = dir_.path() + "/doc.pdf";
    }
    ScratchDir dir_;
    std::string path_;
};

} // namespace

TEST_F(PdfReadback, WordsSitWhereTheRecordSaysOnPagesOfTheRightSize)
{
    DeviceDescription d = letter600();
    d.marginLeft = d.marginTop = d.marginRight = d.marginBottom = 150;
    HDC dc = CreatePrinterDC(d, std::make_shared<PdfFileSink>(path_));
    SetRecording(dc, true);
    HFONT font = makeFont("Arial", -100);
    SelectObject(dc, font);
    TEXTMETRICA tm{};
    GetTextMetricsA(dc, &tm);
    startDoc(dc);
    StartPage(dc);
    SetTextAlign(dc, TA_BASELINE | TA_LEFT);
    TextOutA(dc, 600, 1200, "Baseline", 8);
    SetTextAlign(dc, TA_TOP | TA_RIGHT);
    TextOutA(dc, 4000, 2000, "Righted", 7);
    SetTextAlign(dc, TA_BOTTOM | TA_CENTER);
    TextOutA(dc, 2400, 3000, "Centred", 7);
    EndPage(dc);
    DeviceDescription landscape = d;
    landscape.orientation = Orientation::Landscape;
    ResetPrinterDC(dc, landscape);
    StartPage(dc);
    SetTextAlign(dc, TA_BASELINE | TA_LEFT);
    TextOutA(dc, 5000, 500, "Wide", 4);
    ASSERT_EQ(EndDoc(dc), 1);
    auto texts = Only<RecText>(GetRecord(dc));
    SelectObject(dc, GetStockObject(SYSTEM_FONT));
    DeleteObject(font);
    DeleteDC(dc);

    std::vector<Word> words = readWords(path_);
    ASSERT_EQ(texts.size(), 4u);
    for (const RecText &t : texts) {
        const Word *w = findWord(words, t.utf8);
        ASSERT_NE(w, nullptr) << t.utf8 << " not in the PDF";
        EXPECT_EQ(w->page, t.page) << t.utf8;
        auto dots = [](double pt) { return pt * 600 / 72; };
        const double off = 150; /* printable corner inside the paper, both orientations */
        EXPECT_NEAR(dots(w->xMin) - off, t.origin.x, 1) << t.utf8;
        EXPECT_NEAR(dots(w->xMax) - off, t.origin.x + t.width, 1) << t.utf8;
        EXPECT_NEAR(dots(w->yMin) - off, t.origin.y - tm.tmAscent, 1) << t.utf8;
        EXPECT_NEAR(dots(w->yMax) - off, t.origin.y + tm.tmDescent, 1) << t.utf8;
    }

    std::string info = RunCommand("pdfinfo -f 1 -l 2 '" + path_ + "' 2>/dev/null");
    EXPECT_NE(info.find("Pages:           2"), std::string::npos) << info;
    EXPECT_NE(info.find("Page    1 size:  612 x 792 pts"), std::string::npos) << info;
    EXPECT_NE(info.find("Page    2 size:  792 x 612 pts"), std::string::npos) << "landscape page";
    EXPECT_NE(info.find("Page    2 rot:   0"), std::string::npos) << "turned by size, not rotation";
}

TEST_F(PdfReadback, Windows1252ReadsBackAsUnicodeInTheMappedFonts)
{
    HDC dc = CreatePrinterDC(letter600(), std::make_shared<PdfFileSink>(path_));
    startDoc(dc);
    StartPage(dc);
    SetTextAlign(dc, TA_BASELINE);
    const char *faces[] = {"Arial", "Times New Roman", "Courier New"};
    const char drawn[] = "\x95 Bullet \x80 100 caf\xe9";
    int y = 600;
    for (const char *face : faces) {
        HFONT font = makeFont(face, -80);
        HGDIOBJ old = SelectObject(dc, font);
        TextOutA(dc, 300, y, drawn, static_cast<int>(sizeof drawn - 1));
        SelectObject(dc, old);
        DeleteObject(font);
        y += 200;
    }
    EndDoc(dc);
    DeleteDC(dc);
    std::string text =
        RunCommand(std::string(WINPORT_PDFTOTEXT) + " '" + path_ + "' - 2>/dev/null");
    std::size_t at = 0, count = 0;
    const std::string line = "\u2022 Bullet \u20AC 100 caf\u00E9";
    while ((at = text.find(line, at)) != std::string::npos) {
        count++;
        at += line.size();
    }
    EXPECT_EQ(count, 3u) << text;
    std::string fonts = RunCommand("pdffonts '" + path_ + "' 2>/dev/null");
    for (const char *family : {"LiberationSans", "LiberationSerif", "LiberationMono"})
        EXPECT_NE(fonts.find(family), std::string::npos) << family << " not embedded\n" << fonts;
}
