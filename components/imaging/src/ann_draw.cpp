/*
 * Drawing annotations with cairo, onto a printer page (L_AnnPrint) or into
 * a bitmap's pixels (L_AnnRealize).  The container's image-pixel rectangle
 * maps onto the destination, so line widths and fonts scale with the
 * image.  A highlighter multiplies its colour into what is below, as a
 * marker pen does, so the text under it stays readable.
 */
#include "ann_model.h"

#include <algorithm>
#include <cmath>
#include <sstream>

namespace imaging::ann {
namespace {

void SetColour(cairo_t *cr, COLORREF c)
{
    cairo_set_source_rgb(cr, GetRValue(c) / 255.0, GetGValue(c) / 255.0, GetBValue(c) / 255.0);
}

void Stroke(cairo_t *cr, const Object &o)
{
    if (o.lineWidth <= 0) {
        cairo_new_path(cr);
        return;
    }
    SetColour(cr, o.color);
    cairo_set_line_width(cr, o.lineWidth);
    cairo_stroke(cr);
}

void RectPath(cairo_t *cr, const Object &o)
{
    cairo_rectangle(cr, o.left, o.top, o.right - o.left, o.bottom - o.top);
}

void FillIfAsked(cairo_t *cr, const Object &o)
{
    if (!o.filled)
        return;
    SetColour(cr, o.fill);
    cairo_fill_preserve(cr);
}

void DrawArrowHead(cairo_t *cr, const Object &o)
{
    const Point &a = o.points[0], &b = o.points[1];
    const double angle = std::atan2(b.y - a.y, b.x - a.x);
    const double length = std::max(10.0, o.lineWidth * 4);
    const double spread = 25 * M_PI / 180;
    cairo_move_to(cr, b.x, b.y);
    cairo_line_to(cr, b.x - length * std::cos(angle - spread),
                  b.y - length * std::sin(angle - spread));
    cairo_line_to(cr, b.x - length * std::cos(angle + spread),
                  b.y - length * std::sin(angle + spread));
    cairo_close_path(cr);
    SetColour(cr, o.color);
    cairo_fill(cr);
}

void DrawLines(cairo_t *cr, const Object &o)
{
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
    cairo_move_to(cr, o.points[0].x, o.points[0].y);
    for (std::size_t i = 1; i < o.points.size(); i++)
        cairo_line_to(cr, o.points[i].x, o.points[i].y);
    Stroke(cr, o);
    if (o.kind == Kind::Arrow)
        DrawArrowHead(cr, o);
}

void DrawEllipse(cairo_t *cr, const Object &o)
{
    const double rx = (o.right - o.left) / 2, ry = (o.bottom - o.top) / 2;
    if (rx <= 0 || ry <= 0)
        return;
    cairo_save(cr);
    cairo_translate(cr, o.left + rx, o.top + ry);
    cairo_scale(cr, rx, ry);
    cairo_arc(cr, 0, 0, 1, 0, 2 * M_PI);
    cairo_restore(cr); /* the path stays; the stroke is not distorted */
    FillIfAsked(cr, o);
    Stroke(cr, o);
}

/* Lines of text broken at spaces to fit `width`, and at new lines. */
std::vector<std::string> Wrap(cairo_t *cr, const std::string &text, double width)
{
    std::vector<std::string> lines;
    std::istringstream paragraphs(text);
    std::string paragraph;
    while (std::getline(paragraphs, paragraph)) {
        std::string line, word;
        std::istringstream words(paragraph);
        while (words >> word) {
            const std::string tried = line.empty() ? word : line + " " + word;
            cairo_text_extents_t ext;
            cairo_text_extents(cr, tried.c_str(), &ext);
            if (!line.empty() && ext.x_advance > width) {
                lines.push_back(line);
                line = word;
            } else {
                line = tried;
            }
        }
        lines.push_back(line);
    }
    return lines;
}

/* Text inside the object's rectangle, clipped to it: left-aligned from the
 * top, or centred both ways for a stamp. */
void DrawText(cairo_t *cr, const Object &o, double padding)
{
    cairo_save(cr);
    cairo_rectangle(cr, o.left, o.top, o.right - o.left, o.bottom - o.top);
    cairo_clip(cr);
    cairo_select_font_face(cr, o.font.name.c_str(),
                           o.font.italic ? CAIRO_FONT_SLANT_ITALIC : CAIRO_FONT_SLANT_NORMAL,
                           o.font.bold ? CAIRO_FONT_WEIGHT_BOLD : CAIRO_FONT_WEIGHT_NORMAL);
    cairo_set_font_size(cr, o.font.size);
    cairo_font_extents_t fe;
    cairo_font_extents(cr, &fe);
    const double width = o.right - o.left - 2 * padding;
    const std::vector<std::string> lines = Wrap(cr, o.text, width);
    const bool centred = o.kind == Kind::Stamp;
    double y = centred ? (o.top + o.bottom) / 2 - fe.height * lines.size() / 2 + fe.ascent
                       : o.top + padding + fe.ascent;
    SetColour(cr, o.color);
    for (const std::string &line : lines) {
        double x = o.left + padding;
        if (centred) {
            cairo_text_extents_t ext;
            cairo_text_extents(cr, line.c_str(), &ext);
            x = (o.left + o.right) / 2 - ext.x_advance / 2;
        }
        cairo_move_to(cr, x, y);
        cairo_show_text(cr, line.c_str());
        y += fe.height;
    }
    cairo_restore(cr);
}

void DrawObject(cairo_t *cr, const Object &o)
{
    switch (o.kind) {
    case Kind::Line:
    case Kind::Arrow:
    case Kind::Freehand:
        DrawLines(cr, o);
        break;
    case Kind::Rectangle:
        RectPath(cr, o);
        FillIfAsked(cr, o);
        Stroke(cr, o);
        break;
    case Kind::Ellipse:
        DrawEllipse(cr, o);
        break;
    case Kind::Highlighter:
        cairo_save(cr);
        cairo_set_operator(cr, CAIRO_OPERATOR_MULTIPLY);
        RectPath(cr, o);
        SetColour(cr, o.color);
        cairo_fill(cr);
        cairo_restore(cr);
        break;
    case Kind::Text:
        DrawText(cr, o, 0);
        break;
    case Kind::Note:
        RectPath(cr, o);
        FillIfAsked(cr, o);
        Stroke(cr, o);
        DrawText(cr, o, std::max(o.lineWidth, o.font.size / 4));
        break;
    case Kind::Stamp:
        RectPath(cr, o);
        FillIfAsked(cr, o);
        Stroke(cr, o);
        DrawText(cr, o, o.lineWidth);
        break;
    }
}

/* Where image pixels land in the DC's own units (the cairo surface may
 * be in points: the record is in the DC's units). */
struct Mapping {
    double left, top, sx, sy;
    RECT dest;
    double X(double x) const { return dest.left + (x - left) * sx; }
    double Y(double y) const { return dest.top + (y - top) * sy; }
};

/* The device box an object covers, for the DC's record. */
RECT DeviceBox(const Mapping &m, const Object &o)
{
    double x0, y0, x1, y1;
    if (!o.points.empty()) {
        x0 = x1 = o.points[0].x, y0 = y1 = o.points[0].y;
        for (const Point &p : o.points) {
            x0 = std::min(x0, p.x), x1 = std::max(x1, p.x);
            y0 = std::min(y0, p.y), y1 = std::max(y1, p.y);
        }
    } else {
        x0 = o.left, y0 = o.top, x1 = o.right, y1 = o.bottom;
    }
    x0 = m.X(x0), x1 = m.X(x1), y0 = m.Y(y0), y1 = m.Y(y1);
    return RECT{static_cast<LONG>(std::lround(std::min(x0, x1))),
                static_cast<LONG>(std::lround(std::min(y0, y1))),
                static_cast<LONG>(std::lround(std::max(x0, x1))),
                static_cast<LONG>(std::lround(std::max(y0, y1)))};
}

} // namespace

void Draw(cairo_t *cr, const Container &container, const RECT &dest, DrawNote note, void *context)
{
    double left = 0, top = 0, sx = 1, sy = 1;
    if (container.hasRect) {
        left = container.left, top = container.top;
        sx = (dest.right - dest.left) / (container.right - container.left + 1);
        sy = (dest.bottom - dest.top) / (container.bottom - container.top + 1);
    }
    if (!(sx > 0) || !(sy > 0) || !std::isfinite(sx) || !std::isfinite(sy))
        return;
    cairo_save(cr);
    cairo_translate(cr, dest.left, dest.top);
    cairo_scale(cr, sx, sy);
    cairo_translate(cr, -left, -top);
    for (const auto &o : container.objects) {
        cairo_save(cr);
        cairo_new_path(cr); /* the path is not part of the saved state */
        DrawObject(cr, *o);
        cairo_restore(cr);
        if (note)
            note(context, KindName(o->kind), DeviceBox(Mapping{left, top, sx, sy, dest}, *o));
    }
    cairo_restore(cr);
}

} // namespace imaging::ann
