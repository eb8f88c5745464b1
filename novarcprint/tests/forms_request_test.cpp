/*
 * The form requests as the server sends them: the record readers on whole,
 * old, damaged and oversized payloads, and what a form message does to the
 * job's pages, positions and the dispatcher.
 */
#include <cstring>

#include "form_records.h"
#include "forms_fixture.h"
#include "novarcprint_msgs.h"
#include "prescription.h"
#include "printer.h"
#include "stream.h"

namespace {

using winport::gdi::GetRecord;
using winport::gdi::Only;
using winport::gdi::RecPage;

TEST(PrescriptionRecordTest, WholePayloadFillsEveryItemInOrder)
{
    RxSample rx;
    rx.offsets[1] = "0.02";
    rx.offsets[2] = "-0.01";
    rx.deaSuffix = "X7";
    rx.daysSupply = 90;
    rx.dx[2] = "Z79.4";
    const std::string payload = rx.Payload();
    PrescriptionRecord r;
    RecordIssues issues;
    ASSERT_TRUE(ParsePrescriptionRecord(payload.data(), (int)payload.size(), &r, &issues));
    EXPECT_EQ(issues.iItemsRead, 54);
    EXPECT_EQ(issues.iCutCount, 0);
    EXPECT_EQ(r.iRecordWord1, 7);
    EXPECT_STREQ(r.szPracticeAddress[2], "Trenton NJ 08608");
    EXPECT_STREQ(r.szPatientAddress[1], "Trenton NJ 08611");
    EXPECT_STREQ(r.szDirections, rx.directions.c_str());
    EXPECT_EQ(r.iRefillCount, 2);
    EXPECT_STREQ(r.szDiagnosis3, "Z79.4");
    EXPECT_EQ(r.iCopyNumber, 1);
    EXPECT_STREQ(r.szNpi, "1548306221");
    EXPECT_STREQ(r.szVertOffset, "0.02");
    EXPECT_STREQ(r.szHorzOffset, "-0.01");
    EXPECT_STREQ(r.szDeaSuffix, "X7");
    EXPECT_EQ(r.iDaysSupply, 90);
}

TEST(PrescriptionRecordTest, OldPayloadsStopEarlyAndDamagedOnesFail)
{
    RxSample rx;
    PrescriptionRecord r;
    RecordIssues issues;
    /* An old server stops after item 27: the rest is absent. */
    std::string payload = rx.Payload(27);
    ASSERT_TRUE(ParsePrescriptionRecord(payload.data(), (int)payload.size(), &r, &issues));
    EXPECT_EQ(issues.iItemsRead, 27);
    EXPECT_EQ(r.iRefillCount, 2);
    EXPECT_EQ(r.iCopyNumber, 0);
    EXPECT_EQ(r.iNpiFlag, 0);
    EXPECT_STREQ(r.szRefills, "");

    /* Two bytes where a number should be: the record ends there, and
     * the bytes are not taken for the string after it. */
    payload = rx.Payload(29) + "\x05" + "A";
    ASSERT_TRUE(ParsePrescriptionRecord(payload.data(), (int)payload.size(), &r, &issues));
    EXPECT_TRUE(issues.bStrayBytes);
    EXPECT_EQ(r.iDiagnosisFlag, 0);
    EXPECT_STREQ(r.szDiagnosis1, "");

    /* Required items missing, or a string without its end: refused. */
    payload = rx.Payload(20);
    EXPECT_FALSE(ParsePrescriptionRecord(payload.data(), (int)payload.size(), &r, &issues));
    EXPECT_EQ(issues.iFailedItem, 21);
    payload = rx.Payload(30) + "I10";
    EXPECT_FALSE(ParsePrescriptionRecord(payload.data(), (int)payload.size(), &r, &issues));
    EXPECT_EQ(issues.iFailedItem, 31);
    EXPECT_FALSE(ParsePrescriptionRecord(NULL, 0, &r, &issues));
}

TEST(PrescriptionRecordTest, StringLongerThanItsFieldIsCutAndTheRestStaysInStep)
{
    RxSample rx;
    rx.plan = 1;
    rx.planName = std::string(45, 'P'); /* a field of 30 */
    rx.diagnosis = 1;
    rx.dx[0] = "I10";
    const std::string payload = rx.Payload();
    PrescriptionRecord r;
    RecordIssues issues;
    ASSERT_TRUE(ParsePrescriptionRecord(payload.data(), (int)payload.size(), &r, &issues));
    EXPECT_EQ(std::string(r.szPlanName), std::string(29, 'P'));
    EXPECT_EQ(issues.iCutItem, 29);
    EXPECT_EQ(issues.iCutCount, 1);
    EXPECT_EQ(r.iDiagnosisFlag, 1);
    EXPECT_STREQ(r.szDiagnosis1, "I10");
    EXPECT_EQ(r.iDaysSupply, 0);
    EXPECT_EQ(issues.iItemsRead, 54);
}

TEST(OpticalRecordTest, EyeFieldsInOrderAndContactLensValuesPaired)
{
    OpticalSample o;
    o.layout = 1;
    OpticalRecord r;
    RecordIssues issues;
    std::string payload = o.EyePayload();
    ASSERT_TRUE(ParseEyePrescriptionRecord(payload.data(), (int)payload.size(), &r, &issues));
    EXPECT_EQ(r.iLayout, 1);
    EXPECT_STREQ(r.szField[5], "NGUYEN, THANH");
    EXPECT_STREQ(r.szField[33], "BO");
    EXPECT_STREQ(r.szRemark[2], "Progressive lenses acceptable");
    EXPECT_STREQ(r.szSigner, "Mirela Stan, OD");
    /* The contact lens sends F14, F19, F15, F20, ...; each lands in its field. */
    payload = o.ContactLensPayload();
    ASSERT_TRUE(ParseContactLensRecord(payload.data(), (int)payload.size(), &r, &issues));
    EXPECT_STREQ(r.szField[14], "-2.25");
    EXPECT_STREQ(r.szField[19], "-2.00");
    EXPECT_STREQ(r.szField[18], "BU");
    EXPECT_STREQ(r.szField[23], "BD");
    EXPECT_STREQ(r.szField[7], "") << "no second address line in a contact-lens payload";
    EXPECT_STREQ(r.szSigner, "Mirela Stan, OD");
    /* A payload without its signer is refused. */
    payload.resize(payload.size() - o.signer.size() - 1);
    EXPECT_FALSE(ParseContactLensRecord(payload.data(), (int)payload.size(), &r, &issues));
}

TEST(FormOffsetTest, DecimalTextTimesAThousandDeviceUnits)
{
    EXPECT_EQ(FormOffsetFromText(""), 0);
    EXPECT_EQ(FormOffsetFromText("0.02"), 20);
    EXPECT_EQ(FormOffsetFromText("-0.01"), -10);
    EXPECT_EQ(FormOffsetFromText("0.145"), 145);
    EXPECT_EQ(FormOffsetFromText(" 1.5 "), 1500);
    EXPECT_EQ(FormOffsetFromText("abc"), 0);
    EXPECT_EQ(FormOffsetFromText("0.05in"), 0);
    EXPECT_EQ(FormOffsetFromText("1e300"), 0);
    EXPECT_EQ(FormOffsetFromText("nan"), 0);
}

class FormRequestTest : public FormsTest {
protected:
    std::vector<RecPage> Pages() { return Only<RecPage>(GetRecord(Dc())); }
};

TEST_F(FormRequestTest, EachFormIsOnePageAndTheNextRendererStartsItsOwn)
{
    Open(600);
    RxSample rx;
    ASSERT_EQ(Run(HandlePrintPrescription, PRINT_PRESCRIPTION, rx.Payload()), 1);
    EXPECT_TRUE(session_->m_Printer.m_bPageEnded);
    EXPECT_TRUE(session_->m_Printer.m_bPrinted);
    EXPECT_FALSE(session_->m_Printer.m_bPageStarted);
    OpticalSample o;
    ASSERT_EQ(Run(HandlePrintContactLens, PRINT_CONTACT_LENS, o.ContactLensPayload()), 1);
    ASSERT_EQ(PrintNovarcStream(session_.get(), "After\r\n", 7), 1);
    const auto pages = Pages();
    ASSERT_EQ(pages.size(), 5u); /* two started and ended, the stream's started */
    EXPECT_EQ(Text("RIVERSIDE FAMILY MEDICINE ").page, 1);
    EXPECT_EQ(Text("LAKESIDE EYE CARE ").page, 2);
    EXPECT_EQ(Text("After").page, 3);
}

TEST_F(FormRequestTest, PageAStreamOpenedTakesTheFormAndAnyFormFeedOptionPrints)
{
    Open(600);
    ASSERT_EQ(PrintNovarcStream(session_.get(), "Header\r\n", 8), 1);
    RxSample rx;
    ASSERT_EQ(Run(HandlePrintPrescription, PRINT_PRESCRIPTION_NJ, rx.Payload()), 1);
    EXPECT_EQ(Text("HALVORSEN, INGRID").page, 1);
    /* Form-feed option 0 leaves page starts to the renderers: the form
     * still gets a page rather than drawing where no paper is. */
    Run(HandleFormFeedOption, SET_FORMFEED_OPTION, Int32(0));
    ASSERT_EQ(Run(HandlePrintPrescription, PRINT_PRESCRIPTION_NJ_PA, rx.Payload()), 1);
    int onPageTwo = 0;
    for (const RecText &t : Texts())
        onPageTwo += t.page == 2;
    EXPECT_GT(onPageTwo, 5);
    EXPECT_EQ(Pages().back().event, RecPage::End);
}

TEST_F(FormRequestTest, PositionIsTakenOnceAndKeptForCopies)
{
    Open(600);
    At(600, 1200);
    RxSample rx;
    ASSERT_EQ(Run(HandlePrintPrescription, PRINT_PRESCRIPTION, rx.Payload()), 1);
    EXPECT_FALSE(session_->m_Stream.m_bHorzPending);
    EXPECT_FALSE(session_->m_Stream.m_bVertPending);
    EXPECT_EQ(session_->m_Stream.m_dY, 1200) << "the session position is the form's origin";
    rx.copy = 2;
    ASSERT_EQ(Run(HandlePrintPrescription, PRINT_PRESCRIPTION, rx.Payload()), 1);
    const auto texts = Texts();
    std::vector<POINT> letterheads;
    for (const RecText &t : texts)
        if (t.text == "RIVERSIDE FAMILY MEDICINE ")
            letterheads.push_back(t.ref);
    ASSERT_EQ(letterheads.size(), 2u);
    EXPECT_EQ(letterheads[0].x, 600 + 252);
    EXPECT_EQ(letterheads[1].x, letterheads[0].x);
    EXPECT_EQ(letterheads[1].y, letterheads[0].y);
}

TEST_F(FormRequestTest, DamagedPayloadOrNoPrinterPrintsNothing)
{
    RxSample rx;
    EXPECT_EQ(Run(HandlePrintPrescription, PRINT_PRESCRIPTION, rx.Payload()), 0) << "no printer";
    Open(600);
    EXPECT_EQ(Run(HandlePrintPrescription, PRINT_PRESCRIPTION_PENN, rx.Payload(20)), 0);
    EXPECT_EQ(Run(HandlePrintEyePrescription, PRINT_EYE_PRESCRIPTION, Int32(0)), 0);
    EXPECT_TRUE(Texts().empty());
    EXPECT_TRUE(Pages().empty());
    EXPECT_FALSE(session_->m_Printer.m_bPrinted);
    const std::string log = Log();
    EXPECT_NE(log.find("PrintPrescriptionPennsylvania payload of"), std::string::npos) << log;
    EXPECT_NE(log.find("ends inside item 21: not printed"), std::string::npos) << log;
    EXPECT_NE(log.find("PrintEyePrescription payload of 4 bytes ends inside item 2"),
              std::string::npos)
        << log;
}

TEST_F(FormRequestTest, DispatcherRunsEveryFormTypeOnItsWorker)
{
    Open(300);
    RxSample rx;
    OpticalSample o;
    const int types[] = {PRINT_PRESCRIPTION,
                         PRINT_PRESCRIPTION_PENN,
                         PRINT_PRESCRIPTION_NJ,
                         PRINT_PRESCRIPTION_NJ_NP,
                         PRINT_PRESCRIPTION_NJ_PA,
                         PRINT_PRESCRIPTION_NY_2006,
                         PRINT_PRESCRIPTION_NY_2006NON_TYPE_30};
    for (int type : types)
        Dispatch(type, rx.Payload());
    Dispatch(PRINT_EYE_PRESCRIPTION, o.EyePayload());
    Dispatch(PRINT_CONTACT_LENS, o.ContactLensPayload());
    WaitForWorkers();
    int ended = 0;
    for (const RecPage &p : Pages())
        ended += p.event == RecPage::End;
    EXPECT_EQ(ended, 9);
    EXPECT_NE(Log().find("ThreadPrintContactLens"), std::string::npos);
}

} // namespace
