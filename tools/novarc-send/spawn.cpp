/*
 * Starting and reaping a local Novarcprint for the handoff mode and the
 * tests.  Plain POSIX: kept apart from the Windows headers.
 */
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

extern char **environ;

long NovarcSpawn(const char *program, const std::vector<std::string> &extraEnv,
                 const std::vector<std::string> &args)
{
    /* The caller's variables win over inherited ones of the same name. */
    std::vector<std::string> env(extraEnv);
    for (char **e = environ; *e; e++) {
        const char *eq = strchr(*e, '=');
        size_t nameLen = eq ? (size_t)(eq - *e) + 1 : strlen(*e);
        bool overridden = false;
        for (const std::string &x : extraEnv)
            overridden = overridden || x.compare(0, nameLen, *e, nameLen) == 0;
        if (!overridden)
            env.push_back(*e);
    }
    std::vector<char *> envp;
    for (std::string &x : env)
        envp.push_back(x.data());
    envp.push_back(nullptr);
    pid_t pid = -1;
    std::vector<std::string> argStore(args);
    std::vector<char *> argv{const_cast<char *>(program)};
    for (std::string &a : argStore)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    if (posix_spawn(&pid, program, nullptr, nullptr, argv.data(), envp.data()) != 0)
        return -1;
    return (long)pid;
}

int NovarcWaitChild(long pid, int timeoutMs)
{
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        int status = 0;
        pid_t r = waitpid((pid_t)pid, &status, WNOHANG);
        if (r == (pid_t)pid)
            return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        if (r < 0 || std::chrono::steady_clock::now() >= deadline)
            return -1;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

void NovarcInterruptChild(long pid)
{
    if (pid > 0)
        kill((pid_t)pid, SIGINT);
}

void NovarcKillChild(long pid)
{
    if (pid <= 0)
        return;
    kill((pid_t)pid, SIGKILL);
    int status = 0;
    waitpid((pid_t)pid, &status, 0);
}
