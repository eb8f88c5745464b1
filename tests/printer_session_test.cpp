/*
 * Opening and closing the job's printer end to end: a real Novarcprint with
 * printers defined in its root's registry, judged by the printer-open reply,
 * the files that reached the printers, the registry and the debug log.
 */
#include <windows.h>
#include <winreg.h>

#include <filesystem>

#include "client_process.h"
#include <registry_printer.h>

namespace {

void AddPrinter(const std::string &name, const std::string &driver, const std::string &port,
                const std::string &bins = "1:Tray 1;2:Tray 2", DWORD colour = 1)
{
    ASSERT_TRUE(AddRegistryPrinter(name,
                                   {{"Printer Driver", driver},
                                    {"Port", port},
                                    {"Bins", bins},
                                    {"Papers", "1:2159x2794:Letter;5:2159x3556:Legal;"
                                               "20:1048x2413:Envelope #10;"
                                               "257:1016x1524:Label 4.00 x 6.00"}},
                                   {{"Color", colour}}));
}

/* No embedded default printer: the root has only the printers a test adds. */
void NoEmbeddedDefault()
{
    HKEY key;
    RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Control\\Print", 0, NULL, 0,
                    KEY_ALL_ACCESS, NULL, &key, NULL);
    DWORD one = 1;
    RegSetValueExA(key, "Embedded Default Created", 0, REG_DWORD, (const BYTE *)&one, sizeof(one));
    RegCloseKey(key);
}

std::string OpenRecord(const std::string &printer, const std::string &driver, int raw = 0,
                       const std::string &output = "")
{
    return Str(printer) + Str(driver) + Int32(66) + Int32(raw) + Str(output);
}

std::string Tail(int imaging, int formType, int options, int faxJob, const std::string &user)
{
    return Int32(imaging) + Int32(formType) + Int32(options) + Int32(faxJob) + Str(user);
}

std::string OpenReply(int status, int word = 0, int excel = 0, int faxBusy = 0)
{
    return std::string("\x1b") + Int32(status) + Int32(word) + Int32(excel) + Int32(1) +
           Int32(faxBusy);
}

DWORD DwordAt(const char *path, const char *name)
{
    HKEY key;
    DWORD value = 0, size = sizeof(value), type = 0;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return 0xffffffffu;
    if (RegQueryValueExA(key, name, NULL, &type, (BYTE *)&value, &size) != ERROR_SUCCESS)
        value = 0xffffffffu;
    RegCloseKey(key);
    return value;
}

size_t Count(const std::string &text, const std::string &what)
{
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        n++;
    return n;
}

class PrinterSessionTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        NoEmbeddedDefault();
        std::filesystem::create_directories(root_.driveC("novarc/raw"));
        AddPrinter("Front Laser", "HP LaserJet 4250 PCL6", "FOLDER:C:\\novarc\\printed\\front");
        AddPrinter("Raw Labels", "Eltron TLP 2844", "RAW:C:\\novarc\\raw\\labels.bin");
    }
    ScratchRoot root_;
};

TEST_F(PrinterSessionTest, OpenReplyReportsOpenedFailedAndCancelledPrinters)
{
    {
        ClientProcess client(root_);
        ASSERT_TRUE(client.Start());
        client.Send(1, OpenRecord("Front Laser", "HP LaserJet 4250 PCL6"));
        EXPECT_EQ(client.Reply(), OpenReply(1));
        /* A second open while the document exists leaves it alone. */
        client.Send(1, OpenRecord("Raw Labels", "Eltron TLP 2844", 1));
        EXPECT_EQ(client.Reply(), OpenReply(0));
        EXPECT_EQ(Count(client.Log(), "OpenNovarcPrinter m_bOpenedPrinter = TRUE"), 1u);
        /* Not open any more as far as the server is concerned: close ends the process. */
        client.Send(2);
        EXPECT_EQ(client.WaitExit(20000), 0);
    }
    {
        /* Neither the named printer nor a default: the dialog has nothing to offer. */
        ClientProcess client(root_);
        ASSERT_TRUE(client.Start());
        client.Send(1, OpenRecord("Gone Printer", "Laser 600"));
        EXPECT_EQ(client.Reply(), OpenReply(-1));
    }
}

TEST_F(PrinterSessionTest, OfficeCapabilityFollowsTheOpenOfficeRegistration)
{
    HKEY key;
    RegCreateKeyExA(HKEY_LOCAL_MACHINE,
                    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\soffice.exe", 0, NULL,
                    0, KEY_ALL_ACCESS, NULL, &key, NULL);
    /* The registration is the program's path, the key's default value. */
    const char program[] = "C:\\novarc\\bin\\office\\soffice.exe";
    RegSetValueExA(key, NULL, 0, REG_SZ, (const BYTE *)program, sizeof(program));
    RegCloseKey(key);
    ClientProcess client(root_);
    ASSERT_TRUE(client.Start());
    client.Send(1, OpenRecord("Front Laser", "HP LaserJet 4250 PCL6"));
    EXPECT_EQ(client.Reply(), OpenReply(1, 1, 1));
}

TEST_F(PrinterSessionTest, FailedStartDocRepliesMinusOne)
{
    /* The spool folder cannot be made: no document can start. */
    WriteText(root_.path() + "/winport/spool", "not a folder");
    ClientProcess client(root_);
    ASSERT_TRUE(client.Start());
    client.Send(1, OpenRecord("Front Laser", "HP LaserJet 4250 PCL6"));
    EXPECT_EQ(client.Reply(), OpenReply(-1));
    EXPECT_NE(client.Log().find("OpenNovarcPrinter StartDoc() FAILED"), std::string::npos);
}

TEST_F(PrinterSessionTest, RawJobAndRawDataReachThePrinterByteForByte)
{
    ClientProcess client(root_);
    ASSERT_TRUE(client.Start());
    client.Send(1, OpenRecord("Raw Labels", "Eltron TLP 2844", 1));
    EXPECT_EQ(client.Reply(), OpenReply(1));
    std::string bytes("^XA\x00\x01\xff\r\n^XZ", 11);
    client.Send(100, bytes);
    client.Checksum("c:\\novarc\\none.txt");
    EXPECT_EQ(ReadText(root_.driveC("novarc/raw/labels.bin")), bytes);
    EXPECT_NE(client.Log().find("OpenNovarcPrinter m_iUseRawData m_bOpenedPrinter = TRUE"),
              std::string::npos);
}

TEST_F(PrinterSessionTest, RecordWithoutTailKeepsThePreviousTail)
{
    ClientProcess client(root_);
    ASSERT_TRUE(client.Start());
    /* The first job cannot open (no such printer, nothing in the dialog)... */
    client.Send(1, OpenRecord("Gone Printer", "x") + Tail(0, 34, 0x800, 7, "Dr Lee"));
    EXPECT_EQ(client.Reply(), OpenReply(-1));
    /* ...the second carries no tail and keeps the first one's. */
    client.Send(1, OpenRecord("Front Laser", "HP LaserJet 4250 PCL6"));
    EXPECT_EQ(client.Reply(), OpenReply(1));
    EXPECT_EQ(Count(client.Log(), "iFormTypeCode<34> iOptionFlags<2048> szUserName<Dr Lee>"), 2u);
}

TEST_F(PrinterSessionTest, EmptyPrinterNameOpensNoPrinterAndNeverPretends)
{
    ClientProcess client(root_);
    ASSERT_TRUE(client.Start());
    client.Send(1, OpenRecord("", "HP LaserJet 4250 PCL6"));
    /* No device by that name: the document cannot start. */
    EXPECT_EQ(client.Reply(), OpenReply(-1));
}

TEST_F(PrinterSessionTest, FaxAndConverterPrintersSayTheyAreNotAvailable)
{
    {
        ClientProcess client(root_);
        ASSERT_TRUE(client.Start());
        client.Send(1, OpenRecord("NovarcPDF", "Converter"));
        EXPECT_EQ(client.Reply(), OpenReply(0));
        EXPECT_NE(client.Log().find("OpenKelAmyuniPrinter(FAILED) m_bOpenedPrinter = FALSE"),
                  std::string::npos);
    }
    ClientProcess client(root_);
    ASSERT_TRUE(client.Start());
    client.Send(1, OpenRecord("VSIFAX Server", "Fax"));
    EXPECT_EQ(client.Reply(), OpenReply(0, 0, 0, 1));
}

TEST_F(PrinterSessionTest, SecondClientOpensTheSharedImagePrinterOnlyAfterTheFirstEnds)
{
    AddPrinter("CompImage", "Image Writer", "NUL:");
    ClientProcess first(root_), second(root_);
    ASSERT_TRUE(first.Start());
    ASSERT_TRUE(second.Start());
    first.Send(1, OpenRecord("CompImage", "Image Writer"));
    EXPECT_EQ(first.Reply(), OpenReply(1));
    second.Send(1, OpenRecord("CompImage", "Image Writer"));
    EXPECT_EQ(second.Reply(1500), "<none>");
    first.Send(7);
    EXPECT_EQ(first.WaitExit(20000), 0);
    EXPECT_EQ(second.Reply(), OpenReply(1));
}

TEST_F(PrinterSessionTest, ReceiptPrinterCutValuesLandInTheThreeDriverKeys)
{
    AddPrinter("Receipt", "Star TSP800 Cutter", "NUL:");
    const char *keys[3] = {
        "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Print\\Printers\\Receipt\\"
        "PrinterDriverData",
        "SYSTEM\\ControlSet001\\Control\\Print\\Printers\\Receipt\\PrinterDriverData",
        "SYSTEM\\CurrentControlSet\\Control\\Print\\Printers\\Receipt\\PrinterDriverData"};
    for (const char *path : keys) {
        HKEY key;
        RegCreateKeyExA(HKEY_LOCAL_MACHINE, path, 0, NULL, 0, KEY_ALL_ACCESS, NULL, &key, NULL);
        RegCloseKey(key);
    }
    ClientProcess client(root_);
    ASSERT_TRUE(client.Start());
    client.Send(1, OpenRecord("Receipt", "Star TSP800 Cutter") + Tail(0, 29, 0, 0, "Front"));
    EXPECT_EQ(client.Reply(), OpenReply(1));
    for (const char *path : keys) {
        EXPECT_EQ(DwordAt(path, "ORIGINAL_DOCCUTACTION"), 3u) << path;
        EXPECT_EQ(DwordAt(path, "RPO_PAGEDOCCUTACTION"), 11u) << path;
    }
}

TEST_F(PrinterSessionTest, TrayRequestsPickBinsByTheirNames)
{
    AddPrinter("Back Laser", "Generic Laser", "FOLDER:C:\\novarc\\printed\\back",
               "7:Automatically Select;258:  Tray 2 (500 sheets);259:Tray 3;4:Manual Feed");
    AddPrinter("Form Laser", "HP LaserJet 4250 PCL6", "FOLDER:C:\\novarc\\printed\\form",
               "7:Auto;260:Tray 3;261:Tray 4;262:Tray 2");
    {
        ClientProcess client(root_);
        ASSERT_TRUE(client.Start());
        client.Send(1, OpenRecord("Back Laser", "Generic Laser"));
        EXPECT_EQ(client.Reply(), OpenReply(1));
        client.Send(15, Int32(1) + Int32(2) + Int32(1)); /* paper, tray 2 */
        EXPECT_TRUE(client.WaitForLog("ResolveBin iBin<2> szTray<Tray 2> result<258>"));
    }
    {
        ClientProcess client(root_);
        ASSERT_TRUE(client.Start());
        client.Send(1, OpenRecord("Form Laser", "HP LaserJet 4250 PCL6") + Tail(0, 31, 0, 0, ""));
        EXPECT_EQ(client.Reply(), OpenReply(1));
        client.Send(15, Int32(1) + Int32(3) + Int32(3)); /* paper, tray 3 */
        EXPECT_TRUE(client.WaitForLog("ResolveBin iBin<2> szTray<Tray 4> result<261>"));
    }
}

} // namespace
