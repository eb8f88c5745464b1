/*
 * The test service (see service_body.h).  Tests only.
 */
#include "service_body.h"

#include <atomic>

namespace {

SERVICE_STATUS_HANDLE g_status = nullptr;
HANDLE g_stop = nullptr;
std::atomic<DWORD> g_dispatcherThread{0};

void Report(DWORD state, DWORD accepted, DWORD checkPoint, DWORD waitHint, DWORD exitCode = 0,
            DWORD specific = 0)
{
    SERVICE_STATUS s{
        SERVICE_WIN32_OWN_PROCESS, state, accepted, exitCode, specific, checkPoint, waitHint};
    if (!SetServiceStatus(g_status, &s))
        TestServiceTrace("SetServiceStatus failed " + std::to_string(GetLastError()));
}

VOID WINAPI Handler(DWORD control)
{
    const bool onDispatcher = GetCurrentThreadId() == g_dispatcherThread;
    TestServiceTrace("control " + std::to_string(control) +
                     (onDispatcher ? " on-dispatcher" : " elsewhere"));
    if (control == SERVICE_CONTROL_STOP) {
        Report(SERVICE_STOP_PENDING, 0, 1, 5000);
        SetEvent(g_stop);
    }
}

VOID WINAPI ServiceMain(DWORD argc, LPSTR *argv)
{
    std::string line = "main";
    for (DWORD i = 0; i < argc; ++i)
        line += std::string(" ") + argv[i];
    TestServiceTrace(
        line + (GetCurrentThreadId() == g_dispatcherThread ? " on-dispatcher" : " own-thread"));
    g_status = RegisterServiceCtrlHandlerA(argv[0], Handler);
    if (!g_status) {
        TestServiceTrace("RegisterServiceCtrlHandlerA failed " + std::to_string(GetLastError()));
        return;
    }
    Report(SERVICE_START_PENDING, 0, 7, 1234);
    HANDLE go = CreateEventA(nullptr, TRUE, FALSE, kTestServiceGo);
    WaitForSingleObject(go, 60000);
    CloseHandle(go);
    Report(SERVICE_RUNNING, SERVICE_ACCEPT_STOP, 0, 0);
    TestServiceTrace("running");
    WaitForSingleObject(g_stop, INFINITE);
    TestServiceTrace("stopping");
    Report(SERVICE_STOPPED, 0, 0, 0, ERROR_SERVICE_SPECIFIC_ERROR, 42);
}

} // namespace

void TestServiceTrace(const std::string &line)
{
    CreateDirectoryA("C:\\svc", nullptr);
    HANDLE f = CreateFileA(kTestServiceTrace, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                           nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (f == INVALID_HANDLE_VALUE)
        return;
    SetFilePointer(f, 0, nullptr, FILE_END);
    const std::string text = line + "\n";
    DWORD written = 0;
    WriteFile(f, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    CloseHandle(f);
}

DWORD RunTestServiceProgram()
{
    TestServiceTrace("pid " + std::to_string(GetCurrentProcessId()));
    g_dispatcherThread = GetCurrentThreadId();
    g_stop = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    SERVICE_TABLE_ENTRYA table[] = {{const_cast<LPSTR>("OtherSvc"), ServiceMain},
                                    {const_cast<LPSTR>(kTestServiceName), ServiceMain},
                                    {nullptr, nullptr}};
    const BOOL ok = StartServiceCtrlDispatcherA(table);
    const DWORD error = ok ? 0 : GetLastError();
    TestServiceTrace(ok ? "returned" : "failed " + std::to_string(error));
    CloseHandle(g_stop);
    return error;
}
