/*
 * The tray companion ("Printkeeper -UI") with a real service: it keeps the
 * pipe alive, a second one in the session ends at once, and it ends soon
 * after the service is killed.
 */
#include <gtest/gtest.h>

#include <chrono>
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

} // namespace
