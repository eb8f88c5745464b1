/*
 * Building access control lists and setting an object's security (files
 * and folders).  See the platform layer's README for how owners and access
 * lists become POSIX owners and permission bits.
 */
#ifndef WINPORT_ACLAPI_H
#define WINPORT_ACLAPI_H

#include "accctrl.h"
#include "windef.h"
#include "winnt.h"

WINPORT_BEGIN_C

DWORD WINAPI SetEntriesInAclA(ULONG cCountOfExplicitEntries,
                              PEXPLICIT_ACCESS_A pListOfExplicitEntries, PACL OldAcl, PACL *NewAcl);
DWORD WINAPI SetNamedSecurityInfoA(LPSTR pObjectName, SE_OBJECT_TYPE ObjectType,
                                   SECURITY_INFORMATION SecurityInfo, PSID psidOwner,
                                   PSID psidGroup, PACL pDacl, PACL pSacl);

WINPORT_END_C

#endif /* WINPORT_ACLAPI_H */
