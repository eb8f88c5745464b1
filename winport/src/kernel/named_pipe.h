/*
 * Named pipes on Unix sockets.  Private to winport.
 *
 * "\\.\pipe\<name>" is the socket <root>/winport/pipes/<name, lower case>.
 * A message-type pipe is a SOCK_SEQPACKET socket, so every write is one
 * message the reader gets whole or, in a buffer too small, in parts with
 * ERROR_MORE_DATA; a byte-type pipe is a SOCK_STREAM socket.  The instances
 * of one pipe in a process share the listening socket: each
 * ConnectNamedPipe takes the next client from it.  The server records the
 * client's credentials (SO_PEERCRED) when it connects.
 */
#ifndef WINPORT_KERNEL_NAMED_PIPE_H
#define WINPORT_KERNEL_NAMED_PIPE_H

#include "kernel/handles.h"

#include <namedpipeapi.h>

#include <sys/types.h>

#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace winport {

struct PipeListener; // the listening socket of one pipe name in this process

/* Who is at the other end of a server instance. */
struct PipeClient {
    pid_t pid = 0;
    uid_t uid = 0;
    /* Root, the server's own user, or a member of the group that owns the
     * root (the operators). */
    bool mayAdminister = false;
};

class NamedPipeObject final : public KernelObject {
public:
    NamedPipeObject(bool server, bool messageType, bool canRead, bool canWrite)
        : KernelObject(ObjectType::Pipe), server_(server), messageType_(messageType),
          canRead_(canRead), canWrite_(canWrite)
    {}
    ~NamedPipeObject() override;

    bool server() const { return server_; }
    bool messageType() const { return messageType_; }
    bool canRead() const { return canRead_; }
    bool canWrite() const { return canWrite_; }

    std::mutex lock;
    int conn = -1;                          // guarded by lock; the connected socket
    bool messageRead = false;               // guarded by lock
    std::vector<char> pending;              // guarded by lock: the rest of a message
    size_t pendingAt = 0;                   // guarded by lock
    PipeClient client;                      // guarded by lock (server instances)
    std::shared_ptr<PipeListener> listener; // server instances

private:
    const bool server_;
    const bool messageType_;
    const bool canRead_;
    const bool canWrite_;
};

/* Whether a CreateFileA name is a pipe's ("\\.\pipe\..."). */
bool IsPipeName(const char *name);
/* CreateFileA on a pipe name: the client end, or INVALID_HANDLE_VALUE with
 * the last error set. */
HANDLE OpenPipeClient(const char *name, DWORD access);
/* ReadFile, WriteFile and FlushFileBuffers on a pipe handle. */
BOOL PipeHandleRead(const std::shared_ptr<NamedPipeObject> &pipe, void *buffer, DWORD size,
                    LPDWORD done);
BOOL PipeHandleWrite(const std::shared_ptr<NamedPipeObject> &pipe, const void *buffer, DWORD size,
                     LPDWORD done);
/* The named pipe behind `handle`, or null (last error untouched). */
std::shared_ptr<NamedPipeObject> NamedPipeOf(HANDLE handle);

/* pipe_identity.cpp: who the connected peer of socket `fd` is. */
PipeClient IdentifyPipeClient(int fd);

} // namespace winport

#endif
