/*
 * Printer documents through the seam: job ids, pages and their sizes, the
 * sink's view of them, failures with exact last errors, device resets
 * between and during pages, raster pages, and the record dump.
 */
#include "gdi_test_util.h"

#include <fstream>
#include <sstream>

using namespace gditest;

TEST(StartDoc, ReturnsTheSinksJobIdAndFailsExactly)
{
    auto printer = makePrinter();
    EXPECT_EQ(startDoc(printer->dc, "Novarc Document", "c:\\out.pdf"), 7);
    ASSERT_EQ(printer->sink->docs.size(), 1u);
    EXPECT_EQ(printer->sink->docs[0].docName, "Novarc Document");
    EXPECT_EQ(printer->sink->docs[0].output, "c:\\out.pdf");
    EXPECT_EQ(printer->sink->docs[0].deviceName, "Test Printer");

    SetLastError(kSentinel);
    EXPECT_EQ(startDoc(printer->dc), SP_ERROR) << "a document is already open";
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(printer->sink->docs.size(), 1u);
    EXPECT_EQ(EndDoc(printer->dc), 1);

    HDC mem = CreateCompatibleDC(printer->dc);
    SetLastError(kSentinel);
    EXPECT_EQ(startDoc(mem), SP_ERROR) << "not a printer DC";
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    DeleteDC(mem);
    SetLastError(kSentinel);
    EXPECT_EQ(startDoc(nullptr), SP_ERROR);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    SetLastError(kSentinel);
    EXPECT_EQ(StartDocA(printer->dc, nullptr), SP_ERROR);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));

    printer->sink->failBegin = ERROR_ACCESS_DENIED;
    SetLastError(kSentinel);
    EXPECT_EQ(startDoc(printer->dc), SP_ERROR) << "the sink refuses";
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    SetLastError(kSentinel);
    EXPECT_EQ(StartPage(printer->dc), SP_ERROR) << "no document after a failed StartDocA";
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST(Pages, ReachTheSinkInOrderAndEndDocEndsAnOpenPage)
{
    auto printer = makePrinter();
    SetRecording(printer->dc, true);
    int job = startDoc(printer->dc);
    EXPECT_EQ(StartPage(printer->dc), 1);
    TextOutA(printer->dc, 100, 100, "one", 3);
    EXPECT_EQ(EndPage(printer->dc), 1);
    EXPECT_EQ(StartPage(printer->dc), 1);
    TextOutA(printer->dc, 100, 100, "two", 3);
    EXPECT_EQ(EndDoc(printer->dc), 1) << "with page 2 still open";

    const KeepSink &sink = *printer->sink;
    ASSERT_EQ(sink.ended.size(), 2u) << "the open page was ended, not lost";
    EXPECT_EQ(sink.ended[1].number, 2);
    ASSERT_EQ(sink.finished.size(), 1u);
    EXPECT_EQ(sink.finished[0].jobId, job);
    EXPECT_EQ(sink.finished[0].pages, 2);
    EXPECT_TRUE(sink.finished[0].completed);
    EXPECT_EQ(sink.pdf.rfind("%PDF-", 0), 0u);
    EXPECT_NE(sink.pdf.find("%%EOF"), std::string::npos);

    std::string dump = DumpRecord(GetRecord(printer->dc));
    std::istringstream lines(dump);
    std::vector<std::string> firstWords;
    for (std::string line; std::getline(lines, line);)
        firstWords.push_back(line.substr(0, line.find(' ', line.find(' ') + 1)));
    std::vector<std::string> expected = {"doc start", "page 1",  "text p1", "page 1",
                                         "page 2",    "text p2", "page 2",  "doc end"};
    EXPECT_EQ(firstWords, expected) << dump;

    SetLastError(kSentinel);
    EXPECT_EQ(EndDoc(printer->dc), SP_ERROR) << "no document";
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST(Pages, SecondStartPageKeepsDrawingOnTheOpenSheet)
{
    auto printer = makePrinter();
    SetRecording(printer->dc, true);
    startDoc(printer->dc);
    StartPage(printer->dc);
    TextOutA(printer->dc, 10, 10, "stream", 6);
    EXPECT_GT(StartPage(printer->dc), 0) << "an overlay on the same sheet";
    TextOutA(printer->dc, 10, 20, "overlay", 7);
    EndPage(printer->dc);
    EXPECT_GT(EndPage(printer->dc), 0) << "no page open: nothing to end";
    EndDoc(printer->dc);
    EXPECT_EQ(printer->sink->ended.size(), 1u);
    auto texts = Only<RecText>(GetRecord(printer->dc));
    ASSERT_EQ(texts.size(), 2u);
    EXPECT_EQ(texts[1].page, 1);
}

TEST(AbortDoc, TellsTheSinkToDiscardAndDeleteDcAbortsAnOpenDocument)
{
    auto printer = makePrinter();
    SetRecording(printer->dc, true);
    int job = startDoc(printer->dc);
    StartPage(printer->dc);
    EXPECT_EQ(AbortDoc(printer->dc), 1);
    ASSERT_EQ(printer->sink->finished.size(), 1u);
    EXPECT_EQ(printer->sink->finished[0].jobId, job);
    EXPECT_FALSE(printer->sink->finished[0].completed);
    EXPECT_EQ(printer->sink->ended.size(), 0u);
    auto docs = Only<RecDocument>(GetRecord(printer->dc));
    ASSERT_EQ(docs.size(), 2u);
    EXPECT_EQ(docs[1].event, RecDocument::Abort);
    SetLastError(kSentinel);
    EXPECT_EQ(AbortDoc(printer->dc), SP_ERROR);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));

    startDoc(printer->dc);
    auto sink = printer->sink;
    DeleteDC(printer->dc);
    printer->dc = nullptr;
    ASSERT_EQ(sink->finished.size(), 2u);
    EXPECT_FALSE(sink->finished[1].completed);
}

TEST(DeviceReset, BetweenPagesChangesTheNextPageAndDuringAPageWaitsForItsEnd)
{
    DeviceDescription portrait = letter600();
    portrait.marginLeft = 100;
    portrait.marginTop = 150;
    portrait.marginRight = 100;
    portrait.marginBottom = 150;
    auto printer = makePrinter(portrait);
    SetRecording(printer->dc, true);
    startDoc(printer->dc);
    StartPage(printer->dc);

    DeviceDescription landscape = portrait;
    landscape.orientation = Orientation::Landscape;
    landscape.defaultSource = DMBIN_MANUAL;
    ASSERT_TRUE(ResetPrinterDC(printer->dc, landscape));
    EXPECT_EQ(GetDeviceCaps(printer->dc, PHYSICALWIDTH), 5100) << "the open page keeps its size";
    DeviceDescription pending;
    ASSERT_TRUE(GetPrinterDevice(printer->dc, &pending));
    EXPECT_EQ(pending.orientation, Orientation::Landscape);
    EndPage(printer->dc);
    EXPECT_EQ(GetDeviceCaps(printer->dc, PHYSICALWIDTH), 6600);
    EXPECT_EQ(GetDeviceCaps(printer->dc, HORZRES), 6600 - 300);
    EXPECT_EQ(GetDeviceCaps(printer->dc, PHYSICALOFFSETX), 150) << "portrait top becomes left";

    StartPage(printer->dc);
    EndPage(printer->dc);
    ASSERT_TRUE(ResetPrinterDC(printer->dc, portrait));
    EXPECT_EQ(GetDeviceCaps(printer->dc, PHYSICALWIDTH), 5100) << "between pages: at once";
    StartPage(printer->dc);
    EndDoc(printer->dc);

    const auto &pages = printer->sink->ended;
    ASSERT_EQ(pages.size(), 3u);
    EXPECT_EQ(pages[0].width, 5100);
    EXPECT_EQ(pages[1].width, 6600);
    EXPECT_EQ(pages[1].height, 5100);
    EXPECT_EQ(pages[1].orientation, Orientation::Landscape);
    EXPECT_EQ(pages[1].defaultSource, DMBIN_MANUAL) << "the spooler's attributes ride along";
    EXPECT_EQ(pages[2].width, 5100);
    auto recPages = Only<RecPage>(GetRecord(printer->dc));
    EXPECT_TRUE(recPages[2].landscape);

    DeviceDescription broken = portrait;
    broken.marginLeft = 3000;
    broken.marginRight = 3000;
    SetLastError(kSentinel);
    EXPECT_FALSE(ResetPrinterDC(printer->dc, broken)) << "no printable width left";
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    HDC mem = CreateCompatibleDC(nullptr);
    SetLastError(kSentinel);
    EXPECT_FALSE(ResetPrinterDC(mem, portrait));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    DeleteDC(mem);
}

TEST(RasterPages, ArriveWholeAtDeviceResolutionOnWhite)
{
    auto printer = makePrinter(smallRaster(), PageFormat::Raster);
    startDoc(printer->dc);
    StartPage(printer->dc);
    RECT rc{0, 0, 10, 10};
    FillRect(printer->dc, &rc, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
    EndDoc(printer->dc);
    ASSERT_EQ(printer->sink->rasters.size(), 1u);
    const KeptRaster &r = printer->sink->rasters[0];
    EXPECT_EQ(r.width, 600);
    EXPECT_EQ(r.height, 400);
    EXPECT_EQ(r.at(5, 5), 0u);
    EXPECT_EQ(r.at(300, 300), 0xFFFFFFu);
    EXPECT_TRUE(printer->sink->pdf.empty());
}

TEST(CreatePrinterDc, RefusesUnusableDescriptions)
{
    auto sink = std::make_shared<KeepSink>();
    DeviceDescription d = letter600();
    d.dpiX = 0;
    SetLastError(kSentinel);
    EXPECT_EQ(CreatePrinterDC(d, sink), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    d = letter600();
    d.paperHeight = -1;
    EXPECT_EQ(CreatePrinterDC(d, sink), nullptr);
    EXPECT_EQ(CreatePrinterDC(letter600(), nullptr), nullptr) << "no sink";
}

TEST(PdfFileSink, WritesCompletedDocumentsOnly)
{
    ScratchDir dir;
    std::string path = dir.path() + "/out.pdf";
    HDC dc = CreatePrinterDC(letter600(), std::make_shared<PdfFileSink>(path));
    startDoc(dc);
    StartPage(dc);
    AbortDoc(dc);
    EXPECT_FALSE(std::filesystem::exists(path));
    EXPECT_FALSE(std::filesystem::exists(path + ".part"));
    EXPECT_EQ(startDoc(dc), 2);
    StartPage(dc);
    TextOutA(dc, 100, 100, "kept", 4);
    EXPECT_EQ(EndDoc(dc), 1);
    EXPECT_GT(std::filesystem::file_size(path), 500u);
    DeleteDC(dc);

    HDC nowhere = CreatePrinterDC(letter600(), std::make_shared<PdfFileSink>("/nonexistent/x.pdf"));
    SetLastError(kSentinel);
    EXPECT_EQ(startDoc(nowhere), SP_ERROR);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
    DeleteDC(nowhere);
}

TEST(RecordDump, EnvironmentFolderGetsOneDumpPerDocument)
{
    ScratchDir dir;
    setenv("WINPORT_GDI_RECORD", dir.path().c_str(), 1);
    auto printer = makePrinter();
    int job = startDoc(printer->dc, "Rx / form #1");
    StartPage(printer->dc);
    HPEN pen = CreatePen(PS_SOLID, 7, 0);
    HGDIOBJ old = SelectObject(printer->dc, pen);
    MoveToEx(printer->dc, 10, 20, nullptr);
    LineTo(printer->dc, 110, 20);
    TextOutA(printer->dc, 10, 50, "Name", 4);
    EndPage(printer->dc);
    EndDoc(printer->dc);
    unsetenv("WINPORT_GDI_RECORD");
    SelectObject(printer->dc, old);
    DeleteObject(pen);

    std::string file = dir.path() + "/job" + std::to_string(job) + "-Rx___form__1.gdi.txt";
    std::ifstream in(file);
    ASSERT_TRUE(in) << file;
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    ASSERT_EQ(lines.size(), 6u);
    EXPECT_EQ(lines[0], "doc start job=7 name=\"Rx / form #1\" output=\"\"");
    EXPECT_EQ(lines[1], "page 1 start 5100x6600 600x600dpi portrait");
    EXPECT_EQ(lines[2], "line p1 (10,20)-(110,20) pen=solid/7/#000000");
    EXPECT_EQ(lines[3].rfind("text p1 at=(10,50)", 0), 0u) << lines[3];
    EXPECT_EQ(lines[5], "doc end job=7 pages=1");
    EXPECT_TRUE(GetRecord(printer->dc).empty()) << "recording only for the dump keeps nothing";
}
