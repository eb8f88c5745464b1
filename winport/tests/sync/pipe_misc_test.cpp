/*
 * Conformance tests: anonymous pipes through ReadFile/WriteFile, GUIDs,
 * GetVersionExA, GetModuleFileNameA.
 */
#include "scratch_root.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <future>
#include <string>

namespace {

class Pipe : public ::testing::Test {
protected:
    Pipe() { EXPECT_TRUE(CreatePipe(&read_, &write_, nullptr, 0)); }
    ~Pipe() override
    {
        if (read_)
            CloseHandle(read_);
        if (write_)
            CloseHandle(write_);
    }
    void CloseRead()
    {
        CloseHandle(read_);
        read_ = nullptr;
    }
    void CloseWrite()
    {
        CloseHandle(write_);
        write_ = nullptr;
    }
    ScratchRoot root_;
    HANDLE read_ = nullptr, write_ = nullptr;
};

TEST_F(Pipe, ReadReturnsWhatIsThereWithoutWaitingForMore)
{
    DWORD n = 0;
    EXPECT_TRUE(WriteFile(write_, "abc", 3, &n, nullptr));
    EXPECT_EQ(n, 3u);
    char buf[2000];
    auto reader = std::async(std::launch::async, [&] {
        DWORD got = 0;
        return ReadFile(read_, buf, sizeof buf, &got, nullptr) ? got : 0u;
    });
    ASSERT_EQ(reader.wait_for(std::chrono::seconds(20)), std::future_status::ready);
    EXPECT_EQ(reader.get(), 3u);
    EXPECT_EQ(std::string(buf, 3), "abc");
}

TEST_F(Pipe, ReadAfterTheWritersAreGoneFailsWithBrokenPipe)
{
    DWORD n = 0;
    WriteFile(write_, "x", 1, &n, nullptr);
    CloseWrite();
    char buf[8];
    EXPECT_TRUE(ReadFile(read_, buf, sizeof buf, &n, nullptr));
    EXPECT_EQ(n, 1u);
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(ReadFile(read_, buf, sizeof buf, &n, nullptr));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_BROKEN_PIPE);
    EXPECT_EQ(n, 0u);
}

TEST_F(Pipe, WriteWithNoReaderFailsWithNoDataAndTheProcessLivesOn)
{
    CloseRead();
    DWORD n = 99;
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(WriteFile(write_, "lost", 4, &n, nullptr));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_NO_DATA);
    EXPECT_EQ(n, 0u);
}

TEST_F(Pipe, EndsOnlyWorkInTheirDirection)
{
    char c = 0;
    DWORD n = 0;
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(WriteFile(read_, "x", 1, &n, nullptr));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_ACCESS_DENIED);
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(ReadFile(write_, &c, 1, &n, nullptr));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_ACCESS_DENIED);
}

TEST(Guid, NewGuidsDifferAndAreRandomVersionFour)
{
    GUID a{}, b{};
    EXPECT_EQ(CoCreateGuid(&a), S_OK);
    EXPECT_EQ(CoCreateGuid(&b), S_OK);
    EXPECT_NE(std::memcmp(&a, &b, sizeof a), 0);
    EXPECT_EQ(a.Data3 >> 12, 4);
    EXPECT_EQ(a.Data4[0] & 0xC0, 0x80);
    EXPECT_EQ(CoCreateGuid(nullptr), E_INVALIDARG);
}

TEST(Guid, StringFormIsBracedUpperCaseHex)
{
    const GUID g{0x0002DF01, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
    OLECHAR text[39];
    EXPECT_EQ(StringFromGUID2(g, text, 39), 39);
    std::string narrow;
    for (OLECHAR c : text)
        narrow += static_cast<char>(c);
    EXPECT_EQ(narrow, std::string("{0002DF01-0000-0000-C000-000000000046}") + '\0');
    EXPECT_EQ(StringFromGUID2(g, text, 38), 0);
}

TEST(Version, ReportsAWindowsSixNtSystem)
{
    OSVERSIONINFOA info{};
    info.dwOSVersionInfoSize = sizeof info;
    EXPECT_TRUE(GetVersionExA(&info));
    EXPECT_EQ(info.dwMajorVersion, 6u);
    EXPECT_EQ(info.dwPlatformId, (DWORD)VER_PLATFORM_WIN32_NT);
    OSVERSIONINFOEXA ex{};
    ex.dwOSVersionInfoSize = sizeof ex;
    EXPECT_TRUE(GetVersionExA(reinterpret_cast<LPOSVERSIONINFOA>(&ex)));
    EXPECT_EQ(ex.wProductType, VER_NT_WORKSTATION);
}

TEST(Version, WrongStructureSizeFailsWithInsufficientBuffer)
{
    OSVERSIONINFOA info{};
    info.dwOSVersionInfoSize = sizeof info - 1;
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(GetVersionExA(&info));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INSUFFICIENT_BUFFER);
}

TEST(ModuleFileName, ProgramOutsideTheRootIsShownOnDriveZ)
{
    char path[MAX_PATH];
    const DWORD n = GetModuleFileNameA(nullptr, path, sizeof path);
    ASSERT_GT(n, 0u);
    EXPECT_EQ(n, std::strlen(path));
    EXPECT_EQ(std::string(path, 3), "Z:\\");
    EXPECT_NE(std::string(path).find("winport_kernel_misc_test"), std::string::npos);
    EXPECT_EQ(std::string(path).find('/'), std::string::npos);
}

TEST(ModuleFileName, ShortBufferGetsTheTruncatedPathAndInsufficientBuffer)
{
    char full[MAX_PATH];
    ASSERT_GT(GetModuleFileNameA(nullptr, full, sizeof full), 8u);
    char path[8];
    std::memset(path, 'x', sizeof path);
    SetLastError(0xdeadbeef);
    EXPECT_EQ(GetModuleFileNameA(nullptr, path, sizeof path), 8u);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(path[7], '\0');
    EXPECT_EQ(std::string(path), std::string(full, 7));
}

} // namespace
