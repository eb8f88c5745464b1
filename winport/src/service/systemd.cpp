/*
 * The systemd side of services: a unit per installed service, so that the
 * machine starts automatic services at boot and stops them (SIGTERM) at
 * shut-down.  Used when systemd runs (/run/systemd/system exists) and
 * WINPORT_NO_SYSTEMD is not set.
 *
 * The unit runs the image path with WINPORT_ROOT and WINPORT_SERVICE_NAME
 * set, so the program finds its drives and knows it runs as that service;
 * a service with a local account runs as that user, hardened (see
 * AccountSettings), and every service is restarted when it fails.
 * Everything written into the unit is quoted and escaped, so a name or path
 * cannot add lines or settings to it.
 */
#include "service/service_private.h"

#include "kernel/paths.h"
#include "kernel/root.h"
#include "sync/command_line.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

extern char **environ;

namespace winport::service {
namespace {

constexpr char kUnitFolder[] = "/etc/systemd/system";

/* systemctl with `args`; its exit status, or -1 when it could not run. */
int Systemctl(std::vector<std::string> args)
{
    args.insert(args.begin(), "systemctl");
    std::vector<char *> argv;
    argv.reserve(args.size() + 1);
    for (std::string &a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    int rc = posix_spawnp(&pid, "systemctl", &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0)
        return -1;
    int status = 0;
    while (waitpid(pid, &status, 0) < 0)
        if (errno != EINTR)
            return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

/* A value for a unit line: one quoted word, with systemd's specifiers (%)
 * and, on command lines, variable references ($) taken literally, and no
 * line breaks. */
std::string Quoted(const std::string &value, bool commandLine = true)
{
    std::string out = "\"";
    for (unsigned char c : value) {
        switch (c) {
        case '"':
        case '\\':
            out += '\\';
            out += static_cast<char>(c);
            break;
        case '%':
            out += "%%";
            break;
        case '$':
            out += commandLine ? "$$" : "$";
            break;
        default:
            if (c < 0x20 || c == 0x7f) {
                char hex[8];
                std::snprintf(hex, sizeof hex, "\\x%02x", c);
                out += hex;
            } else {
                out += static_cast<char>(c);
            }
        }
    }
    return out + "\"";
}

/* Free text for Description=: no line breaks, specifiers literal. */
std::string Text(const std::string &value)
{
    std::string out;
    for (unsigned char c : value) {
        if (c == '%')
            out += "%%";
        else if (c < 0x20 || c == 0x7f || c == '\\')
            out += ' ';
        else
            out += static_cast<char>(c);
    }
    return out;
}

std::string UnitPath(const std::string &serviceName)
{
    return std::string(kUnitFolder) + "/" + UnitName(serviceName);
}

} // namespace

bool SystemdInUse()
{
    const char *off = std::getenv("WINPORT_NO_SYSTEMD");
    if (off && *off)
        return false;
    struct stat st;
    return stat("/run/systemd/system", &st) == 0 && S_ISDIR(st.st_mode);
}

std::string UnitName(const std::string &serviceName)
{
    // systemd-escape's rules: letters, digits, ':', '_' and '.' (not
    // leading) stay, everything else is \xNN.
    std::string out;
    for (size_t i = 0; i < serviceName.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(serviceName[i]);
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                           (c >= '0' && c <= '9') || c == ':' || c == '_' || (c == '.' && i > 0);
        if (plain) {
            out += static_cast<char>(c);
        } else {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02x", c);
            out += hex;
        }
    }
    return out + ".service";
}

std::vector<std::string> SplitImagePath(const std::string &imagePath)
{
    std::vector<std::string> words = SplitCommandLine(imagePath.c_str());
    if (words.empty())
        return words;
    ProgramPath program = SearchProgram(words[0]);
    if (program.error == 0) {
        words[0] = program.posix;
    } else {
        MappedPath mapped = MapPath(words[0].c_str());
        if (mapped.ok())
            words[0] = mapped.posix;
    }
    return words;
}

/* What a unit running as a local account gets: that user and group, the
 * service's file mask, no way to gain privileges, an empty capability set,
 * and a read-only system apart from the root (and a private /tmp). */
std::string AccountSettings(const ServiceAccount &account)
{
    if (account.user.empty())
        return "";
    return "User=" + account.user + "\nGroup=" + account.group +
           "\nUMask=0027\nNoNewPrivileges=yes\nProtectSystem=strict\nReadWritePaths=" +
           Quoted(Root(), false) +
           "\nProtectHome=yes\nPrivateTmp=yes\nCapabilityBoundingSet=\nAmbientCapabilities=\n";
}

std::string UnitText(const std::string &serviceName, const std::string &displayName,
                     const std::string &imagePath, const ServiceAccount &account)
{
    std::vector<std::string> words = SplitImagePath(imagePath);
    if (words.empty())
        return "";
    std::string exec;
    for (const std::string &w : words) // a lone ";" would separate commands
        exec += (exec.empty() ? "" : " ") + (w == ";" ? std::string("\\;") : Quoted(w));
    // A service that fails is started again, unless it ended saying it
    // must not run in this configuration.
    return "[Unit]\nDescription=" + Text(displayName) +
           "\n\n[Service]\nType=simple\nExecStart=" + exec +
           "\nEnvironment=" + Quoted("WINPORT_ROOT=" + Root(), false) +
           "\nEnvironment=" + Quoted("WINPORT_SERVICE_NAME=" + serviceName, false) +
           "\nKillSignal=SIGTERM\nTimeoutStopSec=30\nRestart=on-failure\nRestartSec=5\n"
           "RestartPreventExitStatus=" +
           std::to_string(kNoRestartExitStatus) + "\n" + AccountSettings(account) +
           "\n[Install]\nWantedBy=multi-user.target\n";
}

DWORD InstallUnit(const std::string &serviceName, const std::string &displayName,
                  const std::string &imagePath, const ServiceAccount &account, bool autoStart)
{
    const std::string unit = UnitText(serviceName, displayName, imagePath, account);
    if (unit.empty())
        return ERROR_INVALID_PARAMETER;
    const std::string path = UnitPath(serviceName);
    const std::string tmp = path + ".tmp";
    int fd = open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        return errno == EACCES || errno == EPERM || errno == EROFS ? ERROR_ACCESS_DENIED
                                                                   : ERROR_PATH_NOT_FOUND;
    bool ok = write(fd, unit.data(), unit.size()) == static_cast<ssize_t>(unit.size());
    ok = fsync(fd) == 0 && ok;
    close(fd);
    if (!ok || rename(tmp.c_str(), path.c_str()) != 0) {
        unlink(tmp.c_str());
        return ERROR_DISK_FULL;
    }
    Systemctl({"daemon-reload"});
    if (autoStart && Systemctl({"enable", UnitName(serviceName)}) != 0) {
        unlink(path.c_str());
        Systemctl({"daemon-reload"});
        return ERROR_ACCESS_DENIED;
    }
    return 0;
}

void RemoveUnit(const std::string &serviceName)
{
    const std::string path = UnitPath(serviceName);
    struct stat st;
    if (stat(path.c_str(), &st) != 0)
        return;
    Systemctl({"disable", UnitName(serviceName)});
    unlink(path.c_str());
    Systemctl({"daemon-reload"});
}

DWORD StartUnit(const std::string &serviceName)
{
    return Systemctl({"start", "--no-block", UnitName(serviceName)}) == 0
               ? 0
               : ERROR_SERVICE_REQUEST_TIMEOUT;
}

} // namespace winport::service
