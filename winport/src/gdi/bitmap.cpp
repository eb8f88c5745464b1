/*
 * Bitmap objects: CreateBitmap, CreateCompatibleBitmap, CreateDIBSection,
 * and what GetObjectA reports for them.
 *
 * DIB sections keep the layout their BITMAPINFO gave, because the program
 * writes the bits itself.  Device-dependent bitmaps are 32 bpp top-down
 * (cairo's RGB24, so drawing into them needs no copy) or 1 bpp monochrome.
 */
#include "gdi_pixels.h"

#include <algorithm>
#include <cstring>

namespace winport::gdi {

namespace {

constexpr long long kMaxPixels = 1LL << 28;

/* Device-dependent bitmaps pad rows to 16 bits, as CreateBitmap's input does. */
int ddbStride(int width, int bpp)
{
    return ((width * bpp + 15) / 16) * 2;
}

std::unique_ptr<Bitmap> newDdb(int width, int height, int bpp)
{
    auto bm = std::make_unique<Bitmap>();
    bm->width = width;
    bm->height = height;
    bm->bpp = bpp;
    bm->stride = ddbStride(width, bpp);
    bm->storage.assign(static_cast<std::size_t>(bm->stride) * height, 0);
    return bm;
}

bool sizeOk(int width, int height)
{
    return width > 0 && height > 0 && static_cast<long long>(width) * height <= kMaxPixels;
}

/* Copies CreateBitmap's input rows (16-bit padded) into a new bitmap. */
void copyDdbBits(Bitmap &bm, int inBpp, const void *bits)
{
    const auto *src = static_cast<const std::uint8_t *>(bits);
    int inStride = ddbStride(bm.width, inBpp);
    if (inBpp == bm.bpp) {
        std::memcpy(bm.bits(), src, bm.storage.size());
        return;
    }
    for (int y = 0; y < bm.height; y++) { /* 24 bpp input into a 32 bpp bitmap */
        const std::uint8_t *row = src + static_cast<std::size_t>(y) * inStride;
        std::uint8_t *dst = bm.bits() + static_cast<std::size_t>(y) * bm.stride;
        for (int x = 0; x < bm.width; x++) {
            dst[4 * x] = row[3 * x];
            dst[4 * x + 1] = row[3 * x + 1];
            dst[4 * x + 2] = row[3 * x + 2];
        }
    }
}

} // namespace

Bitmap *defaultBitmap()
{
    static Bitmap *bm = [] {
        auto b = newDdb(1, 1, 1);
        Bitmap *raw = b.get();
        addStockObject(std::move(b));
        return raw;
    }();
    return bm;
}

bool bitmapIsRgb24(const Bitmap &bm)
{
    bool defaultMasks =
        !bm.masks[0] || (bm.masks[0] == 0xFF0000 && bm.masks[1] == 0xFF00 && bm.masks[2] == 0xFF);
    return bm.bpp == 32 && bm.topDown && defaultMasks &&
           bm.stride == cairo_format_stride_for_width(CAIRO_FORMAT_RGB24, bm.width);
}

cairo_surface_t *bitmapSurface(Bitmap &bm, COLORREF zeroColor, COLORREF oneColor)
{
    if (bitmapIsRgb24(bm)) {
        cairo_surface_t *s = cairo_image_surface_create_for_data(bm.bits(), CAIRO_FORMAT_RGB24,
                                                                 bm.width, bm.height, bm.stride);
        return cairo_surface_status(s) == CAIRO_STATUS_SUCCESS ? s : nullptr;
    }
    RGBQUAD mono[2] = {quadOf(zeroColor), quadOf(oneColor)};
    return surfaceFromView(viewOfBitmap(bm, mono));
}

void storeSurface(cairo_surface_t *surface, Bitmap &bm)
{
    viewStore(surface, bm);
}

int getBitmapObject(const Bitmap &bm, int c, void *pv)
{
    if (!pv)
        return sizeof(BITMAP);
    BITMAP b{};
    b.bmWidth = bm.width;
    b.bmHeight = bm.height;
    b.bmWidthBytes = bm.stride;
    b.bmPlanes = 1;
    b.bmBitsPixel = static_cast<WORD>(bm.bpp);
    b.bmBits = bm.dib ? const_cast<std::uint8_t *>(bm.bits()) : nullptr;
    if (bm.dib && c >= static_cast<int>(sizeof(DIBSECTION))) {
        DIBSECTION ds{};
        ds.dsBm = b;
        ds.dsBmih = bm.info;
        std::memcpy(ds.dsBitfields, bm.masks, sizeof ds.dsBitfields);
        std::memcpy(pv, &ds, sizeof ds);
        return sizeof(DIBSECTION);
    }
    if (c < static_cast<int>(sizeof(BITMAP)))
        return 0;
    std::memcpy(pv, &b, sizeof b);
    return sizeof(BITMAP);
}

} // namespace winport::gdi

using namespace winport::gdi;

/***********************************************************************
 *           CreateBitmap
 * 1 bpp gives a monochrome bitmap, 24 and 32 bpp a 32 bpp one; other
 * depths fail with ERROR_INVALID_PARAMETER.  A zero width or height gives
 * the stock 1x1 monochrome bitmap, as on Windows.  lpBits rows are padded
 * to 16 bits; NULL leaves the bitmap black.
 */
HBITMAP WINAPI CreateBitmap(int nWidth, int nHeight, UINT nPlanes, UINT nBitCount,
                            const void *lpBits)
{
    GdiGuard guard(gdiLock());
    if (nWidth == 0 || nHeight == 0)
        return static_cast<HBITMAP>(defaultBitmap()->handle);
    int bpp = static_cast<int>(nBitCount * nPlanes);
    if (!sizeOk(nWidth, nHeight) || (bpp != 1 && bpp != 24 && bpp != 32)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    auto bm = newDdb(nWidth, nHeight, bpp == 1 ? 1 : 32);
    if (lpBits)
        copyDdbBits(*bm, bpp, lpBits);
    return static_cast<HBITMAP>(addObject(std::move(bm)));
}

/***********************************************************************
 *           CreateCompatibleBitmap
 * A 32 bpp bitmap, except for a memory DC still holding its default
 * bitmap: then monochrome, as Windows documents.  Zero sizes give the
 * stock 1x1 monochrome bitmap.
 */
HBITMAP WINAPI CreateCompatibleBitmap(HDC hdc, int cx, int cy)
{
    GdiGuard guard(gdiLock());
    DeviceContext *dc = dcFromHandle(hdc);
    if (!dc)
        return nullptr;
    if (cx == 0 || cy == 0)
        return static_cast<HBITMAP>(defaultBitmap()->handle);
    if (!sizeOk(cx, cy)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    bool mono = dc->kind == DcKind::Memory && dc->bitmap == defaultBitmap();
    return static_cast<HBITMAP>(addObject(newDdb(cx, cy, mono ? 1 : 32)));
}

/***********************************************************************
 *           CreateDIBSection
 * DIB_RGB_COLORS only, no file mapping (hSection must be NULL): otherwise
 * ERROR_INVALID_PARAMETER.  The bits start zeroed.
 */
HBITMAP WINAPI CreateDIBSection(HDC hdc, const BITMAPINFO *pbmi, UINT usage, void **ppvBits,
                                HANDLE hSection, DWORD offset)
{
    (void)hdc;
    (void)offset;
    GdiGuard guard(gdiLock());
    if (ppvBits)
        *ppvBits = nullptr;
    static const std::uint8_t probe = 0;
    PixelView v;
    if (!pbmi || usage != DIB_RGB_COLORS || hSection || !viewOfDib(pbmi, &probe, &v)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    auto bm = std::make_unique<Bitmap>();
    bm->dib = true;
    bm->width = v.width;
    bm->height = v.height;
    bm->bpp = v.bpp;
    bm->topDown = v.topDown;
    bm->stride = v.stride;
    bm->info = pbmi->bmiHeader;
    bm->info.biSize = sizeof(BITMAPINFOHEADER);
    bm->info.biSizeImage = static_cast<DWORD>(v.stride) * static_cast<DWORD>(v.height);
    if (v.palette)
        bm->palette.assign(v.palette, v.palette + v.paletteSize);
    if (pbmi->bmiHeader.biCompression == BI_BITFIELDS)
        std::memcpy(bm->masks, v.masks, sizeof bm->masks);
    bm->storage.assign(static_cast<std::size_t>(v.stride) * v.height, 0);
    void *bits = bm->bits();
    HBITMAP h = static_cast<HBITMAP>(addObject(std::move(bm)));
    if (h && ppvBits)
        *ppvBits = bits;
    return h;
}
