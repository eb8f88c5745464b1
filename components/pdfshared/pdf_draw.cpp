/*
 * Printing a PDF onto a printer DC (see pdf_draw.h).
 *
 * Placement: the printable area, less the heading and footing bands, is
 * where a page goes.  A landscape page on a portrait area (or the reverse)
 * is turned a quarter counter-clockwise, as the printer turns landscape
 * documents; a page larger than the area is shrunk to fit, a smaller one
 * keeps its size; either is centred.  So a letter page on letter paper
 * with no unprintable margins lands exactly where its PDF puts it.
 *
 * A document with Type 3 fonts is rasterised whatever was asked: poppler
 * draws those glyphs through callbacks that cairo makes when the printer's
 * PDF is written, on the writer's thread and possibly after the document
 * is gone.
 */
#include "pdf_draw.h"

#include <kelpdftron.h>
#include <winport_gdi_ext.h>

#include <cairo.h>
#include <poppler.h>

#include <algorithm>
#include <cmath>
#include <memory>

namespace pdfshared {
namespace {

/* Band text height in points, and the band as a multiple of it. */
constexpr double kBandPoints = 9.0;
constexpr double kBandLines = 2.0;
/* At most this many bytes of pixels are rendered at once when rasterising. */
constexpr long long kRasterBandBytes = 64LL << 20;

struct Unref {
    void operator()(gpointer p) const { g_object_unref(p); }
};
using Document = std::unique_ptr<PopplerDocument, Unref>;
using Page = std::unique_ptr<PopplerPage, Unref>;

/* Device geometry of the open page. */
struct Device {
    int dpiX, dpiY;
    RECT area; /* where the page may go, after the bands */
};

/* Where a page lands: its box on the device and how to draw into it. */
struct Placement {
    RECT box;
    bool turned; /* a quarter counter-clockwise */
    double scale;
};

Document OpenDocument(const std::string &bytes, std::string *error)
{
    GBytes *data = g_bytes_new(bytes.data(), bytes.size());
    GError *gerror = nullptr;
    PopplerDocument *doc = poppler_document_new_from_bytes(data, nullptr, &gerror);
    g_bytes_unref(data);
    if (!doc) {
        *error = gerror ? gerror->message : "not a PDF";
        if (gerror)
            g_error_free(gerror);
    }
    return Document(doc);
}

bool HasType3Fonts(PopplerDocument *doc)
{
    PopplerFontInfo *info = poppler_font_info_new(doc);
    PopplerFontsIter *iter = nullptr;
    bool found = false;
    int pages = poppler_document_get_n_pages(doc);
    if (poppler_font_info_scan(info, pages, &iter) && iter) {
        do
            found = poppler_fonts_iter_get_font_type(iter) == POPPLER_FONT_TYPE_TYPE3;
        while (!found && poppler_fonts_iter_next(iter));
        poppler_fonts_iter_free(iter);
    }
    g_object_unref(info);
    return found;
}

int BandHeight(int dpiY)
{
    return static_cast<int>(std::lround(kBandPoints * kBandLines * dpiY / 72.0));
}

/* Draws a band's text in the band [top, top + height) of the printable
 * area, with GDI, so it is text in the DC's record like any other. */
void DrawBand(HDC hdc, const Band &band, int top, int height, int width, int dpiY, int pageNumber,
              int pageCount)
{
    std::string text = band.text;
    if (band.type == KELPDF_BAND_PAGE_NUMBER)
        text += (text.empty() ? "" : "  ") + std::string("Page ") + std::to_string(pageNumber) +
                " of " + std::to_string(pageCount);
    if (text.empty())
        return;
    int em = static_cast<int>(std::lround(kBandPoints * dpiY / 72.0));
    HFONT font =
        CreateFontA(-em, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, ANSI_CHARSET, OUT_DEFAULT_PRECIS,
                    CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, VARIABLE_PITCH | FF_SWISS, "Arial");
    HGDIOBJ old = SelectObject(hdc, font);
    UINT align = band.type == KELPDF_BAND_RIGHT  ? TA_RIGHT
                 : band.type == KELPDF_BAND_LEFT ? TA_LEFT
                                                 : TA_CENTER;
    UINT oldAlign = SetTextAlign(hdc, align | TA_TOP);
    int x = align == TA_LEFT ? 0 : align == TA_RIGHT ? width : width / 2;
    TextOutA(hdc, x, top + (height - em) / 2, text.c_str(), static_cast<int>(text.size()));
    SetTextAlign(hdc, oldAlign);
    SelectObject(hdc, old);
    DeleteObject(font);
}

Placement Place(double widthPt, double heightPt, const Device &dev)
{
    int areaW = dev.area.right - dev.area.left;
    int areaH = dev.area.bottom - dev.area.top;
    bool turned = widthPt > heightPt ? areaH > areaW : (heightPt > widthPt && areaW > areaH);
    /* The page's size on the device as it will lie. */
    double w = (turned ? heightPt : widthPt) * dev.dpiX / 72.0;
    double h = (turned ? widthPt : heightPt) * dev.dpiY / 72.0;
    double scale = std::min({1.0, areaW / w, areaH / h});
    int boxW = static_cast<int>(std::lround(w * scale));
    int boxH = static_cast<int>(std::lround(h * scale));
    int left = dev.area.left + (areaW - boxW) / 2;
    int top = dev.area.top + (areaH - boxH) / 2;
    return Placement{RECT{left, top, left + boxW, top + boxH}, turned, scale};
}

/* Sets cr so that page points draw into the placement's box, whose corner
 * is at (originX, originY) in cr's current space. */
void Transform(cairo_t *cr, const Placement &at, const Device &dev, double originX, double originY)
{
    cairo_translate(cr, originX, originY);
    if (at.turned) {
        cairo_translate(cr, at.box.right - at.box.left, 0);
        cairo_rotate(cr, M_PI / 2);
        /* After the turn, page x runs down the device and page y across. */
        cairo_scale(cr, at.scale * dev.dpiY / 72.0, at.scale * dev.dpiX / 72.0);
    } else {
        cairo_scale(cr, at.scale * dev.dpiX / 72.0, at.scale * dev.dpiY / 72.0);
    }
}

bool DrawVector(HDC hdc, PopplerPage *page, const Placement &at, const Device &dev)
{
    cairo_t *cr = winport_gdi_cairo(hdc);
    if (!cr)
        return false;
    cairo_save(cr);
    cairo_rectangle(cr, at.box.left, at.box.top, at.box.right - at.box.left,
                    at.box.bottom - at.box.top);
    cairo_clip(cr);
    Transform(cr, at, dev, at.box.left, at.box.top);
    poppler_page_render_for_printing(page, cr);
    cairo_restore(cr);
    return cairo_status(cr) == CAIRO_STATUS_SUCCESS;
}

/* Renders the page at device resolution in bands of rows and hands each to
 * StretchDIBits, so that memory stays bounded at any resolution. */
bool DrawRaster(HDC hdc, PopplerPage *page, const Placement &at, const Device &dev)
{
    int width = at.box.right - at.box.left;
    int height = at.box.bottom - at.box.top;
    if (width <= 0 || height <= 0)
        return true;
    int rows = static_cast<int>(std::clamp<long long>(kRasterBandBytes / (4LL * width), 1, height));
    for (int y0 = 0; y0 < height; y0 += rows) {
        int n = std::min(rows, height - y0);
        cairo_surface_t *band = cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, n);
        cairo_t *cr = cairo_create(band);
        cairo_set_source_rgb(cr, 1, 1, 1);
        cairo_paint(cr);
        Transform(cr, at, dev, 0, -y0);
        poppler_page_render_for_printing(page, cr);
        bool ok = cairo_status(cr) == CAIRO_STATUS_SUCCESS;
        cairo_destroy(cr);
        cairo_surface_flush(band);
        BITMAPINFO bmi = {};
        bmi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
        bmi.bmiHeader.biWidth = cairo_image_surface_get_stride(band) / 4;
        bmi.bmiHeader.biHeight = -n; /* top-down, as cairo keeps rows */
        bmi.bmiHeader.biPlanes = 1;
        bmi.bmiHeader.biBitCount = 32;
        bmi.bmiHeader.biCompression = BI_RGB;
        ok = ok &&
             StretchDIBits(hdc, at.box.left, at.box.top + y0, width, n, 0, 0, width, n,
                           cairo_image_surface_get_data(band), &bmi, DIB_RGB_COLORS, SRCCOPY) != 0;
        cairo_surface_destroy(band);
        if (!ok)
            return false;
    }
    return true;
}

/* One PDF page as one page of the DC. */
bool PrintPage(PopplerPage *page, const PrintRequest &request, bool rasterize, int number,
               int count, std::string *error)
{
    HDC hdc = request.hdc;
    if (StartPage(hdc) <= 0) {
        *error = "the printer refused a page (error " + std::to_string(GetLastError()) + ")";
        return false;
    }
    Device dev{GetDeviceCaps(hdc, LOGPIXELSX), GetDeviceCaps(hdc, LOGPIXELSY),
               RECT{0, 0, GetDeviceCaps(hdc, HORZRES), GetDeviceCaps(hdc, VERTRES)}};
    int band = BandHeight(dev.dpiY);
    int width = dev.area.right;
    if (request.heading.type != KELPDF_BAND_NONE) {
        DrawBand(hdc, request.heading, 0, band, width, dev.dpiY, number, count);
        dev.area.top += band;
    }
    if (request.footing.type != KELPDF_BAND_NONE) {
        dev.area.bottom -= band;
        DrawBand(hdc, request.footing, dev.area.bottom, band, width, dev.dpiY, number, count);
    }
    double w = 0, h = 0;
    poppler_page_get_size(page, &w, &h);
    bool drawn = true;
    if (w > 0 && h > 0 && dev.area.bottom > dev.area.top && dev.area.right > dev.area.left) {
        Placement at = Place(w, h, dev);
        drawn = rasterize ? DrawRaster(hdc, page, at, dev) : DrawVector(hdc, page, at, dev);
        winport_gdi_note_drawing(hdc, rasterize ? "pdf page (raster)" : "pdf page", &at.box);
    }
    if (EndPage(hdc) <= 0 || !drawn) {
        *error = "the page could not be drawn (error " + std::to_string(GetLastError()) + ")";
        return false;
    }
    return true;
}

void SelectPaperSource(HDC hdc, int source)
{
    if (source < 0)
        return;
    DEVMODEA dm = {};
    dm.dmSize = sizeof dm;
    dm.dmSpecVersion = DM_SPECVERSION;
    dm.dmFields = DM_DEFAULTSOURCE;
    dm.dmDefaultSource = static_cast<short>(source);
    ResetDCA(hdc, &dm);
}

} // namespace

int PrintPdf(const std::string &bytes, const PrintRequest &request, std::string *error)
{
    Document doc = OpenDocument(bytes, error);
    if (!doc)
        return 0;
    int pages = poppler_document_get_n_pages(doc.get());
    int first = std::max(1, request.firstPage);
    int last = std::min(pages, request.lastPage);
    if (first > last) {
        *error = "no page " + std::to_string(request.firstPage) + " to " +
                 std::to_string(request.lastPage) + " in a document of " + std::to_string(pages);
        return 0;
    }
    bool rasterize = request.rasterize || HasType3Fonts(doc.get());
    SelectPaperSource(request.hdc, request.paperSource);
    int copies = std::clamp(request.copies, 1, 99);
    int count = last - first + 1;
    int printed = 0;
    for (int copy = 0; copy < copies; copy++)
        for (int n = first; n <= last; n++) {
            Page page(poppler_document_get_page(doc.get(), n - 1));
            if (!page || !PrintPage(page.get(), request, rasterize, n - first + 1, count, error))
                return printed;
            printed++;
        }
    return printed;
}

} // namespace pdfshared
