/*
 * The winport root (see root.h) and its test hooks.
 */
#include "kernel/root.h"

#include "kernel/errors.h"
#include "kernel/module_map.h"
#include "utils/posix_fs.h"

#include <winport_test.h>

#include <fcntl.h>
#include <pwd.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <mutex>
#include <unordered_set>

namespace winport {
namespace {

std::mutex g_root_lock;
/* Never destroyed: a process's other threads may still name files while it
 * exits (Windows ends them before anything is torn down; here the static
 * destructors run beside them), and each lookup copies the root. */
std::string &g_root = *new std::string; // guarded by g_root_lock
bool g_ready = false;                   // guarded by g_root_lock

std::string HomeFolder()
{
    if (const char *home = getenv("HOME"); home && *home)
        return home;
    struct passwd pw, *result = nullptr;
    char buf[4096];
    if (getpwuid_r(geteuid(), &pw, buf, sizeof buf, &result) == 0 && result)
        return pw.pw_dir;
    return "/tmp";
}

std::string DefaultRoot()
{
    if (const char *env = getenv("WINPORT_ROOT"); env && *env)
        return env;
    if (geteuid() == 0)
        return "/var/lib/novarc";
    return HomeFolder() + "/.local/share/novarc";
}

std::string Absolute(const std::string &path)
{
    std::string abs = path;
    if (abs.empty() || abs[0] != '/') {
        char cwd[PATH_MAX];
        if (getcwd(cwd, sizeof cwd))
            abs = std::string(cwd) + "/" + abs;
    }
    while (abs.size() > 1 && abs.back() == '/')
        abs.pop_back();
    return abs;
}

/* The folders and placeholders a fresh root needs; idempotent. */
int Prepare(const std::string &root)
{
    const std::string system32 = root + "/drive_c/Windows/system32";
    if (int err = util::MakeDirs(system32))
        return err;
    for (const std::string &dll : ModuleMapDllNames()) {
        const std::string placeholder = system32 + "/" + dll;
        // The system folder belongs to root on an installed workstation:
        // a placeholder that is there already is left alone, unopened.
        if (access(placeholder.c_str(), F_OK) == 0)
            continue;
        int fd = open(placeholder.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
        if (fd < 0)
            return errno;
        close(fd);
    }
    return 0;
}

} // namespace

std::string Root()
{
    std::lock_guard<std::mutex> guard(g_root_lock);
    if (!g_ready) {
        g_root = Absolute(DefaultRoot());
        Prepare(g_root); // a failure shows later as "path not found"
        g_ready = true;
    }
    return g_root;
}

int SwitchRoot(const std::string &root)
{
    const std::string abs = Absolute(root);
    if (int err = Prepare(abs))
        return err;
    std::lock_guard<std::mutex> guard(g_root_lock);
    g_root = abs;
    g_ready = true;
    return 0;
}

} // namespace winport

/* winport_test_set_root: makes `posixRoot` the root of every later lookup. */
BOOL winport_test_set_root(const char *posixRoot)
{
    if (!posixRoot || !*posixRoot) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (int err = winport::SwitchRoot(posixRoot)) {
        winport::SetLastErrorFromErrno(err);
        return FALSE;
    }
    return TRUE;
}

/* winport_root: the root in use; the text stays valid for the process. */
const char *winport_root(void)
{
    static std::mutex lock;
    static std::unordered_set<std::string> interned; // node-based: stable c_str()
    std::string root = winport::Root();
    std::lock_guard<std::mutex> guard(lock);
    return interned.insert(std::move(root)).first->c_str();
}
