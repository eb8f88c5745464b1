/*
 * This process's endpoint (see endpoint.h): the listening socket, the
 * listener thread, one thread per connection, and the client side.
 *
 * Socket paths can be longer than a sockaddr_un holds (a deep root), so
 * both sides name the socket through the folder's descriptor:
 * /proc/self/fd/<folder fd>/<pid>.sock.
 */
#include "user/endpoint.h"

#include "kernel/root.h"
#include "user/desktop.h"
#include "user/error_log.h"
#include "user/handoff.h"
#include "user/remote_message.h"
#include "user/thread_queue.h"
#include "utils/posix_fs.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

namespace winport::endpoint {
namespace {

struct Listener {
    std::mutex lock;
    pid_t pid = 0;              // guarded by lock: whose listener this is (fork)
    int fd = -1;                // guarded by lock
    std::string root;           // guarded by lock
    std::string path;           // guarded by lock
    std::vector<int> retired;   // guarded by lock: closed by the listener thread
    bool threadStarted = false; // guarded by lock
    Waker wake;
};

Listener &TheListener()
{
    static Listener *listener = new Listener; // its thread outlives main()
    return *listener;
}

bool PeerAllowed(int conn, pid_t *peerPid)
{
    ucred cred = {};
    socklen_t len = sizeof cred;
    if (getsockopt(conn, SOL_SOCKET, SO_PEERCRED, &cred, &len) != 0)
        return false;
    *peerPid = cred.pid;
    return cred.uid == getuid() || cred.uid == 0;
}

void Log(pid_t peer, const std::string &what)
{
    WriteErrorLog("winport endpoint: dropped a request from process " + std::to_string(peer) +
                  ": " + what);
}

/* Requests accepted and not yet answered.  A post is queued before its
 * reply is written, and the message may be the one that ends this process
 * (a quit): the exit waits a moment for such replies, or the sender would
 * see a failed post for a message that arrived. */
std::atomic<int> g_unanswered{0};

struct Unanswered {
    ~Unanswered() { g_unanswered--; }
};

void HandleConnection(int conn)
{
    Unanswered answered;
    pid_t peer = 0;
    if (!PeerAllowed(conn, &peer)) {
        Log(peer, "another user's process");
        close(conn);
        return;
    }
    wire::Frame frame;
    std::string why;
    if (!wire::ReadFrame(conn, &frame, kIoGuardMs, &why)) {
        Log(peer, why);
        close(conn);
        return;
    }
    wire::Reply reply;
    switch (frame.kind) {
    case wire::Kind::Post:
        reply = remote::HandlePost(frame.body);
        break;
    case wire::Kind::Send:
        reply = remote::HandleSend(conn, frame.body);
        break;
    case wire::Kind::Park:
        reply = handoff::HandlePark(frame.body, frame.fd);
        frame.fd = -1;
        break;
    default:
        reply.status = wire::Status::BadRequest;
    }
    if (frame.fd >= 0)
        close(frame.fd); // a descriptor that came with a request that takes none
    if (reply.status == wire::Status::BadRequest)
        Log(peer, "malformed request");
    wire::SendFrame(conn, wire::Kind::Reply, wire::Encode(reply)); // a gone sender is fine
    close(conn);
}

void ListenLoop()
{
    Listener &l = TheListener();
    for (;;) {
        int fd;
        {
            std::lock_guard<std::mutex> guard(l.lock);
            for (int old : l.retired)
                close(old);
            l.retired.clear();
            fd = l.fd;
        }
        const int64_t expiry = handoff::NextExpiryMs();
        if (l.wake.Wait(expiry, fd) & Waker::kOtherFd) {
            int conn = accept4(fd, nullptr, nullptr, SOCK_CLOEXEC);
            if (conn >= 0) {
                g_unanswered++;
                try {
                    std::thread(HandleConnection, conn).detach();
                } catch (const std::system_error &) {
                    HandleConnection(conn); // no thread to spare: serve it here
                }
            }
        }
        handoff::ExpireDue();
    }
}

int OpenListeningSocket(const std::string &folder, const std::string &name)
{
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    auto doBind = [fd](sockaddr *a, socklen_t n) { return bind(fd, a, n); };
    unlink((folder + "/" + name).c_str()); // left by an earlier process with our pid
    if (util::AtSocketInFolder(folder, name, doBind) != 0 || listen(fd, 64) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

void UnlinkAtExit()
{
    for (int waited = 0; g_unanswered.load() > 0 && waited < 200; waited++)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    Listener &l = TheListener();
    std::lock_guard<std::mutex> guard(l.lock);
    if (l.pid == getpid() && !l.path.empty())
        unlink(l.path.c_str());
}

} // namespace

std::string PathFor(const std::string &root, DWORD pid)
{
    return desktop::EndpointsFolder(root) + "/" + std::to_string(pid) + ".sock";
}

bool EnsureListening()
{
    Listener &l = TheListener();
    const std::string root = Root();
    std::lock_guard<std::mutex> guard(l.lock);
    if (l.pid != getpid()) { // first use, or a forked child: no listener thread here
        if (l.fd >= 0)
            close(l.fd);
        l.fd = -1;
        l.threadStarted = false;
        l.pid = getpid();
        l.retired.clear();
    }
    if (l.fd >= 0 && l.root == root)
        return true;
    const std::string folder = desktop::EndpointsFolder(root);
    util::MakeDirs(folder);
    const std::string name = std::to_string(getpid()) + ".sock";
    int fd = OpenListeningSocket(folder, name);
    if (fd < 0)
        return false;
    if (l.fd >= 0)
        l.retired.push_back(l.fd);
    if (!l.path.empty())
        unlink(l.path.c_str()); // the old root's socket: nobody should reach us there
    l.fd = fd;
    l.root = root;
    l.path = folder + "/" + name;
    if (!l.threadStarted) {
        static std::once_flag atExit;
        std::call_once(atExit, [] { std::atexit(UnlinkAtExit); });
        std::thread(ListenLoop).detach();
        l.threadStarted = true;
    } else {
        l.wake.Signal();
    }
    return true;
}

int Connect(DWORD pid)
{
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    auto doConnect = [fd](sockaddr *a, socklen_t n) {
        int rc;
        do
            rc = connect(fd, a, n);
        while (rc != 0 && errno == EINTR);
        return rc;
    };
    if (util::AtSocketInFolder(desktop::EndpointsFolder(Root()), std::to_string(pid) + ".sock",
                               doConnect) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

bool Call(DWORD pid, wire::Kind kind, const wire::Bytes &body, int passFd, wire::Reply *reply)
{
    int fd = Connect(pid);
    if (fd < 0)
        return false;
    wire::Frame frame;
    std::string why;
    bool ok = wire::SendFrame(fd, kind, body, passFd) &&
              wire::ReadFrame(fd, &frame, kIoGuardMs, &why) && frame.kind == wire::Kind::Reply &&
              wire::Decode(frame.body, reply);
    if (frame.fd >= 0)
        close(frame.fd);
    close(fd);
    return ok;
}

} // namespace winport::endpoint
