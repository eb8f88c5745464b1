/*
 * Conformance tests: CreateDirectoryA, RemoveDirectoryA, DeleteFileA,
 * GetFileAttributesA.
 */
#include <gtest/gtest.h>

#include "posix_files.h"
#include "scratch_root.h"

#include <windows.h>

#include <filesystem>

namespace fs = std::filesystem;

namespace {

class Directories : public ::testing::Test {
protected:
    ScratchRoot root_;
};

TEST_F(Directories, CreateDirectoryMakesAFolder)
{
    SetLastError(0xdeadbeef);
    EXPECT_TRUE(CreateDirectoryA("c:\\novarc", nullptr));
    EXPECT_TRUE(fs::is_directory(root_.driveC("novarc")));
    EXPECT_EQ(GetFileAttributesA("C:\\NOVARC"), (DWORD)FILE_ATTRIBUTE_DIRECTORY);
}

TEST_F(Directories, CreateDirectoryOnAnExistingNameFailsWithAlreadyExists)
{
    ASSERT_TRUE(CreateDirectoryA("c:\\novarc", nullptr));
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(CreateDirectoryA("c:\\NOVARC", nullptr));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_ALREADY_EXISTS);
    WriteText(root_.driveC("file"), "x");
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(CreateDirectoryA("c:\\file", nullptr));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_ALREADY_EXISTS);
}

TEST_F(Directories, CreateDirectoryWithAMissingParentFailsWithPathNotFound)
{
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(CreateDirectoryA("c:\\a\\b", nullptr));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_PATH_NOT_FOUND);
}

TEST_F(Directories, CreateDirectoryFindsParentsWithoutRegardToCase)
{
    ASSERT_TRUE(CreateDirectoryA("c:\\Novarc", nullptr));
    ASSERT_TRUE(CreateDirectoryA("c:\\NOVARC\\Bin", nullptr));
    EXPECT_TRUE(fs::is_directory(root_.driveC("Novarc/Bin")));
}

TEST_F(Directories, CreateDirectoryRejectsBadNames)
{
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(CreateDirectoryA("", nullptr));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_PATH_NOT_FOUND);
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(CreateDirectoryA("c:\\a*b", nullptr));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_NAME);
}

TEST_F(Directories, RemoveDirectoryRemovesAnEmptyFolder)
{
    fs::create_directories(root_.driveC("Empty"));
    EXPECT_TRUE(RemoveDirectoryA("c:\\empty"));
    EXPECT_FALSE(fs::exists(root_.driveC("Empty")));
}

TEST_F(Directories, RemoveDirectoryOnAFolderWithContentFailsWithDirNotEmpty)
{
    WriteText(root_.driveC("full/f.txt"), "x");
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(RemoveDirectoryA("c:\\full"));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_DIR_NOT_EMPTY);
}

TEST_F(Directories, RemoveDirectoryOnAMissingFolderFails)
{
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(RemoveDirectoryA("c:\\missing"));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_FILE_NOT_FOUND);
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(RemoveDirectoryA("c:\\missing\\sub"));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_PATH_NOT_FOUND);
}

TEST_F(Directories, RemoveDirectoryOnAFileFailsWithDirectory)
{
    WriteText(root_.driveC("f.txt"), "x");
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(RemoveDirectoryA("c:\\f.txt"));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_DIRECTORY);
    EXPECT_TRUE(fs::exists(root_.driveC("f.txt")));
}

TEST_F(Directories, DeleteFileDeletesAFileFoundWithoutRegardToCase)
{
    WriteText(root_.driveC("Data/File.TXT"), "x");
    EXPECT_TRUE(DeleteFileA("c:\\data\\file.txt"));
    EXPECT_FALSE(fs::exists(root_.driveC("Data/File.TXT")));
}

TEST_F(Directories, DeleteFileOnAMissingFileFails)
{
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(DeleteFileA("c:\\missing.txt"));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_FILE_NOT_FOUND);
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(DeleteFileA("c:\\nodir\\missing.txt"));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_PATH_NOT_FOUND);
}

TEST_F(Directories, DeleteFileOnAFolderIsDenied)
{
    fs::create_directories(root_.driveC("dir"));
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(DeleteFileA("c:\\dir"));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_ACCESS_DENIED);
    EXPECT_TRUE(fs::is_directory(root_.driveC("dir")));
}

TEST_F(Directories, DeleteFileOnAReadOnlyFileIsDenied)
{
    WriteText(root_.driveC("ro.txt"), "x");
    MakeReadOnly(root_.driveC("ro.txt"));
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(DeleteFileA("c:\\ro.txt"));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_ACCESS_DENIED);
    EXPECT_TRUE(fs::exists(root_.driveC("ro.txt")));
}

TEST_F(Directories, FilesReportTheArchiveAttribute)
{
    WriteText(root_.driveC("f.txt"), "x");
    EXPECT_EQ(GetFileAttributesA("c:\\F.TXT"), (DWORD)FILE_ATTRIBUTE_ARCHIVE);
}

TEST_F(Directories, FilesTheOwnerCannotWriteAreReadOnly)
{
    WriteText(root_.driveC("ro.txt"), "x");
    MakeReadOnly(root_.driveC("ro.txt"));
    EXPECT_EQ(GetFileAttributesA("c:\\ro.txt"),
              (DWORD)(FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_READONLY));
}

TEST_F(Directories, SymbolicLinksReportTheReparsePointAttributeAndAreNotFollowed)
{
    WriteText(root_.driveC("real/f.txt"), "x");
    MakeReadOnly(root_.driveC("real/f.txt"));
    fs::create_symlink(root_.driveC("real/f.txt"), root_.driveC("tofile"));
    fs::create_directory_symlink(root_.driveC("real"), root_.driveC("tofolder"));
    fs::create_symlink(root_.driveC("gone"), root_.driveC("dangling"));
    // The link itself: no read-only flag from its target, a folder link is
    // a folder, and a dangling link still exists.
    EXPECT_EQ(GetFileAttributesA("c:\\tofile"),
              (DWORD)(FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_ARCHIVE));
    EXPECT_EQ(GetFileAttributesA("c:\\TOFOLDER"),
              (DWORD)(FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY));
    EXPECT_EQ(GetFileAttributesA("c:\\dangling"),
              (DWORD)(FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_ARCHIVE));
    // A link on the way is followed, as Windows follows it.
    EXPECT_EQ(GetFileAttributesA("c:\\tofolder\\f.txt"),
              (DWORD)(FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_READONLY));
}

TEST_F(Directories, GetFileAttributesOnMissingNamesFails)
{
    SetLastError(0xdeadbeef);
    EXPECT_EQ(GetFileAttributesA("c:\\missing.txt"), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_FILE_NOT_FOUND);
    SetLastError(0xdeadbeef);
    EXPECT_EQ(GetFileAttributesA("c:\\nodir\\missing.txt"), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_PATH_NOT_FOUND);
    SetLastError(0xdeadbeef);
    EXPECT_EQ(GetFileAttributesA(""), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_PATH_NOT_FOUND);
    SetLastError(0xdeadbeef);
    EXPECT_EQ(GetFileAttributesA("c:\\bad|name"), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_NAME);
}

TEST_F(Directories, TheDriveRootIsAFolder)
{
    EXPECT_EQ(GetFileAttributesA("c:\\"), (DWORD)FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_EQ(GetFileAttributesA("C:\\Windows\\System32"), (DWORD)FILE_ATTRIBUTE_DIRECTORY);
}

} // namespace
