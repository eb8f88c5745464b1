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

/* A scratch folder of its own for one run of an outside program (its
 * profile, its input and output), made in the temporary folder under
 * "<prefix>XXXXXX" and removed with everything in it at the end of the
 * scope.  path() is empty when it could not be made. */
class WorkFolder {
public:
    explicit WorkFolder(const char *prefix);
    ~WorkFolder();
    WorkFolder(const WorkFolder &) = delete;
    WorkFolder &operator=(const WorkFolder &) = delete;
    const std::string &path() const { return path_; }

private:
    std::string path_;
};

} // namespace runtool
