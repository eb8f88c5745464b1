/*
 * File version records: GetFileVersionInfoSizeA, GetFileVersionInfoA and
 * VerQueryValueA, with VS_FIXEDFILEINFO and its constants.  Our build
 * embeds the record in every program and component (an ELF note, see
 * winport/README.md, "Version records").  Included by windows.h.
 */
#ifndef WINPORT_WINVER_H
#define WINPORT_WINVER_H

#include "windef.h"

WINPORT_BEGIN_C

typedef unsigned int *PUINT;

typedef struct tagVS_FIXEDFILEINFO {
    DWORD dwSignature;     /* VS_FFI_SIGNATURE */
    DWORD dwStrucVersion;  /* VS_FFI_STRUCVERSION */
    DWORD dwFileVersionMS; /* major << 16 | minor */
    DWORD dwFileVersionLS; /* build << 16 | revision */
    DWORD dwProductVersionMS;
    DWORD dwProductVersionLS;
    DWORD dwFileFlagsMask;
    DWORD dwFileFlags;
    DWORD dwFileOS;
    DWORD dwFileType;
    DWORD dwFileSubtype;
    DWORD dwFileDateMS;
    DWORD dwFileDateLS;
} VS_FIXEDFILEINFO;

#define VS_FFI_SIGNATURE 0xFEEF04BDL
#define VS_FFI_STRUCVERSION 0x00010000L
#define VS_FFI_FILEFLAGSMASK 0x0000003FL

#define VS_FF_DEBUG 0x00000001L
#define VS_FF_PRERELEASE 0x00000002L
#define VS_FF_PATCHED 0x00000004L

#define VOS_NT_WINDOWS32 0x00040004L

#define VFT_UNKNOWN 0x00000000L
#define VFT_APP 0x00000001L
#define VFT_DLL 0x00000002L

DWORD WINAPI GetFileVersionInfoSizeA(LPCSTR lptstrFilename, LPDWORD lpdwHandle);
BOOL WINAPI GetFileVersionInfoA(LPCSTR lptstrFilename, DWORD dwHandle, DWORD dwLen, LPVOID lpData);
BOOL WINAPI VerQueryValueA(LPCVOID pBlock, LPCSTR lpSubBlock, LPVOID *lplpBuffer, PUINT puLen);

WINPORT_END_C

#endif /* WINPORT_WINVER_H */
