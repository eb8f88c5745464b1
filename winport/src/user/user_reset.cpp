/*
 * Forgetting the user state of the process: the test hook
 * winport_test_reset_user, and withdrawing this process's windows from the
 * machine-wide registry when it exits normally (entries of a process that
 * crashed are removed by the next reader, see desktop.h).
 */
#include "user/desktop.h"
#include "user/handoff.h"
#include "user/thread_queue.h"
#include "user/window_life.h"

#include <winport_test.h>

#include <unistd.h>

#include <cstdlib>
#include <mutex>

namespace winport {
namespace {

void WithdrawAll(const std::vector<WindowRef> &windows)
{
    for (const WindowRef &window : windows) {
        std::string root = WindowTable::Instance().Locked([&] { return window->registeredRoot; });
        if (!root.empty())
            desktop::Withdraw(root, window->hwnd);
        NoteDestroyedForActivation(window->hwnd);
    }
}

void WithdrawAtExit()
{
    static const pid_t registeredBy = getpid();
    if (registeredBy != getpid())
        return; // a forked child that exits does not own these windows
    std::vector<WindowRef> windows;
    for (const WindowRef &window : WindowTable::Instance().TopLevel())
        windows.push_back(window);
    WithdrawAll(windows);
}

} // namespace

void WithdrawPublishedAtExit()
{
    static std::once_flag once;
    std::call_once(once, [] { std::atexit(WithdrawAtExit); });
}

} // namespace winport

/* winport_test_reset_user: forgets every window (without calling any
 * window procedure), window class, queued message, timer and pending quit
 * of this process, and closes sockets handed to it and never claimed. */
void winport_test_reset_user(void)
{
    using namespace winport;
    WithdrawAll(WindowTable::Instance().Clear());
    ClassTable::Instance().Clear();
    ThreadQueue::ResetAll();
    handoff::Clear();
}
