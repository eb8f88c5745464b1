/*
 * The printer session in process: reading the open record, the reply
 * bytes, unique names, the tray tables, and device settings applied to a
 * printer of the test's registry.
 */
#include <future>
#include <set>

#include "printer.h"
#include "session_fixture.h"
#include "stream.h"
#include <registry_printer.h>

namespace {

std::string Str(const std::string &text)
{
    return text + '\0';
}

std::string Record(const std::string &printer, const std::string &driver, int raw = 0)
{
    return Str(printer) + Str(driver) + Int32(66) + Int32(raw) + Str("");
}

TEST(OpenRecordTest, OptionalTailIsReadOnlyWhilePresent)
{
    PrinterOpenRecord r;
    std::string base = Record("Front", "HP LaserJet");
    ASSERT_TRUE(ParseOpenRecord(base.data(), (int)base.size(), &r));
    EXPECT_STREQ(r.szPrinterName, "Front");
    EXPECT_EQ(r.iFormLength, 66);
    EXPECT_FALSE(r.bHasImaging || r.bHasFormType || r.bHasUserName);

    std::string partial = base + Int32(-1) + Int32(31) + "\x01\x02";
    ASSERT_TRUE(ParseOpenRecord(partial.data(), (int)partial.size(), &r));
    EXPECT_TRUE(r.bHasImaging && r.bHasFormType);
    EXPECT_EQ(r.iFormTypeCode, 31);
    EXPECT_FALSE(r.bHasOptions);

    std::string full = base + Int32(0) + Int32(29) + Int32(0x4800) + Int32(12) + Str("Dr Lee");
    ASSERT_TRUE(ParseOpenRecord(full.data(), (int)full.size(), &r));
    EXPECT_EQ(r.iOptionFlags, 0x4800);
    EXPECT_EQ(r.iFaxJob, 12);
    EXPECT_STREQ(r.szUserName, "Dr Lee");
}

TEST(OpenRecordTest, MalformedRecordsFail)
{
    PrinterOpenRecord r;
    std::string noEnd = "Front";
    EXPECT_FALSE(ParseOpenRecord(noEnd.data(), (int)noEnd.size(), &r));
    std::string tooLong = Record(std::string(OPEN_NAME_SIZE, 'x'), "d");
    EXPECT_FALSE(ParseOpenRecord(tooLong.data(), (int)tooLong.size(), &r));
    std::string cut = Str("Front") + Str("d") + Int32(66) + "\x01";
    EXPECT_FALSE(ParseOpenRecord(cut.data(), (int)cut.size(), &r));
    EXPECT_FALSE(ParseOpenRecord(NULL, 0, &r));
}

TEST(OpenRecordTest, ReplyIsTwentyOneLittleEndianBytes)
{
    unsigned char out[PRINTER_OPEN_REPLY_SIZE];
    BuildPrinterOpenReply(-1, 1, 0, 1, out);
    const unsigned char expected[PRINTER_OPEN_REPLY_SIZE] = {
        27, 0xff, 0xff, 0xff, 0xff, 1, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0};
    EXPECT_EQ(std::string((char *)out, sizeof(out)),
              std::string((const char *)expected, sizeof(expected)));
}

TEST(OpenRecordTest, UniqueNamesDifferAndCarryPrefixProcessAndExtension)
{
    std::set<std::string> names;
    const std::string prefix = "Img" + std::to_string(GetCurrentProcessId());
    for (int i = 0; i < 50; i++) {
        char name[MAX_PATH];
        MakeUniqueFileName(name, sizeof(name), "Img", "pdf");
        std::string s = name;
        EXPECT_EQ(s.rfind(prefix, 0), 0u) << s;
        EXPECT_EQ(s.substr(s.size() - 4), ".pdf");
        names.insert(s);
    }
    EXPECT_EQ(names.size(), 50u);
}

TEST(TrayTableTest, ServerTraysMapToBinsAndDriversNameThem)
{
    EXPECT_EQ(TrayToBin(1, 1), DMBIN_UPPER);
    EXPECT_EQ(TrayToBin(1, 2), DMBIN_MIDDLE);
    EXPECT_EQ(TrayToBin(1, 3), DMBIN_LOWER);
    EXPECT_EQ(TrayToBin(1, 5), DMBIN_CASSETTE);
    EXPECT_EQ(TrayToBin(1, 9), DMBIN_UPPER);
    EXPECT_EQ(TrayToBin(2, 2), DMBIN_ENVMANUAL);
    EXPECT_EQ(TrayToBin(2, 1), DMBIN_ENVELOPE);

    EXPECT_STREQ(TrayNameFor(2, "HP LaserJet 4250", 31), "Tray 4");
    EXPECT_STREQ(TrayNameFor(3, "HP LaserJet 4250", 31), "Tray 3");
    EXPECT_STREQ(TrayNameFor(1, "HP LaserJet 4250", 31), "Tray 2");
    EXPECT_STREQ(TrayNameFor(1, "HP LaserJet 4250", 0), "Tray 1");
    EXPECT_STREQ(TrayNameFor(2, "Okidata OL-810e", 31), "Large Capacity");
    EXPECT_STREQ(TrayNameFor(2, "Any", 0), "Tray 2");
    EXPECT_STREQ(TrayNameFor(5, "OKIPAGE 10i", 0), "Multi Feeder");
    EXPECT_STREQ(TrayNameFor(5, "Okidata OL-410e", 31), "MP Tray");
    EXPECT_STREQ(TrayNameFor(14, "Lexmark T650", 31), "Multi-Purpose Feeder");
    EXPECT_STREQ(TrayNameFor(14, "HP LaserJet T650", 31), "Tray 1");
    EXPECT_STREQ(TrayNameFor(9, "HP LaserJet", 31), "Tray 2");
    EXPECT_STREQ(TrayNameFor(6, "Any", 31), "Manual");
}

class PrinterDeviceTest : public SessionTest {
protected:
    void SetUp() override
    {
        SessionTest::SetUp();
        AddRegistryPrinter("Desk Laser", {{"Printer Driver", "Generic Laser"},
                                          {"Port", "NUL:"},
                                          {"Papers", "1:2159x2794:Letter;5:2159x3556:Legal;"
                                                     "20:1048x2413:Envelope #10;"
                                                     "257:1016x1524:Label 4.00 x 6.00"},
                                          {"Bins", "1:Tray 1;2:Tray 2;5:Envelope Feeder"}});
        Open();
    }
    void TearDown() override
    {
        CloseNovarcPrinter(session_.get());
        SessionTest::TearDown();
    }
    void Open(const std::string &printer = "Desk Laser", int raw = 0)
    {
        std::string record = Record(printer, "Generic Laser", raw);
        MsgBuf msg = MsgBuf();
        AppendBytes(&msg, record.data(), (int)record.size());
        OpenNovarcPrinter(session_.get(), &msg);
        FreeMsgBuf(&msg);
        ASSERT_TRUE(session_->m_bOpenedPrinter);
    }
    int Run(RequestHandler handler, const std::string &payload)
    {
        MsgBuf msg = MsgBuf();
        if (!payload.empty())
            AppendBytes(&msg, payload.data(), (int)payload.size());
        int result = handler(session_.get(), &msg, 0);
        FreeMsgBuf(&msg);
        return result;
    }
    PrinterState &P() { return session_->m_Printer; }
};

TEST_F(PrinterDeviceTest, EnvelopeTurnsThePageAndPicksEnvelopePaper)
{
    Run(HandleSetLandscapeMode, Int32(0) + Int32(0)); /* portrait asked last */
    EXPECT_EQ(Run(HandleSetPrinterTray, Int32(2) + Int32(1) + Int32(1)), 1);
    EXPECT_TRUE(P().m_bLandscape);
    EXPECT_EQ(P().m_sDefaultSource, DMBIN_ENVELOPE);
    EXPECT_EQ(P().m_iPendingBin, DMBIN_ENVELOPE); /* next tray, envelope kind */
    HDC dc = P().m_hPrinterDc;
    ASSERT_NE(dc, (HDC)NULL);
    ASSERT_GT(StartPage(dc), 0);
    int width = GetDeviceCaps(dc, PHYSICALWIDTH), height = GetDeviceCaps(dc, PHYSICALHEIGHT);
    EXPECT_GT(width, height);
    /* Envelope #10 is 241.3 x 104.8 mm. */
    double dpi = GetDeviceCaps(dc, LOGPIXELSX);
    EXPECT_NEAR(width / dpi * 25.4, 241.3, 1.0);
    EXPECT_NEAR(height / dpi * 25.4, 104.8, 1.0);
    EndPage(dc);
    P().m_bPrinted = true;
}

TEST_F(PrinterDeviceTest, RepeatedLandscapeRequestLeavesTheDocumentAlone)
{
    Run(HandleSetLandscapeMode, Int32(1) + Int32(1) + Int32(1));
    EXPECT_TRUE(P().m_bDocPageOption);
    const int job = P().m_iJobId;
    const HDC dc = P().m_hPrinterDc;
    Run(HandleSetLandscapeMode, Int32(1) + Int32(1) + Int32(1));
    EXPECT_EQ(P().m_iJobId, job);
    EXPECT_EQ(P().m_hPrinterDc, dc);
    EXPECT_FALSE(P().m_bPageEnded);
    /* Eleven bytes: the page option keeps its value; too short fails. */
    Run(HandleSetLandscapeMode, Int32(1) + Int32(1) + "\x00\x00\x00");
    EXPECT_TRUE(P().m_bDocPageOption);
    EXPECT_EQ(Run(HandleSetLandscapeMode, Int32(1)), 0);
    EXPECT_EQ(Run(HandleSetPrinterTray, Int32(1) + Int32(1)), 0);
}

TEST_F(PrinterDeviceTest, PortraitRequestWaitsForTheClose)
{
    const int job = P().m_iJobId;
    Run(HandleSetLandscapeMode, Int32(0) + Int32(1));
    EXPECT_EQ(P().m_iJobId, job);
    EXPECT_TRUE(P().m_bLegalRequest);
    EXPECT_NE(Log().find("ThreadSetLandscapeMode() NOT SetLandScapeMode()"), std::string::npos);
}

TEST_F(PrinterDeviceTest, SecondOpenKeepsTheDocumentButIsNotOpen)
{
    const HDC dc = P().m_hPrinterDc;
    std::string record = Record("Desk Laser", "Generic Laser");
    MsgBuf msg = MsgBuf();
    AppendBytes(&msg, record.data(), (int)record.size());
    session_->m_bOpenedPrinter = false; /* as the open worker does first */
    EXPECT_EQ(OpenNovarcPrinter(session_.get(), &msg), 0);
    FreeMsgBuf(&msg);
    EXPECT_EQ(P().m_hPrinterDc, dc);
    EXPECT_FALSE(session_->m_bOpenedPrinter);
}

TEST_F(PrinterDeviceTest, LabelPrinterGetsTheLabelPaperAndColourFollowsThePrinter)
{
    EXPECT_TRUE(P().m_bColor);
    P().m_bEltron = true;
    SetLabelMode(session_.get());
    HDC dc = P().m_hPrinterDc;
    ASSERT_GT(StartPage(dc), 0);
    double dpi = GetDeviceCaps(dc, LOGPIXELSX);
    EXPECT_NEAR(GetDeviceCaps(dc, PHYSICALWIDTH) / dpi, 4.0, 0.02);
    EXPECT_NEAR(GetDeviceCaps(dc, PHYSICALHEIGHT) / dpi, 6.0, 0.02);
    EndPage(dc);
    P().m_bPrinted = true;
    P().m_bPageEnded = true;
    CloseNovarcPrinter(session_.get());

    AddRegistryPrinter("Desk Laser", {}, {{"Color", 0}});
    Open();
    EXPECT_FALSE(P().m_bColor);
}

TEST_F(SessionTest, AnAbandonedImageGateIsTakenOverAndPassedOn)
{
    /* A client that ended holding the shared image printer's gate; the
     * handle kept here stands for the other clients that wait on it. */
    HANDLE hGate = std::async(std::launch::async, [] {
                       HANDLE h = CreateMutexA(NULL, FALSE, "CompImage_MUTEX");
                       WaitForSingleObject(h, 0);
                       return h;
                   }).get();
    const std::string record = Record("CompImage", "Image Writer");
    AppendBytes(&session_->m_OpenRecord, record.data(), (int)record.size());
    EXPECT_TRUE(GetNovarcPrinterMutex(session_.get()));
    EXPECT_NE(Log().find("WAIT_ABANDONED"), std::string::npos);
    session_->HandleWMDestroy(); /* the client's end */
    /* The next job on the workstation gets the printer at once. */
    const DWORD dwNext = std::async(std::launch::async, [hGate] {
                             const DWORD dwWait = WaitForSingleObject(hGate, 0);
                             if (dwWait == WAIT_OBJECT_0 || dwWait == WAIT_ABANDONED)
                                 ReleaseMutex(hGate);
                             return dwWait;
                         }).get();
    EXPECT_EQ(dwNext, (DWORD)WAIT_OBJECT_0);
    CloseHandle(hGate);
}

TEST_F(PrinterDeviceTest, TurnsAndTraysInARawJobLeaveItsDataFlowing)
{
    CloseNovarcPrinter(session_.get());
    AddRegistryPrinter("Raw Desk", {{"Printer Driver", "Generic Laser"},
                                    {"Port", "RAW:C:\\novarc\\raw\\desk.bin"}});
    std::filesystem::create_directories(root_.driveC("novarc/raw"));
    Open("Raw Desk", 1);
    NovarcprintProcess *s = session_.get();
    ASSERT_EQ(PrintNovarcStream(s, "FIRST|", 6), 1);
    Run(HandleSetLandscapeMode, Int32(1) + Int32(0));
    Run(HandleSetPrinterTray, Int32(2) + Int32(1) + Int32(1));
    EXPECT_EQ(PrintNovarcStream(s, "SECOND", 6), 1);
    CloseNovarcPrinter(s);
    EXPECT_EQ(ReadText(root_.driveC("novarc/raw/desk.bin")), "FIRST|SECOND");
    EXPECT_NE(Log().find("SetLandScapeMode() ignored: raw job"), std::string::npos);
}

} // namespace
