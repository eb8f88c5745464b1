/*
 * Whether a process still runs, told apart from a later process that got
 * its pid.  Private to winport.
 *
 * A named mutex records its owner's pid and that process's start time; a
 * waiter in another process asks here whether the owner is gone (ended,
 * killed, or a zombie nobody has reaped yet) and then takes the mutex as
 * abandoned, as Windows does when an owning process ends.
 */
#ifndef WINPORT_SYNC_LIVENESS_H
#define WINPORT_SYNC_LIVENESS_H

#include <cstdint>
#include <sys/types.h>

namespace winport {

/* This process's start time (clock ticks since boot, from /proc). */
uint64_t SelfStartTime();

/* Whether process `pid` that started at `startTime` is still running. */
bool ProcessAlive(pid_t pid, uint64_t startTime);

} // namespace winport

#endif
