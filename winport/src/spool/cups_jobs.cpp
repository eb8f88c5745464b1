/*
 * Documents sent to CUPS are not printed yet.  A document handed to a
 * queue keeps its marker (jobs.cpp) until CUPS reports every one of its
 * jobs finished, and counts in cJobs once, whatever number of jobs it took;
 * other clients' unfinished jobs on the queue count too.
 *
 * Whoever counts settles: a document whose jobs are all finished is
 * forgotten, and when CUPS cancelled or aborted one of them the process
 * that removed the marker writes an error event with CUPS's reasons and
 * message ("Print" source, event 372, as the Windows spooler reports a
 * document that failed to print).  A job held up because its queue is
 * stopped is logged once as a warning (event 373) and stays counted.
 */
#include "spool/spool_cups.h"

#include <algorithm>
#include <mutex>
#include <set>

namespace winport::spool {

namespace {

constexpr DWORD kFailedEvent = 372;
constexpr DWORD kStoppedEvent = 373;

const char *const kJobAttributes[] = {"job-id", "job-state", "job-state-reasons",
                                      "job-state-message", "job-printer-state-message"};

CupsJobState stateOf(ipp_t *job)
{
    CupsJobState s;
    if (auto *a = ippFindAttribute(job, "job-id", IPP_TAG_INTEGER))
        s.id = ippGetInteger(a, 0);
    if (auto *a = ippFindAttribute(job, "job-state", IPP_TAG_ENUM))
        s.state = ippGetInteger(a, 0);
    if (auto *a = ippFindAttribute(job, "job-state-reasons", IPP_TAG_KEYWORD))
        for (int i = 0; i < ippGetCount(a); i++)
            s.reasons.emplace_back(ippGetString(a, i, nullptr));
    for (const char *name : {"job-printer-state-message", "job-state-message"})
        if (auto *a = ippFindAttribute(job, name, IPP_TAG_TEXT))
            if (const char *text = ippGetString(a, 0, nullptr); text && *text && s.message.empty())
                s.message = text;
    return s;
}

/* The queue's unfinished jobs; nullopt when the server does not answer. */
std::optional<std::vector<CupsJobState>> unfinishedJobs(http_t *http, const std::string &queue)
{
    ipp_t *request = ippNewRequest(IPP_OP_GET_JOBS);
    std::string uri = QueueUri(queue);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, uri.c_str());
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "which-jobs", nullptr,
                 "not-completed");
    ippAddStrings(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes",
                  int(sizeof kJobAttributes / sizeof *kJobAttributes), nullptr, kJobAttributes);
    ipp_t *response = cupsDoRequest(http, request, "/");
    if (!response || cupsLastError() > IPP_STATUS_OK_EVENTS_COMPLETE) {
        ippDelete(response);
        return std::nullopt;
    }
    std::vector<CupsJobState> jobs;
    ipp_t *job = ippNew(); /* one job's attributes, copied out of the response */
    for (ipp_attribute_t *a = ippFirstAttribute(response); a; a = ippNextAttribute(response)) {
        if (ippGetGroupTag(a) != IPP_TAG_JOB || !ippGetName(a)) {
            if (ippFindAttribute(job, "job-id", IPP_TAG_INTEGER))
                jobs.push_back(stateOf(job));
            ippDelete(job);
            job = ippNew();
            continue;
        }
        ippCopyAttribute(job, a, 0);
    }
    if (ippFindAttribute(job, "job-id", IPP_TAG_INTEGER))
        jobs.push_back(stateOf(job));
    ippDelete(job);
    ippDelete(response);
    return jobs;
}

/* A finished job's last state; state 0 when the server no longer knows it. */
CupsJobState finishedJob(http_t *http, int id)
{
    ipp_t *request = ippNewRequest(IPP_OP_GET_JOB_ATTRIBUTES);
    char uri[256];
    httpAssembleURIf(HTTP_URI_CODING_ALL, uri, sizeof uri, "ipp", nullptr, "localhost", 0,
                     "/jobs/%d", id);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "job-uri", nullptr, uri);
    ippAddStrings(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes",
                  int(sizeof kJobAttributes / sizeof *kJobAttributes), nullptr, kJobAttributes);
    ipp_t *response = cupsDoRequest(http, request, "/");
    CupsJobState s = response ? stateOf(response) : CupsJobState{};
    s.id = id;
    ippDelete(response);
    return s;
}

/* The queue's state message when it is stopped, else nullopt. */
std::optional<std::string> stoppedQueue(http_t *http, const std::string &queue)
{
    const char *const wanted[] = {"printer-state", "printer-state-message"};
    ipp_t *request = ippNewRequest(IPP_OP_GET_PRINTER_ATTRIBUTES);
    std::string uri = QueueUri(queue);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, uri.c_str());
    ippAddStrings(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", 2, nullptr,
                  wanted);
    ipp_t *response = cupsDoRequest(http, request, "/");
    std::optional<std::string> message;
    auto *state = response ? ippFindAttribute(response, "printer-state", IPP_TAG_ENUM) : nullptr;
    if (state && ippGetInteger(state, 0) == IPP_PSTATE_STOPPED) {
        auto *text = ippFindAttribute(response, "printer-state-message", IPP_TAG_TEXT);
        message = text && ippGetString(text, 0, nullptr) ? ippGetString(text, 0, nullptr) : "";
    }
    ippDelete(response);
    return message;
}

std::string describe(const CupsJobState &s, const std::string &queue)
{
    const char *state = s.state == IPP_JSTATE_ABORTED      ? "aborted"
                        : s.state == IPP_JSTATE_CANCELED   ? "canceled"
                        : s.state == IPP_JSTATE_STOPPED    ? "stopped"
                        : s.state == IPP_JSTATE_HELD       ? "held"
                        : s.state == IPP_JSTATE_PROCESSING ? "processing"
                                                           : "pending";
    std::string reasons;
    for (const std::string &r : s.reasons)
        reasons += (reasons.empty() ? "" : ",") + r;
    return "CUPS job " + std::to_string(s.id) + " on queue " + queue + " " + state + " (" +
           reasons + ")" + (s.message.empty() ? "" : ": " + s.message);
}

void report(WORD type, DWORD event, const std::string &text)
{
    HANDLE source = RegisterEventSourceA(nullptr, "Print");
    if (!source)
        return;
    const char *strings[] = {text.c_str()};
    ReportEventA(source, type, 0, event, nullptr, 1, 0, strings, nullptr);
    DeregisterEventSource(source);
}

std::string documentOf(const SentJob &sent)
{
    return "The document \"" + sent.document + "\", owned by " + sent.user + ", ";
}

/* Settles one sent document; true while it is still unfinished. */
bool settle(http_t *http, SentJob &sent, const std::vector<CupsJobState> &unfinished,
            const std::optional<std::string> &stopped)
{
    std::vector<CupsJobState> states;
    for (int id : sent.ids) {
        auto it = std::find_if(unfinished.begin(), unfinished.end(),
                               [&](const CupsJobState &s) { return s.id == id; });
        CupsJobState left; /* not unfinished any more */
        left.id = id;
        left.state = IPP_JSTATE_COMPLETED;
        states.push_back(it != unfinished.end() ? *it : left);
    }
    Verdict verdict = JudgeSentJob(sent, states, stopped.has_value());
    if (verdict.finished) {
        /* Asked one by one, a job missing from the list may still be on its
         * way (it moves between states): only an ended one settles. */
        std::vector<CupsJobState> ended;
        for (int id : verdict.finishedIds) {
            ended.push_back(finishedJob(http, id));
            if (ended.back().state && ended.back().state < IPP_JSTATE_CANCELED)
                return true;
        }
        if (!ForgetSentJob(sent))
            return false; /* another process settled it */
        for (const CupsJobState &s : ended)
            if (s.state == IPP_JSTATE_CANCELED || s.state == IPP_JSTATE_ABORTED)
                report(EVENTLOG_ERROR_TYPE, kFailedEvent,
                       documentOf(sent) + "failed to print on printer " + sent.printer + ": " +
                           describe(s, sent.queue));
        return false;
    }
    if (verdict.stopped.empty())
        return true;
    /* One warning per document, naming its first job held up. */
    CupsJobState shown = verdict.stopped.front();
    if (shown.message.empty() && stopped)
        shown.message = *stopped;
    report(EVENTLOG_WARNING_TYPE, kStoppedEvent,
           documentOf(sent) + "is stopped on printer " + sent.printer + ": " +
               describe(shown, sent.queue));
    for (const CupsJobState &s : verdict.stopped)
        sent.warned.push_back(s.id);
    UpdateSentJob(sent);
    return true;
}

} // namespace

Verdict JudgeSentJob(const SentJob &sent, const std::vector<CupsJobState> &states,
                     bool queueStopped)
{
    Verdict v;
    v.finished = true;
    for (const CupsJobState &s : states) {
        bool done = s.state >= IPP_JSTATE_CANCELED;
        v.finished = v.finished && done;
        if (done) {
            /* Only unfinished jobs were asked for; a finished one is looked
             * up again when the document is settled, to learn how it ended. */
            v.finishedIds.push_back(s.id);
            continue;
        }
        bool stop =
            s.state == IPP_JSTATE_STOPPED || queueStopped ||
            std::find(s.reasons.begin(), s.reasons.end(), "printer-stopped") != s.reasons.end();
        if (stop && std::find(sent.warned.begin(), sent.warned.end(), s.id) == sent.warned.end())
            v.stopped.push_back(s);
    }
    return v;
}

DWORD CupsUnfinishedJobs(const Printer &printer)
{
    const std::string queue = printer.cupsQueue();
    if (queue.empty())
        return 0;
    static std::mutex settling; /* one thread of the process settles at a time */
    std::lock_guard<std::mutex> guard(settling);
    std::vector<SentJob> sent;
    for (SentJob &s : SentJobs())
        if (SameName(s.queue, queue))
            sent.push_back(s);
    http_t *http = CupsAnswers() ? ConnectCups() : nullptr;
    auto unfinished = http ? unfinishedJobs(http, queue) : std::nullopt;
    if (!unfinished) { /* nobody to ask: what we sent is not known to be printed; the
                        * queue's last count holds ours as well as others' */
        if (http)
            httpClose(http);
        DWORD mine = DWORD(std::count_if(sent.begin(), sent.end(), [&](const SentJob &s) {
            return SameName(s.printer, printer.name);
        }));
        return mine + (sent.empty() ? printer.cupsJobs : 0);
    }
    std::optional<std::string> stopped;
    bool waiting = std::any_of(sent.begin(), sent.end(), [&](const SentJob &s) {
        return std::any_of(unfinished->begin(), unfinished->end(), [&](const CupsJobState &j) {
            return std::find(s.ids.begin(), s.ids.end(), j.id) != s.ids.end();
        });
    });
    if (waiting)
        stopped = stoppedQueue(http, queue);
    DWORD count = 0;
    std::set<int> ours;
    for (SentJob &s : sent) {
        ours.insert(s.ids.begin(), s.ids.end());
        if (settle(http, s, *unfinished, stopped) && SameName(s.printer, printer.name))
            count++;
    }
    for (const CupsJobState &j : *unfinished)
        if (!ours.count(j.id))
            count++;
    httpClose(http);
    return count;
}

} // namespace winport::spool
