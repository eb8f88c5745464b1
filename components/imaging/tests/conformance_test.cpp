/*
 * Decoding against outside data: every picture here is written by a tool
 * that is not ours (outside.h) from a picture the test draws, and must load
 * with its size, depth and pixels.
 */
#include "imaging_test_util.h"
#include "outside.h"

#include <filesystem>
#include <map>

using namespace imagingtest;

namespace {

/* Loads page `page` of an outside file from memory. */
INT Load(const std::string &name, Bitmap *b, int bpp = 0, int page = 0)
{
    const std::vector<unsigned char> data = ReadBytes(OutsidePath(name));
    return L_LoadMemory(data.data(), &b->h, sizeof(BITMAPHANDLE), bpp, page,
                        static_cast<DWORD>(data.size()));
}

void ExpectPage(Bitmap &b)
{
    ASSERT_EQ(b->Width, kPageW);
    ASSERT_EQ(b->Height, kPageH);
    EXPECT_EQ(b->BitsPerPixel, 1);
    EXPECT_EQ(b->ViewPerspective, L_TOP_LEFT);
    EXPECT_EQ(b->BytesPerLine, 320); /* 2550 bits in 32-bit words */
    EXPECT_EQ(b->Size, 320u * kPageH);
    for (int y = 0; y < kPageH; y += 50)
        for (int x = 0; x < kPageW; x += 50)
            ASSERT_EQ(At(&b.h, x, y), PageInk(x, y) ? 0x000000u : 0xFFFFFFu) << x << "," << y;
    for (auto [x, y] :
         {std::pair{199, 300}, {200, 299}, {1199, 599}, {1200, 599}, {0, 1009}, {2449, 3249}})
        EXPECT_EQ(At(&b.h, x, y), PageInk(x, y) ? 0x000000u : 0xFFFFFFu) << x << "," << y;
}

void ExpectQuadrants(Bitmap &b, int tolerance)
{
    ASSERT_EQ(b->Width, kColourW);
    ASSERT_EQ(b->Height, kColourH);
    for (auto [x, y] : {std::pair{10, 10}, {50, 10}, {10, 40}, {50, 40}})
        EXPECT_TRUE(Near(At(&b.h, x, y), Quadrants(x, y), tolerance))
            << x << "," << y << " " << std::hex << At(&b.h, x, y);
}

} // namespace

TEST(Outside, G4LetterPagesLoadWithTheirInkWhateverTheirStripsAndPhotometric)
{
    for (const char *name : {"page_g4.tif", "page_g4_strips.tif", "page_g4_black.tif"}) {
        SCOPED_TRACE(name);
        Bitmap b;
        ASSERT_EQ(Load(name, &b), L_SUCCESS);
        ExpectPage(b);
        EXPECT_EQ(b->XResolution, 300);
        EXPECT_TRUE(b->Flags & L_BITMAP_COMPRESSED) << "a G4 page keeps its bytes for PDFs";
    }
}

TEST(Outside, EveryPageOfAThreePageTiffLoadsAndAFourthDoesNot)
{
    Bitmap lzw, g3, jpeg, none;
    ASSERT_EQ(Load("three.tif", &lzw, 0, 1), L_SUCCESS);
    ExpectQuadrants(lzw, 0);
    EXPECT_EQ(lzw->BitsPerPixel, 24);
    ASSERT_EQ(Load("three.tif", &g3, 0, 2), L_SUCCESS);
    EXPECT_EQ(g3->Width, 200);
    EXPECT_EQ(g3->BitsPerPixel, 1);
    EXPECT_EQ(At(&g3.h, 100, 50), 0x000000u);
    EXPECT_EQ(At(&g3.h, 10, 50), 0xFFFFFFu);
    EXPECT_FALSE(g3->Flags & L_BITMAP_COMPRESSED) << "G3 is decoded, never passed on";
    ASSERT_EQ(Load("three.tif", &jpeg, 0, 3), L_SUCCESS);
    ExpectQuadrants(jpeg, 24);
    EXPECT_EQ(Load("three.tif", &none, 0, 4), L_ERR_PAGE_NOT_FOUND);
    EXPECT_EQ(Load("colour.jpg", &none, 0, 2), L_ERR_PAGE_NOT_FOUND);
}

TEST(Outside, ProgressiveJpegAndJpeg2000LoadWithTheirColours)
{
    Bitmap jpg, jp2, j2k;
    ASSERT_EQ(Load("colour.jpg", &jpg), L_SUCCESS);
    ExpectQuadrants(jpg, 24);
    EXPECT_EQ(jpg->BitsPerPixel, 24);
    EXPECT_TRUE(jpg->Flags & L_BITMAP_COMPRESSED);
    ASSERT_EQ(Load("colour.jp2", &jp2), L_SUCCESS);
    ExpectQuadrants(jp2, 0); /* OpenJPEG's default is lossless */
    EXPECT_TRUE(jp2->Flags & L_BITMAP_COMPRESSED);
    ASSERT_EQ(Load("colour.j2k", &j2k), L_SUCCESS);
    ExpectQuadrants(j2k, 0);
    EXPECT_FALSE(j2k->Flags & L_BITMAP_COMPRESSED) << "a bare codestream has no JP2 wrapping";
}

TEST(Outside, OneBitBmpAndPalettePngLoadPixelForPixel)
{
    Bitmap bmp, png;
    ASSERT_EQ(Load("small.bmp", &bmp), L_SUCCESS);
    ASSERT_EQ(bmp->Width, kSmallW);
    ASSERT_EQ(bmp->Height, kSmallH);
    EXPECT_EQ(bmp->BitsPerPixel, 1);
    for (int y = 0; y < kSmallH; y++)
        for (int x = 0; x < kSmallW; x++)
            ASSERT_EQ(At(&bmp.h, x, y), SmallInk(x, y) ? 0x000000u : 0xFFFFFFu) << x << "," << y;
    ASSERT_EQ(Load("colour8.png", &png), L_SUCCESS);
    ExpectQuadrants(png, 0);
    EXPECT_LE(png->BitsPerPixel, 8);
}

TEST(Outside, AskedDepthsConvertOnLoad)
{
    Bitmap grey, colour, mono;
    ASSERT_EQ(Load("colour.jpg", &grey, 8), L_SUCCESS);
    EXPECT_EQ(grey->BitsPerPixel, 8);
    EXPECT_FALSE(grey->Flags & L_BITMAP_COMPRESSED) << "new pixels: the JPEG bytes no longer match";
    ASSERT_EQ(Load("page_g4.tif", &colour, 24), L_SUCCESS);
    EXPECT_EQ(colour->BitsPerPixel, 24);
    EXPECT_EQ(At(&colour.h, 250, 350), 0x000000u);
    ASSERT_EQ(Load("page_g4.tif", &mono, 3), L_SUCCESS); /* no 3-bit bitmaps: the next depth */
    EXPECT_EQ(mono->BitsPerPixel, 4);
}

TEST(Outside, FilesLoadByUtf16WindowsNames)
{
    ScratchRoot root;
    std::filesystem::create_directories(root.driveC("novarc/RecentScans"));
    std::filesystem::copy_file(OutsidePath("page_g4.tif"),
                               root.driveC("novarc/RecentScans/Zo\xEB.tif"));
    Bitmap b, missing;
    ASSERT_EQ(L_LoadBitmap(U16("c:\\Novarc\\recentscans\\Zo\xEB.TIF").c_str(), &b.h,
                           sizeof(BITMAPHANDLE), 0, 1),
              L_SUCCESS);
    ExpectPage(b);
    EXPECT_EQ(L_LoadBitmap(U16("c:\\novarc\\RecentScans\\none.tif").c_str(), &missing.h,
                           sizeof(BITMAPHANDLE), 0, 0),
              L_ERR_FILE_NOT_FOUND);
    const std::u16string outsideCp1252 = u"c:\\novarc\\\u4E2D.tif";
    EXPECT_EQ(L_LoadBitmap(outsideCp1252.c_str(), &missing.h, sizeof(BITMAPHANDLE), 0, 0),
              L_ERR_FILE_NOT_FOUND);
}

TEST(Outside, DamagedAndForeignFilesFailTheLoadOnly)
{
    std::map<std::string, std::vector<unsigned char>> cases;
    std::vector<unsigned char> g4 = ReadBytes(OutsidePath("page_g4.tif"));
    cases["cut TIFF"] = std::vector<unsigned char>(g4.begin(), g4.begin() + g4.size() / 2);
    std::vector<unsigned char> jpg = ReadBytes(OutsidePath("colour.jpg"));
    cases["cut JPEG"] = std::vector<unsigned char>(jpg.begin(), jpg.begin() + 40);
    cases["text"] = std::vector<unsigned char>(64, 'x');
    cases["GIF"] = {'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0, 0, 0, 0, 0, 0, 0};
    /* A BMP header claiming 100000 x 100000 pixels. */
    std::vector<unsigned char> huge = ReadBytes(OutsidePath("small.bmp"));
    for (int i : {18, 22}) {
        huge[i] = 0xA0, huge[i + 1] = 0x86, huge[i + 2] = 0x01, huge[i + 3] = 0;
    }
    cases["huge BMP"] = huge;
    for (auto &[what, data] : cases) {
        Bitmap b;
        const INT rc = L_LoadMemory(data.data(), &b.h, sizeof(BITMAPHANDLE), 0, 0,
                                    static_cast<DWORD>(data.size()));
        EXPECT_LT(rc, 0) << what;
        EXPECT_FALSE(b->Flags & L_BITMAP_ALLOCATED) << what;
    }
    Bitmap b;
    EXPECT_EQ(L_LoadMemory(jpg.data(), &b.h, 100, 0, 0, static_cast<DWORD>(jpg.size())),
              L_ERR_INVALID_PARAMETER)
        << "wrong structure size";
    EXPECT_EQ(L_PreLoadFilters(4, 4, "BMP,J2K,JPG,TIF"), L_SUCCESS);
    EXPECT_EQ(L_PreLoadFilters(4, 4, "BMP,GIF"), L_ERR_INVALID_PARAMETER);
}
