/*
 * The service program's side and the life of a running service: the
 * dispatcher (in this process and in a service process StartServiceA
 * starts), controls and their errors, status reports, SIGTERM, and
 * deleting a running service.
 */
#include "service_test_util.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <cstring>

#include <future>

namespace {

/* Extracts the number after "pid " in the trace. */
pid_t TracedPid(const std::string &trace)
{
    const size_t at = trace.find("pid ");
    return at == std::string::npos ? 0 : static_cast<pid_t>(std::stol(trace.substr(at + 4)));
}

void ExpectStoppingStatus(const SERVICE_STATUS &status)
{
    if (status.dwCurrentState == SERVICE_STOP_PENDING) {
        EXPECT_EQ(status.dwCheckPoint, 1u);
        EXPECT_EQ(status.dwWaitHint, 5000u);
    } else {
        EXPECT_EQ(status.dwCurrentState, static_cast<DWORD>(SERVICE_STOPPED));
    }
}

} // namespace

TEST_F(ServiceTest, DispatcherOutsideAServiceCannotConnect)
{
    SERVICE_TABLE_ENTRYA table[] = {{const_cast<LPSTR>(kTestServiceName), nullptr},
                                    {nullptr, nullptr}};
    unsetenv("WINPORT_SERVICE_NAME");
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(StartServiceCtrlDispatcherA(table));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FAILED_SERVICE_CONTROLLER_CONNECT));
    setenv("WINPORT_SERVICE_NAME", "NotInTheTable", 1);
    EXPECT_EQ(RunTestServiceProgram(), static_cast<DWORD>(ERROR_FAILED_SERVICE_CONTROLLER_CONNECT));
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(StartServiceCtrlDispatcherA(nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    SERVICE_STATUS status{SERVICE_WIN32_OWN_PROCESS, SERVICE_RUNNING, 0, 0, 0, 0, 0};
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(SetServiceStatus(nullptr, &status));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    SetLastError(0xdeadbeef);
    EXPECT_EQ(RegisterServiceCtrlHandlerA(kTestServiceName, [](DWORD) {}), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SERVICE_DOES_NOT_EXIST));
}

/* The dispatcher in this process: ServiceMain on its own thread, handlers
 * on the dispatcher's, controls and their errors, and the return once the
 * service stopped. */
TEST_F(ServiceTest, DispatcherInThisProcessServesControlsOnItsThread)
{
    SC_HANDLE service = Install();
    ASSERT_NE(service, nullptr);
    InProcessService dispatcher;

    SERVICE_STATUS status{};
    ASSERT_TRUE(WaitForTrace("main"));
    // The dispatcher's own start-pending report comes first, then the
    // service's, with its check point and wait hint kept as reported.
    for (int i = 0; i < 2000 && status.dwCheckPoint != 7; ++i) {
        ASSERT_TRUE(QueryServiceStatus(service, &status));
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_EQ(status.dwCurrentState, static_cast<DWORD>(SERVICE_START_PENDING));
    EXPECT_EQ(status.dwCheckPoint, 7u);
    EXPECT_EQ(status.dwWaitHint, 1234u);
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(StartServiceA(service, 0, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SERVICE_ALREADY_RUNNING));
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(ControlService(service, SERVICE_CONTROL_STOP, &status));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SERVICE_CANNOT_ACCEPT_CTRL));
    EXPECT_EQ(status.dwCurrentState, static_cast<DWORD>(SERVICE_START_PENDING));

    Go();
    ASSERT_TRUE(WaitForState(service, SERVICE_RUNNING, &status));
    EXPECT_EQ(status.dwControlsAccepted, static_cast<DWORD>(SERVICE_ACCEPT_STOP));
    // A second dispatcher in the same process.
    SERVICE_TABLE_ENTRYA table[] = {{const_cast<LPSTR>(kTestServiceName), [](DWORD, LPSTR *) {}},
                                    {nullptr, nullptr}};
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(StartServiceCtrlDispatcherA(table));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SERVICE_ALREADY_RUNNING));

    EXPECT_TRUE(ControlService(service, SERVICE_CONTROL_INTERROGATE, &status));
    EXPECT_EQ(status.dwCurrentState, static_cast<DWORD>(SERVICE_RUNNING));
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(ControlService(service, SERVICE_CONTROL_PAUSE, &status));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_SERVICE_CONTROL));
    EXPECT_EQ(status.dwCurrentState, static_cast<DWORD>(SERVICE_RUNNING));

    // The reply carries the status after the handler returned: its stop
    // pending report, or already the stop ServiceMain reported meanwhile.
    ASSERT_TRUE(ControlService(service, SERVICE_CONTROL_STOP, &status));
    ExpectStoppingStatus(status);
    EXPECT_EQ(dispatcher.Wait(), 0u);

    const std::string trace = Trace();
    EXPECT_NE(trace.find("main WpTestSvc own-thread"), std::string::npos) << trace;
    EXPECT_NE(trace.find("control 4 on-dispatcher"), std::string::npos) << trace;
    EXPECT_NE(trace.find("control 1 on-dispatcher"), std::string::npos) << trace;
    EXPECT_EQ(trace.find("control 2"), std::string::npos) << trace; // refused before the handler
    EXPECT_NE(trace.find("returned"), std::string::npos) << trace;

    // Stopped: the exit codes it reported stay; controls find nobody.
    ASSERT_TRUE(QueryServiceStatus(service, &status));
    EXPECT_EQ(status.dwCurrentState, static_cast<DWORD>(SERVICE_STOPPED));
    EXPECT_EQ(status.dwWin32ExitCode, static_cast<DWORD>(ERROR_SERVICE_SPECIFIC_ERROR));
    EXPECT_EQ(status.dwServiceSpecificExitCode, 42u);
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(ControlService(service, SERVICE_CONTROL_STOP, &status));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SERVICE_NOT_ACTIVE));
    CloseServiceHandle(service);
}

TEST_F(ServiceTest, SetServiceStatusRefusesUnknownStates)
{
    CloseServiceHandle(Install());
    setenv("WINPORT_SERVICE_NAME", "OtherSvc", 1);
    static std::atomic<SERVICE_STATUS_HANDLE> s_handle;
    static std::atomic<bool> s_registered, s_done;
    s_handle = nullptr;
    s_registered = s_done = false;
    SERVICE_TABLE_ENTRYA table[] = {{const_cast<LPSTR>("OtherSvc"), nullptr}, {nullptr, nullptr}};
    table[0].lpServiceProc = [](DWORD, LPSTR *argv) {
        s_handle = RegisterServiceCtrlHandlerA(argv[0], [](DWORD) {});
        s_registered = true;
        for (int i = 0; i < 2000 && !s_done; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        // Stops even when the test gave up half-way, so the dispatcher returns.
        SERVICE_STATUS stopped{SERVICE_WIN32_OWN_PROCESS, SERVICE_STOPPED, 0, 0, 0, 0, 0};
        SetServiceStatus(s_handle, &stopped);
    };
    auto dispatcher =
        std::async(std::launch::async, [&] { return StartServiceCtrlDispatcherA(table); });
    for (int i = 0; i < 2000 && !s_registered; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    SERVICE_STATUS_HANDLE h = s_handle;
    EXPECT_NE(h, nullptr);
    SERVICE_STATUS status{SERVICE_WIN32_OWN_PROCESS, 8, 0, 0, 0, 0, 0};
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(SetServiceStatus(h, &status));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_DATA));
    status.dwCurrentState = SERVICE_RUNNING;
    EXPECT_TRUE(SetServiceStatus(h, &status));
    s_done = true;
    ASSERT_EQ(dispatcher.wait_for(std::chrono::seconds(30)), std::future_status::ready);
    EXPECT_TRUE(dispatcher.get());
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(SetServiceStatus(h, &status)); // the dispatcher has returned
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

/* A real service process: StartServiceA, start pending to running with the
 * arguments given, stop from this process, and the dispatcher returning. */
TEST_F(ServiceTest, StartedServiceRunsAndStopsInItsOwnProcess)
{
    SC_HANDLE service = Install();
    ASSERT_NE(service, nullptr);
    LPCSTR args[] = {"alpha", "beta gamma"};
    ASSERT_TRUE(StartServiceA(service, 2, args)) << GetLastError();
    SERVICE_STATUS status{};
    ASSERT_TRUE(QueryServiceStatus(service, &status));
    EXPECT_EQ(status.dwCurrentState, static_cast<DWORD>(SERVICE_START_PENDING));
    ASSERT_TRUE(WaitForTrace("main"));
    const pid_t pid = TracedPid(Trace());
    EXPECT_NE(pid, getpid());
    Go();
    ASSERT_TRUE(WaitForState(service, SERVICE_RUNNING, &status));
    ASSERT_TRUE(ControlService(service, SERVICE_CONTROL_STOP, &status));
    ExpectStoppingStatus(status);
    ASSERT_TRUE(WaitForState(service, SERVICE_STOPPED, &status));
    EXPECT_EQ(status.dwServiceSpecificExitCode, 42u);
    ASSERT_TRUE(WaitForTrace("returned"));
    EXPECT_NE(Trace().find("main WpTestSvc alpha beta gamma own-thread"), std::string::npos)
        << Trace();
    EXPECT_NE(Trace().find("control 1 on-dispatcher"), std::string::npos) << Trace();
    CloseServiceHandle(service);
}

TEST_F(ServiceTest, SigtermStopsARunningService)
{
    SC_HANDLE service = Install();
    ASSERT_TRUE(StartServiceA(service, 0, nullptr)) << GetLastError();
    ASSERT_TRUE(WaitForTrace("main"));
    Go();
    ASSERT_TRUE(WaitForState(service, SERVICE_RUNNING));
    const pid_t pid = TracedPid(Trace());
    ASSERT_GT(pid, 0);
    ASSERT_EQ(kill(pid, SIGTERM), 0);
    ASSERT_TRUE(WaitForState(service, SERVICE_STOPPED));
    ASSERT_TRUE(WaitForTrace("returned"));
    EXPECT_NE(Trace().find("control 1 on-dispatcher"), std::string::npos) << Trace();
    CloseServiceHandle(service);
}

/* A service has no console: a starter whose output is a pipe (a package
 * manager's installer, a script reading `net start`) sees the pipe's end
 * once it has started the service, while the service goes on running. */
TEST_F(ServiceTest, AStartedServiceHoldsNoneOfItsStartersOutput)
{
    SC_HANDLE service = Install();
    int out[2];
    ASSERT_EQ(pipe2(out, O_CLOEXEC), 0);
    const int savedOut = fcntl(1, F_DUPFD_CLOEXEC, 3), savedErr = fcntl(2, F_DUPFD_CLOEXEC, 3);
    ASSERT_GE(savedOut, 0);
    ASSERT_GE(savedErr, 0);
    dup2(out[1], 1);
    dup2(out[1], 2);
    close(out[1]);
    const BOOL started = StartServiceA(service, 0, nullptr);
    const DWORD error = GetLastError();
    dup2(savedOut, 1);
    dup2(savedErr, 2);
    close(savedOut);
    close(savedErr);
    ASSERT_TRUE(started) << error;
    ASSERT_TRUE(WaitForTrace("main"));
    pollfd end{out[0], POLLIN, 0};
    char byte;
    EXPECT_EQ(poll(&end, 1, 10000), 1);
    EXPECT_EQ(read(out[0], &byte, 1), 0) << "the service holds the starter's output";
    close(out[0]);
    Go();
    ASSERT_TRUE(WaitForState(service, SERVICE_RUNNING));
    SERVICE_STATUS status{};
    ASSERT_TRUE(ControlService(service, SERVICE_CONTROL_STOP, &status));
    ASSERT_TRUE(WaitForState(service, SERVICE_STOPPED));
    CloseServiceHandle(service);
}

/* A service deleted while it runs keeps its record (marked) until it stops. */
TEST_F(ServiceTest, DeletingARunningServiceWaitsForItToStop)
{
    SC_HANDLE service = Install();
    ASSERT_TRUE(StartServiceA(service, 0, nullptr)) << GetLastError();
    ASSERT_TRUE(WaitForTrace("main"));
    Go();
    ASSERT_TRUE(WaitForState(service, SERVICE_RUNNING));
    EXPECT_TRUE(DeleteService(service));
    EXPECT_NE(RegString(kTestServiceName, "ImagePath"), "(no key)");
    SetLastError(0xdeadbeef);
    EXPECT_EQ(Install(), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SERVICE_MARKED_FOR_DELETE));
    SERVICE_STATUS status{};
    ASSERT_TRUE(ControlService(service, SERVICE_CONTROL_STOP, &status));
    ASSERT_TRUE(WaitForTrace("returned"));
    EXPECT_EQ(RegString(kTestServiceName, "ImagePath"), "(no key)");
    CloseServiceHandle(service);
}

/* A client that connects to the service and says nothing holds up neither
 * controls nor the stop. */
TEST_F(ServiceTest, ASilentClientDoesNotHoldUpControls)
{
    SC_HANDLE service = Install();
    InProcessService dispatcher;
    ASSERT_TRUE(WaitForTrace("main"));
    Go();
    ASSERT_TRUE(WaitForState(service, SERVICE_RUNNING));

    const std::string path = root_.path() + "/winport/services/wptestsvc.sock";
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    ASSERT_LT(path.size(), sizeof addr.sun_path);
    std::memcpy(addr.sun_path, path.c_str(), path.size());
    std::vector<int> silent;
    for (int i = 0; i < 70; ++i) { // more than it keeps waiting at once
        int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        ASSERT_EQ(connect(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr), 0);
        silent.push_back(fd);
    }
    SERVICE_STATUS status{};
    const auto before = std::chrono::steady_clock::now();
    EXPECT_TRUE(ControlService(service, SERVICE_CONTROL_INTERROGATE, &status));
    ASSERT_TRUE(ControlService(service, SERVICE_CONTROL_STOP, &status));
    EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::milliseconds(1500));
    EXPECT_EQ(dispatcher.Wait(), 0u);
    for (int fd : silent)
        close(fd);
    CloseServiceHandle(service);
}

/* A service process that dies without reporting it stopped is stopped,
 * with ERROR_PROCESS_ABORTED, and can be started again. */
TEST_F(ServiceTest, ACrashedServiceIsStoppedAndStartsAgain)
{
    SC_HANDLE service = Install();
    ASSERT_TRUE(StartServiceA(service, 0, nullptr)) << GetLastError();
    ASSERT_TRUE(WaitForTrace("main"));
    Go();
    ASSERT_TRUE(WaitForState(service, SERVICE_RUNNING));
    ASSERT_EQ(kill(TracedPid(Trace()), SIGKILL), 0);
    SERVICE_STATUS status{};
    ASSERT_TRUE(WaitForState(service, SERVICE_STOPPED, &status));
    EXPECT_EQ(status.dwWin32ExitCode, static_cast<DWORD>(ERROR_PROCESS_ABORTED));
    ASSERT_TRUE(StartServiceA(service, 0, nullptr)) << GetLastError();
    ASSERT_TRUE(WaitForState(service, SERVICE_RUNNING)); // the go event is still set
    ASSERT_TRUE(ControlService(service, SERVICE_CONTROL_STOP, &status));
    ASSERT_TRUE(WaitForState(service, SERVICE_STOPPED, &status));
    EXPECT_EQ(status.dwServiceSpecificExitCode, 42u);
    CloseServiceHandle(service);
}
