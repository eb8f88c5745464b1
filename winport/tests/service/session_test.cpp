/*
 * Terminal sessions over the tests' stand-in session source: enumeration
 * and queries, log-on and log-off notices, and the per-session "Local\"
 * namespace of named objects (children in other sessions).
 */
#include <windows.h>
#include <wtsapi32.h>

#include "scratch_root.h"

#include <gtest/gtest.h>

#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <fstream>
#include <map>
#include <string>
#include <vector>

extern char **environ;

namespace {

/* The stand-in source, this process in session 3 and a fast clock, set
 * before anything reads them. */
const bool g_environment = [] {
    setenv("WINPORT_SESSIONS", "sessions.txt", 1);
    setenv("WINPORT_SESSION_ID", "3", 0);
    setenv("WINPORT_TIME_SCALE", "10", 1);
    return true;
}();

/* The child: "--session-child <root> <name>" creates the mutex <name> in
 * its session and ends with 0 (created), 1 (it existed), 2 (refused). */
const int g_child = [] {
    std::ifstream in("/proc/self/cmdline", std::ios::binary);
    std::vector<std::string> args;
    for (std::string arg; std::getline(in, arg, '\0');)
        args.push_back(arg);
    if (args.size() != 4 || args[1] != "--session-child")
        return 0;
    winport_test_set_root(args[2].c_str());
    HANDLE h = CreateMutexA(nullptr, FALSE, args[3].c_str());
    _exit(h ? (GetLastError() == ERROR_ALREADY_EXISTS ? 1 : 0)
            : (GetLastError() == ERROR_ACCESS_DENIED ? 2 : 3));
}();

int RunChild(const std::string &root, const std::string &name, const std::string &session)
{
    std::vector<std::string> env;
    for (char **e = environ; *e; e++)
        if (std::strncmp(*e, "WINPORT_SESSION_ID=", 19) != 0)
            env.push_back(*e);
    env.push_back("WINPORT_SESSION_ID=" + session);
    std::vector<char *> envp;
    for (std::string &e : env)
        envp.push_back(e.data());
    envp.push_back(nullptr);
    std::string self = "/proc/self/exe", flag = "--session-child", r = root, n = name;
    char *argv[] = {self.data(), flag.data(), r.data(), n.data(), nullptr};
    pid_t pid = 0;
    if (posix_spawn(&pid, "/proc/self/exe", nullptr, nullptr, argv, envp.data()) != 0)
        return -1;
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

class Sessions : public ::testing::Test {
protected:
    void Write(const std::string &lines)
    {
        std::ofstream(root_.path() + "/sessions.txt.new") << lines;
        std::rename((root_.path() + "/sessions.txt.new").c_str(),
                    (root_.path() + "/sessions.txt").c_str());
    }
    ScratchRoot root_;
};

std::string Query(DWORD session, WTS_INFO_CLASS what, DWORD *bytes = nullptr)
{
    LPSTR buffer = nullptr;
    DWORD size = 0;
    if (!WTSQuerySessionInformationA(WTS_CURRENT_SERVER_HANDLE, session, what, &buffer, &size))
        return "<failed " + std::to_string(GetLastError()) + ">";
    std::string text(buffer, size ? size - 1 : 0);
    if (bytes)
        *bytes = size;
    WTSFreeMemory(buffer);
    return text;
}

TEST_F(Sessions, EnumeratesAndDescribesEach)
{
    Write("1 active alice Console\n"
          "# a comment line\n"
          "2 online bob RDP-Tcp#0\n"
          "0 active mallory\n" // session 0 is the services' own
          "x active eve\n"     // no number
          "7 closing -\n"
          "3 active alice\n");
    PWTS_SESSION_INFOA info = nullptr;
    DWORD count = 0;
    ASSERT_TRUE(WTSEnumerateSessionsA(WTS_CURRENT_SERVER_HANDLE, 0, 1, &info, &count));
    std::map<DWORD, std::pair<std::string, WTS_CONNECTSTATE_CLASS>> seen;
    for (DWORD i = 0; i < count; i++)
        seen[info[i].SessionId] = {info[i].pWinStationName, info[i].State};
    EXPECT_EQ(count, 5u);
    EXPECT_EQ(info[0].SessionId, 0u);
    WTSFreeMemory(info);
    EXPECT_EQ(seen[0].first, "Services");
    EXPECT_EQ(seen[1], std::make_pair(std::string("Console"), WTSActive));
    EXPECT_EQ(seen[2], std::make_pair(std::string("RDP-Tcp#0"), WTSConnected));
    EXPECT_EQ(seen[7].second, WTSDisconnected);

    DWORD bytes = 0;
    EXPECT_EQ(Query(1, WTSUserName, &bytes), "alice");
    EXPECT_EQ(bytes, 6u); // with its NUL
    EXPECT_EQ(Query(0, WTSUserName), "");
    EXPECT_EQ(Query(7, WTSUserName), "");
    EXPECT_EQ(Query(2, WTSWinStationName), "RDP-Tcp#0");
    EXPECT_EQ(Query(WTS_CURRENT_SESSION, WTSUserName), "alice"); // ours is 3

    LPSTR buffer = nullptr;
    ASSERT_TRUE(
        WTSQuerySessionInformationA(nullptr, WTS_CURRENT_SESSION, WTSSessionId, &buffer, &bytes));
    EXPECT_EQ(bytes, sizeof(DWORD));
    EXPECT_EQ(*reinterpret_cast<DWORD *>(buffer), 3u);
    WTSFreeMemory(buffer);
    ASSERT_TRUE(WTSQuerySessionInformationA(nullptr, 2, WTSConnectState, &buffer, &bytes));
    EXPECT_EQ(*reinterpret_cast<int *>(buffer), WTSConnected);
    WTSFreeMemory(buffer);

    EXPECT_EQ(Query(99, WTSUserName), "<failed 2>"); // ERROR_FILE_NOT_FOUND
    EXPECT_EQ(Query(1, static_cast<WTS_INFO_CLASS>(999)), "<failed 87>");
    EXPECT_FALSE(WTSEnumerateSessionsA(WTS_CURRENT_SERVER_HANDLE, 0, 2, &info, &count));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_FALSE(WTSEnumerateSessionsA(reinterpret_cast<HANDLE>(0x44), 0, 1, &info, &count));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));

    EXPECT_EQ(WTSGetActiveConsoleSessionId(), 1u);
    DWORD session = 0;
    ASSERT_TRUE(ProcessIdToSessionId(GetCurrentProcessId(), &session));
    EXPECT_EQ(session, 3u);
    EXPECT_FALSE(ProcessIdToSessionId(0x7FFFFFF0u, &session));
}

TEST_F(Sessions, WithoutTheSourceOnlyTheServicesSessionAndNoConsole)
{
    // No file: nothing is known beyond session 0.
    PWTS_SESSION_INFOA info = nullptr;
    DWORD count = 0;
    ASSERT_TRUE(WTSEnumerateSessionsA(WTS_CURRENT_SERVER_HANDLE, 0, 1, &info, &count));
    EXPECT_EQ(count, 1u);
    WTSFreeMemory(info);
    EXPECT_EQ(WTSGetActiveConsoleSessionId(), 0xFFFFFFFFu);
}

HWND NewWindow()
{
    WNDCLASSA wc;
    std::memset(&wc, 0, sizeof wc);
    wc.lpfnWndProc = DefWindowProcA;
    wc.lpszClassName = "SessionTestClass";
    RegisterClassA(&wc);
    return CreateWindowExA(0, "SessionTestClass", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr,
                           nullptr);
}

/* The next session change for `window`, within a few real seconds:
 * {change, session}, or {0, 0}. */
std::pair<WPARAM, LPARAM> NextChange(HWND window)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    MSG msg;
    while (std::chrono::steady_clock::now() < deadline) {
        if (PeekMessageA(&msg, window, WM_WTSSESSION_CHANGE, WM_WTSSESSION_CHANGE, PM_REMOVE))
            return {msg.wParam, msg.lParam};
        Sleep(10);
    }
    return {0, 0};
}

TEST_F(Sessions, LogOnAndLogOffReachTheRegisteredWindows)
{
    Write("1 active alice Console\n");
    HWND all = NewWindow(), own = NewWindow();
    ASSERT_TRUE(WTSRegisterSessionNotification(all, NOTIFY_FOR_ALL_SESSIONS));
    ASSERT_TRUE(WTSRegisterSessionNotification(own, NOTIFY_FOR_THIS_SESSION));

    Write("1 active alice Console\n5 active bob\n");
    EXPECT_EQ(NextChange(all), std::make_pair(WPARAM(WTS_SESSION_LOGON), LPARAM(5)));
    Write("1 active alice Console\n3 online carol\n");
    EXPECT_EQ(NextChange(all), std::make_pair(WPARAM(WTS_SESSION_LOGOFF), LPARAM(5)));
    EXPECT_EQ(NextChange(all), std::make_pair(WPARAM(WTS_SESSION_LOGON), LPARAM(3)));
    // Only its own session's log-on reaches the other window.
    EXPECT_EQ(NextChange(own), std::make_pair(WPARAM(WTS_SESSION_LOGON), LPARAM(3)));
    MSG msg;
    EXPECT_FALSE(PeekMessageA(&msg, own, WM_WTSSESSION_CHANGE, WM_WTSSESSION_CHANGE, PM_REMOVE));

    EXPECT_TRUE(WTSUnRegisterSessionNotification(all));
    EXPECT_TRUE(WTSUnRegisterSessionNotification(own));
    Write("1 active alice Console\n");
    Sleep(300); // three looks at the sessions, were anyone still watching
    EXPECT_FALSE(PeekMessageA(&msg, all, WM_WTSSESSION_CHANGE, WM_WTSSESSION_CHANGE, PM_REMOVE));
    DestroyWindow(all);
    DestroyWindow(own);
}

TEST_F(Sessions, LocalNamesAreEachSessionsOwn)
{
    HANDLE local = CreateMutexA(nullptr, FALSE, "Local\\UiGuard");
    ASSERT_NE(local, nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS));
    // The machine's object of the same name is another one; a bare name is
    // the machine's.
    HANDLE global = CreateMutexA(nullptr, FALSE, "Global\\UiGuard");
    ASSERT_NE(global, nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS));
    HANDLE bare = CreateMutexA(nullptr, FALSE, "UiGuard");
    ASSERT_NE(bare, nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));

    struct stat st;
    const std::string uid = "-" + std::to_string(geteuid());
    ASSERT_EQ(stat((root_.path() + "/winport/sessions/3" + uid).c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    EXPECT_EQ(st.st_uid, geteuid());
    ASSERT_EQ(stat((root_.path() + "/winport/sessions").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 01777u);

    EXPECT_EQ(RunChild(root_.path(), "Local\\UiGuard", "3"), 1); // the same session
    EXPECT_EQ(RunChild(root_.path(), "Local\\UiGuard", "4"), 0); // another
    EXPECT_EQ(RunChild(root_.path(), "Global\\UiGuard", "4"), 1);
    EXPECT_EQ(RunChild(root_.path(), "Local\\UiGuard", "0"), 1); // the services': global

    // A session folder that another user made (or opened to others) is not
    // trusted with the session's objects.
    const std::string squatted = root_.path() + "/winport/sessions/6" + uid;
    ASSERT_EQ(mkdir(squatted.c_str(), 0700), 0);
    ASSERT_EQ(chown(squatted.c_str(), 65534, 65534), 0);
    EXPECT_EQ(RunChild(root_.path(), "Local\\UiGuard", "6"), 2);
    const std::string open = root_.path() + "/winport/sessions/8" + uid;
    ASSERT_EQ(mkdir(open.c_str(), 0700), 0);
    ASSERT_EQ(chmod(open.c_str(), 0777), 0);
    EXPECT_EQ(RunChild(root_.path(), "Local\\UiGuard", "8"), 2);

    CloseHandle(bare);
    CloseHandle(global);
    CloseHandle(local);
}

} // namespace
