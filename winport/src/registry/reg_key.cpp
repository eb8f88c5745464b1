/*
 * Opening, creating, deleting and closing registry keys.
 *
 * Like Windows, these functions ignore the access rights of the handle they
 * start from (only the new handle's rights matter) and report errors as
 * their return value, leaving the last error untouched.
 */
#include "registry/registry.h"

namespace winport::reg {
namespace {

constexpr DWORD kKnownCreateOptions =
    REG_OPTION_VOLATILE | REG_OPTION_CREATE_LINK | REG_OPTION_BACKUP_RESTORE | REG_OPTION_OPEN_LINK;

/* The id of the existing key `parts` names below `parent`. */
LSTATUS FindKey(const KeyRef &parent, const std::vector<std::string> &parts, uint64_t &id)
{
    return parent.hive->Read([&](const Tree &tree) {
        LSTATUS err;
        const Key *base = Locate(tree, parent, err);
        if (!base)
            return err;
        const Key *key = Walk(*base, parts, parent.hive->kind());
        if (!key)
            return static_cast<LSTATUS>(ERROR_FILE_NOT_FOUND);
        id = key->id();
        return static_cast<LSTATUS>(ERROR_SUCCESS);
    });
}

/* Creates what is missing of `parts` below `parent`. */
LSTATUS MakeKey(const KeyRef &parent, const std::vector<std::string> &parts, uint64_t &id,
                bool &created)
{
    return parent.hive->Write([&](Tree &tree, bool &changed) {
        LSTATUS err;
        Key *base = Locate(tree, parent, err);
        if (!base)
            return err;
        Key *key = nullptr;
        err = CreatePath(tree, *base, parts, parent.hive->kind(), NowFileTime(), key, created);
        if (err != ERROR_SUCCESS)
            return err;
        changed = created;
        id = key->id();
        return static_cast<LSTATUS>(ERROR_SUCCESS);
    });
}

LSTATUS DeleteLeaf(const KeyRef &parent, const std::vector<std::string> &parts)
{
    return parent.hive->Write([&](Tree &tree, bool &changed) {
        LSTATUS err;
        Key *base = Locate(tree, parent, err);
        if (!base)
            return err;
        const Key *found = Walk(*base, parts, parent.hive->kind());
        if (!found)
            return static_cast<LSTATUS>(ERROR_FILE_NOT_FOUND);
        Key *key = tree.Find(found->id());
        // Windows refuses a key with subkeys, and the hive roots and
        // top-level keys, with "access denied".
        if (IsProtected(*key, parent.hive->kind()) || !key->children().empty())
            return static_cast<LSTATUS>(ERROR_ACCESS_DENIED);
        key->parent()->Touch(NowFileTime());
        tree.RemoveLeaf(*key);
        changed = true;
        return static_cast<LSTATUS>(ERROR_SUCCESS);
    });
}

} // namespace
} // namespace winport::reg

using namespace winport::reg;

/* RegOpenKeyExA: opens an existing key; ulOptions may be REG_OPTION_OPEN_LINK
 * (there are no links, so it changes nothing). */
LSTATUS WINAPI RegOpenKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD ulOptions, REGSAM samDesired,
                             PHKEY phkResult)
{
    if (phkResult && (!lpSubKey || !*lpSubKey) && IsPredefined(hKey)) {
        *phkResult = hKey;
        return ERROR_SUCCESS;
    }
    if (!phkResult)
        return ERROR_INVALID_PARAMETER;
    KeyRef parent;
    if (LSTATUS err = LookupKey(hKey, parent))
        return err;
    *phkResult = nullptr;
    if (ulOptions & ~static_cast<DWORD>(REG_OPTION_OPEN_LINK))
        return ERROR_INVALID_PARAMETER;
    if (parent.classesRoot && lpSubKey && *lpSubKey == '\\')
        ++lpSubKey; // HKEY_CLASSES_ROOT alone accepts one leading backslash
    std::vector<std::string> parts;
    if (LSTATUS err = SplitKeyPath(lpSubKey, parts))
        return err;
    uint64_t id = 0;
    if (LSTATUS err = FindKey(parent, parts, id))
        return err;
    *phkResult = AddKeyHandle(parent.hive, id, GrantedAccess(samDesired));
    return ERROR_SUCCESS;
}

/* RegOpenKeyA: RegOpenKeyExA with full access; an empty or NULL subkey
 * returns hKey itself. */
LSTATUS WINAPI RegOpenKeyA(HKEY hKey, LPCSTR lpSubKey, PHKEY phkResult)
{
    if (!phkResult)
        return ERROR_INVALID_PARAMETER;
    if (!lpSubKey || !*lpSubKey) {
        *phkResult = hKey;
        return ERROR_SUCCESS;
    }
    return RegOpenKeyExA(hKey, lpSubKey, 0, MAXIMUM_ALLOWED, phkResult);
}

/* RegCreateKeyExA: opens a key, creating it and every missing key on its
 * path.  Classes, security attributes and REG_OPTION_VOLATILE are accepted
 * and ignored (every key is kept in the file); links are not supported. */
LSTATUS WINAPI RegCreateKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD Reserved, LPSTR /*lpClass*/,
                               DWORD dwOptions, REGSAM samDesired,
                               const LPSECURITY_ATTRIBUTES /*lpSecurityAttributes*/,
                               PHKEY phkResult, LPDWORD lpdwDisposition)
{
    if (!phkResult)
        return ERROR_BADKEY;
    if (Reserved)
        return ERROR_INVALID_PARAMETER;
    KeyRef parent;
    if (LSTATUS err = LookupKey(hKey, parent))
        return err;
    if (dwOptions & ~kKnownCreateOptions)
        return ERROR_INVALID_PARAMETER;
    if (dwOptions & REG_OPTION_CREATE_LINK)
        return ERROR_NOT_SUPPORTED;
    std::vector<std::string> parts;
    if (LSTATUS err = SplitKeyPath(lpSubKey, parts))
        return err;
    uint64_t id = 0;
    bool created = false;
    LSTATUS err = FindKey(parent, parts, id); // an existing key needs no write lock
    if (err == ERROR_FILE_NOT_FOUND)
        err = MakeKey(parent, parts, id, created);
    if (err != ERROR_SUCCESS)
        return err;
    *phkResult = AddKeyHandle(parent.hive, id, GrantedAccess(samDesired));
    if (lpdwDisposition)
        *lpdwDisposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
    return ERROR_SUCCESS;
}

/* RegCreateKeyA: RegCreateKeyExA with full access; an empty or NULL subkey
 * of a predefined key returns that key itself. */
LSTATUS WINAPI RegCreateKeyA(HKEY hKey, LPCSTR lpSubKey, PHKEY phkResult)
{
    if (phkResult && (!lpSubKey || !*lpSubKey) && IsPredefined(hKey)) {
        *phkResult = hKey;
        return ERROR_SUCCESS;
    }
    return RegCreateKeyExA(hKey, lpSubKey, 0, nullptr, REG_OPTION_NON_VOLATILE, MAXIMUM_ALLOWED,
                           nullptr, phkResult, nullptr);
}

/* RegDeleteKeyA: deletes a key that has no subkeys ("" deletes hKey's own
 * key).  Open handles to it fail with ERROR_KEY_DELETED from then on. */
LSTATUS WINAPI RegDeleteKeyA(HKEY hKey, LPCSTR lpSubKey)
{
    if (!lpSubKey)
        return ERROR_INVALID_PARAMETER;
    KeyRef parent;
    if (LSTATUS err = LookupKey(hKey, parent))
        return err;
    std::vector<std::string> parts;
    if (LSTATUS err = SplitKeyPath(lpSubKey, parts))
        return err;
    return DeleteLeaf(parent, parts);
}

/* RegCloseKey: closes a key handle; closing a predefined key succeeds and
 * changes nothing. */
LSTATUS WINAPI RegCloseKey(HKEY hKey)
{
    if (IsPredefined(hKey))
        return ERROR_SUCCESS;
    return RemoveKeyHandle(hKey) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}
