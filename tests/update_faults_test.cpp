/*
 * The update port when things go wrong: a connection dropped half-way, a
 * frame that does not decode, a transfer that stalls; and the gateway
 * relay against a gateway played by this test.  In each the print port
 * keeps serving and nothing half-made is left where it could run.  (The
 * long faults, a killed service and a transfer past the size bound, are in
 * update_heavy_test.cpp.)
 */
#include "update_test_support.h"

namespace {

class UpdateFaultTest : public UpdateFixture {};

TEST_F(UpdateFaultTest, DroppedConnectionMidTransferLeavesNothingAndTheKindIsFreeAgain)
{
    /* Real time: the print connection at the end must not be refused
     * because a busy machine started its client slower than the test
     * clock allows. */
    serviceTimeScale = 1;
    StartService();
    {
        UpdateConnection dropped;
        ASSERT_EQ(dropped.Data(11, "#!/bin/sh\n"), 1);
        ASSERT_EQ(dropped.Data(11, "echo half\n"), 1);
    }
    EXPECT_TRUE(WaitFor(
        [&] {
            return ServiceLog(root).find("ReceiveAmyuniUpdate transfer of "
                                         "c:\\kel\\transfer\\ConverterKit.exe.PRT_TMP aborted: "
                                         "connection closed") != std::string::npos;
        },
        10s))
        << ServiceLog(root);
    EXPECT_EQ(TransferLeftovers(), "");
    EXPECT_FALSE(fs::exists(root.driveC("kel/transfer/ConverterKit.exe")));
    /* The converter transfer had closed the print port; the service opens
     * it again once the abort is handled, a moment after the line above. */
    EXPECT_TRUE(PrintPortBack());
    /* Print and update ports both serve; the converter transfer is free. */
    ServerConnection server;
    EXPECT_EQ(server.Open(), 1);
    EXPECT_NE(Send("send-installer converter " + WriteInstaller("converter", ""))
                  .find("transfer accepted"),
              std::string::npos);
    EXPECT_EQ(Ran("converter"), "-N");
}

TEST_F(UpdateFaultTest, BadFrameClosesOnlyItsOwnConnection)
{
    /* Real time: the print connection at the end must not be refused
     * because a busy machine started its client slower than the test
     * clock allows. */
    serviceTimeScale = 1;
    StartService();
    UpdateConnection bystander;
    ASSERT_EQ(bystander.Data(14, "#!/bin/sh\n"), 1); /* a transfer of its own under way */
    ServerConnection waiting;                        /* a print connection not yet served */
    ASSERT_TRUE(waiting.Connected());

    UpdateConnection bad;
    /* A header claiming a negative length, then noise. */
    const std::string frame = std::string("\x00\x08\xf6\xff\xff\xff", 6) + "garbage";
    ASSERT_EQ(send(bad.Socket(), frame.data(), (int)frame.size(), 0), (int)frame.size());
    EXPECT_TRUE(ClosedByPeer(bad.Socket(), 10000)) << "the service closed this connection";

    bystander.Message(1);
    EXPECT_EQ(NovarcDecodeUpdateReply(bystander.Reply()), "version 237.859 locked 0");
    EXPECT_EQ(bystander.Data(14, "echo \"$*\" > \"$WINPORT_ROOT/drive_c/kel/ran-pdf.txt\"\n"), 1);
    EXPECT_EQ(bystander.End(15, 0), "status 1, end acknowledgement");
    EXPECT_EQ(Ran("pdf"), "-N");
    EXPECT_EQ(waiting.Open(), 1) << ServiceLog(root);
    ServerConnection after;
    EXPECT_EQ(after.Open(), 1);
}

TEST_F(UpdateFaultTest, StalledTransferIsAbandonedAndCannotResumeTruncated)
{
    StartService();
    UpdateConnection conn;
    ASSERT_EQ(conn.Data(11, "#!/bin/sh\n"), 1);
    /* Two idle minutes on the service's clock. */
    EXPECT_TRUE(WaitFor(
        [&] { return ServiceLog(root).find("abandoned: no data in time") != std::string::npos; },
        10s));
    EXPECT_EQ(TransferLeftovers(), "");
    EXPECT_EQ(conn.Data(11, "echo \"$*\" > \"$WINPORT_ROOT/drive_c/kel/ran-converter.txt\"\n"), 2);
    EXPECT_EQ(conn.End(12, 0), "status 2, end acknowledgement");
    EXPECT_EQ(Ran("converter"), "<not run>");
}

/* The gateway, played here: it takes the service's connection, reads its
 * registration and the relay request; the download then comes from the
 * server on the update connection and ends in "-N". */
TEST_F(UpdateFaultTest, RelayThroughTheGatewayInstallsTheDownload)
{
    StartService();
    UpdateConnection conn;
    conn.Message(234, Int32(7) + Str("kit"));
    EXPECT_EQ(conn.Reply(), Int32(89) + Int32(0)) << "no gateway mode: relay result 0";

    SOCKET listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(bind(listener, (sockaddr *)&addr, sizeof(addr)), 0);
    ASSERT_EQ(listen(listener, 1), 0);
    int len = sizeof(addr);
    getsockname(listener, (sockaddr *)&addr, &len);
    const std::string port = std::to_string(ntohs(addr.sin_port));
    conn.Message(53, Int32(1) + Str("127.0.0.1") + Str(port) + Str("site-7") + Str("desk-3") +
                         Str("12"));
    conn.Message(234, Int32(7) + Str("ImagingKit"));
    SOCKET gateway = accept(listener, nullptr, nullptr);
    ASSERT_NE(gateway, INVALID_SOCKET);
    std::string registration, hostName, request;
    ASSERT_TRUE(NovarcReceiveReply(gateway, &registration, 10000));
    ASSERT_TRUE(NovarcReceiveReply(gateway, &hostName, 10000));
    ASSERT_TRUE(NovarcReceiveReply(gateway, &request, 10000));
    EXPECT_EQ(registration.substr(0, 5 + 7), std::string("\x03") + Int32(1) + Str("desk-3"));
    EXPECT_NE(registration.find(Str("site-7") + Int32(12)), std::string::npos);
    EXPECT_EQ(request, std::string("\x03") + Int32(55) + Int32(7) + Str("ImagingKit"));

    const std::string script =
        "#!/bin/sh\necho \"$*\" > \"$WINPORT_ROOT/drive_c/kel/ran-relay.txt\"\n";
    conn.Message(235, Int32(0) + Int32(7) + Int32((int)script.size()) + Str("Relay.exe"));
    conn.Message(235, Int32(0) + Int32(7) + Int32(20) + script.substr(0, 20));
    conn.Message(235, Int32(0) + Int32(7) + Int32((int)script.size() - 20) + script.substr(20));
    EXPECT_EQ(conn.Reply(), Int32(89) + Int32(1)) << ServiceLog(root);
    EXPECT_EQ(Ran("relay"), "-N");
    EXPECT_TRUE(ClosedByPeer(gateway, 10000)) << "the gateway connection is closed";
    closesocket(gateway);
    closesocket(listener);
    EXPECT_FALSE(fs::exists(root.driveC("kel/transfer/Relay.exe.PRT_TMP")));

    /* A relay the server aborts answers 0. */
    conn.Message(235, Int32(-1));
    EXPECT_EQ(conn.Reply(), Int32(89) + Int32(0));
}

} // namespace
