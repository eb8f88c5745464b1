/*
 * The service's own logic without a process: which client a first message
 * selects, the version lock file, the log's line format and its trimming,
 * the converter folders and the window lookup by process id.
 */
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include <sys/stat.h>
#include <unistd.h>

#include <scratch_root.h>

#include "printkeeper.h"

namespace {

std::string Int32(int v)
{
    std::string s(4, '\0');
    for (int i = 0; i < 4; i++)
        s[i] = (char)((unsigned)v >> (8 * i));
    return s;
}

std::string VersionMessage(const std::string &major, const std::string &minor)
{
    return Int32(30) + Int32(22) +
           "<?xml version=\"1.0\"?><NovarcPrintOptions><NovarcPrintMajorVersion>" + major +
           "</NovarcPrintMajorVersion><NovarcPrintMinorVersion>" + minor +
           "</NovarcPrintMinorVersion></NovarcPrintOptions>";
}

std::string Slurp(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream all;
    all << in.rdbuf();
    return all.str();
}

void WriteFile(const std::string &path, const std::string &bytes)
{
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << bytes;
}

std::string Choose(const std::string &message)
{
    char szPath[MAX_PATH];
    ChooseClientPath(message.data(), (int)message.size(), szPath, sizeof(szPath));
    return szPath;
}

class ServiceTest : public ::testing::Test {
protected:
    ScratchRoot root;
    std::string Log()
    {
        return Slurp(root.driveC("novarc/bin/Services/ErrorLogs/Printkeeper.log"));
    }
    void SetUp() override { CreateFolderTree(ERROR_LOGS_DIR); }
};

TEST_F(ServiceTest, FirstMessageChoosesTheClient)
{
    /* Both numbers and the file present: the versioned client, minor first. */
    WriteFile(root.driveC("novarc/bin2/novarcprint.859.237.exe"), "client");
    EXPECT_EQ(Choose(VersionMessage("237", "859")), "C:\\novarc\\bin2\\novarcprint.859.237.exe");
    EXPECT_EQ(Log(), "");

    /* Only a major version, or no version at all: the default, silently. */
    EXPECT_EQ(Choose(VersionMessage("237", "")), DEFAULT_CLIENT_PATH);
    EXPECT_EQ(Choose(VersionMessage("", "")), DEFAULT_CLIENT_PATH);
    EXPECT_EQ(Log(), "");

    /* Any other first message is consumed without choosing. */
    EXPECT_EQ(Choose(Int32(1) + "Office Laser"), DEFAULT_CLIENT_PATH);
    EXPECT_EQ(Choose(Int32(30) + Int32(21) + "<NovarcPrintOptions/>"), DEFAULT_CLIENT_PATH);
    EXPECT_EQ(Choose(std::string("\x1e\0\0", 3)), DEFAULT_CLIENT_PATH);
    EXPECT_EQ(Choose(""), DEFAULT_CLIENT_PATH);
    EXPECT_EQ(Log(), "");

    /* A named version that is not installed falls back and says so. */
    EXPECT_EQ(Choose(VersionMessage("238", "860")), DEFAULT_CLIENT_PATH);
    EXPECT_NE(
        Log().find(" ReceiveNovarcVersionInfo() File:C:\\novarc\\bin2\\novarcprint.860.238.exe "
                   "Does Not Exist. Defaulting to C:\\novarc\\bin2\\novarcprint.exe \r\n"),
        std::string::npos)
        << Log();
}

TEST_F(ServiceTest, VersionDocumentIsReadDefensively)
{
    int iMajor = -1, iMinor = -1;
    /* Broken XML is still a version-info message, with nothing in it. */
    std::string broken = Int32(30) + Int32(22) + "<NovarcPrintOptions><NovarcPrintMajorVersion>23";
    EXPECT_TRUE(ParseVersionInfo(broken.data(), (int)broken.size(), &iMajor, &iMinor));
    EXPECT_EQ(iMajor, 0);
    EXPECT_EQ(iMinor, 0);

    /* The document may sit deeper and carry other elements; numbers that
     * are not numbers, or do not fit, read as 0. */
    std::string nested = Int32(30) + Int32(22) +
                         "<Envelope><NovarcPrintOptions><Other>1</Other>"
                         "<NovarcPrintMajorVersion> 12 </NovarcPrintMajorVersion>"
                         "<NovarcPrintMinorVersion>x9</NovarcPrintMinorVersion>"
                         "</NovarcPrintOptions></Envelope>";
    EXPECT_TRUE(ParseVersionInfo(nested.data(), (int)nested.size(), &iMajor, &iMinor));
    EXPECT_EQ(iMajor, 12);
    EXPECT_EQ(iMinor, 0);
    std::string huge = VersionMessage("99999999999999999999", "1");
    EXPECT_TRUE(ParseVersionInfo(huge.data(), (int)huge.size(), &iMajor, &iMinor));
    EXPECT_EQ(iMajor, 0);

    /* Only the first 2164 bytes of the document count: a version after
     * them is not seen. */
    std::string padded = Int32(30) + Int32(22) + "<NovarcPrintOptions><!--" +
                         std::string(2200, 'p') +
                         "--><NovarcPrintMajorVersion>237</NovarcPrintMajorVersion>"
                         "<NovarcPrintMinorVersion>859</NovarcPrintMinorVersion>"
                         "</NovarcPrintOptions>";
    EXPECT_TRUE(ParseVersionInfo(padded.data(), (int)padded.size(), &iMajor, &iMinor));
    EXPECT_EQ(iMajor, 0);
    EXPECT_EQ(iMinor, 0);
    EXPECT_FALSE(ParseVersionInfo(nullptr, 0, &iMajor, &iMinor));
}

TEST_F(ServiceTest, LockedVersionIsTheFirstThreeCharactersOfTheFirstLine)
{
    EXPECT_EQ(ParseLockedVersion("237"), 237);
    EXPECT_EQ(ParseLockedVersion("2381"), 238);
    EXPECT_EQ(ParseLockedVersion("12"), 12);
    EXPECT_EQ(ParseLockedVersion(""), 0);
    EXPECT_EQ(ParseLockedVersion("abc"), 0);

    EXPECT_EQ(ReadLockedVersion(), 0); /* no file: no lock */
    WriteFile(root.driveC("novarc/bin/Services/ServiceVersionLocked.txt"), "238\r\n237\r\n");
    EXPECT_EQ(ReadLockedVersion(), 238);
    WriteFile(root.driveC("novarc/bin/Services/ServiceVersionLocked.txt"), "");
    EXPECT_EQ(ReadLockedVersion(), 0);
}

TEST_F(ServiceTest, LogLinesCarryTheTimeToTheMillisecond)
{
    SYSTEMTIME st = {};
    st.wYear = 2026;
    st.wMonth = 3;
    st.wDay = 7;
    st.wHour = 9;
    st.wMinute = 5;
    st.wSecond = 4;
    st.wMilliseconds = 12;
    char szLine[256];
    FormatLogLine(st, "Print service Version 237.859 started.", false, szLine, sizeof(szLine));
    EXPECT_STREQ(szLine, "3/7/2026 at 9:5:4:12 Print service Version 237.859 started. \r\n");
    FormatLogLine(st, "x", true, szLine, sizeof(szLine));
    EXPECT_STREQ(szLine, "3/7/2026  at 9:5:4:12 x \r\n");

    /* Debug lines only while the marker was there at start. */
    g_Printkeeper.bDebugLog = false;
    DebugLogLine("hidden %d", 1);
    LogLine("shown %d", 2);
    g_Printkeeper.bDebugLog = true;
    DebugLogLine("debug %d", 3);
    g_Printkeeper.bDebugLog = false;
    const std::string log = Log();
    EXPECT_EQ(log.find("hidden"), std::string::npos);
    EXPECT_NE(log.find(" at "), std::string::npos);
    EXPECT_NE(log.find(" shown 2 \r\n"), std::string::npos);
    EXPECT_NE(log.find("  at "), std::string::npos);
    EXPECT_NE(log.find(" debug 3 \r\n"), std::string::npos);
}

TEST_F(ServiceTest, RotationKeepsTheOldLogOnceAndTheLastMegabyte)
{
    const std::string logPath = root.driveC("novarc/bin/Services/ErrorLogs/Printkeeper.log");
    const std::string oldPath = root.driveC("novarc/bin/Services/ErrorLogs/Printkeeper_old.log");
    const std::string tmpPath = root.driveC("novarc/bin/Services/ErrorLogs/Printkeeper.tmp");

    /* First start with a log: it becomes the old log. */
    WriteFile(logPath, "first life\r\n");
    RotateServiceLog();
    EXPECT_EQ(Slurp(oldPath), "first life\r\n");
    EXPECT_FALSE(std::filesystem::exists(logPath));

    /* The old log stays; a 1500000-byte log keeps its last 1000000 bytes,
     * even with a scratch file left by an earlier start. */
    std::string big;
    for (int i = 0; big.size() < 1500000; i++)
        big += "line " + std::to_string(i) + "\r\n";
    big.resize(1500000);
    WriteFile(logPath, big);
    WriteFile(tmpPath, "stale scratch");
    RotateServiceLog();
    EXPECT_EQ(Slurp(oldPath), "first life\r\n");
    EXPECT_EQ(Slurp(logPath), big.substr(500000));
    EXPECT_FALSE(std::filesystem::exists(tmpPath));

    /* Small logs are left alone. */
    RotateServiceLog();
    EXPECT_EQ(Slurp(logPath).size(), 1000000u);
}

TEST_F(ServiceTest, ConverterFoldersLoseTheirFilesButNotTheirFolders)
{
    WriteFile(root.driveC("novarc/convert_pdf/a.pdf"), "a");
    WriteFile(root.driveC("novarc/convert_pdf/b.part"), "b");
    WriteFile(root.driveC("novarc/convert_pdf/mobile/c.pdf"), "c");
    CleanOutConvertPdfDir("c:\\novarc\\convert_pdf\\");
    EXPECT_FALSE(std::filesystem::exists(root.driveC("novarc/convert_pdf/a.pdf")));
    EXPECT_FALSE(std::filesystem::exists(root.driveC("novarc/convert_pdf/b.part")));
    EXPECT_TRUE(std::filesystem::exists(root.driveC("novarc/convert_pdf/mobile/c.pdf")));
    EXPECT_NE(Log().find(" CleanOutConvertPdfDir( c:\\novarc\\convert_pdf\\ )  \r\n"),
              std::string::npos)
        << Log();
    CleanOutConvertPdfDir("c:\\novarc\\no_such_folder\\"); /* nothing to do, no harm */
}

TEST_F(ServiceTest, ProgramFolderIsHardenedWithWhatIsDirectlyInIt)
{
    namespace fs = std::filesystem;
    if (geteuid() != 0)
        GTEST_SKIP() << "owner changes need root";
    const std::string bin2 = root.driveC("novarc/bin2");
    WriteFile(bin2 + "/novarcprint.exe", "client");
    WriteFile(bin2 + "/sub/deeper.txt", "x");
    for (const std::string &p : {bin2, bin2 + "/novarcprint.exe", bin2 + "/sub/deeper.txt"}) {
        chmod(p.c_str(), 0777);
        (void)!chown(p.c_str(), 65534, 65534);
    }
    /* The folder (its inheritable entries reach what it holds, as on
     * Windows), then each entry explicitly. */
    HardenDirectory(BIN2_DIR, false);
    struct stat st;
    ASSERT_EQ(stat(bin2.c_str(), &st), 0);
    EXPECT_EQ(st.st_uid, 0u);
    EXPECT_EQ(st.st_mode & 0777, 0755u);

    HardenDirectory(BIN2_DIR, true);
    ASSERT_EQ(stat((bin2 + "/novarcprint.exe").c_str(), &st), 0);
    EXPECT_EQ(st.st_uid, 0u);
    EXPECT_EQ(st.st_mode & 0777, 0755u);

    /* A missing folder is created protected. */
    fs::remove_all(bin2);
    HardenDirectory(BIN2_DIR, false);
    ASSERT_EQ(stat(bin2.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 022, 0u);
}

TEST_F(ServiceTest, WindowLookupFindsTheProcessWindow)
{
    EXPECT_EQ(FindWindowForProcess(GetCurrentProcessId()), (HWND)NULL);
    WNDCLASSA wc = {};
    wc.lpfnWndProc = DefWindowProcA;
    wc.lpszClassName = "LookupTest";
    RegisterClassA(&wc);
    HWND hWnd = CreateWindowExA(0, "LookupTest", "t", 0, 0, 0, 1, 1, NULL, NULL, NULL, NULL);
    ASSERT_NE(hWnd, (HWND)NULL);
    EXPECT_EQ(FindWindowForProcess(GetCurrentProcessId()), hWnd);
    EXPECT_EQ(FindWindowForProcess(0x7ffffff0), (HWND)NULL);
    DestroyWindow(hWnd);
}

} // namespace

namespace {

TEST(AllowList, AddressesAndNetworksAdmitTheirPeersOnly)
{
    AllowList list = {};
    EXPECT_TRUE(AllowListPermits(&list, 0x7F000001)); /* no file: everyone */
    const int iBad = ParseAllowList("# the server\r\n10.0.0.5\r\n  192.168.10.0/24  \n\n"
                                    "10.1.2.3/33\nserver.local\n1.2.3\n256.1.1.1\n0.0.0.0/0x\n",
                                    &list);
    EXPECT_EQ(iBad, 5);
    EXPECT_EQ(list.iCount, 2);
    EXPECT_TRUE(AllowListPermits(&list, 0x0A000005));  /* 10.0.0.5 */
    EXPECT_FALSE(AllowListPermits(&list, 0x0A000006)); /* 10.0.0.6 */
    EXPECT_TRUE(AllowListPermits(&list, 0xC0A80AFE));  /* 192.168.10.254 */
    EXPECT_FALSE(AllowListPermits(&list, 0xC0A80B01)); /* 192.168.11.1 */
    EXPECT_FALSE(AllowListPermits(&list, 0x7F000001)); /* loopback is not listed */
    /* A file that names nobody lets nobody in; /0 lets everyone. */
    ParseAllowList("# nobody yet\n", &list);
    EXPECT_FALSE(AllowListPermits(&list, 0x0A000005));
    ParseAllowList("0.0.0.0/0\n", &list);
    EXPECT_TRUE(AllowListPermits(&list, 0xDEADBEEF));
}

} // namespace
