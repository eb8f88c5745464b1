/*
 * Window classes of this process.  Private to winport.
 *
 * A class is registered once per process under a name compared without
 * regard to case, and gets an atom (0xC000 upwards) that CreateWindowExA
 * and the lookups accept instead of the name.  Classes are per process, as
 * on Windows; the names of other processes' windows' classes travel with
 * their registry entries (desktop.h).  Thread-safe.
 */
#ifndef WINPORT_USER_WINDOW_CLASS_H
#define WINPORT_USER_WINDOW_CLASS_H

#include <windows.h>

#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace winport {

struct WindowClass {
    std::string name;
    ATOM atom = 0;
    WNDCLASSEXA info = {}; // as registered; name pointers are not kept
    std::string menuName;
};

class ClassTable {
public:
    static ClassTable &Instance();

    /* The new class's atom, or 0 with the Windows error in *error. */
    ATOM Register(const WNDCLASSEXA &info, DWORD *error);
    /* The class a name or MAKEINTATOM value refers to, or null. */
    std::shared_ptr<WindowClass> Find(LPCSTR nameOrAtom);
    bool Remove(const std::shared_ptr<WindowClass> &cls);
    void Clear();

    /* Whether a class argument is an atom (MAKEINTATOM) rather than a name. */
    static bool IsAtom(LPCSTR nameOrAtom);

private:
    ClassTable() = default;
    std::mutex lock_;
    std::vector<std::shared_ptr<WindowClass>> classes_; // guarded by lock_
    ATOM nextAtom_ = 0xC000;                            // guarded by lock_
};

/* ASCII case-insensitive equality, as class names and titles compare. */
bool EqualNoCase(const std::string &a, const std::string &b);

} // namespace winport

#endif
