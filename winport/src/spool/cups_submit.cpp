/*
 * Sending a finished job to a CUPS queue: documents as PDF (page groups
 * removed first, so the queue keeps the pages as vectors), raw jobs as
 * application/vnd.cups-raw, with the job's paper as "media", its tray as
 * "media-source" and its media type as "media-type".  A queue takes one
 * media per job, so a document whose pages asked for different papers or
 * trays gets those of its first page.
 */
#include "spool/spool_cups.h"

#include <cstdio>
#include <fstream>
#include <sstream>

namespace winport::spool {

namespace {

std::string mediaFor(const gdi::PageInfo &page)
{
    if (page.width <= 0 || page.height <= 0 || page.dpiX <= 0 || page.dpiY <= 0)
        return {};
    bool landscape = page.orientation == gdi::Orientation::Landscape;
    int w = landscape ? page.height : page.width, h = landscape ? page.width : page.height;
    /* device units to hundredths of a millimetre, as PWG sizes are kept */
    pwg_media_t *pwg =
        pwgMediaForSize(int(w * 2540.0 / page.dpiX + 0.5), int(h * 2540.0 / page.dpiY + 0.5));
    return pwg && pwg->pwg ? pwg->pwg : std::string();
}

std::string sourceFor(int bin)
{
    switch (bin) {
    case DMBIN_UPPER:
        return "tray-1";
    case DMBIN_LOWER:
        return "tray-2";
    case DMBIN_MIDDLE:
        return "tray-3";
    case DMBIN_MANUAL:
        return "manual";
    case DMBIN_ENVELOPE:
        return "envelope";
    case DMBIN_AUTO:
        return "auto";
    case DMBIN_LARGECAPACITY:
        return "large-capacity";
    default:
        return {};
    }
}

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

} // namespace

DWORD CupsSubmit(const std::string &queue, const Job &job, const std::string &file, DocKind kind,
                 const std::vector<gdi::PageInfo> &pages, int copies)
{
    std::string data = readFile(file);
    if (kind == DocKind::Pdf)
        StripPageGroups(data);
    const char *format = kind == DocKind::Raw    ? CUPS_FORMAT_RAW
                         : kind == DocKind::Tiff ? "image/tiff"
                                                 : CUPS_FORMAT_PDF;
    int count = 0;
    cups_option_t *options = nullptr;
    if (kind != DocKind::Raw && !pages.empty()) {
        std::string media = mediaFor(pages.front()),
                    source = sourceFor(pages.front().defaultSource);
        if (!media.empty())
            count = cupsAddOption("media", media.c_str(), count, &options);
        if (!source.empty())
            count = cupsAddOption("media-source", source.c_str(), count, &options);
        std::string type = mediaTypeFor(pages.front().mediaType);
        if (!type.empty())
            count = cupsAddOption("media-type", type.c_str(), count, &options);
    }
    if (copies > 1)
        count = cupsAddOption("copies", std::to_string(copies).c_str(), count, &options);
    if (!job.user.empty())
        cupsSetUser(job.user.c_str());
    http_t *http = ConnectCups();
    if (!http) {
        cupsFreeOptions(count, options);
        return ERROR_PRINTER_NOT_FOUND;
    }
    std::string title = job.document.empty() ? "Document" : job.document;
    int id = cupsCreateJob(http, queue.c_str(), title.c_str(), count, options);
    DWORD err = id > 0 ? 0 : cupsError();
    if (!err && cupsStartDocument(http, queue.c_str(), id, title.c_str(), format, 1) !=
                    HTTP_STATUS_CONTINUE)
        err = cupsError();
    if (!err && cupsWriteRequestData(http, data.data(), data.size()) != HTTP_STATUS_CONTINUE)
        err = ERROR_WRITE_FAULT;
    if (!err && cupsFinishDocument(http, queue.c_str()) != IPP_STATUS_OK)
        err = cupsError();
    cupsFreeOptions(count, options);
    httpClose(http);
    cupsSetUser(nullptr);
    return err;
}

} // namespace winport::spool
