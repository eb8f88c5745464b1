/*
 * The Winsock test fixture: Winsock started for the test (and cleaned up,
 * which closes every socket left), a scratch root, and helpers for loopback
 * listeners and connected pairs on ephemeral ports.  Tests only.
 */
#ifndef WINPORT_TESTS_WINSOCK_FIXTURE_H
#define WINPORT_TESTS_WINSOCK_FIXTURE_H

#include <gtest/gtest.h>

#include "scratch_root.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <cstring>

class WinsockTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        WSADATA data;
        ASSERT_EQ(WSAStartup(MAKEWORD(2, 2), &data), 0);
    }
    void TearDown() override { WSACleanup(); }

    static sockaddr_in Loopback(u_short port)
    {
        sockaddr_in sin;
        std::memset(&sin, 0, sizeof sin);
        sin.sin_family = AF_INET;
        sin.sin_port = htons(port);
        sin.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        return sin;
    }

    static u_short PortOf(SOCKET s)
    {
        sockaddr_in sin;
        int len = sizeof sin;
        if (getsockname(s, reinterpret_cast<sockaddr *>(&sin), &len) != 0)
            return 0;
        return ntohs(sin.sin_port);
    }

    /* A listening socket on 127.0.0.1 with an ephemeral port. */
    static SOCKET Listener(u_short *port)
    {
        SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        sockaddr_in sin = Loopback(0);
        EXPECT_NE(s, INVALID_SOCKET);
        EXPECT_EQ(bind(s, reinterpret_cast<sockaddr *>(&sin), sizeof sin), 0);
        EXPECT_EQ(listen(s, SOMAXCONN), 0);
        *port = PortOf(s);
        EXPECT_NE(*port, 0);
        return s;
    }

    /* A blocking client connected to 127.0.0.1:port. */
    static SOCKET Connect(u_short port)
    {
        SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        sockaddr_in sin = Loopback(port);
        EXPECT_EQ(connect(s, reinterpret_cast<sockaddr *>(&sin), sizeof sin), 0)
            << WSAGetLastError();
        return s;
    }

    /* A connected pair: *client connected to *server (accepted). */
    static void Pair(SOCKET *client, SOCKET *server)
    {
        u_short port;
        SOCKET listener = Listener(&port);
        *client = Connect(port);
        *server = accept(listener, nullptr, nullptr);
        EXPECT_NE(*server, INVALID_SOCKET);
        closesocket(listener);
    }

    /* Waits until the socket is readable (or 5 s pass). */
    static bool WaitReadable(SOCKET s, LONG ms = 5000)
    {
        fd_set set;
        FD_ZERO(&set);
        FD_SET(s, &set);
        timeval tv = {ms / 1000, (ms % 1000) * 1000};
        return select(0, &set, nullptr, nullptr, &tv) == 1;
    }

    ScratchRoot root_;
};

#endif
