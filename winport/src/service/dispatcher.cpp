/*
 * The service program's side: StartServiceCtrlDispatcherA,
 * RegisterServiceCtrlHandlerA and SetServiceStatus.
 *
 * A process runs as a service when it was started as one: the variable
 * WINPORT_SERVICE_NAME names the service (StartServiceA and the systemd
 * unit set it).  The dispatcher then listens on the service's socket, runs
 * ServiceMain on a thread of its own and serves status queries and controls
 * on the calling thread, so handlers run there, as on Windows.  Each
 * connection is read on a short-lived thread of its own (at most 16 at
 * once) and only complete requests reach the dispatcher, so a client that
 * connects and says nothing cannot hold up stops.  SIGTERM
 * (how systemd stops a unit) arrives from the console part's signal thread
 * as SERVICE_CONTROL_STOP.  The dispatcher returns once the service reported
 * SERVICE_STOPPED and its ServiceMain returned, or a grace period passed.
 */
#include "service/service_private.h"

#include "kernel/clock.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>
#include <strings.h>
#include <thread>

namespace winport::service {
namespace {

/* How long the dispatcher waits for ServiceMain to return once the service
 * reported SERVICE_STOPPED (nominal milliseconds). */
constexpr uint64_t kGraceMs = 5000;

/* How many connections may wait to be read at once; a new one beyond that
 * drops the oldest, so clients that connect and send nothing cannot pile
 * up, and each gets kIoGuardMs to send its request. */
constexpr size_t kMaxPending = 64;

/* A request read off a connection, for the dispatcher's thread. */
struct Request {
    int conn;
    uint32_t control;
    bool mayControl;
};

struct Dispatcher {
    std::mutex lock;
    bool active = false;                  // guarded by lock
    bool stopped = false;                 // guarded by lock: SERVICE_STOPPED was reported
    bool mainDone = false;                // guarded by lock: ServiceMain returned
    std::condition_variable mainCv;       // signals mainDone
    std::string name;                     // guarded by lock: the table's spelling
    LPHANDLER_FUNCTION handler = nullptr; // guarded by lock
    SERVICE_STATUS status{};              // guarded by lock
    int wakeRead = -1;                    // guarded by lock
    int wakeWrite = -1;                   // guarded by lock
    uint64_t run = 0;                     // guarded by lock: which dispatcher run this is
    std::deque<Request> requests;         // guarded by lock: read, waiting for the dispatcher
    std::mutex saveLock;                  // orders status writes to the status file
};

Dispatcher &TheDispatcher()
{
    static Dispatcher *d = new Dispatcher; // ServiceMain may outlive main()
    return *d;
}

SERVICE_STATUS_HANDLE StatusHandle()
{
    return reinterpret_cast<SERVICE_STATUS_HANDLE>(&TheDispatcher());
}

void Wake(char what)
{
    Dispatcher &d = TheDispatcher();
    std::lock_guard<std::mutex> guard(d.lock);
    if (d.wakeWrite >= 0) {
        ssize_t rc = write(d.wakeWrite, &what, 1);
        (void)rc; // a full pipe already wakes the dispatcher
    }
}

/* ServiceMain's arguments: the service name, then what StartServiceA gave
 * (WINPORT_SERVICE_ARGS, separated by 0x1F).  Never freed: ServiceMain may
 * keep the pointers, and may outlive its dispatcher. */
struct ArgumentBlock {
    std::deque<std::string> storage;
    std::vector<char *> argv;
};

std::vector<char *> *Arguments(const std::string &name)
{
    static std::mutex lock;
    static auto *blocks = new std::vector<std::unique_ptr<ArgumentBlock>>;
    auto block = std::make_unique<ArgumentBlock>();
    std::deque<std::string> *storage = &block->storage;
    std::vector<char *> *argv = &block->argv;
    {
        std::lock_guard<std::mutex> guard(lock);
        blocks->push_back(std::move(block));
    }
    storage->push_back(name);
    if (const char *args = std::getenv("WINPORT_SERVICE_ARGS")) {
        std::string all = args;
        size_t start = 0;
        for (;;) {
            size_t end = all.find('\x1f', start);
            storage->push_back(all.substr(start, end == std::string::npos ? end : end - start));
            if (end == std::string::npos)
                break;
            start = end + 1;
        }
    }
    for (std::string &s : *storage)
        argv->push_back(s.data());
    argv->push_back(nullptr);
    return argv;
}

bool Accepts(DWORD accepted, uint32_t control)
{
    switch (control) {
    case SERVICE_CONTROL_STOP:
        return accepted & SERVICE_ACCEPT_STOP;
    case SERVICE_CONTROL_PAUSE:
    case SERVICE_CONTROL_CONTINUE:
        return accepted & SERVICE_ACCEPT_PAUSE_CONTINUE;
    case SERVICE_CONTROL_SHUTDOWN:
        return accepted & SERVICE_ACCEPT_SHUTDOWN;
    case SERVICE_CONTROL_PARAMCHANGE:
        return accepted & SERVICE_ACCEPT_PARAMCHANGE;
    case SERVICE_CONTROL_INTERROGATE:
        return true;
    default:
        return control >= 128 && control <= 255; // user-defined controls always reach it
    }
}

/* Runs one control on this (the dispatcher's) thread. */
Reply Control(uint32_t control, bool mayControl)
{
    Dispatcher &d = TheDispatcher();
    Reply reply;
    LPHANDLER_FUNCTION handler;
    {
        std::lock_guard<std::mutex> guard(d.lock);
        reply.status = d.status;
        handler = d.handler;
    }
    if (control == kStatusOnly)
        return reply;
    if (!mayControl && control != SERVICE_CONTROL_INTERROGATE) {
        reply.error = ERROR_ACCESS_DENIED;
        return reply;
    }
    const DWORD state = reply.status.dwCurrentState;
    if (state == SERVICE_STOPPED || state == SERVICE_START_PENDING ||
        state == SERVICE_STOP_PENDING || !handler) {
        reply.error = ERROR_SERVICE_CANNOT_ACCEPT_CTRL;
        return reply;
    }
    if (!Accepts(reply.status.dwControlsAccepted, control)) {
        reply.error = ERROR_INVALID_SERVICE_CONTROL;
        return reply;
    }
    handler(control);
    std::lock_guard<std::mutex> guard(d.lock);
    reply.status = d.status;
    return reply;
}

/* SIGTERM: a stop when the service takes one, else a shutdown when it takes
 * that; otherwise it keeps running (systemd kills it after its time-out). */
void Terminate()
{
    Dispatcher &d = TheDispatcher();
    DWORD accepted;
    {
        std::lock_guard<std::mutex> guard(d.lock);
        accepted = d.status.dwControlsAccepted;
    }
    if (accepted & SERVICE_ACCEPT_STOP)
        Control(SERVICE_CONTROL_STOP, true);
    else if (accepted & SERVICE_ACCEPT_SHUTDOWN)
        Control(SERVICE_CONTROL_SHUTDOWN, true);
}

/* Queues a complete request for the dispatcher's thread; false when no
 * dispatcher of this run takes it any more. */
bool Queue(const Request &request, uint64_t run)
{
    Dispatcher &d = TheDispatcher();
    std::lock_guard<std::mutex> guard(d.lock);
    if (!d.active || d.run != run || d.stopped || d.wakeWrite < 0)
        return false;
    d.requests.push_back(request);
    const char what = 'R';
    ssize_t rc = write(d.wakeWrite, &what, 1);
    (void)rc; // a full pipe already wakes the dispatcher
    return true;
}

/* Accepts connections and reads their requests, all at once without
 * blocking, so a slow or silent client never holds up the dispatcher or
 * another client; complete requests go to the dispatcher's thread. */
void AcceptLoop(int listenFd, int stopFd, uint64_t run)
{
    struct Pending {
        int fd;
        std::chrono::steady_clock::time_point deadline;
        unsigned char bytes[kRequestSize];
        size_t got;
    };
    std::deque<Pending> pending;
    for (;;) {
        const auto now = std::chrono::steady_clock::now();
        int timeout = -1;
        std::vector<pollfd> fds = {{listenFd, POLLIN, 0}, {stopFd, POLLIN, 0}};
        for (const Pending &p : pending) {
            fds.push_back({p.fd, POLLIN, 0});
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(p.deadline - now).count();
            timeout = timeout < 0 ? static_cast<int>(std::max<int64_t>(left, 0))
                                  : std::min(timeout, static_cast<int>(std::max<int64_t>(left, 0)));
        }
        if (poll(fds.data(), fds.size(), timeout) < 0)
            continue; // EINTR
        if (fds[1].revents) {
            for (const Pending &p : pending)
                close(p.fd);
            return;
        }
        // Read what arrived; finish, drop or keep each connection.
        std::deque<Pending> kept;
        for (size_t i = 0; i < pending.size(); ++i) {
            Pending p = pending[i];
            bool done = false, failed = false;
            if (fds[i + 2].revents) {
                ssize_t n = read(p.fd, p.bytes + p.got, kRequestSize - p.got);
                if (n > 0)
                    p.got += static_cast<size_t>(n);
                else if (n == 0 || (errno != EAGAIN && errno != EINTR))
                    failed = true;
                done = p.got == kRequestSize;
            }
            if (!done && !failed && std::chrono::steady_clock::now() >= p.deadline)
                failed = true;
            Request request{p.fd, 0, false};
            if (done && DecodeRequest(p.fd, p.bytes, &request.control, &request.mayControl) &&
                Queue(request, run))
                continue;
            if (done || failed)
                close(p.fd); // the client sees the end of the stream
            else
                kept.push_back(p);
        }
        pending.swap(kept);
        if (fds[0].revents & POLLIN) {
            int conn = accept4(listenFd, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
            if (conn >= 0) {
                if (pending.size() >= kMaxPending) {
                    close(pending.front().fd);
                    pending.pop_front();
                }
                pending.push_back(
                    {conn,
                     std::chrono::steady_clock::now() + std::chrono::milliseconds(kIoGuardMs),
                     {},
                     0});
            }
        }
    }
}

/* The dispatcher's loop: controls from other processes and from SIGTERM,
 * one at a time, until the service reported SERVICE_STOPPED. */
void Serve(int wakeFd)
{
    Dispatcher &d = TheDispatcher();
    for (;;) {
        {
            std::lock_guard<std::mutex> guard(d.lock);
            if (d.stopped)
                return;
        }
        pollfd fd = {wakeFd, POLLIN, 0};
        if (poll(&fd, 1, -1) < 0)
            continue; // EINTR
        char what[64];
        const ssize_t n = read(wakeFd, what, sizeof what);
        for (ssize_t i = 0; i < n; ++i)
            if (what[i] == 'T')
                Terminate();
        for (;;) {
            Request request;
            {
                std::lock_guard<std::mutex> guard(d.lock);
                if (d.requests.empty())
                    break;
                request = d.requests.front();
                d.requests.pop_front();
            }
            WriteReply(request.conn, Control(request.control, request.mayControl));
            close(request.conn);
        }
    }
}

} // namespace

bool RouteTerminateToService()
{
    Dispatcher &d = TheDispatcher();
    {
        std::lock_guard<std::mutex> guard(d.lock);
        if (!d.active)
            return false;
    }
    Wake('T');
    return true;
}

} // namespace winport::service

/* StartServiceCtrlDispatcherA: connects the process to the service
 * controller and serves it until the service stops.  Outside a process
 * started as a service (or for a service not in the table) it fails with
 * ERROR_FAILED_SERVICE_CONTROLLER_CONNECT, as when a service program is run
 * from a console. */
BOOL WINAPI StartServiceCtrlDispatcherA(CONST SERVICE_TABLE_ENTRYA *lpServiceStartTable)
{
    using namespace winport::service;
    if (!lpServiceStartTable) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const char *wanted = std::getenv("WINPORT_SERVICE_NAME");
    const SERVICE_TABLE_ENTRYA *entry = nullptr;
    for (const SERVICE_TABLE_ENTRYA *e = lpServiceStartTable; e->lpServiceName; ++e) {
        if (wanted && e->lpServiceProc && strcasecmp(e->lpServiceName, wanted) == 0) {
            entry = e;
            break;
        }
    }
    if (!entry) {
        SetLastError(ERROR_FAILED_SERVICE_CONTROLLER_CONNECT);
        return FALSE;
    }
    Dispatcher &d = TheDispatcher();
    const std::string name = entry->lpServiceName;
    Listener listener;
    int wake[2] = {-1, -1};
    {
        std::lock_guard<std::mutex> guard(d.lock);
        if (d.active) {
            SetLastError(ERROR_SERVICE_ALREADY_RUNNING);
            return FALSE;
        }
        if (DWORD error = Listen(name, &listener)) {
            SetLastError(error);
            return FALSE;
        }
        if (pipe2(wake, O_CLOEXEC | O_NONBLOCK) != 0) {
            Unlisten(&listener);
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            return FALSE;
        }
        d.active = true;
        d.stopped = false;
        ++d.run;
        d.mainDone = false;
        d.name = name;
        d.handler = nullptr;
        d.status = SERVICE_STATUS{SERVICE_WIN32_OWN_PROCESS, SERVICE_START_PENDING, 0, 0, 0, 0, 0};
        d.wakeRead = wake[0];
        d.wakeWrite = wake[1];
        SaveStatus(name, d.status);
    }
    WatchTerminate();
    std::vector<char *> *argv = Arguments(name);
    LPSERVICE_MAIN_FUNCTIONA serviceMain = entry->lpServiceProc;
    bool started = true;
    try {
        std::thread([serviceMain, argv] {
            serviceMain(static_cast<DWORD>(argv->size() - 1), argv->data());
            Dispatcher &dd = TheDispatcher();
            std::lock_guard<std::mutex> guard(dd.lock);
            dd.mainDone = true;
            dd.mainCv.notify_all();
        }).detach();
    } catch (const std::system_error &) {
        started = false;
    }
    if (started) {
        int stop[2] = {-1, -1};
        std::thread acceptor;
        uint64_t run;
        {
            std::lock_guard<std::mutex> guard(d.lock);
            run = d.run;
        }
        if (pipe2(stop, O_CLOEXEC) == 0) {
            try {
                acceptor = std::thread(AcceptLoop, listener.sockFd, stop[0], run);
            } catch (const std::system_error &) {
                // No acceptor: the service still runs and stops on SIGTERM.
            }
        }
        Serve(wake[0]);
        if (acceptor.joinable()) {
            const char what = 'S';
            ssize_t rc = write(stop[1], &what, 1);
            (void)rc;
            acceptor.join();
        }
        if (stop[0] >= 0) {
            close(stop[0]);
            close(stop[1]);
        }
    }
    {
        std::unique_lock<std::mutex> guard(d.lock);
        for (const Request &request : d.requests)
            close(request.conn); // asked after the stop: nobody serves the name now
        d.requests.clear();
        if (started)
            d.mainCv.wait_for(guard, std::chrono::milliseconds(winport::RealMs(kGraceMs)),
                              [&d] { return d.mainDone; });
        d.active = false;
        d.handler = nullptr;
        d.wakeRead = d.wakeWrite = -1;
        if (!started) {
            d.status.dwCurrentState = SERVICE_STOPPED;
            d.status.dwWin32ExitCode = ERROR_SERVICE_NO_THREAD;
            SaveStatus(name, d.status);
        }
    }
    close(wake[0]);
    close(wake[1]);
    Unlisten(&listener);
    RemoveRecordIfMarked(name);
    if (!started) {
        SetLastError(ERROR_SERVICE_NO_THREAD);
        return FALSE;
    }
    return TRUE;
}

/* RegisterServiceCtrlHandlerA: the handler for the service this process
 * runs, and its status handle.  Outside a running dispatcher, or for
 * another service's name, ERROR_SERVICE_DOES_NOT_EXIST. */
SERVICE_STATUS_HANDLE WINAPI RegisterServiceCtrlHandlerA(LPCSTR lpServiceName,
                                                         LPHANDLER_FUNCTION lpHandlerProc)
{
    using namespace winport::service;
    if (!lpServiceName || !lpHandlerProc) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    Dispatcher &d = TheDispatcher();
    std::lock_guard<std::mutex> guard(d.lock);
    if (!d.active || strcasecmp(d.name.c_str(), lpServiceName) != 0) {
        SetLastError(ERROR_SERVICE_DOES_NOT_EXIST);
        return nullptr;
    }
    d.handler = lpHandlerProc;
    return StatusHandle();
}

/* SetServiceStatus: records the service's status (check points and wait
 * hints as given) for queries from any process.  SERVICE_STOPPED ends the
 * dispatcher's service loop. */
BOOL WINAPI SetServiceStatus(SERVICE_STATUS_HANDLE hServiceStatus, LPSERVICE_STATUS lpServiceStatus)
{
    using namespace winport::service;
    Dispatcher &d = TheDispatcher();
    if (!lpServiceStatus) {
        SetLastError(ERROR_INVALID_ADDRESS);
        return FALSE;
    }
    if (lpServiceStatus->dwCurrentState < SERVICE_STOPPED ||
        lpServiceStatus->dwCurrentState > SERVICE_PAUSED) {
        SetLastError(ERROR_INVALID_DATA);
        return FALSE;
    }
    std::lock_guard<std::mutex> save(d.saveLock);
    std::string name;
    {
        std::lock_guard<std::mutex> guard(d.lock);
        if (hServiceStatus != StatusHandle() || !d.active || d.stopped) {
            SetLastError(ERROR_INVALID_HANDLE);
            return FALSE;
        }
        d.status = *lpServiceStatus;
        name = d.name;
    }
    SaveStatus(name, *lpServiceStatus);
    if (lpServiceStatus->dwCurrentState == SERVICE_STOPPED) {
        {
            std::lock_guard<std::mutex> guard(d.lock);
            d.stopped = true;
        }
        Wake('S');
    }
    return TRUE;
}
