/*
 * The optical prescriptions at 600 and 300 dpi: the three layouts' frame,
 * patient block, measurement table and remarks where the layouts put them,
 * and the rules that move a column or change a value.
 */
#include "forms_fixture.h"
#include "novarcprint_msgs.h"

namespace {

const char *const kMss = "Microsoft Sans Serif";
const char *const kHelv = "Helvetica";
const char *const kValue = "Courier 10";

class OpticalTest : public FormsTest {
protected:
    void SetUp() override
    {
        FormsTest::SetUp();
        Open(GetParam());
        At(60, 120);
    }
    int PrintEye(const OpticalSample &o)
    {
        return Run(HandlePrintEyePrescription, PRINT_EYE_PRESCRIPTION, o.EyePayload());
    }
    /* x of a text centred between two column boundaries (inches). */
    int InColumn(double from, double to, int width) const
    {
        return x0_ + InX(from) + (InX(to) - InX(from) - width) / 2;
    }
    RecLine HorizontalAt(int y)
    {
        for (const RecLine &l : Lines())
            if (l.from.y == y && l.to.y == y)
                return l;
        ADD_FAILURE() << "no rule at y " << y;
        return RecLine();
    }
};

TEST_P(OpticalTest, SingleVisionFrameBlockAndTable)
{
    OpticalSample o;
    ASSERT_EQ(PrintEye(o), 1);
    const int hLetterhead = Height(kMss, 11), h10 = Height(kMss, 10);
    const int yLetterhead = y0_ + InY(0.2);
    ExpectAt("LAKESIDE EYE CARE ", x0_, yLetterhead);
    ExpectAt("Mirela Stan OD", x0_, yLetterhead + hLetterhead);
    EXPECT_TRUE(Text("Mirela Stan OD").bold);
    ExpectAt("LIC OD-0045521     ", x0_ + InX(2.1), yLetterhead + hLetterhead);
    ExpectAt("PH# (802) 555-0110", x0_ + InX(2.1), yLetterhead + hLetterhead + h10);
    ExpectAt("Burlington VT 05401", x0_, yLetterhead + hLetterhead + 3 * h10);
    for (double rule : {0.883, 0.913, 1.59})
        EXPECT_EQ(HorizontalAt(y0_ + InY(rule)).to.x, x0_ + InX(5));
    EXPECT_EQ(Lines()[0].pen.width, 2);

    const int row1 = y0_ + InY(1.12), row2 = y0_ + InY(1.28), row3 = y0_ + InY(1.42);
    ExpectAt("Patient Name", x0_ + InX(0.05), row1);
    ExpectAt("NGUYEN, THANH", x0_ + InX(0.8), row1);
    EXPECT_EQ(Text("NGUYEN, THANH").lfHeight, -MulDiv(8000, dpi_, 72000));
    ExpectAt("54", x0_ + InX(4.125) + Width(kHelv, 8, 500, "Age  "), row1);
    ExpectAt("&", x0_ + InX(0.38), row2);
    ExpectAt("9 Maple Avenue", x0_ + InX(0.8), row2);
    ExpectAt("Issued ", x0_ + InX(4.0), row2);
    ExpectAt("Burlington VT 05408", x0_ + InX(0.8), row3);
    ExpectAt("Address", x0_ + InX(0.2), row3);
    ExpectAt("09/12/2026", x0_ + InX(3.955) + Width(kHelv, 8, 500, "Expires "), row3);

    const auto bitmaps = Bitmaps();
    ASSERT_EQ(bitmaps.size(), 1u);
    EXPECT_EQ(bitmaps[0].x, x0_ + InX(0.1));
    EXPECT_EQ(bitmaps[0].y, y0_ + InY(1.6875));
    const double bounds[] = {0.512, 1.31, 2.2125, 2.9375, 3.7, 4.3, 5.0};
    const char *const headings[] = {"SPHERICAL", "CYLINDRICAL", "AXIS", "PRISM", "BASE", "ADD"};
    for (int j = 0; j < 6; j++)
        ExpectAt(headings[j], InColumn(bounds[j], bounds[j + 1], Width(kHelv, 8, 500, headings[j])),
                 y0_ + InY(1.795));
    ExpectAt("-2.25", InColumn(0.512, 1.31, Width(kValue, 8, 500, "-2.25")), y0_ + InY(2.015));
    ExpectAt("BD", InColumn(3.7, 4.3, Width(kValue, 8, 500, "BD")), y0_ + InY(2.265));
    ExpectAt("Left Eye", InColumn(0, 0.512, Width(kHelv, 8, 500, "Left Eye")), y0_ + InY(2.265));

    /* Remarks: an empty one still takes its line. */
    const int yRemarks = y0_ + InY(2.565), hValue = Height(kValue, 8, 500);
    const int xRemarks = x0_ + Width(kHelv, 8, 500, "REMARKS:");
    ExpectAt("REMARKS:", x0_, yRemarks);
    ExpectAt(" Anti-reflective coating", xRemarks, yRemarks);
    ExpectAt(" Progressive lenses acceptable", xRemarks, yRemarks + 2 * hValue);
    ExpectAt("Dr.", x0_ + InX(0.25), y0_ + InY(3.75));
    EXPECT_EQ(HorizontalAt(y0_ + InY(3.8)).from.x, x0_ + InX(0.5));
    ExpectAt("Mirela Stan, OD", x0_ + InX(0.5), y0_ + InY(4.0));
}

TEST_P(OpticalTest, DistanceAndNearTableAndLowerSignature)
{
    OpticalSample o;
    o.layout = 1;
    ASSERT_EQ(PrintEye(o), 1);
    ExpectAt("LAKESIDE EYE CARE ", x0_, y0_ + InY(0.15));
    for (double rule : {0.875, 0.92, 1.59})
        HorizontalAt(y0_ + InY(rule));
    const int row3 = y0_ + InY(1.42);
    ExpectAt("9 Maple Avenue", x0_ + InX(0.8), row3);
    ExpectAt("09/12/2025", x0_ + InX(4.125) + Width(kHelv, 8, 500, "Date"), row3);
    ExpectAt("Burlington VT 05408", x0_ + InX(0.8), row3 + Height(kValue, 8, 500));
    ExpectAt("DV", InColumn(0, 0.4, Width(kHelv, 8, 500, "DV")), y0_ + InY(2.015));
    ExpectAt("NV", InColumn(0, 0.4, Width(kHelv, 8, 500, "NV")), y0_ + InY(2.515));
    /* Near, left eye: F29 to F33 on the last row. */
    ExpectAt("-0.80", InColumn(1.2, 2.24, Width(kValue, 8, 500, "-0.80")), y0_ + InY(2.765));
    ExpectAt("BO", InColumn(4.5, 5.0, Width(kValue, 8, 500, "BO")), y0_ + InY(2.765));
    ExpectAt("REMARKS:", x0_, y0_ + InY(2.965));
    ExpectAt("Dr.", x0_ + InX(0.25), y0_ + InY(4.0));
    ExpectAt("Mirela Stan, OD", x0_ + InX(0.5), y0_ + InY(4.25));
}

TEST_P(OpticalTest, ContactLensLayoutPrintsTheExpiryAsSent)
{
    OpticalSample o;
    o.f[13] = "00/00/00";
    ASSERT_EQ(Run(HandlePrintContactLens, PRINT_CONTACT_LENS, o.ContactLensPayload()), 1);
    ExpectAt("LAKESIDE EYE CARE ", x0_, y0_ + InY(0.35));
    for (double rule : {1.075, 1.12, 1.79})
        HorizontalAt(y0_ + InY(rule));
    const int row2 = y0_ + InY(1.48), row3 = y0_ + InY(1.62);
    ExpectAt("09/12/2025", x0_ + InX(4.125) + Width(kHelv, 8, 500, "Date"), row2);
    ExpectAt("00/00/00", x0_ + InX(4.125) + Width(kHelv, 8, 500, "Exp"), row3);
    EXPECT_FALSE(Drew("N/A"));
    EXPECT_EQ(Bitmaps()[0].y, y0_ + InY(1.8875));
    ExpectAt("BASE CURVE", InColumn(2.08, 2.88, Width(kHelv, 8, 500, "BASE CURVE")),
             y0_ + InY(1.995));
    ExpectAt("OS", InColumn(0, 0.28, Width(kHelv, 8, 500, "OS")), y0_ + InY(2.465));
    ExpectAt("BD", InColumn(4.405, 5.0, Width(kValue, 8, 500, "BD")), y0_ + InY(2.465));
    ExpectAt("REMARKS:", x0_, y0_ + InY(2.765));
}

TEST_P(OpticalTest, WideNamesMoveTheRightColumnOrShrink)
{
    OpticalSample o;
    o.f[13] = "00/00/00";
    o.f[9] = "Mirela Alexandra Stan-Whitcombe OD FAAO"; /* wider than 2.6 inches at 9 points */
    o.f[1] = "48 Harbour Street, Lakeside Plaza East";  /* wider than 2.12 inches at 10 */
    o.f[5] = "NGUYEN-BARTHOLOMEW-DELACROIX, THANH ALEXANDRA MARGUERITE"; /* past 4.05 inches */
    ASSERT_EQ(PrintEye(o), 1);
    ASSERT_GT(Width(kMss, 9, 700, o.f[9]), InX(2.6));
    ExpectAt("LIC OD-0045521     ", x0_ + Width(kMss, 9, 700, o.f[9]) + InX(0.1),
             Text(o.f[9]).ref.y);
    EXPECT_EQ(Text(o.f[9]).lfHeight, -MulDiv(9000, dpi_, 72000));
    ASSERT_GT(Width(kMss, 10, 400, o.f[1]), InX(2.12));
    ASSERT_LE(Width(kMss, 9, 400, o.f[1]), InX(2.62));
    EXPECT_EQ(Text(o.f[1]).lfHeight, -MulDiv(9000, dpi_, 72000));
    EXPECT_EQ(Text("PH# (802) 555-0110").ref.x, x0_ + InX(2.6));
    ASSERT_GT(InX(0.8) + Width(kValue, 8, 500, o.f[5]), InX(4.05));
    EXPECT_EQ(Text(o.f[5]).face, kMss) << "the smaller font for a long name";
    ExpectAt("N/A", x0_ + InX(3.955) + Width(kHelv, 8, 500, "Expires "), y0_ + InY(1.42));
}

TEST_P(OpticalTest, SidewaysStocksRefreshInLandscapeAndKeepTheFlag)
{
    session_->m_Printer.m_iFormTypeCode = 28;
    session_->m_Printer.m_bLandscape = false;
    OpticalSample o;
    ASSERT_EQ(PrintEye(o), 1);
    EXPECT_FALSE(session_->m_Printer.m_bLandscape);
    const auto pages = winport::gdi::Only<winport::gdi::RecPage>(winport::gdi::GetRecord(Dc()));
    ASSERT_FALSE(pages.empty());
    EXPECT_TRUE(pages[0].landscape) << "the refresh turned the page for the stock";
}

INSTANTIATE_TEST_SUITE_P(Resolutions, OpticalTest, ::testing::Values(600, 300),
                         [](const ::testing::TestParamInfo<int> &info) {
                             return "Dpi" + std::to_string(info.param);
                         });

} // namespace
