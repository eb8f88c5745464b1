/*
 * Conformance tests: mutexes (ownership, recursion, abandonment, names).
 */
#include "scratch_root.h"
#include "sync_test_util.h"

namespace {

class Mutex : public ::testing::Test {
protected:
    ScratchRoot root_;
};

TEST_F(Mutex, UnnamedMutexIsCreatedWithLastErrorZero)
{
    SetLastError(0xdeadbeef);
    HANDLE m = CreateMutexA(nullptr, FALSE, nullptr);
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(GetLastError(), 0u);
    EXPECT_TRUE(CloseHandle(m));
}

TEST_F(Mutex, InitialOwnerMayReleaseAndOthersThenTakeIt)
{
    HANDLE m = CreateMutexA(nullptr, TRUE, nullptr);
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(OnOtherThread([m] { return WaitForSingleObject(m, 0); }), (DWORD)WAIT_TIMEOUT);
    EXPECT_TRUE(ReleaseMutex(m));
    EXPECT_EQ(OnOtherThread([m] {
                  DWORD r = WaitForSingleObject(m, 0);
                  ReleaseMutex(m);
                  return r;
              }),
              (DWORD)WAIT_OBJECT_0);
    CloseHandle(m);
}

TEST_F(Mutex, OwnerTakesItRecursivelyAndMustReleaseAsOften)
{
    HANDLE m = CreateMutexA(nullptr, FALSE, nullptr);
    EXPECT_EQ(WaitForSingleObject(m, 0), (DWORD)WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(m, 0), (DWORD)WAIT_OBJECT_0);
    EXPECT_TRUE(ReleaseMutex(m));
    EXPECT_EQ(OnOtherThread([m] { return WaitForSingleObject(m, 0); }), (DWORD)WAIT_TIMEOUT);
    EXPECT_TRUE(ReleaseMutex(m));
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(ReleaseMutex(m));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_NOT_OWNER);
    CloseHandle(m);
}

TEST_F(Mutex, ReleaseByAnotherThreadFailsWithNotOwner)
{
    HANDLE m = CreateMutexA(nullptr, TRUE, nullptr);
    auto [ok, error] = OnOtherThread([m] {
        SetLastError(0xdeadbeef);
        BOOL r = ReleaseMutex(m);
        return std::make_pair(r, GetLastError());
    });
    EXPECT_FALSE(ok);
    EXPECT_EQ(error, (DWORD)ERROR_NOT_OWNER);
    EXPECT_TRUE(ReleaseMutex(m));
    CloseHandle(m);
}

TEST_F(Mutex, OwnerThreadEndingAbandonsItToTheNextWaiterOnce)
{
    HANDLE m = CreateMutexA(nullptr, FALSE, nullptr);
    EXPECT_EQ(OnOtherThread([m] { return WaitForSingleObject(m, 0); }), (DWORD)WAIT_OBJECT_0);
    SetLastError(0xdeadbeef);
    EXPECT_EQ(WaitForSingleObject(m, 5000), (DWORD)WAIT_ABANDONED);
    EXPECT_EQ(GetLastError(), 0xdeadbeefu);
    EXPECT_TRUE(ReleaseMutex(m)); // the abandoned mutex was taken
    EXPECT_EQ(WaitForSingleObject(m, 0), (DWORD)WAIT_OBJECT_0);
    EXPECT_TRUE(ReleaseMutex(m));
    CloseHandle(m);
}

TEST_F(Mutex, WaiterBlockedOnAnOwnedMutexGetsItWhenReleased)
{
    HANDLE m = CreateMutexA(nullptr, TRUE, nullptr);
    auto waiter = std::async(std::launch::async, [m] {
        DWORD r = WaitForSingleObject(m, 20000);
        ReleaseMutex(m);
        return r;
    });
    EXPECT_EQ(waiter.wait_for(std::chrono::milliseconds(100)), std::future_status::timeout);
    EXPECT_TRUE(ReleaseMutex(m));
    EXPECT_EQ(waiter.get(), (DWORD)WAIT_OBJECT_0);
    CloseHandle(m);
}

TEST_F(Mutex, SecondCreateOfANameReportsAlreadyExistsAndDoesNotTakeOwnership)
{
    const std::string name = UniqueName("mutex");
    HANDLE first = CreateMutexA(nullptr, FALSE, name.c_str());
    ASSERT_NE(first, nullptr);
    SetLastError(0xdeadbeef);
    HANDLE second = CreateMutexA(nullptr, TRUE, name.c_str());
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_ALREADY_EXISTS);
    EXPECT_NE(first, second);
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(ReleaseMutex(second));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_NOT_OWNER);
    CloseHandle(first);
    CloseHandle(second);
}

TEST_F(Mutex, HandlesOfOneNameShareOwnership)
{
    const std::string name = UniqueName("mutex");
    HANDLE a = CreateMutexA(nullptr, TRUE, name.c_str());
    HANDLE b = OpenMutexA(MUTEX_ALL_ACCESS, FALSE, name.c_str());
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(OnOtherThread([b] { return WaitForSingleObject(b, 0); }), (DWORD)WAIT_TIMEOUT);
    EXPECT_TRUE(ReleaseMutex(b)); // same object, same owner
    EXPECT_EQ(OnOtherThread([b] {
                  DWORD r = WaitForSingleObject(b, 0);
                  ReleaseMutex(b);
                  return r;
              }),
              (DWORD)WAIT_OBJECT_0);
    CloseHandle(a);
    CloseHandle(b);
}

TEST_F(Mutex, OpenOfAMissingNameFailsWithFileNotFound)
{
    SetLastError(0xdeadbeef);
    EXPECT_EQ(OpenMutexA(SYNCHRONIZE, FALSE, UniqueName("none").c_str()), nullptr);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_FILE_NOT_FOUND);
}

TEST_F(Mutex, OpenWithoutANameFailsWithInvalidParameter)
{
    SetLastError(0xdeadbeef);
    EXPECT_EQ(OpenMutexA(SYNCHRONIZE, FALSE, nullptr), nullptr);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_PARAMETER);
}

TEST_F(Mutex, NameHeldByAnotherKindFailsWithInvalidHandle)
{
    const std::string name = UniqueName("shared");
    HANDLE event = CreateEventA(nullptr, TRUE, FALSE, name.c_str());
    ASSERT_NE(event, nullptr);
    SetLastError(0xdeadbeef);
    EXPECT_EQ(CreateMutexA(nullptr, FALSE, name.c_str()), nullptr);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_HANDLE);
    SetLastError(0xdeadbeef);
    EXPECT_EQ(OpenMutexA(SYNCHRONIZE, FALSE, name.c_str()), nullptr);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_HANDLE);
    CloseHandle(event);
}

TEST_F(Mutex, NamesAreCaseSensitive)
{
    const std::string name = UniqueName("Case");
    std::string lower = name;
    for (char &c : lower)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    HANDLE a = CreateMutexA(nullptr, FALSE, name.c_str());
    SetLastError(0xdeadbeef);
    HANDLE b = CreateMutexA(nullptr, FALSE, lower.c_str());
    EXPECT_EQ(GetLastError(), 0u);
    CloseHandle(a);
    CloseHandle(b);
}

TEST_F(Mutex, GlobalAndLocalPrefixesNameTheSameObject)
{
    const std::string name = UniqueName("prefixed");
    HANDLE a = CreateMutexA(nullptr, FALSE, ("Global\\" + name).c_str());
    SetLastError(0xdeadbeef);
    HANDLE b = CreateMutexA(nullptr, FALSE, ("Local\\" + name).c_str());
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_ALREADY_EXISTS);
    HANDLE c = OpenMutexA(SYNCHRONIZE, FALSE, name.c_str());
    EXPECT_NE(c, nullptr);
    CloseHandle(a);
    CloseHandle(b);
    CloseHandle(c);
}

TEST_F(Mutex, NamedMutexEndsWithItsLastHandle)
{
    const std::string name = UniqueName("mutex");
    HANDLE a = CreateMutexA(nullptr, FALSE, name.c_str());
    HANDLE b = OpenMutexA(SYNCHRONIZE, FALSE, name.c_str());
    CloseHandle(a);
    HANDLE c = OpenMutexA(SYNCHRONIZE, FALSE, name.c_str());
    EXPECT_NE(c, nullptr) << "still held through b";
    CloseHandle(b);
    CloseHandle(c);
    SetLastError(0xdeadbeef);
    EXPECT_EQ(OpenMutexA(SYNCHRONIZE, FALSE, name.c_str()), nullptr);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_FILE_NOT_FOUND);
}

TEST_F(Mutex, ReleaseMutexOnAnotherKindOfHandleFailsWithInvalidHandle)
{
    HANDLE event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(ReleaseMutex(event));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_HANDLE);
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(ReleaseMutex(nullptr));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_HANDLE);
    CloseHandle(event);
}

TEST_F(Mutex, ClosingTheOwnersHandleKeepsTheMutexOwnedForOtherHandles)
{
    const std::string name = UniqueName("mutex");
    HANDLE owner = CreateMutexA(nullptr, TRUE, name.c_str());
    HANDLE other = OpenMutexA(SYNCHRONIZE, FALSE, name.c_str());
    CloseHandle(owner);
    EXPECT_EQ(OnOtherThread([other] { return WaitForSingleObject(other, 0); }),
              (DWORD)WAIT_TIMEOUT);
    EXPECT_TRUE(ReleaseMutex(other));
    CloseHandle(other);
}

} // namespace
