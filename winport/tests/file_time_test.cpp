/*
 * Conformance: FILETIME conversions.
 */
#include <gtest/gtest.h>

#include <timezoneapi.h>
#include <windows.h>

#include <cstdlib>
#include <ctime>

namespace {

FILETIME Ft(unsigned long long v)
{
    return FILETIME{static_cast<DWORD>(v), static_cast<DWORD>(v >> 32)};
}

TEST(FileTime, SystemTimeOfKnownInstants)
{
    SYSTEMTIME st;
    FILETIME zero = Ft(0);
    ASSERT_TRUE(FileTimeToSystemTime(&zero, &st));
    EXPECT_EQ(st.wYear, 1601);
    EXPECT_EQ(st.wMonth, 1);
    EXPECT_EQ(st.wDay, 1);
    EXPECT_EQ(st.wDayOfWeek, 1); // a Monday
    // 2024-02-29 13:14:15.678 UTC: a leap day, milliseconds kept.
    FILETIME leap = Ft((1709212455ULL + 11644473600ULL) * 10000000ULL + 6780000ULL);
    ASSERT_TRUE(FileTimeToSystemTime(&leap, &st));
    EXPECT_EQ(st.wYear, 2024);
    EXPECT_EQ(st.wMonth, 2);
    EXPECT_EQ(st.wDay, 29);
    EXPECT_EQ(st.wHour, 13);
    EXPECT_EQ(st.wMinute, 14);
    EXPECT_EQ(st.wSecond, 15);
    EXPECT_EQ(st.wMilliseconds, 678);
}

TEST(FileTime, InvalidValuesAndPointersAreRefused)
{
    SYSTEMTIME st;
    FILETIME top = Ft(0x8000000000000000ULL);
    EXPECT_FALSE(FileTimeToSystemTime(&top, &st));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_PARAMETER);
    EXPECT_FALSE(FileTimeToSystemTime(nullptr, &st));
    FILETIME out;
    EXPECT_FALSE(FileTimeToLocalFileTime(&top, &out));
}

TEST(FileTime, LocalTimeAddsTheZonesOffset)
{
    const char *old = getenv("TZ");
    std::string saved = old ? old : "";
    setenv("TZ", "UTC-2", 1); // two hours east of UTC
    tzset();
    FILETIME utc = Ft((1700000000ULL + 11644473600ULL) * 10000000ULL);
    FILETIME local;
    ASSERT_TRUE(FileTimeToLocalFileTime(&utc, &local));
    const unsigned long long a = ((unsigned long long)utc.dwHighDateTime << 32) | utc.dwLowDateTime;
    const unsigned long long b =
        ((unsigned long long)local.dwHighDateTime << 32) | local.dwLowDateTime;
    EXPECT_EQ(b - a, 2ULL * 3600 * 10000000ULL);
    if (old)
        setenv("TZ", saved.c_str(), 1);
    else
        unsetenv("TZ");
    tzset();
}

} // namespace
