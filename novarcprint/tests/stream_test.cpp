/*
 * Text reports in process: the stream tokeniser, the settings messages and
 * the layout engine, asserted to the device unit on the printer DC's
 * record of a registry printer.
 */
#include <posix_files.h>
#include <gdi_record.h>

#include <algorithm>
#include <cstdio>

#include "printer.h"
#include "session_fixture.h"
#include "stream.h"
#include <registry_printer.h>

namespace {

using winport::gdi::GetRecord;
using winport::gdi::Only;
using winport::gdi::RecLine;
using winport::gdi::RecText;

struct Token {
    int code;
    std::string text;
};

std::vector<Token> Tokens(const std::string &bytes)
{
    StreamCursor cursor = {(const unsigned char *)bytes.data(), (int)bytes.size()};
    std::vector<Token> out;
    char text[STREAM_TEXT_MAX + 1];
    int len = 0;
    for (int code; (code = NextStreamToken(&cursor, text, &len)) != TOKEN_END;)
        out.push_back({code, std::string(text, len)});
    return out;
}

TEST(StreamTokenTest, LineEndsPairAndFormFeedFollowedByLineEndIsOneLine)
{
    auto t = Tokens("ABC\r\nDEF\x0c");
    ASSERT_EQ(t.size(), 4u);
    EXPECT_EQ(t[0].code, TOKEN_TEXT);
    EXPECT_EQ(t[0].text, "ABC");
    EXPECT_EQ(t[1].code, TOKEN_LINE_END_PAIR);
    EXPECT_EQ(t[2].text, "DEF");
    EXPECT_EQ(t[3].code, TOKEN_FORM_FEED);

    t = Tokens("\n\n\n");
    ASSERT_EQ(t.size(), 2u);
    EXPECT_EQ(t[0].code, TOKEN_LINE_END_PAIR);
    EXPECT_EQ(t[1].code, TOKEN_LINE_END);

    t = Tokens("\x0c\n\xc4x\x17");
    ASSERT_EQ(t.size(), 4u);
    EXPECT_EQ(t[0].code, TOKEN_LINE_END_PAIR);
    EXPECT_EQ(t[1].code, TOKEN_RULE_CELL);
    EXPECT_EQ(t[3].code, TOKEN_LINE_END);
}

TEST(StreamTokenTest, RunLongerThanTheBufferComesInPiecesWithNothingLost)
{
    auto t = Tokens(std::string(STREAM_TEXT_MAX + 10, 'x') + "\r");
    ASSERT_EQ(t.size(), 3u);
    EXPECT_EQ(t[0].text.size(), (size_t)STREAM_TEXT_MAX);
    EXPECT_EQ(t[1].text.size(), 10u);
    EXPECT_EQ(t[2].code, TOKEN_LINE_END);
}

TEST(HeadingFootingTest, RecordIsReadWhileWellFormed)
{
    HeadingFootingRecord r;
    std::string good = Int32(2) + Int32(3) + std::string("Dr Lee\0Page", 11) + '\0';
    ASSERT_TRUE(ParseHeadingFooting(good.data(), (int)good.size(), &r));
    EXPECT_EQ(r.iHeadingType, 2);
    EXPECT_EQ(r.iFootingType, 3);
    EXPECT_STREQ(r.szHeading, "Dr Lee");
    EXPECT_STREQ(r.szFooting, "Page");

    std::string noFooting = Int32(1) + Int32(1) + std::string("H\0F", 3);
    EXPECT_FALSE(ParseHeadingFooting(noFooting.data(), (int)noFooting.size(), &r));
    std::string tooLong = Int32(1) + Int32(1) + std::string(200, 'h') + '\0' + '\0';
    EXPECT_FALSE(ParseHeadingFooting(tooLong.data(), (int)tooLong.size(), &r));
    std::string max = Int32(1) + Int32(1) + std::string(199, 'h') + '\0' + '\0';
    EXPECT_TRUE(ParseHeadingFooting(max.data(), (int)max.size(), &r));
    EXPECT_FALSE(ParseHeadingFooting(good.data(), 7, &r));
}

class StreamTest : public SessionTest {
protected:
    void TearDown() override
    {
        if (session_ && session_->m_bOpenedPrinter)
            CloseNovarcPrinter(session_.get());
        SessionTest::TearDown();
    }
    void AddPrinter(DWORD dpi, const char *deviceFonts = "", const char *portName = "NUL:")
    {
        AddRegistryPrinter(
            "Report Laser",
            {{"Printer Driver", "Generic Laser"}, {"Port", portName}, {"DeviceFonts", deviceFonts}},
            {{"Resolution", dpi}});
    }
    void Open(DWORD dpi = 600, const char *deviceFonts = "", const char *port = "NUL:")
    {
        AddPrinter(dpi, deviceFonts, port);
        std::string record = std::string("Report Laser") + '\0' + "Generic Laser" + '\0' +
                             Int32(66) + Int32(0) + '\0';
        MsgBuf msg = MsgBuf();
        AppendBytes(&msg, record.data(), (int)record.size());
        OpenNovarcPrinter(session_.get(), &msg);
        FreeMsgBuf(&msg);
        ASSERT_TRUE(session_->m_bOpenedPrinter);
        ASSERT_TRUE(winport::gdi::SetRecording(Dc(), true));
    }
    HDC Dc() { return session_->m_Printer.m_hPrinterDc; }
    int Run(RequestHandler handler, int type, const std::string &payload = std::string())
    {
        MsgBuf msg = MsgBuf();
        if (!payload.empty())
            AppendBytes(&msg, payload.data(), (int)payload.size());
        int result = handler(session_.get(), &msg, type);
        FreeMsgBuf(&msg);
        return result;
    }
    int Print(const std::string &bytes)
    {
        return PrintNovarcStream(session_.get(), bytes.data(), (int)bytes.size());
    }
    std::vector<RecText> Texts() { return Only<RecText>(GetRecord(Dc())); }
};

/* The text of every PDF the printer's folder received, in job order. */
std::string PrintedText(const ScratchRoot &root)
{
    std::vector<std::string> pdfs;
    for (const auto &entry : std::filesystem::directory_iterator(root.driveC("novarc/printed")))
        pdfs.push_back(entry.path().string());
    std::sort(pdfs.begin(), pdfs.end());
    std::string text;
    for (const std::string &pdf : pdfs)
        text += RunCommand("pdftotext -layout '" + pdf + "' -");
    return text;
}

TEST_F(StreamTest, SettingsChangeOnlyWhatTheirCodeSelects)
{
    Open(300);
    EXPECT_EQ(session_->m_iPrintMode, 8);
    EXPECT_EQ(session_->m_iBarCodeHeight, 11);
    Run(HandleSetPrintMode, SET_PRINT_SIZE_9);
    Run(HandleSetPrintMode, SET_PRINT_SIZE_23);
    Run(HandleSetPrintMode, SET_PRINT_SIZE_10);
    EXPECT_EQ(session_->m_iPrintMode, 9);
    EXPECT_EQ(session_->m_iLinesPerInch, 6);

    session_->m_Stream.m_iFontIndex = 5;
    EXPECT_EQ(Run(HandleCustomFont, PRINT_STREAM_CUSTOM_FONT, Int32(14)), 1);
    EXPECT_EQ(session_->m_iPrintMode, PRINT_STREAM_CUSTOM_FONT);
    EXPECT_EQ(session_->m_Stream.m_iCustomPointSize, 14);
    EXPECT_EQ(session_->m_Stream.m_iCustomLinesPerInch, 6);
    EXPECT_EQ(session_->m_Stream.m_iFontIndex, 1);

    EXPECT_EQ(Run(HandleSetPosition, SET_VERT_POS, Int32(600)), 1);
    EXPECT_EQ(session_->m_Stream.m_iVertPos, 300);
    EXPECT_TRUE(session_->m_Stream.m_bVertPending);
    EXPECT_FALSE(session_->m_Stream.m_bHorzPending);

    /* Short payloads fail and change nothing. */
    EXPECT_EQ(Run(HandleBarCode, PRINT_BAR_CODE, Int32(1)), 0);
    EXPECT_EQ(session_->m_iBarCodeMode, 0);
    EXPECT_EQ(Run(HandleFontColor, PRINT_FONT_COLOR, Int32(0x1ff) + Int32(2)), 0);
    EXPECT_EQ(Run(HandleFontColor, PRINT_FONT_COLOR, Int32(0x1ff) + Int32(2) + Int32(3)), 1);
    EXPECT_EQ(session_->m_crTextColor, RGB(0xff, 2, 3));
    EXPECT_EQ(Run(HandleHeadingFooting, RECEIVE_HEADING_FOOTING_INFO, Int32(1)), 0);
}

TEST_F(StreamTest, TwelvePointLinesSitOnTheSixPerInchGrid)
{
    Open();
    ASSERT_EQ(Print("AB\r\nC\nD"), 1);
    auto t = Texts();
    ASSERT_EQ(t.size(), 3u);
    EXPECT_EQ(t[0].ref.y, 60);
    EXPECT_EQ(t[0].ref.x, 0);
    EXPECT_EQ(t[1].ref.y, 160);
    EXPECT_EQ(t[2].ref.y, 260);
    EXPECT_EQ(t[1].ref.x, 0);
    EXPECT_EQ(t[0].lfHeight, -100);
    EXPECT_EQ(t[0].face.rfind("Courier", 0), 0u) << t[0].face;

    /* The next stream continues where this one stopped, on the same page. */
    ASSERT_EQ(Print("E"), 1);
    t = Texts();
    ASSERT_EQ(t.size(), 4u);
    EXPECT_EQ(t[3].ref.x, t[2].width);
    EXPECT_EQ(t[3].ref.y, 260);
    EXPECT_EQ(t[3].page, t[2].page);

    /* A vertical position is applied once and sets the line count. */
    Run(HandleSetPosition, SET_VERT_POS, Int32(1200));
    ASSERT_EQ(Print("F\r\n"), 1);
    t = Texts();
    EXPECT_EQ(t.back().ref.y, 1200);
    EXPECT_EQ(session_->m_Stream.m_iLineCount, 12); /* (1200 - 60) / 100, then a line end */
}

TEST_F(StreamTest, FormLengthBreaksBeforeTheSixtyFifthLine)
{
    Open();
    std::string report;
    for (int i = 1; i <= 65; i++)
        report += "Line " + std::to_string(i) + "\r\n";
    ASSERT_EQ(Print(report), 1);
    auto t = Texts();
    ASSERT_EQ(t.size(), 65u);
    EXPECT_EQ(t[63].page, t[0].page);
    EXPECT_EQ(t[63].ref.y, 60 + 63 * 100);
    EXPECT_EQ(t[64].page, t[0].page + 1);
    EXPECT_EQ(t[64].ref.y, 60);
    EXPECT_EQ(t[64].ref.x, 0);

    /* A form with no usable lines is taken as the usual one: no page per
     * token, and still a break after 64 lines. */
    Run(HandleFormLength, PRINTER_FORM_LENGTH, Int32(2));
    ASSERT_EQ(Print("a\r\nb\r\nc"), 1);
    t = Texts();
    ASSERT_EQ(t.size(), 68u);
    EXPECT_EQ(t[67].page, t[65].page);
    EXPECT_EQ(t[67].ref.y, t[65].ref.y + 200);
}

TEST_F(StreamTest, FormLengthThatLeavesNoLineBreaksAsTheUsualForm)
{
    Open();
    Run(HandleSetPrintMode, SET_PRINT_SIZE_23); /* 8 lines per inch: 65 lines fit the page */
    for (int length : {0, -5, 2}) {
        Run(HandleFormLength, PRINTER_FORM_LENGTH, Int32(length));
        const size_t before = Texts().size();
        std::string report;
        for (int i = 1; i <= 65; i++)
            report += "Line " + std::to_string(i) + "\r\n";
        ASSERT_EQ(Print(report + "\x0c"), 1);
        auto t = Texts();
        ASSERT_EQ(t.size(), before + 65) << length;
        EXPECT_EQ(t[before + 63].page, t[before].page) << length;
        EXPECT_EQ(t[before + 64].page, t[before].page + 1) << length;
    }
}

TEST_F(StreamTest, LineBelowThePrintableAreaGoesToTheNextPage)
{
    /* Quarter-inch margins: 10.5 inches of page, so the 64th line of a
     * 66-line form (baseline 60 + 63 x 100) would be clipped away. */
    AddRegistryPrinter("Report Laser", {{"Margins", "64,64,64,64"}});
    Open(600, "", "FOLDER:C:\\novarc\\printed");
    const int bottom = GetDeviceCaps(Dc(), VERTRES);
    ASSERT_LT(bottom, 60 + 63 * 100);
    std::string report;
    for (int i = 1; i <= 70; i++)
        report += "Line " + std::to_string(i) + "\r\n";
    ASSERT_EQ(Print(report), 1);
    auto t = Texts();
    ASSERT_EQ(t.size(), 70u);
    for (const RecText &line : t)
        EXPECT_LE(line.ref.y + line.descent, bottom) << line.text;
    EXPECT_EQ(t[62].page, t[0].page);
    EXPECT_EQ(t[63].page, t[0].page + 1);
    EXPECT_EQ(t[63].ref.y, 60);
    CloseNovarcPrinter(session_.get());
    const std::string text = PrintedText(root_);
    EXPECT_NE(text.find("Line 64"), std::string::npos);
    EXPECT_NE(text.find("Line 70"), std::string::npos);
}

TEST_F(StreamTest, FormFeedBreaksButFormFeedBeforeLineEndOnlyAdvances)
{
    Open();
    ASSERT_EQ(Print(std::string("A\x0c\nB\x0c") + "C"), 1);
    auto t = Texts();
    ASSERT_EQ(t.size(), 3u);
    EXPECT_EQ(t[1].page, t[0].page);
    EXPECT_EQ(t[1].ref.y, 160);
    EXPECT_EQ(t[2].page, t[0].page + 1);
    EXPECT_EQ(t[2].ref.y, 60);
}

TEST_F(StreamTest, RunWiderThanThePageIsCutCharacterByCharacter)
{
    Open();
    ASSERT_EQ(Print(std::string(300, 'W') + "\r\nnext"), 1);
    auto t = Texts();
    ASSERT_EQ(t.size(), 2u);
    const int right = GetDeviceCaps(Dc(), HORZRES);
    ASSERT_GT(t[0].text.size(), 0u);
    ASSERT_LT(t[0].text.size(), 300u);
    EXPECT_LE(t[0].width, right);
    const int charWidth = t[0].width / (int)t[0].text.size();
    EXPECT_GT(t[0].width + charWidth, right);
    EXPECT_EQ(t[1].text, "next"); /* nothing wrapped onto the next line */
}

TEST_F(StreamTest, SingleRuleCellDrawsOneLineAndNoText)
{
    Open();
    ASSERT_EQ(Print("\xc4"), 1);
    auto lines = Only<RecLine>(GetRecord(Dc()));
    EXPECT_TRUE(Texts().empty());
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].pen.width, 7);
    EXPECT_EQ(lines[0].from.x, 0);
    EXPECT_EQ(lines[0].from.y, lines[0].to.y);
    EXPECT_LT(lines[0].from.y, 60);
    EXPECT_GT(lines[0].to.x, 0);
}

TEST_F(StreamTest, BarCodeCaptionIsCentredUnderTheBarsAtAThirdOfTheHeight)
{
    Open();
    Run(HandleBarCode, PRINT_BAR_CODE, Int32(1) + Int32(30));
    ASSERT_EQ(Print("*12345*"), 1);
    auto t = Texts();
    ASSERT_EQ(t.size(), 2u);
    const int bars = t[0].lfHeight, caption = t[1].lfHeight;
    EXPECT_EQ(bars, -193); /* 0.77 x 30 points at 600 dpi, rounded */
    EXPECT_EQ(caption, bars / 3);
    EXPECT_EQ(t[1].ref.x, t[0].ref.x + (t[0].width - t[1].width) / 2);
    EXPECT_GT(t[1].ref.y, t[0].ref.y);
    EXPECT_TRUE(t[1].opaque);
}

TEST_F(StreamTest, ClassOneMediumAtEightLinesUsesTheResidentSeventeenPitch)
{
    Open(600, "Utility 12cpi:Courier New:12:10;Utility 17cpi:Courier New:17:7");
    session_->m_Printer.m_iModelClass = 1;
    Run(HandleSetPrintMode, SET_PRINT_SIZE_24);
    Run(HandleSetPrintMode, SET_PRINT_SIZE_23);
    char face[STREAM_FACE_SIZE] = "Helvetica";
    HFONT font = NULL;
    ASSERT_EQ(CreatePrinterFont(session_.get(), Dc(), &font, face, -80, 0, 400, 0, 0, 0), 0);
    DeleteObject(font);
    EXPECT_STREQ(face, "Utility 17cpi");
    ASSERT_EQ(Print("Report"), 1);
    auto t = Texts();
    ASSERT_EQ(t.size(), 1u);
    EXPECT_EQ(t[0].face, "Utility 17cpi") << t[0].family;
    EXPECT_EQ(t[0].ref.y, 100); /* class 1: first baseline 1.2 x 10 points */
}

TEST_F(StreamTest, MissingCourierFaceIsFoundByTheSecondEnumeration)
{
    Open();
    char face[STREAM_FACE_SIZE] = "Courier 10";
    HFONT font = NULL;
    ASSERT_EQ(CreatePrinterFont(session_.get(), Dc(), &font, face, -100, 0, 400, 0, 0, 0), 0);
    DeleteObject(font);
    EXPECT_STREQ(face, "Courier");
    EXPECT_EQ(std::string(session_->m_Draw.m_Font.m_LogFont.lfFaceName).rfind("Courier", 0), 0u);

    char unknown[STREAM_FACE_SIZE] = "No Such Family";
    EXPECT_EQ(CreatePrinterFont(session_.get(), Dc(), &font, unknown, -100, 0, 400, 0, 0, 0), -1);
    char univers[STREAM_FACE_SIZE] = "Univers";
    ASSERT_EQ(CreatePrinterFont(session_.get(), Dc(), &font, univers, -100, 0, 400, 0, 0, 0), 0);
    DeleteObject(font);
    EXPECT_STREQ(univers, "Arial");
}

TEST_F(StreamTest, StreamMessageIsDrawnByItsWorkerAndTheJobResetClearsThePosition)
{
    Open();
    Dispatch(PRINT_STREAM, "Hello\r\n");
    WaitForWorkers();
    auto t = Texts();
    ASSERT_EQ(t.size(), 1u);
    EXPECT_EQ(t[0].text, "Hello");
    EXPECT_NE(Log().find("END ThreadPrintNovarcStream"), std::string::npos);
    EXPECT_EQ(Print(""), 0);

    session_->m_iFormFeedOption = 0;
    ResetPrintingFlag(session_.get());
    EXPECT_EQ(session_->m_Stream.m_dY, 0);
    EXPECT_EQ(session_->m_iFormFeedOption, 1);
    EXPECT_FALSE(session_->m_Printer.m_bPageStarted);
}

TEST_F(StreamTest, SecondOpenMidJobStillDeliversThePagesAtTheClose)
{
    Open(600, "", "FOLDER:C:\\novarc\\printed");
    ASSERT_EQ(Print("PRINTED BEFORE THE SECOND OPEN\r\n"), 1);
    const std::string record =
        std::string("Report Laser") + '\0' + "Generic Laser" + '\0' + Int32(66) + Int32(0) + '\0';
    MsgBuf msg = MsgBuf();
    AppendBytes(&msg, record.data(), (int)record.size());
    HandleOpenPrinterWork(session_.get(), &msg, OPEN_PRINTER); /* replies status 0 */
    FreeMsgBuf(&msg);
    EXPECT_FALSE(session_->m_bOpenedPrinter);
    Dispatch(CLOSE_PRINTER);
    WaitForWorkers();
    EXPECT_TRUE(PostedClose());
    EXPECT_NE(PrintedText(root_).find("PRINTED BEFORE THE SECOND OPEN"), std::string::npos);
}

TEST_F(StreamTest, TextAfterALandscapeSwitchMidPageReachesThePaper)
{
    Open(600, "", "FOLDER:C:\\novarc\\printed");
    ASSERT_EQ(Print("BEFORE THE SWITCH\r\n"), 1);
    Run(HandleSetLandscapeMode, SET_LANDSCAPE_MODE, Int32(1) + Int32(0));
    ASSERT_EQ(Print("AFTER THE SWITCH\r\n"), 1);
    CloseNovarcPrinter(session_.get());
    const std::string text = PrintedText(root_);
    EXPECT_NE(text.find("BEFORE THE SWITCH"), std::string::npos) << text;
    EXPECT_NE(text.find("AFTER THE SWITCH"), std::string::npos) << text;
    EXPECT_EQ(Log().find("TextOutA() FAILED"), std::string::npos);
}

TEST_F(StreamTest, TextAfterAnEnvelopeTrayChangeMidPageReachesThePaper)
{
    Open(600, "", "FOLDER:C:\\novarc\\printed");
    ASSERT_EQ(Print("LETTER TEXT\r\n"), 1);
    Run(HandleSetPrinterTray, SET_PRINTER_TRAY, Int32(2) + Int32(1) + Int32(1));
    ASSERT_EQ(Print("ENVELOPE TEXT\r\n"), 1);
    CloseNovarcPrinter(session_.get());
    const std::string text = PrintedText(root_);
    EXPECT_NE(text.find("LETTER TEXT"), std::string::npos) << text;
    EXPECT_NE(text.find("ENVELOPE TEXT"), std::string::npos) << text;
}

TEST_F(StreamTest, BarCodeReportPrintedToAPdfFileScansBack)
{
    Open(600, "", "FILE:C:\\novarc\\barcode.pdf");
    Run(HandleBarCode, PRINT_BAR_CODE, Int32(1) + Int32(30));
    Run(HandleSetPosition, SET_HORZ_POS, Int32(300)); /* a half-inch quiet zone */
    Dispatch(PRINT_STREAM, "*NOVARC 42-a*\x0c");
    WaitForWorkers();
    CloseNovarcPrinter(session_.get());
    const std::string pdf = root_.driveC("novarc/barcode.pdf");
    ASSERT_TRUE(std::filesystem::exists(pdf));
    const std::string image = root_.path() + "/page";
    RunCommand("pdftoppm -r 300 -gray -singlefile '" + pdf + "' '" + image + "'");
    /* Full ASCII: the lower-case letter arrives as its "+A" escape. */
    EXPECT_EQ(RunCommand("zbarimg --nodbus --raw -q '" + image + ".pgm' 2>/dev/null"),
              "NOVARC 42-+A\n");
}

} // namespace
