/*
 * Test hooks for the tray icon and popup menus (shellapi.h).  Tests only.
 */
#ifndef WINPORT_TEST_SHELL_H
#define WINPORT_TEST_SHELL_H

#include "windef.h"

WINPORT_BEGIN_C

/* Whether the process shows the icon (hWnd, uID); its tip into tipOut. */
BOOL winport_test_tray_icon(HWND hWnd, UINT uID, char *tipOut, int tipSize);
/* Sends the icon's callback message with lParam as the mouse message
 * (WM_RBUTTONDOWN, ...), as the shell does; FALSE without the icon. */
BOOL winport_test_click_tray_icon(HWND hWnd, UINT uID, UINT mouseMessage);
/* Makes the shell lose every icon (as when it restarts). */
void winport_test_forget_tray_icons(void);
/* Queues the choices of the next popup menus (an item id; 0 dismisses). */
void winport_test_push_menu_choice(UINT id);
/* The items of the last menu tracked, "|" between them, "-" a separator. */
const char *winport_test_last_menu(void);

WINPORT_END_C

#endif /* WINPORT_TEST_SHELL_H */
