/*
 * Winsock binding, error boxes, error texts and the diagnostic log.
 *
 * The binders are driven against a stand-in module that exports a single
 * function, so each one meets its "missing function" path; the log is read
 * back from the test's own drive.
 */
#include <kellib/sock.h>

#include "kellib_internal.h"

#include <scratch_root.h>
#include <winport_test.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

std::string ErrorText(int code)
{
    char out[128];
    KELWSAErrorText(code, out, sizeof out);
    return out;
}

TEST(WSAErrorText, EveryKnownCodeHasItsTraditionalText)
{
    const std::vector<std::pair<int, const char *>> table = {
        {10000, "WSABASEERR: No Error"},
        {10004, "WSAEINTR: Interrupted system call"},
        {10009, "WSAEBADF: Bad file number"},
        {10013, "WSAEACCES: Permission denied"},
        {10014, "WSAEFAULT: Bad address"},
        {10022, "WSAEINVAL: Invalid argument"},
        {10024, "WSAEMFILE: Too many open files"},
        {10035, "WSAEWOULDBLOCK: Operation would block"},
        {10036, "WSAEINPROGRESS: Operation now in progress"},
        {10037, "WSAEALREADY: Operation already in progress"},
        {10038, "WSAENOTSOCK: Socket operation on nonsocket"},
        {10039, "WSAEDESTADDRREQ: Destination address required"},
        {10040, "WSAEMSGSIZE: Message too long"},
        {10041, "WSAEPROTOTYPE: Protocol wrong type for socket"},
        {10042, "WSAENOPROTOOPT: Bad protocol option"},
        {10043, "WSAEPROTONOSUPPORT: Protocol not supported"},
        {10044, "WSAESOCKTNOSUPPORT: Socket type not supported"},
        {10045, "WSAEOPNOTSUP: Operation not supported on socket"},
        {10046, "WSAEPFNOSUPPORT: Protocol family not supported"},
        {10047, "WSAEAFNOSUPPORT: Address family not supported"},
        {10048, "WSAEADDRINUSE: Address already in use"},
        {10049, "WSAEADDRNOTAVAIL: Cannot assign requested address"},
        {10050, "WSAENETDOWN: Network is down"},
        {10051, "WSAENEWUNREACH: Network is unreachable"},
        {10052, "WSAENETRESET: Net dropped connection or reset"},
        {10053, "WSAECONNABORTED: Software caused connection abort"},
        {10054, "WSAECONNRESET: connection reset by peer"},
        {10055, "WSAENOBUFS: No buffer space available"},
        {10056, "WSAEISCONN: Socket is already connected"},
        {10057, "WSAENOTCONN: Socket is not connected"},
        {10058, "WSAESHUTDOWN: Cannot send after socket shutdown"},
        {10059, "WSAETOOMANYREFS: Too many references, connot splice"},
        {10060, "WSAETIMEDOUT: Connection timed out"},
        {10061, "WSAECONNREFUSED: Connection refused\n          novsrvr may not be running"},
        {10062, "WSAELOOP: Too many levels of symbolic links"},
        {10063, "WSAENAMETOOLONG: File name too long"},
        {10064, "WSAEHOSTDOWN: Host is down"},
        {10065, "WSAEHOSTUNREACH: No route to host"},
        {10066, "WSAENOTEMPTY: Directory not empty"},
        {10067, "WSAEPROCLIM: Too manu processes"},
        {10068, "WSAEUSERS: Too many users"},
        {10069, "WSAEDQUOT: Disk quota exceeded"},
        {10070, "WSAESTALE: Stale NFS file handle"},
        {10071, "WSAEREMOTE: Too many levels of remote in path"},
        {10091, "WSASYSNOTREADY: Network subsystem is unavailable"},
        {10092, "WSAVERNOTSUPPORTED: WINDOCK DLL version out of range"},
        {10093, "WSANOTINITIALISED: WSASTARTUP not yet performed"},
        {11001, "WSAHOST_NOT_FOUND: Host not found"},
        {11002, "WSATRY_AGAIN: Nonauthoritative host not found"},
        {11003, "WSANO_RECOVERY: Nonrecoverable error"},
        {11004, "WSANODATA: no data record of requested type"},
    };
    for (const auto &[code, text] : table)
        EXPECT_EQ(ErrorText(code), text) << code;
    EXPECT_EQ(ErrorText(12345), "Error # 12345");
    EXPECT_EQ(ErrorText(0), "Error # 0");
    EXPECT_EQ(ErrorText(-7), "Error # -7");

    char tiny[8];
    KELWSAErrorText(10054, tiny, sizeof tiny);
    EXPECT_STREQ(tiny, "WSAECON") << "cut to the output, always terminated";
}

class BoxTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        winport_test_reset_msgboxes();
        winport_test_reset_quit();
    }
    ScratchRoot root;
};

TEST_F(BoxTest, ErrorBoxTextsByFlagAndCode)
{
    KELErrorBox("KELWSAStartup()", 10091, 0);
    EXPECT_STREQ(winport_test_last_msgbox(), "Error: ERROR!\n\nError 10091 in KELWSAStartup()");
    KELErrorBox("KELWSAAsyncSelect()", SOCKET_ERROR, 0);
    EXPECT_STREQ(winport_test_last_msgbox(), "Error: ERROR!\n\nKELWSAAsyncSelect()");
    SetLastError(2);
    KELErrorBox("OpenFile()", 99, KELERR_SHOW_ERRNO);
    std::string expected =
        std::string("Error: ERROR!\n\nError 2 in OpenFile()\n>> ") + strerror(2) + " <<";
    EXPECT_EQ(winport_test_last_msgbox(), expected);
    EXPECT_EQ(winport_test_msgbox_count(), 3);
}

TEST_F(BoxTest, ErrorBoxHidesLostConnectionsAndCutsLongTexts)
{
    KELErrorBox("Connection lost to server", 10054, 0);
    KELErrorBox("Connection lost", 0, KELERR_SHOW_ERRNO);
    EXPECT_EQ(winport_test_msgbox_count(), 0);

    std::string tag(500, 't');
    KELErrorBox(tag.c_str(), 0, 0);
    ASSERT_EQ(winport_test_msgbox_count(), 1);
    EXPECT_EQ(strlen(winport_test_last_msgbox()), strlen("Error: ") + 199);
}

TEST_F(BoxTest, BindersWithoutAModuleDoNothing)
{
    KELUnloadWinsock();
    ASSERT_EQ(KelWinsockModule(), nullptr);
    char buf[4];
    EXPECT_EQ(KelWs_recv(1, buf, 4, 0), 0);
    EXPECT_EQ(KelWs_socket(AF_INET, SOCK_STREAM, 0), 0u);
    EXPECT_EQ(KelWs_gethostbyname("x"), nullptr);
    EXPECT_EQ(KELWSAStartup(), 1);
    EXPECT_EQ(KELReleaseSocketLibrary(), 1);
    EXPECT_EQ(winport_test_msgbox_count(), 0);
    EXPECT_FALSE(winport_test_quit_posted(nullptr));
}

/* Loads the stand-in module under the name the system asks for. */
class FakeModuleTest : public BoxTest {
protected:
    void SetUp() override
    {
        BoxTest::SetUp();
        setenv("WINPORT_MODULE_PATH", KEL_FAKE_WS_DIR, 1);
        ASSERT_EQ(KelLoadWinsockModule("Wsock32.DLL"), 1);
    }
    void TearDown() override
    {
        KELUnloadWinsock();
        unsetenv("WINPORT_MODULE_PATH");
    }
};

TEST_F(FakeModuleTest, PresentFunctionIsCalled)
{
    EXPECT_EQ(KelWs_WSAGetLastError(), 4242);
    EXPECT_EQ(winport_test_msgbox_count(), 0);
}

TEST_F(FakeModuleTest, EveryMissingFunctionNamesItselfAndPostsQuit)
{
    char c[8] = "";
    sockaddr sa{};
    int n = 0;
    fd_set set;
    FD_ZERO(&set);
    WSADATA data{};
    WSAPROTOCOL_INFOA info{};
    DWORD len = 0;
    const std::vector<std::pair<const char *, std::function<long long()>>> calls = {
        {"WSAAddressToString", [&] { return KelWs_WSAAddressToStringA(&sa, 0, &info, c, &len); }},
        {"WSAAsyncSelect", [&] { return KelWs_WSAAsyncSelect(1, nullptr, 0, 0); }},
        {"WSACleanup", [&] { return KelWs_WSACleanup(); }},
        {"WSADuplicateSocket", [&] { return KelWs_WSADuplicateSocketA(1, 0, &info); }},
        {"WSASetLastError",
         [&] {
             KelWs_WSASetLastError(1);
             return 0;
         }},
        {"WSASocket", [&] { return KelWs_WSASocketA(0, 0, 0, &info, 0, 0); }},
        {"WSAStartup", [&] { return KelWs_WSAStartup(2, &data); }},
        {"accept", [&] { return KelWs_accept(1, &sa, &n); }},
        {"bind", [&] { return KelWs_bind(1, &sa, 0); }},
        {"closesocket", [&] { return KelWs_closesocket(1); }},
        {"connect", [&] { return KelWs_connect(1, &sa, 0); }},
        {"freeaddrinfo",
         [&] {
             KelWs_freeaddrinfo(nullptr);
             return 0;
         }},
        {"getaddrinfo", [&] { return KelWs_getaddrinfo("a", "b", nullptr, nullptr); }},
        {"gethostbyname", [&] { return KelWs_gethostbyname("a") != nullptr; }},
        {"gethostname", [&] { return KelWs_gethostname(c, 8); }},
        {"getpeername", [&] { return KelWs_getpeername(1, &sa, &n); }},
        {"htonl", [&] { return KelWs_htonl(1); }},
        {"htons", [&] { return KelWs_htons(1); }},
        {"inet_addr", [&] { return KelWs_inet_addr("1.2.3.4"); }},
        {"inet_ntoa", [&] { return KelWs_inet_ntoa(in_addr{}) != nullptr; }},
        {"listen", [&] { return KelWs_listen(1, 1); }},
        {"recv", [&] { return KelWs_recv(1, c, 1, 0); }},
        {"send", [&] { return KelWs_send(1, c, 1, 0); }},
        {"shutdown", [&] { return KelWs_shutdown(1, SD_BOTH); }},
        {"socket()", [&] { return KelWs_socket(AF_INET, SOCK_STREAM, 0); }},
        {"select", [&] { return KelWs_select(0, &set, nullptr, nullptr, nullptr); }},
    };
    for (const auto &[label, call] : calls) {
        winport_test_reset_quit();
        int before = winport_test_msgbox_count();
        EXPECT_EQ(call(), 0) << label;
        EXPECT_EQ(winport_test_msgbox_count(), before + 1) << label;
        EXPECT_EQ(std::string(winport_test_last_msgbox()),
                  std::string("ERROR: UNABLE TO LINK WITH ") + label);
        int code = -1;
        EXPECT_TRUE(winport_test_quit_posted(&code)) << label;
        EXPECT_EQ(code, 0);
    }
}

class DiagLogTest : public ::testing::Test {
protected:
    void SetUp() override { fs::create_directories(root.driveC("novarc/bin")); }
    void Enable() { std::ofstream(root.driveC("novarc/bin/KELLIB_DEBUGGING_ON.txt")) << ""; }
    std::string Log()
    {
        std::ifstream in(root.driveC("novarc/bin/kellib.log"), std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    bool LogExists() { return fs::exists(root.driveC("novarc/bin/kellib.log")); }
    ScratchRoot root;
};

TEST_F(DiagLogTest, NothingIsWrittenWithoutTheMarker)
{
    KELDiagLog(10054, "1-KELrecv()");
    EXPECT_FALSE(LogExists());
}

/* "Www Mmm dd hh:mm:ss yyyy", as asctime writes it. */
bool LooksLikeAscTime(const std::string &line)
{
    char day[4], month[4];
    int date, h, m, sec, year, used = 0;
    if (sscanf(line.c_str(), "%3s %3s %2d %2d:%2d:%2d %4d%n", day, month, &date, &h, &m, &sec,
               &year, &used) != 7)
        return false;
    return used == static_cast<int>(line.size()) && line.size() == 24 &&
           std::string("SunMonTueWedThuFriSat").find(day) % 3 == 0 &&
           std::string("JanFebMarAprMayJunJulAugSepOctNovDec").find(month) % 3 == 0;
}

TEST_F(DiagLogTest, RecordHasDateWindowClassAndText)
{
    Enable();
    KELDiagLog(10054, "1-KELrecv()");
    KELDiagLog(10061, "2-KELrecv()");
    std::string log = Log();
    std::vector<std::string> lines;
    for (size_t pos = 0; pos < log.size();) {
        size_t end = log.find("\r\n", pos);
        ASSERT_NE(end, std::string::npos) << "every line ends in CR LF";
        lines.push_back(log.substr(pos, end - pos));
        pos = end + 2;
    }
    ASSERT_EQ(lines.size(), 9u) << log;
    EXPECT_TRUE(LooksLikeAscTime(lines[0])) << lines[0];
    EXPECT_EQ(lines[1], "") << "no active window: empty class name";
    EXPECT_EQ(lines[2], "1-KELrecv() failed WSAECONNRESET: connection reset by peer");
    EXPECT_EQ(lines[3], "");
    EXPECT_TRUE(LooksLikeAscTime(lines[4])) << lines[4];
    EXPECT_EQ(lines[5], "");
    EXPECT_EQ(lines[6], "2-KELrecv() failed WSAECONNREFUSED: Connection refused");
    EXPECT_EQ(lines[7], "          novsrvr may not be running");
    EXPECT_EQ(lines[8], "");
}

TEST_F(DiagLogTest, OrdinaryConnectionEndsAreNotLogged)
{
    Enable();
    KELDiagLog(10038, "1-KELrecv()");
    KELDiagLog(10053, "2-KELrecv()");
    EXPECT_FALSE(LogExists());
    KELDiagLog(12345, "x");
    EXPECT_NE(Log().find("x failed Error # 12345\r\n"), std::string::npos);
}

TEST_F(DiagLogTest, UnwritableLogIsSkippedSilently)
{
    Enable();
    fs::create_directories(root.driveC("novarc/bin/kellib.log")); /* a folder in the way */
    KELDiagLog(10054, "1-KELrecv()");
    EXPECT_TRUE(fs::is_directory(root.driveC("novarc/bin/kellib.log")));
}

} // namespace
