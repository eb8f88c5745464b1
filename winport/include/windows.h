/*
 * The Windows API subset the system calls, implemented by the platform layer
 * on POSIX.  A Windows build uses the real header instead.
 */
#ifndef WINPORT_WINDOWS_H
#define WINPORT_WINDOWS_H

#include "windef.h"
#include "winnt.h"
#include "winerror.h"
#include "winbase.h"
#include "wincon.h"
#include "winsvc.h"
#include "winuser.h"
#include "wingdi.h"
#include "winreg.h"
#include "winspool.h"
#include "winver.h"

#endif /* WINPORT_WINDOWS_H */
