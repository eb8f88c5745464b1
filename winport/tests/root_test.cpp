/*
 * Conformance tests: the winport root (where it is, what a fresh root
 * holds, switching it).  The default root is checked in child processes, as
 * it is fixed on first use.
 */
#include <gtest/gtest.h>

#include "scratch_root.h"

#include <winport_test.h>

#include <filesystem>
#include <string>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

/* Runs `body` in a forked child (for a set-up step that needs no fresh
 * process); returns its exit code. */
template <class F> int InChild(F body)
{
    pid_t pid = fork();
    if (pid == 0)
        _exit(body());
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 255;
}

std::string TempFolder()
{
    std::string tmpl = (fs::temp_directory_path() / "wproot-env-XXXXXX").string();
    return mkdtemp(tmpl.data());
}

/* A temporary folder that the re-executed death-test child shares with its
 * parent (the child runs the test body again and inherits the variable). */
std::string SharedTempFolder(const char *variable)
{
    if (const char *existing = getenv(variable))
        return existing;
    std::string dir = TempFolder();
    setenv(variable, dir.c_str(), 1);
    return dir;
}

/* The default root is fixed on first use, so these checks run in a process
 * that has not touched winport yet: "threadsafe" death tests re-execute the
 * test program and run only the statement. */
class DefaultRoot : public ::testing::Test {
protected:
    void SetUp() override { GTEST_FLAG_SET(death_test_style, "threadsafe"); }
};

TEST_F(DefaultRoot, EnvironmentVariableChoosesTheRoot)
{
    const std::string base = SharedTempFolder("WPTEST_ENV_ROOT");
    const std::string dir = base + "/nested/root";
    EXPECT_EXIT(
        {
            setenv("WINPORT_ROOT", dir.c_str(), 1);
            _exit(std::string(winport_root()) == dir ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
    EXPECT_TRUE(fs::is_directory(dir + "/drive_c/Windows/system32"));
    fs::remove_all(base);
    unsetenv("WPTEST_ENV_ROOT");
}

TEST_F(DefaultRoot, UserRootIsUnderTheHomeFolder)
{
    const std::string home = SharedTempFolder("WPTEST_HOME");
    chmod(home.c_str(), 0777);
    EXPECT_EXIT(
        {
            // As root, become "nobody" first: the rule is for other users.
            if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0))
                _exit(2);
            unsetenv("WINPORT_ROOT");
            setenv("HOME", home.c_str(), 1);
            _exit(std::string(winport_root()) == home + "/.local/share/novarc" ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
    EXPECT_TRUE(fs::is_directory(home + "/.local/share/novarc/drive_c/Windows/system32"));
    fs::remove_all(home);
    unsetenv("WPTEST_HOME");
}

/* A private mount namespace with a scratch /var/lib keeps the machine's own
 * /var/lib untouched. */
bool PrivateVarLib()
{
    return unshare(CLONE_NEWNS) == 0 &&
           mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0 &&
           mount("tmpfs", "/var/lib", "tmpfs", 0, nullptr) == 0;
}

TEST_F(DefaultRoot, TheServiceRootIsVarLibNovarc)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "needs root";
    if (InChild([] { return PrivateVarLib() ? 0 : 1; }) != 0)
        GTEST_SKIP() << "no private mount namespace here";
    EXPECT_EXIT(
        {
            if (!PrivateVarLib())
                _exit(3);
            unsetenv("WINPORT_ROOT");
            if (std::string(winport_root()) != "/var/lib/novarc")
                _exit(1);
            _exit(fs::is_regular_file("/var/lib/novarc/drive_c/Windows/system32/ws2_32.dll") ? 0
                                                                                             : 4);
        },
        ::testing::ExitedWithCode(0), "");
}

TEST(WinportRoot, FreshRootHasTheSystemFolderWithTheWinsockDlls)
{
    ScratchRoot root;
    EXPECT_EQ(std::string(winport_root()), root.path());
    EXPECT_TRUE(fs::is_regular_file(root.driveC("Windows/system32/ws2_32.dll")));
    EXPECT_TRUE(fs::is_regular_file(root.driveC("Windows/system32/wsock32.dll")));
    char sys[MAX_PATH];
    ASSERT_GT(GetSystemDirectoryA(sys, sizeof sys), 0u);
    std::string dll = std::string(sys) + "\\WS2_32.DLL";
    EXPECT_NE(GetFileAttributesA(dll.c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST(WinportRoot, SwitchingTheRootRedirectsLookups)
{
    ScratchRoot first;
    ASSERT_NE(CreateDirectoryA("c:\\only_in_first", nullptr), FALSE);
    ScratchRoot second;
    SetLastError(0xdeadbeef);
    EXPECT_EQ(GetFileAttributesA("c:\\only_in_first"), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_FILE_NOT_FOUND);
    ASSERT_TRUE(winport_test_set_root(first.path().c_str()));
    EXPECT_EQ(GetFileAttributesA("c:\\only_in_first"), (DWORD)FILE_ATTRIBUTE_DIRECTORY);
}

TEST(WinportRoot, SetRootCreatesAMissingFolder)
{
    ScratchRoot scratch;
    const std::string dir = scratch.path() + "/a/b/c";
    EXPECT_TRUE(winport_test_set_root(dir.c_str()));
    EXPECT_TRUE(fs::is_directory(dir + "/drive_c/Windows/system32"));
}

TEST(WinportRoot, SetRootRejectsAnEmptyName)
{
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(winport_test_set_root(""));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_PARAMETER);
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(winport_test_set_root(nullptr));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_PARAMETER);
}

TEST(WinportRoot, RootTextStaysValidAcrossSwitches)
{
    ScratchRoot first;
    const char *a = winport_root();
    ScratchRoot second;
    const char *b = winport_root();
    EXPECT_EQ(std::string(a), first.path());
    EXPECT_EQ(std::string(b), second.path());
}

TEST(WinportRoot, SwitchingFromManyThreadsIsSafe)
{
    ScratchRoot a, b;
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; t++)
        threads.emplace_back([&, t] {
            for (int i = 0; i < 200; i++) {
                winport_test_set_root((t % 2 ? a : b).path().c_str());
                std::string r = winport_root();
                EXPECT_TRUE(r == a.path() || r == b.path());
            }
        });
    for (auto &th : threads)
        th.join();
}

} // namespace
