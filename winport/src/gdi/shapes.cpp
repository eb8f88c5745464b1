/*
 * Lines and shapes: MoveToEx, LineTo, Rectangle, Ellipse, FillRect.
 *
 * Coverage follows GDI's pixel rules.  Right and bottom edges are
 * exclusive: Rectangle(l, t, r, b) with a one-unit pen outlines columns l
 * and r - 1; with the null pen its fill shrinks by one unit right and
 * below, as on Windows; FillRect covers [l, r) x [t, b).  A pen of width w
 * is centred on the pixel row or column of the path, so a 7-unit rule at
 * y = 100 covers rows 97 to 103.  Pens from CreatePen end and join round.
 */
#include "gdi_private.h"

#include <algorithm>
#include <cmath>

using namespace winport::gdi;

namespace {

int strokeWidth(const Pen &pen)
{
    return std::max(pen.width, 1);
}

/* Sets up the pen on cr; false when the pen draws nothing. */
bool applyPen(cairo_t *cr, const DeviceContext &dc, const Pen &pen)
{
    if (pen.style == PS_NULL)
        return false;
    int width = strokeWidth(pen);
    cairo_set_line_width(cr, width);
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
    static const double kDash[] = {18, 6}, kDot[] = {3, 3}, kDashDot[] = {9, 6, 3, 6},
                        kDashDotDot[] = {9, 3, 3, 3, 3, 3};
    const double *pattern = nullptr;
    int count = 0;
    if (width == 1) { /* wider styled pens draw solid, as on Windows NT */
        switch (pen.style) {
        case PS_DASH:
            pattern = kDash, count = 2;
            break;
        case PS_DOT:
            pattern = kDot, count = 2;
            break;
        case PS_DASHDOT:
            pattern = kDashDot, count = 4;
            break;
        case PS_DASHDOTDOT:
            pattern = kDashDotDot, count = 6;
            break;
        default:
            break;
        }
    }
    if (pattern) {
        /* Dash lengths are screen pixels; keep them visible at printer resolution. */
        double scale = std::max(1.0, dc.caps.dpiX / 96.0);
        double dashes[6];
        for (int i = 0; i < count; i++)
            dashes[i] = pattern[i] * scale;
        cairo_set_dash(cr, dashes, count, 0);
        cairo_set_line_cap(cr, CAIRO_LINE_CAP_BUTT);
    } else {
        cairo_set_dash(cr, nullptr, 0, 0);
    }
    setSourceColor(cr, dc, pen.color);
    return true;
}

/* Odd widths centre on the pixel's middle, even widths on its edge. */
double pixelCentre(const Pen &pen)
{
    return strokeWidth(pen) % 2 ? 0.5 : 0.0;
}

bool applyBrush(cairo_t *cr, const DeviceContext &dc, const Brush *brush)
{
    if (!brush || brush->style == BS_NULL)
        return false;
    setSourceColor(cr, dc, brush->color);
    return true;
}

RECT normalised(int left, int top, int right, int bottom)
{
    return RECT{std::min(left, right), std::min(top, bottom), std::max(left, right),
                std::max(top, bottom)};
}

/* Fills then outlines a closed path; path(cr, inset) adds the outline path. */
template <class PathFn> void fillAndStroke(DeviceContext &dc, const RECT &r, PathFn path)
{
    DrawTarget target(dc);
    cairo_t *cr = target.cr();
    if (!cr)
        return;
    const Pen &pen = *dc.pen;
    cairo_save(cr);
    if (applyBrush(cr, dc, dc.brush)) {
        bool nullPen = pen.style == PS_NULL;
        path(cr, RECT{r.left, r.top, r.right - (nullPen ? 1 : 0), r.bottom - (nullPen ? 1 : 0)});
        cairo_fill(cr);
    }
    if (applyPen(cr, dc, pen)) {
        int w = strokeWidth(pen);
        double c = pixelCentre(pen);
        if (pen.style == PS_INSIDEFRAME)
            cairo_translate(cr, w / 2.0 - c, w / 2.0 - c);
        int shrink = pen.style == PS_INSIDEFRAME ? w - 1 : 0;
        cairo_translate(cr, c, c);
        path(cr, RECT{r.left, r.top, r.right - 1 - shrink, r.bottom - 1 - shrink});
        cairo_stroke(cr);
    }
    cairo_restore(cr);
}

void rectanglePath(cairo_t *cr, const RECT &r)
{
    cairo_rectangle(cr, r.left, r.top, r.right - r.left, r.bottom - r.top);
}

void ellipsePath(cairo_t *cr, const RECT &r)
{
    double w = r.right - r.left, h = r.bottom - r.top;
    if (w <= 0 || h <= 0)
        return;
    cairo_save(cr);
    cairo_translate(cr, r.left + w / 2, r.top + h / 2);
    cairo_scale(cr, w / 2, h / 2);
    cairo_new_sub_path(cr);
    cairo_arc(cr, 0, 0, 1, 0, 2 * M_PI);
    cairo_restore(cr);
}

BOOL shape(HDC hdc, RecShape::Kind kind, int left, int top, int right, int bottom)
{
    GdiGuard guard(gdiLock());
    DeviceContext *dc = dcFromHandle(hdc);
    if (!dc)
        return FALSE;
    RECT r = normalised(left, top, right, bottom);
    if (kind == RecShape::Rectangle)
        fillAndStroke(*dc, r, rectanglePath);
    else
        fillAndStroke(*dc, r, ellipsePath);
    if (recording(*dc))
        addRecord(*dc, RecShape{kind, currentPage(*dc), r, recPen(dc->pen), recBrush(dc->brush)});
    if (failBetweenPages(*dc, kind == RecShape::Rectangle ? "Rectangle" : "Ellipse"))
        return FALSE;
    return TRUE;
}

/* FillRect's brush: a brush handle, or a system colour index + 1. */
bool brushForFill(HBRUSH hbr, Brush *out)
{
    auto index = reinterpret_cast<std::uintptr_t>(hbr);
    if (index > 0 && index <= 31) {
        out->style = BS_SOLID;
        switch (index - 1) {
        case COLOR_WINDOWTEXT:
            out->color = RGB(0, 0, 0);
            break;
        case COLOR_BTNFACE:
            out->color = RGB(240, 240, 240);
            break;
        default:
            out->color = RGB(255, 255, 255);
            break;
        }
        return true;
    }
    auto *brush = findAs<Brush>(hbr, ObjType::Brush);
    if (!brush)
        return false;
    out->style = brush->style;
    out->color = brush->color;
    return true;
}

} // namespace

/***********************************************************************
 *           MoveToEx
 */
BOOL WINAPI MoveToEx(HDC hdc, int x, int y, LPPOINT lppt)
{
    GdiGuard guard(gdiLock());
    DeviceContext *dc = dcFromHandle(hdc);
    if (!dc)
        return FALSE;
    if (lppt)
        *lppt = dc->pos;
    dc->pos = POINT{x, y};
    return TRUE;
}

/***********************************************************************
 *           GetCurrentPositionEx
 */
BOOL WINAPI GetCurrentPositionEx(HDC hdc, LPPOINT lppt)
{
    GdiGuard guard(gdiLock());
    DeviceContext *dc = dcFromHandle(hdc);
    if (!dc)
        return FALSE;
    if (!lppt) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    *lppt = dc->pos;
    return TRUE;
}

/***********************************************************************
 *           LineTo
 * Draws from the current position with the selected pen and moves the
 * current position to (x, y).
 */
BOOL WINAPI LineTo(HDC hdc, int x, int y)
{
    GdiGuard guard(gdiLock());
    DeviceContext *dc = dcFromHandle(hdc);
    if (!dc)
        return FALSE;
    POINT from = dc->pos;
    {
        DrawTarget target(*dc);
        if (cairo_t *cr = target.cr()) {
            cairo_save(cr);
            if (applyPen(cr, *dc, *dc->pen)) {
                double c = pixelCentre(*dc->pen);
                cairo_move_to(cr, from.x + c, from.y + c);
                cairo_line_to(cr, x + c, y + c);
                cairo_stroke(cr);
            }
            cairo_restore(cr);
        }
    }
    if (recording(*dc))
        addRecord(*dc, RecLine{currentPage(*dc), from, POINT{x, y}, recPen(dc->pen)});
    dc->pos = POINT{x, y};
    return failBetweenPages(*dc, "LineTo") ? FALSE : TRUE;
}

/***********************************************************************
 *           Rectangle
 * Outlined with the pen, filled with the brush; right and bottom exclusive.
 */
BOOL WINAPI Rectangle(HDC hdc, int left, int top, int right, int bottom)
{
    return shape(hdc, RecShape::Rectangle, left, top, right, bottom);
}

/***********************************************************************
 *           Ellipse
 * The ellipse inscribed in the rectangle, right and bottom exclusive.
 */
BOOL WINAPI Ellipse(HDC hdc, int left, int top, int right, int bottom)
{
    return shape(hdc, RecShape::Ellipse, left, top, right, bottom);
}

/***********************************************************************
 *           FillRect
 * Fills [left, right) x [top, bottom) with the brush, without the pen.
 * hbr may be a system colour index + 1 (COLOR_WINDOW, COLOR_WINDOWTEXT,
 * COLOR_BTNFACE; other indexes fill white).  Returns nonzero on success.
 */
int WINAPI FillRect(HDC hDC, const RECT *lprc, HBRUSH hbr)
{
    GdiGuard guard(gdiLock());
    DeviceContext *dc = dcFromHandle(hDC);
    if (!dc)
        return 0;
    if (!lprc) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    Brush brush;
    if (!brushForFill(hbr, &brush)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return 0;
    }
    RECT r = *lprc;
    if (r.right > r.left && r.bottom > r.top) {
        DrawTarget target(*dc);
        if (cairo_t *cr = target.cr(); cr && applyBrush(cr, *dc, &brush)) {
            rectanglePath(cr, r);
            cairo_fill(cr);
        }
    }
    if (recording(*dc))
        addRecord(*dc, RecShape{RecShape::FillRect, currentPage(*dc), r, RecPen{PS_NULL, 0, 0},
                                recBrush(&brush)});
    return failBetweenPages(*dc, "FillRect") ? 0 : 1;
}
