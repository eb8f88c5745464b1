/*
 * Hive files (see hive.h): reading when changed, locking, and writing aside
 * then renaming, so that no crash leaves a half-written registry.
 */
#include "registry/hive.h"

#include "utils/posix_fs.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstring>

namespace winport::reg {
namespace {

constexpr size_t kCounterText = 32;

int64_t MtimeNs(const struct stat &st)
{
    return static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
}

uint64_t ReadCounter(int fd)
{
    char text[kCounterText + 1] = {};
    ssize_t n = pread(fd, text, kCounterText, 0);
    uint64_t counter = 0;
    if (n > 0)
        sscanf(text, "generation %" SCNu64, &counter);
    return counter;
}

/* The counter as a reader sees it; 0 when no writer has made the file. */
uint64_t PeekCounter(const std::string &lockPath)
{
    int fd = open(lockPath.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return 0;
    uint64_t counter = ReadCounter(fd);
    close(fd);
    return counter;
}

} // namespace

LSTATUS ErrorFromErrno(int err)
{
    switch (err) {
    case EACCES:
    case EPERM:
    case EROFS:
        return ERROR_ACCESS_DENIED;
    case ENOSPC:
    case EDQUOT:
        return ERROR_DISK_FULL;
    case ENOMEM:
        return ERROR_NOT_ENOUGH_MEMORY;
    default:
        return ERROR_REGISTRY_IO_FAILED;
    }
}

Hive::Hive(std::string folder, std::string base, HiveKind kind, std::string title)
    : folder_(folder), path_(folder + "/" + base + ".reg"),
      lockPath_(folder + "/" + base + ".lock"), tmpPath_(path_ + ".tmp"), kind_(kind),
      title_(std::move(title))
{}

Hive::WriteLock::~WriteLock()
{
    if (fd_ >= 0) {
        flock(fd_, LOCK_UN);
        close(fd_);
    }
}

LSTATUS Hive::WriteLock::Acquire(const Hive &hive)
{
    if (int err = util::MakeDirs(hive.folder_))
        return ErrorFromErrno(err);
    const mode_t mode = hive.kind_ == HiveKind::User ? 0600 : 0644;
    for (;;) {
        fd_ = open(hive.lockPath_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, mode);
        if (fd_ < 0)
            return ErrorFromErrno(errno);
        if (int err = util::LockBounded(fd_, LOCK_EX, util::kSharedLockWaitMs)) {
            close(fd_);
            fd_ = -1;
            return ErrorFromErrno(err);
        }
        // Someone may have removed or replaced the lock file meanwhile; a
        // lock on a file nobody else opens would exclude nobody.
        struct stat held, now;
        if (fstat(fd_, &held) == 0 && stat(hive.lockPath_.c_str(), &now) == 0 &&
            held.st_dev == now.st_dev && held.st_ino == now.st_ino)
            break;
        flock(fd_, LOCK_UN);
        close(fd_);
        fd_ = -1;
    }
    counter_ = ReadCounter(fd_);
    return ERROR_SUCCESS;
}

void Hive::WriteLock::SetCounter(uint64_t counter)
{
    char text[kCounterText + 1];
    int n = snprintf(text, sizeof text, "generation %020" PRIu64 "\n", counter);
    if (pwrite(fd_, text, static_cast<size_t>(n), 0) == n)
        counter_ = counter;
}

FileStamp Hive::CurrentStamp() const
{
    FileStamp stamp;
    stamp.counter = PeekCounter(lockPath_); // before the file: see LoadLocked
    struct stat st;
    if (stat(path_.c_str(), &st) == 0) {
        stamp.exists = true;
        stamp.dev = st.st_dev;
        stamp.ino = st.st_ino;
        stamp.size = st.st_size;
        stamp.mtimeNs = MtimeNs(st);
    }
    return stamp;
}

LSTATUS Hive::RefreshLocked()
{
    FileStamp seen = CurrentStamp();
    if (loaded_ && seen == stamp_)
        return ERROR_SUCCESS;
    return LoadLocked(seen);
}

/* Reads the file.  The counter in `seen` was read before the file was
 * opened, so a writer that renamed a newer file in between shows up as a
 * counter change on the next check and the file is simply read again. */
LSTATUS Hive::LoadLocked(const FileStamp &seen)
{
    const uint64_t now = NowFileTime();
    int fd = open(path_.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        if (errno != ENOENT)
            return ErrorFromErrno(errno);
        tree_ = Tree(now);
        EnsureLayout(tree_, kind_, now);
        stamp_ = FileStamp{};
        stamp_.counter = seen.counter;
        loaded_ = true;
        damaged_ = false;
        return ERROR_SUCCESS;
    }
    std::string text;
    bool truncated = false;
    struct stat st;
    int err =
        fstat(fd, &st) == 0 ? util::ReadFdUpTo(fd, kMaxHiveFileSize, &text, &truncated) : errno;
    close(fd);
    if (err)
        return ErrorFromErrno(err);
    ParseReport report;
    tree_ = ParseHive(text, kind_, now, report);
    EnsureLayout(tree_, kind_, now);
    damaged_ = truncated || report.damagedLines > 0;
    if (damaged_)
        ReportDamage(report, truncated);
    stamp_ = FileStamp{true, seen.counter, st.st_dev, st.st_ino, st.st_size, MtimeNs(st)};
    loaded_ = true;
    return ERROR_SUCCESS;
}

void Hive::ReportDamage(const ParseReport &report, bool truncated) const
{
    if (truncated)
        fprintf(stderr, "winport: registry file %s is larger than %zu bytes; the rest is ignored\n",
                path_.c_str(), kMaxHiveFileSize);
    if (report.damagedLines)
        fprintf(stderr,
                "winport: registry file %s is damaged: %zu line(s) skipped, the rest was read\n",
                path_.c_str(), report.damagedLines);
    for (const std::string &problem : report.problems)
        fprintf(stderr, "winport:   %s\n", problem.c_str());
    fprintf(stderr, "winport: the next change keeps the damaged file as %s.damaged\n",
            path_.c_str());
}

LSTATUS Hive::CommitLocked(WriteLock &file)
{
    tree_.generation = std::max(tree_.generation, file.counter()) + 1;
    std::string text = SerializeHive(tree_, title_);
    LSTATUS err = text.size() > kMaxHiveFileSize ? ERROR_NOT_ENOUGH_MEMORY : WriteFileLocked(text);
    if (err != ERROR_SUCCESS) {
        loaded_ = false; // the change did not reach the file: forget it
        return err;
    }
    file.SetCounter(tree_.generation);
    stamp_ = CurrentStamp();
    damaged_ = false;
    return ERROR_SUCCESS;
}

LSTATUS Hive::WriteFileLocked(const std::string &text)
{
    mode_t mode = kind_ == HiveKind::User ? 0600 : 0644;
    struct stat old;
    if (stat(path_.c_str(), &old) == 0)
        mode = old.st_mode & 07777;
    unlink(tmpPath_.c_str()); // a leftover, or a link someone put there: never written through
    int fd = open(tmpPath_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, mode);
    if (fd < 0)
        return ErrorFromErrno(errno);
    int err = fchmod(fd, mode) == 0 ? util::WriteAllFd(fd, text.data(), text.size()) : errno;
    if (!err && fsync(fd) != 0)
        err = errno;
    if (close(fd) != 0 && !err)
        err = errno;
    if (!err && damaged_)
        KeepDamagedCopy();
    if (!err && rename(tmpPath_.c_str(), path_.c_str()) != 0)
        err = errno;
    if (err) {
        unlink(tmpPath_.c_str());
        return ErrorFromErrno(err);
    }
    int dir = open(folder_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) { // makes the rename itself durable
        fsync(dir);
        close(dir);
    }
    return ERROR_SUCCESS;
}

/* A second name for the damaged file, so the rename does not lose it. */
void Hive::KeepDamagedCopy() const
{
    const std::string copy = path_ + ".damaged";
    unlink(copy.c_str());
    if (link(path_.c_str(), copy.c_str()) != 0 && errno != ENOENT)
        fprintf(stderr, "winport: cannot keep %s: %s\n", copy.c_str(), strerror(errno));
}

} // namespace winport::reg
