/*
 * Conformance tests: named objects shared between processes: a mutex
 * whose holder was killed, a semaphore released by a child, an object of a
 * killed process that nobody else holds.
 */
#include "process_test_util.h"

#include <signal.h>

namespace {

class CrossProcess : public ChildProcessTest {
protected:
    /* Starts a role that signals `ready` once it holds its object. */
    bool StartHolder(const std::string &role, const std::string &ready, PROCESS_INFORMATION &pi)
    {
        HANDLE event = CreateEventA(nullptr, TRUE, FALSE, ready.c_str());
        const bool ok = Start(role, pi) && WaitForSingleObject(event, 60000) == WAIT_OBJECT_0;
        CloseHandle(event);
        return ok;
    }
    void Kill(PROCESS_INFORMATION &pi)
    {
        kill(static_cast<pid_t>(pi.dwProcessId), SIGKILL);
        WaitForSingleObject(pi.hProcess, 60000);
        CloseHandle(pi.hProcess);
        CloseHandle(pi.hThread);
    }
};

TEST_F(CrossProcess, MutexOfAKilledHolderIsAbandonedToTheNextWaiter)
{
    const std::string name = UniqueName("mutex"), ready = UniqueName("ready");
    PROCESS_INFORMATION pi{};
    ASSERT_TRUE(StartHolder("hold-mutex " + name + " " + ready, ready, pi));
    HANDLE m = OpenMutexA(SYNCHRONIZE, FALSE, name.c_str());
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(WaitForSingleObject(m, 0), (DWORD)WAIT_TIMEOUT);
    // killed, not yet reaped: a zombie owns nothing either
    kill(static_cast<pid_t>(pi.dwProcessId), SIGKILL);
    SetLastError(0xdeadbeef);
    EXPECT_EQ(WaitForSingleObject(m, 20000), (DWORD)WAIT_ABANDONED);
    EXPECT_EQ(GetLastError(), 0xdeadbeefu);
    EXPECT_TRUE(ReleaseMutex(m));
    EXPECT_EQ(WaitForSingleObject(m, 0), (DWORD)WAIT_OBJECT_0);
    EXPECT_TRUE(ReleaseMutex(m));
    Kill(pi);
    CloseHandle(m);
}

TEST_F(CrossProcess, MutexHeldHereTimesOutInAChild)
{
    const std::string name = UniqueName("mutex");
    HANDLE m = CreateMutexA(nullptr, TRUE, name.c_str());
    EXPECT_EQ(Run("try-mutex " + name + " 100"), 1u); // WAIT_TIMEOUT
    EXPECT_TRUE(ReleaseMutex(m));
    EXPECT_EQ(Run("try-mutex " + name + " 100"), 0u); // WAIT_OBJECT_0
    CloseHandle(m);
}

TEST_F(CrossProcess, SemaphoreReleasedByAChildWakesTheParentAndKeepsItsMaximum)
{
    const std::string name = UniqueName("FREE_SEMAPHORE");
    HANDLE s = CreateSemaphoreA(nullptr, 0, 1, name.c_str());
    PROCESS_INFORMATION pi{};
    ASSERT_TRUE(Start("release-semaphore " + name, pi));
    EXPECT_EQ(WaitForSingleObject(s, 60000), (DWORD)WAIT_OBJECT_0);
    WaitForSingleObject(pi.hProcess, 60000);
    DWORD code = ~0u;
    GetExitCodeProcess(pi.hProcess, &code);
    EXPECT_EQ(code, 0u) << "the child's release past the maximum did not fail as expected";
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);
    CloseHandle(s);
}

TEST_F(CrossProcess, ObjectOfAKilledProcessIsGoneWhenNobodyElseHoldsIt)
{
    const std::string name = UniqueName("sem"), ready = UniqueName("ready");
    PROCESS_INFORMATION pi{};
    ASSERT_TRUE(StartHolder("hold-semaphore " + name + " " + ready, ready, pi));
    Kill(pi);
    SetLastError(0xdeadbeef);
    EXPECT_EQ(OpenSemaphoreA(SYNCHRONIZE, FALSE, name.c_str()), nullptr);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_FILE_NOT_FOUND);
    SetLastError(0xdeadbeef);
    HANDLE s = CreateSemaphoreA(nullptr, 0, 1, name.c_str());
    EXPECT_EQ(GetLastError(), 0u) << "a new object, not the dead one's";
    EXPECT_EQ(WaitForSingleObject(s, 0), (DWORD)WAIT_TIMEOUT);
    CloseHandle(s);
}

TEST_F(CrossProcess, ObjectStaysWhileAnotherProcessHoldsIt)
{
    const std::string name = UniqueName("sem"), ready = UniqueName("ready");
    PROCESS_INFORMATION pi{};
    ASSERT_TRUE(StartHolder("hold-semaphore " + name + " " + ready, ready, pi));
    SetLastError(0xdeadbeef);
    HANDLE s = CreateSemaphoreA(nullptr, 0, 1, name.c_str());
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_ALREADY_EXISTS);
    EXPECT_EQ(WaitForSingleObject(s, 0), (DWORD)WAIT_OBJECT_0); // the child's initial count
    CloseHandle(s);
    Kill(pi);
}

} // namespace
