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
 *
 * A document handed to CUPS is not printed yet: its marker is rewritten
 * with the queue and the CUPS job ids and outlives the process, until CUPS
 * reports those jobs finished (cups_jobs.cpp settles it).  Marker lines:
 *
 *   <pid>
 *   <printer>
 *   queue=<queue>            only once sent to CUPS, with the lines below
 *   jobs=<id> <id> ...
 *   document=<name>
 *   user=<name>
 *   warned=<id> ...          stops already logged
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
#include <set>
#include <sstream>
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

/* Ids of this process's jobs that went to CUPS: FinishJob keeps their
 * markers. */
std::set<int> &sentIds()
{
    static std::set<int> ids;
    return ids;
}

/* A marker as read back; markers are ours, but read bounded all the same. */
struct Marker {
    long pid = 0;
    std::string printer;
    std::map<std::string, std::string> values;
};

Marker readMarker(const std::string &path)
{
    Marker m;
    std::ifstream in(path);
    std::string line;
    for (int n = 0; n < 16 && std::getline(in, line); n++) {
        line = line.substr(0, 1024);
        if (n == 0)
            m.pid = std::atol(line.c_str());
        else if (n == 1)
            m.printer = line;
        else if (auto eq = line.find('='); eq != std::string::npos)
            m.values[line.substr(0, eq)] = line.substr(eq + 1);
    }
    return m;
}

std::vector<int> parseIds(const std::string &text)
{
    std::vector<int> ids;
    std::istringstream in(text);
    for (long id; ids.size() < 1000 && in >> id;)
        if (id > 0 && id < 0x7fffffff)
            ids.push_back(int(id));
    return ids;
}

std::string joinIds(const std::vector<int> &ids)
{
    std::string s;
    for (int id : ids)
        s += (s.empty() ? "" : " ") + std::to_string(id);
    return s;
}

/* One line of a marker: no line breaks inside. */
std::string oneLine(std::string s)
{
    for (char &c : s)
        if (c == '\n' || c == '\r')
            c = ' ';
    return s.substr(0, 1000);
}

/* Writes a marker aside and renames it into place, so a reader never meets
 * half of one. */
void writeMarker(const std::string &path, const std::string &text)
{
    std::string temp = path.substr(0, path.rfind('/') + 1) + "." +
                       path.substr(path.rfind('/') + 1) + "." + std::to_string(getpid());
    {
        std::ofstream out(temp);
        out << text;
    }
    std::rename(temp.c_str(), path.c_str());
}

std::string sentText(long pid, const SentJob &s)
{
    return std::to_string(pid) + "\n" + oneLine(s.printer) + "\nqueue=" + oneLine(s.queue) +
           "\njobs=" + joinIds(s.ids) + "\ndocument=" + oneLine(s.document) +
           "\nuser=" + oneLine(s.user) + "\nwarned=" + joinIds(s.warned) + "\n";
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
    writeMarker(markerFolder() + "/" + std::to_string(id),
                std::to_string(getpid()) + "\n" + oneLine(printer) + "\n");
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
    std::lock_guard<std::recursive_mutex> guard(SpoolLock());
    if (!sentIds().erase(id))
        std::remove((markerFolder() + "/" + std::to_string(id)).c_str());
    jobTable().erase(id);
}

void MarkJobSent(const Job &job, const std::string &queue, const std::vector<int> &ids)
{
    SentJob sent;
    sent.printer = job.printer;
    sent.queue = queue;
    sent.document = job.document;
    sent.user = job.user;
    sent.ids = ids;
    writeMarker(markerFolder() + "/" + std::to_string(job.id), sentText(getpid(), sent));
    std::lock_guard<std::recursive_mutex> guard(SpoolLock());
    sentIds().insert(job.id);
}

std::vector<SentJob> SentJobs()
{
    std::vector<SentJob> list;
    std::string dir = markerFolder();
    DIR *d = opendir(dir.c_str());
    if (!d)
        return list;
    while (dirent *e = readdir(d)) {
        if (e->d_name[0] == '.')
            continue;
        Marker m = readMarker(dir + "/" + e->d_name);
        if (!m.values.count("queue"))
            continue;
        SentJob s;
        s.marker = dir + "/" + e->d_name;
        s.printer = m.printer;
        s.queue = m.values["queue"];
        s.document = m.values["document"];
        s.user = m.values["user"];
        s.ids = parseIds(m.values["jobs"]);
        s.warned = parseIds(m.values["warned"]);
        list.push_back(s);
    }
    closedir(d);
    std::sort(list.begin(), list.end(),
              [](const SentJob &a, const SentJob &b) { return a.ids < b.ids; });
    return list;
}

void UpdateSentJob(const SentJob &sent)
{
    Marker m = readMarker(sent.marker);
    if (m.values.count("queue")) /* not forgotten meanwhile */
        writeMarker(sent.marker, sentText(m.pid, sent));
}

bool ForgetSentJob(const SentJob &sent)
{
    return unlink(sent.marker.c_str()) == 0;
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

/* Jobs of the printer still being spooled here or in another process. */
static DWORD localJobs(const std::string &printer)
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
        Marker m = readMarker(path);
        if (m.values.count("queue"))
            continue; /* with CUPS now: counted by CupsUnfinishedJobs */
        long pid = m.pid;
        const std::string &name = m.printer;
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

DWORD ActiveJobs(const Printer &printer)
{
    return localJobs(printer.name) + CupsUnfinishedJobs(printer);
}

} // namespace winport::spool
