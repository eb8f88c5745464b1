/*
 * The notification area (tray) icon, Shell_NotifyIconA, and the popup menus
 * and cursor position a tray icon's menu needs (CreatePopupMenu,
 * AppendMenuA, TrackPopupMenu, DestroyMenu, GetCursorPos, which Windows
 * declares in winuser.h).  Not part of windows.h: include it where a tray
 * icon is shown.
 *
 * Headless (no desktop session): the icons are kept in a table of the
 * process, a popup menu returns no choice unless a test scripts one
 * (winport_test_shell.h), and the cursor is at (0, 0).
 */
#ifndef WINPORT_SHELLAPI_H
#define WINPORT_SHELLAPI_H

#include "windef.h"

WINPORT_BEGIN_C

typedef struct _NOTIFYICONDATAA {
    DWORD cbSize;
    HWND hWnd;
    UINT uID;
    UINT uFlags;
    UINT uCallbackMessage;
    HICON hIcon;
    CHAR szTip[128];
} NOTIFYICONDATAA, *PNOTIFYICONDATAA;

#define NIM_ADD 0x00000000
#define NIM_MODIFY 0x00000001
#define NIM_DELETE 0x00000002
#define NIF_MESSAGE 0x00000001
#define NIF_ICON 0x00000002
#define NIF_TIP 0x00000004

BOOL WINAPI Shell_NotifyIconA(DWORD dwMessage, PNOTIFYICONDATAA lpData);

#define MF_STRING 0x00000000L
#define MF_GRAYED 0x00000001L
#define MF_DISABLED 0x00000002L
#define MF_CHECKED 0x00000008L
#define MF_SEPARATOR 0x00000800L

#ifndef WM_COMMAND
#define WM_COMMAND 0x0111
#endif
#define ERROR_INVALID_MENU_HANDLE 1401L

#define TPM_LEFTALIGN 0x0000L
#define TPM_RIGHTBUTTON 0x0002L
#define TPM_NONOTIFY 0x0080L
#define TPM_RETURNCMD 0x0100L

HMENU WINAPI CreatePopupMenu(void);
BOOL WINAPI AppendMenuA(HMENU hMenu, UINT uFlags, UINT_PTR uIDNewItem, LPCSTR lpNewItem);
BOOL WINAPI TrackPopupMenu(HMENU hMenu, UINT uFlags, int x, int y, int nReserved, HWND hWnd,
                           const RECT *prcRect);
BOOL WINAPI DestroyMenu(HMENU hMenu);
BOOL WINAPI GetCursorPos(LPPOINT lpPoint);

WINPORT_END_C

#endif /* WINPORT_SHELLAPI_H */
