/*
 * Conformance: GetFileVersionInfoSizeA, GetFileVersionInfoA and
 * VerQueryValueA on the version record our build embeds.  This program
 * carries the record of version 1.2.3.4 (see CMakeLists.txt); the tests copy
 * it under the root and read it back as the update code reads a received
 * print client.
 */
#include <gtest/gtest.h>

#include <windows.h>

#include <filesystem>
#include <fstream>
#include <vector>

#include "scratch_root.h"

namespace fs = std::filesystem;

namespace {

constexpr DWORD kSentinel = 0xdeadbeef;

class VersionInfo : public ::testing::Test {
protected:
    ScratchRoot root;
    void SetUp() override
    {
        fs::create_directories(root.driveC("prog"));
        fs::copy_file("/proc/self/exe", root.driveC("prog/App.exe"));
    }
    /* The whole block for a Windows path, as a caller builds it. */
    std::vector<char> Block(const char *path)
    {
        DWORD handle = kSentinel;
        const DWORD size = GetFileVersionInfoSizeA(path, &handle);
        EXPECT_EQ(handle, 0u);
        std::vector<char> block(size);
        if (size) {
            EXPECT_TRUE(GetFileVersionInfoA(path, 0, size, block.data()));
        }
        return block;
    }
    std::string Text(std::vector<char> &block, const char *name)
    {
        LPVOID value = nullptr;
        UINT length = 0;
        if (!VerQueryValueA(block.data(), name, &value, &length))
            return "<none>";
        EXPECT_GT(length, 0u);
        EXPECT_EQ(static_cast<char *>(value)[length - 1], '\0') << "length counts the NUL";
        return std::string(static_cast<char *>(value), length - 1);
    }
};

TEST_F(VersionInfo, RootBlockIsTheFixedFileInfoOfTheBuild)
{
    std::vector<char> block = Block("c:\\PROG\\app.exe");
    ASSERT_FALSE(block.empty());
    LPVOID value = nullptr;
    UINT length = 0;
    SetLastError(kSentinel);
    ASSERT_TRUE(VerQueryValueA(block.data(), "\\", &value, &length));
    ASSERT_EQ(length, sizeof(VS_FIXEDFILEINFO));
    const auto *info = static_cast<const VS_FIXEDFILEINFO *>(value);
    EXPECT_EQ(info->dwSignature, (DWORD)VS_FFI_SIGNATURE);
    EXPECT_EQ(info->dwStrucVersion, (DWORD)VS_FFI_STRUCVERSION);
    EXPECT_EQ(HIWORD(info->dwFileVersionMS), 1);
    EXPECT_EQ(LOWORD(info->dwFileVersionMS), 2);
    EXPECT_EQ(HIWORD(info->dwFileVersionLS), 3);
    EXPECT_EQ(LOWORD(info->dwFileVersionLS), 4);
    EXPECT_EQ(info->dwProductVersionMS, info->dwFileVersionMS);
    EXPECT_EQ(info->dwFileType, (DWORD)VFT_APP);
    EXPECT_EQ(info->dwFileOS, (DWORD)VOS_NT_WINDOWS32);
    /* The pointer lies inside the caller's block. */
    EXPECT_GE(static_cast<char *>(value), block.data());
    EXPECT_LT(static_cast<char *>(value), block.data() + block.size());
    /* "" names the root too. */
    ASSERT_TRUE(VerQueryValueA(block.data(), "", &value, &length));
    EXPECT_EQ(length, sizeof(VS_FIXEDFILEINFO));
}

TEST_F(VersionInfo, TranslationAndStringsAsTheirPathsName)
{
    std::vector<char> block = Block("c:\\prog\\App.exe");
    ASSERT_FALSE(block.empty());
    LPVOID value = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueA(block.data(), "\\VarFileInfo\\Translation", &value, &length));
    ASSERT_EQ(length, 4u);
    const auto *pair = static_cast<const WORD *>(value);
    EXPECT_EQ(pair[0], 0x0409);
    EXPECT_EQ(pair[1], 1200);
    EXPECT_EQ(Text(block, "\\StringFileInfo\\040904b0\\FileVersion"), "1.2.3.4");
    EXPECT_EQ(Text(block, "\\StringFileInfo\\040904b0\\OriginalFilename"), "version-app.exe");
    EXPECT_EQ(Text(block, "\\StringFileInfo\\040904b0\\CompanyName"), "Novarc");
    /* Names without regard to case, repeated separators ignored. */
    EXPECT_EQ(Text(block, "\\stringfileinfo\\\\040904B0\\FILEVERSION"), "1.2.3.4");
    /* A block without a value of its own. */
    ASSERT_TRUE(VerQueryValueA(block.data(), "\\StringFileInfo", &value, &length));
    EXPECT_EQ(length, 0u);
}

TEST_F(VersionInfo, MissingNamesAndTruncatedBuffersFail)
{
    std::vector<char> block = Block("c:\\prog\\App.exe");
    ASSERT_FALSE(block.empty());
    LPVOID value = nullptr;
    UINT length = 99;
    for (const char *name : {"\\StringFileInfo\\040904b0\\Comments", "\\StringFileInfo\\04070000",
                             "\\Nothing", "\\VarFileInfo\\Translation\\More"}) {
        SetLastError(kSentinel);
        EXPECT_FALSE(VerQueryValueA(block.data(), name, &value, &length)) << name;
        EXPECT_EQ(GetLastError(), (DWORD)ERROR_RESOURCE_TYPE_NOT_FOUND) << name;
    }
    SetLastError(kSentinel);
    EXPECT_FALSE(VerQueryValueA(nullptr, "\\", &value, &length));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_PARAMETER);

    /* Only the record, without the room for ANSI copies: binary values
     * still answer, text values do not. */
    const DWORD size = (DWORD)block.size();
    std::vector<char> small(size, 0x55);
    const DWORD recordOnly = (size - 4) / 2;
    ASSERT_TRUE(GetFileVersionInfoA("c:\\prog\\App.exe", 0, recordOnly, small.data()));
    EXPECT_EQ((unsigned char)small[recordOnly], 0x55) << "nothing written past dwLen";
    EXPECT_TRUE(VerQueryValueA(small.data(), "\\", &value, &length));
    EXPECT_FALSE(
        VerQueryValueA(small.data(), "\\StringFileInfo\\040904b0\\FileVersion", &value, &length));
}

TEST_F(VersionInfo, FilesWithoutARecordAndMissingFiles)
{
    std::ofstream(root.driveC("prog/readme.txt")) << "not a program";
    fs::copy_file("/bin/true", root.driveC("prog/plain.exe"));
    /* An image cut short inside its tables. */
    {
        std::ifstream in("/proc/self/exe", std::ios::binary);
        std::vector<char> head(4096);
        in.read(head.data(), (std::streamsize)head.size());
        std::ofstream(root.driveC("prog/cut.exe"), std::ios::binary).write(head.data(), 4096);
    }
    struct Case {
        const char *path;
        DWORD error;
    } cases[] = {
        {"c:\\prog\\plain.exe", ERROR_RESOURCE_TYPE_NOT_FOUND},
        {"c:\\prog\\readme.txt", ERROR_BAD_EXE_FORMAT},
        {"c:\\prog\\cut.exe", ERROR_BAD_EXE_FORMAT},
        {"c:\\prog\\missing.exe", ERROR_FILE_NOT_FOUND},
        {"c:\\nofolder\\missing.exe", ERROR_PATH_NOT_FOUND},
    };
    for (const Case &c : cases) {
        DWORD handle = kSentinel;
        SetLastError(kSentinel);
        EXPECT_EQ(GetFileVersionInfoSizeA(c.path, &handle), 0u) << c.path;
        EXPECT_EQ(GetLastError(), c.error) << c.path;
        EXPECT_EQ(handle, 0u) << c.path;
        char buffer[64];
        SetLastError(kSentinel);
        EXPECT_FALSE(GetFileVersionInfoA(c.path, 0, sizeof(buffer), buffer)) << c.path;
        EXPECT_EQ(GetLastError(), c.error) << c.path;
    }
}

} // namespace
