/*
 * Hand-off benchmark for the kernel objects: how long one party takes to
 * pass control to another through named objects, between two threads and
 * between two processes.
 *
 *   semaphore ping-pong  A releases "ping" and waits on "pong", B the other
 *                        way round: one round trip is two hand-offs.
 *   mutex take/release   both parties loop on one named mutex (take,
 *                        release) until each has taken it N times: the cost
 *                        of a contended take and release.
 *
 * The second process is this program again ("--child ..."), started with
 * CreateProcessA under a temporary root, as the print service starts its
 * clients; its start-up is inside the time, spread over N rounds (20000 by
 * default, or the first argument).  Prints one line per figure.
 * Benchmarks only.
 */
#include <windows.h>
#include <winport_test.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

void PingPong(const char *waitName, const char *releaseName, int rounds, bool starts)
{
    HANDLE wait = CreateSemaphoreA(nullptr, 0, 1, waitName);
    HANDLE release = CreateSemaphoreA(nullptr, 0, 1, releaseName);
    for (int i = 0; i < rounds; ++i) {
        if (starts) {
            ReleaseSemaphore(release, 1, nullptr);
            WaitForSingleObject(wait, INFINITE);
        } else {
            WaitForSingleObject(wait, INFINITE);
            ReleaseSemaphore(release, 1, nullptr);
        }
    }
    CloseHandle(wait);
    CloseHandle(release);
}

void MutexLoop(const char *name, int rounds)
{
    HANDLE m = CreateMutexA(nullptr, FALSE, name);
    for (int i = 0; i < rounds; ++i) {
        WaitForSingleObject(m, INFINITE);
        ReleaseMutex(m);
    }
    CloseHandle(m);
}

/* Starts this program as "--child <args>" and returns its process handle. */
HANDLE StartChild(const std::string &args)
{
    const std::string link = std::string(winport_root()) + "/drive_c/bench.exe";
    std::filesystem::remove(link);
    std::filesystem::create_symlink(std::filesystem::read_symlink("/proc/self/exe"), link);
    std::string commandLine = "bench.exe --child " + args;
    STARTUPINFOA si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessA("c:\\bench.exe", commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        nullptr, &si, &pi)) {
        std::fprintf(stderr, "CreateProcessA failed: %u\n", GetLastError());
        std::exit(1);
    }
    CloseHandle(pi.hThread);
    return pi.hProcess;
}

void Report(const char *what, Clock::duration elapsed, int count, const char *unit)
{
    const double us = std::chrono::duration<double, std::micro>(elapsed).count();
    std::printf("%-44s %8.2f us per %s (%d)\n", what, us / count, unit, count);
}

void RunPingPong(bool processes, int rounds)
{
    const auto start = Clock::now();
    if (processes) {
        HANDLE child = StartChild("pong " + std::to_string(rounds));
        PingPong("bench-pong", "bench-ping", rounds, true);
        WaitForSingleObject(child, INFINITE);
        CloseHandle(child);
    } else {
        std::thread other(PingPong, "bench-ping", "bench-pong", rounds, false);
        PingPong("bench-pong", "bench-ping", rounds, true);
        other.join();
    }
    Report(processes ? "named semaphore ping-pong, two processes"
                     : "named semaphore ping-pong, two threads",
           Clock::now() - start, 2 * rounds, "hand-off");
}

void RunMutex(bool processes, int rounds)
{
    const auto start = Clock::now();
    if (processes) {
        HANDLE child = StartChild("mutex " + std::to_string(rounds));
        MutexLoop("bench-mutex", rounds);
        WaitForSingleObject(child, INFINITE);
        CloseHandle(child);
    } else {
        std::thread other(MutexLoop, "bench-mutex", rounds);
        MutexLoop("bench-mutex", rounds);
        other.join();
    }
    Report(processes ? "named mutex take/release, two processes"
                     : "named mutex take/release, two threads",
           Clock::now() - start, 2 * rounds, "take and release");
}

} // namespace

int main(int argc, char **argv)
{
    if (argc == 4 && std::strcmp(argv[1], "--child") == 0) {
        const int rounds = std::atoi(argv[3]);
        if (std::strcmp(argv[2], "pong") == 0)
            PingPong("bench-ping", "bench-pong", rounds, false);
        else
            MutexLoop("bench-mutex", rounds);
        return 0;
    }
    char tmpl[] = "/tmp/wpbench-XXXXXX";
    if (!mkdtemp(tmpl) || !winport_test_set_root(tmpl))
        return 1;
    const int rounds = argc > 1 ? std::atoi(argv[1]) : 20000;
    RunPingPong(false, rounds);
    RunPingPong(true, rounds);
    RunMutex(false, rounds);
    RunMutex(true, rounds);
    std::filesystem::remove_all(tmpl);
    return 0;
}
