/*
 * Access tokens.  Private to winport.
 *
 * Every process here runs as the same user, so a token stands for that
 * user and carries only what the Windows API checks on it: the access the
 * handle was opened with and whether it is a primary token.
 */
#ifndef WINPORT_SYNC_TOKEN_H
#define WINPORT_SYNC_TOKEN_H

#include "kernel/handles.h"

namespace winport {

class TokenObject final : public KernelObject {
public:
    TokenObject(DWORD access, TOKEN_TYPE type)
        : KernelObject(ObjectType::Token), access_(access), type_(type)
    {}
    DWORD access() const { return access_; }
    TOKEN_TYPE type() const { return type_; }

private:
    const DWORD access_;
    const TOKEN_TYPE type_;
};

/* Whether `hToken` may start a process (CreateProcessAsUserA): a primary
 * token opened with query, duplicate and assign-primary access.  Sets
 * ERROR_INVALID_HANDLE, ERROR_BAD_TOKEN_TYPE or ERROR_ACCESS_DENIED. */
bool TokenCanStartProcess(HANDLE hToken);

} // namespace winport

#endif
