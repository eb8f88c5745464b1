/*
 * The socket a running service listens on, its lock, its status file, and
 * the client side of a status query or a control (see service_private.h).
 *
 * Socket paths can be longer than a sockaddr_un holds (a deep root), so
 * both sides name the socket through the folder's descriptor, as the window
 * endpoints do.  Requests and replies are fixed-size little records read
 * with a time limit; anything else is dropped.
 */
#include "service/service_private.h"

#include "kernel/root.h"
#include "utils/peer_group.h"
#include "utils/posix_fs.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace winport::service {
namespace {

constexpr size_t kReplySize = 36; // magic, error, seven status fields

void Put32(unsigned char *p, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<unsigned char>(v >> (8 * i));
}

uint32_t Get32(const unsigned char *p)
{
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

enum class ReadResult { Ok, Closed, Late };

/* Reads exactly n bytes, each wait at most timeoutMs. */
ReadResult ReadExact(int fd, unsigned char *buf, size_t n, int timeoutMs)
{
    size_t got = 0;
    while (got < n) {
        pollfd p{fd, POLLIN, 0};
        int rc = poll(&p, 1, timeoutMs);
        if (rc < 0 && errno == EINTR)
            continue;
        if (rc == 0)
            return ReadResult::Late;
        if (rc < 0)
            return ReadResult::Closed;
        ssize_t r = read(fd, buf + got, n - got);
        if (r < 0 && errno == EINTR)
            continue;
        if (r <= 0)
            return ReadResult::Closed;
        got += static_cast<size_t>(r);
    }
    return ReadResult::Ok;
}

bool WriteAll(int fd, const unsigned char *buf, size_t n)
{
    size_t done = 0;
    while (done < n) {
        ssize_t w = send(fd, buf + done, n - done, MSG_NOSIGNAL);
        if (w < 0 && errno == EINTR)
            continue;
        if (w <= 0)
            return false;
        done += static_cast<size_t>(w);
    }
    return true;
}

void EncodeStatus(unsigned char *p, const SERVICE_STATUS &s)
{
    Put32(p, s.dwServiceType);
    Put32(p + 4, s.dwCurrentState);
    Put32(p + 8, s.dwControlsAccepted);
    Put32(p + 12, s.dwWin32ExitCode);
    Put32(p + 16, s.dwServiceSpecificExitCode);
    Put32(p + 20, s.dwCheckPoint);
    Put32(p + 24, s.dwWaitHint);
}

SERVICE_STATUS DecodeStatus(const unsigned char *p)
{
    SERVICE_STATUS s{};
    s.dwServiceType = Get32(p);
    s.dwCurrentState = Get32(p + 4);
    s.dwControlsAccepted = Get32(p + 8);
    s.dwWin32ExitCode = Get32(p + 12);
    s.dwServiceSpecificExitCode = Get32(p + 16);
    s.dwCheckPoint = Get32(p + 20);
    s.dwWaitHint = Get32(p + 24);
    return s;
}

SERVICE_STATUS PlainStopped()
{
    SERVICE_STATUS s{};
    s.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    s.dwCurrentState = SERVICE_STOPPED;
    return s;
}

uint64_t Fnv1a(const std::string &s)
{
    uint64_t h = 1469598103934665603ull;
    for (unsigned char c : s) {
        h ^= c;
        h *= 1099511628211ull;
    }
    return h;
}

SERVICE_STATUS SavedStatus(const std::string &serviceName);

} // namespace

std::string ServicesFolder()
{
    return Root() + "/winport/services";
}

std::string FileKey(const std::string &serviceName)
{
    std::string key;
    for (unsigned char c : serviceName) {
        if (c >= 'A' && c <= 'Z')
            key += static_cast<char>(c - 'A' + 'a');
        else if ((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' || c == '-')
            key += static_cast<char>(c);
        else {
            char hex[4];
            std::snprintf(hex, sizeof hex, "%%%02x", c);
            key += hex;
        }
    }
    if (key.size() > 64) { // keeps "/proc/self/fd/N/<key>.sock" inside sun_path
        char hashed[24];
        std::snprintf(hashed, sizeof hashed, "h%016llx",
                      static_cast<unsigned long long>(Fnv1a(key)));
        key = hashed;
    }
    return key;
}

bool Call(const std::string &serviceName, uint32_t control, Reply *reply, int waitMs)
{
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    auto doConnect = [fd](sockaddr *a, socklen_t n) {
        int rc;
        do
            rc = connect(fd, a, n);
        while (rc != 0 && errno == EINTR);
        return rc;
    };
    if (util::AtSocketInFolder(ServicesFolder(), FileKey(serviceName) + ".sock", doConnect) != 0) {
        close(fd);
        return false;
    }
    unsigned char req[kRequestSize] = {};
    Put32(req, kMagic);
    Put32(req + 4, control);
    unsigned char rep[kReplySize];
    if (!WriteAll(fd, req, sizeof req)) {
        close(fd);
        return false; // it went away between connect and send: not running
    }
    const ReadResult got = ReadExact(fd, rep, sizeof rep, waitMs);
    close(fd);
    if (got == ReadResult::Closed)
        return false; // it stopped before it answered: no process serves the name now
    if (got == ReadResult::Late || Get32(rep) != kMagic) {
        // A handler that does not return, or an answer that makes no sense.
        reply->error = ERROR_SERVICE_REQUEST_TIMEOUT;
        reply->status = SavedStatus(serviceName);
        return true;
    }
    reply->error = Get32(rep + 4);
    reply->status = DecodeStatus(rep + 8);
    return true;
}

namespace {
/* The last status the service wrote, or a plain SERVICE_STOPPED. */
SERVICE_STATUS SavedStatus(const std::string &serviceName)
{
    const std::string path = ServicesFolder() + "/" + FileKey(serviceName) + ".status";
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return PlainStopped();
    unsigned char buf[32];
    ssize_t n = read(fd, buf, sizeof buf);
    close(fd);
    if (n != 32 || Get32(buf) != kMagic)
        return PlainStopped();
    return DecodeStatus(buf + 4);
}
} // namespace

SERVICE_STATUS StoppedStatus(const std::string &serviceName)
{
    SERVICE_STATUS s = SavedStatus(serviceName);
    if (s.dwCurrentState != SERVICE_STOPPED) {
        // The process ended without reporting that it stopped.
        s = PlainStopped();
        s.dwWin32ExitCode = ERROR_PROCESS_ABORTED;
    }
    s.dwCheckPoint = 0;
    s.dwWaitHint = 0;
    s.dwControlsAccepted = 0;
    return s;
}

void SaveStatus(const std::string &serviceName, const SERVICE_STATUS &status)
{
    const std::string folder = ServicesFolder();
    const std::string path = folder + "/" + FileKey(serviceName) + ".status";
    const std::string tmp = path + ".tmp";
    unsigned char buf[32];
    Put32(buf, kMagic);
    EncodeStatus(buf + 4, status);
    unlink(tmp.c_str()); // a leftover, or a link someone put there: never written through
    int fd = open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0644);
    if (fd < 0)
        return;
    bool ok = write(fd, buf, sizeof buf) == static_cast<ssize_t>(sizeof buf);
    close(fd);
    if (!ok || rename(tmp.c_str(), path.c_str()) != 0)
        unlink(tmp.c_str());
}

DWORD Listen(const std::string &serviceName, Listener *out)
{
    const std::string folder = ServicesFolder();
    if (int err = util::MakeDirs(folder))
        return err == EACCES || err == EPERM ? ERROR_ACCESS_DENIED : ERROR_PATH_NOT_FOUND;
    const std::string key = FileKey(serviceName);
    const std::string lockPath = folder + "/" + key + ".lock";
    int lockFd = open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0644);
    if (lockFd < 0)
        return ERROR_ACCESS_DENIED;
    if (flock(lockFd, LOCK_EX | LOCK_NB) != 0) {
        close(lockFd);
        return ERROR_SERVICE_ALREADY_RUNNING;
    }
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        close(lockFd);
        return ERROR_NOT_ENOUGH_MEMORY;
    }
    const std::string name = key + ".sock";
    unlink((folder + "/" + name).c_str()); // left by an instance that died; we hold the lock
    auto doBind = [fd](sockaddr *a, socklen_t n) { return bind(fd, a, n); };
    if (util::AtSocketInFolder(folder, name, doBind) != 0 || listen(fd, 16) != 0) {
        close(fd);
        close(lockFd);
        return ERROR_ACCESS_DENIED;
    }
    // Anyone may ask for the status; the peer's credentials decide on controls.
    chmod((folder + "/" + name).c_str(), 0666);
    out->lockFd = lockFd;
    out->sockFd = fd;
    out->sockPath = folder + "/" + name;
    return 0;
}

void Unlisten(Listener *listener)
{
    if (listener->sockFd >= 0) {
        unlink(listener->sockPath.c_str()); // before the lock goes, so no successor's socket
        close(listener->sockFd);
    }
    if (listener->lockFd >= 0)
        close(listener->lockFd);
    listener->sockFd = listener->lockFd = -1;
}

bool MayControl(uid_t peerUid, bool peerInRootGroup, uid_t serviceUid, gid_t rootGid)
{
    return peerUid == 0 || peerUid == serviceUid || (rootGid != 0 && peerInRootGroup);
}

bool DecodeRequest(int conn, const unsigned char *bytes, uint32_t *control, bool *mayControl)
{
    ucred cred = {};
    socklen_t len = sizeof cred;
    if (getsockopt(conn, SOL_SOCKET, SO_PEERCRED, &cred, &len) != 0 || Get32(bytes) != kMagic)
        return false;
    // Root, the service's own user, and the group that owns the root (the
    // service user's group, which operators join).
    struct stat rootInfo;
    const gid_t rootGid = stat(Root().c_str(), &rootInfo) == 0 ? rootInfo.st_gid : 0;
    *mayControl =
        MayControl(cred.uid, rootGid != 0 && util::PeerInGroup(cred.pid, cred.gid, rootGid),
                   geteuid(), rootGid);
    *control = Get32(bytes + 4);
    return true;
}

void WriteReply(int conn, const Reply &reply)
{
    unsigned char rep[kReplySize];
    Put32(rep, kMagic);
    Put32(rep + 4, reply.error);
    EncodeStatus(rep + 8, reply.status);
    WriteAll(conn, rep, sizeof rep); // a client that left is fine
}

} // namespace winport::service
