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
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <set>
#include <thread>

#include "client_process.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

constexpr int kPrintPort = 13001;

std::string ServiceLog(const ScratchRoot &root)
{
    return ReadText(root.driveC("novarc/bin/Services/ErrorLogs/Printkeeper.log"));
}

/* Places the client where the service starts it from. */
void InstallClient(const ScratchRoot &root, const std::string &name = "novarcprint.exe")
{
    fs::create_directories(root.driveC("novarc/bin2"));
    fs::copy_file(NOVARCPRINT_EXE, root.driveC("novarc/bin2/" + name),
                  fs::copy_options::overwrite_existing);
}

/* Print clients of this root still alive (not zombies). */
std::set<long> ClientPids(const ScratchRoot &root)
{
    std::set<long> pids;
    const std::string bin2 = root.driveC("novarc/bin2/");
    for (const auto &entry : fs::directory_iterator("/proc")) {
        const std::string name = entry.path().filename().string();
        if (name.find_first_not_of("0123456789") != std::string::npos)
            continue;
        std::error_code ec;
        const std::string exe = fs::read_symlink(entry.path() / "exe", ec).string();
        if (!ec && exe.rfind(bin2, 0) == 0 && exe.find("rintkeeper") == std::string::npos)
            pids.insert(std::stol(name));
    }
    return pids;
}

std::vector<std::string> Pdfs(const ScratchRoot &root)
{
    std::vector<std::string> files;
    const std::string dir = root.driveC("novarc/printed");
    if (fs::is_directory(dir))
        for (const auto &entry : fs::directory_iterator(dir))
            if (entry.path().extension() == ".pdf")
                files.push_back(entry.path().string());
    return files;
}

/* pdftotext -layout spaces columns by their position, not by the blanks
 * the report had: compare text with every run of blanks made one. */
std::string PdfText(const std::string &pdf)
{
    std::string text = RunCommand("pdftotext -layout '" + pdf + "' - 2>&1"), out;
    for (char c : text)
        if (!(c == ' ' && !out.empty() && out.back() == ' '))
            out += c;
    return out;
}

/* Every line of ReportText(lines, tag) once, in order: nothing lost,
 * repeated or drawn over another line. */
bool HasReportInOrder(const std::string &pdfText, int lines, const std::string &tag)
{
    size_t at = 0;
    for (int i = 1; i <= lines; i++) {
        const std::string line = tag + " LINE " + std::to_string(i) + " PATIENT " +
                                 std::to_string(1000 + i) + " FOLLOW-UP\n";
        at = pdfText.find(line, at);
        if (at == std::string::npos)
            return false;
        at += line.size();
    }
    return true;
}

template <typename Pred> bool WaitFor(Pred pred, std::chrono::milliseconds limit)
{
    for (auto end = std::chrono::steady_clock::now() + limit;
         std::chrono::steady_clock::now() < end; std::this_thread::sleep_for(20ms))
        if (pred())
            return true;
    return pred();
}

std::string VersionInfo(const std::string &major, const std::string &minor)
{
    return Int32(22) + "<NovarcPrintOptions><NovarcPrintMajorVersion>" + major +
           "</NovarcPrintMajorVersion><NovarcPrintMinorVersion>" + minor +
           "</NovarcPrintMinorVersion></NovarcPrintOptions>";
}

std::string OpenRecord(const std::string &printer)
{
    return Str(printer) + Str("") + Int32(66) + Int32(0) + Str("");
}

std::string ReportText(int lines, const std::string &tag)
{
    std::string text;
    for (int i = 1; i <= lines; i++)
        text += tag + " LINE " + std::to_string(i) + "  PATIENT " + std::to_string(1000 + i) +
                "  FOLLOW-UP\r\n";
    return text;
}

/* The server's side of one print connection. */
class ServerConnection {
public:
    ServerConnection() { sock_ = NovarcConnect("127.0.0.1", kPrintPort); }
    ~ServerConnection()
    {
        if (sock_ != INVALID_SOCKET)
            closesocket(sock_);
    }
    bool Connected() const { return sock_ != INVALID_SOCKET; }
    void Send(int type, const std::string &payload) { NovarcSendRequest(sock_, type, payload); }
    /* Bytes as they are, not a wire message. */
    void SendRawBytes(const std::string &bytes) { send(sock_, bytes.data(), (int)bytes.size(), 0); }
    std::string Reply(int timeoutMs = 30000)
    {
        std::string reply;
        return NovarcReceiveReply(sock_, &reply, timeoutMs) ? reply : std::string("<none>");
    }
    /* Version info, OPEN_PRINTER and the open reply's status (-99: none). */
    int Open(const std::string &major = "", const std::string &minor = "")
    {
        Send(30, VersionInfo(major, minor));
        Send(1, OpenRecord("Workstation PDF"));
        const std::string reply = Reply();
        if (reply.size() < 5 || reply[0] != 27)
            return -99;
        return (int)((unsigned char)reply[1] | (unsigned char)reply[2] << 8 |
                     (unsigned char)reply[3] << 16 | (unsigned)(unsigned char)reply[4] << 24);
    }
    void Print(const std::string &text)
    {
        for (size_t at = 0; at < text.size(); at += 2000)
            Send(5, text.substr(at, 2000));
        Send(2, "");
    }
    void Close()
    {
        closesocket(sock_);
        sock_ = INVALID_SOCKET;
    }

private:
    SOCKET sock_ = INVALID_SOCKET;
};

class PrintServiceTest : public ::testing::Test {
protected:
    ScratchRoot root;
    long service = -1;

    void SetUp() override
    {
        ASSERT_TRUE(NovarcStartWinsock());
        InstallClient(root);
    }
    void TearDown() override
    {
        StopService(service);
        for (long pid : ClientPids(root))
            NovarcKillChild(pid);
    }
    long Spawn(int timeScale = kTimeScale)
    {
        return NovarcSpawn(
            PRINTKEEPER_EXE,
            {"WINPORT_ROOT=" + root.path(), "WINPORT_TIME_SCALE=" + std::to_string(timeScale)},
            {"-debug"});
    }
    /* Starts the service and waits until the print port answers. */
    void StartService(int timeScale = kTimeScale)
    {
        service = Spawn(timeScale);
        ASSERT_GT(service, 0);
        ASSERT_TRUE(WaitFor(
            [&] {
                return ServiceLog(root).find("Print service Version 237.859 started.") !=
                       std::string::npos;
            },
            20s))
            << ServiceLog(root);
        ASSERT_TRUE(WaitFor(
            [&] {
                SOCKET s = NovarcConnect("127.0.0.1", kPrintPort);
                if (s == INVALID_SOCKET)
                    return false;
                closesocket(s); /* a connection that never speaks: the service must cope */
                return true;
            },
            20s));
        /* The port may answer for another program (a second test run on this
         * machine): then this service has given up and says so. */
        std::this_thread::sleep_for(100ms);
        ASSERT_LT(NovarcWaitChild(service, 0), 0) << "the service ended:\n" << ServiceLog(root);
        const std::string log = ServiceLog(root);
        ASSERT_EQ(log.find("WSAEADDRINUSE", log.rfind("Print service Version 237.859 started.")),
                  std::string::npos)
            << "port 13001 is taken by another program";
    }
    void StopService(long &pid)
    {
        if (pid <= 0)
            return;
        NovarcInterruptChild(pid);
        if (NovarcWaitChild(pid, 20000) < 0)
            NovarcKillChild(pid);
        pid = -1;
    }
    bool WaitForPdfs(size_t count, std::chrono::milliseconds limit = 60s)
    {
        return WaitFor([&] { return Pdfs(root).size() >= count; }, limit);
    }
    bool WaitForNoClients(std::chrono::milliseconds limit = 30s)
    {
        return WaitFor([&] { return ClientPids(root).empty(); }, limit);
    }
};

TEST_F(PrintServiceTest, ReportFromNovarcSendComesOutAsPdfAndCtrlCStopsTheService)
{
    StartService();
    const std::string text = root.path() + "/report.txt";
    WriteText(text, ReportText(80, "DAILY"));
    const std::string out =
        RunCommand(std::string(NOVARC_SEND_EXE) + " --printer 'Workstation PDF' --text " + text +
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
        EXPECT_EQ(NovarcWaitChild(pid, 20000), 0) << command;
    }
    EXPECT_EQ(ReadText(work), "a client's converter work");
    /* not installed here: the commands say so and the debug service runs on */
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
