/*
 * OpenProcessToken and DuplicateTokenEx: tokens for the one user every
 * process here runs as (see token.h).
 */
#include "sync/token.h"

#include "sync/process_object.h"

namespace winport {
namespace {

DWORD Granted(DWORD desired, DWORD existing)
{
    if (desired & MAXIMUM_ALLOWED)
        return TOKEN_ALL_ACCESS;
    return desired ? desired : existing;
}

} // namespace

bool TokenCanStartProcess(HANDLE hToken)
{
    auto token = GetObjectAs<TokenObject>(hToken, ObjectType::Token);
    if (!token)
        return false;
    if (token->type() != TokenPrimary) {
        SetLastError(ERROR_BAD_TOKEN_TYPE);
        return false;
    }
    const DWORD needed = TOKEN_QUERY | TOKEN_DUPLICATE | TOKEN_ASSIGN_PRIMARY;
    if ((token->access() & needed) != needed) {
        SetLastError(ERROR_ACCESS_DENIED);
        return false;
    }
    return true;
}

} // namespace winport

/* OpenProcessToken: the primary token of the current process or of a
 * process handle, with the access asked for (MAXIMUM_ALLOWED: all). */
BOOL WINAPI OpenProcessToken(HANDLE ProcessHandle, DWORD DesiredAccess, PHANDLE TokenHandle)
{
    using namespace winport;
    if (ProcessHandle != GetCurrentProcess() &&
        !GetObjectAs<ProcessObject>(ProcessHandle, ObjectType::Process))
        return FALSE;
    if (!TokenHandle) {
        SetLastError(ERROR_NOACCESS);
        return FALSE;
    }
    *TokenHandle = HandleTable::Instance().Insert(
        std::make_shared<TokenObject>(Granted(DesiredAccess, 0), TokenPrimary));
    return TRUE;
}

/* DuplicateTokenEx: a new primary or impersonation token from one opened
 * with TOKEN_DUPLICATE (else ERROR_ACCESS_DENIED); access 0 copies the
 * existing token's, MAXIMUM_ALLOWED gives all.  An unknown type or
 * impersonation level gives ERROR_INVALID_PARAMETER. */
BOOL WINAPI DuplicateTokenEx(HANDLE hExistingToken, DWORD dwDesiredAccess,
                             LPSECURITY_ATTRIBUTES lpTokenAttributes,
                             SECURITY_IMPERSONATION_LEVEL ImpersonationLevel, TOKEN_TYPE TokenType,
                             PHANDLE phNewToken)
{
    using namespace winport;
    (void)lpTokenAttributes;
    auto existing = GetObjectAs<TokenObject>(hExistingToken, ObjectType::Token);
    if (!existing)
        return FALSE;
    if ((TokenType != TokenPrimary && TokenType != TokenImpersonation) ||
        ImpersonationLevel < SecurityAnonymous || ImpersonationLevel > SecurityDelegation) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (!(existing->access() & TOKEN_DUPLICATE)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    if (!phNewToken) {
        SetLastError(ERROR_NOACCESS);
        return FALSE;
    }
    *phNewToken = HandleTable::Instance().Insert(
        std::make_shared<TokenObject>(Granted(dwDesiredAccess, existing->access()), TokenType));
    return TRUE;
}
