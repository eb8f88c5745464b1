/*
 * Open printer handles (OpenPrinterA): which printer, the device mode given
 * at open, and the raw job a handle is writing.  Handles are not kernel
 * handles; they come from this table (values from 0x0B000000, never reused
 * within a run).  Callers hold SpoolLock() while they use an entry.
 */
#ifndef WINPORT_SPOOL_HANDLES_H
#define WINPORT_SPOOL_HANDLES_H

#include "spool/spool_private.h"

#include <cstdio>

namespace winport::spool {

struct RawJob {
    int id = 0;
    std::string spoolPath;
    std::FILE *file = nullptr;
    bool pageOpen = false;
    bool failed = false;
    std::vector<gdi::PageInfo> pages;
};

struct PrinterHandle {
    std::string printer; /* the printer's name as the registry spells it */
    std::optional<DevMode> devmode;
    std::string datatype;
    RawJob raw;
};

/* The entry behind a handle, or null with ERROR_INVALID_HANDLE set. */
PrinterHandle *FindPrinterHandle(HANDLE h);

/* Ends the handle's raw job: delivers it (deliver true) or throws it away.
 * Returns 0 or the error of the delivery. */
DWORD EndRawJob(PrinterHandle &handle, bool deliver);

} // namespace winport::spool

#endif /* WINPORT_SPOOL_HANDLES_H */
