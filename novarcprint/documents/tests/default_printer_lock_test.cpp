/*
 * The default-printer lock: the session's printer is the default only
 * while the lock is held, the previous default comes back, and the lock
 * is free for the next client once released (never held twice and freed
 * once), also when the printer cannot be made the default.
 */
#include <gtest/gtest.h>

#include <scratch_root.h>

#include <winsock2.h>
#include <windows.h>

#include <string>
#include <thread>

#include "default_printer_lock.h"

namespace {

std::string DefaultPrinter()
{
    char sz[MAX_PATH] = "";
    DWORD cch = sizeof sz;
    return GetDefaultPrinterA(sz, &cch) ? sz : "<none>";
}

/* Whether another thread can take the lock at once. */
bool FreeForOthers()
{
    bool free = false;
    std::thread([&] {
        HANDLE h = CreateMutexA(NULL, FALSE, DEFAULT_PRINTER_LOCK_NAME);
        const DWORD wait = WaitForSingleObject(h, 0);
        free = wait == WAIT_OBJECT_0 || wait == WAIT_ABANDONED;
        if (free)
            ReleaseMutex(h);
        CloseHandle(h);
    }).join();
    return free;
}

class DefaultPrinterLockTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        HKEY key;
        RegCreateKeyExA(HKEY_LOCAL_MACHINE,
                        "SYSTEM\\CurrentControlSet\\Control\\Print\\Printers\\Ward PDF", 0, NULL, 0,
                        KEY_ALL_ACCESS, NULL, &key, NULL);
        const char port[] = "FOLDER:C:\\novarc\\printed\\ward";
        RegSetValueExA(key, "Port", 0, REG_SZ, (const BYTE *)port, sizeof port);
        RegCloseKey(key);
        previous_ = DefaultPrinter();
        ASSERT_NE(previous_, "<none>");
    }
    ScratchRoot root_;
    std::string previous_;
};

TEST_F(DefaultPrinterLockTest, TheSessionPrinterIsDefaultWhileHeldAndTheLockIsFreeAfter)
{
    {
        DefaultPrinterLock lock;
        ASSERT_TRUE(lock.Take("Ward PDF", 1000));
        EXPECT_EQ(DefaultPrinter(), "Ward PDF");
        EXPECT_FALSE(FreeForOthers());
        lock.Release();
        EXPECT_EQ(DefaultPrinter(), previous_);
        EXPECT_TRUE(FreeForOthers());
        /* Taken again by the same object, and let go by its end. */
        ASSERT_TRUE(lock.Take("Ward PDF", 1000));
    }
    EXPECT_EQ(DefaultPrinter(), previous_);
    EXPECT_TRUE(FreeForOthers());
}

TEST_F(DefaultPrinterLockTest, FailsWithoutHoldingWhenBusyOrThePrinterCannotBeDefault)
{
    DefaultPrinterLock lock;
    EXPECT_FALSE(lock.Take("No Such Printer", 1000));
    EXPECT_EQ(DefaultPrinter(), previous_);
    EXPECT_TRUE(FreeForOthers());

    /* Another client holds it: the wait runs out and nothing changes. */
    HANDLE taken = CreateEventA(NULL, TRUE, FALSE, NULL);
    HANDLE done = CreateEventA(NULL, TRUE, FALSE, NULL);
    std::thread holder([&] {
        DefaultPrinterLock other;
        EXPECT_TRUE(other.Take(previous_.c_str(), 1000));
        SetEvent(taken);
        WaitForSingleObject(done, 10000);
    });
    ASSERT_EQ(WaitForSingleObject(taken, 10000), WAIT_OBJECT_0);
    EXPECT_FALSE(lock.Take("Ward PDF", 50));
    EXPECT_EQ(DefaultPrinter(), previous_);
    SetEvent(done);
    holder.join();
    EXPECT_TRUE(lock.Take("Ward PDF", 1000));
    CloseHandle(taken);
    CloseHandle(done);
}

} // namespace
