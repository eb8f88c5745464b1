/*
 * Drawing on a device context ("LTDISU.DLL"): L_PaintDC, L_PrintBitmap,
 * L_PrintBitmapFast and the palette functions.
 *
 * Bitmaps reach the DC through winport's blit from a cairo surface, so the
 * DC's record holds each one as a bitmap operation, raster operations act
 * as BitBlt's do, and a bitmap still holding the bytes of its JPEG,
 * JPEG 2000 or G4 file lands in a PDF page as those bytes.
 */
#include "bitmap.h"
#include "surface.h"

#include <winport_gdi_ext.h>

#include <algorithm>

namespace imaging {
namespace {

/* Whether the DC's open page becomes PDF (drawn into a recording that is
 * written as PDF) rather than pixels. */
bool DrawsPdf(HDC hdc)
{
    cairo_t *cr = winport_gdi_cairo(hdc);
    if (!cr)
        return false;
    const cairo_surface_type_t type = cairo_surface_get_type(cairo_get_target(cr));
    return type == CAIRO_SURFACE_TYPE_RECORDING || type == CAIRO_SURFACE_TYPE_PDF;
}

/* Draws the shown bitmap's `source` rectangle into `dest`. */
INT Paint(HDC hdc, Image &image, Pix *shown, const RECT &source, const RECT &dest, DWORD rop,
          const char *call, bool keepOriginal)
{
    /* Black and white pages copied or ANDed onto the page (nearly every
     * scan) go as a 1-bit mask; everything else as colour. */
    SurfacePtr surface;
    if (rop == SRCCOPY || rop == SRCAND)
        surface = MaskFromPix(shown);
    if (!surface)
        surface = SurfaceFromPix(shown);
    if (!surface)
        return L_ERR_NO_MEMORY;
    if (keepOriginal)
        AttachOriginal(surface.get(), image, DrawsPdf(hdc));
    const BOOL ok = winport_gdi_blit_surface(hdc, call, dest.left, dest.top, dest.right - dest.left,
                                             dest.bottom - dest.top, surface.get(), source.left,
                                             source.top, source.right - source.left,
                                             source.bottom - source.top, image.bpp, rop);
    return ok ? L_SUCCESS : L_ERR_CANNOT_DRAW;
}

RECT Whole(const Image &image)
{
    return RECT{0, 0, ShownWidth(image), ShownHeight(image)};
}

/* The destination of the print functions: the bitmap's own size when no
 * width or height is given. */
RECT PrintRect(const Image &image, INT x, INT y, INT w, INT h)
{
    if (w <= 0 || h <= 0)
        w = ShownWidth(image), h = ShownHeight(image);
    return RECT{x, y, x + w, y + h};
}

} // namespace
} // namespace imaging

using namespace imaging;

/* L_PaintDC: draws the shown bitmap's prcSource rectangle (null: all of it)
 * scaled into prcDest on the DC with dwRop (SRCCOPY, SRCAND, SRCPAINT,
 * SRCINVERT or NOTSRCCOPY).  Scaling takes the nearest pixel unless the
 * DC's stretch mode is HALFTONE. */
extern "C" INT WINAPI L_PaintDC(HDC hDC, pBITMAPHANDLE pBitmap, const RECT *prcSource,
                                const RECT *prcDest, DWORD dwRop)
{
    INT rc = L_SUCCESS;
    Image *image = ImageOf(pBitmap, &rc);
    if (!image)
        return rc;
    if (!hDC || !prcDest)
        return L_ERR_INVALID_PARAMETER;
    const RECT source = prcSource ? *prcSource : Whole(*image);
    if (source.right <= source.left || source.bottom <= source.top)
        return L_ERR_INVALID_PARAMETER;
    PixPtr shown = ShownPix(*image);
    if (!shown)
        return L_ERR_NO_MEMORY;
    return Paint(hDC, *image, shown.get(), source, *prcDest, dwRop, "L_PaintDC", true);
}

/* L_PrintBitmapFast: the whole bitmap into nWidth x nHeight device units at
 * (nX, nY) (the bitmap's own size when either is 0), scaled by the device:
 * a PDF page carries the picture at its own resolution. */
extern "C" INT WINAPI L_PrintBitmapFast(HDC hDC, pBITMAPHANDLE pBitmap, INT nX, INT nY, INT nWidth,
                                        INT nHeight)
{
    INT rc = L_SUCCESS;
    Image *image = ImageOf(pBitmap, &rc);
    if (!image)
        return rc;
    if (!hDC)
        return L_ERR_INVALID_PARAMETER;
    PixPtr shown = ShownPix(*image);
    if (!shown)
        return L_ERR_NO_MEMORY;
    return Paint(hDC, *image, shown.get(), Whole(*image),
                 PrintRect(*image, nX, nY, nWidth, nHeight), SRCCOPY, "L_PrintBitmapFast", true);
}

/* L_PrintBitmap: as L_PrintBitmapFast, but the picture is first resampled
 * smoothly to the device size, for devices that scale poorly.  A device
 * size beyond the library's limit falls back to the device's scaling. */
extern "C" INT WINAPI L_PrintBitmap(HDC hDC, pBITMAPHANDLE pBitmap, INT nX, INT nY, INT nWidth,
                                    INT nHeight)
{
    INT rc = L_SUCCESS;
    Image *image = ImageOf(pBitmap, &rc);
    if (!image)
        return rc;
    if (!hDC)
        return L_ERR_INVALID_PARAMETER;
    const RECT dest = PrintRect(*image, nX, nY, nWidth, nHeight);
    const long long w = dest.right - dest.left, h = dest.bottom - dest.top;
    PixPtr shown = ShownPix(*image);
    if (!shown)
        return L_ERR_NO_MEMORY;
    if (w * h > kMaxPixels || (w == ShownWidth(*image) && h == ShownHeight(*image)))
        return Paint(hDC, *image, shown.get(), Whole(*image), dest, SRCCOPY, "L_PrintBitmap", true);
    PixPtr scaled(pixScaleToSize(shown.get(), static_cast<l_int32>(w), static_cast<l_int32>(h)));
    if (!scaled)
        return L_ERR_NO_MEMORY;
    return Paint(hDC, *image, scaled.get(), RECT{0, 0, static_cast<LONG>(w), static_cast<LONG>(h)},
                 dest, SRCCOPY, "L_PrintBitmap", false);
}

/* L_CreatePaintPalette: NULL: the devices drawn on take true colour, so no
 * palette needs selecting (as on a true-colour display). */
extern "C" HPALETTE WINAPI L_CreatePaintPalette(HDC, pBITMAPHANDLE)
{
    return nullptr;
}

/* L_CopyBitmapPalette: pDst takes pSrc's palette; both must be palette
 * bitmaps of one depth, pSrc's palette as long as pDst's. */
extern "C" INT WINAPI L_CopyBitmapPalette(pBITMAPHANDLE pDst, pBITMAPHANDLE pSrc)
{
    INT rc = L_SUCCESS;
    Image *dst = ImageOf(pDst, &rc);
    Image *src = dst ? ImageOf(pSrc, &rc) : nullptr;
    if (!dst || !src)
        return rc;
    PIXCMAP *from = pixGetColormap(src->pix.get());
    PIXCMAP *to = pixGetColormap(dst->pix.get());
    if (!from || !to || pixGetDepth(src->pix.get()) != pixGetDepth(dst->pix.get()) ||
        pixcmapGetCount(from) < pixcmapGetCount(to))
        return L_ERR_INVALID_PARAMETER;
    dst->Touch();
    pixSetColormap(dst->pix.get(), pixcmapCopy(from));
    Publish(pDst);
    return L_SUCCESS;
}
