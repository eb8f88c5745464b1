/*
 * Scanned pages into the PDF printer: a 300-dpi G4 letter page and a
 * 2-megapixel JPEG loaded and painted (L_LoadMemory + L_PaintDC onto a
 * letter page of a PDF printer DC, the PDF written), beside Leptonica's
 * bare decode of the same bytes in the same run; and each PDF's size beside
 * its source file's.
 *
 *   imaging_bench [iterations [g4|jpeg]]      (default 30, both pages)
 *
 * Goals: painting within 2x of the bare decode; the PDF at most 1.2x the
 * source file.
 */
#include "gdi_device.h"

#include <imaging.h>
#include <leptonica/allheaders.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <time.h>
#include <vector>

using namespace winport::gdi;

namespace {

/* A sink that only counts the PDF's bytes. */
class CountingSink : public DocumentSink {
public:
    PageFormat format() const override { return PageFormat::Pdf; }
    int beginDocument(const DocumentInfo &) override
    {
        bytes = 0;
        return 1;
    }
    bool writePdf(const unsigned char *, std::size_t size) override
    {
        bytes += size;
        return true;
    }
    void beginPage(const PageInfo &) override {}
    bool endPage(const PageInfo &, const RasterPage *) override { return true; }
    bool endDocument(const DocumentInfo &, int, bool) override { return true; }
    std::size_t bytes = 0;
};

/* The test page: text-like strokes over a letter page at 300 dpi, G4. */
std::vector<unsigned char> G4Page()
{
    Pix *pix = pixCreate(2550, 3300, 1);
    for (int line = 0; line < 55; line++)
        for (int word = 0; word < 12; word++) {
            const int x = 150 + word * 185 + (line * 37 % 60), y = 200 + line * 52;
            pixRasterop(pix, x, y, 120 + (word * line) % 50, 26, PIX_SET, nullptr, 0, 0);
            pixRasterop(pix, x + 10, y + 6, 90, 12, PIX_CLR, nullptr, 0, 0);
        }
    pixSetResolution(pix, 300, 300);
    l_uint8 *data = nullptr;
    size_t size = 0;
    pixWriteMemTiff(&data, &size, pix, IFF_TIFF_G4);
    std::vector<unsigned char> bytes(data, data + size);
    lept_free(data);
    pixDestroy(&pix);
    return bytes;
}

/* A 1600 x 1200 photograph-like picture (smooth gradients and edges), JPEG
 * quality 85. */
std::vector<unsigned char> JpegPhoto()
{
    Pix *pix = pixCreate(1600, 1200, 32);
    for (int y = 0; y < 1200; y++)
        for (int x = 0; x < 1600; x++) {
            const int r = (x * 255 / 1599 + ((x / 80 + y / 80) % 2) * 40) % 256;
            const int g = y * 255 / 1199, b = ((x * y) / 900) % 256;
            pixSetRGBPixel(pix, x, y, r, g, b);
        }
    l_uint8 *data = nullptr;
    size_t size = 0;
    pixWriteMemJpeg(&data, &size, pix, 85, 0);
    std::vector<unsigned char> bytes(data, data + size);
    lept_free(data);
    pixDestroy(&pix);
    return bytes;
}

double Seconds(std::chrono::steady_clock::time_point since)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

double BareDecode(const std::vector<unsigned char> &file)
{
    auto start = std::chrono::steady_clock::now();
    Pix *pix = pixReadMem(file.data(), file.size());
    const double t = Seconds(start);
    if (!pix) {
        std::fprintf(stderr, "Leptonica could not decode the picture\n");
        std::exit(1);
    }
    pixDestroy(&pix);
    return t;
}

/* Loads and paints one page into a one-page PDF; returns the time and the
 * PDF's size. */
double PaintIntoPdf(const std::vector<unsigned char> &file, std::size_t *pdfBytes)
{
    auto start = std::chrono::steady_clock::now();
    auto sink = std::make_shared<CountingSink>();
    HDC dc = CreatePrinterDC(DeviceDescription{}, sink);
    DOCINFOA di{sizeof(DOCINFOA), "bench", nullptr, nullptr, 0};
    StartDocA(dc, &di);
    StartPage(dc);
    BITMAPHANDLE b{};
    if (L_LoadMemory(file.data(), &b, sizeof b, 0, 1, static_cast<DWORD>(file.size())) !=
        L_SUCCESS) {
        std::fprintf(stderr, "L_LoadMemory failed\n");
        std::exit(1);
    }
    /* Fitted to the printable area of a letter page at 600 dpi. */
    const int w = GetDeviceCaps(dc, HORZRES), h = GetDeviceCaps(dc, VERTRES);
    const int outH = std::min(h, b.Height * w / b.Width), outW = outH * b.Width / b.Height;
    const RECT dest{0, 0, outW, outH};
    L_PaintDC(dc, &b, nullptr, &dest, SRCCOPY);
    L_FreeBitmap(&b);
    EndPage(dc);
    EndDoc(dc);
    DeleteDC(dc);
    *pdfBytes = sink->bytes;
    return Seconds(start);
}

/* The process's CPU time (every thread, the PDF writer's included): on a
 * loaded machine the wall time also counts waits for the writer's thread
 * to be scheduled, which this does not. */
double CpuSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

void Run(const char *what, const std::vector<unsigned char> &file, int iterations)
{
    std::vector<double> decode, paint, decodeCpu, paintCpu;
    std::size_t pdf = 0;
    for (int i = 0; i < iterations; i++) {
        double cpu = CpuSeconds();
        decode.push_back(BareDecode(file));
        decodeCpu.push_back(CpuSeconds() - cpu);
        cpu = CpuSeconds();
        paint.push_back(PaintIntoPdf(file, &pdf));
        paintCpu.push_back(CpuSeconds() - cpu);
    }
    const double d = Median(decode), p = Median(paint);
    const double dc = Median(decodeCpu), pc = Median(paintCpu);
    std::printf("%-24s decode %7.2f ms  load+paint+PDF %7.2f ms  (%.2fx)  source %8zu B  "
                "PDF %8zu B  (%.2fx)\n",
                what, d * 1e3, p * 1e3, p / d, file.size(), pdf,
                static_cast<double>(pdf) / file.size());
    std::printf("%-24s CPU: decode %7.2f ms  load+paint+PDF %7.2f ms  (%.2fx)\n", "", dc * 1e3,
                pc * 1e3, pc / dc);
}

} // namespace

int main(int argc, char **argv)
{
    const int iterations = argc > 1 ? std::max(1, std::atoi(argv[1])) : 30;
    setMsgSeverity(L_SEVERITY_NONE);
    const std::string only = argc > 2 ? argv[2] : "";
    if (only.empty() || only == "g4")
        Run("G4 letter page, 300 dpi", G4Page(), iterations);
    if (only.empty() || only == "jpeg")
        Run("JPEG 1600 x 1200", JpegPhoto(), iterations);
    return 0;
}
