/*
 * What the service parts share: where a running service listens, the small
 * request/reply exchanged with it, the systemd integration and the signal
 * route from the console part to the service dispatcher.  Private to
 * winport.
 *
 * A running service (a process inside StartServiceCtrlDispatcherA) holds
 * an exclusive flock on <root>/winport/services/<key>.lock and listens on
 * <key>.sock beside it; <key>.status keeps the last status it reported, so
 * a service that ended can still be queried.  <key> is the service name in
 * lower case (names ignore case), escaped, or a hash when it would not fit
 * a socket address.
 */
#ifndef WINPORT_SERVICE_PRIVATE_H
#define WINPORT_SERVICE_PRIVATE_H

#include <windows.h>

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

namespace winport::service {

/* <root>/winport/services (created on demand by callers that write). */
std::string ServicesFolder();
/* The file name stem for a service name (see above). */
std::string FileKey(const std::string &serviceName);

/* One request on a service's socket: a control, or 0 for "status only". */
constexpr uint32_t kMagic = 0x31535057; // "WPS1"
constexpr uint32_t kStatusOnly = 0;
/* Real milliseconds one side may take to write its piece. */
constexpr int kIoGuardMs = 2000;

struct Reply {
    DWORD error = 0; // 0, or why the control was refused
    SERVICE_STATUS status{};
};

/* Asks the running service for its status or hands it a control.  Returns
 * false when no process serves the name (nothing listens).  A reply that
 * does not come within `waitMs` real milliseconds gives
 * ERROR_SERVICE_REQUEST_TIMEOUT in reply->error. */
bool Call(const std::string &serviceName, uint32_t control, Reply *reply, int waitMs);

/* The status a service that is not running reports: the last one it wrote
 * when it stopped, or SERVICE_STOPPED with ERROR_PROCESS_ABORTED when it
 * ended without saying so, or a plain SERVICE_STOPPED when it never ran. */
SERVICE_STATUS StoppedStatus(const std::string &serviceName);
/* Records a reported status in <key>.status (written aside and renamed). */
void SaveStatus(const std::string &serviceName, const SERVICE_STATUS &status);

/* The listening side, used by the dispatcher. */
struct Listener {
    int lockFd = -1;
    int sockFd = -1;
    std::string sockPath;
};
/* Takes the service's lock and listens.  0, or ERROR_SERVICE_ALREADY_RUNNING
 * when another process serves the name, or another error. */
DWORD Listen(const std::string &serviceName, Listener *out);
void Unlisten(Listener *listener);
/* A request is kRequestSize bytes: magic, control, two reserved words.
 * DecodeRequest checks the bytes read off `conn`; false when they are no
 * request.  *mayControl tells whether the peer may send controls other
 * than interrogate: root, the service's own user, or a member of the group
 * that owns the winport root (MayControl decides from those facts). */
bool MayControl(uid_t peerUid, bool peerInRootGroup, uid_t serviceUid, gid_t rootGid);
constexpr size_t kRequestSize = 16;
bool DecodeRequest(int conn, const unsigned char *bytes, uint32_t *control, bool *mayControl);
void WriteReply(int conn, const Reply &reply);

/* The account a service runs as (account.cpp): an empty user is
 * LocalSystem, which is root. */
struct ServiceAccount {
    std::string user;
    std::string group; // the user's primary group
    uid_t uid = 0;
    gid_t gid = 0;
};
/* LocalSystem (NULL or its names), or ".\name" / "name" of an existing
 * user other than root; false for anything else. */
bool ResolveAccount(const char *account, ServiceAccount *out);
/* The record's ObjectName: "LocalSystem" or ".\name". */
std::string AccountObjectName(const ServiceAccount &account);
/* Starts argv (POSIX program first) with the environment block as the
 * account's user, detached; root only.  0 or a Windows error. */
DWORD SpawnAsAccount(const ServiceAccount &account, const std::vector<std::string> &argv,
                     const std::string &environment);
/* The exit status with which a service refuses to run in this
 * configuration: its unit lists it in RestartPreventExitStatus, so systemd
 * shows the service failed and does not start it again (sysexits' EX_CONFIG). */
constexpr int kNoRestartExitStatus = 78;

/* systemd: used when it runs and WINPORT_NO_SYSTEMD is not set. */
bool SystemdInUse();
/* "<escaped name>.service" */
std::string UnitName(const std::string &serviceName);
/* The unit file's text for a service ("" when the image path is empty). */
std::string UnitText(const std::string &serviceName, const std::string &displayName,
                     const std::string &imagePath, const ServiceAccount &account);
/* Writes /etc/systemd/system/<unit>, reloads, enables it for auto start.
 * 0 or a Windows error. */
DWORD InstallUnit(const std::string &serviceName, const std::string &displayName,
                  const std::string &imagePath, const ServiceAccount &account, bool autoStart);
/* Disables and removes the unit (a missing one is fine). */
void RemoveUnit(const std::string &serviceName);
/* systemctl start; 0 or a Windows error. */
DWORD StartUnit(const std::string &serviceName);

/* The image path split into the program (mapped to a POSIX path when it is
 * a Windows path) and its arguments, by the C runtime's rules. */
std::vector<std::string> SplitImagePath(const std::string &imagePath);

/* Removes the service's registry record when DeleteService marked it while
 * it ran (the dispatcher calls it once the service stopped). */
void RemoveRecordIfMarked(const std::string &serviceName);

/* The console part's signal thread hands SIGTERM here while a dispatcher
 * runs: true when the dispatcher took it (as SERVICE_CONTROL_STOP). */
bool RouteTerminateToService();
/* Makes sure SIGTERM is watched (the dispatcher calls it when it starts). */
void WatchTerminate();

} // namespace winport::service

#endif
