/*
 * cdinstall.exe: the converter's installer.  Creates the converter printers
 * named on the command line, or the three a workstation has, and the
 * version file; -s (silent) shows no message box.  Exit code 0 when
 * everything was installed, 1 otherwise.
 *
 *     cdinstall.exe -s                  the three converter printers
 *     cdinstall.exe -s "NovarcPDF"      that one
 */
#include "converter_install.h"

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

int main(int argc, char **argv)
{
    bool silent = false;
    std::vector<std::string> names;
    for (int i = 1; i < argc; i++) {
        if (std::strcmp(argv[i], "-s") == 0 || std::strcmp(argv[i], "/s") == 0)
            silent = true;
        else
            names.push_back(argv[i]);
    }
    if (names.empty())
        for (const converter::KnownPrinter &known : converter::kConverterPrinters)
            names.push_back(known.name);
    std::string error, report;
    bool ok = converter::WriteVersionFile(&error);
    if (!ok)
        report += error + "\n";
    for (const std::string &name : names) {
        if (converter::InstallPrinter(name, &error)) {
            report += "installed the converter printer " + name + "\n";
        } else {
            report += error + "\n";
            ok = false;
        }
    }
    std::fputs(report.c_str(), ok ? stdout : stderr);
    if (!silent)
        MessageBoxA(nullptr, report.c_str(), "PDF converter", ok ? MB_OK : MB_OK | MB_ICONERROR);
    return ok ? 0 : 1;
}
