/*
 * The parent side of the cross-process window tests: the helper program
 * (user_child.cpp) placed under the scratch root as c:\bin\userchild.exe,
 * started with CreateProcessA, waited for with WaitForInputIdle and found
 * by its window class, as the print service finds a print client.
 * Tests only.
 */
#ifndef WINPORT_TESTS_USER_CHILD_PROCESS_UTIL_H
#define WINPORT_TESTS_USER_CHILD_PROCESS_UTIL_H

#include "user_test_util.h"

#include <csignal>
#include <cstring>
#include <filesystem>
#include <string>
#include <unistd.h>

/* The helper's message numbers (see user_child.cpp). */
constexpr UINT kChildQuitWith = WM_APP + 1;
constexpr UINT kChildDouble = WM_APP + 2;
constexpr UINT kChildMark = WM_APP + 3;
constexpr UINT kChildAskMark = WM_APP + 4;

class ChildProcesses : public UserTest {
protected:
    void SetUp() override
    {
        UserTest::SetUp();
        std::filesystem::create_directories(root_.driveC("bin"));
        std::filesystem::create_symlink(WINPORT_USER_CHILD, root_.driveC("bin/userchild.exe"));
    }

    void TearDown() override
    {
        for (PROCESS_INFORMATION &pi : started_) {
            if (WaitForSingleObject(pi.hProcess, 0) == WAIT_TIMEOUT)
                kill(static_cast<pid_t>(pi.dwProcessId), SIGKILL); // a test that failed midway
            WaitForSingleObject(pi.hProcess, 30000);
            CloseHandle(pi.hProcess);
            CloseHandle(pi.hThread);
        }
        UserTest::TearDown();
    }

    /* Starts "userchild.exe <arguments>", with `timeScale` > 1 as its
     * WINPORT_TIME_SCALE.  The process handle, or NULL. */
    HANDLE Start(const std::string &arguments, int timeScale = 0)
    {
        std::string commandLine = "userchild.exe " + arguments;
        std::string block;
        if (timeScale > 1) {
            for (char **e = environ; *e; ++e)
                if (std::strncmp(*e, "WINPORT_TIME_SCALE=", 19) != 0)
                    block += std::string(*e) + '\0';
            block += "WINPORT_TIME_SCALE=" + std::to_string(timeScale) + '\0';
            block += '\0';
        }
        STARTUPINFOA si = {};
        si.cb = sizeof si;
        PROCESS_INFORMATION pi = {};
        if (!CreateProcessA("c:\\bin\\userchild.exe", commandLine.data(), nullptr, nullptr, FALSE,
                            0, block.empty() ? nullptr : block.data(), nullptr, &si, &pi))
            return nullptr;
        started_.push_back(pi);
        return pi.hProcess;
    }

    /* Starts a child with a window of class `cls` and returns the window
     * once the child sits in its message loop. */
    HWND StartWindow(const std::string &cls, const std::string &title = "title",
                     HANDLE *process = nullptr, int timeScale = 0)
    {
        HANDLE h = Start("window " + cls + " " + title, timeScale);
        if (!h)
            return nullptr;
        if (process)
            *process = h;
        if (WaitForInputIdle(h, 30000) != 0)
            return nullptr;
        return FindWindowA(cls.c_str(), nullptr);
    }

    DWORD PidOf(HANDLE process)
    {
        for (const PROCESS_INFORMATION &pi : started_)
            if (pi.hProcess == process)
                return pi.dwProcessId;
        return 0;
    }

    /* The exit code once the process ended, or ~0u after 30 s. */
    static DWORD ExitCodeOf(HANDLE process)
    {
        DWORD code = ~0u;
        if (WaitForSingleObject(process, 30000) == WAIT_OBJECT_0)
            GetExitCodeProcess(process, &code);
        return code;
    }

    std::vector<PROCESS_INFORMATION> started_;
};

#endif
