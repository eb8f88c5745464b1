/*
 * The machine-wide registry of top-level windows (see desktop.h): one file
 * per window under <root>/winport/windows, written aside and renamed.
 *
 * Entry format (text, one field per line; class and title escaped so that
 * a line break or backslash in them cannot end a field early):
 *
 *   winport-window 1
 *   hwnd <hex>
 *   pid <decimal>
 *   tid <decimal>
 *   start <decimal>
 *   stamp <decimal>
 *   class <escaped>
 *   title <escaped>
 */
#include "user/desktop.h"

#include "kernel/root.h"
#include "sync/liveness.h"
#include "utils/posix_fs.h"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <sstream>

namespace winport::desktop {
namespace {

constexpr size_t kMaxEntryBytes = 64 * 1024; // a title longer than this is cut
constexpr const char *kMagic = "winport-window 1";

std::string Escape(const std::string &text)
{
    std::string out;
    for (char c : text) {
        if (c == '\\')
            out += "\\\\";
        else if (c == '\n')
            out += "\\n";
        else if (c == '\r')
            out += "\\r";
        else
            out += c;
    }
    return out;
}

bool Unescape(const std::string &text, std::string *out)
{
    out->clear();
    for (size_t i = 0; i < text.size(); i++) {
        if (text[i] != '\\') {
            *out += text[i];
            continue;
        }
        if (++i == text.size())
            return false;
        if (text[i] == '\\')
            *out += '\\';
        else if (text[i] == 'n')
            *out += '\n';
        else if (text[i] == 'r')
            *out += '\r';
        else
            return false;
    }
    return true;
}

std::string HandleName(HWND hwnd)
{
    char name[40];
    std::snprintf(name, sizeof name, "%016" PRIx64 ".win", reinterpret_cast<uint64_t>(hwnd));
    return name;
}

bool ReadSmallFile(const std::string &path, std::string *out)
{
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    bool more = false;
    /* Past twice the largest entry it is not one of ours: Parse refuses it. */
    util::ReadFdUpTo(fd, kMaxEntryBytes * 2 + 1, out, &more);
    close(fd);
    return true;
}

/* Reads one entry file; removes it when its process has ended. */
std::optional<Entry> ReadLive(const std::string &path)
{
    std::string text;
    if (!ReadSmallFile(path, &text))
        return std::nullopt;
    std::optional<Entry> entry = Parse(text);
    if (!entry)
        return std::nullopt; // half-written files never exist (rename); foreign ones are left
    if (!Alive(entry->pid, entry->startTime)) {
        unlink(path.c_str());
        return std::nullopt;
    }
    return entry;
}

} // namespace

std::string WindowsFolder(const std::string &root)
{
    return root + "/winport/windows";
}

std::string EndpointsFolder(const std::string &root)
{
    return root + "/winport/endpoints";
}

uint64_t SelfStartTime()
{
    return winport::SelfStartTime();
}

bool Alive(DWORD pid, uint64_t startTime)
{
    return pid != 0 && ProcessAlive(static_cast<pid_t>(pid), startTime);
}

std::string Format(const Entry &entry)
{
    std::string title = entry.title.substr(0, kMaxEntryBytes / 2);
    std::ostringstream out;
    out << kMagic << "\n"
        << "hwnd " << std::hex << reinterpret_cast<uint64_t>(entry.hwnd) << std::dec << "\n"
        << "pid " << entry.pid << "\n"
        << "tid " << entry.tid << "\n"
        << "start " << entry.startTime << "\n"
        << "stamp " << entry.stamp << "\n"
        << "class " << Escape(entry.className.substr(0, 256)) << "\n"
        << "title " << Escape(title) << "\n";
    return out.str();
}

std::optional<Entry> Parse(const std::string &text)
{
    if (text.size() > kMaxEntryBytes * 2)
        return std::nullopt;
    std::istringstream in(text);
    std::string line;
    if (!std::getline(in, line) || line != kMagic)
        return std::nullopt;
    Entry entry;
    int seen = 0;
    while (std::getline(in, line)) {
        const size_t space = line.find(' ');
        if (space == std::string::npos)
            return std::nullopt;
        const std::string key = line.substr(0, space), value = line.substr(space + 1);
        char *end = nullptr;
        errno = 0;
        if (key == "class" || key == "title") {
            if (!Unescape(value, key == "class" ? &entry.className : &entry.title))
                return std::nullopt;
        } else {
            const unsigned long long n =
                std::strtoull(value.c_str(), &end, key == "hwnd" ? 16 : 10);
            if (value.empty() || *end != '\0' || errno != 0)
                return std::nullopt;
            if (key == "hwnd")
                entry.hwnd = reinterpret_cast<HWND>(static_cast<uint64_t>(n));
            else if (key == "pid")
                entry.pid = static_cast<DWORD>(n);
            else if (key == "tid")
                entry.tid = static_cast<DWORD>(n);
            else if (key == "start")
                entry.startTime = n;
            else if (key == "stamp")
                entry.stamp = n;
            else
                return std::nullopt;
        }
        seen++;
    }
    if (seen != 7 || !entry.hwnd || !entry.pid)
        return std::nullopt;
    return entry;
}

void Publish(const std::string &root, const Entry &entry)
{
    static std::atomic<uint64_t> serial{0};
    const std::string folder = WindowsFolder(root);
    util::MakeDirs(folder);
    const std::string path = folder + "/" + HandleName(entry.hwnd);
    char suffix[64];
    std::snprintf(suffix, sizeof suffix, ".tmp.%d.%" PRIu64, static_cast<int>(getpid()),
                  serial.fetch_add(1));
    const std::string temp = path + suffix;
    int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0644);
    if (fd < 0)
        return; // a read-only root: the window works, other processes do not see it
    const std::string text = Format(entry);
    const bool written = util::WriteAllFd(fd, text.data(), text.size()) == 0;
    close(fd);
    if (!written || rename(temp.c_str(), path.c_str()) != 0)
        unlink(temp.c_str());
}

void Withdraw(const std::string &root, HWND hwnd)
{
    unlink((WindowsFolder(root) + "/" + HandleName(hwnd)).c_str());
}

std::optional<Entry> Lookup(HWND hwnd)
{
    std::optional<Entry> entry = ReadLive(WindowsFolder(Root()) + "/" + HandleName(hwnd));
    if (!entry || entry->hwnd != hwnd || entry->pid == static_cast<DWORD>(getpid()))
        return std::nullopt;
    return entry;
}

std::vector<Entry> OtherProcesses()
{
    const std::string folder = WindowsFolder(Root());
    std::vector<Entry> out;
    DIR *dir = opendir(folder.c_str());
    if (!dir)
        return out;
    std::vector<std::string> names;
    while (struct dirent *d = readdir(dir)) {
        const std::string name = d->d_name;
        if (name.size() > 4 && name.compare(name.size() - 4, 4, ".win") == 0)
            names.push_back(name);
    }
    closedir(dir);
    for (const auto &name : names) {
        std::optional<Entry> entry = ReadLive(folder + "/" + name);
        if (entry && entry->pid != static_cast<DWORD>(getpid()) && HandleName(entry->hwnd) == name)
            out.push_back(*entry);
    }
    std::sort(out.begin(), out.end(),
              [](const Entry &a, const Entry &b) { return a.stamp > b.stamp; });
    return out;
}

} // namespace winport::desktop
