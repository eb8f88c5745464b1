/*
 * The module behind "ws2_32.dll" and "wsock32.dll" (libwp_ws2_32.so): every
 * Winsock function under its plain Windows name ("recv", "WSAStartup", ...)
 * for code that binds them with GetProcAddress, forwarding to libwinport's
 * implementation (winport_ws_<name>).
 *
 * Each export is declared with an asm label giving it the plain name, so it
 * does not clash with winsock2.h's declarations of the same functions (which
 * name winport_ws_<name>).  The module is loaded RTLD_LOCAL: its "recv" or
 * "select" never takes the place of the C library's for anyone else.
 */
#include <winsock2.h>
#include <ws2tcpip.h>

#define WP_EXPORT(ret, name, params, args)                                                         \
    extern "C" ret exp_##name params __asm__(#name);                                               \
    extern "C" ret exp_##name params                                                               \
    {                                                                                              \
        return name args;                                                                          \
    }

WP_EXPORT(int, WSAStartup, (WORD v, LPWSADATA d), (v, d))
WP_EXPORT(int, WSACleanup, (void), ())
WP_EXPORT(int, WSAGetLastError, (void), ())
WP_EXPORT(void, WSASetLastError, (int e), (e))
WP_EXPORT(SOCKET, socket, (int af, int type, int protocol), (af, type, protocol))
WP_EXPORT(int, bind, (SOCKET s, const struct sockaddr *n, int l), (s, n, l))
WP_EXPORT(int, listen, (SOCKET s, int b), (s, b))
WP_EXPORT(SOCKET, accept, (SOCKET s, struct sockaddr *a, int *l), (s, a, l))
WP_EXPORT(int, connect, (SOCKET s, const struct sockaddr *n, int l), (s, n, l))
WP_EXPORT(int, recv, (SOCKET s, char *b, int l, int f), (s, b, l, f))
WP_EXPORT(int, send, (SOCKET s, const char *b, int l, int f), (s, b, l, f))
WP_EXPORT(int, shutdown, (SOCKET s, int h), (s, h))
WP_EXPORT(int, closesocket, (SOCKET s), (s))
WP_EXPORT(int, ioctlsocket, (SOCKET s, LONG c, u_long *a), (s, c, a))
WP_EXPORT(int, select, (int n, fd_set *r, fd_set *w, fd_set *e, const struct timeval *t),
          (n, r, w, e, t))
WP_EXPORT(int, setsockopt, (SOCKET s, int lv, int o, const char *v, int l), (s, lv, o, v, l))
WP_EXPORT(int, getsockopt, (SOCKET s, int lv, int o, char *v, int *l), (s, lv, o, v, l))
WP_EXPORT(int, getpeername, (SOCKET s, struct sockaddr *n, int *l), (s, n, l))
WP_EXPORT(int, getsockname, (SOCKET s, struct sockaddr *n, int *l), (s, n, l))
WP_EXPORT(int, gethostname, (char *n, int l), (n, l))
WP_EXPORT(struct hostent *, gethostbyname, (const char *n), (n))
WP_EXPORT(u_long, htonl, (u_long v), (v))
WP_EXPORT(u_short, htons, (u_short v), (v))
WP_EXPORT(u_long, ntohl, (u_long v), (v))
WP_EXPORT(u_short, ntohs, (u_short v), (v))
WP_EXPORT(unsigned long, inet_addr, (const char *cp), (cp))
WP_EXPORT(char *, inet_ntoa, (struct in_addr in), (in))
WP_EXPORT(int, WSAAddressToStringA,
          (LPSOCKADDR a, DWORD al, LPWSAPROTOCOL_INFOA i, LPSTR o, LPDWORD ol), (a, al, i, o, ol))
WP_EXPORT(int, WSAAsyncSelect, (SOCKET s, HWND w, u_int m, LONG e), (s, w, m, e))
WP_EXPORT(int, WSADuplicateSocketA, (SOCKET s, DWORD p, LPWSAPROTOCOL_INFOA i), (s, p, i))
WP_EXPORT(SOCKET, WSASocketA,
          (int af, int type, int protocol, LPWSAPROTOCOL_INFOA i, GROUP g, DWORD f),
          (af, type, protocol, i, g, f))
WP_EXPORT(int, getaddrinfo, (const char *n, const char *s, const ADDRINFOA *h, PADDRINFOA *r),
          (n, s, h, r))
WP_EXPORT(void, freeaddrinfo, (PADDRINFOA a), (a))
WP_EXPORT(int, __WSAFDIsSet, (SOCKET s, fd_set *set), (s, set))
