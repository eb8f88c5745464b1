/*
 * The server's side of a real Printkeeper in debug mode on a fresh root:
 * starting and stopping it, print connections to its print port, and what
 * it leaves behind (its log, the clients alive, the printed PDFs).
 *
 * The service listens on the fixed ports: tests using this never run
 * alongside each other (the CTest resource lock print_service_ports).
 */
#ifndef TESTS_SERVICE_HARNESS_H
#define TESTS_SERVICE_HARNESS_H

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <set>
#include <thread>

#include "client_process.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;

constexpr int kPrintPort = 13001;

inline std::string ServiceLog(const ScratchRoot &root)
{
    return ReadText(root.driveC("novarc/bin/Services/ErrorLogs/Printkeeper.log"));
}

/* Places the client where the service starts it from. */
/* The environment for novarc-send talking to the service over the
 * network: a scratch root of its own beside the service's, so that it
 * never falls back to the machine's real root. */
inline std::string SenderEnv(const ScratchRoot &root)
{
    return "WINPORT_ROOT=" + ShellQuoted(root.path() + "/sender") + " ";
}

inline void InstallClient(const ScratchRoot &root, const std::string &name = "novarcprint.exe")
{
    fs::create_directories(root.driveC("novarc/bin2"));
    fs::copy_file(NOVARCPRINT_EXE, root.driveC("novarc/bin2/" + name),
                  fs::copy_options::overwrite_existing);
}

/* Print clients of this root still alive (not zombies). */
inline std::set<long> ClientPids(const ScratchRoot &root)
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

inline std::vector<std::string> Pdfs(const ScratchRoot &root)
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
inline std::string PdfText(const std::string &pdf)
{
    std::string text = RunCommand("pdftotext -layout '" + pdf + "' - 2>&1"), out;
    for (char c : text)
        if (!(c == ' ' && !out.empty() && out.back() == ' '))
            out += c;
    return out;
}

/* Every line of ReportText(lines, tag) once, in order: nothing lost,
 * repeated or drawn over another line. */
inline bool HasReportInOrder(const std::string &pdfText, int lines, const std::string &tag)
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

template <typename Pred> inline bool WaitFor(Pred pred, std::chrono::milliseconds limit)
{
    for (auto end = std::chrono::steady_clock::now() + limit;
         std::chrono::steady_clock::now() < end; std::this_thread::sleep_for(20ms))
        if (pred())
            return true;
    return pred();
}

inline std::string VersionInfo(const std::string &major, const std::string &minor)
{
    return Int32(22) + "<NovarcPrintOptions><NovarcPrintMajorVersion>" + major +
           "</NovarcPrintMajorVersion><NovarcPrintMinorVersion>" + minor +
           "</NovarcPrintMinorVersion></NovarcPrintOptions>";
}

inline std::string OpenRecord(const std::string &printer)
{
    return Str(printer) + Str("") + Int32(66) + Int32(0) + Str("");
}

inline std::string ReportText(int lines, const std::string &tag)
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

class ServiceFixture : public ::testing::Test {
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
    virtual long Spawn(int timeScale = kTimeScale)
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

#endif
