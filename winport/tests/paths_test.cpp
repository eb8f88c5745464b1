/*
 * Conformance tests: Windows paths under the winport root (winport_map_path
 * and the rules every file function relies on).
 */
#include <gtest/gtest.h>

#include "scratch_root.h"

#include <winport_test.h>

#include <filesystem>
#include <string>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

class MapPath : public ::testing::Test {
protected:
    /* The POSIX path of a Windows path; "" with the last error on failure. */
    std::string Map(const char *windowsPath)
    {
        char out[4096];
        DWORD n = winport_map_path(windowsPath, out, sizeof out);
        return n ? std::string(out, n) : std::string();
    }
    std::string Under(const std::string &rel) const { return root_.path() + "/" + rel; }

    ScratchRoot root_;
};

TEST_F(MapPath, DriveCLivesUnderTheRoot)
{
    EXPECT_EQ(Map("c:\\novarc\\bin\\x.txt"), Under("drive_c/novarc/bin/x.txt"));
}

TEST_F(MapPath, DriveLetterCaseAndForwardSlashesDoNotMatter)
{
    EXPECT_EQ(Map("C:/novarc/x.txt"), Under("drive_c/novarc/x.txt"));
    EXPECT_EQ(Map("C:\\novarc/x.txt"), Under("drive_c/novarc/x.txt"));
}

TEST_F(MapPath, OtherDrivesGetTheirOwnFolder)
{
    EXPECT_EQ(Map("d:\\data\\f"), Under("drive_d/data/f"));
    EXPECT_EQ(Map("Z:\\f"), Under("drive_z/f"));
}

TEST_F(MapPath, LeadingSeparatorWithoutDriveIsDriveC)
{
    EXPECT_EQ(Map("\\novarc\\x"), Under("drive_c/novarc/x"));
    EXPECT_EQ(Map("/novarc/x"), Under("drive_c/novarc/x"));
}

TEST_F(MapPath, DriveWithoutSeparatorIsTheDriveRoot)
{
    EXPECT_EQ(Map("c:"), Under("drive_c"));
    EXPECT_EQ(Map("c:x.txt"), Under("drive_c/x.txt"));
}

TEST_F(MapPath, ExistingComponentsAreFoundWithoutRegardToCase)
{
    fs::create_directories(root_.driveC("Novarc/Bin"));
    EXPECT_EQ(Map("c:\\NOVARC\\bin\\new.txt"), Under("drive_c/Novarc/Bin/new.txt"));
    EXPECT_EQ(Map("c:\\novarc\\BIN"), Under("drive_c/Novarc/Bin"));
}

TEST_F(MapPath, NewNamesKeepTheCallersSpelling)
{
    fs::create_directories(root_.driveC("Novarc"));
    EXPECT_EQ(Map("c:\\NOVARC\\NewDir\\Sub\\File.TXT"),
              Under("drive_c/Novarc/NewDir/Sub/File.TXT"));
}

TEST_F(MapPath, ExactSpellingWinsThenSmallestName)
{
    fs::create_directories(root_.driveC("abc"));
    fs::create_directories(root_.driveC("ABC"));
    EXPECT_EQ(Map("c:\\abc"), Under("drive_c/abc"));
    EXPECT_EQ(Map("c:\\ABC"), Under("drive_c/ABC"));
    EXPECT_EQ(Map("c:\\Abc"), Under("drive_c/ABC")); // "ABC" < "abc" in byte order
}

TEST_F(MapPath, DotIsIgnored)
{
    EXPECT_EQ(Map("c:\\.\\a\\.\\b"), Under("drive_c/a/b"));
}

TEST_F(MapPath, DotDotGoesUpButNeverAboveTheDriveRoot)
{
    EXPECT_EQ(Map("c:\\a\\b\\..\\c"), Under("drive_c/a/c"));
    EXPECT_EQ(Map("c:\\..\\..\\etc\\passwd"), Under("drive_c/etc/passwd"));
    EXPECT_EQ(Map("c:\\a\\..\\..\\..\\b"), Under("drive_c/b"));
}

TEST_F(MapPath, RepeatedSeparatorsCollapse)
{
    EXPECT_EQ(Map("c:\\\\a//\\b"), Under("drive_c/a/b"));
}

TEST_F(MapPath, TrailingDotsAndSpacesOfTheLastNameAreDropped)
{
    EXPECT_EQ(Map("c:\\dir\\file.txt. . "), Under("drive_c/dir/file.txt"));
    EXPECT_EQ(Map("c:\\dir\\name."), Under("drive_c/dir/name"));
}

TEST_F(MapPath, TrailingSeparatorIsKept)
{
    EXPECT_EQ(Map("c:\\dir\\"), Under("drive_c/dir/"));
}

TEST_F(MapPath, LongPathPrefixIsAccepted)
{
    EXPECT_EQ(Map("\\\\?\\c:\\x\\y"), Under("drive_c/x/y"));
}

TEST_F(MapPath, RelativePathsStartAtTheCurrentFolder)
{
    fs::create_directories(root_.driveC("Work/Sub"));
    const fs::path old = fs::current_path();
    fs::current_path(root_.driveC("Work"));
    EXPECT_EQ(Map("sub\\f.txt"), Under("drive_c/Work/Sub/f.txt"));
    EXPECT_EQ(Map(".\\new\\f.txt"), Under("drive_c/Work/new/f.txt"));
    EXPECT_EQ(Map("..\\..\\..\\x"), Under("drive_c/x")); // stops at the drive root
    fs::current_path(old);
}

TEST_F(MapPath, EmptyPathIsPathNotFound)
{
    char out[64];
    SetLastError(0xdeadbeef);
    EXPECT_EQ(winport_map_path("", out, sizeof out), 0u);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_PATH_NOT_FOUND);
    SetLastError(0xdeadbeef);
    EXPECT_EQ(winport_map_path(nullptr, out, sizeof out), 0u);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_PATH_NOT_FOUND);
}

TEST_F(MapPath, CharactersWindowsForbidsAreInvalidNames)
{
    const char *bad[] = {"c:\\a<b",    "c:\\a>b",  "c:\\a\"b", "c:\\a|b", "c:\\a?b", "c:\\a*b",
                         "c:\\a\x01z", "c:\\a\tb", "c:\\a:b",  "1:\\x",   "ab:\\x"};
    for (const char *path : bad) {
        char out[256];
        SetLastError(0xdeadbeef);
        EXPECT_EQ(winport_map_path(path, out, sizeof out), 0u) << path;
        EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_NAME) << path;
    }
}

TEST_F(MapPath, NetworkSharesHaveNoPath)
{
    char out[256];
    SetLastError(0xdeadbeef);
    EXPECT_EQ(winport_map_path("\\\\server\\share\\f", out, sizeof out), 0u);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_BAD_PATHNAME);
}

TEST_F(MapPath, ShortBufferFailsWithInsufficientBuffer)
{
    const std::string full = Map("c:\\x.txt");
    std::string out(full.size(), '\0'); // no room for the NUL
    SetLastError(0xdeadbeef);
    EXPECT_EQ(winport_map_path("c:\\x.txt", out.data(), static_cast<DWORD>(out.size())), 0u);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INSUFFICIENT_BUFFER);
    std::string fits(full.size() + 1, '\0');
    EXPECT_EQ(winport_map_path("c:\\x.txt", fits.data(), static_cast<DWORD>(fits.size())),
              static_cast<DWORD>(full.size()));
    EXPECT_STREQ(fits.c_str(), full.c_str());
}

} // namespace
