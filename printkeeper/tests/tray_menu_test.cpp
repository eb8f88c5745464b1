/*
 * The companion's window in this process, headless: its icon comes (and
 * comes back after the shell loses it), its menu's items act, and it goes
 * with its icon when the service's end of the pipe closes.  The test plays
 * the service's end of the pipe.
 */
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include <namedpipeapi.h>
#include <scratch_root.h>
#include <shellapi.h>
#include <winport_test_shell.h>

#include "printkeeper.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

class TrayMenuTest : public ::testing::Test {
protected:
    ScratchRoot root;
    HANDLE hServer = INVALID_HANDLE_VALUE;
    HWND hWnd = NULL;

    void SetUp() override
    {
        winport_test_reset_user();
        winport_test_reset_msgboxes();
        winport_test_forget_tray_icons();
        fs::create_directories(root.driveC("novarc/bin/NovarcPrintDebug"));
        hServer =
            CreateNamedPipeA(UI_PIPE_NAME, PIPE_ACCESS_DUPLEX,
                             PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE, 1, 4096, 4096, 0, NULL);
        ASSERT_NE(hServer, INVALID_HANDLE_VALUE);
        hWnd = CreateUserInterfaceWindow();
        ASSERT_NE(hWnd, (HWND)NULL);
        // The icon comes once the companion has connected (clients queue
        // until the server takes them).
        ASSERT_TRUE(
            Pump([&] { return winport_test_tray_icon(hWnd, TRAY_ICON_ID, nullptr, 0) != FALSE; }));
        ASSERT_TRUE(ConnectNamedPipe(hServer, NULL) || GetLastError() == ERROR_PIPE_CONNECTED);
    }
    void TearDown() override
    {
        if (IsWindow(hWnd))
            DestroyWindow(hWnd);
        CloseHandle(hServer);
        winport_test_push_msgbox_answer(0); // clears what a failed test left
    }
    /* Runs the window's messages until done() or 5 s. */
    template <class Done> bool Pump(Done done)
    {
        const auto end = std::chrono::steady_clock::now() + 5s;
        MSG msg;
        while (!done()) {
            if (std::chrono::steady_clock::now() > end)
                return false;
            while (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE)) {
                TranslateMessage(&msg);
                DispatchMessageA(&msg);
            }
            std::this_thread::sleep_for(10ms);
        }
        return true;
    }
    /* Chooses a menu item with a right click on the icon. */
    void Choose(UINT id)
    {
        winport_test_push_menu_choice(id);
        ASSERT_TRUE(winport_test_click_tray_icon(hWnd, TRAY_ICON_ID, WM_RBUTTONDOWN));
    }
    /* The next command the companion sent, keep-alives skipped. */
    std::string NextCommand()
    {
        char buf[4096];
        for (;;) {
            DWORD got = 0;
            if (!ReadFile(hServer, buf, sizeof buf, &got, NULL))
                return "(read failed: " + std::to_string(GetLastError()) + ")";
            std::string text(buf, strnlen(buf, got));
            if (text != PIPE_CMD_KEEPALIVE)
                return text;
        }
    }
};

TEST_F(TrayMenuTest, IconHasItsTipAndComesBackAfterTheShellLosesIt)
{
    char tip[128];
    ASSERT_TRUE(winport_test_tray_icon(hWnd, TRAY_ICON_ID, tip, sizeof tip));
    EXPECT_STREQ(tip, "NOVARC Print Service");
    winport_test_forget_tray_icons();
    EXPECT_TRUE(
        Pump([&] { return winport_test_tray_icon(hWnd, TRAY_ICON_ID, nullptr, 0) != FALSE; }));
}

TEST_F(TrayMenuTest, MenuShowsTheDebugStateAndStopAsksFirst)
{
    Choose(0);
    EXPECT_STREQ(winport_test_last_menu(),
                 "Stop Print Service|Print Service Version|-|Test Outbound Connectivity|-|"
                 "View Debug Logs|Turn ON (Debug Mode)|Archive Debug Logs");
    std::ofstream(root.driveC("novarc/bin/PRINT_DEBUGGING_ON"));
    Choose(0);
    EXPECT_NE(std::string(winport_test_last_menu()).find("Turn OFF (Debug Mode)"),
              std::string::npos);

    winport_test_push_msgbox_answer(IDNO);
    Choose(TRAY_MENU_STOP);
    EXPECT_STREQ(winport_test_last_msgbox(), "STOP The Print Service: Are You SURE?");
    winport_test_push_msgbox_answer(IDYES);
    Choose(TRAY_MENU_STOP);
    Choose(TRAY_MENU_DEBUG);
    EXPECT_EQ(NextCommand(), PIPE_CMD_SHUTDOWN) << "the first stop was answered no";
    EXPECT_EQ(NextCommand(), PIPE_CMD_DEBUG_LOG);
}

TEST_F(TrayMenuTest, VersionLogsAndArchive)
{
    Choose(TRAY_MENU_VERSION);
    EXPECT_STREQ(winport_test_last_msgbox(),
                 "VERSION INFO: You Are Currently Running Print Service Version 237.859 ");
    Choose(TRAY_MENU_VIEW_LOGS);
    EXPECT_STREQ(winport_test_last_msgbox(),
                 "Current Debug Log Is Empty: No Debug Errors To Report! (Debug Mode Is OFF)");
    const std::string dir = root.driveC("novarc/bin/NovarcPrintDebug/");
    std::ofstream(dir + "novarcprint1.log") << std::string(30000, 'a') << "THE END";
    std::ofstream(dir + "notes.txt") << "kept? no: archive takes every file";
    Choose(TRAY_MENU_VIEW_LOGS);
    const std::string shown = winport_test_last_msgbox();
    EXPECT_EQ(shown.find("NovarcPrint Debug Log: "), 0u);
    EXPECT_EQ(shown.size(), strlen("NovarcPrint Debug Log: ") + 20000) << "the last 20000 bytes";
    EXPECT_EQ(shown.substr(shown.size() - 7), "THE END");
    winport_test_push_msgbox_answer(IDNO);
    Choose(TRAY_MENU_ARCHIVE);
    EXPECT_TRUE(fs::exists(dir + "novarcprint1.log"));
    winport_test_push_msgbox_answer(IDYES);
    Choose(TRAY_MENU_ARCHIVE);
    EXPECT_TRUE(fs::is_empty(dir));
}

TEST_F(TrayMenuTest, ConnectivityTestReportsEachAddress)
{
    std::ofstream(root.driveC("novarc/kelfile.txt")) << "1\n-N Nobody -A 127.0.0.3\n";
    Choose(TRAY_MENU_CONNECTIVITY);
    EXPECT_STREQ(winport_test_last_msgbox(),
                 "Test Outbound Connectivity: 127.0.0.3 \t Error Connecting \r\n");
}

TEST_F(TrayMenuTest, ServiceGoneTakesTheWindowAndIconAway)
{
    DisconnectNamedPipe(hServer);
    EXPECT_TRUE(Pump([&] { return !IsWindow(hWnd); }));
    EXPECT_FALSE(winport_test_tray_icon(hWnd, TRAY_ICON_ID, nullptr, 0));
}

} // namespace
