/*
 * Loading: L_LoadBitmap, L_LoadMemory and L_PreLoadFilters.
 *
 * Accepted formats: BMP, JPEG (baseline and progressive), JPEG 2000 (JP2
 * files and bare codestreams), PNG and TIFF (any page; none, LZW, PackBits,
 * Deflate, JPEG, CCITT G3 and G4 compression).  Leptonica decodes them;
 * anything else it could read (GIF, WebP, PNM, PostScript, its own
 * serialisation) is refused, since nothing of ours sends it.  Sizes are
 * checked in the header before any pixel is decoded.
 */
#include "bitmap.h"
#include "files.h"
#include "original.h"

#include <strings.h>

#include <string>

namespace imaging {
namespace {

bool IsTiff(l_int32 format)
{
    switch (format) {
    case IFF_TIFF:
    case IFF_TIFF_PACKBITS:
    case IFF_TIFF_RLE:
    case IFF_TIFF_G3:
    case IFF_TIFF_G4:
    case IFF_TIFF_LZW:
    case IFF_TIFF_ZIP:
    case IFF_TIFF_JPEG:
        return true;
    default:
        return false;
    }
}

bool Accepted(l_int32 format)
{
    return format == IFF_BMP || format == IFF_JFIF_JPEG || format == IFF_PNG || format == IFF_JP2 ||
           IsTiff(format);
}

INT CheckSize(l_int32 w, l_int32 h)
{
    if (w <= 0 || h <= 0)
        return L_ERR_FILE_FORMAT;
    if (w > kMaxSide || h > kMaxSide || static_cast<long long>(w) * h > kMaxPixels)
        return L_ERR_TOO_LARGE;
    return L_SUCCESS;
}

/* Decodes one page of a TIFF file, with its orientation and G4 bytes. */
INT DecodeTiff(const unsigned char *data, std::size_t size, int page, Image *image)
{
    TiffPage info;
    if (INT rc = InspectTiff(data, size, page, &info); rc != L_SUCCESS)
        return rc;
    image->pix.reset(pixReadMemTiff(data, size, page));
    if (!image->pix)
        return L_ERR_FILE_FORMAT;
    image->view = info.orientation;
    if (info.isG4 && pixGetDepth(image->pix.get()) == 1) {
        image->original = info.g4;
        image->original.kind = Original::CcittG4; /* no bytes yet: encoded when drawn */
    }
    return L_SUCCESS;
}

INT DecodeOther(const unsigned char *data, std::size_t size, l_int32 format, int page, Image *image)
{
    if (page > 0)
        return L_ERR_PAGE_NOT_FOUND;
    l_int32 w = 0, h = 0;
    if (pixReadHeaderMem(data, size, nullptr, &w, &h, nullptr, nullptr, nullptr) != 0)
        return L_ERR_FILE_FORMAT;
    if (INT rc = CheckSize(w, h); rc != L_SUCCESS)
        return rc;
    image->pix.reset(pixReadMem(data, size));
    if (!image->pix)
        return L_ERR_FILE_FORMAT;
    image->original = OriginalOf(data, size, format, image->pix.get());
    return L_SUCCESS;
}

/* Decodes `data` into a new image of the asked depth. */
INT Decode(const unsigned char *data, std::size_t size, int bpp, int page,
           std::unique_ptr<Image> *out)
{
    QuietCodecs();
    l_int32 format = IFF_UNKNOWN;
    if (!data || size < 12 || findFileFormatBuffer(data, &format) != 0 || !Accepted(format))
        return L_ERR_FILE_FORMAT;
    auto image = std::make_unique<Image>();
    const int index = page > 0 ? page - 1 : 0;
    INT rc = IsTiff(format) ? DecodeTiff(data, size, index, image.get())
                            : DecodeOther(data, size, format, index, image.get());
    if (rc != L_SUCCESS)
        return rc;
    /* The decoder's output must match the header's promise. */
    if (CheckSize(pixGetWidth(image->pix.get()), pixGetHeight(image->pix.get())) != L_SUCCESS)
        return L_ERR_FILE_FORMAT;
    const int stored = ReportedDepth(pixGetDepth(image->pix.get()));
    image->bpp = stored;
    if (bpp != 0 && bpp != stored) {
        int reported = 0;
        PixPtr converted = ConvertDepth(image->pix.get(), bpp, false, &reported);
        if (!converted)
            return bpp < 0 || bpp > 32 ? L_ERR_INVALID_PARAMETER : L_ERR_NO_MEMORY;
        if (reported != stored)
            ReplacePix(*image, std::move(converted), reported);
    }
    *out = std::move(image);
    return L_SUCCESS;
}

} // namespace
} // namespace imaging

using namespace imaging;

/* L_LoadMemory: decodes page nPage (from 1; 0 is the first) of an image
 * file held in memory into the handle, at nBitsPerPixel (0: as stored). */
extern "C" INT WINAPI L_LoadMemory(const BYTE *pBuffer, pBITMAPHANDLE pBitmap, UINT uStructSize,
                                   INT nBitsPerPixel, INT nPage, DWORD dwBufferSize)
{
    if (!pBuffer || !pBitmap || !ValidStructSize(uStructSize) || nPage < 0 || nBitsPerPixel < 0 ||
        nBitsPerPixel > 32)
        return L_ERR_INVALID_PARAMETER;
    std::unique_ptr<Image> image;
    const INT rc = Decode(pBuffer, dwBufferSize, nBitsPerPixel, nPage, &image);
    if (rc != L_SUCCESS)
        return rc;
    Attach(pBitmap, std::move(image));
    return L_SUCCESS;
}

/* L_LoadBitmap: as L_LoadMemory, from a file. */
extern "C" INT WINAPI L_LoadBitmap(const char16_t *pszFile, pBITMAPHANDLE pBitmap, UINT uStructSize,
                                   INT nBitsPerPixel, INT nPage)
{
    if (!pszFile || !pBitmap || !ValidStructSize(uStructSize) || nPage < 0 || nBitsPerPixel < 0 ||
        nBitsPerPixel > 32)
        return L_ERR_INVALID_PARAMETER;
    std::vector<unsigned char> data;
    if (INT rc = ReadWholeFile(pszFile, &data); rc != L_SUCCESS)
        return rc;
    return L_LoadMemory(data.data(), pBitmap, uStructSize, nBitsPerPixel, nPage,
                        static_cast<DWORD>(data.size()));
}

/* L_PreLoadFilters: every format is always ready; the call checks that the
 * comma-separated list names only formats we read ("BMP", "J2K", "JP2",
 * "JPG", "PNG", "TIF") and returns L_ERR_INVALID_PARAMETER if not.
 * The counts are accepted and have no effect. */
extern "C" INT WINAPI L_PreLoadFilters(INT, INT, LPCSTR pszFilters)
{
    if (!pszFilters)
        return L_SUCCESS;
    static const char *const kKnown[] = {"BMP", "J2K", "JP2", "JPG", "PNG", "TIF"};
    std::string list = pszFilters;
    std::size_t pos = 0;
    while (pos <= list.size()) {
        std::size_t comma = list.find(',', pos);
        if (comma == std::string::npos)
            comma = list.size();
        const std::string name = list.substr(pos, comma - pos);
        bool known = false;
        for (const char *k : kKnown)
            known = known || strcasecmp(k, name.c_str()) == 0;
        if (!known)
            return L_ERR_INVALID_PARAMETER;
        pos = comma + 1;
    }
    return L_SUCCESS;
}
