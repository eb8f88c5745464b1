/*
 * Process liveness from /proc/<pid>/stat (see liveness.h).
 */
#include "sync/liveness.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>

namespace winport {
namespace {

struct StatInfo {
    char state = 0;
    uint64_t startTime = 0;
};

/* State (field 3) and start time (field 22) of /proc/<pid>/stat; false
 * when the process does not exist.  The command name (field 2) may hold
 * spaces and parentheses, so fields are counted from its last ')'. */
bool ReadStat(pid_t pid, StatInfo &info)
{
    char path[64];
    std::snprintf(path, sizeof path, "/proc/%d/stat", static_cast<int>(pid));
    FILE *f = std::fopen(path, "re");
    if (!f)
        return false;
    char buf[1024];
    size_t n = std::fread(buf, 1, sizeof buf - 1, f);
    std::fclose(f);
    buf[n] = '\0';
    char *p = std::strrchr(buf, ')');
    if (!p || p[1] != ' ')
        return false;
    p += 2; // field 3
    info.state = *p;
    for (int field = 3; field < 22 && p; ++field) {
        p = std::strchr(p, ' ');
        if (p)
            ++p;
    }
    if (!p)
        return false;
    info.startTime = std::strtoull(p, nullptr, 10);
    return true;
}

} // namespace

uint64_t SelfStartTime()
{
    // Cached per pid: a forked child is a new process with its own start.
    static std::mutex lock;
    static pid_t cachedPid = 0;
    static uint64_t cachedStart = 0;
    const pid_t pid = getpid();
    std::lock_guard<std::mutex> guard(lock);
    if (cachedPid != pid) {
        StatInfo info;
        cachedStart = ReadStat(pid, info) ? info.startTime : 0;
        cachedPid = pid;
    }
    return cachedStart;
}

bool ProcessAlive(pid_t pid, uint64_t startTime)
{
    StatInfo info;
    if (!ReadStat(pid, info))
        return false;
    if (info.state == 'Z' || info.state == 'X')
        return false;
    return info.startTime == startTime;
}

} // namespace winport
