/*
 * Filters and combining ("Ltimgefxu.dll") and border trimming
 * ("ltimgcoru.dll").  Each works on the bitmap as shown.
 */
#include "bitmap.h"

#include <algorithm>
#include <cstdlib>
#include <utility>

namespace imaging {
namespace {

/* 8-bit grey or 32-bit colour, the depths Leptonica's filters take. */
PixPtr Filterable(Pix *pix)
{
    const int depth = pixGetDepth(pix);
    if (depth == 32)
        return PixPtr(pixClone(pix));
    if (pixGetColormap(pix))
        return PixPtr(pixConvertTo32(pix));
    return PixPtr(pixConvertTo8(pix, FALSE));
}

/* How far a shown pixel is from the border colour: the largest channel
 * difference, 0 to 255. */
class BorderDistance {
public:
    explicit BorderDistance(Pix *work) : pix_(work), data_(pixGetData(work)), wpl_(pixGetWpl(work))
    {
        border_ = Value(0, 0);
    }
    int operator()(int x, int y) const
    {
        const l_uint32 v = Value(x, y);
        if (pixGetDepth(pix_) == 8)
            return std::abs(static_cast<int>(v) - static_cast<int>(border_));
        int far = 0;
        for (int shift : {24, 16, 8})
            far = std::max(far, std::abs(static_cast<int>((v >> shift) & 0xFF) -
                                         static_cast<int>((border_ >> shift) & 0xFF)));
        return far;
    }

private:
    l_uint32 Value(int x, int y) const
    {
        const l_uint32 *line = data_ + static_cast<long>(y) * wpl_;
        return pixGetDepth(pix_) == 8 ? GET_DATA_BYTE(line, x) : line[x];
    }
    Pix *pix_;
    l_uint32 *data_;
    int wpl_;
    l_uint32 border_;
};

/* The smallest rectangle holding every pixel farther than `threshold` from
 * the corner's colour; the whole bitmap when there is none. */
RECT TrimRect(Pix *shown, UINT threshold)
{
    const int w = pixGetWidth(shown), h = pixGetHeight(shown);
    RECT all{0, 0, w, h};
    PixPtr work = Filterable(shown);
    if (!work)
        return all;
    BorderDistance distance(work.get());
    const int limit = static_cast<int>(std::min<UINT>(threshold, 255));
    auto rowDiffers = [&](int y) {
        for (int x = 0; x < w; x++)
            if (distance(x, y) > limit)
                return true;
        return false;
    };
    int top = 0, bottom = h - 1;
    while (top < h && !rowDiffers(top))
        top++;
    if (top == h)
        return all;
    while (bottom > top && !rowDiffers(bottom))
        bottom--;
    auto columnDiffers = [&](int x) {
        for (int y = top; y <= bottom; y++)
            if (distance(x, y) > limit)
                return true;
        return false;
    };
    int left = 0, right = w - 1;
    while (left < right && !columnDiffers(left))
        left++;
    while (right > left && !columnDiffers(right))
        right--;
    return RECT{left, top, right + 1, bottom + 1};
}

INT CombineOp(UINT flags, Pix *dst, Pix *src)
{
    const UINT op = flags & L_CB_OP_MASK;
    if (op == L_CB_OP_COPY)
        return pixRasterop(dst, 0, 0, pixGetWidth(src), pixGetHeight(src), PIX_SRC, src, 0, 0) == 0
                   ? L_SUCCESS
                   : L_ERR_FAILURE;
    if (op != L_CB_OP_AND && op != L_CB_OP_OR)
        return L_ERR_INVALID_PARAMETER;
    const bool darker = op == L_CB_OP_AND;
    if (pixGetDepth(dst) == 1) /* 1 is black: darker is either one black */
        return pixRasterop(dst, 0, 0, pixGetWidth(src), pixGetHeight(src),
                           darker ? (PIX_SRC | PIX_DST) : (PIX_SRC & PIX_DST), src, 0, 0) == 0
                   ? L_SUCCESS
                   : L_ERR_FAILURE;
    return pixMinOrMax(dst, dst, src, darker ? L_CHOOSE_MIN : L_CHOOSE_MAX) ? L_SUCCESS
                                                                            : L_ERR_FAILURE;
}

} // namespace
} // namespace imaging

using namespace imaging;

/* L_AverageFilterBitmap: each pixel becomes the mean of the nDim x nDim
 * square around it (1-bit and palette pictures become grey or colour). */
extern "C" INT WINAPI L_AverageFilterBitmap(pBITMAPHANDLE pBitmap, INT nDim)
{
    INT rc = L_SUCCESS;
    Image *image = ImageOf(pBitmap, &rc);
    if (!image)
        return rc;
    if (nDim < 1 || nDim > 255)
        return L_ERR_INVALID_PARAMETER;
    if (nDim == 1)
        return L_SUCCESS;
    if ((rc = Normalise(*image)) != L_SUCCESS)
        return rc;
    PixPtr work = Filterable(image->pix.get());
    const int half = nDim / 2;
    PixPtr smooth(work ? pixBlockconv(work.get(), half, half) : nullptr);
    if (!smooth)
        return L_ERR_NO_MEMORY;
    ReplacePix(*image, std::move(smooth), image->bpp);
    Publish(pBitmap);
    return L_SUCCESS;
}

/* L_SharpenBitmap: nSharpness from -1000 (softest) to 1000 (sharpest);
 * 0 changes nothing. */
extern "C" INT WINAPI L_SharpenBitmap(pBITMAPHANDLE pBitmap, INT nSharpness)
{
    INT rc = L_SUCCESS;
    Image *image = ImageOf(pBitmap, &rc);
    if (!image)
        return rc;
    if (nSharpness < -1000 || nSharpness > 1000)
        return L_ERR_INVALID_PARAMETER;
    if (nSharpness == 0)
        return L_SUCCESS;
    if ((rc = Normalise(*image)) != L_SUCCESS)
        return rc;
    PixPtr work = Filterable(image->pix.get());
    if (!work)
        return L_ERR_NO_MEMORY;
    const l_float32 amount = std::abs(nSharpness) / 1000.0f;
    PixPtr result;
    if (nSharpness > 0) {
        result.reset(pixUnsharpMasking(work.get(), 1, amount));
    } else {
        PixPtr soft(pixBlockconv(work.get(), 1, 1));
        result.reset(soft ? pixBlend(work.get(), soft.get(), 0, 0, amount) : nullptr);
    }
    if (!result)
        return L_ERR_NO_MEMORY;
    ReplacePix(*image, std::move(result), image->bpp);
    Publish(pBitmap);
    return L_SUCCESS;
}

/* L_CombineBitmap: puts the nWidth x nHeight rectangle of pSrc at
 * (nXSrc, nYSrc) onto pDst at (nXDst, nYDst), clipped to both, converted
 * to pDst's depth; the operation is in uFlags' L_CB_OP_* field. */
extern "C" INT WINAPI L_CombineBitmap(pBITMAPHANDLE pDst, INT nXDst, INT nYDst, INT nWidth,
                                      INT nHeight, pBITMAPHANDLE pSrc, INT nXSrc, INT nYSrc,
                                      UINT uFlags)
{
    INT rc = L_SUCCESS;
    Image *dst = ImageOf(pDst, &rc);
    Image *src = dst ? ImageOf(pSrc, &rc) : nullptr;
    if (!dst || !src)
        return rc;
    if (nWidth <= 0 || nHeight <= 0 || nXSrc < 0 || nYSrc < 0)
        return L_ERR_INVALID_PARAMETER;
    /* Clip to both bitmaps. */
    if (nXDst < 0)
        nWidth += nXDst, nXSrc -= nXDst, nXDst = 0;
    if (nYDst < 0)
        nHeight += nYDst, nYSrc -= nYDst, nYDst = 0;
    nWidth = std::min({nWidth, ShownWidth(*dst) - nXDst, ShownWidth(*src) - nXSrc});
    nHeight = std::min({nHeight, ShownHeight(*dst) - nYDst, ShownHeight(*src) - nYSrc});
    if (nWidth <= 0 || nHeight <= 0)
        return L_SUCCESS; /* nothing overlaps: nothing to do */
    PixPtr shownSrc = ShownPix(*src);
    if (!shownSrc || (rc = Normalise(*dst)) != L_SUCCESS)
        return shownSrc ? rc : L_ERR_NO_MEMORY;
    if (pixGetColormap(dst->pix.get())) {
        PixPtr colour(pixConvertTo32(dst->pix.get()));
        if (!colour)
            return L_ERR_NO_MEMORY;
        ReplacePix(*dst, std::move(colour));
    }
    BOX *box = boxCreate(nXSrc, nYSrc, nWidth, nHeight);
    PixPtr part(box ? pixClipRectangle(shownSrc.get(), box, nullptr) : nullptr);
    boxDestroy(&box);
    int reported = 0;
    PixPtr matched = part ? ConvertDepth(part.get(), dst->bpp, false, &reported) : nullptr;
    box = boxCreate(nXDst, nYDst, nWidth, nHeight);
    PixPtr under(box && matched ? pixClipRectangle(dst->pix.get(), box, nullptr) : nullptr);
    boxDestroy(&box);
    if (!under)
        return L_ERR_NO_MEMORY;
    if ((rc = CombineOp(uFlags, under.get(), matched.get())) != L_SUCCESS)
        return rc;
    dst->Touch();
    pixRasterop(dst->pix.get(), nXDst, nYDst, nWidth, nHeight, PIX_SRC, under.get(), 0, 0);
    Publish(pDst);
    return L_SUCCESS;
}

/* L_GetAutoTrimRect: the rectangle (right and bottom exclusive) outside
 * which every pixel is within uThreshold (0-255, per channel) of the
 * top-left corner's colour: the border a scanner leaves. */
extern "C" INT WINAPI L_GetAutoTrimRect(pBITMAPHANDLE pBitmap, UINT uThreshold, RECT *prcTrim)
{
    INT rc = L_SUCCESS;
    Image *image = ImageOf(pBitmap, &rc);
    if (!image)
        return rc;
    if (!prcTrim)
        return L_ERR_INVALID_PARAMETER;
    PixPtr shown = ShownPix(*image);
    if (!shown)
        return L_ERR_NO_MEMORY;
    *prcTrim = TrimRect(shown.get(), uThreshold);
    return L_SUCCESS;
}

/* L_AutoTrimBitmap: trims the bitmap to L_GetAutoTrimRect's rectangle. */
extern "C" INT WINAPI L_AutoTrimBitmap(pBITMAPHANDLE pBitmap, UINT uThreshold)
{
    RECT rect;
    INT rc = L_GetAutoTrimRect(pBitmap, uThreshold, &rect);
    if (rc != L_SUCCESS)
        return rc;
    return L_TrimBitmap(pBitmap, rect.left, rect.top, rect.right - rect.left,
                        rect.bottom - rect.top);
}
