/*
 * The general prescription pad and its fax layout, at 600 and 300 dpi:
 * every position worked out here from the pad's inches, points and
 * device-unit offsets, measured against what the printer DC recorded.
 */
#include "forms_fixture.h"
#include "novarcprint_msgs.h"
#include "prescription.h"

namespace {

const char *const kMss = "Microsoft Sans Serif";
const char *const kHelv = "Helvetica";
const char *const kTimes = "Times New Roman";

class PadTest : public FormsTest {
protected:
    void SetUp() override
    {
        FormsTest::SetUp();
        Open(GetParam());
        At(300, 600);
        hL = Height(kMss, 10);
        hB = Height(kMss, 9);
        L = x0_ + InX(0.42);
    }
    int Print(const RxSample &rx)
    {
        return Run(HandlePrintPrescription, PRINT_PRESCRIPTION, rx.Payload());
    }
    int Rx() const { return 16 * dpi_ / 96; } /* the Rx symbol, scaled from the screen */
    /* x where a text of this width is centred in the form's 4 inches. */
    int Centred(int width) const { return x0_ + (InX(4) - width) / 2; }
    int hL = 0, hB = 0, L = 0;
};

TEST_P(PadTest, UpperBlocksStepDownByTheirTextHeights)
{
    RxSample rx;
    ASSERT_EQ(Print(rx), 1);
    int y = y0_ + hL;
    ExpectAt("RIVERSIDE FAMILY MEDICINE ", L, y);
    ExpectAt("1", x0_ + InX(4) - 30 - Width(kMss, 9, 400, "1"), y);
    y += 2 * hB; /* next line, and a blank one: no second prescriber */
    ExpectAt("Amara Okafor MD", L, y);
    ExpectAt("DEA BO1234563 / NPI 1548306221", L, y += hB);
    ExpectAt("LIC 25MA07744100   ", L, y += hB);
    ExpectAt("1200 River Road", L, y += hB);
    ExpectAt("Trenton NJ 08608", L, y += 2 * hB);
    ExpectAt("PH# (609) 555-0142", L, y += hB);

    y += 2 * hB; /* a blank line before the patient */
    const int xRightLabel = x0_ + InX(2.74);
    const int xRightValue = xRightLabel + Width(kHelv, 8, 500, "Age  ") + 10;
    ExpectAt("Name ", x0_ + InX(0.05), y);
    ExpectAt("HALVORSEN, INGRID", L, y);
    ExpectAt("Ph ", xRightLabel, y);
    ExpectAt("(609) 555-0199", xRightValue, y);
    ExpectAt("Addr ", x0_ + InX(0.05), y += hB);
    ExpectAt("DOB  ", xRightLabel, y);
    ExpectAt("03/14/1958", xRightValue, y);
    ExpectAt("Trenton NJ 08611", L, y += hB);
    ExpectAt("67", xRightValue, y);
    ExpectAt("Date ", xRightLabel, y += hB);
    EXPECT_FALSE(Drew("Plan"));
    EXPECT_EQ(Text("Name ").lfHeight, -MulDiv(8000, dpi_, 72000));
    EXPECT_EQ(Text("Name ").weight, 500);
    EXPECT_EQ(Text("HALVORSEN, INGRID").lfHeight, -MulDiv(9000, dpi_, 72000));
}

TEST_P(PadTest, LowerBlocksStandAtTheirInchesFromTheOrigin)
{
    RxSample rx;
    ASSERT_EQ(Print(rx), 1);
    const auto bitmaps = Bitmaps();
    ASSERT_EQ(bitmaps.size(), 1u);
    const int yRx = y0_ + InY(2.4) + 28;
    EXPECT_EQ(bitmaps[0].x, x0_ + InX(0.1));
    EXPECT_EQ(bitmaps[0].y, yRx);
    EXPECT_EQ(bitmaps[0].cx, Rx());
    EXPECT_EQ(bitmaps[0].cy, Rx());
    ExpectAt("Lisinopril (10 mg tablet)", L, yRx + Rx() / 2);
    EXPECT_EQ(Text("Lisinopril (10 mg tablet)").lfHeight, -MulDiv(12000, dpi_, 72000));
    EXPECT_TRUE(Text("Lisinopril (10 mg tablet)").bold);

    const int yDirections = y0_ + InY(2.7) + 28;
    ExpectAt("Take one tablet by mouth once daily", L, yDirections);
    ExpectAt("30 tablets", L, yDirections + 3 * hB);
    ExpectAt(" ", Centred(Width(kMss, 9, 400, " ")), y0_ + InY(4.25) - 4 * hB + 5);

    const auto lines = Lines();
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines[0].from.x, x0_ + InX(0.75));
    EXPECT_EQ(lines[0].from.y, y0_ + InY(4.25));
    EXPECT_EQ(lines[0].to.x, x0_ + InX(3.75));
    EXPECT_EQ(lines[0].to.y, y0_ + InY(4.25));
    EXPECT_EQ(lines[0].pen.width, 4) << "device units at every resolution";

    const int y1 = y0_ + InY(4.63), hS = Height(kHelv, 8);
    const std::string first = "THIS PRESCRIPTION WILL BE FILLED GENERICALLY";
    const std::string second = "UNLESS PRESCRIBER WRITES 'd a w' IN THE BOX BELOW";
    ExpectAt(first, Centred(Width(kHelv, 8, 400, first)), y1 - 2 * hS);
    ExpectAt(second, Centred(Width(kHelv, 8, 400, second)), y1 - hS);

    const int xRefill = x0_ + InX(0.25) + Width(kHelv, 8, 400, "Refill");
    ExpectAt("Refill", x0_ + InX(0.25), y1 + InY(0.2));
    ExpectAt("  2  ", xRefill, y1 + InY(0.2));
    EXPECT_EQ(lines[1].from.x, xRefill);
    EXPECT_EQ(lines[1].from.y, y1 + InY(0.2) + 4);
    EXPECT_EQ(lines[1].to.x, xRefill + Width(kMss, 8, 400, "  2  "));
    ExpectAt("MDD", x0_ + InX(0.25), y1 + InY(0.4));

    const auto shapes = Shapes();
    ASSERT_EQ(shapes.size(), 1u);
    EXPECT_EQ(shapes[0].rect.left, x0_ + InX(1.625));
    EXPECT_EQ(shapes[0].rect.top, y1 - 12);
    EXPECT_EQ(shapes[0].rect.right, x0_ + InX(1.625) + InX(0.75));
    EXPECT_EQ(shapes[0].rect.bottom, y1 - 12 + InY(0.5));
    EXPECT_EQ(shapes[0].brush.style, (UINT)BS_NULL) << "an outline: what is written in it shows";
    EXPECT_FALSE(Drew("\"daw\""));

    ExpectAt("Novarc", x0_ + InX(0.05), y1 + InY(0.58));
    ExpectAt("Dispense  As  Written", Centred(Width(kTimes, 8, 400, "Dispense  As  Written")),
             y1 + InY(0.58));
    EXPECT_EQ(Text("Novarc").lfHeight, -MulDiv(6000, dpi_, 72000));
}

TEST_P(PadTest, OptionalLinesAppearWhenTheRecordAsksForThem)
{
    RxSample rx;
    rx.daw = "Y";
    rx.dawPrint = 1;
    rx.daysSupply = 30;
    rx.copy = 2;
    rx.copyLabel = 1;
    rx.diagnosis = 1;
    rx.dx[0] = "E11.65, Z79.4"; /* 12 characters or more: 80 units further left */
    rx.dx[1] = "I10";
    rx.prescribedOn = "09/12/2025";
    rx.fillAfter = "10/12/2025";
    rx.government = "Y";
    rx.esigned = 1;
    rx.plan = 1;
    rx.planName = "BLUE SHIELD PPO";
    rx.patientNote = "Allergic to penicillin";
    ASSERT_EQ(Print(rx), 1);

    ExpectAt("(copy) 2", x0_ + InX(4) - 30 - Width(kMss, 9, 400, "(copy) 2"), y0_ + hL);
    ExpectAt("BLUE SHIELD PPO", L, Text("Date ").ref.y);
    ExpectAt("Allergic to penicillin", L, Text("Date ").ref.y + hB);
    const int yQuantity = y0_ + InY(2.7) + 28 + 3 * hB;
    ExpectAt("30 tablets      Days Supply: 30", L, yQuantity);
    ExpectAt("Dx: E11.65, Z79.4   I10   ", L - 80, yQuantity + hB);
    ExpectAt("PRESCRIBED ON 09/12/2025, CANNOT BE FILLED UNTIL 10/12/2025", L - 40,
             yQuantity + 2 * hB);
    const std::string government = "*** GOVERNMENT FORM REQUIRED ***";
    const int yGovernment = y0_ + InY(4.25) - 4 * hB + 5;
    ExpectAt(government, Centred(Width(kMss, 9, 400, government)), yGovernment);
    /* In the signature's place: a line under the government-form line. */
    ExpectAt("(Electronically Signed)", x0_ + InX(0.75), yGovernment + hB);
    ExpectAt("\"daw\"", Centred(Width(kTimes, 8, 400, "\"daw\"")), y0_ + InY(4.63) + InY(0.25));

    rx.notForDispensing = 1;
    ASSERT_EQ(Print(rx), 1);
    const auto texts = Texts();
    EXPECT_EQ(texts.back().page, 2);
    int copies = 0;
    for (const RecText &t : texts)
        if (t.text == "*Copy. Not For Dispensing.*" && t.page == 2) {
            copies++;
            EXPECT_EQ(t.ref.x, L);
            EXPECT_EQ(t.ref.y, yQuantity + hB);
            EXPECT_TRUE(t.bold);
        } else if (t.text.rfind("Dx:", 0) == 0) {
            EXPECT_EQ(t.page, 1) << "the copy line takes the diagnosis line's place";
        }
    EXPECT_EQ(copies, 1);
}

TEST_P(PadTest, EdgeCasesOfTheRecordShowOnTheForm)
{
    RxSample rx;
    rx.dea = RX_NO_DEA;
    rx.npiFlag = 0;
    rx.refillCount = -1;
    rx.directions = "Take one tablet by mouth daily at 8 AM.."; /* exactly 40 */
    ASSERT_EQ(rx.directions.size(), 40u);
    ASSERT_EQ(Print(rx), 1);
    /* No DEA and no NPI: no line at all, the licence follows the name. */
    for (const RecText &t : Texts())
        EXPECT_TRUE(t.text.find("DEA") == std::string::npos &&
                    t.text.find("NPI") == std::string::npos)
            << t.text;
    EXPECT_EQ(Text("LIC 25MA07744100   ").ref.y, Text("Amara Okafor MD").ref.y + hB);
    /* A negative refill count: ten spaces, still underlined. */
    const int xValue = x0_ + InX(0.25) + Width(kHelv, 8, 400, "Refill");
    ExpectAt(std::string(10, ' '), xValue, y0_ + InY(4.63) + InY(0.2));
    const auto lines = Lines();
    EXPECT_EQ(lines[1].to.x - lines[1].from.x, Width(kMss, 8, 400, std::string(10, ' ')));
    /* Forty characters are one line. */
    ExpectAt(rx.directions, L, y0_ + InY(2.7) + 28);
    ExpectAt("30 tablets", L, y0_ + InY(2.7) + 28 + 3 * hB);
}

TEST_P(PadTest, DirectionsBreakAtTheLastSpaceOrCommaWithinFortyCharacters)
{
    RxSample rx;
    rx.directions =
        "Apply a thin layer to affected skin twice daily,avoiding-the-eyes-the-nose-and-mouth";
    ASSERT_EQ(Print(rx), 1);
    const int y = y0_ + InY(2.7) + 28;
    ExpectAt("Apply a thin layer to affected skin", L, y); /* 35; "twice" would make 41 */
    ExpectAt("twice daily,", L, y + hB); /* the leading space dropped; broken after the comma */
    ExpectAt("avoiding-the-eyes-the-nose-and-mouth", L, y + 2 * hB);
    ExpectAt("30 tablets", L, y + 4 * hB);
}

TEST_P(PadTest, DrugLineShrinksTo11Then7Then6AndStaysAt6)
{
    const int xEnd = x0_ + InX(4);
    const char *const drugs[] = {"Amoxicillin clavulanate potassi",
                                 "Hydrocodone bitartrate and acetaminophen",
                                 "Hydrocodone bitartrate and acetaminophen oral solution 7.5 "
                                 "mg/325 mg per 15 mL, grape"};
    const double expected[] = {11, 7, 6};
    for (int i = 0; i < 3; i++) {
        RxSample rx;
        rx.drug = drugs[i];
        ASSERT_EQ(Print(rx), 1);
        const std::string text = rx.drug + " (10 mg tablet)";
        double chosen = 6;
        for (double points : {12.0, 11.0, 7.0, 6.0})
            if (L + Width(kMss, points, 700, text) < xEnd) {
                chosen = points;
                break;
            }
        ASSERT_EQ(chosen, expected[i]) << "the sample fits where the case means it to";
        if (i == 2) {
            ASSERT_GE(L + Width(kMss, 6, 700, text), xEnd) << "too long even at 6 points";
        }
        const auto texts = Texts();
        const auto it = std::find_if(texts.rbegin(), texts.rend(),
                                     [&](const RecText &t) { return t.text == text; });
        ASSERT_NE(it, texts.rend());
        EXPECT_EQ(it->lfHeight, -MulDiv((int)(chosen * 1000), dpi_, 72000)) << text;
        EXPECT_EQ(it->ref.x, L);
    }
}

TEST_P(PadTest, FaxLayoutMovesThePadBelowItsHeader)
{
    RxSample rx;
    rx.fax = 1;
    rx.daysSupply = 30;
    rx.signatureLine = "Signed by Amara Okafor MD";
    ASSERT_EQ(Print(rx), 1);
    const auto bitmaps = Bitmaps();
    ASSERT_EQ(bitmaps.size(), 2u);
    EXPECT_EQ(bitmaps[0].x, x0_);
    EXPECT_EQ(bitmaps[0].y, y0_);
    EXPECT_EQ(bitmaps[0].cx, 384 * dpi_ / 96);
    EXPECT_EQ(bitmaps[0].cy, 28 * dpi_ / 96);
    const int yCaption = y0_ + (28 * dpi_ / 96) / 2 + Height(kMss, 6);
    ExpectAt("Novarc Fax", L, yCaption);
    const int F = yCaption - y0_;
    ExpectAt("RIVERSIDE FAMILY MEDICINE ", L, y0_ + F + hL);
    EXPECT_EQ(bitmaps[1].y, y0_ + F + InY(2.4) + 28);

    const int yDirections = y0_ + F + InY(2.7) + 28;
    ExpectAt("Note", x0_ + InX(0.05), yDirections + hB);
    ExpectAt("30 tablets", L, yDirections + 3 * hB); /* no days supply on a fax */
    const int ySignature = y0_ + F + InY(4.35);
    EXPECT_EQ(Lines()[0].from.y, ySignature);
    ExpectAt("Signed by Amara Okafor MD", x0_ + InX(0.75), ySignature);

    const int yb = y0_ + F + InY(4.9), h9 = Height(kHelv, 9);
    const std::string second = "UNLESS PRESCRIBER INDICATES 'd a w' IN THE BOX BELOW";
    ExpectAt(second, Centred(Width(kHelv, 9, 400, second)), yb - (int)(1.8 * h9) + h9);
    EXPECT_EQ(Shapes()[0].rect.top, yb - 12);
    ExpectAt("Refill", x0_ + InX(0.25), yb + InY(0.2));
    ExpectAt("Dispense  As  Written", Centred(Width(kTimes, 10, 400, "Dispense  As  Written")),
             yb + InY(0.58));
}

TEST_P(PadTest, FaxNotePushesTheLowerPartDownLineByLine)
{
    RxSample rx;
    rx.fax = 1;
    rx.jurisdiction = JURISDICTION_OHIO;
    rx.esigned = 1;
    rx.signatureLine2 = "Amara Okafor MD, electronically";
    rx.note = "Patient reports a dry cough on an ACE inhibitor in 2019; monitor and call the "
              "office if it returns.";
    ASSERT_EQ(Print(rx), 1);
    const int yNote = y0_ + (28 * dpi_ / 96) / 2 + Height(kMss, 6) + InY(2.7) + 28 + hB;
    ExpectAt("Patient reports a dry cough on an ACE inhibitor in 2019;", L, yNote);
    ExpectAt("monitor and call the office if it returns.", L, yNote + hB);
    /* Ohio: the signature-line text is chosen only when item 39 is there. */
    EXPECT_FALSE(Drew(rx.signatureLine2));
    const std::string signedText =
        "(Electronically Signed) The Ohio Board of Pharmacy has found Novarc approvable";
    const int ySignature = Lines()[0].from.y;
    ExpectAt(signedText, x0_ + InX(0.75), ySignature + hB);
    const int h9 = Height(kHelv, 9);
    int y = ySignature + hB + h9;
    EXPECT_EQ(Text("THIS PRESCRIPTION MAY BE FILLED GENERICALLY").ref.y, y);
    EXPECT_EQ(Shapes()[0].rect.top, y += 2 * h9);
    EXPECT_EQ(Text("Refill").ref.y, y += 2 * h9);
    EXPECT_EQ(Text("MDD").ref.y, y += h9);
    EXPECT_EQ(Text("Novarc").ref.y, y + 3 * h9);
}

TEST(DeaLineTest, DeaNpiAndSuffixCombine)
{
    EXPECT_EQ(DeaLine("BO1234563", 1, "1548306221", ""), "DEA BO1234563 / NPI 1548306221");
    EXPECT_EQ(DeaLine("BO1234563", 1, "1548306221", "X7"), "DEA BO1234563 / NPI 1548306221 / X7");
    EXPECT_EQ(DeaLine("BO1234563", 0, "1548306221", "X7"), "DEA BO1234563 / X7");
    EXPECT_EQ(DeaLine("BO1234563", 0, "", ""), "DEA BO1234563");
    EXPECT_EQ(DeaLine(RX_NO_DEA, 1, "1548306221", "X7"), "NPI 1548306221 / X7");
    EXPECT_EQ(DeaLine(RX_NO_DEA, 1, "1548306221", ""), "NPI 1548306221");
    EXPECT_EQ(DeaLine(RX_NO_DEA, 0, "1548306221", "X7"), "");
}

INSTANTIATE_TEST_SUITE_P(Resolutions, PadTest, ::testing::Values(600, 300),
                         [](const ::testing::TestParamInfo<int> &info) {
                             return "Dpi" + std::to_string(info.param);
                         });

} // namespace
