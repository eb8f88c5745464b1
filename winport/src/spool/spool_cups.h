/*
 * Private to the spooler's CUPS files: the libcups headers and a
 * connection to the server libcups would use now.
 */
#ifndef WINPORT_SPOOL_CUPS_H
#define WINPORT_SPOOL_CUPS_H

#include "spool/spool_private.h"

#include <cups/cups.h>
#include <cups/ipp.h>
#include <cups/pwg.h>

namespace winport::spool {

/* A connection to the current server (CUPS_SERVER read afresh), or null
 * when nobody answers within two seconds. */
http_t *ConnectCups();
/* Whether the server answered when last asked (asked again after a few
 * seconds): a caller that would only count or settle need not wait two
 * seconds for one that is down. */
bool CupsAnswers();

/* A queue as a printer, from its Get-Printer-Attributes answer (null: the
 * server said nothing about it). */
Printer DescribeQueue(const std::string &name, ipp_t *attributes);

/* A run of pages that go to the queue as one job: one sheet size, tray,
 * media type, sides and colour mode (empty keywords are not sent). */
struct JobRun {
    int first = 1; /* pages, 1-based */
    int last = 1;
    int width = 0; /* media-size in hundredths of a mm, portrait */
    int height = 0;
    bool hasMargins = false; /* the margins the pages were laid out with */
    int margins[4] = {0, 0, 0, 0};
    std::string source, type, sides, colorMode;
};
std::vector<JobRun> PlanRuns(const Printer &printer, const std::vector<gdi::PageInfo> &pages);

/* A CUPS job as Get-Jobs or Get-Job-Attributes tells it. */
struct CupsJobState {
    int id = 0;
    int state = 0; /* ipp_jstate_t; 0 when the server no longer knows the job */
    std::vector<std::string> reasons;
    std::string message; /* job-printer-state-message, else job-state-message */
};

/* What the states of a sent document's jobs mean for it: finished (every
 * job completed, cancelled or aborted: look each finished id up for the
 * log), and the jobs newly stopped (state stopped, "printer-stopped", or
 * the queue stopped) that were not logged yet. */
struct Verdict {
    bool finished = false;
    std::vector<int> finishedIds;
    std::vector<CupsJobState> stopped;
};
Verdict JudgeSentJob(const SentJob &sent, const std::vector<CupsJobState> &states,
                     bool queueStopped);

/* The "ipp://localhost/printers/<queue>" URI requests name. */
std::string QueueUri(const std::string &queue);

} // namespace winport::spool

#endif /* WINPORT_SPOOL_CUPS_H */
