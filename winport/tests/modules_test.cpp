/*
 * Conformance tests: LoadLibraryA, GetProcAddress, FreeLibrary and the
 * module behind "ws2_32.dll".
 */
#include <gtest/gtest.h>

#include "scratch_root.h"

#include <winsock2.h>

#include <dlfcn.h>

#include <cstdlib>
#include <string>

namespace {

/* FARPROC -> the function's real type (through void *, as GetProcAddress
 * callers do to keep -Wcast-function-type quiet). */
template <class F> F As(FARPROC p)
{
    return reinterpret_cast<F>(reinterpret_cast<void *>(p));
}

class LoadLibrary : public ::testing::Test {
protected:
    ScratchRoot root_;
};

TEST_F(LoadLibrary, Ws2_32LoadsWhateverTheFolderAndCase)
{
    for (const char *name : {"ws2_32.dll", "WS2_32.DLL", "C:\\Windows\\system32\\ws2_32.dll",
                             "d:\\elsewhere\\Ws2_32.Dll", "ws2_32", "Wsock32.DLL"}) {
        SetLastError(0xdeadbeef);
        HMODULE m = LoadLibraryA(name);
        EXPECT_NE(m, nullptr) << name;
        if (m) {
            EXPECT_TRUE(FreeLibrary(m));
        }
    }
}

TEST_F(LoadLibrary, LoadingTwiceGivesTheSameHandleAndCounts)
{
    HMODULE a = LoadLibraryA("ws2_32.dll");
    HMODULE b = LoadLibraryA("WS2_32.DLL");
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a, b);
    EXPECT_TRUE(FreeLibrary(b));
    EXPECT_NE(GetProcAddress(a, "recv"), nullptr); // still loaded once
    EXPECT_TRUE(FreeLibrary(a));
}

TEST_F(LoadLibrary, AnUnmappedNameFailsLikeAMissingDll)
{
    SetLastError(0xdeadbeef);
    EXPECT_EQ(LoadLibraryA("nosuch.dll"), nullptr);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_MOD_NOT_FOUND);
    SetLastError(0xdeadbeef);
    EXPECT_EQ(LoadLibraryA(""), nullptr);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_MOD_NOT_FOUND);
}

TEST_F(LoadLibrary, ANullNameFailsWithInvalidParameter)
{
    SetLastError(0xdeadbeef);
    EXPECT_EQ(LoadLibraryA(nullptr), nullptr);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_PARAMETER);
}

TEST_F(LoadLibrary, GetProcAddressFindsTheModulesExports)
{
    HMODULE m = LoadLibraryA("ws2_32.dll");
    ASSERT_NE(m, nullptr);
    for (const char *name : {"WSAStartup",
                             "WSACleanup",
                             "WSAGetLastError",
                             "WSASetLastError",
                             "WSAAsyncSelect",
                             "WSADuplicateSocketA",
                             "WSASocketA",
                             "WSAAddressToStringA",
                             "socket",
                             "bind",
                             "listen",
                             "accept",
                             "connect",
                             "recv",
                             "send",
                             "shutdown",
                             "closesocket",
                             "ioctlsocket",
                             "select",
                             "setsockopt",
                             "getsockopt",
                             "getpeername",
                             "getsockname",
                             "gethostname",
                             "gethostbyname",
                             "getaddrinfo",
                             "freeaddrinfo",
                             "htonl",
                             "htons",
                             "ntohl",
                             "ntohs",
                             "inet_addr",
                             "inet_ntoa",
                             "__WSAFDIsSet"})
        EXPECT_NE(GetProcAddress(m, name), nullptr) << name;
    FreeLibrary(m);
}

TEST_F(LoadLibrary, GetProcAddressOfAMissingNameFailsWithProcNotFound)
{
    HMODULE m = LoadLibraryA("ws2_32.dll");
    ASSERT_NE(m, nullptr);
    SetLastError(0xdeadbeef);
    EXPECT_EQ(GetProcAddress(m, "NoSuchFunction"), nullptr);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_PROC_NOT_FOUND);
    // Names the module only imports (from the C library, from libwinport)
    // are not its exports.
    for (const char *imported : {"printf", "malloc", "GetLastError", "winport_ws_recv"}) {
        SetLastError(0xdeadbeef);
        EXPECT_EQ(GetProcAddress(m, imported), nullptr) << imported;
        EXPECT_EQ(GetLastError(), (DWORD)ERROR_PROC_NOT_FOUND) << imported;
    }
    SetLastError(0xdeadbeef);
    EXPECT_EQ(GetProcAddress(m, reinterpret_cast<LPCSTR>(1)), nullptr); // ordinal
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_PROC_NOT_FOUND);
    FreeLibrary(m);
}

TEST_F(LoadLibrary, GetProcAddressOnANullModuleFailsWithInvalidHandle)
{
    SetLastError(0xdeadbeef);
    EXPECT_EQ(GetProcAddress(nullptr, "recv"), nullptr);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_HANDLE);
}

TEST_F(LoadLibrary, FreeLibraryOnNullOrUnknownFails)
{
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(FreeLibrary(nullptr));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_HANDLE);
    int local = 0;
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(FreeLibrary(reinterpret_cast<HMODULE>(&local)));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_MOD_NOT_FOUND);
    SetLastError(0xdeadbeef);
    EXPECT_EQ(GetProcAddress(reinterpret_cast<HMODULE>(&local), "recv"), nullptr);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_MOD_NOT_FOUND);
}

TEST_F(LoadLibrary, AMissingSharedObjectFailsLikeAMissingDll)
{
    // An empty search path entry and a folder without the shared object come
    // first; the module is still found beside libwinport.so.
    setenv("WINPORT_MODULE_PATH", ":/nonexistent", 1);
    HMODULE m = LoadLibraryA("ws2_32.dll");
    EXPECT_NE(m, nullptr);
    if (m)
        FreeLibrary(m);
    unsetenv("WINPORT_MODULE_PATH");
}

TEST_F(LoadLibrary, RecvFromTheModuleIsWinsocksRecvNotTheCLibrarys)
{
    HMODULE m = LoadLibraryA("ws2_32.dll");
    ASSERT_NE(m, nullptr);
    FARPROC p = GetProcAddress(m, "recv");
    ASSERT_NE(p, nullptr);
    Dl_info info;
    ASSERT_NE(dladdr(reinterpret_cast<void *>(p), &info), 0);
    EXPECT_NE(std::string(info.dli_fname).find("libwp_ws2_32.so"), std::string::npos)
        << info.dli_fname;
    EXPECT_NE(reinterpret_cast<void *>(p), dlsym(RTLD_DEFAULT, "recv")); // not libc's

    // Called through the pointer it has Winsock semantics: before
    // WSAStartup, WSANOTINITIALISED; with an invalid socket, WSAENOTSOCK.
    auto recvFn = As<int (*)(SOCKET, char *, int, int)>(p);
    auto startup = As<int (*)(WORD, LPWSADATA)>(GetProcAddress(m, "WSAStartup"));
    auto cleanup = As<int (*)()>(GetProcAddress(m, "WSACleanup"));
    auto lastError = As<int (*)()>(GetProcAddress(m, "WSAGetLastError"));
    ASSERT_TRUE(startup && cleanup && lastError);
    char buf[4];
    SetLastError(0xdeadbeef);
    EXPECT_EQ(recvFn(0x1234, buf, sizeof buf, 0), SOCKET_ERROR);
    EXPECT_EQ(lastError(), WSANOTINITIALISED);
    WSADATA data;
    ASSERT_EQ(startup(MAKEWORD(2, 0), &data), 0);
    EXPECT_EQ(recvFn(0x1234, buf, sizeof buf, 0), SOCKET_ERROR);
    EXPECT_EQ(lastError(), WSAENOTSOCK);
    EXPECT_EQ(GetLastError(), (DWORD)WSAENOTSOCK); // one slot for both
    // The module and direct calls share one Winsock: the module's
    // WSAStartup counts for WSACleanup called directly.
    EXPECT_EQ(WSACleanup(), 0);
    SetLastError(0xdeadbeef);
    EXPECT_EQ(cleanup(), SOCKET_ERROR);
    EXPECT_EQ(lastError(), WSANOTINITIALISED);
    FreeLibrary(m);
}

} // namespace
