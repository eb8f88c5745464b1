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

/* Windows' own text for a system error code the platform layer reports,
 * ending in "\r\n" as Windows' texts do (some hold inserts such as %1);
 * null for a code without one. */
const char *SystemMessageText(DWORD code);

} // namespace winport

#endif
