/*
 * The boundary between the two halves of winport's Winsock.  Private.
 *
 * The Windows half (ws_*.cpp) includes winsock2.h and converts the Windows
 * structures; the POSIX half (bsd_*.cpp) includes only system headers and
 * talks to BSD sockets.  The two headers cannot meet in one translation unit
 * (sockaddr, fd_set, timeval and the function names clash), so they meet
 * here, in plain types.  Address families use the Windows numbering
 * (AF_INET 2, AF_INET6 23); every function returns 0 or a WSAE* error code
 * and leaves the thread's last error alone.  All functions may be called
 * from any thread.
 */
#ifndef WINPORT_WINSOCK_BSD_H
#define WINPORT_WINSOCK_BSD_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace winport::bsd {

/* A SOCKET value.  It encodes the descriptor ((fd + 1) * 4 + 0x100, so it is
 * never 0 and never a small number that could pass for an fd) and is valid
 * only while the socket table knows it. */
using SocketValue = uint64_t;

constexpr int kFamilyUnspec = 0;
constexpr int kFamilyInet = 2;
constexpr int kFamilyInet6 = 23;

struct Address {
    int family = kFamilyUnspec; // kFamilyInet or kFamilyInet6
    uint16_t port = 0;          // network byte order, as stored in sockaddr_in
    uint8_t addr[16] = {};      // IPv4: the first 4 bytes, network order
    uint32_t flowinfo = 0;      // IPv6 only
    uint32_t scopeId = 0;       // IPv6 only
};

/* Sockets (bsd_socket.cpp).  `type` and `protocol` have the same numbers on
 * both sides (SOCK_STREAM 1, SOCK_DGRAM 2, IPPROTO_TCP 6, IPPROTO_UDP 17). */
int Create(int family, int type, int protocol, SocketValue *out);
int Close(SocketValue s);
bool IsSocket(SocketValue s);
/* Closes every socket (the last WSACleanup). */
void CloseAll();
int Bind(SocketValue s, const Address &address);
int Listen(SocketValue s, int backlog);
int Accept(SocketValue s, SocketValue *out, Address *peer);
int Connect(SocketValue s, const Address &address);
int PeerName(SocketValue s, Address *out);
int SockName(SocketValue s, Address *out);

/* Data (bsd_io.cpp). */
enum IoFlags : int { kPeek = 1, kOutOfBand = 2 };
int Receive(SocketValue s, void *buffer, size_t length, int flags, size_t *received);
int Send(SocketValue s, const void *buffer, size_t length, int flags, size_t *sent);
enum class ShutdownHow { Receive, Send, Both };
int Shutdown(SocketValue s, ShutdownHow how);
int SetNonBlocking(SocketValue s, bool nonBlocking);
int BytesReadable(SocketValue s, uint32_t *count);

enum class Option { ReuseAddress, KeepAlive, SendBuffer, ReceiveBuffer, Error, NoDelay };
int SetOption(SocketValue s, Option option, int value);
int GetOption(SocketValue s, Option option, int *value);

/* select() on poll() (bsd_poll.cpp). */
enum PollWant : uint8_t { kWantRead = 1, kWantWrite = 2, kWantExcept = 4 };
struct PollEntry {
    SocketValue socket;
    uint8_t want; // one PollWant
    bool ready;   // out
};
/* Waits until an entry is ready or the time-out (ms, -1 for ever) passes;
 * `*readyCount` counts the ready entries. */
int Poll(std::vector<PollEntry> &entries, int64_t timeoutMs, int *readyCount);

/* Names (bsd_resolve.cpp). */
int HostName(std::string *out);
struct ResolveHints {
    int flags = 0; // Windows AI_* values (PASSIVE 1, CANONNAME 2, NUMERICHOST 4, NUMERICSERV 8)
    int family = kFamilyUnspec;
    int socktype = 0;
    int protocol = 0;
};
struct Resolved {
    int family = 0;
    int socktype = 0;
    int protocol = 0;
    Address address;
    std::string canonName; // first entry only, with AI_CANONNAME
};
/* getaddrinfo; errors are the WSA forms of the EAI_* codes. */
int Resolve(const char *node, const char *service, const ResolveHints *hints,
            std::vector<Resolved> *out);
/* The IPv4 addresses (4 bytes each) and canonical name of a host, for
 * gethostbyname; errors WSAHOST_NOT_FOUND, WSATRY_AGAIN, WSANO_RECOVERY,
 * WSANO_DATA. */
int ResolveHostV4(const char *name, std::string *canonName, std::vector<uint32_t> *addresses);
/* The numeric text of an address, without port ("127.0.0.1", "::1"). */
int FormatHost(const Address &address, std::string *out);

/* errno and EAI_* codes as WSA codes (bsd_errors.cpp). */
int WsaErrorFromErrno(int err);
int WsaErrorFromEai(int eai, int err);

} // namespace winport::bsd

#endif
