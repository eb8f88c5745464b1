/*
 * The helpers every renderer shares, on a 300 dpi printer DC's record:
 * the server's units in device units, text cut to a width and centred.
 */
#include <gdi_record.h>

#include "draw.h"
#include "session_fixture.h"
#include <registry_printer.h>

namespace {

using winport::gdi::GetRecord;
using winport::gdi::Only;
using winport::gdi::RecText;

class DrawTest : public SessionTest {
protected:
    void SetUp() override
    {
        SessionTest::SetUp();
        AddRegistryPrinter("Draw Laser", {{"Printer Driver", "Generic Laser"}, {"Port", "NUL:"}},
                           {{"Resolution", 300}});
        dc_ = CreateDCA("Generic Laser", "Draw Laser", NULL, NULL);
        ASSERT_NE(dc_, (HDC)NULL);
        DOCINFOA doc = {};
        doc.cbSize = sizeof(doc);
        doc.lpszDocName = "draw";
        ASSERT_GT(StartDocA(dc_, &doc), 0);
        ASSERT_GT(StartPage(dc_), 0);
        ASSERT_TRUE(winport::gdi::SetRecording(dc_, true));
    }
    void TearDown() override
    {
        if (dc_) {
            AbortDoc(dc_);
            DeleteDC(dc_);
        }
        SessionTest::TearDown();
    }
    HFONT Font(int points)
    {
        char face[FONT_FACE_SIZE] = "Courier New";
        HFONT font = NULL;
        EXPECT_EQ(CreatePrinterFont(session_.get(), dc_, &font, face,
                                    FontHeightForPoints(dc_, points), 0, 400, 0, 0, 0),
                  0);
        return font;
    }
    HDC dc_ = NULL;
};

TEST_F(DrawTest, ServerUnitsBecomeDotsTruncated)
{
    /* 12 points at 600 dpi is 100 dots; 0.6 x 12 points is 60, not 59. */
    EXPECT_EQ(PointsToDevice(12, 600), 100);
    EXPECT_EQ(PointsToDevice(0.6 * 12, 600), 60);
    EXPECT_EQ(PointsToDevice(5.81 * 1.2, 600), 58);
    EXPECT_EQ(PointsToDeviceY(dc_, 12), 50);
    EXPECT_EQ(FontHeightForPoints(dc_, 10), -42); /* MulDiv rounds */
    EXPECT_EQ(InchesToDeviceX(dc_, 0.25), 75);
    EXPECT_EQ(InchesToDeviceY(dc_, 1.7), 510);
    /* 1/600 inch: half a dot is no dot, whatever the sign. */
    EXPECT_EQ(ServerToDeviceX(dc_, 1200), 600);
    EXPECT_EQ(ServerToDeviceY(dc_, 601), 300);
    EXPECT_EQ(ServerToDeviceY(dc_, -1), 0);
}

TEST_F(DrawTest, TextIsCutAtTheWidthAndCentredInItsBox)
{
    HFONT font = Font(12);
    SelectTextFont(dc_, font);
    const SIZE three = MeasureText(dc_, "ABC", 3);
    SIZE fit = {0, 0};
    EXPECT_EQ(FitTextToWidth(dc_, "ABCDEF", 6, three.cx, &fit), 3);
    EXPECT_EQ(fit.cx, three.cx);
    EXPECT_EQ(FitTextToWidth(dc_, "ABCDEF", 6, three.cx - 0.5, NULL), 2);
    EXPECT_EQ(FitTextToWidth(dc_, "ABCDEF", 6, -1, &fit), 0);
    EXPECT_EQ(fit.cx, 0);

    ASSERT_TRUE(DrawTextCentred(dc_, 100, 1000, 400, "ABC", 3));
    TextOutA(dc_, 10, 500, "X", 1);
    const auto texts = Only<RecText>(GetRecord(dc_));
    ASSERT_EQ(texts.size(), 2u);
    EXPECT_EQ(texts[0].ref.x, 100 + (1000 - three.cx) / 2);
    /* Baseline alignment: the reference point is on the baseline. */
    EXPECT_EQ(texts[0].ref.y, 400);
    EXPECT_EQ(texts[1].ref.y, 500);
    SelectObject(dc_, GetStockObject(SYSTEM_FONT));
    DeleteObject(font);
}

} // namespace
