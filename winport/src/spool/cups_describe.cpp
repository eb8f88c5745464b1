/*
 * A CUPS queue as a printer: what its Get-Printer-Attributes answer says,
 * put the way a Windows driver would present it.
 *
 *   papers       media-supported (then media-ready), Windows numbers and
 *                names where Windows has them ("Letter", "Envelope #10"),
 *                the default from media-default, never simply the first
 *   margins      per paper from media-col-database, so HORZRES/VERTRES and
 *                PHYSICALOFFSETX/Y are the area the queue really prints
 *   bins         media-source-supported and the sources of media-col-ready
 *                (bins.cpp gives them Windows names and numbers)
 *   resolutions  printer-resolution-default, then -supported
 *   duplex       sides-supported, sides-default
 *   colour       color-supported, print-color-mode-supported and -default
 *
 * Pure: the answer comes in as an ipp_t, so tests build one by hand.
 */
#include "spool/spool_cups.h"

#include <cmath>
#include <cstdio>
#include <cstring>

namespace winport::spool {

namespace {

struct PaperName {
    const char *pwg;
    short number;
    const char *name;
};

/* The PWG media Windows numbers, with the names its drivers show. */
constexpr PaperName kPapers[] = {
    {"na_letter_8.5x11in", DMPAPER_LETTER, "Letter"},
    {"na_legal_8.5x14in", DMPAPER_LEGAL, "Legal"},
    {"iso_a4_210x297mm", DMPAPER_A4, "A4"},
    {"na_number-10_4.125x9.5in", DMPAPER_ENV_10, "Envelope #10"},
    {"na_ledger_11x17in", 3, "Tabloid"},
    {"na_invoice_5.5x8.5in", 6, "Statement"},
    {"na_executive_7.25x10.5in", 7, "Executive"},
    {"iso_a3_297x420mm", 8, "A3"},
    {"iso_a5_148x210mm", 11, "A5"},
    {"jis_b5_182x257mm", 13, "B5 (JIS)"},
    {"na_foolscap_8.5x13in", 14, "Folio"},
    {"iso_dl_110x220mm", 27, "Envelope DL"},
    {"iso_c5_162x229mm", 28, "Envelope C5"},
    {"iso_b5_176x250mm", 34, "Envelope B5"},
    {"na_monarch_3.875x7.5in", 37, "Envelope Monarch"},
};

std::vector<std::string> keywords(ipp_attribute_t *attr)
{
    std::vector<std::string> list;
    for (int i = 0; attr && i < ippGetCount(attr); i++)
        if (const char *s = ippGetString(attr, i, nullptr))
            list.emplace_back(s);
    return list;
}

bool contains(ipp_attribute_t *attr, const char *value)
{
    for (const std::string &k : keywords(attr))
        if (k == value)
            return true;
    return false;
}

int member(ipp_t *col, const char *name)
{
    ipp_attribute_t *a = col ? ippFindAttribute(col, name, IPP_TAG_INTEGER) : nullptr;
    return a ? ippGetInteger(a, 0) : -1;
}

/* A media-col's size in hundredths of a millimetre; false without one. */
bool sizeOf(ipp_t *col, int &width, int &height)
{
    ipp_attribute_t *size =
        col ? ippFindAttribute(col, "media-size", IPP_TAG_BEGIN_COLLECTION) : nullptr;
    ipp_t *dims = size ? ippGetCollection(size, 0) : nullptr;
    width = member(dims, "x-dimension");
    height = member(dims, "y-dimension");
    return width > 0 && height > 0;
}

/* A media-col's margins, left, top, right, bottom; false when it has none. */
bool marginsOf(ipp_t *col, int margins[4])
{
    const char *names[4] = {"media-left-margin", "media-top-margin", "media-right-margin",
                            "media-bottom-margin"};
    for (int i = 0; i < 4; i++)
        if ((margins[i] = member(col, names[i])) < 0)
            return false;
    return true;
}

bool sameSize(int w1, int h1, int w2, int h2)
{
    return std::abs(w1 - w2) <= 50 && std::abs(h1 - h2) <= 50; /* half a millimetre */
}

std::string labelName(const pwg_media_t &pwg)
{
    char name[64];
    std::snprintf(name, sizeof name, "Label %.2f x %.2f", pwg.width / 2540.0, pwg.length / 2540.0);
    return name;
}

/* The answer comes from the printer: a queue lists at most this many
 * papers (drivers show a few dozen), each at most 5 m long, so a printer
 * listing thousands of sizes, or absurd ones, leaves the queue usable and
 * the paper numbers within a short. */
constexpr std::size_t kMaxPapers = 200;
constexpr int kMaxPaperSize = 500000; /* hundredths of a mm */

void addPaper(Printer &p, const std::string &keyword, short &custom)
{
    /* The bounds of custom and roll sizes are ranges, not papers. */
    for (const char *range : {"custom_", "roll_max_", "roll_min_"})
        if (keyword.compare(0, std::strlen(range), range) == 0)
            return;
    if (p.papers.size() >= kMaxPapers)
        return;
    pwg_media_t *pwg = pwgMediaForPWG(keyword.c_str());
    if (!pwg || pwg->width <= 0 || pwg->length <= 0 || pwg->width > kMaxPaperSize ||
        pwg->length > kMaxPaperSize)
        return;
    for (const Paper &known : p.papers)
        if (known.pwg == keyword)
            return;
    Paper paper;
    paper.number = 0;
    for (const PaperName &known : kPapers)
        if (keyword == known.pwg) {
            paper.number = known.number;
            paper.name = known.name;
        }
    if (!paper.number || p.paper(paper.number)) {
        paper.number = ++custom;
        paper.name = keyword.find("label") != std::string::npos ? labelName(*pwg)
                     : pwg->ppd                                 ? std::string(pwg->ppd)
                                                                : keyword;
    }
    paper.name = paper.name.substr(0, kPaperNameLen - 1);
    paper.pwg = keyword;
    paper.pwgWidth = pwg->width;
    paper.pwgHeight = pwg->length;
    paper.width = int(std::lround(pwg->width / 10.0)); /* hundredths to tenths of a mm */
    paper.height = int(std::lround(pwg->length / 10.0));
    p.papers.push_back(paper);
}

/* Each paper's margins from the database: the first entry of its size that
 * has margins, preferring one that is not borderless (borderless entries
 * are what a job asks for specially, not what it gets by default). */
void addMargins(Printer &p, ipp_attribute_t *database)
{
    for (Paper &paper : p.papers) {
        bool found = false;
        for (int i = 0; database && i < ippGetCount(database); i++) {
            ipp_t *col = ippGetCollection(database, i);
            int w, h, m[4];
            if (!sizeOf(col, w, h) || !sameSize(w, h, paper.pwgWidth, paper.pwgHeight) ||
                !marginsOf(col, m))
                continue;
            bool borderless = !m[0] && !m[1] && !m[2] && !m[3];
            if (found && (borderless || paper.margins[0] || paper.margins[1] || paper.margins[2] ||
                          paper.margins[3]))
                continue;
            std::memcpy(paper.margins, m, sizeof m);
            paper.ownMargins = found = true;
        }
    }
}

/* Margins for sizes the database does not list (custom papers): the
 * default media's, else the smallest the queue supports other than none. */
void defaultMargins(Printer &p, ipp_t *attrs, ipp_t *defaultCol)
{
    if (marginsOf(defaultCol, p.margins))
        return;
    const char *names[4] = {"media-left-margin-supported", "media-top-margin-supported",
                            "media-right-margin-supported", "media-bottom-margin-supported"};
    for (int i = 0; i < 4; i++) {
        ipp_attribute_t *a = ippFindAttribute(attrs, names[i], IPP_TAG_INTEGER);
        int best = 0;
        for (int v = 0; a && v < ippGetCount(a); v++) {
            int m = ippGetInteger(a, v);
            if (m > 0 && (!best || m < best))
                best = m;
        }
        p.margins[i] = best;
    }
}

void addResolutions(Printer &p, ipp_t *attrs)
{
    for (const char *name : {"printer-resolution-default", "printer-resolution-supported"}) {
        ipp_attribute_t *a = ippFindAttribute(attrs, name, IPP_TAG_RESOLUTION);
        for (int i = 0; a && i < ippGetCount(a); i++) {
            int y = 0;
            ipp_res_t units = IPP_RES_PER_INCH;
            int x = ippGetResolution(a, i, &y, &units);
            /* libcups passes on the units byte as received: read it as the
             * number it is, and skip units that are neither. */
            int code = 0;
            static_assert(sizeof code == sizeof units);
            std::memcpy(&code, &units, sizeof code);
            if (code != IPP_RES_PER_INCH && code != IPP_RES_PER_CM)
                continue;
            int dpi = code == IPP_RES_PER_CM ? int(std::lround(x * 2.54)) : x;
            bool have = false;
            for (int r : p.resolutions)
                have = have || r == dpi;
            if (dpi >= 72 && dpi <= 2400 && !have)
                p.resolutions.push_back(dpi);
        }
    }
    if (p.resolutions.empty())
        p.resolutions.push_back(600);
}

/* The sources a job can name: the supported ones, then any that only the
 * loaded media (media-col-ready) mentions. */
std::vector<std::string> sources(ipp_t *attrs)
{
    std::vector<std::string> list =
        keywords(ippFindAttribute(attrs, "media-source-supported", IPP_TAG_ZERO));
    ipp_attribute_t *ready = ippFindAttribute(attrs, "media-col-ready", IPP_TAG_BEGIN_COLLECTION);
    for (int i = 0; ready && i < ippGetCount(ready); i++) {
        ipp_t *col = ippGetCollection(ready, i);
        ipp_attribute_t *source = ippFindAttribute(col, "media-source", IPP_TAG_ZERO);
        if (const char *s = source ? ippGetString(source, 0, nullptr) : nullptr)
            list.emplace_back(s);
    }
    return list;
}

void addBins(Printer &p, ipp_t *attrs, ipp_t *defaultCol)
{
    p.bins = BinsForSources(sources(attrs));
    if (p.bins.empty())
        return;
    p.defaultSource = p.bins.front().number;
    ipp_attribute_t *source =
        defaultCol ? ippFindAttribute(defaultCol, "media-source", IPP_TAG_ZERO) : nullptr;
    std::string wanted =
        source && ippGetString(source, 0, nullptr) ? ippGetString(source, 0, nullptr) : "auto";
    for (const Bin &b : p.bins)
        if (b.source == wanted)
            p.defaultSource = b.number;
}

void addDefaultPaper(Printer &p, ipp_t *attrs, ipp_t *defaultCol)
{
    p.defaultPaper = p.papers.front().number;
    ipp_attribute_t *media = ippFindAttribute(attrs, "media-default", IPP_TAG_ZERO);
    const char *name = media ? ippGetString(media, 0, nullptr) : nullptr;
    int w, h;
    bool bySize = sizeOf(defaultCol, w, h);
    for (auto it = p.papers.rbegin(); it != p.papers.rend(); ++it)
        if ((name && it->pwg == name) ||
            (!name && bySize && sameSize(w, h, it->pwgWidth, it->pwgHeight)))
            p.defaultPaper = it->number;
}

void addSidesAndColour(Printer &p, ipp_t *attrs)
{
    ipp_attribute_t *sides = ippFindAttribute(attrs, "sides-supported", IPP_TAG_ZERO);
    p.duplex = contains(sides, "two-sided-long-edge") || contains(sides, "two-sided-short-edge");
    std::vector<std::string> side =
        keywords(ippFindAttribute(attrs, "sides-default", IPP_TAG_ZERO));
    if (p.duplex && !side.empty())
        p.defaultDuplex = side[0] == "two-sided-long-edge"    ? DMDUP_VERTICAL
                          : side[0] == "two-sided-short-edge" ? DMDUP_HORIZONTAL
                                                              : DMDUP_SIMPLEX;
    ipp_attribute_t *modes = ippFindAttribute(attrs, "print-color-mode-supported", IPP_TAG_ZERO);
    if (auto *a = ippFindAttribute(attrs, "color-supported", IPP_TAG_BOOLEAN))
        p.color = ippGetBoolean(a, 0);
    else if (modes)
        p.color = contains(modes, "color");
    std::vector<std::string> mode =
        keywords(ippFindAttribute(attrs, "print-color-mode-default", IPP_TAG_ZERO));
    p.defaultMonochrome = !mode.empty() && mode[0].find("monochrome") != std::string::npos;
}

std::string text(ipp_t *attrs, const char *name)
{
    ipp_attribute_t *a = ippFindAttribute(attrs, name, IPP_TAG_ZERO);
    const char *s = a ? ippGetString(a, 0, nullptr) : nullptr;
    return s ? s : "";
}

} // namespace

Printer DescribeQueue(const std::string &name, ipp_t *attrs)
{
    Printer p;
    p.name = name;
    p.port = "CUPS:" + name;
    p.cups = true;
    p.attributes = PRINTER_ATTRIBUTE_QUEUED | PRINTER_ATTRIBUTE_NETWORK;
    p.driver = "CUPS";
    if (attrs) {
        if (std::string model = text(attrs, "printer-make-and-model"); !model.empty())
            p.driver = model;
        p.comment = text(attrs, "printer-info");
        p.location = text(attrs, "printer-location");
        if (auto *a = ippFindAttribute(attrs, "queued-job-count", IPP_TAG_INTEGER))
            p.cupsJobs = DWORD(std::max(0, ippGetInteger(a, 0)));
        short custom = DMPAPER_USER;
        for (const char *list : {"media-supported", "media-ready"})
            for (const std::string &k : keywords(ippFindAttribute(attrs, list, IPP_TAG_ZERO)))
                addPaper(p, k, custom);
        ipp_attribute_t *def =
            ippFindAttribute(attrs, "media-col-default", IPP_TAG_BEGIN_COLLECTION);
        ipp_t *defaultCol = def ? ippGetCollection(def, 0) : nullptr;
        addMargins(p, ippFindAttribute(attrs, "media-col-database", IPP_TAG_BEGIN_COLLECTION));
        defaultMargins(p, attrs, defaultCol);
        addBins(p, attrs, defaultCol);
        addSidesAndColour(p, attrs);
        if (!p.papers.empty())
            addDefaultPaper(p, attrs, defaultCol);
    }
    addResolutions(p, attrs);
    if (p.papers.empty()) {
        p.papers.push_back(Paper{DMPAPER_LETTER, "Letter", 2159, 2794});
        p.defaultPaper = DMPAPER_LETTER;
    }
    return p;
}

} // namespace winport::spool
