/*
 * Monitor ports: a printer whose port is "MONITOR:<dll>" hands each
 * finished document to that DLL's WinportPortDeliver, and the monitor's
 * answer is EndDoc's.
 */
#include "spool_test_util.h"

#include <winport_test.h>

using namespace spooltest;

namespace {

class MonitorPort : public SpoolTest {
protected:
    void SetUp() override
    {
        setenv("WINPORT_MODULE_PATH", WINPORT_FAKE_MONITOR_DIR, 1);
        winport_test_map_module("fakemon.dll", "libfakemonitor.so", FALSE);
        addPrinter("Converter", {{"Port", "MONITOR:fakemon.dll"}}, {{"Resolution", 300}});
    }
    void TearDown() override { unsetenv("WINPORT_MODULE_PATH"); }

    int print(const char *docName, int pages)
    {
        HDC dc = CreateDCA(nullptr, "Converter", nullptr, nullptr);
        DOCINFOA di{sizeof(DOCINFOA), docName, nullptr, nullptr, 0};
        int rc = StartDocA(dc, &di) > 0 ? 1 : SP_ERROR;
        for (int i = 0; i < pages && rc > 0; i++) {
            StartPage(dc);
            TextOutA(dc, 100, 100, "Monitored", 9);
            EndPage(dc);
        }
        if (rc > 0)
            rc = EndDoc(dc);
        DeleteDC(dc);
        return rc;
    }
};

} // namespace

TEST_F(MonitorPort, TheMonitorReceivesTheFinishedPdfWithItsPrinterAndPages)
{
    ASSERT_GT(print("Part1Img.pdf", 2), 0);
    std::string out = root.path() + "/monitor/Part1Img.pdf";
    EXPECT_NE(std::string::npos, pdfInfo(out).find("Pages:           2"));
    EXPECT_NE(std::string::npos, pdfText(out).find("Monitored"));
    EXPECT_EQ("Converter|1|2|1\n", readAll(out + ".txt"));
    for (const std::string &f : filesIn(root.path() + "/winport/spool"))
        EXPECT_EQ(std::string::npos, f.find(".pdf")) << "spool file left: " << f;
}

TEST_F(MonitorPort, ARefusalFailsEndDocWithTheMonitorsError)
{
    SetLastError(kSentinel);
    EXPECT_EQ(SP_ERROR, print("refuse", 1));
    EXPECT_EQ((DWORD)ERROR_DISK_FULL, GetLastError());
}

TEST_F(MonitorPort, AMissingMonitorFailsEndDocAsAMissingDll)
{
    addPrinter("Orphan", {{"Port", "MONITOR:nosuchmonitor.dll"}});
    HDC dc = CreateDCA(nullptr, "Orphan", nullptr, nullptr);
    ASSERT_NE(nullptr, dc);
    DOCINFOA di{sizeof(DOCINFOA), "lost", nullptr, nullptr, 0};
    ASSERT_GT(StartDocA(dc, &di), 0);
    StartPage(dc);
    EndPage(dc);
    SetLastError(kSentinel);
    EXPECT_EQ(SP_ERROR, EndDoc(dc));
    EXPECT_EQ((DWORD)ERROR_MOD_NOT_FOUND, GetLastError());
    DeleteDC(dc);
}
