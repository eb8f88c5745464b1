/*
 * The tray companion on a desktop: Xvfb with the test's own XEmbed tray.
 * Its icon docks, a right click opens the real menu, an item acts, and the
 * icon goes within about two seconds of the service being killed.  The
 * icon and the open menu are saved as pictures beside the test
 * (TRAY_SHOTS_DIR).
 */
#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>

#include "service_harness.h"
#include "tray_desktop_host.h"

namespace {

using namespace std::chrono_literals;

class TrayDesktopTest : public ServiceFixture {
protected:
    long xvfb = -1;
    long companion = -1;
    std::string display = ":" + std::to_string(90 + getpid() % 400);

    void SetUp() override
    {
        ServiceFixture::SetUp();
        xvfb =
            NovarcSpawn(XVFB_EXE, {}, {display, "-screen", "0", "640x400x24", "-nolisten", "tcp"});
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
};

TEST_F(TrayDesktopTest, IconDocksMenuActsAndIconGoesWithTheService)
{
    TrayHost host;
    ASSERT_TRUE(WaitFor([&] { return host.Start(display); }, 10s)) << "no display " << display;
    TrayUser user(display);
    ASSERT_TRUE(user.ok());
    StartService();
    companion = NovarcSpawn(PRINTKEEPER_EXE, {"WINPORT_ROOT=" + root.path(), "DISPLAY=" + display},
                            {"-UI"});
    ASSERT_GT(companion, 0);
    ASSERT_TRUE(WaitFor([&] { return host.Docked().size() == 1; }, 15s)) << ServiceLog(root);
    std::this_thread::sleep_for(500ms); // drawn
    const TrayRect icon = host.Place(host.Docked()[0]);
    EXPECT_TRUE(user.Shot({0, 0, 96, 24}, TRAY_SHOTS_DIR "/tray_icon.png"));

    user.Click(icon.x + icon.width / 2, icon.y + icon.height / 2, 3);
    TrayRect menu;
    ASSERT_TRUE(WaitFor([&] { return user.OpenMenu(&menu); }, 5s)) << "no menu opened";
    std::this_thread::sleep_for(300ms);
    EXPECT_TRUE(user.Shot({0, 0, menu.x + menu.width + 8, menu.y + menu.height + 8},
                          TRAY_SHOTS_DIR "/tray_menu.png"));
    user.Key("Down"); // "Stop Print Service"
    user.Key("Down"); // "Print Service Version"
    user.Key("Return");
    EXPECT_TRUE(WaitFor(
        [&] {
            return CompanionLog().find("You Are Currently Running Print Service Version") !=
                   std::string::npos;
        },
        5s))
        << CompanionLog();
    EXPECT_FALSE(user.OpenMenu(&menu)) << "the menu stayed open";

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
