/*
 * Conformance: tray icons and popup menus, headless.  Shell_NotifyIconA
 * keeps one icon per (window, id): adding it twice, or changing or removing
 * one not shown, fails; the shell reports mouse events on the icon with its
 * callback message.  TrackPopupMenu returns the chosen id with
 * TPM_RETURNCMD, else posts WM_COMMAND; disabled items and separators are
 * never chosen.
 */
#include <gtest/gtest.h>

#include <scratch_root.h>

#include <shellapi.h>
#include <windows.h>
#include <winport_test_shell.h>

#include <cstring>
#include <string>

namespace {

UINT g_lastMsg = 0;
WPARAM g_lastWParam = 0;
LPARAM g_lastLParam = 0;

LRESULT CALLBACK Recorder(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg >= WM_USER || msg == WM_COMMAND) {
        g_lastMsg = msg;
        g_lastWParam = wParam;
        g_lastLParam = lParam;
        return 0;
    }
    return DefWindowProcA(hWnd, msg, wParam, lParam);
}

class ShellTrayTest : public ::testing::Test {
protected:
    ScratchRoot root;
    HWND hWnd = NULL;
    void SetUp() override
    {
        winport_test_reset_user();
        winport_test_forget_tray_icons();
        WNDCLASSA wc = {};
        wc.lpfnWndProc = Recorder;
        wc.lpszClassName = "ShellTrayTest";
        RegisterClassA(&wc);
        hWnd = CreateWindowExA(0, "ShellTrayTest", "tray", 0, 0, 0, 0, 0, NULL, NULL, NULL, NULL);
        ASSERT_NE(hWnd, (HWND)NULL);
        g_lastMsg = 0;
    }
    void TearDown() override
    {
        DestroyWindow(hWnd);
        winport_test_forget_tray_icons();
    }
    NOTIFYICONDATAA Icon(UINT flags, const char *tip = "")
    {
        NOTIFYICONDATAA nid = {};
        nid.cbSize = sizeof nid;
        nid.hWnd = hWnd;
        nid.uID = 104;
        nid.uFlags = flags;
        nid.uCallbackMessage = WM_USER + 6;
        nid.hIcon = LoadIconA(NULL, IDI_APPLICATION);
        strncpy(nid.szTip, tip, sizeof nid.szTip - 1);
        return nid;
    }
};

TEST_F(ShellTrayTest, OneIconPerWindowAndIdAddedChangedRemoved)
{
    NOTIFYICONDATAA nid = Icon(NIF_MESSAGE | NIF_ICON | NIF_TIP, "NOVARC Print Service");
    EXPECT_FALSE(Shell_NotifyIconA(NIM_MODIFY, &nid)) << "not shown yet";
    EXPECT_FALSE(Shell_NotifyIconA(NIM_DELETE, &nid));
    ASSERT_TRUE(Shell_NotifyIconA(NIM_ADD, &nid));
    EXPECT_FALSE(Shell_NotifyIconA(NIM_ADD, &nid)) << "already shown";
    char tip[128];
    ASSERT_TRUE(winport_test_tray_icon(hWnd, 104, tip, sizeof tip));
    EXPECT_STREQ(tip, "NOVARC Print Service");
    NOTIFYICONDATAA change = Icon(NIF_TIP, "changed");
    EXPECT_TRUE(Shell_NotifyIconA(NIM_MODIFY, &change));
    winport_test_tray_icon(hWnd, 104, tip, sizeof tip);
    EXPECT_STREQ(tip, "changed");
    EXPECT_TRUE(Shell_NotifyIconA(NIM_DELETE, &nid));
    EXPECT_FALSE(winport_test_tray_icon(hWnd, 104, nullptr, 0));
}

TEST_F(ShellTrayTest, BadOwnersAndSizesAreRefused)
{
    NOTIFYICONDATAA nid = Icon(NIF_TIP);
    EXPECT_FALSE(Shell_NotifyIconA(NIM_ADD, nullptr));
    nid.cbSize = 20;
    EXPECT_FALSE(Shell_NotifyIconA(NIM_ADD, &nid));
    nid.cbSize = sizeof nid;
    nid.hWnd = (HWND)0x12345;
    EXPECT_FALSE(Shell_NotifyIconA(NIM_ADD, &nid));
    nid.hWnd = hWnd;
    EXPECT_FALSE(Shell_NotifyIconA(7, &nid));
}

TEST_F(ShellTrayTest, ClicksArriveAsTheCallbackMessage)
{
    NOTIFYICONDATAA nid = Icon(NIF_MESSAGE | NIF_ICON);
    ASSERT_TRUE(Shell_NotifyIconA(NIM_ADD, &nid));
    ASSERT_TRUE(winport_test_click_tray_icon(hWnd, 104, WM_RBUTTONDOWN));
    EXPECT_EQ(g_lastMsg, (UINT)(WM_USER + 6));
    EXPECT_EQ(g_lastWParam, (WPARAM)104);
    EXPECT_EQ(g_lastLParam, (LPARAM)WM_RBUTTONDOWN);
    NOTIFYICONDATAA quiet = Icon(NIF_ICON);
    quiet.uID = 105;
    ASSERT_TRUE(Shell_NotifyIconA(NIM_ADD, &quiet));
    EXPECT_FALSE(winport_test_click_tray_icon(hWnd, 105, WM_RBUTTONDOWN))
        << "an icon without NIF_MESSAGE reports nothing";
}

HMENU TrayMenu()
{
    HMENU hMenu = CreatePopupMenu();
    AppendMenuA(hMenu, MF_STRING, 1, "Stop Print Service");
    AppendMenuA(hMenu, MF_SEPARATOR, 0, NULL);
    AppendMenuA(hMenu, MF_STRING | MF_GRAYED, 3, "Test Outbound Connectivity");
    AppendMenuA(hMenu, MF_STRING, 4, "Turn ON (Debug Mode)");
    return hMenu;
}

TEST_F(ShellTrayTest, MenusReturnOrPostTheChoice)
{
    HMENU hMenu = TrayMenu();
    EXPECT_EQ(TrackPopupMenu(hMenu, TPM_RETURNCMD | TPM_RIGHTBUTTON, 0, 0, 0, hWnd, NULL), 0)
        << "nothing chosen: dismissed";
    EXPECT_STREQ(winport_test_last_menu(),
                 "Stop Print Service|-|Test Outbound Connectivity|Turn ON (Debug Mode)");
    for (UINT id : {4u, 3u, 9u, 1u})
        winport_test_push_menu_choice(id);
    EXPECT_EQ(TrackPopupMenu(hMenu, TPM_RETURNCMD, 0, 0, 0, hWnd, NULL), 4);
    EXPECT_EQ(TrackPopupMenu(hMenu, TPM_RETURNCMD, 0, 0, 0, hWnd, NULL), 0) << "grayed";
    EXPECT_EQ(TrackPopupMenu(hMenu, TPM_RETURNCMD, 0, 0, 0, hWnd, NULL), 0) << "no such item";
    EXPECT_TRUE(TrackPopupMenu(hMenu, 0, 0, 0, 0, hWnd, NULL));
    MSG msg;
    ASSERT_TRUE(PeekMessageA(&msg, hWnd, WM_COMMAND, WM_COMMAND, PM_REMOVE));
    EXPECT_EQ(msg.wParam, (WPARAM)1);
    EXPECT_TRUE(DestroyMenu(hMenu));
    EXPECT_FALSE(DestroyMenu(hMenu));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_MENU_HANDLE);
    EXPECT_FALSE(AppendMenuA(hMenu, MF_STRING, 1, "x"));
    EXPECT_FALSE(TrackPopupMenu(hMenu, TPM_RETURNCMD, 0, 0, 0, hWnd, NULL));
}

TEST_F(ShellTrayTest, CursorRestsAtTheOrigin)
{
    POINT pt = {5, 5};
    EXPECT_TRUE(GetCursorPos(&pt));
    EXPECT_EQ(pt.x, 0);
    EXPECT_EQ(pt.y, 0);
    EXPECT_FALSE(GetCursorPos(nullptr));
}

} // namespace
