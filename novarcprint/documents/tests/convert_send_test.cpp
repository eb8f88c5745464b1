/*
 * The converter printer session and convert-and-send with the real
 * components: parts written per document, joined and returned whole or
 * page by page over a loopback connection, the failures that must answer
 * with the lone end marker, the paper of the job's mode, and the idle
 * timer that ends the client.
 */
#include "documents_fixture.h"

namespace {

class ConvertSendTest : public DocumentsTest {
protected:
    void ConvertAndSend(int flags)
    {
        const std::string payload = Int32(0) + Int32(flags);
        MsgBuf msg = MsgBuf();
        AppendBytes(&msg, payload.data(), (int)payload.size());
        HandlePrintConvertAndSendFiles(session_.get(), &msg, PRINT_CONVERT_AND_SEND_FILES);
        FreeMsgBuf(&msg);
    }
    /* Three documents of one job: parts 1 to 3, four pages. */
    void PrintThreeDocuments()
    {
        ASSERT_EQ(Open("NovarcPDF"), 1);
        PrintPage("Alpha report first page");
        PrintPage("Alpha report second page");
        NextDocument();
        PrintPage("Bravo image page");
        NextDocument();
        PrintPage("Charlie closing page");
    }
};

TEST_F(ConvertSendTest, EachDocumentIsAPartAndTheJoinComesBackWholeInOrder)
{
    PrintThreeDocuments();
    const std::string base = session_->m_Printer.m_szConverterFileName;
    EXPECT_EQ(session_->m_Printer.m_iPartNumber, 3);
    EXPECT_TRUE(std::filesystem::exists(PartPath(1)));
    EXPECT_TRUE(std::filesystem::exists(PartPath(2)));
    const std::string log = Log();
    EXPECT_NE(log.find("KelInstallAmyuniPrinter(NovarcPDF)"), std::string::npos)
        << "the missing converter printer is installed by the open";
    EXPECT_EQ(log.find("KelInstallAmyuniPrinter", log.find("KelInstallAmyuniPrinter") + 1),
              std::string::npos)
        << "and only once";
    EXPECT_NE(log.find("KelAmyuni_Lock( m_hConverter, Part2" + base + " ) SUCCESS"),
              std::string::npos);

    ConvertAndSend(0);
    std::vector<ReturnedFile> files = Returned();
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(files[0].name, base);
    EXPECT_TRUE(files[0].whole);
    EXPECT_EQ(PagesOf(files[0]), 4);
    const std::string text = TextOf(files[0]);
    const size_t a1 = text.find("Alpha report first"), a2 = text.find("Alpha report second"),
                 b = text.find("Bravo image"), c = text.find("Charlie closing");
    ASSERT_NE(c, std::string::npos) << text;
    EXPECT_TRUE(a1 < a2 && a2 < b && b < c) << text;
    for (int part = 1; part <= 3; part++)
        EXPECT_FALSE(std::filesystem::exists(Dir() + "/Part" + std::to_string(part) + base));
    EXPECT_FALSE(std::filesystem::exists(Dir() + "/" + base)) << "the joined file went once sent";

    /* The job goes on under a new name, from part 1. */
    EXPECT_NE(session_->m_Printer.m_szConverterFileName, base);
    EXPECT_EQ(session_->m_Printer.m_iPartNumber, 1);
    EXPECT_TRUE(session_->m_bOpenedPrinter);
}

TEST_F(ConvertSendTest, PageByPageReturnsEachPageThenTheEndMarker)
{
    PrintThreeDocuments();
    const std::string stem = std::string(session_->m_Printer.m_szConverterFileName, 0,
                                         strlen(session_->m_Printer.m_szConverterFileName) - 4);
    ConvertAndSend(CONVERT_PAGE_BY_PAGE | CONVERT_NORMALIZE);
    std::vector<ReturnedFile> files = Returned();
    ASSERT_EQ(files.size(), 5u);
    const char *texts[] = {"Alpha report first", "Alpha report second", "Bravo image",
                           "Charlie closing"};
    for (int i = 0; i < 4; i++) {
        EXPECT_EQ(files[i].name, stem + "PG" + std::to_string(i + 1) + ".pdf");
        EXPECT_EQ(PagesOf(files[i]), 1);
        EXPECT_NE(TextOf(files[i]).find(texts[i]), std::string::npos) << i;
    }
    EXPECT_EQ(files[4].name, "DONE");
    EXPECT_TRUE(std::filesystem::is_empty(Dir()) ||
                !std::filesystem::exists(Dir() + "/" + stem + "PG1.pdf"));
}

TEST_F(ConvertSendTest, AMissingCorruptOrEmptyJobAnswersOnlyTheLoneEndMarker)
{
    /* Nothing printed: no part at all. */
    ASSERT_EQ(Open("NovarcPDF"), 1);
    ConvertAndSend(0);
    std::vector<ReturnedFile> files = Returned();
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(files[0].name, "DONE");
    EXPECT_NE(Log().find("BUT NOTHING WAS PRINTED!"), std::string::npos);

    /* A part gone, and a lone part that is no PDF: never a file called whole. */
    for (const char *fault : {"missing", "corrupt"}) {
        PrintPage("First part");
        NextDocument();
        PrintPage("Second part");
        const std::string part1 = PartPath(1);
        if (std::string(fault) == "missing")
            std::filesystem::remove(part1);
        else
            samples::WriteFile(part1, "%PDF-1.4\nthis is no pdf at all\n");
        ConvertAndSend(0);
        files = Returned();
        ASSERT_EQ(files.size(), 1u) << fault;
        EXPECT_EQ(files[0].name, "DONE") << fault;
    }
    EXPECT_NE(Log().find("FAILED Error <"), std::string::npos);

    /* One part only, corrupt: the engine's check catches it too. */
    PrintPage("Only part");
    CloseNovarcPrinter(session_.get());
    samples::WriteFile(PartPath(1), "garbage");
    ReopenNovarcPrinter(session_.get());
    ConvertAndSend(CONVERT_PAGE_BY_PAGE);
    files = Returned();
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(files[0].name, "DONE");
}

TEST_F(ConvertSendTest, AReopenOntoAnExistingPartAppendsToIt)
{
    ASSERT_EQ(Open("NovarcPDF"), 1);
    PrintPage("Kept first page");
    CloseNovarcPrinter(session_.get());
    /* The part number goes back, as for a document reopened unprinted. */
    session_->m_Printer.m_iPartNumber = 1;
    ASSERT_TRUE(ReopenNovarcPrinter(session_.get()));
    EXPECT_NE(Log().find("so Concatenate"), std::string::npos);
    PrintPage("Appended page");
    ConvertAndSend(0);
    std::vector<ReturnedFile> files = Returned();
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(PagesOf(files[0]), 2);
    const std::string text = TextOf(files[0]);
    EXPECT_LT(text.find("Kept first"), text.find("Appended page")) << text;
}

TEST_F(ConvertSendTest, ThePaperFollowsTheJobsModeFirstRowWinning)
{
    struct Case {
        const char *printer;
        int options;
        long length, width, size;
        const char *folder;
    } cases[] = {
        {"NovarcPDF", 0, 2794, 2159, -1, "novarc/convert_pdf"},
        {"NovarcMobilePDF", OPTION_LABEL_MODE | OPTION_INSURANCE_FORM, 600, 360, 256,
         "novarc/convert_pdf/mobile"},
        {"NovarcPrintPDF", OPTION_MOBILE_LABEL | OPTION_LABEL_MODE, 600, 600, 256,
         "novarc/convert_pdf/print"},
    };
    for (const Case &c : cases) {
        ASSERT_EQ(Open(c.printer, c.options), 1) << c.printer;
        HANDLE h = session_->m_Printer.m_hConverter;
        EXPECT_EQ(KelAmyuni_GetPaperLength(h), c.length) << c.printer;
        EXPECT_EQ(KelAmyuni_GetPaperWidth(h), c.width) << c.printer;
        if (c.size > 0) {
            EXPECT_EQ(KelAmyuni_GetPaperSize(h), c.size) << c.printer;
        }
        EXPECT_TRUE(std::filesystem::is_directory(root_.driveC(c.folder))) << c.folder;
        CloseNovarcPrinter(session_.get());
        session_->m_bDocumentOpen = false;
    }
    EXPECT_EQ(Log().find("Set to 0"), std::string::npos) << "margins already 0 are left alone";
}

TEST_F(ConvertSendTest, AnOpenWithoutTheGateOrWithThePrinterLockedElsewhereFails)
{
    /* Installed once, so that the failures below are the lock's. */
    ASSERT_EQ(Open("NovarcPDF"), 1);
    CloseNovarcPrinter(session_.get());
    KelAmyuni_DriverEnd(session_->m_Printer.m_hConverter);
    session_->m_Printer.m_hConverter = NULL;
    HANDLE hOther = KelAmyuni_DriverInit("NovarcPDF");
    ASSERT_NE(hOther, nullptr);
    session_->m_Printer.m_iPartNumber = 7;
    ASSERT_EQ(KelAmyuni_Lock(hOther, "elsewhere"), 0);
    EXPECT_FALSE(OpenKelAmyuniPrinter(session_.get(), "NovarcPDF"));
    EXPECT_EQ(session_->m_Printer.m_hConverter, nullptr) << "ended after the last try";
    EXPECT_NE(Log().find("iCtr:5 Try Again"), std::string::npos);
    KelAmyuni_DriverEnd(hOther);

    CloseHandle(session_->m_hSpecialLock[LOCK_NOVARCPDF]);
    session_->m_hSpecialLock[LOCK_NOVARCPDF] = NULL;
    EXPECT_FALSE(OpenKelAmyuniPrinter(session_.get(), "NovarcPDF")) << "no gate held";
    EXPECT_EQ(session_->m_Printer.m_hConverter, nullptr);
}

TEST_F(ConvertSendTest, TheIdleTimerEndsTheClientButNeverABusyWorker)
{
    ASSERT_EQ(Open("NovarcPDF"), 1);
    session_->m_iWorkerCount++;
    session_->OnSessionTimer(CONVERTER_IDLE_TIMER);
    MSG msg;
    EXPECT_FALSE(PeekMessageA(&msg, mainWnd_, WM_CLOSE, WM_CLOSE, PM_REMOVE))
        << "a worker is returning the job";
    session_->m_iWorkerCount--;
    session_->OnSessionTimer(CONVERTER_IDLE_TIMER);
    EXPECT_TRUE(PeekMessageA(&msg, mainWnd_, WM_CLOSE, WM_CLOSE, PM_REMOVE))
        << "the main window, so the process and its lock go";
}

} // namespace
