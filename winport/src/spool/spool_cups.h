/*
 * Private to the spooler's CUPS files: the libcups headers and a
 * connection to the server libcups would use now.
 */
#ifndef WINPORT_SPOOL_CUPS_H
#define WINPORT_SPOOL_CUPS_H

#include "spool/spool_private.h"

#include <cups/cups.h>
#include <cups/ipp.h>
#include <cups/pwg.h>

namespace winport::spool {

/* A connection to the current server (CUPS_SERVER read afresh), or null
 * when nobody answers within two seconds. */
http_t *ConnectCups();

} // namespace winport::spool

#endif /* WINPORT_SPOOL_CUPS_H */
