/*
 * The default-printer lock: programs print a web page on whatever printer
 * is the default, so a client makes its own printer the default only while
 * it holds the workstation-wide mutex "KEL_Default_Printer_Lock", and puts
 * the previous default back before it lets go.
 */
#ifndef NOVARCPRINT_DEFAULT_PRINTER_LOCK_H
#define NOVARCPRINT_DEFAULT_PRINTER_LOCK_H

#include <winsock2.h> /* before windows.h, which would bring the old winsock.h */
#include <windows.h>

#define DEFAULT_PRINTER_LOCK_NAME "KEL_Default_Printer_Lock"
#define DEFAULT_PRINTER_NAME_SIZE 501

class DefaultPrinterLock {
public:
    DefaultPrinterLock();
    ~DefaultPrinterLock(); /* releases the lock when still held */
    DefaultPrinterLock(const DefaultPrinterLock &) = delete;
    DefaultPrinterLock &operator=(const DefaultPrinterLock &) = delete;

    /* Waits up to dwTimeout ms for the lock (an abandoned lock is taken
     * too), remembers the current default printer and makes szPrinter the
     * default.  False, not holding the lock, when either fails. */
    bool Take(const char *szPrinter, DWORD dwTimeout);
    /* Restores the remembered default printer, then frees the lock. */
    void Release();

private:
    HANDLE m_hMutex;
    bool m_bOwned;
    bool m_bChanged;
    char m_szPrevious[DEFAULT_PRINTER_NAME_SIZE];
};

#endif
