/*
 * The predefined keys, the hives behind them, and the table of open key
 * handles (see registry.h).
 */
#include "registry/registry.h"

#include "kernel/root.h"

#include <cstring>
#include <map>
#include <mutex>
#include <unordered_map>

namespace winport::reg {
namespace {

constexpr uint32_t kClassesRoot = 0x80000000u;
constexpr uint32_t kCurrentUser = 0x80000001u;
constexpr uint32_t kLocalMachine = 0x80000002u;
constexpr uintptr_t kFirstHandle = 0x0A000000u;

uint32_t Low32(HKEY hKey)
{
    return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(hKey));
}

struct OpenKey {
    std::shared_ptr<Hive> hive;
    uint64_t id;
    REGSAM access;
};

class KeyTable {
public:
    static KeyTable &Instance()
    {
        static KeyTable table;
        return table;
    }

    std::shared_ptr<Hive> HiveFor(HiveKind kind)
    {
        const std::string folder = Root() + "/winport/registry";
        const bool machine = kind == HiveKind::Machine;
        const std::string base = machine ? "HKLM" : "HKCU";
        std::lock_guard<std::mutex> guard(lock_);
        std::shared_ptr<Hive> &hive = hives_[folder + "/" + base];
        if (!hive)
            hive = std::make_shared<Hive>(folder, base, kind,
                                          machine ? "HKEY_LOCAL_MACHINE" : "HKEY_CURRENT_USER");
        return hive;
    }

    HKEY Insert(OpenKey key)
    {
        std::lock_guard<std::mutex> guard(lock_);
        uintptr_t value = next_;
        next_ += 4;
        handles_.emplace(value, std::move(key));
        return reinterpret_cast<HKEY>(value);
    }

    bool Get(HKEY hKey, OpenKey &key)
    {
        std::lock_guard<std::mutex> guard(lock_);
        auto it = handles_.find(reinterpret_cast<uintptr_t>(hKey));
        if (it == handles_.end())
            return false;
        key = it->second;
        return true;
    }

    bool Remove(HKEY hKey)
    {
        std::lock_guard<std::mutex> guard(lock_);
        return handles_.erase(reinterpret_cast<uintptr_t>(hKey)) != 0;
    }

    size_t Count()
    {
        std::lock_guard<std::mutex> guard(lock_);
        return handles_.size();
    }

    void Reset()
    {
        std::lock_guard<std::mutex> guard(lock_);
        handles_.clear();
        hives_.clear();
    }

private:
    KeyTable() = default;
    std::mutex lock_;
    std::map<std::string, std::shared_ptr<Hive>> hives_; // guarded by lock_, by file
    std::unordered_map<uintptr_t, OpenKey> handles_;     // guarded by lock_
    uintptr_t next_ = kFirstHandle;                      // guarded by lock_
};

} // namespace

bool IsPredefined(HKEY hKey)
{
    const uint32_t low = Low32(hKey);
    return low == kClassesRoot || low == kCurrentUser || low == kLocalMachine;
}

LSTATUS LookupKey(HKEY hKey, KeyRef &ref)
{
    ref = KeyRef{};
    if (IsPredefined(hKey)) {
        const uint32_t low = Low32(hKey);
        ref.predefined = true;
        ref.access = KEY_ALL_ACCESS;
        ref.hive =
            KeyTable::Instance().HiveFor(low == kCurrentUser ? HiveKind::User : HiveKind::Machine);
        if (low == kClassesRoot) {
            ref.classesRoot = true;
            ref.path = {"SOFTWARE", "Classes"};
        }
        return ERROR_SUCCESS;
    }
    OpenKey key;
    if (!hKey || !KeyTable::Instance().Get(hKey, key))
        return ERROR_INVALID_HANDLE;
    ref.hive = std::move(key.hive);
    ref.id = key.id;
    ref.access = key.access;
    return ERROR_SUCCESS;
}

LSTATUS LookupKeyFor(HKEY hKey, REGSAM needed, KeyRef &ref)
{
    if (LSTATUS err = LookupKey(hKey, ref))
        return err;
    return (ref.access & needed) == needed ? ERROR_SUCCESS : ERROR_ACCESS_DENIED;
}

HKEY AddKeyHandle(const std::shared_ptr<Hive> &hive, uint64_t id, REGSAM access)
{
    return KeyTable::Instance().Insert(OpenKey{hive, id, access});
}

bool RemoveKeyHandle(HKEY hKey)
{
    return hKey && KeyTable::Instance().Remove(hKey);
}

const Key *Locate(const Tree &tree, const KeyRef &ref, LSTATUS &err)
{
    const Key *key =
        ref.predefined ? Walk(tree.root(), ref.path, ref.hive->kind()) : tree.Find(ref.id);
    err = key ? ERROR_SUCCESS : ERROR_KEY_DELETED;
    return key;
}

Key *Locate(Tree &tree, const KeyRef &ref, LSTATUS &err)
{
    // The tree is ours to change; the const lookup only finds the key.
    return const_cast<Key *>(Locate(static_cast<const Tree &>(tree), ref, err));
}

REGSAM GrantedAccess(REGSAM desired)
{
    REGSAM access = desired & ~static_cast<REGSAM>(KEY_WOW64_RES | GENERIC_READ | GENERIC_WRITE |
                                                   GENERIC_EXECUTE | GENERIC_ALL | MAXIMUM_ALLOWED);
    if (desired & GENERIC_READ)
        access |= KEY_READ;
    if (desired & GENERIC_WRITE)
        access |= KEY_WRITE;
    if (desired & GENERIC_EXECUTE)
        access |= KEY_EXECUTE;
    if (desired & (GENERIC_ALL | MAXIMUM_ALLOWED))
        access |= KEY_ALL_ACCESS;
    return access;
}

LSTATUS CopyValueOut(DWORD type, const std::string &data, LPDWORD lpType, LPBYTE lpData,
                     LPDWORD lpcbData)
{
    if (lpType)
        *lpType = type;
    const DWORD size = static_cast<DWORD>(data.size());
    if (lpData) {
        if (size > *lpcbData) {
            *lpcbData = size;
            return ERROR_MORE_DATA;
        }
        memcpy(lpData, data.data(), size);
        // Windows terminates a string stored without its NUL when there is
        // room, but does not count the terminator in the size.
        if (IsStringType(type) && size > 0 && size < *lpcbData && data.back() != '\0')
            lpData[size] = 0;
    }
    if (lpcbData)
        *lpcbData = size;
    return ERROR_SUCCESS;
}

size_t OpenKeyHandleCount()
{
    return KeyTable::Instance().Count();
}

void ResetRegistryForTests()
{
    KeyTable::Instance().Reset();
}

} // namespace winport::reg
