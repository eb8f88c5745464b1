/*
 * The module map (see module_map.h).
 */
#include "kernel/module_map.h"

#include <strings.h>

namespace winport {
namespace {

constexpr ModuleMapEntry kModuleMap[] = {
    {"ws2_32.dll", "libwp_ws2_32.so", ModuleKind::System},
    {"wsock32.dll", "libwp_ws2_32.so", ModuleKind::System},
    // The imaging library: one component behind all seven names.
    {"ltkrnu.dll", "libnovarc_imaging.so", ModuleKind::Component},
    {"ltfilu.dll", "libnovarc_imaging.so", ModuleKind::Component},
    {"lttwnu.dll", "libnovarc_imaging.so", ModuleKind::Component},
    {"ltdisu.dll", "libnovarc_imaging.so", ModuleKind::Component},
    {"ltannu.dll", "libnovarc_imaging.so", ModuleKind::Component},
    {"ltimgefxu.dll", "libnovarc_imaging.so", ModuleKind::Component},
    {"ltimgcoru.dll", "libnovarc_imaging.so", ModuleKind::Component},
};

} // namespace

const ModuleMapEntry *ModuleMapLookup(const std::string &dllName)
{
    for (const ModuleMapEntry &entry : kModuleMap)
        if (strcasecmp(entry.dll, dllName.c_str()) == 0)
            return &entry;
    return nullptr;
}

std::vector<std::string> ModuleMapDllNames()
{
    std::vector<std::string> names;
    for (const ModuleMapEntry &entry : kModuleMap)
        if (entry.kind == ModuleKind::System)
            names.emplace_back(entry.dll);
    return names;
}

} // namespace winport
