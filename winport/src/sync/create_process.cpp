/*
 * CreateProcessA and CreateProcessAsUserA: a POSIX process from a Windows
 * program path and command line.
 *
 * The child runs with posix_spawn, which reports a failed exec to the
 * caller, so a missing or unrunnable program fails the call as on Windows.
 * What carries over: the argument vector (split as the C runtime would),
 * the environment (the caller's, or the given block), the current folder,
 * the standard handles of STARTUPINFOA (STARTF_USESTDHANDLES with inherited
 * handles), and a session of its own for DETACHED_PROCESS and
 * CREATE_NEW_CONSOLE.  The child always gets the caller's root in
 * WINPORT_ROOT, so both see the same drives and named objects.  Other
 * inheritable handles do not reach the child: it could not name them.
 */
#include "sync/command_line.h"
#include "sync/process_object.h"
#include "sync/thread_object.h"
#include "sync/token.h"

#include "kernel/errors.h"
#include "kernel/file_object.h"
#include "kernel/paths.h"
#include "kernel/root.h"
#include "utils/posix_fs.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <cwchar>

extern char **environ;

namespace winport {
namespace {

/* Variables the platform layer itself reads; a given environment block
 * gets the caller's values when it lacks them, so that a child started
 * with a user's environment still runs on the same clock and modules. */
const char *const kCarriedVariables[] = {"WINPORT_TIME_SCALE", "WINPORT_MODULE_PATH",
                                         "WINPORT_DEBUG"};

struct LaunchPlan {
    std::string program;
    std::vector<std::string> argv;
    std::vector<std::string> env;
    std::string folder;           // empty: the caller's
    int stdFds[3] = {-1, -1, -1}; // -1: the caller's
    short spawnFlags = 0;
    std::vector<int> closeAfter; // descriptors opened for the launch
    ~LaunchPlan()
    {
        for (int fd : closeAfter)
            close(fd);
    }
};

std::string Narrow(const WCHAR *w)
{
    std::string out;
    for (; *w; ++w) {
        const uint32_t c = static_cast<uint32_t>(*w);
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xE0 | ((c >> 12) & 0x0F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

void SetVariable(std::vector<std::string> &env, const std::string &name, const std::string &value)
{
    const std::string prefix = name + "=";
    for (std::string &entry : env) {
        if (entry.rfind(prefix, 0) == 0) {
            entry = prefix + value;
            return;
        }
    }
    env.push_back(prefix + value);
}

bool HasVariable(const std::vector<std::string> &env, const std::string &name)
{
    for (const std::string &entry : env)
        if (entry.rfind(name + "=", 0) == 0)
            return true;
    return false;
}

/* The child's environment: ours, or the block's "name=value" strings (a
 * double-NUL-ended list, of WCHARs with CREATE_UNICODE_ENVIRONMENT);
 * Windows' hidden "=C:=..." entries are dropped. */
std::vector<std::string> BuildEnvironment(const void *block, bool unicode)
{
    std::vector<std::string> env;
    if (!block) {
        for (char **e = environ; e && *e; ++e)
            env.emplace_back(*e);
    } else if (unicode) {
        for (const WCHAR *w = static_cast<const WCHAR *>(block); *w; w += std::wcslen(w) + 1)
            if (*w != L'=')
                env.push_back(Narrow(w));
    } else {
        for (const char *s = static_cast<const char *>(block); *s; s += std::strlen(s) + 1)
            if (*s != '=')
                env.emplace_back(s);
    }
    if (block) {
        for (const char *name : kCarriedVariables) {
            const char *value = std::getenv(name);
            if (value && !HasVariable(env, name))
                env.push_back(std::string(name) + "=" + value);
        }
    }
    SetVariable(env, "WINPORT_ROOT", Root());
    return env;
}

/* The descriptor behind a standard handle: a file or pipe handle, or
 * /dev/null for none. */
int StdDescriptor(HANDLE handle, LaunchPlan &plan)
{
    const DWORD saved = GetLastError();
    auto file = (handle && handle != INVALID_HANDLE_VALUE)
                    ? GetObjectAs<FileObject>(handle, ObjectType::File)
                    : nullptr;
    SetLastError(saved);
    if (file)
        return file->fd();
    int fd = open("/dev/null", O_RDWR | O_CLOEXEC);
    if (fd >= 0)
        plan.closeAfter.push_back(fd);
    return fd;
}

DWORD CheckFlags(DWORD flags)
{
    if (flags & (CREATE_SUSPENDED | DEBUG_PROCESS | DEBUG_ONLY_THIS_PROCESS))
        return ERROR_NOT_SUPPORTED;
    if ((flags & DETACHED_PROCESS) && (flags & CREATE_NEW_CONSOLE))
        return ERROR_INVALID_PARAMETER;
    return 0;
}

/* Everything but the spawn itself; 0 or the error to report. */
DWORD Plan(LPCSTR app, LPSTR commandLine, BOOL inherit, DWORD flags, LPVOID environment,
           LPCSTR folder, const STARTUPINFOA &startup, LaunchPlan &plan)
{
    ProgramPath program;
    if (app) {
        program = ProgramFromApplicationName(app);
    } else {
        program = SearchProgram(SplitCommandLine(commandLine).front());
    }
    if (program.error)
        return program.error;
    plan.program = program.posix;
    plan.argv = commandLine ? SplitCommandLine(commandLine) : std::vector<std::string>{app};
    plan.env = BuildEnvironment(environment, flags & CREATE_UNICODE_ENVIRONMENT);
    if (folder) {
        MappedPath mapped = MapPath(folder);
        if (!mapped.ok() || !util::IsDirectory(mapped.posix))
            return ERROR_DIRECTORY;
        plan.folder = mapped.posix;
    }
    if ((startup.dwFlags & STARTF_USESTDHANDLES) && inherit) {
        const HANDLE handles[3] = {startup.hStdInput, startup.hStdOutput, startup.hStdError};
        for (int i = 0; i < 3; ++i)
            plan.stdFds[i] = StdDescriptor(handles[i], plan);
    }
    if (flags & (DETACHED_PROCESS | CREATE_NEW_CONSOLE))
        plan.spawnFlags |= POSIX_SPAWN_SETSID;
    else if (flags & CREATE_NEW_PROCESS_GROUP)
        plan.spawnFlags |= POSIX_SPAWN_SETPGROUP;
    return 0;
}

DWORD SpawnError(int err)
{
    switch (err) {
    case ENOENT:
        return ERROR_FILE_NOT_FOUND;
    case EACCES:
    case EPERM:
        return ERROR_ACCESS_DENIED;
    case ENOEXEC:
        return ERROR_BAD_EXE_FORMAT;
    default:
        return Win32ErrorFromErrno(err);
    }
}

/* Runs the plan; the child's pid, or -1 with the last error set. */
pid_t Spawn(const LaunchPlan &plan)
{
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    for (int i = 0; i < 3; ++i)
        if (plan.stdFds[i] >= 0)
            posix_spawn_file_actions_adddup2(&actions, plan.stdFds[i], i);
    if (!plan.folder.empty())
        posix_spawn_file_actions_addchdir_np(&actions, plan.folder.c_str());
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    sigset_t none, reset;
    sigemptyset(&none);
    sigemptyset(&reset);
    sigaddset(&reset, SIGPIPE);
    sigaddset(&reset, SIGCHLD);
    posix_spawnattr_setsigmask(&attr, &none);
    posix_spawnattr_setsigdefault(&attr, &reset);
    posix_spawnattr_setpgroup(&attr, 0);
    posix_spawnattr_setflags(&attr, static_cast<short>(plan.spawnFlags | POSIX_SPAWN_SETSIGMASK |
                                                       POSIX_SPAWN_SETSIGDEF));
    std::vector<char *> argv, envp;
    for (const std::string &a : plan.argv)
        argv.push_back(const_cast<char *>(a.c_str()));
    argv.push_back(nullptr);
    for (const std::string &e : plan.env)
        envp.push_back(const_cast<char *>(e.c_str()));
    envp.push_back(nullptr);
    pid_t pid = -1;
    const int rc =
        posix_spawn(&pid, plan.program.c_str(), &actions, &attr, argv.data(), envp.data());
    posix_spawnattr_destroy(&attr);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) {
        SetLastError(SpawnError(rc));
        return -1;
    }
    return pid;
}

BOOL Launch(LPCSTR app, LPSTR commandLine, BOOL inherit, DWORD flags, LPVOID environment,
            LPCSTR folder, LPSTARTUPINFOA startup, LPPROCESS_INFORMATION info)
{
    if (!startup || !info || (!app && (!commandLine || !*commandLine))) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (DWORD error = CheckFlags(flags)) {
        SetLastError(error);
        return FALSE;
    }
    LaunchPlan plan;
    if (DWORD error = Plan(app, commandLine, inherit, flags, environment, folder, *startup, plan)) {
        SetLastError(error);
        return FALSE;
    }
    const pid_t pid = Spawn(plan);
    if (pid < 0)
        return FALSE;
    auto process = std::make_shared<ProcessObject>(pid);
    info->hProcess = HandleTable::Instance().Insert(process);
    info->hThread = HandleTable::Instance().Insert(std::make_shared<ThreadObject>(process, pid));
    info->dwProcessId = static_cast<DWORD>(pid);
    info->dwThreadId = static_cast<DWORD>(pid); // a Linux main thread's id is the pid
    return TRUE;
}

} // namespace
} // namespace winport

/* CreateProcessA: starts the program (lpApplicationName as it is, else the
 * command line's first token, searched as Windows does) and returns its
 * process and main-thread handles, both signalled when it ends.  A missing
 * program gives ERROR_FILE_NOT_FOUND or ERROR_PATH_NOT_FOUND, a file that
 * cannot run ERROR_BAD_EXE_FORMAT or ERROR_ACCESS_DENIED, a bad folder
 * ERROR_DIRECTORY.  Priority classes and window settings are accepted and
 * have no effect; CREATE_SUSPENDED and debugging give ERROR_NOT_SUPPORTED. */
BOOL WINAPI CreateProcessA(LPCSTR lpApplicationName, LPSTR lpCommandLine,
                           LPSECURITY_ATTRIBUTES lpProcessAttributes,
                           LPSECURITY_ATTRIBUTES lpThreadAttributes, BOOL bInheritHandles,
                           DWORD dwCreationFlags, LPVOID lpEnvironment, LPCSTR lpCurrentDirectory,
                           LPSTARTUPINFOA lpStartupInfo, LPPROCESS_INFORMATION lpProcessInformation)
{
    (void)lpProcessAttributes;
    (void)lpThreadAttributes;
    return winport::Launch(lpApplicationName, lpCommandLine, bInheritHandles, dwCreationFlags,
                           lpEnvironment, lpCurrentDirectory, lpStartupInfo, lpProcessInformation);
}

/* CreateProcessAsUserA: CreateProcessA with a primary token opened with
 * query, duplicate and assign-primary access (else ERROR_BAD_TOKEN_TYPE or
 * ERROR_ACCESS_DENIED).  The child runs as the one user every process here
 * runs as; the desktop in STARTUPINFOA is ignored (headless). */
BOOL WINAPI CreateProcessAsUserA(HANDLE hToken, LPCSTR lpApplicationName, LPSTR lpCommandLine,
                                 LPSECURITY_ATTRIBUTES lpProcessAttributes,
                                 LPSECURITY_ATTRIBUTES lpThreadAttributes, BOOL bInheritHandles,
                                 DWORD dwCreationFlags, LPVOID lpEnvironment,
                                 LPCSTR lpCurrentDirectory, LPSTARTUPINFOA lpStartupInfo,
                                 LPPROCESS_INFORMATION lpProcessInformation)
{
    if (!winport::TokenCanStartProcess(hToken))
        return FALSE;
    return CreateProcessA(lpApplicationName, lpCommandLine, lpProcessAttributes, lpThreadAttributes,
                          bInheritHandles, dwCreationFlags, lpEnvironment, lpCurrentDirectory,
                          lpStartupInfo, lpProcessInformation);
}
