/*
 * Tray icons and popup menus, headless (see shellapi.h): the icons a
 * process shows are kept in its table, a menu is answered by the next
 * scripted choice (none: dismissed), and the cursor rests at (0, 0).
 * Also the test hooks of winport_test_shell.h.
 */
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

} // namespace
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
        return TRUE;
    }
    case NIM_MODIFY:
        if (it == s.icons.end())
            return FALSE;
        Apply(it->second, *lpData);
        return TRUE;
    case NIM_DELETE:
        if (it == s.icons.end())
            return FALSE;
        s.icons.erase(it);
        return TRUE;
    default:
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
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

/* TrackPopupMenu: the next scripted choice, if it is an enabled item of the
 * menu.  With TPM_RETURNCMD its id is returned (0: dismissed); otherwise
 * WM_COMMAND with the id is posted to hWnd and the result is nonzero. */
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
    UINT chosen = 0;
    {
        ShellState &s = State();
        std::lock_guard<std::mutex> guard(s.lock);
        auto it = s.menus.find(reinterpret_cast<uintptr_t>(hMenu));
        if (it == s.menus.end()) {
            SetLastError(ERROR_INVALID_MENU_HANDLE);
            return FALSE;
        }
        const UINT wanted = s.choices.empty() ? 0 : s.choices.front();
        if (!s.choices.empty())
            s.choices.pop_front();
        s.lastMenu.clear();
        for (const MenuItem &item : it->second) {
            if (!s.lastMenu.empty())
                s.lastMenu += "|";
            s.lastMenu += (item.flags & MF_SEPARATOR) ? "-" : item.text;
            if (wanted && item.id == wanted && !(item.flags & (MF_SEPARATOR | MF_GRAYED)))
                chosen = wanted;
        }
    }
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
    lpPoint->x = 0;
    lpPoint->y = 0;
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
    std::lock_guard<std::mutex> guard(State().lock);
    State().icons.clear();
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
