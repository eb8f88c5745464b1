/*
 * Inside the imaging library: TIFF pages looked at through libtiff, and the
 * compressed bytes of JPEG, JPEG 2000 and CCITT G4 files kept beside the
 * decoded pixels so that a PDF can carry them as they are.
 */
#ifndef IMAGING_ORIGINAL_H
#define IMAGING_ORIGINAL_H

#include "bitmap.h"

#include <cstddef>

namespace imaging {

/* What one page of a TIFF file holds, read without decoding it. */
struct TiffPage {
    int pages = 0; /* directories in the file */
    int width = 0, height = 0;
    int orientation = L_TOP_LEFT; /* the Orientation tag: our view perspectives */
    Original g4;                  /* a one-strip G4 page's bytes, else kind None */
    bool isG4 = false;            /* G4, one bit, whatever its strips */
};

/* Reads page `page` (0-based): L_SUCCESS, L_ERR_FILE_FORMAT or
 * L_ERR_PAGE_NOT_FOUND. */
INT InspectTiff(const unsigned char *data, std::size_t size, int page, TiffPage *out);

/* The compressed bytes of a JPEG or JP2 file whose decoded pixels are
 * `pix` (kind None for files a PDF cannot carry as they are, such as
 * CMYK JPEGs or JPEG 2000 codestreams without the JP2 wrapping). */
Original OriginalOf(const unsigned char *data, std::size_t size, l_int32 format, Pix *pix);

/* The image's pixels as one CCITT G4 strip (for a G4 page whose file had
 * several strips); kind None when encoding fails. */
Original EncodeG4(Pix *pix1bpp);

/* Keeps libtiff and Leptonica from writing to stderr (once). */
void QuietCodecs();

} // namespace imaging

#endif /* IMAGING_ORIGINAL_H */
