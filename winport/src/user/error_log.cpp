/*
 * The process's error log (see error_log.h).
 */
#include "user/error_log.h"

#include "kernel/root.h"
#include "utils/posix_fs.h"
#include "utils/program_name.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <ctime>
#include <mutex>

namespace winport {
namespace {

std::string OneLine(const std::string &text)
{
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); i++) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
            continue; // CR LF -> "\n"
        if (text[i] == '\n' || text[i] == '\r')
            out += "\\n";
        else
            out += text[i];
    }
    return out;
}

} // namespace

std::string ErrorLogPath()
{
    return Root() + "/winport/log/" + util::ProgramName() + ".log";
}

void WriteErrorLog(const std::string &message)
{
    static std::mutex lock;
    time_t now = time(nullptr);
    struct tm tm;
    localtime_r(&now, &tm);
    char stamp[64];
    std::snprintf(stamp, sizeof stamp, "%04d-%02d-%02d %02d:%02d:%02d [%d] ", tm.tm_year + 1900,
                  tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec,
                  static_cast<int>(getpid()));
    const std::string line = stamp + OneLine(message) + "\n";

    std::lock_guard<std::mutex> guard(lock);
    const std::string path = ErrorLogPath();
    util::MakeDirs(util::ParentOf(path));
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC | O_NOFOLLOW, 0640);
    if (fd >= 0) {
        util::WriteAllFd(
            fd, line.data(),
            line.size()); // one write with O_APPEND: lines of processes do not interleave
        close(fd);
    }
    if (isatty(STDERR_FILENO))
        util::WriteAllFd(STDERR_FILENO, line.data(), line.size());
}

} // namespace winport
