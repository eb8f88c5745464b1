/*
 * CUPS queues as printers.  When a CUPS server answers, each of its queues
 * appears as a printer named like the queue, port "CUPS:<queue>": make and
 * model as the driver name, media-supported as papers (PWG names mapped to
 * DMPAPER numbers where Windows has one), media-source-supported as bins,
 * queued-job-count counted into cJobs.
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

struct PaperName {
    const char *pwg;
    short number;
};

/* The PWG media names of the papers Windows numbers. */
constexpr PaperName kPapers[] = {
    {"na_letter_8.5x11in", DMPAPER_LETTER},
    {"na_legal_8.5x14in", DMPAPER_LEGAL},
    {"iso_a4_210x297mm", DMPAPER_A4},
    {"na_number-10_4.125x9.5in", DMPAPER_ENV_10},
    {"na_executive_7.25x10.5in", 7},
    {"iso_a5_148x210mm", 11},
    {"iso_a3_297x420mm", 8},
    {"iso_b5_176x250mm", 34},
    {"iso_dl_110x220mm", 27},
    {"na_monarch_3.875x7.5in", 37},
    {"na_ledger_11x17in", 4},
    {"na_invoice_5.5x8.5in", 6},
};

struct Bin {
    const char *keyword;
    short number;
};

constexpr Bin kBins[] = {
    {"auto", DMBIN_AUTO},         {"main", DMBIN_UPPER},
    {"tray-1", DMBIN_UPPER},      {"tray-2", DMBIN_LOWER},
    {"tray-3", DMBIN_MIDDLE},     {"manual", DMBIN_MANUAL},
    {"envelope", DMBIN_ENVELOPE}, {"large-capacity", DMBIN_LARGECAPACITY},
};

const char *const kAttributes[] = {
    "printer-make-and-model", "media-supported",  "media-source-supported", "queued-job-count",
    "printer-info",           "printer-location", "color-supported"};

void addPapers(Printer &p, ipp_attribute_t *media)
{
    short custom = DMPAPER_USER;
    for (int i = 0; media && i < ippGetCount(media); i++) {
        const char *name = ippGetString(media, i, nullptr);
        pwg_media_t *pwg = name ? pwgMediaForPWG(name) : nullptr;
        if (!pwg || pwg->width <= 0 || pwg->length <= 0)
            continue;
        Paper paper;
        paper.number = ++custom;
        for (const PaperName &known : kPapers)
            if (!std::strcmp(known.pwg, pwg->pwg))
                paper.number = known.number;
        paper.name = std::string(pwg->ppd ? pwg->ppd : name).substr(0, kPaperNameLen - 1);
        paper.width = pwg->width / 10; /* hundredths to tenths of a millimetre */
        paper.height = pwg->length / 10;
        if (!p.paper(paper.number))
            p.papers.push_back(paper);
    }
}

void addBins(Printer &p, ipp_attribute_t *sources)
{
    short custom = DMBIN_USER;
    for (int i = 0; sources && i < ippGetCount(sources); i++) {
        const char *keyword = ippGetString(sources, i, nullptr);
        if (!keyword)
            continue;
        short number = ++custom;
        for (const Bin &known : kBins)
            if (!std::strcmp(known.keyword, keyword))
                number = known.number;
        bool taken = false;
        for (const auto &b : p.bins)
            taken = taken || b.number == number;
        if (!taken)
            p.bins.push_back(spool::Bin{number, std::string(keyword).substr(0, kBinNameLen - 1)});
    }
}

/* One queue's attributes, asked with Get-Printer-Attributes. */
Printer describeQueue(http_t *http, const cups_dest_t &dest)
{
    Printer p;
    p.name = dest.name;
    p.port = std::string("CUPS:") + dest.name;
    p.cups = true;
    p.attributes = PRINTER_ATTRIBUTE_QUEUED | PRINTER_ATTRIBUTE_NETWORK;
    const char *model = cupsGetOption("printer-make-and-model", dest.num_options, dest.options);
    p.driver = model ? model : "CUPS";
    p.resolutions.push_back(600);
    ipp_t *request = ippNewRequest(IPP_OP_GET_PRINTER_ATTRIBUTES);
    std::string uri = "ipp://localhost/printers/" + p.name;
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, uri.c_str());
    ippAddStrings(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes",
                  int(sizeof kAttributes / sizeof *kAttributes), nullptr, kAttributes);
    if (ipp_t *response = cupsDoRequest(http, request, "/")) {
        if (auto *a = ippFindAttribute(response, "printer-make-and-model", IPP_TAG_TEXT))
            p.driver = ippGetString(a, 0, nullptr);
        if (auto *a = ippFindAttribute(response, "printer-info", IPP_TAG_TEXT))
            p.comment = ippGetString(a, 0, nullptr);
        if (auto *a = ippFindAttribute(response, "printer-location", IPP_TAG_TEXT))
            p.location = ippGetString(a, 0, nullptr);
        if (auto *a = ippFindAttribute(response, "queued-job-count", IPP_TAG_INTEGER))
            p.cupsJobs = DWORD(ippGetInteger(a, 0));
        if (auto *a = ippFindAttribute(response, "color-supported", IPP_TAG_BOOLEAN))
            p.color = ippGetBoolean(a, 0);
        addPapers(p, ippFindAttribute(response, "media-supported", IPP_TAG_ZERO));
        addBins(p, ippFindAttribute(response, "media-source-supported", IPP_TAG_ZERO));
        ippDelete(response);
    }
    if (p.papers.empty())
        p.papers.push_back(Paper{DMPAPER_LETTER, "Letter", 2159, 2794});
    p.defaultPaper = p.papers.front().number;
    p.defaultSource = p.bins.empty() ? 0 : p.bins.front().number;
    return p;
}

std::vector<Printer> askServer()
{
    std::vector<Printer> queues;
    http_t *http = ConnectCups();
    if (!http)
        return queues;
    cups_dest_t *dests = nullptr;
    int count = cupsGetDests2(http, &dests);
    for (int i = 0; i < count; i++)
        if (!dests[i].instance)
            queues.push_back(describeQueue(http, dests[i]));
    cupsFreeDests(count, dests);
    httpClose(http);
    return queues;
}

} // namespace

http_t *ConnectCups()
{
    cupsSetServer(nullptr); /* take CUPS_SERVER as it is now, not as it was first read */
    return httpConnect2(cupsServer(), ippPort(), nullptr, AF_UNSPEC, HTTP_ENCRYPTION_IF_REQUESTED,
                        1, 2000, nullptr);
}

std::vector<Printer> CupsQueues()
{
    using Clock = std::chrono::steady_clock;
    static std::mutex lock;
    static std::string server;
    static Clock::time_point asked;
    static std::vector<Printer> cached;
    std::lock_guard<std::mutex> guard(lock);
    cupsSetServer(nullptr);
    std::string now = cupsServer();
    if (now != server || Clock::now() - asked > std::chrono::seconds(3)) {
        cached = askServer();
        server = now;
        asked = Clock::now();
    }
    return cached;
}

} // namespace winport::spool
