/*
 * The bitmap functions of "ltkrnu.dll": creating, copying and freeing
 * bitmaps, access, view perspectives, colour resolution, fills and single
 * pixels.  Sizes, rotation and trimming are in transform.cpp.
 */
#include "bitmap.h"

#include <utility>

namespace imaging {
namespace {

/* Stored position of a shown pixel (x, y) for a view perspective; the
 * stored Pix is w x h. */
void StoredPosition(int view, int w, int h, int x, int y, int *sx, int *sy)
{
    switch (view) {
    case L_TOP_RIGHT:
        *sx = w - 1 - x, *sy = y;
        break;
    case L_BOTTOM_RIGHT:
        *sx = w - 1 - x, *sy = h - 1 - y;
        break;
    case L_BOTTOM_LEFT:
        *sx = x, *sy = h - 1 - y;
        break;
    case L_LEFT_TOP:
        *sx = y, *sy = x;
        break;
    case L_RIGHT_TOP:
        *sx = y, *sy = h - 1 - x;
        break;
    case L_RIGHT_BOTTOM:
        *sx = w - 1 - y, *sy = h - 1 - x;
        break;
    case L_LEFT_BOTTOM:
        *sx = w - 1 - y, *sy = x;
        break;
    default:
        *sx = x, *sy = y;
        break;
    }
}

/* The stored position of shown (row, col), or false when outside. */
bool PixelAt(const Image &image, INT row, INT col, int *sx, int *sy)
{
    if (row < 0 || col < 0 || col >= ShownWidth(image) || row >= ShownHeight(image))
        return false;
    StoredPosition(image.view, pixGetWidth(image.pix.get()), pixGetHeight(image.pix.get()), col,
                   row, sx, sy);
    return true;
}

/* Where a function writes its result: the source itself, or another handle. */
bool InPlace(const BITMAPHANDLE *src, const BITMAPHANDLE *dst)
{
    return dst == nullptr || dst == src;
}

std::unique_ptr<Image> NewImage(PixPtr pix, int bpp, int view)
{
    auto image = std::make_unique<Image>();
    image->pix = std::move(pix);
    image->bpp = bpp;
    image->view = view;
    return image;
}

} // namespace
} // namespace imaging

using namespace imaging;

/* L_AccessBitmap / L_ReleaseBitmap: brackets for pixel access; counted,
 * never required (pixels can always be read and written). */
extern "C" INT WINAPI L_AccessBitmap(pBITMAPHANDLE pBitmap)
{
    INT rc = L_SUCCESS;
    Image *image = ImageOf(pBitmap, &rc);
    if (image)
        image->accessCount++;
    return rc;
}

extern "C" INT WINAPI L_ReleaseBitmap(pBITMAPHANDLE pBitmap)
{
    INT rc = L_SUCCESS;
    Image *image = ImageOf(pBitmap, &rc);
    if (image && image->accessCount > 0)
        image->accessCount--;
    return rc;
}

/* L_ChangeBitmapViewPerspective: the same picture with its pixels stored
 * in the order nViewPerspective shows them; into pDst, or in place when
 * pDst is null or pSrc. */
extern "C" INT WINAPI L_ChangeBitmapViewPerspective(pBITMAPHANDLE pDst, pBITMAPHANDLE pSrc,
                                                    INT nViewPerspective)
{
    INT rc = L_SUCCESS;
    Image *image = ImageOf(pSrc, &rc);
    if (!image)
        return rc;
    if (nViewPerspective < L_TOP_LEFT || nViewPerspective > L_LEFT_BOTTOM)
        return L_ERR_INVALID_PARAMETER;
    PixPtr pix = Reorient(image->pix.get(), image->view, nViewPerspective);
    if (!pix)
        return L_ERR_NO_MEMORY;
    if (InPlace(pSrc, pDst)) {
        if (nViewPerspective != image->view)
            image->Touch();
        image->pix = std::move(pix);
        image->view = nViewPerspective;
        Publish(pSrc);
        return L_SUCCESS;
    }
    Attach(pDst, NewImage(std::move(pix), image->bpp, nViewPerspective));
    return L_SUCCESS;
}

/* L_ColorResBitmap: converts to nBitsPerPixel (1, 2, 4, 8, 16, 24, 32;
 * other depths up to 32 take the next of these); reducing colour to 8 bits
 * makes a palette, to 1 bit thresholds at mid-grey or, with
 * L_COLORRES_DITHER, dithers.  Into pDst, or in place. */
extern "C" INT WINAPI L_ColorResBitmap(pBITMAPHANDLE pSrc, pBITMAPHANDLE pDst, UINT uStructSize,
                                       INT nBitsPerPixel, UINT uFlags)
{
    INT rc = L_SUCCESS;
    Image *image = ImageOf(pSrc, &rc);
    if (!image)
        return rc;
    if (!ValidStructSize(uStructSize) || nBitsPerPixel <= 0 || nBitsPerPixel > 32)
        return L_ERR_INVALID_PARAMETER;
    int reported = 0;
    PixPtr pix =
        ConvertDepth(image->pix.get(), nBitsPerPixel, uFlags & L_COLORRES_DITHER, &reported);
    if (!pix)
        return L_ERR_NO_MEMORY;
    if (InPlace(pSrc, pDst)) {
        if (reported != image->bpp)
            ReplacePix(*image, std::move(pix), reported);
        Publish(pSrc);
        return L_SUCCESS;
    }
    const bool same = reported == image->bpp;
    PixPtr copy(pixCopy(nullptr, pix.get()));
    if (!copy)
        return L_ERR_NO_MEMORY;
    auto result = NewImage(std::move(copy), reported, image->view);
    if (same)
        result->original = image->original;
    Attach(pDst, std::move(result));
    return L_SUCCESS;
}

/* L_CopyBitmap: a new bitmap with the same pixels, depth and perspective. */
extern "C" INT WINAPI L_CopyBitmap(pBITMAPHANDLE pDst, pBITMAPHANDLE pSrc, UINT uStructSize)
{
    INT rc = L_SUCCESS;
    Image *image = ImageOf(pSrc, &rc);
    if (!image)
        return rc;
    if (!pDst || !ValidStructSize(uStructSize))
        return L_ERR_INVALID_PARAMETER;
    PixPtr pix(pixCopy(nullptr, image->pix.get()));
    if (!pix)
        return L_ERR_NO_MEMORY;
    auto copy = NewImage(std::move(pix), image->bpp, image->view);
    copy->original = image->original;
    Attach(pDst, std::move(copy));
    return L_SUCCESS;
}

/* L_CopyBitmapRect: a new bitmap of the shown rectangle (clipped to the
 * bitmap; an empty result fails), shown as stored. */
extern "C" INT WINAPI L_CopyBitmapRect(pBITMAPHANDLE pDst, pBITMAPHANDLE pSrc, UINT uStructSize,
                                       INT nCol, INT nRow, INT nWidth, INT nHeight)
{
    INT rc = L_SUCCESS;
    Image *image = ImageOf(pSrc, &rc);
    if (!image)
        return rc;
    if (!pDst || !ValidStructSize(uStructSize) || nWidth <= 0 || nHeight <= 0)
        return L_ERR_INVALID_PARAMETER;
    PixPtr shown = ShownPix(*image);
    if (!shown)
        return L_ERR_NO_MEMORY;
    BOX *box = boxCreate(nCol, nRow, nWidth, nHeight);
    PixPtr part(box ? pixClipRectangle(shown.get(), box, nullptr) : nullptr);
    boxDestroy(&box);
    if (!part)
        return L_ERR_INVALID_PARAMETER; /* nothing of the rectangle lies inside */
    Attach(pDst, NewImage(std::move(part), image->bpp, L_TOP_LEFT));
    return L_SUCCESS;
}

/* L_CreateBitmap: a new black bitmap, as a new Windows DIB is. */
extern "C" INT WINAPI L_CreateBitmap(pBITMAPHANDLE pBitmap, UINT uStructSize, INT nWidth,
                                     INT nHeight, INT nBitsPerPixel)
{
    if (!pBitmap || !ValidStructSize(uStructSize) || nWidth <= 0 || nHeight <= 0 ||
        nBitsPerPixel <= 0 || nBitsPerPixel > 32)
        return L_ERR_INVALID_PARAMETER;
    if (nWidth > kMaxSide || nHeight > kMaxSide ||
        static_cast<long long>(nWidth) * nHeight > kMaxPixels)
        return L_ERR_TOO_LARGE;
    const int reported = SupportedDepth(nBitsPerPixel);
    PixPtr pix(pixCreate(nWidth, nHeight, reported >= 16 ? 32 : reported));
    if (!pix)
        return L_ERR_NO_MEMORY;
    if (pixGetDepth(pix.get()) == 1)
        pixSetAll(pix.get()); /* 1 is black in a 1-bit Pix */
    Attach(pBitmap, NewImage(std::move(pix), reported, L_TOP_LEFT));
    return L_SUCCESS;
}

/* L_FillBitmap: every pixel the colour (the nearest one the depth has). */
extern "C" INT WINAPI L_FillBitmap(pBITMAPHANDLE pBitmap, COLORREF crFill)
{
    INT rc = L_SUCCESS;
    Image *image = ImageOf(pBitmap, &rc);
    if (!image)
        return rc;
    image->Touch();
    pixSetAllArbitrary(image->pix.get(), PixValueOf(image->pix.get(), crFill));
    Publish(pBitmap);
    return L_SUCCESS;
}

/* L_FreeBitmap: frees the image; the handle then holds none.  Freeing an
 * empty handle, or a copy of a freed one, does nothing. */
extern "C" void WINAPI L_FreeBitmap(pBITMAPHANDLE pBitmap)
{
    Detach(pBitmap);
}

/* L_GetPixelColor: the colour at shown (row, col); CLR_INVALID outside the
 * bitmap or without one. */
extern "C" COLORREF WINAPI L_GetPixelColor(pBITMAPHANDLE pBitmap, INT nRow, INT nCol)
{
    INT rc = L_SUCCESS;
    Image *image = ImageOf(pBitmap, &rc);
    int x = 0, y = 0;
    l_uint32 value = 0;
    if (!image || !PixelAt(*image, nRow, nCol, &x, &y) ||
        pixGetPixel(image->pix.get(), x, y, &value) != 0)
        return CLR_INVALID;
    return ColorOf(image->pix.get(), value);
}

/* L_PutPixelColor: sets shown (row, col) to the nearest colour the depth has. */
extern "C" INT WINAPI L_PutPixelColor(pBITMAPHANDLE pBitmap, INT nRow, INT nCol, COLORREF crColor)
{
    INT rc = L_SUCCESS;
    Image *image = ImageOf(pBitmap, &rc);
    if (!image)
        return rc;
    int x = 0, y = 0;
    if (!PixelAt(*image, nRow, nCol, &x, &y))
        return L_ERR_INVALID_PARAMETER;
    image->Touch();
    pixSetPixel(image->pix.get(), x, y, PixValueOf(image->pix.get(), crColor));
    pBitmap->Flags &= ~static_cast<DWORD>(L_BITMAP_COMPRESSED);
    return L_SUCCESS;
}
