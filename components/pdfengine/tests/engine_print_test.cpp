/*
 * The engine's printing, read back from the printer's PDF: pages drawn as
 * vectors land where their PDF puts them (pdftotext -bbox), a page range,
 * copies, rasterised pages, the heading and footing bands, a landscape page
 * turned onto portrait paper, and PDFs it cannot draw as vectors.
 */
#include "component_fixture.h"

#include <kelpdftron.h>

#include <cmath>

namespace {

class EnginePrint : public ComponentTest {
protected:
    void SetUp() override
    {
        engine_ = Install(KELPDFTRON_DLL_NAME, KELPDFTRON_FOLDER);
        ASSERT_NE(engine_, nullptr);
        print_ = Bind<decltype(&PrintKelPdfTronDocumentBufferOptionHeading)>(
            engine_, "PrintKelPdfTronDocumentBufferOptionHeading");
        AddFilePrinter("Laser", "laser.pdf");
        /* Rasterised pages at 150 dpi keep those tests quick. */
        AddFilePrinter("Draft", "draft.pdf", 150);
    }
    void TearDown() override { FreeLibrary(engine_); }

    /* Prints `pdf` on printer_ as one document; returns the pages the engine
     * reports. */
    int Print(const std::string &pdf, int page = 0, const char *options = "", int heading = 0,
              int footing = 0, const char *headingText = "", const char *footingText = "",
              int copies = 1)
    {
        HDC dc = StartDocument(printer_);
        int pages = print_(dc, nullptr, printer_.c_str(), -1, "sample.pdf",
                           reinterpret_cast<const BYTE *>(pdf.data()), DWORD(pdf.size()), page,
                           copies, options, heading, footing, headingText, footingText);
        EXPECT_GT(EndDoc(dc), 0);
        DeleteDC(dc);
        return pages;
    }

    std::string printer_ = "Laser";
    HMODULE engine_ = nullptr;
    decltype(&PrintKelPdfTronDocumentBufferOptionHeading) print_ = nullptr;
};

samples::Page LetterPage(const std::string &tag)
{
    samples::Page page;
    page.words = {{72, 72, "Top" + tag}, {300, 400, "Middle" + tag}, {450, 740, "Bottom" + tag}};
    return page;
}

} // namespace

TEST_F(EnginePrint, VectorPagesLandWhereTheirPdfPutsThem)
{
    std::string pdf = samples::TextPdf({LetterPage("One"), LetterPage("Two")});
    samples::WriteFile(root.driveC("source.pdf"), pdf);
    ASSERT_EQ(2, Print(pdf));

    ASSERT_EQ(2, PdfPages(Out("laser.pdf")));
    std::string source = PdfToTextBbox(root.driveC("source.pdf"));
    std::string printed = PdfToTextBbox(Out("laser.pdf"));
    for (const char *word : {"TopOne", "MiddleOne", "BottomOne", "TopTwo", "BottomTwo"}) {
        double want[4], got[4];
        ASSERT_TRUE(WordBox(source, word, want)) << word;
        ASSERT_TRUE(WordBox(printed, word, got)) << word << " is no longer text:\n" << printed;
        for (int i = 0; i < 4; i++)
            EXPECT_NEAR(want[i], got[i], 1.0) << word << " coordinate " << i;
    }
    EXPECT_EQ("", QpdfCheck(Out("laser.pdf")));
}

TEST_F(EnginePrint, OnePageOfTheDocumentOrEveryPageTwice)
{
    std::string pdf = samples::TextPdf({LetterPage("One"), LetterPage("Two"), LetterPage("Three")});
    ASSERT_EQ(1, Print(pdf, 2));
    std::string text = PdfToText(Out("laser.pdf"));
    EXPECT_EQ(1, PdfPages(Out("laser.pdf")));
    EXPECT_NE(std::string::npos, text.find("MiddleTwo"));
    EXPECT_EQ(std::string::npos, text.find("MiddleOne"));

    EXPECT_EQ(0, Print(pdf, 4)) << "a page the document does not have";
    EXPECT_EQ(6, Print(pdf, 0, "", 0, 0, "", "", 2));
    EXPECT_EQ(6, PdfPages(Out("laser.pdf")));
}

TEST_F(EnginePrint, TheBuiltInRasterizerPrintsImagesAtTheDevicesResolution)
{
    std::string pdf = samples::TextPdf({LetterPage("One")});
    printer_ = "Draft";
    ASSERT_EQ(1, Print(pdf, 1, "USE_BUILTIN_RASTERIZER"));
    EXPECT_EQ(std::string::npos, PdfToText(Out("draft.pdf")).find("TopOne"));
    std::string images = PdfImages(Out("draft.pdf"));
    /* The whole letter page at 150 dpi, in one band or several. */
    EXPECT_NE(std::string::npos, images.find(" 1275 ")) << images;
    EXPECT_NE(std::string::npos, images.find(" 150   150 ")) << images;
}

TEST_F(EnginePrint, HeadingAndFootingTakeBandsAndThePageShrinksBetweenThem)
{
    std::string pdf = samples::TextPdf({LetterPage("One"), LetterPage("Two")});
    /* The heading in Windows-1252, as the server sends it. */
    ASSERT_EQ(2, Print(pdf, 0, "", KELPDF_BAND_CENTER, KELPDF_BAND_PAGE_NUMBER,
                       "Chart of Zo\xEB M\xFCller", "Visit"));
    std::string bbox = PdfToTextBbox(Out("laser.pdf"));
    std::string text = PdfToText(Out("laser.pdf"));
    EXPECT_NE(std::string::npos, text.find("Chart of Zoë Müller"));
    EXPECT_NE(std::string::npos, text.find("Page 1 of 2")) << text;
    EXPECT_NE(std::string::npos, text.find("Page 2 of 2"));

    double heading[4], footing[4], top[4], bottom[4];
    ASSERT_TRUE(WordBox(bbox, "Chart", heading));
    ASSERT_TRUE(WordBox(bbox, "Visit", footing));
    ASSERT_TRUE(WordBox(bbox, "TopOne", top));
    ASSERT_TRUE(WordBox(bbox, "BottomOne", bottom));
    EXPECT_LT(heading[3], 18.5) << "heading inside its 18-point band";
    EXPECT_GT(footing[1], 792 - 18.5) << "footing inside its band";
    /* Centred text starts well right of the left edge, left of the middle. */
    EXPECT_GT(heading[0], 200);
    EXPECT_LT(heading[0], 306);
    /* The page keeps its proportions, shrunk to 756/792 of its size and
     * centred: the word at (72, 72) moves to about (85, 87). */
    double scale = (792.0 - 36) / 792;
    EXPECT_NEAR(top[0], (612 - 612 * scale) / 2 + 72 * scale, 1.5);
    EXPECT_GT(top[1], 18);
    EXPECT_LT(bottom[3], 792 - 18);
}

TEST_F(EnginePrint, ALandscapePageIsTurnedOntoPortraitPaper)
{
    samples::Page landscape;
    landscape.width = 792;
    landscape.height = 612;
    landscape.words = {{72, 72, "Corner"}};
    ASSERT_EQ(1, Print(samples::TextPdf({landscape})));
    std::string info = RunCommand("pdfinfo '" + Out("laser.pdf") + "'");
    EXPECT_NE(std::string::npos, info.find("612 x 792")) << info;
    /* Turned a quarter counter-clockwise: the page's top-left corner is
     * now the paper's top-right corner. */
    double box[4];
    ASSERT_TRUE(WordBox(PdfToTextBbox(Out("laser.pdf")), "Corner", box));
    EXPECT_GT(box[0], 612 - 100);
    EXPECT_LT(box[1], 140);
}

TEST_F(EnginePrint, ADocumentWithType3FontsIsRasterised)
{
    printer_ = "Draft";
    ASSERT_EQ(1, Print(samples::Type3Pdf()));
    std::string images = PdfImages(Out("draft.pdf"));
    EXPECT_NE(std::string::npos, images.find(" 150   150 ")) << images;
}

TEST_F(EnginePrint, NoPdfPrintsNothing)
{
    EXPECT_EQ(0, Print("%PDF-1.4 this is not a document"));
    std::string empty;
    HDC dc = StartDocument("Laser");
    EXPECT_EQ(0, print_(dc, nullptr, "Laser", -1, "x", nullptr, 0, 0, 1, "", 0, 0, "", ""));
    AbortDoc(dc);
    DeleteDC(dc);
}
