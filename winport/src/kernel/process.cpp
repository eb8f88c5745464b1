/*
 * Identity of the running process and thread.
 */
#include <windows.h>

#include <unistd.h>

/* GetCurrentProcessId: the process id (the POSIX pid). */
DWORD WINAPI GetCurrentProcessId(void)
{
    return static_cast<DWORD>(getpid());
}

/* GetCurrentThreadId: the thread id (the Linux tid, unique machine-wide as
 * Windows thread ids are). */
DWORD WINAPI GetCurrentThreadId(void)
{
    return static_cast<DWORD>(gettid()); // not cached: a forked child's thread has a new id
}
