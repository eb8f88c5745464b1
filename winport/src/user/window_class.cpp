/*
 * Window classes: RegisterClassA/ExA, UnregisterClassA, GetClassInfoExA,
 * and the headless icon and cursor loaders a class registration uses.
 */
#include "user/window_class.h"

#include "user/window_table.h"

#include <algorithm>
#include <cctype>

namespace winport {

namespace {

constexpr size_t kMaxClassName = 256;

} // namespace

bool EqualNoCase(const std::string &a, const std::string &b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

ClassTable &ClassTable::Instance()
{
    static ClassTable *table = new ClassTable; // never destroyed: windows may outlive main()
    return *table;
}

bool ClassTable::IsAtom(LPCSTR nameOrAtom)
{
    return (reinterpret_cast<ULONG_PTR>(nameOrAtom) >> 16) == 0;
}

ATOM ClassTable::Register(const WNDCLASSEXA &info, DWORD *error)
{
    if (!info.lpszClassName || IsAtom(info.lpszClassName) || info.cbClsExtra < 0 ||
        info.cbWndExtra < 0 || std::string(info.lpszClassName).size() >= kMaxClassName) {
        *error = ERROR_INVALID_PARAMETER;
        return 0;
    }
    auto cls = std::make_shared<WindowClass>();
    cls->name = info.lpszClassName;
    cls->info = info;
    if (info.lpszMenuName && !IsAtom(info.lpszMenuName))
        cls->menuName = info.lpszMenuName;
    cls->info.lpszClassName = nullptr;
    cls->info.lpszMenuName = nullptr;

    std::lock_guard<std::mutex> guard(lock_);
    for (const auto &existing : classes_) {
        if (EqualNoCase(existing->name, cls->name)) {
            *error = ERROR_CLASS_ALREADY_EXISTS;
            return 0;
        }
    }
    if (nextAtom_ == 0xFFFF) {
        *error = ERROR_NOT_ENOUGH_MEMORY;
        return 0;
    }
    cls->atom = nextAtom_++;
    classes_.push_back(cls);
    return cls->atom;
}

std::shared_ptr<WindowClass> ClassTable::Find(LPCSTR nameOrAtom)
{
    if (!nameOrAtom)
        return nullptr;
    std::lock_guard<std::mutex> guard(lock_);
    for (const auto &cls : classes_) {
        if (IsAtom(nameOrAtom)
                ? cls->atom == static_cast<ATOM>(reinterpret_cast<ULONG_PTR>(nameOrAtom))
                : EqualNoCase(cls->name, nameOrAtom))
            return cls;
    }
    return nullptr;
}

bool ClassTable::Remove(const std::shared_ptr<WindowClass> &cls)
{
    std::lock_guard<std::mutex> guard(lock_);
    auto it = std::find(classes_.begin(), classes_.end(), cls);
    if (it == classes_.end())
        return false;
    classes_.erase(it);
    return true;
}

void ClassTable::Clear()
{
    std::lock_guard<std::mutex> guard(lock_);
    classes_.clear();
}

} // namespace winport

/* RegisterClassExA: registers a window class for this process.  The name
 * is compared without regard to case; registering it twice fails with
 * ERROR_CLASS_ALREADY_EXISTS.  A wrong cbSize, negative extra byte counts
 * or a missing name fail with ERROR_INVALID_PARAMETER; so does an atom as
 * the name (there is no global atom table here).  Classes are per process,
 * not per module instance. */
ATOM WINAPI RegisterClassExA(const WNDCLASSEXA *lpWndClass)
{
    if (!lpWndClass || lpWndClass->cbSize != sizeof(WNDCLASSEXA)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    DWORD error = 0;
    ATOM atom = winport::ClassTable::Instance().Register(*lpWndClass, &error);
    if (!atom)
        SetLastError(error);
    return atom;
}

/* RegisterClassA: RegisterClassExA without a small icon. */
ATOM WINAPI RegisterClassA(const WNDCLASSA *lpWndClass)
{
    if (!lpWndClass) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    WNDCLASSEXA ex = {};
    ex.cbSize = sizeof ex;
    ex.style = lpWndClass->style;
    ex.lpfnWndProc = lpWndClass->lpfnWndProc;
    ex.cbClsExtra = lpWndClass->cbClsExtra;
    ex.cbWndExtra = lpWndClass->cbWndExtra;
    ex.hInstance = lpWndClass->hInstance;
    ex.hIcon = lpWndClass->hIcon;
    ex.hCursor = lpWndClass->hCursor;
    ex.hbrBackground = lpWndClass->hbrBackground;
    ex.lpszMenuName = lpWndClass->lpszMenuName;
    ex.lpszClassName = lpWndClass->lpszClassName;
    return RegisterClassExA(&ex);
}

/* UnregisterClassA: removes a class by name or atom (the instance is not
 * compared).  An unknown class fails with ERROR_CLASS_DOES_NOT_EXIST, one
 * that still has windows with ERROR_CLASS_HAS_WINDOWS. */
BOOL WINAPI UnregisterClassA(LPCSTR lpClassName, HINSTANCE hInstance)
{
    using namespace winport;
    (void)hInstance;
    auto cls = ClassTable::Instance().Find(lpClassName);
    if (!cls) {
        SetLastError(ERROR_CLASS_DOES_NOT_EXIST);
        return FALSE;
    }
    if (WindowTable::Instance().ClassInUse(cls.get())) {
        SetLastError(ERROR_CLASS_HAS_WINDOWS);
        return FALSE;
    }
    if (!ClassTable::Instance().Remove(cls)) {
        SetLastError(ERROR_CLASS_DOES_NOT_EXIST);
        return FALSE;
    }
    return TRUE;
}

/* GetClassInfoExA: the registration of a class; returns its atom as the
 * BOOL, as Windows does.  lpszClassName is set to the caller's argument.
 * An unknown class fails with ERROR_CLASS_DOES_NOT_EXIST. */
BOOL WINAPI GetClassInfoExA(HINSTANCE hInstance, LPCSTR lpszClass, LPWNDCLASSEXA lpwcx)
{
    (void)hInstance;
    auto cls = winport::ClassTable::Instance().Find(lpszClass);
    if (!cls) {
        SetLastError(ERROR_CLASS_DOES_NOT_EXIST);
        return FALSE;
    }
    if (!lpwcx) {
        SetLastError(ERROR_NOACCESS);
        return FALSE;
    }
    *lpwcx = cls->info;
    lpwcx->cbSize = sizeof(WNDCLASSEXA);
    lpwcx->lpszClassName = lpszClass;
    lpwcx->lpszMenuName = cls->menuName.empty() ? nullptr : cls->menuName.c_str();
    return cls->atom;
}

/* LoadIconA: headless: a placeholder handle for any icon (nothing is ever
 * drawn), never NULL.  Windows would fail for a resource the module lacks. */
HICON WINAPI LoadIconA(HINSTANCE hInstance, LPCSTR lpIconName)
{
    (void)hInstance;
    return reinterpret_cast<HICON>(0x10000 | (reinterpret_cast<ULONG_PTR>(lpIconName) & 0xFFFF));
}

/* LoadCursorA: headless: a placeholder handle, as LoadIconA. */
HCURSOR WINAPI LoadCursorA(HINSTANCE hInstance, LPCSTR lpCursorName)
{
    (void)hInstance;
    return reinterpret_cast<HCURSOR>(0x20000 |
                                     (reinterpret_cast<ULONG_PTR>(lpCursorName) & 0xFFFF));
}
