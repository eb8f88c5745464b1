/*
 * Conformance tests: CreateFileA dispositions and access, CloseHandle.
 */
#include <gtest/gtest.h>

#include "posix_files.h"
#include "scratch_root.h"

#include <windows.h>

#include <filesystem>
#include <set>

namespace fs = std::filesystem;

namespace {

class CreateFile : public ::testing::Test {
protected:
    HANDLE Open(const char *name, DWORD access, DWORD disposition,
                DWORD attributes = FILE_ATTRIBUTE_NORMAL)
    {
        return CreateFileA(name, access, FILE_SHARE_READ, nullptr, disposition, attributes,
                           nullptr);
    }
    ScratchRoot root_;
};

TEST_F(CreateFile, CreateNewMakesTheFileAndClearsTheLastError)
{
    SetLastError(0xdeadbeef);
    HANDLE h = Open("c:\\new.txt", GENERIC_WRITE, CREATE_NEW);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), 0u);
    EXPECT_TRUE(fs::is_regular_file(root_.driveC("new.txt")));
    EXPECT_TRUE(CloseHandle(h));
}

TEST_F(CreateFile, CreateNewOnAnExistingFileFailsWithFileExists)
{
    WriteText(root_.driveC("old.txt"), "keep");
    SetLastError(0xdeadbeef);
    EXPECT_EQ(Open("c:\\old.txt", GENERIC_WRITE, CREATE_NEW), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_FILE_EXISTS);
    EXPECT_EQ(ReadText(root_.driveC("old.txt")), "keep");
}

TEST_F(CreateFile, CreateAlwaysOnAnExistingFileTruncatesItAndReportsAlreadyExists)
{
    WriteText(root_.driveC("old.txt"), "content");
    SetLastError(0xdeadbeef);
    HANDLE h = Open("c:\\old.txt", GENERIC_WRITE, CREATE_ALWAYS);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_ALREADY_EXISTS);
    EXPECT_EQ(GetFileSize(h, nullptr), 0u);
    CloseHandle(h);
}

TEST_F(CreateFile, CreateAlwaysOnAMissingFileCreatesItWithLastErrorZero)
{
    SetLastError(0xdeadbeef);
    HANDLE h = Open("c:\\fresh.txt", GENERIC_WRITE, CREATE_ALWAYS);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), 0u);
    CloseHandle(h);
}

TEST_F(CreateFile, OpenAlwaysOnAnExistingFileKeepsItAndReportsAlreadyExists)
{
    WriteText(root_.driveC("old.txt"), "content");
    SetLastError(0xdeadbeef);
    HANDLE h = Open("c:\\old.txt", GENERIC_READ, OPEN_ALWAYS);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_ALREADY_EXISTS);
    EXPECT_EQ(GetFileSize(h, nullptr), 7u);
    CloseHandle(h);
}

TEST_F(CreateFile, OpenAlwaysOnAMissingFileCreatesItWithLastErrorZero)
{
    SetLastError(0xdeadbeef);
    HANDLE h = Open("c:\\fresh.txt", GENERIC_READ | GENERIC_WRITE, OPEN_ALWAYS);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), 0u);
    CloseHandle(h);
    EXPECT_TRUE(fs::is_regular_file(root_.driveC("fresh.txt")));
}

TEST_F(CreateFile, OpenExistingFindsTheFileWithoutRegardToCase)
{
    WriteText(root_.driveC("Novarc/Report.TXT"), "data");
    HANDLE h = Open("C:\\NOVARC\\report.txt", GENERIC_READ, OPEN_EXISTING);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    char buf[16] = {};
    DWORD got = 0;
    EXPECT_TRUE(ReadFile(h, buf, sizeof buf, &got, nullptr));
    EXPECT_EQ(std::string(buf, got), "data");
    CloseHandle(h);
}

TEST_F(CreateFile, OpenExistingOnAMissingFileFailsWithFileNotFound)
{
    SetLastError(0xdeadbeef);
    EXPECT_EQ(Open("c:\\missing.txt", GENERIC_READ, OPEN_EXISTING), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_FILE_NOT_FOUND);
}

TEST_F(CreateFile, AMissingFolderFailsWithPathNotFound)
{
    SetLastError(0xdeadbeef);
    EXPECT_EQ(Open("c:\\nodir\\missing.txt", GENERIC_READ, OPEN_EXISTING), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_PATH_NOT_FOUND);
    SetLastError(0xdeadbeef);
    EXPECT_EQ(Open("c:\\nodir\\new.txt", GENERIC_WRITE, CREATE_ALWAYS), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_PATH_NOT_FOUND);
}

TEST_F(CreateFile, TruncateExistingEmptiesTheFile)
{
    WriteText(root_.driveC("old.txt"), "content");
    SetLastError(0xdeadbeef);
    HANDLE h = Open("c:\\old.txt", GENERIC_WRITE, TRUNCATE_EXISTING);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), 0u);
    EXPECT_EQ(GetFileSize(h, nullptr), 0u);
    CloseHandle(h);
}

TEST_F(CreateFile, TruncateExistingOnAMissingFileFailsWithFileNotFound)
{
    SetLastError(0xdeadbeef);
    EXPECT_EQ(Open("c:\\missing.txt", GENERIC_WRITE, TRUNCATE_EXISTING), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_FILE_NOT_FOUND);
}

TEST_F(CreateFile, TruncateExistingNeedsWriteAccess)
{
    WriteText(root_.driveC("old.txt"), "content");
    SetLastError(0xdeadbeef);
    EXPECT_EQ(Open("c:\\old.txt", GENERIC_READ, TRUNCATE_EXISTING), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_PARAMETER);
    EXPECT_EQ(ReadText(root_.driveC("old.txt")), "content");
}

TEST_F(CreateFile, AnUnknownDispositionFailsWithInvalidParameter)
{
    for (DWORD disposition : {0u, 6u, 0xffffffffu}) {
        SetLastError(0xdeadbeef);
        EXPECT_EQ(Open("c:\\x.txt", GENERIC_WRITE, disposition), INVALID_HANDLE_VALUE);
        EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_PARAMETER);
    }
    EXPECT_FALSE(fs::exists(root_.driveC("x.txt")));
}

TEST_F(CreateFile, AFolderCannotBeOpenedAsAFile)
{
    fs::create_directories(root_.driveC("dir"));
    SetLastError(0xdeadbeef);
    EXPECT_EQ(Open("c:\\dir", GENERIC_READ, OPEN_EXISTING), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_ACCESS_DENIED);
    SetLastError(0xdeadbeef);
    EXPECT_EQ(Open("c:\\dir", GENERIC_WRITE, CREATE_ALWAYS), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_ACCESS_DENIED);
}

TEST_F(CreateFile, WriteAccessToAReadOnlyFileIsDenied)
{
    WriteText(root_.driveC("ro.txt"), "content");
    MakeReadOnly(root_.driveC("ro.txt"));
    for (DWORD disposition : {(DWORD)OPEN_EXISTING, (DWORD)OPEN_ALWAYS, (DWORD)CREATE_ALWAYS}) {
        SetLastError(0xdeadbeef);
        EXPECT_EQ(Open("c:\\ro.txt", GENERIC_WRITE, disposition), INVALID_HANDLE_VALUE);
        EXPECT_EQ(GetLastError(), (DWORD)ERROR_ACCESS_DENIED);
    }
    EXPECT_EQ(ReadText(root_.driveC("ro.txt")), "content");
    HANDLE h = Open("c:\\ro.txt", GENERIC_READ, OPEN_EXISTING);
    EXPECT_NE(h, INVALID_HANDLE_VALUE);
    CloseHandle(h);
}

TEST_F(CreateFile, ReadOnlyAttributeMakesAReadOnlyFile)
{
    HANDLE h = Open("c:\\ro.txt", GENERIC_WRITE, CREATE_NEW, FILE_ATTRIBUTE_READONLY);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    EXPECT_TRUE(WriteFile(h, "abc", 3, &written, nullptr)); // the creating handle may write
    CloseHandle(h);
    EXPECT_EQ(GetFileAttributesA("c:\\ro.txt"),
              (DWORD)(FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE));
}

TEST_F(CreateFile, InvalidNamesFail)
{
    SetLastError(0xdeadbeef);
    EXPECT_EQ(Open("", GENERIC_READ, OPEN_EXISTING), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_PATH_NOT_FOUND);
    SetLastError(0xdeadbeef);
    EXPECT_EQ(Open(nullptr, GENERIC_READ, OPEN_EXISTING), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_PATH_NOT_FOUND);
    SetLastError(0xdeadbeef);
    EXPECT_EQ(Open("c:\\what?.txt", GENERIC_WRITE, CREATE_ALWAYS), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_NAME);
}

TEST_F(CreateFile, AFileNameWithATrailingSeparatorIsNotTheFile)
{
    WriteText(root_.driveC("f.txt"), "x");
    SetLastError(0xdeadbeef);
    EXPECT_EQ(Open("c:\\f.txt\\", GENERIC_READ, OPEN_EXISTING), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_NAME);
    SetLastError(0xdeadbeef);
    EXPECT_EQ(Open("c:\\new\\", GENERIC_WRITE, CREATE_ALWAYS), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_NAME);
}

/* Known difference: share modes are not enforced (POSIX has no mandatory
 * sharing), so a second open without sharing succeeds where Windows would
 * fail with ERROR_SHARING_VIOLATION. */
TEST_F(CreateFile, ShareModesAreNotEnforced)
{
    HANDLE a = CreateFileA("c:\\s.txt", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(a, INVALID_HANDLE_VALUE);
    HANDLE b = CreateFileA("c:\\s.txt", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_NE(b, INVALID_HANDLE_VALUE);
    CloseHandle(b);
    CloseHandle(a);
}

class KernelHandles : public ::testing::Test {
protected:
    ScratchRoot root_;
};

TEST_F(KernelHandles, CloseHandleOnNullFailsWithInvalidHandle)
{
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(CloseHandle(nullptr));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_HANDLE);
}

TEST_F(KernelHandles, CloseHandleOnAnUnknownValueFailsWithInvalidHandle)
{
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(CloseHandle(reinterpret_cast<HANDLE>(0x12345678)));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_HANDLE);
}

TEST_F(KernelHandles, ClosingTwiceFailsTheSecondTime)
{
    HANDLE h = CreateFileA("c:\\f.txt", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(CloseHandle(h));
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(CloseHandle(h));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_HANDLE);
}

/* INVALID_HANDLE_VALUE is also the pseudo handle of the current process,
 * and closing a pseudo handle "has no effect" (GetCurrentProcess docs):
 * Windows returns TRUE. */
TEST_F(KernelHandles, ClosingThePseudoHandlesHasNoEffect)
{
    EXPECT_TRUE(CloseHandle(INVALID_HANDLE_VALUE));
    EXPECT_TRUE(CloseHandle(reinterpret_cast<HANDLE>(static_cast<intptr_t>(-2))));
}

TEST_F(KernelHandles, HandlesAreDistinctMultiplesOfFourAndNotReused)
{
    std::set<HANDLE> seen;
    for (int i = 0; i < 8; i++) {
        HANDLE h = CreateFileA("c:\\f.txt", GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS, 0, nullptr);
        ASSERT_NE(h, INVALID_HANDLE_VALUE);
        EXPECT_NE(h, nullptr);
        EXPECT_EQ(reinterpret_cast<uintptr_t>(h) % 4, 0u);
        EXPECT_TRUE(seen.insert(h).second);
        CloseHandle(h);
    }
}

TEST_F(KernelHandles, AClosedHandleNoLongerReaches)
{
    HANDLE h = CreateFileA("c:\\f.txt", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    CloseHandle(h);
    DWORD written = 123;
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(WriteFile(h, "x", 1, &written, nullptr));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_HANDLE);
    EXPECT_EQ(written, 0u);
}

} // namespace
