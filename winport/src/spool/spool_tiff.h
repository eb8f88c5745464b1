/*
 * A streaming writer of multi-page RGB TIFF files, for image printers.
 * Private to the spooler.
 */
#ifndef WINPORT_SPOOL_TIFF_H
#define WINPORT_SPOOL_TIFF_H

#include "spool/spool_private.h"

#include <cstdio>

namespace winport::spool {

class TiffWriter {
public:
    TiffWriter() = default;
    ~TiffWriter();
    TiffWriter(const TiffWriter &) = delete;
    TiffWriter &operator=(const TiffWriter &) = delete;

    bool open(const std::string &path);
    /* Appends one page's pixels; false when the file cannot take them. */
    bool addPage(const gdi::RasterPage &raster, int dpiX, int dpiY);
    /* Writes the page directories and closes the file. */
    bool finish();
    int pages() const { return int(pages_.size()); }

private:
    struct Page {
        int width, height, dpiX, dpiY;
        DWORD dataOffset;
    };
    std::FILE *file_ = nullptr;
    DWORD offset_ = 0;
    std::vector<Page> pages_;
};

} // namespace winport::spool

#endif /* WINPORT_SPOOL_TIFF_H */
