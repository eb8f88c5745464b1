/*
 * The Windows Installer subset the system asks about: whether a product is
 * installed.  The function lives in the module "msi.dll" (loaded by name,
 * as Windows code binds it); winport answers from the product records that
 * installers write under the registry's uninstall key (winport/README.md,
 * "Installed products").
 */
#ifndef WINPORT_MSI_H
#define WINPORT_MSI_H

#include "windef.h"

WINPORT_BEGIN_C

typedef enum tagINSTALLSTATE {
    INSTALLSTATE_NOTUSED = -7,
    INSTALLSTATE_BADCONFIG = -6,
    INSTALLSTATE_INCOMPLETE = -5,
    INSTALLSTATE_SOURCEABSENT = -4,
    INSTALLSTATE_MOREDATA = -3,
    INSTALLSTATE_INVALIDARG = -2,
    INSTALLSTATE_UNKNOWN = -1,
    INSTALLSTATE_BROKEN = 0,
    INSTALLSTATE_ADVERTISED = 1,
    INSTALLSTATE_REMOVED = 1,
    INSTALLSTATE_ABSENT = 2,
    INSTALLSTATE_LOCAL = 3,
    INSTALLSTATE_SOURCE = 4,
    INSTALLSTATE_DEFAULT = 5
} INSTALLSTATE;

INSTALLSTATE WINAPI MsiQueryProductStateA(LPCSTR szProduct);

WINPORT_END_C

#endif /* WINPORT_MSI_H */
