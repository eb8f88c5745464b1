/*
 * Web pages printed by URL end to end: novarc-send drives a real client,
 * which creates the browser object (headless Chromium behind it) to print
 * a page a loopback web server serves; the printed PDF is read back with
 * poppler.  Other schemes are refused, a server that never answers fails
 * only that request, and on the fax printer the page is a fax document of
 * its own.
 */
#include <signal.h>
#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <vector>

#include "client_process.h"

namespace {

const char kPrinters[] = "SYSTEM\\CurrentControlSet\\Control\\Print\\Printers\\";
const char kBrowserClass[] = "CLSID\\{0002DF01-0000-0000-C000-000000000046}\\InprocServer32";
/* The client's 60 s wait for a page lasts 10 s: long enough for Chromium
 * on a loaded machine, short enough for the page that never comes. */
const int kUrlTimeScale = 6;

std::string Quoted(const std::string &path)
{
    return "'" + path + "'";
}

void SetSz(HKEY key, const char *name, const std::string &value)
{
    RegSetValueExA(key, name, 0, REG_SZ, (const BYTE *)value.c_str(), (DWORD)value.size() + 1);
}

void AddPrinter(const std::string &name, const std::string &driver, const std::string &port)
{
    HKEY key;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, (kPrinters + name).c_str(), 0, NULL, 0,
                              KEY_ALL_ACCESS, NULL, &key, NULL),
              ERROR_SUCCESS);
    SetSz(key, "Printer Driver", driver);
    SetSz(key, "Port", port);
    SetSz(key, "Papers", "1:2159x2794:Letter");
    RegCloseKey(key);
}

std::vector<std::string> FilesIn(const std::string &dir, const std::string &extension)
{
    std::vector<std::string> files;
    if (std::filesystem::is_directory(dir))
        for (const auto &entry : std::filesystem::directory_iterator(dir))
            if (entry.path().extension() == extension)
                files.push_back(entry.path().string());
    return files;
}

class PrintUrlTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(winport_test_install_module("KelBrowser.dll", "C:\\Windows\\system32"));
        HKEY key;
        ASSERT_EQ(RegCreateKeyExA(HKEY_CLASSES_ROOT, kBrowserClass, 0, NULL, 0, KEY_ALL_ACCESS,
                                  NULL, &key, NULL),
                  ERROR_SUCCESS);
        SetSz(key, "", "C:\\Windows\\system32\\KelBrowser.dll");
        RegCloseKey(key);
        char szDefault[MAX_PATH];
        DWORD cch = sizeof szDefault;
        ASSERT_TRUE(GetDefaultPrinterA(szDefault, &cch)); /* the embedded default, made now */
        AddPrinter("Ward PDF", "Generic PDF", "FOLDER:C:\\novarc\\printed\\ward");
        WriteText(root_.driveC("novarc/bin/PRINT_DEBUGGING_ON"), "");
        tmp_ = root_.path() + "/tmp";
        site_ = root_.path() + "/site";
        std::filesystem::create_directories(tmp_);
        std::filesystem::create_directories(site_);
        WriteText(site_ + "/page.html",
                  "<html><body><h1>Loopback clinic bulletin</h1><p>Flu shots on Tuesday</p>"
                  "</body></html>");
    }
    void TearDown() override
    {
        if (server_ > 0) {
            kill(server_, SIGKILL);
            RunCommand("wait " + std::to_string(server_) + " 2>/dev/null");
        }
        if (!HasFailure())
            return;
        printf("%s\n", Log().c_str());
    }
    /* Starts the loopback server; its base URL. */
    std::string StartServer(const std::string &args)
    {
        const std::string portFile = root_.path() + "/port";
        server_ =
            std::stol(RunCommand("/usr/bin/python3 " SOURCE_DIR "/tests/web_page_server.py " +
                                 args + " " + Quoted(portFile) + " >/dev/null 2>&1 & echo $!"));
        for (int i = 0; i < 200 && !std::filesystem::exists(portFile); i++)
            std::this_thread::sleep_for(std::chrono::milliseconds(25));
        return "http://127.0.0.1:" + ReadText(portFile);
    }
    /* Runs the job through novarc-send; its output. */
    std::string SendJob(const std::string &lines)
    {
        const std::string job = root_.path() + "/job.txt";
        WriteText(job, lines);
        int status = 0;
        const std::string out =
            RunCommand("PATH=" + Quoted(bin_.empty() ? "/usr/bin" : bin_) + ":\"$PATH\" TMPDIR=" +
                           Quoted(tmp_) + " WINPORT_ROOT=" + Quoted(root_.path()) +
                           " WINPORT_TIME_SCALE=" + std::to_string(kUrlTimeScale) +
                           " " NOVARC_SEND_EXE " --spawn " NOVARCPRINT_EXE " --wait 3000 --job " +
                           Quoted(job) + " 2>&1",
                       &status);
        EXPECT_EQ(status, 0) << out;
        EXPECT_NE(out.find("printer-open reply status 1"), std::string::npos) << out;
        return out;
    }
    std::string Log()
    {
        std::string all;
        const std::string logs = root_.driveC("novarc/bin/NovarcPrintDebug");
        if (std::filesystem::is_directory(logs))
            for (const auto &entry : std::filesystem::directory_iterator(logs))
                all += ReadText(entry.path().string());
        return all;
    }
    std::string PdfText(const std::string &pdf)
    {
        return RunCommand("pdftotext " + Quoted(pdf) + " - 2>/dev/null");
    }
    /* Nothing of Chromium is left: its work folders are gone. */
    void ExpectBrowserGone()
    {
        for (const auto &entry : std::filesystem::directory_iterator(tmp_))
            ADD_FAILURE() << "left behind: " << entry.path();
        /* "[/]": the pattern must not match the shell that runs pgrep. */
        EXPECT_EQ(RunCommand("pgrep -f " + Quoted("[/]" + tmp_.substr(1)) + " | wc -l"), "0\n");
    }
    ScratchRoot root_;
    std::string tmp_, site_, bin_;
    long server_ = -1;
};

const char kOpenWard[] =
    "OPEN_PRINTER \"s:Ward PDF\" \"s:Generic PDF\" i:66 i:0 s: i:0 i:0 i:0 i:0 s:clinic\n";

} // namespace

TEST_F(PrintUrlTest, APageOnLoopbackPrintsOnTheSessionPrinterAndOtherSchemesAreRefused)
{
    const std::string base = StartServer("serve " + Quoted(site_));
    SendJob(std::string(kOpenWard) + "RECEIVE_PRINT_URL \"s:file:///etc/hostname\"\n" +
            "RECEIVE_PRINT_URL \"s:javascript:alert(1)\"\n" +
            "RECEIVE_PRINT_URL \"s:data:text/html,<h1>inline</h1>\"\n" +
            "RECEIVE_PRINT_URL \"s:" + base + "/page.html\"\nCLOSE_PRINTER\n");
    const std::string log = Log();
    for (const char *url : {"file:///etc/hostname", "javascript:alert(1)", "data:text/html"}) {
        const std::string refused = std::string("ThreadReceivePrintUrl( ") + url;
        const size_t at = log.find(refused);
        ASSERT_NE(at, std::string::npos) << url;
        EXPECT_NE(log.find("REFUSED", at), std::string::npos) << url;
    }
    /* The page went to the session's printer, not the default one, as a
     * job of its own; the job's own empty document leaves no blank sheet. */
    const std::vector<std::string> pdfs = FilesIn(root_.driveC("novarc/printed/ward"), ".pdf");
    ASSERT_EQ(pdfs.size(), 1u);
    const std::string text = PdfText(pdfs[0]);
    EXPECT_NE(text.find("Loopback clinic bulletin"), std::string::npos) << text;
    EXPECT_NE(text.find("Flu shots on Tuesday"), std::string::npos) << text;
    for (const std::string &pdf : FilesIn(root_.driveC("novarc/printed"), ".pdf"))
        EXPECT_EQ(PdfText(pdf).find("inline"), std::string::npos);
    /* The previous default printer is back, and the lock is free. */
    char szDefault[MAX_PATH];
    DWORD cch = sizeof szDefault;
    ASSERT_TRUE(GetDefaultPrinterA(szDefault, &cch));
    EXPECT_STREQ(szDefault, "Workstation PDF");
    HANDLE lock = CreateMutexA(NULL, FALSE, "KEL_Default_Printer_Lock");
    ASSERT_NE(lock, nullptr);
    const DWORD wait = WaitForSingleObject(lock, 0);
    EXPECT_TRUE(wait == WAIT_OBJECT_0 || wait == WAIT_ABANDONED) << wait;
    ReleaseMutex(lock);
    CloseHandle(lock);
    ExpectBrowserGone();
}

TEST_F(PrintUrlTest, AServerThatNeverAnswersFailsThatRequestOnlyWithinTheBound)
{
    const std::string base = StartServer("silent");
    const auto start = std::chrono::steady_clock::now();
    SendJob(std::string(kOpenWard) + "RECEIVE_PRINT_URL \"s:" + base + "/slow.html\"\n" +
            "PRINT_STREAM \"r:the report after the page\\r\\n\"\nCLOSE_PRINTER\n");
    const auto seconds =
        std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - start)
            .count();
    EXPECT_LT(seconds, 60); /* the 60 s wait on the test clock, and the rest of the job */
    EXPECT_NE(Log().find("the page did not complete"), std::string::npos);
    /* The job went on: the report after the page is printed. */
    const std::vector<std::string> pdfs = FilesIn(root_.driveC("novarc/printed/ward"), ".pdf");
    ASSERT_EQ(pdfs.size(), 1u);
    EXPECT_NE(PdfText(pdfs[0]).find("the report after the page"), std::string::npos);
    ExpectBrowserGone();
}

/* On the fax printer the page is a fax document of its own: the cover
 * printed before it is ended and moved out first, the page is moved out
 * under the next number, and the document after it starts empty. */
TEST_F(PrintUrlTest, OnTheFaxPrinterThePageIsAFaxDocumentOfItsOwn)
{
    AddPrinter("VSIFAX Server", "VSI-FAX Driver", "MONITOR:vfxport.dll");
    WriteText(root_.driveC("Windows/system32/vfxport.dll"), "");
    bin_ = root_.path() + "/bin";
    std::filesystem::create_directories(bin_);
    WriteText(bin_ + "/vfxsched", "#!/bin/sh\necho 'vfxsched version 6.0'\n");
    chmod((bin_ + "/vfxsched").c_str(), 0755);
    const std::string base = StartServer("serve " + Quoted(site_));
    SendJob("OPEN_PRINTER \"s:VSIFAX Server\" \"s:VSI-FAX Driver\" i:66 i:0 s: i:0 i:0 i:0 "
            "i:4711 s:clinic\n"
            "PRINT_STREAM \"r:fax cover page\\r\\n\"\n"
            "RECEIVE_PRINT_URL \"s:" +
            base + "/page.html\"\nCLOSE_PRINTER\n");
    const std::string spool = root_.driveC("Vsi-fax/Server/spool/temp/");
    const std::string cover = ReadText(spool + "currentpcl4711_1.pcl");
    const std::string page = ReadText(spool + "currentpcl4711_2.pcl");
    EXPECT_EQ(cover.compare(0, 2,
                            "\x1b"
                            "E"),
              0)
        << "no PCL cover";
    EXPECT_EQ(page.compare(0, 2,
                           "\x1b"
                           "E"),
              0)
        << "no PCL page";
    EXPECT_NE(page, cover);
    EXPECT_FALSE(std::filesystem::exists(spool + "currentpcl4711_3.pcl"));
    EXPECT_FALSE(std::filesystem::exists(spool + "currentpcl.pcl"));
    char szDefault[MAX_PATH];
    DWORD cch = sizeof szDefault;
    ASSERT_TRUE(GetDefaultPrinterA(szDefault, &cch));
    EXPECT_STREQ(szDefault, "Workstation PDF");
}
