/*
 * The account a service runs as, and starting a service's program under
 * it without systemd.
 *
 * LocalSystem (NULL, "LocalSystem", "NT AUTHORITY\SYSTEM", ...) is root.  A
 * local account, ".\name" or "name", is the POSIX user of that name, which
 * must exist (an installer creates it); its primary group goes with it.
 * Under systemd the unit's User= and Group= do the switch; without systemd
 * a root caller starts the program as that user here, with the service's
 * file mask 0027, no way back to more privilege, and in a session of its
 * own.
 */
#include "service/service_private.h"

#include "kernel/root.h"

#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <strings.h>

namespace winport::service {
namespace {

bool IsLocalSystem(const char *account)
{
    for (const char *name :
         {"LocalSystem", ".\\LocalSystem", "NT AUTHORITY\\SYSTEM", "NT AUTHORITY\\LocalSystem"})
        if (strcasecmp(account, name) == 0)
            return true;
    return false;
}

/* A user or group name systemd and the unit file take as it is. */
bool PlainName(const std::string &name)
{
    if (name.empty() || name.size() > 32 || name[0] == '-')
        return false;
    for (unsigned char c : name)
        if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
              c == '_' || c == '-' || c == '.'))
            return false;
    return true;
}

} // namespace

bool ResolveAccount(const char *account, ServiceAccount *out)
{
    *out = ServiceAccount{};
    if (!account || IsLocalSystem(account))
        return true;
    std::string name = account;
    if (name.rfind(".\\", 0) == 0)
        name.erase(0, 2);
    if (!PlainName(name))
        return false;
    passwd pw, *pwFound = nullptr;
    group gr, *grFound = nullptr;
    char buf[4096], gbuf[4096];
    if (getpwnam_r(name.c_str(), &pw, buf, sizeof buf, &pwFound) != 0 || !pwFound || pw.pw_uid == 0)
        return false; // a missing user, or root under another name
    if (getgrgid_r(pw.pw_gid, &gr, gbuf, sizeof gbuf, &grFound) != 0 || !grFound ||
        !PlainName(gr.gr_name))
        return false;
    out->user = name;
    out->group = gr.gr_name;
    out->uid = pw.pw_uid;
    out->gid = pw.pw_gid;
    return true;
}

std::string AccountObjectName(const ServiceAccount &account)
{
    return account.user.empty() ? "LocalSystem" : ".\\" + account.user;
}

DWORD SpawnAsAccount(const ServiceAccount &account, const std::vector<std::string> &argv,
                     const std::string &environment)
{
    if (argv.empty())
        return ERROR_FILE_NOT_FOUND;
    if (geteuid() != 0)
        return ERROR_SERVICE_LOGON_FAILED; // only root may start a program as another user
    std::vector<char *> args, env;
    std::vector<std::string> argsCopy = argv;
    for (std::string &a : argsCopy)
        args.push_back(a.data());
    args.push_back(nullptr);
    // The caller's root, as CreateProcessA hands it to every child.
    std::string envCopy = environment;
    std::string rootVariable = "WINPORT_ROOT=" + Root();
    for (size_t at = 0; at < envCopy.size() && envCopy[at];) {
        if (strncmp(&envCopy[at], "WINPORT_ROOT=", 13) != 0)
            env.push_back(&envCopy[at]);
        at += strlen(&envCopy[at]) + 1;
    }
    env.push_back(rootVariable.data());
    env.push_back(nullptr);
    const std::string folder = Root() + "/drive_c/Windows/system32";
    gid_t groups[64];
    int groupCount = 64;
    if (getgrouplist(account.user.c_str(), account.gid, groups, &groupCount) < 0)
        groupCount = 0; // more than 64: only the primary group
    if (groupCount == 0) {
        groups[0] = account.gid;
        groupCount = 1;
    }
    // The service holds nothing of its starter: the null device for its
    // standard descriptors, every other descriptor closed.
    const int null = open("/dev/null", O_RDWR | O_CLOEXEC);
    if (null < 0)
        return ERROR_NOT_ENOUGH_MEMORY;
    // Twice forked, so the service is nobody's child here and leaves no
    // zombie behind; only async-signal-safe calls after the fork.
    const pid_t child = fork();
    if (child < 0) {
        close(null);
        return ERROR_NOT_ENOUGH_MEMORY;
    }
    if (child == 0) {
        if (fork() != 0)
            _exit(0);
        setsid();
        if (dup2(null, 0) < 0 || dup2(null, 1) < 0 || dup2(null, 2) < 0)
            _exit(126);
        close_range(3, ~0U, 0);
        umask(027);
        if (chdir(folder.c_str()) != 0 && chdir("/") != 0)
            _exit(126);
        if (setgroups(static_cast<size_t>(groupCount), groups) != 0 || setgid(account.gid) != 0 ||
            setuid(account.uid) != 0 || setuid(0) == 0)
            _exit(126);
        prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0);
        execve(args[0], args.data(), env.data());
        _exit(127);
    }
    close(null);
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    return 0;
}

} // namespace winport::service
