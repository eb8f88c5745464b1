/*
 * The running program's name (basename of /proc/self/exe), used to name its
 * error log.  Private to winport.
 */
#ifndef WINPORT_UTILS_PROGRAM_NAME_H
#define WINPORT_UTILS_PROGRAM_NAME_H

#include <string>

namespace winport::util {

/* "novarcprint" for /usr/lib/novarc/novarcprint; "program" when unknown. */
const std::string &ProgramName();

} // namespace winport::util

#endif
