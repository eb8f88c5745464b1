/*
 * The privileged operations, run in-process as the service runs them when
 * no helper is installed: what they place and run, and what a less trusted
 * process could leave in their way (links, other names, a second relay
 * installer) that they must refuse.
 */
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include <sys/stat.h>

#include <scratch_root.h>

#include "printkeeper.h"
#include "privileged.h"

namespace fs = std::filesystem;

namespace {

std::string Slurp(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream all;
    all << in.rdbuf();
    return all.str();
}

void Write(const std::string &path, const std::string &text, fs::perms perms = fs::perms::none)
{
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << text;
    if (perms != fs::perms::none)
        fs::permissions(path, perms);
}

class Privileged : public ::testing::Test {
protected:
    void SetUp() override
    {
        /* the installed client: the new one takes its permissions */
        Write(root_.driveC("novarc/bin2/novarcprint.exe"), "old client",
              fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                  fs::perms::others_read | fs::perms::others_exec);
    }
    std::string Verified(const std::string &name)
    {
        return root_.driveC("kel/transfer/verified/" + name);
    }
    std::string Bin2(const std::string &name) { return root_.driveC("novarc/bin2/" + name); }

    ScratchRoot root_;
};

TEST_F(Privileged, ClientProgramNamesFollowTheVersionPattern)
{
    for (const char *name :
         {"Novarcprint.859.237.exe", "NOVARCPRINT.1.2.EXE", "novarcprint.10.0.exe"})
        EXPECT_TRUE(IsClientProgramName(name)) << name;
    for (const char *name :
         {"novarcprint.exe", "Novarcprint.859.exe", "Novarcprint.a.1.exe", "Novarcprint.1.2.so",
          "libwinport.so", "Novarcprint..1.exe", "Novarcprint.1.2.3.exe", "xNovarcprint.1.2.exe"})
        EXPECT_FALSE(IsClientProgramName(name)) << name;
    EXPECT_STREQ(KitFileName(KIT_CONVERTER), "ConverterKit.exe");
    EXPECT_STREQ(KitArguments(KIT_VC9), nullptr);
    EXPECT_EQ(KitFileName(KIT_COUNT), nullptr);
}

TEST_F(Privileged, VerifiedClientsArePlacedAndNothingElse)
{
    Write(Verified("Novarcprint.859.237.exe"), "new client");
    Write(Verified("libwinport.so"), "not a client");
    Write(root_.path() + "/secret", "secret");
    fs::create_symlink(root_.path() + "/secret", Verified("Novarcprint.1.1.exe"));
    EXPECT_EQ(DoPrivileged(HELPER_PLACE_PROGRAMS), 0u);
    EXPECT_EQ(Slurp(Bin2("Novarcprint.859.237.exe")), "new client");
    EXPECT_EQ(fs::status(Bin2("Novarcprint.859.237.exe")).permissions(),
              fs::status(Bin2("novarcprint.exe")).permissions());
    EXPECT_FALSE(fs::exists(Verified("Novarcprint.859.237.exe")));
    EXPECT_FALSE(fs::exists(Bin2("libwinport.so")));
    EXPECT_FALSE(fs::exists(Bin2("Novarcprint.1.1.exe")));
    EXPECT_FALSE(fs::exists(Bin2(".Novarcprint.859.237.exe.new")));
    /* Placing again replaces the program whole. */
    Write(Verified("Novarcprint.859.237.exe"), "newer client");
    EXPECT_EQ(DoPrivileged(HELPER_PLACE_PROGRAMS), 0u);
    EXPECT_EQ(Slurp(Bin2("Novarcprint.859.237.exe")), "newer client");
}

TEST_F(Privileged, ALinkInPlaceOfTheVerifiedFolderIsRefused)
{
    Write(root_.path() + "/elsewhere/Novarcprint.2.2.exe", "planted");
    fs::create_directories(root_.driveC("kel/transfer"));
    fs::create_directory_symlink(root_.path() + "/elsewhere",
                                 root_.driveC("kel/transfer/verified"));
    EXPECT_EQ(DoPrivileged(HELPER_PLACE_PROGRAMS), (DWORD)ERROR_CANT_RESOLVE_FILENAME);
    EXPECT_FALSE(fs::exists(Bin2("Novarcprint.2.2.exe")));
}

TEST_F(Privileged, InstallersRunFromTheTransferFolderWithTheirSwitch)
{
    const std::string marker = root_.path() + "/ran";
    Write(root_.driveC("kel/transfer/EcgKit.exe"), "#!/bin/sh\necho \"$@\" > '" + marker + "'\n",
          fs::perms::owner_all);
    EXPECT_EQ(DoPrivileged(HELPER_RUN_INSTALLER + KIT_ECG), 0u);
    EXPECT_EQ(Slurp(marker), "-N\n");
    /* A kit that is not there fails; a control outside the table too. */
    EXPECT_EQ(DoPrivileged(HELPER_RUN_INSTALLER + KIT_PDF), (DWORD)ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(DoPrivileged(HELPER_RUN_INSTALLER + KIT_COUNT), (DWORD)ERROR_INVALID_SERVICE_CONTROL);
    EXPECT_EQ(DoPrivileged(200), (DWORD)ERROR_INVALID_SERVICE_CONTROL);
}

TEST_F(Privileged, TheRelayRunsOnlyItsOneInstaller)
{
    const std::string marker = root_.path() + "/relay-ran";
    EXPECT_EQ(DoPrivileged(HELPER_RUN_RELAY), (DWORD)ERROR_FILE_NOT_FOUND);
    Write(root_.driveC("kel/transfer/relay/Update.exe"),
          "#!/bin/sh\necho \"$@\" > '" + marker + "'\n", fs::perms::owner_all);
    Write(root_.driveC("kel/transfer/relay/Other.exe"), "#!/bin/sh\n", fs::perms::owner_all);
    EXPECT_EQ(DoPrivileged(HELPER_RUN_RELAY), (DWORD)ERROR_FILE_NOT_FOUND);
    EXPECT_FALSE(fs::exists(marker));
    fs::remove(root_.driveC("kel/transfer/relay/Other.exe"));
    /* Without a helper on the machine the service does it itself. */
    EXPECT_EQ(RequestPrivileged(HELPER_RUN_RELAY, 30000), 1);
    EXPECT_EQ(Slurp(marker), "-N\n");
}

} // namespace
