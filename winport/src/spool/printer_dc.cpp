/*
 * CreateDCA and ResetDCA for printers: a printer and a device mode become a
 * GDI device description (paper, orientation, resolution, margins, colour,
 * device fonts, tray and media), drawn into a spooling sink.
 *
 * Each printer DC keeps the device mode it was made or last reset with, so
 * a ResetDCA that names only some fields (orientation, say) keeps the rest.
 */
#include "spool/spool_private.h"

#include <map>
#include <strings.h>
#include <vector>

namespace winport::spool {

namespace {

std::map<HDC, DevMode> &dcModes()
{
    static std::map<HDC, DevMode> modes;
    return modes;
}

/* Drops the modes of DCs deleted since (DeleteDC does not tell us), so a
 * service making a DC per job does not grow.  GDI is asked without the
 * spooler lock held: sinks take that lock under GDI's. */
void forgetDeletedDCs()
{
    std::vector<HDC> known;
    {
        std::lock_guard<std::recursive_mutex> guard(SpoolLock());
        for (const auto &entry : dcModes())
            known.push_back(entry.first);
    }
    DWORD saved = GetLastError();
    std::vector<HDC> gone;
    gdi::DeviceDescription unused;
    for (HDC dc : known)
        if (!gdi::GetPrinterDevice(dc, &unused))
            gone.push_back(dc);
    SetLastError(saved);
    std::lock_guard<std::recursive_mutex> guard(SpoolLock());
    for (HDC dc : gone)
        dcModes().erase(dc);
}

} // namespace

} // namespace winport::spool

using namespace winport::spool;

/***********************************************************************
 *           CreateDCA
 * A printer DC for pwszDevice (the driver name and port are ignored, as GDI
 * does for printers), set up by pdm's named fields over the printer's
 * defaults.  "DISPLAY" gives a memory DC compatible with the
 * screen.  An unknown printer gives NULL with ERROR_INVALID_PRINTER_NAME.
 */
HDC WINAPI CreateDCA(LPCSTR pwszDriver, LPCSTR pwszDevice, LPCSTR pszPort, const DEVMODEA *pdm)
{
    (void)pszPort;
    if (pwszDriver && !strcasecmp(pwszDriver, "DISPLAY") && !pwszDevice)
        return CreateCompatibleDC(nullptr);
    /* GDI ignores the driver name for printers: callers pass whatever driver
     * their own configuration names, and the device name alone decides. */
    auto printer = pwszDevice ? LoadPrinter(pwszDevice) : std::nullopt;
    if (!printer) {
        SetLastError(ERROR_INVALID_PRINTER_NAME);
        return nullptr;
    }
    DevMode dm = DefaultDevMode(*printer);
    if (pdm) {
        auto given = CopyDevMode(pdm);
        if (!given) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return nullptr;
        }
        MergeDevMode(*printer, dm, AsDevMode(*given));
    }
    HDC hdc = winport::gdi::CreatePrinterDC(DescribeDevice(*printer, dm),
                                            MakeSink(*printer, AsDevMode(dm).dmCopies));
    if (hdc) {
        forgetDeletedDCs();
        std::lock_guard<std::recursive_mutex> guard(SpoolLock());
        dcModes()[hdc] = dm; /* a recycled handle value simply takes the new mode */
    }
    return hdc;
}

/***********************************************************************
 *           ResetDCA
 * Applies the named fields of lpdm to a printer DC.  Between pages the
 * change is immediate; during a page it applies from the next page, as a
 * driver does, so each page keeps one paper, orientation and tray.
 * Returns hdc, or NULL (ERROR_INVALID_HANDLE for anything but a printer
 * DC).  A NULL lpdm changes nothing.
 */
HDC WINAPI ResetDCA(HDC hdc, const DEVMODEA *lpdm)
{
    winport::gdi::DeviceDescription current;
    if (!winport::gdi::GetPrinterDevice(hdc, &current))
        return nullptr;
    if (!lpdm)
        return hdc;
    auto printer = LoadPrinter(current.deviceName);
    auto given = CopyDevMode(lpdm);
    if (!printer || !given) {
        SetLastError(printer ? ERROR_INVALID_PARAMETER : ERROR_INVALID_PRINTER_NAME);
        return nullptr;
    }
    DevMode dm;
    {
        std::lock_guard<std::recursive_mutex> guard(SpoolLock());
        auto it = dcModes().find(hdc);
        dm = it != dcModes().end() ? it->second : DefaultDevMode(*printer);
    }
    MergeDevMode(*printer, dm, AsDevMode(*given));
    if (!winport::gdi::ResetPrinterDC(hdc, DescribeDevice(*printer, dm)))
        return nullptr;
    std::lock_guard<std::recursive_mutex> guard(SpoolLock());
    dcModes()[hdc] = dm;
    return hdc;
}
