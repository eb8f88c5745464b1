/*
 * Hooks for tests of the platform layer and of code built on it.  Not part
 * of the Windows API; product code never includes this header.
 */
#ifndef WINPORT_TEST_H
#define WINPORT_TEST_H

#include "windows.h"

WINPORT_BEGIN_C

/* Points every later path lookup at a new root folder (created if missing),
 * as WINPORT_ROOT does at start-up.  Returns TRUE on success. */
BOOL winport_test_set_root(const char *posixRoot);

/* The root folder in use, as a POSIX path. */
const char *winport_root(void);

/* Maps a Windows path to the POSIX path under the root, looking components
 * up without regard to case.  Returns the length written, or 0 when the path
 * is invalid or does not fit (last error set). */
DWORD winport_map_path(LPCSTR windowsPath, char *posixOut, DWORD outSize);

/* Queues answers for the next message boxes of this process (IDYES, ...);
 * 0 clears the queue.  Unscripted boxes take their default button. */
void winport_test_push_msgbox_answer(int answer);

/* The text of the last message box shown by this process ("caption: text"),
 * and how many have been shown since the last reset. */
const char *winport_test_last_msgbox(void);
int winport_test_msgbox_count(void);
void winport_test_reset_msgboxes(void);

/* Whether PostQuitMessage was called on this thread since the last reset,
 * and with which exit code. */
BOOL winport_test_quit_posted(int *exitCode);
void winport_test_reset_quit(void);

/* Forgets every window (without calling window procedures), window class,
 * queued message, timer and pending quit of this process, and closes the
 * sockets handed to it and never claimed. */
void winport_test_reset_user(void);

/* Whether a message sent (SendMessage) to the calling thread by another
 * thread or process waits to be handled, so a test can make sure a send
 * is queued before it looks at its queue. */
BOOL winport_test_sent_waiting(void);

/* Queues answers for the next PrintDlgA calls of this process (IDOK or
 * IDCANCEL); 0 clears the queue.  Unscripted dialogs answer IDOK. */
void winport_test_push_printdlg_answer(int answer);

/* Installs a component DLL of the module map into the root as
 * scripts/install.sh does: its DLL file in windowsFolder (created when
 * missing) becomes a link to the component's shared object, found in
 * $WINPORT_MODULE_PATH or beside libwinport.so.  FALSE with
 * ERROR_MOD_NOT_FOUND for a name that is no component or whose shared
 * object is not built. */
BOOL winport_test_install_module(LPCSTR dllName, LPCSTR windowsFolder);

/* Maps a DLL name to a shared object for this process, as a line of the
 * module map does; installed TRUE makes it a component that must be
 * installed (winport_test_install_module) before it loads. */
void winport_test_map_module(LPCSTR dllName, LPCSTR sharedObject, BOOL installed);

WINPORT_END_C

#endif /* WINPORT_TEST_H */
