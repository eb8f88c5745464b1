/*
 * A minimal XEmbed system tray for tests (Xlib only): it owns
 * _NET_SYSTEM_TRAY_S0 on a display, docks the icons that ask, side by side
 * in its own window at the top left, and records which are docked.  Also
 * what a test needs to act as the user there: clicks and keys through
 * XTest, the open menu's place, and a screenshot of part of the screen.
 */
#ifndef TESTS_TRAY_DESKTOP_HOST_H
#define TESTS_TRAY_DESKTOP_HOST_H

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

struct TrayRect {
    int x = 0, y = 0, width = 0, height = 0;
};

class TrayHost {
public:
    /* Takes the tray selection on `display`; false when it cannot. */
    bool Start(const std::string &display);
    ~TrayHost();
    /* The icons docked now (their windows). */
    std::vector<unsigned long> Docked();
    /* The icon's place on the screen. */
    TrayRect Place(unsigned long icon);

private:
    void Run();
    void *dpy_ = nullptr;
    unsigned long tray_ = 0;
    std::atomic<bool> stop_{false};
    std::thread thread_;
    std::mutex lock_;
    std::vector<unsigned long> docked_; // guarded by lock_
};

/* The user at the display, on a connection of its own. */
class TrayUser {
public:
    explicit TrayUser(const std::string &display);
    ~TrayUser();
    bool ok() const { return dpy_ != nullptr; }
    void Click(int x, int y, int button);
    void Key(const char *keysym);
    /* The key with Alt held: a button's mnemonic. */
    void AltKey(const char *keysym);
    /* A shown top-level window titled `title`: its place, and it gets the
     * keyboard. */
    bool Focus(const std::string &title, TrayRect *where = nullptr);
    /* The popup menu shown, if any (the largest). */
    bool OpenMenu(TrayRect *where);
    /* Writes the rectangle of the screen as a PNG. */
    bool Shot(const TrayRect &rect, const std::string &png);

private:
    void *dpy_ = nullptr;
};

#endif /* TESTS_TRAY_DESKTOP_HOST_H */
