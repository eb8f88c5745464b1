/*
 * The drawing target of a DC for one call, colours as the device shows
 * them, and the extension that hands a page's cairo context to components
 * (winport_gdi_ext.h).
 *
 * A printer DC draws on its open page (the page's cairo context, already in
 * device units and clipped to the printable area).  A memory DC draws into
 * its selected bitmap: in place when the bitmap is 32 bpp top-down, else
 * through a copy written back when the call ends.  A screen DC, and a
 * printer DC before its document, has no target: calls succeed, update the
 * DC and the record, and put nothing on paper.  A printer DC whose document
 * is open but has no page open has no target either, and there the drawing
 * calls fail (ERROR_NOT_READY, one line in the error log per gap): output
 * that reaches no paper must not pass unseen.
 */
#include "gdi_print.h"

#include "user/error_log.h"
#include "winport_gdi_ext.h"

namespace winport::gdi {

Rgb deviceColor(const DeviceContext &dc, COLORREF c)
{
    double r = GetRValue(c) / 255.0;
    double g = GetGValue(c) / 255.0;
    double b = GetBValue(c) / 255.0;
    if (dc.caps.bitsPixel == 1) {
        /* A monochrome printer shows colours as their luminance. */
        double y = 0.299 * r + 0.587 * g + 0.114 * b;
        return Rgb{y, y, y};
    }
    return Rgb{r, g, b};
}

void setSourceColor(cairo_t *cr, const DeviceContext &dc, COLORREF c)
{
    Rgb rgb = deviceColor(dc, c);
    cairo_set_source_rgb(cr, rgb.r, rgb.g, rgb.b);
}

bool failBetweenPages(DeviceContext &dc, const char *call)
{
    PrinterState *ps = dc.printer.get();
    if (!ps || !ps->docOpen || ps->pageOpen)
        return false;
    SetLastError(ERROR_NOT_READY);
    if (!ps->warnedBetweenPages) {
        ps->warnedBetweenPages = true;
        WriteErrorLog(std::string("winport: ") + call +
                      " on a printer between pages: nothing reaches the paper");
    }
    return true;
}

DrawTarget::DrawTarget(DeviceContext &dc) : dc_(dc)
{
    if (dc.printer) {
        if (dc.printer->pageOpen) {
            cr_ = dc.printer->cr;
            raster_ = dc.printer->format == PageFormat::Raster;
        }
        return;
    }
    if (dc.kind != DcKind::Memory || !dc.bitmap)
        return;
    temp_ = bitmapSurface(*dc.bitmap, RGB(0, 0, 0), RGB(255, 255, 255));
    if (!temp_)
        return;
    cr_ = cairo_create(temp_);
    cairo_set_antialias(cr_, CAIRO_ANTIALIAS_NONE); /* whole pixels, as GDI fills them */
    owned_ = true;
    raster_ = true;
}

DrawTarget::~DrawTarget()
{
    if (!owned_)
        return;
    cairo_destroy(cr_);
    cairo_surface_flush(temp_);
    if (!bitmapIsRgb24(*dc_.bitmap))
        storeSurface(temp_, *dc_.bitmap);
    cairo_surface_destroy(temp_);
}

} // namespace winport::gdi

using namespace winport::gdi;

cairo_t *winport_gdi_cairo(HDC hdc)
{
    GdiGuard guard(gdiLock());
    auto *dc = findAs<DeviceContext>(hdc, ObjType::DC);
    if (!dc || !dc->printer || !dc->printer->pageOpen)
        return nullptr;
    return dc->printer->cr;
}

void winport_gdi_note_drawing(HDC hdc, const char *what, const RECT *box)
{
    GdiGuard guard(gdiLock());
    auto *dc = findAs<DeviceContext>(hdc, ObjType::DC);
    if (!dc || !recording(*dc))
        return;
    addRecord(*dc, RecExternal{currentPage(*dc), what ? what : "", box ? *box : RECT{}});
}
