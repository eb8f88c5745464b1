/*
 * The Winsock 2 subset the system uses, on BSD sockets.
 *
 * Structures have their Windows layout (not the POSIX one), errors come back
 * as WSAE* codes through WSAGetLastError, and SOCKET values are handles that
 * are never 0.  The functions are also exported under their plain names by
 * the module that "ws2_32.dll" resolves to, for code that binds them with
 * GetProcAddress; a direct call links to the same implementation (the asm
 * labels below keep the C library's functions of the same names out of it).
 */
#ifndef WINPORT_WINSOCK2_H
#define WINPORT_WINSOCK2_H

#include "windows.h"

/*
 * The C library's <sys/types.h> and <sys/select.h>, which <stdlib.h> and most
 * C++ headers pull in, define u_long, fd_set, struct timeval, select and the
 * FD_* macros with their POSIX meaning and layout.  Take them in first (later
 * includes are then no-ops), drop their macros, and let the Windows names
 * below denote the Windows types under tags of their own, so that this header
 * and the standard headers can be included in any order.  <sys/resource.h>
 * is taken in now because its struct rusage embeds struct timeval;
 * <unistd.h> (pulled in by GoogleTest, among others) declares gethostname
 * with a size_t length.
 */
#include <unistd.h>
#include <sys/types.h>
#include <sys/time.h>
#include <sys/select.h>
#include <sys/resource.h>
#undef FD_SETSIZE
#undef FD_ZERO
#undef FD_SET
#undef FD_CLR
#undef FD_ISSET
#define u_long winport_u_long
#define fd_set winport_fd_set
#define timeval winport_timeval
#define select winport_select
#define gethostname winport_gethostname

WINPORT_BEGIN_C

typedef unsigned char u_char;
typedef unsigned short u_short;
typedef unsigned int u_int;
typedef uint32_t u_long; /* 32-bit, as on Windows */
typedef UINT_PTR SOCKET;
typedef unsigned int GROUP;

#define INVALID_SOCKET ((SOCKET)(~0))
#define SOCKET_ERROR (-1)

#define AF_UNSPEC 0
#define AF_INET 2
#define AF_INET6 23
#define PF_INET AF_INET
#define SOCK_STREAM 1
#define SOCK_DGRAM 2
#define IPPROTO_IP 0
#define IPPROTO_TCP 6
#define IPPROTO_UDP 17
#define INADDR_ANY ((u_long)0x00000000)
#define INADDR_LOOPBACK 0x7f000001
#define INADDR_NONE 0xffffffff
#define SOMAXCONN 0x7fffffff
#define SOL_SOCKET 0xffff
#define SO_REUSEADDR 0x0004
#define SO_KEEPALIVE 0x0008
#define SO_SNDBUF 0x1001
#define SO_RCVBUF 0x1002
#define SO_ERROR 0x1007
#define TCP_NODELAY 0x0001

#define SD_RECEIVE 0x00
#define SD_SEND 0x01
#define SD_BOTH 0x02

#define MSG_OOB 0x1
#define MSG_PEEK 0x2

#define FIONREAD 0x4004667FL
#define FIONBIO 0x8004667EL

/* WSAAsyncSelect events; the message's lParam carries the event in its low
 * word and the error in its high word. */
#define FD_READ 0x01
#define FD_WRITE 0x02
#define FD_OOB 0x04
#define FD_ACCEPT 0x08
#define FD_CONNECT 0x10
#define FD_CLOSE 0x20
#define WSAGETSELECTEVENT(lParam) LOWORD(lParam)
#define WSAGETSELECTERROR(lParam) HIWORD(lParam)
#define WSAMAKESELECTREPLY(event, error) MAKELONG(event, error)

#define WSA_FLAG_OVERLAPPED 0x01
#define FROM_PROTOCOL_INFO (-1)

struct in_addr {
    union {
        struct {
            u_char s_b1, s_b2, s_b3, s_b4;
        } S_un_b;
        struct {
            u_short s_w1, s_w2;
        } S_un_w;
        u_long S_addr;
    } S_un;
};
#define s_addr S_un.S_addr
typedef struct in_addr IN_ADDR;

struct sockaddr {
    u_short sa_family;
    char sa_data[14];
};
typedef struct sockaddr SOCKADDR, *PSOCKADDR, *LPSOCKADDR;

struct sockaddr_in {
    short sin_family;
    u_short sin_port;
    struct in_addr sin_addr;
    char sin_zero[8];
};
typedef struct sockaddr_in SOCKADDR_IN, *PSOCKADDR_IN, *LPSOCKADDR_IN;

struct hostent {
    char *h_name;
    char **h_aliases;
    short h_addrtype;
    short h_length;
    char **h_addr_list;
};
#define h_addr h_addr_list[0]
typedef struct hostent HOSTENT, *PHOSTENT, *LPHOSTENT;

struct timeval {
    LONG tv_sec;
    LONG tv_usec;
};

#define FD_SETSIZE 64
typedef struct fd_set {
    u_int fd_count;
    SOCKET fd_array[FD_SETSIZE];
} fd_set;
/* Clears the whole set, not only the count as Windows does: the same result,
 * and compilers then see that FD_SET never reads unset entries. */
#define FD_ZERO(set) ((void)__builtin_memset((set), 0, sizeof(fd_set)))
#define FD_SET(fd, set)                                                                            \
    do {                                                                                           \
        u_int i_;                                                                                  \
        for (i_ = 0; i_ < ((fd_set *)(set))->fd_count; i_++)                                       \
            if (((fd_set *)(set))->fd_array[i_] == (fd))                                           \
                break;                                                                             \
        if (i_ == ((fd_set *)(set))->fd_count && ((fd_set *)(set))->fd_count < FD_SETSIZE)         \
            ((fd_set *)(set))->fd_array[((fd_set *)(set))->fd_count++] = (fd);                     \
    } while (0)
int WSAAPI __WSAFDIsSet(SOCKET fd, fd_set *set) __asm__("winport_ws___WSAFDIsSet");
#define FD_ISSET(fd, set) __WSAFDIsSet((SOCKET)(fd), (fd_set *)(set))

#define WSADESCRIPTION_LEN 256
#define WSASYS_STATUS_LEN 128
typedef struct WSAData {
    WORD wVersion;
    WORD wHighVersion;
    unsigned short iMaxSockets;
    unsigned short iMaxUdpDg;
    char *lpVendorInfo;
    char szDescription[WSADESCRIPTION_LEN + 1];
    char szSystemStatus[WSASYS_STATUS_LEN + 1];
} WSADATA, *LPWSADATA;

#define MAX_PROTOCOL_CHAIN 7
typedef struct _WSAPROTOCOLCHAIN {
    int ChainLen;
    DWORD ChainEntries[MAX_PROTOCOL_CHAIN];
} WSAPROTOCOLCHAIN;

#define WSAPROTOCOL_LEN 255
/* 372 bytes, as on Windows: the socket handoff record sends it whole. */
typedef struct _WSAPROTOCOL_INFOA {
    DWORD dwServiceFlags1;
    DWORD dwServiceFlags2;
    DWORD dwServiceFlags3;
    DWORD dwServiceFlags4;
    DWORD dwProviderFlags;
    GUID ProviderId;
    DWORD dwCatalogEntryId;
    WSAPROTOCOLCHAIN ProtocolChain;
    int iVersion;
    int iAddressFamily;
    int iMaxSockAddr;
    int iMinSockAddr;
    int iSocketType;
    int iProtocol;
    int iProtocolMaxOffset;
    int iNetworkByteOrder;
    int iSecurityScheme;
    DWORD dwMessageSize;
    DWORD dwProviderReserved;
    CHAR szProtocol[WSAPROTOCOL_LEN + 1];
} WSAPROTOCOL_INFOA, *LPWSAPROTOCOL_INFOA;

#ifdef __cplusplus
static_assert(sizeof(WSAPROTOCOL_INFOA) == 372, "WSAPROTOCOL_INFOA must keep its Windows size");
#endif

#define WINPORT_WS(name) __asm__("winport_ws_" #name)

int WSAAPI WSAStartup(WORD wVersionRequested, LPWSADATA lpWSAData) WINPORT_WS(WSAStartup);
int WSAAPI WSACleanup(void) WINPORT_WS(WSACleanup);
int WSAAPI WSAGetLastError(void) WINPORT_WS(WSAGetLastError);
void WSAAPI WSASetLastError(int iError) WINPORT_WS(WSASetLastError);

SOCKET WSAAPI socket(int af, int type, int protocol) WINPORT_WS(socket);
int WSAAPI bind(SOCKET s, const struct sockaddr *name, int namelen) WINPORT_WS(bind);
int WSAAPI listen(SOCKET s, int backlog) WINPORT_WS(listen);
SOCKET WSAAPI accept(SOCKET s, struct sockaddr *addr, int *addrlen) WINPORT_WS(accept);
int WSAAPI connect(SOCKET s, const struct sockaddr *name, int namelen) WINPORT_WS(connect);
int WSAAPI recv(SOCKET s, char *buf, int len, int flags) WINPORT_WS(recv);
int WSAAPI send(SOCKET s, const char *buf, int len, int flags) WINPORT_WS(send);
int WSAAPI shutdown(SOCKET s, int how) WINPORT_WS(shutdown);
int WSAAPI closesocket(SOCKET s) WINPORT_WS(closesocket);
int WSAAPI ioctlsocket(SOCKET s, LONG cmd, u_long *argp) WINPORT_WS(ioctlsocket);
int WSAAPI select(int nfds, fd_set *readfds, fd_set *writefds, fd_set *exceptfds,
                  const struct timeval *timeout) WINPORT_WS(select);
int WSAAPI setsockopt(SOCKET s, int level, int optname, const char *optval, int optlen)
    WINPORT_WS(setsockopt);
int WSAAPI getsockopt(SOCKET s, int level, int optname, char *optval, int *optlen)
    WINPORT_WS(getsockopt);
int WSAAPI getpeername(SOCKET s, struct sockaddr *name, int *namelen) WINPORT_WS(getpeername);
int WSAAPI getsockname(SOCKET s, struct sockaddr *name, int *namelen) WINPORT_WS(getsockname);
int WSAAPI gethostname(char *name, int namelen) WINPORT_WS(gethostname);
struct hostent *WSAAPI gethostbyname(const char *name) WINPORT_WS(gethostbyname);
u_long WSAAPI htonl(u_long hostlong) WINPORT_WS(htonl);
u_short WSAAPI htons(u_short hostshort) WINPORT_WS(htons);
u_long WSAAPI ntohl(u_long netlong) WINPORT_WS(ntohl);
u_short WSAAPI ntohs(u_short netshort) WINPORT_WS(ntohs);
unsigned long WSAAPI inet_addr(const char *cp) WINPORT_WS(inet_addr);
char *WSAAPI inet_ntoa(struct in_addr in) WINPORT_WS(inet_ntoa);

int WSAAPI WSAAddressToStringA(LPSOCKADDR lpsaAddress, DWORD dwAddressLength,
                               LPWSAPROTOCOL_INFOA lpProtocolInfo, LPSTR lpszAddressString,
                               LPDWORD lpdwAddressStringLength) WINPORT_WS(WSAAddressToStringA);

/* Arrive with the runtime (windows and message queues); declared now so
 * that binders compile. */
int WSAAPI WSAAsyncSelect(SOCKET s, HWND hWnd, u_int wMsg, LONG lEvent) WINPORT_WS(WSAAsyncSelect);
int WSAAPI WSADuplicateSocketA(SOCKET s, DWORD dwProcessId, LPWSAPROTOCOL_INFOA lpProtocolInfo)
    WINPORT_WS(WSADuplicateSocketA);
SOCKET WSAAPI WSASocketA(int af, int type, int protocol, LPWSAPROTOCOL_INFOA lpProtocolInfo,
                         GROUP g, DWORD dwFlags) WINPORT_WS(WSASocketA);

WINPORT_END_C

#endif /* WINPORT_WINSOCK2_H */
