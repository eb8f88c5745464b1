/*
 * The state prescription stocks at 600 and 300 dpi: the data of the three
 * NJ security blanks in their boxes, calibration offsets included, and the
 * two NY official stocks with their own fonts and offsets.
 */
#include "forms_fixture.h"
#include "novarcprint_msgs.h"
#include "prescription.h"

namespace {

const char *const kMss = "Microsoft Sans Serif";
const char *const kHelv = "Helvetica";

/* Where each NJ blank's boxes are (inches, heights, units). */
struct NjExpected {
    int type;
    double nameX, nameY;
    int nameAdd, nameUp;
    double dobX, addressLines, addressX, dateX;
    double drugX, drugY;
    int drugHeights;
    double directionsY;
    int directionsHeights;
    double refillX, refillExtra, refillHeights;
};

const NjExpected kNj[] = {
    {PRINT_PRESCRIPTION_NJ, 0.35, 2.4, 0, 4, 3, 2, 0.35, 3, 0.05, 2.8, 0, 3.1, 0, 0.19, 0, 1.2},
    {PRINT_PRESCRIPTION_NJ_NP, 0.25, 2.64, 28, 0, 3.1, 1.95, 0.29, 3.1, 0.5, 2.8, 3, 3.17, 3, 0.15,
     0.19, 0},
    {PRINT_PRESCRIPTION_NJ_PA, 0.27, 2.55, 28, 0, 3.1, 1.9, 0.29, 3.1, 0.5, 2.67, 3, 3.17, 3, 0.25,
     0.12, 0},
};

class StockTest : public FormsTest {
protected:
    void SetUp() override
    {
        FormsTest::SetUp();
        Open(GetParam());
        At(120, 240);
    }
    int Centred(int width) const { return x0_ + (InX(4) - width) / 2; }
};

TEST_P(StockTest, NjBlanksPutEachItemIntoItsBoxWithTheCalibrationOffsets)
{
    const std::string offsets[][2] = {{"0.02", "-0.01"}, {"", ""}};
    for (const auto &offset : offsets) {
        const int yo = offset[0].empty() ? 0 : 20, xo = offset[1].empty() ? 0 : -10;
        for (const NjExpected &b : kNj) {
            SCOPED_TRACE("type " + std::to_string(b.type) + " offsets " + offset[0]);
            winport::gdi::SetRecording(Dc(), true); /* a fresh record */
            RxSample rx;
            rx.offsets[1] = offset[0];
            rx.offsets[2] = offset[1];
            rx.refillCount = 3;
            ASSERT_EQ(Run(HandlePrintPrescription, b.type, rx.Payload()), 1);
            const int h = Height(kHelv, 8, 500);
            int y = y0_ + InY(b.nameY) + b.nameAdd - b.nameUp * h + yo;
            ExpectAt("HALVORSEN, INGRID", x0_ + InX(b.nameX) + xo, y);
            ExpectAt("03/14/1958", x0_ + InX(b.dobX) + xo, y);
            y += (int)(b.addressLines * h);
            ExpectAt("22 Elm Street, Trenton NJ 08611", x0_ + InX(b.addressX) + xo, y);
            ExpectAt("09/12/2025", x0_ + InX(b.dateX) + xo, y);
            y += 2 * h;
            if (b.type == PRINT_PRESCRIPTION_NJ)
                ExpectAt("1", x0_ + InX(3) + xo, y);
            else
                ExpectAt("1 ", x0_ + InX(3.3), y); /* no offset on this box */
            const RecText drug = Text("Lisinopril (10 mg tablet)");
            EXPECT_EQ(drug.ref.x, x0_ + InX(b.drugX) + xo);
            EXPECT_EQ(drug.ref.y, y0_ + InY(b.drugY) + 28 + b.drugHeights * h + yo);
            EXPECT_EQ(drug.lfHeight, -MulDiv(10000, dpi_, 72000));
            EXPECT_EQ(drug.face, kMss);
            const int yDirections =
                y0_ + InY(b.directionsY) + 28 + b.directionsHeights * Height(kMss, 10) + yo;
            ExpectAt("Take one tablet by mouth once daily", x0_ + InX(0.42) + xo, yDirections);
            ExpectAt("30 tablets", x0_ + InX(0.42) + xo, yDirections + 3 * h);
            const int yRefill =
                y0_ + InY(4.8) + InY(b.refillExtra) + (int)(b.refillHeights * h) + yo;
            ExpectAt("  3  ", x0_ + InX(b.refillX) + xo, yRefill);
            EXPECT_FALSE(Drew("Amara Okafor MD")) << "data only: no prescriber block";
            EXPECT_TRUE(Lines().empty());
        }
    }
}

TEST_P(StockTest, NjLinesBelowTheDirectionsAndTheEmptyRefillBox)
{
    RxSample rx;
    rx.copyLabel = 1;
    rx.copy = 2;
    rx.refillCount = -1;
    rx.directions = "Take one tablet by mouth twice daily with meals and at bedtime as needed";
    rx.prescribedOn = "09/12/2025";
    rx.fillAfter = "10/12/2025";
    rx.diagnosis = 1;
    rx.dx[0] = "E11.65, Z79.4";
    ASSERT_EQ(Run(HandlePrintPrescription, PRINT_PRESCRIPTION_NJ, rx.Payload()), 1);
    const int h = Height(kHelv, 8, 500);
    const std::string copy = "2 (copy)";
    EXPECT_EQ(Text(copy).ref.x, x0_ + InX(4) - 30 - Width(kHelv, 8, 500, copy));
    const int yFirst = y0_ + InY(3.1) + 28, x = x0_ + InX(0.42);
    ExpectAt("Take one tablet by mouth twice daily", x, yFirst);
    ExpectAt("with meals and at bedtime as needed", x, yFirst + h);
    ExpectAt("30 tablets", x, yFirst + 4 * h);
    ExpectAt("PRESCRIBED ON 09/12/2025, CANNOT BE FILLED UNTIL 10/12/2025", x0_ + InX(0.05),
             yFirst + 5 * h);
    ExpectAt("Dx: E11.65, Z79.4      ", x0_ + InX(0.05) - 80, yFirst + 6 * h);
    /* A negative count leaves the refill box blank. */
    ExpectAt(std::string(10, ' '), x0_ + InX(0.19), y0_ + InY(4.8) + (int)(1.2 * h));
}

TEST_P(StockTest, NjBlankForNursePractitionersShrinksTheDrugBeforeItsBox)
{
    RxSample rx;
    rx.drug = "Hydrocodone bitartrate and acetaminophen";
    ASSERT_EQ(Run(HandlePrintPrescription, PRINT_PRESCRIPTION_NJ_NP, rx.Payload()), 1);
    const std::string text = rx.drug + " (10 mg tablet)";
    const int x = x0_ + InX(0.5), limit = x0_ + InX(3.3) - 5;
    double chosen = 6;
    for (double points : {10.0, 8.0, 7.0, 6.0})
        if (x + Width(kMss, points, 400, text) < limit) {
            chosen = points;
            break;
        }
    ASSERT_LT(chosen, 10) << "the sample does not fit at 10 points";
    EXPECT_EQ(Text(text).lfHeight, -MulDiv((int)(chosen * 1000), dpi_, 72000));
}

/* Where the two NY stocks' differing items are. */
struct NyExpected {
    int type;
    double letterheadHeights;
    int letterheadAdd, rxAdd;
    double signature, signedBelow, base, firstHeights;
    int secondAdjust;
};

const NyExpected kNy[] = {
    {PRINT_PRESCRIPTION_NY_2006, 3, 15, 80, 4.36, 3.5, 4.8, 2, -6},
    {PRINT_PRESCRIPTION_NY_2006NON_TYPE_30, 1.5, 0, 25, 4.05, 4, 4.5, 2.5, 0},
};

TEST_P(StockTest, NyStocksPrintThePadWithTheirOwnFontsAndOffsets)
{
    for (const NyExpected &n : kNy) {
        SCOPED_TRACE("type " + std::to_string(n.type));
        winport::gdi::SetRecording(Dc(), true);
        RxSample rx;
        rx.esigned = 1;
        rx.daw = "Y";
        rx.dawPrint = 1;
        ASSERT_EQ(Run(HandlePrintPrescription, n.type, rx.Payload()), 1);
        const int h = Height(kMss, 8), hL = Height(kMss, 9, 700);
        ExpectAt("1", 5, y0_ + 2 * h);
        ExpectAt("Novarc", InX(4) - Width(kMss, 8, 400, "Novarc"), y0_ + 2 * h);
        const int yLetterhead = y0_ + h + (int)(n.letterheadHeights * hL) + n.letterheadAdd;
        const int L = x0_ + InX(0.42);
        ExpectAt("RIVERSIDE FAMILY MEDICINE ", L, yLetterhead);
        EXPECT_TRUE(Text("RIVERSIDE FAMILY MEDICINE ").bold);
        ExpectAt("Amara Okafor MD", L, yLetterhead + 2 * hL);
        ExpectAt("Ph ", x0_ + InX(3), Text("HALVORSEN, INGRID").ref.y);
        EXPECT_EQ(Text("Ph ").lfHeight, -MulDiv(7000, dpi_, 72000));

        const int rx16 = 16 * dpi_ / 96, yRx = y0_ + InY(2.4) + n.rxAdd;
        EXPECT_EQ(Bitmaps()[0].y, yRx);
        const int yDrug = yRx + rx16, hDrug = Height(kMss, 12, 700);
        ExpectAt("Lisinopril (10 mg tablet)", L, yDrug);
        /* Quantity first, then the directions. */
        ExpectAt("30 tablets", L, yDrug + hDrug);
        ExpectAt("Take one tablet by mouth once daily", L, yDrug + hDrug + h);
        const int yRefill = yDrug + hDrug + 4 * h; /* directions, two lines, then the next */
        const int xValue = L + Width(kMss, 8, 400, "Refill");
        ExpectAt("  2  ", xValue, yRefill);
        ExpectAt("MDD", xValue + Width(kMss, 8, 400, "  2  ") + 5, yRefill);

        const int yLine = y0_ + InY(n.signature);
        EXPECT_EQ(Lines()[2].from.y, yLine);
        EXPECT_EQ(Lines()[2].from.x, x0_ + InX(0.75));
        ExpectAt("(Electronically Signed)", x0_ + InX(0.73),
                 (int)(yLine + Height(kMss, 6) / 2 + n.signedBelow));
        const int yb = y0_ + InY(n.base);
        const std::string first = "THIS PRESCRIPTION WILL BE FILLED GENERICALLY";
        const int yFirst = yb - (int)(n.firstHeights * h);
        ExpectAt(first, Centred(Width(kMss, 8, 400, first)), yFirst);
        EXPECT_EQ(Text("UNLESS PRESCRIBER WRITES 'd a w' IN THE BOX BELOW").ref.y,
                  yFirst + h + n.secondAdjust);
    }
}

TEST_P(StockTest, NyDawMarkAndBoxDifferBetweenTheStocks)
{
    RxSample rx;
    rx.daw = "Y";
    rx.dawPrint = 1;
    ASSERT_EQ(Run(HandlePrintPrescription, PRINT_PRESCRIPTION_NY_2006, rx.Payload()), 1);
    const int w = Width("Times New Roman", 8, 400, "\"daw\"");
    ExpectAt("\"daw\"", x0_ + (InX(4) - w) / 2 - 70, y0_ + InY(4.8) + (int)(dpi_ * 0.5 / 3));
    EXPECT_EQ(Lines().size(), 3u) << "two underlines and the signature line: no box";

    winport::gdi::SetRecording(Dc(), true);
    ASSERT_EQ(Run(HandlePrintPrescription, PRINT_PRESCRIPTION_NY_2006NON_TYPE_30, rx.Payload()), 1);
    const int yb = y0_ + InY(4.5);
    ExpectAt("\"daw\"", x0_ + (InX(4) - w) / 3 + 50, yb + InY(0.25));
    const auto lines = Lines();
    ASSERT_EQ(lines.size(), 7u);
    const int xl = x0_ + InX(1.125), xr = xl + InX(0.75), yt = yb - 12, ybot = yt + InY(0.5);
    const POINT corners[] = {{xl, yt}, {xr, yt}, {xr, ybot}, {xl, ybot}};
    for (int i = 0; i < 4; i++) {
        EXPECT_EQ(lines[3 + i].from.x, corners[i].x);
        EXPECT_EQ(lines[3 + i].from.y, corners[i].y);
        EXPECT_EQ(lines[3 + i].to.x, corners[(i + 1) % 4].x);
        EXPECT_EQ(lines[3 + i].to.y, corners[(i + 1) % 4].y);
    }
}

TEST_P(StockTest, NyFaxHeaderMovesRxSignatureAndStatementsDown)
{
    RxSample rx;
    rx.jurisdiction = JURISDICTION_OHIO;
    rx.signatureLine = "Signed by Amara Okafor MD";
    ASSERT_EQ(Run(HandlePrintPrescription, PRINT_PRESCRIPTION_NY_2006, rx.Payload()), 1);
    const int rxPlain = Bitmaps()[0].y, linePlain = Lines()[2].from.y;
    const int statementPlain = Text("THIS PRESCRIPTION WILL BE FILLED GENERICALLY").ref.y;
    EXPECT_FALSE(Drew(rx.signatureLine)) << "item 39 only on a fax";

    winport::gdi::SetRecording(Dc(), true);
    rx.fax = 1;
    ASSERT_EQ(Run(HandlePrintPrescription, PRINT_PRESCRIPTION_NY_2006, rx.Payload()), 1);
    const int F = (28 * dpi_ / 96) / 2 + Height(kMss, 6);
    ASSERT_EQ(Bitmaps().size(), 2u);
    EXPECT_EQ(Bitmaps()[1].y, rxPlain + F);
    EXPECT_EQ(Lines()[2].from.y, linePlain + F);
    EXPECT_EQ(Text("THIS PRESCRIPTION WILL BE FILLED GENERICALLY").ref.y, statementPlain + F);
    ExpectAt(rx.signatureLine, x0_ + InX(0.75), linePlain + F);
    const std::string ohio = "The Ohio Board of Pharmacy has found Novarc approvable";
    ExpectAt(ohio, x0_ + InX(0.75), linePlain + F + Height(kMss, 6));
}

INSTANTIATE_TEST_SUITE_P(Resolutions, StockTest, ::testing::Values(600, 300),
                         [](const ::testing::TestParamInfo<int> &info) {
                             return "Dpi" + std::to_string(info.param);
                         });

} // namespace
