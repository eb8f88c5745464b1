/*
 * A fax job end to end: novarc-send drives a real client printing to the
 * fax server's printer, whose port writes each document in the fax
 * server's spool format; a scheduler script answers the version query.
 * The client moves every document out of the spool file under its job's
 * and its own number, and Ghostscript's output is read back page by page.
 */
#include <sys/stat.h>

#include <filesystem>

#include "client_process.h"

namespace {

const char kPrinters[] = "SYSTEM\\CurrentControlSet\\Control\\Print\\Printers\\";
const char kDocKey[] =
    "SYSTEM\\ControlSet001\\Control\\Print\\Monitors\\VSI-FAX Port 3.0\\Ports\\VFXSERVER:\\Doc";

std::string Quoted(const std::string &path)
{
    return "'" + path + "'";
}

void SetSz(HKEY key, const char *name, const std::string &value)
{
    RegSetValueExA(key, name, 0, REG_SZ, (const BYTE *)value.c_str(), (DWORD)value.size() + 1);
}

/* Pages of a LaserJet stream: Ghostscript ends each with an end of raster
 * graphics and a form feed. */
int PclPages(const std::string &pcl)
{
    const std::string mark = "\x1b*rB\x0c";
    int pages = 0;
    for (size_t at = pcl.find(mark); at != std::string::npos; at = pcl.find(mark, at + 1))
        pages++;
    return pages;
}

class FaxJobTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        HKEY key;
        ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE,
                                  (std::string(kPrinters) + "VSIFAX Server").c_str(), 0, NULL, 0,
                                  KEY_ALL_ACCESS, NULL, &key, NULL),
                  ERROR_SUCCESS);
        SetSz(key, "Printer Driver", "VSI-FAX Driver");
        SetSz(key, "Port", "MONITOR:vfxport.dll");
        SetSz(key, "Papers", "1:2159x2794:Letter");
        RegCloseKey(key);
        WriteText(root_.driveC("Windows/system32/vfxport.dll"), "");
        WriteText(root_.driveC("novarc/bin/PRINT_DEBUGGING_ON"), "");
        bin_ = root_.path() + "/bin";
        std::filesystem::create_directories(bin_);
        WriteText(bin_ + "/vfxsched", "#!/bin/sh\necho 'vfxsched version 6.0'\n");
        chmod((bin_ + "/vfxsched").c_str(), 0755);
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
    void Format(const char *format)
    {
        HKEY key;
        RegCreateKeyExA(HKEY_LOCAL_MACHINE, kDocKey, 0, NULL, 0, KEY_ALL_ACCESS, NULL, &key, NULL);
        SetSz(key, "Directory", "C:\\faxspool");
        SetSz(key, "Format", format);
        RegCloseKey(key);
    }
    /* Two documents: two pages, then (after the turn to landscape, which
     * starts a new one on the fax) a third page. */
    std::string SendJob()
    {
        const std::string job = root_.path() + "/job.txt";
        WriteText(job, "OPEN_PRINTER \"s:VSIFAX Server\" \"s:VSI-FAX Driver\" i:66 i:0 s: i:0 "
                       "i:0 i:0 i:4711 s:clinic\n"
                       "PRINT_STREAM \"r:first page\\r\\n\\x0csecond page\\r\\n\"\n"
                       "SET_LANDSCAPE_MODE i:1 i:0\n"
                       "PRINT_STREAM \"r:a page of the second document\\r\\n\"\n"
                       "CLOSE_PRINTER\n");
        int status = 0;
        const std::string out =
            RunCommand("PATH=" + Quoted(bin_) + ":\"$PATH\" WINPORT_ROOT=" + Quoted(root_.path()) +
                           " WINPORT_TIME_SCALE=" + std::to_string(kTimeScale) +
                           " " NOVARC_SEND_EXE " --spawn " NOVARCPRINT_EXE " --wait 3000 --job " +
                           Quoted(job) + " 2>&1",
                       &status);
        EXPECT_EQ(status, 0) << out;
        EXPECT_NE(out.find("printer-open reply status 1"), std::string::npos) << out;
        return out;
    }
    ScratchRoot root_;
    std::string bin_;
};

} // namespace

TEST_F(FaxJobTest, EachDocumentLeavesAsAPclFileOfItsOwn)
{
    SendJob();
    const std::string spool = root_.driveC("Vsi-fax/Server/spool/temp/");
    const std::string first = ReadText(spool + "currentpcl4711_1.pcl");
    const std::string second = ReadText(spool + "currentpcl4711_2.pcl");
    ASSERT_FALSE(first.empty());
    ASSERT_FALSE(second.empty());
    EXPECT_EQ(first.compare(0, 2,
                            "\x1b"
                            "E"),
              0); /* a printer reset opens every stream */
    EXPECT_EQ(PclPages(first), 2);
    EXPECT_EQ(PclPages(second), 1);
    EXPECT_FALSE(std::filesystem::exists(spool + "currentpcl.pcl"));
    EXPECT_FALSE(std::filesystem::exists(spool + "currentpcl4711_3.pcl"));
}

TEST_F(FaxJobTest, TiffPortWritesG3FaxPagesInItsOwnFolder)
{
    Format("TIFF");
    SendJob();
    const std::string spool = root_.driveC("faxspool/");
    for (const auto &[name, pages] : {std::pair<const char *, int>{"currentpcl4711_1.pcl", 2},
                                      std::pair<const char *, int>{"currentpcl4711_2.pcl", 1}}) {
        SCOPED_TRACE(name);
        int status = 0;
        const std::string info = RunCommand("tiffinfo " + Quoted(spool + name) + " 2>&1", &status);
        EXPECT_EQ(status, 0) << info;
        int directories = 0, g3 = 0;
        for (size_t at = info.find("TIFF Directory"); at != std::string::npos;
             at = info.find("TIFF Directory", at + 1))
            directories++;
        for (size_t at = info.find("CCITT Group 3"); at != std::string::npos;
             at = info.find("CCITT Group 3", at + 1))
            g3++;
        EXPECT_EQ(directories, pages) << info;
        EXPECT_EQ(g3, pages) << info;
    }
}
