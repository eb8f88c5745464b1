/*
 * Time: Sleep, tick counts, local and UTC time as SYSTEMTIME.
 */
#include <windows.h>

#include "kernel/clock.h"

#include <sched.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>

namespace {

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
 * gives the rest of the time slice to another ready thread.  Runs on the
 * process clock (WINPORT_TIME_SCALE shortens it in tests). */
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
    const uint64_t ns = winport::RealNs(dwMilliseconds);
    struct timespec left = {static_cast<time_t>(ns / 1000000000ull),
                            static_cast<long>(ns % 1000000000ull)};
    while (nanosleep(&left, &left) != 0 && errno == EINTR) {
    }
}

/* GetTickCount: milliseconds since the system started, wrapping after 49.7
 * days. */
DWORD WINAPI GetTickCount(void)
{
    return static_cast<DWORD>(winport::NominalTickMs());
}

/* GetTickCount64: milliseconds since the system started. */
ULONGLONG WINAPI GetTickCount64(void)
{
    return winport::NominalTickMs();
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
