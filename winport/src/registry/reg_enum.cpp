/*
 * Enumerating subkeys and values, and RegQueryInfoKeyA.
 *
 * Subkeys are listed in the order of their upper-case names and values in
 * the order they were first set, as Windows lists them.  Keys have no class
 * here: classes read back as empty strings.
 */
#include "registry/registry.h"

#include <algorithm>
#include <cstring>

namespace winport::reg {
namespace {

struct KeyInfo {
    DWORD subkeys = 0, maxSubkeyLen = 0;
    DWORD values = 0, maxValueNameLen = 0, maxValueLen = 0;
    uint64_t lastWrite = 0;
};

LSTATUS ReadKeyInfo(const KeyRef &ref, KeyInfo &info)
{
    return ref.hive->Read([&](const Tree &tree) {
        LSTATUS err;
        const Key *key = Locate(tree, ref, err);
        if (!key)
            return err;
        info.subkeys = static_cast<DWORD>(key->children().size());
        for (const auto &entry : key->children())
            info.maxSubkeyLen =
                std::max(info.maxSubkeyLen, static_cast<DWORD>(entry.second->name().size()));
        info.values = static_cast<DWORD>(key->values().size());
        for (const Value &value : key->values()) {
            info.maxValueNameLen =
                std::max(info.maxValueNameLen, static_cast<DWORD>(value.name.size()));
            info.maxValueLen = std::max(info.maxValueLen, static_cast<DWORD>(value.data.size()));
        }
        info.lastWrite = key->lastWrite();
        return static_cast<LSTATUS>(ERROR_SUCCESS);
    });
}

/* Stores an empty class the way RegQueryInfoKeyA and RegEnumKeyExA do. */
void StoreEmptyClass(LPSTR lpClass, LPDWORD lpcchClass)
{
    if (!lpcchClass)
        return;
    if (lpClass && *lpcchClass)
        lpClass[0] = '\0';
    *lpcchClass = 0;
}

} // namespace
} // namespace winport::reg

using namespace winport::reg;

/* RegEnumKeyExA: the name (and last write time) of the dwIndex-th subkey;
 * ERROR_NO_MORE_ITEMS past the last, ERROR_MORE_DATA when the name (with its
 * NUL) does not fit *lpcchName, which is then left as it was. */
LSTATUS WINAPI RegEnumKeyExA(HKEY hKey, DWORD dwIndex, LPSTR lpName, LPDWORD lpcchName,
                             LPDWORD lpReserved, LPSTR lpClass, LPDWORD lpcchClass,
                             PFILETIME lpftLastWriteTime)
{
    if (lpReserved || !lpName || !lpcchName)
        return ERROR_INVALID_PARAMETER;
    KeyRef ref;
    if (LSTATUS err = LookupKeyFor(hKey, KEY_ENUMERATE_SUB_KEYS, ref))
        return err;
    std::string name;
    uint64_t lastWrite = 0;
    LSTATUS err = ref.hive->Read([&](const Tree &tree) {
        LSTATUS found;
        const Key *key = Locate(tree, ref, found);
        if (!key)
            return found;
        const Key *child = key->ChildAt(dwIndex);
        if (!child)
            return static_cast<LSTATUS>(ERROR_NO_MORE_ITEMS);
        name = child->name();
        lastWrite = child->lastWrite();
        return static_cast<LSTATUS>(ERROR_SUCCESS);
    });
    if (err != ERROR_SUCCESS)
        return err;
    if (lpftLastWriteTime)
        *lpftLastWriteTime = ToFileTime(lastWrite);
    if (name.size() >= *lpcchName || (lpClass && lpcchClass && *lpcchClass == 0))
        return ERROR_MORE_DATA;
    memcpy(lpName, name.c_str(), name.size() + 1);
    *lpcchName = static_cast<DWORD>(name.size());
    StoreEmptyClass(lpClass, lpcchClass);
    return ERROR_SUCCESS;
}

/* RegEnumKeyA: RegEnumKeyExA with a buffer of cchName characters. */
LSTATUS WINAPI RegEnumKeyA(HKEY hKey, DWORD dwIndex, LPSTR lpName, DWORD cchName)
{
    DWORD size = cchName;
    return RegEnumKeyExA(hKey, dwIndex, lpName, &size, nullptr, nullptr, nullptr, nullptr);
}

/* RegEnumValueA: the name, type and data of the dwIndex-th value.  When the
 * name or the data does not fit, neither is copied and ERROR_MORE_DATA
 * comes back with the type and the data's size. */
LSTATUS WINAPI RegEnumValueA(HKEY hKey, DWORD dwIndex, LPSTR lpValueName, LPDWORD lpcchValueName,
                             LPDWORD lpReserved, LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData)
{
    if (lpReserved || !lpValueName || !lpcchValueName || (lpData && !lpcbData))
        return ERROR_INVALID_PARAMETER;
    KeyRef ref;
    if (LSTATUS err = LookupKeyFor(hKey, KEY_QUERY_VALUE, ref))
        return err;
    Value value;
    LSTATUS err = ref.hive->Read([&](const Tree &tree) {
        LSTATUS found;
        const Key *key = Locate(tree, ref, found);
        if (!key)
            return found;
        if (dwIndex >= key->values().size())
            return static_cast<LSTATUS>(ERROR_NO_MORE_ITEMS);
        value = key->values()[dwIndex];
        return static_cast<LSTATUS>(ERROR_SUCCESS);
    });
    if (err != ERROR_SUCCESS)
        return err;
    const DWORD size = static_cast<DWORD>(value.data.size());
    if (value.name.size() >= *lpcchValueName || (lpData && size > *lpcbData)) {
        if (lpType)
            *lpType = value.type;
        if (lpcbData)
            *lpcbData = size;
        return ERROR_MORE_DATA;
    }
    memcpy(lpValueName, value.name.c_str(), value.name.size() + 1);
    *lpcchValueName = static_cast<DWORD>(value.name.size());
    return CopyValueOut(value.type, value.data, lpType, lpData, lpcbData);
}

/* RegQueryInfoKeyA: counts and longest lengths of subkeys and values (names
 * in characters without the NUL, data in bytes as RegQueryValueExA returns
 * it, where Windows reports its internal UTF-16 size), and the last write
 * time.  The class is empty; the security descriptor size is 0. */
LSTATUS WINAPI RegQueryInfoKeyA(HKEY hKey, LPSTR lpClass, LPDWORD lpcchClass, LPDWORD lpReserved,
                                LPDWORD lpcSubKeys, LPDWORD lpcbMaxSubKeyLen,
                                LPDWORD lpcbMaxClassLen, LPDWORD lpcValues,
                                LPDWORD lpcbMaxValueNameLen, LPDWORD lpcbMaxValueLen,
                                LPDWORD lpcbSecurityDescriptor, PFILETIME lpftLastWriteTime)
{
    if (lpReserved || (lpClass && !lpcchClass))
        return ERROR_INVALID_PARAMETER;
    KeyRef ref;
    if (LSTATUS err = LookupKeyFor(hKey, KEY_QUERY_VALUE, ref))
        return err;
    KeyInfo info;
    if (LSTATUS err = ReadKeyInfo(ref, info))
        return err;
    StoreEmptyClass(lpClass, lpcchClass);
    if (lpcSubKeys)
        *lpcSubKeys = info.subkeys;
    if (lpcbMaxSubKeyLen)
        *lpcbMaxSubKeyLen = info.maxSubkeyLen;
    if (lpcbMaxClassLen)
        *lpcbMaxClassLen = 0;
    if (lpcValues)
        *lpcValues = info.values;
    if (lpcbMaxValueNameLen)
        *lpcbMaxValueNameLen = info.maxValueNameLen;
    if (lpcbMaxValueLen)
        *lpcbMaxValueLen = info.maxValueLen;
    if (lpcbSecurityDescriptor)
        *lpcbSecurityDescriptor = 0;
    if (lpftLastWriteTime)
        *lpftLastWriteTime = ToFileTime(info.lastWrite);
    return ERROR_SUCCESS;
}
