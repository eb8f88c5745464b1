/*
 * The tray side of the service: the pipe's commands and who may send
 * them, the endpoint files and notices, the age rule and the clean-up of
 * old debug logs and cached scans.
 */
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include <namedpipeapi.h>
#include <scratch_root.h>

#include "printkeeper.h"

namespace {

namespace fs = std::filesystem;

std::string Slurp(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream all;
    all << in.rdbuf();
    return all.str();
}

void Put(const std::string &path, const std::string &bytes)
{
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << bytes;
}

/* A root with the service's log folder, so its log lines are kept. */
struct LoggedRoot : ScratchRoot {
    LoggedRoot() { fs::create_directories(driveC("novarc/bin/Services/ErrorLogs")); }
    std::string Log() { return Slurp(driveC("novarc/bin/Services/ErrorLogs/Printkeeper.log")); }
};

PipeCommand Parse(const std::string &bytes)
{
    return ParsePipeCommand(bytes.data(), (int)bytes.size());
}

TEST(PipeCommands, OnlyTheExactTextsCountAndReadsStayInTheMessage)
{
    EXPECT_EQ(Parse(std::string("SHUTDOWN\0", 9)), PIPE_SHUTDOWN);
    EXPECT_EQ(Parse("SHUTDOWN"), PIPE_SHUTDOWN) << "a message without its NUL";
    EXPECT_EQ(Parse(std::string("IDM_PRINT_SERVICE_DEBUG_LOG\0junk", 32)), PIPE_DEBUG_LOG);
    EXPECT_EQ(Parse(std::string("HEY\0", 4)), PIPE_KEEPALIVE);
    EXPECT_EQ(Parse("SHUTDOWNX"), PIPE_KEEPALIVE);
    EXPECT_EQ(Parse("SHUT"), PIPE_KEEPALIVE);
    EXPECT_EQ(Parse(std::string("\0SHUTDOWN", 9)), PIPE_KEEPALIVE);
    EXPECT_EQ(ParsePipeCommand(nullptr, 0), PIPE_KEEPALIVE);
    // The length bounds the read even when the bytes go on.
    const char buf[] = "SHUTDOWN";
    EXPECT_EQ(ParsePipeCommand(buf, 4), PIPE_KEEPALIVE);
    EXPECT_TRUE(PipeCommandNeedsOperator(PIPE_SHUTDOWN));
    EXPECT_TRUE(PipeCommandNeedsOperator(PIPE_DEBUG_LOG));
    EXPECT_FALSE(PipeCommandNeedsOperator(PIPE_KEEPALIVE));
}

TEST(EndpointFiles, OptionsTildesAndBounds)
{
    EndpointRecord r;
    ASSERT_TRUE(ParseEndpointLine("-N Main~Office -A 10.0.0.5", &r));
    EXPECT_STREQ(r.szName, "Main Office");
    EXPECT_STREQ(r.szAddress, "10.0.0.5");
    EXPECT_STREQ(r.szPort, "11001");
    ASSERT_TRUE(ParseEndpointLine("  -NBack~Room\t-A10.0.0.6 -Dx~y -Ww -Qignored", &r));
    EXPECT_STREQ(r.szName, "Back Room");
    EXPECT_STREQ(r.szAddress, "10.0.0.6");
    EXPECT_STREQ(r.szD, "x y");
    EXPECT_STREQ(r.szW, "w");
    EXPECT_FALSE(ParseEndpointLine("just words here", &r));
    EXPECT_FALSE(ParseEndpointLine("", &r));
    ASSERT_TRUE(ParseEndpointLine(("-N" + std::string(300, 'n')).c_str(), &r));
    EXPECT_EQ(strlen(r.szName), 100u) << "values stop at 100 characters";

    const std::string text = "12\r\n-N A -A 1.2.3.4\r\n\r\nnothing\r\n-A 5.6.7.8";
    EndpointRecord records[4];
    ASSERT_EQ(ParseEndpointText(text.data(), (int)text.size(), records, 4), 2);
    EXPECT_STREQ(records[0].szAddress, "1.2.3.4");
    EXPECT_STREQ(records[1].szAddress, "5.6.7.8");
    const std::string first = "-A 9.9.9.9\n";
    EXPECT_EQ(ParseEndpointText(first.data(), (int)first.size(), records, 4), 0)
        << "the first line is the number, never an endpoint";
}

TEST(EndpointFiles, OnlyDottedAddresses)
{
    for (const char *good : {"10.0.0.5", "0.0.0.0", "255.255.255.255", "127.000.0.1"})
        EXPECT_TRUE(IsDottedIPv4(good)) << good;
    for (const char *bad : {"", "1.2.3", "1.2.3.4.5", "256.1.1.1", "a.b.c.d", "1..2.3",
                            "server.example", "1.2.3.4 ", "1234.1.1.1"})
        EXPECT_FALSE(IsDottedIPv4(bad)) << bad;
}

TEST(EndpointFiles, EveryFileIsReadAndAddressesAreUnique)
{
    LoggedRoot root;
    Put(root.driveC("Novarc/kelfile.txt"), "1\n-N One -A 10.0.0.1\n-N Two -A 10.0.0.2\n");
    Put(root.driveC("Novarc/keltest7.txt"), "1\n-A 10.0.0.2\n-A 10.0.0.7\n");
    Put(root.driveC("Novarc/keltest999.txt"), "1\n-A 10.0.0.99\n-A gateway.example\n");
    Put(root.driveC("Novarc/keltest6.txt"), "1\n-A 10.0.0.6\n");
    Put(root.driveC("Novarc/keltest1000.txt"), "1\n-A 10.0.1.0\n");
    char addresses[8][16];
    ASSERT_EQ(CollectEndpointAddresses(addresses, 8), 4);
    EXPECT_STREQ(addresses[0], "10.0.0.1");
    EXPECT_STREQ(addresses[1], "10.0.0.2");
    EXPECT_STREQ(addresses[2], "10.0.0.7");
    EXPECT_STREQ(addresses[3], "10.0.0.99");
    EXPECT_EQ(CollectEndpointAddresses(addresses, 2), 2) << "the bound holds";
    EXPECT_NE(root.Log().find("gateway.example"), std::string::npos);
}

TEST(EndpointNotices, PeriodsStayInTheirRanges)
{
    for (unsigned r : {0u, 1u, 60u, 61u, 12345u, 0xFFFFFFFFu}) {
        DWORD found = NextNoticePeriodMs(true, r);
        EXPECT_GE(found, 300000u);
        EXPECT_LE(found, 360000u);
        DWORD none = NextNoticePeriodMs(false, r);
        EXPECT_GE(none, 60000u);
        EXPECT_LE(none, 210000u);
        EXPECT_EQ(none % 5000, 0u);
    }
    char text[128];
    FormatEndpointNotice(false, "FRONTDESK", "10.1.2.3", text, sizeof text);
    EXPECT_STREQ(text, "-EPSERVICEUPDATE -CFRONTDESK -I10.1.2.3");
    FormatEndpointNotice(true, "FRONTDESK", "10.1.2.3", text, sizeof text);
    EXPECT_STREQ(text, "-EPSERVICESTOP -CFRONTDESK -I10.1.2.3");
}

SYSTEMTIME Day(int year, int month, int day)
{
    SYSTEMTIME st = {};
    st.wYear = (WORD)year;
    st.wMonth = (WORD)month;
    st.wDay = (WORD)day;
    return st;
}

TEST(CleanUp, AgeRuleByCalendarDates)
{
    // Same month: the day difference.
    EXPECT_TRUE(IsOldFile(Day(2026, 5, 1), Day(2026, 5, 15), 14));
    EXPECT_FALSE(IsOldFile(Day(2026, 5, 2), Day(2026, 5, 15), 14));
    // Next month: only once the day of the month has passed the creation's.
    EXPECT_FALSE(IsOldFile(Day(2026, 4, 20), Day(2026, 5, 3), 14));
    EXPECT_TRUE(IsOldFile(Day(2026, 4, 20), Day(2026, 5, 21), 14));
    EXPECT_TRUE(IsOldFile(Day(2026, 3, 30), Day(2026, 5, 1), 30)) << "two months apart";
    // An earlier year: old unless it is early January.
    EXPECT_FALSE(IsOldFile(Day(2025, 12, 31), Day(2026, 1, 10), 14));
    EXPECT_TRUE(IsOldFile(Day(2025, 12, 31), Day(2026, 1, 15), 14));
    EXPECT_TRUE(IsOldFile(Day(2025, 12, 31), Day(2026, 2, 1), 14));
    // Dated in the future (a clock set wrong): never old.
    EXPECT_FALSE(IsOldFile(Day(2027, 1, 1), Day(2026, 6, 1), 14));
    EXPECT_FALSE(IsOldFile(Day(2026, 8, 1), Day(2026, 6, 20), 14));
    EXPECT_FALSE(IsOldFile(Day(2026, 6, 25), Day(2026, 6, 20), 14));
}

void Age(const std::string &path, int days)
{
    fs::last_write_time(path, fs::file_time_type::clock::now() - std::chrono::hours(24 * days));
}

TEST(CleanUp, RemovesOnlyOldFilesOfTheirKind)
{
    LoggedRoot root;
    const std::string debug = root.driveC("novarc/bin/NovarcPrintDebug/");
    const std::string scans = root.driveC("novarc/RecentScans/");
    for (const char *name : {"old.log", "new.log", "old.txt"})
        Put(debug + name, "x");
    for (const char *name : {"old.tif", "new.tif", ".old-hidden"})
        Put(scans + name, "x");
    fs::create_directories(scans + "old-folder");
    for (const std::string &path : {debug + "old.log", debug + "old.txt", scans + "old.tif",
                                    scans + ".old-hidden", scans + "old-folder"})
        Age(path, 70);
    EXPECT_EQ(CleanOutOldFiles("C:\\novarc\\bin\\NovarcPrintDebug", "*.log", 14, false,
                               "CleanOutNovarcPrintDebugFolder( %s ) "),
              1);
    EXPECT_EQ(CleanOutOldFiles("C:\\novarc\\RecentScans", "*", 30, true,
                               "CleanOutRecentScansFolder( %s ) "),
              1);
    EXPECT_FALSE(fs::exists(debug + "old.log"));
    EXPECT_FALSE(fs::exists(scans + "old.tif"));
    for (const std::string &path : {debug + "new.log", debug + "old.txt", scans + "new.tif",
                                    scans + ".old-hidden", scans + "old-folder"})
        EXPECT_TRUE(fs::exists(path)) << path;
    const std::string log = root.Log();
    EXPECT_NE(
        log.find("CleanOutNovarcPrintDebugFolder( C:\\novarc\\bin\\NovarcPrintDebug\\old.log"),
        std::string::npos);
    EXPECT_NE(log.find("CleanOutRecentScansFolder( C:\\novarc\\RecentScans\\old.tif"),
              std::string::npos);
}

} // namespace
