/*
 * Geometry of "ltkrnu.dll": rotating, resizing and trimming.  Each works
 * on the bitmap as shown and leaves it stored as shown (L_TOP_LEFT).
 */
#include "bitmap.h"

#include <cmath>
#include <utility>

namespace imaging {
namespace {

bool SizeAllowed(long long w, long long h)
{
    return w > 0 && h > 0 && w <= kMaxSide && h <= kMaxSide && w * h <= kMaxPixels;
}

/* A Pix of w x h filled with `value`, with `pix` centred in it (cut when
 * larger). */
PixPtr Centred(Pix *pix, int w, int h, l_uint32 value)
{
    PixPtr canvas(pixCreate(w, h, pixGetDepth(pix)));
    if (!canvas)
        return nullptr;
    if (PIXCMAP *cmap = pixGetColormap(pix))
        pixSetColormap(canvas.get(), pixcmapCopy(cmap));
    pixCopyResolution(canvas.get(), pix);
    pixSetAllArbitrary(canvas.get(), value);
    const int dx = (w - pixGetWidth(pix)) / 2, dy = (h - pixGetHeight(pix)) / 2;
    pixRasterop(canvas.get(), dx, dy, pixGetWidth(pix), pixGetHeight(pix), PIX_SRC, pix, 0, 0);
    return canvas;
}

/* Rotates by a quarter-turn multiple, exactly. */
PixPtr RotateQuarters(Pix *pix, int quarters, bool resize, l_uint32 fill)
{
    PixPtr turned(pixRotateOrth(pix, quarters));
    if (!turned || resize || quarters % 2 == 0)
        return turned;
    return Centred(turned.get(), pixGetWidth(pix), pixGetHeight(pix), fill);
}

/* Rotates by any angle about the centre.  The picture is first placed in a
 * square of the fill colour as wide as the result's diagonal, so whatever
 * the turn uncovers inside the result is that colour (Leptonica itself
 * brings in only white or black), then the result is cut from the middle. */
PixPtr RotateFree(Pix *pix, double radians, bool resize, bool resample, l_uint32 fill)
{
    const int w = pixGetWidth(pix), h = pixGetHeight(pix);
    int cw = w, ch = h;
    if (resize) {
        const double c = std::fabs(std::cos(radians)), s = std::fabs(std::sin(radians));
        cw = static_cast<int>(std::ceil(w * c + h * s - 1e-6));
        ch = static_cast<int>(std::ceil(w * s + h * c - 1e-6));
    }
    const int side = static_cast<int>(std::ceil(std::hypot(cw, ch))) + 2;
    if (!SizeAllowed(cw, ch) || !SizeAllowed(side, side))
        return nullptr;
    PixPtr canvas = Centred(pix, side, side, fill);
    if (!canvas)
        return nullptr;
    const l_int32 type = resample ? L_ROTATE_AREA_MAP : L_ROTATE_SAMPLING;
    PixPtr turned(
        pixRotate(canvas.get(), static_cast<l_float32>(radians), type, L_BRING_IN_WHITE, 0, 0));
    return turned ? Centred(turned.get(), cw, ch, fill) : nullptr;
}

} // namespace
} // namespace imaging

using namespace imaging;

/* L_RotateBitmap: turns the picture by nAngle hundredths of a degree,
 * clockwise as shown for positive angles.  With L_ROTATE_RESIZE the bitmap
 * grows to hold the whole picture, else it keeps its size (the picture cut
 * at the edges); uncovered parts take crFill.  Quarter turns are exact;
 * other angles sample, or interpolate with L_ROTATE_RESAMPLE. */
extern "C" INT WINAPI L_RotateBitmap(pBITMAPHANDLE pBitmap, INT nAngle, UINT uFlags,
                                     COLORREF crFill)
{
    INT rc = L_SUCCESS;
    Image *image = ImageOf(pBitmap, &rc);
    if (!image)
        return rc;
    const int angle = ((nAngle % 36000) + 36000) % 36000;
    if (angle == 0)
        return L_SUCCESS;
    if ((rc = Normalise(*image)) != L_SUCCESS)
        return rc;
    const bool resize = uFlags & L_ROTATE_RESIZE;
    PixPtr turned;
    if (angle % 9000 == 0) {
        turned = RotateQuarters(image->pix.get(), angle / 9000, resize,
                                PixValueOf(image->pix.get(), crFill));
    } else {
        /* A colour that is neither white nor black needs room for it. */
        const COLORREF rgb = crFill & 0xFFFFFF;
        const bool plain = rgb == RGB(255, 255, 255) || rgb == RGB(0, 0, 0);
        if (!plain && pixGetDepth(image->pix.get()) != 32) {
            PixPtr colour(pixConvertTo32(image->pix.get()));
            if (!colour)
                return L_ERR_NO_MEMORY;
            ReplacePix(*image, std::move(colour));
        }
        turned = RotateFree(image->pix.get(), angle * M_PI / 18000.0, resize,
                            uFlags & L_ROTATE_RESAMPLE, PixValueOf(image->pix.get(), crFill));
    }
    if (!turned)
        return L_ERR_NO_MEMORY;
    ReplacePix(*image, std::move(turned), image->bpp);
    Publish(pBitmap);
    return L_SUCCESS;
}

/* L_SizeBitmap: scales to nWidth x nHeight, by the nearest pixel or, with
 * L_SIZE_RESAMPLE, smoothly (a 1-bit picture reduced smoothly becomes
 * 8-bit grey). */
extern "C" INT WINAPI L_SizeBitmap(pBITMAPHANDLE pBitmap, INT nWidth, INT nHeight, UINT uFlags)
{
    INT rc = L_SUCCESS;
    Image *image = ImageOf(pBitmap, &rc);
    if (!image)
        return rc;
    if (nWidth <= 0 || nHeight <= 0)
        return L_ERR_INVALID_PARAMETER;
    if (!SizeAllowed(nWidth, nHeight))
        return L_ERR_TOO_LARGE;
    if ((rc = Normalise(*image)) != L_SUCCESS)
        return rc;
    Pix *pix = image->pix.get();
    if (pixGetWidth(pix) == nWidth && pixGetHeight(pix) == nHeight)
        return L_SUCCESS;
    const l_float32 sx = static_cast<l_float32>(nWidth) / pixGetWidth(pix);
    const l_float32 sy = static_cast<l_float32>(nHeight) / pixGetHeight(pix);
    PixPtr scaled((uFlags & L_SIZE_RESAMPLE) ? pixScale(pix, sx, sy)
                                             : pixScaleBySampling(pix, sx, sy));
    if (scaled && (pixGetWidth(scaled.get()) != nWidth || pixGetHeight(scaled.get()) != nHeight))
        scaled = Centred(scaled.get(), nWidth, nHeight, 0); /* a rounding pixel, at most */
    if (!scaled)
        return L_ERR_NO_MEMORY;
    ReplacePix(*image, std::move(scaled), image->bpp);
    Publish(pBitmap);
    return L_SUCCESS;
}

/* L_ResizeBitmap: draws pSrc scaled (smoothly) into pDst, which keeps its
 * size and depth. */
extern "C" INT WINAPI L_ResizeBitmap(pBITMAPHANDLE pSrc, pBITMAPHANDLE pDst)
{
    INT rc = L_SUCCESS;
    Image *src = ImageOf(pSrc, &rc);
    Image *dst = src ? ImageOf(pDst, &rc) : nullptr;
    if (!src || !dst)
        return rc;
    PixPtr shown = ShownPix(*src);
    if (!shown)
        return L_ERR_NO_MEMORY;
    const int w = ShownWidth(*dst), h = ShownHeight(*dst);
    PixPtr scaled(pixScaleToSize(shown.get(), w, h));
    int reported = 0;
    PixPtr converted = scaled ? ConvertDepth(scaled.get(), dst->bpp, false, &reported) : nullptr;
    if (!converted)
        return L_ERR_NO_MEMORY;
    dst->view = L_TOP_LEFT;
    ReplacePix(*dst, std::move(converted), reported);
    Publish(pDst);
    return L_SUCCESS;
}

/* L_TrimBitmap: keeps the shown rectangle (clipped to the bitmap; an empty
 * result fails). */
extern "C" INT WINAPI L_TrimBitmap(pBITMAPHANDLE pBitmap, INT nCol, INT nRow, INT nWidth,
                                   INT nHeight)
{
    INT rc = L_SUCCESS;
    Image *image = ImageOf(pBitmap, &rc);
    if (!image)
        return rc;
    if (nWidth <= 0 || nHeight <= 0)
        return L_ERR_INVALID_PARAMETER;
    if ((rc = Normalise(*image)) != L_SUCCESS)
        return rc;
    BOX *box = boxCreate(nCol, nRow, nWidth, nHeight);
    PixPtr part(box ? pixClipRectangle(image->pix.get(), box, nullptr) : nullptr);
    boxDestroy(&box);
    if (!part)
        return L_ERR_INVALID_PARAMETER;
    ReplacePix(*image, std::move(part), image->bpp);
    Publish(pBitmap);
    return L_SUCCESS;
}
