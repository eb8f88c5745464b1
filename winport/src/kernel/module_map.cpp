/*
 * The module map (see module_map.h).
 */
#include "kernel/module_map.h"

#include <strings.h>

namespace winport {
namespace {

struct ModuleMapEntry {
    const char *dll;          // lower-case DLL name as Windows code asks for it
    const char *sharedObject; // file searched in $WINPORT_MODULE_PATH, then beside libwinport.so
};

constexpr ModuleMapEntry kModuleMap[] = {
    {"ws2_32.dll", "libwp_ws2_32.so"},
    {"wsock32.dll", "libwp_ws2_32.so"},
};

} // namespace

const char *ModuleMapLookup(const std::string &dllName)
{
    for (const ModuleMapEntry &entry : kModuleMap)
        if (strcasecmp(entry.dll, dllName.c_str()) == 0)
            return entry.sharedObject;
    return nullptr;
}

std::vector<std::string> ModuleMapDllNames()
{
    std::vector<std::string> names;
    for (const ModuleMapEntry &entry : kModuleMap)
        names.emplace_back(entry.dll);
    return names;
}

} // namespace winport
