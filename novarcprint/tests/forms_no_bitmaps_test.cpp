/*
 * A program without the forms' bitmaps (this test links none): nothing is
 * drawn in their place, nothing moves for them, and the Pennsylvania pad
 * says so in the log.
 */
#include "forms_fixture.h"
#include "novarcprint_msgs.h"

namespace {

TEST_F(FormsTest, MissingBitmapsDrawNothingAndMoveNothing)
{
    Open(600);
    At(300, 600);
    RxSample rx;
    ASSERT_EQ(Run(HandlePrintPrescription, PRINT_PRESCRIPTION_PENN, rx.Payload()), 1);
    EXPECT_TRUE(Bitmaps().empty());
    const int L = x0_ + InX(0.42);
    ExpectAt("Lisinopril (10 mg tablet)", L, y0_ + InY(2.5) + 28);
    EXPECT_NE(Log().find("PrintPrescriptionPennsylvania LoadBitmap(ERROR) 1814 "),
              std::string::npos)
        << Log();

    rx.fax = 1;
    ASSERT_EQ(Run(HandlePrintPrescription, PRINT_PRESCRIPTION, rx.Payload()), 1);
    const int F = Height("Microsoft Sans Serif", 6);
    ExpectAt("Novarc Fax", L, y0_ + F);
    const auto texts = Texts();
    EXPECT_EQ(texts.back().page, 2);
    for (const RecText &t : texts)
        if (t.page == 2 && t.text == "Lisinopril (10 mg tablet)") {
            EXPECT_EQ(t.ref.y, y0_ + F + InY(2.4) + 28);
        }
}

} // namespace
