/*
 * The fax server's printer in process: where the spool file is found, the
 * per-document names, the clean-up of a dead job's files, the busy check,
 * and a job of two documents moved out of the spool file one by one.
 * A small script stands in for the fax server's scheduler.
 */
#include <sys/stat.h>

#include <cstdlib>

#include "draw.h"
#include "printer.h"
#include "session_fixture.h"

namespace {

const char kFaxPrinter[] = "VSIFAX Server";
const char kPortsKey[] = "SYSTEM\\ControlSet001\\Control\\Print\\Monitors\\";

void SetValue(const std::string &key, const char *name, const std::string &value)
{
    HKEY h;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, (std::string(kPortsKey) + key).c_str(), 0, NULL,
                              0, KEY_ALL_ACCESS, NULL, &h, NULL),
              ERROR_SUCCESS);
    if (name)
        RegSetValueExA(h, name, 0, REG_SZ, (const BYTE *)value.c_str(), (DWORD)value.size() + 1);
    RegCloseKey(h);
}

std::string SpoolPath()
{
    char path[MAX_PATH];
    LookUpVsiSpoolPath(path, sizeof(path));
    return path;
}

class FaxSpoolPathTest : public SessionTest {
protected:
    void TearDown() override
    {
        unsetenv("VSITEMP");
        SessionTest::TearDown();
    }
};

TEST_F(FaxSpoolPathTest, PortKeysDecideInOrderAndFallBackToTheDefault)
{
    EXPECT_EQ(SpoolPath(), DEFAULT_FAX_SPOOL_PATH);

    /* The oldest port's key, without a file part: the default. */
    SetValue("VSI-FAX Port 2.0\\Ports", "VFXSERVER:", "D:\\fax\\spool");
    EXPECT_EQ(SpoolPath(), DEFAULT_FAX_SPOOL_PATH);
    SetValue("VSI-FAX Port 2.0\\Ports", "VFXSERVER:", "D:\\fax\\spool,out.pcl,extra");
    EXPECT_EQ(SpoolPath(), "D:\\fax\\spool\\out.pcl");

    /* The 2.0 document folder comes before it. */
    SetValue("VSI-FAX Port 2.0\\Ports\\VFXSERVER:\\Doc", "Directory", "E:\\two");
    EXPECT_EQ(SpoolPath(), "E:\\two\\currentpcl.pcl");

    /* A 3.0 document key without a folder hands over to the 2.0 folder. */
    SetValue("VSI-FAX Port 3.0\\Ports\\VFXSERVER:\\Doc", NULL, "");
    EXPECT_EQ(SpoolPath(), "E:\\two\\currentpcl.pcl");

    /* The folder names VSITEMP: the variable's value replaces it. */
    SetValue("VSI-FAX Port 3.0\\Ports\\VFXSERVER:\\Doc", "Directory", "%VSITEMP%\\spool");
    EXPECT_EQ(SpoolPath(), "%VSITEMP%\\spool\\currentpcl.pcl");
    setenv("VSITEMP", "D:\\faxtmp", 1);
    EXPECT_EQ(SpoolPath(), "D:\\faxtmp\\currentpcl.pcl");

    /* The first port's key wins over all, even when its value is unusable. */
    SetValue("VSI-FAX Port\\Ports", "VFXSERVER:", "no comma");
    EXPECT_EQ(SpoolPath(), DEFAULT_FAX_SPOOL_PATH);
}

TEST(FaxNamesTest, DocumentNamesCarryJobAndCountBeforeTheExtension)
{
    char name[MAX_PATH];
    MakeVsiDocumentName(DEFAULT_FAX_SPOOL_PATH, 4711, 3, name, sizeof(name));
    EXPECT_STREQ(name, "C:\\Vsi-fax\\Server\\spool\\temp\\currentpcl4711_3.pcl");
    /* A dot in a folder is not the extension: the file stays in its folder. */
    MakeVsiDocumentName("D:\\fax.tmp\\currentpcl.pcl", 12, 1, name, sizeof(name));
    EXPECT_STREQ(name, "D:\\fax.tmp\\currentpcl12_1.pcl");

    EXPECT_EQ(ParseVsiFaxVersion("vfxsched version 6.1.12 (build 7)\n"), 6);
    EXPECT_EQ(ParseVsiFaxVersion("VSI-FAX  Version\t5 "), 5);
    EXPECT_EQ(ParseVsiFaxVersion("two words"), 0);
    EXPECT_EQ(ParseVsiFaxVersion(""), 0);
}

TEST_F(SessionTest, StaleSpoolFilesGoAndOthersStay)
{
    const std::string dir = root_.driveC("Vsi-fax/Server/spool/temp/");
    std::filesystem::create_directories(dir);
    for (const char *name :
         {"currentpcl.pcl", "currentpcl7_1.pcl", "currentpcl7_2.pcl", "keep.pcl", "current.pcl"})
        WriteText(dir + name, "x");
    std::filesystem::create_directories(dir + "currentpcl.d");
    EXPECT_EQ(DeleteStaleSpoolFiles(session_.get(), DEFAULT_FAX_SPOOL_PATH), 3);
    EXPECT_FALSE(std::filesystem::exists(dir + "currentpcl7_1.pcl"));
    EXPECT_TRUE(std::filesystem::exists(dir + "keep.pcl"));
    EXPECT_TRUE(std::filesystem::exists(dir + "current.pcl"));

    /* A spool file under another name: its own folder is cleaned, not a
     * folder found by cutting a fixed length off the pattern. */
    WriteText(dir + "fx1.pcl", "x");
    WriteText(root_.driveC("Vsi-fax/Server/spool/fx1.pcl"), "x");
    EXPECT_EQ(DeleteStaleSpoolFiles(session_.get(), "C:\\Vsi-fax\\Server\\spool\\temp\\fx.pcl"), 1);
    EXPECT_TRUE(std::filesystem::exists(root_.driveC("Vsi-fax/Server/spool/fx1.pcl")));
    EXPECT_EQ(DeleteStaleSpoolFiles(session_.get(), "currentpcl.pcl"), 0);
}

/* The fax printer of the test's registry on a FILE port at the spool path,
 * and a scheduler script on the PATH that answers with `version`. */
class FaxPrinterTest : public SessionTest {
protected:
    void SetUp() override
    {
        SessionTest::SetUp();
        HKEY key;
        RegCreateKeyExA(HKEY_LOCAL_MACHINE,
                        "SYSTEM\\CurrentControlSet\\Control\\Print\\Printers\\VSIFAX Server", 0,
                        NULL, 0, KEY_ALL_ACCESS, NULL, &key, NULL);
        const char driver[] = "Fax Driver";
        const std::string port = std::string("FILE:") + DEFAULT_FAX_SPOOL_PATH;
        const char papers[] = "1:2159x2794:Letter";
        RegSetValueExA(key, "Printer Driver", 0, REG_SZ, (const BYTE *)driver, sizeof(driver));
        RegSetValueExA(key, "Port", 0, REG_SZ, (const BYTE *)port.c_str(), (DWORD)port.size() + 1);
        RegSetValueExA(key, "Papers", 0, REG_SZ, (const BYTE *)papers, sizeof(papers));
        RegCloseKey(key);
        spool_ = root_.driveC("Vsi-fax/Server/spool/temp/");
        std::filesystem::create_directories(spool_);
        bin_ = root_.path() + "/bin";
        std::filesystem::create_directories(bin_);
        oldPath_ = std::getenv("PATH") ? std::getenv("PATH") : "";
        setenv("PATH", (bin_ + ":" + oldPath_).c_str(), 1);
    }
    void TearDown() override
    {
        CloseNovarcPrinter(session_.get());
        setenv("PATH", oldPath_.c_str(), 1);
        SessionTest::TearDown();
    }
    void Scheduler(const std::string &answer)
    {
        const std::string script = bin_ + "/vfxsched";
        WriteText(script, "#!/bin/sh\necho \"" + answer + "\"\n");
        chmod(script.c_str(), 0755);
    }
    bool Open(int faxJob)
    {
        std::string record = std::string(kFaxPrinter) + '\0' + "Fax Driver" + '\0' + Int32(66) +
                             Int32(0) + '\0' + Int32(0) + Int32(0) + Int32(0) + Int32(faxJob) +
                             "Dr Lee" + '\0';
        session_->m_OpenRecord = MsgBuf();
        AppendBytes(&session_->m_OpenRecord, record.data(), (int)record.size());
        bool gate = GetNovarcPrinterMutex(session_.get());
        MsgBuf msg = MsgBuf();
        AppendBytes(&msg, record.data(), (int)record.size());
        OpenNovarcPrinter(session_.get(), &msg);
        FreeMsgBuf(&msg);
        FreeMsgBuf(&session_->m_OpenRecord);
        return gate && session_->m_bOpenedPrinter;
    }
    void DrawPage(const char *text)
    {
        HDC dc = session_->m_Printer.m_hPrinterDc;
        StartPage(dc);
        TextOutA(dc, 100, 100, text, (int)strlen(text));
        session_->m_bPageOpen = true;
        session_->m_Printer.m_bPrinted = true;
    }
    short StoredOrientation()
    {
        HANDLE h = NULL;
        if (!OpenPrinterA((LPSTR)kFaxPrinter, &h, NULL))
            return 0;
        DEVMODEA *mode = ReadDeviceMode(h, kFaxPrinter);
        short orientation = mode ? mode->dmOrientation : 0;
        delete[](BYTE *) mode;
        ClosePrinter(h);
        return orientation;
    }
    std::string spool_, bin_, oldPath_;
};

TEST_F(FaxPrinterTest, EveryDocumentLeavesUnderItsOwnName)
{
    Scheduler("vfxsched version 5.2");
    WriteText(spool_ + "currentpcl9_1.pcl", "a dead job's document");
    ASSERT_TRUE(Open(12));
    EXPECT_TRUE(session_->m_bFax);
    EXPECT_EQ(session_->m_Printer.m_iFaxBusy, 0);
    EXPECT_EQ(session_->m_Printer.m_iVsiFaxVersion, 5);
    EXPECT_FALSE(std::filesystem::exists(spool_ + "currentpcl9_1.pcl"));
    EXPECT_EQ(StoredOrientation(), DMORIENT_PORTRAIT);

    /* An older scheduler: regular Arial is drawn heavier on the fax. */
    HFONT font = NULL;
    char face[LF_FACESIZE] = "Arial";
    ASSERT_EQ(CreatePrinterFont(session_.get(), session_->m_Printer.m_hPrinterDc, &font, face, 50,
                                0, FW_NORMAL, 0, 0, 0),
              0);
    LOGFONTA lf;
    GetObjectA(font, sizeof(lf), &lf);
    EXPECT_EQ(lf.lfWeight, FW_SEMIBOLD);
    DeleteObject(font);

    DrawPage("first document");
    EndFaxDocument(session_.get());
    EXPECT_TRUE(std::filesystem::exists(spool_ + "currentpcl12_1.pcl"));
    EXPECT_FALSE(std::filesystem::exists(spool_ + "currentpcl.pcl"));

    /* Another program prints the second document between the boundaries
     * (a web page, an office file); the start moves it out. */
    HDC other = CreateDCA(NULL, kFaxPrinter, NULL, NULL);
    DOCINFOA info = {sizeof(info), "outside", NULL, NULL, 0};
    ASSERT_GT(StartDocA(other, &info), 0);
    StartPage(other);
    TextOutA(other, 100, 100, "outside", 7);
    EndPage(other);
    EndDoc(other);
    DeleteDC(other);
    StartFaxDocument(session_.get());
    EXPECT_TRUE(std::filesystem::exists(spool_ + "currentpcl12_2.pcl"));
    ASSERT_TRUE(session_->m_Printer.m_hPrinterDc);

    DrawPage("third document");
    /* The page is still open at the close: it is delivered all the same. */
    ASSERT_TRUE(CloseNovarcPrinter(session_.get()));
    ASSERT_TRUE(std::filesystem::exists(spool_ + "currentpcl12_3.pcl")) << Log();
    EXPECT_GT(std::filesystem::file_size(spool_ + "currentpcl12_3.pcl"), 0u);
    EXPECT_NE(Log().find("IncrementVsiPrinterFile( C:\\Vsi-fax\\Server\\spool\\temp\\"
                         "currentpcl12_3.pcl )"),
              std::string::npos);
}

TEST_F(FaxPrinterTest, AQueuedJobFailsTheOpenAndMarksTheFaxBusy)
{
    HANDLE h = NULL;
    ASSERT_TRUE(OpenPrinterA((LPSTR)kFaxPrinter, &h, NULL));
    DOC_INFO_1A doc = {(LPSTR) "queued", NULL, (LPSTR) "RAW"};
    ASSERT_NE(StartDocPrinterA(h, 1, (LPBYTE)&doc), 0u);
    EXPECT_FALSE(Open(12));
    EXPECT_EQ(session_->m_Printer.m_iFaxBusy, 1);
    EXPECT_NE(Log().find("ERROR: VSIFAX Server Printer Jobs: 1"), std::string::npos);
    AbortPrinter(h);
    ClosePrinter(h);

    /* The flag stays for the rest of the process, and no scheduler means
     * version 0 (Arial keeps its weight only from version 6 on). */
    ASSERT_TRUE(Open(13));
    EXPECT_EQ(session_->m_Printer.m_iFaxBusy, 1);
    EXPECT_EQ(session_->m_Printer.m_iVsiFaxVersion, 0);
    /* Nothing printed: nothing moved. */
    ASSERT_TRUE(CloseNovarcPrinter(session_.get()));
    EXPECT_FALSE(std::filesystem::exists(spool_ + "currentpcl13_1.pcl"));
}

} // namespace
