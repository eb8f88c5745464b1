/*
 * Access control lists: reading them safely, and SetEntriesInAclA.
 *
 * An ACL is read as untrusted bytes: its size, every entry's size and every
 * SID must fit inside it, or it is malformed (ERROR_INVALID_ACL).
 */
#include "security/security.h"

#include <aclapi.h>

#include <cstring>
#include <strings.h>

namespace winport::security {

bool ReadAcl(const ACL *acl, std::vector<Ace> *out)
{
    out->clear();
    if (!acl || (acl->AclRevision != ACL_REVISION && acl->AclRevision != ACL_REVISION_DS) ||
        acl->AclSize < sizeof(ACL))
        return false;
    const auto *base = reinterpret_cast<const BYTE *>(acl);
    size_t offset = sizeof(ACL);
    for (WORD i = 0; i < acl->AceCount; ++i) {
        if (offset + sizeof(ACE_HEADER) > acl->AclSize)
            return false;
        ACE_HEADER header;
        std::memcpy(&header, base + offset, sizeof header);
        if (header.AceSize < sizeof header || offset + header.AceSize > acl->AclSize)
            return false;
        Ace ace;
        ace.type = header.AceType;
        ace.flags = header.AceFlags;
        if (header.AceType == ACCESS_ALLOWED_ACE_TYPE || header.AceType == ACCESS_DENIED_ACE_TYPE ||
            header.AceType == SYSTEM_AUDIT_ACE_TYPE) {
            if (header.AceSize < 8 + 8)
                return false;
            std::memcpy(&ace.mask, base + offset + 4, 4);
            const BYTE *sid = base + offset + 8;
            if (sid[0] != SID_REVISION || sid[1] > SID_MAX_SUB_AUTHORITIES ||
                8 + 8 + 4 * static_cast<size_t>(sid[1]) > header.AceSize)
                return false;
            ace.sid = sid;
        }
        out->push_back(ace);
        offset += header.AceSize;
    }
    return true;
}

namespace {

struct Entry {
    BYTE type;
    BYTE flags;
    ACCESS_MASK mask;
    std::vector<BYTE> sid;
};

/* Well-known names a trustee may be given by (TRUSTEE_IS_NAME). */
bool SidForName(const char *name, std::vector<BYTE> *sid)
{
    struct Known {
        const char *name;
        BYTE authority;
        std::vector<DWORD> subs;
    };
    static const Known known[] = {
        {"Everyone", 1, {SECURITY_WORLD_RID}},
        {"SYSTEM", 5, {SECURITY_LOCAL_SYSTEM_RID}},
        {"NT AUTHORITY\\SYSTEM", 5, {SECURITY_LOCAL_SYSTEM_RID}},
        {"Administrators", 5, {SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS}},
        {"BUILTIN\\Administrators", 5, {SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS}},
        {"Users", 5, {SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_USERS}},
        {"BUILTIN\\Users", 5, {SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_USERS}},
        {"Authenticated Users", 5, {SECURITY_AUTHENTICATED_USER_RID}},
        {"NT AUTHORITY\\Authenticated Users", 5, {SECURITY_AUTHENTICATED_USER_RID}},
        {"CREATOR OWNER", 3, {SECURITY_CREATOR_OWNER_RID}},
    };
    for (const Known &k : known) {
        if (strcasecmp(k.name, name) != 0)
            continue;
        sid->assign(8 + 4 * k.subs.size(), 0);
        (*sid)[0] = SID_REVISION;
        (*sid)[1] = static_cast<BYTE>(k.subs.size());
        (*sid)[7] = k.authority;
        std::memcpy(sid->data() + 8, k.subs.data(), 4 * k.subs.size());
        return true;
    }
    return false;
}

DWORD TrusteeSid(const TRUSTEE_A &trustee, std::vector<BYTE> *sid)
{
    if (trustee.pMultipleTrustee || trustee.MultipleTrusteeOperation != NO_MULTIPLE_TRUSTEE)
        return ERROR_INVALID_PARAMETER;
    switch (trustee.TrusteeForm) {
    case TRUSTEE_IS_SID:
        if (!ValidSid(trustee.ptstrName))
            return ERROR_INVALID_SID;
        {
            const auto *bytes = reinterpret_cast<const BYTE *>(trustee.ptstrName);
            sid->assign(bytes, bytes + SidLength(trustee.ptstrName));
        }
        return 0;
    case TRUSTEE_IS_NAME:
        if (!trustee.ptstrName)
            return ERROR_INVALID_PARAMETER;
        return SidForName(trustee.ptstrName, sid) ? 0 : ERROR_NONE_MAPPED;
    default:
        return ERROR_INVALID_PARAMETER;
    }
}

void RemoveFor(std::vector<Entry> &entries, const std::vector<BYTE> &sid, bool deniesToo)
{
    std::vector<Entry> kept;
    for (Entry &e : entries) {
        const bool mine =
            e.sid == sid && !(e.flags & INHERITED_ACE) &&
            (e.type == ACCESS_ALLOWED_ACE_TYPE || (deniesToo && e.type == ACCESS_DENIED_ACE_TYPE));
        if (!mine)
            kept.push_back(std::move(e));
    }
    entries = std::move(kept);
}

} // namespace
} // namespace winport::security

using namespace winport::security;

/* SetEntriesInAclA: a new ACL (LocalAlloc; free with LocalFree) of the old
 * one's entries changed by the explicit entries: SET_ACCESS replaces the
 * trustee's entries, GRANT_ACCESS adds rights, DENY_ACCESS adds a denial,
 * REVOKE_ACCESS removes the trustee's grants.  Denials come before grants,
 * as Windows orders them.  Trustees are SIDs or well-known names
 * (ERROR_NONE_MAPPED for others).  Returns the error; the last error is
 * left alone. */
DWORD WINAPI SetEntriesInAclA(ULONG cCountOfExplicitEntries,
                              PEXPLICIT_ACCESS_A pListOfExplicitEntries, PACL OldAcl, PACL *NewAcl)
{
    if (!NewAcl || (cCountOfExplicitEntries && !pListOfExplicitEntries))
        return ERROR_INVALID_PARAMETER;
    std::vector<Entry> entries;
    if (OldAcl) {
        std::vector<Ace> old;
        if (!ReadAcl(OldAcl, &old))
            return ERROR_INVALID_ACL;
        for (const Ace &a : old) {
            if (!a.sid)
                continue; // entry kinds this platform does not know
            const auto *bytes = static_cast<const BYTE *>(a.sid);
            entries.push_back(
                {a.type, a.flags, a.mask, std::vector<BYTE>(bytes, bytes + SidLength(a.sid))});
        }
    }
    for (ULONG i = 0; i < cCountOfExplicitEntries; ++i) {
        const EXPLICIT_ACCESS_A &x = pListOfExplicitEntries[i];
        std::vector<BYTE> sid;
        if (DWORD error = TrusteeSid(x.Trustee, &sid))
            return error;
        const BYTE flags =
            static_cast<BYTE>(x.grfInheritance & VALID_INHERIT_FLAGS & ~INHERITED_ACE);
        switch (x.grfAccessMode) {
        case NOT_USED_ACCESS:
            break;
        case SET_ACCESS:
            RemoveFor(entries, sid, true);
            entries.push_back({ACCESS_ALLOWED_ACE_TYPE, flags, x.grfAccessPermissions, sid});
            break;
        case GRANT_ACCESS: {
            bool merged = false;
            for (Entry &e : entries) {
                if (e.type == ACCESS_ALLOWED_ACE_TYPE && e.sid == sid && e.flags == flags) {
                    e.mask |= x.grfAccessPermissions;
                    merged = true;
                    break;
                }
            }
            if (!merged)
                entries.push_back({ACCESS_ALLOWED_ACE_TYPE, flags, x.grfAccessPermissions, sid});
            break;
        }
        case DENY_ACCESS:
            entries.push_back({ACCESS_DENIED_ACE_TYPE, flags, x.grfAccessPermissions, sid});
            break;
        case REVOKE_ACCESS:
            RemoveFor(entries, sid, false);
            break;
        case SET_AUDIT_SUCCESS:
        case SET_AUDIT_FAILURE:
            entries.push_back({SYSTEM_AUDIT_ACE_TYPE, flags, x.grfAccessPermissions, sid});
            break;
        default:
            return ERROR_INVALID_PARAMETER;
        }
    }
    // Explicit denials, explicit grants, then what was inherited.
    std::vector<const Entry *> ordered;
    for (int pass = 0; pass < 3; ++pass)
        for (const Entry &e : entries) {
            const bool inherited = e.flags & INHERITED_ACE;
            const int rank = inherited ? 2 : (e.type == ACCESS_DENIED_ACE_TYPE ? 0 : 1);
            if (rank == pass)
                ordered.push_back(&e);
        }
    size_t size = sizeof(ACL);
    for (const Entry *e : ordered)
        size += 8 + e->sid.size();
    if (size > 0xFFFF)
        return ERROR_INVALID_PARAMETER;
    auto *acl = static_cast<BYTE *>(LocalAlloc(LPTR, size));
    if (!acl)
        return ERROR_NOT_ENOUGH_MEMORY;
    ACL header = {ACL_REVISION, 0, static_cast<WORD>(size), static_cast<WORD>(ordered.size()), 0};
    std::memcpy(acl, &header, sizeof header);
    size_t offset = sizeof(ACL);
    for (const Entry *e : ordered) {
        ACE_HEADER h = {e->type, e->flags, static_cast<WORD>(8 + e->sid.size())};
        std::memcpy(acl + offset, &h, sizeof h);
        std::memcpy(acl + offset + 4, &e->mask, 4);
        std::memcpy(acl + offset + 8, e->sid.data(), e->sid.size());
        offset += 8 + e->sid.size();
    }
    *NewAcl = reinterpret_cast<PACL>(acl);
    return ERROR_SUCCESS;
}
