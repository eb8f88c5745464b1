/*
 * The machine-wide registry of top-level windows, shared by every process
 * that uses the same winport root.  Private to winport.
 *
 * Each top-level window of each process is one small file,
 * <root>/winport/windows/<handle>.win, holding its owner's process and
 * thread ids, the owner's start time, the creation stamp, the class name
 * and the title.  A file is written aside and renamed into place, so a
 * reader never sees half an entry.  A process's endpoint (the Unix socket
 * that carries window messages to it) is <root>/winport/endpoints/<pid>.sock.
 *
 * Entries of processes that have ended (or whose pid now belongs to a
 * later process) are ignored and removed by whoever reads them.  All
 * functions may be called from any thread.
 */
#ifndef WINPORT_USER_DESKTOP_H
#define WINPORT_USER_DESKTOP_H

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace winport::desktop {

struct Entry {
    HWND hwnd = nullptr;
    DWORD pid = 0;
    DWORD tid = 0;
    uint64_t startTime = 0; // the owner's start time (see sync/liveness.h)
    uint64_t stamp = 0;     // creation order
    std::string className;
    std::string title;
};

/* Writes (or replaces) a window's entry under `root`. */
void Publish(const std::string &root, const Entry &entry);
/* Removes a window's entry from `root`. */
void Withdraw(const std::string &root, HWND hwnd);

/* The live entry of a window of another process under the current root. */
std::optional<Entry> Lookup(HWND hwnd);
/* Every live entry of other processes under the current root. */
std::vector<Entry> OtherProcesses();

/* The text format of an entry (exposed for tests of the parser). */
std::string Format(const Entry &entry);
std::optional<Entry> Parse(const std::string &text);

/* <root>/winport/windows and <root>/winport/endpoints. */
std::string WindowsFolder(const std::string &root);
std::string EndpointsFolder(const std::string &root);

/* The start time of this process, for entries it publishes. */
uint64_t SelfStartTime();
/* Whether process `pid` that started at `startTime` still runs. */
bool Alive(DWORD pid, uint64_t startTime);

} // namespace winport::desktop

#endif
