/*
 * Group membership of a peer process, read from /proc.
 */
#include "utils/peer_group.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace winport::util {

bool PeerInGroup(pid_t pid, gid_t gid, gid_t wanted)
{
    if (gid == wanted)
        return true;
    char path[64];
    std::snprintf(path, sizeof path, "/proc/%d/status", static_cast<int>(pid));
    FILE *status = std::fopen(path, "re");
    if (!status)
        return false;
    char line[4096];
    bool member = false;
    while (!member && std::fgets(line, sizeof line, status)) {
        if (std::strncmp(line, "Groups:", 7) != 0)
            continue;
        char *p = line + 7;
        for (char *end; *p; p = end) {
            const unsigned long g = std::strtoul(p, &end, 10);
            if (end == p)
                break;
            member = g == wanted;
            if (member)
                break;
        }
        break;
    }
    std::fclose(status);
    return member;
}

} // namespace winport::util
