/*
 * net.exe of the system directory: "net start" and "net stop" as a program
 * runs them by command line, found by its bare name, through the service
 * control manager.
 */
#include "service_test_util.h"

#include <cstdio>

namespace {

class NetCommand : public ServiceTest {
protected:
    NetCommand()
    {
        std::filesystem::copy_file(WINPORT_NET, root_.driveC("Windows/system32/net.exe"));
    }
    /* Runs the command line as CreateProcessA runs it; its exit code. */
    DWORD Run(const char *command)
    {
        char line[256];
        snprintf(line, sizeof line, "%s", command);
        STARTUPINFOA si{};
        si.cb = sizeof si;
        PROCESS_INFORMATION pi{};
        if (!CreateProcessA(nullptr, line, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
            return ~0u;
        WaitForSingleObject(pi.hProcess, INFINITE);
        DWORD code = ~0u;
        GetExitCodeProcess(pi.hProcess, &code);
        CloseHandle(pi.hThread);
        CloseHandle(pi.hProcess);
        return code;
    }
    /* What net prints for the arguments (run directly in this root).  Into
     * a file, not a pipe: a service net starts inherits its output. */
    std::string Output(const std::string &args)
    {
        const std::string file = root_.path() + "/net-output.txt";
        const std::string command =
            "WINPORT_ROOT=" + root_.path() + " " + WINPORT_NET + " " + args + " >" + file + " 2>&1";
        if (system(command.c_str()) == -1)
            return "<not run>";
        std::ifstream in(file);
        std::stringstream all;
        all << in.rdbuf();
        return all.str();
    }
};

TEST_F(NetCommand, StartAndStopAServiceByItsBareName)
{
    SC_HANDLE service =
        Install(kTestServiceName, SERVICE_DEMAND_START, "c:\\bin\\wptestsvc.exe", "Test Service");
    ASSERT_NE(service, nullptr);
    Go();
    EXPECT_EQ(Run("net start WpTestSvc"), 0u);
    SERVICE_STATUS status{};
    ASSERT_TRUE(QueryServiceStatus(service, &status));
    EXPECT_EQ(status.dwCurrentState, (DWORD)SERVICE_RUNNING);
    EXPECT_NE(Output("start WpTestSvc").find("The requested service has already been started."),
              std::string::npos);
    EXPECT_EQ(Run("NET STOP wptestsvc"), 0u);
    ASSERT_TRUE(QueryServiceStatus(service, &status));
    EXPECT_EQ(status.dwCurrentState, (DWORD)SERVICE_STOPPED);
    EXPECT_NE(Output("stop WpTestSvc").find("The Test Service service is not started."),
              std::string::npos);
    const std::string started = Output("start WpTestSvc");
    EXPECT_NE(started.find("The Test Service service was started successfully."), std::string::npos)
        << started;
    EXPECT_NE(Output("stop WpTestSvc").find("The Test Service service was stopped successfully."),
              std::string::npos);
    CloseServiceHandle(service);
}

TEST_F(NetCommand, FailuresHaveNetsStatuses)
{
    EXPECT_EQ(Run("net start NoSuchService"), 2u);
    EXPECT_NE(Output("stop NoSuchService").find("The service name is invalid."), std::string::npos);
    SC_HANDLE service = Install();
    ASSERT_NE(service, nullptr);
    EXPECT_EQ(Run("net stop WpTestSvc"), 2u); /* never started */
    EXPECT_EQ(Run("net pause WpTestSvc"), 1u);
    EXPECT_EQ(Run("net start"), 1u);
    CloseServiceHandle(service);
}

} // namespace
