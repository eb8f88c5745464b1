/*
 * Conformance tests: WSAAsyncSelect.  Network events arrive as window
 * messages with Winsock's re-enabling rules: one FD_READ per arrival until
 * recv, FD_ACCEPT again after accept, FD_CONNECT and FD_CLOSE once, FD_WRITE
 * after a connection is made; a mask of 0 stops them.
 */
#include "user_test_util.h"

#include "posix_peer.h"

#include <winsock2.h>

#include <cstring>

namespace {

constexpr UINT kSocketMsg = WM_USER + 7;

struct Event {
    SOCKET s;
    WORD event;
    WORD error;
};

std::vector<Event> g_events;

LRESULT CALLBACK SocketProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp)
{
    if (msg == kSocketMsg) {
        g_events.push_back(
            Event{static_cast<SOCKET>(wp), WSAGETSELECTEVENT(lp), WSAGETSELECTERROR(lp)});
        return 0;
    }
    return DefWindowProcA(hwnd, msg, wp, lp);
}

class AsyncSelect : public UserTest {
protected:
    void SetUp() override
    {
        UserTest::SetUp();
        WSADATA data;
        ASSERT_EQ(WSAStartup(MAKEWORD(2, 2), &data), 0);
        g_events.clear();
        ASSERT_NE(Register("SocketWindow", SocketProc), 0);
        hwnd_ = Create("SocketWindow");
        ASSERT_NE(hwnd_, nullptr);
    }
    void TearDown() override
    {
        WSACleanup();
        UserTest::TearDown();
    }

    static sockaddr_in Loopback(u_short port)
    {
        sockaddr_in sin;
        std::memset(&sin, 0, sizeof sin);
        sin.sin_family = AF_INET;
        sin.sin_port = htons(port);
        sin.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        return sin;
    }

    static SOCKET Listener(u_short *port)
    {
        SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        sockaddr_in sin = Loopback(0);
        EXPECT_EQ(bind(s, reinterpret_cast<sockaddr *>(&sin), sizeof sin), 0);
        EXPECT_EQ(listen(s, 8), 0);
        int len = sizeof sin;
        getsockname(s, reinterpret_cast<sockaddr *>(&sin), &len);
        *port = ntohs(sin.sin_port);
        return s;
    }

    /* The events of socket `s` seen so far, in order. */
    static std::vector<WORD> EventsOf(SOCKET s)
    {
        std::vector<WORD> out;
        for (const Event &e : g_events)
            if (e.s == s)
                out.push_back(e.event);
        return out;
    }

    static bool WaitForEvents(SOCKET s, size_t count, int ms = 10000)
    {
        return PumpUntil([&] { return EventsOf(s).size() >= count; }, ms);
    }

    /* A listener selected for FD_ACCEPT|FD_READ|FD_CLOSE and a connected
     * pair: *server (accepted, inheriting the selection) and a POSIX peer. */
    void AcceptedPair(SOCKET *server, int *peer)
    {
        u_short port;
        listener_ = Listener(&port);
        ASSERT_EQ(WSAAsyncSelect(listener_, hwnd_, kSocketMsg, FD_ACCEPT | FD_READ | FD_CLOSE), 0);
        *peer = PosixConnect(port);
        ASSERT_GE(*peer, 0);
        ASSERT_TRUE(WaitForEvents(listener_, 1));
        EXPECT_EQ(EventsOf(listener_), std::vector<WORD>{FD_ACCEPT});
        *server = accept(listener_, nullptr, nullptr);
        ASSERT_NE(*server, INVALID_SOCKET);
    }

    HWND hwnd_ = nullptr;
    SOCKET listener_ = INVALID_SOCKET;
};

TEST_F(AsyncSelect, AcceptThenOneReadPerArrivalUntilRecv)
{
    SOCKET server;
    int peer;
    AcceptedPair(&server, &peer);
    ASSERT_TRUE(PosixSendAll(peer, "ab", 2));
    ASSERT_TRUE(WaitForEvents(server, 1));
    ASSERT_TRUE(PosixSendAll(peer, "cd", 2));
    PumpFor(300);
    EXPECT_EQ(EventsOf(server), std::vector<WORD>{FD_READ}); // not again before recv
    char buf[8];
    EXPECT_EQ(recv(server, buf, 1, 0), 1); // data is left: FD_READ comes again
    ASSERT_TRUE(WaitForEvents(server, 2));
    EXPECT_EQ(recv(server, buf, sizeof buf, 0), 3);
    PumpFor(200);
    EXPECT_EQ(EventsOf(server), (std::vector<WORD>{FD_READ, FD_READ}));
    PosixClose(peer);
}

TEST_F(AsyncSelect, CloseComesOnceAfterThePeerCloses)
{
    SOCKET server;
    int peer;
    AcceptedPair(&server, &peer);
    PosixClose(peer);
    ASSERT_TRUE(WaitForEvents(server, 1));
    char buf[4];
    EXPECT_EQ(recv(server, buf, sizeof buf, 0), 0);
    PumpFor(300);
    ASSERT_EQ(EventsOf(server), std::vector<WORD>{FD_CLOSE});
    EXPECT_EQ(g_events.back().error, 0);
}

TEST_F(AsyncSelect, CloseWaitsUntilTheDataIsRead)
{
    SOCKET server;
    int peer;
    AcceptedPair(&server, &peer);
    ASSERT_TRUE(PosixSendAll(peer, "xyz", 3));
    PosixClose(peer);
    ASSERT_TRUE(WaitForEvents(server, 1));
    PumpFor(200);
    EXPECT_EQ(EventsOf(server), std::vector<WORD>{FD_READ});
    char buf[8];
    EXPECT_EQ(recv(server, buf, sizeof buf, 0), 3);
    ASSERT_TRUE(WaitForEvents(server, 2));
    EXPECT_EQ(EventsOf(server), (std::vector<WORD>{FD_READ, FD_CLOSE}));
}

TEST_F(AsyncSelect, AResetIsAnFdCloseWithConnReset)
{
    SOCKET server;
    int peer;
    AcceptedPair(&server, &peer);
    PosixAbort(peer);
    ASSERT_TRUE(WaitForEvents(server, 1));
    ASSERT_EQ(EventsOf(server), std::vector<WORD>{FD_CLOSE});
    EXPECT_EQ(g_events.back().error, WSAECONNRESET);
    char buf[4];
    EXPECT_EQ(recv(server, buf, sizeof buf, 0), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAECONNRESET);
}

TEST_F(AsyncSelect, AMaskOfZeroStopsEventsAndLeavesTheSocketNonBlocking)
{
    SOCKET server;
    int peer;
    AcceptedPair(&server, &peer);
    ASSERT_EQ(WSAAsyncSelect(server, hwnd_, 0, 0), 0);
    ASSERT_TRUE(PosixSendAll(peer, "q", 1));
    PosixClose(peer);
    PumpFor(300);
    EXPECT_TRUE(EventsOf(server).empty());
    SOCKET other;
    u_short port;
    SOCKET l2 = Listener(&port);
    int peer2 = PosixConnect(port);
    other = accept(l2, nullptr, nullptr);
    ASSERT_EQ(WSAAsyncSelect(other, hwnd_, 0, 0), 0);
    char buf[4];
    WSASetLastError(0);
    EXPECT_EQ(recv(other, buf, sizeof buf, 0), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAEWOULDBLOCK);
    PosixClose(peer2);
}

TEST_F(AsyncSelect, ClosesocketStopsEvents)
{
    SOCKET server;
    int peer;
    AcceptedPair(&server, &peer);
    ASSERT_EQ(closesocket(server), 0);
    ASSERT_TRUE(PosixSendAll(peer, "q", 1));
    PumpFor(200);
    EXPECT_TRUE(EventsOf(server).empty());
    PosixClose(peer);
}

TEST_F(AsyncSelect, ConnectThenWrite)
{
    u_short port;
    SOCKET l = Listener(&port);
    SOCKET client = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    ASSERT_EQ(WSAAsyncSelect(client, hwnd_, kSocketMsg, FD_CONNECT | FD_WRITE | FD_READ), 0);
    sockaddr_in sin = Loopback(port);
    int rc = connect(client, reinterpret_cast<sockaddr *>(&sin), sizeof sin);
    EXPECT_TRUE(rc == 0 || WSAGetLastError() == WSAEWOULDBLOCK);
    ASSERT_TRUE(WaitForEvents(client, 2));
    PumpFor(100);
    EXPECT_EQ(EventsOf(client), (std::vector<WORD>{FD_CONNECT, FD_WRITE}));
    EXPECT_EQ(g_events.front().error, 0);
    closesocket(l);
}

TEST_F(AsyncSelect, AFailedConnectReportsItsError)
{
    u_short port;
    SOCKET l = Listener(&port);
    closesocket(l); // nobody listens there now
    SOCKET client = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    ASSERT_EQ(WSAAsyncSelect(client, hwnd_, kSocketMsg, FD_CONNECT | FD_CLOSE), 0);
    sockaddr_in sin = Loopback(port);
    connect(client, reinterpret_cast<sockaddr *>(&sin), sizeof sin);
    ASSERT_TRUE(WaitForEvents(client, 1));
    PumpFor(200);
    ASSERT_EQ(EventsOf(client), std::vector<WORD>{FD_CONNECT});
    EXPECT_EQ(g_events.front().error, WSAECONNREFUSED);
}

TEST_F(AsyncSelect, AnEventThatAlreadyHappenedIsReportedAtSelection)
{
    u_short port;
    SOCKET l = Listener(&port);
    int peer = PosixConnect(port);
    SOCKET server = accept(l, nullptr, nullptr);
    ASSERT_TRUE(PosixSendAll(peer, "hi", 2));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    ASSERT_EQ(WSAAsyncSelect(server, hwnd_, kSocketMsg, FD_READ | FD_WRITE), 0);
    ASSERT_TRUE(WaitForEvents(server, 2));
    std::vector<WORD> events = EventsOf(server);
    EXPECT_NE(std::find(events.begin(), events.end(), FD_READ), events.end());
    EXPECT_NE(std::find(events.begin(), events.end(), FD_WRITE), events.end());
    PosixClose(peer);
}

TEST_F(AsyncSelect, BadArgumentsFail)
{
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    WSASetLastError(0);
    EXPECT_EQ(WSAAsyncSelect(s, reinterpret_cast<HWND>(0x5555), kSocketMsg, FD_READ), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAEINVAL);
    WSASetLastError(0);
    EXPECT_EQ(WSAAsyncSelect(0x9999, hwnd_, kSocketMsg, FD_READ), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAENOTSOCK);
    closesocket(s);
}

} // namespace
