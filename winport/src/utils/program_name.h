/*
 * The running program's name (basename of /proc/self/exe), used to name its
 * error log, and the folder of libwinport itself, where the modules and
 * fonts it ships lie.  Private to winport.
 */
#ifndef WINPORT_UTILS_PROGRAM_NAME_H
#define WINPORT_UTILS_PROGRAM_NAME_H

#include <string>

namespace winport::util {

/* "novarcprint" for /usr/lib/novarc/novarcprint; "program" when unknown. */
const std::string &ProgramName();

/* The folder holding libwinport.so; "." when unknown. */
std::string LibraryFolder();

} // namespace winport::util

#endif
