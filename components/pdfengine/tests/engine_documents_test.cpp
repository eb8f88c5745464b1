/*
 * Whole documents: joining part files, separating pages, normalising a
 * damaged file, each checked with qpdf --check and page counts; and error
 * texts that stay inside the caller's buffer.
 */
#include "component_fixture.h"

#include <kelpdftron.h>

#include <cstring>
#include <filesystem>

namespace {

class EngineDocuments : public ComponentTest {
protected:
    void SetUp() override
    {
        engine_ = Install(KELPDFTRON_DLL_NAME, KELPDFTRON_FOLDER);
        ASSERT_NE(engine_, nullptr);
        join_ = Bind<decltype(&ConcatenateKelPdfTronDocumentRange)>(
            engine_, "ConcatenateKelPdfTronDocumentRange");
        separate_ =
            Bind<decltype(&SeparateKelPdfTronDocument)>(engine_, "SeparateKelPdfTronDocument");
        normalize_ =
            Bind<decltype(&NormalizeKelPdfTronDocument)>(engine_, "NormalizeKelPdfTronDocument");
        std::filesystem::create_directories(root.driveC("conv"));
    }
    void TearDown() override { FreeLibrary(engine_); }

    HMODULE engine_ = nullptr;
    decltype(&ConcatenateKelPdfTronDocumentRange) join_ = nullptr;
    decltype(&SeparateKelPdfTronDocument) separate_ = nullptr;
    decltype(&NormalizeKelPdfTronDocument) normalize_ = nullptr;
    char error_[KELPDFTRON_ERROR_TEXT_SIZE] = "untouched";
};

} // namespace

TEST_F(EngineDocuments, PartsAreJoinedInNumberOrder)
{
    const int pages[] = {2, 1, 3};
    for (int n = 1; n <= 3; n++)
        samples::WriteFile(root.driveC("conv/Part" + std::to_string(n) + "Img42.pdf"),
                           samples::NumberedPdf(pages[n - 1], "part" + std::to_string(n)));
    ASSERT_NE(0, join_("C:\\conv\\Img42.pdf", "C:\\conv", "Part", "Img42.pdf", 3, error_))
        << error_;
    EXPECT_STREQ("", error_);
    std::string joined = root.driveC("conv/Img42.pdf");
    EXPECT_EQ("", QpdfCheck(joined));
    EXPECT_EQ(6, PdfPages(joined));
    std::string text = PdfToText(joined);
    std::size_t a = text.find("Page 2 of part1"), b = text.find("Page 1 of part2"),
                c = text.find("Page 3 of part3");
    ASSERT_NE(std::string::npos, c) << text;
    EXPECT_LT(a, b);
    EXPECT_LT(b, c);
}

TEST_F(EngineDocuments, AMissingPartFailsTheJoinAndNamesIt)
{
    samples::WriteFile(root.driveC("conv/Part1Img7.pdf"), samples::NumberedPdf(1, "one"));
    samples::WriteFile(root.driveC("conv/Img7.pdf"), "earlier");
    EXPECT_EQ(0, join_("C:\\conv\\Img7.pdf", "C:\\conv", "Part", "Img7.pdf", 2, error_));
    EXPECT_NE(nullptr, std::strstr(error_, "Part2Img7.pdf")) << error_;
    EXPECT_EQ("earlier", samples::ReadFile(root.driveC("conv/Img7.pdf"))) << "output untouched";
    EXPECT_EQ(0, join_("C:\\conv\\Img7.pdf", "C:\\conv", "Part", "Img7.pdf", 0, error_));
}

TEST_F(EngineDocuments, PagesAreSeparatedBesideTheFileEvenInAFolderWithADot)
{
    std::filesystem::create_directories(root.driveC("conv.d"));
    samples::WriteFile(root.driveC("conv.d/Img9.pdf"), samples::NumberedPdf(3, "whole"));
    ASSERT_EQ(3, separate_("C:\\conv.d\\Img9.pdf", error_)) << error_;
    for (int n = 1; n <= 3; n++) {
        std::string page = root.driveC("conv.d/Img9PG" + std::to_string(n) + ".pdf");
        ASSERT_TRUE(std::filesystem::exists(page)) << page;
        EXPECT_EQ("", QpdfCheck(page));
        EXPECT_EQ(1, PdfPages(page));
        EXPECT_NE(std::string::npos,
                  PdfToText(page).find("Page " + std::to_string(n) + " of whole"));
    }
    EXPECT_FALSE(std::filesystem::exists(root.driveC("convPG1.pdf")));
    EXPECT_EQ(0, separate_("C:\\conv.d\\missing.pdf", error_));
    EXPECT_NE(nullptr, std::strstr(error_, "missing.pdf"));
}

TEST_F(EngineDocuments, NormalisingRepairsADamagedCrossReferenceTable)
{
    std::string pdf = samples::NumberedPdf(2, "damaged");
    std::size_t at = pdf.rfind("startxref\n");
    ASSERT_NE(std::string::npos, at);
    pdf = pdf.substr(0, at) + "startxref\n12345\n%%EOF\n"; /* points nowhere */
    samples::WriteFile(root.driveC("conv/damaged.pdf"), pdf);
    ASSERT_NE("", QpdfCheck(root.driveC("conv/damaged.pdf")));

    ASSERT_NE(0, normalize_("C:\\conv\\damaged.pdf", 0, error_)) << error_;
    EXPECT_EQ("", QpdfCheck(root.driveC("conv/damaged.pdf")));
    EXPECT_EQ(2, PdfPages(root.driveC("conv/damaged.pdf")));

    samples::WriteFile(root.driveC("conv/text.pdf"), "plain text, no PDF at all");
    EXPECT_EQ(0, normalize_("C:\\conv\\text.pdf", 0, error_));
    EXPECT_STRNE("", error_);
    EXPECT_EQ("plain text, no PDF at all", samples::ReadFile(root.driveC("conv/text.pdf")));
}

TEST_F(EngineDocuments, ErrorTextsStayWithinTheirBuffer)
{
    /* A guard after the documented size must survive a very long message. */
    char buffer[KELPDFTRON_ERROR_TEXT_SIZE + 16];
    std::memset(buffer, 'G', sizeof buffer);
    std::string longName = "C:\\conv\\" + std::string(300, 'x') + "\\" + std::string(300, 'y');
    EXPECT_EQ(0, separate_(longName.c_str(), buffer));
    EXPECT_LT(std::strlen(buffer), std::size_t(KELPDFTRON_ERROR_TEXT_SIZE));
    for (std::size_t i = KELPDFTRON_ERROR_TEXT_SIZE; i < sizeof buffer; i++)
        EXPECT_EQ('G', buffer[i]);
    EXPECT_EQ(0, normalize_(nullptr, 0, nullptr)) << "no buffer, no crash";
}
