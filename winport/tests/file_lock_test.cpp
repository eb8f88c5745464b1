/*
 * Conformance tests: LockFile and UnlockFile.  Locks belong to handles: a
 * range one handle holds is refused to every other handle, in this process
 * or another, until it is unlocked or the handle closed.
 */
#include <gtest/gtest.h>

#include "scratch_root.h"

#include <windows.h>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

class FileLock : public ::testing::Test {
protected:
    HANDLE Open()
    {
        HANDLE h = CreateFileA("c:\\printer.lock", GENERIC_READ | GENERIC_WRITE,
                               FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
        EXPECT_NE(h, INVALID_HANDLE_VALUE);
        return h;
    }
    ScratchRoot root_;
};

TEST_F(FileLock, AnotherHandleIsRefusedUntilTheHolderUnlocks)
{
    HANDLE a = Open(), b = Open();
    EXPECT_TRUE(LockFile(a, 0, 0, 1, 0));
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(LockFile(b, 0, 0, 1, 0));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_LOCK_VIOLATION);
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(LockFile(b, 0, 0, 100, 0)) << "an overlapping range";
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_LOCK_VIOLATION);
    EXPECT_TRUE(LockFile(b, 1, 0, 1, 0)) << "a range beside it is free";

    EXPECT_TRUE(UnlockFile(a, 0, 0, 1, 0));
    EXPECT_TRUE(LockFile(b, 0, 0, 1, 0));
    CloseHandle(a);
    CloseHandle(b);
}

TEST_F(FileLock, ClosingTheHandleReleasesItsLocks)
{
    HANDLE a = Open(), b = Open();
    ASSERT_TRUE(LockFile(a, 0, 0, 1, 0));
    ASSERT_FALSE(LockFile(b, 0, 0, 1, 0));
    CloseHandle(a);
    EXPECT_TRUE(LockFile(b, 0, 0, 1, 0));
    CloseHandle(b);
}

TEST_F(FileLock, TheSameHandleCannotLockARangeTwice)
{
    HANDLE a = Open();
    ASSERT_TRUE(LockFile(a, 10, 0, 10, 0));
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(LockFile(a, 15, 0, 1, 0));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_LOCK_VIOLATION);
    EXPECT_TRUE(LockFile(a, 20, 0, 1, 0));
    CloseHandle(a);
}

TEST_F(FileLock, OnlyARangeLockedExactlySoCanBeUnlocked)
{
    HANDLE a = Open();
    ASSERT_TRUE(LockFile(a, 0, 0, 10, 0));
    for (DWORD length : {5u, 11u}) {
        SetLastError(0xdeadbeef);
        EXPECT_FALSE(UnlockFile(a, 0, 0, length, 0)) << length;
        EXPECT_EQ(GetLastError(), (DWORD)ERROR_NOT_LOCKED);
    }
    EXPECT_TRUE(UnlockFile(a, 0, 0, 10, 0));
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(UnlockFile(a, 0, 0, 10, 0));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_NOT_LOCKED);
    CloseHandle(a);
}

TEST_F(FileLock, ABadHandleOrAnEmptyRangeFails)
{
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(LockFile(reinterpret_cast<HANDLE>(0x1234), 0, 0, 1, 0));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_HANDLE);
    HANDLE a = Open();
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(LockFile(a, 0, 0, 0, 0));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_PARAMETER);
    CloseHandle(a);
}

TEST_F(FileLock, AnotherProcessSeesTheLockUntilTheHandleCloses)
{
    HANDLE a = Open();
    ASSERT_TRUE(LockFile(a, 0, 0, 1, 0));
    const std::string path = root_.driveC("printer.lock");
    auto childCanLock = [&] {
        pid_t pid = fork();
        if (pid == 0) {
            int fd = open(path.c_str(), O_RDWR);
            struct flock range = {};
            range.l_type = F_WRLCK;
            range.l_len = 1;
            _exit(fd >= 0 && fcntl(fd, F_OFD_SETLK, &range) == 0 ? 0 : 1);
        }
        int status = 0;
        waitpid(pid, &status, 0);
        return WIFEXITED(status) && WEXITSTATUS(status) == 0;
    };
    EXPECT_FALSE(childCanLock());
    CloseHandle(a);
    EXPECT_TRUE(childCanLock());
}

} // namespace
