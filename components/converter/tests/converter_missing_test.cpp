/*
 * A workstation whose converter DLL was removed: loading it fails as a
 * missing DLL does, and documents printed on a converter printer fail at
 * EndDoc instead of vanishing.
 */
#include "converter_fixture.h"

TEST_F(ConverterTest, WithoutTheDllTheConverterPrintersPrintNothing)
{
    HANDLE h = Open("NovarcPDF", "C:\\novarc\\convert_pdf", "Part1Img3.pdf", CDINTF_NO_PROMPT);
    HDC dc = api.CDICreateDC(h);
    ASSERT_NE(nullptr, dc);
    ASSERT_TRUE(DeleteFileA("C:\\Windows\\system32\\cdintf550.dll"));

    SetLastError(0xdeadbeef);
    EXPECT_EQ(nullptr, LoadLibraryA("C:\\Windows\\system32\\cdintf550.dll"));
    EXPECT_EQ((DWORD)ERROR_MOD_NOT_FOUND, GetLastError());
    EXPECT_EQ(nullptr, LoadLibraryA("cdintf550.dll"));

    DOCINFOA info = {sizeof(DOCINFOA), "Part1Img3.pdf", nullptr, nullptr, 0};
    ASSERT_GT(StartDocA(dc, &info), 0);
    StartPage(dc);
    TextOutA(dc, 100, 100, "Lost", 4);
    EndPage(dc);
    SetLastError(0xdeadbeef);
    EXPECT_EQ(SP_ERROR, EndDoc(dc));
    EXPECT_EQ((DWORD)ERROR_MOD_NOT_FOUND, GetLastError());
    EXPECT_FALSE(std::filesystem::exists(root.driveC("novarc/convert_pdf/Part1Img3.pdf")));
    DeleteDC(dc);
    api.DriverEnd(h);
}
