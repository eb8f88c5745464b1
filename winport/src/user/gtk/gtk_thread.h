/*
 * Inside the GTK module: the toolkit's own thread, and the dialogs
 * (dialogs_gtk.cpp).  Private to the module.
 */
#ifndef WINPORT_USER_GTK_GTK_THREAD_H
#define WINPORT_USER_GTK_GTK_THREAD_H

#include "user/shell_display.h"

#include <functional>

namespace winport::gtk {

/* Runs fn on the GTK thread and waits for it. */
void OnGtkThread(std::function<void()> fn);

int ShowMessage(const char *caption, const char *text, int icon, int topmost,
                const ShellButton *buttons, int count, int defaultId, int closeId,
                ShellAbandonFn abandon, void *context);

int OpenFile(const char *title, const char *folder, const char *file, const ShellFilter *filters,
             int count, int initial, char *chosen, size_t size, ShellAbandonFn abandon,
             void *context);

} // namespace winport::gtk

#endif
