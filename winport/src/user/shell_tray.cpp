/*
 * Tray icons and popup menus (see shellapi.h).  The icons a process shows
 * are kept in its table.  With a display (shell_display.h) they are also
 * shown in the desktop's tray, a click on one comes back as its callback
 * message, and a menu is a real one; headless, a menu is answered by the
 * next scripted choice (none: dismissed) and the cursor rests at (0, 0).
 * A scripted choice wins over the display, so tests behave the same on a
 * desktop.  Also the test hooks of winport_test_shell.h.
 */
#include "user/modal_loop.h"
#include "user/shell_display.h"
#include "utils/program_name.h"

#include <dlfcn.h>
#include <shellapi.h>
#include <windows.h>
#include <winport_test_shell.h>

#include <cstddef>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace winport {
namespace {

/* The first version of the structure: a 64-character tip. */
constexpr DWORD kMinimumSize = offsetof(NOTIFYICONDATAA, szTip) + 64;

struct MenuItem {
    UINT flags;
    UINT_PTR id;
    std::string text;
};

struct ShellState {
    std::mutex lock;
    std::map<std::pair<HWND, UINT>, NOTIFYICONDATAA> icons; // guarded by lock
    std::map<uintptr_t, std::vector<MenuItem>> menus;       // guarded by lock
    uintptr_t nextMenu = 0x1000;                            // guarded by lock
    std::deque<UINT> choices;                               // guarded by lock
    std::string lastMenu;                                   // guarded by lock
    std::map<std::pair<HWND, UINT>, uint64_t> keys;         // the display's names; guarded
    uint64_t nextKey = 1;                                   // guarded by lock
};

ShellState &State()
{
    static ShellState *state = new ShellState;
    return *state;
}

void Apply(NOTIFYICONDATAA &icon, const NOTIFYICONDATAA &data)
{
    if (data.uFlags & NIF_MESSAGE)
        icon.uCallbackMessage = data.uCallbackMessage;
    if (data.uFlags & NIF_ICON)
        icon.hIcon = data.hIcon;
    if (data.uFlags & NIF_TIP) {
        const size_t room = data.cbSize >= sizeof(NOTIFYICONDATAA) ? sizeof data.szTip : 64;
        std::memcpy(icon.szTip, data.szTip, room);
        icon.szTip[room - 1] = 0;
    }
    icon.uFlags |= data.uFlags;
}

/* The button releases the shell also sends (the rest of winuser.h has no
 * use for them). */
constexpr UINT kLButtonUp = 0x0202;
constexpr UINT kRButtonUp = 0x0205;

/* A click on a shown icon, from the display's thread: the mouse messages
 * the shell sends, posted to the owner as its callback message. */
void DisplayClicked(uint64_t key, int click)
{
    HWND hWnd = nullptr;
    UINT uID = 0, callback = 0;
    {
        ShellState &s = State();
        std::lock_guard<std::mutex> guard(s.lock);
        for (const auto &[icon, name] : s.keys)
            if (name == key) {
                auto it = s.icons.find(icon);
                if (it != s.icons.end() && (it->second.uFlags & NIF_MESSAGE)) {
                    hWnd = icon.first;
                    uID = icon.second;
                    callback = it->second.uCallbackMessage;
                }
            }
    }
    if (!hWnd)
        return;
    const bool right = click == kShellClickRight;
    PostMessageA(hWnd, callback, uID, right ? WM_RBUTTONDOWN : WM_LBUTTONDOWN);
    PostMessageA(hWnd, callback, uID, right ? kRButtonUp : kLButtonUp);
}

/* What the display should show after a change, done outside the lock (the
 * display's thread takes it to report clicks). */
struct DisplayChange {
    uint64_t key = 0;
    bool remove = false;
    std::string tip;
};

void ApplyToDisplay(const DisplayChange &change)
{
    const ShellDisplay *display = Display();
    if (!display || !change.key)
        return;
    if (change.remove)
        display->remove(change.key);
    else
        display->show(change.key, change.tip.c_str());
}

thread_local bool t_menuOpen = false;

UINT TrackOnDisplay(const ShellDisplay &display, const std::vector<MenuItem> &items, HWND hWnd)
{
    if (t_menuOpen)
        return 0;
    std::vector<ShellMenuItem> shown;
    for (const MenuItem &item : items) {
        const bool separator = item.flags & MF_SEPARATOR;
        shown.push_back({static_cast<unsigned>(item.id), separator ? nullptr : item.text.c_str(),
                         separator, (item.flags & MF_GRAYED) != 0, (item.flags & MF_CHECKED) != 0});
    }
    ModalLoop loop(hWnd);
    t_menuOpen = true;
    const UINT chosen =
        display.track(shown.data(), static_cast<int>(shown.size()), PumpModal, &loop);
    t_menuOpen = false;
    return loop.End() ? 0 : chosen;
}

} // namespace

int PumpModal(void *context)
{
    ModalLoop *loop = static_cast<ModalLoop *>(context);
    MSG msg;
    while (!loop->quit && PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            loop->quit = true;
            loop->exitCode = msg.wParam;
            break;
        }
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    return loop->quit || (loop->owner && !IsWindow(loop->owner));
}

bool ModalLoop::End() const
{
    if (quit)
        PostQuitMessage(static_cast<int>(exitCode));
    return quit;
}

const ShellDisplay *Display()
{
    static const ShellDisplay *display = []() -> const ShellDisplay * {
        const char *name = getenv("DISPLAY");
        if (!name || !*name || getenv("WINPORT_HEADLESS"))
            return nullptr;
        const std::string path = util::LibraryFolder() + "/libwp_shell_gtk.so";
        void *module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        auto open = module ? reinterpret_cast<ShellDisplayOpenFn>(dlsym(module, kShellDisplayOpen))
                           : nullptr;
        return open ? open(DisplayClicked) : nullptr;
    }();
    return display;
}

} // namespace winport

/* Shell_NotifyIconA: adds, changes or removes the icon (hWnd, uID).  Adding
 * one that is shown, changing or removing one that is not, an owner that
 * is no window or a structure smaller than its first version fail. */
BOOL WINAPI Shell_NotifyIconA(DWORD dwMessage, PNOTIFYICONDATAA lpData)
{
    using namespace winport;
    if (!lpData || lpData->cbSize < kMinimumSize || !IsWindow(lpData->hWnd)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    ShellState &s = State();
    DisplayChange change;
    {
        std::lock_guard<std::mutex> guard(s.lock);
        const auto key = std::make_pair(lpData->hWnd, lpData->uID);
        auto it = s.icons.find(key);
        switch (dwMessage) {
        case NIM_ADD: {
            if (it != s.icons.end())
                return FALSE;
            NOTIFYICONDATAA icon = {};
            icon.cbSize = sizeof icon;
            icon.hWnd = lpData->hWnd;
            icon.uID = lpData->uID;
            Apply(icon, *lpData);
            s.icons[key] = icon;
            s.keys[key] = change.key = s.nextKey++;
            change.tip = icon.szTip;
            break;
        }
        case NIM_MODIFY:
            if (it == s.icons.end())
                return FALSE;
            Apply(it->second, *lpData);
            change.key = s.keys[key];
            change.tip = it->second.szTip;
            break;
        case NIM_DELETE:
            if (it == s.icons.end())
                return FALSE;
            s.icons.erase(it);
            change.key = s.keys[key];
            change.remove = true;
            s.keys.erase(key);
            break;
        default:
            SetLastError(ERROR_INVALID_PARAMETER);
            return FALSE;
        }
    }
    ApplyToDisplay(change);
    return TRUE;
}

HMENU WINAPI CreatePopupMenu(void)
{
    using namespace winport;
    ShellState &s = State();
    std::lock_guard<std::mutex> guard(s.lock);
    const uintptr_t handle = s.nextMenu;
    s.nextMenu += 4;
    s.menus[handle] = {};
    return reinterpret_cast<HMENU>(handle);
}

/* AppendMenuA: a string item (MF_STRING, with MF_GRAYED/MF_DISABLED/
 * MF_CHECKED) or a separator at the end of the menu. */
BOOL WINAPI AppendMenuA(HMENU hMenu, UINT uFlags, UINT_PTR uIDNewItem, LPCSTR lpNewItem)
{
    using namespace winport;
    ShellState &s = State();
    std::lock_guard<std::mutex> guard(s.lock);
    auto it = s.menus.find(reinterpret_cast<uintptr_t>(hMenu));
    if (it == s.menus.end()) {
        SetLastError(ERROR_INVALID_MENU_HANDLE);
        return FALSE;
    }
    const bool separator = uFlags & MF_SEPARATOR;
    if (!separator && !lpNewItem) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    it->second.push_back({uFlags, uIDNewItem, separator ? "" : lpNewItem});
    return TRUE;
}

/* TrackPopupMenu: the item chosen, if it is an enabled item of the menu:
 * the next scripted choice, else with a display the one the user picks in
 * a real menu (which, as on Windows, keeps the thread's messages flowing
 * while it is open and closes when the owner window goes).  With
 * TPM_RETURNCMD its id is returned (0: dismissed); otherwise WM_COMMAND
 * with the id is posted to hWnd and the result is nonzero.  A menu opened
 * while one is open is dismissed at once. */
BOOL WINAPI TrackPopupMenu(HMENU hMenu, UINT uFlags, int x, int y, int nReserved, HWND hWnd,
                           const RECT *prcRect)
{
    using namespace winport;
    (void)x;
    (void)y;
    (void)nReserved;
    (void)prcRect;
    if (!IsWindow(hWnd)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    std::vector<MenuItem> items;
    bool scripted = false;
    UINT wanted = 0;
    {
        ShellState &s = State();
        std::lock_guard<std::mutex> guard(s.lock);
        auto it = s.menus.find(reinterpret_cast<uintptr_t>(hMenu));
        if (it == s.menus.end()) {
            SetLastError(ERROR_INVALID_MENU_HANDLE);
            return FALSE;
        }
        items = it->second;
        scripted = !s.choices.empty();
        if (scripted) {
            wanted = s.choices.front();
            s.choices.pop_front();
        }
        s.lastMenu.clear();
        for (const MenuItem &item : items) {
            if (!s.lastMenu.empty())
                s.lastMenu += "|";
            s.lastMenu += (item.flags & MF_SEPARATOR) ? "-" : item.text;
        }
    }
    const ShellDisplay *display = Display();
    if (!scripted && display)
        wanted = TrackOnDisplay(*display, items, hWnd);
    UINT chosen = 0;
    for (const MenuItem &item : items)
        if (wanted && item.id == wanted && !(item.flags & (MF_SEPARATOR | MF_GRAYED)))
            chosen = wanted;
    if (uFlags & TPM_RETURNCMD)
        return static_cast<BOOL>(chosen);
    if (chosen)
        PostMessageA(hWnd, WM_COMMAND, chosen, 0);
    return TRUE;
}

BOOL WINAPI DestroyMenu(HMENU hMenu)
{
    using namespace winport;
    ShellState &s = State();
    std::lock_guard<std::mutex> guard(s.lock);
    if (s.menus.erase(reinterpret_cast<uintptr_t>(hMenu)) == 0) {
        SetLastError(ERROR_INVALID_MENU_HANDLE);
        return FALSE;
    }
    return TRUE;
}

BOOL WINAPI GetCursorPos(LPPOINT lpPoint)
{
    if (!lpPoint) {
        SetLastError(ERROR_NOACCESS);
        return FALSE;
    }
    int x = 0, y = 0;
    const winport::ShellDisplay *display = winport::Display();
    if (!display || !display->pointer(&x, &y))
        x = y = 0;
    lpPoint->x = x;
    lpPoint->y = y;
    return TRUE;
}

BOOL winport_test_tray_icon(HWND hWnd, UINT uID, char *tipOut, int tipSize)
{
    using namespace winport;
    ShellState &s = State();
    std::lock_guard<std::mutex> guard(s.lock);
    auto it = s.icons.find(std::make_pair(hWnd, uID));
    if (it == s.icons.end())
        return FALSE;
    if (tipOut && tipSize > 0) {
        std::strncpy(tipOut, it->second.szTip, static_cast<size_t>(tipSize) - 1);
        tipOut[tipSize - 1] = 0;
    }
    return TRUE;
}

BOOL winport_test_click_tray_icon(HWND hWnd, UINT uID, UINT mouseMessage)
{
    using namespace winport;
    UINT callback = 0;
    {
        ShellState &s = State();
        std::lock_guard<std::mutex> guard(s.lock);
        auto it = s.icons.find(std::make_pair(hWnd, uID));
        if (it == s.icons.end() || !(it->second.uFlags & NIF_MESSAGE))
            return FALSE;
        callback = it->second.uCallbackMessage;
    }
    SendMessageA(hWnd, callback, uID, mouseMessage);
    return TRUE;
}

void winport_test_forget_tray_icons(void)
{
    using namespace winport;
    std::vector<uint64_t> shown;
    {
        std::lock_guard<std::mutex> guard(State().lock);
        State().icons.clear();
        for (const auto &[icon, key] : State().keys)
            shown.push_back(key);
        State().keys.clear();
    }
    for (uint64_t key : shown)
        ApplyToDisplay({key, true, {}});
}

void winport_test_push_menu_choice(UINT id)
{
    using namespace winport;
    std::lock_guard<std::mutex> guard(State().lock);
    State().choices.push_back(id);
}

const char *winport_test_last_menu(void)
{
    using namespace winport;
    static thread_local std::string copy;
    std::lock_guard<std::mutex> guard(State().lock);
    copy = State().lastMenu;
    return copy.c_str();
}
