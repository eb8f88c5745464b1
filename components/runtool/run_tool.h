/*
 * Running an outside program (Ghostscript, LibreOffice) from a component:
 * its output thrown away, for a bounded time, then killed with whatever it
 * started, so a stuck converter never holds a print job for ever.
 */
#pragma once

#include <atomic>
#include <string>
#include <vector>

namespace runtool {

/* Runs args[0] (searched on PATH when it has no slash) with args, standard
 * input and output on /dev/null, standard error too unless `keepErrors`,
 * in a process group of its own.  True when it exited with status 0
 * within `seconds`; after that it and its group are killed, as they are
 * as soon as `*stop` (when given) turns true. */
bool RunBounded(std::vector<std::string> args, int seconds, bool keepErrors = false,
                const std::atomic<bool> *stop = nullptr);

} // namespace runtool
