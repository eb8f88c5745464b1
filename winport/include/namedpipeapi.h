/*
 * Named pipes ("\\.\pipe\<name>") and the client identity a pipe server
 * may check: CreateNamedPipeA, ConnectNamedPipe, DisconnectNamedPipe,
 * WaitNamedPipeA, SetNamedPipeHandleState, TransactNamedPipe,
 * ImpersonateNamedPipeClient, RevertToSelf and CheckTokenMembership.
 * A client opens a pipe with CreateFileA and uses ReadFile, WriteFile,
 * FlushFileBuffers and CloseHandle as on Windows.  Overlapped I/O is not
 * supported.  Not part of windows.h here: include it where pipes are used.
 */
#ifndef WINPORT_NAMEDPIPEAPI_H
#define WINPORT_NAMEDPIPEAPI_H

#include "windef.h"
#include "winerror.h"
#include "winnt.h"

/* The error codes of pipes and impersonation (winerror.h's values). */
#define ERROR_SEM_TIMEOUT 121L
#define ERROR_BAD_PIPE 230L
#define ERROR_PIPE_BUSY 231L
#define ERROR_PIPE_NOT_CONNECTED 233L
#define ERROR_PIPE_CONNECTED 535L
#define ERROR_PIPE_LISTENING 536L
#define ERROR_CANNOT_IMPERSONATE 1368L

WINPORT_BEGIN_C

#define PIPE_ACCESS_INBOUND 0x00000001
#define PIPE_ACCESS_OUTBOUND 0x00000002
#define PIPE_ACCESS_DUPLEX 0x00000003

#define PIPE_TYPE_BYTE 0x00000000
#define PIPE_TYPE_MESSAGE 0x00000004
#define PIPE_READMODE_BYTE 0x00000000
#define PIPE_READMODE_MESSAGE 0x00000002
#define PIPE_WAIT 0x00000000
#define PIPE_NOWAIT 0x00000001

#define PIPE_UNLIMITED_INSTANCES 255
#define NMPWAIT_USE_DEFAULT_WAIT 0x00000000
#define NMPWAIT_WAIT_FOREVER 0xffffffff

HANDLE WINAPI CreateNamedPipeA(LPCSTR lpName, DWORD dwOpenMode, DWORD dwPipeMode,
                               DWORD nMaxInstances, DWORD nOutBufferSize, DWORD nInBufferSize,
                               DWORD nDefaultTimeOut, LPSECURITY_ATTRIBUTES lpSecurityAttributes);
BOOL WINAPI ConnectNamedPipe(HANDLE hNamedPipe, LPVOID lpOverlapped);
BOOL WINAPI DisconnectNamedPipe(HANDLE hNamedPipe);
BOOL WINAPI WaitNamedPipeA(LPCSTR lpNamedPipeName, DWORD nTimeOut);
BOOL WINAPI SetNamedPipeHandleState(HANDLE hNamedPipe, LPDWORD lpMode, LPDWORD lpMaxCollectionCount,
                                    LPDWORD lpCollectDataTimeout);
BOOL WINAPI TransactNamedPipe(HANDLE hNamedPipe, LPVOID lpInBuffer, DWORD nInBufferSize,
                              LPVOID lpOutBuffer, DWORD nOutBufferSize, LPDWORD lpBytesRead,
                              LPVOID lpOverlapped);

/* The server thread takes on the identity of the connected client until
 * RevertToSelf; CheckTokenMembership with a NULL token then asks about the
 * client (see winport/README.md, "Named pipes", for what the identities
 * mean here). */
/* The process id of the client connected to a server instance. */
BOOL WINAPI GetNamedPipeClientProcessId(HANDLE Pipe, ULONG *ClientProcessId);

BOOL WINAPI ImpersonateNamedPipeClient(HANDLE hNamedPipe);
BOOL WINAPI RevertToSelf(void);
BOOL WINAPI CheckTokenMembership(HANDLE TokenHandle, PSID SidToCheck, PBOOL IsMember);

WINPORT_END_C

#endif /* WINPORT_NAMEDPIPEAPI_H */
