/*
 * The desktop behind tray icons and popup menus when a display is present:
 * the module "libwp_shell_gtk.so" beside libwinport, loaded on first use
 * (shell_tray.cpp), so that winport and programs without a display never
 * link the toolkit.  Plain C types only: the module sees no winport header.
 */
#ifndef WINPORT_USER_SHELL_DISPLAY_H
#define WINPORT_USER_SHELL_DISPLAY_H

#include <cstdint>

namespace winport {

/* An item of a popup menu as the module shows it. */
struct ShellMenuItem {
    unsigned id;      /* 0 with separator */
    const char *text; /* nullptr with separator */
    int separator;
    int grayed;
    int checked;
};

/* What a click on an icon is, in the module's words. */
enum ShellClick { kShellClickLeft = 1, kShellClickRight = 2 };

using ShellClickFn = void (*)(uint64_t key, int click);

struct ShellDisplay {
    /* Shows the icon `key` with its tip, or changes the tip of a shown one. */
    void (*show)(uint64_t key, const char *tip);
    void (*remove)(uint64_t key);
    /* Opens a menu at the pointer and waits until it closes; the chosen
     * item's id, 0 when dismissed.  `abandon` is polled while it is open:
     * nonzero closes it (the owner went away). */
    unsigned (*track)(const ShellMenuItem *items, int count, int (*abandon)(void *), void *context);
    /* The pointer on the screen; 0 without one. */
    int (*pointer)(int *x, int *y);
};

/* The module's single export: its table, or nullptr when the display cannot
 * be opened.  `clicked` is called on the module's own thread. */
using ShellDisplayOpenFn = const ShellDisplay *(*)(ShellClickFn clicked);
constexpr const char *kShellDisplayOpen = "winport_shell_display_open";

/* The desktop, or nullptr headless (no DISPLAY, WINPORT_HEADLESS set, the
 * module missing or the display refusing us).  Decided once. */
const ShellDisplay *Display();

} // namespace winport

#endif /* WINPORT_USER_SHELL_DISPLAY_H */
