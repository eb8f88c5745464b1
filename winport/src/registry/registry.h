/*
 * What the Reg* functions share: the predefined keys, the table of open key
 * handles, and copying value data out.  Private to winport.
 *
 * An HKEY is either a predefined key (HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER,
 * HKEY_CLASSES_ROOT; only the low 32 bits count) or an entry in this
 * process's key table, which is not the kernel handle table: key handles
 * are not kernel objects here.  Values are multiples of 4 from 0x0A000000
 * and never reused within a run, so a closed handle stays invalid.  An
 * entry names its hive, the key's id and the access it was opened with.
 * Predefined keys resolve to the hives of the current root each time, so
 * switching the root moves them; opened handles stay with their hive.
 *
 * All functions are thread-safe.
 */
#ifndef WINPORT_REGISTRY_REGISTRY_H
#define WINPORT_REGISTRY_REGISTRY_H

#include "registry/hive.h"

#include <memory>
#include <string>
#include <vector>

namespace winport::reg {

struct KeyRef {
    std::shared_ptr<Hive> hive;
    uint64_t id = 0;               // the key's id; 0 for a predefined key
    std::vector<std::string> path; // a predefined key: its path below the hive's root
    REGSAM access = 0;             // granted rights (KEY_*)
    bool predefined = false;
    bool classesRoot = false; // HKEY_CLASSES_ROOT, which allows one leading '\'
};

/* Whether hKey is one of the predefined keys winport provides. */
bool IsPredefined(HKEY hKey);

/* The key behind hKey; ERROR_INVALID_HANDLE when there is none. */
LSTATUS LookupKey(HKEY hKey, KeyRef &ref);
/* LookupKey, then ERROR_ACCESS_DENIED unless the handle was opened with
 * `needed`. */
LSTATUS LookupKeyFor(HKEY hKey, REGSAM needed, KeyRef &ref);

/* A new handle to the key `id` of `hive`. */
HKEY AddKeyHandle(const std::shared_ptr<Hive> &hive, uint64_t id, REGSAM access);

/* Drops a handle; false when it is not open. */
bool RemoveKeyHandle(HKEY hKey);

/* The key `ref` stands for in `tree`; null with ERROR_KEY_DELETED when the
 * key was deleted since the handle was opened. */
const Key *Locate(const Tree &tree, const KeyRef &ref, LSTATUS &err);
Key *Locate(Tree &tree, const KeyRef &ref, LSTATUS &err);

/* The rights a handle opened with `desired` holds: generic rights mapped to
 * key rights, MAXIMUM_ALLOWED as KEY_ALL_ACCESS, the WOW64 view flags
 * dropped (there is one view). */
REGSAM GrantedAccess(REGSAM desired);

/* Hands a value out as RegQueryValueExA and RegEnumValueA do: the type,
 * then the data when lpData is given and *lpcbData is large enough
 * (ERROR_MORE_DATA with the needed size otherwise), a NUL after string data
 * stored without one when the buffer has room, and the size. */
LSTATUS CopyValueOut(DWORD type, const std::string &data, LPDWORD lpType, LPBYTE lpData,
                     LPDWORD lpcbData);

/* Tests: how many key handles are open; forgetting every handle and every
 * cached hive, as in a fresh process. */
size_t OpenKeyHandleCount();
void ResetRegistryForTests();

} // namespace winport::reg

#endif
