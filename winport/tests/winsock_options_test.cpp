/*
 * Conformance tests: setsockopt / getsockopt for the options winsock2.h
 * lists.
 */
#include "winsock_fixture.h"

namespace {

using SockOpt = WinsockTest;

int GetInt(SOCKET s, int level, int name)
{
    int value = -1, len = sizeof value;
    EXPECT_EQ(getsockopt(s, level, name, (char *)&value, &len), 0) << WSAGetLastError();
    EXPECT_EQ(len, (int)sizeof value);
    return value;
}

TEST_F(SockOpt, BooleanOptionsReadBackWhatWasSet)
{
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    const struct {
        int level, name;
    } options[] = {
        {IPPROTO_TCP, TCP_NODELAY}, {SOL_SOCKET, SO_KEEPALIVE}, {SOL_SOCKET, SO_REUSEADDR}};
    for (auto o : options) {
        EXPECT_EQ(GetInt(s, o.level, o.name), 0);
        BOOL on = TRUE;
        EXPECT_EQ(setsockopt(s, o.level, o.name, (const char *)&on, sizeof on), 0);
        EXPECT_EQ(GetInt(s, o.level, o.name), 1);
        BOOL off = FALSE;
        EXPECT_EQ(setsockopt(s, o.level, o.name, (const char *)&off, sizeof off), 0);
        EXPECT_EQ(GetInt(s, o.level, o.name), 0);
    }
}

TEST_F(SockOpt, BooleanOptionsAcceptASingleByte)
{
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    char on = 1;
    EXPECT_EQ(setsockopt(s, IPPROTO_TCP, TCP_NODELAY, &on, 1), 0);
    EXPECT_EQ(GetInt(s, IPPROTO_TCP, TCP_NODELAY), 1);
}

TEST_F(SockOpt, BufferSizesReadBackAsSet)
{
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    int size = 65536;
    EXPECT_EQ(setsockopt(s, SOL_SOCKET, SO_RCVBUF, (const char *)&size, sizeof size), 0);
    EXPECT_EQ(GetInt(s, SOL_SOCKET, SO_RCVBUF), 65536);
    size = 32768;
    EXPECT_EQ(setsockopt(s, SOL_SOCKET, SO_SNDBUF, (const char *)&size, sizeof size), 0);
    EXPECT_EQ(GetInt(s, SOL_SOCKET, SO_SNDBUF), 32768);
}

TEST_F(SockOpt, SoErrorIsZeroOnAHealthySocketAndReadOnly)
{
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    EXPECT_EQ(GetInt(s, SOL_SOCKET, SO_ERROR), 0);
    int v = 1;
    WSASetLastError(0);
    EXPECT_EQ(setsockopt(s, SOL_SOCKET, SO_ERROR, (const char *)&v, sizeof v), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAENOPROTOOPT);
}

TEST_F(SockOpt, UnknownOptionsAndLevelsFail)
{
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    int v = 1, len = sizeof v;
    WSASetLastError(0);
    EXPECT_EQ(setsockopt(s, SOL_SOCKET, 0x7777, (const char *)&v, sizeof v), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAENOPROTOOPT);
    WSASetLastError(0);
    EXPECT_EQ(getsockopt(s, IPPROTO_TCP, 0x7777, (char *)&v, &len), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAENOPROTOOPT);
    WSASetLastError(0);
    EXPECT_EQ(setsockopt(s, 999, SO_KEEPALIVE, (const char *)&v, sizeof v), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAEINVAL);
}

TEST_F(SockOpt, ShortOrMissingBuffersFailWithFault)
{
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    int v = 4096, len = 2;
    WSASetLastError(0);
    EXPECT_EQ(getsockopt(s, SOL_SOCKET, SO_RCVBUF, (char *)&v, &len), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAEFAULT);
    WSASetLastError(0);
    EXPECT_EQ(setsockopt(s, SOL_SOCKET, SO_RCVBUF, (const char *)&v, 2), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAEFAULT);
    WSASetLastError(0);
    EXPECT_EQ(setsockopt(s, SOL_SOCKET, SO_KEEPALIVE, nullptr, 4), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAEFAULT);
    WSASetLastError(0);
    EXPECT_EQ(getsockopt(s, SOL_SOCKET, SO_KEEPALIVE, (char *)&v, nullptr), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAEFAULT);
}

TEST_F(SockOpt, AnUnknownSocketFailsWithNotSock)
{
    int v = 1, len = sizeof v;
    WSASetLastError(0);
    EXPECT_EQ(setsockopt(0x4444, SOL_SOCKET, SO_KEEPALIVE, (const char *)&v, sizeof v),
              SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAENOTSOCK);
    WSASetLastError(0);
    EXPECT_EQ(getsockopt(0x4444, SOL_SOCKET, SO_KEEPALIVE, (char *)&v, &len), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAENOTSOCK);
}

} // namespace
