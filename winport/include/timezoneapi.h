/*
 * FILETIME conversions: FileTimeToSystemTime and FileTimeToLocalFileTime.
 * Not part of windows.h here: include it where they are used.
 */
#ifndef WINPORT_TIMEZONEAPI_H
#define WINPORT_TIMEZONEAPI_H

#include "windef.h"

WINPORT_BEGIN_C

BOOL WINAPI FileTimeToSystemTime(const FILETIME *lpFileTime, LPSYSTEMTIME lpSystemTime);
BOOL WINAPI FileTimeToLocalFileTime(const FILETIME *lpFileTime, LPFILETIME lpLocalFileTime);

WINPORT_END_C

#endif /* WINPORT_TIMEZONEAPI_H */
