/*
 * The service control manager's database: OpenSCManagerA, CreateServiceA,
 * OpenServiceA, DeleteService, CloseServiceHandle.
 *
 * A service record is the registry key
 * HKLM\SYSTEM\CurrentControlSet\Services\<name> with the values Windows
 * keeps there (Type, Start, ErrorControl, ImagePath, DisplayName,
 * ObjectName, DependOnService, Group), so tools that read the registry see
 * the service as on Windows.  When systemd runs, a unit mirrors the record
 * (systemd.cpp).  SC_HANDLEs are handles of the kernel handle table.
 */
#include "service/scm_private.h"

#include "kernel/handles.h"

#include <strings.h>
#include <unistd.h>

#include <cstring>
#include <memory>

namespace winport::service {
namespace {

constexpr char kServicesKey[] = "SYSTEM\\CurrentControlSet\\Services";
constexpr size_t kMaxNameLength = 256;

class ScmObject final : public KernelObject {
public:
    explicit ScmObject(DWORD access) : KernelObject(ObjectType::ServiceManager), access(access) {}
    const DWORD access;
};

DWORD MapScmAccess(DWORD access)
{
    if (access & GENERIC_READ)
        access |= READ_CONTROL | SC_MANAGER_ENUMERATE_SERVICE | SC_MANAGER_QUERY_LOCK_STATUS;
    if (access & GENERIC_WRITE)
        access |= READ_CONTROL | SC_MANAGER_CREATE_SERVICE | SC_MANAGER_MODIFY_BOOT_CONFIG;
    if (access & GENERIC_EXECUTE)
        access |= READ_CONTROL | SC_MANAGER_CONNECT | SC_MANAGER_LOCK;
    if (access & GENERIC_ALL)
        access |= SC_MANAGER_ALL_ACCESS;
    // Every handle to the manager may connect, as on Windows.
    return (access & ~(GENERIC_READ | GENERIC_WRITE | GENERIC_EXECUTE | GENERIC_ALL)) |
           SC_MANAGER_CONNECT;
}

DWORD MapServiceAccess(DWORD access)
{
    if (access & GENERIC_READ)
        access |= READ_CONTROL | SERVICE_QUERY_CONFIG | SERVICE_QUERY_STATUS | SERVICE_INTERROGATE |
                  SERVICE_ENUMERATE_DEPENDENTS;
    if (access & GENERIC_WRITE)
        access |= READ_CONTROL | SERVICE_CHANGE_CONFIG;
    if (access & GENERIC_EXECUTE)
        access |= READ_CONTROL | SERVICE_START | SERVICE_STOP | SERVICE_PAUSE_CONTINUE |
                  SERVICE_USER_DEFINED_CONTROL;
    if (access & GENERIC_ALL)
        access |= SERVICE_ALL_ACCESS;
    return access & ~(GENERIC_READ | GENERIC_WRITE | GENERIC_EXECUTE | GENERIC_ALL);
}

std::shared_ptr<ScmObject> GetScm(SC_HANDLE handle)
{
    return GetObjectAs<ScmObject>(reinterpret_cast<HANDLE>(handle), ObjectType::ServiceManager);
}

/* Service names: 1..256 characters, no slashes or backslashes. */
bool ValidName(LPCSTR name)
{
    if (!name || !*name)
        return false;
    const size_t length = strnlen(name, kMaxNameLength + 1);
    return length <= kMaxNameLength && !std::strpbrk(name, "/\\");
}

HKEY OpenServices(REGSAM access)
{
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, kServicesKey, 0, nullptr, 0, access, nullptr, &key,
                        nullptr) != ERROR_SUCCESS)
        return nullptr;
    return key;
}

LSTATUS DeleteTree(HKEY parent, const std::string &name)
{
    HKEY key = nullptr;
    LSTATUS rc = RegOpenKeyExA(parent, name.c_str(), 0, KEY_ALL_ACCESS, &key);
    if (rc != ERROR_SUCCESS)
        return rc;
    char child[kMaxNameLength + 1];
    for (;;) {
        DWORD size = sizeof child;
        if (RegEnumKeyExA(key, 0, child, &size, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS)
            break;
        if (DeleteTree(key, child) != ERROR_SUCCESS)
            break;
    }
    RegCloseKey(key);
    return RegDeleteKeyA(parent, name.c_str());
}

bool SetString(HKEY key, const char *name, DWORD type, const std::string &value)
{
    return RegSetValueExA(key, name, 0, type, reinterpret_cast<const BYTE *>(value.c_str()),
                          static_cast<DWORD>(value.size() + 1)) == ERROR_SUCCESS;
}

bool SetDword(HKEY key, const char *name, DWORD value)
{
    return RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE *>(&value),
                          sizeof value) == ERROR_SUCCESS;
}

/* A double-NUL list (lpDependencies) as its entries, bounded. */
std::vector<std::string> MultiString(LPCSTR list)
{
    std::vector<std::string> out;
    if (!list)
        return out;
    for (size_t i = 0; list[0] && i < 256; ++i) {
        const size_t length = strnlen(list, kMaxNameLength + 1);
        out.emplace_back(list, length);
        list += length + 1;
    }
    return out;
}

bool SetMulti(HKEY key, const char *name, const std::vector<std::string> &entries)
{
    std::string data;
    for (const std::string &e : entries)
        data.append(e).push_back('\0');
    data.push_back('\0');
    return RegSetValueExA(key, name, 0, REG_MULTI_SZ, reinterpret_cast<const BYTE *>(data.data()),
                          static_cast<DWORD>(data.size())) == ERROR_SUCCESS;
}

bool LocalMachine(LPCSTR machine)
{
    if (!machine || !*machine)
        return true;
    while (*machine == '\\')
        ++machine;
    char own[MAX_COMPUTERNAME_LENGTH + 1];
    DWORD size = sizeof own;
    return (GetComputerNameA(own, &size) && strcasecmp(own, machine) == 0) ||
           strcasecmp(machine, "localhost") == 0 || std::strcmp(machine, ".") == 0;
}

/* Whether another service already uses `displayName` as its name or
 * display name (Windows keeps both unique). */
bool DisplayNameTaken(HKEY services, const std::string &displayName, const std::string &self)
{
    char child[kMaxNameLength + 1];
    for (DWORD i = 0;; ++i) {
        DWORD size = sizeof child;
        if (RegEnumKeyExA(services, i, child, &size, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS)
            return false;
        if (strcasecmp(child, self.c_str()) == 0)
            continue;
        if (strcasecmp(child, displayName.c_str()) == 0)
            return true;
        std::string other;
        if (ReadString(child, "DisplayName", &other) &&
            strcasecmp(other.c_str(), displayName.c_str()) == 0)
            return true;
    }
}

SC_HANDLE NewServiceHandle(const std::string &name, DWORD access)
{
    auto object = std::make_shared<ServiceObject>(name, MapServiceAccess(access));
    return reinterpret_cast<SC_HANDLE>(HandleTable::Instance().Insert(object));
}

} // namespace

std::shared_ptr<ServiceObject> GetService(SC_HANDLE handle)
{
    return GetObjectAs<ServiceObject>(reinterpret_cast<HANDLE>(handle), ObjectType::Service);
}

bool FindRecord(const std::string &name, std::string *spelled)
{
    HKEY services = OpenServices(KEY_READ);
    if (!services)
        return false;
    HKEY key = nullptr;
    const bool found = RegOpenKeyExA(services, name.c_str(), 0, KEY_READ, &key) == ERROR_SUCCESS;
    if (found) {
        RegCloseKey(key);
        *spelled = name;
        char child[kMaxNameLength + 1];
        for (DWORD i = 0;; ++i) {
            DWORD size = sizeof child;
            if (RegEnumKeyExA(services, i, child, &size, nullptr, nullptr, nullptr, nullptr) !=
                ERROR_SUCCESS)
                break;
            if (strcasecmp(child, name.c_str()) == 0) {
                *spelled = child;
                break;
            }
        }
    }
    RegCloseKey(services);
    return found;
}

bool ReadString(const std::string &name, const char *value, std::string *out)
{
    const std::string path = std::string(kServicesKey) + "\\" + name;
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    char buf[4096];
    DWORD size = sizeof buf - 1, type = 0;
    LSTATUS rc = RegQueryValueExA(key, value, nullptr, &type, reinterpret_cast<BYTE *>(buf), &size);
    RegCloseKey(key);
    if (rc != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ))
        return false;
    buf[size] = '\0';
    out->assign(buf, strnlen(buf, size));
    return true;
}

DWORD ReadDword(const std::string &name, const char *value, DWORD fallback)
{
    const std::string path = std::string(kServicesKey) + "\\" + name;
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return fallback;
    DWORD data = 0, size = sizeof data, type = 0;
    LSTATUS rc =
        RegQueryValueExA(key, value, nullptr, &type, reinterpret_cast<BYTE *>(&data), &size);
    RegCloseKey(key);
    return rc == ERROR_SUCCESS && type == REG_DWORD ? data : fallback;
}

bool IsRunning(const std::string &name)
{
    Reply reply;
    return Call(name, kStatusOnly, &reply, kIoGuardMs);
}

bool RemoveRecord(const std::string &name)
{
    HKEY services = OpenServices(KEY_ALL_ACCESS);
    if (!services)
        return false;
    const bool ok = DeleteTree(services, name) == ERROR_SUCCESS;
    RegCloseKey(services);
    if (ok && SystemdInUse())
        RemoveUnit(name);
    return ok;
}

void RemoveRecordIfMarked(const std::string &serviceName)
{
    std::string spelled;
    if (FindRecord(serviceName, &spelled) && ReadDword(spelled, "DeleteFlag", 0) != 0)
        RemoveRecord(spelled);
}

} // namespace winport::service

using namespace winport;
using namespace winport::service;

/* OpenSCManagerA: the local service control manager.  Another machine gives
 * RPC_S_SERVER_UNAVAILABLE, a database other than ServicesActive
 * ERROR_INVALID_NAME. */
SC_HANDLE WINAPI OpenSCManagerA(LPCSTR lpMachineName, LPCSTR lpDatabaseName, DWORD dwDesiredAccess)
{
    if (!LocalMachine(lpMachineName)) {
        SetLastError(RPC_S_SERVER_UNAVAILABLE);
        return nullptr;
    }
    if (lpDatabaseName && strcasecmp(lpDatabaseName, SERVICES_ACTIVE_DATABASEA) != 0) {
        SetLastError(ERROR_INVALID_NAME);
        return nullptr;
    }
    auto object = std::make_shared<ScmObject>(MapScmAccess(dwDesiredAccess));
    return reinterpret_cast<SC_HANDLE>(HandleTable::Instance().Insert(object));
}

/* CreateServiceA: writes the service record (and the systemd unit when
 * systemd is used) and returns a handle to the new service.  An existing
 * name gives ERROR_SERVICE_EXISTS (ERROR_SERVICE_MARKED_FOR_DELETE while a
 * deleted one still runs); a display name another service uses
 * ERROR_DUPLICATE_SERVICE_NAME.  Only Win32 services with automatic,
 * demand or disabled start are accepted, running as LocalSystem or as a
 * local account (".\name" or "name": an existing user, not root), which
 * ERROR_INVALID_SERVICE_ACCOUNT refuses otherwise. */
SC_HANDLE WINAPI CreateServiceA(SC_HANDLE hSCManager, LPCSTR lpServiceName, LPCSTR lpDisplayName,
                                DWORD dwDesiredAccess, DWORD dwServiceType, DWORD dwStartType,
                                DWORD dwErrorControl, LPCSTR lpBinaryPathName,
                                LPCSTR lpLoadOrderGroup, LPDWORD lpdwTagId, LPCSTR lpDependencies,
                                LPCSTR lpServiceStartName, LPCSTR lpPassword)
{
    (void)lpPassword;
    auto scm = GetScm(hSCManager);
    if (!scm)
        return nullptr;
    if (!(scm->access & SC_MANAGER_CREATE_SERVICE)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return nullptr;
    }
    if (!ValidName(lpServiceName)) {
        SetLastError(ERROR_INVALID_NAME);
        return nullptr;
    }
    const DWORD baseType = dwServiceType & ~SERVICE_INTERACTIVE_PROCESS;
    if ((baseType != SERVICE_WIN32_OWN_PROCESS && baseType != SERVICE_WIN32_SHARE_PROCESS) ||
        (dwStartType != SERVICE_AUTO_START && dwStartType != SERVICE_DEMAND_START &&
         dwStartType != SERVICE_DISABLED) ||
        dwErrorControl > SERVICE_ERROR_CRITICAL || !lpBinaryPathName || !*lpBinaryPathName ||
        lpdwTagId) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    ServiceAccount account;
    if (!ResolveAccount(lpServiceStartName, &account)) {
        SetLastError(ERROR_INVALID_SERVICE_ACCOUNT);
        return nullptr;
    }
    const std::string name = lpServiceName;
    const std::string display = lpDisplayName && *lpDisplayName ? lpDisplayName : name;
    if (display.size() > kMaxNameLength) {
        SetLastError(ERROR_INVALID_NAME);
        return nullptr;
    }
    std::string existing;
    if (FindRecord(name, &existing)) {
        const bool marked = ReadDword(existing, "DeleteFlag", 0) != 0;
        if (!marked) {
            SetLastError(ERROR_SERVICE_EXISTS);
            return nullptr;
        }
        if (IsRunning(existing)) {
            SetLastError(ERROR_SERVICE_MARKED_FOR_DELETE);
            return nullptr;
        }
        RemoveRecord(existing); // deleted while it ran, and it has stopped since
    }
    HKEY services = OpenServices(KEY_ALL_ACCESS);
    if (!services) {
        SetLastError(ERROR_ACCESS_DENIED);
        return nullptr;
    }
    if (DisplayNameTaken(services, display, name)) {
        RegCloseKey(services);
        SetLastError(ERROR_DUPLICATE_SERVICE_NAME);
        return nullptr;
    }
    HKEY key = nullptr;
    LSTATUS rc = RegCreateKeyExA(services, name.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                 &key, nullptr);
    RegCloseKey(services);
    if (rc != ERROR_SUCCESS) {
        SetLastError(static_cast<DWORD>(rc));
        return nullptr;
    }
    bool ok = SetDword(key, "Type", dwServiceType) && SetDword(key, "Start", dwStartType) &&
              SetDword(key, "ErrorControl", dwErrorControl) &&
              SetString(key, "ImagePath", REG_EXPAND_SZ, lpBinaryPathName) &&
              SetString(key, "DisplayName", REG_SZ, display) &&
              SetString(key, "ObjectName", REG_SZ, AccountObjectName(account));
    std::vector<std::string> dependsOn, groups;
    for (std::string &dep : MultiString(lpDependencies)) {
        if (!dep.empty() && dep[0] == '+') // SC_GROUP_IDENTIFIER: a load-order group
            groups.push_back(dep.substr(1));
        else
            dependsOn.push_back(dep);
    }
    if (ok && !dependsOn.empty())
        ok = SetMulti(key, "DependOnService", dependsOn);
    if (ok && !groups.empty())
        ok = SetMulti(key, "DependOnGroup", groups);
    if (ok && lpLoadOrderGroup && *lpLoadOrderGroup)
        ok = SetString(key, "Group", REG_SZ, lpLoadOrderGroup);
    RegCloseKey(key);
    DWORD error = ok ? 0 : ERROR_ACCESS_DENIED;
    if (!error && SystemdInUse())
        error = InstallUnit(name, display, lpBinaryPathName, account,
                            dwStartType == SERVICE_AUTO_START);
    if (error) {
        RemoveRecord(name); // all or nothing: no record without its unit
        SetLastError(error);
        return nullptr;
    }
    return NewServiceHandle(name, dwDesiredAccess);
}

/* OpenServiceA: a handle to an installed service (name without regard to
 * case); ERROR_SERVICE_DOES_NOT_EXIST when there is none. */
SC_HANDLE WINAPI OpenServiceA(SC_HANDLE hSCManager, LPCSTR lpServiceName, DWORD dwDesiredAccess)
{
    auto scm = GetScm(hSCManager);
    if (!scm)
        return nullptr;
    if (!ValidName(lpServiceName)) {
        SetLastError(ERROR_INVALID_NAME);
        return nullptr;
    }
    std::string spelled;
    if (!FindRecord(lpServiceName, &spelled)) {
        SetLastError(ERROR_SERVICE_DOES_NOT_EXIST);
        return nullptr;
    }
    if (ReadDword(spelled, "DeleteFlag", 0) != 0 && !IsRunning(spelled)) {
        RemoveRecord(spelled); // deleted while it ran, and it has stopped since
        SetLastError(ERROR_SERVICE_DOES_NOT_EXIST);
        return nullptr;
    }
    return NewServiceHandle(spelled, dwDesiredAccess);
}

/* DeleteService: removes the service record (and its systemd unit).  A
 * running service is marked (DeleteFlag) and its record goes when it
 * stops; a second delete gives ERROR_SERVICE_MARKED_FOR_DELETE. */
BOOL WINAPI DeleteService(SC_HANDLE hService)
{
    auto service = GetService(hService);
    if (!service)
        return FALSE;
    if (!(service->access & DELETE)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    std::string spelled;
    if (!FindRecord(service->name, &spelled) || ReadDword(spelled, "DeleteFlag", 0) != 0) {
        SetLastError(ERROR_SERVICE_MARKED_FOR_DELETE);
        return FALSE;
    }
    if (IsRunning(spelled)) {
        const std::string path = std::string(kServicesKey) + "\\" + spelled;
        HKEY key = nullptr;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_SET_VALUE, &key) !=
                ERROR_SUCCESS ||
            !SetDword(key, "DeleteFlag", 1)) {
            if (key)
                RegCloseKey(key);
            SetLastError(ERROR_ACCESS_DENIED);
            return FALSE;
        }
        RegCloseKey(key);
        if (SystemdInUse())
            RemoveUnit(spelled); // systemd keeps a running unit's process until it stops
        return TRUE;
    }
    if (!RemoveRecord(spelled)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    return TRUE;
}

/* CloseServiceHandle: closes a manager or service handle; any other handle
 * gives ERROR_INVALID_HANDLE. */
BOOL WINAPI CloseServiceHandle(SC_HANDLE hSCObject)
{
    HANDLE handle = reinterpret_cast<HANDLE>(hSCObject);
    ObjectRef object = HandleTable::Instance().Get(handle);
    if (!object ||
        (object->type() != ObjectType::ServiceManager && object->type() != ObjectType::Service) ||
        !HandleTable::Instance().Remove(handle)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return TRUE;
}
