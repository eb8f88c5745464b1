/*
 * Conformance tests: Winsock TCP on loopback: SOCKET values, connect and
 * accept, send and recv, orderly close, resets, refused connections,
 * blocking mode, addresses in use, shutdown.
 */
#include "posix_peer.h"
#include "winsock_fixture.h"

#include <set>
#include <string>
#include <thread>
#include <vector>

namespace {

using WinsockTcp = WinsockTest;

TEST_F(WinsockTcp, SocketValuesAreNeverZeroOrSmallNumbers)
{
    std::set<SOCKET> seen;
    for (int i = 0; i < 8; i++) {
        SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        ASSERT_NE(s, INVALID_SOCKET);
        EXPECT_GE(s, 0x100u);
        EXPECT_TRUE(seen.insert(s).second);
    }
    for (SOCKET s : seen)
        EXPECT_EQ(closesocket(s), 0);
}

TEST_F(WinsockTcp, SocketsAreCloseOnExec)
{
    SOCKET a, b;
    Pair(&a, &b);
    int count = 0;
    EXPECT_TRUE(AllSocketsCloseOnExec(&count));
    EXPECT_GE(count, 2);
}

TEST_F(WinsockTcp, UnknownSocketsFailWithNotSock)
{
    char buf[4];
    for (SOCKET bad : {(SOCKET)0, (SOCKET)1, (SOCKET)0x104, (SOCKET)0x12345, INVALID_SOCKET}) {
        WSASetLastError(0);
        EXPECT_EQ(recv(bad, buf, sizeof buf, 0), SOCKET_ERROR);
        EXPECT_EQ(WSAGetLastError(), WSAENOTSOCK);
        WSASetLastError(0);
        EXPECT_EQ(send(bad, buf, sizeof buf, 0), SOCKET_ERROR);
        EXPECT_EQ(WSAGetLastError(), WSAENOTSOCK);
        WSASetLastError(0);
        EXPECT_EQ(closesocket(bad), SOCKET_ERROR);
        EXPECT_EQ(WSAGetLastError(), WSAENOTSOCK);
        WSASetLastError(0);
        EXPECT_EQ(listen(bad, 1), SOCKET_ERROR);
        EXPECT_EQ(WSAGetLastError(), WSAENOTSOCK);
        WSASetLastError(0);
        EXPECT_EQ(accept(bad, nullptr, nullptr), INVALID_SOCKET);
        EXPECT_EQ(WSAGetLastError(), WSAENOTSOCK);
    }
}

TEST_F(WinsockTcp, ClosingTwiceFailsWithNotSock)
{
    SOCKET s = socket(AF_INET, SOCK_STREAM, 0);
    ASSERT_EQ(closesocket(s), 0);
    WSASetLastError(0);
    EXPECT_EQ(closesocket(s), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAENOTSOCK);
}

TEST_F(WinsockTcp, UnsupportedFamiliesAndTypesFail)
{
    WSASetLastError(0);
    EXPECT_EQ(socket(99, SOCK_STREAM, 0), INVALID_SOCKET);
    EXPECT_EQ(WSAGetLastError(), WSAEAFNOSUPPORT);
    WSASetLastError(0);
    EXPECT_EQ(socket(AF_INET, 99, 0), INVALID_SOCKET);
    EXPECT_EQ(WSAGetLastError(), WSAESOCKTNOSUPPORT);
    WSASetLastError(0);
    EXPECT_EQ(socket(AF_INET, SOCK_STREAM, IPPROTO_UDP), INVALID_SOCKET);
    EXPECT_EQ(WSAGetLastError(), WSAEPROTONOSUPPORT);
}

TEST_F(WinsockTcp, ConnectAcceptAndExchangeData)
{
    u_short port;
    SOCKET listener = Listener(&port);
    SOCKET client = Connect(port);
    sockaddr_in peer;
    int peerLen = sizeof peer;
    SOCKET server = accept(listener, reinterpret_cast<sockaddr *>(&peer), &peerLen);
    ASSERT_NE(server, INVALID_SOCKET);
    EXPECT_EQ(peerLen, (int)sizeof(sockaddr_in));
    EXPECT_EQ(peer.sin_family, AF_INET);
    EXPECT_EQ(peer.sin_addr.s_addr, htonl(INADDR_LOOPBACK));
    EXPECT_EQ(ntohs(peer.sin_port), PortOf(client));

    EXPECT_EQ(send(client, "hello", 5, 0), 5);
    char buf[16] = {};
    EXPECT_EQ(recv(server, buf, sizeof buf, 0), 5);
    EXPECT_STREQ(buf, "hello");
    EXPECT_EQ(send(server, "back", 4, 0), 4);
    EXPECT_EQ(recv(client, buf, sizeof buf, 0), 4);
    EXPECT_EQ(std::string(buf, 4), "back");

    sockaddr_in name;
    int nameLen = sizeof name;
    ASSERT_EQ(getpeername(client, reinterpret_cast<sockaddr *>(&name), &nameLen), 0);
    EXPECT_EQ(ntohs(name.sin_port), port);
}

TEST_F(WinsockTcp, PeekLeavesTheDataInPlace)
{
    SOCKET client, server;
    Pair(&client, &server);
    send(client, "abc", 3, 0);
    char buf[8];
    ASSERT_TRUE(WaitReadable(server));
    EXPECT_EQ(recv(server, buf, sizeof buf, MSG_PEEK), 3);
    EXPECT_EQ(recv(server, buf, sizeof buf, 0), 3);
}

TEST_F(WinsockTcp, UnsupportedRecvFlagsFail)
{
    SOCKET client, server;
    Pair(&client, &server);
    char buf[8];
    WSASetLastError(0);
    EXPECT_EQ(recv(server, buf, sizeof buf, 0x100), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAEOPNOTSUPP);
    WSASetLastError(0);
    EXPECT_EQ(recv(server, nullptr, 8, 0), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAEFAULT);
}

TEST_F(WinsockTcp, AcceptWithAShortAddressBufferFailsWithFault)
{
    u_short port;
    SOCKET listener = Listener(&port);
    SOCKET client = Connect(port);
    (void)client;
    sockaddr_in peer;
    int tooShort = 8;
    WSASetLastError(0);
    EXPECT_EQ(accept(listener, reinterpret_cast<sockaddr *>(&peer), &tooShort), INVALID_SOCKET);
    EXPECT_EQ(WSAGetLastError(), WSAEFAULT);
    EXPECT_NE(accept(listener, nullptr, nullptr), INVALID_SOCKET); // still pending
}

TEST_F(WinsockTcp, OrderlyCloseGivesRecvZero)
{
    SOCKET client, server;
    Pair(&client, &server);
    send(client, "last", 4, 0);
    ASSERT_EQ(closesocket(client), 0);
    char buf[8];
    EXPECT_EQ(recv(server, buf, sizeof buf, 0), 4);
    EXPECT_EQ(recv(server, buf, sizeof buf, 0), 0);
    EXPECT_EQ(recv(server, buf, sizeof buf, 0), 0);
}

TEST_F(WinsockTcp, ShutdownSendEndsThePeersStreamButKeepsReceiving)
{
    SOCKET client, server;
    Pair(&client, &server);
    ASSERT_EQ(shutdown(client, SD_SEND), 0);
    char buf[8];
    EXPECT_EQ(recv(server, buf, sizeof buf, 0), 0);
    EXPECT_EQ(send(server, "ok", 2, 0), 2);
    EXPECT_EQ(recv(client, buf, sizeof buf, 0), 2);
    WSASetLastError(0);
    EXPECT_EQ(send(client, "x", 1, 0), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAESHUTDOWN);
}

TEST_F(WinsockTcp, RecvAfterShutdownReceiveFailsWithShutdown)
{
    SOCKET client, server;
    Pair(&client, &server);
    ASSERT_EQ(shutdown(server, SD_RECEIVE), 0);
    char buf[8];
    WSASetLastError(0);
    EXPECT_EQ(recv(server, buf, sizeof buf, 0), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAESHUTDOWN);
}

TEST_F(WinsockTcp, ShutdownRejectsBadDirectionsAndUnconnectedSockets)
{
    SOCKET client, server;
    Pair(&client, &server);
    WSASetLastError(0);
    EXPECT_EQ(shutdown(client, 3), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAEINVAL);
    SOCKET lone = socket(AF_INET, SOCK_STREAM, 0);
    WSASetLastError(0);
    EXPECT_EQ(shutdown(lone, SD_BOTH), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAENOTCONN);
}

TEST_F(WinsockTcp, UnconnectedSocketsHaveNoPeerAndCannotReceive)
{
    SOCKET s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in sin;
    int len = sizeof sin;
    WSASetLastError(0);
    EXPECT_EQ(getpeername(s, reinterpret_cast<sockaddr *>(&sin), &len), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAENOTCONN);
    char buf[4];
    WSASetLastError(0);
    EXPECT_EQ(recv(s, buf, sizeof buf, 0), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAENOTCONN);
}

TEST_F(WinsockTcp, AnUnboundSocketHasNoName)
{
    SOCKET s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in sin;
    int len = sizeof sin;
    WSASetLastError(0);
    EXPECT_EQ(getsockname(s, reinterpret_cast<sockaddr *>(&sin), &len), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAEINVAL);
}

TEST_F(WinsockTcp, ListenOnAnUnboundSocketFailsWithInval)
{
    SOCKET s = socket(AF_INET, SOCK_STREAM, 0);
    WSASetLastError(0);
    EXPECT_EQ(listen(s, 5), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAEINVAL);
}

TEST_F(WinsockTcp, BindChecksTheAddress)
{
    SOCKET s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in sin = Loopback(0);
    WSASetLastError(0);
    EXPECT_EQ(bind(s, nullptr, sizeof sin), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAEFAULT);
    WSASetLastError(0);
    EXPECT_EQ(bind(s, reinterpret_cast<sockaddr *>(&sin), 8), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAEFAULT);
    sin.sin_family = 99;
    WSASetLastError(0);
    EXPECT_EQ(bind(s, reinterpret_cast<sockaddr *>(&sin), sizeof sin), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAEAFNOSUPPORT);
    sin = Loopback(0);
    EXPECT_EQ(bind(s, reinterpret_cast<sockaddr *>(&sin), sizeof sin), 0);
    WSASetLastError(0);
    EXPECT_EQ(bind(s, reinterpret_cast<sockaddr *>(&sin), sizeof sin), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAEINVAL); // already bound
}

TEST_F(WinsockTcp, ASecondListenerOnAPortInUseFailsWithAddrInUse)
{
    u_short port;
    SOCKET first = Listener(&port);
    (void)first;
    SOCKET second = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in sin = Loopback(port);
    WSASetLastError(0);
    EXPECT_EQ(bind(second, reinterpret_cast<sockaddr *>(&sin), sizeof sin), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAEADDRINUSE);
    // Even when the caller asks for SO_REUSEADDR.
    BOOL on = TRUE;
    EXPECT_EQ(setsockopt(second, SOL_SOCKET, SO_REUSEADDR, (const char *)&on, sizeof on), 0);
    WSASetLastError(0);
    EXPECT_EQ(bind(second, reinterpret_cast<sockaddr *>(&sin), sizeof sin), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAEADDRINUSE);
}

TEST_F(WinsockTcp, ARestartedListenerGetsItsPortWhileOldConnectionsAreInTimeWait)
{
    u_short port;
    SOCKET listener = Listener(&port);
    SOCKET client = Connect(port);
    SOCKET server = accept(listener, nullptr, nullptr);
    ASSERT_NE(server, INVALID_SOCKET);
    closesocket(server); // the server closes first: its side goes to TIME_WAIT
    char buf[4];
    EXPECT_EQ(recv(client, buf, sizeof buf, 0), 0);
    closesocket(client);
    closesocket(listener);

    SOCKET again = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in sin = Loopback(port);
    EXPECT_EQ(bind(again, reinterpret_cast<sockaddr *>(&sin), sizeof sin), 0) << WSAGetLastError();
    EXPECT_EQ(listen(again, 5), 0);
}

TEST_F(WinsockTcp, ConnectingToAClosedPortFailsWithConnRefused)
{
    u_short port;
    SOCKET probe = Listener(&port);
    closesocket(probe); // nothing listens there now
    SOCKET s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in sin = Loopback(port);
    WSASetLastError(0);
    EXPECT_EQ(connect(s, reinterpret_cast<sockaddr *>(&sin), sizeof sin), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAECONNREFUSED);
}

TEST_F(WinsockTcp, ConnectingToTheWildcardAddressFailsWithAddrNotAvail)
{
    u_short port;
    SOCKET listener = Listener(&port);
    (void)listener;
    SOCKET s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in sin = Loopback(port);
    sin.sin_addr.s_addr = INADDR_ANY;
    WSASetLastError(0);
    EXPECT_EQ(connect(s, reinterpret_cast<sockaddr *>(&sin), sizeof sin), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAEADDRNOTAVAIL);
    sin = Loopback(0);
    WSASetLastError(0);
    EXPECT_EQ(connect(s, reinterpret_cast<sockaddr *>(&sin), sizeof sin), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAEADDRNOTAVAIL);
}

TEST_F(WinsockTcp, APeerAbortGivesConnReset)
{
    u_short port;
    SOCKET listener = Listener(&port);
    int peer = PosixConnect(port);
    ASSERT_GE(peer, 0);
    SOCKET server = accept(listener, nullptr, nullptr);
    ASSERT_NE(server, INVALID_SOCKET);
    PosixAbort(peer);
    char buf[8];
    WSASetLastError(0);
    EXPECT_EQ(recv(server, buf, sizeof buf, 0), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAECONNRESET);
}

TEST_F(WinsockTcp, ClosingWithUnreadDataResetsThePeer)
{
    SOCKET client, server;
    Pair(&client, &server);
    ASSERT_EQ(send(client, "unread", 6, 0), 6);
    ASSERT_TRUE(WaitReadable(server));
    closesocket(server); // unread data: the connection is reset, not closed
    char buf[8];
    WSASetLastError(0);
    EXPECT_EQ(recv(client, buf, sizeof buf, 0), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAECONNRESET);
}

TEST_F(WinsockTcp, SendingToAResetConnectionFailsWithoutASignal)
{
    u_short port;
    SOCKET listener = Listener(&port);
    int peer = PosixConnect(port);
    SOCKET server = accept(listener, nullptr, nullptr);
    PosixAbort(peer);
    ASSERT_TRUE(WaitReadable(server));
    int rc = 0;
    for (int i = 0; i < 10 && rc != SOCKET_ERROR; i++)
        rc = send(server, "data", 4, 0); // SIGPIPE would kill the test here
    EXPECT_EQ(rc, SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAECONNRESET);
}

TEST_F(WinsockTcp, NonBlockingRecvWithNothingToReadWouldBlock)
{
    SOCKET client, server;
    Pair(&client, &server);
    u_long on = 1;
    ASSERT_EQ(ioctlsocket(server, FIONBIO, &on), 0);
    char buf[8];
    WSASetLastError(0);
    EXPECT_EQ(recv(server, buf, sizeof buf, 0), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAEWOULDBLOCK);
    send(client, "x", 1, 0);
    ASSERT_TRUE(WaitReadable(server));
    EXPECT_EQ(recv(server, buf, sizeof buf, 0), 1);
    u_long off = 0;
    ASSERT_EQ(ioctlsocket(server, FIONBIO, &off), 0);
    send(client, "y", 1, 0);
    EXPECT_EQ(recv(server, buf, sizeof buf, 0), 1); // blocks until it arrives
}

TEST_F(WinsockTcp, FionreadCountsTheBytesWaiting)
{
    SOCKET client, server;
    Pair(&client, &server);
    u_long n = 99;
    ASSERT_EQ(ioctlsocket(server, FIONREAD, &n), 0);
    EXPECT_EQ(n, 0u);
    send(client, "12345", 5, 0);
    ASSERT_TRUE(WaitReadable(server));
    ASSERT_EQ(ioctlsocket(server, FIONREAD, &n), 0);
    EXPECT_EQ(n, 5u);
}

TEST_F(WinsockTcp, IoctlsocketRejectsUnknownCommandsAndNullArguments)
{
    SOCKET s = socket(AF_INET, SOCK_STREAM, 0);
    u_long arg = 0;
    WSASetLastError(0);
    EXPECT_EQ(ioctlsocket(s, 0x12345, &arg), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAEINVAL);
    WSASetLastError(0);
    EXPECT_EQ(ioctlsocket(s, FIONBIO, nullptr), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAEFAULT);
}

TEST_F(WinsockTcp, NonBlockingAcceptWouldBlockAndTheAcceptedSocketInheritsTheMode)
{
    u_short port;
    SOCKET listener = Listener(&port);
    u_long on = 1;
    ASSERT_EQ(ioctlsocket(listener, FIONBIO, &on), 0);
    WSASetLastError(0);
    EXPECT_EQ(accept(listener, nullptr, nullptr), INVALID_SOCKET);
    EXPECT_EQ(WSAGetLastError(), WSAEWOULDBLOCK);
    SOCKET client = Connect(port);
    (void)client;
    ASSERT_TRUE(WaitReadable(listener));
    SOCKET server = accept(listener, nullptr, nullptr);
    ASSERT_NE(server, INVALID_SOCKET);
    char buf[4];
    WSASetLastError(0);
    EXPECT_EQ(recv(server, buf, sizeof buf, 0), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAEWOULDBLOCK);
}

TEST_F(WinsockTcp, ABlockingSendDeliversEverything)
{
    SOCKET client, server;
    Pair(&client, &server);
    const std::vector<char> big(8 << 20, 'z');
    size_t received = 0;
    std::thread reader([&] {
        std::vector<char> buf(65536);
        int n;
        while ((n = recv(server, buf.data(), static_cast<int>(buf.size()), 0)) > 0)
            received += static_cast<size_t>(n);
    });
    EXPECT_EQ(send(client, big.data(), static_cast<int>(big.size()), 0), (int)big.size());
    shutdown(client, SD_SEND);
    reader.join();
    EXPECT_EQ(received, big.size());
}

TEST_F(WinsockTcp, Ipv6LoopbackWorksToo)
{
    SOCKET listener = socket(AF_INET6, SOCK_STREAM, 0);
    if (listener == INVALID_SOCKET)
        GTEST_SKIP() << "no IPv6 here: " << WSAGetLastError();
    sockaddr_in6 sin6;
    std::memset(&sin6, 0, sizeof sin6);
    sin6.sin6_family = AF_INET6;
    sin6.sin6_addr.u.Byte[15] = 1; // ::1
    if (bind(listener, reinterpret_cast<sockaddr *>(&sin6), sizeof sin6) != 0)
        GTEST_SKIP() << "no IPv6 loopback here: " << WSAGetLastError();
    ASSERT_EQ(listen(listener, 1), 0);
    int len = sizeof sin6;
    ASSERT_EQ(getsockname(listener, reinterpret_cast<sockaddr *>(&sin6), &len), 0);
    EXPECT_EQ(len, 28);
    EXPECT_EQ(sin6.sin6_family, AF_INET6);
    SOCKET client = socket(AF_INET6, SOCK_STREAM, 0);
    ASSERT_EQ(connect(client, reinterpret_cast<sockaddr *>(&sin6), sizeof sin6), 0);
    sockaddr_in shortBuf;
    int shortLen = sizeof shortBuf; // too short for an IPv6 peer
    WSASetLastError(0);
    EXPECT_EQ(accept(listener, reinterpret_cast<sockaddr *>(&shortBuf), &shortLen), INVALID_SOCKET);
    EXPECT_EQ(WSAGetLastError(), WSAEFAULT);
}

/* Known gap until the runtime (windows, message queues, cross-process
 * endpoints) arrives. */
TEST_F(WinsockTcp, AsyncSelectAndDuplicationCheckTheirSocket)
{
    // Their behaviour is tested with windows and child processes in
    // tests/user (async_select_test.cpp, handoff_test.cpp).
    WSASetLastError(0);
    EXPECT_EQ(WSAAsyncSelect(0x9999, nullptr, WM_USER, FD_READ), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAENOTSOCK);
    WSAPROTOCOL_INFOA info;
    WSASetLastError(0);
    EXPECT_EQ(WSADuplicateSocketA(0x9999, 1, &info), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAENOTSOCK);
}

TEST_F(WinsockTcp, WsaSocketWithoutProtocolInfoIsSocket)
{
    SOCKET s = WSASocketA(AF_INET, SOCK_STREAM, IPPROTO_TCP, nullptr, 0, WSA_FLAG_OVERLAPPED);
    ASSERT_NE(s, INVALID_SOCKET);
    sockaddr_in sin = Loopback(0);
    EXPECT_EQ(bind(s, reinterpret_cast<sockaddr *>(&sin), sizeof sin), 0);
    EXPECT_EQ(closesocket(s), 0);
}

} // namespace
