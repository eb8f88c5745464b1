/*
 * File security on POSIX owners and permission bits: SetNamedSecurityInfoA
 * and the descriptor CreateDirectoryA is given (see security.h for the
 * mapping).
 *
 * Changes go through descriptors opened without following symbolic links,
 * and a folder's contents are walked without following them either, so a
 * link planted inside a folder cannot redirect a chown or chmod elsewhere.
 */
#include "security/security.h"

#include "kernel/errors.h"
#include "kernel/paths.h"

#include <aclapi.h>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace winport::security {
namespace {

constexpr ACCESS_MASK kWriteRights = GENERIC_WRITE | GENERIC_ALL | FILE_WRITE_DATA |
                                     FILE_APPEND_DATA | FILE_DELETE_CHILD | DELETE | WRITE_DAC |
                                     WRITE_OWNER | FILE_WRITE_ATTRIBUTES | FILE_WRITE_EA;
constexpr int kMaxDepth = 256;

/* Applies the change to one open file or folder. */
DWORD ChangeFd(int fd, const FileChange &change)
{
    if ((change.setOwner || change.setGroup) &&
        fchown(fd, change.setOwner ? 0 : static_cast<uid_t>(-1),
               change.setGroup ? 0 : static_cast<gid_t>(-1)) != 0)
        return change.setOwner ? ERROR_INVALID_OWNER : ERROR_INVALID_PRIMARY_GROUP;
    if (change.protect) {
        struct stat st;
        if (fstat(fd, &st) != 0)
            return Win32ErrorFromErrno(errno);
        const mode_t mode = st.st_mode & 07777;
        if ((mode & (S_IWGRP | S_IWOTH)) && fchmod(fd, mode & ~(S_IWGRP | S_IWOTH)) != 0)
            return Win32ErrorFromErrno(errno);
    }
    return 0;
}

/* Opens `name` in folder `dir` (or the path when dir is AT_FDCWD) without
 * following a link; files and folders only. */
int OpenNoFollow(int dir, const char *name, bool *isDir)
{
    int fd = openat(dir, name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return -1;
    struct stat st;
    if (fstat(fd, &st) != 0 || !(S_ISREG(st.st_mode) || S_ISDIR(st.st_mode))) {
        close(fd);
        errno = EINVAL;
        return -1;
    }
    *isDir = S_ISDIR(st.st_mode);
    return fd;
}

/* The contents of the open folder `dirFd` (the descriptor is consumed). */
DWORD ChangeContents(int dirFd, const FileChange &change, int depth)
{
    DIR *dir = fdopendir(dirFd);
    if (!dir) {
        close(dirFd);
        return Win32ErrorFromErrno(errno);
    }
    DWORD result = 0;
    while (dirent *entry = readdir(dir)) {
        if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0)
            continue;
        if (entry->d_type == DT_LNK)
            continue; // links are neither followed nor changed
        bool isDir = false;
        int fd = OpenNoFollow(::dirfd(dir), entry->d_name, &isDir);
        if (fd < 0)
            continue; // a link, a device, a socket, or gone meanwhile
        DWORD error = ChangeFd(fd, change);
        if (!error && isDir && depth < kMaxDepth) {
            error = ChangeContents(fd, change, depth + 1);
            fd = -1;
        }
        if (fd >= 0)
            close(fd);
        if (error && !result)
            result = error;
    }
    closedir(dir);
    return result;
}

bool GrantsWriteToOthers(const std::vector<Ace> &aces)
{
    for (const Ace &a : aces)
        if (a.type == ACCESS_ALLOWED_ACE_TYPE && !(a.flags & INHERIT_ONLY_ACE) &&
            (a.mask & kWriteRights) && !IsRootSid(a.sid))
            return true;
    return false;
}

bool Inheritable(const std::vector<Ace> &aces)
{
    for (const Ace &a : aces)
        if (a.flags & (OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE))
            return true;
    return false;
}

} // namespace

DWORD PlanChange(SECURITY_INFORMATION info, const void *owner, const void *group, const ACL *dacl,
                 const ACL *sacl, FileChange *out)
{
    *out = FileChange{};
    if (info & OWNER_SECURITY_INFORMATION) {
        if (!ValidSid(owner))
            return ERROR_INVALID_SID;
        // Only root may give a file away, and only the identities that are
        // root here can be named as owners.
        if (!IsRootSid(owner) || geteuid() != 0)
            return ERROR_INVALID_OWNER;
        out->setOwner = true;
    }
    if (info & GROUP_SECURITY_INFORMATION) {
        if (!ValidSid(group))
            return ERROR_INVALID_SID;
        if (IsRootSid(group)) {
            if (geteuid() != 0)
                return ERROR_INVALID_PRIMARY_GROUP;
            out->setGroup = true;
        }
    }
    std::vector<Ace> aces;
    if ((info & SACL_SECURITY_INFORMATION) && sacl && !ReadAcl(sacl, &aces))
        return ERROR_INVALID_ACL;
    if ((info & DACL_SECURITY_INFORMATION) && dacl) { // a NULL DACL lets everyone in
        if (!ReadAcl(dacl, &aces))
            return ERROR_INVALID_ACL;
        out->protect = !GrantsWriteToOthers(aces);
        out->recursive = Inheritable(aces);
    }
    return 0;
}

DWORD ApplyChange(const std::string &posix, const FileChange &change)
{
    bool isDir = false;
    int fd = OpenNoFollow(AT_FDCWD, posix.c_str(), &isDir);
    if (fd < 0)
        return errno == ENOENT ? NotFoundError(posix) : Win32ErrorFromErrno(errno);
    DWORD error = ChangeFd(fd, change);
    if (!error && isDir && change.recursive && change.protect) {
        FileChange inherited = change;
        inherited.setOwner = inherited.setGroup = false; // owners are not inherited
        return ChangeContents(fd, inherited, 0);
    }
    close(fd);
    return error;
}

DWORD PlanFromDescriptor(const void *descriptor, FileChange *out)
{
    *out = FileChange{};
    if (!descriptor)
        return 0;
    const auto *sd = static_cast<const SECURITY_DESCRIPTOR *>(descriptor);
    if (sd->Revision != SECURITY_DESCRIPTOR_REVISION || (sd->Control & SE_SELF_RELATIVE))
        return ERROR_INVALID_SECURITY_DESCR;
    SECURITY_INFORMATION info = 0;
    if (sd->Owner)
        info |= OWNER_SECURITY_INFORMATION;
    if (sd->Group)
        info |= GROUP_SECURITY_INFORMATION;
    if (sd->Control & SE_DACL_PRESENT)
        info |= DACL_SECURITY_INFORMATION;
    if (sd->Control & SE_SACL_PRESENT)
        info |= SACL_SECURITY_INFORMATION;
    return PlanChange(info, sd->Owner, sd->Group, sd->Dacl, sd->Sacl, out);
}

} // namespace winport::security

using namespace winport;
using namespace winport::security;

/* SetNamedSecurityInfoA: sets the owner, group and DACL of a file or
 * folder (SE_FILE_OBJECT; other objects give ERROR_NOT_SUPPORTED), as
 * POSIX owners and permission bits (see security.h).  Everything is
 * checked before anything changes.  Returns the error; the last error is
 * left alone. */
DWORD WINAPI SetNamedSecurityInfoA(LPSTR pObjectName, SE_OBJECT_TYPE ObjectType,
                                   SECURITY_INFORMATION SecurityInfo, PSID psidOwner,
                                   PSID psidGroup, PACL pDacl, PACL pSacl)
{
    if (!pObjectName)
        return ERROR_INVALID_PARAMETER;
    if (ObjectType != SE_FILE_OBJECT)
        return ERROR_NOT_SUPPORTED;
    FileChange change;
    if (DWORD error = PlanChange(SecurityInfo, psidOwner, psidGroup, pDacl, pSacl, &change))
        return error;
    MappedPath path = MapPath(pObjectName);
    if (!path.ok())
        return path.error;
    return ApplyChange(path.posix, change);
}
