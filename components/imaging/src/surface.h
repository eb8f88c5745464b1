/*
 * Inside the imaging library: Leptonica pixels to cairo surfaces and back,
 * and the compressed bytes a surface carries to a PDF page.
 */
#ifndef IMAGING_SURFACE_H
#define IMAGING_SURFACE_H

#include "bitmap.h"

#include <cairo.h>

namespace imaging {

struct SurfaceDeleter {
    void operator()(cairo_surface_t *s) const { cairo_surface_destroy(s); }
};
using SurfacePtr = std::unique_ptr<cairo_surface_t, SurfaceDeleter>;

/* A new RGB24 surface with the Pix's pixels (any depth, colour map
 * applied); null when memory runs out. */
SurfacePtr SurfaceFromPix(Pix *pix);

/* A new A1 surface whose set bits are the black pixels of a black and white
 * 1-bit Pix (1 MB for a 300-dpi letter page, against 33 MB as RGB24); null
 * for other Pixes (other depths, a colour map of two other colours) and
 * when memory runs out. */
SurfacePtr MaskFromPix(Pix *pix);

/* A new 32-bit RGB Pix from an RGB24 surface. */
PixPtr PixFromSurface(cairo_surface_t *surface);

/* Gives the surface the image's compressed bytes when the surface shows
 * exactly the image's stored pixels (perspective L_TOP_LEFT, nothing
 * changed since loading).  A G4 page of several strips is encoded as one
 * strip first, and only when `forPdf` (encoding is wasted elsewhere). */
void AttachOriginal(cairo_surface_t *surface, Image &image, bool forPdf);

} // namespace imaging

#endif /* IMAGING_SURFACE_H */
