/*
 * The common dialogs' per-thread error code (CommDlgExtendedError), shared
 * by the print dialog and the open-file dialog.  Private to winport.
 */
#ifndef WINPORT_USER_COMMON_DIALOG_H
#define WINPORT_USER_COMMON_DIALOG_H

#include <windef.h>

namespace winport {

void SetCommonDialogError(DWORD error);

} // namespace winport

#endif
