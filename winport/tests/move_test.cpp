/*
 * Conformance tests: MoveFileExA.
 */
#include <gtest/gtest.h>

#include "posix_files.h"
#include "scratch_root.h"

#include <windows.h>

#include <filesystem>
#include <sys/stat.h>

namespace fs = std::filesystem;

namespace {

class MoveFile : public ::testing::Test {
protected:
    ScratchRoot root_;
};

TEST_F(MoveFile, RenamesAFile)
{
    WriteText(root_.driveC("a.txt"), "A");
    EXPECT_TRUE(MoveFileExA("c:\\A.TXT", "c:\\b.txt", 0));
    EXPECT_FALSE(fs::exists(root_.driveC("a.txt")));
    EXPECT_EQ(ReadText(root_.driveC("b.txt")), "A");
}

TEST_F(MoveFile, AnExistingTargetFailsWithoutReplaceExisting)
{
    WriteText(root_.driveC("a.txt"), "A");
    WriteText(root_.driveC("b.txt"), "B");
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(MoveFileExA("c:\\a.txt", "c:\\b.txt", 0));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_ALREADY_EXISTS);
    EXPECT_EQ(ReadText(root_.driveC("a.txt")), "A");
    EXPECT_EQ(ReadText(root_.driveC("b.txt")), "B");
}

TEST_F(MoveFile, ReplaceExistingReplacesTheTarget)
{
    WriteText(root_.driveC("a.txt"), "A");
    WriteText(root_.driveC("B.txt"), "B");
    EXPECT_TRUE(MoveFileExA("c:\\a.txt", "c:\\b.TXT", MOVEFILE_REPLACE_EXISTING));
    EXPECT_FALSE(fs::exists(root_.driveC("a.txt")));
    EXPECT_EQ(ReadText(root_.driveC("B.txt")), "A");
}

TEST_F(MoveFile, AMissingSourceFails)
{
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(MoveFileExA("c:\\missing.txt", "c:\\b.txt", 0));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_FILE_NOT_FOUND);
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(MoveFileExA("c:\\nodir\\missing.txt", "c:\\b.txt", MOVEFILE_REPLACE_EXISTING));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_PATH_NOT_FOUND);
}

TEST_F(MoveFile, AMissingTargetFolderFailsWithPathNotFound)
{
    WriteText(root_.driveC("a.txt"), "A");
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(MoveFileExA("c:\\a.txt", "c:\\nodir\\b.txt", 0));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_PATH_NOT_FOUND);
    EXPECT_TRUE(fs::exists(root_.driveC("a.txt")));
}

TEST_F(MoveFile, ReplacingAFolderOrAReadOnlyFileIsDenied)
{
    WriteText(root_.driveC("a.txt"), "A");
    fs::create_directories(root_.driveC("dir"));
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(MoveFileExA("c:\\a.txt", "c:\\dir", MOVEFILE_REPLACE_EXISTING));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_ACCESS_DENIED);
    WriteText(root_.driveC("ro.txt"), "R");
    MakeReadOnly(root_.driveC("ro.txt"));
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(MoveFileExA("c:\\a.txt", "c:\\ro.txt", MOVEFILE_REPLACE_EXISTING));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_ACCESS_DENIED);
    EXPECT_EQ(ReadText(root_.driveC("ro.txt")), "R");
}

TEST_F(MoveFile, MovesAFolderWithItsContent)
{
    WriteText(root_.driveC("src/f.txt"), "F");
    fs::create_directories(root_.driveC("dst"));
    EXPECT_TRUE(MoveFileExA("c:\\src", "c:\\dst\\moved", 0));
    EXPECT_EQ(ReadText(root_.driveC("dst/moved/f.txt")), "F");
}

TEST_F(MoveFile, ANameDifferingOnlyInCaseChangesTheCase)
{
    WriteText(root_.driveC("report.txt"), "R");
    EXPECT_TRUE(MoveFileExA("c:\\report.txt", "c:\\REPORT.TXT", 0));
    EXPECT_TRUE(fs::exists(root_.driveC("REPORT.TXT")));
    EXPECT_FALSE(fs::exists(root_.driveC("report.txt")));
}

TEST_F(MoveFile, DelayUntilRebootIsNotSupported)
{
    WriteText(root_.driveC("a.txt"), "A");
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(MoveFileExA("c:\\a.txt", "c:\\b.txt", MOVEFILE_DELAY_UNTIL_REBOOT));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_NOT_SUPPORTED);
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(
        MoveFileExA("c:\\a.txt", "c:\\b.txt", MOVEFILE_DELAY_UNTIL_REBOOT | MOVEFILE_COPY_ALLOWED));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_PARAMETER);
}

/* Drive D on another file system: <root>/drive_d is a link into /dev/shm. */
class MoveAcrossFileSystems : public MoveFile {
protected:
    void SetUp() override
    {
        std::string tmpl = "/dev/shm/wpmove-XXXXXX";
        if (!fs::is_directory("/dev/shm") || !mkdtemp(tmpl.data()))
            GTEST_SKIP() << "no /dev/shm";
        other_ = tmpl;
        struct stat a, b;
        if (stat(root_.path().c_str(), &a) != 0 || stat(other_.c_str(), &b) != 0 ||
            a.st_dev == b.st_dev)
            GTEST_SKIP() << "/dev/shm is on the same file system as the scratch root";
        fs::create_directory_symlink(other_, root_.path() + "/drive_d");
        WriteText(root_.driveC("a.txt"), "payload");
    }
    void TearDown() override
    {
        if (!other_.empty())
            fs::remove_all(other_);
    }
    std::string other_;
};

TEST_F(MoveAcrossFileSystems, FailsWithNotSameDeviceWithoutCopyAllowed)
{
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(MoveFileExA("c:\\a.txt", "d:\\a.txt", 0));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_NOT_SAME_DEVICE);
    EXPECT_TRUE(fs::exists(root_.driveC("a.txt")));
}

TEST_F(MoveAcrossFileSystems, CopiesThenDeletesWithCopyAllowed)
{
    EXPECT_TRUE(MoveFileExA("c:\\a.txt", "d:\\a.txt", MOVEFILE_COPY_ALLOWED));
    EXPECT_FALSE(fs::exists(root_.driveC("a.txt")));
    EXPECT_EQ(ReadText(other_ + "/a.txt"), "payload");
    size_t entries = 0;
    for ([[maybe_unused]] auto &e : fs::directory_iterator(other_))
        entries++;
    EXPECT_EQ(entries, 1u); // no temporary file left behind
}

TEST_F(MoveAcrossFileSystems, CopyKeepsAnExistingTargetWithoutReplace)
{
    WriteText(other_ + "/a.txt", "old");
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(MoveFileExA("c:\\a.txt", "d:\\a.txt", MOVEFILE_COPY_ALLOWED));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_ALREADY_EXISTS);
    EXPECT_EQ(ReadText(other_ + "/a.txt"), "old");
    EXPECT_TRUE(fs::exists(root_.driveC("a.txt")));
}

TEST_F(MoveAcrossFileSystems, CopyReplacesWithReplaceExisting)
{
    WriteText(other_ + "/a.txt", "old");
    EXPECT_TRUE(
        MoveFileExA("c:\\a.txt", "d:\\a.txt", MOVEFILE_COPY_ALLOWED | MOVEFILE_REPLACE_EXISTING));
    EXPECT_EQ(ReadText(other_ + "/a.txt"), "payload");
    EXPECT_FALSE(fs::exists(root_.driveC("a.txt")));
}

} // namespace
