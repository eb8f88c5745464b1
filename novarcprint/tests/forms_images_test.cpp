/*
 * The signature and dispense-as-written images the server sends before a
 * form: printed on the form's page before it ends, at their places from
 * the page's print position, once; the pad's own "daw" mark gives way to
 * the image.  For each form family (the general pad, the eye form, an NJ
 * blank, an NY stock) at 600 and 300 dpi, on the DC's record.  The images
 * are made by the imaging library in the test: a black block saved as G4.
 */
#include <zlib.h>

#include "forms_fixture.h"
#include "image_job.h"
#include "images.h"
#include "imaging_bind.h"
#include "novarcprint_msgs.h"

namespace {

using winport::gdi::GetRecord;

const std::string kNul(1, '\0');

class FormImagesTest : public FormsTest {
protected:
    void SetUp() override
    {
        FormsTest::SetUp();
        const char *const dlls[] = {"ltkrnu.dll", "ltfilu.dll",    "lttwnu.dll",   "LTDISU.DLL",
                                    "ltannu.dll", "Ltimgefxu.dll", "ltimgcoru.dll"};
        for (const char *dll : dlls)
            WriteText(root_.driveC(std::string("Windows/system32/") + dll), "");
        ASSERT_EQ(KELLoadImagingLibrary(), 1);
        Open(GetParam());
        At(120, 240);
    }
    void TearDown() override
    {
        FormsTest::TearDown();
        KELUnloadImagingLibrary();
    }
    /* A w x h black block as a G4 TIFF file. */
    static std::string Block(int w, int h)
    {
        BITMAPHANDLE b = {};
        EXPECT_EQ(KELL_CreateBitmap(&b, sizeof(b), w, h, 1), L_SUCCESS);
        KELL_FillBitmap(&b, RGB(0, 0, 0));
        HGLOBAL hFile = NULL;
        DWORD size = 0;
        EXPECT_EQ(KELL_SaveBitmapMemory(&hFile, &b, L_FMT_TIF_G4, 1, 0, &size), L_SUCCESS);
        std::string bytes((const char *)GlobalLock(hFile), size);
        GlobalUnlock(hFile);
        GlobalFree(hFile);
        KELL_FreeBitmap(&b);
        return bytes;
    }
    void Send(int pieceType, int endType, const std::string &name, int x, int y, int height,
              const std::string &data)
    {
        std::vector<JobStep> steps;
        AppendTransfer(pieceType, endType, 0,
                       name + kNul + Int32(x) + Int32(y) + Int32(height) + Int32(0), data, 2000,
                       &steps);
        for (const JobStep &step : steps)
            Run(HandleTransferPiece, step.type, step.payload);
    }
    /* A signature 1 inch right and 2 down, 0.5 inch high; a drawing 3
     * inches right and 1 down, 0.3 inch high; both waiting for the page. */
    void SendBoth()
    {
        Send(SIGNATURE_IMAGE, END_SIGNATURE_IMAGE, "sig.tif", 10, 20, 5, Block(300, 100));
        Send(DAW_IMAGE, END_DAW_IMAGE, "daw.tif", 30, 10, 3, Block(200, 100));
        ASSERT_TRUE(session_->m_Images.m_bSignaturePending);
        ASSERT_TRUE(session_->m_Images.m_bDawPending);
    }
    bool Cached(const std::string &name)
    {
        return std::filesystem::exists(root_.driveC("novarc/RecentScans/" + name));
    }
    void ExpectSignature(const RecBitmap &b)
    {
        EXPECT_EQ(b.x, dpi_);
        EXPECT_EQ(b.y, y0_ + 2 * dpi_);
        EXPECT_EQ(b.cy, dpi_ / 2);
        EXPECT_EQ(b.cx, dpi_ / 2 * 3);
    }
    void ExpectDaw(const RecBitmap &b)
    {
        EXPECT_EQ(b.x, 3 * dpi_);
        EXPECT_EQ(b.y, y0_ + dpi_);
        EXPECT_EQ(b.cy, dpi_ * 3 / 10);
    }
    /* Whether the page's last picture comes before its one page end. */
    bool PicturesBeforeTheOnePageEnd()
    {
        const auto record = GetRecord(Dc());
        size_t lastPicture = 0, ends = 0, endAt = 0;
        for (size_t i = 0; i < record.size(); i++) {
            if (std::holds_alternative<RecBitmap>(record[i]))
                lastPicture = i;
            const auto *page = std::get_if<winport::gdi::RecPage>(&record[i]);
            if (page && page->event == winport::gdi::RecPage::End) {
                ends++;
                endAt = i;
            }
        }
        return ends == 1 && lastPicture < endAt;
    }
};

TEST_P(FormImagesTest, PrescriptionPadsAndStateStocksCarryBothImagesOnTheirPage)
{
    const int types[] = {PRINT_PRESCRIPTION, PRINT_PRESCRIPTION_NJ, PRINT_PRESCRIPTION_NY_2006};
    for (int type : types) {
        SCOPED_TRACE("type " + std::to_string(type));
        winport::gdi::SetRecording(Dc(), true);
        SendBoth();
        RxSample rx;
        rx.daw = "Y";
        rx.dawPrint = 1;
        ASSERT_EQ(Run(HandlePrintPrescription, type, rx.Payload()), 1);
        const auto bitmaps = Bitmaps();
        ASSERT_GE(bitmaps.size(), 2u);
        /* The last two pictures of the page: the signature, then the drawing. */
        ExpectSignature(bitmaps[bitmaps.size() - 2]);
        ExpectDaw(bitmaps.back());
        EXPECT_EQ(bitmaps.back().page, bitmaps[bitmaps.size() - 2].page);
        EXPECT_TRUE(PicturesBeforeTheOnePageEnd());
        EXPECT_FALSE(Drew("\"daw\"")) << "the image stands for the mark";
        EXPECT_FALSE(session_->m_Images.m_bSignaturePending);
        EXPECT_FALSE(session_->m_Images.m_bDawPending);
        EXPECT_FALSE(Cached(std::to_string(session_->m_iProcessId) + "_sig.tif"));
        EXPECT_FALSE(Cached("daw.tif"));
    }
    /* Without "Y" the drawing waits for a form that dispenses as written. */
    winport::gdi::SetRecording(Dc(), true);
    SendBoth();
    RxSample plain;
    ASSERT_EQ(Run(HandlePrintPrescription, PRINT_PRESCRIPTION, plain.Payload()), 1);
    ASSERT_FALSE(Bitmaps().empty());
    ExpectSignature(Bitmaps().back());
    EXPECT_FALSE(session_->m_Images.m_bSignaturePending);
    EXPECT_TRUE(session_->m_Images.m_bDawPending);
}

TEST_P(FormImagesTest, TheEyeFormsSignatureComesBeforeItsSignatureLine)
{
    SendBoth();
    OpticalSample o;
    ASSERT_EQ(Run(HandlePrintEyePrescription, PRINT_EYE_PRESCRIPTION, o.EyePayload()), 1);
    const auto record = GetRecord(Dc());
    const auto bitmaps = winport::gdi::Only<RecBitmap>(record);
    ASSERT_FALSE(bitmaps.empty());
    ExpectSignature(bitmaps.back());
    /* In the record, the image comes before the "Dr." of the block. */
    size_t imageAt = 0, drAt = 0;
    for (size_t i = 0; i < record.size(); i++) {
        if (std::holds_alternative<RecBitmap>(record[i]))
            imageAt = i;
        if (const auto *t = std::get_if<RecText>(&record[i]); t && t->text == "Dr.")
            drAt = i;
    }
    EXPECT_LT(imageAt, drAt);
    EXPECT_TRUE(session_->m_Images.m_bDawPending) << "an eye form has no drawing";
}

INSTANTIATE_TEST_SUITE_P(Resolutions, FormImagesTest, ::testing::Values(600, 300));

} // namespace
