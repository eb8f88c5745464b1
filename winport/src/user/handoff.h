/*
 * Descriptors handed to this process and not yet claimed: the receiving
 * side of WSADuplicateSocketA.  Private to winport.
 *
 * Another process (or this one) parks a socket here under a 64-bit token;
 * WSASocketA with the protocol info that carries the token claims it
 * exactly once.  A descriptor nobody claims within kLifetimeMs (nominal,
 * so WINPORT_TIME_SCALE shortens it) is closed, so an abandoned hand-off
 * leaks nothing.  Thread-safe.
 */
#ifndef WINPORT_USER_HANDOFF_H
#define WINPORT_USER_HANDOFF_H

#include "user/wire.h"

#include <cstdint>

namespace winport::handoff {

constexpr uint64_t kLifetimeMs = 120000;

struct Parked {
    int fd = -1;
    int family = 0; // Windows numbering
    int type = 0;
    int protocol = 0;
};

/* Parks `parked.fd` (taking ownership) under `token`; a token already
 * parked is replaced (its old descriptor closed). */
void Park(uint64_t token, const Parked &parked);
/* Claims a parked descriptor: true once per token, false when unknown or
 * expired. */
bool Claim(uint64_t token, Parked *out);

/* For the endpoint thread: real ms until the next expiry (-1: none), and
 * closing what has expired. */
int64_t NextExpiryMs();
void ExpireDue();

/* The endpoint's handler of a Park request; takes ownership of `fd`. */
wire::Reply HandlePark(const wire::Bytes &body, int fd);

/* Closes everything parked (tests). */
void Clear();

} // namespace winport::handoff

#endif
