/*
 * EnumPrintersA, GetPrinterA and SetPrinterA: printers as PRINTER_INFO_1, 2,
 * 4 and 5 structures.  The structures go at the front of the caller's
 * buffer and their strings and device modes at the back, as the Windows
 * spooler packs them; a buffer too small gets ERROR_INSUFFICIENT_BUFFER and
 * the size it needs, and is left alone.
 */
#include "spool/spool_handles.h"

#include <cstring>

namespace winport::spool {

namespace {

constexpr DWORD kAlign = 8;

DWORD alignUp(DWORD v, DWORD a)
{
    return (v + a - 1) & ~(a - 1);
}

DWORD alignDown(DWORD v, DWORD a)
{
    return v & ~(a - 1);
}

/* Fills one printer's structure at `level`. */
void fillInfo(Packer &pk, const Printer &p, DWORD level)
{
    const DWORD local = p.cups ? p.attributes : p.attributes | PRINTER_ATTRIBUTE_LOCAL;
    const bool isDefault = SameName(DefaultPrinterName(), p.name);
    const DWORD attributes = isDefault ? local | PRINTER_ATTRIBUTE_DEFAULT : local;
    switch (level) {
    case 1: {
        auto *i = static_cast<PRINTER_INFO_1A *>(pk.fixed(sizeof(PRINTER_INFO_1A)));
        LPSTR desc = pk.str(p.name + "," + p.driver + "," + p.location);
        LPSTR name = pk.str(p.name);
        LPSTR comment = pk.str(p.comment);
        if (i)
            *i = PRINTER_INFO_1A{0x00800000 /* PRINTER_ENUM_ICON8 */, desc, name, comment};
        break;
    }
    case 2: {
        auto *i = static_cast<PRINTER_INFO_2A *>(pk.fixed(sizeof(PRINTER_INFO_2A)));
        PRINTER_INFO_2A v{};
        v.pServerName = nullptr;
        v.pPrinterName = pk.str(p.name);
        v.pShareName = pk.str("");
        v.pPortName = pk.str(p.port);
        v.pDriverName = pk.str(p.driver);
        v.pComment = pk.str(p.comment);
        v.pLocation = pk.str(p.location);
        v.pDevMode = pk.devmode(DefaultDevMode(p));
        v.pSepFile = pk.str("");
        v.pPrintProcessor = pk.str("winprint");
        v.pDatatype = pk.str("RAW");
        v.pParameters = pk.str("");
        v.Attributes = attributes;
        v.Priority = 1;
        v.Status = p.status;
        v.cJobs = ActiveJobs(p);
        if (i)
            *i = v;
        break;
    }
    case 4: {
        auto *i = static_cast<PRINTER_INFO_4A *>(pk.fixed(sizeof(PRINTER_INFO_4A)));
        LPSTR name = pk.str(p.name);
        if (i)
            *i = PRINTER_INFO_4A{name, nullptr, attributes};
        break;
    }
    case 5: {
        auto *i = static_cast<PRINTER_INFO_5A *>(pk.fixed(sizeof(PRINTER_INFO_5A)));
        LPSTR name = pk.str(p.name);
        LPSTR port = pk.str(p.port);
        if (i)
            *i = PRINTER_INFO_5A{name, port, attributes, 15000, 45000};
        break;
    }
    }
}

bool knownLevel(DWORD level)
{
    return level == 1 || level == 2 || level == 4 || level == 5;
}

/* Measures, then packs when the buffer holds it all. */
template <class Fill> BOOL packAll(BYTE *buf, DWORD cbBuf, LPDWORD pcbNeeded, Fill fill)
{
    Packer measure(nullptr, 0);
    fill(measure);
    DWORD needed = measure.needed();
    if (pcbNeeded)
        *pcbNeeded = needed;
    if (needed > 0 && (!buf || cbBuf < needed)) { /* nothing to return needs no buffer */
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    Packer real(buf, cbBuf);
    fill(real);
    return TRUE;
}

} // namespace

BYTE *Packer::place(DWORD bytes, DWORD align)
{
    if (!buf_) { /* measuring: every piece counted with its worst-case padding */
        extra_ += bytes + align - 1;
        return nullptr;
    }
    DWORD start = alignDown(tail_ - bytes, align);
    tail_ = start;
    return buf_ + start;
}

void *Packer::fixed(DWORD bytes)
{
    DWORD start = head_;
    head_ = alignUp(head_ + bytes, kAlign);
    return buf_ ? buf_ + start : nullptr;
}

LPSTR Packer::str(const std::string &s)
{
    BYTE *p = place(DWORD(s.size() + 1), 1);
    if (p)
        std::memcpy(p, s.c_str(), s.size() + 1);
    return reinterpret_cast<LPSTR>(p);
}

LPDEVMODEA Packer::devmode(const DevMode &dm)
{
    BYTE *p = place(DWORD(dm.size()), kAlign);
    if (p)
        std::memcpy(p, dm.data(), dm.size());
    return reinterpret_cast<LPDEVMODEA>(p);
}

} // namespace winport::spool

using namespace winport::spool;

/***********************************************************************
 *           EnumPrintersA
 * Lists the local printers (and CUPS queues) at level 1, 2, 4 or 5.  Only
 * the local machine is known: a server name other than NULL or "" lists
 * nothing, and PRINTER_ENUM_NETWORK/REMOTE list nothing.
 */
BOOL WINAPI EnumPrintersA(DWORD Flags, LPSTR Name, DWORD Level, LPBYTE pPrinterEnum, DWORD cbBuf,
                          LPDWORD pcbNeeded, LPDWORD pcReturned)
{
    if (!pcbNeeded || !pcReturned) {
        SetLastError(RPC_X_NULL_REF_POINTER);
        return FALSE;
    }
    *pcReturned = 0;
    if (!knownLevel(Level)) {
        SetLastError(ERROR_INVALID_LEVEL);
        return FALSE;
    }
    std::vector<Printer> printers;
    bool local = Flags & (PRINTER_ENUM_LOCAL | PRINTER_ENUM_CONNECTIONS | PRINTER_ENUM_DEFAULT |
                          PRINTER_ENUM_NAME);
    if (local && (!Name || !*Name))
        printers = ListPrinters();
    if (Flags & PRINTER_ENUM_DEFAULT) {
        std::string def = DefaultPrinterName();
        std::erase_if(printers, [&](const Printer &p) { return !SameName(p.name, def); });
    }
    BOOL ok = packAll(pPrinterEnum, cbBuf, pcbNeeded, [&](Packer &pk) {
        for (const Printer &p : printers)
            fillInfo(pk, p, Level);
    });
    if (ok)
        *pcReturned = DWORD(printers.size());
    return ok;
}

/***********************************************************************
 *           GetPrinterA
 * Levels 1, 2, 4 and 5.  cJobs counts the printer's jobs from StartDoc
 * until their delivery, in every process of the root.
 */
BOOL WINAPI GetPrinterA(HANDLE hPrinter, DWORD Level, LPBYTE pPrinter, DWORD cbBuf,
                        LPDWORD pcbNeeded)
{
    std::string name;
    {
        std::lock_guard<std::recursive_mutex> guard(SpoolLock());
        PrinterHandle *h = FindPrinterHandle(hPrinter);
        if (!h)
            return FALSE;
        name = h->printer;
    }
    if (!pcbNeeded) {
        SetLastError(RPC_X_NULL_REF_POINTER);
        return FALSE;
    }
    if (!knownLevel(Level)) {
        SetLastError(ERROR_INVALID_LEVEL);
        return FALSE;
    }
    auto printer = LoadPrinter(name);
    if (!printer) { /* deleted since it was opened */
        SetLastError(ERROR_INVALID_PRINTER_NAME);
        return FALSE;
    }
    return packAll(pPrinter, cbBuf, pcbNeeded, [&](Packer &pk) { fillInfo(pk, *printer, Level); });
}

/***********************************************************************
 *           SetPrinterA
 * Level 2 changes driver name, port name, device mode, attributes and
 * status (cJobs is counted, never set).  Level 0 with a command is not
 * supported (ERROR_NOT_SUPPORTED); other levels ERROR_INVALID_LEVEL.
 */
BOOL WINAPI SetPrinterA(HANDLE hPrinter, DWORD Level, LPBYTE pPrinter, DWORD Command)
{
    std::string name;
    {
        std::lock_guard<std::recursive_mutex> guard(SpoolLock());
        PrinterHandle *h = FindPrinterHandle(hPrinter);
        if (!h)
            return FALSE;
        name = h->printer;
    }
    if (Level != 2) {
        SetLastError(Level == 0 ? ERROR_NOT_SUPPORTED : ERROR_INVALID_LEVEL);
        return FALSE;
    }
    if (!pPrinter || Command != 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    auto printer = LoadPrinter(name);
    if (!printer) {
        SetLastError(ERROR_INVALID_PRINTER_NAME);
        return FALSE;
    }
    const auto *info = reinterpret_cast<const PRINTER_INFO_2A *>(pPrinter);
    if (info->pDriverName && *info->pDriverName)
        printer->driver = info->pDriverName;
    if (info->pPortName && *info->pPortName)
        printer->port = info->pPortName;
    if (info->pDevMode) {
        auto given = CopyDevMode(info->pDevMode);
        if (!given) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return FALSE;
        }
        DevMode dm = DefaultDevMode(*printer);
        MergeDevMode(*printer, dm, AsDevMode(*given));
        printer->storedDevMode = dm;
    }
    printer->attributes = info->Attributes & ~DWORD(PRINTER_ATTRIBUTE_DEFAULT);
    printer->status = info->Status;
    DWORD err = SavePrinter(*printer);
    if (err) {
        SetLastError(err);
        return FALSE;
    }
    return TRUE;
}
