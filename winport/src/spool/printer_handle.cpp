/*
 * OpenPrinterA and ClosePrinter: the table of open printer handles.
 */
#include "spool/spool_handles.h"

#include <map>
#include <memory>

namespace winport::spool {

namespace {

std::map<std::uintptr_t, std::unique_ptr<PrinterHandle>> &handleTable()
{
    static std::map<std::uintptr_t, std::unique_ptr<PrinterHandle>> table;
    return table;
}

std::uintptr_t nextHandleValue()
{
    static std::uintptr_t next = 0x0B000000;
    next += 4;
    return next;
}

} // namespace

PrinterHandle *FindPrinterHandle(HANDLE h)
{
    auto it = handleTable().find(reinterpret_cast<std::uintptr_t>(h));
    if (it == handleTable().end()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    return it->second.get();
}

} // namespace winport::spool

using namespace winport::spool;

/***********************************************************************
 *           OpenPrinterA
 * Opens a printer by name (case-insensitive).  pDefault's device mode and
 * data type become the handle's own.  A NULL name (the print server on
 * Windows) is not supported: ERROR_INVALID_PRINTER_NAME.
 */
BOOL WINAPI OpenPrinterA(LPSTR pPrinterName, LPHANDLE phPrinter, LPPRINTER_DEFAULTSA pDefault)
{
    if (!phPrinter) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    *phPrinter = nullptr;
    auto printer = pPrinterName ? LoadPrinter(pPrinterName) : std::nullopt;
    if (!printer) {
        SetLastError(ERROR_INVALID_PRINTER_NAME);
        return FALSE;
    }
    auto handle = std::make_unique<PrinterHandle>();
    handle->printer = printer->name;
    if (pDefault && pDefault->pDevMode) {
        auto given = CopyDevMode(pDefault->pDevMode);
        if (!given) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return FALSE;
        }
        DevMode dm = DefaultDevMode(*printer);
        MergeDevMode(*printer, dm, AsDevMode(*given));
        handle->devmode = dm;
    }
    if (pDefault && pDefault->pDatatype)
        handle->datatype = pDefault->pDatatype;
    std::lock_guard<std::recursive_mutex> guard(SpoolLock());
    std::uintptr_t value = nextHandleValue();
    handleTable()[value] = std::move(handle);
    *phPrinter = reinterpret_cast<HANDLE>(value);
    return TRUE;
}

/***********************************************************************
 *           ClosePrinter
 * A raw job still open on the handle is ended and delivered, so its bytes
 * are not lost.
 */
BOOL WINAPI ClosePrinter(HANDLE hPrinter)
{
    std::unique_ptr<PrinterHandle> handle;
    {
        std::lock_guard<std::recursive_mutex> guard(SpoolLock());
        auto it = handleTable().find(reinterpret_cast<std::uintptr_t>(hPrinter));
        if (it == handleTable().end()) {
            SetLastError(ERROR_INVALID_HANDLE);
            return FALSE;
        }
        handle = std::move(it->second);
        handleTable().erase(it);
    }
    if (handle->raw.id)
        EndRawJob(*handle, true);
    return TRUE;
}
