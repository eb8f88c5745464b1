/*
 * Fixture of the service tests: a scratch root with the service manager
 * open, the test service program as c:\bin\wptestsvc.exe, and helpers to
 * install, wait for states and read the service's trace.  Systemd is kept
 * out (WINPORT_NO_SYSTEMD) and the clock runs 20 times faster.  Tests only.
 */
#ifndef WINPORT_TESTS_SERVICE_TEST_UTIL_H
#define WINPORT_TESTS_SERVICE_TEST_UTIL_H

#include "scratch_root.h"
#include "service_body.h"

#include <gtest/gtest.h>

#include <signal.h>

#include <chrono>
#include <future>
#include <memory>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

inline const bool kServiceTestEnvironment = [] {
    setenv("WINPORT_NO_SYSTEMD", "1", 1);
    setenv("WINPORT_TIME_SCALE", "20", 0);
    return true;
}();

/* The test service's dispatcher run on a thread of this process.  A test
 * that fails half-way still ends it: SIGTERM is the dispatcher's stop. */
class InProcessService {
public:
    InProcessService() : result_(std::make_shared<std::promise<DWORD>>())
    {
        setenv("WINPORT_SERVICE_NAME", kTestServiceName, 1);
        future_ = result_->get_future();
        std::thread([result = result_] { result->set_value(RunTestServiceProgram()); }).detach();
    }
    ~InProcessService()
    {
        if (future_.valid() &&
            future_.wait_for(std::chrono::seconds(0)) != std::future_status::ready) {
            raise(SIGTERM);
            future_.wait_for(std::chrono::seconds(20));
        }
    }
    /* The dispatcher's result (0: it returned TRUE), or ~0u when it did not
     * return within the time. */
    DWORD Wait(int seconds = 20)
    {
        if (future_.wait_for(std::chrono::seconds(seconds)) != std::future_status::ready)
            return ~0u;
        return future_.get();
    }

private:
    std::shared_ptr<std::promise<DWORD>> result_;
    std::future<DWORD> future_;
};

class ServiceTest : public ::testing::Test {
protected:
    ServiceTest()
    {
        std::filesystem::create_directories(root_.driveC("bin"));
        std::filesystem::create_symlink(WINPORT_TEST_SERVICE, root_.driveC("bin/wptestsvc.exe"));
        scm_ = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
        // Held for the whole test, so the service finds it set however late
        // it opens it.
        go_ = CreateEventA(nullptr, TRUE, FALSE, kTestServiceGo);
    }
    ~ServiceTest() override
    {
        CloseHandle(go_);
        if (scm_)
            CloseServiceHandle(scm_);
        unsetenv("WINPORT_SERVICE_NAME");
    }

    SC_HANDLE Install(const char *name = kTestServiceName, DWORD start = SERVICE_DEMAND_START,
                      const char *image = "c:\\bin\\wptestsvc.exe", const char *display = nullptr)
    {
        return CreateServiceA(scm_, name, display, SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS,
                              start, SERVICE_ERROR_NORMAL, image, nullptr, nullptr, nullptr,
                              nullptr, nullptr);
    }

    /* Polls until the service reports `state` (real seconds). */
    static bool WaitForState(SC_HANDLE service, DWORD state, SERVICE_STATUS *last = nullptr,
                             int seconds = 20)
    {
        SERVICE_STATUS s{};
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
        while (std::chrono::steady_clock::now() < end) {
            if (QueryServiceStatus(service, &s) && s.dwCurrentState == state) {
                if (last)
                    *last = s;
                return true;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        if (last)
            *last = s;
        return false;
    }

    std::string Trace() const
    {
        std::ifstream in(root_.driveC("svc/trace.txt"));
        std::stringstream all;
        all << in.rdbuf();
        return all.str();
    }

    /* Polls until the trace holds `text`. */
    bool WaitForTrace(const std::string &text, int seconds = 20) const
    {
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
        while (std::chrono::steady_clock::now() < end) {
            if (Trace().find(text) != std::string::npos)
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return false;
    }

    void Go() { SetEvent(go_); }

    std::string RegString(const std::string &name, const char *value)
    {
        char buf[512] = {};
        DWORD size = sizeof buf - 1;
        HKEY key = nullptr;
        const std::string path = "SYSTEM\\CurrentControlSet\\Services\\" + name;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
            return "(no key)";
        LSTATUS rc =
            RegQueryValueExA(key, value, nullptr, nullptr, reinterpret_cast<BYTE *>(buf), &size);
        RegCloseKey(key);
        if (rc != ERROR_SUCCESS)
            return "(no value)";
        while (size > 0 && buf[size - 1] == '\0')
            --size; // the terminating NULs
        return std::string(buf, size);
    }

    ScratchRoot root_;
    SC_HANDLE scm_ = nullptr;
    HANDLE go_ = nullptr;
};

#endif
