/*
 * Time: Sleep, tick counts, local and UTC time as SYSTEMTIME.
 */
#include <windows.h>

#include <sched.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>

namespace {

uint64_t MillisecondsSinceBoot()
{
    struct timespec ts;
    clock_gettime(CLOCK_BOOTTIME, &ts); // counts suspend, like Windows' tick count
    return static_cast<uint64_t>(ts.tv_sec) * 1000u + static_cast<uint64_t>(ts.tv_nsec) / 1000000u;
}

void FillSystemTime(LPSYSTEMTIME out, const struct tm &tm, long nanoseconds)
{
    out->wYear = static_cast<WORD>(tm.tm_year + 1900);
    out->wMonth = static_cast<WORD>(tm.tm_mon + 1);
    out->wDayOfWeek = static_cast<WORD>(tm.tm_wday); // 0 = Sunday on both sides
    out->wDay = static_cast<WORD>(tm.tm_mday);
    out->wHour = static_cast<WORD>(tm.tm_hour);
    out->wMinute = static_cast<WORD>(tm.tm_min);
    out->wSecond = static_cast<WORD>(tm.tm_sec > 59 ? 59 : tm.tm_sec); // no leap second
    out->wMilliseconds = static_cast<WORD>(nanoseconds / 1000000);
}

} // namespace

/* Sleep: suspends the thread for the time (INFINITE: for ever); Sleep(0)
 * gives the rest of the time slice to another ready thread. */
void WINAPI Sleep(DWORD dwMilliseconds)
{
    if (dwMilliseconds == 0) {
        sched_yield();
        return;
    }
    if (dwMilliseconds == INFINITE) {
        for (;;)
            pause();
    }
    struct timespec left = {static_cast<time_t>(dwMilliseconds / 1000),
                            static_cast<long>(dwMilliseconds % 1000) * 1000000L};
    while (nanosleep(&left, &left) != 0 && errno == EINTR) {
    }
}

/* GetTickCount: milliseconds since the system started, wrapping after 49.7
 * days. */
DWORD WINAPI GetTickCount(void)
{
    return static_cast<DWORD>(MillisecondsSinceBoot());
}

/* GetTickCount64: milliseconds since the system started. */
ULONGLONG WINAPI GetTickCount64(void)
{
    return MillisecondsSinceBoot();
}

/* GetLocalTime: the local date and time, to the millisecond. */
void WINAPI GetLocalTime(LPSYSTEMTIME lpSystemTime)
{
    struct timespec ts;
    clock_gettime(CLOCK_REALTIME, &ts);
    struct tm tm;
    localtime_r(&ts.tv_sec, &tm);
    FillSystemTime(lpSystemTime, tm, ts.tv_nsec);
}

/* GetSystemTime: the UTC date and time, to the millisecond. */
void WINAPI GetSystemTime(LPSYSTEMTIME lpSystemTime)
{
    struct timespec ts;
    clock_gettime(CLOCK_REALTIME, &ts);
    struct tm tm;
    gmtime_r(&ts.tv_sec, &tm);
    FillSystemTime(lpSystemTime, tm, ts.tv_nsec);
}
