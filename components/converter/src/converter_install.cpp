/*
 * Installing converter printers (see converter_install.h).
 */
#include "converter_install.h"

#include "converter_settings.h"

#include <windows.h>

#include <strings.h>

namespace converter {

const KnownPrinter kConverterPrinters[3] = {
    {"NovarcPDF", "C:\\novarc\\convert_pdf"},
    {"NovarcMobilePDF", "C:\\novarc\\convert_pdf\\mobile"},
    {"NovarcPrintPDF", "C:\\novarc\\convert_pdf\\print"},
};

namespace {

LONG SetText(HKEY key, const char *name, const std::string &text)
{
    return RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE *>(text.c_str()),
                          static_cast<DWORD>(text.size() + 1));
}

} // namespace

bool InstallPrinter(const std::string &name, std::string *error)
{
    if (name.empty() || name.size() > 200 || name.find('\\') != std::string::npos ||
        name.find(',') != std::string::npos) {
        *error = "not a printer name: " + name;
        return false;
    }
    HKEY key = nullptr;
    LONG rc = RegCreateKeyExA(HKEY_LOCAL_MACHINE, PrinterKey(name).c_str(), 0, nullptr, 0,
                              KEY_ALL_ACCESS, nullptr, &key, nullptr);
    if (rc == ERROR_SUCCESS) {
        /* A printer setting of an earlier driver must not override ours. */
        RegDeleteValueA(key, "Default DevMode");
        rc = SetText(key, "Printer Driver", CDINTF_DRIVER_NAME);
        if (rc == ERROR_SUCCESS)
            rc = SetText(key, "Port", std::string("MONITOR:") + CDINTF_DLL_NAME);
        if (rc == ERROR_SUCCESS)
            rc = SetText(key, "Resolutions", "72,96,100,150,200,240,300,360,400,600,720,1200");
        if (rc == ERROR_SUCCESS)
            rc = SetText(key, "Description", "PDF files from the print client");
        RegCloseKey(key);
    }
    if (rc != ERROR_SUCCESS) {
        *error = "cannot create the printer " + name + " (error " + std::to_string(rc) + ")";
        return false;
    }
    Settings defaults;
    for (const KnownPrinter &known : kConverterPrinters)
        if (strcasecmp(known.name, name.c_str()) == 0)
            defaults.folder = known.folder;
    return StoreSettings(name, defaults, error);
}

bool WriteVersionFile(std::string *error)
{
    char folder[MAX_PATH];
    UINT n = GetSystemDirectoryA(folder, sizeof folder);
    if (n == 0 || n >= sizeof folder) {
        *error = "no system folder";
        return false;
    }
    const std::string path = std::string(folder) + "\\" + CDINTF_VERSION_FILE;
    const std::string text = std::to_string(CDINTF_VERSION) + "\r\n";
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD wrote = 0;
    bool ok = file != INVALID_HANDLE_VALUE &&
              WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &wrote, nullptr) &&
              wrote == text.size();
    if (file != INVALID_HANDLE_VALUE)
        ok = CloseHandle(file) && ok;
    if (!ok)
        *error = "cannot write " + path + " (error " + std::to_string(GetLastError()) + ")";
    return ok;
}

} // namespace converter
