/*
 * Where the terminal sessions come from.  Private to winport.
 *
 * Where systemd-logind runs, each of its sessions of class "user" is a
 * session here (its number as the session id; a session named otherwise,
 * such as "c2", gets a stable id from its name, the same in every
 * process).  Session 0 is always there and holds the services (a process in
 * no log-in session is in it).  Without logind there is session 0 only.
 *
 * Tests stand in for logind: when WINPORT_SESSIONS names a file under the
 * winport root, the sessions are its lines, "<id> <state> <user> [<station>]"
 * (state "active", "online" or "closing", as logind says; "-" for no user),
 * and a process's own session is WINPORT_SESSION_ID (0 without it).
 */
#ifndef WINPORT_SERVICE_SESSION_SOURCE_H
#define WINPORT_SERVICE_SESSION_SOURCE_H

#include <windows.h>
#include <wtsapi32.h>

#include <string>
#include <vector>

namespace winport {

struct SessionRecord {
    DWORD id = 0;
    std::string station; // "Services", "Console", or what logind names
    std::string user;    // empty when nobody is logged on
    WTS_CONNECTSTATE_CLASS state = WTSDisconnected;
};

/* Every session, session 0 first. */
std::vector<SessionRecord> ListSessions();

/* The session of process `pid`; false when there is no such process. */
bool SessionOfProcess(DWORD pid, DWORD *id);

/* The session active on the machine's own seat, 0xFFFFFFFF for none. */
DWORD ActiveConsoleSession();

} // namespace winport

#endif
