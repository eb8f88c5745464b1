/*
 * Cached PDFs the PDF engine cannot print: with no engine, or with one
 * that fails them, the real office library prints them on the printer by
 * name as documents of their own, read back from a folder printer.
 */
#include <algorithm>

#include "documents_fixture.h"

namespace {

class PdfOfficeFallbackTest : public DocumentsTest {
protected:
    void SetUp() override
    {
        DocumentsTest::SetUp();
        /* Neither the engine nor the converter: only the office library. */
        std::filesystem::remove(root_.driveC("novarc/bin/PdfTron/kelpdftron.dll"));
        std::filesystem::remove(root_.driveC("Windows/system32/cdintf550.dll"));
        ASSERT_TRUE(winport_test_install_module("KelWord.dll", "C:\\Windows\\system32"));
        HKEY key;
        RegCreateKeyExA(HKEY_LOCAL_MACHINE,
                        "SYSTEM\\CurrentControlSet\\Control\\Print\\Printers\\Desk PDF", 0, NULL, 0,
                        KEY_ALL_ACCESS, NULL, &key, NULL);
        const char port[] = "FOLDER:C:\\out";
        const char papers[] = "1:2159x2794:Letter";
        RegSetValueExA(key, "Port", 0, REG_SZ, (const BYTE *)port, sizeof(port));
        RegSetValueExA(key, "Papers", 0, REG_SZ, (const BYTE *)papers, sizeof(papers));
        RegCloseKey(key);
        std::filesystem::create_directories(root_.driveC("out"));
        std::filesystem::create_directories(root_.driveC("novarc/RecentScans"));
        report_ = samples::TextPdf({{612, 792, {{72, 100, "Potassium 4.1 mmol/L"}}},
                                    {612, 792, {{72, 100, "Reviewed by the laboratory"}}}});
    }
    /* The PDFs the printer's folder holds, by name. */
    std::vector<std::string> Printed()
    {
        std::vector<std::string> pdfs;
        for (const auto &entry : std::filesystem::directory_iterator(root_.driveC("out")))
            pdfs.push_back(entry.path().string());
        std::sort(pdfs.begin(), pdfs.end());
        return pdfs;
    }
    /* Places the engine stand-in that lacks the print function. */
    void PlaceFailingEngine()
    {
        const std::string source = std::string(FAKE_PDF_MODULE_DIR) + "/libfake_kelpdftron.so";
        std::filesystem::copy_file(source, root_.driveC("novarc/bin/PdfTron/libkelpdftron.so"),
                                   std::filesystem::copy_options::overwrite_existing);
        std::filesystem::copy_file(source, root_.driveC("novarc/bin/PdfTron/kelpdftron.dll"));
    }
    std::string report_;
};

TEST_F(PdfOfficeFallbackTest, WithoutTheEngineTheOfficeLibraryPrintsTheWholeFile)
{
    const std::string cached = root_.driveC("novarc/RecentScans/report.pdf");
    samples::WriteFile(cached, report_);
    ASSERT_EQ(Open("Desk PDF"), 1);
    EXPECT_EQ(PrintNovarcPdfDocument(session_.get(), "c:\\novarc\\RecentScans\\report.pdf", 2, 0),
              1);
    const std::vector<std::string> pdfs = Printed();
    ASSERT_EQ(pdfs.size(), 1u) << "the office library's own document";
    EXPECT_EQ(PdfPages(pdfs[0]), 2) << "the library is asked for the whole file";
    const std::string text = PdfToText(pdfs[0]);
    EXPECT_NE(text.find("Potassium 4.1 mmol/L"), std::string::npos) << text;
    EXPECT_NE(text.find("Reviewed by the laboratory"), std::string::npos) << text;
    const std::string log = Log();
    EXPECT_NE(log.find("Success!?"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(cached)) << "a plainly stored file goes once printed";
    EXPECT_FALSE(session_->m_Printer.m_bPrinted) << "the job's own document is still empty";
}

TEST_F(PdfOfficeFallbackTest, AWholeFileTheEngineFailsGoesToTheOfficeLibraryAndTheCacheStays)
{
    PlaceFailingEngine();
    ASSERT_EQ(WriteEncipheredFile("c:\\novarc\\RecentScans\\report.pdf.x2m", report_.data(),
                                  (DWORD)report_.size()),
              1);
    ASSERT_EQ(Open("Desk PDF"), 1);
    ASSERT_TRUE(KelPdfTronLoaded());

    /* One page the engine does not print may not be there at all: it is
     * not handed on (the library would print every page). */
    EXPECT_EQ(
        PrintNovarcPdfDocument(session_.get(), "c:\\novarc\\RecentScans\\report.pdf.x2m", 1, 0), 1);
    EXPECT_TRUE(Printed().empty());
    EXPECT_FALSE(session_->m_Printer.m_bPrinted) << "nothing was drawn on the job's document";

    EXPECT_EQ(
        PrintNovarcPdfDocument(session_.get(), "c:\\novarc\\RecentScans\\report.pdf.x2m", 0, 0), 1);
    const std::vector<std::string> pdfs = Printed();
    ASSERT_EQ(pdfs.size(), 1u);
    EXPECT_EQ(PdfPages(pdfs[0]), 2);
    EXPECT_NE(PdfToText(pdfs[0]).find("Potassium 4.1 mmol/L"), std::string::npos);
    EXPECT_NE(Log().find("engine printed nothing, printing without it"), std::string::npos);
    /* The plain copy beside the cache went; the enciphered file stays, as
     * it does after the engine printed it. */
    EXPECT_FALSE(std::filesystem::exists(root_.driveC("novarc/RecentScans/report.pdf")));
    EXPECT_TRUE(std::filesystem::exists(root_.driveC("novarc/RecentScans/report.pdf.x2m")));
}

} // namespace
