/*
 * SIDs and access lists as this platform reads them, and file security on
 * POSIX.  Private to winport.
 *
 * The mapping onto POSIX: SYSTEM (S-1-5-18) and Administrators
 * (S-1-5-32-544) are uid and gid 0.  An owner of either chowns to root; any
 * other owner cannot be assigned (ERROR_INVALID_OWNER), and neither can an
 * owner by a caller that is not root.  A DACL that lets nobody but SYSTEM
 * and Administrators write removes the group's and others' write
 * permission (chmod go-w) and keeps read and execute; a DACL that lets
 * anyone else write (Everyone, Users, ...) or a NULL DACL keeps the
 * permissions as they are.  A DACL with inheritable entries reaches the
 * folder's contents too, as inheritance does on Windows.  SACLs are
 * accepted and change nothing.
 */
#ifndef WINPORT_SECURITY_SECURITY_H
#define WINPORT_SECURITY_SECURITY_H

#include <windows.h>

#include <cstddef>
#include <string>
#include <vector>

namespace winport::security {

/* Whether `sid` is a well-formed SID of at most SID_MAX_SUB_AUTHORITIES. */
bool ValidSid(const void *sid);
size_t SidLength(const void *sid); // valid SIDs only
/* SYSTEM or Administrators: the identities that are root here. */
bool IsRootSid(const void *sid);

/* One access control entry of a well-formed ACL. */
struct Ace {
    BYTE type = 0;
    BYTE flags = 0;
    ACCESS_MASK mask = 0;
    const void *sid = nullptr; // inside the ACL
};
/* The entries of `acl`; false when it is malformed (sizes, counts, SIDs). */
bool ReadAcl(const ACL *acl, std::vector<Ace> *out);

/* What a change of security means for a file. */
struct FileChange {
    bool setOwner = false;  // chown to root
    bool setGroup = false;  // chgrp to root
    bool protect = false;   // chmod go-w
    bool recursive = false; // the DACL's entries are inherited by the contents
};

/* Checks the parts SecurityInfo names and works out the change; 0 or the
 * Windows error (ERROR_INVALID_SID, ERROR_INVALID_ACL, ERROR_INVALID_OWNER,
 * ERROR_INVALID_PRIMARY_GROUP). */
DWORD PlanChange(SECURITY_INFORMATION info, const void *owner, const void *group, const ACL *dacl,
                 const ACL *sacl, FileChange *out);
/* Applies a planned change to the file or folder at `posix`. */
DWORD ApplyChange(const std::string &posix, const FileChange &change);
/* The change an absolute security descriptor asks for (CreateDirectoryA). */
DWORD PlanFromDescriptor(const void *descriptor, FileChange *out);

} // namespace winport::security

#endif
