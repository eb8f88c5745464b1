/*
 * Shared pieces of the window and message tests: a fixture with a fresh
 * root and a clean user state, a window procedure that records what it
 * receives, Wine-style sequence tables, and message pumps with generous
 * time limits.  Tests only.
 */
#ifndef WINPORT_TESTS_USER_TEST_UTIL_H
#define WINPORT_TESTS_USER_TEST_UTIL_H

#include <gtest/gtest.h>

#include "scratch_root.h"

#include <windows.h>
#include <winport_test.h>

#include <chrono>
#include <functional>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

/* One message a window procedure received. */
struct Seen {
    HWND hwnd;
    UINT message;
    WPARAM wParam;
    bool sent; // InSendMessage() during the call: it came from another thread
};

/* A row of an expected sequence: the message, its wParam (when `checkW`)
 * and whether it must have been sent from another thread. */
struct Expect {
    UINT message;
    WPARAM wParam = 0;
    bool checkW = false;
    bool sent = false;
};

class MessageLog {
public:
    static MessageLog &Instance()
    {
        static MessageLog log;
        return log;
    }
    void Add(const Seen &seen)
    {
        std::lock_guard<std::mutex> guard(lock_);
        seen_.push_back(seen);
    }
    std::vector<Seen> Take()
    {
        std::lock_guard<std::mutex> guard(lock_);
        std::vector<Seen> out;
        out.swap(seen_);
        return out;
    }
    void Clear() { Take(); }

private:
    std::mutex lock_;
    std::vector<Seen> seen_;
};

/* Records every message of the windows of its class, then DefWindowProcA. */
inline LRESULT CALLBACK RecordingProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp)
{
    MessageLog::Instance().Add(Seen{hwnd, msg, wp, InSendMessage() != FALSE});
    return DefWindowProcA(hwnd, msg, wp, lp);
}

/* The messages of `seen` that the test cares about (drops the ones a table
 * does not list: anything outside `interesting`). */
inline std::vector<Seen> Only(const std::vector<Seen> &seen, const std::vector<UINT> &interesting)
{
    std::vector<Seen> out;
    for (const Seen &s : seen)
        for (UINT m : interesting)
            if (s.message == m) {
                out.push_back(s);
                break;
            }
    return out;
}

inline std::string Describe(UINT message, WPARAM wParam, bool sent)
{
    std::ostringstream out;
    out << "0x" << std::hex << message << std::dec << " wParam " << wParam
        << (sent ? " (sent)" : "");
    return out.str();
}

/* Compares a recorded sequence with a table, as Wine's ok_sequence does. */
inline ::testing::AssertionResult MatchesSequence(const std::vector<Seen> &got,
                                                  const std::vector<Expect> &want)
{
    std::ostringstream why;
    bool ok = got.size() == want.size();
    for (size_t i = 0; i < std::max(got.size(), want.size()); i++) {
        const bool have = i < got.size(), expected = i < want.size();
        const bool rowOk = have && expected && got[i].message == want[i].message &&
                           (!want[i].checkW || got[i].wParam == want[i].wParam) &&
                           (!want[i].sent || got[i].sent);
        ok = ok && rowOk;
        why << "\n  " << i << ": expected "
            << (expected ? Describe(want[i].message, want[i].wParam, want[i].sent) : "(nothing)")
            << ", got "
            << (have ? Describe(got[i].message, got[i].wParam, got[i].sent) : "(nothing)")
            << (rowOk ? "" : "   <--");
    }
    if (ok)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "message sequence differs:" << why.str();
}

/* Handles messages (dispatching them) until `done` or `ms` real ms pass. */
inline bool PumpUntil(const std::function<bool()> &done, int ms = 10000)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!done()) {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
            if (done())
                return true;
        }
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

inline void PumpFor(int ms)
{
    PumpUntil([] { return false; }, ms);
}

/* A fresh root and a clean user state for each test. */
class UserTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        winport_test_reset_user();
        MessageLog::Instance().Clear();
    }
    void TearDown() override { winport_test_reset_user(); }

    /* Registers a class with `proc` (RecordingProc by default). */
    static ATOM Register(const char *name, WNDPROC proc = RecordingProc, int wndExtra = 0)
    {
        WNDCLASSEXA wc = {};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = proc;
        wc.cbWndExtra = wndExtra;
        wc.lpszClassName = name;
        return RegisterClassExA(&wc);
    }

    static HWND Create(const char *cls, const char *title = "", DWORD style = 0,
                       HWND parent = nullptr, void *param = nullptr)
    {
        return CreateWindowExA(0, cls, title, style, 0, 0, 0, 0, parent, nullptr, nullptr, param);
    }

    ScratchRoot root_;
};

#endif
