/*
 * Conformance tests: LoadLibraryA, GetProcAddress, FreeLibrary and the
 * module behind "ws2_32.dll".
 */
#include <gtest/gtest.h>

#include "scratch_root.h"

#include <winsock2.h>

#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

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

/* An installed component: the DLL name maps to a shared object of ours that
 * loads only while a file of that name is installed where the caller looks,
 * as a vendor DLL on Windows. */
class ComponentModule : public ::testing::Test {
protected:
    void SetUp() override { setenv("WINPORT_MODULE_PATH", WINPORT_FAKE_COMPONENT_DIR, 1); }
    void TearDown() override { unsetenv("WINPORT_MODULE_PATH"); }
    /* Places the DLL file (any content: the name is what counts). */
    void Install(const std::string &folder, const std::string &dll)
    {
        std::filesystem::create_directories(root_.driveC(folder));
        std::FILE *f = std::fopen((root_.driveC(folder) + "/" + dll).c_str(), "w");
        ASSERT_NE(f, nullptr);
        std::fclose(f);
    }
    ScratchRoot root_;
};

TEST_F(ComponentModule, AFreshRootHasNoComponentDll)
{
    EXPECT_TRUE(std::filesystem::exists(root_.driveC("Windows/system32/ws2_32.dll")));
    EXPECT_FALSE(std::filesystem::exists(root_.driveC("Windows/system32/ltkrnu.dll")));
    for (const char *name : {"ltkrnu.dll", "C:\\Windows\\system32\\ltkrnu.dll"}) {
        SetLastError(0xdeadbeef);
        EXPECT_EQ(LoadLibraryA(name), nullptr) << name;
        EXPECT_EQ(GetLastError(), (DWORD)ERROR_MOD_NOT_FOUND) << name;
    }
}

TEST_F(ComponentModule, InstalledInTheSystemFolderItLoadsByNameOrFullPath)
{
    Install("Windows/system32", "LTKRNU.DLL");
    for (const char *name : {"ltkrnu.dll", "ltkrnu", "c:\\windows\\SYSTEM32\\ltkrnu.dll",
                             "C:/Windows/system32/LtKrnU.Dll"}) {
        SetLastError(0xdeadbeef);
        HMODULE m = LoadLibraryA(name);
        ASSERT_NE(m, nullptr) << name;
        auto answer = As<int (*)()>(GetProcAddress(m, "FakeComponentAnswer"));
        ASSERT_NE(answer, nullptr);
        EXPECT_EQ(answer(), 4711);
        EXPECT_TRUE(FreeLibrary(m));
    }
}

TEST_F(ComponentModule, AnotherFolderNeedsItsOwnCopy)
{
    Install("Windows/system32", "ltkrnu.dll");
    SetLastError(0xdeadbeef);
    EXPECT_EQ(LoadLibraryA("C:\\novarc\\bin\\ltkrnu.dll"), nullptr);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_MOD_NOT_FOUND);
    Install("novarc/bin", "ltkrnu.dll");
    HMODULE m = LoadLibraryA("C:\\novarc\\bin\\ltkrnu.dll");
    EXPECT_NE(m, nullptr);
    if (m)
        FreeLibrary(m);
}

TEST_F(ComponentModule, RemovingTheDllFileMakesItMissingAgain)
{
    Install("Windows/system32", "ltannu.dll");
    HMODULE m = LoadLibraryA("ltannu.dll");
    ASSERT_NE(m, nullptr);
    EXPECT_TRUE(FreeLibrary(m));
    std::filesystem::remove(root_.driveC("Windows/system32/ltannu.dll"));
    SetLastError(0xdeadbeef);
    EXPECT_EQ(LoadLibraryA("ltannu.dll"), nullptr);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_MOD_NOT_FOUND);
}

TEST_F(ComponentModule, EveryImagingDllNameIsOneModule)
{
    const char *names[] = {"ltkrnu.dll", "ltfilu.dll",    "lttwnu.dll",   "LTDISU.DLL",
                           "ltannu.dll", "Ltimgefxu.dll", "ltimgcoru.dll"};
    std::vector<HMODULE> modules;
    for (const char *name : names) {
        Install("Windows/system32", name);
        modules.push_back(LoadLibraryA(name));
        ASSERT_NE(modules.back(), nullptr) << name;
    }
    for (HMODULE m : modules) {
        EXPECT_EQ(m, modules.front());
        EXPECT_TRUE(FreeLibrary(m));
    }
}

/* The test hooks: installing a component as scripts/install.sh does, and
 * mapping a DLL name to a test module. */
TEST_F(ComponentModule, TheInstallHookLinksTheDllToItsSharedObject)
{
    winport_test_map_module("FakeComp.dll", "libnovarc_imaging.so", TRUE);
    SetLastError(0xdeadbeef);
    EXPECT_EQ(LoadLibraryA("C:\\novarc\\bin\\Comp\\fakecomp.dll"), nullptr);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_MOD_NOT_FOUND);

    ASSERT_TRUE(winport_test_install_module("FAKECOMP.DLL", "C:\\novarc\\bin\\Comp"));
    EXPECT_TRUE(std::filesystem::is_symlink(root_.driveC("novarc/bin/Comp/fakecomp.dll")));
    HMODULE m = LoadLibraryA("c:\\novarc\\bin\\comp\\fakecomp.dll");
    ASSERT_NE(m, nullptr);
    auto answer = As<int (*)()>(GetProcAddress(m, "FakeComponentAnswer"));
    ASSERT_NE(answer, nullptr);
    EXPECT_EQ(answer(), 4711);
    EXPECT_TRUE(FreeLibrary(m));

    winport_test_map_module("ghost.dll", "libghost.so", TRUE); /* never built */
    for (const char *name : {"nosuch.dll", "ws2_32.dll", "ghost.dll"}) {
        SetLastError(0xdeadbeef);
        EXPECT_FALSE(winport_test_install_module(name, "C:\\Windows\\system32")) << name;
        EXPECT_EQ(GetLastError(), (DWORD)ERROR_MOD_NOT_FOUND) << name;
    }
    EXPECT_FALSE(std::filesystem::exists(root_.driveC("Windows/system32/cdintf550.dll")));
    EXPECT_FALSE(std::filesystem::exists(root_.driveC("Windows/system32/kelpdftron.dll")));
}

} // namespace
