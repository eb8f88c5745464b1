/*
 * Paths a peer names: what a hostile server could send to reach outside the
 * root, into the program folders or through a link, and what a real server
 * sends that must keep working.
 */
#include <kellib/peer_path.h>

#include <posix_files.h>
#include <scratch_root.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace fs = std::filesystem;

namespace {

class PeerPath : public ::testing::Test {
protected:
    /* The plain form, or "refused:<error>". */
    static std::string Peer(const char *szPath, int iAccess = KEL_PATH_WRITE)
    {
        char szFull[MAX_PATH] = "untouched";
        SetLastError(0xdeadbeef);
        if (KELPeerPath(szPath, iAccess, szFull, sizeof(szFull)))
            return szFull;
        EXPECT_STREQ(szFull, "") << szPath;
        return "refused:" + std::to_string(GetLastError());
    }
    static std::string Refused(DWORD dwError) { return "refused:" + std::to_string(dwError); }

    ScratchRoot root_;
};

TEST_F(PeerPath, FullPathsOnADriveAreAcceptedInTheirPlainForm)
{
    EXPECT_EQ(Peer("c:\\novarc\\RecentScans\\scan 1.tif"), "c:\\novarc\\RecentScans\\scan 1.tif");
    EXPECT_EQ(Peer("C:/novarc//convert_pdf/x.pdf"), "c:\\novarc\\convert_pdf\\x.pdf");
    EXPECT_EQ(Peer("\\novarc\\.x2m"), "c:\\novarc\\.x2m");
    EXPECT_EQ(Peer("d:\\export\\letter.doc"), "d:\\export\\letter.doc");
    EXPECT_EQ(Peer("c:\\novarc\\bin2x\\f.txt"), "c:\\novarc\\bin2x\\f.txt"); // not bin2
    EXPECT_EQ(Peer("c:\\novarc\\bin\\PRINT_DEBUGGING_ON"), "c:\\novarc\\bin\\PRINT_DEBUGGING_ON");
    // The answer alone, without a buffer.
    EXPECT_EQ(KELPeerPath("c:\\a.txt", KEL_PATH_WRITE, NULL, 0), 1);
}

TEST_F(PeerPath, EscapesAndNamesWindowsWouldReinterpretAreRefused)
{
    const DWORD invalid = ERROR_INVALID_NAME;
    for (const char *szPath : {"c:\\novarc\\..\\..\\etc\\passwd",
                               "c:\\novarc\\.\\x",
                               "..\\x",
                               "x.txt",
                               "novarc\\x",
                               "c:x.txt",
                               "c:\\novarc\\x.",
                               "c:\\novarc\\x ",
                               "c:\\novarc\\nul",
                               "c:\\novarc\\COM1.txt",
                               "c:\\a\\con .txt",
                               "c:\\a\\lpt9",
                               "c:\\a\\CONOUT$",
                               "c:\\a\\b*c",
                               "c:\\a\\b?",
                               "c:\\a\\b:stream",
                               "c:\\a\\b\x01",
                               "c:\\",
                               "c:",
                               "",
                               "1:\\x"})
        EXPECT_EQ(Peer(szPath), Refused(invalid)) << szPath;
    EXPECT_EQ(Peer(NULL), Refused(invalid));
    for (const char *szPath : {"\\\\server\\share\\x.pdf", "\\\\?\\c:\\novarc\\bin2\\x",
                               "\\\\.\\PhysicalDrive0", "//x/y"})
        EXPECT_EQ(Peer(szPath), Refused(ERROR_BAD_PATHNAME)) << szPath;
    const std::string longComponent = "c:\\" + std::string(256, 'a');
    const std::string longPath = "c:\\" + std::string(100, 'a') + "\\" + std::string(100, 'b') +
                                 "\\" + std::string(100, 'c');
    EXPECT_EQ(Peer(longComponent.c_str()), Refused(ERROR_FILENAME_EXCED_RANGE));
    EXPECT_EQ(Peer(longPath.c_str()), Refused(ERROR_FILENAME_EXCED_RANGE));
    // A caller's buffer too small for the plain form.
    char szSmall[8];
    EXPECT_EQ(KELPeerPath("c:\\novarc\\x.txt", KEL_PATH_READ, szSmall, sizeof(szSmall)), 0);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_FILENAME_EXCED_RANGE);
}

TEST_F(PeerPath, ProgramFoldersAreRefusedForWritingButMayBeRead)
{
    const DWORD denied = ERROR_ACCESS_DENIED;
    for (const char *szPath :
         {"c:\\novarc\\bin2\\novarcprint.exe", "C:/NOVARC/BIN2/libwinport.so", "c:\\novarc\\bin2",
          "c:\\novarc\\bin2\\sub\\x", "c:\\Windows\\System32\\ws2_32.dll",
          "c:\\windows\\fonts\\arial.ttf", "c:\\novarc\\bin\\PdfTron\\kelpdftron.dll",
          "c:\\novarc\\bin\\allowedservers.txt", "c:\\novarc\\bin\\ALLOWE~1.TXT"})
        EXPECT_EQ(Peer(szPath), Refused(denied)) << szPath;
    EXPECT_EQ(Peer("c:\\novarc\\bin2\\novarcprint.exe", KEL_PATH_READ),
              "c:\\novarc\\bin2\\novarcprint.exe");
    EXPECT_EQ(Peer("c:\\novarc\\bin\\AllowedServers.txt.bak"),
              "c:\\novarc\\bin\\AllowedServers.txt.bak");
}

TEST_F(PeerPath, ASymbolicLinkAnywhereOnTheWayIsRefusedEvenForReading)
{
    const DWORD link = ERROR_CANT_RESOLVE_FILENAME;
    fs::create_directories(root_.driveC("novarc/bin2"));
    fs::create_directories(root_.driveC("novarc/cache"));
    WriteText(root_.driveC("novarc/cache/real.txt"), "x");
    // A folder link into the program folder, one out of the root, a file
    // link and a dangling one (which a create would follow).
    fs::create_directory_symlink(root_.driveC("novarc/bin2"), root_.driveC("novarc/cache/prog"));
    fs::create_directory_symlink("/etc", root_.driveC("novarc/etc"));
    fs::create_symlink(root_.driveC("novarc/cache/real.txt"), root_.driveC("novarc/cache/l.txt"));
    fs::create_symlink(root_.path() + "/winport/x", root_.driveC("novarc/cache/dangling"));
    for (int iAccess : {KEL_PATH_READ, KEL_PATH_WRITE}) {
        for (const char *szPath :
             {"c:\\novarc\\cache\\prog\\novarcprint.exe", "c:\\novarc\\etc\\passwd",
              "c:\\NOVARC\\ETC", "c:\\novarc\\cache\\l.txt", "c:\\novarc\\cache\\dangling"})
            EXPECT_EQ(Peer(szPath, iAccess), Refused(link)) << szPath << " access " << iAccess;
    }
    // Beside the links, and below a name that does not exist yet, all is well.
    EXPECT_EQ(Peer("c:\\novarc\\cache\\real.txt"), "c:\\novarc\\cache\\real.txt");
    EXPECT_EQ(Peer("c:\\novarc\\cache\\new\\deeper\\x.txt"),
              "c:\\novarc\\cache\\new\\deeper\\x.txt");
    EXPECT_STREQ(KELPeerPathReason(link), "a symbolic link on the way");
    EXPECT_STREQ(KELPeerPathReason(ERROR_ACCESS_DENIED), "a program folder");
}

TEST_F(PeerPath, BareFileNamesHaveNoFolderDriveOrDevice)
{
    for (const char *szName : {"scan 1.tif", ".x2m", "Novarcprint.859.237.exe", "a~1.txt"}) {
        SetLastError(0xdeadbeef);
        EXPECT_EQ(KELPeerFileName(szName), 1) << szName;
    }
    const std::string tooLong(256, 'n');
    for (const char *szName : {"", "a\\b", "a/b", "c:x", "c:", "..", ".", "NUL", "com1.txt", "x.",
                               "x ", "a*b", "a|b", "prn.exe"}) {
        SetLastError(0xdeadbeef);
        EXPECT_EQ(KELPeerFileName(szName), 0) << szName;
        EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_NAME) << szName;
    }
    EXPECT_EQ(KELPeerFileName(tooLong.c_str()), 0);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_FILENAME_EXCED_RANGE);
    EXPECT_EQ(KELPeerFileName(NULL), 0);
}

TEST_F(PeerPath, AFileInAFolderIsJoinedAndCheckedWhole)
{
    char szFull[MAX_PATH];
    EXPECT_EQ(KELPeerFileInFolder("c:\\novarc\\RecentScans", "a.x2m", KEL_PATH_WRITE, szFull,
                                  sizeof(szFull)),
              1);
    EXPECT_STREQ(szFull, "c:\\novarc\\RecentScans\\a.x2m");
    EXPECT_EQ(KELPeerFileInFolder("c:\\novarc\\RecentScans", "..\\bin2\\x", KEL_PATH_WRITE, szFull,
                                  sizeof(szFull)),
              0);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_NAME);
    EXPECT_EQ(
        KELPeerFileInFolder("c:\\novarc\\bin2", "x.exe", KEL_PATH_WRITE, szFull, sizeof(szFull)),
        0);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_ACCESS_DENIED);
    const std::string deep = "c:\\" + std::string(200, 'f');
    EXPECT_EQ(KELPeerFileInFolder(deep.c_str(), std::string(100, 'n').c_str(), KEL_PATH_READ,
                                  szFull, sizeof(szFull)),
              0);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_FILENAME_EXCED_RANGE);
}

TEST_F(PeerPath, OnlyTheInstallerEntryReachesTheProgramFolders)
{
    char szFull[MAX_PATH];
    EXPECT_EQ(
        KELProgramFilePath("c:\\novarc\\bin2", "Novarcprint.859.237.exe", szFull, sizeof(szFull)),
        1);
    EXPECT_STREQ(szFull, "c:\\novarc\\bin2\\Novarcprint.859.237.exe");
    char szSystem[MAX_PATH];
    ASSERT_GT(GetSystemDirectoryA(szSystem, sizeof(szSystem)), 0u);
    EXPECT_EQ(KELProgramFilePath(szSystem, "cdintf550.dll", szFull, sizeof(szFull)), 1);
    EXPECT_EQ(
        KELProgramFilePath("C:\\NOVARC\\BIN\\PDFTRON", "kelpdftron.dll", szFull, sizeof(szFull)),
        1);
    for (const char *szFolder :
         {"c:\\novarc", "c:\\novarc\\bin2\\sub", "c:\\kel\\transfer", "c:\\Windows\\Fonts"}) {
        EXPECT_EQ(KELProgramFilePath(szFolder, "x.exe", szFull, sizeof(szFull)), 0) << szFolder;
        EXPECT_EQ(GetLastError(), (DWORD)ERROR_ACCESS_DENIED) << szFolder;
    }
    EXPECT_EQ(KELProgramFilePath("c:\\novarc\\bin2", "..\\x.exe", szFull, sizeof(szFull)), 0);
    fs::create_directories(root_.driveC("novarc/bin2"));
    fs::create_symlink("/etc/passwd", root_.driveC("novarc/bin2/novarcprint.exe"));
    EXPECT_EQ(KELProgramFilePath("c:\\novarc\\bin2", "novarcprint.exe", szFull, sizeof(szFull)), 0);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_CANT_RESOLVE_FILENAME);
}

} // namespace
