/*
 * The bounded runner of outside programs (see run_tool.h).
 */
#include "run_tool.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

extern char **environ;

namespace runtool {

bool RunBounded(std::vector<std::string> args, int seconds, bool keepErrors,
                const std::atomic<bool> *stop)
{
    if (args.empty())
        return false;
    std::vector<char *> argv;
    for (std::string &a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    if (!keepErrors)
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETPGROUP); /* its helpers go with it */
    pid_t pid = 0;
    int rc = posix_spawnp(&pid, argv[0], &actions, &attr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    if (rc != 0)
        return false;
    int status = 0;
    for (int waited = 0; waited < seconds * 20 && !(stop && *stop); waited++) {
        pid_t done = waitpid(pid, &status, WNOHANG);
        if (done == pid)
            return WIFEXITED(status) && WEXITSTATUS(status) == 0;
        if (done < 0)
            return false;
        struct timespec pause = {0, 50 * 1000 * 1000};
        nanosleep(&pause, nullptr);
    }
    kill(-pid, SIGKILL);
    waitpid(pid, &status, 0);
    return false;
}

WorkFolder::WorkFolder(const char *prefix)
{
    std::string tmpl = std::filesystem::temp_directory_path() / (std::string(prefix) + "XXXXXX");
    if (mkdtemp(tmpl.data()))
        path_ = tmpl;
}

WorkFolder::~WorkFolder()
{
    std::error_code ec;
    if (!path_.empty())
        std::filesystem::remove_all(path_, ec);
}

} // namespace runtool
