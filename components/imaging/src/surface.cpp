/*
 * Leptonica pixels <-> cairo RGB24 surfaces, black and white pages as A1
 * masks, and compressed bytes as cairo mime data (see surface.h).
 *
 * A Leptonica 32-bit pixel is 0xRRGGBBAA in a native word; cairo's RGB24 is
 * 0x00RRGGBB.  In a 1-bit Pix, 1 is black.  Pages are large (a 300-dpi
 * letter page is 8.4 million pixels), so the common depths convert a word
 * or a byte at a time.
 */
#include "surface.h"
#include "original.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

namespace imaging {
namespace {

/* RGB24 words for each value of a Pix below 32 bits. */
std::array<std::uint32_t, 256> Palette(Pix *pix)
{
    std::array<std::uint32_t, 256> table{};
    const int depth = pixGetDepth(pix);
    const int count = 1 << std::min(depth, 8);
    for (int v = 0; v < count; v++) {
        const COLORREF c = ColorOf(pix, static_cast<l_uint32>(v));
        table[v] =
            (std::uint32_t(GetRValue(c)) << 16) | (std::uint32_t(GetGValue(c)) << 8) | GetBValue(c);
    }
    return table;
}

void ConvertRow1(const l_uint32 *line, std::uint32_t *out, int w, const std::uint32_t *table)
{
    /* Eight pixels per byte, most significant bit first. */
    const int bytes = w / 8;
    for (int i = 0; i < bytes; i++) {
        const unsigned byte = GET_DATA_BYTE(line, i);
        std::uint32_t *o = out + i * 8;
        for (int b = 0; b < 8; b++)
            o[b] = table[(byte >> (7 - b)) & 1];
    }
    for (int x = bytes * 8; x < w; x++)
        out[x] = table[GET_DATA_BIT(line, x)];
}

void ConvertRow(Pix *pix, const l_uint32 *line, std::uint32_t *out, int w,
                const std::uint32_t *table)
{
    switch (pixGetDepth(pix)) {
    case 32:
        for (int x = 0; x < w; x++)
            out[x] = line[x] >> 8;
        break;
    case 8:
        for (int x = 0; x < w; x++)
            out[x] = table[GET_DATA_BYTE(line, x)];
        break;
    case 4:
        for (int x = 0; x < w; x++)
            out[x] = table[GET_DATA_QBIT(line, x)];
        break;
    case 2:
        for (int x = 0; x < w; x++)
            out[x] = table[GET_DATA_DIBIT(line, x)];
        break;
    default:
        ConvertRow1(line, out, w, table);
        break;
    }
}

/* Hands bytes to cairo without copying them: the surface keeps a
 * reference to the image's shared buffer. */
void SetMime(cairo_surface_t *surface, const char *type,
             const std::shared_ptr<const std::vector<unsigned char>> &bytes)
{
    auto *keep = new std::shared_ptr<const std::vector<unsigned char>>(bytes);
    if (cairo_surface_set_mime_data(
            surface, type, (*keep)->data(), (*keep)->size(),
            [](void *p) {
                delete static_cast<std::shared_ptr<const std::vector<unsigned char>> *>(p);
            },
            keep) != CAIRO_STATUS_SUCCESS)
        delete keep;
}

void SetMimeText(cairo_surface_t *surface, const char *type, const std::string &text)
{
    auto *keep = new std::string(text);
    if (cairo_surface_set_mime_data(
            surface, type, reinterpret_cast<const unsigned char *>(keep->data()), keep->size(),
            [](void *p) { delete static_cast<std::string *>(p); }, keep) != CAIRO_STATUS_SUCCESS)
        delete keep;
}

/* A PDF image mask paints its 1 samples, and a mask's 1 bits are the ink:
 * the file's black runs must decode as 1, the opposite of the grey image a
 * colour surface gives, so BlackIs1 flips. */
std::string MaskParams(std::string params)
{
    static const std::string kBlackIs1 = " BlackIs1=true";
    const std::size_t at = params.find(kBlackIs1);
    if (at == std::string::npos)
        return params + kBlackIs1;
    return params.erase(at, kBlackIs1.size());
}

/* A surface whose every byte the caller writes: cairo would clear a page
 * of megabytes first (and fault in every page of it twice). */
SurfacePtr UnclearedSurface(cairo_format_t format, int w, int h)
{
    const int stride = cairo_format_stride_for_width(format, w);
    if (stride <= 0 || h <= 0)
        return nullptr;
    void *data = std::malloc(static_cast<std::size_t>(stride) * static_cast<std::size_t>(h));
    if (!data)
        return nullptr;
    SurfacePtr surface(cairo_image_surface_create_for_data(static_cast<unsigned char *>(data),
                                                           format, w, h, stride));
    static const cairo_user_data_key_t key{};
    if (cairo_surface_status(surface.get()) != CAIRO_STATUS_SUCCESS ||
        cairo_surface_set_user_data(surface.get(), &key, data, std::free) != CAIRO_STATUS_SUCCESS) {
        std::free(data);
        return nullptr;
    }
    return surface;
}

} // namespace

SurfacePtr SurfaceFromPix(Pix *pix)
{
    const int w = pixGetWidth(pix), h = pixGetHeight(pix);
    SurfacePtr surface = UnclearedSurface(CAIRO_FORMAT_RGB24, w, h);
    if (!surface)
        return nullptr;
    const std::array<std::uint32_t, 256> table = Palette(pix);
    const l_uint32 *data = pixGetData(pix);
    const int wpl = pixGetWpl(pix);
    unsigned char *out = cairo_image_surface_get_data(surface.get());
    const int stride = cairo_image_surface_get_stride(surface.get());
    for (int y = 0; y < h; y++)
        ConvertRow(pix, data + static_cast<long>(y) * wpl,
                   reinterpret_cast<std::uint32_t *>(out + static_cast<long>(y) * stride), w,
                   table.data());
    cairo_surface_mark_dirty(surface.get());
    return surface;
}

/* Leptonica keeps the first of a word's 32 pixels in its top bit; cairo's
 * A1 in the bit of the word's lowest address byte's lowest bit on a
 * little-endian machine, its top bit on a big-endian one. */
namespace {
std::uint32_t A1Word(std::uint32_t word)
{
    if constexpr (std::endian::native == std::endian::big)
        return word;
    static const std::array<std::uint8_t, 256> reversed = [] {
        std::array<std::uint8_t, 256> t{};
        for (int v = 0; v < 256; v++)
            for (int b = 0; b < 8; b++)
                if (v & (1 << b))
                    t[v] |= static_cast<std::uint8_t>(0x80 >> b);
        return t;
    }();
    return std::uint32_t(reversed[word >> 24]) | std::uint32_t(reversed[(word >> 16) & 0xFF]) << 8 |
           std::uint32_t(reversed[(word >> 8) & 0xFF]) << 16 |
           std::uint32_t(reversed[word & 0xFF]) << 24;
}
} // namespace

SurfacePtr MaskFromPix(Pix *pix)
{
    if (pixGetDepth(pix) != 1)
        return nullptr;
    const COLORREF zero = ColorOf(pix, 0), one = ColorOf(pix, 1);
    const COLORREF black = RGB(0, 0, 0), white = RGB(255, 255, 255);
    if (!((zero == white && one == black) || (zero == black && one == white)))
        return nullptr; /* two other colours: drawn in colour */
    const std::uint32_t invert = one == black ? 0 : 0xFFFFFFFFu;
    const int w = pixGetWidth(pix), h = pixGetHeight(pix);
    SurfacePtr surface = UnclearedSurface(CAIRO_FORMAT_A1, w, h);
    if (!surface)
        return nullptr;
    const l_uint32 *data = pixGetData(pix);
    const int wpl = pixGetWpl(pix);
    unsigned char *out = cairo_image_surface_get_data(surface.get());
    const int stride = cairo_image_surface_get_stride(surface.get());
    const int words = std::min(wpl, stride / 4);
    for (int y = 0; y < h; y++) {
        const l_uint32 *line = data + static_cast<long>(y) * wpl;
        auto *row = reinterpret_cast<std::uint32_t *>(out + static_cast<long>(y) * stride);
        for (int i = 0; i < words; i++) {
            const std::uint32_t ink = line[i] ^ invert;
            row[i] = ink ? A1Word(ink) : 0; /* most of a scanned page is paper */
        }
    }
    cairo_surface_mark_dirty(surface.get());
    return surface;
}

PixPtr PixFromSurface(cairo_surface_t *surface)
{
    cairo_surface_flush(surface);
    const int w = cairo_image_surface_get_width(surface);
    const int h = cairo_image_surface_get_height(surface);
    PixPtr pix(pixCreate(w, h, 32));
    if (!pix)
        return nullptr;
    const unsigned char *in = cairo_image_surface_get_data(surface);
    const int stride = cairo_image_surface_get_stride(surface);
    l_uint32 *data = pixGetData(pix.get());
    const int wpl = pixGetWpl(pix.get());
    for (int y = 0; y < h; y++) {
        const auto *row =
            reinterpret_cast<const std::uint32_t *>(in + static_cast<long>(y) * stride);
        l_uint32 *line = data + static_cast<long>(y) * wpl;
        for (int x = 0; x < w; x++)
            line[x] = (row[x] & 0xFFFFFF) << 8;
    }
    return pix;
}

void AttachOriginal(cairo_surface_t *surface, Image &image, bool forPdf)
{
    Original &original = image.original;
    if (original.kind == Original::None || image.view != L_TOP_LEFT)
        return;
    if (original.kind == Original::CcittG4 && !original.bytes) {
        if (!forPdf)
            return;
        original = EncodeG4(image.pix.get());
        if (!original.bytes)
            return;
    }
    switch (original.kind) {
    case Original::Jpeg:
        SetMime(surface, CAIRO_MIME_TYPE_JPEG, original.bytes);
        break;
    case Original::Jp2:
        SetMime(surface, CAIRO_MIME_TYPE_JP2, original.bytes);
        break;
    case Original::CcittG4:
        SetMime(surface, CAIRO_MIME_TYPE_CCITT_FAX, original.bytes);
        SetMimeText(surface, CAIRO_MIME_TYPE_CCITT_FAX_PARAMS,
                    cairo_image_surface_get_format(surface) == CAIRO_FORMAT_A1
                        ? MaskParams(original.ccittParams)
                        : original.ccittParams);
        break;
    default:
        break;
    }
}

} // namespace imaging
