/*
 * This process's endpoint: the Unix socket through which other processes
 * of the same winport root post and send window messages to its windows
 * and hand it sockets.  Private to winport.
 *
 * The endpoint is <root>/winport/endpoints/<pid>.sock, opened when the
 * process publishes its first top-level window (a process without windows
 * has none, as a process without windows cannot be reached on Windows).
 * One listener thread accepts connections; each connection carries one
 * request (wire.h), handled on a thread of its own so that a SendMessage
 * waiting for a busy window never holds up the others.  Requests are read
 * with bounded sizes and a time limit; a malformed one is dropped with a
 * line in the process's error log.  Only processes of the same user (or
 * root) are served.
 */
#ifndef WINPORT_USER_ENDPOINT_H
#define WINPORT_USER_ENDPOINT_H

#include "user/wire.h"

#include <windows.h>

#include <string>

namespace winport::endpoint {

/* Real milliseconds a peer may take between the pieces of one request or
 * reply before the connection is dropped (a guard, not a Windows time-out). */
constexpr int kIoGuardMs = 5000;

/* Listens under the current root (moving there after the root changed).
 * True when listening.  Thread-safe. */
bool EnsureListening();

/* <root>/winport/endpoints/<pid>.sock */
std::string PathFor(const std::string &root, DWORD pid);

/* A connected socket to process `pid`'s endpoint under the current root,
 * or -1 when it has none. */
int Connect(DWORD pid);

/* Sends one request (with a descriptor when passFd >= 0) and reads its
 * reply, which comes at once.  False when the process cannot be reached or
 * answers nonsense. */
bool Call(DWORD pid, wire::Kind kind, const wire::Bytes &body, int passFd, wire::Reply *reply);

} // namespace winport::endpoint

#endif
