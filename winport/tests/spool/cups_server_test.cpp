/*
 * CUPS queues of a private cupsd: a cups-pdf queue and a raw queue appear
 * as printers with the server's papers, make and model, and its default
 * paper; a document drawn on a DC comes out of cups-pdf as a PDF with its
 * text on that paper; a raw job reaches the server byte for byte.  The
 * CUPS default destination becomes the default printer of a fresh root,
 * and never replaces one already set.
 *
 * Skipped, saying why, where cupsd or cups-pdf is not installed or the
 * server does not start (cupsd wants root for its backends).
 */
#include "private_cups.h"
#include "spool_test_util.h"

#include "spool/spool_private.h"

#include <pwd.h>
#include <thread>
#include <unistd.h>

using namespace spooltest;
using namespace cupstest;

namespace {

constexpr const char *kCupsPdfBackend = "/usr/lib/cups/backend/cups-pdf";
constexpr const char *kCupsPdfPpd = "/usr/share/ppd/cups-pdf/CUPS-PDF_opt.ppd";

/* Waits for a file under `folder` whose text holds `token`. */
std::string waitForPdf(const std::string &folder, const std::string &token)
{
    for (int i = 0; i < 300; i++) {
        for (const std::string &name : filesIn(folder))
            if (name.size() > 4 && name.substr(name.size() - 4) == ".pdf" &&
                pdfText(folder + "/" + name).find(token) != std::string::npos)
                return folder + "/" + name;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return {};
}

/* The server's spooled copy of a job's document (PreserveJobFiles). */
std::string waitForSpooled(const std::string &spool, const std::string &content)
{
    for (int i = 0; i < 100; i++) {
        for (const std::string &name : filesIn(spool))
            if (name[0] == 'd' && readAll(spool + "/" + name) == content)
                return name;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return {};
}

class CupsTest : public SpoolTest {
protected:
    void TearDown() override { unsetenv("CUPS_SERVER"); }
};

} // namespace

TEST_F(CupsTest, QueuesOfAPrivateServerPrintPdfAndRaw)
{
    if (access(kCupsPdfBackend, X_OK) != 0 || access(kCupsPdfPpd, R_OK) != 0)
        GTEST_SKIP() << "cups-pdf is not installed (scripts/bootstrap.sh installs it)";
    PrivateCups cups;
    std::string why;
    if (!cups.start(why))
        GTEST_SKIP() << why;
    /* Its first paper is not its default: a document takes the default. */
    ASSERT_TRUE(cups.lpadmin(std::string("-p wp-pdf -E -v cups-pdf:/ -P ") + kCupsPdfPpd +
                             " -o PageSize=A4"));
    ASSERT_TRUE(cups.lpadmin("-p wp-raw -E -v file:/dev/null"));
    setenv("CUPS_SERVER", cups.server().c_str(), 1);

    OpenedPrinter pdf("wp-pdf");
    ASSERT_NE(nullptr, pdf.h) << "the queue is a printer";
    std::vector<BYTE> buf;
    PRINTER_INFO_2A *info = printerInfo2(pdf.h, buf);
    ASSERT_NE(nullptr, info);
    EXPECT_STREQ("CUPS:wp-pdf", info->pPortName);
    EXPECT_NE(nullptr, std::strstr(info->pDriverName, "PDF")) << info->pDriverName;
    ASSERT_NE(nullptr, info->pDevMode);
    EXPECT_EQ(DMPAPER_A4, info->pDevMode->dmPaperSize) << "the queue's default, not its first";
    std::vector<WORD> papers(64);
    int n = DeviceCapabilitiesA("wp-pdf", nullptr, DC_PAPERS,
                                reinterpret_cast<LPSTR>(papers.data()), nullptr);
    ASSERT_GT(n, 1);
    EXPECT_NE(DMPAPER_A4, papers[0]) << "this test needs A4 not to be the first paper";

    /* A printer an operator adds for the queue, under a driver name of its
     * own, keeps the queue's papers and default. */
    addPrinter("Front Desk", {{"Printer Driver", "HP LaserJet 4250"}, {"Port", "CUPS:wp-pdf"}});
    EXPECT_EQ(n, DeviceCapabilitiesA("Front Desk", nullptr, DC_PAPERS, nullptr, nullptr));
    OpenedPrinter alias("Front Desk");
    std::vector<BYTE> aliasBuf;
    PRINTER_INFO_2A *aliasInfo = printerInfo2(alias.h, aliasBuf);
    ASSERT_NE(nullptr, aliasInfo);
    EXPECT_STREQ("HP LaserJet 4250", aliasInfo->pDriverName);
    EXPECT_EQ(DMPAPER_A4, aliasInfo->pDevMode->dmPaperSize);

    std::string token = "cupstoken" + std::to_string(getpid());
    HDC dc = CreateDCA("WINSPOOL", "wp-pdf", nullptr, nullptr);
    ASSERT_NE(nullptr, dc);
    DOCINFOA di{sizeof di, token.c_str(), nullptr, nullptr, 0};
    ASSERT_GT(StartDocA(dc, &di), 0);
    ASSERT_GT(StartPage(dc), 0);
    TextOutA(dc, 300, 300, token.c_str(), int(token.size()));
    ASSERT_GT(EndPage(dc), 0);
    ASSERT_GT(EndDoc(dc), 0) << GetLastError();
    DeleteDC(dc);
    /* cups-pdf writes to the job owner's home as the password file has it. */
    const passwd *owner = getpwuid(geteuid());
    std::string home = owner && owner->pw_dir ? owner->pw_dir : "/root";
    std::string found = waitForPdf(home + "/PDF", token);
    EXPECT_FALSE(found.empty()) << "cups-pdf wrote no PDF with the text; see " << cups.dir()
                                << "/error_log";
    if (!found.empty()) {
        EXPECT_NE(std::string::npos, pdfInfo(found).find("(A4)")) << pdfInfo(found);
        std::remove(found.c_str());
    }

    OpenedPrinter raw("wp-raw");
    DOC_INFO_1A doc{const_cast<char *>("raw"), nullptr, const_cast<char *>("RAW")};
    ASSERT_GT(StartDocPrinterA(raw.h, 1, reinterpret_cast<LPBYTE>(&doc)), 0u);
    std::string bytes = std::string("\x1b@raw\0job\xff", 10) + token;
    DWORD written = 0;
    ASSERT_TRUE(WritePrinter(raw.h, bytes.data(), DWORD(bytes.size()), &written));
    ASSERT_TRUE(EndDocPrinter(raw.h));
    EXPECT_FALSE(waitForSpooled(cups.dir() + "/spool", bytes).empty())
        << "the raw bytes did not reach the server unchanged";
}

TEST_F(CupsTest, FreshRootTakesTheCupsDefaultAndKeepsAChosenOne)
{
    PrivateCups cups;
    std::string why;
    if (!cups.start(why))
        GTEST_SKIP() << why;
    ASSERT_TRUE(cups.lpadmin("-p wp-front -E -v file:/dev/null"));
    ASSERT_TRUE(cups.lpadmin("-d wp-front"));
    setenv("CUPS_SERVER", cups.server().c_str(), 1);
    char name[256];
    DWORD size = sizeof name;
    ASSERT_TRUE(GetDefaultPrinterA(name, &size));
    EXPECT_STREQ("wp-front", name);
    EXPECT_TRUE(OpenedPrinter(kEmbedded).h) << "the embedded printer is there all the same";

    /* The operator's choice stays, whatever CUPS says later. */
    ASSERT_TRUE(SetDefaultPrinterA(kEmbedded));
    ASSERT_TRUE(cups.lpadmin("-p wp-back -E -v file:/dev/null"));
    ASSERT_TRUE(cups.lpadmin("-d wp-back"));
    size = sizeof name;
    ASSERT_TRUE(GetDefaultPrinterA(name, &size));
    EXPECT_STREQ(kEmbedded, name);
}
