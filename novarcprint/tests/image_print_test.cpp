/*
 * Image printing, checked on the printer DC's record: where and how large
 * a cached scan lands (the fit that keeps its proportions, the overlay's
 * fixed box that leaves the page open), heading and footing, letterheads
 * behind the first and later pages, signatures and drawings at their
 * places, and an annotation file drawn over its scan.  The printer is a
 * 600-dpi registry printer; the pictures are made by outside tools.
 */
#include <gdi_record.h>

#include "images_fixture.h"
#include "stream.h"

namespace {

using winport::gdi::GetRecord;
using winport::gdi::Only;
using winport::gdi::RecBitmap;
using winport::gdi::RecExternal;
using winport::gdi::RecPage;
using winport::gdi::RecText;

const std::string kNul(1, '\0');

using ImagePrintTest = ImagePrinterTest;

TEST_F(ImagePrintTest, AScanFillsThePageWithItsProportionsKept)
{
    Open();
    const int horz = Caps(HORZRES), vert = Caps(VERTRES);
    /* A portrait scan is as tall as the page when its full-width height
     * would pass it; a landscape one is as wide as the page. */
    PrintLocal("tall_g4.tif", "tall.tif", 0);
    PrintLocal("wide_g4.tif", "wide.tif", 0, 2);
    auto bitmaps = Bitmaps();
    ASSERT_EQ(bitmaps.size(), 2u);
    const long long fullWidthHeight = 4000LL * horz / 3000;
    if (fullWidthHeight >= vert) {
        EXPECT_EQ(bitmaps[0].cy, vert);
        EXPECT_EQ(bitmaps[0].cx, (int)(vert * 3000LL / 4000));
    } else {
        EXPECT_EQ(bitmaps[0].cx, horz);
        EXPECT_EQ(bitmaps[0].cy, (int)fullWidthHeight);
    }
    EXPECT_EQ(bitmaps[1].cx, horz);
    EXPECT_EQ(bitmaps[1].cy, (int)(3000LL * horz / 4000));
    EXPECT_EQ(bitmaps[0].bmBits, 1);
    EXPECT_EQ(bitmaps[0].x, 0);
    EXPECT_EQ(bitmaps[0].y, 0);
    EXPECT_EQ(PagesEnded(), 2) << "each scan is a page";
    EXPECT_EQ(session_->m_iCurrentImagePage, 2);
    EXPECT_TRUE(Exists("tall.tif.x2m")) << "kept for the next job";
}

TEST_F(ImagePrintTest, TheOverlayDrawsIntoItsFixedBoxAndLeavesThePageOpen)
{
    Open();
    /* The worked examples: 3000 x 4000 in the 4800 x 6324 box is as tall
     * as the box; 4000 x 3000 is as wide, 3600 high. */
    PrintLocal("tall_g4.tif", "tall.tif", 4);
    PrintLocal("wide_g4.tif", "wide.tif", 4);
    auto bitmaps = Bitmaps();
    ASSERT_EQ(bitmaps.size(), 2u);
    EXPECT_EQ(bitmaps[0].cx, 6324 * 3000 / 4000);
    EXPECT_EQ(bitmaps[0].cy, 6324);
    EXPECT_EQ(bitmaps[1].cx, 4800);
    EXPECT_EQ(bitmaps[1].cy, 3600);
    EXPECT_EQ(PagesEnded(), 0);
    EXPECT_TRUE(session_->m_Printer.m_bPrinted);

    /* Mode 16: the small box. */
    PrintLocal("photo.jpg", "photo.jpg", 16);
    bitmaps = Bitmaps();
    ASSERT_EQ(bitmaps.size(), 3u);
    EXPECT_EQ(bitmaps[2].cx, 1500);
    EXPECT_EQ(bitmaps[2].cy, 1500 * 1200 / 1600);
}

TEST_F(ImagePrintTest, AScanAfterAnOpenTextPageGetsAPageOfItsOwn)
{
    Open();
    /* The report's last page is still open when the scan comes: the scan,
     * painted opaque over the whole page, would erase it. */
    ASSERT_EQ(PrintNovarcStream(session_.get(), "REPORT TEXT\r\n", 13), 1);
    PrintLocal("tall_g4.tif", "tall.tif", 0);
    ASSERT_EQ(PrintNovarcStream(session_.get(), "AFTER SCAN\r\n", 12), 1);
    /* An overlay, by contrast, belongs on the page that is open. */
    PrintLocal("wide_g4.tif", "wide.tif", 4);
    const auto texts = Texts();
    const auto bitmaps = Bitmaps();
    ASSERT_EQ(texts.size(), 2u);
    ASSERT_EQ(bitmaps.size(), 2u);
    EXPECT_EQ(texts[0].utf8, "REPORT TEXT");
    EXPECT_EQ(bitmaps[0].page, texts[0].page + 1) << "the scan is on the next page";
    EXPECT_EQ(texts[1].utf8, "AFTER SCAN");
    EXPECT_EQ(texts[1].page, bitmaps[0].page + 1);
    EXPECT_EQ(texts[1].origin.y, texts[0].origin.y)
        << "text after the scan starts at the top again";
    EXPECT_EQ(bitmaps[1].page, texts[1].page) << "the overlay joins the open page";
    EXPECT_EQ(PagesEnded(), 2);
}

TEST_F(ImagePrintTest, RotationCodesTurnThePictureAndAreSpentOnOneImage)
{
    Open();
    const std::string wide = ReadText(Sample("wide_g4.tif"));
    /* The code set before a stored transfer is spent on it. */
    Run(HandleImageSettings, IMAGE_SETTINGS,
        Int32(0) + Int32(0) + Int32(1) + std::string(40, '\0'));
    SendImage("wide.tif", wide, 4);
    EXPECT_EQ(session_->m_Images.m_iImageRotation, 0);
    Run(HandleImageSettings, IMAGE_SETTINGS,
        Int32(0) + Int32(0) + Int32(1) + std::string(40, '\0'));
    const std::string local = std::string(1, '\4') + "wide.tif" + kNul + Int32(1);
    Run(HandlePrintLocalImage, PRINT_LOCAL_IMAGE, local);
    Run(HandlePrintLocalImage, PRINT_LOCAL_IMAGE, local);
    auto bitmaps = Bitmaps();
    ASSERT_EQ(bitmaps.size(), 2u);
    EXPECT_EQ(bitmaps[0].cx, 6324 * 3000 / 4000) << "turned a quarter: now portrait";
    EXPECT_EQ(bitmaps[0].cy, 6324);
    EXPECT_EQ(bitmaps[1].cx, 4800);
    EXPECT_EQ(session_->m_Images.m_iImageRotation, 0);
}

TEST_F(ImagePrintTest, HeadingAndFootingBelongToOneImage)
{
    Open();
    session_->m_iHeadingType = 2;
    std::string longText(400, 'W');
    snprintf(session_->m_szHeading, sizeof(session_->m_szHeading), "%s", longText.c_str());
    session_->m_iFootingType = 1;
    snprintf(session_->m_szFooting, sizeof(session_->m_szFooting), "%s", "Chart of J. Doe");
    PrintLocal("page_g4.tif", "one.tif", 0);
    auto texts = Texts();
    ASSERT_EQ(texts.size(), 4u);
    const int dpi = Caps(LOGPIXELSY);
    /* The heading is cut from its end until it ends before the page
     * number; the page number stands where "Page #999" would end at the
     * page's right edge. */
    EXPECT_LT(texts[0].text.size(), 200u);
    EXPECT_EQ(texts[0].text.find_first_not_of('W'), std::string::npos);
    EXPECT_LE(texts[0].origin.x + texts[0].width, texts[1].origin.x);
    EXPECT_EQ(texts[1].text, "Page #1");
    EXPECT_LT(texts[1].origin.y, dpi * 25 / 100);
    EXPECT_EQ(texts[2].text, "Chart of J. Doe");
    EXPECT_EQ(texts[3].text, "Page #1");
    EXPECT_GT(texts[2].origin.y, dpi * 1000 / 100);
    EXPECT_LT(texts[2].origin.y, dpi * 1040 / 100);

    PrintLocal("page_g4.tif", "two.tif", 0);
    EXPECT_EQ(Texts().size(), 4u) << "the next image prints without them";
}

TEST_F(ImagePrintTest, LetterheadsGoBehindTheFirstAndLaterPages)
{
    Open();
    const std::string head = ReadText(Sample("letterhead.png"));
    Transfer(LETTERHEAD_IMAGE, END_LETTERHEAD_IMAGE, 0, "first.png\x01", head);
    PrintLetterhead(session_.get(), 1);
    PrintLetterhead(session_.get(), 2);
    ASSERT_EQ(Bitmaps().size(), 1u) << "one letterhead: later pages get none";
    const RecBitmap first = Bitmaps()[0];
    EXPECT_EQ(first.x, 0);
    EXPECT_EQ(first.y, 0);
    EXPECT_EQ(first.cx, Caps(HORZRES)) << "a wide band is as wide as the page";

    Run(HandleLetterheadImageName, LETTERHEAD_IMAGE_NAME, std::string(1, '\0') + "first.png\x01");
    PrintLetterhead(session_.get(), 2);
    ASSERT_EQ(Bitmaps().size(), 2u);
    EXPECT_TRUE(Exists("first.png")) << "letterheads stay in the cache";
    EXPECT_EQ(PrintLetterheadFile(session_.get(), ""), -1);
}

TEST_F(ImagePrintTest, SignaturesAndDrawingsLandAtTheirPlacesAndArePrintedOnce)
{
    Open();
    const std::string sig = ReadText(Sample("signature.png"));
    const std::string pid = std::to_string(session_->m_iProcessId);
    const int dpiX = Caps(LOGPIXELSX), dpiY = Caps(LOGPIXELSY);
    session_->m_Images.m_iLeftMargin = 100;
    session_->m_Images.m_iTopMargin = 50;
    /* Flag 8: printed at once, 1 inch right and 2 inches down, 0.5 inch high. */
    Transfer(SIGNATURE_IMAGE, END_SIGNATURE_IMAGE, 0,
             "signature1.png" + kNul + Int32(10) + Int32(20) + Int32(5) + Int32(8), sig);
    auto bitmaps = Bitmaps();
    ASSERT_EQ(bitmaps.size(), 1u);
    EXPECT_EQ(bitmaps[0].x, 100 + dpiX);
    EXPECT_EQ(bitmaps[0].y, (int)session_->m_Stream.m_dY + 50 + 2 * dpiY);
    EXPECT_EQ(bitmaps[0].cy, dpiX / 2);
    EXPECT_FALSE(Exists(pid + "_signature1.png")) << "patient data: deleted once printed";
    EXPECT_TRUE(session_->m_Images.m_Signatures.empty());

    /* Height 0 with flag 8: as tall as the page. */
    Transfer(SIGNATURE_IMAGE, END_SIGNATURE_IMAGE, 0,
             "signature2.png" + kNul + Int32(0) + Int32(0) + Int32(0) + Int32(8), sig);
    bitmaps = Bitmaps();
    ASSERT_EQ(bitmaps.size(), 2u);
    EXPECT_EQ(bitmaps[1].cy, Caps(VERTRES));

    /* A drawing waits for the page end, then lands and leaves the cache. */
    Transfer(DAW_IMAGE, END_DAW_IMAGE, 0,
             "d.png" + kNul + Int32(30) + Int32(10) + Int32(10) + Int32(0), sig);
    EXPECT_EQ(Bitmaps().size(), 2u);
    PrintPendingTrailerImages(session_.get());
    bitmaps = Bitmaps();
    ASSERT_EQ(bitmaps.size(), 3u);
    EXPECT_EQ(bitmaps[2].x, 100 + 3 * dpiX);
    EXPECT_EQ(bitmaps[2].cy, dpiX);
    EXPECT_FALSE(Exists("d.png"));
    EXPECT_FALSE(session_->m_Images.m_bDawPending);

    /* A document's signature: device units, white leaves the page as it was. */
    Transfer(LETTERHEAD_IMAGE, END_LETTERHEAD_IMAGE, 0, "docsig.png\x01", sig);
    EXPECT_EQ(PrintDocumentSignatureFile(session_.get(), "docsig.png", 300, 400, 120), 1);
    bitmaps = Bitmaps();
    ASSERT_EQ(bitmaps.size(), 4u);
    EXPECT_EQ(bitmaps[3].x, 300);
    EXPECT_EQ(bitmaps[3].y, 400);
    EXPECT_EQ(bitmaps[3].cy, 120);
    EXPECT_EQ(bitmaps[3].rop, (DWORD)SRCAND);
    EXPECT_TRUE(Exists("docsig.png"));
}

TEST_F(ImagePrintTest, AnAnnotationFileIsDrawnOverItsScanAndThenRemoved)
{
    Open();
    const std::string ann = R"({"format": "novarc-annotations", "version": 1,
        "objects": [{"type": "rectangle", "rect": [200, 300, 1200, 600], "color": "#FF0000",
                     "lineWidth": 6}]})";
    Transfer(PRINT_ANNOTATION, PRINT_END_ANNOTATION, 0, "scan.tif.ann\x01", Deflated(ann));
    ASSERT_TRUE(Exists("scan.tif.ann"));
    PrintLocal("page_g4.tif", "scan.tif", 0);
    const auto record = GetRecord(Dc());
    const auto bitmaps = Only<RecBitmap>(record);
    const auto drawn = Only<RecExternal>(record);
    ASSERT_EQ(bitmaps.size(), 1u);
    ASSERT_FALSE(drawn.empty());
    /* Over the scan: after it in the record and inside its rectangle. */
    size_t scanAt = 0, annAt = 0;
    for (size_t i = 0; i < record.size(); i++) {
        if (std::holds_alternative<RecBitmap>(record[i]))
            scanAt = i;
        if (std::holds_alternative<RecExternal>(record[i]))
            annAt = i;
    }
    EXPECT_GT(annAt, scanAt);
    EXPECT_GE(drawn[0].box.left, 0);
    EXPECT_LE(drawn[0].box.right, bitmaps[0].cx);
    EXPECT_LE(drawn[0].box.bottom, bitmaps[0].cy);
    EXPECT_FALSE(Exists("scan.tif.ann")) << "the annotation file is removed once drawn";
}

TEST_F(ImagePrintTest, MissingAndUndecodableFilesPrintNothing)
{
    Open();
    EXPECT_EQ(PrintImageFile(session_.get(), "missing.tif", 1, 0), 0);
    WriteText(Cached("noise.tif"), std::string(3000, '\x11'));
    EXPECT_EQ(PrintImageFile(session_.get(), "noise.tif", 1, 0), 0);
    EXPECT_FALSE(Exists("noise.tif")) << "deleted so the server sends it again";
    EXPECT_TRUE(Bitmaps().empty());
    EXPECT_EQ(PagesEnded(), 0);
    /* A cached PDF goes to the PDF printing. */
    WriteText(Cached("report.pdf"), "%PDF-1.4\n");
    PrintImageFile(session_.get(), "report.pdf", 1, 0);
    EXPECT_NE(Log().find("PrintNovarcPdfDocument(c:\\novarc\\RecentScans\\report.pdf"),
              std::string::npos);
}

} // namespace
