/*
 * libFuzzer: the annotation file reader over whatever bytes come.  A file
 * that loads is also drawn into a small surface, so every value the reader
 * lets through is one drawing can take.
 */
#include "ann_model.h"

#include <cairo.h>

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    std::string why;
    auto container = imaging::ann::Parse(reinterpret_cast<const char *>(data), size, &why);
    if (!container)
        return 0;
    cairo_surface_t *surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, 64, 64);
    cairo_t *cr = cairo_create(surface);
    imaging::ann::Draw(cr, *container, RECT{0, 0, 64, 64}, nullptr, nullptr);
    if (cairo_status(cr) != CAIRO_STATUS_SUCCESS)
        __builtin_trap(); /* the reader let through something cairo refuses */
    cairo_destroy(cr);
    cairo_surface_destroy(surface);
    return 0;
}
