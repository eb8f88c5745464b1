/*
 * Who a pipe's client is: the credentials the kernel gives for the socket
 * (SO_PEERCRED), GetNamedPipeClientProcessId, ImpersonateNamedPipeClient, RevertToSelf and
 * CheckTokenMembership.
 *
 * The mapping: the Administrators and SYSTEM SIDs stand for whoever may
 * administer what this process serves: root, the process's own user (the
 * service account) and the members of the group that owns the root (the
 * operators).  Everyone (S-1-1-0) takes in every user.  No other SID has
 * members here.
 */
#include "kernel/named_pipe.h"

#include "kernel/root.h"
#include "security/security.h"
#include "service/service_private.h"
#include "utils/peer_group.h"

#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

namespace winport {
namespace {

struct Impersonation {
    bool active = false;
    PipeClient client;
};
thread_local Impersonation t_impersonation;

bool IsEveryone(const void *sid)
{
    const auto *s = static_cast<const SID *>(sid);
    static const BYTE world[6] = {0, 0, 0, 0, 0, 1};
    return s->SubAuthorityCount == 1 && std::memcmp(s->IdentifierAuthority.Value, world, 6) == 0 &&
           s->SubAuthority[0] == SECURITY_WORLD_RID;
}

} // namespace

PipeClient IdentifyPipeClient(int fd)
{
    PipeClient client;
    ucred cred = {};
    socklen_t len = sizeof cred;
    if (getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &cred, &len) != 0) {
        client.uid = static_cast<uid_t>(-1);
        return client; // nobody we know: no rights
    }
    struct stat rootInfo;
    const gid_t rootGid = stat(Root().c_str(), &rootInfo) == 0 ? rootInfo.st_gid : 0;
    client.pid = cred.pid;
    client.uid = cred.uid;
    client.mayAdminister = service::MayControl(
        cred.uid, rootGid != 0 && util::PeerInGroup(cred.pid, cred.gid, rootGid), geteuid(),
        rootGid);
    return client;
}

} // namespace winport

/* GetNamedPipeClientProcessId: the connected client's process id
 * (ERROR_PIPE_NOT_CONNECTED when none is). */
BOOL WINAPI GetNamedPipeClientProcessId(HANDLE Pipe, ULONG *ClientProcessId)
{
    using namespace winport;
    auto pipe = NamedPipeOf(Pipe);
    if (!pipe || !pipe->server() || !ClientProcessId) {
        SetLastError(!ClientProcessId ? ERROR_INVALID_PARAMETER : ERROR_INVALID_HANDLE);
        return FALSE;
    }
    std::lock_guard<std::mutex> guard(pipe->lock);
    if (pipe->conn < 0) {
        SetLastError(ERROR_PIPE_NOT_CONNECTED);
        return FALSE;
    }
    *ClientProcessId = static_cast<ULONG>(pipe->client.pid);
    return TRUE;
}

/* ImpersonateNamedPipeClient: this thread takes on the identity of the
 * client connected to the server instance (ERROR_CANNOT_IMPERSONATE when
 * none is). */
BOOL WINAPI ImpersonateNamedPipeClient(HANDLE hNamedPipe)
{
    using namespace winport;
    auto pipe = NamedPipeOf(hNamedPipe);
    if (!pipe || !pipe->server()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    std::lock_guard<std::mutex> guard(pipe->lock);
    if (pipe->conn < 0) {
        SetLastError(ERROR_CANNOT_IMPERSONATE);
        return FALSE;
    }
    t_impersonation.active = true;
    t_impersonation.client = pipe->client;
    return TRUE;
}

/* RevertToSelf: ends the thread's impersonation (TRUE without one). */
BOOL WINAPI RevertToSelf(void)
{
    winport::t_impersonation = winport::Impersonation();
    return TRUE;
}

/* CheckTokenMembership: with a NULL token, whether the identity the thread
 * has (the impersonated client, else the process) is in the SID's group,
 * as mapped above.  Other tokens stand for this process's user. */
BOOL WINAPI CheckTokenMembership(HANDLE TokenHandle, PSID SidToCheck, PBOOL IsMember)
{
    using namespace winport;
    if (!IsMember || !SidToCheck) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    *IsMember = FALSE;
    if (!security::ValidSid(SidToCheck)) {
        SetLastError(ERROR_INVALID_SID);
        return FALSE;
    }
    const bool asClient = TokenHandle == NULL && t_impersonation.active;
    if (IsEveryone(SidToCheck))
        *IsMember = TRUE;
    else if (security::IsRootSid(SidToCheck))
        *IsMember = asClient ? t_impersonation.client.mayAdminister : TRUE;
    return TRUE;
}
