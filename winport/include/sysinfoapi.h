/*
 * The system's version, the program's own file name, and the small
 * arithmetic and formatting helpers of kernel32 and user32 (MulDiv,
 * wsprintfA; user32 declares the latter on Windows, which changes nothing
 * for code that includes windows.h).  Included by winbase.h.
 */
#ifndef WINPORT_SYSINFOAPI_H
#define WINPORT_SYSINFOAPI_H

#include "windef.h"

WINPORT_BEGIN_C

#define VER_PLATFORM_WIN32s 0
#define VER_PLATFORM_WIN32_WINDOWS 1
#define VER_PLATFORM_WIN32_NT 2

typedef struct _OSVERSIONINFOA {
    DWORD dwOSVersionInfoSize;
    DWORD dwMajorVersion;
    DWORD dwMinorVersion;
    DWORD dwBuildNumber;
    DWORD dwPlatformId;
    CHAR szCSDVersion[128];
} OSVERSIONINFOA, *POSVERSIONINFOA, *LPOSVERSIONINFOA;

typedef struct _OSVERSIONINFOEXA {
    DWORD dwOSVersionInfoSize;
    DWORD dwMajorVersion;
    DWORD dwMinorVersion;
    DWORD dwBuildNumber;
    DWORD dwPlatformId;
    CHAR szCSDVersion[128];
    WORD wServicePackMajor;
    WORD wServicePackMinor;
    WORD wSuiteMask;
    BYTE wProductType;
    BYTE wReserved;
} OSVERSIONINFOEXA, *POSVERSIONINFOEXA, *LPOSVERSIONINFOEXA;

#define VER_NT_WORKSTATION 0x0000001

BOOL WINAPI GetVersionExA(LPOSVERSIONINFOA lpVersionInformation);
DWORD WINAPI GetModuleFileNameA(HMODULE hModule, LPSTR lpFilename, DWORD nSize);

int WINAPI MulDiv(int nNumber, int nNumerator, int nDenominator);
/* No format attribute: wsprintf's 'l' means 32 bits, unlike printf's. */
int WINAPIV wsprintfA(LPSTR lpOut, LPCSTR lpFmt, ...);

WINPORT_END_C

#endif /* WINPORT_SYSINFOAPI_H */
