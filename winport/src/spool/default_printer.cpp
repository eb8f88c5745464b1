/*
 * The default printer and the embedded default.
 *
 * The default printer is kept where Windows keeps it: the "Device" value of
 * HKCU\Software\Microsoft\Windows NT\CurrentVersion\Windows, as
 * "<name>,winspool,<port>".
 *
 * The embedded default: the first time the spooler is used on a root, it
 * creates one folder printer, so a fresh machine prints with no set-up.  A
 * marker value under the Print key records that this happened, so a
 * printer the operator deleted is not brought back.  The default printer
 * of a fresh root is the CUPS default destination when the machine has
 * one (the printer its user already prints to), else the embedded one; a
 * default already set is never changed.
 */
#include "spool/spool_private.h"

#include <cstring>

namespace winport::spool {

namespace {

constexpr const char *kWindowsKey = "Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows";
constexpr const char *kEmbeddedName = "Workstation PDF";
constexpr const char *kEmbeddedMarker = "Embedded Default Created";

struct Key {
    HKEY h = nullptr;
    ~Key()
    {
        if (h)
            RegCloseKey(h);
    }
};

LSTATUS setString(HKEY key, const char *name, const char *value)
{
    return RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE *>(value),
                          DWORD(std::strlen(value) + 1));
}

LSTATUS setDword(HKEY key, const char *name, DWORD value)
{
    return RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE *>(&value),
                          sizeof value);
}

bool createEmbeddedPrinter()
{
    Key key;
    std::string path = std::string(kPrintersKey) + "\\" + kEmbeddedName;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                        &key.h, nullptr) != ERROR_SUCCESS)
        return false;
    bool ok =
        setString(key.h, "Printer Driver", "winport PDF") == ERROR_SUCCESS &&
        setString(key.h, "Port", "FOLDER:C:\\novarc\\printed") == ERROR_SUCCESS &&
        setString(key.h, "Description", "Saves each document as a PDF file") == ERROR_SUCCESS &&
        setDword(key.h, "Resolution", 600) == ERROR_SUCCESS &&
        setString(key.h, "Resolutions", "300,600") == ERROR_SUCCESS &&
        setString(key.h, "Papers",
                  "1:2159x2794:Letter;5:2159x3556:Legal;9:2100x2970:A4;"
                  "20:1048x2413:Envelope #10;257:1016x1524:Label 4.00 x 6.00;"
                  "258:254x667:Address Label 1 x 2-5/8 in") == ERROR_SUCCESS &&
        setString(key.h, "Bins", "1:Tray 1;2:Tray 2;4:Manual Feed") == ERROR_SUCCESS &&
        setString(key.h, "Margins", "42,42,42,42") == ERROR_SUCCESS &&
        setDword(key.h, "Color", 1) == ERROR_SUCCESS &&
        setDword(key.h, "DefaultPaper", DMPAPER_LETTER) == ERROR_SUCCESS &&
        setDword(key.h, "DefaultSource", DMBIN_UPPER) == ERROR_SUCCESS;
    return ok;
}

} // namespace

void EnsureSpooler()
{
    std::lock_guard<std::recursive_mutex> guard(SpoolLock());
    Key print;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, kPrintKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                        &print.h, nullptr) != ERROR_SUCCESS)
        return;
    DWORD type = 0, done = 0, size = sizeof done;
    if (RegQueryValueExA(print.h, kEmbeddedMarker, nullptr, &type, reinterpret_cast<BYTE *>(&done),
                         &size) == ERROR_SUCCESS)
        return;
    /* Two processes may both get here on a fresh root; both write the same
     * values, so the result is one printer either way. */
    if (!createEmbeddedPrinter())
        return;
    setDword(print.h, kEmbeddedMarker, 1);
    Key windows;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, kWindowsKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                        &windows.h, nullptr) != ERROR_SUCCESS)
        return;
    if (RegQueryValueExA(windows.h, "Device", nullptr, &type, nullptr, &size) == ERROR_SUCCESS)
        return;
    std::string queue = CupsDefaultQueue();
    if (!queue.empty())
        StoreDefaultPrinter(queue, "CUPS:" + queue);
    else
        StoreDefaultPrinter(kEmbeddedName, "FOLDER:C:\\novarc\\printed");
}

std::string DefaultPrinterName()
{
    EnsureSpooler();
    Key windows;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kWindowsKey, 0, KEY_QUERY_VALUE, &windows.h) !=
        ERROR_SUCCESS)
        return {};
    char device[512] = {};
    DWORD type = 0, size = sizeof device - 1;
    if (RegQueryValueExA(windows.h, "Device", nullptr, &type, reinterpret_cast<BYTE *>(device),
                         &size) != ERROR_SUCCESS ||
        type != REG_SZ)
        return {};
    std::string name(device);
    name = name.substr(0, name.find(','));
    /* A default whose printer was deleted is no default at all. */
    auto printer = name.empty() ? std::nullopt : LoadPrinter(name);
    return printer ? printer->name : std::string();
}

void StoreDefaultPrinter(const std::string &name, const std::string &port)
{
    Key windows;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, kWindowsKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                        &windows.h, nullptr) != ERROR_SUCCESS)
        return;
    if (name.empty()) {
        RegDeleteValueA(windows.h, "Device");
        return;
    }
    std::string device = name + ",winspool," + port;
    setString(windows.h, "Device", device.c_str());
}

} // namespace winport::spool

/***********************************************************************
 *           GetDefaultPrinterA
 * Copies the default printer's name.  ERROR_FILE_NOT_FOUND when there is
 * none (or the printer it named was deleted).
 */
BOOL WINAPI GetDefaultPrinterA(LPSTR pszBuffer, LPDWORD pcchBuffer)
{
    if (!pcchBuffer) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::string name = winport::spool::DefaultPrinterName();
    if (name.empty()) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return FALSE;
    }
    DWORD needed = DWORD(name.size() + 1);
    if (!pszBuffer || *pcchBuffer < needed) {
        *pcchBuffer = needed;
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    std::memcpy(pszBuffer, name.c_str(), needed);
    *pcchBuffer = needed;
    return TRUE;
}

/***********************************************************************
 *           SetDefaultPrinterA
 * NULL or "" keeps an existing default, or else makes the first printer
 * the default (and clears a stale default when there is no printer).
 */
BOOL WINAPI SetDefaultPrinterA(LPCSTR pszPrinter)
{
    using namespace winport::spool;
    if (!pszPrinter || !*pszPrinter) {
        if (!DefaultPrinterName().empty())
            return TRUE;
        auto printers = ListPrinters();
        if (printers.empty()) {
            StoreDefaultPrinter("", "");
            return TRUE;
        }
        StoreDefaultPrinter(printers.front().name, printers.front().port);
        return TRUE;
    }
    auto printer = LoadPrinter(pszPrinter);
    if (!printer) {
        SetLastError(ERROR_INVALID_PRINTER_NAME);
        return FALSE;
    }
    StoreDefaultPrinter(printer->name, printer->port);
    return TRUE;
}
