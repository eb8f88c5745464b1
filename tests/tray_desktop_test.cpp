/*
 * The tray companion on a desktop: Xvfb with the test's own XEmbed tray.
 * Its icon docks, a right click opens the real menu, every item acts with
 * its real dialogs (message boxes, the log file chooser and viewer), and
 * the icon goes within about two seconds of the service being killed.
 * The icon, the open menu and the log viewer are saved as pictures beside
 * the test (TRAY_SHOTS_DIR).
 */
#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "service_harness.h"
#include "tray_desktop_host.h"

namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

class TrayDesktopTest : public ServiceFixture {
protected:
    long xvfb = -1;
    long companion = -1;
    std::string display = ":" + std::to_string(90 + getpid() % 400);

    void SetUp() override
    {
        ServiceFixture::SetUp();
        xvfb =
            NovarcSpawn(XVFB_EXE, {}, {display, "-screen", "0", "800x600x24", "-nolisten", "tcp"});
        ASSERT_GT(xvfb, 0);
    }
    void TearDown() override
    {
        for (long *child : {&companion, &xvfb})
            if (*child > 0 && NovarcWaitChild(*child, 0) < 0)
                NovarcKillChild(*child);
        ServiceFixture::TearDown();
    }
    std::string CompanionLog() { return ReadText(root.path() + "/winport/log/Printkeeper.log"); }

    /* Opens the icon's menu and picks the item `downs` keys down. */
    void Choose(TrayUser &user, const TrayRect &icon, int downs)
    {
        TrayRect menu;
        user.Click(icon.x + icon.width / 2, icon.y + icon.height / 2, 3);
        ASSERT_TRUE(WaitFor([&] { return user.OpenMenu(&menu); }, 5s)) << "no menu opened";
        std::this_thread::sleep_for(200ms);
        for (int i = 0; i < downs; i++)
            user.Key("Down");
        user.Key("Return");
        ASSERT_TRUE(WaitFor([&] { return !user.OpenMenu(&menu); }, 5s)) << "the menu stayed open";
    }
    /* Waits for the window titled `title`, gives it the keyboard. */
    bool Shown(TrayUser &user, const std::string &title, TrayRect *where = nullptr)
    {
        if (!WaitFor([&] { return user.Focus(title, where); }, 10s))
            return false;
        std::this_thread::sleep_for(300ms); // drawn and taking keys
        return user.Focus(title, where);
    }
    bool Gone(TrayUser &user, const std::string &title)
    {
        return WaitFor([&] { return !user.Focus(title); }, 5s);
    }
};

TEST_F(TrayDesktopTest, IconDocksMenuActsAndIconGoesWithTheService)
{
    TrayHost host;
    ASSERT_TRUE(WaitFor([&] { return host.Start(display); }, 10s)) << "no display " << display;
    TrayUser user(display);
    ASSERT_TRUE(user.ok());
    const std::string debugDir = root.driveC("novarc/bin/NovarcPrintDebug/");
    fs::create_directories(debugDir);
    std::ofstream(debugDir + "novarcprint1.log") << "07/01/2026 at 9:00:00:0 Printing started\r\n"
                                                 << "07/01/2026 at 9:00:01:5 Page 1 sent\r\n";
    StartService();
    companion = NovarcSpawn(PRINTKEEPER_EXE,
                            {"WINPORT_ROOT=" + root.path(), "DISPLAY=" + display, "NO_AT_BRIDGE=1",
                             "GIO_USE_VFS=local", "GSETTINGS_BACKEND=memory"},
                            {"-UI"});
    ASSERT_GT(companion, 0);
    ASSERT_TRUE(WaitFor([&] { return host.Docked().size() == 1; }, 15s)) << ServiceLog(root);
    std::this_thread::sleep_for(500ms); // drawn
    const TrayRect icon = host.Place(host.Docked()[0]);
    EXPECT_TRUE(user.Shot({0, 0, 96, 24}, TRAY_SHOTS_DIR "/tray_icon.png"));

    // The menu, pictured while open; Escape leaves it without a choice.
    TrayRect menu;
    user.Click(icon.x + icon.width / 2, icon.y + icon.height / 2, 3);
    ASSERT_TRUE(WaitFor([&] { return user.OpenMenu(&menu); }, 5s)) << "no menu opened";
    std::this_thread::sleep_for(300ms);
    EXPECT_TRUE(user.Shot({0, 0, menu.x + menu.width + 8, menu.y + menu.height + 8},
                          TRAY_SHOTS_DIR "/tray_menu.png"));
    user.Key("Escape");
    ASSERT_TRUE(WaitFor([&] { return !user.OpenMenu(&menu); }, 5s));

    // Items from the top: Stop, Version, Connectivity, View, Debug, Archive.
    Choose(user, icon, 2);
    ASSERT_TRUE(Shown(user, "VERSION INFO")) << CompanionLog();
    user.Key("Return");
    EXPECT_TRUE(Gone(user, "VERSION INFO"));

    Choose(user, icon, 3); // no endpoint files: an empty report
    ASSERT_TRUE(Shown(user, "Test Outbound Connectivity"));
    user.Key("Return");
    EXPECT_TRUE(Gone(user, "Test Outbound Connectivity"));

    Choose(user, icon, 5);
    EXPECT_TRUE(
        WaitFor([&] { return fs::exists(root.driveC("novarc/bin/PRINT_DEBUGGING_ON")); }, 5s))
        << "debug logs switched on by the service";

    Choose(user, icon, 4); // the newest log is offered first
    ASSERT_TRUE(Shown(user, "Select NovarcPrint Log File to View."));
    std::this_thread::sleep_for(500ms); // the folder listed
    user.AltKey("o");                   // Open
    TrayRect viewer;
    ASSERT_TRUE(Shown(user, "NovarcPrint Debug Log", &viewer)) << CompanionLog();
    EXPECT_TRUE(user.Shot(viewer, TRAY_SHOTS_DIR "/tray_log_viewer.png"));
    EXPECT_NE(CompanionLog().find("Page 1 sent"), std::string::npos);
    user.Key("Return");
    EXPECT_TRUE(Gone(user, "NovarcPrint Debug Log"));

    Choose(user, icon, 6);
    ASSERT_TRUE(Shown(user, "Delete NovarcPrint Debug Logs"));
    user.Key("Return"); // Yes is the default
    EXPECT_TRUE(WaitFor([&] { return fs::is_empty(debugDir); }, 5s)) << "the logs were kept";

    Choose(user, icon, 1);
    ASSERT_TRUE(Shown(user, "STOP The Print Service"));
    user.AltKey("n");
    EXPECT_TRUE(Gone(user, "STOP The Print Service"));
    std::this_thread::sleep_for(500ms);
    EXPECT_LT(NovarcWaitChild(service, 0), 0) << "answered no, yet the service stopped";

    NovarcKillChild(service);
    service = -1;
    const auto killed = std::chrono::steady_clock::now();
    ASSERT_TRUE(WaitFor([&] { return host.Docked().empty(); }, 10s)) << "the icon stayed";
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                        std::chrono::steady_clock::now() - killed)
                        .count();
    RecordProperty("icon_gone_ms", std::to_string(ms));
    EXPECT_LT(ms, 3500) << "the icon outlived the service by " << ms << " ms";
    EXPECT_EQ(NovarcWaitChild(companion, 5000), 0);
    companion = -1;
}

} // namespace
