/*
 * Saving ("ltfilu.dll"): L_SaveBitmap and L_SaveBitmapMemory.  The bitmap
 * is saved as shown, at the asked depth (0: its own), in BMP, JPEG, PNG,
 * TIFF (uncompressed, LZW or CCITT G4) or JPEG 2000, encoded by Leptonica.
 */
#include "bitmap.h"
#include "files.h"

#include <windows.h>

#include <cstring>
#include <utility>

namespace imaging {
namespace {

/* Leptonica's buffer, freed at scope end. */
struct Encoded {
    l_uint8 *data = nullptr;
    size_t size = 0;
    ~Encoded() { lept_free(data); }
};

/* The depth a format needs, from the depth a Pix has (0: keep it). */
int DepthFor(INT format, Pix *pix)
{
    const int depth = pixGetDepth(pix);
    switch (format) {
    case L_FMT_TIF_G4:
        return depth == 1 ? 0 : 1;
    case L_FMT_JPEG:
    case L_FMT_JP2:
        /* 8-bit grey or 24-bit colour only. */
        if (depth == 32 || (depth == 8 && !pixGetColormap(pix)))
            return 0;
        return pixGetColormap(pix) ? 24 : 8;
    default:
        return 0;
    }
}

INT EncodePix(Pix *pix, INT format, INT quality, Encoded *out)
{
    l_int32 failed = 1;
    switch (format) {
    case L_FMT_BMP:
        failed = pixWriteMemBmp(&out->data, &out->size, pix);
        break;
    case L_FMT_JPEG:
        failed = pixWriteMemJpeg(&out->data, &out->size, pix, quality > 0 ? quality : 75, 0);
        break;
    case L_FMT_PNG:
        failed = pixWriteMemPng(&out->data, &out->size, pix, 0.0f);
        break;
    case L_FMT_TIF:
        failed = pixWriteMemTiff(&out->data, &out->size, pix, IFF_TIFF);
        break;
    case L_FMT_TIF_LZW:
        failed = pixWriteMemTiff(&out->data, &out->size, pix, IFF_TIFF_LZW);
        break;
    case L_FMT_TIF_G4:
        failed = pixWriteMemTiff(&out->data, &out->size, pix, IFF_TIFF_G4);
        break;
    case L_FMT_JP2:
        /* A signal-to-noise target in dB; 0 and 100 keep every pixel. */
        failed = pixWriteMemJp2k(&out->data, &out->size, pix,
                                 quality > 0 && quality < 100 ? quality : 100, 0, 0, 0);
        break;
    default:
        return L_ERR_INVALID_PARAMETER;
    }
    return failed ? L_ERR_FAILURE : L_SUCCESS;
}

/* The bitmap as a file of the format, in Leptonica's buffer. */
INT Encode(pBITMAPHANDLE bitmap, INT format, INT bpp, INT quality, Encoded *out)
{
    INT rc = L_SUCCESS;
    Image *image = ImageOf(bitmap, &rc);
    if (!image)
        return rc;
    if (bpp < 0 || bpp > 32 || quality < 0 || quality > 100)
        return L_ERR_INVALID_PARAMETER;
    PixPtr pix = ShownPix(*image);
    int reported = 0;
    if (pix && bpp != 0)
        pix = ConvertDepth(pix.get(), bpp, false, &reported);
    if (pix) {
        if (int need = DepthFor(format, pix.get()); need != 0)
            pix = ConvertDepth(pix.get(), need, false, &reported);
    }
    if (!pix)
        return L_ERR_NO_MEMORY;
    return EncodePix(pix.get(), format, quality, out);
}

} // namespace
} // namespace imaging

using namespace imaging;

/* L_SaveBitmap: writes the bitmap to the file (created or replaced; a
 * failed write leaves no file).  nQFactor is the JPEG quality (1-100,
 * 0: 75) or the JPEG 2000 signal-to-noise target in dB (1-99; 0 and 100
 * lossless); uFlags are unused. */
extern "C" INT WINAPI L_SaveBitmap(const char16_t *pszFile, pBITMAPHANDLE pBitmap, INT nFormat,
                                   INT nBitsPerPixel, INT nQFactor, UINT)
{
    if (!pszFile)
        return L_ERR_INVALID_PARAMETER;
    Encoded encoded;
    INT rc = Encode(pBitmap, nFormat, nBitsPerPixel, nQFactor, &encoded);
    if (rc != L_SUCCESS)
        return rc;
    return WriteWholeFile(pszFile, encoded.data, encoded.size);
}

/* L_SaveBitmapMemory: as L_SaveBitmap, into a new GlobalAlloc block. */
extern "C" INT WINAPI L_SaveBitmapMemory(HGLOBAL *phHandle, pBITMAPHANDLE pBitmap, INT nFormat,
                                         INT nBitsPerPixel, INT nQFactor, DWORD *pdwSize)
{
    if (!phHandle || !pdwSize)
        return L_ERR_INVALID_PARAMETER;
    *phHandle = nullptr;
    *pdwSize = 0;
    Encoded encoded;
    INT rc = Encode(pBitmap, nFormat, nBitsPerPixel, nQFactor, &encoded);
    if (rc != L_SUCCESS)
        return rc;
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, encoded.size);
    void *p = block ? GlobalLock(block) : nullptr;
    if (!p) {
        if (block)
            GlobalFree(block);
        return L_ERR_NO_MEMORY;
    }
    std::memcpy(p, encoded.data, encoded.size);
    GlobalUnlock(block);
    *phHandle = block;
    *pdwSize = static_cast<DWORD>(encoded.size);
    return L_SUCCESS;
}
