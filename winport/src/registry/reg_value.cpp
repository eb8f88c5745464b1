/*
 * Reading, writing and deleting registry values.
 *
 * Values are stored as raw bytes plus their type, exactly as given, as
 * Windows stores them: a REG_SZ set without its terminating NUL is read
 * back without it (RegQueryValueExA adds one when the buffer has room).
 */
#include "registry/registry.h"

#include <cstring>

namespace winport::reg {
namespace {

/* Copies out a value's type and data. */
LSTATUS ReadValue(const KeyRef &ref, std::string_view name, DWORD &type, std::string &data)
{
    return ref.hive->Read([&](const Tree &tree) {
        LSTATUS err;
        const Key *key = Locate(tree, ref, err);
        if (!key)
            return err;
        const Value *value = key->FindValue(name);
        if (!value)
            return static_cast<LSTATUS>(ERROR_FILE_NOT_FOUND);
        type = value->type;
        data = value->data;
        return static_cast<LSTATUS>(ERROR_SUCCESS);
    });
}

LSTATUS WriteValue(const KeyRef &ref, std::string_view name, DWORD type, std::string data)
{
    return ref.hive->Write([&](Tree &tree, bool &changed) {
        LSTATUS err;
        Key *key = Locate(tree, ref, err);
        if (!key)
            return err;
        const Value *old = key->FindValue(name);
        if (old && old->type == type && old->data == data)
            return static_cast<LSTATUS>(ERROR_SUCCESS); // spare the disk an identical write
        key->SetValue(name, type, std::move(data));
        key->Touch(NowFileTime());
        changed = true;
        return static_cast<LSTATUS>(ERROR_SUCCESS);
    });
}

LSTATUS RemoveValue(const KeyRef &ref, std::string_view name)
{
    return ref.hive->Write([&](Tree &tree, bool &changed) {
        LSTATUS err;
        Key *key = Locate(tree, ref, err);
        if (!key)
            return err;
        if (!key->DeleteValue(name))
            return static_cast<LSTATUS>(ERROR_FILE_NOT_FOUND);
        key->Touch(NowFileTime());
        changed = true;
        return static_cast<LSTATUS>(ERROR_SUCCESS);
    });
}

} // namespace
} // namespace winport::reg

using namespace winport::reg;

/* RegQueryValueExA: a value's type and data (NULL or "" is the default
 * value).  With a NULL lpData, *lpcbData receives the size. */
LSTATUS WINAPI RegQueryValueExA(HKEY hKey, LPCSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType,
                                LPBYTE lpData, LPDWORD lpcbData)
{
    if (lpReserved || (lpData && !lpcbData))
        return ERROR_INVALID_PARAMETER;
    KeyRef ref;
    if (LSTATUS err = LookupKeyFor(hKey, KEY_QUERY_VALUE, ref))
        return err;
    DWORD type = REG_NONE;
    std::string data;
    LSTATUS err = ReadValue(ref, lpValueName ? lpValueName : "", type, data);
    if (err == ERROR_FILE_NOT_FOUND && !lpData && lpcbData)
        *lpcbData = 0; // as Windows reports a size query for a missing value
    if (err != ERROR_SUCCESS)
        return err;
    return CopyValueOut(type, data, lpType, lpData, lpcbData);
}

/* RegSetValueExA: creates or replaces a value.  Data over 1 MB fails with
 * ERROR_NOT_ENOUGH_MEMORY (Windows accepts more); a string's size must
 * count its NUL, since NT's habit of reading one byte past cbData to add a
 * forgotten terminator is not copied. */
LSTATUS WINAPI RegSetValueExA(HKEY hKey, LPCSTR lpValueName, DWORD /*Reserved*/, DWORD dwType,
                              const BYTE *lpData, DWORD cbData)
{
    if (!lpData && cbData)
        return ERROR_NOACCESS;
    KeyRef ref;
    if (LSTATUS err = LookupKeyFor(hKey, KEY_SET_VALUE, ref))
        return err;
    const std::string_view name = lpValueName ? lpValueName : "";
    if (name.size() > kMaxValueNameLen)
        return ERROR_INVALID_PARAMETER;
    if (cbData > kMaxValueSize)
        return ERROR_NOT_ENOUGH_MEMORY;
    std::string data(reinterpret_cast<const char *>(lpData), lpData ? cbData : 0);
    return WriteValue(ref, name, dwType, std::move(data));
}

/* RegDeleteValueA: removes a value (NULL or "" is the default value). */
LSTATUS WINAPI RegDeleteValueA(HKEY hKey, LPCSTR lpValueName)
{
    KeyRef ref;
    if (LSTATUS err = LookupKeyFor(hKey, KEY_SET_VALUE, ref))
        return err;
    return RemoveValue(ref, lpValueName ? lpValueName : "");
}

/* RegSetValueA: sets the default value of hKey or of its subkey lpSubKey
 * (created when missing) to the string lpData; cbData is ignored and only
 * REG_SZ is accepted, as on NT. */
LSTATUS WINAPI RegSetValueA(HKEY hKey, LPCSTR lpSubKey, DWORD dwType, LPCSTR lpData,
                            DWORD /*cbData*/)
{
    if (dwType != REG_SZ || !lpData)
        return ERROR_INVALID_PARAMETER;
    HKEY target = hKey;
    if (lpSubKey && *lpSubKey) {
        if (LSTATUS err = RegCreateKeyExA(hKey, lpSubKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                                          &target, nullptr))
            return err;
    }
    const size_t size = strlen(lpData) + 1;
    LSTATUS err = size > kMaxValueSize ? ERROR_NOT_ENOUGH_MEMORY
                                       : RegSetValueExA(target, nullptr, 0, REG_SZ,
                                                        reinterpret_cast<const BYTE *>(lpData),
                                                        static_cast<DWORD>(size));
    if (target != hKey)
        RegCloseKey(target);
    return err;
}

/* RegQueryValueA: the default value of hKey or of its subkey lpSubKey; a
 * key without a default value reads as an empty string. */
LSTATUS WINAPI RegQueryValueA(HKEY hKey, LPCSTR lpSubKey, LPSTR lpData, PLONG lpcbData)
{
    if (lpData && !lpcbData)
        return ERROR_INVALID_PARAMETER;
    HKEY source = hKey;
    if (lpSubKey && *lpSubKey) {
        if (LSTATUS err = RegOpenKeyExA(hKey, lpSubKey, 0, KEY_QUERY_VALUE, &source))
            return err;
    }
    DWORD size = lpcbData && *lpcbData > 0 ? static_cast<DWORD>(*lpcbData) : 0;
    LSTATUS err = RegQueryValueExA(source, nullptr, nullptr, nullptr,
                                   reinterpret_cast<LPBYTE>(lpData), lpcbData ? &size : nullptr);
    if (err == ERROR_FILE_NOT_FOUND) {
        err = lpData && size < 1 ? ERROR_MORE_DATA : ERROR_SUCCESS;
        if (lpData && err == ERROR_SUCCESS)
            lpData[0] = '\0';
        size = 1;
    }
    if (lpcbData && (err == ERROR_SUCCESS || err == ERROR_MORE_DATA))
        *lpcbData = static_cast<LONG>(size);
    if (source != hKey)
        RegCloseKey(source);
    return err;
}
