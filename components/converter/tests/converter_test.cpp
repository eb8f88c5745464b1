/*
 * The converter printer: its installer, handles and settings, the lock
 * between clients, and documents drawn on its DC becoming PDF files where
 * the settings say (replaced or appended), at the resolution and on the
 * paper set.
 */
#include "converter_fixture.h"

#include <filesystem>

TEST_F(ConverterTest, TheInstallerCreatesTheThreePrintersAndTheVersionFile)
{
    for (const char *name : {"NovarcPDF", "NovarcMobilePDF", "NovarcPrintPDF"}) {
        HANDLE printer = nullptr;
        ASSERT_TRUE(OpenPrinterA(const_cast<char *>(name), &printer, nullptr)) << name;
        ClosePrinter(printer);
    }
    EXPECT_EQ("1\r\n", samples::ReadFile(root.driveC("Windows/system32/cdintf550.kel")));

    /* A removed printer is there again after the installer ran. */
    ASSERT_EQ(ERROR_SUCCESS,
              RegDeleteKeyA(HKEY_LOCAL_MACHINE,
                            "SYSTEM\\CurrentControlSet\\Control\\Print\\Printers\\NovarcPDF"));
    SetLastError(0xdeadbeef);
    EXPECT_EQ(nullptr, api.DriverInit("NovarcPDF"));
    char text[CDINTF_ERROR_TEXT_SIZE] = "";
    EXPECT_GT(api.GetLastErrorMsg(text, sizeof text), 0);
    EXPECT_NE(nullptr, std::strstr(text, "NovarcPDF")) << text;
    EXPECT_EQ(0, RunInstaller("-s NovarcPDF"));
    HANDLE h = api.DriverInit("NovarcPDF");
    EXPECT_NE(nullptr, h);
    api.DriverEnd(h);
}

TEST_F(ConverterTest, OnlyConverterPrintersGiveAHandle)
{
    AddFilePrinter("Laser", "laser.pdf");
    EXPECT_EQ(nullptr, api.DriverInit("Laser"));
    EXPECT_EQ(nullptr, api.DriverInit(""));
    EXPECT_EQ(nullptr, api.DriverInit(nullptr));
    /* Names a hostile server could send never reach the file system. */
    for (const char *name : {"..\\..\\novarc\\bin2\\NovarcPDF", "../NovarcPDF", "NovarcPDF/../../x",
                             "C:NovarcPDF", "..", "."}) {
        HANDLE h = api.DriverInit(name);
        EXPECT_EQ(nullptr, h) << name;
        EXPECT_EQ(-2, api.Lock(h, "x")) << name;
    }
    EXPECT_FALSE(std::filesystem::exists(root.driveC("novarc/bin2/NovarcPDF.lock")));
    EXPECT_FALSE(std::filesystem::exists(root.driveC("Windows/x.lock")));
    EXPECT_FALSE(api.SetResolution(reinterpret_cast<HANDLE>(0x4c), 300)) << "a made-up handle";
    EXPECT_EQ(-1, api.GetPaperSize(reinterpret_cast<HANDLE>(0x1234)));
    EXPECT_EQ(-2, api.Lock(reinterpret_cast<HANDLE>(0x1234), "x"));
}

TEST_F(ConverterTest, DocumentsReplaceOrAppendToTheFileSet)
{
    HANDLE h = Open("NovarcPDF", "C:\\novarc\\convert_pdf", "Part1Img5.pdf", CDINTF_NO_PROMPT);
    HDC dc = api.CDICreateDC(h);
    ASSERT_NE(nullptr, dc);
    PrintDocument(dc, "Part1Img5.pdf", {"First document"});
    PrintDocument(dc, "Part1Img5.pdf", {"Second document", "and its second page"});
    std::string part = root.driveC("novarc/convert_pdf/Part1Img5.pdf");
    EXPECT_EQ(2, PdfPages(part)) << "without concatenation each document replaces the file";
    EXPECT_EQ(std::string::npos, PdfToText(part).find("First document"));

    /* As the client does when the part file is there already. */
    ASSERT_TRUE(api.SetDocFileProps(h, "Part1Img5.pdf", CDINTF_NO_PROMPT | CDINTF_CONCATENATE,
                                    "C:\\novarc\\convert_pdf",
                                    "C:\\novarc\\convert_pdf\\Part1Img5.pdf"));
    ASSERT_TRUE(
        api.SetFileNameOptions(h, CDINTF_NO_PROMPT | CDINTF_CONCATENATE | CDINTF_USE_FILENAME));
    ASSERT_TRUE(api.SetDefaultConfigEx(h));
    PrintDocument(dc, "Part1Img5.pdf", {"Third document"});
    EXPECT_EQ(3, PdfPages(part));
    EXPECT_EQ("", QpdfCheck(part));
    std::string text = PdfToText(part);
    EXPECT_LT(text.find("Second document"), text.find("Third document"));
    DeleteDC(dc);
    api.DriverEnd(h);
}

TEST_F(ConverterTest, ResolutionPaperAndMarginsAreTheDcs)
{
    HANDLE h =
        Open("NovarcMobilePDF", "C:\\novarc\\convert_pdf\\mobile", "Label.pdf", CDINTF_NO_PROMPT);
    /* The label paper of the client's label mode. */
    ASSERT_TRUE(api.SetResolution(h, 300));
    ASSERT_TRUE(api.SetScalingOption(h, 0));
    ASSERT_TRUE(api.SetPaperLength(h, 600));
    ASSERT_TRUE(api.SetPaperWidth(h, 360));
    ASSERT_TRUE(api.SetPaperSize(h, CDINTF_PAPER_USER));
    ASSERT_TRUE(api.SetHorizontalMargin(h, 60));
    ASSERT_TRUE(api.SetVerticalMargin(h, 10));
    ASSERT_TRUE(api.SetDefaultConfigEx(h));
    EXPECT_EQ(600, api.GetPaperLength(h));
    EXPECT_EQ(360, api.GetPaperWidth(h));
    EXPECT_EQ(CDINTF_PAPER_USER, api.GetPaperSize(h));
    EXPECT_EQ(60, api.GetHorizontalMargin(h));
    EXPECT_FALSE(api.SetPaperLength(h, 50)) << "under a centimetre";
    EXPECT_FALSE(api.SetResolution(h, 20));
    EXPECT_FALSE(api.SetJPegLevel(h, 10));

    HDC dc = api.CDICreateDC(h);
    ASSERT_NE(nullptr, dc);
    EXPECT_EQ(300, GetDeviceCaps(dc, LOGPIXELSX));
    EXPECT_EQ(425, GetDeviceCaps(dc, PHYSICALWIDTH)); /* 36 mm at 300 dpi */
    EXPECT_EQ(709, GetDeviceCaps(dc, PHYSICALHEIGHT));
    EXPECT_EQ(71, GetDeviceCaps(dc, PHYSICALOFFSETX));
    EXPECT_EQ(12, GetDeviceCaps(dc, PHYSICALOFFSETY));
    PrintDocument(dc, "Label.pdf", {"Label"});
    std::string info =
        RunCommand("pdfinfo '" + root.driveC("novarc/convert_pdf/mobile/Label.pdf") + "'");
    /* 425 by 709 dots of 1/300 inch. */
    EXPECT_NE(std::string::npos, info.find("102 x 170.16")) << info;
    DeleteDC(dc);
    api.DriverEnd(h);
}

TEST_F(ConverterTest, OneClientAtATimeHoldsAPrinter)
{
    HANDLE first = api.DriverInit("NovarcPDF");
    HANDLE second = api.DriverInit("NovarcPDF");
    ASSERT_TRUE(first && second);
    EXPECT_EQ(0, api.Lock(first, "Part1Img1.pdf"));
    EXPECT_EQ(0, api.Lock(first, "Part1Img1.pdf")) << "locking again is fine";
    EXPECT_EQ(-1, api.Lock(second, "Part1Img2.pdf"));
    EXPECT_EQ(0, api.Lock(api.DriverInit("NovarcPrintPDF"), "other")) << "printers lock apart";
    api.DriverEnd(first);
    EXPECT_EQ(0, api.Lock(second, "Part1Img2.pdf"));
    api.DriverEnd(second);
}

TEST_F(ConverterTest, AnotherProgramPrintingOnThePrinterByNameWritesTheSameFile)
{
    HANDLE h =
        Open("NovarcPrintPDF", "C:\\novarc\\convert_pdf\\print", "Part2Img8.pdf", CDINTF_NO_PROMPT);
    ASSERT_TRUE(api.SetDefaultConfigEx(h));
    HDC dc = CreateDCA(nullptr, "NovarcPrintPDF", nullptr, nullptr);
    PrintDocument(dc, "Letter.odt", {"Office letter"});
    DeleteDC(dc);
    std::string part = root.driveC("novarc/convert_pdf/print/Part2Img8.pdf");
    EXPECT_NE(std::string::npos, PdfToText(part).find("Office letter"));
    api.DriverEnd(h);
}

TEST_F(ConverterTest, PagesAreScaledToTheScalingPaper)
{
    HANDLE h = Open("NovarcPDF", "C:\\novarc\\convert_pdf", "Scaled.pdf", CDINTF_NO_PROMPT);
    ASSERT_TRUE(api.SetPaperSize(h, CDINTF_PAPER_LEGAL));
    ASSERT_TRUE(api.SetScalingOption(h, CDINTF_SCALE_TO_PAPER));
    ASSERT_TRUE(api.SetScalingPaperSize(h, CDINTF_PAPER_LETTER));
    HDC dc = api.CDICreateDC(h);
    EXPECT_EQ(300 * 14, GetDeviceCaps(dc, PHYSICALHEIGHT)) << "drawn on legal";
    PrintDocument(dc, "Scaled.pdf", {"Insurance form"});
    std::string out = root.driveC("novarc/convert_pdf/Scaled.pdf");
    std::string info = RunCommand("pdfinfo '" + out + "'");
    EXPECT_NE(std::string::npos, info.find("612 x 792")) << info;
    EXPECT_NE(std::string::npos, PdfToText(out).find("Insurance form"));
    DeleteDC(dc);
    api.DriverEnd(h);
}

TEST_F(ConverterTest, ImagesBecomeJpegWhenAsked)
{
    for (bool jpeg : {false, true}) {
        HANDLE h = Open("NovarcPDF", "C:\\novarc\\convert_pdf", "Photo.pdf", CDINTF_NO_PROMPT);
        ASSERT_TRUE(api.SetJPEGCompression(h, jpeg));
        ASSERT_TRUE(api.SetJPegLevel(h, 5));
        ASSERT_TRUE(api.SetImageOptions(h, CDINTF_JPEG_COLOR | CDINTF_JPEG_GREY));
        HDC dc = api.CDICreateDC(h);
        PrintPhoto(dc, "Photo.pdf");
        DeleteDC(dc);
        api.DriverEnd(h);
        std::string images = PdfImages(root.driveC("novarc/convert_pdf/Photo.pdf"));
        EXPECT_EQ(jpeg, images.find("jpeg") != std::string::npos) << images;
    }
}

TEST_F(ConverterTest, PrintPDFDocumentPrintsTheRangeOnANamedPrinter)
{
    AddFilePrinter("Laser", "laser.pdf");
    std::string path = PutInput("report.pdf", samples::NumberedPdf(3, "report"));
    EXPECT_TRUE(api.PrintPDFDocument(path.c_str(), "Laser", 2, 20000, 1));
    EXPECT_EQ(2, PdfPages(Out("laser.pdf")));
    std::string text = PdfToText(Out("laser.pdf"));
    EXPECT_EQ(std::string::npos, text.find("Page 1 of report"));
    EXPECT_NE(std::string::npos, text.find("Page 3 of report"));
    EXPECT_FALSE(api.PrintPDFDocument("C:\\in\\missing.pdf", "Laser", 1, 1, 1));
    EXPECT_FALSE(api.PrintPDFDocument(path.c_str(), "No Such Printer", 1, 1, 1));
}
