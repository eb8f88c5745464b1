/*
 * The life of a window and the calls between the files of the user part:
 * calling a window procedure, sending within the process, setting a
 * window's text, destroying windows whose thread ended, and forgetting
 * everything for tests.  Private to winport.
 */
#ifndef WINPORT_USER_WINDOW_LIFE_H
#define WINPORT_USER_WINDOW_LIFE_H

#include "user/window_table.h"

#include <windows.h>

#include <string>

namespace winport {

/* Calls the window's current procedure (GWLP_WNDPROC) on this thread. */
LRESULT CallWindowProcedure(const WindowRef &window, UINT msg, WPARAM wParam, LPARAM lParam);

/* Sends to a window of this process: a direct call on its own thread,
 * otherwise through its thread's queue, waiting for the result. */
LRESULT SendWithinProcess(const WindowRef &window, UINT msg, WPARAM wParam, LPARAM lParam);

/* DestroyWindow for a window of the calling thread (no checks). */
void DestroyWindowTree(const WindowRef &window);

/* Replaces a window's text and republishes a top-level window's title. */
void StoreWindowText(const WindowRef &window, const std::string &text);

/* Thread exit: removes the thread's windows (and their descendants)
 * without calling any window procedure. */
void DropThreadWindows(DWORD tid);

/* Removes one window from the table, its queue and the machine-wide
 * registry, without calling anything. */
void ForgetWindowRecord(const WindowRef &window);

/* Activation bookkeeping (headless: activation only follows ShowWindow and
 * SetForegroundWindow). */
void NoteActivated(const WindowRef &window);
void NoteDestroyedForActivation(HWND hwnd);

/* Withdraws this process's published windows when it exits normally
 * (registered once, at the first publication). */
void WithdrawPublishedAtExit();

} // namespace winport

#endif
