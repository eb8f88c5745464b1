/*
 * The print service end to end: a real Printkeeper in debug mode on a
 * fresh root, listening on the print port, starting real print clients
 * from the root's program folder and handing them the server's
 * connections.  The server is this test (or novarc-send).
 *
 * The service listens on the fixed ports, so these tests never run
 * alongside each other (a CTest resource lock).
 */
#include <gtest/gtest.h>
#include <atomic>
#include <cstdio>

#include "service_harness.h"

namespace {

class PrintServiceTest : public ServiceFixture {};

TEST_F(PrintServiceTest, ReportFromNovarcSendComesOutAsPdfAndCtrlCStopsTheService)
{
    StartService();
    const std::string text = root.path() + "/report.txt";
    WriteText(text, ReportText(80, "DAILY"));
    const std::string out =
        RunCommand(SenderEnv(root) + NOVARC_SEND_EXE " --printer 'Workstation PDF' --text " + text +
                   " --wait 3000 2>&1");
    EXPECT_NE(out.find("printer-open reply status 1"), std::string::npos) << out;
    ASSERT_TRUE(WaitForPdfs(1)) << out << ServiceLog(root);
    const std::string pdf = PdfText(Pdfs(root)[0]);
    EXPECT_TRUE(HasReportInOrder(pdf, 80, "DAILY")) << pdf;
    EXPECT_NE(RunCommand("pdfinfo '" + Pdfs(root)[0] + "'").find("Pages:           2"),
              std::string::npos);
    EXPECT_TRUE(WaitForNoClients());

    const std::string log = ServiceLog(root);
    EXPECT_NE(log.find("StartNovarcPrintVersion( C:\\novarc\\bin2\\novarcprint.exe )"),
              std::string::npos)
        << log;
    NovarcInterruptChild(service);
    EXPECT_EQ(NovarcWaitChild(service, 20000), 0);
    service = -1;
    EXPECT_NE(ServiceLog(root).find("Exiting Print service version 237.859."), std::string::npos);
}

TEST_F(PrintServiceTest, VersionInfoChoosesTheInstalledClient)
{
    InstallClient(root, "novarcprint.859.237.exe");
    StartService();
    {
        ServerConnection server;
        ASSERT_TRUE(server.Connected());
        ASSERT_EQ(server.Open("237", "859"), 1);
        server.Print(ReportText(10, "VERSIONED"));
    }
    {
        ServerConnection server;
        ASSERT_EQ(server.Open("237", ""), 1);
        server.Print(ReportText(10, "MAJOR ONLY"));
    }
    ASSERT_TRUE(WaitForPdfs(2)) << ServiceLog(root);
    const std::string log = ServiceLog(root);
    EXPECT_NE(log.find("StartNovarcPrintVersion( C:\\novarc\\bin2\\novarcprint.859.237.exe )"),
              std::string::npos)
        << log;
    EXPECT_NE(log.find("StartNovarcPrintVersion( C:\\novarc\\bin2\\novarcprint.exe )"),
              std::string::npos)
        << log;
    EXPECT_EQ(log.find("Does Not Exist"), std::string::npos) << log;
}

TEST_F(PrintServiceTest, ClientsThatCannotStartAnswerWithAFailedOpen)
{
    /* A versioned client that ends before it has a window. */
    const std::string quitter = root.driveC("novarc/bin2/novarcprint.1.2.exe");
    WriteText(quitter, "#!/bin/sh\nexit 0\n");
    fs::permissions(quitter, fs::perms::owner_all);
    StartService();
    const std::string failure = std::string("\x1b") + Int32(-1) + Int32(0);
    {
        ServerConnection server;
        server.Send(30, VersionInfo("2", "1"));
        EXPECT_EQ(server.Reply(), failure);
    }
    /* No client at the default path at all. */
    fs::remove(root.driveC("novarc/bin2/novarcprint.exe"));
    {
        ServerConnection server;
        server.Send(1, OpenRecord("Workstation PDF")); /* consumed: not version info */
        EXPECT_EQ(server.Reply(), failure);
    }
    /* The service keeps serving. */
    InstallClient(root);
    ServerConnection server;
    EXPECT_EQ(server.Open(), 1);
}

TEST_F(PrintServiceTest, SecondInstanceAndVersionLock)
{
    StartService();
    /* A start that cannot listen fails, and the lock has its own status. */
    long second = Spawn();
    EXPECT_EQ(NovarcWaitChild(second, 20000), 1);
    EXPECT_NE(ServiceLog(root).find("Error WSAEADDRINUSE Service May Already Be Running"),
              std::string::npos);
    StopService(service);

    const std::string lockFile = root.driveC("novarc/bin/Services/ServiceVersionLocked.txt");
    WriteText(lockFile, "238\r\n");
    long locked = Spawn();
    EXPECT_EQ(NovarcWaitChild(locked, 20000), 78);
    EXPECT_NE(ServiceLog(root).find("Print service Version 237 != LOCKEDVERSION:238 EXITING!"),
              std::string::npos);

    for (const char *content : {"237\r\n", ""}) {
        WriteText(lockFile, content);
        StartService();
        ServerConnection server;
        EXPECT_EQ(server.Open(), 1) << "lock file: " << content;
        server.Close();
        StopService(service);
    }
    fs::remove(lockFile);
    StartService();
}

TEST_F(PrintServiceTest, StopAndRemoveCommandsLeaveTheRunningServicesFilesAlone)
{
    StartService();
    const std::string work = root.driveC("novarc/convert_pdf/job.part");
    WriteText(work, "a client's converter work");
    for (const char *command : {"-stop", "-remove"}) {
        long pid = NovarcSpawn(PRINTKEEPER_EXE, {"WINPORT_ROOT=" + root.path()}, {command});
        /* not installed here: the commands fail, saying so */
        EXPECT_EQ(NovarcWaitChild(pid, 20000), 1) << command;
    }
    EXPECT_EQ(ReadText(work), "a client's converter work");
    /* and the debug service runs on */
    EXPECT_NE(ServiceLog(root).find("OpenService failed - "), std::string::npos);
    ServerConnection server;
    EXPECT_EQ(server.Open(), 1);
}

TEST_F(PrintServiceTest, ManyConnectionsAtOnce)
{
    /* On real time, as at a workstation: the test clock would shrink the
     * service's wait for each client to start to a fraction of a second,
     * which a burst of starts on a busy machine (or sanitized clients)
     * overruns, and a burst of slow starts is what this test is about. */
    StartService(1);
    const auto start = std::chrono::steady_clock::now();
    std::vector<std::unique_ptr<ServerConnection>> servers;
    for (int i = 0; i < LOAD_CONNECTIONS; i++) {
        servers.push_back(std::make_unique<ServerConnection>());
        ASSERT_TRUE(servers.back()->Connected()) << i;
    }
    for (auto &server : servers) {
        server->Send(30, VersionInfo("", ""));
        server->Send(1, OpenRecord("Workstation PDF"));
    }
    int opened = 0;
    for (size_t i = 0; i < servers.size(); i++) {
        const std::string reply = servers[i]->Reply(300000);
        const bool ok = reply.size() == 21 && reply[0] == 27 && reply[1] == 1;
        opened += ok;
        if (!ok)
            printf("connection %zu: reply of %zu bytes, first %d\n", i, reply.size(),
                   reply.empty() ? -1 : (int)(unsigned char)reply[0]);
        servers[i]->Print(ReportText(20, "JOB " + std::to_string(i)));
    }
    EXPECT_EQ(opened, LOAD_CONNECTIONS);
    EXPECT_TRUE(WaitForPdfs(LOAD_CONNECTIONS, 300s)) << Pdfs(root).size();
    servers.clear();
    EXPECT_TRUE(WaitForNoClients(60s)) << ClientPids(root).size();
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const std::string status = ReadText("/proc/" + std::to_string(service) + "/status");
    const size_t hwm = status.find("VmHWM:");
    printf("%d connections, %d PDFs in %.1f s; service %s\n", LOAD_CONNECTIONS,
           (int)Pdfs(root).size(), seconds,
           hwm == std::string::npos ? "?"
                                    : status.substr(hwm, status.find('\n', hwm) - hwm).c_str());
    ServerConnection after;
    EXPECT_EQ(after.Open(), 1);
}

TEST_F(PrintServiceTest, LostConnectionsAndKilledClientsLeaveTheServiceServing)
{
    StartService();
    /* The server drops the connection after the open: the client's death
     * timer ends it (300 s, 3 s on the test clock). */
    {
        ServerConnection dropped;
        ASSERT_EQ(dropped.Open(), 1);
    }
    EXPECT_TRUE(WaitForNoClients(30s)) << ClientPids(root).size();

    /* More connections than the service has slots, each closed before it
     * said anything: none may keep its slot. */
    for (int i = 0; i < 120; i++) {
        ServerConnection silent;
        /* paced, so that the backlog of 4 never overflows into SYN retries */
        std::this_thread::sleep_for(5ms);
    }
    /* ... nor start a client for a server that is gone. */
    ServerConnection halfMessage;
    halfMessage.SendRawBytes(std::string("\x00\x00\x10\x00", 4));
    halfMessage.Close();
    std::this_thread::sleep_for(500ms);
    EXPECT_TRUE(ClientPids(root).empty());

    /* Two jobs; one client is killed half-way, the other prints. */
    ServerConnection killedJob;
    ASSERT_EQ(killedJob.Open(), 1);
    const std::set<long> first = ClientPids(root);
    ASSERT_EQ(first.size(), 1u);
    ServerConnection goodJob;
    ASSERT_EQ(goodJob.Open(), 1);
    const std::string text = ReportText(100, "GOOD");
    killedJob.Send(5, text.substr(0, 2000));
    NovarcKillChild(*first.begin());
    goodJob.Print(text);
    ASSERT_TRUE(WaitForPdfs(1));
    /* Sent in one burst with the close behind it: the close must wait for
     * the last piece to be drawn. */
    EXPECT_TRUE(HasReportInOrder(PdfText(Pdfs(root)[0]), 100, "GOOD")) << PdfText(Pdfs(root)[0]);
    ServerConnection after;
    EXPECT_EQ(after.Open(), 1);
    after.Print(ReportText(5, "AFTER"));
    EXPECT_TRUE(WaitForPdfs(2)) << ServiceLog(root);
}

} // namespace

namespace {

TEST_F(PrintServiceTest, TheAllowListRefusesOtherPeersAtAccept)
{
    const std::string list = root.driveC("novarc/bin/AllowedServers.txt");
    WriteText(list, "# only the server\r\n10.9.9.9\r\n");
    StartService();
    {
        ServerConnection stranger;
        ASSERT_TRUE(stranger.Connected());
        EXPECT_EQ(stranger.Open(), -99); /* closed without a word */
    }
    EXPECT_NE(ServiceLog(root).find("Connection from 127.0.0.1 refused: not in AllowedServers.txt"),
              std::string::npos)
        << ServiceLog(root);
    StopService(service);
    WriteText(list, "10.9.9.9\r\n127.0.0.0/8\r\n");
    StartService();
    ServerConnection server;
    EXPECT_EQ(server.Open(), 1);
}

TEST_F(PrintServiceTest, SilentSlowAndFloodingPeersLeaveTheServiceServing)
{
    StartService();
    /* A hundred peers that connect and say nothing, one that sends its first
     * message a byte at a time, and a flood of connections that close at
     * once: loopback only, and each bounded. */
    std::vector<std::unique_ptr<ServerConnection>> silent;
    for (int i = 0; i < 100; i++)
        silent.push_back(std::make_unique<ServerConnection>());
    ServerConnection slow;
    const std::string header("\x00\x02\x64\x00\x00\x00", 6); /* a 100-byte body follows */
    std::atomic<bool> stop{false};
    std::thread loris([&] {
        for (size_t i = 0; !stop.load(); i++) {
            slow.SendRawBytes(i < header.size() ? header.substr(i, 1) : std::string(1, 'x'));
            std::this_thread::sleep_for(50ms);
        }
    });
    for (int i = 0; i < 200; i++)
        ServerConnection().Close();
    /* A real job gets through all the same, once the silent ones are gone. */
    ServerConnection server;
    ASSERT_TRUE(server.Connected());
    ASSERT_EQ(server.Open(), 1) << ServiceLog(root);
    server.Print(ReportText(5, "THROUGH"));
    EXPECT_TRUE(WaitForPdfs(1));
    stop = true;
    loris.join();
    /* The silent ones were closed when their time was up. */
    EXPECT_EQ(silent[0]->Reply(5000), "<none>");
    EXPECT_NE(ServiceLog(root).find("no first message within 30 s"), std::string::npos);
    ServerConnection after;
    EXPECT_EQ(after.Open(), 1);
}

} // namespace
