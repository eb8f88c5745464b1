/*
 * The update port's long faults: the service killed while it places a new
 * print client, and a transfer past the size bound (256 MB through the
 * service).  Labelled heavy: they take ten seconds or more each.
 */
#include "update_test_support.h"

namespace {

/* Both move hundreds of megabytes through the service, frame by frame: on
 * the test clock its bounded receive would give up on a frame a loaded
 * machine delays a few tenths of a second, so the service keeps real time. */
class UpdateHeavyTest : public UpdateFixture {
protected:
    UpdateHeavyTest() { serviceTimeScale = 1; }
};

/* Killed while the new client is being copied beside the old one in
 * c:\novarc\bin2 (the moment its temporary copy appears), and at moments
 * spread over the rest of a client transfer's end (the move, the version
 * check, the rename): the installed client is always the old one or the
 * new one whole, and after a restart it serves the job that names it. */
TEST_F(UpdateHeavyTest, ServiceKilledMidMoveLeavesAWholeClient)
{
    InstallClient(root, "Novarcprint.859.237.exe");
    const std::string oldBytes = ReadText(NOVARCPRINT_EXE);
    /* The new client: the same program with 24 MB behind it, so copying it
     * takes a while; it still runs and still carries its record. */
    const std::string newBytes = oldBytes + std::string(24 << 20, '\x5a');
    const std::string placed = root.driveC("novarc/bin2/Novarcprint.859.237.exe");
    const std::string copying = root.driveC("novarc/bin2/.Novarcprint.859.237.exe.new");
    int sawOld = 0, sawNew = 0;
    /* -1: when the copy beside the old client has begun. */
    for (int delayMs : {-1, 0, 50, 150}) {
        StartService();
        UpdateConnection conn;
        const size_t chunk = 1 << 20;
        for (size_t at = 0; at < newBytes.size(); at += chunk)
            ASSERT_EQ(conn.Data(25, Int32(237) + Int32(859) + newBytes.substr(at, chunk)), 1);
        conn.Message(26, Int32(237) + Int32(859) + Int32((int)newBytes.size()));
        if (delayMs < 0) {
            /* The copy lasts milliseconds: watched closely. */
            bool seen = false;
            for (int i = 0; i < 20000 && !(seen = fs::exists(copying)); i++)
                std::this_thread::sleep_for(std::chrono::microseconds(500));
            ASSERT_TRUE(seen) << ServiceLog(root);
        } else {
            std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
        }
        NovarcKillChild(service);
        service = -1;
        const std::string now = ReadText(placed);
        ASSERT_TRUE(now == oldBytes || now == newBytes)
            << "after " << delayMs << " ms: " << now.size() << " bytes";
        if (delayMs < 0) {
            EXPECT_EQ(now, oldBytes) << "killed during the copy: the old client stays";
        }
        (now == oldBytes ? sawOld : sawNew)++;
    }
    printf("killed mid-move: old client %d times, new client %d times\n", sawOld, sawNew);
    StartService();
    ServerConnection server;
    ASSERT_EQ(server.Open("237", "859"), 1) << ServiceLog(root);
    server.Print(ReportText(5, "AFTER THE KILL"));
    EXPECT_TRUE(WaitForPdfs(1)) << ServiceLog(root);
}

TEST_F(UpdateHeavyTest, TransferOverTheSizeBoundIsAbandoned)
{
    StartService();
    UpdateConnection conn;
    const std::string chunk(1 << 20, '\x41');
    int accepted = 0, status = 1;
    while (status == 1 && accepted < 300) {
        status = conn.Data(8, chunk);
        accepted += status == 1;
    }
    EXPECT_EQ(status, 2);
    EXPECT_EQ(accepted, 256) << "256 MB and not a chunk more";
    EXPECT_TRUE(ServiceLog(root).find("ReceiveEcgUpdate transfer of "
                                      "c:\\kel\\transfer\\EcgKit.exe.PRT_TMP abandoned: more "
                                      "than 268435456 bytes") != std::string::npos);
    EXPECT_EQ(TransferLeftovers(), "");
    EXPECT_EQ(conn.Data(8, "more"), 2) << "the rest is refused";
    EXPECT_EQ(conn.End(9, 0), "status 2, end acknowledgement");
    EXPECT_EQ(Ran("ecg"), "<not run>");
    /* The kind is free again. */
    EXPECT_NE(Send("send-installer ecg " + WriteInstaller("ecg", "")).find("transfer accepted"),
              std::string::npos);
}

} // namespace
