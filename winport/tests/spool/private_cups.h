/*
 * A CUPS server and an IPP printer of a test's own, for tests that print
 * through CUPS: a cupsd with its own folder and a free port on 127.0.0.1,
 * and ippeveprinter (CUPS's IPP Everywhere printer) declared from an
 * attributes file, keeping every document it receives.  Both are stopped
 * and their folders removed when the objects go.
 *
 * cupsd runs its backends as root, so start() refuses without root;
 * ippeveprinter needs a D-Bus system bus to start at all (even with
 * announcements off), so it gets a private one.  start() says why it could
 * not start; tests skip with that reason.
 */
#ifndef WINPORT_TESTS_SPOOL_PRIVATE_CUPS_H
#define WINPORT_TESTS_SPOOL_PRIVATE_CUPS_H

#include <sys/types.h>

#include <map>
#include <string>
#include <vector>

namespace cupstest {

class PrivateCups {
public:
    PrivateCups() = default;
    PrivateCups(const PrivateCups &) = delete;
    PrivateCups &operator=(const PrivateCups &) = delete;
    ~PrivateCups();
    bool start(std::string &why);
    /* Runs a CUPS client tool (lpadmin, cupsdisable, cancel) against this
     * server; true when it exits 0. */
    bool tool(const std::string &name, const std::string &args) const;
    bool lpadmin(const std::string &args) const { return tool("lpadmin", args); }
    std::string server() const { return "127.0.0.1:" + std::to_string(port_); }
    const std::string &dir() const { return dir_; }

private:
    std::string dir_;
    int port_ = 0;
    pid_t pid_ = -1;
};

class IppPrinter {
public:
    IppPrinter() = default;
    IppPrinter(const IppPrinter &) = delete;
    IppPrinter &operator=(const IppPrinter &) = delete;
    ~IppPrinter();
    /* attributes: ipptool-style ATTR lines; command: a shell script run
     * for every document (empty: one that succeeds at once). */
    bool start(const std::string &attributes, const std::string &command, std::string &why);
    std::string uri() const { return "ipp://127.0.0.1:" + std::to_string(port_) + "/ipp/print"; }
    const std::string &spool() const { return spool_; }
    const std::string &dir() const { return dir_; }

private:
    std::string dir_, spool_;
    int port_ = 0;
    pid_t bus_ = -1, printer_ = -1;
};

/* A job as an IPP server tells it: attributes as ippAttributeString gives
 * them ("media-col" → "{media-size={x-dimension=21590 ...} media-source=tray-2}"). */
struct ReceivedJob {
    int id = 0;
    std::string name;
    int state = 0;
    std::map<std::string, std::string> attributes;
    std::string attr(const std::string &name) const
    {
        auto it = attributes.find(name);
        return it == attributes.end() ? std::string() : it->second;
    }
};

/* Every job of the printer at uri, oldest first (Get-Jobs, which-jobs all). */
std::vector<ReceivedJob> JobsAt(const std::string &uri);

/* Waits (up to ten seconds) until count jobs whose name holds token have
 * finished at uri; returns them oldest first (fewer when time ran out). */
std::vector<ReceivedJob> WaitForJobs(const std::string &uri, const std::string &token,
                                     std::size_t count);

/* The document ippeveprinter kept for a job ("<id>-<name>.pdf"), or "". */
std::string KeptDocument(const IppPrinter &printer, int id);

/* ippeveprinter attributes of an office laser: sources auto, tray-1 to
 * tray-3, manual, envelope and photo; letter (the default), legal, A4 and
 * envelope #10, each with quarter-inch margins; two-sided; colour;
 * 600 dpi; PDF accepted, so CUPS sends documents as PDF. */
std::string LaserPrinter();

/* A free TCP port on 127.0.0.1. */
int FreePort();

} // namespace cupstest

#endif /* WINPORT_TESTS_SPOOL_PRIVATE_CUPS_H */
