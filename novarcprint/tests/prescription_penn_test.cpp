/*
 * The Pennsylvania pad at 600 and 300 dpi: the lower part each
 * jurisdiction code chooses, on paper and laid out for a fax.
 */
#include "forms_fixture.h"
#include "novarcprint_msgs.h"
#include "prescription.h"

namespace {

const char *const kMss = "Microsoft Sans Serif";
const char *const kHelv = "Helvetica";

class PennTest : public FormsTest {
protected:
    void SetUp() override
    {
        FormsTest::SetUp();
        Open(GetParam());
        At(150, 300);
        hB = Height(kMss, 9);
        h6 = Height(kMss, 6);
        h7 = Height(kHelv, 7);
        L = x0_ + InX(0.42);
    }
    int Print(const RxSample &rx)
    {
        return Run(HandlePrintPrescription, PRINT_PRESCRIPTION_PENN, rx.Payload());
    }
    int Centred(int width) const { return x0_ + (InX(4) - width) / 2; }
    /* The line whose left end is at x (fails when none). */
    RecLine LineFrom(int x, int y)
    {
        for (const RecLine &l : Lines())
            if (l.from.x == x && l.from.y == y)
                return l;
        ADD_FAILURE() << "no line from (" << x << ", " << y << ")";
        return RecLine();
    }
    int hB = 0, h6 = 0, h7 = 0, L = 0;
};

TEST_P(PennTest, Code5HasMddSignatureLineAndBrandMark)
{
    RxSample rx;
    rx.jurisdiction = 5;
    rx.esigned = 1;
    rx.daw = "Y";
    rx.dawPrint = 1;
    rx.government = RX_OPIOID_MA;
    ASSERT_EQ(Print(rx), 1);
    const int rx16 = 16 * dpi_ / 96;
    const int yDrug = y0_ + InY(2.5) + 28 + rx16 / 2;
    ExpectAt("Lisinopril (10 mg tablet)", L, yDrug);
    const int yDirections = yDrug + 2 * Height(kMss, 12, 700);
    ExpectAt("Take one tablet by mouth once daily", L, yDirections);
    ExpectAt("30 tablets", L, yDirections + 3 * hB);
    const std::string opioid =
        "Patient may fill script for quantity less than quantity indicated on script.";
    ExpectAt(opioid, Centred(Width(kMss, 9, 400, opioid)), y0_ + InY(4.25) - 2 * hB);

    const int yRefill = y0_ + InY(4.25), xLeft = x0_ + InX(0.05);
    const int xValue = xLeft + Width(kHelv, 7, 400, "REFILL");
    ExpectAt("REFILL", xLeft, yRefill);
    ExpectAt("  2  ", xValue, yRefill);
    ExpectAt("TIMES", xValue + Width(kHelv, 9, 400, "  2  "), yRefill);
    EXPECT_EQ(LineFrom(xValue, yRefill + 4).to.x, xValue + Width(kHelv, 9, 400, "  2  "));
    const int yMdd = yRefill + h7;
    ExpectAt("MDD ", xLeft, yMdd);
    ExpectAt("  10 mg  ", xLeft + Width(kHelv, 7, 400, "MDD "), yMdd);
    const int ySigned = yMdd + Height(kHelv, 9);
    ExpectAt("(Electronically Signed)", x0_ + InX(3), ySigned);

    const int yBlock = ySigned + 2 * h6 + 1;
    ExpectAt("Signature", xLeft, yBlock);
    const RecLine line = LineFrom(xLeft + Width(kMss, 6, 400, "Signature") + 2, yBlock);
    EXPECT_EQ(line.to.x, x0_ + InX(3.75));
    EXPECT_EQ(line.pen.width, 4);
    const std::string generic =
        "Generic permitted unless the prescriber writes \"Brand Necessary\" or \"No Substitution\"";
    ExpectAt(generic, xLeft, yBlock + 2 * h6);
    ExpectAt("BRAND NECESSARY", Centred(Width(kMss, 6, 400, "BRAND NECESSARY")), yBlock + 3 * h6);
    EXPECT_FALSE(Drew("THIS PRESCRIPTION WILL BE FILLED GENERICALLY")) << "no pad statements";
    EXPECT_TRUE(Shapes().empty()) << "no daw box";
}

TEST_P(PennTest, Codes12And21SignTwiceAndOthersWriteTheirWording)
{
    RxSample rx;
    rx.jurisdiction = 12;
    rx.esigned = 1;
    ASSERT_EQ(Print(rx), 1);
    const int yRefill = y0_ + InY(4.15); /* code 12: a tenth of an inch higher */
    ExpectAt("REFILL", x0_ + InX(0.05), yRefill);
    EXPECT_FALSE(Drew("(Electronically Signed)"));
    EXPECT_FALSE(Drew("MDD "));
    const int yLines = yRefill + 3 * h7 + 7;
    EXPECT_EQ(LineFrom(x0_ + InX(0.05) + 5, yLines).to.x, x0_ + InX(1.8));
    EXPECT_EQ(LineFrom(x0_ + InX(2.15), yLines).to.x, x0_ + InX(3.75));
    const int yLabels = yLines + (int)(1.4 * Height(kHelv, 8));
    ExpectAt("Dispensed as Written", x0_ + InX(0.4), yLabels);
    ExpectAt("Substitution Permitted", x0_ + InX(2.4), yLabels);

    rx.jurisdiction = 21;
    ASSERT_EQ(Print(rx), 1);
    const int y21 = y0_ + InY(4.25) + h7 + 2 * h6 + 7 + (int)(1.4 * h6);
    ExpectAt("product selection permitted", x0_ + InX(2.4), y21);
    ExpectAt("*Note: Signatures must be manually signed, digital signature cannot print on these.",
             x0_ + InX(2.4), y21 + 2 * h6);

    rx.jurisdiction = 6;
    rx.esigned = 0;
    rx.daw = "Y";
    rx.dawPrint = 1;
    ASSERT_EQ(Print(rx), 1);
    const int y6 = y0_ + InY(4.25) + 3 * h7 + 1;
    ExpectAt("INTERCHANGE IS MANDATED UNLESS THE PRACTITIONER WRITES THE WORDS", x0_ + InX(0.05),
             y6 + 2 * h6);
    ExpectAt("\"NO SUBSTITION\" IN THIS SPACE", x0_ + InX(0.05), y6 + 3 * h6);
    ExpectAt("NO SUBSTITION", Centred(Width(kMss, 6, 400, "NO SUBSTITION")), y6 + 4 * h6);

    rx.jurisdiction = 0;
    rx.daw = "N";
    ASSERT_EQ(Print(rx), 1);
    ExpectAt("SUBSTITUTION PERMISSIBLE", x0_ + InX(0.05), y6);
    ExpectAt("WRITE \"BRAND NECESSARY\" OR \"BRAND MEDICALLY NECESSARY\" IN THE SPACE BELOW.",
             x0_ + InX(0.05), y6 + 3 * h6);
    int marks = 0;
    for (const RecText &t : Texts())
        marks += t.page == 4 && t.text == "BRAND NECESSARY";
    EXPECT_EQ(marks, 0) << "no mark unless dispense-as-written is asked for";
}

TEST_P(PennTest, FaxLayoutFollowsTheHeaderAndEndsWithTheBrandLine)
{
    RxSample rx;
    rx.fax = 1;
    rx.jurisdiction = 8;
    rx.facsimileOnly = 1;
    rx.esigned = 1;
    rx.signatureLine2 = "/s/ Amara Okafor";
    rx.daw = "Y";
    rx.dawPrint = 1;
    ASSERT_EQ(Print(rx), 1);
    const int F = (28 * dpi_ / 96) / 2 + h6;
    EXPECT_EQ(Bitmaps()[1].y, y0_ + F + InY(2.5) + 28);
    const int yRefill = y0_ + F + InY(4.25);
    ExpectAt("REFILL", x0_ + InX(0.05), yRefill);
    const int ySigned = yRefill + 2 * h7;
    ExpectAt("(Electronically Signed)", x0_ + InX(3), ySigned);
    int y = ySigned + 2 * h6 + 1;
    ExpectAt("/s/ Amara Okafor", x0_ + InX(0.05), y);
    y += 2 * h6;
    ExpectAt("SUBSTITUTION PERMISSIBLE", x0_ + InX(0.05), y);
    ExpectAt("This Prescription is valid only if transmitted by means of a facsimile machine.",
             x0_ + InX(0.05), y + 3 * h6);
    const int hMark = Height(kHelv, 7, 700);
    y += 3 * h6 + 2 * h6 + hMark;
    ExpectAt("BRAND NECESSARY", Centred(Width(kHelv, 7, 700, "BRAND NECESSARY")), y);
    EXPECT_EQ(LineFrom(x0_ + InX(0.05), y + hMark / 2 + 3).to.x, x0_ + InX(3.75));

    /* Code 12 on a fax: the two lines on the block's line, no MDD. */
    rx.jurisdiction = 12;
    rx.signatureLine2 = "";
    ASSERT_EQ(Print(rx), 1);
    const int y12 = y0_ + F + InY(4.25) + 2 * h7 + 2 * h6 + 1;
    EXPECT_EQ(LineFrom(x0_ + InX(2.15), y12).to.x, x0_ + InX(3.75));
    ExpectAt("Substitution Permitted", x0_ + InX(2.4), y12 + (int)(1.4 * h6));
}

INSTANTIATE_TEST_SUITE_P(Resolutions, PennTest, ::testing::Values(600, 300),
                         [](const ::testing::TestParamInfo<int> &info) {
                             return "Dpi" + std::to_string(info.param);
                         });

} // namespace
