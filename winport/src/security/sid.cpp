/*
 * Security identifiers and security descriptors: AllocateAndInitializeSid,
 * FreeSid, EqualSid, IsValidSid, GetLengthSid, InitializeSecurityDescriptor
 * and SetSecurityDescriptorOwner/Group/Dacl/Sacl.  The structures are
 * Windows' own; a descriptor holds pointers to the caller's SIDs and ACLs,
 * which must stay valid while it is used.
 */
#include "security/security.h"

#include <cstdlib>
#include <cstring>

namespace winport::security {

bool ValidSid(const void *sid)
{
    if (!sid)
        return false;
    const auto *s = static_cast<const SID *>(sid);
    return s->Revision == SID_REVISION && s->SubAuthorityCount <= SID_MAX_SUB_AUTHORITIES;
}

size_t SidLength(const void *sid)
{
    return 8 + 4 * static_cast<size_t>(static_cast<const SID *>(sid)->SubAuthorityCount);
}

namespace {

bool SidIs(const void *sid, BYTE authority, std::initializer_list<DWORD> subs)
{
    if (!ValidSid(sid))
        return false;
    const auto *s = static_cast<const SID *>(sid);
    static const BYTE zeros[5] = {};
    if (std::memcmp(s->IdentifierAuthority.Value, zeros, 5) != 0 ||
        s->IdentifierAuthority.Value[5] != authority || s->SubAuthorityCount != subs.size())
        return false;
    size_t i = 0;
    for (DWORD sub : subs) {
        DWORD value;
        std::memcpy(&value, reinterpret_cast<const BYTE *>(s) + 8 + 4 * i++, 4);
        if (value != sub)
            return false;
    }
    return true;
}

} // namespace

bool IsRootSid(const void *sid)
{
    return SidIs(sid, 5, {SECURITY_LOCAL_SYSTEM_RID}) ||
           SidIs(sid, 5, {SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS});
}

} // namespace winport::security

using namespace winport::security;

/* AllocateAndInitializeSid: a SID of 1 to 8 subauthorities, freed with
 * FreeSid. */
BOOL WINAPI AllocateAndInitializeSid(PSID_IDENTIFIER_AUTHORITY pIdentifierAuthority,
                                     BYTE nSubAuthorityCount, DWORD nSubAuthority0,
                                     DWORD nSubAuthority1, DWORD nSubAuthority2,
                                     DWORD nSubAuthority3, DWORD nSubAuthority4,
                                     DWORD nSubAuthority5, DWORD nSubAuthority6,
                                     DWORD nSubAuthority7, PSID *pSid)
{
    if (!pIdentifierAuthority || !pSid || nSubAuthorityCount == 0 || nSubAuthorityCount > 8) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const DWORD subs[8] = {nSubAuthority0, nSubAuthority1, nSubAuthority2, nSubAuthority3,
                           nSubAuthority4, nSubAuthority5, nSubAuthority6, nSubAuthority7};
    auto *sid = static_cast<BYTE *>(std::calloc(1, 8 + 4 * nSubAuthorityCount));
    if (!sid) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return FALSE;
    }
    sid[0] = SID_REVISION;
    sid[1] = nSubAuthorityCount;
    std::memcpy(sid + 2, pIdentifierAuthority->Value, 6);
    std::memcpy(sid + 8, subs, 4 * static_cast<size_t>(nSubAuthorityCount));
    *pSid = sid;
    return TRUE;
}

/* FreeSid: frees a SID of AllocateAndInitializeSid; returns NULL. */
PVOID WINAPI FreeSid(PSID pSid)
{
    std::free(pSid);
    return nullptr;
}

/* EqualSid: whether two valid SIDs are the same (FALSE with
 * ERROR_INVALID_SID when one is not valid; FALSE with ERROR_SUCCESS when
 * they differ). */
BOOL WINAPI EqualSid(PSID pSid1, PSID pSid2)
{
    if (!ValidSid(pSid1) || !ValidSid(pSid2)) {
        SetLastError(ERROR_INVALID_SID);
        return FALSE;
    }
    SetLastError(ERROR_SUCCESS);
    const size_t length = SidLength(pSid1);
    return length == SidLength(pSid2) && std::memcmp(pSid1, pSid2, length) == 0;
}

/* IsValidSid: revision 1 and at most 15 subauthorities. */
BOOL WINAPI IsValidSid(PSID pSid)
{
    return ValidSid(pSid);
}

/* GetLengthSid: the SID's size in bytes (undefined for invalid SIDs on
 * Windows; 0 here). */
DWORD WINAPI GetLengthSid(PSID pSid)
{
    return ValidSid(pSid) ? static_cast<DWORD>(SidLength(pSid)) : 0;
}

/* InitializeSecurityDescriptor: an empty absolute descriptor (no owner,
 * group or access lists); revision 1 only (ERROR_UNKNOWN_REVISION). */
BOOL WINAPI InitializeSecurityDescriptor(PSECURITY_DESCRIPTOR pSecurityDescriptor, DWORD dwRevision)
{
    if (!pSecurityDescriptor) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (dwRevision != SECURITY_DESCRIPTOR_REVISION) {
        SetLastError(ERROR_UNKNOWN_REVISION);
        return FALSE;
    }
    std::memset(pSecurityDescriptor, 0, sizeof(SECURITY_DESCRIPTOR));
    static_cast<SECURITY_DESCRIPTOR *>(pSecurityDescriptor)->Revision =
        SECURITY_DESCRIPTOR_REVISION;
    return TRUE;
}

namespace {

/* The descriptor when it is an absolute one we can change, else null with
 * the last error set. */
SECURITY_DESCRIPTOR *Absolute(PSECURITY_DESCRIPTOR descriptor)
{
    auto *sd = static_cast<SECURITY_DESCRIPTOR *>(descriptor);
    if (!sd) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    if (sd->Revision != SECURITY_DESCRIPTOR_REVISION) {
        SetLastError(ERROR_UNKNOWN_REVISION);
        return nullptr;
    }
    if (sd->Control & SE_SELF_RELATIVE) {
        SetLastError(ERROR_INVALID_SECURITY_DESCR);
        return nullptr;
    }
    return sd;
}

void SetFlag(SECURITY_DESCRIPTOR *sd, WORD flag, BOOL on)
{
    sd->Control = static_cast<WORD>(on ? (sd->Control | flag) : (sd->Control & ~flag));
}

} // namespace

/* SetSecurityDescriptorDacl: present with a DACL, present with NULL (full
 * access for everyone) or absent. */
BOOL WINAPI SetSecurityDescriptorDacl(PSECURITY_DESCRIPTOR pSecurityDescriptor, BOOL bDaclPresent,
                                      PACL pDacl, BOOL bDaclDefaulted)
{
    SECURITY_DESCRIPTOR *sd = Absolute(pSecurityDescriptor);
    if (!sd)
        return FALSE;
    SetFlag(sd, SE_DACL_PRESENT, bDaclPresent);
    SetFlag(sd, SE_DACL_DEFAULTED, bDaclPresent && bDaclDefaulted);
    sd->Dacl = bDaclPresent ? pDacl : nullptr;
    return TRUE;
}

/* SetSecurityDescriptorSacl: as the DACL; it has no effect on files here. */
BOOL WINAPI SetSecurityDescriptorSacl(PSECURITY_DESCRIPTOR pSecurityDescriptor, BOOL bSaclPresent,
                                      PACL pSacl, BOOL bSaclDefaulted)
{
    SECURITY_DESCRIPTOR *sd = Absolute(pSecurityDescriptor);
    if (!sd)
        return FALSE;
    SetFlag(sd, SE_SACL_PRESENT, bSaclPresent);
    SetFlag(sd, SE_SACL_DEFAULTED, bSaclPresent && bSaclDefaulted);
    sd->Sacl = bSaclPresent ? pSacl : nullptr;
    return TRUE;
}

/* SetSecurityDescriptorOwner: the owner SID (NULL: none). */
BOOL WINAPI SetSecurityDescriptorOwner(PSECURITY_DESCRIPTOR pSecurityDescriptor, PSID pOwner,
                                       BOOL bOwnerDefaulted)
{
    SECURITY_DESCRIPTOR *sd = Absolute(pSecurityDescriptor);
    if (!sd)
        return FALSE;
    sd->Owner = pOwner;
    SetFlag(sd, SE_OWNER_DEFAULTED, bOwnerDefaulted);
    return TRUE;
}

/* SetSecurityDescriptorGroup: the primary group SID (NULL: none). */
BOOL WINAPI SetSecurityDescriptorGroup(PSECURITY_DESCRIPTOR pSecurityDescriptor, PSID pGroup,
                                       BOOL bGroupDefaulted)
{
    SECURITY_DESCRIPTOR *sd = Absolute(pSecurityDescriptor);
    if (!sd)
        return FALSE;
    sd->Group = pGroup;
    SetFlag(sd, SE_GROUP_DEFAULTED, bGroupDefaulted);
    return TRUE;
}
