/*
 * The process's error log, <root>/winport/log/<program>.log: where headless
 * user-interface output (message boxes now; balloon tips later) goes.
 * Private to winport; thread-safe.
 */
#ifndef WINPORT_USER_ERROR_LOG_H
#define WINPORT_USER_ERROR_LOG_H

#include <string>

namespace winport {

/* Appends "<yyyy-mm-dd hh:mm:ss> [pid] <message>" as one line (line breaks
 * inside the message are written as "\n") and copies the line to stderr when
 * stderr is a terminal.  Failures to write are ignored. */
void WriteErrorLog(const std::string &message);

/* The log file's POSIX path for the current root. */
std::string ErrorLogPath();

} // namespace winport

#endif
