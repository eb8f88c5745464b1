/*
 * PDF forms and cached PDFs printed on the converter printer, read back
 * from the part the converter wrote; filled forms returned to the server;
 * the payloads a peer may get wrong.
 */
#include "documents_fixture.h"

namespace {

class PdfFormsTest : public DocumentsTest {
protected:
    void SetUp() override
    {
        DocumentsTest::SetUp();
        std::filesystem::create_directories(root_.driveC("novarc/RecentScans"));
        samples::WriteFile(root_.driveC("novarc/RecentScans/consent.pdf"), samples::FormPdf());
    }
    /* Name, optional range, then the block: A plain fields, B flagged ones. */
    static std::string FormPayload(const std::string &name, const std::string &block,
                                   const std::string &range = "")
    {
        return Str(name) + range + Int32((int)block.size()) + block;
    }
    static std::string Fields()
    {
        return Int32(1) + Str("PatientName") + Str("Jane Roe") + Int32(2) + Int32(1) +
               Str("Clinic") + Str("South") + Int32(1) + Str("Consent") + Str("Yes");
    }
    int Run(RequestHandler handler, int type, const std::string &payload)
    {
        MsgBuf msg = MsgBuf();
        AppendBytes(&msg, payload.data(), (int)payload.size());
        const int result = handler(session_.get(), &msg, type);
        FreeMsgBuf(&msg);
        return result;
    }
    /* The text of what the open document printed so far (its part). */
    std::string PrintedText() { return PdfToText(PartPath(session_->m_Printer.m_iPartNumber)); }
};

TEST_F(PdfFormsTest, AFilledFormPrintsWithItsValuesAndEndsTheDocument)
{
    ASSERT_EQ(Open("NovarcPDF"), 1);
    EXPECT_EQ(
        Run(HandlePrintPdfCompForm, PRINT_PDF_COMP_FORM, FormPayload("consent.pdf", Fields())), 1);
    const std::string text = PrintedText();
    EXPECT_NE(text.find("Jane Roe"), std::string::npos) << text;
    EXPECT_NE(text.find("South"), std::string::npos) << text;
    EXPECT_TRUE(session_->m_Printer.m_bDocumentEnded);
    CloseNovarcPrinter(session_.get());
    EXPECT_EQ(session_->m_Printer.m_iPartNumber, 2) << "closed once, as one part";
}

TEST_F(PdfFormsTest, PageRangesAndEmptyBlocks)
{
    ASSERT_EQ(Open("NovarcPDF"), 1);
    /* 3 to 2: nothing printed, the document ended all the same. */
    EXPECT_EQ(Run(HandlePrintPdfCompForm, PRINT_PDF_COMP_FORM_PAGE_RANGE,
                  FormPayload("consent.pdf", Fields(), Int32(3) + Int32(2))),
              1);
    EXPECT_TRUE(session_->m_Printer.m_bDocumentEnded);
    EXPECT_EQ(PdfToText(PartPath(1)).find("Secret"), std::string::npos);
    NextDocument();

    /* A = 0 and nothing after it: no field set, the form still prints; a
     * range far past the end stops at the form's last page. */
    EXPECT_EQ(Run(HandlePrintPdfCompForm, PRINT_PDF_COMP_FORM_PAGE_RANGE,
                  FormPayload("consent.pdf", Int32(0), Int32(1) + Int32(2000000000))),
              1);
    const std::string part = PartPath(session_->m_Printer.m_iPartNumber);
    EXPECT_EQ(PdfPages(part), 1);
    EXPECT_NE(PdfToText(part).find("Secret"), std::string::npos);
}

TEST_F(PdfFormsTest, TheFilledFormIsReturnedWithItsValues)
{
    EXPECT_EQ(Run(HandleReceiveReturnFilledPdfForm, RECEIVE_RETURN_FILLED_PDF_FORM,
                  FormPayload("consent.pdf", Fields())),
              1);
    std::vector<ReturnedFile> files = Returned();
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(files[0].name.substr(0, 3), "Img");
    EXPECT_TRUE(files[0].whole);
    const std::string text = TextOf(files[0]);
    EXPECT_NE(text.find("Jane Roe"), std::string::npos) << text;
    EXPECT_NE(text.find("South"), std::string::npos) << text;
    EXPECT_TRUE(std::filesystem::exists(root_.driveC("novarc/RecentScans/consent.pdf")));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(root_.driveC("novarc/RecentScans")),
                            std::filesystem::directory_iterator()),
              1)
        << "the saved copy went once sent";
}

TEST_F(PdfFormsTest, MissingFormsHostileNamesAndMalformedPayloadsFailTheirRequest)
{
    const std::string bad[] = {
        FormPayload("absent.pdf", Fields()),
        FormPayload("..\\..\\Windows\\win.ini", Fields()),
        FormPayload("c:\\novarc\\RecentScans\\consent.pdf", Fields()),
        Str("consent.pdf") + Int32(500) + Fields(),               /* block past the payload */
        FormPayload("consent.pdf", Int32(-1)),                    /* negative count */
        FormPayload("consent.pdf", Int32(1) + "NoEnd"),           /* name without its end */
        FormPayload("consent.pdf", Int32(0) + Int32(1) + "\x01"), /* flag cut short */
        std::string("consent.pdf"),                               /* name without its end */
    };
    for (const std::string &payload : bad) {
        EXPECT_EQ(Run(HandleReceiveReturnFilledPdfForm, RECEIVE_RETURN_FILLED_PDF_FORM, payload),
                  0);
        std::vector<ReturnedFile> files = Returned();
        ASSERT_EQ(files.size(), 1u);
        EXPECT_EQ(files[0].name, "DONE") << "the server is never left waiting";
    }
    ASSERT_EQ(Open("NovarcPDF"), 1);
    EXPECT_EQ(Run(HandlePrintPdfCompForm, PRINT_PDF_COMP_FORM, bad[3]), 0);
    EXPECT_EQ(Run(HandlePrintPdfCompForm, PRINT_PDF_COMP_FORM, bad[1]), 0);
    EXPECT_FALSE(session_->m_Printer.m_bDocumentEnded);
}

TEST_F(PdfFormsTest, ACipheredCachedPdfPrintsFromMemoryOrAsAPlainCopyWithoutTheEngine)
{
    const std::string pdf = samples::TextPdf({{612, 792, {{72, 100, "Cached report text"}}}});
    ASSERT_EQ(WriteEncipheredFile("c:\\novarc\\RecentScans\\report.pdf.x2m", pdf.data(),
                                  (DWORD)pdf.size()),
              1);
    ASSERT_EQ(Open("NovarcPDF"), 1);
    EXPECT_EQ(
        PrintNovarcPdfDocument(session_.get(), "c:\\novarc\\RecentScans\\report.pdf.x2m", 0, 0), 1);
    EXPECT_NE(Log().find("PrintPDFDocumentBuffer(ALL PAGES)"), std::string::npos);
    NextDocument();
    EXPECT_NE(PdfToText(PartPath(1)).find("Cached report text"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(root_.driveC("novarc/RecentScans/report.pdf")));

    /* Without the engine: a plain copy beside it, printed on the printer by
     * name, then removed. */
    KelUnloadPdfTron();
    std::filesystem::remove(root_.driveC("novarc/bin/PdfTron/kelpdftron.dll"));
    EXPECT_EQ(
        PrintNovarcPdfDocument(session_.get(), "c:\\novarc\\RecentScans\\report.pdf.x2m", 1, 0), 1);
    EXPECT_NE(Log().find("Amyuni PrintPDFDocument(Page:1)"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(root_.driveC("novarc/RecentScans/report.pdf")));
    EXPECT_TRUE(std::filesystem::exists(root_.driveC("novarc/RecentScans/report.pdf.x2m")));

    EXPECT_EQ(PrintNovarcPdfDocument(session_.get(), "c:\\novarc\\RecentScans\\gone.pdf", 0, 0), 1)
        << "without the engine the request ran, with nothing to print";
}

} // namespace
