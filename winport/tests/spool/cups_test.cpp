/*
 * CUPS queues without a server: a queue's attributes become a printer the
 * way a Windows driver presents one (paper names and numbers, the default
 * paper, per-paper margins, trays, duplex, colour), pages are cut into
 * jobs of one setting each, and a document sent to CUPS is settled only
 * when every one of its jobs is finished.  What a real server and printer
 * make of all this is in cups_server_test.cpp and cups_printer_test.cpp.
 */
#include "spool_test_util.h"

#include "spool/spool_cups.h"

#include <cstring>
#include <functional>
#include <set>

using namespace spooltest;

namespace {

using winport::spool::Bin;
using winport::spool::CupsJobState;
using winport::spool::Printer;

/* A Get-Printer-Attributes answer built by hand. */
struct Answer {
    ipp_t *ipp = ippNew();
    ~Answer() { ippDelete(ipp); }
    void keywords(const char *name, std::vector<const char *> values)
    {
        ippAddStrings(ipp, IPP_TAG_PRINTER, IPP_TAG_KEYWORD, name, int(values.size()), nullptr,
                      values.data());
    }
    static ipp_t *media(int x, int y, std::vector<int> margins, const char *source = nullptr)
    {
        ipp_t *size = ippNew(), *col = ippNew();
        ippAddInteger(size, IPP_TAG_ZERO, IPP_TAG_INTEGER, "x-dimension", x);
        ippAddInteger(size, IPP_TAG_ZERO, IPP_TAG_INTEGER, "y-dimension", y);
        ippAddCollection(col, IPP_TAG_ZERO, "media-size", size);
        ippDelete(size);
        const char *names[4] = {"media-left-margin", "media-top-margin", "media-right-margin",
                                "media-bottom-margin"};
        for (std::size_t i = 0; i < margins.size(); i++)
            ippAddInteger(col, IPP_TAG_ZERO, IPP_TAG_INTEGER, names[i], margins[i]);
        if (source)
            ippAddString(col, IPP_TAG_ZERO, IPP_TAG_KEYWORD, "media-source", nullptr, source);
        return col;
    }
    void collections(const char *name, std::vector<ipp_t *> cols)
    {
        ipp_attribute_t *a =
            ippAddCollections(ipp, IPP_TAG_PRINTER, name, int(cols.size()), nullptr);
        for (std::size_t i = 0; i < cols.size(); i++) {
            ippSetCollection(ipp, &a, int(i), cols[i]);
            ippDelete(cols[i]);
        }
    }
};

std::vector<std::pair<int, std::string>> binsOf(const std::vector<Bin> &bins)
{
    std::vector<std::pair<int, std::string>> list;
    for (const Bin &b : bins)
        list.emplace_back(b.number, b.name + "=" + b.source);
    return list;
}

winport::gdi::PageInfo letterPage(int bin, bool landscape = false)
{
    winport::gdi::PageInfo page;
    page.width = landscape ? 6600 : 5100;
    page.height = landscape ? 5100 : 6600;
    page.dpiX = page.dpiY = 600;
    page.orientation =
        landscape ? winport::gdi::Orientation::Landscape : winport::gdi::Orientation::Portrait;
    page.paperSize = DMPAPER_LETTER;
    page.defaultSource = bin;
    page.mediaType = DMMEDIA_STANDARD;
    return page;
}

CupsJobState jobState(int id, int state, std::vector<std::string> reasons = {})
{
    CupsJobState s;
    s.id = id;
    s.state = state;
    s.reasons = std::move(reasons);
    return s;
}

} // namespace

TEST(CupsQueues, SourcesGetTheBinNamesAndNumbersOfAWindowsDriver)
{
    auto bins = winport::spool::BinsForSources({"auto", "tray-1", "tray-2", "tray-3", "manual",
                                                "envelope", "large-capacity", "photo", "tray-4",
                                                "main", "by-pass-tray", "tray-2", "my-drawer"});
    /* Names a caller can look for ("Tray 2", "Manual", "Envelope"); the
     * server's numbering for the trays (2 middle, 3 lower); driver numbers
     * from 256 for the rest and for a number already given; no keyword
     * twice. */
    EXPECT_EQ((std::vector<std::pair<int, std::string>>{
                  {7, "Auto Select=auto"},
                  {1, "Tray 1=tray-1"},
                  {3, "Tray 2=tray-2"},
                  {2, "Tray 3=tray-3"},
                  {4, "Manual Feed=manual"},
                  {5, "Envelope Feed=envelope"},
                  {11, "Large Capacity=large-capacity"},
                  {256, "Photo Tray=photo"},
                  {257, "Tray 4=tray-4"},
                  {258, "Main Tray=main"},
                  {259, "Bypass Tray=by-pass-tray"},
                  {260, "My Drawer=my-drawer"},
              }),
              binsOf(bins));
    EXPECT_EQ(23u, winport::spool::BinsForSources({std::string(40, 'x')})[0].name.size())
        << "names fit DC_BINNAMES";
}

TEST(CupsQueues, AQueueIsDescribedFromItsAttributes)
{
    Answer a;
    /* A queue whose first paper (11 x 14) is not its default (A4). */
    a.keywords("media-supported",
               {"na_11x14_11x14in", "na_letter_8.5x11in", "iso_a4_210x297mm",
                "na_number-10_4.125x9.5in", "oe_4x6-label_4x6in", "custom_min_1x1in"});
    a.keywords("media-default", {"iso_a4_210x297mm"});
    a.keywords("media-source-supported", {"auto", "tray-1", "tray-2"});
    a.collections("media-col-database", {Answer::media(21000, 29700, {0, 0, 0, 0}),
                                         Answer::media(21000, 29700, {423, 423, 423, 1000}),
                                         Answer::media(21590, 27940, {635, 635, 635, 635}),
                                         Answer::media(21000, 29700, {100, 100, 100, 100})});
    a.collections("media-col-default", {Answer::media(21590, 27940, {300, 300, 300, 300})});
    a.collections("media-col-ready", {Answer::media(21590, 27940, {}, "tray-2"),
                                      Answer::media(10477, 24130, {}, "by-pass-tray")});
    a.keywords("sides-supported", {"one-sided", "two-sided-long-edge"});
    a.keywords("sides-default", {"two-sided-long-edge"});
    a.keywords("print-color-mode-supported", {"monochrome", "color"});
    a.keywords("print-color-mode-default", {"monochrome"});
    ippAddResolution(a.ipp, IPP_TAG_PRINTER, "printer-resolution-default", IPP_RES_PER_INCH, 600,
                     600);
    int xres[] = {300, 600}, yres[] = {300, 600};
    ippAddResolutions(a.ipp, IPP_TAG_PRINTER, "printer-resolution-supported", 2, IPP_RES_PER_INCH,
                      xres, yres);

    Printer p = winport::spool::DescribeQueue("office", a.ipp);
    EXPECT_EQ("CUPS:office", p.port);
    std::vector<std::pair<int, std::string>> papers;
    for (const auto &paper : p.papers)
        papers.emplace_back(paper.number, paper.name);
    EXPECT_EQ((std::vector<std::pair<int, std::string>>{{257, "11x14"},
                                                        {DMPAPER_LETTER, "Letter"},
                                                        {DMPAPER_A4, "A4"},
                                                        {DMPAPER_ENV_10, "Envelope #10"},
                                                        {258, "Label 4.00 x 6.00"}}),
              papers);
    EXPECT_EQ(DMPAPER_A4, p.defaultPaper);
    /* A4's margins: the first entry with margins that is not borderless. */
    const auto *a4 = p.paper(DMPAPER_A4);
    ASSERT_TRUE(a4 && a4->ownMargins);
    EXPECT_EQ((std::vector<int>{423, 423, 423, 1000}),
              std::vector<int>(a4->margins, a4->margins + 4));
    EXPECT_FALSE(p.paper(DMPAPER_ENV_10)->ownMargins) << "not in the database";
    EXPECT_EQ(300, p.margins[0]) << "sizes the database lacks take the default media's";
    /* The source only the loaded media mentions is a bin too; auto is the default. */
    EXPECT_EQ((std::vector<std::pair<int, std::string>>{{7, "Auto Select=auto"},
                                                        {1, "Tray 1=tray-1"},
                                                        {3, "Tray 2=tray-2"},
                                                        {4, "Bypass Tray=by-pass-tray"}}),
              binsOf(p.bins));
    EXPECT_EQ(DMBIN_AUTO, p.defaultSource);
    EXPECT_EQ((std::vector<int>{600, 300}), p.resolutions);
    EXPECT_TRUE(p.duplex);
    EXPECT_EQ(DMDUP_VERTICAL, p.defaultDuplex);
    EXPECT_TRUE(p.color);
    EXPECT_TRUE(p.defaultMonochrome);

    /* The device a DC of it draws on: A4 at 600 dpi inside those margins. */
    auto dm = winport::spool::DefaultDevMode(p);
    const DEVMODEA &d = winport::spool::AsDevMode(dm);
    EXPECT_EQ(DMCOLOR_MONOCHROME, d.dmColor);
    EXPECT_EQ(DMDUP_VERTICAL, d.dmDuplex);
    auto desc = winport::spool::DescribeDevice(p, dm);
    EXPECT_EQ(4961, desc.paperWidth);
    EXPECT_EQ(100, desc.marginLeft);
    EXPECT_EQ(236, desc.marginBottom);
    EXPECT_FALSE(desc.color);

    Printer bare = winport::spool::DescribeQueue("bare", nullptr);
    EXPECT_EQ(DMPAPER_LETTER, bare.defaultPaper);
    EXPECT_EQ(std::vector<int>{600}, bare.resolutions);
    EXPECT_TRUE(bare.bins.empty());
}

TEST(CupsQueues, APrinterListingTooMuchStillGivesAUsableQueue)
{
    /* Thousands of sizes and sources, range bounds and a 40 m sheet, as a
     * faulty or hostile printer might list them. */
    std::vector<std::string> sizes = {"roll_max_36x1200in", "roll_min_2x1in", "custom_max_9x9in",
                                      "na_huge_1600x1600in", "na_letter_8.5x11in"};
    std::vector<std::string> trays;
    for (int i = 1; i <= 5000; i++) {
        sizes.push_back("oe_size" + std::to_string(i) + "_" + std::to_string(i % 30 + 2) + "x" +
                        std::to_string(i % 40 + 2) + "in");
        trays.push_back("tray-" + std::to_string(i));
    }
    auto pointers = [](const std::vector<std::string> &list) {
        std::vector<const char *> p;
        for (const std::string &s : list)
            p.push_back(s.c_str());
        return p;
    };
    Answer a;
    a.keywords("media-supported", pointers(sizes));
    a.keywords("media-source-supported", pointers(trays));
    Printer p = winport::spool::DescribeQueue("flood", a.ipp);

    ASSERT_FALSE(p.papers.empty());
    EXPECT_LE(p.papers.size(), 200u);
    EXPECT_EQ(DMPAPER_LETTER, p.papers.front().number) << "ranges and absurd sizes are no papers";
    std::set<int> numbers;
    for (const auto &paper : p.papers) {
        EXPECT_GT(paper.number, 0) << paper.name;
        EXPECT_TRUE(numbers.insert(paper.number).second) << paper.name;
    }
    EXPECT_LE(p.bins.size(), 64u);
    numbers.clear();
    for (const Bin &b : p.bins) {
        EXPECT_GT(b.number, 0) << b.name;
        EXPECT_TRUE(numbers.insert(b.number).second) << b.name;
    }
    EXPECT_NE(nullptr, p.paper(p.defaultPaper));
}

/* Writes an answer as IPP carries it and reads it back, after edit has
 * changed the bytes as a printer might have sent them. */
ipp_t *overTheWire(ipp_t *answer, const std::function<void(std::vector<ipp_uchar_t> &)> &edit)
{
    std::vector<ipp_uchar_t> bytes;
    ippSetState(answer, IPP_STATE_IDLE);
    ippWriteIO(
        &bytes,
        [](void *out, ipp_uchar_t *data, size_t n) {
            auto *v = static_cast<std::vector<ipp_uchar_t> *>(out);
            v->insert(v->end(), data, data + n);
            return ssize_t(n);
        },
        1, nullptr, answer);
    edit(bytes);
    struct In {
        std::vector<ipp_uchar_t> *bytes;
        size_t at;
    } in{&bytes, 0};
    ipp_t *read = ippNew();
    ippReadIO(
        &in,
        [](void *source, ipp_uchar_t *data, size_t n) {
            auto *i = static_cast<In *>(source);
            n = std::min(n, i->bytes->size() - i->at);
            std::memcpy(data, i->bytes->data() + i->at, n);
            i->at += n;
            return ssize_t(n);
        },
        1, nullptr, read);
    return read;
}

TEST(CupsQueues, ResolutionsInUnknownUnitsAreNoResolutions)
{
    /* 118 dots per cm is 300 dpi; a resolution whose units byte is neither
     * per inch (3) nor per cm (4) says nothing. */
    Answer a;
    int xres[] = {118, 1200}, yres[] = {118, 1200};
    ippAddResolutions(a.ipp, IPP_TAG_PRINTER, "printer-resolution-supported", 2, IPP_RES_PER_CM,
                      xres, yres);
    ipp_t *read = overTheWire(a.ipp, [](std::vector<ipp_uchar_t> &bytes) {
        /* The second value's units: the last byte before the end tag. */
        ASSERT_GE(bytes.size(), 2u);
        ASSERT_EQ(IPP_RES_PER_CM, bytes[bytes.size() - 2]);
        bytes[bytes.size() - 2] = 251;
    });
    Printer p = winport::spool::DescribeQueue("units", read);
    ippDelete(read);
    EXPECT_EQ(std::vector<int>{300}, p.resolutions);
}

TEST(CupsQueues, PagesSharingOneSettingGoAsOneJob)
{
    Printer p = winport::spool::DescribeQueue("office", nullptr);
    p.bins = winport::spool::BinsForSources({"tray-1", "tray-2", "envelope"});
    p.papers.emplace_back(DMPAPER_ENV_10, "Envelope #10", 1048, 2413);
    p.papers.back().pwgWidth = 10477;
    p.papers.back().pwgHeight = 24130;
    p.duplex = true;
    auto envelope = letterPage(DMBIN_ENVELOPE, true);
    envelope.paperSize = DMPAPER_ENV_10;
    envelope.width = 5700;
    envelope.height = 2475;
    auto mono = letterPage(DMBIN_MIDDLE);
    mono.color = false;
    auto twoSided = letterPage(DMBIN_MIDDLE);
    twoSided.duplex = DMDUP_VERTICAL;
    auto runs = winport::spool::PlanRuns(p, {letterPage(DMBIN_UPPER), letterPage(DMBIN_MIDDLE),
                                             letterPage(DMBIN_MIDDLE, true), envelope, mono,
                                             twoSided, letterPage(99)});
    ASSERT_EQ(6u, runs.size());
    std::vector<std::string> got;
    for (const auto &r : runs)
        got.push_back(std::to_string(r.first) + "-" + std::to_string(r.last) + " " +
                      std::to_string(r.width) + "x" + std::to_string(r.height) + " " + r.source +
                      " " + r.type + " " + r.sides + " " + r.colorMode);
    EXPECT_EQ((std::vector<std::string>{
                  "1-1 21590x27940 tray-1 stationery one-sided color",
                  "2-3 21590x27940 tray-2 stationery one-sided color", /* landscape: same job */
                  "4-4 10477x24130 envelope stationery one-sided color",
                  "5-5 21590x27940 tray-2 stationery one-sided monochrome",
                  "6-6 21590x27940 tray-2 stationery two-sided-long-edge color",
                  "7-7 21590x27940  stationery one-sided color", /* a bin it lacks: none sent */
              }),
              got);
}

TEST(CupsQueues, ASentDocumentIsFinishedOnlyWithAllItsJobs)
{
    winport::spool::SentJob sent;
    sent.ids = {10, 11, 12};
    auto v = winport::spool::JudgeSentJob(sent,
                                          {jobState(10, IPP_JSTATE_COMPLETED),
                                           jobState(11, IPP_JSTATE_PROCESSING),
                                           jobState(12, IPP_JSTATE_PENDING)},
                                          false);
    EXPECT_FALSE(v.finished);
    EXPECT_TRUE(v.stopped.empty());
    v = winport::spool::JudgeSentJob(sent,
                                     {jobState(10, IPP_JSTATE_COMPLETED),
                                      jobState(11, IPP_JSTATE_ABORTED),
                                      jobState(12, IPP_JSTATE_CANCELED)},
                                     false);
    EXPECT_TRUE(v.finished);
    EXPECT_EQ((std::vector<int>{10, 11, 12}), v.finishedIds) << "each is looked up for the log";
    /* A stopped queue holds the job up: logged once, still counted. */
    v = winport::spool::JudgeSentJob(sent,
                                     {jobState(10, IPP_JSTATE_COMPLETED),
                                      jobState(11, IPP_JSTATE_PENDING),
                                      jobState(12, IPP_JSTATE_STOPPED)},
                                     true);
    EXPECT_FALSE(v.finished);
    ASSERT_EQ(2u, v.stopped.size());
    sent.warned = {11, 12};
    EXPECT_TRUE(winport::spool::JudgeSentJob(
                    sent, {jobState(11, IPP_JSTATE_PENDING, {"printer-stopped"})}, false)
                    .stopped.empty());
}
