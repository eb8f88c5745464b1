/*
 * The tray companion ("Printkeeper -UI") with a real service: it keeps the
 * pipe alive, a second one in the session ends at once, and it ends soon
 * after the service is killed.
 */
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "service_harness.h"

namespace {

using namespace std::chrono_literals;

class TrayCompanionTest : public ServiceFixture {
protected:
    long companion = -1;
    void TearDown() override
    {
        if (companion > 0 && NovarcWaitChild(companion, 0) < 0)
            NovarcKillChild(companion);
        ServiceFixture::TearDown();
    }
    /* The companion runs on real time: its keep-alive is every 2 s. */
    long StartCompanion()
    {
        return NovarcSpawn(PRINTKEEPER_EXE, {"WINPORT_ROOT=" + root.path()}, {"-UI"});
    }
};

TEST_F(TrayCompanionTest, OnePerSessionAndGoneSoonAfterTheService)
{
    StartService();
    companion = StartCompanion();
    ASSERT_GT(companion, 0);
    std::this_thread::sleep_for(3s); // past its first keep-alive
    ASSERT_LT(NovarcWaitChild(companion, 0), 0) << ServiceLog(root);

    long second = StartCompanion();
    ASSERT_GT(second, 0);
    EXPECT_EQ(NovarcWaitChild(second, 10000), 0) << "a second companion ends at once";
    EXPECT_NE(ServiceLog(root).find("NovarcPrintkeeperUIMutex ERROR_ALREADY_EXISTS"),
              std::string::npos);

    NovarcKillChild(service);
    service = -1;
    const auto killed = std::chrono::steady_clock::now();
    EXPECT_EQ(NovarcWaitChild(companion, 10000), 0) << "the companion outlived the service";
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                        std::chrono::steady_clock::now() - killed)
                        .count();
    RecordProperty("companion_end_ms", std::to_string(ms));
    companion = -1;
}

TEST_F(TrayCompanionTest, WithoutTheServiceItEndsAndSaysWhy)
{
    std::filesystem::create_directories(root.driveC("novarc/bin/Services/ErrorLogs"));
    companion = StartCompanion();
    ASSERT_GT(companion, 0);
    EXPECT_EQ(NovarcWaitChild(companion, 10000), 0);
    companion = -1;
    EXPECT_NE(ServiceLog(root).find("Unable To Open Named Pipe To Print Service. Exiting User "
                                    "Interface Application"),
              std::string::npos)
        << ServiceLog(root);
}

/* Desktop sessions from the stand-in session source: the service hears of
 * a log-on and counts the session's companion; companions of different
 * sessions both run. */
class TraySessionsTest : public TrayCompanionTest {
protected:
    long Spawn(int timeScale) override
    {
        return NovarcSpawn(PRINTKEEPER_EXE,
                           {"WINPORT_ROOT=" + root.path(),
                            "WINPORT_TIME_SCALE=" + std::to_string(timeScale),
                            "WINPORT_SESSIONS=sessions.txt"},
                           {"-debug"});
    }
    long StartCompanionIn(int session)
    {
        return NovarcSpawn(PRINTKEEPER_EXE,
                           {"WINPORT_ROOT=" + root.path(), "WINPORT_SESSIONS=sessions.txt",
                            "WINPORT_SESSION_ID=" + std::to_string(session)},
                           {"-UI"});
    }
    void WriteSessions(const std::string &lines)
    {
        std::ofstream(root.path() + "/sessions.new") << lines;
        std::filesystem::rename(root.path() + "/sessions.new", root.path() + "/sessions.txt");
    }
};

TEST_F(TraySessionsTest, LogOnCountsTheSessionsCompanion)
{
    StartService();
    // Two companions in session 2 at once: one ends, the other runs on; the
    // companion of session 3 has a guard of its own.
    const long first = StartCompanionIn(2), second = StartCompanionIn(2);
    long other = StartCompanionIn(3);
    ASSERT_GT(first, 0);
    ASSERT_GT(second, 0);
    ASSERT_GT(other, 0);
    companion = second; // the one that runs on, for TearDown
    const bool oneEnded = WaitFor(
        [&] {
            if (NovarcWaitChild(first, 0) == 0)
                return true;
            if (NovarcWaitChild(second, 0) != 0)
                return false;
            companion = first;
            return true;
        },
        10s);
    if (!oneEnded)
        NovarcKillChild(first);
    ASSERT_TRUE(oneEnded) << "neither companion of session 2 ended";
    std::this_thread::sleep_for(500ms);
    EXPECT_LT(NovarcWaitChild(companion, 0), 0) << "both companions of session 2 ended";
    EXPECT_LT(NovarcWaitChild(other, 0), 0) << "the companion of session 3 ended";
    NovarcKillChild(other);

    // The service registers for session changes shortly after it starts:
    // log on until it has heard of it.
    const auto heard = [&] {
        return ServiceLog(root).find("WTS_SESSION_LOGON") != std::string::npos;
    };
    for (int i = 0; i < 10 && !heard(); i++) {
        WriteSessions("");
        std::this_thread::sleep_for(300ms);
        WriteSessions("2 active alice\n");
        WaitFor(heard, 2s);
    }
    ASSERT_TRUE(heard()) << ServiceLog(root);
    EXPECT_TRUE(WaitFor(
        [&] {
            return ServiceLog(root).find("Tray companions connected: 1 of 1 desktop sessions") !=
                   std::string::npos;
        },
        10s))
        << ServiceLog(root);
}

} // namespace
