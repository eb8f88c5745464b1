/*
 * The process's clock, and the one honest way tests make it run faster.
 *
 * The system waits 60000 and 300000 ms in places; tests must not.  When the
 * environment variable WINPORT_TIME_SCALE holds an integer N > 1, every
 * time-out, timer period and sleep of this process lasts 1/N of its
 * nominal length, and the tick count runs N times as fast, so code that
 * measures elapsed time against a time-out still sees them agree.  Wall
 * clock time (GetLocalTime, GetSystemTime) is never scaled.  Child processes
 * inherit the variable, so a whole process tree runs on one fast clock.
 * Product code never sets it.  Private to winport.
 */
#ifndef WINPORT_KERNEL_CLOCK_H
#define WINPORT_KERNEL_CLOCK_H

#include <cstdint>

namespace winport {

/* N of WINPORT_TIME_SCALE, or 1 (read once per process). */
uint32_t TimeScale();

/* Real milliseconds that a nominal time-out of `ms` lasts (at least 1 when
 * ms > 0).  Callers treat INFINITE themselves. */
uint64_t RealMs(uint64_t ms);

/* Real nanoseconds for a nominal time-out of `ms`. */
uint64_t RealNs(uint64_t ms);

/* Nominal milliseconds since the system started: real milliseconds times
 * the scale. */
uint64_t NominalTickMs();

} // namespace winport

#endif
