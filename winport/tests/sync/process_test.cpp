/*
 * Conformance tests: CreateProcessA and CreateProcessAsUserA, process and
 * thread handles, exit codes, standard output on a pipe, tokens.
 */
#include "process_test_util.h"

#include "posix_files.h"

#include <signal.h>
#include <sys/stat.h>

namespace {

class Process : public ChildProcessTest {};

TEST_F(Process, ExitCodeOfAnEndedChildIsReported)
{
    PROCESS_INFORMATION pi{};
    ASSERT_TRUE(Start("exit 7", pi));
    EXPECT_NE(pi.dwProcessId, 0u);
    EXPECT_NE(pi.dwProcessId, GetCurrentProcessId());
    EXPECT_EQ(WaitForSingleObject(pi.hProcess, 60000), (DWORD)WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(pi.hThread, 0), (DWORD)WAIT_OBJECT_0);
    DWORD code = 0;
    SetLastError(0xdeadbeef);
    EXPECT_TRUE(GetExitCodeProcess(pi.hProcess, &code));
    EXPECT_EQ(code, 7u);
    EXPECT_TRUE(CloseHandle(pi.hProcess));
    EXPECT_TRUE(CloseHandle(pi.hThread));
}

TEST_F(Process, RunningChildIsStillActiveAndAKilledOneEndsWithCodeOne)
{
    PROCESS_INFORMATION pi{};
    ASSERT_TRUE(Start("sleep 600000", pi));
    DWORD code = 0;
    EXPECT_TRUE(GetExitCodeProcess(pi.hProcess, &code));
    EXPECT_EQ(code, (DWORD)STILL_ACTIVE);
    EXPECT_EQ(WaitForSingleObject(pi.hProcess, 0), (DWORD)WAIT_TIMEOUT);
    kill(static_cast<pid_t>(pi.dwProcessId), SIGKILL);
    EXPECT_EQ(WaitForSingleObject(pi.hProcess, 60000), (DWORD)WAIT_OBJECT_0);
    EXPECT_TRUE(GetExitCodeProcess(pi.hProcess, &code));
    EXPECT_EQ(code, 1u);
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);
}

TEST_F(Process, ChildStandardOutputReachesAPipe)
{
    EXPECT_EQ(Output("echo-args hello"), "[hello]\n");
}

TEST_F(Process, CommandLineIsSplitAsTheCRuntimeDoes)
{
    EXPECT_EQ(Output(R"(echo-args "a b" c\"d "" e\\f "g\\"h "i""j")"),
              "[a b]\n[c\"d]\n[]\n[e\\\\f]\n[g\\h]\n[i\"j]\n");
}

TEST_F(Process, ChildWorksUnderTheSameRoot)
{
    EXPECT_EQ(Output("print-root"), root_.path() + "\n");
}

TEST_F(Process, EnvironmentBlockReplacesTheEnvironmentButKeepsTheClock)
{
    const char block[] = "WP_TEST_VALUE=from block\0PATH=/usr/bin:/bin\0\0";
    EXPECT_EQ(Output("print-env WP_TEST_VALUE", const_cast<char *>(block)), "from block\n");
    EXPECT_EQ(Output("print-env HOME", const_cast<char *>(block)), "(unset)\n");
}

TEST_F(Process, TimeScaleRunsTheChildsLongWaitsFast)
{
    const char block[] = "WINPORT_TIME_SCALE=1000\0\0";
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(Run("timed-wait", const_cast<char *>(block)), 0u);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30));
}

TEST_F(Process, ProgramNamedOnlyOnTheCommandLineIsFoundInTheSystemFolder)
{
    std::filesystem::create_symlink(SelfPath(), root_.driveC("Windows/system32/wpchild.exe"));
    STARTUPINFOA si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    char commandLine[] = "WPCHILD --wp-child exit 5";
    ASSERT_TRUE(CreateProcessA(nullptr, commandLine, nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                               &si, &pi));
    WaitForSingleObject(pi.hProcess, 60000);
    DWORD code = 0;
    GetExitCodeProcess(pi.hProcess, &code);
    EXPECT_EQ(code, 5u);
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);
}

TEST_F(Process, ClosingTheHandlesOfARunningChildStillReapsIt)
{
    PROCESS_INFORMATION pi{};
    ASSERT_TRUE(Start("sleep 200", pi));
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);
    const std::string proc = "/proc/" + std::to_string(pi.dwProcessId);
    for (int i = 0; i < 600 && std::filesystem::exists(proc); ++i)
        Sleep(50);
    EXPECT_FALSE(std::filesystem::exists(proc)) << "left as a zombie";
}

struct StartFailure {
    const char *application;
    DWORD error;
};

TEST_F(Process, ProgramsThatCannotRunFailWithWindowsErrors)
{
    WriteText(root_.driveC("bin/notes.exe"), "just text\n");
    chmod(root_.driveC("bin/notes.exe").c_str(), 0755);
    const StartFailure cases[] = {
        {"c:\\bin\\missing.exe", ERROR_FILE_NOT_FOUND},
        {"c:\\nowhere\\child.exe", ERROR_PATH_NOT_FOUND},
        {"c:\\bin", ERROR_ACCESS_DENIED},
        {"c:\\bin\\notes.exe", ERROR_BAD_EXE_FORMAT},
    };
    for (const StartFailure &c : cases) {
        STARTUPINFOA si{};
        si.cb = sizeof si;
        PROCESS_INFORMATION pi{};
        SetLastError(0xdeadbeef);
        EXPECT_FALSE(CreateProcessA(c.application, nullptr, nullptr, nullptr, FALSE, 0, nullptr,
                                    nullptr, &si, &pi))
            << c.application;
        EXPECT_EQ(GetLastError(), c.error) << c.application;
    }
}

TEST_F(Process, MissingCurrentFolderFailsWithDirectory)
{
    STARTUPINFOA si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    char commandLine[] = "child.exe --wp-child exit 0";
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(CreateProcessA("c:\\bin\\child.exe", commandLine, nullptr, nullptr, FALSE, 0,
                                nullptr, "c:\\no\\such\\folder", &si, &pi));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_DIRECTORY);
}

TEST_F(Process, MissingArgumentsAndConflictingFlagsFailWithInvalidParameter)
{
    STARTUPINFOA si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    char commandLine[] = "child.exe --wp-child exit 0";
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(
        CreateProcessA(nullptr, nullptr, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_PARAMETER);
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(CreateProcessA("c:\\bin\\child.exe", commandLine, nullptr, nullptr, FALSE,
                                DETACHED_PROCESS | CREATE_NEW_CONSOLE, nullptr, nullptr, &si, &pi));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_PARAMETER);
}

/* Known difference: suspended processes are not supported. */
TEST_F(Process, CreateSuspendedIsNotSupported)
{
    PROCESS_INFORMATION pi{};
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(Start("exit 0", pi, nullptr, FALSE, nullptr, CREATE_SUSPENDED));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_NOT_SUPPORTED);
}

TEST_F(Process, DetachedChildWithPriorityClassRuns)
{
    PROCESS_INFORMATION pi{};
    ASSERT_TRUE(
        Start("exit 9", pi, nullptr, TRUE, nullptr, DETACHED_PROCESS | HIGH_PRIORITY_CLASS));
    WaitForSingleObject(pi.hProcess, 60000);
    DWORD code = 0;
    GetExitCodeProcess(pi.hProcess, &code);
    EXPECT_EQ(code, 9u);
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);
}

TEST_F(Process, GetExitCodeProcessRejectsOtherHandles)
{
    HANDLE e = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    DWORD code = 0;
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(GetExitCodeProcess(e, &code));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_HANDLE);
    EXPECT_TRUE(GetExitCodeProcess(GetCurrentProcess(), &code));
    EXPECT_EQ(code, (DWORD)STILL_ACTIVE);
    CloseHandle(e);
}

class Token : public ChildProcessTest {
protected:
    BOOL StartAs(HANDLE token)
    {
        STARTUPINFOA si{};
        si.cb = sizeof si;
        PROCESS_INFORMATION pi{};
        char commandLine[] = "child.exe --wp-child exit 4";
        if (!CreateProcessAsUserA(token, "c:\\bin\\child.exe", commandLine, nullptr, nullptr, FALSE,
                                  DETACHED_PROCESS | NORMAL_PRIORITY_CLASS, nullptr, nullptr, &si,
                                  &pi))
            return FALSE;
        WaitForSingleObject(pi.hProcess, 60000);
        DWORD code = 0;
        GetExitCodeProcess(pi.hProcess, &code);
        CloseHandle(pi.hProcess);
        CloseHandle(pi.hThread);
        return code == 4;
    }
};

TEST_F(Token, DuplicatedPrimaryTokenOfTheProcessStartsAProgram)
{
    HANDLE own = nullptr, primary = nullptr;
    ASSERT_TRUE(
        OpenProcessToken(GetCurrentProcess(), TOKEN_ASSIGN_PRIMARY | TOKEN_DUPLICATE, &own));
    ASSERT_TRUE(DuplicateTokenEx(own, MAXIMUM_ALLOWED, nullptr, SecurityImpersonation, TokenPrimary,
                                 &primary));
    EXPECT_TRUE(StartAs(primary));
    CloseHandle(own);
    CloseHandle(primary);
}

TEST_F(Token, TokenWithoutQueryAccessCannotStartAProgram)
{
    HANDLE own = nullptr;
    ASSERT_TRUE(
        OpenProcessToken(GetCurrentProcess(), TOKEN_ASSIGN_PRIMARY | TOKEN_DUPLICATE, &own));
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(StartAs(own));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_ACCESS_DENIED);
    CloseHandle(own);
}

TEST_F(Token, ImpersonationTokenFailsWithBadTokenType)
{
    HANDLE own = nullptr, impersonation = nullptr;
    ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_ALL_ACCESS, &own));
    ASSERT_TRUE(DuplicateTokenEx(own, 0, nullptr, SecurityImpersonation, TokenImpersonation,
                                 &impersonation));
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(StartAs(impersonation));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_BAD_TOKEN_TYPE);
    CloseHandle(own);
    CloseHandle(impersonation);
}

TEST_F(Token, DuplicationNeedsDuplicateAccessAndAKnownType)
{
    HANDLE own = nullptr, copy = nullptr;
    ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &own));
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(DuplicateTokenEx(own, MAXIMUM_ALLOWED, nullptr, SecurityImpersonation,
                                  TokenPrimary, &copy));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_ACCESS_DENIED);
    CloseHandle(own);
    ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_DUPLICATE, &own));
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(DuplicateTokenEx(own, 0, nullptr, SecurityImpersonation,
                                  static_cast<TOKEN_TYPE>(3), &copy));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_PARAMETER);
    CloseHandle(own);
}

TEST_F(Token, HandlesThatAreNotTokensFailWithInvalidHandle)
{
    HANDLE e = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    HANDLE copy = nullptr;
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(DuplicateTokenEx(e, 0, nullptr, SecurityImpersonation, TokenPrimary, &copy));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_HANDLE);
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(OpenProcessToken(e, TOKEN_QUERY, &copy));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_HANDLE);
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(StartAs(e));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_HANDLE);
    CloseHandle(e);
}

} // namespace
