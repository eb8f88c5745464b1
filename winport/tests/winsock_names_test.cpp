/*
 * Conformance tests: host names, getaddrinfo in the Windows layout,
 * gethostbyname, byte order, inet_addr / inet_ntoa, WSAAddressToStringA.
 */
#include "winsock_fixture.h"

#include <string>
#include <thread>
#include <unistd.h>

namespace {

using WinsockNames = WinsockTest;

TEST_F(WinsockNames, GethostnameGivesTheHostName)
{
    char expected[256] = {};
    ::gethostname(expected, sizeof expected - 1);
    char name[256];
    ASSERT_EQ(gethostname(name, sizeof name), 0);
    EXPECT_STREQ(name, expected);
}

TEST_F(WinsockNames, GethostnameWithoutRoomForTheNulFailsWithFault)
{
    char expected[256] = {};
    ::gethostname(expected, sizeof expected - 1);
    const int len = static_cast<int>(std::string(expected).size());
    char name[256];
    WSASetLastError(0);
    EXPECT_EQ(gethostname(name, len), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAEFAULT);
    WSASetLastError(0);
    EXPECT_EQ(gethostname(nullptr, 256), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAEFAULT);
    EXPECT_EQ(gethostname(name, len + 1), 0);
}

TEST_F(WinsockNames, ByteOrderFunctionsSwapToBigEndian)
{
    EXPECT_EQ(htons(0x1234), 0x3412);
    EXPECT_EQ(ntohs(0x3412), 0x1234);
    EXPECT_EQ(htonl(0x01020304u), 0x04030201u);
    EXPECT_EQ(ntohl(0x04030201u), 0x01020304u);
}

TEST_F(WinsockNames, InetAddrParsesTheBsdForms)
{
    const struct {
        const char *text;
        u_long host;
    } good[] = {
        {"127.0.0.1", 0x7f000001},        {"1.2.3.4", 0x01020304},
        {"0x7f.1", 0x7f000001},           {"10.1.258", 0x0a010102},
        {"0177.0.0.1", 0x7f000001},       {"2130706433", 0x7f000001},
        {"1.2.3.4 trailing", 0x01020304}, {"0.0.0.0", 0},
    };
    for (auto &g : good)
        EXPECT_EQ(inet_addr(g.text), (unsigned long)htonl(g.host)) << g.text;
}

TEST_F(WinsockNames, InetAddrRejectsBadTextWithInaddrNone)
{
    for (const char *bad : {"", "abc", "256.1.1.1", "1.2.3.4.5", "1..2", "1.2.3.", "08.1.1.1",
                            "1.2.3.4x", "-1.2.3.4", "1.256.3.4"})
        EXPECT_EQ(inet_addr(bad), (unsigned long)INADDR_NONE) << bad;
    EXPECT_EQ(inet_addr(nullptr), (unsigned long)INADDR_NONE);
}

TEST_F(WinsockNames, InetNtoaRoundTripsInetAddr)
{
    in_addr in;
    in.s_addr = inet_addr("192.168.10.200");
    EXPECT_STREQ(inet_ntoa(in), "192.168.10.200");
    in.s_addr = htonl(INADDR_LOOPBACK);
    EXPECT_STREQ(inet_ntoa(in), "127.0.0.1");
}

TEST_F(WinsockNames, InetNtoaHasABufferPerThread)
{
    in_addr a;
    a.s_addr = inet_addr("1.1.1.1");
    char *mine = inet_ntoa(a);
    char *theirs = nullptr;
    std::thread t([&] {
        in_addr b;
        b.s_addr = inet_addr("2.2.2.2");
        theirs = inet_ntoa(b);
    });
    t.join();
    EXPECT_NE(mine, theirs);
    EXPECT_STREQ(mine, "1.1.1.1");
}

TEST_F(WinsockNames, GetaddrinfoFillsTheWindowsLayout)
{
    ADDRINFOA hints;
    std::memset(&hints, 0, sizeof hints);
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    PADDRINFOA ai = nullptr;
    ASSERT_EQ(getaddrinfo("127.0.0.1", "13001", &hints, &ai), 0);
    ASSERT_NE(ai, nullptr);
    EXPECT_EQ(ai->ai_family, AF_INET);
    EXPECT_EQ(ai->ai_socktype, SOCK_STREAM);
    EXPECT_EQ(ai->ai_protocol, IPPROTO_TCP);
    EXPECT_EQ(ai->ai_addrlen, sizeof(sockaddr_in));
    EXPECT_EQ(ai->ai_canonname, nullptr);
    ASSERT_NE(ai->ai_addr, nullptr);
    const auto *sin = reinterpret_cast<const sockaddr_in *>(ai->ai_addr);
    EXPECT_EQ(sin->sin_family, AF_INET);
    EXPECT_EQ(sin->sin_port, htons(13001));
    EXPECT_EQ(sin->sin_addr.s_addr, htonl(INADDR_LOOPBACK));
    EXPECT_EQ(ai->ai_next, nullptr);
    freeaddrinfo(ai);
}

TEST_F(WinsockNames, GetaddrinfoWithoutHintsListsEachAddressOnce)
{
    PADDRINFOA ai = nullptr;
    ASSERT_EQ(getaddrinfo("127.0.0.1", nullptr, nullptr, &ai), 0);
    ASSERT_NE(ai, nullptr);
    EXPECT_EQ(ai->ai_socktype, 0);
    EXPECT_EQ(ai->ai_protocol, 0);
    EXPECT_EQ(ai->ai_next, nullptr);
    freeaddrinfo(ai);
}

TEST_F(WinsockNames, GetaddrinfoPassiveGivesTheWildcardAddress)
{
    ADDRINFOA hints;
    std::memset(&hints, 0, sizeof hints);
    hints.ai_flags = AI_PASSIVE;
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    PADDRINFOA ai = nullptr;
    ASSERT_EQ(getaddrinfo(nullptr, "13002", &hints, &ai), 0);
    const auto *sin = reinterpret_cast<const sockaddr_in *>(ai->ai_addr);
    EXPECT_EQ(sin->sin_addr.s_addr, INADDR_ANY);
    EXPECT_EQ(ntohs(sin->sin_port), 13002);
    freeaddrinfo(ai);
}

TEST_F(WinsockNames, GetaddrinfoGivesIpv6InTheWindowsNumbering)
{
    ADDRINFOA hints;
    std::memset(&hints, 0, sizeof hints);
    hints.ai_flags = AI_NUMERICHOST;
    hints.ai_family = AF_INET6;
    PADDRINFOA ai = nullptr;
    ASSERT_EQ(getaddrinfo("::1", "80", &hints, &ai), 0);
    EXPECT_EQ(ai->ai_family, 23);
    EXPECT_EQ(ai->ai_addrlen, 28u);
    const auto *sin6 = reinterpret_cast<const sockaddr_in6 *>(ai->ai_addr);
    EXPECT_EQ(sin6->sin6_family, 23);
    EXPECT_EQ(ntohs(sin6->sin6_port), 80);
    EXPECT_EQ(sin6->sin6_addr.u.Byte[15], 1);
    freeaddrinfo(ai);
}

TEST_F(WinsockNames, GetaddrinfoCanonicalNameComesWithTheFirstEntry)
{
    ADDRINFOA hints;
    std::memset(&hints, 0, sizeof hints);
    hints.ai_flags = AI_CANONNAME;
    hints.ai_family = AF_INET;
    PADDRINFOA ai = nullptr;
    ASSERT_EQ(getaddrinfo("localhost", nullptr, &hints, &ai), 0);
    ASSERT_NE(ai->ai_canonname, nullptr);
    EXPECT_STRNE(ai->ai_canonname, "");
    freeaddrinfo(ai);
}

TEST_F(WinsockNames, GetaddrinfoResultConnects)
{
    u_short port;
    SOCKET listener = Listener(&port);
    (void)listener;
    ADDRINFOA hints;
    std::memset(&hints, 0, sizeof hints);
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    PADDRINFOA ai = nullptr;
    ASSERT_EQ(getaddrinfo("127.0.0.1", std::to_string(port).c_str(), &hints, &ai), 0);
    SOCKET s = socket(ai->ai_family, ai->ai_socktype, ai->ai_protocol);
    EXPECT_EQ(connect(s, ai->ai_addr, static_cast<int>(ai->ai_addrlen)), 0);
    freeaddrinfo(ai);
}

TEST_F(WinsockNames, GetaddrinfoOfAnEmptyNameListsThisComputersAddresses)
{
    char name[256];
    ASSERT_EQ(gethostname(name, sizeof name), 0);
    ADDRINFOA hints;
    std::memset(&hints, 0, sizeof hints);
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    PADDRINFOA byName = nullptr, empty = nullptr;
    if (getaddrinfo(name, nullptr, &hints, &byName) != 0)
        GTEST_SKIP() << "this host's name does not resolve here: " << WSAGetLastError();
    ASSERT_EQ(getaddrinfo("", "", &hints, &empty), 0) << WSAGetLastError();
    PADDRINFOA a = byName, b = empty;
    for (; a && b; a = a->ai_next, b = b->ai_next) {
        ASSERT_EQ(b->ai_family, AF_INET);
        const auto *sa = reinterpret_cast<sockaddr_in *>(a->ai_addr);
        const auto *sb = reinterpret_cast<sockaddr_in *>(b->ai_addr);
        EXPECT_EQ(sa->sin_addr.s_addr, sb->sin_addr.s_addr);
        EXPECT_EQ(sb->sin_port, 0) << "an empty service is no port";
    }
    EXPECT_EQ(a, nullptr);
    EXPECT_EQ(b, nullptr);
    freeaddrinfo(byName);
    freeaddrinfo(empty);
}

TEST_F(WinsockNames, GetaddrinfoFailuresAreWinsockCodes)
{
    ADDRINFOA hints;
    std::memset(&hints, 0, sizeof hints);
    hints.ai_flags = AI_NUMERICHOST;
    PADDRINFOA ai = reinterpret_cast<PADDRINFOA>(1);
    EXPECT_EQ(getaddrinfo("not an address", nullptr, &hints, &ai), WSAHOST_NOT_FOUND);
    EXPECT_EQ(WSAGetLastError(), WSAHOST_NOT_FOUND);
    EXPECT_EQ(ai, nullptr);
    EXPECT_EQ(getaddrinfo(nullptr, nullptr, nullptr, &ai), WSAHOST_NOT_FOUND);

    std::memset(&hints, 0, sizeof hints);
    hints.ai_family = 99;
    EXPECT_EQ(getaddrinfo("127.0.0.1", nullptr, &hints, &ai), WSAEAFNOSUPPORT);
    std::memset(&hints, 0, sizeof hints);
    hints.ai_flags = 0x10000;
    EXPECT_EQ(getaddrinfo("127.0.0.1", nullptr, &hints, &ai), WSAEINVAL);
    std::memset(&hints, 0, sizeof hints);
    hints.ai_socktype = SOCK_STREAM;
    EXPECT_EQ(getaddrinfo("127.0.0.1", "no-such-service", &hints, &ai), WSATYPE_NOT_FOUND);
    std::memset(&hints, 0, sizeof hints);
    sockaddr_in junk;
    hints.ai_addr = reinterpret_cast<sockaddr *>(&junk); // hints carry only flags and kinds
    EXPECT_EQ(getaddrinfo("127.0.0.1", nullptr, &hints, &ai), WSANO_RECOVERY);
    EXPECT_EQ(getaddrinfo("127.0.0.1", nullptr, nullptr, nullptr), WSAEINVAL);
}

TEST_F(WinsockNames, GethostbynameGivesIpv4Addresses)
{
    hostent *h = gethostbyname("127.0.0.1");
    ASSERT_NE(h, nullptr);
    EXPECT_STREQ(h->h_name, "127.0.0.1");
    EXPECT_EQ(h->h_addrtype, AF_INET);
    EXPECT_EQ(h->h_length, 4);
    ASSERT_NE(h->h_aliases, nullptr);
    EXPECT_EQ(h->h_aliases[0], nullptr);
    ASSERT_NE(h->h_addr_list[0], nullptr);
    in_addr a;
    std::memcpy(&a, h->h_addr_list[0], 4);
    EXPECT_STREQ(inet_ntoa(a), "127.0.0.1");
    EXPECT_EQ(h->h_addr_list[1], nullptr);

    h = gethostbyname("localhost");
    ASSERT_NE(h, nullptr);
    std::memcpy(&a, h->h_addr, 4);
    EXPECT_EQ(ntohl(a.s_addr) >> 24, 127u);
}

TEST_F(WinsockNames, GethostbynameOfNullIsThisHost)
{
    hostent *h = gethostbyname(nullptr);
    if (!h)
        GTEST_SKIP() << "this host's name does not resolve here: " << WSAGetLastError();
    EXPECT_EQ(h->h_addrtype, AF_INET);
    EXPECT_NE(h->h_addr_list[0], nullptr);
}

TEST_F(WinsockNames, GethostbynameOfAnUnknownHostFails)
{
    WSASetLastError(0);
    EXPECT_EQ(gethostbyname("no-such-host.invalid"), nullptr);
    const int err = WSAGetLastError();
    EXPECT_TRUE(err == WSAHOST_NOT_FOUND || err == WSATRY_AGAIN || err == WSANO_DATA) << err;
}

TEST_F(WinsockNames, AddressToStringGivesHostAndPort)
{
    sockaddr_in sin = Loopback(13001);
    char text[64];
    DWORD len = sizeof text;
    ASSERT_EQ(
        WSAAddressToStringA(reinterpret_cast<LPSOCKADDR>(&sin), sizeof sin, nullptr, text, &len),
        0);
    EXPECT_STREQ(text, "127.0.0.1:13001");
    EXPECT_EQ(len, 16u); // with the NUL
    sin.sin_port = 0;
    len = sizeof text;
    ASSERT_EQ(
        WSAAddressToStringA(reinterpret_cast<LPSOCKADDR>(&sin), sizeof sin, nullptr, text, &len),
        0);
    EXPECT_STREQ(text, "127.0.0.1");
    EXPECT_EQ(len, 10u);
}

TEST_F(WinsockNames, AddressToStringWithAShortBufferGivesTheLengthNeeded)
{
    sockaddr_in sin = Loopback(13001);
    char text[8] = "keep";
    DWORD len = sizeof text;
    WSASetLastError(0);
    EXPECT_EQ(
        WSAAddressToStringA(reinterpret_cast<LPSOCKADDR>(&sin), sizeof sin, nullptr, text, &len),
        SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAEFAULT);
    EXPECT_EQ(len, 16u);
    EXPECT_STREQ(text, "keep");
}

TEST_F(WinsockNames, AddressToStringFormatsIpv6InBrackets)
{
    sockaddr_in6 sin6;
    std::memset(&sin6, 0, sizeof sin6);
    sin6.sin6_family = AF_INET6;
    sin6.sin6_port = htons(80);
    sin6.sin6_addr.u.Byte[15] = 1;
    char text[64];
    DWORD len = sizeof text;
    ASSERT_EQ(
        WSAAddressToStringA(reinterpret_cast<LPSOCKADDR>(&sin6), sizeof sin6, nullptr, text, &len),
        0);
    EXPECT_STREQ(text, "[::1]:80");
    sin6.sin6_port = 0;
    len = sizeof text;
    ASSERT_EQ(
        WSAAddressToStringA(reinterpret_cast<LPSOCKADDR>(&sin6), sizeof sin6, nullptr, text, &len),
        0);
    EXPECT_STREQ(text, "::1");
}

TEST_F(WinsockNames, AddressToStringRejectsBadArguments)
{
    sockaddr_in sin = Loopback(1);
    char text[64];
    DWORD len = sizeof text;
    WSASetLastError(0);
    EXPECT_EQ(WSAAddressToStringA(reinterpret_cast<LPSOCKADDR>(&sin), 8, nullptr, text, &len),
              SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAEFAULT);
    WSASetLastError(0);
    EXPECT_EQ(WSAAddressToStringA(nullptr, sizeof sin, nullptr, text, &len), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAEFAULT);
    WSASetLastError(0);
    EXPECT_EQ(
        WSAAddressToStringA(reinterpret_cast<LPSOCKADDR>(&sin), sizeof sin, nullptr, text, nullptr),
        SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAEFAULT);
    sin.sin_family = 99;
    WSASetLastError(0);
    EXPECT_EQ(
        WSAAddressToStringA(reinterpret_cast<LPSOCKADDR>(&sin), sizeof sin, nullptr, text, &len),
        SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAEINVAL);
}

} // namespace
