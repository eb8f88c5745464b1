/*
 * Tray icons and popup menus on a Linux desktop, through GTK 3: a status
 * icon per tray icon (docked in the desktop's XEmbed system tray) and a
 * real menu.  A module of its own, loaded by shell_tray.cpp only when a
 * display is present.  GTK runs on a thread of this module and everything
 * touching it is handed to that thread; callers wait for the answer.
 */
#include "user/gtk/gtk_thread.h"
#include "user/shell_display.h"

#include <gtk/gtk.h>

#include <condition_variable>
#include <cstring>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

/* GtkStatusIcon and gtk_menu_popup are deprecated in GTK 3 for want of a
 * successor that works without a session bus; they are what we mean. */
G_GNUC_BEGIN_IGNORE_DEPRECATIONS

namespace winport::gtk {

void OnGtkThread(std::function<void()> fn)
{
    struct Call {
        std::function<void()> fn;
        std::mutex lock;
        std::condition_variable done;
        bool finished = false;
    } call;
    call.fn = std::move(fn);
    g_main_context_invoke(
        nullptr,
        [](gpointer data) -> gboolean {
            Call *c = static_cast<Call *>(data);
            c->fn();
            std::lock_guard<std::mutex> guard(c->lock);
            c->finished = true;
            c->done.notify_all();
            return G_SOURCE_REMOVE;
        },
        &call);
    std::unique_lock<std::mutex> guard(call.lock);
    call.done.wait(guard, [&] { return call.finished; });
}

} // namespace winport::gtk

namespace {

using winport::ShellClickFn;
using winport::ShellMenuItem;
using winport::gtk::OnGtkThread;

ShellClickFn g_clicked = nullptr;
std::map<uint64_t, GtkStatusIcon *> g_icons; // GTK thread only
GdkPixbuf *g_pixbuf = nullptr;               // GTK thread only
/* The click that asked for the menu: a menu opened with it takes that
 * button's release as part of the click, not as a dismissal. */
guint g_lastButton = 0; // GTK thread only
guint32 g_lastTime = 0; // GTK thread only

/* The icon: a small printer, drawn, so that no icon theme is needed. */
GdkPixbuf *DrawIcon()
{
    const int size = 22;
    cairo_surface_t *surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, size, size);
    cairo_t *cr = cairo_create(surface);
    cairo_set_line_width(cr, 1.5);
    cairo_set_source_rgb(cr, 1, 1, 1); // the sheet
    cairo_rectangle(cr, 6.5, 2.5, 9, 8);
    cairo_fill_preserve(cr);
    cairo_set_source_rgb(cr, 0.2, 0.2, 0.2);
    cairo_stroke(cr);
    cairo_set_source_rgb(cr, 0.13, 0.40, 0.70); // the body
    cairo_rectangle(cr, 2, 9, 18, 8);
    cairo_fill(cr);
    cairo_set_source_rgb(cr, 1, 1, 1); // the printed page
    cairo_rectangle(cr, 6.5, 14.5, 9, 6);
    cairo_fill_preserve(cr);
    cairo_set_source_rgb(cr, 0.2, 0.2, 0.2);
    cairo_stroke(cr);
    cairo_set_source_rgb(cr, 0.3, 0.85, 0.3); // the lamp
    cairo_arc(cr, 16.5, 11.5, 1.2, 0, 6.3);
    cairo_fill(cr);
    cairo_destroy(cr);
    GdkPixbuf *pixbuf = gdk_pixbuf_get_from_surface(surface, 0, 0, size, size);
    cairo_surface_destroy(surface);
    return pixbuf;
}

void Clicked(GtkStatusIcon *icon, int click)
{
    for (const auto &[key, shown] : g_icons)
        if (shown == icon && g_clicked)
            g_clicked(key, click);
}

void ShowIcon(uint64_t key, const char *tip)
{
    const std::string text = tip ? tip : "";
    OnGtkThread([key, text] {
        auto it = g_icons.find(key);
        GtkStatusIcon *icon = it != g_icons.end() ? it->second : nullptr;
        if (!icon) {
            if (!g_pixbuf)
                g_pixbuf = DrawIcon();
            icon = gtk_status_icon_new_from_pixbuf(g_pixbuf);
            gtk_status_icon_set_title(icon, text.c_str());
            g_signal_connect(icon, "activate", G_CALLBACK(+[](GtkStatusIcon *i, gpointer) {
                                 Clicked(i, winport::kShellClickLeft);
                             }),
                             nullptr);
            g_signal_connect(icon, "popup-menu",
                             G_CALLBACK(+[](GtkStatusIcon *i, guint button, guint time, gpointer) {
                                 g_lastButton = button;
                                 g_lastTime = time;
                                 Clicked(i, winport::kShellClickRight);
                             }),
                             nullptr);
            g_icons[key] = icon;
        }
        gtk_status_icon_set_tooltip_text(icon, text.c_str());
        gtk_status_icon_set_visible(icon, TRUE);
    });
}

void RemoveIcon(uint64_t key)
{
    OnGtkThread([key] {
        auto it = g_icons.find(key);
        if (it == g_icons.end())
            return;
        gtk_status_icon_set_visible(it->second, FALSE);
        g_object_unref(it->second);
        g_icons.erase(it);
    });
}

/* One open menu: its answer, written on the GTK thread. */
struct Tracking {
    std::mutex lock;
    std::condition_variable closed_cv;
    bool closed = false;
    unsigned chosen = 0;
    GtkWidget *menu = nullptr;
};

void Close(Tracking *t)
{
    std::lock_guard<std::mutex> guard(t->lock);
    t->closed = true;
    t->closed_cv.notify_all();
}

GtkWidget *BuildMenu(const std::vector<ShellMenuItem> &items, const std::vector<std::string> &texts,
                     Tracking *t)
{
    GtkWidget *menu = gtk_menu_new();
    for (size_t i = 0; i < items.size(); i++) {
        GtkWidget *item;
        if (items[i].separator) {
            item = gtk_separator_menu_item_new();
        } else if (items[i].checked) {
            item = gtk_check_menu_item_new_with_label(texts[i].c_str());
            gtk_check_menu_item_set_active(GTK_CHECK_MENU_ITEM(item), TRUE);
        } else {
            item = gtk_menu_item_new_with_label(texts[i].c_str());
        }
        gtk_widget_set_sensitive(item, !items[i].grayed);
        g_object_set_data(G_OBJECT(item), "winport-id", GUINT_TO_POINTER(items[i].id));
        g_signal_connect(item, "activate", G_CALLBACK(+[](GtkMenuItem *mi, gpointer data) {
                             auto *tr = static_cast<Tracking *>(data);
                             std::lock_guard<std::mutex> guard(tr->lock);
                             tr->chosen =
                                 GPOINTER_TO_UINT(g_object_get_data(G_OBJECT(mi), "winport-id"));
                         }),
                         t);
        gtk_menu_shell_append(GTK_MENU_SHELL(menu), item);
    }
    /* The item's "activate" comes after the menu's "deactivate": close on
     * the next turn of the loop, when the choice is known. */
    g_signal_connect(menu, "deactivate", G_CALLBACK(+[](GtkMenuShell *, gpointer data) {
                         g_idle_add(
                             [](gpointer d) -> gboolean {
                                 Close(static_cast<Tracking *>(d));
                                 return G_SOURCE_REMOVE;
                             },
                             data);
                     }),
                     t);
    gtk_widget_show_all(menu);
    return menu;
}

unsigned TrackMenu(const ShellMenuItem *items, int count, int (*abandon)(void *), void *context)
{
    std::vector<ShellMenuItem> copy(items, items + count);
    std::vector<std::string> texts;
    for (const ShellMenuItem &item : copy)
        texts.emplace_back(item.text ? item.text : "");
    Tracking t;
    OnGtkThread([&] {
        t.menu = BuildMenu(copy, texts, &t);
        gtk_menu_popup(GTK_MENU(t.menu), nullptr, nullptr, nullptr, nullptr, g_lastButton,
                       g_lastTime ? g_lastTime : gtk_get_current_event_time());
        if (!gtk_widget_get_visible(t.menu))
            Close(&t); // no grab to be had: as if dismissed
    });
    for (bool abandoned = false;;) {
        std::unique_lock<std::mutex> guard(t.lock);
        if (t.closed_cv.wait_for(guard, std::chrono::milliseconds(20), [&] { return t.closed; }))
            break;
        guard.unlock();
        if (!abandoned && abandon && abandon(context)) {
            abandoned = true;
            OnGtkThread([&] { gtk_menu_popdown(GTK_MENU(t.menu)); });
        }
    }
    OnGtkThread([&] { gtk_widget_destroy(t.menu); });
    return t.chosen;
}

int Pointer(int *x, int *y)
{
    int ok = 0;
    OnGtkThread([&] {
        GdkDisplay *display = gdk_display_get_default();
        GdkSeat *seat = display ? gdk_display_get_default_seat(display) : nullptr;
        GdkDevice *device = seat ? gdk_seat_get_pointer(seat) : nullptr;
        if (device) {
            gdk_device_get_position(device, nullptr, x, y);
            ok = 1;
        }
    });
    return ok;
}

const winport::ShellDisplay kTable = {
    ShowIcon, RemoveIcon, TrackMenu, Pointer, winport::gtk::ShowMessage, winport::gtk::OpenFile};

} // namespace

G_GNUC_END_IGNORE_DEPRECATIONS

/* Opens the display on a thread of its own, which then runs GTK's loop for
 * the rest of the process; nullptr when the display cannot be opened. */
extern "C" __attribute__((visibility("default"))) const winport::ShellDisplay *
winport_shell_display_open(winport::ShellClickFn clicked)
{
    g_clicked = clicked;
    std::mutex lock;
    std::condition_variable ready_cv;
    int state = 0;                   // 1 opened, -1 refused
    gdk_set_allowed_backends("x11"); // the XEmbed tray is an X11 protocol
    std::thread([&] {
        const bool opened = gtk_init_check(nullptr, nullptr);
        {
            std::lock_guard<std::mutex> guard(lock);
            state = opened ? 1 : -1;
            ready_cv.notify_all();
        }
        if (opened)
            gtk_main();
    }).detach();
    std::unique_lock<std::mutex> guard(lock);
    ready_cv.wait(guard, [&] { return state != 0; });
    return state > 0 ? &kTable : nullptr;
}
