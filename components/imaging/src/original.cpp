/*
 * TIFF pages through libtiff and the compressed bytes a PDF can carry (see
 * original.h).
 *
 * A PDF's CCITTFaxDecode filter takes one G4 stream for the whole image,
 * so only a page stored as a single strip, most significant bit first, is
 * passed on as it is; a page of several strips is encoded again as one
 * when it is drawn (EncodeG4).  G4 codes "white" runs for 0 bits, so a page
 * whose 0 bits are black (min-is-black) needs BlackIs1 in the PDF.
 */
#include "original.h"

#include <tiffio.h>

#include <cstdio>
#include <cstring>
#include <mutex>

namespace imaging {
namespace {

/* A TIFF file in memory, read through libtiff's client interface. */
struct MemoryFile {
    const unsigned char *data;
    toff_t size;
    toff_t pos;
};

tsize_t MemRead(thandle_t h, tdata_t buf, tsize_t n)
{
    auto *f = static_cast<MemoryFile *>(h);
    if (n <= 0 || f->pos >= f->size)
        return 0;
    const toff_t left = f->size - f->pos;
    const toff_t take = static_cast<toff_t>(n) < left ? static_cast<toff_t>(n) : left;
    std::memcpy(buf, f->data + f->pos, take);
    f->pos += take;
    return static_cast<tsize_t>(take);
}

tsize_t MemWrite(thandle_t, tdata_t, tsize_t)
{
    return 0;
}

toff_t MemSeek(thandle_t h, toff_t off, int whence)
{
    auto *f = static_cast<MemoryFile *>(h);
    toff_t base = whence == SEEK_CUR ? f->pos : whence == SEEK_END ? f->size : 0;
    f->pos = base + off; /* reads past the end read nothing */
    return f->pos;
}

int MemClose(thandle_t)
{
    return 0;
}

toff_t MemSize(thandle_t h)
{
    return static_cast<MemoryFile *>(h)->size;
}

int MemMap(thandle_t, tdata_t *, toff_t *)
{
    return 0;
}

void MemUnmap(thandle_t, tdata_t, toff_t) {}

struct TiffCloser {
    void operator()(TIFF *t) const { TIFFClose(t); }
};
using TiffPtr = std::unique_ptr<TIFF, TiffCloser>;

TiffPtr OpenMemoryTiff(MemoryFile *file)
{
    QuietCodecs();
    return TiffPtr(TIFFClientOpen("memory", "rm", file, MemRead, MemWrite, MemSeek, MemClose,
                                  MemSize, MemMap, MemUnmap));
}

/* A single-strip G4 page's bytes and parameters, if it is one. */
Original OneStripG4(TIFF *tif, int width, int height, std::size_t fileSize)
{
    uint16_t fill = FILLORDER_MSB2LSB, photometric = PHOTOMETRIC_MINISWHITE;
    TIFFGetFieldDefaulted(tif, TIFFTAG_FILLORDER, &fill);
    TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &photometric);
    uint64_t *counts = nullptr;
    if (TIFFIsTiled(tif) || TIFFNumberOfStrips(tif) != 1 || fill != FILLORDER_MSB2LSB ||
        !TIFFGetField(tif, TIFFTAG_STRIPBYTECOUNTS, &counts) || !counts || counts[0] == 0 ||
        counts[0] > fileSize)
        return Original();
    auto bytes = std::make_shared<std::vector<unsigned char>>(counts[0]);
    if (TIFFReadRawStrip(tif, 0, bytes->data(), static_cast<tmsize_t>(bytes->size())) !=
        static_cast<tmsize_t>(bytes->size()))
        return Original();
    Original g4;
    g4.kind = Original::CcittG4;
    g4.bytes = std::move(bytes);
    char params[96];
    std::snprintf(params, sizeof params, "Columns=%d Rows=%d K=-1%s", width, height,
                  photometric == PHOTOMETRIC_MINISBLACK ? " BlackIs1=true" : "");
    g4.ccittParams = params;
    return g4;
}

bool IsJp2Container(const unsigned char *data, std::size_t size)
{
    static const unsigned char kSignature[12] = {0, 0, 0, 12, 'j', 'P', ' ', ' ', 13, 10, 0x87, 10};
    return size > sizeof kSignature && std::memcmp(data, kSignature, sizeof kSignature) == 0;
}

} // namespace

void QuietCodecs()
{
    static std::once_flag once;
    std::call_once(once, [] {
        TIFFSetErrorHandler(nullptr);
        TIFFSetWarningHandler(nullptr);
        setMsgSeverity(L_SEVERITY_NONE);
    });
}

INT InspectTiff(const unsigned char *data, std::size_t size, int page, TiffPage *out)
{
    MemoryFile file{data, size, 0};
    TiffPtr tif = OpenMemoryTiff(&file);
    if (!tif)
        return L_ERR_FILE_FORMAT;
    out->pages = TIFFNumberOfDirectories(tif.get());
    if (page < 0 || page >= out->pages)
        return L_ERR_PAGE_NOT_FOUND;
    if (!TIFFSetDirectory(tif.get(), static_cast<tdir_t>(page)))
        return L_ERR_FILE_FORMAT;
    uint32_t width = 0, height = 0;
    uint16_t orientation = ORIENTATION_TOPLEFT, compression = COMPRESSION_NONE, bits = 1,
             samples = 1;
    if (!TIFFGetField(tif.get(), TIFFTAG_IMAGEWIDTH, &width) ||
        !TIFFGetField(tif.get(), TIFFTAG_IMAGELENGTH, &height))
        return L_ERR_FILE_FORMAT;
    TIFFGetFieldDefaulted(tif.get(), TIFFTAG_ORIENTATION, &orientation);
    TIFFGetFieldDefaulted(tif.get(), TIFFTAG_COMPRESSION, &compression);
    TIFFGetFieldDefaulted(tif.get(), TIFFTAG_BITSPERSAMPLE, &bits);
    TIFFGetFieldDefaulted(tif.get(), TIFFTAG_SAMPLESPERPIXEL, &samples);
    if (width == 0 || height == 0 || width > kMaxSide || height > kMaxSide ||
        static_cast<long long>(width) * height > kMaxPixels)
        return width == 0 || height == 0 ? L_ERR_FILE_FORMAT : L_ERR_TOO_LARGE;
    out->width = static_cast<int>(width);
    out->height = static_cast<int>(height);
    out->orientation = orientation >= 1 && orientation <= 8 ? orientation : L_TOP_LEFT;
    out->isG4 = compression == COMPRESSION_CCITTFAX4 && bits == 1 && samples == 1;
    if (out->isG4)
        out->g4 = OneStripG4(tif.get(), out->width, out->height, size);
    return L_SUCCESS;
}

Original OriginalOf(const unsigned char *data, std::size_t size, l_int32 format, Pix *pix)
{
    Original original;
    const int depth = pixGetDepth(pix);
    const bool plainColours = !pixGetColormap(pix) && (depth == 8 || depth == 32);
    l_int32 spp = pixGetSpp(pix);
    if (format == IFF_JFIF_JPEG && plainColours) {
        /* A CMYK JPEG decodes to RGB, but its bytes are still CMYK. */
        l_int32 w, h, bps, fileSpp, cmap;
        if (pixReadHeaderMem(data, size, nullptr, &w, &h, &bps, &fileSpp, &cmap) != 0 ||
            (fileSpp != 1 && fileSpp != 3))
            return original;
        original.kind = Original::Jpeg;
    } else if (format == IFF_JP2 && plainColours && spp != 4 && IsJp2Container(data, size)) {
        original.kind = Original::Jp2;
    } else {
        return original;
    }
    original.bytes = std::make_shared<std::vector<unsigned char>>(data, data + size);
    return original;
}

Original EncodeG4(Pix *pix1bpp)
{
    l_uint8 *encoded = nullptr;
    size_t encodedSize = 0;
    if (pixGetDepth(pix1bpp) != 1 ||
        pixWriteMemTiff(&encoded, &encodedSize, pix1bpp, IFF_TIFF_G4) != 0)
        return Original();
    TiffPage page;
    const INT rc = InspectTiff(encoded, encodedSize, 0, &page);
    lept_free(encoded);
    return rc == L_SUCCESS ? page.g4 : Original();
}

} // namespace imaging
