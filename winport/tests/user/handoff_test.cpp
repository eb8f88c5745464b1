/*
 * Conformance tests: socket hand-off.  WSADuplicateSocketA hands a socket
 * to another process and fills a 372-byte WSAPROTOCOL_INFOA, which goes to
 * that process in WM_COPYDATA; WSASocketA(FROM_PROTOCOL_INFO, ...) there
 * claims the socket once.  A record nobody claims expires and its
 * descriptor is closed.
 */
#include "child_process_util.h"

#include <winsock2.h>

namespace {

class Handoff : public ChildProcesses {
protected:
    void SetUp() override
    {
        ChildProcesses::SetUp();
        WSADATA data;
        ASSERT_EQ(WSAStartup(MAKEWORD(2, 2), &data), 0);
        ConnectedPair(&client_, &accepted_);
    }
    void TearDown() override
    {
        WSACleanup();
        ChildProcesses::TearDown();
    }

    static void ConnectedPair(SOCKET *client, SOCKET *accepted)
    {
        SOCKET listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        sockaddr_in sin = {};
        sin.sin_family = AF_INET;
        sin.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr *>(&sin), sizeof sin), 0);
        ASSERT_EQ(listen(listener, 1), 0);
        int len = sizeof sin;
        getsockname(listener, reinterpret_cast<sockaddr *>(&sin), &len);
        *client = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        ASSERT_EQ(connect(*client, reinterpret_cast<sockaddr *>(&sin), sizeof sin), 0);
        *accepted = accept(listener, nullptr, nullptr);
        ASSERT_NE(*accepted, INVALID_SOCKET);
        closesocket(listener);
    }

    /* Reads what arrives on `s` within 10 s: up to `want` bytes, or what
     * came before the end of the stream ("<eof>" appended then). */
    static std::string Receive(SOCKET s, size_t want)
    {
        std::string got;
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (got.size() < want && std::chrono::steady_clock::now() < end) {
            fd_set set;
            FD_ZERO(&set);
            FD_SET(s, &set);
            timeval tv = {0, 100000};
            if (select(0, &set, nullptr, nullptr, &tv) != 1)
                continue;
            char buf[256];
            int n = recv(s, buf, sizeof buf, 0);
            if (n <= 0)
                return got + "<eof>";
            got.append(buf, static_cast<size_t>(n));
        }
        return got;
    }

    /* Sends the record (and `extra` bytes after it) in WM_COPYDATA. */
    static LRESULT SendRecord(HWND hwnd, ULONG_PTR kind, const WSAPROTOCOL_INFOA &info,
                              const std::string &extra = "")
    {
        std::string bytes(reinterpret_cast<const char *>(&info), sizeof info);
        bytes += extra;
        COPYDATASTRUCT cds = {kind, static_cast<DWORD>(bytes.size()), bytes.data()};
        return SendMessageA(hwnd, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&cds));
    }

    SOCKET client_ = INVALID_SOCKET;
    SOCKET accepted_ = INVALID_SOCKET;
};

TEST_F(Handoff, AHandedOverSocketWorksInTheChild)
{
    HANDLE process = nullptr;
    HWND hwnd = StartWindow("HandEcho", "t", &process);
    ASSERT_NE(hwnd, nullptr);
    WSAPROTOCOL_INFOA info;
    std::memset(&info, 0xcc, sizeof info);
    WSASetLastError(0);
    ASSERT_EQ(WSADuplicateSocketA(accepted_, PidOf(process), &info), 0);
    EXPECT_EQ(info.iAddressFamily, AF_INET);
    EXPECT_EQ(info.iSocketType, SOCK_STREAM);
    EXPECT_EQ(info.iProtocol, IPPROTO_TCP);
    EXPECT_EQ(SendRecord(hwnd, 2, info), 1); // the child has its socket when this returns
    ASSERT_EQ(closesocket(accepted_), 0);    // as the service does
    ASSERT_EQ(send(client_, "hello", 5, 0), 5);
    EXPECT_EQ(Receive(client_, 5), "hello");
    closesocket(client_); // the child sees FD_CLOSE and ends
    EXPECT_EQ(ExitCodeOf(process), 20u);
}

TEST_F(Handoff, ARecordIsClaimedOnlyOnce)
{
    HWND hwnd = nullptr;
    HANDLE process = nullptr;
    hwnd = StartWindow("HandTwice", "t", &process);
    ASSERT_NE(hwnd, nullptr);
    WSAPROTOCOL_INFOA info;
    ASSERT_EQ(WSADuplicateSocketA(accepted_, PidOf(process), &info), 0);
    EXPECT_EQ(SendRecord(hwnd, 3, info), 3); // first worked, second WSAEINVAL
}

TEST_F(Handoff, AnUnclaimedSocketExpiresAndIsClosed)
{
    HANDLE process = nullptr;
    // The child runs 1000 times faster: its 120 s lifetime is 120 ms.
    HWND hwnd = StartWindow("HandLate", "t", &process, 1000);
    ASSERT_NE(hwnd, nullptr);
    WSAPROTOCOL_INFOA info;
    ASSERT_EQ(WSADuplicateSocketA(accepted_, PidOf(process), &info), 0);
    const uint32_t claimAfterMs = 600000; // 600 ms in the child
    EXPECT_EQ(
        SendRecord(hwnd, 4, info, std::string(reinterpret_cast<const char *>(&claimAfterMs), 4)),
        1);
    ASSERT_EQ(closesocket(accepted_), 0);
    EXPECT_EQ(Receive(client_, 1), "<eof>"); // the child's copy was closed too
    EXPECT_EQ(ExitCodeOf(process), 10u);     // and its late claim failed
}

TEST_F(Handoff, DuplicatingIntoThisProcessWorksOnce)
{
    WSAPROTOCOL_INFOA info;
    ASSERT_EQ(WSADuplicateSocketA(accepted_, GetCurrentProcessId(), &info), 0);
    SOCKET copy = WSASocketA(FROM_PROTOCOL_INFO, FROM_PROTOCOL_INFO, FROM_PROTOCOL_INFO, &info, 0,
                             WSA_FLAG_OVERLAPPED);
    ASSERT_NE(copy, INVALID_SOCKET);
    ASSERT_EQ(closesocket(accepted_), 0);
    ASSERT_EQ(send(copy, "via copy", 8, 0), 8);
    EXPECT_EQ(Receive(client_, 8), "via copy");
    WSASetLastError(0);
    EXPECT_EQ(WSASocketA(FROM_PROTOCOL_INFO, FROM_PROTOCOL_INFO, FROM_PROTOCOL_INFO, &info, 0, 0),
              INVALID_SOCKET);
    EXPECT_EQ(WSAGetLastError(), WSAEINVAL);
    closesocket(copy);
}

TEST_F(Handoff, AProcessWithoutAnEndpointCannotReceiveASocket)
{
    WSAPROTOCOL_INFOA info;
    WSASetLastError(0);
    EXPECT_EQ(WSADuplicateSocketA(accepted_, static_cast<DWORD>(getppid()), &info), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAEINVAL);
    WSASetLastError(0);
    EXPECT_EQ(WSADuplicateSocketA(accepted_, 0x7ffffff0, &info), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAEINVAL);
}

TEST_F(Handoff, ArgumentFailures)
{
    WSASetLastError(0);
    EXPECT_EQ(WSADuplicateSocketA(accepted_, GetCurrentProcessId(), nullptr), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAEFAULT);
    WSAPROTOCOL_INFOA info;
    WSASetLastError(0);
    EXPECT_EQ(WSADuplicateSocketA(0x9999, GetCurrentProcessId(), &info), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAENOTSOCK);
    ASSERT_EQ(WSADuplicateSocketA(accepted_, GetCurrentProcessId(), &info), 0);
    info.dwProviderReserved ^= 0x5a5a5a5a; // a token nobody parked
    WSASetLastError(0);
    EXPECT_EQ(WSASocketA(FROM_PROTOCOL_INFO, FROM_PROTOCOL_INFO, FROM_PROTOCOL_INFO, &info, 0, 0),
              INVALID_SOCKET);
    EXPECT_EQ(WSAGetLastError(), WSAEINVAL);
}

} // namespace
