/*
 * Name resolution of Winsock 2 (getaddrinfo), with the Windows layout of
 * ADDRINFOA: ai_canonname comes before ai_addr, unlike POSIX.
 */
#ifndef WINPORT_WS2TCPIP_H
#define WINPORT_WS2TCPIP_H

#include "winsock2.h"

WINPORT_BEGIN_C

#define AI_PASSIVE 0x00000001
#define AI_CANONNAME 0x00000002
#define AI_NUMERICHOST 0x00000004
#define AI_NUMERICSERV 0x00000008

#define EAI_AGAIN WSATRY_AGAIN
#define EAI_BADFLAGS WSAEINVAL
#define EAI_FAIL WSANO_RECOVERY
#define EAI_FAMILY WSAEAFNOSUPPORT
#define EAI_MEMORY WSA_NOT_ENOUGH_MEMORY
#define EAI_NONAME WSAHOST_NOT_FOUND
#define EAI_SERVICE WSATYPE_NOT_FOUND
#define EAI_SOCKTYPE WSAESOCKTNOSUPPORT
#define WSA_NOT_ENOUGH_MEMORY 8
#define WSATYPE_NOT_FOUND 10109

typedef struct addrinfo {
    int ai_flags;
    int ai_family;
    int ai_socktype;
    int ai_protocol;
    size_t ai_addrlen;
    char *ai_canonname;
    struct sockaddr *ai_addr;
    struct addrinfo *ai_next;
} ADDRINFOA, *PADDRINFOA;

struct in6_addr {
    union {
        u_char Byte[16];
        u_short Word[8];
    } u;
};

struct sockaddr_in6 {
    short sin6_family;
    u_short sin6_port;
    u_long sin6_flowinfo;
    struct in6_addr sin6_addr;
    u_long sin6_scope_id;
};

int WSAAPI getaddrinfo(const char *pNodeName, const char *pServiceName, const ADDRINFOA *pHints,
                       PADDRINFOA *ppResult) WINPORT_WS(getaddrinfo);
void WSAAPI freeaddrinfo(PADDRINFOA pAddrInfo) WINPORT_WS(freeaddrinfo);

WINPORT_END_C

#endif /* WINPORT_WS2TCPIP_H */
