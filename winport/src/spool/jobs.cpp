/*
 * Jobs in flight.  A job exists from StartDoc (or StartDocPrinter) until its
 * document is delivered or thrown away, and counts in its printer's cJobs
 * for that whole time.
 *
 * Job ids come from a counter file under <root>/winport/spool, taken under
 * an flock, so two processes printing to one folder never pick the same
 * file name.  Each job also leaves a marker file naming its process and
 * printer, so every process of the root counts the jobs of the others; a
 * marker whose process has died is removed with the job's spool file.
 */
#include "utils/posix_fs.h"
#include "spool/spool_private.h"

#include "kernel/root.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <map>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace winport::spool {

namespace {

std::map<int, Job> &jobTable()
{
    static std::map<int, Job> jobs;
    return jobs;
}

std::string markerFolder()
{
    std::string dir = SpoolFolder() + "/active";
    mkdir(dir.c_str(), 0755);
    return dir;
}

/* The next id from the shared counter; falls back to a per-process count
 * when the spool folder cannot be written, so printing still works. */
int nextJobId()
{
    static int local = 0;
    std::string path = SpoolFolder() + "/next_job";
    int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0640);
    if (fd < 0)
        return ++local;
    if (util::LockBounded(fd, LOCK_EX, util::kSharedLockWaitMs) != 0) {
        close(fd);
        return ++local;
    }
    char buf[16] = {};
    ssize_t n = pread(fd, buf, sizeof buf - 1, 0);
    int id = n > 0 ? std::atoi(buf) : 0;
    if (id <= 0 || id >= 0x7fff0000)
        id = 1;
    std::string next = std::to_string(id + 1) + "\n";
    if (ftruncate(fd, 0) != 0 || pwrite(fd, next.data(), next.size(), 0) < 0)
        id = ++local + 0x40000000; /* cannot record it: stay out of the shared range */
    flock(fd, LOCK_UN);
    close(fd);
    return id;
}

bool processAlive(long pid)
{
    return pid > 0 && (kill(pid_t(pid), 0) == 0 || errno == EPERM);
}

} // namespace

std::recursive_mutex &SpoolLock()
{
    static std::recursive_mutex lock;
    return lock;
}

std::string SpoolFolder()
{
    std::string winport = Root() + "/winport";
    std::string dir = winport + "/spool";
    mkdir(winport.c_str(), 0755);
    mkdir(dir.c_str(), 0755);
    return dir;
}

int BeginJob(const std::string &printer, const std::string &document, const std::string &output)
{
    int id = nextJobId();
    /* Written aside and renamed, so a reader never meets a half marker. */
    std::string dir = markerFolder(), name = std::to_string(id);
    {
        std::ofstream marker(dir + "/." + name);
        marker << getpid() << "\n" << printer << "\n";
    }
    std::rename((dir + "/." + name).c_str(), (dir + "/" + name).c_str());
    std::lock_guard<std::recursive_mutex> guard(SpoolLock());
    Job job;
    job.id = id;
    job.printer = printer;
    job.document = document;
    job.output = output;
    const char *user = std::getenv("USER");
    job.user = user ? user : "";
    jobTable()[id] = job;
    return id;
}

void FinishJob(int id)
{
    std::remove((markerFolder() + "/" + std::to_string(id)).c_str());
    std::lock_guard<std::recursive_mutex> guard(SpoolLock());
    jobTable().erase(id);
}

std::optional<Job> FindJob(int id)
{
    std::lock_guard<std::recursive_mutex> guard(SpoolLock());
    auto it = jobTable().find(id);
    if (it == jobTable().end())
        return std::nullopt;
    return it->second;
}

bool UpdateJob(int id, const Job &job)
{
    std::lock_guard<std::recursive_mutex> guard(SpoolLock());
    auto it = jobTable().find(id);
    if (it == jobTable().end())
        return false;
    it->second = job;
    return true;
}

DWORD ActiveJobs(const std::string &printer)
{
    std::string dir = markerFolder();
    DIR *d = opendir(dir.c_str());
    if (!d)
        return 0;
    DWORD count = 0;
    while (dirent *e = readdir(d)) {
        if (e->d_name[0] == '.')
            continue;
        std::string path = dir + "/" + e->d_name;
        std::ifstream marker(path);
        long pid = 0;
        std::string name;
        marker >> pid;
        std::getline(marker >> std::ws, name);
        if (!processAlive(pid)) { /* its spool file goes with it */
            std::string spooled = SpoolFolder() + "/job" + e->d_name;
            for (const char *ext : {".pdf", ".prn", ".tif"})
                std::remove((spooled + ext).c_str());
            std::remove(path.c_str());
            continue;
        }
        if (SameName(name, printer))
            count++;
    }
    closedir(d);
    return count;
}

} // namespace winport::spool
