/*
 * A Word file printed on the converter printer through the registered
 * headless office program (the real "soffice.exe"): the job's part file
 * receives the document on letter pages whatever paper the job's mode
 * gave the converter.  LibreOffice itself is stood in for by a script that
 * "converts" a file which is already a PDF, so this stays fast; the real
 * conversion is the office component's test and the client's heavy one.
 */
#include <sys/stat.h>

#include <cstdlib>
#include <sstream>

#include "documents_fixture.h"
#include "office.h"

namespace {

class OfficeConverterTest : public DocumentsTest {
protected:
    void SetUp() override
    {
        DocumentsTest::SetUp();
        const std::string folder = root_.driveC("novarc/bin/office");
        std::filesystem::create_directories(folder);
        std::filesystem::copy_file(SOFFICE_EXE, folder + "/soffice.exe");
        HKEY key;
        RegCreateKeyExA(HKEY_LOCAL_MACHINE, OPEN_OFFICE_APP_PATH_KEY, 0, NULL, 0, KEY_ALL_ACCESS,
                        NULL, &key, NULL);
        const char value[] = "C:\\novarc\\bin\\office\\soffice.exe";
        RegSetValueExA(key, NULL, 0, REG_SZ, (const BYTE *)value, sizeof(value));
        RegCloseKey(key);
        /* "soffice --convert-to pdf --outdir DIR FILE" copies FILE. */
        const std::string bin = root_.path() + "/bin";
        std::filesystem::create_directories(bin);
        WriteText(bin + "/soffice", "#!/bin/sh\n"
                                    "while [ $# -gt 1 ]; do\n"
                                    "  [ \"$1\" = --outdir ] && out=\"$2\"\n"
                                    "  shift\n"
                                    "done\n"
                                    "mkdir -p \"$out\" && cp \"$1\" \"$out/document.pdf\"\n");
        chmod((bin + "/soffice").c_str(), 0755);
        path_ = std::getenv("PATH") ? std::getenv("PATH") : "/usr/bin:/bin";
        setenv("PATH", (bin + ":" + path_).c_str(), 1);
    }
    void TearDown() override
    {
        setenv("PATH", path_.c_str(), 1);
        DocumentsTest::TearDown();
    }
    int PrintWord(const std::string &name)
    {
        const std::string payload = Str(name) + Str("-1") + Str("-1");
        MsgBuf msg = MsgBuf();
        AppendBytes(&msg, payload.data(), (int)payload.size());
        const int result = HandlePrintWordDocument(session_.get(), &msg, PRINT_WORD_DOCUMENT);
        FreeMsgBuf(&msg);
        return result;
    }
    /* Each page's size in points, as pdfinfo gives it ("612 x 792"). */
    static std::vector<std::string> PageSizes(const std::string &pdf)
    {
        std::istringstream lines(RunCommand("pdfinfo -f 1 -l 100 '" + pdf + "' 2>&1"));
        std::vector<std::string> sizes;
        std::string line;
        while (std::getline(lines, line)) {
            const size_t at = line.find(" size: ");
            if (line.rfind("Page", 0) == 0 && at != std::string::npos) {
                std::string size = line.substr(at + 7);
                size.erase(0, size.find_first_not_of(' '));
                sizes.push_back(size.substr(0, size.find(" pts")));
            }
        }
        return sizes;
    }
    std::string path_;
};

TEST_F(OfficeConverterTest, AWordFileOnALabelJobStillGetsLetterPagesInThePart)
{
    std::filesystem::create_directories(root_.driveC("novarc/word_documents"));
    /* An A4 letter of two pages, as the office program would convert it. */
    samples::WriteFile(root_.driveC("novarc/word_documents/referral.docx"),
                       samples::TextPdf({{595, 842, {{72, 100, "Referral for Jane Sample"}}},
                                         {595, 842, {{72, 100, "Yours sincerely, Dr Lee"}}}}));
    ASSERT_EQ(Open("NovarcPDF", OPTION_LABEL_MODE), 1);
    ASSERT_EQ(WordAvailable(session_.get()), 1); /* as the open reply asks */
    HDC hdc = session_->m_Printer.m_hPrinterDc;
    StartPage(hdc);
    TextOutA(hdc, 20, 100, "Label", 5);
    session_->m_Printer.m_bPrinted = true;
    ASSERT_EQ(PrintWord("referral.docx"), 1);
    CloseNovarcPrinter(session_.get());

    /* The label, then the letter on letter pages appended to its part; no
     * empty page from the document the close ended after it. */
    const std::string part = PartPath(1);
    const std::vector<std::string> sizes = PageSizes(part);
    ASSERT_EQ(sizes.size(), 3u) << Log();
    EXPECT_NE(sizes[0], "612 x 792") << "the label's own paper";
    EXPECT_EQ(sizes[1], "612 x 792");
    EXPECT_EQ(sizes[2], "612 x 792");
    const std::string text = PdfToText(part);
    EXPECT_NE(text.find("Label"), std::string::npos) << text;
    EXPECT_NE(text.find("Referral for Jane Sample"), std::string::npos) << text;
    EXPECT_NE(text.find("Yours sincerely, Dr Lee"), std::string::npos) << text;
    EXPECT_EQ(session_->m_Printer.m_iPartNumber, 2) << "one part, for convert and send";
    const std::string log = Log();
    EXPECT_NE(log.find("KELAmyuniSetPaperSizeForExternalPrinting NOW nLength<2794> "
                       "nWidth<2159> nPaperSizse<1>"),
              std::string::npos)
        << log;
    EXPECT_GT(log.rfind("NOW OpenKelAmyuniPrinter giLocalPCLabelMode"),
              log.find("KELAmyuniSetPaperSizeForExternalPrinting"))
        << "the label paper is back for the rest of the job";
}

} // namespace
