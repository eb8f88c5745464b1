/*
 * The terminal sessions from systemd-logind (sd-login, which reads logind's
 * published state without a bus round trip), or from the tests' stand-in
 * file (see session_source.h).
 */
#include "service/session_source.h"

#include "kernel/root.h"

#include <fcntl.h>
#include <pwd.h>
#include <signal.h>
#include <systemd/sd-login.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <sstream>

namespace winport {
namespace {

constexpr size_t kMaxFileBytes = 64 * 1024;
constexpr size_t kMaxSessions = 256;

/* At most `limit` bytes of a file; false when it cannot be opened. */
bool ReadSmallFile(const std::string &path, size_t limit, std::string *text)
{
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0)
        return false;
    text->clear();
    char buf[4096];
    ssize_t n;
    while (text->size() < limit && (n = read(fd, buf, sizeof buf)) > 0)
        text->append(buf, static_cast<size_t>(n));
    close(fd);
    if (text->size() > limit)
        text->resize(limit);
    return true;
}

/* The stand-in file, or "" when the tests have not named one.  A name that
 * leaves the root names none. */
std::string StandInPath()
{
    const char *name = getenv("WINPORT_SESSIONS");
    if (!name || !*name || name[0] == '/')
        return "";
    const std::string rel(name);
    std::istringstream parts(rel);
    for (std::string part; std::getline(parts, part, '/');)
        if (part == "..")
            return "";
    return Root() + "/" + rel;
}

bool ParseId(const std::string &text, DWORD *id)
{
    if (text.empty() || text.size() > 9 ||
        text.find_first_not_of("0123456789") != std::string::npos)
        return false;
    *id = static_cast<DWORD>(std::strtoul(text.c_str(), nullptr, 10));
    return true;
}

WTS_CONNECTSTATE_CLASS StateFromWord(const std::string &word)
{
    if (word == "active")
        return WTSActive;
    if (word == "online")
        return WTSConnected;
    return WTSDisconnected;
}

std::vector<SessionRecord> StandInSessions(const std::string &path)
{
    std::vector<SessionRecord> sessions;
    std::string text;
    if (!ReadSmallFile(path, kMaxFileBytes, &text))
        return sessions;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line) && sessions.size() < kMaxSessions;) {
        std::istringstream words(line);
        std::string id, state, user, station;
        if (!(words >> id >> state >> user) || id[0] == '#')
            continue;
        words >> station;
        SessionRecord record;
        if (!ParseId(id, &record.id) || record.id == 0)
            continue;
        record.state = StateFromWord(state);
        record.user = user == "-" ? "" : user.substr(0, 64);
        record.station = station.empty() ? "Console" : station.substr(0, 32);
        sessions.push_back(record);
    }
    return sessions;
}

/* logind's session name as a session id: its number, else a hash of the
 * name that every process computes alike, above the numbered ones. */
DWORD IdFromLogind(const char *name)
{
    DWORD id = 0;
    if (ParseId(name, &id) && id != 0)
        return id;
    uint32_t hash = 2166136261u; // FNV-1a
    for (const char *p = name; *p; p++)
        hash = (hash ^ static_cast<unsigned char>(*p)) * 16777619u;
    return 0x40000000u | (hash & 0x3FFFFFFFu);
}

std::string UserName(uid_t uid)
{
    struct passwd pw, *found = nullptr;
    char buf[1024];
    if (getpwuid_r(uid, &pw, buf, sizeof buf, &found) == 0 && found)
        return found->pw_name;
    return std::to_string(uid);
}

/* One logind session, or false for one that is not a user's log-on (a
 * greeter, a lock screen) or that went away meanwhile. */
bool LogindSession(const char *name, SessionRecord *record)
{
    char *text = nullptr;
    if (sd_session_get_class(name, &text) < 0)
        return false;
    const bool user = std::strcmp(text, "user") == 0;
    free(text);
    uid_t uid = 0;
    if (!user || sd_session_get_uid(name, &uid) < 0)
        return false;
    record->id = IdFromLogind(name);
    record->user = UserName(uid);
    record->state = WTSDisconnected;
    if (sd_session_get_state(name, &text) >= 0) {
        record->state = StateFromWord(text);
        free(text);
    }
    record->station = "Remote";
    if (sd_session_get_seat(name, &text) >= 0) {
        record->station = std::strcmp(text, "seat0") == 0 ? "Console" : text;
        free(text);
    } else if (sd_session_get_tty(name, &text) >= 0) {
        record->station = text;
        free(text);
    }
    return true;
}

std::vector<SessionRecord> LogindSessions()
{
    std::vector<SessionRecord> sessions;
    char **names = nullptr;
    const int count = sd_get_sessions(&names);
    for (int i = 0; i < count; i++) {
        SessionRecord record;
        if (sessions.size() < kMaxSessions && LogindSession(names[i], &record))
            sessions.push_back(record);
        free(names[i]);
    }
    free(names);
    return sessions;
}

bool ProcessExists(pid_t pid)
{
    return kill(pid, 0) == 0 || errno == EPERM;
}

/* WINPORT_SESSION_ID of a process of the stand-in: our own environment, or
 * another process's as it was started (0 when it is not ours to read). */
DWORD StandInSessionOf(pid_t pid)
{
    const char *kName = "WINPORT_SESSION_ID=";
    std::string value;
    if (pid == getpid()) {
        const char *own = getenv("WINPORT_SESSION_ID");
        value = own ? own : "";
    } else {
        std::string env;
        ReadSmallFile("/proc/" + std::to_string(pid) + "/environ", kMaxFileBytes, &env);
        for (size_t at = 0; at < env.size();) {
            const size_t end = std::min(env.find('\0', at), env.size());
            if (env.compare(at, std::strlen(kName), kName) == 0)
                value = env.substr(at + std::strlen(kName), end - at - std::strlen(kName));
            at = end + 1;
        }
    }
    DWORD id = 0;
    return ParseId(value, &id) ? id : 0;
}

} // namespace

std::vector<SessionRecord> ListSessions()
{
    std::vector<SessionRecord> sessions;
    SessionRecord services;
    services.station = "Services";
    sessions.push_back(services);
    const std::string standIn = StandInPath();
    for (const SessionRecord &record :
         standIn.empty() ? LogindSessions() : StandInSessions(standIn))
        sessions.push_back(record);
    return sessions;
}

bool SessionOfProcess(DWORD pid, DWORD *id)
{
    const pid_t process = static_cast<pid_t>(pid);
    if (pid == 0 || pid > 0x7FFFFFFF || !ProcessExists(process))
        return false;
    if (!StandInPath().empty()) {
        *id = StandInSessionOf(process);
        return true;
    }
    char *name = nullptr;
    *id = 0; // in no log-in session: with the services
    if (sd_pid_get_session(process, &name) >= 0) {
        *id = IdFromLogind(name);
        free(name);
    }
    return true;
}

DWORD ActiveConsoleSession()
{
    const std::string standIn = StandInPath();
    if (!standIn.empty()) {
        for (const SessionRecord &record : StandInSessions(standIn))
            if (record.station == "Console" && record.state == WTSActive)
                return record.id;
        return 0xFFFFFFFFu;
    }
    char *name = nullptr;
    if (sd_seat_get_active("seat0", &name, nullptr) < 0)
        return 0xFFFFFFFFu;
    const DWORD id = IdFromLogind(name);
    free(name);
    return id;
}

} // namespace winport
