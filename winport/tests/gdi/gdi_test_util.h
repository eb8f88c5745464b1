/*
 * Helpers for the GDI tests: a sink that keeps whatever a printer DC
 * delivers (PDF bytes, copies of raster pages, the calls in order), printer
 * DCs built on it, fonts, a scratch folder and a command runner.
 */
#ifndef WINPORT_TESTS_GDI_TEST_UTIL_H
#define WINPORT_TESTS_GDI_TEST_UTIL_H

#include "gdi_device.h"
#include "gdi_record.h"

#include <gtest/gtest.h>
#include <posix_files.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace gditest {

using namespace winport::gdi;

constexpr DWORD kSentinel = 0xdeadbeef;

struct KeptRaster {
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> pixels;
    /* 0xRRGGBB of a pixel, (0, 0) the paper's corner. */
    std::uint32_t at(int x, int y) const
    {
        return pixels[static_cast<std::size_t>(y) * width + x] & 0xFFFFFF;
    }
};

struct Finished {
    int jobId;
    int pages;
    bool completed;
};

class KeepSink : public DocumentSink {
public:
    explicit KeepSink(PageFormat format = PageFormat::Pdf) : format_(format) {}
    PageFormat format() const override { return format_; }
    int beginDocument(const DocumentInfo &doc) override
    {
        if (failBegin) {
            SetLastError(failBegin);
            return 0;
        }
        docs.push_back(doc);
        pdf.clear();
        return nextJob++;
    }
    bool writePdf(const unsigned char *data, std::size_t size) override
    {
        pdf.append(reinterpret_cast<const char *>(data), size);
        return !failWrite;
    }
    void beginPage(const PageInfo &page) override { begun.push_back(page); }
    bool endPage(const PageInfo &page, const RasterPage *raster) override
    {
        ended.push_back(page);
        if (raster) {
            KeptRaster k{raster->width, raster->height, {}};
            for (int y = 0; y < raster->height; y++) {
                const auto *row =
                    reinterpret_cast<const std::uint32_t *>(raster->data + y * raster->stride);
                k.pixels.insert(k.pixels.end(), row, row + raster->width);
            }
            rasters.push_back(std::move(k));
        }
        return true;
    }
    bool endDocument(const DocumentInfo &doc, int pages, bool completed) override
    {
        finished.push_back(Finished{doc.jobId, pages, completed});
        return true;
    }

    DWORD failBegin = 0;
    bool failWrite = false;
    int nextJob = 7;
    std::vector<DocumentInfo> docs;
    std::string pdf;
    std::vector<PageInfo> begun, ended;
    std::vector<KeptRaster> rasters;
    std::vector<Finished> finished;

private:
    PageFormat format_;
};

/* US Letter at 600 dpi, no margins. */
inline DeviceDescription letter600()
{
    DeviceDescription d;
    d.deviceName = "Test Printer";
    return d;
}

/* A small raster device: 300 dpi, 600 x 400 dots, for pixel checks. */
inline DeviceDescription smallRaster()
{
    DeviceDescription d;
    d.deviceName = "Raster Test";
    d.dpiX = d.dpiY = 300;
    d.paperWidth = 600;
    d.paperHeight = 400;
    return d;
}

/* A printer DC and its sink, deleted at scope end. */
struct Printer {
    HDC dc = nullptr;
    std::shared_ptr<KeepSink> sink;
    Printer() = default;
    Printer(const Printer &) = delete;
    Printer &operator=(const Printer &) = delete;
    ~Printer()
    {
        if (dc)
            DeleteDC(dc);
    }
};

inline std::unique_ptr<Printer> makePrinter(const DeviceDescription &d = letter600(),
                                            PageFormat format = PageFormat::Pdf)
{
    auto p = std::make_unique<Printer>();
    p->sink = std::make_shared<KeepSink>(format);
    p->dc = CreatePrinterDC(d, p->sink);
    if (!p->dc)
        throw std::runtime_error("CreatePrinterDC failed");
    return p;
}

inline int startDoc(HDC dc, const char *name = "Test Document", const char *output = nullptr)
{
    DOCINFOA di{sizeof(DOCINFOA), name, output, nullptr, 0};
    return StartDocA(dc, &di);
}

inline HFONT makeFont(const char *face, LONG height, LONG weight = FW_NORMAL, BYTE italic = 0,
                      LONG escapement = 0)
{
    return CreateFontA(height, 0, escapement, escapement, weight, italic, 0, 0, ANSI_CHARSET,
                       OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH,
                       face);
}

class ScratchDir {
public:
    ScratchDir()
    {
        std::string tmpl = (std::filesystem::temp_directory_path() / "gditest-XXXXXX").string();
        if (!mkdtemp(tmpl.data()))
            throw std::runtime_error("mkdtemp failed");
        path_ = tmpl;
    }
    ~ScratchDir()
    {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    const std::string &path() const { return path_; }

private:
    std::string path_;
};

} // namespace gditest

#endif /* WINPORT_TESTS_GDI_TEST_UTIL_H */
