/*
 * Winsock bound by name at run time.
 *
 * The programs never link Winsock: the module is loaded at start-up and
 * each binder looks its function up on every call, so a workstation with a
 * broken or partial Winsock gets a box naming the missing function instead
 * of a program that will not start.  A missing function also posts WM_QUIT:
 * nothing useful can happen without it.  With no module loaded at all the
 * binders do nothing and return 0.
 */
#include "kellib/sock.h"
#include "kellib_internal.h"

#include <winsock2.h> /* before windows.h, which would bring the old winsock.h */
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <string>
#include <type_traits>

namespace {

/* Loaded once at start-up and read by every thread that sends. */
std::atomic<HMODULE> g_winsock{nullptr};

/* The function named `proc`, or null: silently when nothing is loaded,
 * after the failure box when the module lacks it.  `label` is the name the
 * box uses. */
FARPROC LookUp(const char *proc, const char *label)
{
    HMODULE module = g_winsock.load();
    if (module == nullptr)
        return nullptr;
    FARPROC fn = GetProcAddress(module, proc);
    if (fn == nullptr) {
        std::string text = std::string("UNABLE TO LINK WITH ") + label;
        MessageBoxA(nullptr, text.c_str(), "ERROR", MB_OK);
        PostQuitMessage(0);
    }
    return fn;
}

/* Calls the bound function with the signature of its Winsock declaration;
 * a function that cannot be bound yields a zero of its result type. */
template <typename Fn> struct Binder;
template <typename R, typename... A> struct Binder<R (*)(A...)> {
    static R Call(const char *proc, const char *label, A... args)
    {
        /* Through void(*)(void), the generic function pointer type, since
         * FARPROC's own signature has nothing to do with the real one. */
        auto generic = reinterpret_cast<void (*)(void)>(LookUp(proc, label));
        auto fn = reinterpret_cast<R (*)(A...)>(generic);
        if (fn == nullptr) {
            if constexpr (std::is_void_v<R>)
                return;
            else
                return R();
        }
        return fn(args...);
    }
};

} // namespace

/* Binds the Winsock function `name` (its declaration gives the signature). */
#define KEL_BOUND(name, label, ...)                                                                \
    Binder<decltype(&::name)>::Call(#name, label __VA_OPT__(, ) __VA_ARGS__)

int KelLoadWinsockModule(LPCSTR dllName)
{
    HMODULE module = LoadLibraryA(dllName);
    if (module == nullptr)
        return 0;
    HMODULE old = g_winsock.exchange(module);
    if (old != nullptr)
        FreeLibrary(old);
    return 1;
}

HMODULE KelWinsockModule(void)
{
    return g_winsock.load();
}

int KELLoadWinsock(void)
{
    if (g_winsock.load() != nullptr)
        return 1;
    char systemDir[200] = "";
    GetSystemDirectoryA(systemDir, sizeof systemDir);
    char path[256];
    snprintf(path, sizeof path, "%s\\%s", systemDir, "ws2_32.dll");
    if (GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES)
        return KelLoadWinsockModule("ws2_32.dll");
    return KelLoadWinsockModule("Wsock32.DLL");
}

void KELUnloadWinsock(void)
{
    HMODULE old = g_winsock.exchange(nullptr);
    if (old != nullptr)
        FreeLibrary(old);
}

void KelWaitSocket(SOCKET socket, int ms, bool forWrite)
{
    fd_set set;
    FD_ZERO(&set);
    FD_SET(socket, &set);
    timeval timeout{0, static_cast<LONG>(ms) * 1000};
    int rc = forWrite ? KelWs_select(0, nullptr, &set, nullptr, &timeout)
                      : KelWs_select(0, &set, nullptr, nullptr, &timeout);
    /* A failed wait must still pace the caller's polling. */
    if (rc == SOCKET_ERROR)
        Sleep(static_cast<DWORD>(ms));
}

SOCKET KelWs_socket(int af, int type, int protocol)
{
    return KEL_BOUND(socket, "socket()", af, type, protocol);
}
int KelWs_bind(SOCKET s, const struct sockaddr *name, int namelen)
{
    return KEL_BOUND(bind, "bind", s, name, namelen);
}
int KelWs_listen(SOCKET s, int backlog)
{
    return KEL_BOUND(listen, "listen", s, backlog);
}
SOCKET KelWs_accept(SOCKET s, struct sockaddr *addr, int *addrlen)
{
    return KEL_BOUND(accept, "accept", s, addr, addrlen);
}
int KelWs_connect(SOCKET s, const struct sockaddr *name, int namelen)
{
    return KEL_BOUND(connect, "connect", s, name, namelen);
}
int KelWs_recv(SOCKET s, char *buf, int len, int flags)
{
    return KEL_BOUND(recv, "recv", s, buf, len, flags);
}
int KelWs_send(SOCKET s, const char *buf, int len, int flags)
{
    return KEL_BOUND(send, "send", s, buf, len, flags);
}
int KelWs_shutdown(SOCKET s, int how)
{
    return KEL_BOUND(shutdown, "shutdown", s, how);
}
int KelWs_closesocket(SOCKET s)
{
    return KEL_BOUND(closesocket, "closesocket", s);
}
int KelWs_select(int nfds, fd_set *readfds, fd_set *writefds, fd_set *exceptfds,
                 const struct timeval *timeout)
{
    /* The SDK takes a const timeval; mingw-w64's headers a plain one. */
    return KEL_BOUND(select, "select", nfds, readfds, writefds, exceptfds,
                     const_cast<struct timeval *>(timeout));
}
int KelWs_getpeername(SOCKET s, struct sockaddr *name, int *namelen)
{
    return KEL_BOUND(getpeername, "getpeername", s, name, namelen);
}
int KelWs_setsockopt(SOCKET s, int level, int optname, const char *optval, int optlen)
{
    return KEL_BOUND(setsockopt, "setsockopt", s, level, optname, optval, optlen);
}
int KelWs_gethostname(char *name, int namelen)
{
    return KEL_BOUND(gethostname, "gethostname", name, namelen);
}
struct hostent *KelWs_gethostbyname(const char *name)
{
    return KEL_BOUND(gethostbyname, "gethostbyname", name);
}
u_long KelWs_htonl(u_long v)
{
    return KEL_BOUND(htonl, "htonl", v);
}
u_short KelWs_htons(u_short v)
{
    return KEL_BOUND(htons, "htons", v);
}
unsigned long KelWs_inet_addr(const char *cp)
{
    return KEL_BOUND(inet_addr, "inet_addr", cp);
}
char *KelWs_inet_ntoa(struct in_addr in)
{
    return KEL_BOUND(inet_ntoa, "inet_ntoa", in);
}
int KelWs_getaddrinfo(const char *node, const char *service, const ADDRINFOA *hints,
                      PADDRINFOA *result)
{
    return KEL_BOUND(getaddrinfo, "getaddrinfo", node, service, hints, result);
}
void KelWs_freeaddrinfo(PADDRINFOA ai)
{
    KEL_BOUND(freeaddrinfo, "freeaddrinfo", ai);
}
int KelWs_WSAStartup(WORD version, LPWSADATA data)
{
    return KEL_BOUND(WSAStartup, "WSAStartup", version, data);
}
int KelWs_WSACleanup(void)
{
    return KEL_BOUND(WSACleanup, "WSACleanup");
}
int KelWs_WSAGetLastError(void)
{
    return KEL_BOUND(WSAGetLastError, "WSAGetLastError");
}
void KelWs_WSASetLastError(int error)
{
    KEL_BOUND(WSASetLastError, "WSASetLastError", error);
}
int KelWs_WSAAsyncSelect(SOCKET s, HWND hWnd, u_int wMsg, LONG lEvent)
{
    return KEL_BOUND(WSAAsyncSelect, "WSAAsyncSelect", s, hWnd, wMsg, lEvent);
}
int KelWs_WSADuplicateSocketA(SOCKET s, DWORD pid, LPWSAPROTOCOL_INFOA info)
{
    return KEL_BOUND(WSADuplicateSocketA, "WSADuplicateSocket", s, pid, info);
}
SOCKET KelWs_WSASocketA(int af, int type, int protocol, LPWSAPROTOCOL_INFOA info, GROUP g,
                        DWORD flags)
{
    return KEL_BOUND(WSASocketA, "WSASocket", af, type, protocol, info, g, flags);
}
int KelWs_WSAAddressToStringA(LPSOCKADDR addr, DWORD addrLen, LPWSAPROTOCOL_INFOA info, LPSTR out,
                              LPDWORD outLen)
{
    return KEL_BOUND(WSAAddressToStringA, "WSAAddressToString", addr, addrLen, info, out, outLen);
}
