/*
 * The module map: which shared object implements each DLL name the system
 * loads.  Private to winport.  To add a DLL, add one line to the table in
 * module_map.cpp (lower-case DLL name, shared object file name, kind) and
 * build the shared object into the library folder beside libwinport.so.
 */
#ifndef WINPORT_KERNEL_MODULE_MAP_H
#define WINPORT_KERNEL_MODULE_MAP_H

#include <string>
#include <vector>

namespace winport {

enum class ModuleKind {
    /* Part of Windows: always present, whatever folder the caller names;
     * a placeholder file stands for it in C:\Windows\system32. */
    System,
    /* Installed by us: loads only while a file of the DLL's name is in the
     * folder the caller names (C:\Windows\system32 when it names none), so
     * a component removed from its folder fails as a missing DLL does. */
    Component,
};

struct ModuleMapEntry {
    const char *dll;          // lower-case DLL name as Windows code asks for it
    const char *sharedObject; // file searched in $WINPORT_MODULE_PATH, then beside libwinport.so
    ModuleKind kind;
};

/* The entry for a DLL base name ("ws2_32.dll", matched without regard to
 * case), or null when no module implements it. */
const ModuleMapEntry *ModuleMapLookup(const std::string &dllName);

/* Test hook: maps a DLL name for this process (a later mapping of the same
 * name wins). */
void ModuleMapAdd(const std::string &dllName, const std::string &sharedObject, ModuleKind kind);

/* The DLL names of the System modules (lower case), for the placeholders
 * in C:\Windows\system32. */
std::vector<std::string> ModuleMapDllNames();

} // namespace winport

#endif
