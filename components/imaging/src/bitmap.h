/*
 * Inside the imaging library: the image behind a bitmap handle.
 *
 * A BITMAPHANDLE (imaging.h) is the caller's 216-byte structure; its
 * Private.pImage points to an Image, which owns a Leptonica Pix.  The Pix
 * holds the stored pixels: 1, 2, 4 or 8 bits (grey, or with a colour map)
 * or 32 bits (RGB).  The depth callers see (BitsPerPixel) is kept apart,
 * because 16, 24 and 32 bits all live in a 32-bit Pix.
 *
 * An image that still has the pixels of the JPEG, JPEG 2000 or CCITT G4
 * file it came from keeps those compressed bytes (Original), so drawing it
 * into a PDF costs what the file costs.  Every change to the pixels drops
 * them (Touch).
 */
#ifndef IMAGING_BITMAP_H
#define IMAGING_BITMAP_H

#include <imaging.h>

#include <leptonica/allheaders.h>

#include <memory>
#include <string>
#include <vector>

namespace imaging {

struct PixDeleter {
    void operator()(Pix *p) const { pixDestroy(&p); }
};
using PixPtr = std::unique_ptr<Pix, PixDeleter>;

/* Compressed bytes a PDF page can carry instead of the pixels. */
struct Original {
    enum Kind { None, Jpeg, CcittG4, Jp2 } kind = None;
    std::shared_ptr<const std::vector<unsigned char>> bytes;
    std::string ccittParams; /* "Columns=... Rows=... K=-1 BlackIs1=..." */
};

struct Image {
    PixPtr pix;
    int bpp = 0; /* what the handle reports */
    int view = L_TOP_LEFT;
    Original original;
    int accessCount = 0;

    /* The pixels are about to change: compressed bytes no longer match. */
    void Touch() { original = Original(); }
};

/* Largest image the library takes, in pixels: a page at 600 dpi on
 * tabloid paper, with room to spare. */
constexpr long long kMaxPixels = 120LL * 1000 * 1000;
constexpr int kMaxSide = 60000;

/* The image of a handle, or null (and *error set) when the handle is not
 * a valid one holding an image. */
Image *ImageOf(const BITMAPHANDLE *handle, INT *error);

/* Whether a structure size is the one this library fills. */
bool ValidStructSize(UINT size);

/* Puts an image into a handle (freeing none: the caller freed or never
 * had one) and fills the visible fields. */
void Attach(BITMAPHANDLE *handle, std::unique_ptr<Image> image);

/* Frees the handle's image, if any, and clears the handle. */
void Detach(BITMAPHANDLE *handle);

/* Refreshes the visible fields after the image changed. */
void Publish(BITMAPHANDLE *handle);

/* Replaces the image's pixels; the reported depth follows the new Pix
 * unless `bpp` (16, 24 or 32 for a 32-bit Pix) is given. */
void ReplacePix(Image &image, PixPtr pix, int bpp = 0);

/* The depth we keep for an asked one (3 -> 4, 20 -> 24; 1 to 32), else 0. */
int SupportedDepth(int bpp);

/* The depth a handle reports for a Pix of `depth` bits. */
int ReportedDepth(int pixDepth);

/* A Pix as the image is shown (view perspective applied); shares the
 * image's own Pix when it is already shown as stored. */
PixPtr ShownPix(const Image &image);

/* Brings the stored pixels into the shown order (L_TOP_LEFT). */
INT Normalise(Image &image);

/* Converts a Pix so that its stored order shows as `view` shows the
 * source (used both ways by the view perspective functions). */
PixPtr Reorient(Pix *pix, int fromView, int toView);

/* Shown width and height of an image. */
int ShownWidth(const Image &image);
int ShownHeight(const Image &image);

/* A new Pix of the asked depth (0: unchanged), as the handle reports it. */
PixPtr ConvertDepth(Pix *pix, int bpp, bool dither, int *reported);

/* COLORREF <-> the value a Pix of that depth stores. */
l_uint32 PixValueOf(Pix *pix, COLORREF color);
COLORREF ColorOf(Pix *pix, l_uint32 value);

} // namespace imaging

#endif /* IMAGING_BITMAP_H */
