/*
 * Starting, controlling and querying services: StartServiceA,
 * ControlService, QueryServiceStatus.
 *
 * A status query or control goes to the running service's socket (see
 * service_private.h); a service nobody serves is stopped.  StartServiceA
 * starts the image path through systemd when it is used, else itself as a
 * detached process with WINPORT_SERVICE_NAME in its environment, and
 * returns once the program's dispatcher answers, as Windows returns once
 * the service connected to the controller.
 */
#include "service/scm_private.h"

#include "kernel/clock.h"
#include "sync/process_object.h"

#include <signal.h>
#include <unistd.h>

#include <cstring>

extern char **environ;

namespace winport::service {
namespace {

/* How long a program has to reach its dispatcher, and a handler to return
 * (nominal milliseconds, as the Windows controller waits). */
constexpr DWORD kStartTimeoutMs = 30000;
constexpr DWORD kControlTimeoutMs = 30000;

/* Our environment, less any service variables, plus the service's. */
std::string ServiceEnvironment(const std::string &name, DWORD argc, LPCSTR *argv)
{
    std::string block;
    for (char **e = environ; *e; ++e) {
        if (std::strncmp(*e, "WINPORT_SERVICE_NAME=", 21) == 0 ||
            std::strncmp(*e, "WINPORT_SERVICE_ARGS=", 21) == 0)
            continue;
        block.append(*e).push_back('\0');
    }
    block.append("WINPORT_SERVICE_NAME=" + name).push_back('\0');
    if (argc > 0) {
        std::string args;
        for (DWORD i = 0; i < argc; ++i)
            args.append(i ? "\x1f" : "").append(argv[i]);
        block.append("WINPORT_SERVICE_ARGS=" + args).push_back('\0');
    }
    block.push_back('\0');
    return block;
}

/* Waits until the service answers on its socket.  `process` (may be null)
 * is the program we started: when it ends first, the start failed. */
DWORD AwaitDispatcher(const std::string &name, HANDLE process)
{
    const ULONGLONG deadline = GetTickCount64() + kStartTimeoutMs;
    for (;;) {
        if (IsRunning(name))
            return 0;
        if (process) {
            if (WaitForSingleObject(process, 20) == WAIT_OBJECT_0)
                return IsRunning(name) ? 0 : ERROR_SERVICE_REQUEST_TIMEOUT;
        } else {
            Sleep(20);
        }
        if (GetTickCount64() >= deadline) {
            if (process)
                kill(static_cast<pid_t>(ProcessIdOfHandle(process)), SIGKILL);
            return ERROR_SERVICE_REQUEST_TIMEOUT;
        }
    }
}

DWORD StartDetached(const std::string &name, const std::string &imagePath, DWORD argc, LPCSTR *argv)
{
    std::string environment = ServiceEnvironment(name, argc, argv);
    // A service with its own account runs as that user, as it would under
    // systemd; only root can start it so.
    std::string objectName;
    ServiceAccount account;
    if (ReadString(name, "ObjectName", &objectName) &&
        !ResolveAccount(objectName.c_str(), &account))
        return ERROR_SERVICE_LOGON_FAILED;
    if (!account.user.empty() && geteuid() != account.uid) {
        if (DWORD error = SpawnAsAccount(account, SplitImagePath(imagePath), environment))
            return error;
        return AwaitDispatcher(name, nullptr);
    }
    std::string commandLine = imagePath;
    // No console and none of the starter's output: null standard handles
    // (the null device), so a starter whose output is a pipe (an installer
    // run by a package manager, a script reading `net start`) sees its end.
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    PROCESS_INFORMATION pi{};
    // Services start in the system folder, as on Windows.
    if (!CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, TRUE, DETACHED_PROCESS,
                        environment.data(), "C:\\Windows\\system32", &startup, &pi))
        return GetLastError();
    const DWORD error = AwaitDispatcher(name, pi.hProcess);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess); // reaped in the background when it ends
    return error;
}

bool ValidControl(DWORD control)
{
    switch (control) {
    case SERVICE_CONTROL_STOP:
    case SERVICE_CONTROL_PAUSE:
    case SERVICE_CONTROL_CONTINUE:
    case SERVICE_CONTROL_INTERROGATE:
    case SERVICE_CONTROL_PARAMCHANGE:
        return true;
    default:
        return control >= 128 && control <= 255;
    }
}

DWORD AccessForControl(DWORD control)
{
    switch (control) {
    case SERVICE_CONTROL_STOP:
        return SERVICE_STOP;
    case SERVICE_CONTROL_INTERROGATE:
        return SERVICE_INTERROGATE;
    case SERVICE_CONTROL_PAUSE:
    case SERVICE_CONTROL_CONTINUE:
    case SERVICE_CONTROL_PARAMCHANGE:
        return SERVICE_PAUSE_CONTINUE;
    default:
        return SERVICE_USER_DEFINED_CONTROL;
    }
}

} // namespace
} // namespace winport::service

using namespace winport;
using namespace winport::service;

/* StartServiceA: starts an installed service and returns once its program
 * reached the dispatcher (status SERVICE_START_PENDING or later).  A running
 * service gives ERROR_SERVICE_ALREADY_RUNNING, a disabled one
 * ERROR_SERVICE_DISABLED, a program that cannot run the CreateProcessA
 * error, and one that ends or does not reach its dispatcher in 30 s
 * ERROR_SERVICE_REQUEST_TIMEOUT.  Under systemd the arguments are not
 * passed on. */
BOOL WINAPI StartServiceA(SC_HANDLE hService, DWORD dwNumServiceArgs, LPCSTR *lpServiceArgVectors)
{
    auto service = GetService(hService);
    if (!service)
        return FALSE;
    if (!(service->access & SERVICE_START)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    if (dwNumServiceArgs > 0 && !lpServiceArgVectors) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    for (DWORD i = 0; i < dwNumServiceArgs; ++i) {
        if (!lpServiceArgVectors[i] || std::strchr(lpServiceArgVectors[i], '\x1f')) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return FALSE;
        }
    }
    std::string spelled, imagePath;
    if (!FindRecord(service->name, &spelled) || ReadDword(spelled, "DeleteFlag", 0) != 0) {
        SetLastError(ERROR_SERVICE_MARKED_FOR_DELETE);
        return FALSE;
    }
    if (ReadDword(spelled, "Start", SERVICE_DEMAND_START) == SERVICE_DISABLED) {
        SetLastError(ERROR_SERVICE_DISABLED);
        return FALSE;
    }
    if (IsRunning(spelled)) {
        SetLastError(ERROR_SERVICE_ALREADY_RUNNING);
        return FALSE;
    }
    if (!ReadString(spelled, "ImagePath", &imagePath) || imagePath.empty()) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return FALSE;
    }
    DWORD error;
    if (SystemdInUse()) {
        error = StartUnit(spelled);
        if (!error)
            error = AwaitDispatcher(spelled, nullptr);
    } else {
        error = StartDetached(spelled, imagePath, dwNumServiceArgs, lpServiceArgVectors);
    }
    if (error) {
        SetLastError(error);
        return FALSE;
    }
    return TRUE;
}

/* ControlService: hands a control to the running service's handler and
 * returns its latest status.  A service that does not run gives
 * ERROR_SERVICE_NOT_ACTIVE, a control it does not accept
 * ERROR_INVALID_SERVICE_CONTROL, one it cannot take in a pending state
 * ERROR_SERVICE_CANNOT_ACCEPT_CTRL; the status is filled in every case. */
BOOL WINAPI ControlService(SC_HANDLE hService, DWORD dwControl, LPSERVICE_STATUS lpServiceStatus)
{
    auto service = GetService(hService);
    if (!service)
        return FALSE;
    if (!ValidControl(dwControl)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (!(service->access & AccessForControl(dwControl))) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    if (!lpServiceStatus) {
        SetLastError(ERROR_INVALID_ADDRESS);
        return FALSE;
    }
    Reply reply;
    if (!Call(service->name, dwControl, &reply, static_cast<int>(RealMs(kControlTimeoutMs)))) {
        *lpServiceStatus = StoppedStatus(service->name);
        SetLastError(ERROR_SERVICE_NOT_ACTIVE);
        return FALSE;
    }
    *lpServiceStatus = reply.status;
    if (reply.error) {
        SetLastError(reply.error);
        return FALSE;
    }
    return TRUE;
}

/* QueryServiceStatus: the status the service last reported; a service no
 * process serves is SERVICE_STOPPED (with the exit code it reported when
 * it stopped, or ERROR_PROCESS_ABORTED when its process ended without). */
BOOL WINAPI QueryServiceStatus(SC_HANDLE hService, LPSERVICE_STATUS lpServiceStatus)
{
    auto service = GetService(hService);
    if (!service)
        return FALSE;
    if (!(service->access & SERVICE_QUERY_STATUS)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    if (!lpServiceStatus) {
        SetLastError(ERROR_INVALID_ADDRESS);
        return FALSE;
    }
    Reply reply;
    if (!Call(service->name, kStatusOnly, &reply, kIoGuardMs))
        reply.status = StoppedStatus(service->name);
    *lpServiceStatus = reply.status;
    return TRUE;
}
