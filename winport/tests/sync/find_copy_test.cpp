/*
 * Conformance tests: FindFirstFileA/FindNextFileA/FindClose with wildcards,
 * CopyFileA, SetFileAttributesA.
 */
#include "posix_files.h"
#include "scratch_root.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <filesystem>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

class FindFile : public ::testing::Test {
protected:
    FindFile()
    {
        for (const char *name : {"Report.TXT", "report2.txt", "file.txt", "file1.txt", "file12.txt",
                                 "README", "data.bin"})
            WriteText(root_.driveC(std::string("docs/") + name), "12345");
        fs::create_directories(root_.driveC("docs/Sub"));
    }
    /* Every name the search returns, in order; empty when it fails. */
    std::vector<std::string> Names(const char *spec)
    {
        std::vector<std::string> names;
        WIN32_FIND_DATAA data;
        HANDLE h = FindFirstFileA(spec, &data);
        if (h == INVALID_HANDLE_VALUE)
            return names;
        do
            names.push_back(data.cFileName);
        while (FindNextFileA(h, &data));
        EXPECT_EQ(GetLastError(), (DWORD)ERROR_NO_MORE_FILES);
        EXPECT_TRUE(FindClose(h));
        return names;
    }
    using List = std::vector<std::string>;
    ScratchRoot root_;
};

TEST_F(FindFile, ExactNameIsFoundWithoutRegardToCaseAndDescribed)
{
    WIN32_FIND_DATAA data{};
    SetLastError(0xdeadbeef);
    HANDLE h = FindFirstFileA("C:\\DOCS\\report.txt", &data);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_STREQ(data.cFileName, "Report.TXT");
    EXPECT_EQ(data.nFileSizeLow, 5u);
    EXPECT_EQ(data.nFileSizeHigh, 0u);
    EXPECT_EQ(data.dwFileAttributes, (DWORD)FILE_ATTRIBUTE_ARCHIVE);
    EXPECT_NE(data.ftLastWriteTime.dwHighDateTime, 0u);
    EXPECT_TRUE(FindClose(h));
}

TEST_F(FindFile, StarMatchesAnyRunAndResultsComeInNameOrder)
{
    EXPECT_EQ(Names("c:\\docs\\*.txt"),
              (List{"file.txt", "file1.txt", "file12.txt", "Report.TXT", "report2.txt"}));
}

TEST_F(FindFile, QuestionMarkMatchesOneCharacterOrNoneBeforeTheDot)
{
    EXPECT_EQ(Names("c:\\docs\\file?.txt"), (List{"file.txt", "file1.txt"}));
    EXPECT_EQ(Names("c:\\docs\\file??.txt"), (List{"file.txt", "file1.txt", "file12.txt"}));
}

TEST_F(FindFile, StarDotStarListsEverythingWithDotEntriesOutsideTheDriveRoot)
{
    const List expected{".",          "..",     "data.bin",   "file.txt",    "file1.txt",
                        "file12.txt", "README", "Report.TXT", "report2.txt", "Sub"};
    EXPECT_EQ(Names("c:\\docs\\*.*"), expected);
    EXPECT_EQ(Names("c:\\docs\\*"), expected);
    List atRoot = Names("c:\\*");
    EXPECT_EQ(std::count(atRoot.begin(), atRoot.end(), "."), 0);
    EXPECT_EQ(std::count(atRoot.begin(), atRoot.end(), "docs"), 1);
}

TEST_F(FindFile, StarDotListsNamesWithoutExtension)
{
    EXPECT_EQ(Names("c:\\docs\\*."), (List{".", "..", "README", "Sub"}));
}

TEST_F(FindFile, FolderEntriesCarryTheDirectoryAttribute)
{
    WIN32_FIND_DATAA data{};
    HANDLE h = FindFirstFileA("c:\\docs\\sub", &data);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_EQ(data.dwFileAttributes, (DWORD)FILE_ATTRIBUTE_DIRECTORY);
    FindClose(h);
}

TEST_F(FindFile, SymbolicLinksAreListedAsReparsePointsWithoutASize)
{
    fs::create_symlink(root_.driveC("docs/data.bin"), root_.driveC("docs/tofile"));
    fs::create_directory_symlink(root_.driveC("docs/Sub"), root_.driveC("docs/tofolder"));
    fs::create_symlink(root_.driveC("docs/gone"), root_.driveC("docs/dangling"));
    const struct {
        const char *spec;
        DWORD attributes;
    } cases[] = {
        {"c:\\docs\\tofile", FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_ARCHIVE},
        {"c:\\docs\\tofolder", FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY},
        {"c:\\docs\\dangling", FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_ARCHIVE},
    };
    for (const auto &c : cases) {
        WIN32_FIND_DATAA data{};
        HANDLE h = FindFirstFileA(c.spec, &data);
        ASSERT_NE(h, INVALID_HANDLE_VALUE) << c.spec;
        EXPECT_EQ(data.dwFileAttributes, c.attributes) << c.spec;
        EXPECT_EQ(data.dwReserved0, (DWORD)IO_REPARSE_TAG_SYMLINK) << c.spec;
        EXPECT_EQ(data.nFileSizeLow, 0u) << c.spec;
        FindClose(h);
    }
}

TEST_F(FindFile, NoMatchFailsWithFileNotFoundAndAMissingFolderWithPathNotFound)
{
    WIN32_FIND_DATAA data;
    const std::pair<const char *, DWORD> cases[] = {
        {"c:\\docs\\*.doc", ERROR_FILE_NOT_FOUND}, {"c:\\docs\\missing.txt", ERROR_FILE_NOT_FOUND},
        {"c:\\nowhere\\*", ERROR_PATH_NOT_FOUND},  {"c:\\docs\\", ERROR_FILE_NOT_FOUND},
        {"c:\\do?s\\*", ERROR_INVALID_NAME},
    };
    for (const auto &[spec, error] : cases) {
        SetLastError(0xdeadbeef);
        EXPECT_EQ(FindFirstFileA(spec, &data), INVALID_HANDLE_VALUE) << spec;
        EXPECT_EQ(GetLastError(), error) << spec;
    }
}

TEST_F(FindFile, FindCloseAndFindNextRejectOtherHandles)
{
    HANDLE e = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    WIN32_FIND_DATAA data;
    for (HANDLE h : {INVALID_HANDLE_VALUE, e}) {
        SetLastError(0xdeadbeef);
        EXPECT_FALSE(FindClose(h));
        EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_HANDLE);
        SetLastError(0xdeadbeef);
        EXPECT_FALSE(FindNextFileA(h, &data));
        EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_HANDLE);
    }
    CloseHandle(e);
}

class CopyFile : public ::testing::Test {
protected:
    ScratchRoot root_;
};

TEST_F(CopyFile, CopiesTheDataUnderTheNewName)
{
    WriteText(root_.driveC("a.txt"), "payload");
    SetLastError(0xdeadbeef);
    EXPECT_TRUE(CopyFileA("c:\\A.TXT", "c:\\b.txt", TRUE));
    EXPECT_EQ(ReadText(root_.driveC("b.txt")), "payload");
    EXPECT_EQ(ReadText(root_.driveC("a.txt")), "payload");
}

TEST_F(CopyFile, ExistingDestinationIsKeptWhenAskedToFail)
{
    WriteText(root_.driveC("a.txt"), "new");
    WriteText(root_.driveC("b.txt"), "old");
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(CopyFileA("c:\\a.txt", "c:\\b.txt", TRUE));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_FILE_EXISTS);
    EXPECT_EQ(ReadText(root_.driveC("b.txt")), "old");
    EXPECT_TRUE(CopyFileA("c:\\a.txt", "c:\\b.txt", FALSE));
    EXPECT_EQ(ReadText(root_.driveC("b.txt")), "new");
}

TEST_F(CopyFile, ReadOnlySourceGivesAReadOnlyCopyAndRefusesToBeOverwritten)
{
    WriteText(root_.driveC("a.txt"), "data");
    WriteText(root_.driveC("c.txt"), "other");
    MakeReadOnly(root_.driveC("a.txt"));
    EXPECT_TRUE(CopyFileA("c:\\a.txt", "c:\\b.txt", FALSE));
    EXPECT_TRUE(GetFileAttributesA("c:\\b.txt") & FILE_ATTRIBUTE_READONLY);
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(CopyFileA("c:\\c.txt", "c:\\b.txt", FALSE));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_ACCESS_DENIED);
    EXPECT_EQ(ReadText(root_.driveC("b.txt")), "data");
}

TEST_F(CopyFile, FailuresReportWindowsErrorsAndLeaveNoTemporaryFiles)
{
    WriteText(root_.driveC("a.txt"), "data");
    fs::create_directories(root_.driveC("dir"));
    const struct {
        const char *from, *to;
        DWORD error;
    } cases[] = {
        {"c:\\missing.txt", "c:\\x.txt", ERROR_FILE_NOT_FOUND},
        {"c:\\nowhere\\a.txt", "c:\\x.txt", ERROR_PATH_NOT_FOUND},
        {"c:\\a.txt", "c:\\nowhere\\x.txt", ERROR_PATH_NOT_FOUND},
        {"c:\\dir", "c:\\x.txt", ERROR_ACCESS_DENIED},
        {"c:\\a.txt", "c:\\dir", ERROR_ACCESS_DENIED},
        {"c:\\a.txt", "c:\\A.TXT", ERROR_SHARING_VIOLATION},
    };
    for (const auto &c : cases) {
        SetLastError(0xdeadbeef);
        EXPECT_FALSE(CopyFileA(c.from, c.to, FALSE)) << c.from << " -> " << c.to;
        EXPECT_EQ(GetLastError(), c.error) << c.from << " -> " << c.to;
    }
    EXPECT_EQ(ReadText(root_.driveC("a.txt")), "data");
    size_t entries = 0;
    for (const auto &e : fs::directory_iterator(root_.driveC("")))
        entries += e.path().filename().string().find("wpcopy") != std::string::npos;
    EXPECT_EQ(entries, 0u);
}

class FileAttributes : public ::testing::Test {
protected:
    ScratchRoot root_;
};

TEST_F(FileAttributes, ReadOnlyIsSetAndClearedAndEnforced)
{
    WriteText(root_.driveC("f.txt"), "x");
    EXPECT_TRUE(SetFileAttributesA("c:\\F.txt", FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN));
    EXPECT_EQ(GetFileAttributesA("c:\\f.txt"),
              (DWORD)(FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_READONLY));
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(DeleteFileA("c:\\f.txt"));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_ACCESS_DENIED);
    EXPECT_TRUE(SetFileAttributesA("c:\\f.txt", FILE_ATTRIBUTE_NORMAL));
    EXPECT_EQ(GetFileAttributesA("c:\\f.txt"), (DWORD)FILE_ATTRIBUTE_ARCHIVE);
    EXPECT_TRUE(DeleteFileA("c:\\f.txt"));
}

TEST_F(FileAttributes, MissingFileFailsWithFileNotFoundOrPathNotFound)
{
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(SetFileAttributesA("c:\\none.txt", FILE_ATTRIBUTE_NORMAL));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_FILE_NOT_FOUND);
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(SetFileAttributesA("c:\\no\\none.txt", FILE_ATTRIBUTE_NORMAL));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_PATH_NOT_FOUND);
}

TEST_F(FileAttributes, ReadOnlyOnAFolderLeavesItWritable)
{
    fs::create_directories(root_.driveC("dir"));
    EXPECT_TRUE(SetFileAttributesA("c:\\dir", FILE_ATTRIBUTE_READONLY));
    HANDLE f = CreateFileA("c:\\dir\\new.txt", GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    EXPECT_NE(f, INVALID_HANDLE_VALUE);
    CloseHandle(f);
}

} // namespace
