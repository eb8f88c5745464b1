/*
 * Text drawing speed: pages of 60 lines of 80 characters drawn through
 * TextOutA into a PDF file printer, beside cairo drawing the same text
 * straight into a PDF file in the same run (with its own advances, and at
 * the whole-unit advances GDI places glyphs at), and the cost of
 * recording; for a fixed-pitch and a proportional font.
 *
 *   winport_gdi_textout_bench [pages]      (default 1000)
 */
#include "gdi_device.h"
#include "gdi_record.h"

#include <cairo-pdf.h>
#include <cairo.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

using namespace winport::gdi;

namespace {

constexpr int kLines = 60, kColumns = 80, kDpi = 600, kLineStep = 100, kEm = 83;

std::vector<std::string> pageText(int page)
{
    std::vector<std::string> lines;
    for (int i = 0; i < kLines; i++) {
        char buf[160];
        std::snprintf(buf, sizeof buf,
                      "%05d %02d Patient name and address, Rx %07d qty %03d, "
                      "take one tablet daily.                 ",
                      page % 100000, i, (page * kLines + i) % 10000000, i * 7 % 1000);
        std::string line(buf);
        line.resize(kColumns, ' ');
        lines.push_back(line);
    }
    return lines;
}

double seconds(std::chrono::steady_clock::time_point since)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

struct Scenario {
    const char *face;   /* as the program asks */
    const char *family; /* what cairo is given directly */
    BYTE pitchAndFamily;
};

double throughGdi(const Scenario &sc, const std::string &path, int pages, bool record)
{
    auto start = std::chrono::steady_clock::now();
    HDC dc = CreatePrinterDC(DeviceDescription{}, std::make_shared<PdfFileSink>(path));
    if (record)
        SetRecording(dc, true);
    HFONT font = CreateFontA(-kEm, 0, 0, 0, FW_NORMAL, 0, 0, 0, ANSI_CHARSET, 0, 0, 0,
                             sc.pitchAndFamily, sc.face);
    SelectObject(dc, font);
    SetTextAlign(dc, TA_BASELINE);
    SetBkMode(dc, TRANSPARENT);
    DOCINFOA di{sizeof di, "bench", nullptr, nullptr, 0};
    StartDocA(dc, &di);
    for (int p = 0; p < pages; p++) {
        StartPage(dc);
        std::vector<std::string> lines = pageText(p);
        for (int i = 0; i < kLines; i++)
            TextOutA(dc, 300, 300 + i * kLineStep, lines[static_cast<std::size_t>(i)].c_str(),
                     kColumns);
        EndPage(dc);
    }
    EndDoc(dc);
    SelectObject(dc, GetStockObject(SYSTEM_FONT));
    DeleteObject(font);
    DeleteDC(dc);
    return seconds(start);
}

/* The advances GDI places glyphs at, for cairo to use the same positions. */
std::vector<int> gdiAdvances(const Scenario &sc)
{
    HDC dc = CreatePrinterDC(DeviceDescription{}, std::make_shared<PdfFileSink>("/dev/null"));
    HFONT font = CreateFontA(-kEm, 0, 0, 0, FW_NORMAL, 0, 0, 0, ANSI_CHARSET, 0, 0, 0,
                             sc.pitchAndFamily, sc.face);
    SelectObject(dc, font);
    std::vector<int> adv(256);
    for (int b = 0; b < 256; b++) {
        char ch = static_cast<char>(b);
        SIZE size{};
        GetTextExtentPoint32A(dc, &ch, 1, &size);
        adv[static_cast<std::size_t>(b)] = size.cx;
    }
    SelectObject(dc, GetStockObject(SYSTEM_FONT));
    DeleteObject(font);
    DeleteDC(dc);
    return adv;
}

/* cairo alone: its own advances (gdiAdvance empty) or GDI's. */
double throughCairo(const Scenario &sc, const std::string &path, int pages,
                    const std::vector<int> &gdiAdvance)
{
    auto start = std::chrono::steady_clock::now();
    cairo_surface_t *surface = cairo_pdf_surface_create(path.c_str(), 612, 792);
    cairo_t *cr = cairo_create(surface);
    cairo_font_options_t *options = cairo_font_options_create();
    cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_OFF);
    cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_NONE);
    cairo_set_font_options(cr, options);
    cairo_font_options_destroy(options);
    cairo_select_font_face(cr, sc.family, CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
    cairo_scale(cr, 72.0 / kDpi, 72.0 / kDpi);
    cairo_set_font_size(cr, kEm);
    cairo_scaled_font_t *font = cairo_get_scaled_font(cr);
    for (int p = 0; p < pages; p++) {
        std::vector<std::string> lines = pageText(p);
        for (int i = 0; i < kLines; i++) {
            const std::string &line = lines[static_cast<std::size_t>(i)];
            double y = 300 + i * kLineStep;
            if (gdiAdvance.empty()) {
                cairo_move_to(cr, 300, y);
                cairo_show_text(cr, line.c_str());
                continue;
            }
            cairo_glyph_t *glyphs = nullptr;
            cairo_text_cluster_t *clusters = nullptr;
            int nGlyphs = 0, nClusters = 0;
            cairo_text_cluster_flags_t flags;
            cairo_scaled_font_text_to_glyphs(font, 300, y, line.c_str(), kColumns, &glyphs,
                                             &nGlyphs, &clusters, &nClusters, &flags);
            double x = 300;
            for (int g = 0; g < nGlyphs; g++) {
                glyphs[g].x = x;
                x += gdiAdvance[static_cast<unsigned char>(line[static_cast<std::size_t>(g)])];
            }
            cairo_show_text_glyphs(cr, line.c_str(), kColumns, glyphs, nGlyphs, clusters, nClusters,
                                   flags);
            cairo_glyph_free(glyphs);
            cairo_text_cluster_free(clusters);
        }
        cairo_show_page(cr);
    }
    cairo_destroy(cr);
    cairo_surface_destroy(surface);
    return seconds(start);
}

void run(const Scenario &sc, int pages, const std::string &dir)
{
    std::string gdiPdf = dir + "/winport-bench-gdi.pdf",
                cairoPdf = dir + "/winport-bench-cairo.pdf";
    std::vector<int> advances = gdiAdvances(sc);
    throughGdi(sc, gdiPdf, 2, false); /* warm the font caches of both paths */
    throughCairo(sc, cairoPdf, 2, {});
    double natural = throughCairo(sc, cairoPdf, pages, {});
    auto naturalBytes = std::filesystem::file_size(cairoPdf);
    double placed = throughCairo(sc, cairoPdf, pages, advances);
    double gdi = throughGdi(sc, gdiPdf, pages, false);
    auto gdiBytes = std::filesystem::file_size(gdiPdf);
    double recorded = throughGdi(sc, gdiPdf, pages, true);
    std::printf("%s (%s), %d pages of %d lines x %d characters:\n", sc.face, sc.family, pages,
                kLines, kColumns);
    std::printf("  cairo, its own advances  : %7.1f pages/s  %8lu bytes\n", pages / natural,
                static_cast<unsigned long>(naturalBytes));
    std::printf("  cairo, at GDI's advances : %7.1f pages/s\n", pages / placed);
    std::printf(
        "  TextOutA                 : %7.1f pages/s  %8lu bytes  %.2fx / %.2fx the cairo times\n",
        pages / gdi, static_cast<unsigned long>(gdiBytes), gdi / natural, gdi / placed);
    std::printf("  TextOutA, recording      : %7.1f pages/s  (record costs %+.1f%%)\n",
                pages / recorded, (recorded / gdi - 1) * 100);
    std::filesystem::remove(gdiPdf);
    std::filesystem::remove(cairoPdf);
}

} // namespace

int main(int argc, char **argv)
{
    int pages = argc > 1 ? std::atoi(argv[1]) : 1000;
    std::string dir = std::filesystem::temp_directory_path().string();
    run(Scenario{"Courier New", "Liberation Mono", FIXED_PITCH | FF_MODERN}, pages, dir);
    run(Scenario{"Arial", "Liberation Sans", VARIABLE_PITCH | FF_SWISS}, pages, dir);
    return 0;
}
