/*
 * Private: device-independent pixels to cairo surfaces and back.
 *
 * A PixelView describes pixels in a Windows layout (a DIB's bits with its
 * BITMAPINFO, or a bitmap object's storage) without owning them.
 */
#ifndef WINPORT_GDI_PIXELS_H
#define WINPORT_GDI_PIXELS_H

#include "gdi_private.h"

namespace winport::gdi {

struct PixelView {
    int width = 0;
    int height = 0; /* rows, positive */
    int bpp = 32;   /* 1, 4, 8, 16, 24 or 32 */
    bool topDown = true;
    int stride = 0; /* bytes per row */
    const std::uint8_t *bits = nullptr;
    const RGBQUAD *palette = nullptr;
    int paletteSize = 0;
    DWORD masks[3] = {0, 0, 0}; /* BI_BITFIELDS red, green, blue; 0: the default layout */
};

/* Rows of a DIB are padded to 32 bits. */
inline int dibStride(int width, int bpp)
{
    return ((width * bpp + 31) / 32) * 4;
}

/* Reads a BITMAPINFO (header of 40 bytes or more, BI_RGB or BI_BITFIELDS,
 * 1/4/8/16/24/32 bpp) into a view of bits.  false with the last error
 * ERROR_INVALID_PARAMETER when it is not one we can draw. */
bool viewOfDib(const BITMAPINFO *bmi, const void *bits, PixelView *out);

/* The view of a bitmap object; mono device-dependent bitmaps take their two
 * colours from mono[0] (0 bits) and mono[1] (1 bits). */
PixelView viewOfBitmap(const Bitmap &bm, const RGBQUAD mono[2]);

/* A new RGB24 surface holding the view's pixels, top row first; null when
 * memory runs out. */
cairo_surface_t *surfaceFromView(const PixelView &view);

/* Writes an RGB24 surface of the same size into a bitmap's own layout
 * (nearest palette colour for palette bitmaps). */
void viewStore(cairo_surface_t *surface, Bitmap &bm);

RGBQUAD quadOf(COLORREF c);

} // namespace winport::gdi

#endif /* WINPORT_GDI_PIXELS_H */
