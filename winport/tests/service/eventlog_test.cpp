/*
 * The event log: sources, reports as lines of the application log, and
 * the errors of each call.
 */
#include "scratch_root.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <regex>

namespace {

std::string LogText(const ScratchRoot &root)
{
    std::ifstream in(root.driveC("Windows/System32/winevt/Logs/Application.log"));
    if (!in) // the root's system folder may be spelled in lower case
        in.open(root.driveC("Windows/system32/winevt/Logs/Application.log"));
    std::stringstream all;
    all << in.rdbuf();
    return all.str();
}

} // namespace

TEST(EventLog, EachReportIsOneLineOfTheApplicationLog)
{
    ScratchRoot root;
    HANDLE source = RegisterEventSourceA(nullptr, "Printkeeper");
    ASSERT_NE(source, nullptr);
    LPCSTR strings[] = {"first", "two\r\nlines"};
    ASSERT_TRUE(ReportEventA(source, EVENTLOG_ERROR_TYPE, 0, 0xC0000000 | 1001, nullptr, 2, 0,
                             strings, nullptr));
    ASSERT_TRUE(ReportEventA(source, EVENTLOG_INFORMATION_TYPE, 0, 7, nullptr, 0, 2, nullptr,
                             const_cast<char *>("\x01\xff")));
    const std::string log = LogText(root);
    std::istringstream lines(log);
    std::string first, second, third;
    std::getline(lines, first);
    std::getline(lines, second);
    EXPECT_FALSE(std::getline(lines, third)) << log;
    const std::string pid = std::to_string(GetCurrentProcessId());
    EXPECT_TRUE(
        std::regex_match(first, std::regex(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d \[)" + pid +
                                           R"(\] Printkeeper ERROR 1001: first \| two\\nlines)")))
        << first;
    EXPECT_NE(second.find("Printkeeper INFORMATION 7: data=01ff"), std::string::npos) << second;
    EXPECT_TRUE(DeregisterEventSource(source));
}

TEST(EventLog, ErrorsOfEachCall)
{
    ScratchRoot root;
    SetLastError(0xdeadbeef);
    EXPECT_EQ(RegisterEventSourceA("\\\\elsewhere-host", "X"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(RPC_S_SERVER_UNAVAILABLE));
    HANDLE source = RegisterEventSourceA(nullptr, "X");
    ASSERT_NE(source, nullptr);
    LPCSTR strings[] = {nullptr};
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(ReportEventA(source, 3, 0, 1, nullptr, 0, 0, nullptr, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(
        ReportEventA(source, EVENTLOG_WARNING_TYPE, 0, 1, nullptr, 1, 0, strings, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_TRUE(DeregisterEventSource(source));
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(
        ReportEventA(source, EVENTLOG_WARNING_TYPE, 0, 1, nullptr, 0, 0, nullptr, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(DeregisterEventSource(source));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_EQ(LogText(root), "");
}
