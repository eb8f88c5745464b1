/*
 * Desktops and COM's per-thread start: the bookkeeping Windows documents
 * (a thread moves to a desktop it created and back, a desktop in use
 * cannot be closed, CoInitialize counts per thread).
 */
#include <windows.h>

#include <gtest/gtest.h>

#include <thread>

namespace {

TEST(DesktopTest, ThreadMovesToANewDesktopAndBackThenClosesIt)
{
    HDESK initial = GetThreadDesktop(GetCurrentThreadId());
    ASSERT_NE(initial, nullptr);
    HDESK dummy = CreateDesktopA("dummy", NULL, NULL, DF_ALLOWOTHERACCOUNTHOOK, 0xF00CF, NULL);
    ASSERT_NE(dummy, nullptr);
    EXPECT_NE(dummy, initial);
    ASSERT_TRUE(SetThreadDesktop(dummy));
    EXPECT_EQ(GetThreadDesktop(GetCurrentThreadId()), dummy);

    /* Another thread is still on the initial desktop. */
    HDESK other = nullptr;
    std::thread([&] { other = GetThreadDesktop(GetCurrentThreadId()); }).join();
    EXPECT_EQ(other, initial);

    SetLastError(0xdeadbeef);
    EXPECT_FALSE(CloseDesktop(dummy)); /* the thread is on it */
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_BUSY);
    ASSERT_TRUE(SetThreadDesktop(initial));
    EXPECT_EQ(GetThreadDesktop(GetCurrentThreadId()), initial);
    EXPECT_TRUE(CloseDesktop(dummy));

    SetLastError(0xdeadbeef);
    EXPECT_FALSE(CloseDesktop(dummy));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_HANDLE);
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(SetThreadDesktop(dummy));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_HANDLE);
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(CloseDesktop(initial));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_BUSY);
}

TEST(DesktopTest, BadNamesAndDevicesAreRefused)
{
    for (const char *name : {(const char *)NULL, "", "WinSta0\\dummy"}) {
        SetLastError(0xdeadbeef);
        EXPECT_EQ(CreateDesktopA(name, NULL, NULL, 0, 0xF00CF, NULL), nullptr);
        EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_PARAMETER);
    }
    SetLastError(0xdeadbeef);
    EXPECT_EQ(CreateDesktopA("dummy", "DISPLAY", NULL, 0, 0xF00CF, NULL), nullptr);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_PARAMETER);
    SetLastError(0xdeadbeef);
    EXPECT_EQ(GetThreadDesktop(0), nullptr);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_PARAMETER);
}

TEST(ComInitTest, FirstCallPerThreadIsOkLaterOnesFalseUntilUninitialised)
{
    int dummy = 0;
    EXPECT_EQ(CoInitialize(&dummy), E_INVALIDARG);
    EXPECT_EQ(CoInitialize(NULL), S_OK);
    EXPECT_EQ(CoInitialize(NULL), S_FALSE);
    HRESULT inOther = E_FAIL;
    std::thread([&] {
        inOther = CoInitialize(NULL);
        CoUninitialize();
    }).join();
    EXPECT_EQ(inOther, S_OK);
    CoUninitialize();
    CoUninitialize();
    EXPECT_EQ(CoInitialize(NULL), S_OK);
    CoUninitialize();
    CoUninitialize(); /* one too many: nothing happens */
    EXPECT_EQ(CoInitialize(NULL), S_OK);
    CoUninitialize();
}

} // namespace
