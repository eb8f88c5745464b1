/*
 * Named pipes: CreateNamedPipeA, ConnectNamedPipe, DisconnectNamedPipe,
 * WaitNamedPipeA, SetNamedPipeHandleState, TransactNamedPipe, and the pipe
 * side of CreateFileA, ReadFile, WriteFile (see named_pipe.h).
 */
#include "kernel/named_pipe.h"

#include "kernel/errors.h"
#include "kernel/root.h"
#include "utils/posix_fs.h"

#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstring>
#include <map>

namespace winport {

struct PipeListener {
    int fd = -1;
    std::string path;
    bool messageType = false;
    DWORD maxInstances = PIPE_UNLIMITED_INSTANCES;
    DWORD instances = 0; // guarded by g_listenersLock
    ~PipeListener()
    {
        close(fd);
        unlink(path.c_str());
    }
};

namespace {

constexpr char kPrefix[] = "\\\\.\\pipe\\";
constexpr size_t kPrefixLen = sizeof kPrefix - 1;
/* Keeps "/proc/self/fd/N/<name>" inside sun_path. */
constexpr size_t kMaxName = 64;
constexpr int kBacklog = 64;

std::mutex g_listenersLock;
std::map<std::string, std::weak_ptr<PipeListener>> g_listeners; // guarded

std::string PipesFolder()
{
    return Root() + "/winport/pipes";
}

/* The socket's name for a pipe name, or "" (ERROR_INVALID_NAME). */
std::string SocketName(const char *name)
{
    if (!IsPipeName(name))
        return "";
    std::string rest(name + kPrefixLen);
    if (rest.empty() || rest.size() > kMaxName || rest == "." || rest == "..")
        return "";
    for (char &c : rest) {
        if (c == '/' || c == '\\' || static_cast<unsigned char>(c) < 0x20)
            return "";
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return rest;
}

DWORD PipeError(int err)
{
    switch (err) {
    case ENOENT:
    case ECONNREFUSED:
    case ENOTDIR:
        return ERROR_FILE_NOT_FOUND;
    case EAGAIN:
        return ERROR_PIPE_BUSY;
    case EPIPE:
    case ECONNRESET:
        return ERROR_NO_DATA;
    default:
        return Win32ErrorFromErrno(err);
    }
}

int ConnectSocket(const std::string &name, int type)
{
    int fd = socket(AF_UNIX, type | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    auto doConnect = [fd](sockaddr *a, socklen_t n) {
        int rc;
        do
            rc = connect(fd, a, n);
        while (rc != 0 && errno == EINTR);
        return rc;
    };
    if (util::AtSocketInFolder(PipesFolder(), name, doConnect) != 0) {
        int saved = errno;
        close(fd);
        errno = saved;
        return -1;
    }
    return fd;
}

bool NullDacl(const SECURITY_ATTRIBUTES *sa)
{
    if (!sa || !sa->lpSecurityDescriptor)
        return false;
    const auto *sd = static_cast<const SECURITY_DESCRIPTOR *>(sa->lpSecurityDescriptor);
    return (sd->Control & SE_DACL_PRESENT) && sd->Dacl == nullptr;
}

/* Binds the listening socket of a pipe this process serves first.  A socket
 * left by a server that died is replaced; one a live server listens on is
 * not ours to take (ERROR_ACCESS_DENIED). */
int BindListener(const std::string &name, bool messageType, bool everyone)
{
    const std::string folder = PipesFolder();
    if (util::MakeDirs(folder) == 0)
        chmod(folder.c_str(), 0755); // only the servers' user creates pipes here
    const int type = messageType ? SOCK_SEQPACKET : SOCK_STREAM;
    int fd = socket(AF_UNIX, type | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    auto doBind = [fd](sockaddr *a, socklen_t n) { return bind(fd, a, n); };
    int rc = util::AtSocketInFolder(folder, name, doBind);
    if (rc != 0 && errno == EADDRINUSE) {
        int probe = ConnectSocket(name, messageType ? SOCK_SEQPACKET : SOCK_STREAM);
        if (probe < 0 && errno == EPROTOTYPE)
            probe = ConnectSocket(name, messageType ? SOCK_STREAM : SOCK_SEQPACKET);
        if (probe >= 0) {
            close(probe);
            close(fd);
            errno = EACCES;
            return -1;
        }
        unlink((folder + "/" + name).c_str());
        rc = util::AtSocketInFolder(folder, name, doBind);
    }
    if (rc != 0 || listen(fd, kBacklog) != 0) {
        int saved = errno;
        close(fd);
        errno = saved;
        return -1;
    }
    chmod((folder + "/" + name).c_str(), everyone ? 0666 : 0660);
    return fd;
}

/* The listener of `name` for one more instance; null with the last error. */
std::shared_ptr<PipeListener> AddInstance(const std::string &name, bool messageType,
                                          DWORD maxInstances, bool everyone)
{
    const std::string key = Root() + "\n" + name;
    std::lock_guard<std::mutex> guard(g_listenersLock);
    std::shared_ptr<PipeListener> listener = g_listeners[key].lock();
    if (listener) {
        if (listener->messageType != messageType) {
            SetLastError(ERROR_ACCESS_DENIED);
            return nullptr;
        }
        if (listener->instances >= listener->maxInstances) {
            SetLastError(ERROR_PIPE_BUSY);
            return nullptr;
        }
    } else {
        int fd = BindListener(name, messageType, everyone);
        if (fd < 0) {
            SetLastError(PipeError(errno));
            return nullptr;
        }
        listener = std::make_shared<PipeListener>();
        listener->fd = fd;
        listener->path = PipesFolder() + "/" + name;
        listener->messageType = messageType;
        listener->maxInstances = maxInstances;
        g_listeners[key] = listener;
    }
    listener->instances++;
    return listener;
}

std::shared_ptr<NamedPipeObject> ServerPipe(HANDLE handle)
{
    auto pipe = NamedPipeOf(handle);
    if (!pipe || !pipe->server()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    return pipe;
}

/* Hands out what is left of a message read in part.  True when there was
 * something; *more when some is left still. */
bool TakePending(NamedPipeObject &pipe, char *out, DWORD size, DWORD *got, bool *more)
{
    if (pipe.pendingAt >= pipe.pending.size())
        return false;
    const size_t left = pipe.pending.size() - pipe.pendingAt;
    const size_t n = left < size ? left : size;
    std::memcpy(out, pipe.pending.data() + pipe.pendingAt, n);
    pipe.pendingAt += n;
    *got = static_cast<DWORD>(n);
    *more = pipe.pendingAt < pipe.pending.size();
    if (!*more) {
        pipe.pending.clear();
        pipe.pendingAt = 0;
    }
    return true;
}

ssize_t Recv(int fd, void *buffer, size_t size, int flags)
{
    ssize_t n;
    do
        n = recv(fd, buffer, size, flags);
    while (n < 0 && errno == EINTR);
    return n;
}

/* Reads the next message: into `out` when it fits, else its first `size`
 * bytes there and the rest kept for the next read. */
BOOL ReadMessage(NamedPipeObject &pipe, int fd, char *out, DWORD size, DWORD *got, bool *more)
{
    ssize_t len = Recv(fd, nullptr, 0, MSG_PEEK | MSG_TRUNC);
    if (len <= 0) { // the other end is gone (an empty message counts as its end)
        SetLastError(len == 0 ? ERROR_BROKEN_PIPE : PipeError(errno));
        return FALSE;
    }
    if (static_cast<size_t>(len) <= size) {
        ssize_t n = Recv(fd, out, size, 0);
        if (n <= 0) {
            SetLastError(n == 0 ? ERROR_BROKEN_PIPE : PipeError(errno));
            return FALSE;
        }
        *got = static_cast<DWORD>(n);
        return TRUE;
    }
    std::vector<char> whole(static_cast<size_t>(len));
    ssize_t n = Recv(fd, whole.data(), whole.size(), 0);
    if (n <= 0) {
        SetLastError(n == 0 ? ERROR_BROKEN_PIPE : PipeError(errno));
        return FALSE;
    }
    whole.resize(static_cast<size_t>(n));
    std::lock_guard<std::mutex> guard(pipe.lock);
    pipe.pending = std::move(whole);
    pipe.pendingAt = 0;
    TakePending(pipe, out, size, got, more);
    return TRUE;
}

} // namespace

NamedPipeObject::~NamedPipeObject()
{
    if (conn >= 0)
        close(conn);
    if (listener) {
        std::lock_guard<std::mutex> guard(g_listenersLock);
        listener->instances--;
    }
}

bool IsPipeName(const char *name)
{
    return name && strncasecmp(name, kPrefix, kPrefixLen) == 0;
}

std::shared_ptr<NamedPipeObject> NamedPipeOf(HANDLE handle)
{
    ObjectRef object = HandleTable::Instance().Get(handle);
    if (!object || object->type() != ObjectType::Pipe)
        return nullptr;
    return std::static_pointer_cast<NamedPipeObject>(object);
}

HANDLE OpenPipeClient(const char *name, DWORD access)
{
    const std::string socketName = SocketName(name);
    if (socketName.empty()) {
        SetLastError(ERROR_INVALID_NAME);
        return INVALID_HANDLE_VALUE;
    }
    bool messageType = true;
    int fd = ConnectSocket(socketName, SOCK_SEQPACKET);
    if (fd < 0 && errno == EPROTOTYPE) {
        messageType = false;
        fd = ConnectSocket(socketName, SOCK_STREAM);
    }
    if (fd < 0) {
        SetLastError(PipeError(errno));
        return INVALID_HANDLE_VALUE;
    }
    const bool canRead = access & (GENERIC_READ | GENERIC_ALL | FILE_READ_DATA);
    const bool canWrite = access & (GENERIC_WRITE | GENERIC_ALL | FILE_WRITE_DATA);
    auto pipe = std::make_shared<NamedPipeObject>(false, messageType, canRead, canWrite);
    pipe->conn = fd;
    SetLastError(ERROR_SUCCESS);
    return HandleTable::Instance().Insert(pipe);
}

BOOL PipeHandleRead(const std::shared_ptr<NamedPipeObject> &pipe, void *buffer, DWORD size,
                    LPDWORD done)
{
    if (!pipe->canRead()) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    char *out = static_cast<char *>(buffer);
    DWORD got = 0;
    bool more = false;
    int fd;
    bool messageRead;
    {
        std::lock_guard<std::mutex> guard(pipe->lock);
        if (TakePending(*pipe, out, size, &got, &more)) {
            if (done)
                *done = got;
            if (more && pipe->messageRead) {
                SetLastError(ERROR_MORE_DATA);
                return FALSE;
            }
            return TRUE;
        }
        if (pipe->conn < 0) {
            SetLastError(pipe->server() ? ERROR_PIPE_LISTENING : ERROR_PIPE_NOT_CONNECTED);
            return FALSE;
        }
        fd = pipe->conn;
        messageRead = pipe->messageRead;
    }
    if (!pipe->messageType()) {
        ssize_t n = size ? Recv(fd, out, size, 0) : 0;
        if (n < 0 || (n == 0 && size)) {
            SetLastError(n == 0 ? ERROR_BROKEN_PIPE : PipeError(errno));
            return FALSE;
        }
        if (done)
            *done = static_cast<DWORD>(n);
        return TRUE;
    }
    if (!ReadMessage(*pipe, fd, out, size, &got, &more))
        return FALSE;
    if (done)
        *done = got;
    if (more && messageRead) {
        SetLastError(ERROR_MORE_DATA);
        return FALSE;
    }
    return TRUE;
}

BOOL PipeHandleWrite(const std::shared_ptr<NamedPipeObject> &pipe, const void *buffer, DWORD size,
                     LPDWORD done)
{
    if (!pipe->canWrite()) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    int fd;
    {
        std::lock_guard<std::mutex> guard(pipe->lock);
        fd = pipe->conn;
    }
    if (fd < 0) {
        SetLastError(pipe->server() ? ERROR_PIPE_LISTENING : ERROR_PIPE_NOT_CONNECTED);
        return FALSE;
    }
    const char *in = static_cast<const char *>(buffer);
    DWORD total = 0;
    while (total < size) {
        ssize_t n = send(fd, in + total, size - total, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            SetLastError(PipeError(errno));
            if (done)
                *done = total;
            return FALSE;
        }
        total += static_cast<DWORD>(n); // a message goes whole or not at all
    }
    if (done)
        *done = total;
    return TRUE;
}

} // namespace winport

/* CreateNamedPipeA: one more instance of the pipe; the first creates it.
 * Duplex, inbound and outbound all give a socket both ends may use (the
 * access of the server's handle follows the open mode).  A null DACL lets
 * every user connect; otherwise the server's user and group may. */
HANDLE WINAPI CreateNamedPipeA(LPCSTR lpName, DWORD dwOpenMode, DWORD dwPipeMode,
                               DWORD nMaxInstances, DWORD nOutBufferSize, DWORD nInBufferSize,
                               DWORD nDefaultTimeOut, LPSECURITY_ATTRIBUTES lpSecurityAttributes)
{
    using namespace winport;
    (void)nOutBufferSize;
    (void)nInBufferSize;
    (void)nDefaultTimeOut;
    const std::string name = SocketName(lpName);
    if (name.empty()) {
        SetLastError(ERROR_INVALID_NAME);
        return INVALID_HANDLE_VALUE;
    }
    const DWORD access = dwOpenMode & PIPE_ACCESS_DUPLEX;
    const bool messageType = dwPipeMode & PIPE_TYPE_MESSAGE;
    const bool messageRead = dwPipeMode & PIPE_READMODE_MESSAGE;
    if (access == 0 || nMaxInstances == 0 || nMaxInstances > PIPE_UNLIMITED_INSTANCES ||
        (messageRead && !messageType) || (dwPipeMode & PIPE_NOWAIT)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    auto listener = AddInstance(name, messageType, nMaxInstances, NullDacl(lpSecurityAttributes));
    if (!listener)
        return INVALID_HANDLE_VALUE;
    auto pipe = std::make_shared<NamedPipeObject>(true, messageType, access & PIPE_ACCESS_INBOUND,
                                                  access & PIPE_ACCESS_OUTBOUND);
    pipe->listener = std::move(listener);
    pipe->messageRead = messageRead;
    SetLastError(ERROR_SUCCESS);
    return HandleTable::Instance().Insert(pipe);
}

/* ConnectNamedPipe: waits for the next client.  A client that connected
 * before the call is taken at once (TRUE): clients queue on the socket
 * rather than failing with ERROR_PIPE_BUSY. */
BOOL WINAPI ConnectNamedPipe(HANDLE hNamedPipe, LPVOID lpOverlapped)
{
    using namespace winport;
    auto pipe = ServerPipe(hNamedPipe);
    if (!pipe)
        return FALSE;
    if (lpOverlapped) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    {
        std::lock_guard<std::mutex> guard(pipe->lock);
        if (pipe->conn >= 0) {
            SetLastError(ERROR_PIPE_CONNECTED);
            return FALSE;
        }
    }
    int conn;
    do
        conn = accept4(pipe->listener->fd, nullptr, nullptr, SOCK_CLOEXEC);
    while (conn < 0 && (errno == EINTR || errno == ECONNABORTED));
    if (conn < 0) {
        SetLastErrorFromErrno(errno);
        return FALSE;
    }
    PipeClient client = IdentifyPipeClient(conn);
    std::lock_guard<std::mutex> guard(pipe->lock);
    pipe->conn = conn;
    pipe->client = client;
    pipe->pending.clear();
    pipe->pendingAt = 0;
    return TRUE;
}

/* DisconnectNamedPipe: ends the client's connection (what it has not read
 * is lost; its next read or write fails); the instance may connect again. */
BOOL WINAPI DisconnectNamedPipe(HANDLE hNamedPipe)
{
    using namespace winport;
    auto pipe = ServerPipe(hNamedPipe);
    if (!pipe)
        return FALSE;
    std::lock_guard<std::mutex> guard(pipe->lock);
    if (pipe->conn >= 0) {
        shutdown(pipe->conn, SHUT_RDWR);
        close(pipe->conn);
    }
    pipe->conn = -1;
    pipe->client = PipeClient();
    pipe->pending.clear();
    pipe->pendingAt = 0;
    return TRUE;
}

/* WaitNamedPipeA: TRUE when the pipe exists (clients queue, so an instance
 * is always available then); without it ERROR_FILE_NOT_FOUND at once, as
 * Windows does when no instance exists. */
BOOL WINAPI WaitNamedPipeA(LPCSTR lpNamedPipeName, DWORD nTimeOut)
{
    using namespace winport;
    (void)nTimeOut;
    const std::string name = SocketName(lpNamedPipeName);
    if (name.empty()) {
        SetLastError(ERROR_INVALID_NAME);
        return FALSE;
    }
    struct stat st;
    if (stat((PipesFolder() + "/" + name).c_str(), &st) != 0 || !S_ISSOCK(st.st_mode)) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return FALSE;
    }
    return TRUE;
}

/* SetNamedPipeHandleState: the read mode (message mode only on a
 * message-type pipe).  Non-blocking mode and the collection settings,
 * which only remote pipes have, are refused (ERROR_INVALID_PARAMETER). */
BOOL WINAPI SetNamedPipeHandleState(HANDLE hNamedPipe, LPDWORD lpMode, LPDWORD lpMaxCollectionCount,
                                    LPDWORD lpCollectDataTimeout)
{
    using namespace winport;
    auto pipe = NamedPipeOf(hNamedPipe);
    if (!pipe) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (lpMaxCollectionCount || lpCollectDataTimeout ||
        (lpMode && ((*lpMode & ~(DWORD)PIPE_READMODE_MESSAGE) != 0 ||
                    ((*lpMode & PIPE_READMODE_MESSAGE) && !pipe->messageType())))) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (lpMode) {
        std::lock_guard<std::mutex> guard(pipe->lock);
        pipe->messageRead = *lpMode & PIPE_READMODE_MESSAGE;
    }
    return TRUE;
}

/* TransactNamedPipe: writes one message and reads the answer, on a pipe in
 * message read mode (else ERROR_BAD_PIPE); an answer larger than the
 * buffer gives ERROR_MORE_DATA with the rest left for ReadFile. */
BOOL WINAPI TransactNamedPipe(HANDLE hNamedPipe, LPVOID lpInBuffer, DWORD nInBufferSize,
                              LPVOID lpOutBuffer, DWORD nOutBufferSize, LPDWORD lpBytesRead,
                              LPVOID lpOverlapped)
{
    using namespace winport;
    if (lpBytesRead)
        *lpBytesRead = 0;
    auto pipe = NamedPipeOf(hNamedPipe);
    if (!pipe) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    bool messageRead;
    {
        std::lock_guard<std::mutex> guard(pipe->lock);
        messageRead = pipe->messageRead;
    }
    if (lpOverlapped || !lpBytesRead) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (!messageRead) {
        SetLastError(ERROR_BAD_PIPE);
        return FALSE;
    }
    DWORD written = 0;
    if (!PipeHandleWrite(pipe, lpInBuffer, nInBufferSize, &written))
        return FALSE;
    return PipeHandleRead(pipe, lpOutBuffer, nOutBufferSize, lpBytesRead);
}
