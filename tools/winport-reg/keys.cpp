/*
 * winport-reg: full key names, error texts, deleting a whole tree.
 */
#include "regtool.h"

#include <strings.h>

#include <vector>

namespace regtool {
namespace {

struct RootName {
    const char *longName;
    const char *shortName;
    HKEY root;
};

const RootName kRoots[] = {
    {"HKEY_LOCAL_MACHINE", "HKLM", HKEY_LOCAL_MACHINE},
    {"HKEY_CURRENT_USER", "HKCU", HKEY_CURRENT_USER},
    {"HKEY_CLASSES_ROOT", "HKCR", HKEY_CLASSES_ROOT},
};

} // namespace

bool ParseKeyName(const std::string &text, KeyName &key)
{
    const size_t slash = text.find('\\');
    const std::string first = text.substr(0, slash);
    for (const RootName &root : kRoots) {
        if (strcasecmp(first.c_str(), root.longName) != 0 &&
            strcasecmp(first.c_str(), root.shortName) != 0)
            continue;
        key.root = root.root;
        key.rootName = root.longName;
        key.subKey = slash == std::string::npos ? "" : text.substr(slash + 1);
        while (!key.subKey.empty() && key.subKey.back() == '\\')
            key.subKey.pop_back();
        return true;
    }
    return false;
}

std::string ErrorText(LSTATUS err)
{
    switch (err) {
    case ERROR_FILE_NOT_FOUND:
        return "not found";
    case ERROR_ACCESS_DENIED:
        return "access denied";
    case ERROR_INVALID_HANDLE:
        return "invalid handle";
    case ERROR_NOT_ENOUGH_MEMORY:
        return "too large for the registry";
    case ERROR_INVALID_PARAMETER:
        return "invalid name or parameter (key names are at most 255 characters, "
               "value names 16383)";
    case ERROR_BAD_PATHNAME:
        return "bad key path";
    case ERROR_DISK_FULL:
        return "disk full";
    case ERROR_KEY_DELETED:
        return "the key was deleted meanwhile";
    case ERROR_REGISTRY_IO_FAILED:
        return "the registry file could not be read or written";
    default:
        return "error " + std::to_string(err);
    }
}

LSTATUS DeleteTree(HKEY parent, const std::string &subKey)
{
    HKEY key = nullptr;
    LSTATUS err = RegOpenKeyExA(parent, subKey.c_str(), 0, KEY_READ, &key);
    if (err != ERROR_SUCCESS)
        return err;
    // Collect the names first: deleting while enumerating shifts the indexes.
    std::vector<std::string> children;
    char name[256];
    for (DWORD index = 0;; ++index) {
        DWORD size = sizeof name;
        err = RegEnumKeyExA(key, index, name, &size, nullptr, nullptr, nullptr, nullptr);
        if (err != ERROR_SUCCESS)
            break;
        children.emplace_back(name, size);
    }
    if (err == ERROR_NO_MORE_ITEMS)
        err = ERROR_SUCCESS;
    for (const std::string &child : children) {
        if (err != ERROR_SUCCESS)
            break;
        err = DeleteTree(key, child);
        if (err == ERROR_FILE_NOT_FOUND)
            err = ERROR_SUCCESS; // someone else deleted it first
    }
    RegCloseKey(key);
    return err == ERROR_SUCCESS ? RegDeleteKeyA(parent, subKey.c_str()) : err;
}

} // namespace regtool
