/*
 * Pixel conversion between Windows bitmap layouts and cairo's RGB24
 * (32-bit B, G, R, unused in memory, top row first).
 *
 * Every blit and every drawing into a bitmap that is not already RGB24
 * passes through here, so the input checks that make a hostile
 * BITMAPINFO harmless (sizes, depths, palette length) live here too.
 */
#include "gdi_pixels.h"

#include <cstring>

namespace winport::gdi {

namespace {

constexpr long long kMaxPixels = 1LL << 28;

std::uint32_t pack(BYTE r, BYTE g, BYTE b)
{
    return (static_cast<std::uint32_t>(r) << 16) | (static_cast<std::uint32_t>(g) << 8) | b;
}

std::uint32_t fromPalette(const PixelView &v, unsigned index)
{
    if (static_cast<int>(index) >= v.paletteSize)
        return 0; /* out of the colour table: black rather than a read past it */
    const RGBQUAD &q = v.palette[index];
    return pack(q.rgbRed, q.rgbGreen, q.rgbBlue);
}

/* A channel value under a mask, scaled to 8 bits. */
BYTE maskedChannel(std::uint32_t pixel, DWORD mask)
{
    if (!mask)
        return 0;
    int shift = __builtin_ctz(mask);
    std::uint32_t max = mask >> shift;
    return static_cast<BYTE>(((pixel & mask) >> shift) * 255 / max);
}

std::uint32_t fromMasked(const PixelView &v, std::uint32_t pixel)
{
    return pack(maskedChannel(pixel, v.masks[0]), maskedChannel(pixel, v.masks[1]),
                maskedChannel(pixel, v.masks[2]));
}

void convertRow(const PixelView &v, const std::uint8_t *src, std::uint32_t *dst)
{
    switch (v.bpp) {
    case 1:
        for (int x = 0; x < v.width; x++)
            dst[x] = fromPalette(v, (src[x >> 3] >> (7 - (x & 7))) & 1);
        break;
    case 4:
        for (int x = 0; x < v.width; x++)
            dst[x] = fromPalette(v, (src[x >> 1] >> ((x & 1) ? 0 : 4)) & 0xF);
        break;
    case 8:
        for (int x = 0; x < v.width; x++)
            dst[x] = fromPalette(v, src[x]);
        break;
    case 16:
        for (int x = 0; x < v.width; x++)
            dst[x] = fromMasked(v, src[2 * x] | (src[2 * x + 1] << 8));
        break;
    case 24:
        for (int x = 0; x < v.width; x++)
            dst[x] = pack(src[3 * x + 2], src[3 * x + 1], src[3 * x]);
        break;
    default:
        if (v.masks[0] == 0xFF0000 && v.masks[1] == 0xFF00 && v.masks[2] == 0xFF) {
            std::memcpy(dst, src, static_cast<std::size_t>(v.width) * 4);
        } else {
            for (int x = 0; x < v.width; x++) {
                std::uint32_t p;
                std::memcpy(&p, src + 4 * x, 4);
                dst[x] = fromMasked(v, p);
            }
        }
        break;
    }
}

unsigned nearestIndex(const Bitmap &bm, std::uint32_t rgb)
{
    int r = (rgb >> 16) & 0xFF, g = (rgb >> 8) & 0xFF, b = rgb & 0xFF;
    unsigned best = 0;
    long bestDist = -1;
    for (std::size_t i = 0; i < bm.palette.size(); i++) {
        const RGBQUAD &q = bm.palette[i];
        long d = (q.rgbRed - r) * (q.rgbRed - r) + (q.rgbGreen - g) * (q.rgbGreen - g) +
                 (q.rgbBlue - b) * (q.rgbBlue - b);
        if (bestDist < 0 || d < bestDist) {
            bestDist = d;
            best = static_cast<unsigned>(i);
        }
    }
    return best;
}

void storeRow(const std::uint32_t *src, Bitmap &bm, std::uint8_t *dst)
{
    for (int x = 0; x < bm.width; x++) {
        std::uint32_t p = src[x] & 0xFFFFFF;
        BYTE r = (p >> 16) & 0xFF, g = (p >> 8) & 0xFF, b = p & 0xFF;
        switch (bm.bpp) {
        case 1: {
            bool one = bm.dib ? nearestIndex(bm, p) == 1 : (r * 299 + g * 587 + b * 114) >= 127500;
            BYTE bit = static_cast<BYTE>(0x80 >> (x & 7));
            dst[x >> 3] = static_cast<BYTE>(one ? dst[x >> 3] | bit : dst[x >> 3] & ~bit);
            break;
        }
        case 4: {
            unsigned i = nearestIndex(bm, p) & 0xF;
            dst[x >> 1] = static_cast<BYTE>((x & 1) ? (dst[x >> 1] & 0xF0) | i
                                                    : (dst[x >> 1] & 0x0F) | (i << 4));
            break;
        }
        case 8:
            dst[x] = static_cast<BYTE>(nearestIndex(bm, p));
            break;
        case 16: {
            unsigned v = ((r >> 3) << 10) | ((g >> 3) << 5) | (b >> 3);
            dst[2 * x] = static_cast<BYTE>(v);
            dst[2 * x + 1] = static_cast<BYTE>(v >> 8);
            break;
        }
        case 24:
            dst[3 * x] = b, dst[3 * x + 1] = g, dst[3 * x + 2] = r;
            break;
        default:
            std::memcpy(dst + 4 * x, &p, 4);
            break;
        }
    }
}

} // namespace

RGBQUAD quadOf(COLORREF c)
{
    return RGBQUAD{GetBValue(c), GetGValue(c), GetRValue(c), 0};
}

bool viewOfDib(const BITMAPINFO *bmi, const void *bits, PixelView *out)
{
    const BITMAPINFOHEADER &h = bmi->bmiHeader;
    int bpp = h.biBitCount;
    bool depthOk = bpp == 1 || bpp == 4 || bpp == 8 || bpp == 16 || bpp == 24 || bpp == 32;
    bool compressionOk =
        h.biCompression == BI_RGB || (h.biCompression == BI_BITFIELDS && (bpp == 16 || bpp == 32));
    long long rows = h.biHeight < 0 ? -static_cast<long long>(h.biHeight) : h.biHeight;
    if (h.biSize < sizeof(BITMAPINFOHEADER) || h.biPlanes != 1 || !depthOk || !compressionOk ||
        h.biWidth <= 0 || rows == 0 || h.biWidth * rows > kMaxPixels || !bits) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    PixelView v;
    v.width = h.biWidth;
    v.height = static_cast<int>(rows);
    v.bpp = bpp;
    v.topDown = h.biHeight < 0;
    v.stride = dibStride(v.width, bpp);
    v.bits = static_cast<const std::uint8_t *>(bits);
    const auto *tail = reinterpret_cast<const std::uint8_t *>(bmi) + h.biSize;
    if (bpp <= 8) {
        int max = 1 << bpp;
        v.paletteSize = h.biClrUsed > 0 && h.biClrUsed < static_cast<DWORD>(max)
                            ? static_cast<int>(h.biClrUsed)
                            : max;
        v.palette = reinterpret_cast<const RGBQUAD *>(tail);
    } else if (h.biCompression == BI_BITFIELDS) {
        /* The masks follow a 40-byte header, and sit at the same offset in
         * the longer V4/V5 headers. */
        std::memcpy(v.masks, reinterpret_cast<const std::uint8_t *>(bmi) + 40, sizeof v.masks);
    } else if (bpp == 16) {
        v.masks[0] = 0x7C00, v.masks[1] = 0x03E0, v.masks[2] = 0x001F;
    } else {
        v.masks[0] = 0xFF0000, v.masks[1] = 0xFF00, v.masks[2] = 0xFF;
    }
    *out = v;
    return true;
}

PixelView viewOfBitmap(const Bitmap &bm, const RGBQUAD mono[2])
{
    PixelView v;
    v.width = bm.width;
    v.height = bm.height;
    v.bpp = bm.bpp;
    v.topDown = bm.topDown;
    v.stride = bm.stride;
    v.bits = bm.bits();
    std::memcpy(v.masks, bm.masks, sizeof v.masks);
    if (bm.bpp == 16 && !v.masks[0])
        v.masks[0] = 0x7C00, v.masks[1] = 0x03E0, v.masks[2] = 0x001F;
    if (bm.bpp == 32 && !v.masks[0])
        v.masks[0] = 0xFF0000, v.masks[1] = 0xFF00, v.masks[2] = 0xFF;
    if (bm.dib && bm.bpp <= 8) {
        v.palette = bm.palette.data();
        v.paletteSize = static_cast<int>(bm.palette.size());
    } else if (bm.bpp == 1) {
        v.palette = mono;
        v.paletteSize = 2;
    }
    return v;
}

cairo_surface_t *surfaceFromView(const PixelView &v)
{
    cairo_surface_t *s = cairo_image_surface_create(CAIRO_FORMAT_RGB24, v.width, v.height);
    if (cairo_surface_status(s) != CAIRO_STATUS_SUCCESS) {
        cairo_surface_destroy(s);
        return nullptr;
    }
    cairo_surface_flush(s);
    std::uint8_t *data = cairo_image_surface_get_data(s);
    int stride = cairo_image_surface_get_stride(s);
    for (int y = 0; y < v.height; y++) {
        int srcRow = v.topDown ? y : v.height - 1 - y;
        convertRow(v, v.bits + static_cast<std::size_t>(srcRow) * v.stride,
                   reinterpret_cast<std::uint32_t *>(data + static_cast<std::size_t>(y) * stride));
    }
    cairo_surface_mark_dirty(s);
    return s;
}

void viewStore(cairo_surface_t *surface, Bitmap &bm)
{
    cairo_surface_flush(surface);
    const std::uint8_t *data = cairo_image_surface_get_data(surface);
    int stride = cairo_image_surface_get_stride(surface);
    for (int y = 0; y < bm.height; y++) {
        int dstRow = bm.topDown ? y : bm.height - 1 - y;
        storeRow(
            reinterpret_cast<const std::uint32_t *>(data + static_cast<std::size_t>(y) * stride),
            bm, bm.bits() + static_cast<std::size_t>(dstRow) * bm.stride);
    }
}

} // namespace winport::gdi
