/*
 * Service handles and the service record, shared by the manager's
 * functions (scm.cpp) and starting and controlling services (control.cpp).
 * Private to winport.
 */
#ifndef WINPORT_SERVICE_SCM_PRIVATE_H
#define WINPORT_SERVICE_SCM_PRIVATE_H

#include "kernel/handles.h"
#include "service/service_private.h"

#include <memory>
#include <string>

namespace winport::service {

class ServiceObject final : public KernelObject {
public:
    ServiceObject(std::string name, DWORD access)
        : KernelObject(ObjectType::Service), name(std::move(name)), access(access)
    {}
    const std::string name; // as the record spells it
    const DWORD access;     // generic rights mapped
};

/* The service behind a handle, or null with ERROR_INVALID_HANDLE. */
std::shared_ptr<ServiceObject> GetService(SC_HANDLE handle);

/* Whether the record exists; its spelling in *spelled. */
bool FindRecord(const std::string &name, std::string *spelled);
bool ReadString(const std::string &name, const char *value, std::string *out);
DWORD ReadDword(const std::string &name, const char *value, DWORD fallback);
/* Removes the record (and the systemd unit); false when it could not. */
bool RemoveRecord(const std::string &name);
/* Whether a process serves the service now. */
bool IsRunning(const std::string &name);

} // namespace winport::service

#endif
