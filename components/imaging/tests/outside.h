/*
 * Test pictures made by outside tools, shared by the imaging tests: drawn
 * here as netpbm files, then written in every format we read by tools that
 * are not ours (Leptonica's convertformat, libtiff's ppm2tiff and tiffcp,
 * libjpeg's cjpeg, OpenJPEG's opj_compress, PIL).  Made on first use and
 * kept in the build folder (IMAGING_OUTSIDE_DIR) for later test processes.
 */
#ifndef IMAGING_TESTS_OUTSIDE_H
#define IMAGING_TESTS_OUTSIDE_H

#include <cstdint>
#include <string>

namespace imagingtest {

/* A 300-dpi letter page: a block, a rule across the page and a mark near
 * the bottom right corner (so a page turned or mirrored shows). */
constexpr int kPageW = 2550, kPageH = 3300;
bool PageInk(int x, int y);

/* Four quadrants of 64 x 48: red, green / blue, white. */
constexpr int kColourW = 64, kColourH = 48;
std::uint32_t Quadrants(int x, int y);

/* 37 x 21 (no multiple of 8 or 32), a diagonal and the last column. */
constexpr int kSmallW = 37, kSmallH = 21;
bool SmallInk(int x, int y);

/* Path of one of the files, made (with what it is made from) on first use:
 *   page_g4.tif         the page, G4, one strip, min-is-white (Leptonica)
 *   page_g4_strips.tif  the page, G4, 64 rows per strip (libtiff)
 *   page_g4_black.tif   the page, G4, min-is-black (PIL)
 *   three.tif           quadrants LZW, a 200 x 100 form G3, quadrants JPEG-in-TIFF (libtiff)
 *   colour.jpg          quadrants, progressive JPEG (cjpeg)
 *   colour.jp2 / .j2k   quadrants, JPEG 2000 file / codestream (OpenJPEG)
 *   photo.jpg           a 1600 x 1200 (2-megapixel) baseline JPEG of a gradient (cjpeg)
 *   small.bmp           the small picture, 1-bit BMP (PIL)
 *   colour8.png         quadrants, palette PNG (PIL)  */
std::string OutsidePath(const std::string &name);

} // namespace imagingtest

#endif /* IMAGING_TESTS_OUTSIDE_H */
