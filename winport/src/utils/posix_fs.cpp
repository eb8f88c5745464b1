/*
 * POSIX file-system helpers (see posix_fs.h).
 */
#include "utils/posix_fs.h"

#include <dirent.h>
#include <strings.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <memory>
#include <thread>

namespace winport::util {

int MakeDirs(const std::string &path)
{
    if (path.empty())
        return ENOENT;
    std::string partial;
    partial.reserve(path.size());
    size_t pos = 0;
    while (pos <= path.size()) {
        size_t next = path.find('/', pos);
        if (next == std::string::npos)
            next = path.size();
        partial.assign(path, 0, next);
        pos = next + 1;
        if (partial.empty() || partial.back() == '/')
            continue;
        if (mkdir(partial.c_str(), 0777) != 0 && errno != EEXIST)
            return errno;
    }
    return IsDirectory(path) ? 0 : ENOTDIR;
}

bool IsDirectory(const std::string &path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool Exists(const std::string &path)
{
    struct stat st;
    return lstat(path.c_str(), &st) == 0;
}

std::optional<std::string> FindNoCase(const std::string &dir, const std::string &name)
{
    if (Exists(dir + "/" + name))
        return name;
    std::unique_ptr<DIR, int (*)(DIR *)> d(opendir(dir.c_str()), closedir);
    if (!d)
        return std::nullopt;
    std::optional<std::string> best;
    while (dirent *e = readdir(d.get())) {
        if (strcasecmp(e->d_name, name.c_str()) != 0)
            continue;
        if (!best || std::string(e->d_name) < *best)
            best = e->d_name;
    }
    return best;
}

std::string ParentOf(const std::string &path)
{
    size_t slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    if (slash == 0)
        return "/";
    return path.substr(0, slash);
}

int WriteAllFd(int fd, const void *data, size_t size)
{
    const char *p = static_cast<const char *>(data);
    for (size_t done = 0; done < size;) {
        ssize_t w = write(fd, p + done, size - done);
        if (w < 0 && errno == EINTR)
            continue;
        if (w < 0)
            return errno;
        if (w == 0)
            return EIO;
        done += static_cast<size_t>(w);
    }
    return 0;
}

int ReadFdUpTo(int fd, size_t limit, std::string *text, bool *more)
{
    text->clear();
    *more = false;
    char buf[65536];
    for (;;) {
        ssize_t n = read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return errno;
        if (n == 0)
            return 0;
        size_t take = static_cast<size_t>(n);
        if (text->size() + take > limit) {
            text->append(buf, limit - text->size());
            *more = true;
            return 0;
        }
        text->append(buf, take);
    }
}

int CopyFdData(int in, int out)
{
    char buf[65536];
    for (;;) {
        ssize_t n = read(in, buf, sizeof buf);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return errno;
        if (n == 0)
            return 0;
        if (int err = WriteAllFd(out, buf, static_cast<size_t>(n)))
            return err;
    }
}

int LockBounded(int fd, int op, int realMs)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(realMs);
    for (int pauseMs = 1;; pauseMs = pauseMs < 50 ? pauseMs * 2 : 50) {
        if (flock(fd, op | LOCK_NB) == 0)
            return 0;
        if (errno != EWOULDBLOCK && errno != EINTR)
            return errno;
        if (std::chrono::steady_clock::now() >= end)
            return ETIMEDOUT;
        std::this_thread::sleep_for(std::chrono::milliseconds(pauseMs));
    }
}

} // namespace winport::util
