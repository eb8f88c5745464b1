/*
 * Conformance tests: WSAStartup / WSACleanup, the Winsock last error, and
 * every function failing with WSANOTINITIALISED without WSAStartup.  The
 * version table is the one ReactOS's ws2_32 apitest checks on Windows.
 */
#include <gtest/gtest.h>

#include <winsock2.h>
#include <ws2tcpip.h>

#include <cstddef>
#include <cstring>

namespace {

bool IsInitialised()
{
    SOCKET s = socket(AF_INET, SOCK_STREAM, 0);
    if (s == INVALID_SOCKET) {
        EXPECT_EQ(WSAGetLastError(), WSANOTINITIALISED);
        return false;
    }
    closesocket(s);
    return true;
}

struct VersionCase {
    WORD requested;
    bool succeeds;
    WORD granted;
};

const VersionCase kVersions[] = {
    {MAKEWORD(0, 0), false, MAKEWORD(2, 2)},
    {MAKEWORD(0, 9), false, MAKEWORD(2, 2)},
    {MAKEWORD(1, 0), true, MAKEWORD(1, 0)},
    {MAKEWORD(1, 1), true, MAKEWORD(1, 1)},
    {MAKEWORD(1, 2), true, MAKEWORD(1, 1)},
    {MAKEWORD(1, 255), true, MAKEWORD(1, 1)},
    {MAKEWORD(2, 0), true, MAKEWORD(2, 0)},
    {MAKEWORD(2, 1), true, MAKEWORD(2, 1)},
    {MAKEWORD(2, 2), true, MAKEWORD(2, 2)},
    {MAKEWORD(2, 3), true, MAKEWORD(2, 2)},
    {MAKEWORD(2, 255), true, MAKEWORD(2, 2)},
    {MAKEWORD(3, 0), true, MAKEWORD(2, 2)},
    {MAKEWORD(3, 3), true, MAKEWORD(2, 2)},
    {MAKEWORD(255, 255), true, MAKEWORD(2, 2)},
    {2 /* what kellib asks for */, true, MAKEWORD(2, 0)},
};

TEST(WsaStartup, VersionsAreNegotiatedAsWinsockDoes)
{
    for (const VersionCase &c : kVersions) {
        WSADATA data;
        std::memset(&data, 0x55, sizeof data);
        WSASetLastError(0xdead);
        int rc = WSAStartup(c.requested, &data);
        SCOPED_TRACE(testing::Message()
                     << "version " << (int)LOBYTE(c.requested) << "." << (int)HIBYTE(c.requested));
        if (c.succeeds) {
            EXPECT_EQ(rc, 0);
            EXPECT_EQ(WSAGetLastError(), 0);
            EXPECT_TRUE(IsInitialised());
            EXPECT_EQ(WSACleanup(), 0);
        } else {
            EXPECT_EQ(rc, WSAVERNOTSUPPORTED);
            EXPECT_EQ(WSAGetLastError(), 0xdead); // the result is the error
            EXPECT_FALSE(IsInitialised());
        }
        // WSADATA is filled either way.
        EXPECT_EQ(data.wVersion, c.granted);
        EXPECT_EQ(data.wHighVersion, MAKEWORD(2, 2));
        EXPECT_STREQ(data.szDescription, "WinSock 2.0");
        EXPECT_STREQ(data.szSystemStatus, "Running");
        EXPECT_EQ((unsigned char)data.szDescription[12], 0x55u); // the rest is left alone
        const bool legacy = LOBYTE(data.wVersion) < 2;
        EXPECT_EQ(data.iMaxSockets, legacy ? 32767 : 0);
        EXPECT_EQ(data.iMaxUdpDg, legacy ? 65467 : 0);
        EXPECT_EQ(reinterpret_cast<uintptr_t>(data.lpVendorInfo), (uintptr_t)0x5555555555555555ull);
    }
    EXPECT_FALSE(IsInitialised());
}

TEST(WsaStartup, NullDataFailsWithFaultAndDoesNotStart)
{
    EXPECT_EQ(WSAStartup(MAKEWORD(2, 2), nullptr), WSAEFAULT);
    EXPECT_EQ(WSAStartup(0, nullptr), WSAVERNOTSUPPORTED);
    EXPECT_FALSE(IsInitialised());
}

TEST(WsaStartup, StartupsAreCounted)
{
    WSADATA data;
    ASSERT_EQ(WSAStartup(MAKEWORD(2, 2), &data), 0);
    ASSERT_EQ(WSAStartup(MAKEWORD(1, 1), &data), 0);
    EXPECT_EQ(WSACleanup(), 0);
    EXPECT_TRUE(IsInitialised());
    EXPECT_EQ(WSACleanup(), 0);
    EXPECT_FALSE(IsInitialised());
    WSASetLastError(0);
    EXPECT_EQ(WSACleanup(), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSANOTINITIALISED);
}

TEST(WsaStartup, CleanupWithoutStartupFailsWithNotInitialised)
{
    SetLastError(0xdeadbeef);
    EXPECT_EQ(WSACleanup(), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSANOTINITIALISED);
}

TEST(WsaStartup, TheLastCleanupClosesTheSocketsLeftOpen)
{
    WSADATA data;
    ASSERT_EQ(WSAStartup(MAKEWORD(2, 2), &data), 0);
    SOCKET s = socket(AF_INET, SOCK_STREAM, 0);
    ASSERT_NE(s, INVALID_SOCKET);
    ASSERT_EQ(WSACleanup(), 0);
    ASSERT_EQ(WSAStartup(MAKEWORD(2, 2), &data), 0);
    EXPECT_EQ(closesocket(s), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAENOTSOCK);
    WSACleanup();
}

TEST(WsaLastError, SharesTheSlotOfGetLastError)
{
    SetLastError(1234);
    EXPECT_EQ(WSAGetLastError(), 1234);
    WSASetLastError(WSAECONNRESET);
    EXPECT_EQ(GetLastError(), (DWORD)WSAECONNRESET);
}

TEST(WsaNotInitialised, EverySocketFunctionFailsBeforeStartup)
{
    ASSERT_FALSE(IsInitialised());
    const SOCKET s = 0x104;
    char buf[16];
    sockaddr_in sin;
    std::memset(&sin, 0, sizeof sin);
    sin.sin_family = AF_INET;
    int len = sizeof sin;
    u_long arg = 1;
    fd_set set;
    FD_ZERO(&set);
    FD_SET(s, &set);
    timeval tv = {0, 0};
    DWORD textLen = sizeof buf;
    WSAPROTOCOL_INFOA info;
    PADDRINFOA ai = reinterpret_cast<PADDRINFOA>(1);

#define EXPECT_NOT_INITIALISED(call, failure)                                                      \
    do {                                                                                           \
        WSASetLastError(0);                                                                        \
        EXPECT_EQ(call, failure) << #call;                                                         \
        EXPECT_EQ(WSAGetLastError(), WSANOTINITIALISED) << #call;                                  \
    } while (0)

    EXPECT_NOT_INITIALISED(socket(AF_INET, SOCK_STREAM, 0), INVALID_SOCKET);
    EXPECT_NOT_INITIALISED(bind(s, (sockaddr *)&sin, sizeof sin), SOCKET_ERROR);
    EXPECT_NOT_INITIALISED(listen(s, 5), SOCKET_ERROR);
    EXPECT_NOT_INITIALISED(accept(s, nullptr, nullptr), INVALID_SOCKET);
    EXPECT_NOT_INITIALISED(connect(s, (sockaddr *)&sin, sizeof sin), SOCKET_ERROR);
    EXPECT_NOT_INITIALISED(recv(s, buf, sizeof buf, 0), SOCKET_ERROR);
    EXPECT_NOT_INITIALISED(send(s, buf, sizeof buf, 0), SOCKET_ERROR);
    EXPECT_NOT_INITIALISED(shutdown(s, SD_BOTH), SOCKET_ERROR);
    EXPECT_NOT_INITIALISED(closesocket(s), SOCKET_ERROR);
    EXPECT_NOT_INITIALISED(ioctlsocket(s, FIONBIO, &arg), SOCKET_ERROR);
    EXPECT_NOT_INITIALISED(select(0, &set, nullptr, nullptr, &tv), SOCKET_ERROR);
    EXPECT_NOT_INITIALISED(setsockopt(s, SOL_SOCKET, SO_KEEPALIVE, (char *)&arg, 4), SOCKET_ERROR);
    EXPECT_NOT_INITIALISED(getsockopt(s, SOL_SOCKET, SO_KEEPALIVE, buf, &len), SOCKET_ERROR);
    EXPECT_NOT_INITIALISED(getpeername(s, (sockaddr *)&sin, &len), SOCKET_ERROR);
    EXPECT_NOT_INITIALISED(getsockname(s, (sockaddr *)&sin, &len), SOCKET_ERROR);
    EXPECT_NOT_INITIALISED(gethostname(buf, sizeof buf), SOCKET_ERROR);
    EXPECT_NOT_INITIALISED(gethostbyname("localhost"), (hostent *)nullptr);
    EXPECT_NOT_INITIALISED(
        WSAAddressToStringA((LPSOCKADDR)&sin, sizeof sin, nullptr, buf, &textLen), SOCKET_ERROR);
    EXPECT_NOT_INITIALISED(WSAAsyncSelect(s, nullptr, WM_USER, FD_READ), SOCKET_ERROR);
    EXPECT_NOT_INITIALISED(WSADuplicateSocketA(s, 1, &info), SOCKET_ERROR);
    EXPECT_NOT_INITIALISED(WSASocketA(AF_INET, SOCK_STREAM, 0, nullptr, 0, 0), INVALID_SOCKET);
    EXPECT_NOT_INITIALISED(getaddrinfo("127.0.0.1", nullptr, nullptr, &ai), WSANOTINITIALISED);
    EXPECT_EQ(ai, nullptr);
#undef EXPECT_NOT_INITIALISED
}

TEST(WsaNotInitialised, ByteOrderAndAddressTextWorkWithoutStartup)
{
    ASSERT_FALSE(IsInitialised());
    EXPECT_EQ(htons(0x1234), 0x3412);
    EXPECT_EQ(inet_addr("127.0.0.1"), htonl(INADDR_LOOPBACK));
    in_addr in;
    in.s_addr = inet_addr("10.1.2.3");
    EXPECT_STREQ(inet_ntoa(in), "10.1.2.3");
    freeaddrinfo(nullptr);
}

TEST(WsaProtocolInfo, KeepsItsWindowsSizeOf372Bytes)
{
    EXPECT_EQ(sizeof(WSAPROTOCOL_INFOA), 372u);
    EXPECT_EQ(offsetof(WSAPROTOCOL_INFOA, ProviderId), 20u);
    EXPECT_EQ(offsetof(WSAPROTOCOL_INFOA, ProtocolChain), 40u);
    EXPECT_EQ(offsetof(WSAPROTOCOL_INFOA, iVersion), 72u);
    EXPECT_EQ(offsetof(WSAPROTOCOL_INFOA, dwMessageSize), 108u);
    EXPECT_EQ(offsetof(WSAPROTOCOL_INFOA, szProtocol), 116u);
}

TEST(WsaLayouts, StructuresHaveTheirWindowsLayout)
{
    EXPECT_EQ(sizeof(sockaddr), 16u);
    EXPECT_EQ(sizeof(sockaddr_in), 16u);
    EXPECT_EQ(sizeof(sockaddr_in6), 28u);
    EXPECT_EQ(sizeof(in_addr), 4u);
    EXPECT_EQ(sizeof(u_long), 4u);
    EXPECT_EQ(sizeof(timeval), 8u);
    EXPECT_EQ(offsetof(fd_set, fd_array), sizeof(SOCKET)); // u_int count, padded
    EXPECT_LT(offsetof(ADDRINFOA, ai_canonname), offsetof(ADDRINFOA, ai_addr));
    EXPECT_EQ(offsetof(ADDRINFOA, ai_addrlen), 16u);
    EXPECT_EQ(offsetof(ADDRINFOA, ai_canonname), 24u);
    EXPECT_EQ(offsetof(ADDRINFOA, ai_addr), 32u);
    EXPECT_EQ(offsetof(ADDRINFOA, ai_next), 40u);
    EXPECT_EQ(AF_INET6, 23);
}

} // namespace
