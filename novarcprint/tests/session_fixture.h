/*
 * A print session in a fresh winport root with the debug log switched on,
 * driven by calling the dispatcher directly.  Tests only.
 */
#ifndef NOVARCPRINT_TESTS_SESSION_FIXTURE_H
#define NOVARCPRINT_TESTS_SESSION_FIXTURE_H

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>

#include <posix_files.h>
#include <scratch_root.h>

#include "main_window.h"
#include "workers.h"

inline std::string Int32(int v)
{
    std::string s(4, '\0');
    for (int i = 0; i < 4; i++)
        s[i] = (char)((unsigned)v >> (8 * i));
    return s;
}

class SessionTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        WriteText(root_.driveC("novarc/bin/PRINT_DEBUGGING_ON"), "");
        WNDCLASSEXA wc;
        memset(&wc, 0, sizeof(wc));
        wc.cbSize = sizeof(wc);
        wc.lpfnWndProc = DefWindowProcA;
        wc.lpszClassName = "SessionTestMain";
        RegisterClassExA(&wc);
        mainWnd_ = CreateWindowExA(0, "SessionTestMain", "", 0, 0, 0, 0, 0, NULL, NULL, NULL, NULL);
        session_ = std::make_unique<NovarcprintProcess>((HINSTANCE)NULL, mainWnd_, 1);
    }
    void TearDown() override
    {
        WaitForWorkers();
        session_.reset();
        g_Novarcprint.pSession = NULL;
        DestroyWindow(mainWnd_);
    }

    /* One request through the dispatcher, as after a receive. */
    void Dispatch(int type, const std::string &payload = std::string())
    {
        DispatchRaw(Int32(type) + payload);
    }
    void DispatchRaw(const std::string &bytes)
    {
        MsgBuf buffer = MsgBuf();
        InitMsgBuf(&buffer, 4);
        if (!bytes.empty())
            AppendBytes(&buffer, bytes.data(), (int)bytes.size());
        session_->HandleWebnovNovarcprintMsg(reply_, FD_READ, &buffer);
    }
    void WaitForWorkers()
    {
        for (int i = 0; i < 1000 && session_ && session_->m_iWorkerCount.load() != 0; i++)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    std::string Log()
    {
        return ReadText(root_.driveC("novarc/bin/NovarcPrintDebug/") + session_->m_szLogFileName);
    }
    /* Whether WM_CLOSE reached the main window (within 3 s, from any thread). */
    bool PostedClose()
    {
        for (int i = 0; i < 300; i++) {
            MSG msg;
            while (PeekMessageA(&msg, mainWnd_, 0, 0, PM_REMOVE))
                if (msg.message == WM_CLOSE)
                    return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return false;
    }

    ScratchRoot root_;
    HWND mainWnd_ = NULL;
    SOCKET reply_ = 0;
    std::unique_ptr<NovarcprintProcess> session_;
};

#endif
