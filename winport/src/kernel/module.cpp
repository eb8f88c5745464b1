/*
 * Modules: LoadLibraryA, GetProcAddress and FreeLibrary over dlopen, with the
 * DLL name resolved through the module map.
 */
#include "utils/program_name.h"
#include "kernel/module_map.h"
#include "kernel/paths.h"
#include "utils/posix_fs.h"

#include <windows.h>
#include <winport_test.h>

#include <dlfcn.h>
#include <link.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <unordered_map>

namespace winport {
namespace {

/* Loaded modules and how often each was loaded; the HMODULE is the dlopen
 * handle.  dlopen counts too, but cannot tell a stale handle from a live one. */
struct ModuleRegistry {
    std::mutex lock;
    std::unordered_map<void *, int> loads; // guarded by lock
};

ModuleRegistry &Registry()
{
    static ModuleRegistry *registry = new ModuleRegistry; // outlives static destructors
    return *registry;
}

/* "C:\Windows\system32\WS2_32.DLL" -> "ws2_32.dll"; "ws2_32" -> "ws2_32.dll"
 * (Windows appends ".dll" to a name without extension; a trailing dot means
 * "no extension"). */
std::string DllBaseName(const char *name)
{
    std::string base = name;
    size_t sep = base.find_last_of("\\/");
    if (sep != std::string::npos)
        base.erase(0, sep + 1);
    for (char &c : base)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (!base.empty() && base.back() == '.')
        base.pop_back();
    else if (base.find('.') == std::string::npos)
        base += ".dll";
    return base;
}

/* Where an installed component's DLL file must be: in the folder the name
 * gives, else in the system folder.  The POSIX path of that file, or empty
 * when the name cannot be mapped. */
std::string ComponentFile(const char *name, const std::string &dll)
{
    const std::string given = name;
    const size_t sep = given.find_last_of("\\/");
    const std::string folder =
        sep == std::string::npos ? "C:\\Windows\\system32" : given.substr(0, sep);
    MappedPath mapped = MapPath((folder + "\\" + dll).c_str());
    return mapped.ok() ? mapped.posix : std::string();
}

bool IsFile(const std::string &posix)
{
    struct stat st;
    return !posix.empty() && stat(posix.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::vector<std::string> SearchFolders(const std::string &first = std::string())
{
    std::vector<std::string> folders;
    if (!first.empty())
        folders.push_back(first);
    if (const char *env = getenv("WINPORT_MODULE_PATH")) {
        std::string list = env;
        size_t pos = 0;
        while (pos <= list.size()) {
            size_t next = list.find(':', pos);
            if (next == std::string::npos)
                next = list.size();
            if (next > pos)
                folders.push_back(list.substr(pos, next - pos));
            pos = next + 1;
        }
    }
    folders.push_back(util::LibraryFolder());
    return folders;
}

void Trace(const char *what, const std::string &detail)
{
    if (getenv("WINPORT_DEBUG"))
        std::fprintf(stderr, "winport: %s: %s\n", what, detail.c_str());
}

/* The path the loader recorded for a loaded module. */
const char *ModulePath(void *handle)
{
    struct link_map *map = nullptr;
    if (dlinfo(handle, RTLD_DI_LINKMAP, &map) != 0 || !map)
        return nullptr;
    return map->l_name;
}

} // namespace
} // namespace winport

/* LoadLibraryA: loads the module behind a DLL name.  The name goes through
 * the module map.  A Windows DLL loads whatever folder the caller names; an
 * installed component loads only while its DLL file is in the folder the
 * caller names (the system folder when none), as a DLL must be on Windows.
 * The shared object is searched beside that DLL file (components), in
 * $WINPORT_MODULE_PATH, then beside libwinport.so.  Loading again returns
 * the same handle and counts; an unmapped name, a component that is not
 * installed, or a missing or broken shared object fails with
 * ERROR_MOD_NOT_FOUND, as a missing DLL does. */
HMODULE WINAPI LoadLibraryA(LPCSTR lpLibFileName)
{
    using namespace winport;
    if (!lpLibFileName) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    const std::string dll = DllBaseName(lpLibFileName);
    const ModuleMapEntry *entry = *lpLibFileName ? ModuleMapLookup(dll) : nullptr;
    if (!entry) {
        Trace("no module for", lpLibFileName);
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    std::string installedFolder;
    if (entry->kind == ModuleKind::Component) {
        const std::string file = ComponentFile(lpLibFileName, dll);
        if (!IsFile(file)) {
            Trace("component not installed", file.empty() ? lpLibFileName : file);
            SetLastError(ERROR_MOD_NOT_FOUND);
            return nullptr;
        }
        installedFolder = file.substr(0, file.find_last_of('/'));
    }
    for (const std::string &folder : SearchFolders(installedFolder)) {
        const std::string path = folder + "/" + entry->sharedObject;
        if (access(path.c_str(), R_OK) != 0)
            continue;
        void *handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!handle) {
            Trace("dlopen failed", dlerror());
            continue;
        }
        ModuleRegistry &registry = Registry();
        std::lock_guard<std::mutex> guard(registry.lock);
        registry.loads[handle]++;
        return reinterpret_cast<HMODULE>(handle);
    }
    Trace("shared object not found", entry->sharedObject);
    SetLastError(ERROR_MOD_NOT_FOUND);
    return nullptr;
}

/* FreeLibrary: drops one load of the module; the last one unloads it.  An
 * unknown handle fails with ERROR_MOD_NOT_FOUND, NULL with
 * ERROR_INVALID_HANDLE. */
BOOL WINAPI FreeLibrary(HMODULE hLibModule)
{
    using namespace winport;
    if (!hLibModule) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    void *handle = reinterpret_cast<void *>(hLibModule);
    ModuleRegistry &registry = Registry();
    {
        std::lock_guard<std::mutex> guard(registry.lock);
        auto it = registry.loads.find(handle);
        if (it == registry.loads.end()) {
            SetLastError(ERROR_MOD_NOT_FOUND);
            return FALSE;
        }
        if (--it->second == 0)
            registry.loads.erase(it);
    }
    dlclose(handle);
    return TRUE;
}

/* GetProcAddress: the exported function of that name defined by the module
 * itself (not by the libraries it links with, as Windows export tables do).
 * Ordinals are not supported (ERROR_PROC_NOT_FOUND); a NULL module fails
 * with ERROR_INVALID_HANDLE (Windows would search the program) and an
 * unknown module with ERROR_MOD_NOT_FOUND. */
FARPROC WINAPI GetProcAddress(HMODULE hModule, LPCSTR lpProcName)
{
    using namespace winport;
    if (!hModule) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    void *handle = reinterpret_cast<void *>(hModule);
    {
        ModuleRegistry &registry = Registry();
        std::lock_guard<std::mutex> guard(registry.lock);
        if (!registry.loads.count(handle)) {
            SetLastError(ERROR_MOD_NOT_FOUND);
            return nullptr;
        }
    }
    if (reinterpret_cast<uintptr_t>(lpProcName) < 0x10000) { // NULL or an ordinal
        SetLastError(ERROR_PROC_NOT_FOUND);
        return nullptr;
    }
    dlerror();
    void *symbol = dlsym(handle, lpProcName);
    Dl_info info;
    const char *modulePath = ModulePath(handle);
    if (!symbol || !dladdr(symbol, &info) || !info.dli_fname || !modulePath ||
        std::strcmp(info.dli_fname, modulePath) != 0) {
        SetLastError(ERROR_PROC_NOT_FOUND);
        return nullptr;
    }
    return reinterpret_cast<FARPROC>(symbol);
}

/* winport_test_map_module: see winport_test.h. */
void winport_test_map_module(LPCSTR dllName, LPCSTR sharedObject, BOOL installed)
{
    using namespace winport;
    if (dllName && sharedObject)
        ModuleMapAdd(DllBaseName(dllName), sharedObject,
                     installed ? ModuleKind::Component : ModuleKind::System);
}

/* winport_test_install_module: see winport_test.h. */
BOOL winport_test_install_module(LPCSTR dllName, LPCSTR windowsFolder)
{
    using namespace winport;
    const std::string dll = dllName ? DllBaseName(dllName) : std::string();
    const ModuleMapEntry *entry = dll.empty() ? nullptr : ModuleMapLookup(dll);
    if (!windowsFolder || !entry || entry->kind != ModuleKind::Component) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return FALSE;
    }
    MappedPath target = MapPath(windowsFolder);
    if (!target.ok()) {
        SetLastError(target.error);
        return FALSE;
    }
    for (const std::string &folder : SearchFolders()) {
        const std::string sharedObject = folder + "/" + entry->sharedObject;
        if (access(sharedObject.c_str(), R_OK) != 0)
            continue;
        /* As scripts/install.sh does: the DLL file is a link to the shared
         * object. */
        const std::string link = target.posix + "/" + dll;
        unlink(link.c_str());
        if (util::MakeDirs(target.posix) != 0 || symlink(sharedObject.c_str(), link.c_str()) != 0) {
            SetLastError(ERROR_ACCESS_DENIED);
            return FALSE;
        }
        return TRUE;
    }
    SetLastError(ERROR_MOD_NOT_FOUND);
    return FALSE;
}
