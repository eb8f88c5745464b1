/*
 * Installing converter printers: the printer's registry key with the
 * converter's driver, its monitor port and default settings, and the
 * version file the update service reads.  Used by the installer program
 * (cdinstall.exe), which the client runs when a converter printer is
 * missing, and which scripts/install.sh runs.
 */
#ifndef CONVERTER_INSTALL_H
#define CONVERTER_INSTALL_H

#include <string>

namespace converter {

/* The converter printers a workstation has, and where each one's
 * documents go until a client says otherwise. */
struct KnownPrinter {
    const char *name;
    const char *folder;
};
extern const KnownPrinter kConverterPrinters[3];

/* Creates the printer, or makes an existing one a converter printer with
 * default settings again. */
bool InstallPrinter(const std::string &name, std::string *error);

/* Writes "<system folder>\cdintf550.kel" with the converter's version. */
bool WriteVersionFile(std::string *error);

} // namespace converter

#endif
