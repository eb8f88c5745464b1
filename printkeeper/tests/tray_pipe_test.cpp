/*
 * The service's pipe served for real (its threads, in this process), with
 * clients of this user and of another, and the endpoint notices received
 * by a listener on the notice port (run the test in its own network
 * namespace: the port is fixed).
 */
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include <namedpipeapi.h>
#include <scratch_root.h>

#include "printkeeper.h"

namespace {

namespace fs = std::filesystem;

std::string Slurp(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream all;
    all << in.rdbuf();
    return all.str();
}

/* One root and one pipe server for the suite: the server's threads live
 * as long as the process. */
class TrayPipeTest : public ::testing::Test {
protected:
    static ScratchRoot *root;
    static void SetUpTestSuite()
    {
        root = new ScratchRoot();
        chmod(root->path().c_str(), 0755);
        CreateFolderTree(ERROR_LOGS_DIR);
        CreateFolderTree("c:\\novarc\\bin");
        g_Printkeeper.bDebug = true; // no service manager to report to
        g_Printkeeper.hStopEvent = CreateEventA(NULL, TRUE, FALSE, NULL);
        ASSERT_TRUE(StartPipeServer());
        for (int i = 0; i < 200 && !WaitNamedPipeA(UI_PIPE_NAME, 0); i++)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        chmod((root->path() + "/winport").c_str(), 0755);
    }
    static void TearDownTestSuite()
    {
        /* A client's thread logs its peer's going; let it finish before
         * the process's exit tears down what it writes with. */
        for (int i = 0; i < 500 && PipeConnectionCount() > 0; i++)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        CloseHandle(g_Printkeeper.hStopEvent);
        g_Printkeeper.hStopEvent = NULL;
        // The server's threads keep the root's pipe: the folder stays.
    }
    void SetUp() override
    {
        winport_test_set_root(root->path().c_str()); // other tests may have moved it
        ResetEvent(g_Printkeeper.hStopEvent);
    }

    std::string Log()
    {
        return Slurp(root->driveC("novarc/bin/Services/ErrorLogs/Printkeeper.log"));
    }
    bool DebugFlag() { return fs::exists(root->driveC("novarc/bin/PRINT_DEBUGGING_ON")); }
    bool Stopped(DWORD ms) { return WaitForSingleObject(g_Printkeeper.hStopEvent, ms) == 0; }

    /* Waits until the server has taken every message written so far. */
    void Settle(HANDLE hPipe)
    {
        WritePipeCommand(hPipe, PIPE_CMD_KEEPALIVE);
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
};
ScratchRoot *TrayPipeTest::root = nullptr;

TEST_F(TrayPipeTest, OperatorSwitchesDebugLogsAndStopsTheService)
{
    HANDLE hPipe = OpenServicePipe();
    ASSERT_NE(hPipe, INVALID_HANDLE_VALUE);
    const bool bWas = DebugFlag();
    ASSERT_TRUE(WritePipeCommand(hPipe, PIPE_CMD_DEBUG_LOG));
    Settle(hPipe);
    EXPECT_NE(DebugFlag(), bWas);
    ASSERT_TRUE(WritePipeCommand(hPipe, PIPE_CMD_DEBUG_LOG));
    Settle(hPipe);
    EXPECT_EQ(DebugFlag(), bWas);
    EXPECT_FALSE(Stopped(0));
    ASSERT_TRUE(WritePipeCommand(hPipe, PIPE_CMD_SHUTDOWN));
    EXPECT_TRUE(Stopped(5000));
    EXPECT_NE(Log().find("Print service version 237.859 stopping at user request."),
              std::string::npos);
    CloseHandle(hPipe);
}

TEST_F(TrayPipeTest, OversizedMessageIsDroppedAndTheConnectionGoesOn)
{
    HANDLE hPipe = OpenServicePipe();
    ASSERT_NE(hPipe, INVALID_HANDLE_VALUE);
    std::string big(10000, 'A');
    memcpy(&big[0], "SHUTDOWN", 9); // a command at its front must not count
    DWORD dwWritten = 0;
    ASSERT_TRUE(WriteFile(hPipe, big.data(), (DWORD)big.size(), &dwWritten, NULL));
    Settle(hPipe);
    EXPECT_FALSE(Stopped(0));
    EXPECT_NE(Log().find("message over 4096 bytes dropped"), std::string::npos);
    EXPECT_TRUE(WritePipeCommand(hPipe, PIPE_CMD_KEEPALIVE));
    CloseHandle(hPipe);
}

TEST_F(TrayPipeTest, AnotherUserKeepsAliveButMayNotStopOrSwitch)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "needs root to run a client as another user";
    const bool bWas = DebugFlag();
    pid_t child = fork();
    if (child == 0) {
        if (setgid(65534) != 0 || setuid(65534) != 0)
            _exit(2);
        HANDLE hPipe = OpenServicePipe();
        bool bOk = hPipe != INVALID_HANDLE_VALUE && WritePipeCommand(hPipe, PIPE_CMD_KEEPALIVE) &&
                   WritePipeCommand(hPipe, PIPE_CMD_DEBUG_LOG) &&
                   WritePipeCommand(hPipe, PIPE_CMD_SHUTDOWN);
        Sleep(300); // let the server read before the pipe closes
        _exit(bOk ? 0 : 1);
    }
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_FALSE(Stopped(0));
    EXPECT_EQ(DebugFlag(), bWas);
    const std::string log = Log();
    const std::string who = "from process " + std::to_string(child) + " refused";
    EXPECT_NE(log.find("Pipe command SHUTDOWN " + who), std::string::npos) << log;
    EXPECT_NE(log.find("Pipe command IDM_PRINT_SERVICE_DEBUG_LOG " + who), std::string::npos);
}

/* A listener on the notice port that takes one wire message per connection. */
class NoticeListener {
public:
    NoticeListener()
    {
        EXPECT_EQ(KELLoadWinsock(), 1);
        EXPECT_EQ(KELWSAStartup(), 1);
        listener_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        int one = 1;
        setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, (const char *)&one, sizeof one);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        addr.sin_port = htons(ENDPOINT_PORT);
        ok_ = bind(listener_, (sockaddr *)&addr, sizeof addr) == 0 && listen(listener_, 8) == 0;
    }
    ~NoticeListener() { closesocket(listener_); }
    bool ok() const { return ok_; }
    std::string Take()
    {
        SOCKET s = accept(listener_, nullptr, nullptr);
        MsgBuf buf;
        InitMsgBuf(&buf, 0);
        std::string text;
        if (s != INVALID_SOCKET && KELrecv(s, &buf, RECV_BOUNDED) == 1 && buf.szBuf)
            text.assign(buf.szBuf, (size_t)buf.iLen);
        FreeMsgBuf(&buf);
        closesocket(s);
        return text;
    }

private:
    SOCKET listener_ = INVALID_SOCKET;
    bool ok_ = false;
};

TEST(EndpointNoticeRun, ServersInTheFilesHearUpdateAndStop)
{
    ScratchRoot root;
    NoticeListener listener;
    ASSERT_TRUE(listener.ok()) << "port 11001 taken: run in a network namespace of its own";
    char szComputer[MAX_COMPUTERNAME_LENGTH + 1] = "";
    DWORD dwComputer = sizeof szComputer;
    GetComputerNameA(szComputer, &dwComputer);
    char szOwn[32];
    OwnAddress(szOwn, sizeof szOwn);
    const std::string who = std::string(" -C") + szComputer + " -I" + szOwn;

    // 127.0.0.2 answers nothing on the port: refused at once, left out.
    const char addresses[2][16] = {"127.0.0.2", "127.0.0.1"};
    std::string got;
    std::thread take([&] { got = listener.Take(); });
    EXPECT_EQ(SendEndpointNotices(addresses, 2, false, 0), 1);
    take.join();
    EXPECT_EQ(got, "-EPSERVICEUPDATE" + who);

    std::thread takeStop([&] { got = listener.Take(); });
    EXPECT_EQ(SendEndpointNotices(addresses + 1, 1, true, 100), 1);
    takeStop.join();
    EXPECT_EQ(got, "-EPSERVICESTOP" + who);
}

} // namespace
