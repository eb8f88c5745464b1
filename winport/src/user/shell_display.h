/*
 * The desktop behind tray icons and popup menus when a display is present:
 * the module "libwp_shell_gtk.so" beside libwinport, loaded on first use
 * (shell_tray.cpp), so that winport and programs without a display never
 * link the toolkit.  Plain C types only: the module sees no winport header.
 */
#ifndef WINPORT_USER_SHELL_DISPLAY_H
#define WINPORT_USER_SHELL_DISPLAY_H

#include <cstddef>
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

/* A button of a message box. */
struct ShellButton {
    int id;
    const char *label; /* with "_" before its mnemonic */
};

/* The look of a message box. */
enum ShellIcon {
    kShellIconNone,
    kShellIconError,
    kShellIconQuestion,
    kShellIconWarning,
    kShellIconInfo
};

/* A file type of the open-file dialog. */
struct ShellFilter {
    const char *name;
    const char *patterns; /* "*.log;*.txt" */
};

/* `abandon` of the calls below is polled while a menu or dialog is open:
 * nonzero closes it (the owner went away). */
using ShellAbandonFn = int (*)(void *);

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
    /* A modal message box; waits for the chosen button's id.  Closing the
     * box (Escape, its close button) answers `closeId`; with 0 it closes
     * only through a button.  An abandoned box answers `closeId`, else
     * `defaultId`. */
    int (*message)(const char *caption, const char *text, int icon, int topmost,
                   const ShellButton *buttons, int count, int defaultId, int closeId,
                   ShellAbandonFn abandon, void *context);
    /* The open-file dialog in `folder` with `file` chosen first (either may
     * be ""), the `initial`th filter (from 0) shown; 1 with the chosen file's
     * path in `chosen`, 0 when cancelled or abandoned or the path does not
     * fit. */
    int (*openFile)(const char *title, const char *folder, const char *file,
                    const ShellFilter *filters, int count, int initial, char *chosen, size_t size,
                    ShellAbandonFn abandon, void *context);
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
