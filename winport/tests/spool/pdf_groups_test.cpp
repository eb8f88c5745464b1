/*
 * Page transparency groups are removed from a cairo PDF before it goes to
 * a CUPS queue (whose filters would otherwise rasterise the page), without
 * moving a byte and without losing the text.
 */
#include "spool_test_util.h"

#include "spool/spool_private.h"

using namespace spooltest;

TEST_F(SpoolTest, PageGroupsAreBlankedWithoutMovingAnyByte)
{
    addFolderPrinter("Lab Laser", "C:\\out");
    HDC dc = CreateDCA("WINSPOOL", "Lab Laser", nullptr, nullptr);
    DOCINFOA di{sizeof di, "groups", nullptr, nullptr, 0};
    int job = StartDocA(dc, &di);
    for (int i = 0; i < 2; i++) {
        StartPage(dc);
        TextOutA(dc, 10, 10, "text stays", 10);
        EndPage(dc);
    }
    EndDoc(dc);
    DeleteDC(dc);
    std::string path = root.driveC("out/" + std::to_string(job) + "-groups.pdf");
    std::string pdf = readAll(path);
    ASSERT_FALSE(pdf.empty());
    std::size_t size = pdf.size();
    int stripped = winport::spool::StripPageGroups(pdf);
    EXPECT_EQ(size, pdf.size());
    EXPECT_EQ(std::string::npos, pdf.find("/S /Transparency")) << "cairo's page groups are gone";
    if (stripped == 0)
        GTEST_SKIP() << "this cairo writes no page groups";
    EXPECT_EQ(2, stripped);
    std::ofstream(path, std::ios::binary) << pdf;
    EXPECT_EQ(std::string::npos, pdfInfo(path).find("Syntax Error"));
    EXPECT_NE(std::string::npos, pdfText(path).find("text stays"));
}
