/*
 * DocumentPropertiesA and DeviceCapabilitiesA: what a printer's driver
 * says about its device modes, papers, bins and resolutions.  There is no
 * driver user interface: DM_IN_PROMPT is accepted and shows nothing.
 */
#include "spool/spool_handles.h"

#include <cstring>

namespace winport::spool {

namespace {

/* Writes count entries of `width` bytes each (names NUL-padded). */
template <class Item, class Name>
int names(const std::vector<Item> &items, std::size_t width, LPSTR out, Name name)
{
    if (out)
        for (std::size_t i = 0; i < items.size(); i++) {
            char *slot = out + i * width;
            std::memset(slot, 0, width);
            std::string n = name(items[i]).substr(0, width - 1);
            std::memcpy(slot, n.data(), n.size());
        }
    return int(items.size());
}

int capability(const Printer &p, WORD cap, LPSTR out)
{
    switch (cap) {
    case DC_BINS:
        if (out)
            for (std::size_t i = 0; i < p.bins.size(); i++)
                reinterpret_cast<WORD *>(out)[i] = WORD(p.bins[i].number);
        return int(p.bins.size());
    case DC_BINNAMES:
        return names(p.bins, kBinNameLen, out, [](const Bin &b) { return b.name; });
    case DC_PAPERS:
        if (out)
            for (std::size_t i = 0; i < p.papers.size(); i++)
                reinterpret_cast<WORD *>(out)[i] = WORD(p.papers[i].number);
        return int(p.papers.size());
    case DC_PAPERNAMES:
        return names(p.papers, kPaperNameLen, out, [](const Paper &x) { return x.name; });
    case DC_PAPERSIZE:
        if (out)
            for (std::size_t i = 0; i < p.papers.size(); i++)
                reinterpret_cast<POINT *>(out)[i] = POINT{p.papers[i].width, p.papers[i].height};
        return int(p.papers.size());
    case DC_ENUMRESOLUTIONS:
        if (out)
            for (std::size_t i = 0; i < p.resolutions.size(); i++) {
                reinterpret_cast<LONG *>(out)[2 * i] = p.resolutions[i];
                reinterpret_cast<LONG *>(out)[2 * i + 1] = p.resolutions[i];
            }
        return int(p.resolutions.size());
    case DC_COLORDEVICE:
        return p.color ? 1 : 0;
    case DC_ORIENTATION: /* landscape is portrait turned a quarter counter-clockwise */
        return 90;
    case DC_COPIES:
        return 999;
    case DC_DUPLEX:
        return p.duplex ? 1 : 0;
    case DC_COLLATE:
        return 1;
    case DC_SIZE:
        return sizeof(DEVMODEA);
    case DC_DRIVER:
        return AsDevMode(DefaultDevMode(p)).dmDriverVersion;
    case DC_FIELDS:
        return int(AsDevMode(DefaultDevMode(p)).dmFields | DM_PAPERLENGTH | DM_PAPERWIDTH |
                   DM_DEFAULTSOURCE | DM_DUPLEX | DM_COLLATE);
    default:
        SetLastError(ERROR_NOT_SUPPORTED);
        return -1;
    }
}

} // namespace

} // namespace winport::spool

using namespace winport::spool;

/***********************************************************************
 *           DocumentPropertiesA
 * fMode 0 gives the size of the device mode (public part and private
 * bytes).  DM_OUT_BUFFER writes the handle's device mode (the one given to
 * OpenPrinterA, else the printer's default), with the fields named in an
 * input device mode merged in when DM_IN_BUFFER is set.  Returns IDOK, or
 * -1 with the last error.  hWnd is ignored; DM_IN_PROMPT shows nothing.
 */
LONG WINAPI DocumentPropertiesA(HWND hWnd, HANDLE hPrinter, LPSTR pDeviceName,
                                PDEVMODEA pDevModeOutput, PDEVMODEA pDevModeInput, DWORD fMode)
{
    (void)hWnd;
    std::string name = pDeviceName ? pDeviceName : "";
    std::optional<DevMode> opened;
    if (hPrinter) {
        std::lock_guard<std::recursive_mutex> guard(SpoolLock());
        PrinterHandle *h = FindPrinterHandle(hPrinter);
        if (!h)
            return -1;
        name = h->printer;
        opened = h->devmode;
    }
    auto printer = LoadPrinter(name);
    if (!printer) {
        SetLastError(ERROR_INVALID_PRINTER_NAME);
        return -1;
    }
    DevMode dm = opened ? *opened : DefaultDevMode(*printer);
    if (fMode == 0 || (!(fMode & DM_OUT_BUFFER) && !pDevModeOutput))
        return LONG(dm.size());
    if ((fMode & DM_IN_BUFFER) && pDevModeInput) {
        auto given = CopyDevMode(pDevModeInput);
        if (!given) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return -1;
        }
        MergeDevMode(*printer, dm, AsDevMode(*given));
    }
    if (fMode & DM_OUT_BUFFER) {
        if (!pDevModeOutput) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return -1;
        }
        std::memmove(pDevModeOutput, dm.data(), dm.size());
    }
    return IDOK;
}

/***********************************************************************
 *           DeviceCapabilitiesA
 * With pOutput NULL returns the number of entries.  Bin names are 24
 * characters, paper names 64, paper sizes POINTs in tenths of a millimetre.
 * -1 for an unknown printer (ERROR_INVALID_PRINTER_NAME) or capability
 * (ERROR_NOT_SUPPORTED).  pPort and pDevMode are ignored.
 */
int WINAPI DeviceCapabilitiesA(LPCSTR pDevice, LPCSTR pPort, WORD fwCapability, LPSTR pOutput,
                               const DEVMODEA *pDevMode)
{
    (void)pPort;
    (void)pDevMode;
    auto printer = pDevice ? LoadPrinter(pDevice) : std::nullopt;
    if (!printer) {
        SetLastError(ERROR_INVALID_PRINTER_NAME);
        return -1;
    }
    return capability(*printer, fwCapability, pOutput);
}
