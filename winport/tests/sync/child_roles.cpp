/*
 * The child side of the process tests.  The test program starts itself
 * with CreateProcessA as "child.exe --wp-child <role> <args...>"; this
 * constructor runs before GoogleTest's main, plays the role and ends the
 * process, so a child never runs tests.  Tests only.
 */
#include <windows.h>
#include <winport_test.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

std::vector<std::string> OwnArguments()
{
    std::ifstream in("/proc/self/cmdline", std::ios::binary);
    std::string all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<std::string> args;
    for (size_t start = 0; start < all.size();) {
        size_t end = all.find('\0', start);
        if (end == std::string::npos)
            end = all.size();
        args.push_back(all.substr(start, end - start));
        start = end + 1;
    }
    return args;
}

void Print(const std::string &line)
{
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

/* Wait results as exit codes (which keep 8 bits only). */
int WaitCode(DWORD result)
{
    switch (result) {
    case WAIT_OBJECT_0:
        return 0;
    case WAIT_TIMEOUT:
        return 1;
    case WAIT_ABANDONED:
        return 2;
    default:
        return 3;
    }
}

void SignalParent(const std::string &eventName)
{
    HANDLE ready = CreateEventA(nullptr, TRUE, FALSE, eventName.c_str());
    SetEvent(ready);
}

int TimedWait()
{
    HANDLE never = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    const ULONGLONG ticks = GetTickCount64();
    const DWORD result = WaitForSingleObject(never, 60000);
    const ULONGLONG nominal = GetTickCount64() - ticks;
    return result == WAIT_TIMEOUT && nominal >= 59000 ? 0 : 1;
}

int ReleaseSemaphoreTwice(const std::string &name)
{
    HANDLE s = OpenSemaphoreA(SEMAPHORE_ALL_ACCESS, FALSE, name.c_str());
    if (!s)
        return 5;
    if (ReleaseSemaphore(s, 2, nullptr))
        return 2;
    if (GetLastError() != ERROR_TOO_MANY_POSTS)
        return 3;
    return ReleaseSemaphore(s, 1, nullptr) ? 0 : 4;
}

int Play(const std::vector<std::string> &a)
{
    const std::string &role = a[2];
    if (role == "exit")
        return std::atoi(a[3].c_str());
    if (role == "echo-args") {
        for (size_t i = 3; i < a.size(); ++i)
            Print("[" + a[i] + "]");
        return 0;
    }
    if (role == "print-root") {
        Print(winport_root());
        return 0;
    }
    if (role == "print-env") {
        const char *value = std::getenv(a[3].c_str());
        Print(value ? value : "(unset)");
        return 0;
    }
    if (role == "sleep") {
        Sleep(std::atoi(a[3].c_str()));
        return 0;
    }
    if (role == "timed-wait")
        return TimedWait();
    if (role == "hold-mutex") {
        CreateMutexA(nullptr, TRUE, a[3].c_str());
        SignalParent(a[4]);
        Sleep(INFINITE);
    }
    if (role == "hold-semaphore") {
        CreateSemaphoreA(nullptr, 1, 1, a[3].c_str());
        SignalParent(a[4]);
        Sleep(INFINITE);
    }
    if (role == "try-mutex") {
        HANDLE m = OpenMutexA(SYNCHRONIZE, FALSE, a[3].c_str());
        return m ? WaitCode(WaitForSingleObject(m, std::atoi(a[4].c_str()))) : 4;
    }
    if (role == "release-semaphore")
        return ReleaseSemaphoreTwice(a[3]);
    return 99;
}

__attribute__((constructor)) void RunChildRole()
{
    const std::vector<std::string> args = OwnArguments();
    if (args.size() < 3 || args[1] != "--wp-child")
        return;
    ExitProcess(static_cast<UINT>(Play(args)));
}

} // namespace
