/*
 * Leptonica pixels <-> cairo RGB24 surfaces, and compressed bytes as cairo
 * mime data (see surface.h).
 *
 * A Leptonica 32-bit pixel is 0xRRGGBBAA in a native word; cairo's RGB24 is
 * 0x00RRGGBB.  In a 1-bit Pix, 1 is black.  Pages are large (a 300-dpi
 * letter page is 8.4 million pixels), so the common depths convert a word
 * or a byte at a time.
 */
#include "surface.h"
#include "original.h"

#include <array>
#include <cstdint>
#include <cstring>

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

} // namespace

SurfacePtr SurfaceFromPix(Pix *pix)
{
    const int w = pixGetWidth(pix), h = pixGetHeight(pix);
    SurfacePtr surface(cairo_image_surface_create(CAIRO_FORMAT_RGB24, w, h));
    if (cairo_surface_status(surface.get()) != CAIRO_STATUS_SUCCESS)
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
        SetMimeText(surface, CAIRO_MIME_TYPE_CCITT_FAX_PARAMS, original.ccittParams);
        break;
    default:
        break;
    }
}

} // namespace imaging
