/*
 * Conformance tests: last error, time, process and thread identity,
 * computer name, Windows and system folders.
 */
#include <gtest/gtest.h>

#include <windows.h>

#include <cctype>
#include <chrono>
#include <cstring>
#include <ctime>
#include <string>
#include <thread>
#include <sys/wait.h>
#include <unistd.h>

namespace {

TEST(LastError, IsKeptPerThread)
{
    SetLastError(1234);
    DWORD other = 0;
    std::thread t([&] {
        other = GetLastError();
        SetLastError(99);
    });
    t.join();
    EXPECT_EQ(other, 0u); // a new thread starts at 0
    EXPECT_EQ(GetLastError(), 1234u);
}

TEST(TickAndTime, TickCountsAdvanceInMilliseconds)
{
    ULONGLONG a = GetTickCount64();
    DWORD a32 = GetTickCount();
    Sleep(50);
    ULONGLONG b = GetTickCount64();
    EXPECT_GE(b - a, 49u);
    EXPECT_LT(b - a, 5000u);
    EXPECT_GE(GetTickCount() - a32, 49u);
    EXPECT_LT(GetTickCount() - static_cast<DWORD>(b), 1000u); // the low 32 bits of the same clock
}

TEST(TickAndTime, SleepWaitsAtLeastTheTime)
{
    auto start = std::chrono::steady_clock::now();
    Sleep(30);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(30));
}

TEST(TickAndTime, SleepZeroReturnsAtOnce)
{
    auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < 100; i++)
        Sleep(0);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
}

void ExpectSane(const SYSTEMTIME &st)
{
    EXPECT_GE(st.wYear, 2024);
    EXPECT_GE(st.wMonth, 1);
    EXPECT_LE(st.wMonth, 12);
    EXPECT_GE(st.wDay, 1);
    EXPECT_LE(st.wDay, 31);
    EXPECT_LE(st.wDayOfWeek, 6);
    EXPECT_LE(st.wHour, 23);
    EXPECT_LE(st.wMinute, 59);
    EXPECT_LE(st.wSecond, 59);
    EXPECT_LE(st.wMilliseconds, 999);
}

TEST(TickAndTime, SystemTimeIsUtcWithDayOfWeek)
{
    SYSTEMTIME st;
    std::memset(&st, 0xcc, sizeof st);
    time_t before = time(nullptr);
    GetSystemTime(&st);
    ExpectSane(st);
    struct tm tm;
    gmtime_r(&before, &tm);
    if (tm.tm_mday == st.wDay) { // not across midnight
        EXPECT_EQ(st.wYear, tm.tm_year + 1900);
        EXPECT_EQ(st.wMonth, tm.tm_mon + 1);
        EXPECT_EQ(st.wDayOfWeek, tm.tm_wday); // Sunday is 0 on both sides
    }
}

TEST(TickAndTime, LocalTimeFollowsTheTimeZone)
{
    SYSTEMTIME st;
    time_t before = time(nullptr);
    GetLocalTime(&st);
    ExpectSane(st);
    struct tm tm;
    localtime_r(&before, &tm);
    if (tm.tm_hour == st.wHour && tm.tm_mday == st.wDay) {
        EXPECT_EQ(st.wDayOfWeek, tm.tm_wday);
    }
}

TEST(ProcessIdentity, ProcessIdIsThePid)
{
    EXPECT_EQ(GetCurrentProcessId(), static_cast<DWORD>(getpid()));
}

TEST(ProcessIdentity, ThreadIdsDifferPerThreadAndTheMainThreadsIsThePid)
{
    DWORD mine = GetCurrentThreadId();
    DWORD other = 0;
    std::thread t([&] { other = GetCurrentThreadId(); });
    t.join();
    EXPECT_NE(mine, 0u);
    EXPECT_NE(other, 0u);
    EXPECT_NE(mine, other);
    EXPECT_EQ(mine, GetCurrentThreadId());
    EXPECT_EQ(mine, static_cast<DWORD>(gettid()));
}

TEST(ProcessIdentity, AForkedChildHasItsOwnIds)
{
    const DWORD parentThread = GetCurrentThreadId();
    pid_t pid = fork();
    if (pid == 0) {
        const bool ok = GetCurrentProcessId() == static_cast<DWORD>(getpid()) &&
                        GetCurrentThreadId() == static_cast<DWORD>(getpid()) &&
                        GetCurrentThreadId() != parentThread;
        _exit(ok ? 0 : 1);
    }
    int status = -1;
    waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

std::string ExpectedComputerName()
{
    char host[256] = {};
    gethostname(host, sizeof host - 1);
    std::string name(host, std::strcspn(host, "."));
    if (name.size() > MAX_COMPUTERNAME_LENGTH)
        name.resize(MAX_COMPUTERNAME_LENGTH);
    for (char &c : name)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return name;
}

TEST(ComputerName, IsTheUpperCasedShortHostName)
{
    char buf[MAX_COMPUTERNAME_LENGTH + 1];
    DWORD size = sizeof buf;
    ASSERT_TRUE(GetComputerNameA(buf, &size));
    const std::string expected = ExpectedComputerName();
    EXPECT_EQ(std::string(buf), expected);
    EXPECT_EQ(size, expected.size()); // without the NUL
}

TEST(ComputerName, AShortBufferFailsWithBufferOverflowAndTheSizeNeeded)
{
    const std::string expected = ExpectedComputerName();
    char buf[MAX_COMPUTERNAME_LENGTH + 1];
    std::memset(buf, 'x', sizeof buf);
    DWORD size = static_cast<DWORD>(expected.size()); // no room for the NUL
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(GetComputerNameA(buf, &size));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_BUFFER_OVERFLOW);
    EXPECT_EQ(size, expected.size() + 1);
    size = 0;
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(GetComputerNameA(nullptr, &size));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_BUFFER_OVERFLOW);
    EXPECT_EQ(size, expected.size() + 1);
}

TEST(SystemFolders, SystemDirectoryIsWindowsSystem32)
{
    char buf[MAX_PATH];
    EXPECT_EQ(GetSystemDirectoryA(buf, sizeof buf), 19u);
    EXPECT_STREQ(buf, "C:\\Windows\\system32");
    EXPECT_EQ(GetWindowsDirectoryA(buf, sizeof buf), 10u);
    EXPECT_STREQ(buf, "C:\\Windows");
}

TEST(SystemFolders, AShortBufferGetsTheSizeNeededAndNothingWritten)
{
    char buf[19];
    std::memset(buf, 'x', sizeof buf);
    EXPECT_EQ(GetSystemDirectoryA(buf, sizeof buf), 20u); // with the NUL
    EXPECT_EQ(buf[0], 'x');
    EXPECT_EQ(GetSystemDirectoryA(nullptr, 0), 20u);
    EXPECT_EQ(GetWindowsDirectoryA(buf, 10), 11u);
    EXPECT_EQ(buf[0], 'x');
    EXPECT_EQ(GetWindowsDirectoryA(buf, 11), 10u);
    EXPECT_STREQ(buf, "C:\\Windows");
}

} // namespace
