/*
 * Conformance tests: semaphores (counts and their maximum) and events
 * (manual and auto reset).
 */
#include "scratch_root.h"
#include "sync_test_util.h"

#include <atomic>

namespace {

class Semaphore : public ::testing::Test {
protected:
    ScratchRoot root_;
};

TEST_F(Semaphore, InvalidCountsFailWithInvalidParameter)
{
    const LONG bad[][2] = {{0, 0}, {1, 0}, {-1, 1}, {2, 1}, {0, -1}};
    for (const auto &counts : bad) {
        SetLastError(0xdeadbeef);
        EXPECT_EQ(CreateSemaphoreA(nullptr, counts[0], counts[1], nullptr), nullptr)
            << counts[0] << "/" << counts[1];
        EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_PARAMETER);
    }
}

TEST_F(Semaphore, EachWaitTakesOneUntilNoneIsLeft)
{
    HANDLE s = CreateSemaphoreA(nullptr, 2, 5, nullptr);
    EXPECT_EQ(WaitForSingleObject(s, 0), (DWORD)WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(s, 0), (DWORD)WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(s, 0), (DWORD)WAIT_TIMEOUT);
    CloseHandle(s);
}

TEST_F(Semaphore, ReleaseReportsThePreviousCount)
{
    HANDLE s = CreateSemaphoreA(nullptr, 1, 5, nullptr);
    LONG previous = -1;
    EXPECT_TRUE(ReleaseSemaphore(s, 3, &previous));
    EXPECT_EQ(previous, 1);
    EXPECT_TRUE(ReleaseSemaphore(s, 1, &previous));
    EXPECT_EQ(previous, 4);
    CloseHandle(s);
}

TEST_F(Semaphore, ReleasePastTheMaximumFailsWithTooManyPostsAndChangesNothing)
{
    HANDLE s = CreateSemaphoreA(nullptr, 0, 1, nullptr);
    EXPECT_TRUE(ReleaseSemaphore(s, 1, nullptr));
    LONG previous = 1234;
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(ReleaseSemaphore(s, 1, &previous));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_TOO_MANY_POSTS);
    EXPECT_EQ(previous, 1234);
    EXPECT_EQ(WaitForSingleObject(s, 0), (DWORD)WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(s, 0), (DWORD)WAIT_TIMEOUT);
    CloseHandle(s);
}

TEST_F(Semaphore, ReleaseOfZeroOrLessFailsWithInvalidParameter)
{
    HANDLE s = CreateSemaphoreA(nullptr, 0, 1, nullptr);
    for (LONG count : {0, -1}) {
        SetLastError(0xdeadbeef);
        EXPECT_FALSE(ReleaseSemaphore(s, count, nullptr));
        EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_PARAMETER);
    }
    CloseHandle(s);
}

TEST_F(Semaphore, ExistingNamedSemaphoreKeepsItsCounts)
{
    const std::string name = UniqueName("sem");
    HANDLE a = CreateSemaphoreA(nullptr, 0, 1, name.c_str());
    SetLastError(0xdeadbeef);
    HANDLE b = CreateSemaphoreA(nullptr, 3, 3, name.c_str());
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_ALREADY_EXISTS);
    EXPECT_EQ(WaitForSingleObject(b, 0), (DWORD)WAIT_TIMEOUT);
    EXPECT_TRUE(ReleaseSemaphore(b, 1, nullptr));
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(ReleaseSemaphore(a, 1, nullptr)); // maximum 1, from the first create
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_TOO_MANY_POSTS);
    CloseHandle(a);
    CloseHandle(b);
}

TEST_F(Semaphore, ANameCreatedAgainAfterItsLastHandleIsNew)
{
    const std::string name = UniqueName("sem");
    HANDLE a = CreateSemaphoreA(nullptr, 1, 1, name.c_str());
    CloseHandle(a);
    SetLastError(0xdeadbeef);
    HANDLE b = CreateSemaphoreA(nullptr, 0, 1, name.c_str());
    EXPECT_EQ(GetLastError(), 0u);
    EXPECT_EQ(WaitForSingleObject(b, 0), (DWORD)WAIT_TIMEOUT);
    CloseHandle(b);
}

TEST_F(Semaphore, OpenSemaphoreSharesTheCount)
{
    const std::string name = UniqueName("sem");
    HANDLE a = CreateSemaphoreA(nullptr, 0, 1, name.c_str());
    HANDLE b = OpenSemaphoreA(SEMAPHORE_ALL_ACCESS, FALSE, name.c_str());
    ASSERT_NE(b, nullptr);
    EXPECT_TRUE(ReleaseSemaphore(b, 1, nullptr));
    EXPECT_EQ(WaitForSingleObject(a, 0), (DWORD)WAIT_OBJECT_0);
    CloseHandle(a);
    CloseHandle(b);
}

TEST_F(Semaphore, ReleaseWakesAWaiterOnAnotherThread)
{
    HANDLE s = CreateSemaphoreA(nullptr, 0, 1, nullptr);
    auto waiter = std::async(std::launch::async, [s] { return WaitForSingleObject(s, 20000); });
    EXPECT_EQ(waiter.wait_for(std::chrono::milliseconds(100)), std::future_status::timeout);
    EXPECT_TRUE(ReleaseSemaphore(s, 1, nullptr));
    EXPECT_EQ(waiter.get(), (DWORD)WAIT_OBJECT_0);
    CloseHandle(s);
}

class Event : public ::testing::Test {
protected:
    ScratchRoot root_;
};

TEST_F(Event, ManualResetEventStaysSignalledUntilReset)
{
    HANDLE e = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    EXPECT_EQ(WaitForSingleObject(e, 0), (DWORD)WAIT_TIMEOUT);
    EXPECT_TRUE(SetEvent(e));
    EXPECT_EQ(WaitForSingleObject(e, 0), (DWORD)WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(e, 0), (DWORD)WAIT_OBJECT_0);
    EXPECT_TRUE(ResetEvent(e));
    EXPECT_EQ(WaitForSingleObject(e, 0), (DWORD)WAIT_TIMEOUT);
    CloseHandle(e);
}

TEST_F(Event, AutoResetEventReleasesOneWaiterPerSet)
{
    HANDLE e = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    std::atomic<int> woken{0};
    auto wait = [&] {
        if (WaitForSingleObject(e, 20000) == WAIT_OBJECT_0)
            ++woken;
    };
    std::thread a(wait), b(wait);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_TRUE(SetEvent(e));
    for (int i = 0; i < 4000 && woken.load() == 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    std::this_thread::sleep_for(std::chrono::milliseconds(200)); // room for a wrong second wake
    EXPECT_EQ(woken.load(), 1);
    EXPECT_TRUE(SetEvent(e));
    a.join();
    b.join();
    EXPECT_EQ(woken.load(), 2);
    EXPECT_EQ(WaitForSingleObject(e, 0), (DWORD)WAIT_TIMEOUT);
    CloseHandle(e);
}

TEST_F(Event, InitiallySignalledAutoResetEventSatisfiesOneWait)
{
    HANDLE e = CreateEventA(nullptr, FALSE, TRUE, nullptr);
    EXPECT_EQ(WaitForSingleObject(e, 0), (DWORD)WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(e, 0), (DWORD)WAIT_TIMEOUT);
    CloseHandle(e);
}

TEST_F(Event, ManualResetEventReleasesEveryWaiter)
{
    HANDLE e = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    auto a = std::async(std::launch::async, [e] { return WaitForSingleObject(e, 20000); });
    auto b = std::async(std::launch::async, [e] { return WaitForSingleObject(e, 20000); });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_TRUE(SetEvent(e));
    EXPECT_EQ(a.get(), (DWORD)WAIT_OBJECT_0);
    EXPECT_EQ(b.get(), (DWORD)WAIT_OBJECT_0);
    CloseHandle(e);
}

TEST_F(Event, SetEventOnAnotherKindOfHandleFailsWithInvalidHandle)
{
    HANDLE m = CreateMutexA(nullptr, FALSE, nullptr);
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(SetEvent(m));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_HANDLE);
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(ResetEvent(m));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_HANDLE);
    CloseHandle(m);
}

TEST_F(Event, ExistingNamedEventKeepsItsState)
{
    const std::string name = UniqueName("event");
    HANDLE a = CreateEventA(nullptr, TRUE, TRUE, name.c_str());
    SetLastError(0xdeadbeef);
    HANDLE b = CreateEventA(nullptr, FALSE, FALSE, name.c_str());
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_ALREADY_EXISTS);
    EXPECT_EQ(WaitForSingleObject(b, 0), (DWORD)WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(b, 0), (DWORD)WAIT_OBJECT_0); // still manual reset
    CloseHandle(a);
    CloseHandle(b);
}

} // namespace
