/*
 * Input idle (see input_idle.h) and WaitForInputIdle.
 */
#include "user/input_idle.h"

#include "kernel/clock.h"
#include "kernel/root.h"
#include "sync/process_object.h"
#include "user/desktop.h"
#include "user/thread_queue.h"
#include "utils/posix_fs.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>

namespace winport {
namespace {

constexpr int kPollRealMs = 5;

struct IdleState {
    std::mutex lock;
    pid_t pid = 0;    // guarded by lock: the process that published (fork)
    std::string path; // guarded by lock: "" until published
};

IdleState &State()
{
    static IdleState *state = new IdleState; // threads may still run after main()
    return *state;
}

std::string IdlePath(const std::string &root, DWORD pid)
{
    return root + "/winport/idle/" + std::to_string(pid);
}

void RemoveAtExit()
{
    IdleState &state = State();
    std::lock_guard<std::mutex> guard(state.lock);
    if (state.pid == getpid() && !state.path.empty())
        unlink(state.path.c_str());
}

/* Whether process `pid` has published that it is idle. */
bool PublishedIdle(DWORD pid)
{
    const std::string path = IdlePath(Root(), pid);
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    char buf[32] = {};
    ssize_t n = read(fd, buf, sizeof buf - 1);
    close(fd);
    char *end = nullptr;
    const unsigned long long start = std::strtoull(buf, &end, 10);
    if (n <= 0 || end == buf)
        return false;
    if (!desktop::Alive(pid, start)) {
        unlink(path.c_str()); // left by an earlier process with this pid
        return false;
    }
    return true;
}

} // namespace

void NoteInputIdle()
{
    IdleState &state = State();
    const std::string root = Root();
    std::lock_guard<std::mutex> guard(state.lock);
    const std::string path = IdlePath(root, GetCurrentProcessId());
    if (state.pid == getpid() && state.path == path)
        return;
    util::MakeDirs(root + "/winport/idle");
    const std::string temp = path + ".tmp";
    unlink(temp.c_str()); // left by a process that died; never written through
    int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0644);
    if (fd < 0)
        return;
    const std::string text = std::to_string(desktop::SelfStartTime()) + "\n";
    const bool ok = write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    close(fd);
    if (!ok || rename(temp.c_str(), path.c_str()) != 0) {
        unlink(temp.c_str());
        return;
    }
    if (state.pid != getpid()) {
        static std::once_flag atExit;
        std::call_once(atExit, [] { std::atexit(RemoveAtExit); });
    }
    state.pid = getpid();
    state.path = path;
}

} // namespace winport

/* WaitForInputIdle: waits until the process has finished starting up (one
 * of its threads found its queue empty in GetMessageA or PeekMessageA) or
 * the time-out passes: 0, or WAIT_TIMEOUT.  As on Windows, a process waits
 * only once: later calls return 0 at once.  A handle that is not a process:
 * WAIT_FAILED with ERROR_INVALID_HANDLE; a process that ended before
 * becoming idle: WAIT_FAILED.  A process that never reads messages (a
 * console program on Windows, which returns at once) is waited for until
 * the time-out. */
DWORD WINAPI WaitForInputIdle(HANDLE hProcess, DWORD dwMilliseconds)
{
    using namespace winport;
    const DWORD pid = ProcessIdOfHandle(hProcess);
    if (!pid) {
        SetLastError(ERROR_INVALID_HANDLE);
        return WAIT_FAILED;
    }
    const uint64_t start = MonotonicNs();
    const uint64_t limitNs = dwMilliseconds == INFINITE ? UINT64_MAX : RealNs(dwMilliseconds);
    for (;;) {
        if (PublishedIdle(pid))
            return 0;
        if (WaitForSingleObject(hProcess, 0) != WAIT_TIMEOUT) {
            if (PublishedIdle(pid)) // idle just before it ended
                return 0;
            SetLastError(ERROR_INVALID_HANDLE);
            return WAIT_FAILED;
        }
        if (MonotonicNs() - start >= limitNs)
            return WAIT_TIMEOUT;
        std::this_thread::sleep_for(std::chrono::milliseconds(kPollRealMs));
    }
}
