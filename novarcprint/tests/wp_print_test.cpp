/*
 * Word-processor documents printed in process on a registry printer at 600
 * dpi, letter paper, no unprintable margins unless a test asks: documents
 * built with the test writer, layout asserted on the printer DC's record to
 * the device unit.  At 600 dpi a 12 point line is 100 units and an inch 600.
 */
#include <gdi_record.h>

#include <algorithm>
#include <cstring>

#include "printer.h"
#include "session_fixture.h"
#include "wp.h"
#include "wp_writer.h"
#include <registry_printer.h>

namespace {

using namespace wptest;
using winport::gdi::GetRecord;
using winport::gdi::Only;
using winport::gdi::RecLine;
using winport::gdi::RecPage;
using winport::gdi::RecShape;
using winport::gdi::RecText;

class WpPrintTest : public SessionTest {
protected:
    void TearDown() override
    {
        if (session_ && session_->m_bOpenedPrinter)
            CloseNovarcPrinter(session_.get());
        SessionTest::TearDown();
    }
    /* margins: unprintable left, top, right, bottom in 0.1 mm */
    void Open(const char *margins = "0,0,0,0")
    {
        AddRegistryPrinter(
            "Letter Laser",
            {{"Printer Driver", "Generic Laser"}, {"Port", "NUL:"}, {"Margins", margins}},
            {{"Resolution", 600}});
        std::string record = std::string("Letter Laser") + '\0' + "Generic Laser" + '\0' +
                             Int32(66) + Int32(0) + '\0';
        MsgBuf msg = MsgBuf();
        AppendBytes(&msg, record.data(), (int)record.size());
        OpenNovarcPrinter(session_.get(), &msg);
        FreeMsgBuf(&msg);
        ASSERT_TRUE(session_->m_bOpenedPrinter);
        ASSERT_TRUE(winport::gdi::SetRecording(Dc(), true));
    }
    HDC Dc() { return session_->m_Printer.m_hPrinterDc; }
    int Print(const std::string &payload, bool heading = false)
    {
        MsgBuf msg = MsgBuf();
        AppendBytes(&msg, payload.data(), (int)payload.size());
        const int result = HandlePrintNovarcDocument(
            session_.get(), &msg, heading ? PRINT_NOVARC_DOCUMENT_HEADING : PRINT_NOVARC_DOCUMENT);
        FreeMsgBuf(&msg);
        return result;
    }
    int Print(const Header &h, const Cells &c) { return Print(Payload(h, c)); }
    std::vector<RecText> Texts() { return Only<RecText>(GetRecord(Dc())); }
    std::vector<RecLine> Lines() { return Only<RecLine>(GetRecord(Dc())); }
    RecText Find(const std::string &text)
    {
        for (const RecText &t : Texts())
            if (t.text == text)
                return t;
        ADD_FAILURE() << "no text " << text;
        return RecText();
    }
    int Pages()
    {
        int n = 0;
        for (const RecPage &p : Only<RecPage>(GetRecord(Dc())))
            n += p.event == RecPage::Start;
        return n;
    }
};

/* A letter: one-inch margins, Arial 12, no header version items needed. */
Header Letter()
{
    Header h;
    h.top = h.bottom = h.left = h.right = 100;
    h.firstTop = h.firstBottom = h.firstLeft = h.firstRight = 100;
    h.baseFont = 5;
    h.baseSize = 12;
    return h;
}

TEST_F(WpPrintTest, BaselinesFollowTheTallestFontOfEachLine)
{
    Open();
    Cells c = Cells()
                  .Text("One")
                  .Cell(HRT)
                  .Text("Two ")
                  .Font(5, 24)
                  .Text("big")
                  .Cell(HRT)
                  .Font(5, 12)
                  .Cell(HRT)
                  .Text("Four");
    ASSERT_EQ(Print(Letter(), c), 1);
    EXPECT_EQ(Find("One").ref.y, 600 + 100);
    EXPECT_EQ(Find("One").ref.x, 600);
    EXPECT_EQ(Find("Two ").ref.y, 700 + 200); /* the 24 point run makes the line 200 high */
    EXPECT_EQ(Find("big").ref.x, 600 + Find("Two ").width);
    EXPECT_EQ(Find("big").lfHeight, -200);
    EXPECT_EQ(Find("Four").ref.y, 900 + 100 + 100); /* the empty line still takes its height */
    EXPECT_EQ(Find("One").face, "Arial");

    /* Base size 0 prints at 12 points. */
    Header zero = Letter();
    zero.baseSize = 0;
    ASSERT_EQ(Print(zero, Cells().Text("Zero")), 1);
    EXPECT_EQ(Find("Zero").lfHeight, -100);
}

TEST_F(WpPrintTest, LineSpacingModeUsesTheFontsOwnHeight)
{
    Open();
    Header h = Letter();
    h.lineSpacing = 1;
    ASSERT_EQ(Print(h, Cells().Text("A").Cell(HRT).Text("B")), 1);
    HDC screen = GetDC(NULL);
    HFONT font = CreateFontA(-MulDiv(12, 1200, 72), 0, 0, 0, 400, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0,
                             0, "Arial");
    HGDIOBJ old = SelectObject(screen, font);
    TEXTMETRICA tm = {};
    GetTextMetricsA(screen, &tm);
    SelectObject(screen, old);
    DeleteObject(font);
    ReleaseDC(NULL, screen);
    const int height = MulDiv(MulDiv(tm.tmHeight + tm.tmExternalLeading, 7200, 1200), 600, 7200);
    EXPECT_GT(height, 100); /* Arial's line is taller than its size */
    EXPECT_EQ(Find("A").ref.y, 600 + height);
    EXPECT_EQ(Find("B").ref.y, 600 + 2 * height);
}

TEST_F(WpPrintTest, TabsAndTabPositionsPlaceTheNextRun)
{
    Open("60,60,60,60"); /* 6 mm unprintable */
    const int phys = GetDeviceCaps(Dc(), PHYSICALOFFSETX);
    ASSERT_GT(phys, 140);
    Cells c = Cells()
                  .Text("a")
                  .Cell(TAB)
                  .Text("b")
                  .Cell(HRT)
                  .Attr(WP_TAB_POSITION, 216, 0)
                  .Text("c")
                  .Cell(HRT) /* 3 inches */
                  .Text("d")
                  .Attr(WP_TAB_FROM_MARGIN, 108, 0)
                  .Text("e")
                  .Cell(HRT) /* 1.5 in */
                  .Text("wide text here")
                  .Attr(WP_TAB_POSITION, 72, 0)
                  .Text("f")
                  .Cell(HRT)
                  .Attr(WP_TAB_POSITION, 600, 0)
                  .Text("g");
    ASSERT_EQ(Print(Letter(), c), 1);
    const int left = 600 - phys;
    EXPECT_EQ(Find("a").ref.x, left);
    EXPECT_EQ(Find("b").ref.x, left + Find("a").width + 300);
    EXPECT_EQ(Find("c").ref.x, 3 * 600 - phys);
    EXPECT_EQ(Find("e").ref.x, (1 + 1.5) * 600 - phys);
    /* Left of the pen, or beyond the text width: ignored, the run goes on. */
    EXPECT_EQ(Find("wide text heref").ref.x, left);
    EXPECT_EQ(Find("g").ref.x, left);
}

TEST_F(WpPrintTest, SoftReturnLinesAreJustifiedToTheRightLimit)
{
    Open();
    Header h = Letter();
    h.justify = 1;
    Cells c = Cells()
                  .Text("Visit note for ")
                  .Attr(BOLD)
                  .Text("Ann Lee")
                  .Attr(BOLD, 0)
                  .Text(" seen today ")
                  .Cell(WP_SRT)
                  .Text("Plain last line")
                  .Cell(HRT)
                  .Text("Hard return line")
                  .Cell(HRT);
    ASSERT_EQ(Print(h, c), 1);
    auto texts = Texts();
    const RecText *last = nullptr;
    for (const RecText &t : texts)
        if (t.ref.y == 700)
            last = &t;
    ASSERT_TRUE(last);
    /* The last word, not the blank the editor left after it, ends on the limit. */
    EXPECT_EQ(last->text, "today ");
    const int space = (int)(569 * 100 / 2048.0 + 0.5); /* Arial's space at 12 points */
    EXPECT_EQ(last->ref.x + last->width - space, 5100 - 600);
    /* Every word after the first has moved right; the first has not. */
    EXPECT_EQ(texts[0].text, "Visit ");
    EXPECT_EQ(texts[0].ref.x, 600);
    EXPECT_EQ(Find("Plain last line").ref.x, 600);
    EXPECT_LT(Find("Hard return line").ref.x + Find("Hard return line").width, 5100 - 600);
}

TEST_F(WpPrintTest, CheckBoxesAreSquaresOnTheBaselineAndCheckedOnesCarryTheMark)
{
    Open();
    /* An entry that says checked, one that does not, one of another type. */
    const std::string fields = Int32(0) + Int32(3) + Int32(7) + std::string("smoker\0", 7) +
                               Int32(6) + Int32(1) + std::string("Y\0", 2) + Int32(3) + Int32(8) +
                               std::string("never\0", 6) + Int32(6) + Int32(0) +
                               std::string("N\0", 2);
    MsgBuf msg = MsgBuf();
    AppendBytes(&msg, fields.data(), (int)fields.size());
    HandleGetDataFieldInfo(session_.get(), &msg, PRINT_DATA_FIELD_INFO);
    FreeMsgBuf(&msg);
    ASSERT_EQ(session_->m_Wp.m_DataFields.entries.size(), 2u);

    Cells c = Cells()
                  .Text("A")
                  .Record(WP_CHECK_BOX, 0)
                  .Text("B")
                  .Record(WP_CHECK_BOX, 1)
                  .Record(WP_DATA_CHECK_BOX, 1, 0, 0, Int32(7))
                  .Record(WP_DATA_CHECK_BOX, 1, 0, 0, Int32(8))
                  .Record(WP_DATA_CHECK_BOX, 1, 0, 0, Int32(9));
    ASSERT_EQ(Print(Letter(), c), 1);
    /* Arial x is 500/1000 em: a 12 point box run is 2 * 500 * 12 * 600 / 72000 = 100 wide. */
    const int W = 60, inset = 20, base = 700;
    const int a = 600 + Find("A").width;
    auto lines = Lines();
    ASSERT_EQ(lines.size(), 4u * 5 + 2 * 2); /* five boxes, two of them checked */
    auto Box = [&](size_t i, int left) {
        EXPECT_EQ(lines[i].from.x, left);
        EXPECT_EQ(lines[i].from.y, base);
        EXPECT_EQ(lines[i].to.y, base - W);
        EXPECT_EQ(lines[i + 1].to.x, left + W);
        EXPECT_EQ(lines[i + 3].to.x, left);
        EXPECT_EQ(lines[i].pen.width, 3);
    };
    Box(0, a + inset);
    const int b = a + 100 + Find("B").width;
    Box(4, b + inset);
    EXPECT_EQ(lines[8].pen.width, 9);
    EXPECT_EQ(lines[8].from.x, b + inset + W / 3);
    EXPECT_EQ(lines[8].to.x, b + inset + W / 10);
    EXPECT_EQ(lines[8].to.y, base - W / 3);
    EXPECT_EQ(lines[9].to.x, b + inset + W);
    EXPECT_EQ(lines[9].to.y, base - W);
    Box(10, b + 100 + inset); /* field 7: checked */
    EXPECT_EQ(lines[14].pen.width, 9);
    Box(16, b + 200 + inset);                                 /* field 8: not checked */
    Box(20, b + 300 + inset);                                 /* field 9: not in the list */
    EXPECT_TRUE(session_->m_Wp.m_DataFields.entries.empty()); /* released with the document */
}

TEST_F(WpPrintTest, UnderlinesRulesAndHighlightsSitAtTheirOffsets)
{
    Open();
    Cells c = Cells().Attr(UND).Text("under").Attr(UND, 0).Cell(HRT);
    for (int i = 0; i < 5; i++)
        c.Cell(WP_RULE_CHAR);
    c.Text("x").Cell(HRT).Attr(WP_HIGHLIGHT).Text("marked").Attr(WP_HIGHLIGHT, 0).Cell(HRT);
    c.Attr(WP_LINE_FLAG, 1).Cell(WP_RULE_CHAR).Cell(WP_RULE_CHAR).Text("y");
    ASSERT_EQ(Print(Letter(), c), 1);
    auto lines = Lines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].from.y, 700 + 7);
    EXPECT_EQ(lines[0].to.x, 600 + Find("under").width);
    EXPECT_EQ(lines[0].pen.width, 3);
    EXPECT_EQ(lines[1].from.y, 800 - 10);
    EXPECT_EQ(lines[1].pen.width, 7);
    EXPECT_EQ(Find("x").ref.x, lines[1].to.x);
    auto fills = Only<RecShape>(GetRecord(Dc()));
    ASSERT_EQ(fills.size(), 1u);
    EXPECT_EQ(fills[0].brush.color, RGB(0xFF, 0xFF, 0x64));
    EXPECT_EQ(fills[0].rect.bottom, 900 + 25);
    EXPECT_EQ(fills[0].rect.right, 600 + Find("marked").width);
    /* With the line flag on, rule cells are plain spaces. */
    EXPECT_EQ(Find("  y").ref.y, 1000);
}

TEST_F(WpPrintTest, SuperscriptsRiseAndSymbolsColoursAndFontResetApply)
{
    Open();
    Header h = Letter();
    h.fontReset = "Y";
    Cells c = Cells()
                  .Text("m")
                  .Attr(WP_SUPERSCRIPT)
                  .Text("2")
                  .Attr(WP_SUPERSCRIPT, 0)
                  .Attr(WP_SUBSCRIPT)
                  .Text("i")
                  .Attr(WP_SUBSCRIPT, 0)
                  .Cell(HRT)
                  .Attr(WP_SYMBOL, 5)
                  .Attr(WP_SYMBOL, 7)
                  .Record(WP_FONT_COLOR, 0x1ff, 0, 255)
                  .Text("c")
                  .Cell(HRT)
                  .Font(6, 20)
                  .Text("t")
                  .Record(WP_FONT_RESET)
                  .Text("r");
    ASSERT_EQ(Print(h, c), 1);
    const RecText sup = Find("2");
    EXPECT_EQ(sup.lfHeight, -MulDiv(8, 600, 72)); /* 12 / 1.5 */
    EXPECT_EQ(sup.ref.y, 700 - (int)(0.45 * (sup.ascent + sup.descent)));
    EXPECT_EQ(Find("i").ref.y, 700);
    EXPECT_EQ(Find("\xb0\xa7").ref.y, 800);
    EXPECT_EQ(Find("c").color, RGB(0xff, 0, 0xff));
    EXPECT_EQ(Find("t").face, "Times New Roman");
    EXPECT_EQ(Find("r").face, "Arial");
    EXPECT_EQ(Find("r").lfHeight, -100);
}

TEST_F(WpPrintTest, UnderlinedSuperscriptJoinsTheUnderlineOfItsNeighbourOnly)
{
    Open();
    Cells c = Cells()
                  .Attr(UND)
                  .Text("x")
                  .Attr(WP_SUPERSCRIPT)
                  .Text("2")
                  .Attr(WP_SUPERSCRIPT, 0)
                  .Attr(UND, 0)
                  .Text(" and ")
                  .Attr(UND)
                  .Attr(WP_SUPERSCRIPT)
                  .Text("3");
    ASSERT_EQ(Print(Letter(), c), 1);
    auto lines = Lines();
    ASSERT_EQ(lines.size(), 3u);
    const RecText two = Find("2"), three = Find("3");
    EXPECT_LT(two.ref.y, 700);
    EXPECT_EQ(lines[0].from.y, 707); /* "x" */
    EXPECT_EQ(lines[1].from.y, 707); /* "2" beside it: on the line's baseline */
    EXPECT_EQ(lines[1].from.x, two.ref.x);
    EXPECT_EQ(lines[2].from.y, three.ref.y + 7); /* "3" alone: at its raised baseline */
}

TEST_F(WpPrintTest, LinesThatDoNotFitGoToTheNextPageWithHeadingAndFooting)
{
    Open();
    Header h = Letter();
    h.top = 50; /* later pages start half an inch down */
    Cells c;
    for (int i = 1; i <= 60; i++)
        c.Text("Line " + std::to_string(i)).Cell(HRT);
    const std::string payload = HeadingPayload(h, c, 1, 2, "Visit note", "Confidential");
    ASSERT_EQ(Print(payload, true), 1);
    /* 11 in - 1 in bottom = 6000: line 54 has its baseline at 600 + 54 * 100. */
    EXPECT_EQ(Find("Line 54").ref.y, 6000);
    EXPECT_EQ(Find("Line 55").page, Find("Line 1").page + 1);
    EXPECT_EQ(Find("Line 55").ref.y, 300 + 100);
    EXPECT_EQ(Pages(), 2);
    /* No heading on page 1 without the flag; footing and heading with page numbers after. */
    int headings = 0;
    for (const RecText &t : Texts())
        headings += t.text == "Visit note";
    EXPECT_EQ(headings, 1);
    EXPECT_EQ(Find("Visit note").ref.y, (int)(0.75 * 100 + 600 * 50 / 100));
    EXPECT_EQ(Find("Page #2").ref.x + Find("Page #2").width, 5100 - 100 * 6);
    EXPECT_EQ(Find("Confidential").ref.y, 600 * (1100 - 25) / 100 - 75);
}

TEST_F(WpPrintTest, HeadingIsCutToFitBesideThePageNumber)
{
    Open();
    Header h = Letter();
    const std::string longHeading(120, 'W');
    ASSERT_EQ(Print(HeadingPayload(h, Cells().Text("x"), 3, 0, longHeading, "", 0x400000), true),
              1);
    const RecText page = Find("Page #1");
    EXPECT_EQ(page.ref.x + page.width, 4500);
    RecText cut;
    for (const RecText &t : Texts())
        if (t.text[0] == 'W')
            cut = t;
    ASSERT_FALSE(cut.text.empty());
    EXPECT_LT(cut.text.size(), longHeading.size());
    EXPECT_LE(cut.ref.x + cut.width, page.ref.x);
    /* One more character would have run into the page number's column. */
    SIZE one = {0, 0};
    SelectObject(Dc(), CreateFontA(-100, 0, 0, 0, 400, 0, 0, 0, 0, 0, 0, 0, 0, "Arial"));
    GetTextExtentPoint32A(Dc(), "W", 1, &one);
    EXPECT_GT(cut.ref.x + cut.width + one.cx, page.ref.x);
}

TEST_F(WpPrintTest, StructuredHeadingSpreadsItsItemsOverTheWidth)
{
    Open();
    const std::string json = R"({"structured heading": ["Ann Lee", "DOB 01/02/1960", "MRN 42"]})";
    ASSERT_EQ(Print(HeadingPayload(Letter(), Cells().Text("x"), 1, 0, json, "", 0x400000), true),
              1);
    const RecText a = Find("Ann Lee"), b = Find("DOB 01/02/1960"), m = Find("MRN 42");
    const int gap = (3900 - (a.width + b.width + m.width)) / 3;
    EXPECT_EQ(a.ref.x, 600);
    EXPECT_EQ(b.ref.x, 600 + a.width + gap);
    EXPECT_EQ(m.ref.x, b.ref.x + b.width + gap);
    for (const RecText &t : Texts())
        EXPECT_EQ(t.text.find("Page #"), std::string::npos);
}

TEST_F(WpPrintTest, FormFeedsBreakOnlyWithTheFormFeedOption)
{
    Open();
    ASSERT_EQ(Print(Letter(), Cells().Text("p1").Cell(FFEED).Text("p2")), 1);
    EXPECT_EQ(Find("p2").page, Find("p1").page + 1);
    EXPECT_EQ(Find("p2").ref.y, 700);
    session_->m_iFormFeedOption = 0;
    const int before = Pages();
    ASSERT_EQ(Print(Letter(), Cells().Text("q1").Cell(FFEED).Text("q2")), 1);
    EXPECT_EQ(Find("q2").page, Find("q1").page);
    EXPECT_EQ(Find("q2").ref.y, Find("q1").ref.y + 100);
    EXPECT_EQ(Pages(), before + 1);
    /* Option 0 leaves the page open: the next document continues on it. */
    ASSERT_EQ(Print(Letter(), Cells().Text("r1")), 1);
    EXPECT_EQ(Find("r1").page, Find("q1").page);
}

TEST_F(WpPrintTest, DocumentTypeTwoBreaksWhereThePrecomputedListSays)
{
    Open();
    Header h = Letter();
    h.docType = 2;
    h.pageLength = 144; /* two inches: 1 in top + 1 in bottom leaves no room */
    h.firstBottom = h.bottom = 20;
    h.top = h.firstTop = 20;
    Cells c;
    for (int i = 1; i <= 12; i++)
        c.Text("L" + std::to_string(i)).Cell(HRT);
    ASSERT_EQ(Print(h, c), 1);
    const std::vector<int> &breaks = session_->m_Wp.m_PageBreaks;
    ASSERT_EQ(breaks.size(), 12u);
    /* 0.2 in top, 1/6 in a line, 0.2 in bottom in a 2 in page: 9 lines fit,
     * and the entry at the ninth line end names the cell the tenth starts at. */
    EXPECT_EQ(breaks[7], -1);
    EXPECT_EQ(breaks[8], 9 * 3);
    EXPECT_EQ(Find("L9").page, Find("L1").page);
    EXPECT_EQ(Find("L10").page, Find("L1").page + 1);
    EXPECT_EQ(Find("L12").page, Find("L1").page + 1);
}

TEST_F(WpPrintTest, ESignatureLinesFollowTheNameDateAndTimeRules)
{
    char line[200];
    FormatESignatureLine(line, sizeof(line), "Ann Lee", 2451545, 0,
                         ESIG_NAME | ESIG_DATE | ESIG_TIME);
    EXPECT_STREQ(line, "Electronically signed by Ann Lee on 01/01/2000 at 12:00 am");
    FormatESignatureLine(line, sizeof(line), "Ann Lee", 2460311, 545,
                         ESIG_NAME | ESIG_DATE | ESIG_TIME | ESIG_AGENT);
    EXPECT_STREQ(line, "Electronically signed by agent of provider: Ann Lee on 01/01/2024 at "
                       " 9:05 am");
    FormatESignatureLine(line, sizeof(line), "Ann Lee", 2451545, 780, ESIG_NAME | ESIG_TIME);
    EXPECT_STREQ(line, "Electronically signed by Ann Lee");
    FormatESignatureLine(line, sizeof(line), "X", 0, 720, ESIG_DATE | ESIG_TIME);
    EXPECT_STREQ(line, "Electronically signed on 00/00/0000 at 12:00 pm");
}

TEST_F(WpPrintTest, SignatureRunsTakeTheirBoxAndPrintTheirLine)
{
    Open();
    const std::string keys = Keys()
                                 .Int(1, 12)
                                 .Int(2, 2451545)
                                 .Int(3, 545)
                                 .Text(4, "Dr Ann Lee")
                                 .Int(5, 3)
                                 .Int(6, 5)
                                 .End();
    const std::string unsigned_ = Keys().Text(4, "Unsigned draft").Int(6, 5).End();
    Cells c = Cells()
                  .Text("Signed:")
                  .Cell(HRT)
                  .Record(SP_SIGNATURE_CODE, 0, 0, 0x16, keys)
                  .Cell(HRT)
                  .Record(SP_SIGNATURE_CODE, 0, 0, 0x10, unsigned_)
                  .Text("after");
    ASSERT_EQ(Print(Letter(), c), 1);
    /* Box: 600 * 5 / 10 = 300 high, 6.5 times as wide; the line adds 100. */
    const RecText esig = Find("Electronically signed by Dr Ann Lee on 01/01/2000 at  9:05 am");
    EXPECT_EQ(esig.ref.y, 700 + 400);
    EXPECT_EQ(esig.ref.x, 600);
    EXPECT_EQ(Find("after").ref.y, 1100 + 100);
    int sum = 0;
    for (char ch : std::string("Dr Ann Lee"))
        sum += (signed char)ch;
    const std::string name = std::to_string(session_->m_iProcessId) + "_signature12version3" +
                             "2451545545" + std::to_string(sum);
    EXPECT_NE(Log().find("PrintDocumentSignatureFile(" + name + ") x:600 y:700 height:300"),
              std::string::npos)
        << Log();
    EXPECT_EQ(Log().find("Unsigned"), std::string::npos);
}

TEST_F(WpPrintTest, ImagesNotInTheCacheDrawThePlaceholderInTheirJustifiedBox)
{
    Open();
    /* Keys: 2 width and 3 height in hundredths of an inch, 7 the name, 9
     * the justification (0 centre, 1 left, 2 right). */
    const std::string centred = Keys().Int(2, 200).Int(3, 100).Text(7, "scan.jpg").End();
    const std::string wide = Keys().Int(2, 1000).Int(3, 50).Text(7, "wide.tif").Int(9, 2).End();
    const std::string tall = Keys().Int(2, 100).Int(3, 5000).Text(7, "tall.tif").Int(9, 1).End();
    Cells c = Cells()
                  .Text("Above")
                  .Cell(HRT)
                  .Record(IMAGE, 0, 0, 0, centred)
                  .Text("Below")
                  .Cell(HRT)
                  .Record(IMAGE, 0, 0, 0, wide)
                  .Record(IMAGE, 0, 0, 0, tall)
                  .Text("Next page");
    ASSERT_EQ(Print(Letter(), c), 1);
    std::vector<RecShape> boxes;
    for (const RecShape &shape : Only<RecShape>(GetRecord(Dc())))
        if (shape.kind == RecShape::Rectangle)
            boxes.push_back(shape);
    ASSERT_EQ(boxes.size(), 3u);
    /* 2 x 1 inch, centred on the 8.5 inch page under the first line. */
    EXPECT_EQ(boxes[0].rect.left, (5100 - 1200) / 2);
    EXPECT_EQ(boxes[0].rect.top, 700);
    EXPECT_EQ(boxes[0].rect.right - boxes[0].rect.left, 1200);
    EXPECT_EQ(boxes[0].rect.bottom, 1300);
    EXPECT_EQ(Find("Below").ref.y, 1300 + 100);
    /* Ten inches wide is cut to the 6.5 between the margins, right-justified. */
    EXPECT_EQ(boxes[1].rect.left, 600);
    EXPECT_EQ(boxes[1].rect.right, 4500);
    EXPECT_EQ(boxes[1].rect.bottom - boxes[1].rect.top, 300);
    /* Fifty inches tall is cut to what is left above the bottom margin;
     * the page is full, so the text goes on on the next page. */
    EXPECT_EQ(boxes[2].rect.left, 600);
    EXPECT_EQ(boxes[2].rect.bottom, 6600 - 600);
    EXPECT_EQ(boxes[2].page, Find("Above").page);
    EXPECT_EQ(Find("Next page").page, Find("Above").page + 1);
    std::vector<RecText> placeholders;
    for (const RecText &t : Texts())
        if (t.text == "Virtual Image")
            placeholders.push_back(t);
    ASSERT_EQ(placeholders.size(), 3u);
    EXPECT_EQ(placeholders[0].ref.y, 700 + 300);
    EXPECT_NE(Log().find("PrintStreamImage(scan.jpg) not in the image cache"), std::string::npos);
}

TEST_F(WpPrintTest, LongRunsAreSplitWithNothingLostAndBadDocumentsPrintNothing)
{
    Open();
    ASSERT_EQ(Print(Letter(), Cells().Text(std::string(6000, 'z'))), 1);
    size_t total = 0;
    for (const RecText &t : Texts())
        total += t.text.size();
    EXPECT_EQ(total, 6000u);
    EXPECT_GT(Texts().size(), 1u);

    const size_t drawn = GetRecord(Dc()).size();
    EXPECT_EQ(Print(I32(0) + Letter().Bytes() + I32(50) + "short"), 0);
    EXPECT_EQ(GetRecord(Dc()).size(), drawn);
    EXPECT_NE(Log().find("PrintNovarcWpDocument document refused: cell count beyond the payload"),
              std::string::npos);
}

TEST_F(WpPrintTest, NoPrinterMeansNothingPrinted)
{
    EXPECT_EQ(Print(Letter(), Cells().Text("x")), 0);
}

} // namespace
