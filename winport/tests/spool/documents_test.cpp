/*
 * Documents drawn on printer DCs reach their port: one PDF per job in a
 * folder (read back with pdfinfo and pdftotext), ResetDCA between pages,
 * cJobs while a job is open, cancelled and aborted jobs, a TIFF file for an
 * image printer, and the headless print dialog.
 */
#include "spool_test_util.h"

#include <commdlg.h>
#include <winport_test.h>

using namespace spooltest;

namespace {

DWORD jobsOf(const char *printer)
{
    OpenedPrinter p(printer);
    std::vector<BYTE> buf;
    PRINTER_INFO_2A *info = printerInfo2(p.h, buf);
    return info ? info->cJobs : 999;
}

int startDoc(HDC dc, const char *name, const char *output = nullptr)
{
    DOCINFOA di{sizeof(DOCINFOA), name, output, nullptr, 0};
    return StartDocA(dc, &di);
}

void page(HDC dc, const char *text)
{
    ASSERT_GT(StartPage(dc), 0);
    ASSERT_TRUE(TextOutA(dc, 100, 100, text, int(std::strlen(text))));
    ASSERT_GT(EndPage(dc), 0);
}

} // namespace

TEST_F(SpoolTest, FolderPortWritesOnePdfPerJobNamedByIdAndDocument)
{
    addFolderPrinter("Lab Laser", "C:\\out\\pdf");
    HDC dc = CreateDCA("WINSPOOL", "Lab Laser", nullptr, nullptr);
    ASSERT_NE(nullptr, dc);
    int job = startDoc(dc, "Visit: summary/1");
    ASSERT_GT(job, 0);
    page(dc, "First page");
    page(dc, "Second page");
    EXPECT_TRUE(filesIn(root.driveC("out/pdf")).empty()) << "nothing before EndDoc";
    ASSERT_GT(EndDoc(dc), 0);
    int second = startDoc(dc, "Again");
    ASSERT_GT(second, job);
    page(dc, "Other");
    ASSERT_GT(EndDoc(dc), 0);
    DeleteDC(dc);

    std::string first = std::to_string(job) + "-Visit_ summary_1.pdf";
    EXPECT_EQ((std::vector<std::string>{first, std::to_string(second) + "-Again.pdf"}),
              filesIn(root.driveC("out/pdf")));
    std::string path = root.driveC("out/pdf/" + first);
    EXPECT_NE(std::string::npos, pdfInfo(path).find("Pages:           2"));
    std::string text = pdfText(path);
    EXPECT_NE(std::string::npos, text.find("First page"));
    EXPECT_NE(std::string::npos, text.find("Second page"));
}

TEST_F(SpoolTest, ResetDCBetweenPagesChangesTheNextPagesPaperAndOrientation)
{
    addFolderPrinter("Lab Laser", "C:\\out");
    HDC dc = CreateDCA("WINSPOOL", "Lab Laser", nullptr, nullptr);
    ASSERT_NE(nullptr, dc);
    int job = startDoc(dc, "mixed");
    ASSERT_GT(job, 0);
    page(dc, "letter");
    DEVMODEA dm{};
    dm.dmSize = sizeof dm;
    dm.dmFields = DM_PAPERSIZE;
    dm.dmPaperSize = DMPAPER_LEGAL;
    ASSERT_GT(StartPage(dc), 0);
    EXPECT_EQ(dc, ResetDCA(dc, &dm)); /* during a page: from the next page on */
    EXPECT_GT(EndPage(dc), 0);
    dm.dmFields = DM_ORIENTATION;
    dm.dmOrientation = DMORIENT_LANDSCAPE;
    EXPECT_EQ(dc, ResetDCA(dc, &dm)); /* keeps Legal, turns it */
    EXPECT_EQ(4200, GetDeviceCaps(dc, PHYSICALWIDTH));
    page(dc, "legal landscape");
    ASSERT_GT(EndDoc(dc), 0);
    DeleteDC(dc);

    std::string info = pdfInfo(root.driveC("out/" + std::to_string(job) + "-mixed.pdf"), 1, 3);
    EXPECT_NE(std::string::npos, info.find("Page    1 size:  612 x 792 pts"));
    EXPECT_NE(std::string::npos, info.find("Page    2 size:  612 x 792 pts")) << info;
    EXPECT_NE(std::string::npos, info.find("Page    3 size:  1008 x 612 pts")) << info;

    SetLastError(kSentinel);
    HDC screen = CreateCompatibleDC(nullptr);
    EXPECT_EQ(nullptr, ResetDCA(screen, &dm));
    EXPECT_EQ(ERROR_INVALID_HANDLE, GetLastError());
    DeleteDC(screen);
}

TEST_F(SpoolTest, JobCountsFromStartDocUntilDelivered)
{
    addFolderPrinter("Lab Laser", "C:\\out");
    HDC dc = CreateDCA("WINSPOOL", "Lab Laser", nullptr, nullptr);
    ASSERT_NE(nullptr, dc);
    EXPECT_EQ(0u, jobsOf("Lab Laser"));
    ASSERT_GT(startDoc(dc, "one"), 0);
    EXPECT_EQ(1u, jobsOf("Lab Laser"));
    page(dc, "x");
    EXPECT_EQ(1u, jobsOf("Lab Laser"));
    EXPECT_EQ(0u, jobsOf(kEmbedded));
    ASSERT_GT(EndDoc(dc), 0);
    EXPECT_EQ(0u, jobsOf("Lab Laser"));

    ASSERT_GT(startDoc(dc, "dropped"), 0);
    page(dc, "x");
    EXPECT_EQ(1u, jobsOf("Lab Laser"));
    EXPECT_GT(AbortDoc(dc), 0);
    EXPECT_EQ(0u, jobsOf("Lab Laser"));
    DeleteDC(dc);
    EXPECT_EQ(1u, filesIn(root.driveC("out")).size()) << "the aborted job left nothing";
}

TEST_F(SpoolTest, SetJobRenamesAndCancelsADocumentInProgress)
{
    addFolderPrinter("Lab Laser", "C:\\out");
    OpenedPrinter p("Lab Laser");
    HDC dc = CreateDCA("WINSPOOL", "Lab Laser", nullptr, nullptr);
    int job = startDoc(dc, "draft");
    page(dc, "x");
    JOB_INFO_1A info{};
    info.pDocument = const_cast<char *>("Final Report");
    info.pUserName = const_cast<char *>("frontdesk");
    ASSERT_TRUE(SetJobA(p.h, DWORD(job), 1, reinterpret_cast<LPBYTE>(&info), 0));
    ASSERT_GT(EndDoc(dc), 0);
    EXPECT_EQ(std::vector<std::string>{std::to_string(job) + "-Final Report.pdf"},
              filesIn(root.driveC("out")));

    job = startDoc(dc, "cancelled");
    page(dc, "x");
    EXPECT_TRUE(SetJobA(p.h, DWORD(job), 0, nullptr, JOB_CONTROL_CANCEL));
    EXPECT_GT(EndDoc(dc), 0);
    EXPECT_EQ(1u, filesIn(root.driveC("out")).size());
    DeleteDC(dc);

    SetLastError(kSentinel);
    EXPECT_FALSE(SetJobA(p.h, DWORD(job), 0, nullptr, JOB_CONTROL_CANCEL)); /* finished */
    EXPECT_EQ(ERROR_INVALID_PARAMETER, GetLastError());
}

TEST_F(SpoolTest, OutputFileOfTheDocumentWinsOverThePort)
{
    addFolderPrinter("Lab Laser", "C:\\out");
    HDC dc = CreateDCA("WINSPOOL", "Lab Laser", nullptr, nullptr);
    ASSERT_GT(startDoc(dc, "to file", "C:\\elsewhere.pdf"), 0);
    page(dc, "x");
    ASSERT_GT(EndDoc(dc), 0);
    DeleteDC(dc);
    EXPECT_TRUE(filesIn(root.driveC("out")).empty());
    EXPECT_EQ("%PDF", readAll(root.driveC("elsewhere.pdf")).substr(0, 4));
}

TEST_F(SpoolTest, ImagePrinterOnFilePortWritesMultiPageTiffAtItsResolution)
{
    addPrinter("Fax", {{"Port", "FILE:C:\\fax\\out.tif"}, {"Papers", "1:2159x2794:Letter"}},
               {{"Resolution", 100}, {"ImagePrinter", 1}, {"Color", 0}});
    ASSERT_TRUE(CreateDirectoryA("C:\\fax", nullptr));
    HDC dc = CreateDCA("WINSPOOL", "Fax", nullptr, nullptr);
    ASSERT_GT(startDoc(dc, "fax"), 0);
    page(dc, "one");
    page(dc, "two");
    ASSERT_GT(EndDoc(dc), 0);
    DeleteDC(dc);
    std::string tiff = readAll(root.driveC("fax/out.tif"));
    ASSERT_GT(tiff.size(), 8u);
    EXPECT_EQ(std::string("II*\0", 4), tiff.substr(0, 4));
    /* Two pages of 850 x 1100 RGB pixels, plus the directories. */
    EXPECT_GT(tiff.size(), 2u * 850 * 1100 * 3);
    EXPECT_LT(tiff.size(), 2u * 850 * 1100 * 3 + 1024);
}

TEST_F(SpoolTest, PrintDialogReturnsTheDefaultPrintersDCOrCancels)
{
    addFolderPrinter("Lab Laser", "C:\\out");
    ASSERT_TRUE(SetDefaultPrinterA("Lab Laser"));
    PRINTDLGA pd{};
    pd.lStructSize = sizeof pd;
    pd.Flags = PD_RETURNDC;
    ASSERT_TRUE(PrintDlgA(&pd));
    ASSERT_NE(nullptr, pd.hDC);
    EXPECT_EQ(300, GetDeviceCaps(pd.hDC, LOGPIXELSX));
    auto *dm = static_cast<DEVMODEA *>(GlobalLock(pd.hDevMode));
    ASSERT_NE(nullptr, dm);
    EXPECT_STREQ("Lab Laser", reinterpret_cast<char *>(dm->dmDeviceName));
    GlobalUnlock(pd.hDevMode);
    auto *names = static_cast<DEVNAMES *>(GlobalLock(pd.hDevNames));
    ASSERT_NE(nullptr, names);
    const char *base = reinterpret_cast<const char *>(names);
    EXPECT_STREQ("winspool", base + names->wDriverOffset);
    EXPECT_STREQ("Lab Laser", base + names->wDeviceOffset);
    EXPECT_STREQ("FOLDER:C:\\out", base + names->wOutputOffset);
    EXPECT_EQ(DN_DEFAULTPRN, names->wDefault);
    GlobalUnlock(pd.hDevNames);
    DeleteDC(pd.hDC);
    EXPECT_EQ(nullptr, GlobalFree(pd.hDevMode));
    EXPECT_EQ(nullptr, GlobalFree(pd.hDevNames));

    winport_test_push_printdlg_answer(IDCANCEL);
    PRINTDLGA cancel{};
    cancel.lStructSize = sizeof cancel;
    cancel.Flags = PD_RETURNDC;
    EXPECT_FALSE(PrintDlgA(&cancel));
    EXPECT_EQ(0u, CommDlgExtendedError());
    EXPECT_EQ(nullptr, cancel.hDC);
    EXPECT_EQ(nullptr, cancel.hDevMode);

    cancel.lStructSize = sizeof cancel - 4;
    EXPECT_FALSE(PrintDlgA(&cancel));
    EXPECT_EQ(DWORD(CDERR_STRUCTSIZE), CommDlgExtendedError());
}

TEST_F(SpoolTest, PrintDialogWithoutPrintersCancels)
{
    DWORD size = 0;
    GetDefaultPrinterA(nullptr, &size); /* the embedded default appears first */
    ASSERT_EQ(
        ERROR_SUCCESS,
        RegDeleteKeyA(HKEY_LOCAL_MACHINE,
                      "SYSTEM\\CurrentControlSet\\Control\\Print\\Printers\\Workstation PDF"));
    PRINTDLGA pd{};
    pd.lStructSize = sizeof pd;
    pd.Flags = PD_RETURNDC;
    EXPECT_FALSE(PrintDlgA(&pd));
    EXPECT_EQ(0u, CommDlgExtendedError());
    EXPECT_EQ(nullptr, pd.hDC);
    pd.Flags = PD_RETURNDEFAULT;
    EXPECT_FALSE(PrintDlgA(&pd));
    EXPECT_EQ(DWORD(PDERR_NODEFAULTPRN), CommDlgExtendedError());
}

TEST_F(SpoolTest, RestartedJobIdsNeverReplaceAnEarlierFile)
{
    addFolderPrinter("Lab Laser", "C:\\out");
    HDC dc = CreateDCA("WINSPOOL", "Lab Laser", nullptr, nullptr);
    int first = startDoc(dc, "Doc");
    page(dc, "earlier");
    ASSERT_GT(EndDoc(dc), 0);
    /* The spool folder wiped (a new machine image, say): ids start over. */
    std::filesystem::remove(root.path() + "/winport/spool/next_job");
    int second = startDoc(dc, "Doc");
    ASSERT_EQ(first, second);
    page(dc, "later");
    ASSERT_GT(EndDoc(dc), 0);
    DeleteDC(dc);
    std::string id = std::to_string(first);
    EXPECT_EQ((std::vector<std::string>{id + "-Doc (2).pdf", id + "-Doc.pdf"}),
              filesIn(root.driveC("out")));
    EXPECT_NE(std::string::npos, pdfText(root.driveC("out/" + id + "-Doc.pdf")).find("earlier"));
}
