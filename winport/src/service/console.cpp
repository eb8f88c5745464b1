/*
 * Console control handlers (SetConsoleCtrlHandler) on POSIX signals, and
 * Beep.
 *
 * SIGINT is CTRL_C_EVENT, SIGQUIT CTRL_BREAK_EVENT, SIGHUP CTRL_CLOSE_EVENT
 * and SIGTERM CTRL_SHUTDOWN_EVENT, except in a process whose service
 * dispatcher runs, where SIGTERM stops the service.  The signal handler only
 * writes the signal's number to a pipe; a dedicated thread reads it and, as
 * Windows does, starts a new thread that calls the handlers, last
 * registered first, until one returns TRUE.  When none does, the process
 * ends as ExitProcess(STATUS_CONTROL_C_EXIT) would.  Signals are watched
 * from the first SetConsoleCtrlHandler call on (SIGTERM also from the
 * dispatcher's start); before that they have their POSIX effect, which
 * ends the process as Windows' default handler does.
 */
#include "service/service_private.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <mutex>
#include <thread>
#include <vector>

namespace winport::service {
namespace {

constexpr UINT kControlCExit = 0xC000013A; // STATUS_CONTROL_C_EXIT

struct Console {
    std::mutex lock;
    std::vector<PHANDLER_ROUTINE> handlers; // guarded by lock; called from the back
    bool ignoreCtrlC = false;               // guarded by lock: SetConsoleCtrlHandler(NULL, TRUE)
    bool threadStarted = false;             // guarded by lock
    std::vector<int> watched;               // guarded by lock
};

Console &TheConsole()
{
    static Console *console = new Console; // the signal thread outlives main()
    return *console;
}

int g_signalPipe[2] = {-1, -1}; // written from signal context, set once under the lock

void OnSignal(int signo)
{
    const int saved = errno;
    const unsigned char byte = static_cast<unsigned char>(signo);
    ssize_t rc = write(g_signalPipe[1], &byte, 1);
    (void)rc; // a full pipe already has this signal waiting
    errno = saved;
}

void RunHandlers(DWORD event)
{
    Console &c = TheConsole();
    std::vector<PHANDLER_ROUTINE> handlers;
    {
        std::lock_guard<std::mutex> guard(c.lock);
        handlers = c.handlers;
    }
    for (auto it = handlers.rbegin(); it != handlers.rend(); ++it)
        if ((*it)(event))
            return;
    ExitProcess(kControlCExit);
}

void SignalLoop()
{
    for (;;) {
        unsigned char signo = 0;
        ssize_t n = read(g_signalPipe[0], &signo, 1);
        if (n < 0 && errno == EINTR)
            continue;
        if (n != 1)
            return;
        DWORD event;
        switch (signo) {
        case SIGINT: {
            Console &c = TheConsole();
            std::lock_guard<std::mutex> guard(c.lock);
            if (c.ignoreCtrlC)
                continue;
            event = CTRL_C_EVENT;
            break;
        }
        case SIGQUIT:
            event = CTRL_BREAK_EVENT;
            break;
        case SIGHUP:
            event = CTRL_CLOSE_EVENT;
            break;
        case SIGTERM:
            if (RouteTerminateToService())
                continue;
            event = CTRL_SHUTDOWN_EVENT;
            break;
        default:
            continue;
        }
        try {
            std::thread(RunHandlers, event).detach();
        } catch (const std::system_error &) {
            RunHandlers(event); // no thread to spare: run them here
        }
    }
}

/* Watches `signals` (idempotent).  False when the pipe or thread could not
 * be made. */
bool Watch(std::initializer_list<int> signals)
{
    Console &c = TheConsole();
    std::lock_guard<std::mutex> guard(c.lock);
    if (!c.threadStarted) {
        if (pipe2(g_signalPipe, O_CLOEXEC) != 0)
            return false;
        try {
            std::thread(SignalLoop).detach();
        } catch (const std::system_error &) {
            close(g_signalPipe[0]);
            close(g_signalPipe[1]);
            g_signalPipe[0] = g_signalPipe[1] = -1;
            return false;
        }
        c.threadStarted = true;
    }
    for (int signo : signals) {
        if (std::find(c.watched.begin(), c.watched.end(), signo) != c.watched.end())
            continue;
        struct sigaction sa = {};
        sa.sa_handler = OnSignal;
        sigemptyset(&sa.sa_mask);
        sa.sa_flags = SA_RESTART;
        if (sigaction(signo, &sa, nullptr) == 0)
            c.watched.push_back(signo);
    }
    return true;
}

} // namespace

void WatchTerminate()
{
    Watch({SIGTERM});
}

} // namespace winport::service

/* SetConsoleCtrlHandler: adds or removes a handler; NULL with Add TRUE makes
 * the process ignore Ctrl+C (FALSE restores it).  Removing a handler that
 * is not registered gives ERROR_INVALID_PARAMETER. */
BOOL WINAPI SetConsoleCtrlHandler(PHANDLER_ROUTINE HandlerRoutine, BOOL Add)
{
    using namespace winport::service;
    if (!Watch({SIGINT, SIGQUIT, SIGHUP, SIGTERM})) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return FALSE;
    }
    Console &c = TheConsole();
    std::lock_guard<std::mutex> guard(c.lock);
    if (!HandlerRoutine) {
        c.ignoreCtrlC = Add != FALSE;
        return TRUE;
    }
    if (Add) {
        c.handlers.push_back(HandlerRoutine);
        return TRUE;
    }
    auto it = std::find(c.handlers.rbegin(), c.handlers.rend(), HandlerRoutine);
    if (it == c.handlers.rend()) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    c.handlers.erase(std::next(it).base());
    return TRUE;
}

/* Beep: there is no speaker; returns TRUE after the duration (on the
 * process clock), as a real beep returns when the tone ends. */
BOOL WINAPI Beep(DWORD dwFreq, DWORD dwDuration)
{
    (void)dwFreq;
    Sleep(dwDuration);
    return TRUE;
}
