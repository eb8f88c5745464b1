/*
 * One hive file shared by every process of a winport root.  Private to
 * winport.
 *
 * A Hive keeps the file's tree in memory and answers reads from it as long
 * as the file is unchanged: before each operation it compares the file's
 * identity (device, inode, size, modification time) and the generation
 * counter in the hive's lock file with what it last read, and re-reads the
 * file when either moved.  Readers take no lock: a writer never changes the
 * file in place.
 *
 * A write takes an exclusive advisory lock (flock) on <name>.lock beside
 * the file, re-reads the file if another process changed it, changes the
 * tree, writes the whole hive to <name>.reg.tmp, fsyncs it, renames it over
 * <name>.reg, fsyncs the folder and finally bumps the counter in the lock
 * file.  A crash at any point leaves either the old or the new file in
 * place, never a mixture; a stale .tmp is overwritten by the next writer.
 * If the write fails, the change is dropped and the file re-read.
 *
 * A damaged file is read as far as it is intact (see hive_format.h) and
 * reported on stderr; before the next write replaces it, it is kept as
 * <name>.reg.damaged for inspection.
 *
 * All members are thread-safe; one process-wide mutex per hive serialises
 * its threads, since flock does not exclude threads sharing a descriptor.
 */
#ifndef WINPORT_REGISTRY_HIVE_H
#define WINPORT_REGISTRY_HIVE_H

#include "registry/hive_format.h"
#include "registry/tree.h"

#include <sys/types.h>

#include <mutex>
#include <string>

namespace winport::reg {

/* What identifies one version of the file. */
struct FileStamp {
    bool exists = false;
    uint64_t counter = 0; // from the lock file
    dev_t dev = 0;
    ino_t ino = 0;
    off_t size = 0;
    int64_t mtimeNs = 0;
    bool operator==(const FileStamp &) const = default;
};

class Hive {
public:
    /* The hive stored as <folder>/<base>.reg; `title` names it in the file. */
    Hive(std::string folder, std::string base, HiveKind kind, std::string title);
    Hive(const Hive &) = delete;
    Hive &operator=(const Hive &) = delete;

    HiveKind kind() const { return kind_; }
    const std::string &path() const { return path_; }

    /* Calls fn(const Tree &) on the current contents; returns its result,
     * or the error that kept the file from being read. */
    template <class Fn> LSTATUS Read(Fn fn)
    {
        std::lock_guard<std::mutex> guard(lock_);
        if (LSTATUS err = RefreshLocked())
            return err;
        return fn(static_cast<const Tree &>(tree_));
    }

    /* Calls fn(Tree &, bool &changed) with the hive locked against every
     * process.  When fn succeeds and sets `changed`, the tree is written
     * back before the lock is released; a failed write is the result. */
    template <class Fn> LSTATUS Write(Fn fn)
    {
        std::lock_guard<std::mutex> guard(lock_);
        WriteLock file;
        if (LSTATUS err = file.Acquire(*this))
            return err;
        if (LSTATUS err = RefreshLocked())
            return err;
        bool changed = false;
        LSTATUS result = fn(tree_, changed);
        if (result != ERROR_SUCCESS) {
            if (changed)
                loaded_ = false; // drop a partial change: re-read the file
            return result;
        }
        if (!changed)
            return ERROR_SUCCESS;
        return CommitLocked(file);
    }

private:
    /* The exclusive lock on <base>.lock for one write. */
    class WriteLock {
    public:
        WriteLock() = default;
        WriteLock(const WriteLock &) = delete;
        WriteLock &operator=(const WriteLock &) = delete;
        ~WriteLock();
        LSTATUS Acquire(const Hive &hive);
        uint64_t counter() const { return counter_; }
        void SetCounter(uint64_t counter);

    private:
        int fd_ = -1;
        uint64_t counter_ = 0;
    };

    FileStamp CurrentStamp() const;
    LSTATUS RefreshLocked();
    LSTATUS LoadLocked(const FileStamp &seen);
    void ReportDamage(const ParseReport &report, bool truncated) const;
    LSTATUS CommitLocked(WriteLock &file);
    LSTATUS WriteFileLocked(const std::string &text);
    void KeepDamagedCopy() const;

    const std::string folder_;
    const std::string path_;
    const std::string lockPath_;
    const std::string tmpPath_;
    const HiveKind kind_;
    const std::string title_;

    std::mutex lock_;
    Tree tree_;            // guarded by lock_
    FileStamp stamp_;      // guarded by lock_: the version tree_ reflects
    bool loaded_ = false;  // guarded by lock_
    bool damaged_ = false; // guarded by lock_: the file on disk was damaged
};

/* Maps an errno from the hive files to a registry error. */
LSTATUS ErrorFromErrno(int err);

} // namespace winport::reg

#endif
