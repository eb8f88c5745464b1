/*
 * The shared printers: printers that every print client of the workstation
 * shares through a machine-wide lock (the fax server, "CompImage" and the
 * three PDF converter printers).  One table says how each is recognised,
 * what its lock is called, how long a client waits for it and how the log
 * names it; the open gate, the open, the lost-connection rule and the
 * release at the end all read it.
 */
#ifndef NOVARCPRINT_SHARED_PRINTERS_H
#define NOVARCPRINT_SHARED_PRINTERS_H

#include <winsock2.h> /* before windows.h, which would bring the old winsock.h */
#include <windows.h>

/* Special printers whose machine-wide lock a session may hold. */
enum SpecialLock {
    LOCK_FAX,
    LOCK_COMPIMAGE,
    LOCK_NOVARCPDF,
    LOCK_MOBILEPDF,
    LOCK_PRINTPDF,
    LOCK_COUNT
};

struct SpecialPrinter {
    SpecialLock lock;
    const char *szName;         /* the whole printer name, or a part of it */
    bool bWholeName;            /* szName must be the whole name */
    bool bConverter;            /* a PDF converter printer */
    const char *szLockName;     /* a fixed lock name, or NULL: the printer name + "_MUTEX" */
    DWORD dwWaitMs;             /* the gate's wait; 0: tried once, never waited for */
    const char *szHandle;       /* the lock's name in log lines */
    const char *szCreateFailed; /* log line when the lock cannot be created */
};

/* The row of a printer name, or NULL for an ordinary printer. */
const SpecialPrinter *FindSpecialPrinter(const char *szPrinterName);
/* The row of a lock. */
const SpecialPrinter &SpecialPrinterOf(SpecialLock lock);

#endif /* NOVARCPRINT_SHARED_PRINTERS_H */
