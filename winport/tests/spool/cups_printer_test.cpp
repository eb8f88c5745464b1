/*
 * A real IPP printer behind a CUPS queue: ippeveprinter declared as an
 * office laser (LaserPrinter: seven paper sources, four papers,
 * quarter-inch margins, duplex, colour, 600 dpi), added to a private cupsd
 * as an IPP Everywhere queue.  What the
 * printer receives (its job attributes) and keeps (the PDF of each job,
 * rendered with pdftoppm) shows that trays, papers, sides, colour mode,
 * copies and positions drawn in device units reach the paper as the
 * device mode and the DC described them.
 *
 * The servers are started once for the suite; each test has its own root
 * and tells its jobs apart by a token in the document name.
 */
#include "private_cups.h"
#include "spool_test_util.h"

#include <cups/cups.h>

#include <iostream>
#include <thread>

using namespace spooltest;
using namespace cupstest;

namespace {

constexpr const char *kQueue = "wp-laser";

/* Documents whose name asks for it fail at the printer ("paper jam"),
 * after a moment, so that CUPS's backend sees the job printing first. */
constexpr const char *kCommand = "#!/bin/sh\n"
                                 "case \"$IPP_JOB_NAME\" in *jam*) sleep 2; "
                                 "echo 'ERROR: Paper jam' >&2; exit 1;; esac\nexit 0\n";

struct Servers {
    PrivateCups cups;
    IppPrinter printer;
    std::string why;
    bool up = false;
};

class CupsPrinterTest : public SpoolTest {
protected:
    static void SetUpTestSuite()
    {
        servers_ = new Servers;
        Servers &s = *servers_;
        s.up = s.cups.start(s.why) && s.printer.start(LaserPrinter(), kCommand, s.why);
        if (s.up && !s.cups.lpadmin(std::string("-p ") + kQueue + " -E -v " + s.printer.uri() +
                                    " -m everywhere")) {
            s.up = false;
            s.why = "lpadmin could not add the IPP Everywhere queue; see " + s.cups.dir();
        }
    }
    static void TearDownTestSuite()
    {
        delete servers_;
        servers_ = nullptr;
    }
    void SetUp() override
    {
        if (!servers_->up)
            GTEST_SKIP() << servers_->why;
        setenv("CUPS_SERVER", servers_->cups.server().c_str(), 1);
    }
    void TearDown() override { unsetenv("CUPS_SERVER"); }

    static Servers *servers_;
    std::string token = "t" + std::to_string(getpid()) + "-" +
                        ::testing::UnitTest::GetInstance()->current_test_info()->name();
};

Servers *CupsPrinterTest::servers_ = nullptr;

/* What one page asks of the device mode; 0 leaves a field as it is. */
struct PageSetup {
    short paper = 0;
    short bin = 0;
    short orientation = 0;
};

void applySetup(HDC dc, const PageSetup &setup)
{
    DEVMODEA dm{};
    dm.dmSize = sizeof dm;
    dm.dmSpecVersion = DM_SPECVERSION;
    if (setup.paper) {
        dm.dmFields |= DM_PAPERSIZE;
        dm.dmPaperSize = setup.paper;
    }
    if (setup.bin) {
        dm.dmFields |= DM_DEFAULTSOURCE;
        dm.dmDefaultSource = setup.bin;
    }
    if (setup.orientation) {
        dm.dmFields |= DM_ORIENTATION;
        dm.dmOrientation = setup.orientation;
    }
    ASSERT_EQ(dc, ResetDCA(dc, &dm));
}

/* Prints one page per setup, each with the text "page N". */
void printPages(HDC dc, const std::string &name, const std::vector<PageSetup> &pages)
{
    DOCINFOA di{sizeof di, name.c_str(), nullptr, nullptr, 0};
    ASSERT_GT(StartDocA(dc, &di), 0);
    for (std::size_t i = 0; i < pages.size(); i++) {
        applySetup(dc, pages[i]);
        ASSERT_GT(StartPage(dc), 0);
        std::string text = "page " + std::to_string(i + 1);
        TextOutA(dc, 600, 600, text.c_str(), int(text.size()));
        ASSERT_GT(EndPage(dc), 0);
    }
    ASSERT_GT(EndDoc(dc), 0) << GetLastError();
}

DWORD jobsOf(const char *printer)
{
    OpenedPrinter p(printer);
    std::vector<BYTE> buf;
    PRINTER_INFO_2A *info = printerInfo2(p.h, buf);
    return info ? info->cJobs : 999;
}

/* A greyscale crop of a PDF page at 600 dpi, rows top first (0 is black). */
struct Crop {
    int x = 0, y = 0;
    std::vector<std::string> rows;
    /* The first inked pixel, scanning rows from the top, as page pixels. */
    std::pair<int, int> firstInk() const
    {
        for (std::size_t r = 0; r < rows.size(); r++)
            for (std::size_t c = 0; c < rows[r].size(); c++)
                if (static_cast<unsigned char>(rows[r][c]) < 128)
                    return {x + int(c), y + int(r)};
        return {-1, -1};
    }
};

Crop render(const std::string &pdf, int page, int x, int y, int w, int h, const std::string &dir)
{
    Crop crop;
    crop.x = x;
    crop.y = y;
    std::string out = dir + "/crop";
    RunCommand("pdftoppm -r 600 -gray -singlefile -f " + std::to_string(page) + " -l " +
               std::to_string(page) + " -x " + std::to_string(x) + " -y " + std::to_string(y) +
               " -W " + std::to_string(w) + " -H " + std::to_string(h) + " '" + pdf + "' '" + out +
               "'");
    std::string pgm = readAll(out + ".pgm");
    int width = 0, height = 0, max = 0, used = 0;
    if (std::sscanf(pgm.c_str(), "P5 %d %d %d%n", &width, &height, &max, &used) != 3 ||
        pgm.size() < std::size_t(used) + 1 + std::size_t(width) * height)
        return crop;
    for (int r = 0; r < height; r++)
        crop.rows.push_back(pgm.substr(used + 1 + std::size_t(r) * width, width));
    return crop;
}

/* The event log, read as Windows programs read it (the path's case is the
 * root's business). */
std::string applicationLog()
{
    HANDLE f = CreateFileA("C:\\Windows\\System32\\winevt\\Logs\\Application.log", GENERIC_READ,
                           FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    std::string text;
    char buf[4096];
    DWORD n = 0;
    while (f != INVALID_HANDLE_VALUE && ReadFile(f, buf, sizeof buf, &n, nullptr) && n)
        text.append(buf, n);
    if (f != INVALID_HANDLE_VALUE)
        CloseHandle(f);
    return text;
}

/* Fills a rectangle black, in device units. */
void box(HDC dc, int x, int y, int w, int h)
{
    RECT r{x, y, x + w, y + h};
    FillRect(dc, &r, HBRUSH(GetStockObject(BLACK_BRUSH)));
}

} // namespace

TEST_F(CupsPrinterTest, TheQueueLooksLikeADriverForItsPrinter)
{
    /* Trays by the names and numbers a Windows driver gives them, the
     * server's tray 2 as DMBIN_MIDDLE and tray 3 as DMBIN_LOWER. */
    int n = DeviceCapabilitiesA(kQueue, nullptr, DC_BINS, nullptr, nullptr);
    ASSERT_EQ(7, n);
    std::vector<WORD> bins(n);
    std::vector<char> names(n * 24);
    DeviceCapabilitiesA(kQueue, nullptr, DC_BINS, reinterpret_cast<LPSTR>(bins.data()), nullptr);
    DeviceCapabilitiesA(kQueue, nullptr, DC_BINNAMES, names.data(), nullptr);
    std::vector<std::pair<int, std::string>> got;
    for (int i = 0; i < n; i++)
        got.emplace_back(bins[i], std::string(names.data() + 24 * i));
    EXPECT_EQ((std::vector<std::pair<int, std::string>>{{7, "Auto Select"},
                                                        {1, "Tray 1"},
                                                        {3, "Tray 2"},
                                                        {2, "Tray 3"},
                                                        {4, "Manual Feed"},
                                                        {5, "Envelope Feed"},
                                                        {256, "Photo Tray"}}),
              got);
    EXPECT_EQ(1, DeviceCapabilitiesA(kQueue, nullptr, DC_DUPLEX, nullptr, nullptr));
    EXPECT_EQ(1, DeviceCapabilitiesA(kQueue, nullptr, DC_COLORDEVICE, nullptr, nullptr));
    LONG res[2] = {};
    ASSERT_EQ(1, DeviceCapabilitiesA(kQueue, nullptr, DC_ENUMRESOLUTIONS,
                                     reinterpret_cast<LPSTR>(res), nullptr));
    EXPECT_EQ(600, res[0]);

    /* The queue's default paper, its printable area, its resolution. */
    HDC dc = CreateDCA("WINSPOOL", kQueue, nullptr, nullptr);
    ASSERT_NE(nullptr, dc);
    EXPECT_EQ(600, GetDeviceCaps(dc, LOGPIXELSX));
    EXPECT_EQ(5100, GetDeviceCaps(dc, PHYSICALWIDTH));
    EXPECT_EQ(150, GetDeviceCaps(dc, PHYSICALOFFSETX));
    EXPECT_EQ(150, GetDeviceCaps(dc, PHYSICALOFFSETY));
    EXPECT_EQ(4800, GetDeviceCaps(dc, HORZRES));
    EXPECT_EQ(6300, GetDeviceCaps(dc, VERTRES));
    PageSetup envelope{DMPAPER_ENV_10, DMBIN_ENVELOPE, 0};
    applySetup(dc, envelope);
    EXPECT_EQ(2475, GetDeviceCaps(dc, PHYSICALWIDTH)) << "4.125 inches, not its tenths of a mm";
    EXPECT_EQ(2175, GetDeviceCaps(dc, HORZRES));
    DeleteDC(dc);
}

TEST_F(CupsPrinterTest, EachPageComesFromTheTrayAndPaperItAskedFor)
{
    /* A letterhead first page, two pages from tray 3, an envelope turned to
     * landscape from the envelope feeder, a last page from tray 3 again. */
    HDC dc = CreateDCA("WINSPOOL", kQueue, nullptr, nullptr);
    ASSERT_NE(nullptr, dc);
    printPages(dc, token,
               {{DMPAPER_LETTER, DMBIN_UPPER, DMORIENT_PORTRAIT},
                {0, DMBIN_LOWER, 0},
                {0, 0, DMORIENT_LANDSCAPE},
                {DMPAPER_ENV_10, DMBIN_ENVELOPE, DMORIENT_LANDSCAPE},
                {DMPAPER_LETTER, DMBIN_LOWER, DMORIENT_PORTRAIT}});
    DeleteDC(dc);
    EXPECT_EQ(1u, jobsOf(kQueue)) << "one document, however many jobs it took";

    auto jobs = WaitForJobs(servers_->printer.uri(), token, 4);
    ASSERT_EQ(4u, jobs.size());
    const char *sources[] = {"media-source=tray-1", "media-source=tray-3", "media-source=envelope",
                             "media-source=tray-3"};
    const char *sizes[] = {
        "x-dimension=21590 y-dimension=27940", "x-dimension=21590 y-dimension=27940",
        "x-dimension=10477 y-dimension=24130", "x-dimension=21590 y-dimension=27940"};
    const std::vector<std::vector<int>> pages = {{1}, {2, 3}, {4}, {5}};
    for (int i = 0; i < 4; i++) {
        SCOPED_TRACE("job " + std::to_string(i + 1));
        EXPECT_EQ(IPP_JSTATE_COMPLETED, jobs[i].state);
        std::string media = jobs[i].attr("media-col");
        EXPECT_NE(std::string::npos, media.find(sources[i])) << media;
        EXPECT_NE(std::string::npos, media.find(sizes[i])) << media;
        std::string pdf = KeptDocument(servers_->printer, jobs[i].id);
        ASSERT_FALSE(pdf.empty());
        EXPECT_NE(std::string::npos,
                  pdfInfo(pdf).find("Pages:           " + std::to_string(pages[i].size())))
            << pdfInfo(pdf);
        std::string text = pdfText(pdf);
        for (int p = 1; p <= 5; p++) {
            bool wanted = std::count(pages[i].begin(), pages[i].end(), p) > 0;
            EXPECT_EQ(wanted, text.find("page " + std::to_string(p)) != std::string::npos)
                << "page " << p << " in " << text;
        }
    }
    for (int waited = 0; jobsOf(kQueue) && waited < 50; waited++)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(0u, jobsOf(kQueue)) << "CUPS has finished the document";
}

TEST_F(CupsPrinterTest, MarksLandOnTheSheetWhereTheyWereDrawn)
{
    /* A tenth-inch square drawn 2 inches from the left and 2.5 inches from
     * the top of the sheet, as a form placed in 1/600 inch is: in device
     * units that is less the physical offset.  The queue must not fit the
     * page into its printable area, nor move it; a landscape page is turned
     * onto the sheet as a Windows driver turns it (a quarter turn, the
     * portrait's top edge on the landscape's left). */
    HDC dc = CreateDCA("WINSPOOL", kQueue, nullptr, nullptr);
    ASSERT_NE(nullptr, dc);
    DOCINFOA di{sizeof di, token.c_str(), nullptr, nullptr, 0};
    ASSERT_GT(StartDocA(dc, &di), 0);
    for (short orientation : {DMORIENT_PORTRAIT, DMORIENT_LANDSCAPE}) {
        applySetup(dc, PageSetup{0, 0, orientation});
        ASSERT_GT(StartPage(dc), 0);
        int offX = GetDeviceCaps(dc, PHYSICALOFFSETX), offY = GetDeviceCaps(dc, PHYSICALOFFSETY);
        EXPECT_EQ(150, offX);
        EXPECT_EQ(150, offY);
        box(dc, 1200 - offX, 1500 - offY, 60, 60);
        ASSERT_GT(EndPage(dc), 0);
    }
    ASSERT_GT(EndDoc(dc), 0);
    DeleteDC(dc);

    auto jobs = WaitForJobs(servers_->printer.uri(), token, 1);
    ASSERT_EQ(1u, jobs.size()) << "turning a page needs no job of its own";
    std::string pdf = KeptDocument(servers_->printer, jobs[0].id);
    ASSERT_FALSE(pdf.empty());
    EXPECT_EQ(std::make_pair(1200, 1500),
              render(pdf, 1, 1100, 1400, 300, 300, root.path()).firstInk());
    /* Landscape (X, Y) from its top left is (5100 - Y, X) on the portrait sheet. */
    EXPECT_EQ(std::make_pair(5100 - 1560, 1200),
              render(pdf, 2, 3400, 1100, 300, 300, root.path()).firstInk());

    auto queued = WaitForJobs("ipp://" + servers_->cups.server() + "/printers/" + kQueue, token, 1);
    std::string seen;
    for (const auto &j : JobsAt("ipp://" + servers_->cups.server() + "/printers/" + kQueue))
        seen += std::to_string(j.id) + " '" + j.name + "' state " + std::to_string(j.state) + " " +
                j.attr("job-state-reasons") + "\n";
    ASSERT_EQ(1u, queued.size()) << seen;
    EXPECT_EQ("none", queued[0].attr("print-scaling"));
    EXPECT_EQ("false", queued[0].attr("fit-to-page"));
}

TEST_F(CupsPrinterTest, APrescriptionBoxLandsWhereTheEmbeddedPrinterPutsIt)
{
    /* A prescription pad's frame at 1.5 x 2 inches on the sheet, placed by
     * each printer's physical offset: the embedded printer's margins are
     * 1/6 inch, the queue's a quarter, and the frame must still come out at
     * the same place on both sheets. */
    auto printFrame = [&](const char *printer) {
        HDC dc = CreateDCA("WINSPOOL", printer, nullptr, nullptr);
        EXPECT_NE(nullptr, dc);
        DOCINFOA di{sizeof di, token.c_str(), nullptr, nullptr, 0};
        EXPECT_GT(StartDocA(dc, &di), 0);
        EXPECT_GT(StartPage(dc), 0);
        int x = 900 - GetDeviceCaps(dc, PHYSICALOFFSETX),
            y = 1200 - GetDeviceCaps(dc, PHYSICALOFFSETY);
        box(dc, x, y, 1800, 6);
        box(dc, x, y + 600 - 6, 1800, 6);
        box(dc, x, y, 6, 600);
        box(dc, x + 1800 - 6, y, 6, 600);
        TextOutA(dc, x + 60, y + 60, "Rx  Amoxicillin 500 mg", 22);
        EXPECT_GT(EndPage(dc), 0);
        EXPECT_GT(EndDoc(dc), 0);
        DeleteDC(dc);
    };
    printFrame(kEmbedded);
    printFrame(kQueue);
    std::vector<std::string> saved = filesIn(root.driveC("novarc/printed"));
    ASSERT_EQ(1u, saved.size());
    auto jobs = WaitForJobs(servers_->printer.uri(), token, 1);
    ASSERT_EQ(1u, jobs.size());
    std::string embedded = root.driveC("novarc/printed/" + saved[0]);
    std::string queued = KeptDocument(servers_->printer, jobs[0].id);
    for (auto corner : {std::make_pair(800, 1100), std::make_pair(2600, 1700)}) {
        auto a = render(embedded, 1, corner.first, corner.second, 200, 200, root.path()).firstInk();
        auto b = render(queued, 1, corner.first, corner.second, 200, 200, root.path()).firstInk();
        EXPECT_NE(-1, a.first);
        EXPECT_EQ(a, b) << "the frame's corner near " << corner.first << "," << corner.second;
    }
}

TEST_F(CupsPrinterTest, DuplexColourAndCopiesReachThePrinter)
{
    /* Two-sided, monochrome, two collated copies of a document in two trays:
     * the jobs repeat in order, so each copy comes out whole. */
    DEVMODEA dm{};
    dm.dmSize = sizeof dm;
    dm.dmFields = DM_DUPLEX | DM_COLOR | DM_COPIES | DM_COLLATE;
    dm.dmDuplex = DMDUP_VERTICAL;
    dm.dmColor = DMCOLOR_MONOCHROME;
    dm.dmCopies = 2;
    dm.dmCollate = DMCOLLATE_TRUE;
    HDC dc = CreateDCA("WINSPOOL", kQueue, nullptr, &dm);
    ASSERT_NE(nullptr, dc);
    EXPECT_EQ(1, GetDeviceCaps(dc, BITSPIXEL)) << "monochrome draws in grey";
    printPages(dc, token, {{0, DMBIN_UPPER, 0}, {0, DMBIN_MIDDLE, 0}});
    DeleteDC(dc);
    auto jobs = WaitForJobs(servers_->printer.uri(), token, 4);
    ASSERT_EQ(4u, jobs.size());
    for (int i = 0; i < 4; i++) {
        SCOPED_TRACE("job " + std::to_string(i + 1));
        EXPECT_NE(
            std::string::npos,
            jobs[i].attr("media-col").find(i % 2 ? "media-source=tray-2" : "media-source=tray-1"));
        EXPECT_EQ("two-sided-long-edge", jobs[i].attr("sides"));
        EXPECT_EQ("monochrome", jobs[i].attr("print-color-mode"));
        EXPECT_TRUE(jobs[i].attr("copies").empty() || jobs[i].attr("copies") == "1");
    }

    /* Three uncollated copies of a one-tray document: one job asks for them. */
    dm.dmCopies = 3;
    dm.dmCollate = DMCOLLATE_FALSE;
    dm.dmDuplex = DMDUP_HORIZONTAL;
    dc = CreateDCA("WINSPOOL", kQueue, nullptr, &dm);
    printPages(dc, token + "-uncollated", {{0, DMBIN_UPPER, 0}, {0, 0, 0}});
    DeleteDC(dc);
    jobs = WaitForJobs(servers_->printer.uri(), token + "-uncollated", 1);
    ASSERT_EQ(1u, jobs.size());
    EXPECT_EQ("3", jobs[0].attr("copies"));
    EXPECT_EQ("separate-documents-uncollated-copies", jobs[0].attr("multiple-document-handling"));
    EXPECT_EQ("two-sided-short-edge", jobs[0].attr("sides"));
}

TEST_F(CupsPrinterTest, ADocumentCountsUntilCupsHasFinishedIt)
{
    auto waitForNoJobs = [&](const char *printer) {
        for (int waited = 0; jobsOf(printer) && waited < 100; waited++)
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        return jobsOf(printer);
    };
    /* A queue whose printer has stopped: the document waits, counted, and
     * the stop is logged once with the queue's reason. */
    const char *stopped = "wp-stopped";
    ASSERT_TRUE(servers_->cups.lpadmin(std::string("-p ") + stopped + " -E -v " +
                                       servers_->printer.uri() + " -m everywhere"));
    ASSERT_TRUE(servers_->cups.tool("cupsdisable", std::string("-r 'Out of toner' ") + stopped));
    HDC dc = CreateDCA("WINSPOOL", stopped, nullptr, nullptr);
    ASSERT_NE(nullptr, dc);
    printPages(dc, token + "-waits", {{}});
    DeleteDC(dc);
    EXPECT_EQ(1u, jobsOf(stopped));
    EXPECT_EQ(1u, jobsOf(stopped));
    std::string events = applicationLog();
    EXPECT_NE(std::string::npos,
              events.find("Print WARNING 373: The document \"" + token + "-waits\""))
        << events;
    EXPECT_NE(std::string::npos, events.find("Out of toner")) << events;
    auto first = events.find("WARNING 373");
    EXPECT_EQ(std::string::npos, events.find("WARNING 373", first + 1)) << "logged once";
    ASSERT_TRUE(servers_->cups.tool("cancel", std::string("-a ") + stopped));
    EXPECT_EQ(0u, waitForNoJobs(stopped));

    /* A document the printer fails: counted until CUPS gives up on it, then
     * logged with CUPS's reason.  CUPS's IPP backend notices the printer's
     * abort only when its job monitor, not its final poll, sees it first,
     * and otherwise reports the job completed: then nothing may be logged.
     * A few tries make the failure all but certain to be seen. */
    const std::string queueUri = "ipp://" + servers_->cups.server() + "/printers/" + kQueue;
    bool seenFailure = false;
    for (int attempt = 1; attempt <= 4 && !seenFailure; attempt++) {
        std::string name = token + "-jam" + std::to_string(attempt);
        dc = CreateDCA("WINSPOOL", kQueue, nullptr, nullptr);
        printPages(dc, name, {{}});
        DeleteDC(dc);
        EXPECT_EQ(0u, waitForNoJobs(kQueue));
        int state = 0;
        for (const ReceivedJob &j : JobsAt(queueUri))
            if (j.name == name)
                state = j.state;
        events = applicationLog();
        auto failed = events.find("Print ERROR 372: The document \"" + name + "\"");
        if (state == IPP_JSTATE_COMPLETED) {
            EXPECT_EQ(std::string::npos, failed) << "CUPS printed it: " << events;
            continue;
        }
        ASSERT_EQ(IPP_JSTATE_CANCELED, state) << name;
        ASSERT_NE(std::string::npos, failed) << events;
        std::string line = events.substr(failed, events.find('\n', failed) - failed);
        EXPECT_NE(std::string::npos, line.find("failed to print on printer wp-laser")) << line;
        EXPECT_NE(std::string::npos, line.find("canceled at printer")) << line;
        seenFailure = true;
    }
    if (!seenFailure)
        std::cerr
            << "CUPS reported every failed document printed; the failure log went unchecked\n";
}
