/*
 * A word-processor document's pictures come from the image cache: an
 * inline picture in its justified box, a signature run's image in its box
 * with white leaving the text under it, the letterheads behind the first
 * and later pages, the signature the server left pending at the page end,
 * and the converters' removal of the document's pictures.  On the printer
 * DC's record at 600 dpi, letter paper, no unprintable margins, documents
 * with one-inch margins built by the test writer.
 */
#include <cstring>

#include "images_fixture.h"
#include "wp.h"
#include "wp_document.h"
#include "wp_writer.h"

namespace {

using namespace wptest;
using winport::gdi::RecText;

const std::string kNul(1, '\0');

class WpImagesTest : public ImagePrinterTest {
protected:
    int Print(const std::string &payload)
    {
        return Run(HandlePrintNovarcDocument, PRINT_NOVARC_DOCUMENT, payload);
    }
    static Header Letter()
    {
        Header h;
        h.top = h.bottom = h.left = h.right = 100;
        h.firstTop = h.firstBottom = h.firstLeft = h.firstRight = 100;
        return h;
    }
    RecText Find(const std::string &text)
    {
        for (const RecText &t : Texts())
            if (t.text == text)
                return t;
        ADD_FAILURE() << "no text " << text;
        return RecText();
    }
};

TEST_F(WpImagesTest, PicturesSignaturesAndLetterheadsLandWhereTheDocumentPutsThem)
{
    Open(600, "0,0,0,0");
    ASSERT_EQ(Caps(HORZRES), 5100);
    const std::string sig = ReadText(Sample("signature.png"));
    const std::string head = ReadText(Sample("letterhead.png"));
    /* Two letterheads fill the first and later pages' slots. */
    Transfer(LETTERHEAD_IMAGE, END_LETTERHEAD_IMAGE, 0, "head1.png\x01", head);
    Transfer(LETTERHEAD_IMAGE, END_LETTERHEAD_IMAGE, 0, "head2.png\x01", head);
    SendImage("photo.jpg", ReadText(Sample("photo.jpg")), 4);
    SendImage("tall.tif", ReadText(Sample("tall_g4.tif")), 4);
    /* The signature run's file, named by its key list as the server names it. */
    const std::string keys = Keys()
                                 .Int(1, 12)
                                 .Int(2, 2451545)
                                 .Int(3, 545)
                                 .Text(4, "Dr Ann Lee")
                                 .Int(5, 3)
                                 .Int(6, 5)
                                 .End();
    int sum = 0;
    for (char ch : std::string("Dr Ann Lee"))
        sum += (signed char)ch;
    const std::string sigName = std::to_string(session_->m_iProcessId) +
                                "_signature12version32451545545" + std::to_string(sum);
    WriteText(Cached(sigName), sig);
    /* A signature for the page end: 1 inch from the left, 0.5 inch high. */
    Transfer(SIGNATURE_IMAGE, END_SIGNATURE_IMAGE, 0,
             "pending.png" + kNul + Int32(10) + Int32(0) + Int32(5) + Int32(0), sig);
    ASSERT_TRUE(session_->m_Images.m_bSignaturePending);

    const std::string photo = Keys().Int(2, 200).Int(3, 150).Text(7, "photo.jpg").End();
    const std::string tall = Keys().Int(2, 100).Int(3, 5000).Text(7, "tall.tif").Int(9, 1).End();
    Cells c = Cells()
                  .Text("Signed:")
                  .Cell(HRT)
                  .Record(SP_SIGNATURE_CODE, 0, 0, 0x16, keys)
                  .Cell(HRT)
                  .Record(IMAGE, 0, 0, 0, photo)
                  .Text("Below")
                  .Cell(HRT)
                  .Record(IMAGE, 0, 0, 0, tall)
                  .Text("Page two");
    ASSERT_EQ(Print(Payload(Letter(), c, WP_FLAG_LETTERHEAD)), 1);
    const auto bitmaps = Bitmaps();
    ASSERT_EQ(bitmaps.size(), 6u);
    /* The first page's letterhead, behind everything, as wide as the page. */
    EXPECT_EQ(bitmaps[0].page, 1);
    EXPECT_EQ(bitmaps[0].x, 0);
    EXPECT_EQ(bitmaps[0].y, 0);
    EXPECT_EQ(bitmaps[0].cx, 5100);
    /* The signature run: 300 high at the margin, on the line after
     * "Signed:", white leaving the page as it was. */
    EXPECT_EQ(bitmaps[1].x, 600);
    EXPECT_EQ(bitmaps[1].y, 700);
    EXPECT_EQ(bitmaps[1].cy, 300);
    EXPECT_EQ(bitmaps[1].cx, 600 * 300 / 200);
    EXPECT_EQ(bitmaps[1].rop, (DWORD)SRCAND);
    /* The photo: 2 x 1.5 inches, centred on the page, under the
     * signature's line; the next text follows under it. */
    const int photoTop =
        Find("Electronically signed by Dr Ann Lee on 01/01/2000 at  9:05 am").ref.y;
    EXPECT_EQ(bitmaps[2].x, (5100 - 1200) / 2);
    EXPECT_EQ(bitmaps[2].y, photoTop);
    EXPECT_EQ(bitmaps[2].cx, 1200);
    EXPECT_EQ(bitmaps[2].cy, 900);
    EXPECT_EQ(Find("Below").ref.y, photoTop + 900 + 100);
    /* The tall scan: cut to the room above the bottom margin with its
     * proportions kept, left-justified; the page is full. */
    const int tallTop = Find("Below").ref.y;
    EXPECT_EQ(bitmaps[3].x, 600);
    EXPECT_EQ(bitmaps[3].y, tallTop);
    EXPECT_EQ(bitmaps[3].cy, 6000 - tallTop);
    EXPECT_EQ(bitmaps[3].cx, (6000 - tallTop) * 100 / 5000);
    /* The pending signature at the end of page 1, from the pen there. */
    EXPECT_EQ(bitmaps[4].page, 1);
    EXPECT_EQ(bitmaps[4].x, 600);
    EXPECT_EQ(bitmaps[4].y, 6000);
    EXPECT_EQ(bitmaps[4].cy, 300);
    EXPECT_FALSE(session_->m_Images.m_bSignaturePending);
    /* Page two: the second letterhead, then the text. */
    EXPECT_EQ(bitmaps[5].page, 2);
    EXPECT_EQ(bitmaps[5].y, 0);
    EXPECT_EQ(Find("Page two").page, 2);
    EXPECT_TRUE(Exists("photo.jpg.x2m")) << "an ordinary printer leaves the cache alone";
    EXPECT_TRUE(Exists(sigName)) << "a document's signature stays for its next print";
}

TEST_F(WpImagesTest, AMobileConverterTakesTheDocumentsPicturesOutOfTheCache)
{
    Open(600, "0,0,0,0");
    SendImage("photo.jpg", ReadText(Sample("photo.jpg")), 4);
    strcpy(session_->m_szPrinterName, "NovarcPDF Mobile");
    const std::string photo = Keys().Int(2, 200).Int(3, 150).Text(7, "photo.jpg").End();
    /* A missing picture is only its placeholder; no signature file: its
     * box stays blank and the text goes on.  A signature box with no
     * height shows nothing, though its file is there. */
    const std::string gone = Keys().Int(2, 100).Int(3, 100).Text(7, "gone.jpg").End();
    const std::string keys = Keys().Int(1, 3).Text(4, "Dr Ann Lee").Int(6, 5).End();
    const std::string flat = Keys().Int(1, 4).Text(4, "Dr Ann Lee").Int(6, 0).End();
    int sum = 0;
    for (char ch : std::string("Dr Ann Lee"))
        sum += (signed char)ch;
    WriteText(Cached(std::to_string(session_->m_iProcessId) + "_signature4version000" +
                     std::to_string(sum)),
              ReadText(Sample("signature.png")));
    ASSERT_EQ(Print(Payload(Letter(), Cells()
                                          .Record(IMAGE, 0, 0, 0, photo)
                                          .Record(IMAGE, 0, 0, 0, gone)
                                          .Record(SP_SIGNATURE_CODE, 0, 0, 0, keys)
                                          .Record(SP_SIGNATURE_CODE, 0, 0, 0, flat)
                                          .Text("end"))),
              1);
    EXPECT_EQ(Bitmaps().size(), 1u) << "the photo only";
    /* Beside the first signature's box (6.5 x 0.5 inch from the margin). */
    EXPECT_NE(Log().find("_signature4version000" + std::to_string(sum) +
                         ") x:" + std::to_string(600 + 1950) + " y:2400 height:0"),
              std::string::npos);
    EXPECT_EQ(Find("Virtual Image").page, 1);
    EXPECT_EQ(Find("end").page, 1);
    EXPECT_FALSE(Exists("photo.jpg.x2m"));
    EXPECT_NE(Log().find("DeleteWpStringImageFile DeleteFile( c:\\novarc\\RecentScans\\gone.jpg )"),
              std::string::npos);
}

} // namespace
