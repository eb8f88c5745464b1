/*
 * The window table (see window_table.h).
 */
#include "user/window_table.h"

#include <unistd.h>

#include <algorithm>

namespace winport {

WindowTable &WindowTable::Instance()
{
    static WindowTable *table = new WindowTable; // never destroyed: windows may outlive main()
    return *table;
}

HWND WindowTable::MakeHandle(uint32_t pid, uint32_t serial)
{
    return reinterpret_cast<HWND>((static_cast<uint64_t>(pid) << 32) |
                                  (static_cast<uint64_t>(serial) << 2));
}

uint32_t WindowTable::PidOf(HWND hwnd)
{
    return static_cast<uint32_t>(reinterpret_cast<uint64_t>(hwnd) >> 32);
}

bool WindowTable::IsLocal(HWND hwnd)
{
    return PidOf(hwnd) == static_cast<uint32_t>(getpid());
}

HWND WindowTable::NewHandle()
{
    std::lock_guard<std::mutex> guard(lock_);
    uint32_t serial = nextSerial_++;
    if (nextSerial_ >= (1u << 30))
        nextSerial_ = 1; // a billion windows later: wrap rather than overflow into the pid
    return MakeHandle(static_cast<uint32_t>(getpid()), serial);
}

void WindowTable::Insert(const WindowRef &window)
{
    std::lock_guard<std::mutex> guard(lock_);
    windows_[reinterpret_cast<uint64_t>(window->hwnd)] = window;
    if (window->parent) {
        auto parent = windows_.find(reinterpret_cast<uint64_t>(window->parent));
        if (parent != windows_.end())
            parent->second->children.push_back(window->hwnd);
    }
}

WindowRef WindowTable::Find(HWND hwnd)
{
    if (!IsLocal(hwnd))
        return nullptr;
    std::lock_guard<std::mutex> guard(lock_);
    auto it = windows_.find(reinterpret_cast<uint64_t>(hwnd));
    return it == windows_.end() ? nullptr : it->second;
}

void WindowTable::Remove(HWND hwnd)
{
    std::lock_guard<std::mutex> guard(lock_);
    auto it = windows_.find(reinterpret_cast<uint64_t>(hwnd));
    if (it == windows_.end())
        return;
    HWND parent = it->second->parent;
    windows_.erase(it);
    auto p = windows_.find(reinterpret_cast<uint64_t>(parent));
    if (parent && p != windows_.end()) {
        auto &kids = p->second->children;
        kids.erase(std::remove(kids.begin(), kids.end(), hwnd), kids.end());
    }
}

std::vector<WindowRef> WindowTable::TopLevel()
{
    std::lock_guard<std::mutex> guard(lock_);
    std::vector<WindowRef> out;
    for (const auto &entry : windows_)
        if (entry.second->topLevel())
            out.push_back(entry.second);
    std::sort(out.begin(), out.end(),
              [](const WindowRef &a, const WindowRef &b) { return a->stamp > b->stamp; });
    return out;
}

std::vector<HWND> WindowTable::Children(HWND hwnd)
{
    std::lock_guard<std::mutex> guard(lock_);
    auto it = windows_.find(reinterpret_cast<uint64_t>(hwnd));
    return it == windows_.end() ? std::vector<HWND>{} : it->second->children;
}

std::vector<HWND> WindowTable::Owned(HWND owner)
{
    std::lock_guard<std::mutex> guard(lock_);
    std::vector<WindowRef> owned;
    for (const auto &entry : windows_)
        if (entry.second->owner == owner)
            owned.push_back(entry.second);
    std::sort(owned.begin(), owned.end(),
              [](const WindowRef &a, const WindowRef &b) { return a->stamp > b->stamp; });
    std::vector<HWND> out;
    for (const auto &w : owned)
        out.push_back(w->hwnd);
    return out;
}

std::vector<WindowRef> WindowTable::OfThread(DWORD tid)
{
    std::lock_guard<std::mutex> guard(lock_);
    std::vector<WindowRef> out;
    for (const auto &entry : windows_)
        if (entry.second->tid == tid)
            out.push_back(entry.second);
    return out;
}

bool WindowTable::IsSelfOrDescendant(HWND ancestor, HWND hwnd)
{
    std::lock_guard<std::mutex> guard(lock_);
    for (int depth = 0; hwnd && depth < 1000; depth++) { // depth bound: no cycle can hang us
        if (hwnd == ancestor)
            return true;
        auto it = windows_.find(reinterpret_cast<uint64_t>(hwnd));
        if (it == windows_.end())
            return false;
        hwnd = it->second->parent;
    }
    return false;
}

bool WindowTable::ClassInUse(const WindowClass *cls)
{
    std::lock_guard<std::mutex> guard(lock_);
    for (const auto &entry : windows_)
        if (entry.second->cls.get() == cls)
            return true;
    return false;
}

std::vector<WindowRef> WindowTable::Clear()
{
    std::lock_guard<std::mutex> guard(lock_);
    std::vector<WindowRef> out;
    for (const auto &entry : windows_)
        out.push_back(entry.second);
    windows_.clear();
    return out;
}

WindowRef FindWindowOrFail(HWND hwnd)
{
    WindowRef window = WindowTable::Instance().Find(hwnd);
    if (!window)
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return window;
}

} // namespace winport
