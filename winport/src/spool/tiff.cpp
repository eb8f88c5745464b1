/*
 * Multi-page TIFF for image printers on a FILE port: baseline RGB, 8 bits
 * a sample, uncompressed, one strip per page, the resolution in the file.
 *
 * Pages are streamed: each page's pixels are written as it ends, and the
 * directories (one per page) go at the end of the file, where TIFF allows
 * them, so a document never has to sit in memory whole.
 */
#include "spool/spool_tiff.h"

#include <cstring>

namespace winport::spool {

namespace {

enum : WORD { kShort = 3, kLong = 4, kRational = 5 };

void put16(std::vector<BYTE> &b, WORD v)
{
    b.push_back(BYTE(v));
    b.push_back(BYTE(v >> 8));
}

void put32(std::vector<BYTE> &b, DWORD v)
{
    for (int i = 0; i < 4; i++)
        b.push_back(BYTE(v >> (8 * i)));
}

} // namespace

TiffWriter::~TiffWriter()
{
    if (file_)
        std::fclose(file_);
}

bool TiffWriter::open(const std::string &path)
{
    file_ = std::fopen(path.c_str(), "wb");
    if (!file_)
        return false;
    static const BYTE header[8] = {'I', 'I', 42, 0, 0, 0, 0, 0}; /* IFD offset patched later */
    offset_ = 8;
    return std::fwrite(header, 1, 8, file_) == 8;
}

bool TiffWriter::addPage(const gdi::RasterPage &raster, int dpiX, int dpiY)
{
    if (!file_ || raster.width <= 0 || raster.height <= 0)
        return false;
    Page page{raster.width, raster.height, dpiX, dpiY, offset_};
    std::vector<BYTE> row(std::size_t(raster.width) * 3);
    for (int y = 0; y < raster.height; y++) {
        const BYTE *src = raster.data + std::size_t(y) * raster.stride;
        for (int x = 0; x < raster.width; x++) { /* cairo RGB24 is B, G, R, x in memory */
            row[3 * x] = src[4 * x + 2];
            row[3 * x + 1] = src[4 * x + 1];
            row[3 * x + 2] = src[4 * x];
        }
        if (std::fwrite(row.data(), 1, row.size(), file_) != row.size())
            return false;
    }
    std::uint64_t end = std::uint64_t(offset_) + std::uint64_t(row.size()) * raster.height;
    if (end > 0xFFFFFF00u) /* classic TIFF offsets are 32 bits */
        return false;
    offset_ = DWORD(end);
    pages_.push_back(page);
    return true;
}

bool TiffWriter::finish()
{
    if (!file_ || pages_.empty())
        return false;
    constexpr WORD kEntries = 12;
    constexpr DWORD kIfdSize = 2 + kEntries * 12 + 4 + 16 + 6; /* + two rationals, bits */
    DWORD first = (offset_ + 1) & ~1u;
    std::vector<BYTE> out(first - offset_, 0);
    for (std::size_t i = 0; i < pages_.size(); i++) {
        const Page &p = pages_[i];
        DWORD ifd = first + DWORD(i) * kIfdSize;
        DWORD extra = ifd + 2 + kEntries * 12 + 4;
        DWORD next = i + 1 < pages_.size() ? ifd + kIfdSize : 0;
        put16(out, kEntries);
        auto entry = [&](WORD tag, WORD type, DWORD count, DWORD value) {
            put16(out, tag);
            put16(out, type);
            put32(out, count);
            put32(out, value);
        };
        entry(256, kLong, 1, DWORD(p.width));                /* ImageWidth */
        entry(257, kLong, 1, DWORD(p.height));               /* ImageLength */
        entry(258, kShort, 3, extra + 16);                   /* BitsPerSample 8,8,8 */
        entry(259, kShort, 1, 1);                            /* no compression */
        entry(262, kShort, 1, 2);                            /* RGB */
        entry(273, kLong, 1, p.dataOffset);                  /* StripOffsets */
        entry(277, kShort, 1, 3);                            /* SamplesPerPixel */
        entry(278, kLong, 1, DWORD(p.height));               /* RowsPerStrip */
        entry(279, kLong, 1, DWORD(p.width) * 3 * p.height); /* StripByteCounts */
        entry(282, kRational, 1, extra);                     /* XResolution */
        entry(283, kRational, 1, extra + 8);                 /* YResolution */
        entry(296, kShort, 1, 2);                            /* inches */
        put32(out, next);
        put32(out, DWORD(p.dpiX));
        put32(out, 1);
        put32(out, DWORD(p.dpiY));
        put32(out, 1);
        put16(out, 8);
        put16(out, 8);
        put16(out, 8);
    }
    bool ok = std::fwrite(out.data(), 1, out.size(), file_) == out.size();
    BYTE patch[4] = {BYTE(first), BYTE(first >> 8), BYTE(first >> 16), BYTE(first >> 24)};
    ok = ok && std::fseek(file_, 4, SEEK_SET) == 0 && std::fwrite(patch, 1, 4, file_) == 4;
    ok = std::fclose(file_) == 0 && ok;
    file_ = nullptr;
    return ok;
}

} // namespace winport::spool
