/*
 * Block transfers: BitBlt and StretchBlt from memory DCs, StretchDIBits
 * from a program's DIB.
 *
 * Raster operations map to cairo operators that give GDI's result on the
 * colours that occur in practice (black, white and everything on white
 * paper): SRCCOPY paints, SRCAND multiplies (white leaves the page, black
 * marks it; on a vector page this is exact for paper), SRCPAINT lightens,
 * SRCINVERT and DSTINVERT take the difference, NOTSRCCOPY paints the
 * inverse; BLACKNESS, WHITENESS and PATCOPY fill.  Other operations fail
 * with ERROR_INVALID_PARAMETER.  Source rectangles reaching outside the
 * bitmap draw only the part inside it.
 */
#include "gdi_pixels.h"
#include "gdi_print.h"

#include "winport_gdi_ext.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <vector>

using namespace winport::gdi;

namespace {

struct Blit {
    int x, y, cx, cy;   /* destination */
    int sx, sy, sw, sh; /* source, top-down rows */
    DWORD rop;
};

bool ropNeedsSource(DWORD rop)
{
    return rop != BLACKNESS && rop != WHITENESS && rop != PATCOPY && rop != DSTINVERT;
}

bool ropSupported(DWORD rop)
{
    switch (rop) {
    case SRCCOPY:
    case SRCAND:
    case SRCPAINT:
    case SRCINVERT:
    case NOTSRCCOPY:
    case BLACKNESS:
    case WHITENESS:
    case PATCOPY:
    case DSTINVERT:
        return true;
    default:
        return false;
    }
}

void invertSurface(cairo_surface_t *s)
{
    cairo_surface_flush(s);
    std::uint8_t *data = cairo_image_surface_get_data(s);
    int stride = cairo_image_surface_get_stride(s);
    int w = cairo_image_surface_get_width(s), h = cairo_image_surface_get_height(s);
    for (int y = 0; y < h; y++) {
        auto *row = reinterpret_cast<std::uint32_t *>(data + static_cast<std::size_t>(y) * stride);
        for (int x = 0; x < w; x++)
            row[x] ^= 0x00FFFFFF;
    }
    cairo_surface_mark_dirty(s);
}

/* Fills the destination for the operations that take no source. */
void fillDestination(cairo_t *cr, const DeviceContext &dc, const Blit &b)
{
    cairo_rectangle(cr, b.x, b.y, b.cx, b.cy);
    if (b.rop == DSTINVERT) {
        cairo_set_source_rgb(cr, 1, 1, 1);
        cairo_set_operator(cr, CAIRO_OPERATOR_DIFFERENCE);
    } else if (b.rop == PATCOPY) {
        if (!dc.brush || dc.brush->style == BS_NULL) {
            cairo_new_path(cr);
            return;
        }
        setSourceColor(cr, dc, dc.brush->color);
    } else {
        double v = b.rop == WHITENESS ? 1 : 0;
        cairo_set_source_rgb(cr, v, v, v);
    }
    cairo_fill(cr);
}

void paintMask(cairo_t *cr, const DeviceContext &dc, cairo_surface_t *src, const Blit &b, int x0,
               int y0, int x1, int y1, bool raster);

void paintSource(cairo_t *cr, const DeviceContext &dc, cairo_surface_t *src, const Blit &b,
                 bool raster)
{
    int w = cairo_image_surface_get_width(src), h = cairo_image_surface_get_height(src);
    /* Only the part of the source rectangle inside the bitmap draws. */
    int x0 = std::max(std::min(b.sx, b.sx + b.sw), 0),
        x1 = std::min(std::max(b.sx, b.sx + b.sw), w);
    int y0 = std::max(std::min(b.sy, b.sy + b.sh), 0),
        y1 = std::min(std::max(b.sy, b.sy + b.sh), h);
    if (x0 >= x1 || y0 >= y1)
        return;
    if (cairo_image_surface_get_format(src) == CAIRO_FORMAT_A1) {
        paintMask(cr, dc, src, b, x0, y0, x1, y1, raster);
        return;
    }
    if (b.rop == NOTSRCCOPY)
        invertSurface(src);
    cairo_translate(cr, b.x, b.y);
    cairo_scale(cr, static_cast<double>(b.cx) / b.sw, static_cast<double>(b.cy) / b.sh);
    cairo_translate(cr, -b.sx, -b.sy);
    cairo_set_source_surface(cr, src, 0, 0);
    cairo_pattern_t *pat = cairo_get_source(cr);
    cairo_pattern_set_filter(pat,
                             dc.stretchMode == HALFTONE ? CAIRO_FILTER_GOOD : CAIRO_FILTER_NEAREST);
    cairo_pattern_set_extend(pat, raster ? CAIRO_EXTEND_PAD : CAIRO_EXTEND_NONE);
    switch (b.rop) {
    case SRCAND:
        cairo_set_operator(cr, CAIRO_OPERATOR_MULTIPLY);
        break;
    case SRCPAINT:
        cairo_set_operator(cr, CAIRO_OPERATOR_LIGHTEN);
        break;
    case SRCINVERT:
        cairo_set_operator(cr, CAIRO_OPERATOR_DIFFERENCE);
        break;
    default:
        break;
    }
    cairo_rectangle(cr, x0, y0, x1 - x0, y1 - y0);
    cairo_fill(cr);
}

/* Draws a 1-bit picture (an A1 surface: set bits are ink) as a mask: black
 * ink, and for SRCCOPY white paper under the source rectangle first.  A PDF
 * page takes the mask as an image mask of the picture's own bits (1 MB for
 * a 300-dpi letter page, instead of 33 MB of RGB), which carries the
 * picture's CCITT bytes when it has them. */
void paintMask(cairo_t *cr, const DeviceContext &dc, cairo_surface_t *src, const Blit &b, int x0,
               int y0, int x1, int y1, bool raster)
{
    cairo_translate(cr, b.x, b.y);
    cairo_scale(cr, static_cast<double>(b.cx) / b.sw, static_cast<double>(b.cy) / b.sh);
    cairo_translate(cr, -b.sx, -b.sy);
    cairo_rectangle(cr, x0, y0, x1 - x0, y1 - y0);
    if (b.rop == SRCCOPY) {
        cairo_set_source_rgb(cr, 1, 1, 1);
        cairo_fill_preserve(cr);
    }
    cairo_clip(cr);
    cairo_pattern_t *mask = cairo_pattern_create_for_surface(src);
    cairo_pattern_set_filter(mask,
                             dc.stretchMode == HALFTONE ? CAIRO_FILTER_GOOD : CAIRO_FILTER_NEAREST);
    /* EXTEND_NONE is what lets a PDF page keep the mask as one image. */
    cairo_pattern_set_extend(mask, raster ? CAIRO_EXTEND_PAD : CAIRO_EXTEND_NONE);
    cairo_set_source_rgb(cr, 0, 0, 0);
    cairo_mask(cr, mask);
    cairo_pattern_destroy(mask);
}

/* Draws src (an RGB24 or A1 surface, or null for source-less operations). */
void blitTo(DeviceContext &dc, cairo_surface_t *src, const Blit &b)
{
    DrawTarget target(dc);
    cairo_t *cr = target.cr();
    if (!cr || b.cx == 0 || b.cy == 0)
        return;
    cairo_save(cr);
    if (src && b.sw != 0 && b.sh != 0)
        paintSource(cr, dc, src, b, target.raster());
    else if (!src)
        fillDestination(cr, dc, b);
    cairo_restore(cr);
}

void recordBlit(DeviceContext &dc, const char *call, const Blit &b, int bmWidth, int bmHeight,
                int bmBits)
{
    RecBitmap r;
    r.page = currentPage(dc);
    r.call = call;
    r.x = b.x, r.y = b.y, r.cx = b.cx, r.cy = b.cy;
    r.srcX = b.sx, r.srcY = b.sy, r.srcCx = b.sw, r.srcCy = b.sh;
    r.bmWidth = bmWidth, r.bmHeight = bmHeight, r.bmBits = bmBits;
    r.rop = b.rop;
    addRecord(dc, r);
}

BOOL bitBlt(const char *call, HDC hdcDest, HDC hdcSrc, const Blit &b)
{
    GdiGuard guard(gdiLock());
    DeviceContext *dst = dcFromHandle(hdcDest);
    if (!dst)
        return FALSE;
    if (!ropSupported(b.rop)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (!ropNeedsSource(b.rop)) {
        blitTo(*dst, nullptr, b);
        if (recording(*dst))
            recordBlit(*dst, call, b, 0, 0, 0);
        return failBetweenPages(*dst, call) ? FALSE : TRUE;
    }
    DeviceContext *src = dcFromHandle(hdcSrc);
    if (!src)
        return FALSE;
    if (src->kind != DcKind::Memory || !src->bitmap) {
        /* Pages and the headless screen cannot be read back. */
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    Bitmap &bm = *src->bitmap;
    cairo_surface_t *surface;
    if (src->bitmap == dst->bitmap) {
        RGBQUAD mono[2] = {quadOf(RGB(0, 0, 0)), quadOf(RGB(255, 255, 255))};
        surface = surfaceFromView(viewOfBitmap(bm, mono)); /* a copy: source and target overlap */
    } else {
        surface = bitmapSurface(bm, dst->textColor, dst->bkColor);
    }
    if (!surface) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return FALSE;
    }
    if (b.rop == NOTSRCCOPY && bitmapIsRgb24(bm) && src->bitmap != dst->bitmap) {
        cairo_surface_t *copy = surfaceFromView(viewOfBitmap(bm, nullptr));
        cairo_surface_destroy(surface);
        surface = copy; /* inverted in place below: never the bitmap itself */
    }
    if (surface)
        blitTo(*dst, surface, b);
    cairo_surface_destroy(surface);
    if (recording(*dst))
        recordBlit(*dst, call, b, bm.width, bm.height, bm.bpp);
    return failBetweenPages(*dst, call) ? FALSE : TRUE;
}

} // namespace

/***********************************************************************
 *           BitBlt
 * The source must be a memory DC (or absent for BLACKNESS, WHITENESS,
 * PATCOPY and DSTINVERT).  A monochrome source draws its 0 bits in the
 * destination's text colour and its 1 bits in its background colour.
 */
BOOL WINAPI BitBlt(HDC hdc, int x, int y, int cx, int cy, HDC hdcSrc, int x1, int y1, DWORD rop)
{
    return bitBlt("BitBlt", hdc, hdcSrc, Blit{x, y, cx, cy, x1, y1, cx, cy, rop});
}

/***********************************************************************
 *           StretchBlt
 * As BitBlt, scaling the source rectangle into the destination; negative
 * sizes mirror.  SetStretchBltMode(HALFTONE) smooths, other modes take the
 * nearest pixel.
 */
BOOL WINAPI StretchBlt(HDC hdcDest, int xDest, int yDest, int wDest, int hDest, HDC hdcSrc,
                       int xSrc, int ySrc, int wSrc, int hSrc, DWORD rop)
{
    return bitBlt("StretchBlt", hdcDest, hdcSrc,
                  Blit{xDest, yDest, wDest, hDest, xSrc, ySrc, wSrc, hSrc, rop});
}

/***********************************************************************
 *           StretchDIBits
 * BI_RGB (or BI_BITFIELDS) DIBs of 1, 4, 8, 16, 24 or 32 bpp, bottom-up or
 * top-down, DIB_RGB_COLORS only.  As on Windows, ySrc of a bottom-up DIB
 * counts from its bottom row.  Returns the number of scan lines drawn, 0 on
 * failure.
 */
int WINAPI StretchDIBits(HDC hdc, int xDest, int yDest, int DestWidth, int DestHeight, int xSrc,
                         int ySrc, int SrcWidth, int SrcHeight, const void *lpBits,
                         const BITMAPINFO *lpbmi, UINT iUsage, DWORD rop)
{
    GdiGuard guard(gdiLock());
    DeviceContext *dc = dcFromHandle(hdc);
    if (!dc)
        return 0;
    PixelView view;
    if (!lpbmi || iUsage != DIB_RGB_COLORS || !ropSupported(rop) ||
        !viewOfDib(lpbmi, lpBits, &view)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    int top = view.topDown ? ySrc : view.height - ySrc - SrcHeight;
    Blit b{xDest, yDest, DestWidth, DestHeight, xSrc, top, SrcWidth, SrcHeight, rop};
    cairo_surface_t *surface = ropNeedsSource(rop) ? surfaceFromView(view) : nullptr;
    if (ropNeedsSource(rop) && !surface) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return 0;
    }
    blitTo(*dc, surface, b);
    if (surface)
        cairo_surface_destroy(surface);
    if (recording(*dc)) {
        b.sy = ySrc; /* recorded as the program gave it */
        recordBlit(*dc, "StretchDIBits", b, view.width, view.height, view.bpp);
    }
    if (failBetweenPages(*dc, "StretchDIBits"))
        return 0;
    return std::min(std::abs(SrcHeight), view.height);
}

namespace {

/* Sources drawn on a PDF page live as long as the page's recording: cairo
 * records a snapshot of each, and a source released before the page is
 * written would be copied into it (megabytes for a scanned page) when the
 * caller lets go of it.  The recording drops its commands before its user
 * data, so by then no snapshot is left to copy. */
void keepUntilPageWritten(DeviceContext &dc, cairo_surface_t *source)
{
    if (!dc.printer || !dc.printer->pageRecording)
        return;
    static const cairo_user_data_key_t key{};
    using Kept = std::vector<cairo_surface_t *>;
    auto *kept = static_cast<Kept *>(cairo_surface_get_user_data(dc.printer->pageRecording, &key));
    if (!kept) {
        kept = new Kept;
        if (cairo_surface_set_user_data(dc.printer->pageRecording, &key, kept, [](void *p) {
                for (cairo_surface_t *s : *static_cast<Kept *>(p))
                    cairo_surface_destroy(s);
                delete static_cast<Kept *>(p);
            }) != CAIRO_STATUS_SUCCESS) {
            delete kept;
            return;
        }
    }
    kept->push_back(cairo_surface_reference(source));
}

/* The record keeps call names by pointer: a component's own text may go
 * away with the component, so each name is kept here once (GDI lock held). */
const char *keptCallName(const char *call)
{
    static std::set<std::string> *names = new std::set<std::string>;
    return names->insert(call && *call ? call : "winport_gdi_blit_surface").first->c_str();
}

} // namespace

/* winport_gdi_blit_surface: StretchBlt from a component's RGB24 cairo
 * surface, or a 1-bit picture as an A1 mask, keeping whatever mime data the
 * surface carries for the page. */
BOOL winport_gdi_blit_surface(HDC hdc, const char *call, int xDest, int yDest, int wDest, int hDest,
                              cairo_surface_t *source, int xSrc, int ySrc, int wSrc, int hSrc,
                              int bitsPerPixel, DWORD rop)
{
    GdiGuard guard(gdiLock());
    DeviceContext *dc = dcFromHandle(hdc);
    if (!dc)
        return FALSE;
    const bool image = source && cairo_surface_status(source) == CAIRO_STATUS_SUCCESS &&
                       cairo_surface_get_type(source) == CAIRO_SURFACE_TYPE_IMAGE;
    const cairo_format_t format =
        image ? cairo_image_surface_get_format(source) : CAIRO_FORMAT_INVALID;
    const bool supported = format == CAIRO_FORMAT_RGB24
                               ? ropSupported(rop) && ropNeedsSource(rop)
                               : format == CAIRO_FORMAT_A1 && (rop == SRCCOPY || rop == SRCAND);
    if (!supported) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    Blit b{xDest, yDest, wDest, hDest, xSrc, ySrc, wSrc, hSrc, rop};
    cairo_surface_t *drawn = cairo_surface_reference(source);
    if (rop == NOTSRCCOPY) {
        /* Inverted in place by the blit: never the caller's surface. */
        int w = cairo_image_surface_get_width(source), h = cairo_image_surface_get_height(source);
        cairo_surface_destroy(drawn);
        drawn = cairo_image_surface_create(CAIRO_FORMAT_RGB24, w, h);
        cairo_t *cr = cairo_create(drawn);
        cairo_set_source_surface(cr, source, 0, 0);
        cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
        cairo_paint(cr);
        cairo_destroy(cr);
    }
    blitTo(*dc, drawn, b);
    if (drawn == source)
        keepUntilPageWritten(*dc, source);
    cairo_surface_destroy(drawn);
    if (recording(*dc))
        recordBlit(*dc, keptCallName(call), b, cairo_image_surface_get_width(source),
                   cairo_image_surface_get_height(source), bitsPerPixel);
    return TRUE;
}
