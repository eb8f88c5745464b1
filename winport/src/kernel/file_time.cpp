/*
 * FILETIME conversions.  A FILETIME counts 100-nanosecond intervals since
 * 1 January 1601 (UTC); values with the top bit set are invalid.
 */
#include <timezoneapi.h>
#include <windows.h>

#include <cstdint>
#include <ctime>

namespace {

constexpr int64_t kTicksPerSecond = 10000000;
constexpr int64_t kEpochDiffSeconds = 11644473600LL; // 1601-01-01 to 1970-01-01

bool ToTicks(const FILETIME *ft, int64_t *ticks)
{
    const uint64_t v = (static_cast<uint64_t>(ft->dwHighDateTime) << 32) | ft->dwLowDateTime;
    if (v > static_cast<uint64_t>(INT64_MAX))
        return false;
    *ticks = static_cast<int64_t>(v);
    return true;
}

} // namespace

/* FileTimeToSystemTime: the calendar time of a FILETIME, in the same zone. */
BOOL WINAPI FileTimeToSystemTime(const FILETIME *lpFileTime, LPSYSTEMTIME lpSystemTime)
{
    int64_t ticks = 0;
    if (!lpFileTime || !lpSystemTime || !ToTicks(lpFileTime, &ticks)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const time_t seconds = static_cast<time_t>(ticks / kTicksPerSecond - kEpochDiffSeconds);
    struct tm tm;
    if (!gmtime_r(&seconds, &tm) || tm.tm_year + 1900 > 30827) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    lpSystemTime->wYear = static_cast<WORD>(tm.tm_year + 1900);
    lpSystemTime->wMonth = static_cast<WORD>(tm.tm_mon + 1);
    lpSystemTime->wDayOfWeek = static_cast<WORD>(tm.tm_wday);
    lpSystemTime->wDay = static_cast<WORD>(tm.tm_mday);
    lpSystemTime->wHour = static_cast<WORD>(tm.tm_hour);
    lpSystemTime->wMinute = static_cast<WORD>(tm.tm_min);
    lpSystemTime->wSecond = static_cast<WORD>(tm.tm_sec);
    lpSystemTime->wMilliseconds = static_cast<WORD>((ticks % kTicksPerSecond) / 10000);
    return TRUE;
}

/* FileTimeToLocalFileTime: a UTC FILETIME moved into the local zone (by the
 * zone's offset at that time). */
BOOL WINAPI FileTimeToLocalFileTime(const FILETIME *lpFileTime, LPFILETIME lpLocalFileTime)
{
    int64_t ticks = 0;
    if (!lpFileTime || !lpLocalFileTime || !ToTicks(lpFileTime, &ticks)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const time_t seconds = static_cast<time_t>(ticks / kTicksPerSecond - kEpochDiffSeconds);
    struct tm tm;
    const int64_t offset = localtime_r(&seconds, &tm) ? tm.tm_gmtoff : 0;
    const int64_t local = ticks + offset * kTicksPerSecond;
    if (local < 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    lpLocalFileTime->dwLowDateTime = static_cast<DWORD>(static_cast<uint64_t>(local));
    lpLocalFileTime->dwHighDateTime = static_cast<DWORD>(static_cast<uint64_t>(local) >> 32);
    return TRUE;
}
