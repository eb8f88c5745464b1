/*
 * The test tray and the test user (see tray_desktop_host.h).
 */
#include "tray_desktop_host.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <cairo.h>

#include <algorithm>
#include <chrono>
#include <cstring>

namespace {

constexpr long kRequestDock = 0;
constexpr long kEmbeddedNotify = 0;
constexpr int kIconSize = 24;

Display *D(void *p)
{
    return static_cast<Display *>(p);
}

/* Windows come and go under the test (a menu closing while it is looked
 * at): such errors are not the test's failure, and Xlib's default handler
 * would end the process. */
int IgnoreErrors(Display *, XErrorEvent *)
{
    return 0;
}

} // namespace

bool TrayHost::Start(const std::string &display)
{
    XSetErrorHandler(IgnoreErrors);
    Display *dpy = XOpenDisplay(display.c_str());
    if (!dpy)
        return false;
    dpy_ = dpy;
    const Window root = DefaultRootWindow(dpy);
    XSetWindowAttributes attrs = {};
    attrs.background_pixel = 0xd8d8d8;
    attrs.override_redirect = True;
    tray_ = XCreateWindow(dpy, root, 0, 0, 8 * kIconSize, kIconSize, 0, CopyFromParent, InputOutput,
                          CopyFromParent, CWBackPixel | CWOverrideRedirect, &attrs);
    XSelectInput(dpy, tray_, SubstructureNotifyMask);
    XMapRaised(dpy, tray_);
    const Atom selection = XInternAtom(dpy, "_NET_SYSTEM_TRAY_S0", False);
    long horizontal = 0;
    XChangeProperty(dpy, tray_, XInternAtom(dpy, "_NET_SYSTEM_TRAY_ORIENTATION", False),
                    XA_CARDINAL, 32, PropModeReplace,
                    reinterpret_cast<unsigned char *>(&horizontal), 1);
    XSetSelectionOwner(dpy, selection, tray_, CurrentTime);
    if (XGetSelectionOwner(dpy, selection) != tray_)
        return false;
    XClientMessageEvent manager = {};
    manager.type = ClientMessage;
    manager.window = root;
    manager.message_type = XInternAtom(dpy, "MANAGER", False);
    manager.format = 32;
    manager.data.l[0] = CurrentTime;
    manager.data.l[1] = static_cast<long>(selection);
    manager.data.l[2] = static_cast<long>(tray_);
    XSendEvent(dpy, root, False, StructureNotifyMask, reinterpret_cast<XEvent *>(&manager));
    XFlush(dpy);
    thread_ = std::thread([this] { Run(); });
    return true;
}

TrayHost::~TrayHost()
{
    stop_ = true;
    if (thread_.joinable())
        thread_.join();
    if (dpy_)
        XCloseDisplay(D(dpy_));
}

void TrayHost::Run()
{
    Display *dpy = D(dpy_);
    const Atom opcode = XInternAtom(dpy, "_NET_SYSTEM_TRAY_OPCODE", False);
    const Atom xembed = XInternAtom(dpy, "_XEMBED", False);
    while (!stop_) {
        if (!XPending(dpy)) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            continue;
        }
        XEvent ev;
        XNextEvent(dpy, &ev);
        std::lock_guard<std::mutex> guard(lock_);
        if (ev.type == ClientMessage && ev.xclient.message_type == opcode &&
            ev.xclient.data.l[1] == kRequestDock) {
            const Window icon = static_cast<Window>(ev.xclient.data.l[2]);
            const int x = static_cast<int>(docked_.size()) * kIconSize;
            XSelectInput(dpy, icon, StructureNotifyMask);
            XReparentWindow(dpy, icon, tray_, x, 0);
            XResizeWindow(dpy, icon, kIconSize, kIconSize);
            XClientMessageEvent notify = {};
            notify.type = ClientMessage;
            notify.window = icon;
            notify.message_type = xembed;
            notify.format = 32;
            notify.data.l[0] = CurrentTime;
            notify.data.l[1] = kEmbeddedNotify;
            notify.data.l[3] = static_cast<long>(tray_);
            XSendEvent(dpy, icon, False, NoEventMask, reinterpret_cast<XEvent *>(&notify));
            XMapRaised(dpy, icon);
            XFlush(dpy);
            docked_.push_back(icon);
        } else if (ev.type == DestroyNotify || ev.type == UnmapNotify ||
                   (ev.type == ReparentNotify && ev.xreparent.parent != tray_)) {
            const Window gone = ev.type == DestroyNotify ? ev.xdestroywindow.window
                                : ev.type == UnmapNotify ? ev.xunmap.window
                                                         : ev.xreparent.window;
            docked_.erase(std::remove(docked_.begin(), docked_.end(), gone), docked_.end());
        }
    }
}

std::vector<unsigned long> TrayHost::Docked()
{
    std::lock_guard<std::mutex> guard(lock_);
    return docked_;
}

TrayRect TrayHost::Place(unsigned long icon)
{
    std::lock_guard<std::mutex> guard(lock_);
    TrayRect rect;
    for (size_t i = 0; i < docked_.size(); i++)
        if (docked_[i] == icon)
            rect = {static_cast<int>(i) * kIconSize, 0, kIconSize, kIconSize};
    return rect;
}

TrayUser::TrayUser(const std::string &display) : dpy_(XOpenDisplay(display.c_str())) {}

TrayUser::~TrayUser()
{
    if (dpy_)
        XCloseDisplay(D(dpy_));
}

void TrayUser::Click(int x, int y, int button)
{
    Display *dpy = D(dpy_);
    XTestFakeMotionEvent(dpy, -1, x, y, CurrentTime);
    XTestFakeButtonEvent(dpy, static_cast<unsigned>(button), True, CurrentTime);
    XTestFakeButtonEvent(dpy, static_cast<unsigned>(button), False, 50);
    XFlush(dpy);
}

void TrayUser::Key(const char *keysym)
{
    Display *dpy = D(dpy_);
    const KeyCode code = XKeysymToKeycode(dpy, XStringToKeysym(keysym));
    XTestFakeKeyEvent(dpy, code, True, CurrentTime);
    XTestFakeKeyEvent(dpy, code, False, 30);
    XFlush(dpy);
}

bool TrayUser::OpenMenu(TrayRect *where)
{
    Display *dpy = D(dpy_);
    Window rootOut, parent, *children = nullptr;
    unsigned count = 0;
    if (!XQueryTree(dpy, DefaultRootWindow(dpy), &rootOut, &parent, &children, &count))
        return false;
    const Atom type = XInternAtom(dpy, "_NET_WM_WINDOW_TYPE", False);
    const Atom popup = XInternAtom(dpy, "_NET_WM_WINDOW_TYPE_POPUP_MENU", False);
    bool found = false;
    for (unsigned i = 0; i < count; i++) {
        XWindowAttributes a;
        if (!XGetWindowAttributes(dpy, children[i], &a) || a.map_state != IsViewable ||
            !a.override_redirect)
            continue;
        Atom actual = None, *types = nullptr;
        int format = 0;
        unsigned long n = 0, after = 0;
        bool isMenu = false;
        if (XGetWindowProperty(dpy, children[i], type, 0, 8, False, XA_ATOM, &actual, &format, &n,
                               &after, reinterpret_cast<unsigned char **>(&types)) == Success &&
            types) {
            for (unsigned long k = 0; k < n; k++)
                isMenu = isMenu || types[k] == popup;
            XFree(types);
        }
        if (!isMenu)
            continue;
        if (!found || a.width * a.height > where->width * where->height)
            *where = {a.x, a.y, a.width, a.height};
        found = true;
    }
    XFree(children);
    return found;
}

bool TrayUser::Shot(const TrayRect &r, const std::string &png)
{
    Display *dpy = D(dpy_);
    XImage *image = XGetImage(dpy, DefaultRootWindow(dpy), r.x, r.y, static_cast<unsigned>(r.width),
                              static_cast<unsigned>(r.height), AllPlanes, ZPixmap);
    if (!image)
        return false;
    cairo_surface_t *s = cairo_image_surface_create(CAIRO_FORMAT_RGB24, r.width, r.height);
    unsigned char *data = cairo_image_surface_get_data(s);
    const int stride = cairo_image_surface_get_stride(s);
    for (int y = 0; y < r.height; y++)
        for (int x = 0; x < r.width; x++) {
            const uint32_t pixel = static_cast<uint32_t>(XGetPixel(image, x, y)) & 0xffffff;
            std::memcpy(data + y * stride + x * 4, &pixel, 4);
        }
    cairo_surface_mark_dirty(s);
    const bool ok = cairo_surface_write_to_png(s, png.c_str()) == CAIRO_STATUS_SUCCESS;
    cairo_surface_destroy(s);
    XDestroyImage(image);
    return ok;
}

bool TrayUser::Focus(const std::string &title, TrayRect *where)
{
    Display *dpy = D(dpy_);
    ::Window rootOut, parent, *children = nullptr;
    unsigned count = 0;
    if (!XQueryTree(dpy, DefaultRootWindow(dpy), &rootOut, &parent, &children, &count))
        return false;
    bool found = false;
    for (unsigned i = 0; i < count && !found; i++) {
        XWindowAttributes a;
        char *name = nullptr;
        if (!XGetWindowAttributes(dpy, children[i], &a) || a.map_state != IsViewable ||
            !XFetchName(dpy, children[i], &name) || !name)
            continue;
        if (title == name) {
            found = true;
            if (where)
                *where = {a.x, a.y, a.width, a.height};
            // No window manager here: the user's keys go where we say.
            XSetInputFocus(dpy, children[i], RevertToParent, CurrentTime);
            XSync(dpy, False);
        }
        XFree(name);
    }
    if (children)
        XFree(children);
    return found;
}

void TrayUser::AltKey(const char *keysym)
{
    Display *dpy = D(dpy_);
    const KeyCode alt = XKeysymToKeycode(dpy, XStringToKeysym("Alt_L"));
    XTestFakeKeyEvent(dpy, alt, True, CurrentTime);
    Key(keysym);
    XTestFakeKeyEvent(dpy, alt, False, 30);
    XFlush(dpy);
}
