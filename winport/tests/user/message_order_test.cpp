/*
 * Conformance tests: the order in which a thread gets its messages, as
 * sequence tables.  Sent messages come first (handled inside GetMessage),
 * then posted ones in FIFO order, then WM_QUIT once no posted message is
 * left, then WM_TIMER.  Also the queue filters and the posted-message
 * failure paths.
 */
#include "user_test_util.h"

#include <atomic>

namespace {

constexpr UINT kA = WM_APP + 1, kB = WM_APP + 2, kSent = WM_APP + 3;

class MessageOrder : public UserTest {
protected:
    void SetUp() override
    {
        UserTest::SetUp();
        ASSERT_NE(Register("OrderClass"), 0);
        hwnd_ = Create("OrderClass");
        ASSERT_NE(hwnd_, nullptr);
        MessageLog::Instance().Clear();
    }

    /* Another thread sends kSent to the window; returns once the send waits
     * in this thread's queue.  join() the thread after pumping. */
    std::thread SendFromOtherThread()
    {
        std::thread sender([hwnd = hwnd_] { SendMessageA(hwnd, kSent, 7, 0); });
        while (!winport_test_sent_waiting())
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        return sender;
    }

    /* GetMessage + DispatchMessage until WM_QUIT and `extra` more rounds;
     * WM_QUIT (which is never dispatched) is recorded too. */
    void Loop(int extraAfterQuit = 0)
    {
        MSG msg;
        int afterQuit = -1;
        while (afterQuit < extraAfterQuit) {
            BOOL r = GetMessageA(&msg, nullptr, 0, 0);
            ASSERT_NE(r, -1);
            if (r == 0) {
                MessageLog::Instance().Add(Seen{msg.hwnd, msg.message, msg.wParam, false});
                afterQuit = 0;
                continue;
            }
            DispatchMessageA(&msg);
            if (afterQuit >= 0)
                afterQuit++;
        }
    }

    std::vector<Seen> Interesting()
    {
        return Only(MessageLog::Instance().Take(), {kA, kB, kSent, WM_QUIT, WM_TIMER});
    }

    HWND hwnd_ = nullptr;
};

TEST_F(MessageOrder, PostedMessagesComeInTheOrderTheyWerePosted)
{
    ASSERT_TRUE(PostMessageA(hwnd_, kA, 1, 0));
    ASSERT_TRUE(PostMessageA(hwnd_, kB, 2, 0));
    ASSERT_TRUE(PostMessageA(hwnd_, kA, 3, 0));
    PostQuitMessage(0);
    Loop();
    EXPECT_TRUE(MatchesSequence(Interesting(),
                                {{kA, 1, true}, {kB, 2, true}, {kA, 3, true}, {WM_QUIT, 0, true}}));
}

TEST_F(MessageOrder, SentMessagesAreHandledBeforePostedOnes)
{
    ASSERT_TRUE(PostMessageA(hwnd_, kA, 1, 0));
    std::thread sender = SendFromOtherThread();
    PostQuitMessage(0);
    Loop();
    sender.join();
    EXPECT_TRUE(MatchesSequence(Interesting(),
                                {{kSent, 7, true, true}, {kA, 1, true}, {WM_QUIT, 0, true}}));
}

TEST_F(MessageOrder, QuitComesOnlyAfterEveryPostedMessage)
{
    ASSERT_TRUE(PostMessageA(hwnd_, kA, 1, 0));
    PostQuitMessage(5);
    ASSERT_TRUE(PostMessageA(hwnd_, kB, 2, 0)); // posted after the quit, still before it
    Loop();
    EXPECT_TRUE(MatchesSequence(Interesting(), {{kA, 1, true}, {kB, 2, true}, {WM_QUIT, 5, true}}));
}

TEST_F(MessageOrder, TimerComesAfterPostedMessagesAndQuit)
{
    ASSERT_EQ(SetTimer(hwnd_, 9, 10, nullptr), 9u);
    std::this_thread::sleep_for(std::chrono::milliseconds(100)); // the timer is due now
    ASSERT_TRUE(PostMessageA(hwnd_, kA, 1, 0));
    PostQuitMessage(0);
    Loop(1);
    EXPECT_TRUE(
        MatchesSequence(Interesting(), {{kA, 1, true}, {WM_QUIT, 0, true}, {WM_TIMER, 9, true}}));
    KillTimer(hwnd_, 9);
}

TEST_F(MessageOrder, SentThenPostedThenQuitThenTimer)
{
    ASSERT_EQ(SetTimer(hwnd_, 4, 10, nullptr), 4u);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    ASSERT_TRUE(PostMessageA(hwnd_, kA, 1, 0));
    PostQuitMessage(3);
    ASSERT_TRUE(PostMessageA(hwnd_, kB, 2, 0));
    std::thread sender = SendFromOtherThread();
    Loop(1);
    sender.join();
    EXPECT_TRUE(MatchesSequence(Interesting(), {{kSent, 7, true, true},
                                                {kA, 1, true},
                                                {kB, 2, true},
                                                {WM_QUIT, 3, true},
                                                {WM_TIMER, 4, true}}));
    KillTimer(hwnd_, 4);
}

TEST_F(MessageOrder, GetMessageReturnsZeroForQuitWithItsExitCode)
{
    PostQuitMessage(42);
    MSG msg;
    SetLastError(0xdeadbeef);
    EXPECT_EQ(GetMessageA(&msg, nullptr, 0, 0), 0);
    EXPECT_EQ(msg.message, (UINT)WM_QUIT);
    EXPECT_EQ(msg.wParam, 42u);
    EXPECT_EQ(msg.hwnd, nullptr);
    EXPECT_FALSE(winport_test_quit_posted(nullptr)); // taken
}

TEST_F(MessageOrder, QuitIsReturnedWhateverTheFilter)
{
    PostQuitMessage(1);
    MSG msg;
    EXPECT_EQ(GetMessageA(&msg, hwnd_, WM_USER, WM_USER), 0);
    EXPECT_EQ(msg.message, (UINT)WM_QUIT);
}

TEST_F(MessageOrder, PeekWithoutRemoveLeavesTheMessage)
{
    ASSERT_TRUE(PostMessageA(hwnd_, kA, 1, 0));
    MSG msg;
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE));
    EXPECT_EQ(msg.message, kA);
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.message, kA);
    EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
}

TEST_F(MessageOrder, RangeFilterSkipsOtherMessagesAndKeepsThem)
{
    ASSERT_TRUE(PostMessageA(hwnd_, kA, 1, 0));
    ASSERT_TRUE(PostMessageA(hwnd_, kB, 2, 0));
    MSG msg;
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, kB, kB, PM_REMOVE));
    EXPECT_EQ(msg.message, kB);
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.message, kA);
}

TEST_F(MessageOrder, WindowFilterTakesTheWindowAndItsChildrenOnly)
{
    HWND child = Create("OrderClass", "", WS_CHILD, hwnd_);
    HWND other = Create("OrderClass");
    ASSERT_NE(child, nullptr);
    ASSERT_TRUE(PostMessageA(other, kA, 1, 0));
    ASSERT_TRUE(PostMessageA(child, kA, 2, 0));
    ASSERT_TRUE(PostMessageA(nullptr, kA, 3, 0));
    MSG msg;
    ASSERT_TRUE(PeekMessageA(&msg, hwnd_, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.hwnd, child);
    EXPECT_FALSE(PeekMessageA(&msg, hwnd_, 0, 0, PM_REMOVE));
    const HWND threadOnly = reinterpret_cast<HWND>(static_cast<LONG_PTR>(-1));
    ASSERT_TRUE(PeekMessageA(&msg, threadOnly, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.hwnd, nullptr);
    EXPECT_EQ(msg.wParam, 3u);
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.hwnd, other);
}

TEST_F(MessageOrder, GetMessageWithAnInvalidWindowFails)
{
    MSG msg;
    SetLastError(0xdeadbeef);
    EXPECT_EQ(GetMessageA(&msg, reinterpret_cast<HWND>(0x1234), 0, 0), -1);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_WINDOW_HANDLE);
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(PeekMessageA(&msg, reinterpret_cast<HWND>(0x1234), 0, 0, PM_REMOVE));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_WINDOW_HANDLE);
}

TEST_F(MessageOrder, PostMessageFailures)
{
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(PostMessageA(reinterpret_cast<HWND>(0x1234), kA, 0, 0));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_WINDOW_HANDLE);
    COPYDATASTRUCT cds = {0, 0, nullptr};
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(PostMessageA(hwnd_, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&cds)));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_MESSAGE_SYNC_ONLY);
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(PostThreadMessageA(0x7ffffff0, kA, 0, 0));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_THREAD_ID);
}

TEST_F(MessageOrder, AFullQueueRefusesMorePosts)
{
    size_t posted = 0;
    while (posted < 20000 && PostMessageA(hwnd_, kA, posted, 0))
        posted++;
    EXPECT_EQ(posted, 10000u);
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(PostMessageA(hwnd_, kA, 0, 0));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_NOT_ENOUGH_QUOTA);
}

TEST_F(MessageOrder, PostThreadMessageReachesAnotherThreadsLoop)
{
    std::atomic<DWORD> tid{0};
    std::atomic<WPARAM> got{0};
    std::thread worker([&] {
        MSG msg;
        PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE); // creates the queue
        tid = GetCurrentThreadId();
        while (GetMessageA(&msg, nullptr, 0, 0) > 0)
            if (msg.message == kA && msg.hwnd == nullptr)
                got = msg.wParam;
    });
    while (!tid)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EXPECT_TRUE(PostThreadMessageA(tid, kA, 77, 0));
    EXPECT_TRUE(PostThreadMessageA(tid, WM_QUIT, 0, 0));
    worker.join();
    EXPECT_EQ(got, 77u);
}

TEST_F(MessageOrder, PostingToNullGoesToTheCallingThread)
{
    ASSERT_TRUE(PostMessageA(nullptr, kA, 5, 6));
    MSG msg;
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.hwnd, nullptr);
    EXPECT_EQ(msg.message, kA);
    EXPECT_EQ(msg.wParam, 5u);
    EXPECT_EQ(msg.lParam, 6);
}

TEST_F(MessageOrder, DestroyingAWindowDropsItsPostedMessages)
{
    ASSERT_TRUE(PostMessageA(hwnd_, kA, 1, 0));
    ASSERT_TRUE(DestroyWindow(hwnd_));
    MSG msg;
    EXPECT_FALSE(PeekMessageA(&msg, nullptr, kA, kA, PM_REMOVE));
}

} // namespace
