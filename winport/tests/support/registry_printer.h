/*
 * Test helper: a printer described in the registry, as the spooler reads
 * it (Port, Printer Driver, Papers, Bins, Margins, Resolution, ...).  Text
 * values are REG_SZ; Resolution and other numbers are REG_DWORD.  Tests
 * only.
 */
#ifndef WINPORT_TESTS_REGISTRY_PRINTER_H
#define WINPORT_TESTS_REGISTRY_PRINTER_H

#include <windows.h>

#include <initializer_list>
#include <string>
#include <utility>

using PrinterText = std::pair<const char *, std::string>;
using PrinterNumber = std::pair<const char *, DWORD>;

/* Creates (or updates) the printer's key with the values given; false when
 * the key cannot be created. */
inline bool AddRegistryPrinter(const std::string &name, std::initializer_list<PrinterText> texts,
                               std::initializer_list<PrinterNumber> numbers = {})
{
    const std::string path = "SYSTEM\\CurrentControlSet\\Control\\Print\\Printers\\" + name;
    HKEY key = NULL;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, NULL, 0, KEY_ALL_ACCESS, NULL, &key,
                        NULL) != ERROR_SUCCESS)
        return false;
    for (const auto &value : texts)
        RegSetValueExA(key, value.first, 0, REG_SZ, (const BYTE *)value.second.c_str(),
                       (DWORD)value.second.size() + 1);
    for (const auto &value : numbers)
        RegSetValueExA(key, value.first, 0, REG_DWORD, (const BYTE *)&value.second,
                       sizeof(value.second));
    RegCloseKey(key);
    return true;
}

#endif
