/*
 * Conformance tests: ReadFile, WriteFile, GetFileSize, SetFilePointer,
 * SetEndOfFile, FlushFileBuffers.
 */
#include <gtest/gtest.h>

#include "posix_files.h"
#include "scratch_root.h"

#include <windows.h>

#include <string>

namespace {

class FileIo : public ::testing::Test {
protected:
    HANDLE Open(const char *name, DWORD access, DWORD disposition)
    {
        return CreateFileA(name, access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, disposition,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    }
    void TearDown() override
    {
        if (h_ != INVALID_HANDLE_VALUE)
            CloseHandle(h_);
    }
    ScratchRoot root_;
    HANDLE h_ = INVALID_HANDLE_VALUE;
};

TEST_F(FileIo, WhatIsWrittenReadsBack)
{
    h_ = Open("c:\\f.txt", GENERIC_READ | GENERIC_WRITE, CREATE_ALWAYS);
    ASSERT_NE(h_, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    ASSERT_TRUE(WriteFile(h_, "hello world", 11, &written, nullptr));
    EXPECT_EQ(written, 11u);
    EXPECT_EQ(SetFilePointer(h_, 0, nullptr, FILE_BEGIN), 0u);
    char buf[64] = {};
    DWORD got = 0;
    ASSERT_TRUE(ReadFile(h_, buf, sizeof buf, &got, nullptr));
    EXPECT_EQ(std::string(buf, got), "hello world");
}

TEST_F(FileIo, ReadingAtTheEndSucceedsWithZeroBytes)
{
    WriteText(root_.driveC("f.txt"), "abc");
    h_ = Open("c:\\f.txt", GENERIC_READ, OPEN_EXISTING);
    ASSERT_NE(h_, INVALID_HANDLE_VALUE);
    char buf[8];
    DWORD got = 0;
    ASSERT_TRUE(ReadFile(h_, buf, sizeof buf, &got, nullptr));
    EXPECT_EQ(got, 3u);
    got = 123;
    SetLastError(0xdeadbeef);
    EXPECT_TRUE(ReadFile(h_, buf, sizeof buf, &got, nullptr));
    EXPECT_EQ(got, 0u);
}

TEST_F(FileIo, ZeroByteWriteChangesNothing)
{
    WriteText(root_.driveC("f.txt"), "abc");
    h_ = Open("c:\\f.txt", GENERIC_WRITE, OPEN_EXISTING);
    ASSERT_NE(h_, INVALID_HANDLE_VALUE);
    DWORD written = 123;
    EXPECT_TRUE(WriteFile(h_, "", 0, &written, nullptr));
    EXPECT_EQ(written, 0u);
    EXPECT_EQ(ReadText(root_.driveC("f.txt")), "abc");
}

TEST_F(FileIo, ReadingAWriteOnlyHandleIsDenied)
{
    h_ = Open("c:\\f.txt", GENERIC_WRITE, CREATE_ALWAYS);
    ASSERT_NE(h_, INVALID_HANDLE_VALUE);
    char buf[8];
    DWORD got = 123;
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(ReadFile(h_, buf, sizeof buf, &got, nullptr));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_ACCESS_DENIED);
    EXPECT_EQ(got, 0u);
}

TEST_F(FileIo, WritingAReadOnlyHandleIsDenied)
{
    WriteText(root_.driveC("f.txt"), "abc");
    h_ = Open("c:\\f.txt", GENERIC_READ, OPEN_EXISTING);
    ASSERT_NE(h_, INVALID_HANDLE_VALUE);
    DWORD written = 123;
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(WriteFile(h_, "x", 1, &written, nullptr));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_ACCESS_DENIED);
    EXPECT_EQ(written, 0u);
    EXPECT_EQ(ReadText(root_.driveC("f.txt")), "abc");
}

TEST_F(FileIo, AppendDataAccessAlwaysWritesAtTheEnd)
{
    WriteText(root_.driveC("log.txt"), "abc");
    h_ = Open("c:\\log.txt", FILE_APPEND_DATA, OPEN_EXISTING);
    ASSERT_NE(h_, INVALID_HANDLE_VALUE);
    SetFilePointer(h_, 0, nullptr, FILE_BEGIN);
    DWORD written = 0;
    ASSERT_TRUE(WriteFile(h_, "def", 3, &written, nullptr));
    EXPECT_EQ(ReadText(root_.driveC("log.txt")), "abcdef");
}

TEST_F(FileIo, InvalidHandlesFailWithInvalidHandle)
{
    char buf[4];
    DWORD n = 123;
    for (HANDLE bad : {(HANDLE) nullptr, INVALID_HANDLE_VALUE, (HANDLE)0x4444}) {
        SetLastError(0xdeadbeef);
        EXPECT_FALSE(ReadFile(bad, buf, sizeof buf, &n, nullptr));
        EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_HANDLE);
        EXPECT_EQ(n, 0u);
        SetLastError(0xdeadbeef);
        EXPECT_FALSE(WriteFile(bad, buf, sizeof buf, &n, nullptr));
        EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_HANDLE);
        SetLastError(0xdeadbeef);
        EXPECT_EQ(GetFileSize(bad, nullptr), INVALID_FILE_SIZE);
        EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_HANDLE);
        SetLastError(0xdeadbeef);
        EXPECT_EQ(SetFilePointer(bad, 0, nullptr, FILE_BEGIN), INVALID_SET_FILE_POINTER);
        EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_HANDLE);
        SetLastError(0xdeadbeef);
        EXPECT_FALSE(SetEndOfFile(bad));
        EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_HANDLE);
        SetLastError(0xdeadbeef);
        EXPECT_FALSE(FlushFileBuffers(bad));
        EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_HANDLE);
    }
}

TEST_F(FileIo, OverlappedIoIsNotSupported)
{
    h_ = Open("c:\\f.txt", GENERIC_READ | GENERIC_WRITE, CREATE_ALWAYS);
    ASSERT_NE(h_, INVALID_HANDLE_VALUE);
    char overlapped[32] = {};
    DWORD n;
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(WriteFile(h_, "x", 1, &n, overlapped));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_PARAMETER);
}

TEST_F(FileIo, GetFileSizeReportsTheSizeAndClearsTheLastError)
{
    WriteText(root_.driveC("f.txt"), "12345");
    h_ = Open("c:\\f.txt", GENERIC_READ, OPEN_EXISTING);
    ASSERT_NE(h_, INVALID_HANDLE_VALUE);
    DWORD high = 0xdeadbeef;
    SetLastError(0xdeadbeef);
    EXPECT_EQ(GetFileSize(h_, &high), 5u);
    EXPECT_EQ(high, 0u);
    EXPECT_EQ(GetLastError(), 0u);
}

TEST_F(FileIo, SizesBeyondFourGigabytesUseTheHighPart)
{
    h_ = Open("c:\\big.bin", GENERIC_READ | GENERIC_WRITE, CREATE_ALWAYS);
    ASSERT_NE(h_, INVALID_HANDLE_VALUE);
    LONG high = 1; // 4 GiB + 16 (sparse)
    EXPECT_EQ(SetFilePointer(h_, 16, &high, FILE_BEGIN), 16u);
    EXPECT_EQ(high, 1);
    ASSERT_TRUE(SetEndOfFile(h_));
    DWORD sizeHigh = 0;
    EXPECT_EQ(GetFileSize(h_, &sizeHigh), 16u);
    EXPECT_EQ(sizeHigh, 1u);
}

TEST_F(FileIo, SetFilePointerMovesFromBeginCurrentAndEnd)
{
    WriteText(root_.driveC("f.txt"), "0123456789");
    h_ = Open("c:\\f.txt", GENERIC_READ, OPEN_EXISTING);
    ASSERT_NE(h_, INVALID_HANDLE_VALUE);
    SetLastError(0xdeadbeef);
    EXPECT_EQ(SetFilePointer(h_, 4, nullptr, FILE_BEGIN), 4u);
    EXPECT_EQ(GetLastError(), 0u);
    EXPECT_EQ(SetFilePointer(h_, 2, nullptr, FILE_CURRENT), 6u);
    EXPECT_EQ(SetFilePointer(h_, -3, nullptr, FILE_END), 7u);
    char c = 0;
    DWORD got = 0;
    ASSERT_TRUE(ReadFile(h_, &c, 1, &got, nullptr));
    EXPECT_EQ(c, '7');
}

TEST_F(FileIo, SeekingBeforeTheStartFailsWithNegativeSeek)
{
    WriteText(root_.driveC("f.txt"), "0123456789");
    h_ = Open("c:\\f.txt", GENERIC_READ, OPEN_EXISTING);
    ASSERT_NE(h_, INVALID_HANDLE_VALUE);
    SetFilePointer(h_, 5, nullptr, FILE_BEGIN);
    SetLastError(0xdeadbeef);
    EXPECT_EQ(SetFilePointer(h_, -6, nullptr, FILE_CURRENT), INVALID_SET_FILE_POINTER);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_NEGATIVE_SEEK);
    EXPECT_EQ(SetFilePointer(h_, 0, nullptr, FILE_CURRENT), 5u); // unchanged
}

TEST_F(FileIo, AnUnknownMoveMethodFailsWithInvalidParameter)
{
    h_ = Open("c:\\f.txt", GENERIC_READ | GENERIC_WRITE, CREATE_ALWAYS);
    ASSERT_NE(h_, INVALID_HANDLE_VALUE);
    SetLastError(0xdeadbeef);
    EXPECT_EQ(SetFilePointer(h_, 0, nullptr, 3), INVALID_SET_FILE_POINTER);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_PARAMETER);
}

TEST_F(FileIo, APositionBeyondThirtyTwoBitsNeedsTheHighPart)
{
    h_ = Open("c:\\f.txt", GENERIC_READ | GENERIC_WRITE, CREATE_ALWAYS);
    ASSERT_NE(h_, INVALID_HANDLE_VALUE);
    EXPECT_EQ(SetFilePointer(h_, 0x7fffffff, nullptr, FILE_BEGIN), 0x7fffffffu);
    SetLastError(0xdeadbeef);
    EXPECT_EQ(SetFilePointer(h_, 0x7fffffff, nullptr, FILE_CURRENT), 0xfffffffeu);
    EXPECT_EQ(GetLastError(), 0u);
    SetLastError(0xdeadbeef);
    EXPECT_EQ(SetFilePointer(h_, 0x10, nullptr, FILE_CURRENT), INVALID_SET_FILE_POINTER);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_PARAMETER);
}

TEST_F(FileIo, SetEndOfFileCutsAtTheFilePointer)
{
    WriteText(root_.driveC("f.txt"), "0123456789");
    h_ = Open("c:\\f.txt", GENERIC_WRITE, OPEN_EXISTING);
    ASSERT_NE(h_, INVALID_HANDLE_VALUE);
    SetFilePointer(h_, 4, nullptr, FILE_BEGIN);
    EXPECT_TRUE(SetEndOfFile(h_));
    EXPECT_EQ(GetFileSize(h_, nullptr), 4u);
    EXPECT_EQ(ReadText(root_.driveC("f.txt")), "0123");
}

TEST_F(FileIo, SetEndOfFileExtendsWithZeros)
{
    WriteText(root_.driveC("f.txt"), "ab");
    h_ = Open("c:\\f.txt", GENERIC_WRITE, OPEN_EXISTING);
    ASSERT_NE(h_, INVALID_HANDLE_VALUE);
    SetFilePointer(h_, 4, nullptr, FILE_BEGIN);
    EXPECT_TRUE(SetEndOfFile(h_));
    EXPECT_EQ(ReadText(root_.driveC("f.txt")), std::string("ab\0\0", 4));
}

TEST_F(FileIo, SetEndOfFileAndFlushNeedWriteAccess)
{
    WriteText(root_.driveC("f.txt"), "ab");
    h_ = Open("c:\\f.txt", GENERIC_READ, OPEN_EXISTING);
    ASSERT_NE(h_, INVALID_HANDLE_VALUE);
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(SetEndOfFile(h_));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_ACCESS_DENIED);
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(FlushFileBuffers(h_));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_ACCESS_DENIED);
}

TEST_F(FileIo, FlushFileBuffersSucceedsOnAWritableHandle)
{
    h_ = Open("c:\\f.txt", GENERIC_WRITE, CREATE_ALWAYS);
    ASSERT_NE(h_, INVALID_HANDLE_VALUE);
    DWORD n;
    WriteFile(h_, "x", 1, &n, nullptr);
    EXPECT_TRUE(FlushFileBuffers(h_));
}

} // namespace
