/*
 * Conformance tests: SetTimer and KillTimer.  Timers coalesce (one
 * WM_TIMER however many periods passed), re-arming an id replaces the
 * timer, a timer procedure is called by DispatchMessageA, thread timers get
 * ids of their own.  Periods are generous: nothing here depends on a
 * timer firing promptly, only on it not firing too often.
 */
#include "user_test_util.h"

#include <atomic>

namespace {

using Clock = std::chrono::steady_clock;

std::atomic<int> g_procCalls{0};
std::atomic<UINT_PTR> g_procId{0};
std::atomic<HWND> g_procHwnd{nullptr};

void CALLBACK CountingTimerProc(HWND hwnd, UINT msg, UINT_PTR id, DWORD tick)
{
    (void)tick;
    if (msg == WM_TIMER) {
        g_procCalls++;
        g_procId = id;
        g_procHwnd = hwnd;
    }
}

void CALLBACK NeverRegisteredProc(HWND, UINT, UINT_PTR, DWORD)
{
    g_procCalls += 1000;
}

class Timers : public UserTest {
protected:
    void SetUp() override
    {
        UserTest::SetUp();
        g_procCalls = 0;
        g_procId = 0;
        g_procHwnd = nullptr;
        ASSERT_NE(Register("TimerClass"), 0);
        hwnd_ = Create("TimerClass");
        ASSERT_NE(hwnd_, nullptr);
    }

    /* Waits (without dispatching) for the next WM_TIMER: its MSG, or a
     * message 0 when none came within `ms`. */
    static MSG NextTimer(HWND filter, int ms)
    {
        const auto end = Clock::now() + std::chrono::milliseconds(ms);
        MSG msg = {};
        while (Clock::now() < end) {
            if (PeekMessageA(&msg, filter, WM_TIMER, WM_TIMER, PM_REMOVE))
                return msg;
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        return MSG{};
    }

    /* How many WM_TIMER arrive within `ms`. */
    static int CountTimers(HWND filter, int ms)
    {
        int count = 0;
        const auto end = Clock::now() + std::chrono::milliseconds(ms);
        MSG msg;
        while (Clock::now() < end) {
            while (PeekMessageA(&msg, filter, WM_TIMER, WM_TIMER, PM_REMOVE))
                count++;
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        return count;
    }

    HWND hwnd_ = nullptr;
};

TEST_F(Timers, AWindowTimerDeliversWmTimerWithItsId)
{
    SetLastError(0xdeadbeef);
    EXPECT_EQ(SetTimer(hwnd_, 17, 20, nullptr), 17u);
    EXPECT_EQ(GetLastError(), 0xdeadbeefu);
    MSG msg = NextTimer(hwnd_, 10000);
    EXPECT_EQ(msg.message, (UINT)WM_TIMER);
    EXPECT_EQ(msg.hwnd, hwnd_);
    EXPECT_EQ(msg.wParam, 17u);
    EXPECT_EQ(msg.lParam, 0);
    EXPECT_TRUE(KillTimer(hwnd_, 17));
}

TEST_F(Timers, MissedPeriodsCoalesceIntoOneMessage)
{
    ASSERT_EQ(SetTimer(hwnd_, 1, 500, nullptr), 1u);
    std::this_thread::sleep_for(std::chrono::milliseconds(1700)); // three periods pass unserved
    EXPECT_EQ(CountTimers(hwnd_, 300), 1); // the next one is 500 ms after this one was taken
    KillTimer(hwnd_, 1);
}

TEST_F(Timers, PeekWithoutRemoveDoesNotRestartTheTimer)
{
    ASSERT_EQ(SetTimer(hwnd_, 2, 10, nullptr), 2u);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    MSG msg;
    ASSERT_TRUE(PeekMessageA(&msg, hwnd_, WM_TIMER, WM_TIMER, PM_NOREMOVE));
    ASSERT_TRUE(PeekMessageA(&msg, hwnd_, WM_TIMER, WM_TIMER, PM_REMOVE));
    EXPECT_EQ(msg.wParam, 2u);
    KillTimer(hwnd_, 2);
}

TEST_F(Timers, ReArmingAnIdReplacesTheTimer)
{
    ASSERT_EQ(SetTimer(hwnd_, 3, 100000, nullptr), 3u); // would take 100 s
    ASSERT_EQ(SetTimer(hwnd_, 3, 20, nullptr), 3u);     // replaces it
    EXPECT_EQ(NextTimer(hwnd_, 10000).wParam, 3u);
    EXPECT_TRUE(KillTimer(hwnd_, 3));
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(KillTimer(hwnd_, 3)); // there was only one
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_PARAMETER);
}

TEST_F(Timers, TheSameIdOnTwoWindowsIsTwoTimers)
{
    HWND other = Create("TimerClass");
    ASSERT_EQ(SetTimer(hwnd_, 5, 20, nullptr), 5u);
    ASSERT_EQ(SetTimer(other, 5, 20, nullptr), 5u);
    EXPECT_EQ(NextTimer(other, 10000).hwnd, other);
    EXPECT_TRUE(KillTimer(hwnd_, 5));
    EXPECT_TRUE(KillTimer(other, 5));
}

TEST_F(Timers, KillTimerStopsIt)
{
    ASSERT_EQ(SetTimer(hwnd_, 6, 10, nullptr), 6u);
    EXPECT_TRUE(KillTimer(hwnd_, 6));
    EXPECT_EQ(CountTimers(hwnd_, 200), 0);
}

TEST_F(Timers, ATimerProcIsCalledByDispatchMessageInsteadOfTheWindowProc)
{
    ASSERT_EQ(SetTimer(hwnd_, 8, 20, CountingTimerProc), 8u);
    MSG msg = NextTimer(hwnd_, 10000);
    ASSERT_EQ(msg.message, (UINT)WM_TIMER);
    EXPECT_EQ(msg.lParam, reinterpret_cast<LPARAM>(CountingTimerProc));
    MessageLog::Instance().Clear();
    DispatchMessageA(&msg);
    EXPECT_EQ(g_procCalls, 1);
    EXPECT_EQ(g_procId, 8u);
    EXPECT_EQ(g_procHwnd, hwnd_);
    EXPECT_TRUE(Only(MessageLog::Instance().Take(), {WM_TIMER}).empty());
    KillTimer(hwnd_, 8);
}

TEST_F(Timers, APostedWmTimerCannotCallAnArbitraryProc)
{
    ASSERT_TRUE(PostMessageA(hwnd_, WM_TIMER, 1, reinterpret_cast<LPARAM>(NeverRegisteredProc)));
    MSG msg;
    ASSERT_TRUE(PeekMessageA(&msg, hwnd_, 0, 0, PM_REMOVE));
    DispatchMessageA(&msg);
    EXPECT_EQ(g_procCalls, 0);
}

TEST_F(Timers, ThreadTimersGetNewIdsAndNoWindow)
{
    const UINT_PTR id = SetTimer(nullptr, 0, 20, CountingTimerProc);
    ASSERT_NE(id, 0u);
    EXPECT_NE(SetTimer(nullptr, 0, 20, CountingTimerProc), id);  // another one
    EXPECT_EQ(SetTimer(nullptr, id, 20, CountingTimerProc), id); // replaces its own id
    const UINT_PTR unknown = 0x12345;
    EXPECT_NE(SetTimer(nullptr, unknown, 100000, nullptr), unknown); // not ours: a new id
    MSG msg = NextTimer(reinterpret_cast<HWND>(static_cast<LONG_PTR>(-1)), 10000);
    EXPECT_EQ(msg.message, (UINT)WM_TIMER);
    EXPECT_EQ(msg.hwnd, nullptr);
    DispatchMessageA(&msg);
    EXPECT_EQ(g_procCalls, 1);
    EXPECT_EQ(g_procHwnd, nullptr);
    EXPECT_TRUE(KillTimer(nullptr, id));
}

TEST_F(Timers, ElapseBelowTheMinimumIsRaisedNotRefused)
{
    EXPECT_EQ(SetTimer(hwnd_, 11, 0, nullptr), 11u);
    EXPECT_EQ(NextTimer(hwnd_, 10000).wParam, 11u);
    KillTimer(hwnd_, 11);
}

TEST_F(Timers, BadWindowsFail)
{
    const HWND bad = reinterpret_cast<HWND>(0x5678);
    SetLastError(0xdeadbeef);
    EXPECT_EQ(SetTimer(bad, 1, 10, nullptr), 0u);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_WINDOW_HANDLE);
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(KillTimer(bad, 1));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_WINDOW_HANDLE);
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(KillTimer(nullptr, 0x4242));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_PARAMETER);
}

TEST_F(Timers, DestroyingTheWindowKillsItsTimers)
{
    ASSERT_EQ(SetTimer(hwnd_, 12, 10, nullptr), 12u);
    ASSERT_TRUE(DestroyWindow(hwnd_));
    EXPECT_EQ(CountTimers(nullptr, 150), 0);
}

TEST_F(Timers, GetMessageWakesUpForATimer)
{
    ASSERT_EQ(SetTimer(hwnd_, 13, 50, nullptr), 13u);
    MSG msg;
    ASSERT_EQ(GetMessageA(&msg, nullptr, 0, 0), TRUE); // nothing else: it sleeps until the timer
    EXPECT_EQ(msg.message, (UINT)WM_TIMER);
    KillTimer(hwnd_, 13);
}

} // namespace
