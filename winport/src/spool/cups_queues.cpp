/*
 * CUPS queues as printers.  When a CUPS server answers, each of its queues
 * appears as a printer named like the queue, port "CUPS:<queue>", described
 * from its attributes by cups_describe.cpp.  The CUPS default destination
 * is what a fresh root takes as its default printer.
 *
 * The server is the one libcups picks (CUPS_SERVER, client.conf, the local
 * socket), asked afresh after a few seconds; a server that does not answer
 * costs one failed connection per interval, not one per call.
 */
#include "spool/spool_cups.h"

#include <chrono>
#include <cstring>
#include <mutex>

namespace winport::spool {

namespace {

const char *const kAttributes[] = {"printer-make-and-model",
                                   "printer-info",
                                   "printer-location",
                                   "queued-job-count",
                                   "color-supported",
                                   "print-color-mode-supported",
                                   "print-color-mode-default",
                                   "media-supported",
                                   "media-default",
                                   "media-ready",
                                   "media-col-default",
                                   "media-col-database",
                                   "media-col-ready",
                                   "media-source-supported",
                                   "media-left-margin-supported",
                                   "media-top-margin-supported",
                                   "media-right-margin-supported",
                                   "media-bottom-margin-supported",
                                   "printer-resolution-default",
                                   "printer-resolution-supported",
                                   "sides-supported",
                                   "sides-default"};

/* One queue's attributes, asked with Get-Printer-Attributes. */
Printer describeQueue(http_t *http, const cups_dest_t &dest)
{
    ipp_t *request = ippNewRequest(IPP_OP_GET_PRINTER_ATTRIBUTES);
    std::string uri = QueueUri(dest.name);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, uri.c_str());
    ippAddStrings(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes",
                  int(sizeof kAttributes / sizeof *kAttributes), nullptr, kAttributes);
    ipp_t *response = cupsDoRequest(http, request, "/");
    Printer p = DescribeQueue(dest.name, response);
    if (!response)
        if (const char *model =
                cupsGetOption("printer-make-and-model", dest.num_options, dest.options))
            p.driver = model;
    ippDelete(response);
    return p;
}

/* The queues of the server as last asked; a queue added since is asked
 * for by name on a miss, so it is a printer at once, not seconds later. */
struct Cache {
    std::mutex lock;
    std::string server;
    std::chrono::steady_clock::time_point asked;
    std::vector<Printer> queues;
    bool answered = false;
};

Cache &cache()
{
    static Cache c;
    return c;
}

/* Asks the server again when it changed or after three seconds.  Called
 * with the cache locked. */
void refresh(Cache &c)
{
    using Clock = std::chrono::steady_clock;
    cupsSetServer(nullptr);
    std::string now = cupsServer();
    if (now == c.server && Clock::now() - c.asked <= std::chrono::seconds(3))
        return;
    c.queues.clear();
    c.server = now;
    c.asked = Clock::now();
    http_t *http = ConnectCups();
    c.answered = http != nullptr;
    if (!http)
        return;
    cups_dest_t *dests = nullptr;
    int count = cupsGetDests2(http, &dests);
    for (int i = 0; i < count; i++)
        if (!dests[i].instance)
            c.queues.push_back(describeQueue(http, dests[i]));
    cupsFreeDests(count, dests);
    httpClose(http);
}

} // namespace

http_t *ConnectCups()
{
    cupsSetServer(nullptr); /* take CUPS_SERVER as it is now, not as it was first read */
    return httpConnect2(cupsServer(), ippPort(), nullptr, AF_UNSPEC, HTTP_ENCRYPTION_IF_REQUESTED,
                        1, 2000, nullptr);
}

std::string QueueUri(const std::string &queue)
{
    char uri[1024];
    httpAssembleURIf(HTTP_URI_CODING_ALL, uri, sizeof uri, "ipp", nullptr, "localhost", 0,
                     "/printers/%s", queue.c_str());
    return uri;
}

std::string CupsDefaultQueue()
{
    http_t *http = ConnectCups();
    if (!http)
        return {};
    std::string name;
    if (cups_dest_t *dest = cupsGetNamedDest(http, nullptr, nullptr)) {
        if (!dest->instance)
            name = dest->name;
        cupsFreeDests(1, dest);
    }
    httpClose(http);
    return name;
}

std::vector<Printer> CupsQueues()
{
    Cache &c = cache();
    std::lock_guard<std::mutex> guard(c.lock);
    refresh(c);
    return c.queues;
}

bool CupsAnswers()
{
    Cache &c = cache();
    std::lock_guard<std::mutex> guard(c.lock);
    refresh(c);
    return c.answered;
}

std::optional<Printer> CupsQueue(const std::string &name)
{
    Cache &c = cache();
    std::lock_guard<std::mutex> guard(c.lock);
    refresh(c);
    for (const Printer &q : c.queues)
        if (SameName(q.name, name))
            return q;
    http_t *http = c.answered ? ConnectCups() : nullptr;
    if (!http)
        return std::nullopt;
    std::optional<Printer> found;
    if (cups_dest_t *dest = cupsGetNamedDest(http, name.c_str(), nullptr)) {
        if (!dest->instance && SameName(dest->name, name))
            c.queues.push_back(*(found = describeQueue(http, *dest)));
        cupsFreeDests(1, dest);
    }
    httpClose(http);
    return found;
}

} // namespace winport::spool
