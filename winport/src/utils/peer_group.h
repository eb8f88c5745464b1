/*
 * Group membership of a peer process.  Private to winport.
 */
#ifndef WINPORT_UTILS_PEER_GROUP_H
#define WINPORT_UTILS_PEER_GROUP_H

#include <sys/types.h>

namespace winport::util {

/* Whether the process `pid` (primary group `gid`) is in group `wanted`:
 * its primary group or one of the supplementary groups the kernel lists. */
bool PeerInGroup(pid_t pid, gid_t gid, gid_t wanted);

} // namespace winport::util

#endif
