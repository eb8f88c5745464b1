/*
 * Posted-message round trips: how long a window message takes to reach a
 * window on another thread, or in another process, and an answer to come
 * back, through winport's queues (and, between processes, the endpoints).
 *
 *   message_bench [ROUNDS]
 *
 * The echo side is a window of class "BenchEcho" that answers every
 * WM_APP+1 by posting WM_APP+2 to the window named in wParam.  The other
 * process is this program again ("--echo"), placed under a temporary root
 * as c:\bin\echo.exe and started with CreateProcessA as the print service
 * starts its clients.  Prints one line per figure.  Benchmarks only.
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

constexpr UINT kPing = WM_APP + 1;
constexpr UINT kPong = WM_APP + 2;
constexpr UINT kStop = WM_APP + 3;

LRESULT CALLBACK EchoProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    switch (msg) {
    case kPing:
        PostMessageA(reinterpret_cast<HWND>(wParam), kPong, 0, lParam);
        return 0;
    case kStop:
        PostQuitMessage(0);
        return 0;
    default:
        return DefWindowProcA(hwnd, msg, wParam, lParam);
    }
}

/* Creates the echo window on the calling thread and runs its loop. */
int RunEcho()
{
    WNDCLASSA wc = {};
    wc.lpfnWndProc = EchoProc;
    wc.lpszClassName = "BenchEcho";
    RegisterClassA(&wc);
    HWND hwnd = CreateWindowExA(0, "BenchEcho", "echo", WS_OVERLAPPEDWINDOW, 0, 0, 0, 0, nullptr,
                                nullptr, nullptr, nullptr);
    if (!hwnd)
        return 1;
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0)
        DispatchMessageA(&msg);
    DestroyWindow(hwnd);
    return 0;
}

HWND CreateReceiver()
{
    WNDCLASSA wc = {};
    wc.lpfnWndProc = DefWindowProcA;
    wc.lpszClassName = "BenchReceiver";
    RegisterClassA(&wc);
    return CreateWindowExA(0, "BenchReceiver", "receiver", WS_OVERLAPPEDWINDOW, 0, 0, 0, 0, nullptr,
                           nullptr, nullptr, nullptr);
}

/* Mean microseconds per round trip to `echo`. */
double RoundTrips(HWND echo, HWND self, int rounds)
{
    MSG msg;
    for (int i = 0; i < 100; ++i) { // warm up
        PostMessageA(echo, kPing, reinterpret_cast<WPARAM>(self), i);
        while (GetMessageA(&msg, nullptr, 0, 0) > 0 && msg.message != kPong) {
        }
    }
    auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < rounds; ++i) {
        PostMessageA(echo, kPing, reinterpret_cast<WPARAM>(self), i);
        while (GetMessageA(&msg, nullptr, 0, 0) > 0 && msg.message != kPong) {
        }
    }
    std::chrono::duration<double, std::micro> took = std::chrono::steady_clock::now() - start;
    return took.count() / rounds;
}

HWND WaitForEchoWindow(DWORD pid)
{
    for (int i = 0; i < 500; ++i) {
        HWND hwnd = FindWindowA("BenchEcho", nullptr);
        DWORD owner = 0;
        if (hwnd && GetWindowThreadProcessId(hwnd, &owner) && (pid == 0 || owner == pid))
            return hwnd;
        Sleep(10);
    }
    return nullptr;
}

int RunBench(const char *self, int rounds)
{
    std::string tmpl = (std::filesystem::temp_directory_path() / "msgbench-XXXXXX").string();
    if (!mkdtemp(tmpl.data()))
        return 1;
    setenv("WINPORT_ROOT", tmpl.c_str(), 1);
    winport_test_set_root(tmpl.c_str());
    HWND receiver = CreateReceiver();

    std::thread echoThread(RunEcho);
    HWND echo = WaitForEchoWindow(GetCurrentProcessId());
    printf("posted message round trip, threads:   %8.2f us (%d rounds)\n",
           RoundTrips(echo, receiver, rounds), rounds);
    PostMessageA(echo, kStop, 0, 0);
    echoThread.join();

    std::filesystem::create_directories(tmpl + "/drive_c/bin");
    std::filesystem::copy_file(self, tmpl + "/drive_c/bin/echo.exe");
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    char commandLine[] = "echo.exe --echo";
    if (!CreateProcessA("c:\\bin\\echo.exe", commandLine, nullptr, nullptr, FALSE, 0, nullptr,
                        nullptr, &si, &pi)) {
        fprintf(stderr, "message_bench: cannot start the echo process (%u)\n", GetLastError());
        return 1;
    }
    WaitForInputIdle(pi.hProcess, 30000);
    echo = WaitForEchoWindow(pi.dwProcessId);
    printf("posted message round trip, processes: %8.2f us (%d rounds)\n",
           RoundTrips(echo, receiver, rounds), rounds);
    PostMessageA(echo, kStop, 0, 0);
    WaitForSingleObject(pi.hProcess, 30000);
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);
    DestroyWindow(receiver);
    std::filesystem::remove_all(tmpl);
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc > 1 && strcmp(argv[1], "--echo") == 0)
        return RunEcho();
    int rounds = argc > 1 ? atoi(argv[1]) : 20000;
    return RunBench(argv[0], rounds > 0 ? rounds : 20000);
}
