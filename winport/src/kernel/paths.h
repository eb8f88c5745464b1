/*
 * Windows path -> POSIX path under the winport root.  Private to winport;
 * winport_map_path exposes it to tests and tools.
 *
 *   "c:\Novarc\Bin\x.txt" (any case, '\' or '/')  -> <root>/drive_c/novarc/bin/x.txt
 *   "d:\x"                                        -> <root>/drive_d/x
 *   "\novarc\x" (no drive, leading separator)     -> drive C
 *   "sub\x.txt" (relative)                        -> <cwd>/sub/x.txt
 *
 * Each component is looked up without regard to case in the folder that
 * exists so far (exact spelling first, else the smallest match in byte
 * order); a name that is not found is used as spelled, so new files and
 * folders are created as the caller spells them.  "." is dropped, ".." is
 * applied lexically and never climbs above the drive's root folder, and
 * trailing dots and spaces of the last component are dropped, as Win32 does.
 */
#ifndef WINPORT_KERNEL_PATHS_H
#define WINPORT_KERNEL_PATHS_H

#include <windef.h>

#include <string>

namespace winport {

struct MappedPath {
    std::string posix;       // valid when error == 0
    std::string spelledName; // the last component as the caller spelled it
    DWORD error = 0;         // ERROR_PATH_NOT_FOUND (empty), ERROR_INVALID_NAME, ERROR_BAD_PATHNAME
    bool ok() const { return error == 0; }
};

MappedPath MapPath(const char *windowsPath);

/* The error for "nothing at `posix`": ERROR_FILE_NOT_FOUND when its folder
 * exists, else ERROR_PATH_NOT_FOUND, as Windows distinguishes them. */
DWORD NotFoundError(const std::string &posix);

} // namespace winport

#endif
