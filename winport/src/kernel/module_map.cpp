/*
 * The module map (see module_map.h).
 */
#include "kernel/module_map.h"

#include <strings.h>

#include <list>
#include <mutex>

namespace winport {
namespace {

constexpr ModuleMapEntry kModuleMap[] = {
    {"ws2_32.dll", "libwp_ws2_32.so", ModuleKind::System},
    {"wsock32.dll", "libwp_ws2_32.so", ModuleKind::System},
    {"msi.dll", "libwp_msi.so", ModuleKind::System},
    // The imaging library: one component behind all seven names.
    {"ltkrnu.dll", "libnovarc_imaging.so", ModuleKind::Component},
    {"ltfilu.dll", "libnovarc_imaging.so", ModuleKind::Component},
    {"lttwnu.dll", "libnovarc_imaging.so", ModuleKind::Component},
    {"ltdisu.dll", "libnovarc_imaging.so", ModuleKind::Component},
    {"ltannu.dll", "libnovarc_imaging.so", ModuleKind::Component},
    {"ltimgefxu.dll", "libnovarc_imaging.so", ModuleKind::Component},
    {"ltimgcoru.dll", "libnovarc_imaging.so", ModuleKind::Component},
    // The PDF engine wrapper and the PDF converter printer.
    {"kelpdftron.dll", "libkelpdftron.so", ModuleKind::Component},
    {"cdintf550.dll", "libcdintf550.so", ModuleKind::Component},
    // The fax server's port monitor.
    {"vfxport.dll", "libvfxport.so", ModuleKind::Component},
    // The office library and the ECG library.
    {"kelword.dll", "libkelword.so", ModuleKind::Component},
    {"kelecg.dll", "libkelecg.so", ModuleKind::Component},
    // The web browser object (a COM class library).
    {"kelbrowser.dll", "libkelbrowser.so", ModuleKind::Component},
};

/* Mappings a test added (winport_test_map_module); entries never move. */
struct AddedEntry {
    std::string dll;
    std::string sharedObject;
    ModuleMapEntry entry;
};

struct AddedMappings {
    std::mutex lock;
    std::list<AddedEntry> entries; /* guarded by lock */
};

AddedMappings &Added()
{
    static AddedMappings *added = new AddedMappings; /* outlives static destructors */
    return *added;
}

} // namespace

const ModuleMapEntry *ModuleMapLookup(const std::string &dllName)
{
    {
        AddedMappings &added = Added();
        std::lock_guard<std::mutex> guard(added.lock);
        for (const AddedEntry &a : added.entries)
            if (strcasecmp(a.dll.c_str(), dllName.c_str()) == 0)
                return &a.entry;
    }
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

void ModuleMapAdd(const std::string &dllName, const std::string &sharedObject, ModuleKind kind)
{
    AddedMappings &added = Added();
    std::lock_guard<std::mutex> guard(added.lock);
    AddedEntry &a = added.entries.emplace_front();
    a.dll = dllName;
    a.sharedObject = sharedObject;
    a.entry = ModuleMapEntry{a.dll.c_str(), a.sharedObject.c_str(), kind};
}

} // namespace winport
