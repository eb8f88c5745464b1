/*
 * Pictures other jobs ask for: card scans trimmed into half a page and
 * their scanner band cleaned, the CompImage signature composed onto a form
 * image, pictures named inside documents (cut to the room the page has,
 * placed by their justification, annotated, or left as a placeholder box)
 * and the converters' removal of a document's pictures.  On the printer
 * DC's record at 600 dpi; the pictures are made by outside tools, or built
 * pixel by pixel where a test needs to know every pixel.
 */
#include <cstring>

#include "image_load.h"
#include "images_fixture.h"

namespace {

using winport::gdi::GetRecord;
using winport::gdi::Only;
using winport::gdi::RecBitmap;
using winport::gdi::RecExternal;
using winport::gdi::RecShape;

const std::string kNul(1, '\0');
const COLORREF kWhite = RGB(255, 255, 255);

class ImageStreamTest : public ImagePrinterTest {
protected:
    /* A picture decoded from an enciphered cache file, for its pixels. */
    bool DecodeCached(const std::string &name, BITMAPHANDLE *bitmap)
    {
        const std::string plain = Deciphered(ReadText(Cached(name)));
        return !plain.empty() &&
               KELL_LoadMemory((const BYTE *)plain.data(), bitmap, sizeof(*bitmap), 0, 1,
                               (DWORD)plain.size()) == L_SUCCESS;
    }
    /* A blank 1-bit form of w x h pixels stored enciphered as szName. */
    void StoreBlankForm(const char *name, int w, int h)
    {
        std::filesystem::create_directories(Cached(""));
        BITMAPHANDLE form = {};
        ASSERT_EQ(KELL_CreateBitmap(&form, sizeof(form), w, h, 1), L_SUCCESS);
        KELL_FillBitmap(&form, kWhite);
        HGLOBAL hFile = NULL;
        DWORD size = 0;
        ASSERT_EQ(KELL_SaveBitmapMemory(&hFile, &form, L_FMT_TIF_G4, 1, 0, &size), L_SUCCESS);
        const std::string path = std::string(IMAGE_CACHE_FOLDER "\\") + name;
        EXPECT_EQ(WriteEncipheredFile(path.c_str(), (const char *)GlobalLock(hFile), size), 1);
        GlobalUnlock(hFile);
        GlobalFree(hFile);
        KELL_FreeBitmap(&form);
    }
    /* Dark pixels inside and outside a rectangle of a decoded picture. */
    static void CountDark(BITMAPHANDLE *bitmap, const RECT &box, int *inside, int *outside)
    {
        *inside = *outside = 0;
        for (int row = 0; row < bitmap->Height; row++)
            for (int col = 0; col < bitmap->Width; col++) {
                const COLORREF c = KELL_GetPixelColor(bitmap, row, col);
                if (GetRValue(c) + GetGValue(c) + GetBValue(c) > 3 * 128)
                    continue;
                const bool in =
                    col >= box.left && col < box.right && row >= box.top && row < box.bottom;
                ++*(in ? inside : outside);
            }
    }
    int Stream(const StreamImageRecord &record, int *x, int *y, int left, int avail, int limit)
    {
        return PrintStreamImage(session_.get(), Dc(), record, x, y, left, avail, limit, 0);
    }
    std::vector<RECT> Boxes()
    {
        std::vector<RECT> boxes;
        for (const RecShape &shape : Only<RecShape>(GetRecord(Dc())))
            if (shape.kind == RecShape::Rectangle)
                boxes.push_back(shape.rect);
        return boxes;
    }
};

TEST_F(ImageStreamTest, CardScansAreTrimmedToTheCardAndFittedIntoTheirBox)
{
    Open();
    const int horz = Caps(HORZRES), vert = Caps(VERTRES);
    /* The card (760 x 470 pixels) lies on a 1000 x 700 grey bed whose
     * lid band runs the whole width along the bottom: the bed above the
     * card is trimmed away, the band (and the bed beside the card, which
     * the band holds in) is not, until the clean-up whitens it. */
    PrintLocal("card.jpg", "card.jpg", 0x08);
    PrintLocal("card.jpg", "card2.jpg", 0x28);
    PrintLocal("card.jpg", "card3.jpg", 0x48);
    const auto bitmaps = Bitmaps();
    ASSERT_EQ(bitmaps.size(), 3u);
    EXPECT_LT(bitmaps[0].bmHeight, 700 - 80) << "the bed above the card is trimmed";
    EXPECT_GT(bitmaps[0].bmHeight, 560);
    EXPECT_EQ(bitmaps[0].bmBits, 24);
    /* Half the page, proportions kept: the card is wider than the half
     * page is in proportion, so it is as wide as the box. */
    EXPECT_EQ(bitmaps[0].cx, horz / 2);
    EXPECT_EQ(bitmaps[0].cy,
              (int)((long long)bitmaps[0].bmHeight * (horz / 2) / bitmaps[0].bmWidth));
    EXPECT_EQ(bitmaps[1].cx, horz) << "0x20 keeps the whole page";
    /* 0x40: the two stacked halves, in a box 1/2.285 of the page wide and
     * the page high. */
    EXPECT_EQ(bitmaps[2].cx, (int)(horz / 2.285));
    EXPECT_LE(bitmaps[2].cy, vert);
    EXPECT_EQ(PagesEnded(), 3);
}

TEST_F(ImageStreamTest, TheCardsDarkBottomRowsTurnWhiteUpToTheFirstRowOfCard)
{
    /* 40 x 12: white card rows, a black row high up (part of the card's
     * print), then at the bottom three black rows, one of them with a few
     * light specks, as the scanner's lid leaves them. */
    BITMAPHANDLE b = {};
    ASSERT_EQ(KELL_CreateBitmap(&b, sizeof(b), 40, 12, 24), L_SUCCESS);
    KELL_FillBitmap(&b, kWhite);
    for (int col = 0; col < 40; col++) {
        KELL_PutPixelColor(&b, 3, col, 0);
        for (int row = 9; row < 12; row++)
            KELL_PutPixelColor(&b, row, col, (row == 10 && col % 8 == 0) ? kWhite : 0);
    }
    KELL_PutPixelColor(&b, 8, 39, 0);
    CleanCardBottomEdge(&b);
    for (int col = 0; col < 40; col++) {
        for (int row = 9; row < 12; row++)
            ASSERT_EQ(KELL_GetPixelColor(&b, row, col), kWhite) << row << "," << col;
        EXPECT_EQ(KELL_GetPixelColor(&b, 3, col), 0u) << "the card above is left as it was";
    }
    EXPECT_EQ(KELL_GetPixelColor(&b, 8, 39), 0u) << "the first card row is left whole";
    EXPECT_EQ(KELL_GetPixelColor(&b, 8, 38), kWhite);
    KELL_FreeBitmap(&b);
}

TEST_F(ImageStreamTest, TheCompImageSignatureLandsAtTheFormTypesPosition)
{
    const std::string sig = ReadText(Sample("signature.png"));
    /* Type 1 (FROI): the signature, 60 pixels high, at (473, 2218). */
    StoreBlankForm("FROI.tif.x2m", 2550, 3300);
    ASSERT_EQ(ApplySignatureToCompImage(session_.get(), sig.data(), (int)sig.size(), 1, NULL), 1);
    BITMAPHANDLE signed1 = {};
    ASSERT_TRUE(DecodeCached(COMP_SIGNATURE_FILE, &signed1));
    EXPECT_EQ(signed1.Width, 2550);
    EXPECT_EQ(signed1.Height, 3300);
    int inside = 0, outside = 0;
    CountDark(&signed1, {473, 2218, 473 + 600, 2218 + 60}, &inside, &outside);
    EXPECT_GT(inside, 200);
    EXPECT_EQ(outside, 0);
    KELL_FreeBitmap(&signed1);
    /* Its resized signature is kept plain for the server's own use. */
    char16_t wdb[MAX_PATH];
    KelImagingName(IMAGE_CACHE_FOLDER "\\wdb_sig.tif", wdb, MAX_PATH);
    BITMAPHANDLE small = {};
    ASSERT_EQ(KELL_LoadBitmap(wdb, &small, sizeof(small), 0, 1), L_SUCCESS);
    EXPECT_EQ(small.Height, 60);
    KELL_FreeBitmap(&small);

    /* A named form of a type outside 1-4 is signed at its corner, at the
     * signature's own size. */
    StoreBlankForm("named.tif.x2m", 1000, 800);
    ASSERT_EQ(
        ApplySignatureToCompImage(session_.get(), sig.data(), (int)sig.size(), 9, "named.tif"), 1);
    BITMAPHANDLE signed9 = {};
    ASSERT_TRUE(DecodeCached(COMP_SIGNATURE_FILE, &signed9));
    CountDark(&signed9, {0, 0, 600, 200}, &inside, &outside);
    EXPECT_GT(inside, 200);
    EXPECT_EQ(outside, 0);
    KELL_FreeBitmap(&signed9);

    /* No form: nothing is made and the kept file is not replaced. */
    std::filesystem::remove(Cached(COMP_SIGNATURE_FILE));
    EXPECT_EQ(ApplySignatureToCompImage(session_.get(), sig.data(), (int)sig.size(), 7, NULL), 0);
    EXPECT_EQ(
        ApplySignatureToCompImage(session_.get(), sig.data(), (int)sig.size(), 2, "absent.tif"), 0);
    EXPECT_EQ(ApplySignatureToCompImage(session_.get(), "junk", 4, 1, NULL), 0);
    EXPECT_FALSE(Exists(COMP_SIGNATURE_FILE));
}

TEST_F(ImageStreamTest, DocumentPicturesShrinkWithTheirProportionsToTheRoomTheyHave)
{
    Open();
    SendImage("photo.jpg", ReadText(Sample("photo.jpg")), 4);
    /* 4 x 3 inches is 2400 x 1800; the 2000 units between the margins
     * make it 2000 x 1500, left-justified at the margin. */
    StreamImageRecord record;
    record.szName = "photo.jpg";
    record.iWidth = 400;
    record.iHeight = 300;
    record.iJustification = 1;
    int x = 700, y = 1000;
    EXPECT_EQ(Stream(record, &x, &y, 600, 2000, 5000), 0);
    /* Only 900 units left above the page bottom: 1200 x 900, centred on
     * the page; right-justified against the right margin. */
    record.iJustification = 0;
    int x2 = 600, y2 = 3000;
    EXPECT_EQ(Stream(record, &x2, &y2, 600, 3900, 900), 0);
    record.iJustification = 2;
    int x3 = 600, y3 = 0;
    EXPECT_EQ(Stream(record, &x3, &y3, 600, 3900, 9000), 0);
    const auto bitmaps = Bitmaps();
    ASSERT_EQ(bitmaps.size(), 3u);
    EXPECT_EQ(bitmaps[0].x, 600);
    EXPECT_EQ(bitmaps[0].y, 1000);
    EXPECT_EQ(bitmaps[0].cx, 2000);
    EXPECT_EQ(bitmaps[0].cy, 1500);
    EXPECT_EQ(x, 700 + 2000);
    EXPECT_EQ(y, 1000 + 1500) << "the pen moves past the picture";
    EXPECT_EQ(bitmaps[1].cx, 1200);
    EXPECT_EQ(bitmaps[1].cy, 900);
    EXPECT_EQ(bitmaps[1].x, (Caps(HORZRES) - 1200) / 2);
    EXPECT_EQ(bitmaps[2].x, 600 + 3900 - 2400);
    EXPECT_EQ(bitmaps[2].cx, 2400);
    /* A wide picture cut to the width stays within the height left too. */
    record.iWidth = 2000;
    record.iHeight = 1000;
    int x4 = 0, y4 = 0;
    Stream(record, &x4, &y4, 600, 3900, 1000);
    ASSERT_EQ(Bitmaps().size(), 4u);
    EXPECT_EQ(Bitmaps()[3].cx, 2000);
    EXPECT_EQ(Bitmaps()[3].cy, 1000);
    EXPECT_TRUE(Boxes().empty()) << "no placeholder for a picture that printed";
}

TEST_F(ImageStreamTest, DocumentPicturesFindTheirCipheredFormsAndCarryTheirAnnotations)
{
    Open();
    /* Named ".xem" by the document, kept under the file key as ".x2m". */
    const std::string page = ReadText(Sample("page_g4.tif"));
    std::filesystem::create_directories(Cached(""));
    ASSERT_EQ(
        WriteEncipheredFile(IMAGE_CACHE_FOLDER "\\chart.x2m", page.data(), (DWORD)page.size()), 1);
    const std::string ann = R"({"format": "novarc-annotations", "version": 1,
        "objects": [{"type": "rectangle", "rect": [200, 300, 1200, 600], "color": "#FF0000",
                     "lineWidth": 6}]})";
    StreamImageRecord record;
    record.szName = "chart.xem";
    record.iWidth = 300;
    record.iHeight = 300;
    record.iJustification = 1;
    record.pAnnotations = ann.data();
    record.iAnnotationLen = (int)ann.size();
    StartPage(Dc());
    int x = 600, y = 600;
    EXPECT_EQ(Stream(record, &x, &y, 600, 3900, 6000), 0);
    const auto bitmaps = Bitmaps();
    ASSERT_EQ(bitmaps.size(), 1u);
    EXPECT_EQ(bitmaps[0].bmWidth, 2550);
    const auto drawn = Only<RecExternal>(GetRecord(Dc()));
    ASSERT_FALSE(drawn.empty()) << "the annotations are drawn over the picture";
    /* The annotation's rectangle (200, 300)-(1200, 600) of the 2550 x 3300
     * page, scaled into the 1800 x 1800 box at (600, 600). */
    EXPECT_EQ(drawn[0].box.left, 600 + 200 * 1800 / 2550);
    EXPECT_EQ(drawn[0].box.top, 600 + 164);
    EXPECT_EQ(drawn[0].box.right, 600 + 1200 * 1800 / 2550);
    EXPECT_EQ(drawn[0].box.bottom, 600 + 600 * 1800 / 3300);
    EXPECT_FALSE(Exists("chart.ann")) << "annotations go with the one print";
    EXPECT_TRUE(Exists("chart.x2m"));

    /* Missing: the placeholder box, and the pen still moves past it. */
    record.szName = "gone.jpg";
    record.pAnnotations = nullptr;
    int x2 = 600, y2 = 100;
    EXPECT_EQ(Stream(record, &x2, &y2, 600, 3900, 6000), -1);
    ASSERT_EQ(Boxes().size(), 1u);
    EXPECT_EQ(Boxes()[0].left, 600);
    EXPECT_EQ(Boxes()[0].bottom, 100 + 1800);
    EXPECT_EQ(y2, 100 + 1800);
    EXPECT_NE(Log().find("PrintStreamImage(gone.jpg) not in the image cache"), std::string::npos);
}

TEST_F(ImageStreamTest, OnlyTheMobileConvertersRemoveADocumentsPictures)
{
    Open();
    WriteText(Cached("a.jpg"), "x");
    WriteText(Cached("a.jpg.x2m"), "x");
    WriteText(Cached("keep.txt"), "x");
    strcpy(session_->m_szPrinterName, "NovarcPDF");
    DeleteWpStringImageFile(session_.get(), "a.jpg");
    EXPECT_TRUE(Exists("a.jpg"));
    EXPECT_TRUE(Exists("a.jpg.x2m"));
    strcpy(session_->m_szPrinterName, "NovarcPDF Mobile");
    DeleteWpStringImageFile(session_.get(), "a.jpg");
    EXPECT_FALSE(Exists("a.jpg"));
    EXPECT_FALSE(Exists("a.jpg.x2m"));
    EXPECT_NE(
        Log().find("DeleteWpStringImageFile DeleteFile( c:\\novarc\\RecentScans\\a.jpg.x2m )"),
        std::string::npos);
    /* A name that would leave the cache deletes nothing. */
    WriteText(root_.driveC("novarc/keep.txt"), "x");
    DeleteWpStringImageFile(session_.get(), "..\\keep.txt");
    EXPECT_TRUE(std::filesystem::exists(root_.driveC("novarc/keep.txt")));
}

} // namespace
