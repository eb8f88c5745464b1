/*
 * Convert and send end to end: novarc-send prints a text report and a scan
 * on the "NovarcPDF" converter printer of a real client, with the real
 * converter and PDF engine installed in the root, and receives the job
 * back over loopback, whole and then page by page; the files it saved are
 * read with poppler.
 */
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <winport_test.h>

#include "posix_files.h"
#include "scratch_root.h"

namespace {

std::string Quoted(const std::string &path)
{
    return "'" + path + "'";
}

class ConvertSendE2eTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(winport_test_install_module("cdintf550.dll", "C:\\Windows\\system32"));
        ASSERT_TRUE(winport_test_install_module("kelpdftron.dll", "C:\\novarc\\bin\\PdfTron"));
        std::filesystem::copy_file(CDINSTALL_EXE, root_.driveC("Windows/system32/cdinstall.exe"));
        for (const char *dll : {"ltkrnu.dll", "ltfilu.dll", "lttwnu.dll", "LTDISU.DLL",
                                "ltannu.dll", "Ltimgefxu.dll", "ltimgcoru.dll"})
            WriteText(root_.driveC(std::string("Windows/system32/") + dll), "");
        WriteText(root_.driveC("novarc/bin/PRINT_DEBUGGING_ON"), "");
        /* Longer than the 66-line form: two pages of text. */
        std::string report = "CHART NOTE FOR JANE ROE\n";
        for (int i = 1; i <= 80; i++)
            report += "Report line " + std::to_string(i) + "\n";
        WriteText(Report(), report + "Second page of the report\n");
        int status = 0;
        const std::string out = RunCommand("/usr/bin/python3 " SOURCE_DIR
                                           "/tests/image_samples.py " IMAGE_SAMPLES_DIR " 2>&1",
                                           &status);
        ASSERT_EQ(status, 0) << out;
    }
    void TearDown() override
    {
        if (!HasFailure())
            return;
        const std::string logs = root_.driveC("novarc/bin/NovarcPrintDebug");
        if (std::filesystem::is_directory(logs))
            for (const auto &entry : std::filesystem::directory_iterator(logs))
                printf("%s\n", ReadText(entry.path().string()).c_str());
    }
    std::string Report() const { return root_.path() + "/report.txt"; }

    /* The job on "NovarcPDF", converted and sent with `flags`; the files
     * saved, in the order they came. */
    std::vector<std::string> Send(int flags, std::string *pOut)
    {
        const std::string saved = root_.path() + "/returned" + std::to_string(flags);
        std::filesystem::create_directories(saved);
        int status = 0;
        *pOut = RunCommand("WINPORT_ROOT=" + Quoted(root_.path()) + " WINPORT_TIME_SCALE=1 " +
                               NOVARC_SEND_EXE " --spawn " NOVARCPRINT_EXE " --wait 60000 " +
                               "--printer NovarcPDF --text " + Quoted(Report()) + " --image " +
                               Quoted(std::string(IMAGE_SAMPLES_DIR) + "/page_g4.tif") +
                               " --convert-and-send " + std::to_string(flags) +
                               " --save-returned " + Quoted(saved) + " 2>&1",
                           &status);
        EXPECT_EQ(status, 0) << *pOut;
        EXPECT_NE(pOut->find("printer-open reply status 1"), std::string::npos) << *pOut;
        std::vector<std::string> files;
        size_t at = 0;
        while ((at = pOut->find("-> " + saved + "/", at)) != std::string::npos) {
            const size_t end = pOut->find('\n', at);
            files.push_back(pOut->substr(at + 3, end - at - 3));
            at = end;
        }
        return files;
    }
    static std::string Text(const std::string &pdf)
    {
        return RunCommand("pdftotext -layout " + Quoted(pdf) + " - 2>&1");
    }
    static int Pages(const std::string &pdf)
    {
        const std::string info = RunCommand("pdfinfo " + Quoted(pdf) + " 2>&1");
        const size_t at = info.find("Pages:");
        return at == std::string::npos ? -1 : atoi(info.c_str() + at + 6);
    }
    /* The page of every image `pdfimages -list` shows, in order. */
    static std::vector<int> ImagePages(const std::string &pdf)
    {
        std::istringstream rows(RunCommand("pdfimages -list " + Quoted(pdf) + " 2>&1"));
        std::vector<int> pages;
        std::string row;
        for (int i = 0; std::getline(rows, row); i++)
            if (i >= 2)
                pages.push_back(atoi(row.c_str()));
        return pages;
    }
    static std::string PageText(const std::string &pdf, int page)
    {
        const std::string n = std::to_string(page);
        return RunCommand("pdftotext -layout -f " + n + " -l " + n + " " + Quoted(pdf) + " - 2>&1");
    }
    /* What the client's winport wrote to its error log: drawing that
     * reached no page shows there. */
    std::string ErrorLog() const
    {
        const std::string path = root_.path() + "/winport/log/Novarcprint.log";
        return std::filesystem::exists(path) ? ReadText(path) : std::string();
    }

    ScratchRoot root_;
};

TEST_F(ConvertSendE2eTest, AReportAndAScanComeBackAsOnePdfThenPageByPage)
{
    std::string out;
    std::vector<std::string> files = Send(0, &out);
    ASSERT_EQ(files.size(), 1u) << out;
    /* The scan on a page of its own, then the report's two pages, every
     * page once, in order: the scan is sent first and ends its page. */
    const int pages = Pages(files[0]);
    ASSERT_EQ(pages, 3) << out;
    EXPECT_EQ(ImagePages(files[0]), std::vector<int>{1})
        << RunCommand("pdfimages -list " + Quoted(files[0]));
    EXPECT_EQ(PageText(files[0], 1).find("Report line"), std::string::npos);
    EXPECT_NE(PageText(files[0], 2).find("CHART NOTE FOR JANE ROE"), std::string::npos);
    const std::string text = Text(files[0]);
    const size_t first = text.find("CHART NOTE FOR JANE ROE"), line64 = text.find("line 64\n"),
                 line65 = text.find("line 65\n"), last = text.find("Second page");
    ASSERT_NE(last, std::string::npos) << text;
    EXPECT_TRUE(first < line64 && line64 < line65 && line65 < last) << text;
    EXPECT_EQ(ErrorLog().find("between pages"), std::string::npos) << ErrorLog();

    files = Send(1, &out);
    ASSERT_EQ((int)files.size(), pages) << out;
    EXPECT_NE(out.find("end of files"), std::string::npos) << out;
    std::string joined;
    for (int i = 0; i < pages; i++) {
        EXPECT_NE(files[i].find("PG" + std::to_string(i + 1) + ".pdf"), std::string::npos);
        EXPECT_EQ(Pages(files[i]), 1) << files[i];
        EXPECT_EQ(ImagePages(files[i]), i == 0 ? std::vector<int>{1} : std::vector<int>())
            << files[i];
        joined += Text(files[i]);
    }
    EXPECT_LT(joined.find("CHART NOTE"), joined.find("Second page")) << joined;
}

} // namespace
