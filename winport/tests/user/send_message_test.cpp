/*
 * Conformance tests: SendMessageA and SendMessageTimeoutA between threads:
 * results, re-entrancy (a waiting sender handles messages sent to it),
 * SMTO_BLOCK, time-outs, hung receivers, receivers that go away.
 */
#include "user_test_util.h"

#include <atomic>
#include <future>

namespace {

constexpr UINT kDouble = WM_APP + 1; // returns wParam * 2
constexpr UINT kBounce = WM_APP + 2; // sends kDouble to the window in lParam, returns its result
constexpr UINT kAsk = WM_APP + 3;    // SendMessageTimeout(lParam window, kDouble, SMTO_NORMAL, 300)
constexpr UINT kIsSent = WM_APP + 4; // returns InSendMessage()

LRESULT CALLBACK WorkerProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp)
{
    switch (msg) {
    case kDouble:
        return static_cast<LRESULT>(wp * 2);
    case kBounce:
        return SendMessageA(reinterpret_cast<HWND>(lp), kDouble, wp, 0);
    case kAsk: {
        DWORD_PTR result = 0;
        LRESULT ok = SendMessageTimeoutA(reinterpret_cast<HWND>(lp), kDouble, 21, 0, SMTO_NORMAL,
                                         300, &result);
        return ok ? static_cast<LRESULT>(result) : -1;
    }
    case kIsSent:
        return InSendMessage();
    default:
        return DefWindowProcA(hwnd, msg, wp, lp);
    }
}

/* A thread that owns one window and runs a message loop until told. */
class WindowThread {
public:
    explicit WindowThread(bool pump = true) : pump_(pump)
    {
        thread_ = std::thread([this] { Run(); });
        hwnd_ = ready_.get_future().get();
    }
    ~WindowThread() { Stop(); }

    HWND hwnd() const { return hwnd_; }
    void StartPumping() { pump_ = true; }
    void Stop()
    {
        if (!thread_.joinable())
            return;
        stop_ = true;
        pump_ = true;
        PostMessageA(hwnd_, WM_NULL, 0, 0);
        thread_.join();
    }

private:
    void Run()
    {
        HWND hwnd =
            CreateWindowExA(0, "Worker", "", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
        ready_.set_value(hwnd);
        while (!pump_)
            std::this_thread::sleep_for(std::chrono::milliseconds(5)); // not looking at the queue
        MSG msg;
        while (!stop_ && GetMessageA(&msg, nullptr, 0, 0) > 0)
            DispatchMessageA(&msg);
    }

    std::atomic<bool> pump_;
    std::atomic<bool> stop_{false};
    std::promise<HWND> ready_;
    HWND hwnd_ = nullptr;
    std::thread thread_;
};

class SendMessages : public UserTest {
protected:
    void SetUp() override
    {
        UserTest::SetUp();
        ASSERT_NE(Register("Worker", WorkerProc), 0);
        self_ = Create("Worker");
        ASSERT_NE(self_, nullptr);
    }
    HWND self_ = nullptr;
};

TEST_F(SendMessages, SameThreadSendCallsTheProcedureDirectly)
{
    EXPECT_EQ(SendMessageA(self_, kDouble, 21, 0), 42);
    EXPECT_FALSE(SendMessageA(self_, kIsSent, 0, 0));
}

TEST_F(SendMessages, CrossThreadSendReturnsTheReceiversResult)
{
    WindowThread worker;
    EXPECT_EQ(SendMessageA(worker.hwnd(), kDouble, 50, 0), 100);
    EXPECT_TRUE(SendMessageA(worker.hwnd(), kIsSent, 0, 0));
}

TEST_F(SendMessages, AWaitingSenderHandlesMessagesSentToIt)
{
    WindowThread worker;
    // The worker answers by sending back to us while we wait for it.
    EXPECT_EQ(SendMessageA(worker.hwnd(), kBounce, 8, reinterpret_cast<LPARAM>(self_)), 16);
}

TEST_F(SendMessages, SmtoBlockHandlesNothingWhileWaiting)
{
    WindowThread worker;
    DWORD_PTR result = 0;
    // Blocked: the worker's send back to us times out, so it answers -1.
    ASSERT_TRUE(SendMessageTimeoutA(worker.hwnd(), kAsk, 0, reinterpret_cast<LPARAM>(self_),
                                    SMTO_BLOCK, 10000, &result));
    EXPECT_EQ(static_cast<LRESULT>(result), -1);
    // Normal: we handle its send while waiting.
    ASSERT_TRUE(SendMessageTimeoutA(worker.hwnd(), kAsk, 0, reinterpret_cast<LPARAM>(self_),
                                    SMTO_NORMAL, 10000, &result));
    EXPECT_EQ(static_cast<LRESULT>(result), 42);
}

TEST_F(SendMessages, SendMessageTimeoutTimesOut)
{
    WindowThread worker(false); // does not look at its queue yet
    DWORD_PTR result = 77;
    SetLastError(0xdeadbeef);
    EXPECT_EQ(SendMessageTimeoutA(worker.hwnd(), kDouble, 1, 0, SMTO_NORMAL, 100, &result), 0);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_TIMEOUT);
    EXPECT_EQ(result, 77u);
    worker.StartPumping();
    ASSERT_TRUE(SendMessageTimeoutA(worker.hwnd(), kDouble, 4, 0, SMTO_NORMAL, 10000, &result));
    EXPECT_EQ(result, 8u);
}

TEST_F(SendMessages, AbortIfHungGivesUpAtOnceOnAThreadThatStoppedLooking)
{
    WindowThread worker(false);
    std::this_thread::sleep_for(std::chrono::milliseconds(5500)); // hung after 5 s
    EXPECT_TRUE(IsHungAppWindow(worker.hwnd()));
    const auto start = std::chrono::steady_clock::now();
    SetLastError(0xdeadbeef);
    EXPECT_EQ(SendMessageTimeoutA(worker.hwnd(), kDouble, 1, 0, SMTO_ABORTIFHUNG, 30000, nullptr),
              0);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_TIMEOUT);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
    worker.StartPumping();
}

TEST_F(SendMessages, ASendToAThreadThatEndsReturnsZero)
{
    std::promise<HWND> created;
    std::atomic<bool> quit{false};
    std::thread owner([&] {
        created.set_value(Create("Worker"));
        while (!quit)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }); // ends without ever looking at its queue
    HWND hwnd = created.get_future().get();
    auto result = std::async(std::launch::async, [hwnd] {
        DWORD_PTR r = 99;
        LRESULT ok = SendMessageTimeoutA(hwnd, kDouble, 1, 0, SMTO_ERRORONEXIT, 30000, &r);
        return std::make_pair(ok, r);
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    quit = true;
    owner.join();
    EXPECT_EQ(result.get().first, 0);
}

TEST_F(SendMessages, SendToAnInvalidWindowFails)
{
    SetLastError(0xdeadbeef);
    EXPECT_EQ(SendMessageA(reinterpret_cast<HWND>(0x4444), kDouble, 1, 0), 0);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_WINDOW_HANDLE);
    SetLastError(0xdeadbeef);
    EXPECT_EQ(SendMessageTimeoutA(reinterpret_cast<HWND>(0x4444), kDouble, 1, 0, 0, 10, nullptr),
              0);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_WINDOW_HANDLE);
}

TEST_F(SendMessages, BroadcastReachesEveryTopLevelWindow)
{
    WindowThread worker;
    DWORD_PTR result = 0;
    EXPECT_TRUE(SendMessageTimeoutA(HWND_BROADCAST, kDouble, 1, 0, SMTO_NORMAL, 5000, &result));
    ASSERT_TRUE(PostMessageA(HWND_BROADCAST, WM_APP + 9, 3, 0));
    MSG msg;
    ASSERT_TRUE(PeekMessageA(&msg, self_, WM_APP + 9, WM_APP + 9, PM_REMOVE));
    EXPECT_EQ(msg.wParam, 3u);
}

TEST_F(SendMessages, TextGoesThroughMessagesAcrossThreads)
{
    WindowThread worker;
    EXPECT_TRUE(SetWindowTextA(worker.hwnd(), "From another thread"));
    char buf[64];
    EXPECT_EQ(GetWindowTextA(worker.hwnd(), buf, sizeof buf), 19);
    EXPECT_STREQ(buf, "From another thread");
}

} // namespace
