/*
 * A plain BSD-sockets peer for the Winsock tests: what another program on
 * the machine would do to our sockets (connect, abort with a reset), and a
 * look at the process's descriptors.  Implemented with <sys/socket.h> in its
 * own translation unit; this header uses only plain types so that Winsock
 * tests can include it.  Tests only.
 */
#ifndef WINPORT_TESTS_POSIX_PEER_H
#define WINPORT_TESTS_POSIX_PEER_H

#include <cstddef>
#include <cstdint>

/* Connects to 127.0.0.1:port (host order); the descriptor, or -1. */
int PosixConnect(uint16_t port);
/* Sends all bytes; false on failure. */
bool PosixSendAll(int fd, const void *data, size_t length);
/* Closes with SO_LINGER {on, 0}: the peer gets a reset, not an orderly end. */
void PosixAbort(int fd);
void PosixClose(int fd);
/* Whether every socket descriptor of the process is close-on-exec;
 * `*sockets` receives how many socket descriptors there are. */
bool AllSocketsCloseOnExec(int *sockets);

#endif
