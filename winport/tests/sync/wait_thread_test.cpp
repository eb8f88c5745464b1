/*
 * Conformance tests: WaitForSingleObject's failures and time-outs,
 * CreateThread, SetThreadPriority, and the print client's worker hand-off
 * (a named print mutex and a free semaphore) under load.
 */
#include "scratch_root.h"
#include "sync_test_util.h"

#include <sys/resource.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

class Wait : public ::testing::Test {
protected:
    ScratchRoot root_;
};

TEST_F(Wait, NullOrClosedHandleFailsWithInvalidHandle)
{
    HANDLE e = CreateEventA(nullptr, TRUE, TRUE, nullptr);
    CloseHandle(e);
    for (HANDLE h : {static_cast<HANDLE>(nullptr), e}) {
        SetLastError(0xdeadbeef);
        EXPECT_EQ(WaitForSingleObject(h, 0), WAIT_FAILED);
        EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_HANDLE);
    }
}

TEST_F(Wait, FileHandleIsNotWaitable)
{
    HANDLE f = CreateFileA("c:\\f.txt", GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    ASSERT_NE(f, INVALID_HANDLE_VALUE);
    SetLastError(0xdeadbeef);
    EXPECT_EQ(WaitForSingleObject(f, 0), WAIT_FAILED);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_HANDLE);
    CloseHandle(f);
}

TEST_F(Wait, SuccessfulWaitLeavesTheLastErrorAlone)
{
    HANDLE e = CreateEventA(nullptr, TRUE, TRUE, nullptr);
    SetLastError(0xdeadbeef);
    EXPECT_EQ(WaitForSingleObject(e, INFINITE), (DWORD)WAIT_OBJECT_0);
    EXPECT_EQ(GetLastError(), 0xdeadbeefu);
    CloseHandle(e);
}

TEST_F(Wait, TimeOutElapsesBeforeWaitTimeoutIsReturned)
{
    HANDLE e = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    const auto start = Clock::now();
    EXPECT_EQ(WaitForSingleObject(e, 200), (DWORD)WAIT_TIMEOUT);
    EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(190));
    CloseHandle(e);
}

TEST_F(Wait, PseudoHandleOfTheCurrentThreadOnlyTimesOut)
{
    EXPECT_EQ(WaitForSingleObject(GetCurrentThread(), 10), (DWORD)WAIT_TIMEOUT);
    EXPECT_EQ(WaitForSingleObject(GetCurrentProcess(), 0), (DWORD)WAIT_TIMEOUT);
}

class Thread : public ::testing::Test {
protected:
    ScratchRoot root_;
};

struct Probe {
    HANDLE go;
    HANDLE done = nullptr; // set once seenId is written, when given
    DWORD seenId = 0;
    int nice = 0;
};

DWORD WINAPI RecordId(LPVOID arg)
{
    auto *probe = static_cast<Probe *>(arg);
    WaitForSingleObject(probe->go, INFINITE);
    probe->seenId = GetCurrentThreadId();
    if (probe->done)
        SetEvent(probe->done);
    return 0;
}

TEST_F(Thread, RunsWithItsParameterAndReportsItsId)
{
    Probe probe{CreateEventA(nullptr, TRUE, TRUE, nullptr)};
    DWORD id = 0;
    HANDLE t = CreateThread(nullptr, 0, RecordId, &probe, 0, &id);
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(WaitForSingleObject(t, 20000), (DWORD)WAIT_OBJECT_0);
    EXPECT_EQ(probe.seenId, id);
    EXPECT_NE(id, GetCurrentThreadId());
    CloseHandle(t);
    CloseHandle(probe.go);
}

TEST_F(Thread, HandleIsSignalledOnlyWhenTheThreadHasEnded)
{
    Probe probe{CreateEventA(nullptr, TRUE, FALSE, nullptr)};
    HANDLE t = CreateThread(nullptr, 64 * 1024, RecordId, &probe, 0, nullptr);
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(WaitForSingleObject(t, 50), (DWORD)WAIT_TIMEOUT);
    SetEvent(probe.go);
    EXPECT_EQ(WaitForSingleObject(t, 20000), (DWORD)WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(t, 0), (DWORD)WAIT_OBJECT_0);
    CloseHandle(t);
    CloseHandle(probe.go);
}

TEST_F(Thread, ClosingTheHandleLeavesTheThreadRunning)
{
    Probe probe{CreateEventA(nullptr, TRUE, FALSE, nullptr),
                CreateEventA(nullptr, TRUE, FALSE, nullptr)};
    HANDLE t = CreateThread(nullptr, 0, RecordId, &probe, 0, nullptr);
    EXPECT_TRUE(CloseHandle(t));
    SetEvent(probe.go);
    ASSERT_EQ(WaitForSingleObject(probe.done, 20000), (DWORD)WAIT_OBJECT_0);
    EXPECT_NE(probe.seenId, 0u);
    CloseHandle(probe.go);
    CloseHandle(probe.done);
}

DWORD WINAPI TakeMutexAndEnd(LPVOID arg)
{
    return WaitForSingleObject(static_cast<HANDLE>(arg), 0);
}

TEST_F(Thread, MutexesItOwnedAreAbandonedByTheTimeItsHandleIsSignalled)
{
    HANDLE m = CreateMutexA(nullptr, FALSE, nullptr);
    HANDLE t = CreateThread(nullptr, 0, TakeMutexAndEnd, m, 0, nullptr);
    EXPECT_EQ(WaitForSingleObject(t, 20000), (DWORD)WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(m, 0), (DWORD)WAIT_ABANDONED);
    ReleaseMutex(m);
    CloseHandle(t);
    CloseHandle(m);
}

TEST_F(Thread, MissingStartAddressFailsWithInvalidParameter)
{
    SetLastError(0xdeadbeef);
    EXPECT_EQ(CreateThread(nullptr, 0, nullptr, nullptr, 0, nullptr), nullptr);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_PARAMETER);
}

/* Known difference: suspended threads are not supported. */
TEST_F(Thread, CreateSuspendedIsNotSupported)
{
    Probe probe{CreateEventA(nullptr, TRUE, TRUE, nullptr)};
    SetLastError(0xdeadbeef);
    EXPECT_EQ(CreateThread(nullptr, 0, RecordId, &probe, CREATE_SUSPENDED, nullptr), nullptr);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_NOT_SUPPORTED);
    CloseHandle(probe.go);
}

DWORD WINAPI LowerOwnPriority(LPVOID arg)
{
    auto *probe = static_cast<Probe *>(arg);
    if (!SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_BELOW_NORMAL))
        return 1;
    probe->nice = getpriority(PRIO_PROCESS, static_cast<id_t>(gettid()));
    return 0;
}

TEST_F(Thread, BelowNormalPriorityLowersOnlyThatThread)
{
    Probe probe{nullptr};
    const int before = getpriority(PRIO_PROCESS, static_cast<id_t>(gettid()));
    HANDLE t = CreateThread(nullptr, 0, LowerOwnPriority, &probe, 0, nullptr);
    EXPECT_EQ(WaitForSingleObject(t, 20000), (DWORD)WAIT_OBJECT_0);
    EXPECT_GT(probe.nice, before);
    EXPECT_EQ(getpriority(PRIO_PROCESS, static_cast<id_t>(gettid())), before);
    CloseHandle(t);
}

TEST_F(Thread, SetThreadPriorityRejectsBadHandlesAndPriorities)
{
    HANDLE e = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(SetThreadPriority(e, THREAD_PRIORITY_NORMAL));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_HANDLE);
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(SetThreadPriority(GetCurrentThread(), 7));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_PARAMETER);
    CloseHandle(e);
}

/* The print client's dispatch: each worker opens the print mutex and the
 * free semaphore by name, takes the mutex, releases the semaphore (so the
 * dispatcher moves on) and does its work; the dispatcher waits on the
 * semaphore after starting each worker.  The work must run one at a time
 * and in the order the requests came. */
struct Dispatch {
    std::string mutexName, semaphoreName;
    std::mutex lock;
    std::vector<int> order;
    std::atomic<int> inside{0};
    std::atomic<bool> overlapped{false};
};

struct Request {
    Dispatch *dispatch;
    int number;
};

DWORD WINAPI Worker(LPVOID arg)
{
    std::unique_ptr<Request> request(static_cast<Request *>(arg));
    Dispatch &d = *request->dispatch;
    HANDLE print = OpenMutexA(MUTEX_ALL_ACCESS, FALSE, d.mutexName.c_str());
    HANDLE free = OpenSemaphoreA(SEMAPHORE_ALL_ACCESS, FALSE, d.semaphoreName.c_str());
    if (WaitForSingleObject(print, INFINITE) != WAIT_OBJECT_0)
        return 1;
    ReleaseSemaphore(free, 1, nullptr);
    CloseHandle(free);
    if (++d.inside > 1)
        d.overlapped = true;
    {
        std::lock_guard<std::mutex> guard(d.lock);
        d.order.push_back(request->number);
    }
    Sleep(1);
    --d.inside;
    ReleaseMutex(print);
    CloseHandle(print);
    return 0;
}

TEST_F(Thread, WorkersHandedOffThroughMutexAndSemaphoreRunOneAtATimeInOrder)
{
    Dispatch d;
    d.mutexName = UniqueName("PRINT_MUTEX");
    d.semaphoreName = UniqueName("FREE_SEMAPHORE");
    HANDLE print = CreateMutexA(nullptr, FALSE, d.mutexName.c_str());
    HANDLE free = CreateSemaphoreA(nullptr, 0, 1, d.semaphoreName.c_str());
    constexpr int kRequests = 40;
    std::vector<HANDLE> threads;
    for (int i = 0; i < kRequests; ++i) {
        HANDLE t = CreateThread(nullptr, 0, Worker, new Request{&d, i}, 0, nullptr);
        ASSERT_NE(t, nullptr);
        threads.push_back(t);
        ASSERT_EQ(WaitForSingleObject(free, 20000), (DWORD)WAIT_OBJECT_0) << "request " << i;
    }
    for (HANDLE t : threads) {
        EXPECT_EQ(WaitForSingleObject(t, 20000), (DWORD)WAIT_OBJECT_0);
        CloseHandle(t);
    }
    EXPECT_FALSE(d.overlapped.load());
    std::vector<int> expected(kRequests);
    for (int i = 0; i < kRequests; ++i)
        expected[i] = i;
    EXPECT_EQ(d.order, expected);
    CloseHandle(print);
    CloseHandle(free);
}

} // namespace
