/*
 * Window data: GetWindowLongPtrA, SetWindowLongPtrA, GetWindowLongA,
 * SetWindowLongA.  Non-negative indexes address the cbWndExtra bytes of
 * the window's class; negative ones the window's own fields.
 *
 * As on 64-bit Windows, the 4-byte functions reach the extra bytes and the
 * 32-bit fields (style, extended style, id, user data, truncated), but not
 * the pointer-sized ones (GWL_WNDPROC, GWL_HINSTANCE: ERROR_INVALID_INDEX).
 */
#include "user/desktop.h"
#include "user/window_life.h"

#include <cstring>

namespace winport {
namespace {

/* The window for a data call, or null with the last error set. */
WindowRef DataWindow(HWND hwnd, bool forWrite)
{
    if (WindowRef window = WindowTable::Instance().Find(hwnd))
        return window;
    const bool remote = hwnd && !WindowTable::IsLocal(hwnd) && desktop::Lookup(hwnd);
    SetLastError(remote && forWrite ? ERROR_ACCESS_DENIED : ERROR_INVALID_WINDOW_HANDLE);
    return nullptr;
}

/* Reads (and, when `set`, replaces) `size` bytes of the extra bytes at
 * `offset`; false (ERROR_INVALID_INDEX) when they are not all there. */
bool ExtraBytes(const WindowRef &window, int offset, size_t size, LONG_PTR *old,
                const LONG_PTR *set)
{
    return WindowTable::Instance().Locked([&] {
        if (offset < 0 || static_cast<size_t>(offset) + size > window->extra.size()) {
            SetLastError(ERROR_INVALID_INDEX);
            return false;
        }
        unsigned char *at = window->extra.data() + offset;
        if (size == sizeof(LONG)) {
            LONG value;
            std::memcpy(&value, at, sizeof value);
            *old = value;
            if (set) {
                value = static_cast<LONG>(*set);
                std::memcpy(at, &value, sizeof value);
            }
        } else {
            std::memcpy(old, at, sizeof(LONG_PTR));
            if (set)
                std::memcpy(at, set, sizeof(LONG_PTR));
        }
        return true;
    });
}

/* The window field behind a negative index; null for an unknown index. */
LONG_PTR *FieldOf(Window &w, int index, bool wide, LONG_PTR *scratch)
{
    switch (index) {
    case GWLP_USERDATA:
        return &w.userData;
    case GWLP_ID:
        return &w.id;
    case GWL_STYLE:
        *scratch = static_cast<LONG>(w.style);
        return scratch;
    case GWL_EXSTYLE:
        *scratch = static_cast<LONG>(w.exStyle);
        return scratch;
    case GWLP_WNDPROC:
        *scratch = reinterpret_cast<LONG_PTR>(w.proc);
        return wide ? scratch : nullptr;
    case GWLP_HINSTANCE:
        *scratch = reinterpret_cast<LONG_PTR>(w.instance);
        return wide ? scratch : nullptr;
    case GWLP_HWNDPARENT:
        *scratch = reinterpret_cast<LONG_PTR>((w.style & WS_CHILD) ? w.parent : w.owner);
        return wide ? scratch : nullptr;
    default:
        return nullptr;
    }
}

/* Stores a value written through a scratch field back into the window. */
void StoreField(Window &w, int index, LONG_PTR value)
{
    switch (index) {
    case GWL_STYLE:
        w.style = static_cast<DWORD>(value);
        break;
    case GWL_EXSTYLE:
        w.exStyle = static_cast<DWORD>(value);
        break;
    case GWLP_WNDPROC:
        w.proc = reinterpret_cast<WNDPROC>(value);
        break;
    case GWLP_HINSTANCE:
        w.instance = reinterpret_cast<HINSTANCE>(value);
        break;
    case GWLP_HWNDPARENT:
        if (!(w.style & WS_CHILD))
            w.owner = reinterpret_cast<HWND>(value); // only the owner can change this way
        break;
    default:
        break;
    }
}

/* Get (set == null) or set one value; `wide` for the LONG_PTR functions. */
LONG_PTR Access(HWND hwnd, int index, bool wide, const LONG_PTR *set)
{
    WindowRef window = DataWindow(hwnd, set != nullptr);
    if (!window)
        return 0;
    LONG_PTR old = 0;
    if (index >= 0)
        return ExtraBytes(window, index, wide ? sizeof(LONG_PTR) : sizeof(LONG), &old, set) ? old
                                                                                            : 0;
    bool ok = WindowTable::Instance().Locked([&] {
        LONG_PTR scratch = 0;
        LONG_PTR *field = FieldOf(*window, index, wide, &scratch);
        if (!field)
            return false;
        old = wide ? *field : static_cast<LONG>(*field);
        if (set) {
            *field = wide ? *set : static_cast<LONG>(*set);
            if (field == &scratch)
                StoreField(*window, index, scratch);
        }
        return true;
    });
    if (!ok) {
        SetLastError(ERROR_INVALID_INDEX);
        return 0;
    }
    return old;
}

} // namespace
} // namespace winport

using namespace winport;

/* GetWindowLongPtrA: a value of the window's extra bytes (index >= 0) or
 * one of GWLP_WNDPROC, GWLP_HINSTANCE, GWLP_HWNDPARENT, GWLP_ID, GWL_STYLE,
 * GWL_EXSTYLE, GWLP_USERDATA.  Bytes past cbWndExtra or another index:
 * 0 with ERROR_INVALID_INDEX; an invalid window: ERROR_INVALID_WINDOW_HANDLE
 * (also for other processes' windows: their data is not reachable). */
LONG_PTR WINAPI GetWindowLongPtrA(HWND hWnd, int nIndex)
{
    return Access(hWnd, nIndex, true, nullptr);
}

/* SetWindowLongPtrA: replaces a value (see GetWindowLongPtrA) and returns
 * the previous one; success leaves the last error alone, as on Windows.
 * Headless: changing the style sends no WM_STYLECHANGING/CHANGED. */
LONG_PTR WINAPI SetWindowLongPtrA(HWND hWnd, int nIndex, LONG_PTR dwNewLong)
{
    return Access(hWnd, nIndex, true, &dwNewLong);
}

/* GetWindowLongA: the 4-byte form (see the file comment). */
LONG WINAPI GetWindowLongA(HWND hWnd, int nIndex)
{
    return static_cast<LONG>(Access(hWnd, nIndex, false, nullptr));
}

/* SetWindowLongA: the 4-byte form of SetWindowLongPtrA. */
LONG WINAPI SetWindowLongA(HWND hWnd, int nIndex, LONG dwNewLong)
{
    const LONG_PTR value = dwNewLong;
    return static_cast<LONG>(Access(hWnd, nIndex, false, &value));
}
