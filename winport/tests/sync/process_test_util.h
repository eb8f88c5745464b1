/*
 * The parent side of the process tests: the test program itself, placed
 * under the scratch root as c:\bin\child.exe, started in a child role (see
 * child_roles.cpp).  Tests only.
 */
#ifndef WINPORT_TESTS_PROCESS_TEST_UTIL_H
#define WINPORT_TESTS_PROCESS_TEST_UTIL_H

#include "scratch_root.h"
#include "sync_test_util.h"

#include <filesystem>
#include <string>
#include <unistd.h>

class ChildProcessTest : public ::testing::Test {
protected:
    ChildProcessTest()
    {
        std::filesystem::create_directories(root_.driveC("bin"));
        std::filesystem::create_symlink(SelfPath(), root_.driveC("bin/child.exe"));
    }

    static std::string SelfPath()
    {
        char buf[4096];
        ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
        return std::string(buf, n > 0 ? static_cast<size_t>(n) : 0);
    }

    /* Starts "child.exe --wp-child <role>"; FALSE with the last error set
     * when CreateProcessA fails. */
    BOOL Start(const std::string &role, PROCESS_INFORMATION &pi, STARTUPINFOA *startup = nullptr,
               BOOL inherit = FALSE, void *environment = nullptr, DWORD flags = 0)
    {
        STARTUPINFOA plain{};
        plain.cb = sizeof plain;
        std::string commandLine = "child.exe --wp-child " + role;
        return CreateProcessA("c:\\bin\\child.exe", commandLine.data(), nullptr, nullptr, inherit,
                              flags, environment, nullptr, startup ? startup : &plain, &pi);
    }

    /* Runs a role to its end; its exit code, or ~0u when it did not end. */
    DWORD Run(const std::string &role, void *environment = nullptr)
    {
        PROCESS_INFORMATION pi{};
        if (!Start(role, pi, nullptr, FALSE, environment))
            return ~0u;
        DWORD code = ~0u;
        if (WaitForSingleObject(pi.hProcess, 60000) == WAIT_OBJECT_0)
            GetExitCodeProcess(pi.hProcess, &code);
        CloseHandle(pi.hProcess);
        CloseHandle(pi.hThread);
        return code;
    }

    /* Runs a role with its standard output on a pipe; what it printed. */
    std::string Output(const std::string &role, void *environment = nullptr)
    {
        HANDLE readEnd = nullptr, writeEnd = nullptr;
        SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
        if (!CreatePipe(&readEnd, &writeEnd, &sa, 0))
            return "(no pipe)";
        STARTUPINFOA si{};
        si.cb = sizeof si;
        si.dwFlags = STARTF_USESTDHANDLES;
        si.hStdOutput = writeEnd;
        PROCESS_INFORMATION pi{};
        const BOOL started = Start(role, pi, &si, TRUE, environment);
        CloseHandle(writeEnd);
        std::string out;
        char buf[256];
        DWORD n = 0;
        while (started && ReadFile(readEnd, buf, sizeof buf, &n, nullptr))
            out.append(buf, n);
        CloseHandle(readEnd);
        if (started) {
            WaitForSingleObject(pi.hProcess, 60000);
            CloseHandle(pi.hProcess);
            CloseHandle(pi.hThread);
        }
        return out;
    }

    ScratchRoot root_;
};

#endif
