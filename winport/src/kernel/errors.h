/*
 * errno -> Win32 error code translation for the kernel functions.  Private to
 * winport.  Callers that know better (a missing file versus a missing
 * folder, a read on a write-only handle) decide before falling back here.
 */
#ifndef WINPORT_KERNEL_ERRORS_H
#define WINPORT_KERNEL_ERRORS_H

#include <windef.h>

namespace winport {

DWORD Win32ErrorFromErrno(int err);

/* SetLastError(Win32ErrorFromErrno(err)). */
void SetLastErrorFromErrno(int err);

} // namespace winport

#endif
