/*
 * Conformance tests: PostQuitMessage (recorded on the calling thread's
 * queue until message loops arrive).
 */
#include <gtest/gtest.h>

#include <winport_test.h>

#include <thread>

namespace {

class PostQuit : public ::testing::Test {
protected:
    void SetUp() override { winport_test_reset_quit(); }
};

TEST_F(PostQuit, NothingIsPostedAtFirst)
{
    int code = 42;
    EXPECT_FALSE(winport_test_quit_posted(&code));
    EXPECT_EQ(code, 42);
}

TEST_F(PostQuit, PostQuitMessageRecordsTheExitCode)
{
    PostQuitMessage(3);
    int code = 0;
    EXPECT_TRUE(winport_test_quit_posted(&code));
    EXPECT_EQ(code, 3);
    EXPECT_TRUE(winport_test_quit_posted(nullptr));
}

TEST_F(PostQuit, ALaterCallReplacesTheCode)
{
    PostQuitMessage(1);
    PostQuitMessage(0);
    int code = -1;
    EXPECT_TRUE(winport_test_quit_posted(&code));
    EXPECT_EQ(code, 0);
}

TEST_F(PostQuit, TheQuitBelongsToTheCallingThread)
{
    std::thread t([] { PostQuitMessage(7); });
    t.join();
    EXPECT_FALSE(winport_test_quit_posted(nullptr));
    PostQuitMessage(5);
    bool seenByOther = true;
    std::thread u([&] { seenByOther = winport_test_quit_posted(nullptr); });
    u.join();
    EXPECT_FALSE(seenByOther);
}

TEST_F(PostQuit, ResetForgetsIt)
{
    PostQuitMessage(2);
    winport_test_reset_quit();
    EXPECT_FALSE(winport_test_quit_posted(nullptr));
}

} // namespace
