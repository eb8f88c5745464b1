/*
 * Sending a finished document to a CUPS queue.
 *
 * A document is PDF (page groups removed first, so the queue keeps the
 * pages as vectors); each page carries the paper, tray, media type,
 * duplex and colour its device mode had when it was drawn.  A queue takes
 * one media per job: CUPS 2.4 neither advertises nor passes on PWG page
 * overrides, and its IPP backend builds one media-col per job from the
 * queue's PageSize and InputSlot.  So the pages are cut into runs that
 * share one setting, and each run goes as a job of its own, all created
 * before any document is sent (so their ids are consecutive and CUPS prints
 * them in that order), each with the whole PDF and page-ranges for its
 * pages.  Orientation needs no run of its own: the queue turns a landscape
 * page onto the sheet by itself.  The document counts once in cJobs until
 * CUPS has finished every one of its jobs (cups_jobs.cpp).
 *
 * Every job asks for print-scaling=none (and fit-to-page=false for older
 * filters): the page is the whole sheet, drawn where the printable area
 * lies, so fitting it would move every 1/600-inch position.  The tray goes
 * as media-source inside media-col, which is what CUPS maps to the queue's
 * InputSlot; the margins the page was laid out with go with it, so the
 * queue does not pick a borderless variant of the size.
 */
#include "spool/spool_cups.h"

#include <cmath>
#include <fstream>
#include <sstream>

namespace winport::spool {

namespace {

constexpr std::size_t kMaxJobs = 200; /* collated copies of many runs fall back to per run */

std::string mediaTypeFor(int type)
{
    switch (type) {
    case DMMEDIA_STANDARD:
        return "stationery";
    case DMMEDIA_TRANSPARENCY:
        return "transparency";
    case DMMEDIA_GLOSSY:
        return "photographic-glossy";
    default:
        return {};
    }
}

std::string sidesFor(int duplex)
{
    return duplex == DMDUP_VERTICAL     ? "two-sided-long-edge"
           : duplex == DMDUP_HORIZONTAL ? "two-sided-short-edge"
                                        : "one-sided";
}

/* The page's sheet in hundredths of a millimetre, portrait: the queue's own
 * size for one of its papers, else the drawn size snapped to a standard
 * one within the PWG's tolerance. */
void sheetFor(const Printer &p, const gdi::PageInfo &page, JobRun &run)
{
    bool landscape = page.orientation == gdi::Orientation::Landscape;
    int w = landscape ? page.height : page.width, h = landscape ? page.width : page.height;
    int wide = page.dpiX > 0 ? int(std::lround(w * 2540.0 / page.dpiX)) : 0;
    int high = page.dpiY > 0 ? int(std::lround(h * 2540.0 / page.dpiY)) : 0;
    const Paper *paper = p.paper(short(page.paperSize));
    if (paper && paper->pwgWidth && std::abs(paper->pwgWidth - wide) <= 100 &&
        std::abs(paper->pwgHeight - high) <= 100) {
        run.width = paper->pwgWidth;
        run.height = paper->pwgHeight;
        run.hasMargins = paper->ownMargins;
        for (int i = 0; i < 4; i++)
            run.margins[i] = paper->margins[i];
        return;
    }
    pwg_media_t *pwg = wide > 0 && high > 0 ? pwgMediaForSize(wide, high) : nullptr;
    run.width = pwg ? pwg->width : wide;
    run.height = pwg ? pwg->length : high;
}

bool sameSetting(const JobRun &a, const JobRun &b)
{
    return a.width == b.width && a.height == b.height && a.hasMargins == b.hasMargins &&
           (!a.hasMargins || std::equal(a.margins, a.margins + 4, b.margins)) &&
           a.source == b.source && a.type == b.type && a.sides == b.sides &&
           a.colorMode == b.colorMode;
}

void addMediaCol(ipp_t *request, const JobRun &run)
{
    ipp_t *size = ippNew();
    ippAddInteger(size, IPP_TAG_ZERO, IPP_TAG_INTEGER, "x-dimension", run.width);
    ippAddInteger(size, IPP_TAG_ZERO, IPP_TAG_INTEGER, "y-dimension", run.height);
    ipp_t *col = ippNew();
    ippAddCollection(col, IPP_TAG_ZERO, "media-size", size);
    if (run.hasMargins) {
        const char *names[4] = {"media-left-margin", "media-top-margin", "media-right-margin",
                                "media-bottom-margin"};
        for (int i = 0; i < 4; i++)
            ippAddInteger(col, IPP_TAG_ZERO, IPP_TAG_INTEGER, names[i], run.margins[i]);
    }
    if (!run.source.empty())
        ippAddString(col, IPP_TAG_ZERO, IPP_TAG_KEYWORD, "media-source", nullptr,
                     run.source.c_str());
    if (!run.type.empty())
        ippAddString(col, IPP_TAG_ZERO, IPP_TAG_KEYWORD, "media-type", nullptr, run.type.c_str());
    ippAddCollection(request, IPP_TAG_JOB, "media-col", col);
    ippDelete(size);
    ippDelete(col);
}

/* One job to create: a run of pages, the copies it prints. */
struct Planned {
    const JobRun *run;
    int copies;
    bool wholeDocument;
};

ipp_t *createRequest(const std::string &queue, const Job &job, const Planned &plan, bool collate,
                     DocKind kind)
{
    ipp_t *request = ippNewRequest(IPP_OP_CREATE_JOB);
    std::string uri = QueueUri(queue);
    std::string title = job.document.empty() ? "Document" : job.document;
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, uri.c_str());
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr,
                 cupsUser());
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "job-name", nullptr, title.c_str());
    if (plan.copies > 1) {
        ippAddInteger(request, IPP_TAG_JOB, IPP_TAG_INTEGER, "copies", plan.copies);
        ippAddString(request, IPP_TAG_JOB, IPP_TAG_KEYWORD, "multiple-document-handling", nullptr,
                     collate ? "separate-documents-collated-copies"
                             : "separate-documents-uncollated-copies");
    }
    if (kind == DocKind::Raw || !plan.run)
        return request;
    const JobRun &run = *plan.run;
    if (run.width > 0 && run.height > 0)
        addMediaCol(request, run);
    ippAddString(request, IPP_TAG_JOB, IPP_TAG_KEYWORD, "print-scaling", nullptr, "none");
    ippAddBoolean(request, IPP_TAG_JOB, "fit-to-page", 0);
    if (!run.sides.empty())
        ippAddString(request, IPP_TAG_JOB, IPP_TAG_KEYWORD, "sides", nullptr, run.sides.c_str());
    if (!run.colorMode.empty())
        ippAddString(request, IPP_TAG_JOB, IPP_TAG_KEYWORD, "print-color-mode", nullptr,
                     run.colorMode.c_str());
    if (!plan.wholeDocument)
        ippAddRange(request, IPP_TAG_JOB, "page-ranges", run.first, run.last);
    return request;
}

/* The jobs for the runs: collated copies of a document in several runs
 * repeat the whole sequence, so the copies come out as whole documents. */
std::vector<Planned> planJobs(const std::vector<JobRun> &runs, int copies, bool collate,
                              int pageCount)
{
    std::vector<Planned> jobs;
    bool repeat = collate && copies > 1 && runs.size() > 1 && runs.size() * copies <= kMaxJobs;
    for (int c = 0; c < (repeat ? copies : 1); c++)
        for (const JobRun &run : runs)
            jobs.push_back(
                Planned{&run, repeat ? 1 : copies, run.first == 1 && run.last >= pageCount});
    if (runs.empty())
        jobs.push_back(Planned{nullptr, copies, true});
    return jobs;
}

std::string readFile(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

DWORD cupsError()
{
    ipp_status_t status = cupsLastError();
    if (status == IPP_STATUS_ERROR_NOT_FOUND)
        return ERROR_INVALID_PRINTER_NAME;
    if (status == IPP_STATUS_ERROR_NOT_AUTHORIZED || status == IPP_STATUS_ERROR_FORBIDDEN)
        return ERROR_ACCESS_DENIED;
    return ERROR_PRINTER_NOT_FOUND;
}

int createJob(http_t *http, ipp_t *request)
{
    ipp_t *response = cupsDoRequest(http, request, "/");
    ipp_attribute_t *id =
        response ? ippFindAttribute(response, "job-id", IPP_TAG_INTEGER) : nullptr;
    int job = cupsLastError() <= IPP_STATUS_OK_EVENTS_COMPLETE && id ? ippGetInteger(id, 0) : 0;
    ippDelete(response);
    return job;
}

DWORD sendDocument(http_t *http, const std::string &queue, int id, const std::string &title,
                   const char *format, const std::string &data)
{
    if (cupsStartDocument(http, queue.c_str(), id, title.c_str(), format, 1) !=
        HTTP_STATUS_CONTINUE)
        return cupsError();
    if (cupsWriteRequestData(http, data.data(), data.size()) != HTTP_STATUS_CONTINUE)
        return ERROR_WRITE_FAULT;
    return cupsFinishDocument(http, queue.c_str()) == IPP_STATUS_OK ? 0 : cupsError();
}

} // namespace

std::vector<JobRun> PlanRuns(const Printer &p, const std::vector<gdi::PageInfo> &pages)
{
    std::vector<JobRun> runs;
    int number = 0;
    for (const gdi::PageInfo &page : pages) {
        JobRun run;
        run.first = run.last = ++number;
        sheetFor(p, page, run);
        if (const Bin *bin = p.bin(short(page.defaultSource)))
            run.source = bin->source;
        run.type = mediaTypeFor(page.mediaType);
        if (p.duplex)
            run.sides = sidesFor(page.duplex ? page.duplex : p.defaultDuplex);
        if (p.color)
            run.colorMode = page.color ? "color" : "monochrome";
        if (!runs.empty() && sameSetting(runs.back(), run))
            runs.back().last = number;
        else
            runs.push_back(run);
    }
    return runs;
}

DWORD CupsSubmit(const Printer &printer, const Job &job, const std::string &file, DocKind kind,
                 const std::vector<gdi::PageInfo> &pages, int copies)
{
    const std::string queue = printer.cupsQueue();
    CupsUnfinishedJobs(printer); /* earlier documents' failures are logged before this one */
    std::string data = readFile(file);
    if (kind == DocKind::Pdf)
        StripPageGroups(data);
    const char *format = kind == DocKind::Raw    ? CUPS_FORMAT_RAW
                         : kind == DocKind::Tiff ? "image/tiff"
                                                 : CUPS_FORMAT_PDF;
    std::vector<JobRun> runs =
        kind == DocKind::Raw ? std::vector<JobRun>{} : PlanRuns(printer, pages);
    if (kind == DocKind::Tiff && runs.size() > 1) { /* no page-ranges for images: one media */
        runs.resize(1);
        runs[0].last = int(pages.size());
    }
    bool collate = !pages.empty() && pages.front().collate;
    if (kind != DocKind::Raw && !pages.empty())
        copies = std::max(1, pages.front().copies);
    std::vector<Planned> plans = planJobs(runs, copies, collate, int(pages.size()));

    http_t *http = ConnectCups();
    if (!http)
        return ERROR_PRINTER_NOT_FOUND;
    if (!job.user.empty()) /* Send-Document must come from the job's owner too */
        cupsSetUser(job.user.c_str());
    std::vector<int> ids;
    DWORD err = 0;
    for (const Planned &plan : plans) {
        int id = createJob(http, createRequest(queue, job, plan, collate, kind));
        if (id <= 0) {
            err = cupsError();
            break;
        }
        ids.push_back(id);
    }
    std::string title = job.document.empty() ? "Document" : job.document;
    for (std::size_t i = 0; !err && i < ids.size(); i++)
        err = sendDocument(http, queue, ids[i], title, format, data);
    if (err) /* none of a half-sent document prints */
        for (int id : ids)
            cupsCancelJob2(http, queue.c_str(), id, 0);
    else {
        Job sent = job;
        if (sent.user.empty())
            sent.user = cupsUser();
        MarkJobSent(sent, queue, ids);
    }
    httpClose(http);
    cupsSetUser(nullptr);
    return err;
}

} // namespace winport::spool
