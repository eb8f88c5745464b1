/*
 * Console control handlers on signals, Beep, and session notifications.
 */
#include "scratch_root.h"

#include <windows.h>
#include <wtsapi32.h>

#include <gtest/gtest.h>

#include <signal.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

namespace {

std::mutex g_lock;
std::vector<std::string> g_calls; // guarded by g_lock
std::atomic<DWORD> g_handlerThread{0};

void Record(const std::string &call)
{
    std::lock_guard<std::mutex> guard(g_lock);
    g_calls.push_back(call);
}

std::vector<std::string> Calls()
{
    std::lock_guard<std::mutex> guard(g_lock);
    return g_calls;
}

bool WaitForCalls(size_t count)
{
    for (int i = 0; i < 2000; ++i) {
        if (Calls().size() >= count)
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return false;
}

BOOL WINAPI Accepting(DWORD event)
{
    g_handlerThread = GetCurrentThreadId();
    Record("accepting " + std::to_string(event));
    return TRUE;
}

BOOL WINAPI Passing(DWORD event)
{
    Record("passing " + std::to_string(event));
    return FALSE;
}

class ConsoleTest : public ::testing::Test {
protected:
    ConsoleTest()
    {
        std::lock_guard<std::mutex> guard(g_lock);
        g_calls.clear();
    }
};

} // namespace

TEST_F(ConsoleTest, HandlersRunOnANewThreadLastRegisteredFirstUntilOneAccepts)
{
    ASSERT_TRUE(SetConsoleCtrlHandler(Accepting, TRUE));
    ASSERT_TRUE(SetConsoleCtrlHandler(Passing, TRUE));
    ASSERT_EQ(raise(SIGINT), 0);
    ASSERT_TRUE(WaitForCalls(2));
    EXPECT_EQ(Calls(), (std::vector<std::string>{"passing 0", "accepting 0"}));
    EXPECT_NE(g_handlerThread.load(), GetCurrentThreadId());
    EXPECT_TRUE(SetConsoleCtrlHandler(Passing, FALSE));
    EXPECT_TRUE(SetConsoleCtrlHandler(Accepting, FALSE));
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(SetConsoleCtrlHandler(Accepting, FALSE));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST_F(ConsoleTest, SignalsBecomeConsoleEventsAndCtrlCCanBeIgnored)
{
    ASSERT_TRUE(SetConsoleCtrlHandler(Accepting, TRUE));
    ASSERT_TRUE(SetConsoleCtrlHandler(nullptr, TRUE)); // ignore Ctrl+C only
    raise(SIGINT);
    raise(SIGQUIT);
    ASSERT_TRUE(WaitForCalls(1));
    raise(SIGHUP);
    ASSERT_TRUE(WaitForCalls(2));
    raise(SIGTERM); // not a service: a shut-down
    ASSERT_TRUE(WaitForCalls(3));
    EXPECT_EQ(Calls(), (std::vector<std::string>{"accepting 1", "accepting 2", "accepting 6"}));
    ASSERT_TRUE(SetConsoleCtrlHandler(nullptr, FALSE));
    raise(SIGINT);
    ASSERT_TRUE(WaitForCalls(4));
    EXPECT_EQ(Calls().back(), "accepting 0");
    EXPECT_TRUE(SetConsoleCtrlHandler(Accepting, FALSE));
}

TEST(ConsoleDeathTest, WithoutAnAcceptingHandlerTheProcessEnds)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            SetConsoleCtrlHandler(Passing, TRUE);
            raise(SIGINT);
            Sleep(10000);
            std::exit(0);
        },
        ::testing::ExitedWithCode(0x3A), ""); // STATUS_CONTROL_C_EXIT's low byte
}

TEST(Beep, ReturnsTrueOnceTheToneWouldHaveEnded)
{
    const ULONGLONG before = GetTickCount64();
    EXPECT_TRUE(Beep(750, 50));
    EXPECT_GE(GetTickCount64() - before, 50u);
}

TEST(SessionNotification, RegistersOwnWindowsOnly)
{
    ScratchRoot root;
    WNDCLASSEXA wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = DefWindowProcA;
    wc.lpszClassName = "WtsTestClass";
    ASSERT_NE(RegisterClassExA(&wc), 0);
    HWND window = CreateWindowExA(0, "WtsTestClass", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                  nullptr, nullptr);
    ASSERT_NE(window, nullptr);
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(WTSUnRegisterSessionNotification(window));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_TRUE(WTSRegisterSessionNotification(window, NOTIFY_FOR_THIS_SESSION));
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(WTSRegisterSessionNotification(window, 7));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(WTSRegisterSessionNotification(reinterpret_cast<HWND>(0x1234), 0));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
    MSG msg;
    EXPECT_FALSE(PeekMessageA(&msg, window, WM_WTSSESSION_CHANGE, WM_WTSSESSION_CHANGE, PM_REMOVE));
    EXPECT_TRUE(WTSUnRegisterSessionNotification(window));
    EXPECT_FALSE(WTSUnRegisterSessionNotification(window));
    DestroyWindow(window);
    winport_test_reset_user();
}
