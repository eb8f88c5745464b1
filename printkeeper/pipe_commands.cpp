/*
 * The commands the tray companion sends over the pipe, and what the
 * service does with them.  Any local user's companion may keep the pipe
 * alive; stopping the service and switching the print clients' debug logs
 * are for root, the service's own user and the operators group, because
 * the pipe is open to every user who can reach it.
 */
#include <cstring>

#include "printkeeper.h"

#include <namedpipeapi.h> /* after windows.h, which printkeeper.h brings */

PipeCommand ParsePipeCommand(const char *pData, int iLen)
{
    if (!pData || iLen <= 0)
        return PIPE_KEEPALIVE;
    const void *pNul = memchr(pData, 0, (size_t)iLen);
    const size_t len = pNul ? (size_t)((const char *)pNul - pData) : (size_t)iLen;
    auto is = [&](const char *szCommand) {
        return len == strlen(szCommand) && memcmp(pData, szCommand, len) == 0;
    };
    if (is(PIPE_CMD_SHUTDOWN))
        return PIPE_SHUTDOWN;
    if (is(PIPE_CMD_DEBUG_LOG))
        return PIPE_DEBUG_LOG;
    return PIPE_KEEPALIVE;
}

bool PipeCommandNeedsOperator(PipeCommand command)
{
    return command == PIPE_SHUTDOWN || command == PIPE_DEBUG_LOG;
}

bool ToggleDebugLogFlag()
{
    if (FileExists(DEBUG_MARKER_FILE)) {
        DeleteFileA(DEBUG_MARKER_FILE);
        return false;
    }
    HANDLE hFile = CreateFileA(DEBUG_MARKER_FILE, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, NULL);
    if (hFile != INVALID_HANDLE_VALUE)
        CloseHandle(hFile);
    return hFile != INVALID_HANDLE_VALUE;
}

namespace {

/* Whether the client of hPipe is root, the service's user or an operator. */
bool ClientMayAdminister(HANDLE hPipe)
{
    SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
    PSID pAdmins = NULL;
    if (!AllocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0,
                                  0, 0, 0, 0, 0, &pAdmins))
        return false;
    BOOL bMember = FALSE;
    if (ImpersonateNamedPipeClient(hPipe)) {
        if (!CheckTokenMembership(NULL, pAdmins, &bMember))
            bMember = FALSE;
        RevertToSelf();
    }
    FreeSid(pAdmins);
    return bMember != FALSE;
}

} // namespace

void ExecutePipeCommand(HANDLE hPipe, PipeCommand command)
{
    if (command == PIPE_KEEPALIVE)
        return;
    if (PipeCommandNeedsOperator(command) && !ClientMayAdminister(hPipe)) {
        ULONG ulPid = 0;
        GetNamedPipeClientProcessId(hPipe, &ulPid);
        LogLine("Pipe command %s from process %lu refused: only root, the service's user and "
                "operators may send it",
                command == PIPE_SHUTDOWN ? PIPE_CMD_SHUTDOWN : PIPE_CMD_DEBUG_LOG,
                (unsigned long)ulPid);
        return;
    }
    if (command == PIPE_DEBUG_LOG) {
        ToggleDebugLogFlag();
        return;
    }
    LogLine("Print service version %d.%d stopping at user request.", PRINTKEEPER_VERSION_MAJOR,
            PRINTKEEPER_VERSION_MINOR);
    if (!g_Printkeeper.bDebug)
        ReportStatusToSCMgr(SERVICE_STOP_PENDING, NO_ERROR, 0);
    ServiceStop();
}
