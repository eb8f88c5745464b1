/*
 * The event log: RegisterEventSourceA, ReportEventA, DeregisterEventSource.
 *
 * Events are appended as text to C:\Windows\System32\winevt\Logs\
 * Application.log under the root, one line per event:
 *
 *   2026-12-09 08:40:00 [1234] Printkeeper ERROR 1001: first | second
 *
 * (local time, process id, source, type, the event id's low 16 bits as the
 * Event Viewer shows them, then the strings joined by " | ").  Line breaks
 * in strings are written as "\n" and other control characters as spaces,
 * so one event is always one line; raw data follows as "data=<hex>" (at most
 * 1024 bytes).  Each line goes to the file in one append, so events of
 * several processes never interleave.
 */
#include "service/service_private.h"

#include "kernel/handles.h"
#include "kernel/paths.h"
#include "utils/posix_fs.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <ctime>
#include <memory>
#include <strings.h>

namespace winport::service {
namespace {

constexpr char kLogPath[] = "C:\\Windows\\System32\\winevt\\Logs\\Application.log";
constexpr size_t kMaxString = 32766; // the longest insertion string Windows takes
constexpr size_t kMaxData = 1024;

class EventSource final : public KernelObject {
public:
    explicit EventSource(std::string source)
        : KernelObject(ObjectType::EventSource), source(std::move(source))
    {}
    const std::string source;
};

const char *TypeName(WORD type)
{
    switch (type) {
    case EVENTLOG_SUCCESS:
        return "SUCCESS";
    case EVENTLOG_ERROR_TYPE:
        return "ERROR";
    case EVENTLOG_WARNING_TYPE:
        return "WARNING";
    case EVENTLOG_INFORMATION_TYPE:
        return "INFORMATION";
    case EVENTLOG_AUDIT_SUCCESS:
        return "AUDIT_SUCCESS";
    case EVENTLOG_AUDIT_FAILURE:
        return "AUDIT_FAILURE";
    default:
        return nullptr;
    }
}

void AppendClean(std::string &line, const char *text, size_t length)
{
    for (size_t i = 0; i < length; ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c == '\r' && i + 1 < length && text[i + 1] == '\n')
            continue; // "\r\n" is one break
        if (c == '\n' || c == '\r')
            line += "\\n";
        else if (c < 0x20 || c == 0x7f)
            line += ' ';
        else
            line += static_cast<char>(c);
    }
}

bool LocalServer(LPCSTR server)
{
    if (!server || !*server)
        return true;
    while (*server == '\\')
        ++server;
    char own[MAX_COMPUTERNAME_LENGTH + 1];
    DWORD size = sizeof own;
    return (GetComputerNameA(own, &size) && strcasecmp(own, server) == 0) ||
           strcasecmp(server, "localhost") == 0 || std::strcmp(server, ".") == 0;
}

} // namespace
} // namespace winport::service

using namespace winport;
using namespace winport::service;

/* RegisterEventSourceA: a handle for reporting events under a source name
 * on the local machine (another server gives RPC_S_SERVER_UNAVAILABLE).
 * The source needs no registration. */
HANDLE WINAPI RegisterEventSourceA(LPCSTR lpUNCServerName, LPCSTR lpSourceName)
{
    if (!LocalServer(lpUNCServerName)) {
        SetLastError(RPC_S_SERVER_UNAVAILABLE);
        return nullptr;
    }
    if (!lpSourceName || !*lpSourceName) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    std::string source;
    AppendClean(source, lpSourceName, strnlen(lpSourceName, 256));
    return HandleTable::Instance().Insert(std::make_shared<EventSource>(source));
}

/* DeregisterEventSource: closes an event source handle. */
BOOL WINAPI DeregisterEventSource(HANDLE hEventLog)
{
    if (!GetObjectAs<EventSource>(hEventLog, ObjectType::EventSource))
        return FALSE;
    HandleTable::Instance().Remove(hEventLog);
    return TRUE;
}

/* ReportEventA: appends one line to the application log (see above).  An
 * unknown type or a missing string gives ERROR_INVALID_PARAMETER. */
BOOL WINAPI ReportEventA(HANDLE hEventLog, WORD wType, WORD wCategory, DWORD dwEventID,
                         PSID lpUserSid, WORD wNumStrings, DWORD dwDataSize, LPCSTR *lpStrings,
                         LPVOID lpRawData)
{
    (void)wCategory;
    (void)lpUserSid;
    auto source = GetObjectAs<EventSource>(hEventLog, ObjectType::EventSource);
    if (!source)
        return FALSE;
    const char *type = TypeName(wType);
    if (!type || (wNumStrings && !lpStrings) || (dwDataSize && !lpRawData)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    for (WORD i = 0; i < wNumStrings; ++i) {
        if (!lpStrings[i]) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return FALSE;
        }
    }
    char stamp[64];
    const time_t now = time(nullptr);
    struct tm local;
    localtime_r(&now, &local);
    strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", &local);
    std::string line = std::string(stamp) + " [" + std::to_string(getpid()) + "] " +
                       source->source + " " + type + " " + std::to_string(dwEventID & 0xFFFF) + ":";
    for (WORD i = 0; i < wNumStrings; ++i) {
        line += i ? " | " : " ";
        AppendClean(line, lpStrings[i], strnlen(lpStrings[i], kMaxString));
    }
    if (dwDataSize) {
        line += " data=";
        const auto *bytes = static_cast<const unsigned char *>(lpRawData);
        for (DWORD i = 0; i < dwDataSize && i < kMaxData; ++i) {
            char hex[4];
            std::snprintf(hex, sizeof hex, "%02x", bytes[i]);
            line += hex;
        }
    }
    line += '\n';
    MappedPath path = MapPath(kLogPath);
    if (!path.ok()) {
        SetLastError(path.error);
        return FALSE;
    }
    util::MakeDirs(util::ParentOf(path.posix));
    int fd = open(path.posix.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC | O_NOFOLLOW, 0644);
    if (fd < 0) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    const bool ok = write(fd, line.data(), line.size()) == static_cast<ssize_t>(line.size());
    close(fd);
    if (!ok) {
        SetLastError(ERROR_DISK_FULL);
        return FALSE;
    }
    return TRUE;
}
