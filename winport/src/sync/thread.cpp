/*
 * Threads: CreateThread over pthreads, thread priorities, the current
 * thread's pseudo handle.
 */
#include "sync/thread_object.h"

#include "kernel/errors.h"

#include <pthread.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cerrno>
#include <climits>

namespace winport {

DWORD ThreadObject::Wait(const Deadline &deadline)
{
    if (process_)
        return process_->Wait(deadline);
    std::unique_lock<std::mutex> guard(lock_);
    if (deadline.infinite()) {
        changed_.wait(guard, [&] { return done_; });
        return WAIT_OBJECT_0;
    }
    return changed_.wait_until(guard, deadline.SteadyTime(), [&] { return done_; }) ? WAIT_OBJECT_0
                                                                                    : WAIT_TIMEOUT;
}

pid_t ThreadObject::Tid()
{
    std::unique_lock<std::mutex> guard(lock_);
    changed_.wait(guard, [&] { return tid_ != 0; });
    return tid_;
}

void ThreadObject::SetNice(int nice)
{
    const pid_t tid = Tid();
    if (process_ && process_->Wait(Deadline::AfterRealNs(0)) != WAIT_TIMEOUT)
        return;
    std::lock_guard<std::mutex> guard(lock_);
    if (!done_)
        setpriority(PRIO_PROCESS, static_cast<id_t>(tid), nice);
}

void ThreadObject::Started(pid_t tid)
{
    std::lock_guard<std::mutex> guard(lock_);
    tid_ = tid;
    changed_.notify_all();
}

void ThreadObject::Finished(DWORD exitCode)
{
    std::lock_guard<std::mutex> guard(lock_);
    exitCode_ = exitCode;
    done_ = true;
    changed_.notify_all();
}

namespace {

struct StartBlock {
    LPTHREAD_START_ROUTINE function;
    LPVOID parameter;
    std::shared_ptr<ThreadObject> thread;
};

/* Signals the thread's end from a thread-local destructor: it was
 * constructed before the thread could take any mutex, so it runs after the
 * destructor that abandons the mutexes the thread still owns. */
struct ThreadEnd {
    std::shared_ptr<ThreadObject> thread;
    DWORD exitCode = 0;
    ~ThreadEnd()
    {
        if (thread)
            thread->Finished(exitCode);
    }
};

thread_local ThreadEnd tEnd;

void *ThreadMain(void *arg)
{
    std::unique_ptr<StartBlock> start(static_cast<StartBlock *>(arg));
    tEnd.thread = start->thread;
    start->thread->Started(gettid());
    tEnd.exitCode = start->function(start->parameter);
    return nullptr;
}

/* Linux nice values for the Windows priorities: below normal lowers the
 * thread; raising it needs privileges a workstation process lacks, and is
 * then left as it is. */
bool NiceForPriority(int priority, int *nice)
{
    switch (priority) {
    case THREAD_PRIORITY_IDLE:
        *nice = 19;
        return true;
    case THREAD_PRIORITY_LOWEST:
        *nice = 10;
        return true;
    case THREAD_PRIORITY_BELOW_NORMAL:
        *nice = 5;
        return true;
    case THREAD_PRIORITY_NORMAL:
        *nice = 0;
        return true;
    case THREAD_PRIORITY_ABOVE_NORMAL:
        *nice = -5;
        return true;
    case THREAD_PRIORITY_HIGHEST:
        *nice = -10;
        return true;
    case THREAD_PRIORITY_TIME_CRITICAL:
        *nice = -20;
        return true;
    default:
        return false;
    }
}

} // namespace
} // namespace winport

/* GetCurrentThread: the pseudo handle (HANDLE)-2 for the calling thread. */
HANDLE WINAPI GetCurrentThread(void)
{
    return reinterpret_cast<HANDLE>(static_cast<intptr_t>(-2));
}

/* CreateThread: runs lpStartAddress(lpParameter) on a new thread; the
 * handle is signalled when the thread has ended and closing it does not
 * stop the thread.  CREATE_SUSPENDED is not supported
 * (ERROR_NOT_SUPPORTED); a stack size is rounded up to the system minimum.
 * Security attributes are ignored. */
HANDLE WINAPI CreateThread(LPSECURITY_ATTRIBUTES lpThreadAttributes, SIZE_T dwStackSize,
                           LPTHREAD_START_ROUTINE lpStartAddress, LPVOID lpParameter,
                           DWORD dwCreationFlags, LPDWORD lpThreadId)
{
    using namespace winport;
    (void)lpThreadAttributes;
    if (!lpStartAddress) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    if (dwCreationFlags & CREATE_SUSPENDED) {
        SetLastError(ERROR_NOT_SUPPORTED);
        return nullptr;
    }
    auto thread = std::make_shared<ThreadObject>();
    auto *start = new StartBlock{lpStartAddress, lpParameter, thread};
    pthread_attr_t attr;
    pthread_attr_init(&attr);
    pthread_attr_setdetachstate(&attr, PTHREAD_CREATE_DETACHED);
    if (dwStackSize) {
        const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
        const size_t minimum = static_cast<size_t>(PTHREAD_STACK_MIN);
        const size_t size = (dwStackSize + page - 1) / page * page;
        pthread_attr_setstacksize(&attr, size < minimum ? minimum : size);
    }
    pthread_t id;
    const int rc = pthread_create(&id, &attr, ThreadMain, start);
    pthread_attr_destroy(&attr);
    if (rc != 0) {
        delete start;
        SetLastError(rc == EAGAIN ? ERROR_NOT_ENOUGH_MEMORY : Win32ErrorFromErrno(rc));
        return nullptr;
    }
    HANDLE handle = HandleTable::Instance().Insert(thread);
    if (lpThreadId)
        *lpThreadId = static_cast<DWORD>(thread->Tid());
    return handle;
}

/* SetThreadPriority: checks the handle and the priority (one of the
 * THREAD_PRIORITY_* values, else ERROR_INVALID_PARAMETER) and sets the
 * thread's nice value; a raise the system refuses still succeeds, as the
 * scheduler's decision, not the caller's error. */
BOOL WINAPI SetThreadPriority(HANDLE hThread, int nPriority)
{
    using namespace winport;
    std::shared_ptr<ThreadObject> thread;
    if (hThread != GetCurrentThread()) {
        thread = GetObjectAs<ThreadObject>(hThread, ObjectType::Thread);
        if (!thread)
            return FALSE;
    }
    int nice = 0;
    if (!NiceForPriority(nPriority, &nice)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (thread)
        thread->SetNice(nice);
    else
        setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), nice);
    return TRUE;
}
