/*
 * Conformance tests: select over Windows fd_sets, FD_SET and FD_ISSET.
 */
#include "winsock_fixture.h"

#include <chrono>
#include <thread>

namespace {

using WinsockSelect = WinsockTest;

TEST_F(WinsockSelect, FdSetAddsEachSocketOnceAndFdIsSetFindsIt)
{
    fd_set set;
    FD_ZERO(&set);
    FD_SET((SOCKET)0x104, &set);
    FD_SET((SOCKET)0x108, &set);
    FD_SET((SOCKET)0x104, &set);
    EXPECT_EQ(set.fd_count, 2u);
    EXPECT_TRUE(FD_ISSET((SOCKET)0x108, &set));
    EXPECT_FALSE(FD_ISSET((SOCKET)0x10c, &set));
}

TEST_F(WinsockSelect, ATimeOutReturnsZeroAndEmptiesTheSets)
{
    SOCKET client, server;
    Pair(&client, &server);
    fd_set rd;
    FD_ZERO(&rd);
    FD_SET(server, &rd);
    timeval tv = {0, 50000};
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(select(0, &rd, nullptr, nullptr, &tv), 0);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(45));
    EXPECT_EQ(rd.fd_count, 0u);
}

TEST_F(WinsockSelect, ZeroTimeOutPolls)
{
    SOCKET client, server;
    Pair(&client, &server);
    fd_set rd;
    FD_ZERO(&rd);
    FD_SET(server, &rd);
    timeval tv = {0, 0};
    EXPECT_EQ(select(0, &rd, nullptr, nullptr, &tv), 0);
}

TEST_F(WinsockSelect, DataMakesASocketReadable)
{
    SOCKET client, server;
    Pair(&client, &server);
    send(client, "x", 1, 0);
    fd_set rd;
    FD_ZERO(&rd);
    FD_SET(server, &rd);
    FD_SET(client, &rd);
    timeval tv = {5, 0};
    EXPECT_EQ(select(0, &rd, nullptr, nullptr, &tv), 1);
    EXPECT_EQ(rd.fd_count, 1u);
    EXPECT_TRUE(FD_ISSET(server, &rd));
    EXPECT_FALSE(FD_ISSET(client, &rd));
}

TEST_F(WinsockSelect, APendingConnectionMakesTheListenerReadable)
{
    u_short port;
    SOCKET listener = Listener(&port);
    SOCKET client = Connect(port);
    (void)client;
    fd_set rd;
    FD_ZERO(&rd);
    FD_SET(listener, &rd);
    timeval tv = {5, 0};
    EXPECT_EQ(select(0, &rd, nullptr, nullptr, &tv), 1);
    EXPECT_TRUE(FD_ISSET(listener, &rd));
}

TEST_F(WinsockSelect, TheEndOfTheStreamMakesASocketReadable)
{
    SOCKET client, server;
    Pair(&client, &server);
    closesocket(client);
    EXPECT_TRUE(WaitReadable(server));
    char buf[4];
    EXPECT_EQ(recv(server, buf, sizeof buf, 0), 0);
}

TEST_F(WinsockSelect, EveryReadyEntryCountsOnce)
{
    SOCKET client, server;
    Pair(&client, &server);
    send(client, "x", 1, 0);
    ASSERT_TRUE(WaitReadable(server));
    fd_set rd, wr;
    FD_ZERO(&rd);
    FD_ZERO(&wr);
    FD_SET(server, &rd);
    FD_SET(server, &wr);
    FD_SET(client, &wr);
    timeval tv = {5, 0};
    EXPECT_EQ(select(0, &rd, &wr, nullptr, &tv), 3); // nfds is ignored
    EXPECT_EQ(rd.fd_count, 1u);
    EXPECT_EQ(wr.fd_count, 2u);
}

TEST_F(WinsockSelect, ANullTimeOutWaitsUntilASocketIsReady)
{
    SOCKET client, server;
    Pair(&client, &server);
    std::thread sender([&] {
        Sleep(100);
        send(client, "late", 4, 0);
    });
    fd_set rd;
    FD_ZERO(&rd);
    FD_SET(server, &rd);
    EXPECT_EQ(select(0, &rd, nullptr, nullptr, nullptr), 1);
    sender.join();
}

TEST_F(WinsockSelect, ANonBlockingConnectBecomesWritable)
{
    u_short port;
    SOCKET listener = Listener(&port);
    (void)listener;
    SOCKET s = socket(AF_INET, SOCK_STREAM, 0);
    u_long on = 1;
    ioctlsocket(s, FIONBIO, &on);
    sockaddr_in sin = Loopback(port);
    int rc = connect(s, reinterpret_cast<sockaddr *>(&sin), sizeof sin);
    if (rc == SOCKET_ERROR) {
        EXPECT_EQ(WSAGetLastError(), WSAEWOULDBLOCK); // not WSAEINPROGRESS, as Windows reports it
    }
    fd_set wr, ex;
    FD_ZERO(&wr);
    FD_ZERO(&ex);
    FD_SET(s, &wr);
    FD_SET(s, &ex);
    timeval tv = {5, 0};
    EXPECT_EQ(select(0, nullptr, &wr, &ex, &tv), 1);
    EXPECT_TRUE(FD_ISSET(s, &wr));
    EXPECT_FALSE(FD_ISSET(s, &ex));
    int err = -1, len = sizeof err;
    EXPECT_EQ(getsockopt(s, SOL_SOCKET, SO_ERROR, (char *)&err, &len), 0);
    EXPECT_EQ(err, 0);
}

TEST_F(WinsockSelect, AFailedNonBlockingConnectIsExceptionalNotWritable)
{
    u_short port;
    SOCKET probe = Listener(&port);
    closesocket(probe);
    SOCKET s = socket(AF_INET, SOCK_STREAM, 0);
    u_long on = 1;
    ioctlsocket(s, FIONBIO, &on);
    sockaddr_in sin = Loopback(port);
    WSASetLastError(0);
    EXPECT_EQ(connect(s, reinterpret_cast<sockaddr *>(&sin), sizeof sin), SOCKET_ERROR);
    const int first = WSAGetLastError();
    if (first == WSAECONNREFUSED)
        GTEST_SKIP() << "the refusal was immediate";
    EXPECT_EQ(first, WSAEWOULDBLOCK);
    fd_set wr, ex;
    FD_ZERO(&wr);
    FD_ZERO(&ex);
    FD_SET(s, &wr);
    FD_SET(s, &ex);
    timeval tv = {5, 0};
    EXPECT_EQ(select(0, nullptr, &wr, &ex, &tv), 1);
    EXPECT_TRUE(FD_ISSET(s, &ex));
    EXPECT_FALSE(FD_ISSET(s, &wr));
    int err = 0, len = sizeof err;
    EXPECT_EQ(getsockopt(s, SOL_SOCKET, SO_ERROR, (char *)&err, &len), 0);
    EXPECT_EQ(err, WSAECONNREFUSED);
    EXPECT_EQ(getsockopt(s, SOL_SOCKET, SO_ERROR, (char *)&err, &len), 0);
    EXPECT_EQ(err, 0); // reading SO_ERROR clears it
}

TEST_F(WinsockSelect, NoSocketsAtAllFailsWithInval)
{
    timeval tv = {0, 0};
    WSASetLastError(0);
    EXPECT_EQ(select(0, nullptr, nullptr, nullptr, &tv), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAEINVAL);
    fd_set empty;
    FD_ZERO(&empty);
    WSASetLastError(0);
    EXPECT_EQ(select(0, &empty, &empty, &empty, &tv), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAEINVAL);
}

TEST_F(WinsockSelect, AnUnknownSocketInASetFailsWithNotSock)
{
    fd_set rd;
    FD_ZERO(&rd);
    FD_SET((SOCKET)0x4444, &rd);
    timeval tv = {0, 0};
    WSASetLastError(0);
    EXPECT_EQ(select(0, &rd, nullptr, nullptr, &tv), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAENOTSOCK);
}

TEST_F(WinsockSelect, ANegativeTimeOutFailsWithInval)
{
    SOCKET s = socket(AF_INET, SOCK_STREAM, 0);
    fd_set rd;
    FD_ZERO(&rd);
    FD_SET(s, &rd);
    timeval tv = {-1, 0};
    WSASetLastError(0);
    EXPECT_EQ(select(0, &rd, nullptr, nullptr, &tv), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAEINVAL);
}

} // namespace
