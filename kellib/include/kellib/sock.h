/*
 * Winsock bound by name at run time, the start-up and event wrappers, error
 * boxes, the Winsock error texts and the diagnostic log "kellib.log".
 *
 * Every Winsock function the system calls goes through a binder KelWs_<name>
 * with the arguments and result of the function: it looks the name up in the
 * loaded module on each call; a missing function shows "UNABLE TO LINK WITH
 * ..." and posts WM_QUIT; with no module loaded the binder returns 0.
 */
#ifndef KELLIB_SOCK_H
#define KELLIB_SOCK_H

#include <winsock2.h>
#include <ws2tcpip.h>

/* Loads "ws2_32.dll" when the system folder has it, else "Wsock32.DLL".
 * Returns 1 when a module is loaded. */
int KELLoadWinsock(void);
void KELUnloadWinsock(void);
/* WSACleanup up to 11 times, until a call succeeds or reports
 * WSANOTINITIALISED (or 183); returns 1.  The module stays loaded. */
int KELReleaseSocketLibrary(void);

int KELWSAStartup(void);
#define KEL_ASYNC_EVENTS (FD_READ | FD_ACCEPT | FD_CONNECT | FD_CLOSE)
/* Registers the socket's events (57) with the window as message; 1 on
 * success, 0 after an error box (the socket is then closed). */
int KELWSAAsyncSelect(HWND window, SOCKET socket, UINT message);
/* Stops event notification for the socket (mask 0). */
int KELWSAAsyncSelectOff(HWND window, SOCKET socket, UINT message);
/* shutdown(SD_BOTH), then closesocket; returns 1. */
int KELCloseSocket(SOCKET socket);

#define KELERR_SHOW_ERRNO 0x1
void KELErrorBox(const char *tag, int code, int flags);
/* The text of a Winsock error code ("Error # %d" for unknown codes). */
void KELWSAErrorText(int code, char *out, int outSize);
/* Appends to "c:\novarc\bin\kellib.log" while the marker file exists. */
void KELDiagLog(int code, const char *tag);

/* Binders. */
SOCKET KelWs_socket(int af, int type, int protocol);
int KelWs_bind(SOCKET s, const struct sockaddr *name, int namelen);
int KelWs_listen(SOCKET s, int backlog);
SOCKET KelWs_accept(SOCKET s, struct sockaddr *addr, int *addrlen);
int KelWs_connect(SOCKET s, const struct sockaddr *name, int namelen);
int KelWs_recv(SOCKET s, char *buf, int len, int flags);
int KelWs_send(SOCKET s, const char *buf, int len, int flags);
int KelWs_shutdown(SOCKET s, int how);
int KelWs_closesocket(SOCKET s);
int KelWs_select(int nfds, fd_set *readfds, fd_set *writefds, fd_set *exceptfds,
                 const struct timeval *timeout);
int KelWs_getpeername(SOCKET s, struct sockaddr *name, int *namelen);
int KelWs_setsockopt(SOCKET s, int level, int optname, const char *optval, int optlen);
int KelWs_gethostname(char *name, int namelen);
struct hostent *KelWs_gethostbyname(const char *name);
u_long KelWs_htonl(u_long v);
u_short KelWs_htons(u_short v);
unsigned long KelWs_inet_addr(const char *cp);
char *KelWs_inet_ntoa(struct in_addr in);
int KelWs_getaddrinfo(const char *node, const char *service, const ADDRINFOA *hints,
                      PADDRINFOA *result);
void KelWs_freeaddrinfo(PADDRINFOA ai);
int KelWs_WSAStartup(WORD version, LPWSADATA data);
int KelWs_WSACleanup(void);
int KelWs_WSAGetLastError(void);
void KelWs_WSASetLastError(int error);
int KelWs_WSAAsyncSelect(SOCKET s, HWND hWnd, u_int wMsg, LONG lEvent);
int KelWs_WSADuplicateSocketA(SOCKET s, DWORD pid, LPWSAPROTOCOL_INFOA info);
SOCKET KelWs_WSASocketA(int af, int type, int protocol, LPWSAPROTOCOL_INFOA info, GROUP g,
                        DWORD flags);
int KelWs_WSAAddressToStringA(LPSOCKADDR addr, DWORD addrLen, LPWSAPROTOCOL_INFOA info, LPSTR out,
                              LPDWORD outLen);

#endif /* KELLIB_SOCK_H */
