/*
 * Office documents and ECG reports in process: files received in pieces,
 * the print requests through the registered headless office program (a
 * script that writes down its command line) and through the office and
 * ECG libraries (a stand-in that writes down its calls), and the page the
 * client prints when the ECG library is missing.
 */
#include <sys/stat.h>

#include <chrono>

#include <gdi_record.h>

#include "office.h"
#include "printer.h"
#include "session_fixture.h"

namespace {

std::string Str(const std::string &text)
{
    return text + '\0';
}

std::string Compressed(const std::string &plain)
{
    std::string data = plain;
    int length = (int)data.size();
    EXPECT_EQ(KELCompressInPlace(data.data(), &length), -1);
    data.resize((size_t)length);
    return data;
}

class OfficeTest : public SessionTest {
protected:
    void SetUp() override
    {
        SessionTest::SetUp();
        HKEY key;
        RegCreateKeyExA(HKEY_LOCAL_MACHINE,
                        "SYSTEM\\CurrentControlSet\\Control\\Print\\Printers\\Desk Laser", 0, NULL,
                        0, KEY_ALL_ACCESS, NULL, &key, NULL);
        const char driver[] = "Generic Laser";
        const char port[] = "NUL:";
        const char papers[] = "1:2159x2794:Letter";
        RegSetValueExA(key, "Printer Driver", 0, REG_SZ, (const BYTE *)driver, sizeof(driver));
        RegSetValueExA(key, "Port", 0, REG_SZ, (const BYTE *)port, sizeof(port));
        RegSetValueExA(key, "Papers", 0, REG_SZ, (const BYTE *)papers, sizeof(papers));
        RegCloseKey(key);
        /* The stand-in behind both names, found through the module path. */
        setenv("WINPORT_MODULE_PATH", FAKE_OUTSIDE_DIR, 1);
        winport_test_map_module("KelWord.dll", "libfake_outside.so", TRUE);
        winport_test_map_module("KelEcg.dll", "libfake_outside.so", TRUE);
    }
    void TearDown() override
    {
        if (session_ && session_->m_bDocumentOpen)
            CloseNovarcPrinter(session_.get());
        unsetenv("WINPORT_MODULE_PATH");
        SessionTest::TearDown();
    }
    void Open()
    {
        std::string record =
            Str("Desk Laser") + Str("Generic Laser") + Int32(66) + Int32(0) + Str("");
        MsgBuf msg = MsgBuf();
        AppendBytes(&msg, record.data(), (int)record.size());
        OpenNovarcPrinter(session_.get(), &msg);
        FreeMsgBuf(&msg);
        ASSERT_TRUE(session_->m_bOpenedPrinter);
    }
    int Run(RequestHandler handler, const std::string &payload)
    {
        MsgBuf msg = MsgBuf();
        if (!payload.empty())
            AppendBytes(&msg, payload.data(), (int)payload.size());
        int result = handler(session_.get(), &msg, 0);
        FreeMsgBuf(&msg);
        return result;
    }
    /* A whole transfer: the name, the compressed bytes in two pieces, the end. */
    int Receive(RequestHandler piece, RequestHandler end, const std::string &name,
                const std::string &data)
    {
        Run(piece, Str(name));
        Run(piece, data.substr(0, data.size() / 2));
        Run(piece, data.substr(data.size() / 2));
        return Run(end, "");
    }
    std::string Calls() { return ReadText(root_.driveC("calls.txt")); }
    void RegisterHeadlessOffice()
    {
        const std::string program = root_.driveC("novarc/bin/office/soffice.exe");
        std::filesystem::create_directories(root_.driveC("novarc/bin/office"));
        WriteText(program, "#!/bin/sh\nfor a in \"$@\"; do printf '[%s]' \"$a\"; done > \"" +
                               root_.driveC("soffice-args.txt") + "\"\n");
        chmod(program.c_str(), 0755);
        HKEY key;
        RegCreateKeyExA(HKEY_LOCAL_MACHINE, OPEN_OFFICE_APP_PATH_KEY, 0, NULL, 0, KEY_ALL_ACCESS,
                        NULL, &key, NULL);
        const char value[] = "C:\\novarc\\bin\\office\\soffice.exe";
        RegSetValueExA(key, NULL, 0, REG_SZ, (const BYTE *)value, sizeof(value));
        RegCloseKey(key);
    }
};

TEST_F(OfficeTest, PiecesBecomeTheFileAndABadTransferDoesNotSwallowTheNext)
{
    const std::string letter(5000, 'L');
    EXPECT_EQ(Receive(HandleReceiveWordDocument, HandleReceiveEndWordDocument, "Letter.docx",
                      Compressed(letter)),
              1);
    EXPECT_EQ(ReadText(root_.driveC("novarc/word_documents/Letter.docx")), letter);
    EXPECT_STREQ(session_->m_Office.m_Word.szUpperName, "LETTER.DOCX");

    /* Data that does not unpack: the file goes. */
    EXPECT_EQ(Receive(HandleReceiveWordDocument, HandleReceiveEndWordDocument, "Broken.docx",
                      "not a zlib stream at all"),
              0);
    EXPECT_FALSE(std::filesystem::exists(root_.driveC("novarc/word_documents/Broken.docx")));

    /* A name that leaves the folder is refused and its pieces dropped; the
     * next transfer starts with its own name again. */
    EXPECT_EQ(Receive(HandleReceiveWordDocument, HandleReceiveEndWordDocument, "..\\evil.docx",
                      Compressed(letter)),
              0);
    EXPECT_FALSE(std::filesystem::exists(root_.driveC("novarc/evil.docx")));
    const std::string sheet(3000, 'S');
    EXPECT_EQ(Receive(HandleReceiveExcelDocument, HandleReceiveEndExcelDocument, "Sheet.xlsx",
                      Compressed(sheet)),
              1);
    EXPECT_EQ(Receive(HandleReceiveWordDocument, HandleReceiveEndWordDocument, "Next.docx",
                      Compressed(letter)),
              1);
    EXPECT_EQ(ReadText(root_.driveC("novarc/excel_documents/Sheet.xlsx")), sheet);
    EXPECT_EQ(ReadText(root_.driveC("novarc/word_documents/Next.docx")), letter);
}

TEST(OfficeRecordTest, TextsAreOptionalButMustFitTheirFields)
{
    OfficePrintRecord r;
    std::string full = Str("a.docx") + Str("first") + Str("second");
    ASSERT_TRUE(ParseOfficePrintRecord(full.data(), (int)full.size(), &r));
    EXPECT_STREQ(r.szText2, "second");
    std::string bare = Str("a.docx");
    ASSERT_TRUE(ParseOfficePrintRecord(bare.data(), (int)bare.size(), &r));
    EXPECT_STREQ(r.szText1, "");
    std::string longText = Str("a.docx") + Str(std::string(OFFICE_TEXT_SIZE, 'x'));
    EXPECT_FALSE(ParseOfficePrintRecord(longText.data(), (int)longText.size(), &r));
    std::string unended = "a.docx";
    EXPECT_FALSE(ParseOfficePrintRecord(unended.data(), (int)unended.size(), &r));
    EXPECT_FALSE(ParseOfficePrintRecord(Str("").data(), 1, &r));
}

TEST_F(OfficeTest, RegisteredHeadlessOfficePrintsByNameWithoutTheLibrary)
{
    /* A key without the program's path names nothing that could print. */
    HKEY key;
    RegCreateKeyExA(HKEY_LOCAL_MACHINE, OPEN_OFFICE_APP_PATH_KEY, 0, NULL, 0, KEY_ALL_ACCESS, NULL,
                    &key, NULL);
    RegCloseKey(key);
    EXPECT_EQ(WordAvailable(session_.get()), 0);
    EXPECT_FALSE(session_->m_Office.m_bOpenOffice);
    RegisterHeadlessOffice();
    ASSERT_TRUE(winport_test_install_module("KelWord.dll", "C:\\Windows\\system32"));
    EXPECT_EQ(WordAvailable(session_.get()), 1);
    EXPECT_EQ(ExcelAvailable(session_.get()), 1);
    EXPECT_TRUE(session_->m_Office.m_bOpenOffice);
    EXPECT_EQ(Calls(), ""); /* the library was not asked */

    Open();
    EXPECT_EQ(Run(HandlePrintWordDocument, Str("Letter.docx") + Str("-1") + Str("-1")), 1);
    EXPECT_EQ(ReadText(root_.driveC("soffice-args.txt")),
              "[-norestore][-nofirststartwizard][-nologo][-headless][-pt][Desk Laser]"
              "[c:\\novarc\\word_documents\\Letter.docx]");
    /* The program printed a job of its own; the job's document is empty. */
    EXPECT_FALSE(session_->m_Printer.m_bPrinted);
    EXPECT_NE(Log().find("Print WORD Document with OpenOffice"), std::string::npos);
}

TEST_F(OfficeTest, OfficeLibraryPrintsAndReportsWhatFailed)
{
    EXPECT_EQ(WordAvailable(session_.get()), 0); /* not installed */
    ASSERT_TRUE(winport_test_install_module("KelWord.dll", "C:\\Windows\\system32"));
    EXPECT_EQ(WordAvailable(session_.get()), 1);
    EXPECT_EQ(ExcelAvailable(session_.get()), 0);
    EXPECT_FALSE(session_->m_Office.m_bOpenOffice);

    Open();
    EXPECT_EQ(Run(HandlePrintExcelDocument, Str("Sheet.xlsx") + Str("one") + Str("two")), 1);
    EXPECT_EQ(Run(HandlePrintWordDocument, Str("fail.docx")), 1);
    /* What the job's own document held before, on an ordinary printer. */
    EXPECT_FALSE(session_->m_Printer.m_bPrinted);
    session_->m_Printer.m_bPrinted = true;
    EXPECT_EQ(Run(HandlePrintWordDocument, Str("fail.docx")), 1);
    EXPECT_TRUE(session_->m_Printer.m_bPrinted);
    EXPECT_EQ(Calls(), "WordInstalled\nExcelInstalled\n"
                       "PrintExcelDocument|Desk Laser|c:\\novarc\\excel_documents\\Sheet.xlsx|"
                       "one|two\n"
                       "PrintWordDocument|Desk Laser|c:\\novarc\\word_documents\\fail.docx||\n"
                       "PrintWordDocument|Desk Laser|c:\\novarc\\word_documents\\fail.docx||\n");
    const std::string log = Log();
    EXPECT_NE(log.find("Print EXCEL Document with MS EXCEL"), std::string::npos);
    EXPECT_NE(log.find("the document cannot be opened"), std::string::npos);
    /* The thread is back on its own desktop. */
    EXPECT_TRUE(CloseDesktop(CreateDesktopA("probe", NULL, NULL, 0, 0xF00CF, NULL)));
}

TEST_F(OfficeTest, PrintRequestsHoldTheNextMessageBackForThePause)
{
    ASSERT_TRUE(winport_test_install_module("KelWord.dll", "C:\\Windows\\system32"));
    Open();
    for (int type : {PRINT_WORD_DOCUMENT, PRINT_EXCEL_DOCUMENT}) {
        auto start = std::chrono::steady_clock::now();
        Dispatch(type, Str("Pause.docx"));
        auto waited = std::chrono::steady_clock::now() - start;
        /* The test clock runs WINPORT_TIME_SCALE (20) times faster. */
        EXPECT_GE(waited, std::chrono::milliseconds(PRINT_WORD_DOCUMENT_PAUSE_MS / 20)) << type;
        WaitForWorkers();
    }
    EXPECT_NE(Calls().find("PrintExcelDocument|Desk Laser|"), std::string::npos);
}

TEST_F(OfficeTest, EcgKindsPickTheirFunctionsAndTheDataFileGoesAfterwards)
{
    ASSERT_TRUE(winport_test_install_module("KelEcg.dll", "C:\\novarc\\bin\\ecg"));
    Open();
    for (int kind : {4, 0, 3, 5}) {
        std::remove(root_.driveC("calls.txt").c_str());
        EXPECT_EQ(Run(HandlePrintEcgDocument, Int32(kind) + Str("rest.xml") + "<ecg/>"), 1);
        const std::string calls = Calls();
        if (kind == 4) {
            EXPECT_EQ(calls, "InitializeErc\nHolterSetPrinter|Desk Laser\n"
                             "HolterSetReportDataFromFile|c:\\novarc\\ecg\\rest.xml\n"
                             "HolterPrintReport\n");
        } else {
            EXPECT_EQ(calls, "InitializeErc\nErcSetPrinter|Desk Laser\n"
                             "SetReportDataFromFile|c:\\novarc\\ecg\\rest.xml|present\n"
                             "PrintReport\n")
                << kind;
        }
        EXPECT_FALSE(std::filesystem::exists(root_.driveC("novarc/ecg/rest.xml")));
    }
    EXPECT_EQ(Run(HandlePrintEcgDocument, Int32(0) + Str("..\\..\\bin2\\x.dll") + "MZ"), 0);
    EXPECT_EQ(Run(HandlePrintEcgDocument, Int32(0) + "no end"), 0);
}

TEST_F(OfficeTest, MissingEcgLibraryPrintsThePageThatSaysSo)
{
    Open();
    HDC dc = session_->m_Printer.m_hPrinterDc;
    ASSERT_TRUE(winport::gdi::SetRecording(dc, true));
    EXPECT_EQ(Run(HandlePrintEcgDocument, Int32(0) + Str("rest.xml") + "<ecg/>"), 0);
    std::vector<std::string> texts;
    std::vector<int> ys;
    for (const auto &item : winport::gdi::GetRecord(dc))
        if (const auto *t = std::get_if<winport::gdi::RecText>(&item)) {
            texts.push_back(t->text);
            ys.push_back(t->ref.y);
        }
    ASSERT_EQ(texts.size(), 3u);
    EXPECT_EQ(texts[0], "ERROR: Unable To Access KelEcg.dll");
    EXPECT_EQ(texts[2], "       Or Contact Your System Administrator");
    EXPECT_EQ(ys[0], 200);
    EXPECT_GT(ys[1], ys[0]);
    EXPECT_GT(ys[2], ys[1]);
    EXPECT_TRUE(session_->m_Printer.m_bPrinted);
    EXPECT_FALSE(std::filesystem::exists(root_.driveC("novarc/ecg/rest.xml")));
}

} // namespace
