/*
 * Bitmaps changed in memory: rotations, perspectives, trims, sizes,
 * depths, fills, combining and filters, each checked on pixels; saving
 * checked by outside tools reading what we wrote; handles that hold no
 * image refused.
 */
#include "imaging_test_util.h"

#include <windows.h>

#include <cstring>
#include <filesystem>

using namespace imagingtest;

namespace {

constexpr std::uint32_t kRed = 0xFF0000, kGreen = 0x00FF00, kBlue = 0x0000FF, kWhite = 0xFFFFFF,
                        kBlack = 0x000000;

COLORREF Ref(std::uint32_t rgb)
{
    return RGB(rgb >> 16, (rgb >> 8) & 255, rgb & 255);
}

/* w x h white 24-bit bitmap, red at the top-left pixel, green top-right,
 * blue bottom-left. */
void Corners(Bitmap &b, int w, int h)
{
    ASSERT_EQ(L_CreateBitmap(&b.h, sizeof(BITMAPHANDLE), w, h, 24), L_SUCCESS);
    ASSERT_EQ(L_FillBitmap(&b.h, Ref(kWhite)), L_SUCCESS);
    L_PutPixelColor(&b.h, 0, 0, Ref(kRed));
    L_PutPixelColor(&b.h, 0, w - 1, Ref(kGreen));
    L_PutPixelColor(&b.h, h - 1, 0, Ref(kBlue));
}

} // namespace

TEST(Rotate, QuarterTurnsMovePixelsClockwiseForPositiveAngles)
{
    Bitmap b;
    Corners(b, 4, 3);
    ASSERT_EQ(L_RotateBitmap(&b.h, 9000, L_ROTATE_RESIZE, Ref(kWhite)), L_SUCCESS);
    ASSERT_EQ(b->Width, 3);
    ASSERT_EQ(b->Height, 4);
    EXPECT_EQ(At(&b.h, 2, 0), kRed);   /* top-left went top-right */
    EXPECT_EQ(At(&b.h, 2, 3), kGreen); /* top-right went bottom-right */
    EXPECT_EQ(At(&b.h, 0, 0), kBlue);  /* bottom-left went top-left */
    ASSERT_EQ(L_RotateBitmap(&b.h, -9000, L_ROTATE_RESIZE, Ref(kWhite)), L_SUCCESS);
    EXPECT_EQ(At(&b.h, 0, 0), kRed);
    ASSERT_EQ(L_RotateBitmap(&b.h, 18000, 0, Ref(kWhite)), L_SUCCESS);
    EXPECT_EQ(b->Width, 4);
    EXPECT_EQ(At(&b.h, 3, 2), kRed);
    EXPECT_EQ(At(&b.h, 3, 0), kBlue);
}

TEST(Rotate, AnyAngleGrowsToHoldThePictureAndFillsTheCorners)
{
    Bitmap b;
    ASSERT_EQ(L_CreateBitmap(&b.h, sizeof(BITMAPHANDLE), 200, 100, 1), L_SUCCESS);
    ASSERT_EQ(L_FillBitmap(&b.h, Ref(kBlack)), L_SUCCESS);
    ASSERT_EQ(L_RotateBitmap(&b.h, 4500, L_ROTATE_RESIZE, Ref(kRed)), L_SUCCESS);
    /* 200 cos 45 + 100 sin 45 = 212.1 */
    EXPECT_NEAR(b->Width, 213, 1);
    EXPECT_NEAR(b->Height, 213, 1);
    EXPECT_EQ(b->BitsPerPixel, 24) << "a red fill needs colour";
    EXPECT_EQ(At(&b.h, 0, 0), kRed);
    EXPECT_EQ(At(&b.h, b->Width / 2, b->Height / 2), kBlack);
    Bitmap same;
    Corners(same, 100, 60);
    ASSERT_EQ(L_RotateBitmap(&same.h, 3000, 0, Ref(kWhite)), L_SUCCESS);
    EXPECT_EQ(same->Width, 100) << "without L_ROTATE_RESIZE the size stays";
    EXPECT_EQ(same->Height, 60);
}

TEST(ViewPerspective, ChangingItKeepsThePictureAndSwapsTheStoredSize)
{
    Bitmap b, turned;
    Corners(b, 4, 3);
    for (int view = L_TOP_LEFT; view <= L_LEFT_BOTTOM; view++) {
        SCOPED_TRACE(view);
        ASSERT_EQ(L_ChangeBitmapViewPerspective(&turned.h, &b.h, view), L_SUCCESS);
        EXPECT_EQ(turned->ViewPerspective, view);
        EXPECT_EQ(turned->Width, view >= L_LEFT_TOP ? 3 : 4) << "stored columns";
        EXPECT_EQ(At(&turned.h, 0, 0), kRed) << "shown the same";
        EXPECT_EQ(At(&turned.h, 3, 0), kGreen);
        EXPECT_EQ(At(&turned.h, 0, 2), kBlue);
        L_FreeBitmap(&turned.h);
    }
    ASSERT_EQ(L_ChangeBitmapViewPerspective(nullptr, &b.h, L_RIGHT_TOP), L_SUCCESS);
    ASSERT_EQ(L_ChangeBitmapViewPerspective(nullptr, &b.h, L_TOP_LEFT), L_SUCCESS);
    EXPECT_EQ(b->Width, 4);
    EXPECT_EQ(At(&b.h, 3, 0), kGreen);
    EXPECT_EQ(L_ChangeBitmapViewPerspective(nullptr, &b.h, 9), L_ERR_INVALID_PARAMETER);
}

TEST(Trim, ExplicitAndAutomaticTrimsKeepTheContent)
{
    /* A scan: grey scanner border 10 pixels wide around a white page with
     * a black mark. */
    Bitmap b;
    ASSERT_EQ(L_CreateBitmap(&b.h, sizeof(BITMAPHANDLE), 120, 90, 24), L_SUCCESS);
    L_FillBitmap(&b.h, RGB(90, 90, 90));
    Bitmap page;
    ASSERT_EQ(L_CreateBitmap(&page.h, sizeof(BITMAPHANDLE), 100, 70, 24), L_SUCCESS);
    L_FillBitmap(&page.h, Ref(kWhite));
    L_PutPixelColor(&page.h, 5, 5, Ref(kBlack));
    ASSERT_EQ(L_CombineBitmap(&b.h, 10, 10, 100, 70, &page.h, 0, 0, 0x1111), L_SUCCESS);
    RECT r{};
    ASSERT_EQ(L_GetAutoTrimRect(&b.h, 70, &r), L_SUCCESS);
    EXPECT_EQ(r.left, 10);
    EXPECT_EQ(r.top, 10);
    EXPECT_EQ(r.right, 110);
    EXPECT_EQ(r.bottom, 80);
    Bitmap smoothed;
    ASSERT_EQ(L_CopyBitmap(&smoothed.h, &b.h, sizeof(BITMAPHANDLE)), L_SUCCESS);
    ASSERT_EQ(L_AverageFilterBitmap(&smoothed.h, 10), L_SUCCESS);
    ASSERT_EQ(L_GetAutoTrimRect(&smoothed.h, 70, &r), L_SUCCESS);
    EXPECT_NEAR(r.left, 10, 5) << "the smoothed edge moves a little";
    ASSERT_EQ(L_TrimBitmap(&b.h, 10, 10, 100, 70), L_SUCCESS);
    EXPECT_EQ(b->Width, 100);
    EXPECT_EQ(At(&b.h, 5, 5), kBlack);
    EXPECT_EQ(L_TrimBitmap(&b.h, 500, 500, 10, 10), L_ERR_INVALID_PARAMETER);

    Bitmap mono; /* a 1-bit page with a white margin trims to its ink */
    ASSERT_EQ(L_CreateBitmap(&mono.h, sizeof(BITMAPHANDLE), 64, 64, 1), L_SUCCESS);
    L_FillBitmap(&mono.h, Ref(kWhite));
    for (int y = 20; y < 30; y++)
        for (int x = 8; x < 40; x++)
            L_PutPixelColor(&mono.h, y, x, Ref(kBlack));
    ASSERT_EQ(L_AutoTrimBitmap(&mono.h, 0), L_SUCCESS);
    EXPECT_EQ(mono->Width, 32);
    EXPECT_EQ(mono->Height, 10);
}

TEST(Size, ResizeAndColourResolutionKeepWhatTheCallerSees)
{
    Bitmap b;
    Corners(b, 40, 30);
    ASSERT_EQ(L_SizeBitmap(&b.h, 80, 60, 0), L_SUCCESS);
    EXPECT_EQ(b->Width, 80);
    EXPECT_EQ(At(&b.h, 0, 0), kRed) << "the nearest pixel";
    EXPECT_EQ(At(&b.h, 78, 0), kGreen);
    Bitmap small;
    ASSERT_EQ(L_CreateBitmap(&small.h, sizeof(BITMAPHANDLE), 20, 15, 8), L_SUCCESS);
    ASSERT_EQ(L_ResizeBitmap(&b.h, &small.h), L_SUCCESS);
    EXPECT_EQ(small->Width, 20);
    EXPECT_EQ(small->BitsPerPixel, 8);
    ASSERT_EQ(L_ColorResBitmap(&b.h, nullptr, sizeof(BITMAPHANDLE), 1, 0), L_SUCCESS);
    EXPECT_EQ(b->BitsPerPixel, 1);
    EXPECT_EQ(b->BytesPerLine, 12);
    EXPECT_EQ(At(&b.h, 40, 30), kWhite);
    EXPECT_EQ(At(&b.h, 0, 59), kBlack) << "blue is dark";
    Bitmap colour;
    ASSERT_EQ(L_ColorResBitmap(&b.h, &colour.h, sizeof(BITMAPHANDLE), 24, 0), L_SUCCESS);
    EXPECT_EQ(colour->BitsPerPixel, 24);
    EXPECT_EQ(colour->Size, static_cast<DWORD>(colour->BytesPerLine) * 60);
    EXPECT_EQ(L_SizeBitmap(&b.h, 70000, 10, 0), L_ERR_TOO_LARGE);
}

TEST(Pixels, GetAndPutFollowTheDepthAndRefuseOutsidePositions)
{
    for (int bpp : {1, 4, 8, 24}) {
        SCOPED_TRACE(bpp);
        Bitmap b;
        ASSERT_EQ(L_CreateBitmap(&b.h, sizeof(BITMAPHANDLE), 9, 5, bpp), L_SUCCESS);
        EXPECT_EQ(At(&b.h, 8, 4), kBlack) << "a new bitmap is black";
        ASSERT_EQ(L_PutPixelColor(&b.h, 4, 8, Ref(kWhite)), L_SUCCESS);
        EXPECT_EQ(At(&b.h, 8, 4), kWhite);
        EXPECT_EQ(L_GetPixelColor(&b.h, 5, 0), CLR_INVALID);
        EXPECT_EQ(L_GetPixelColor(&b.h, 0, -1), CLR_INVALID);
        EXPECT_EQ(L_PutPixelColor(&b.h, 0, 9, 0), L_ERR_INVALID_PARAMETER);
    }
}

TEST(Combine, CopyAndDarkerPlaceTheSourceClippedToBoth)
{
    Bitmap form, sig;
    ASSERT_EQ(L_CreateBitmap(&form.h, sizeof(BITMAPHANDLE), 50, 40, 24), L_SUCCESS);
    L_FillBitmap(&form.h, Ref(kRed));
    ASSERT_EQ(L_CreateBitmap(&sig.h, sizeof(BITMAPHANDLE), 20, 10, 1), L_SUCCESS);
    L_FillBitmap(&sig.h, Ref(kWhite));
    L_PutPixelColor(&sig.h, 0, 0, Ref(kBlack));
    ASSERT_EQ(L_CombineBitmap(&form.h, 40, 35, 20, 10, &sig.h, 0, 0, L_CB_OP_AND), L_SUCCESS);
    EXPECT_EQ(At(&form.h, 40, 35), kBlack);
    EXPECT_EQ(At(&form.h, 41, 35), kRed) << "white leaves the form";
    ASSERT_EQ(L_CombineBitmap(&form.h, 0, 0, 20, 10, &sig.h, 0, 0, 800), L_SUCCESS);
    EXPECT_EQ(At(&form.h, 1, 0), kWhite) << "a copy replaces";
    EXPECT_EQ(At(&form.h, 0, 0), kBlack);
    EXPECT_EQ(form->Width, 50);
}

TEST(Filters, SharpenAndAverageChangeEdgesNotFlatAreas)
{
    Bitmap b;
    ASSERT_EQ(L_CreateBitmap(&b.h, sizeof(BITMAPHANDLE), 40, 20, 8), L_SUCCESS);
    L_FillBitmap(&b.h, RGB(128, 128, 128));
    for (int y = 0; y < 20; y++)
        for (int x = 20; x < 40; x++)
            L_PutPixelColor(&b.h, y, x, RGB(200, 200, 200));
    Bitmap sharp;
    L_CopyBitmap(&sharp.h, &b.h, sizeof(BITMAPHANDLE));
    ASSERT_EQ(L_SharpenBitmap(&sharp.h, 900), L_SUCCESS);
    EXPECT_LT(GetRValue(L_GetPixelColor(&sharp.h, 10, 19)), 128) << "dark side of the edge darker";
    EXPECT_GT(GetRValue(L_GetPixelColor(&sharp.h, 10, 20)), 200);
    EXPECT_EQ(GetRValue(L_GetPixelColor(&sharp.h, 10, 5)), 128);
    ASSERT_EQ(L_AverageFilterBitmap(&b.h, 5), L_SUCCESS);
    const int edge = GetRValue(L_GetPixelColor(&b.h, 10, 20));
    EXPECT_GT(edge, 128);
    EXPECT_LT(edge, 200);
}

TEST(Save, OutsideToolsReadWhatWeWrite)
{
    ScratchRoot root;
    Bitmap b;
    Corners(b, 64, 48);
    const std::string dir = root.driveC("out");
    std::filesystem::create_directories(dir);
    ASSERT_EQ(L_SaveBitmap(U16("c:\\out\\sig.tif").c_str(), &b.h, L_FMT_TIF_G4, 1, 0, 0),
              L_SUCCESS);
    int status = 0;
    const std::string info = RunCommand("tiffinfo " + dir + "/sig.tif 2>&1", &status);
    EXPECT_NE(info.find("CCITT Group 4"), std::string::npos) << info;
    EXPECT_NE(info.find("Image Width: 64 Image Length: 48"), std::string::npos) << info;
    ASSERT_EQ(L_SaveBitmap(U16("c:\\out\\x.jpg").c_str(), &b.h, L_FMT_JPEG, 0, 90, 0), L_SUCCESS);
    const std::string ppm = RunCommand("djpeg -pnm " + dir + "/x.jpg | head -c 15", &status);
    EXPECT_EQ(ppm.substr(0, 9), "P6\n64 48\n");
    for (INT format : {L_FMT_BMP, L_FMT_PNG, L_FMT_TIF_LZW, L_FMT_JP2}) {
        HGLOBAL block = nullptr;
        DWORD size = 0;
        ASSERT_EQ(L_SaveBitmapMemory(&block, &b.h, format, 0, 0, &size), L_SUCCESS) << format;
        EXPECT_EQ(GlobalSize(block), size);
        Bitmap again;
        ASSERT_EQ(L_LoadMemory(static_cast<const BYTE *>(GlobalLock(block)), &again.h,
                               sizeof(BITMAPHANDLE), 0, 0, size),
                  L_SUCCESS)
            << format;
        EXPECT_EQ(At(&again.h, 63, 0), kGreen) << format;
        GlobalUnlock(block);
        GlobalFree(block);
    }
    EXPECT_EQ(L_SaveBitmap(U16("c:\\out\\x.gif").c_str(), &b.h, 77, 0, 0, 0),
              L_ERR_INVALID_PARAMETER);
    EXPECT_FALSE(std::filesystem::exists(dir + "/x.gif"));
}

TEST(Handles, OnesHoldingNoImageAreRefusedNotFollowed)
{
    Bitmap b, copy;
    Corners(b, 4, 4);
    BITMAPHANDLE stale = b.h; /* a copy of the structure, then freed */
    L_FreeBitmap(&b.h);
    EXPECT_FALSE(b->Flags & L_BITMAP_ALLOCATED);
    EXPECT_EQ(L_FillBitmap(&stale, 0), L_ERR_NO_BITMAP);
    L_FreeBitmap(&stale); /* nothing left to free */
    BITMAPHANDLE garbage;
    std::memset(&garbage, 0xA5, sizeof garbage);
    garbage.uStructSize = sizeof garbage;
    EXPECT_EQ(L_CopyBitmap(&copy.h, &garbage, sizeof(BITMAPHANDLE)), L_ERR_NO_BITMAP);
    EXPECT_EQ(L_AccessBitmap(nullptr), L_ERR_INVALID_PARAMETER);
    EXPECT_EQ(L_GetPixelColor(&garbage, 0, 0), CLR_INVALID);
}
