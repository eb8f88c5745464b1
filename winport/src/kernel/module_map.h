/*
 * The module map: which shared object implements each DLL name the system
 * loads.  Private to winport.  To add a DLL, add one line to the table in
 * module_map.cpp (lower-case DLL name, shared object file name) and build the
 * shared object into the library folder beside libwinport.so.
 */
#ifndef WINPORT_KERNEL_MODULE_MAP_H
#define WINPORT_KERNEL_MODULE_MAP_H

#include <string>
#include <vector>

namespace winport {

/* The shared object file name for a DLL base name ("ws2_32.dll", matched
 * without regard to case), or null when no module implements it. */
const char *ModuleMapLookup(const std::string &dllName);

/* Every DLL name of the map (lower case), for the placeholders in
 * C:\Windows\system32. */
std::vector<std::string> ModuleMapDllNames();

} // namespace winport

#endif
