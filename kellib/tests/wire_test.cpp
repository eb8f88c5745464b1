/*
 * Wire messages over real loopback sockets: every protection mode and
 * payload size round-trips; headers and bodies arriving in pieces decode
 * the same; malformed, tampered, cut-off and idle frames end the receive as
 * the callers expect; the sender never touches the caller's bytes.
 */
#include <kellib/compress.h>
#include <kellib/protect.h>
#include <kellib/sock.h>
#include <kellib/frame_reader.h>
#include <kellib/wire.h>

#include "kellib_internal.h"

#include <scratch_root.h>
#include <winport_test.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <thread>

namespace {

/* Loads Winsock the way the programs do and connects a loopback pair. */
class WireTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(KELLoadWinsock(), 1);
        ASSERT_EQ(KELWSAStartup(), 1);
        SOCKET listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        ASSERT_NE(listener, INVALID_SOCKET);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr *>(&addr), sizeof addr), 0);
        ASSERT_EQ(listen(listener, 1), 0);
        int len = sizeof addr;
        ASSERT_EQ(getsockname(listener, reinterpret_cast<sockaddr *>(&addr), &len), 0);
        sender = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        ASSERT_EQ(connect(sender, reinterpret_cast<sockaddr *>(&addr), sizeof addr), 0);
        receiver = accept(listener, nullptr, nullptr);
        ASSERT_NE(receiver, INVALID_SOCKET);
        closesocket(listener);
        int one = 1;
        setsockopt(sender, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<char *>(&one), sizeof one);
        InitMsgBuf(&buf, 0);
        winport_test_reset_msgboxes();
    }
    void TearDown() override
    {
        FreeMsgBuf(&buf);
        if (sender != INVALID_SOCKET)
            closesocket(sender);
        closesocket(receiver);
        KELReleaseSocketLibrary();
        KELUnloadWinsock();
    }

    static void NonBlocking(SOCKET s)
    {
        u_long on = 1;
        ASSERT_EQ(ioctlsocket(s, FIONBIO, &on), 0);
    }
    void SendRaw(const std::string &bytes)
    {
        ASSERT_EQ(send(sender, bytes.data(), static_cast<int>(bytes.size()), 0),
                  static_cast<int>(bytes.size()));
    }
    /* Reads one frame as raw bytes (header and body) from the receiver. */
    std::string ReadRawFrame()
    {
        std::string frame(KEL_HEADER_SIZE, '\0');
        ReadExactly(frame.data(), KEL_HEADER_SIZE);
        KelFrameHeader h{};
        KelParseHeader(reinterpret_cast<unsigned char *>(frame.data()), &h);
        frame.resize(KEL_HEADER_SIZE + static_cast<size_t>(h.length));
        ReadExactly(frame.data() + KEL_HEADER_SIZE, h.length);
        return frame;
    }
    void ReadExactly(char *out, int n)
    {
        for (int got = 0; got < n;) {
            int r = recv(receiver, out + got, n - got, 0);
            ASSERT_GT(r, 0);
            got += r;
        }
    }
    std::string Payload() const { return std::string(buf.szBuf, buf.iLen); }

    ScratchRoot root;
    SOCKET sender = INVALID_SOCKET;
    SOCKET receiver = INVALID_SOCKET;
    MsgBuf buf;
};

std::string Header(int compressed, int mode, int length)
{
    unsigned char h[KEL_HEADER_SIZE];
    KelBuildHeader(h, compressed, mode, length);
    return std::string(reinterpret_cast<char *>(h), sizeof h);
}

std::string Compressible(size_t n)
{
    std::string s;
    while (s.size() < n)
        s += "PRINT_STREAM page " + std::to_string(s.size() % 97) + " Courier New 10pt; ";
    s.resize(n);
    return s;
}

std::string Incompressible(size_t n)
{
    std::mt19937 gen(static_cast<unsigned>(n));
    std::string s(n, '\0');
    for (auto &c : s)
        c = static_cast<char>(gen());
    return s;
}

TEST_F(WireTest, EveryModeAndSizeRoundTrips)
{
    for (int options : {0, SEND_BLOWFISH, SEND_AES, SEND_AES_DIGEST, SEND_SEALED}) {
        for (size_t size : {1u, 100u, 101u, 64u * 1024, 4u * 1024 * 1024}) {
            for (bool compressible : {true, false}) {
                std::string payload = compressible ? Compressible(size) : Incompressible(size);
                const std::string copy = payload;
                std::thread writer(
                    [&] { SendMessageWithSize(sender, payload.data(), (int)size, options); });
                int rc = KELrecv(receiver, &buf, 0);
                writer.join();
                ASSERT_TRUE(payload == copy) << "the sender never touches the caller's bytes";
                ASSERT_EQ(rc, 1) << options << " " << size;
                ASSERT_EQ(buf.iLen, static_cast<int>(size));
                EXPECT_TRUE(Payload() == payload) << options << " " << size << compressible;
                EXPECT_EQ(buf.szBuf[buf.iLen], '\0');
            }
        }
    }
}

TEST_F(WireTest, OptionsChooseModeAndCompression)
{
    struct Case {
        int options;
        int mode;
        bool compressed;
    } cases[] = {{0x202, 8, false}, {0x242, 8, false}, {0x042, 1, false}, {0x300, 8, true},
                 {0x180, 4, true},  {0x080, 2, true},  {0x000, 0, true},  {0x002, 0, false}};
    std::string payload = Compressible(5000);
    for (const Case &c : cases) {
        ASSERT_EQ(SendMessageWithSize(sender, payload.data(), 5000, c.options), 1);
        std::string frame = ReadRawFrame();
        EXPECT_EQ(frame[1], c.mode) << std::hex << c.options;
        EXPECT_EQ(frame[0] != 0, c.compressed) << std::hex << c.options;
    }
}

TEST_F(WireTest, OnlyPayloadsOverOneHundredBytesAreCompressed)
{
    std::string hundred = Compressible(100);
    SendMessageWithSize(sender, hundred.data(), 100, 0);
    std::string frame = ReadRawFrame();
    EXPECT_EQ(frame[0], 0);
    EXPECT_EQ(frame.substr(KEL_HEADER_SIZE), hundred);

    std::string more = Compressible(101);
    SendMessageWithSize(sender, more.data(), 101, 0);
    frame = ReadRawFrame();
    EXPECT_EQ(frame[0], 1);
    EXPECT_LT(frame.size(), KEL_HEADER_SIZE + 101u);

    std::string noise = Incompressible(101);
    SendMessageWithSize(sender, noise.data(), 101, 0);
    frame = ReadRawFrame();
    EXPECT_EQ(frame[0], 0);
    EXPECT_EQ(frame.substr(KEL_HEADER_SIZE), noise);
}

TEST_F(WireTest, SocketZeroAndEmptyPayloads)
{
    EXPECT_EQ(SendMessageWithSize(0, "abc", 3, 0), 0);
    EXPECT_EQ(SendMessageWithSize(sender, "abc", 0, 0), 1);
    EXPECT_EQ(SendMessageWithSize(sender, "abc", -5, 0), 1);
    EXPECT_EQ(SendString(sender, "", 0), 1);
    /* Nothing went out: the receiver has no data waiting. */
    NonBlocking(receiver);
    buf.iLen = 0;
    EXPECT_EQ(KELrecv(receiver, &buf, 0), 1);
    EXPECT_EQ(buf.szBuf[0], '\0');
}

TEST_F(WireTest, MessageNotSentWholeAnswersZero)
{
    /* A caller that deletes what it sent must be able to tell. */
    SOCKET idle = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP); /* never connected */
    EXPECT_EQ(SendMessageWithSize(idle, "abc", 3, SEND_SEALED), 0);
    EXPECT_EQ(SendString(idle, "abc", 0), 0);
    closesocket(idle);
    /* Refused before the bytes are looked at. */
    EXPECT_EQ(SendMessageWithSize(sender, "x", KEL_MAX_WIRE_LENGTH, SEND_SEALED), 0);
    EXPECT_EQ(SendMessageWithSize(sender, "abc", 3, SEND_SEALED), 1);
}

TEST_F(WireTest, NoDataWaitingReturnsOneAndKeepsTheBuffer)
{
    NonBlocking(receiver);
    AppendBytes(&buf, "previous", 8);
    EXPECT_EQ(KELrecv(receiver, &buf, 0), 1);
    EXPECT_EQ(buf.szBuf[0], '\0');
    EXPECT_EQ(buf.iLen, 8);
    EXPECT_EQ(KELrecv(receiver, &buf, RECV_BOUNDED), 1);

    /* A fresh, empty buffer gets a block so that szBuf[0] can be read. */
    MsgBuf empty;
    InitMsgBuf(&empty, 0);
    EXPECT_EQ(KELrecv(receiver, &empty, 0), 1);
    ASSERT_NE(empty.szBuf, nullptr);
    EXPECT_EQ(empty.szBuf[0], '\0');
    EXPECT_EQ(empty.iLen, 0);
    FreeMsgBuf(&empty);
}

TEST_F(WireTest, FrameArrivingInPiecesDecodesTheSame)
{
    std::string payload = Compressible(3000);
    SendMessageWithSize(sender, payload.data(), 3000, SEND_AES_DIGEST);
    std::string frame = ReadRawFrame();

    for (bool nonBlocking : {false, true}) {
        if (nonBlocking)
            NonBlocking(receiver);
        std::thread trickle([&] {
            /* Header in three reads, the body one byte at a time. */
            send(sender, frame.data(), 2, 0);
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
            send(sender, frame.data() + 2, 3, 0);
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
            for (size_t i = 5; i < frame.size(); ++i) {
                send(sender, frame.data() + i, 1, 0);
                if (i % 256 == 0)
                    std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
        });
        int rc = 0;
        buf.iLen = 0;
        /* A non-blocking receiver may see nothing yet: 1 with iLen kept. */
        do
            rc = KELrecvEx(receiver, &buf, RECV_BOUNDED, 500);
        while (rc == 1 && buf.iLen == 0);
        trickle.join();
        ASSERT_EQ(rc, 1) << nonBlocking;
        EXPECT_EQ(Payload(), payload) << nonBlocking;
    }
}

TEST_F(WireTest, EmptyNegativeAndHugeLengthsEndTheReceive)
{
    for (int length : {0, -1, -100000, KEL_MAX_WIRE_LENGTH + 1, 0x7fffffff}) {
        SendRaw(Header(0, 0, length) + "junk");
        AppendBytes(&buf, "x", 1);
        EXPECT_EQ(KELrecv(receiver, &buf, 0), 0) << length;
        std::string rest(4, '\0');
        ReadExactly(rest.data(), 4); /* drain, so the next header is clean */
    }
}

TEST_F(WireTest, PeerClosingMidFrameEndsTheReceive)
{
    SendRaw(Header(0, 0, 100) + std::string(50, 'b'));
    closesocket(sender);
    sender = INVALID_SOCKET;
    EXPECT_EQ(KELrecv(receiver, &buf, 0), 0);
    EXPECT_EQ(buf.iLen, 0);
}

TEST_F(WireTest, AHeaderClaimingMuchReservesOnlyWhatArrives)
{
    /* Six bytes claiming 200 MiB, a few bytes of body, then nothing. */
    SendRaw(Header(0, 0, 200 * 1024 * 1024) + std::string(50, 'h'));
    closesocket(sender);
    sender = INVALID_SOCKET;
    EXPECT_EQ(KELrecv(receiver, &buf, 0), 0);
    EXPECT_LE(buf.iBufSize, 1024 * 1024);
}

TEST_F(WireTest, TamperedProtectedFramesAreDropped)
{
    for (int options : {SEND_SEALED, SEND_AES_DIGEST}) {
        std::string payload = Compressible(700);
        SendMessageWithSize(sender, payload.data(), 700, options);
        std::string frame = ReadRawFrame();
        frame[KEL_HEADER_SIZE + 3] ^= 0x10;
        SendRaw(frame);
        EXPECT_EQ(KELrecv(receiver, &buf, 0), 0) << options;
        EXPECT_EQ(buf.iLen, 0);
        /* The stream stays in step: the next frame is fine. */
        SendMessageWithSize(sender, payload.data(), 700, options);
        ASSERT_EQ(KELrecv(receiver, &buf, 0), 1);
        EXPECT_EQ(Payload(), payload);
    }
}

TEST_F(WireTest, BoundedWaitGivesUpOnAStalledFrame)
{
    NonBlocking(receiver);
    SendRaw(std::string("\0\0", 2)); /* header cut short */
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(KELrecvEx(receiver, &buf, RECV_BOUNDED, 5), 0);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));

    SendRaw(Header(0, 0, 10).substr(2) + "half"); /* body cut short */
    EXPECT_EQ(KELrecvEx(receiver, &buf, RECV_BOUNDED, 5), 0);
}

TEST_F(WireTest, SocketErrorIsLoggedWithItsTag)
{
    std::filesystem::create_directories(root.driveC("novarc/bin"));
    std::ofstream(root.driveC("novarc/bin/KELLIB_DEBUGGING_ON.txt")) << "";
    SOCKET idle = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP); /* never connected */
    EXPECT_EQ(KELrecv(idle, &buf, 0), 0);
    closesocket(idle);
    std::ifstream in(root.driveC("novarc/bin/kellib.log"), std::ios::binary);
    std::string log((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_NE(log.find("1-KELrecv() failed WSAENOTCONN: Socket is not connected\r\n"),
              std::string::npos)
        << log;
}

TEST_F(WireTest, NonBlockingSenderDeliversALargeMessageToASlowReader)
{
    NonBlocking(sender);
    std::string payload = Incompressible(8 * 1024 * 1024);
    std::thread reader([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        EXPECT_EQ(KELrecv(receiver, &buf, 0), 1);
    });
    EXPECT_EQ(SendMessageWithSize(sender, payload.data(), (int)payload.size(), SEND_SEALED), 1);
    reader.join();
    EXPECT_TRUE(Payload() == payload);
}

TEST_F(WireTest, EventRegistrationFailureIsReported)
{
    SOCKET gone = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    closesocket(gone);
    EXPECT_EQ(KELWSAAsyncSelect(nullptr, gone, WM_USER + 1), 0);
    EXPECT_EQ(winport_test_msgbox_count(), 1);
    EXPECT_STREQ(winport_test_last_msgbox(), "Error: ERROR!\n\nKELWSAAsyncSelect()");
}

TEST_F(WireTest, HostNameIsReturnedAndSent)
{
    char name[256];
    ASSERT_EQ(KELgethostname(sender, name, sizeof name), 1);
    EXPECT_GT(strlen(name), 0u);
    ASSERT_EQ(KELrecv(receiver, &buf, 0), 1);
    EXPECT_EQ(Payload(), name);
}

} // namespace

namespace {

/* The first message of a connection gathered without waiting: a byte at a
 * time, what a peer may not send, and two messages sent back to back. */
TEST_F(WireTest, FrameReaderGathersAMessageAsItArrivesAndNeverWaits)
{
    NonBlocking(receiver);
    KelFrameReader reader;
    KELInitFrameReader(&reader);
    const std::string payload = "version info \x01\x02";
    SendMessageWithSize(sender, payload.data(), (int)payload.size(), SEND_NO_COMPRESS);
    std::string frame = ReadRawFrame();
    for (size_t i = 0; i < frame.size(); i++) {
        EXPECT_EQ(KELReadFrameSome(receiver, &reader, 1024, &buf), KEL_FRAME_MORE) << i;
        SendRaw(frame.substr(i, 1));
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    ASSERT_EQ(KELReadFrameSome(receiver, &reader, 1024, &buf), KEL_FRAME_DONE);
    EXPECT_EQ(Payload(), payload);
    /* Two at once: one per call, the second left for the next. */
    SendMessageWithSize(sender, "one", 3, SEND_NO_COMPRESS);
    SendMessageWithSize(sender, "two", 3, SEND_NO_COMPRESS);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    ASSERT_EQ(KELReadFrameSome(receiver, &reader, 1024, &buf), KEL_FRAME_DONE);
    EXPECT_EQ(Payload(), "one");
    ASSERT_EQ(KELReadFrameSome(receiver, &reader, 1024, &buf), KEL_FRAME_DONE);
    EXPECT_EQ(Payload(), "two");
    EXPECT_EQ(KELReadFrameSome(receiver, &reader, 1024, &buf), KEL_FRAME_MORE);
    KELFreeFrameReader(&reader);
}

TEST_F(WireTest, FrameReaderRefusesOversizeFramesAndConnectionsThatEndMidway)
{
    NonBlocking(receiver);
    KelFrameReader reader;
    KELInitFrameReader(&reader);
    /* A header claiming more than allowed fails before any body arrives. */
    SendRaw(Header(0, 2, 5000));
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(KELReadFrameSome(receiver, &reader, 4096, &buf), KEL_FRAME_FAILED);
    /* Half a body, then the peer goes. */
    SendRaw(Header(0, 2, 100) + std::string(40, 'x'));
    closesocket(sender);
    sender = INVALID_SOCKET;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    int rc = KEL_FRAME_MORE;
    for (int i = 0; i < 3 && rc == KEL_FRAME_MORE; i++)
        rc = KELReadFrameSome(receiver, &reader, 4096, &buf);
    EXPECT_EQ(rc, KEL_FRAME_FAILED);
    KELFreeFrameReader(&reader);
}

} // namespace
