/*
 * The socket table of the POSIX half: which descriptors are Winsock sockets
 * and the Windows state POSIX does not keep for us (blocking mode, the
 * SO_REUSEADDR the caller asked for, shut-down directions, a non-blocking
 * connect in progress).  Private to the POSIX half; thread-safe.
 */
#ifndef WINPORT_WINSOCK_BSD_TABLE_H
#define WINPORT_WINSOCK_BSD_TABLE_H

#include "winsock/bsd.h"

#include <mutex>
#include <unordered_map>
#include <vector>

namespace winport::bsd {

enum class ConnectState : uint8_t { Idle, Pending, Failed };

struct SocketState {
    int type = 0;              // SOCK_STREAM, SOCK_DGRAM
    bool nonBlocking = false;  // ioctlsocket(FIONBIO)
    bool reuseAddress = false; // what setsockopt(SO_REUSEADDR) said; see bsd_socket.cpp
    bool shutRead = false;     // shutdown(SD_RECEIVE / SD_BOTH)
    bool shutWrite = false;    // shutdown(SD_SEND / SD_BOTH)
    ConnectState connect = ConnectState::Idle;
    int connectError = 0; // errno of a failed non-blocking connect, until SO_ERROR reads it
};

class SocketTable {
public:
    static SocketTable &Instance();

    SocketValue Add(int fd, const SocketState &state);
    /* The descriptor (and a copy of the state) of a known socket. */
    bool Find(SocketValue s, int *fd, SocketState *state = nullptr) const;
    /* Runs `change` on the state of a known socket, under the lock. */
    template <class F> bool Update(SocketValue s, F change)
    {
        std::lock_guard<std::mutex> guard(lock_);
        auto it = entries_.find(Decode(s));
        if (it == entries_.end())
            return false;
        change(it->second);
        return true;
    }
    /* Forgets a socket; its descriptor, or -1 when unknown. */
    int Remove(SocketValue s);
    std::vector<int> RemoveAll();

    static SocketValue Encode(int fd);
    static int Decode(SocketValue s); // -1 when the value cannot be a socket

private:
    SocketTable() = default;
    mutable std::mutex lock_;
    std::unordered_map<int, SocketState> entries_; // fd -> state; guarded by lock_
};

} // namespace winport::bsd

#endif
