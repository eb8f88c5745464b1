/*
 * Text output: TextOutA and ExtTextOutA.
 *
 * Glyphs are placed by GDI's rules, not cairo's: each advance is the whole
 * device unit GetTextExtentPoint32A counts, so text ends exactly where the
 * program measured it would.  Alignment moves the reference point as GDI
 * does (TA_TOP/TA_BOTTOM by the ascent/descent, TA_RIGHT/TA_CENTER by the
 * extent) along the text's own axes, so rotated text (lfEscapement, tenths
 * of a degree counter-clockwise) aligns the same way.  An OPAQUE background
 * fills the text cell with the background colour before the glyphs.
 * Bytes are Windows-1252; PDF pages also carry the Unicode text, so the
 * PDF can be searched and read back.
 */
#include "gdi_font.h"
#include "gdi_print.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

using namespace winport::gdi;

namespace {

/* Text space: u along the baseline, v down from it, both from the reference point. */
struct Layout {
    POINT ref{};
    double ux = 1, uy = 0; /* the baseline direction on the page */
    double vx = 0, vy = 1; /* "down" for the text */
    int startU = 0;        /* left end of the text */
    int baselineV = 0;
    int width = 0;
    const INT *dx = nullptr; /* the caller's advances, else the font's */
};

int advanceOf(const RealizedFont &rf, const Layout &l, const BYTE *s, int i)
{
    return l.dx ? l.dx[i] : rf.advance[s[i]];
}

Layout layoutText(const DeviceContext &dc, const RealizedFont &rf, POINT ref, const BYTE *s, int c,
                  const INT *dx)
{
    Layout l;
    l.ref = ref;
    l.dx = dx;
    double angle = rf.escapement / 10.0 * M_PI / 180.0;
    if (rf.escapement % 3600 != 0) {
        l.ux = std::cos(angle);
        l.uy = -std::sin(angle);
        l.vx = std::sin(angle);
        l.vy = std::cos(angle);
    }
    for (int i = 0; i < c; i++)
        l.width += advanceOf(rf, l, s, i);
    switch (dc.textAlign & TA_CENTER) {
    case TA_RIGHT:
        l.startU = -l.width;
        break;
    case TA_CENTER:
        l.startU = -(l.width / 2);
        break;
    default:
        break;
    }
    switch (dc.textAlign & TA_BASELINE) {
    case TA_BASELINE:
        break;
    case TA_BOTTOM:
        l.baselineV = -rf.descent;
        break;
    default:
        l.baselineV = rf.ascent;
        break;
    }
    return l;
}

POINT pagePoint(const Layout &l, double u, double v)
{
    return POINT{static_cast<LONG>(std::lround(l.ref.x + u * l.ux + v * l.vx)),
                 static_cast<LONG>(std::lround(l.ref.y + u * l.uy + v * l.vy))};
}

void fillBand(cairo_t *cr, double u, double v, double w, double h)
{
    cairo_rectangle(cr, u, v, w, h);
    cairo_fill(cr);
}

/* Sets the font only when it changed: the page keeps it between calls, so
 * a run of lines in one font costs cairo no font lookups. */
void useFont(cairo_t *cr, const RealizedFont &rf)
{
    if (cairo_get_font_face(cr) != rf.face->cairoFace)
        cairo_set_font_face(cr, rf.face->cairoFace);
    cairo_matrix_t m;
    cairo_get_font_matrix(cr, &m);
    const cairo_matrix_t &want = rf.fontMatrix;
    if (m.xx != want.xx || m.yx != want.yx || m.xy != want.xy || m.yy != want.yy ||
        m.x0 != want.x0 || m.y0 != want.y0)
        cairo_set_font_matrix(cr, &want);
}

void showGlyphs(cairo_t *cr, const RealizedFont &rf, const Layout &l, double x, double y,
                const BYTE *s, int c)
{
    static thread_local std::vector<cairo_glyph_t> glyphs;
    glyphs.resize(static_cast<std::size_t>(c));
    double u = x + l.startU;
    for (int i = 0; i < c; i++) {
        glyphs[static_cast<std::size_t>(i)] =
            cairo_glyph_t{rf.face->glyph[s[i]], u, y + l.baselineV};
        u += advanceOf(rf, l, s, i);
    }
    if (!cairo_surface_has_show_text_glyphs(cairo_get_target(cr))) {
        cairo_show_glyphs(cr, glyphs.data(), c);
        return;
    }
    /* PDF pages also carry the text, one cluster per byte. */
    static thread_local std::string utf8;
    static thread_local std::vector<cairo_text_cluster_t> clusters;
    utf8.clear();
    clusters.resize(static_cast<std::size_t>(c));
    for (int i = 0; i < c; i++) {
        std::size_t before = utf8.size();
        appendUtf8(utf8, cp1252ToUnicode(s[i]));
        clusters[static_cast<std::size_t>(i)] = {static_cast<int>(utf8.size() - before), 1};
    }
    cairo_show_text_glyphs(cr, utf8.data(), static_cast<int>(utf8.size()), glyphs.data(), c,
                           clusters.data(), c, cairo_text_cluster_flags_t(0));
}

/* Background, glyphs, underline and strike-out.  Unturned text is placed
 * by coordinates alone, so the page's graphics state is left as it was. */
void paintText(cairo_t *cr, const DeviceContext &dc, const RealizedFont &rf, const Layout &l,
               const BYTE *s, int c)
{
    useFont(cr, rf);
    bool turned = rf.escapement % 3600 != 0;
    double x = l.ref.x, y = l.ref.y;
    if (turned) {
        cairo_save(cr);
        cairo_translate(cr, x, y);
        cairo_rotate(cr, -rf.escapement / 10.0 * M_PI / 180.0);
        x = y = 0;
    }
    if (dc.bkMode == OPAQUE) {
        setSourceColor(cr, dc, dc.bkColor);
        fillBand(cr, x + l.startU, y + l.baselineV - rf.ascent, l.width, rf.ascent + rf.descent);
    }
    setSourceColor(cr, dc, dc.textColor);
    showGlyphs(cr, rf, l, x, y, s, c);
    if (rf.underline)
        fillBand(cr, x + l.startU, y + l.baselineV + rf.underlinePos - rf.underlineSize / 2.0,
                 l.width, rf.underlineSize);
    if (rf.strikeOut)
        fillBand(cr, x + l.startU, y + l.baselineV - rf.strikePos, l.width, rf.strikeSize);
    if (turned)
        cairo_restore(cr);
}

/* What each byte's glyph inks, from its origin, in device units (empty for
 * a glyph with no ink).  Measured once per face and size: faces live as
 * long as the process.  cr must have the font set. */
struct GlyphInk {
    const FaceData *face = nullptr;
    cairo_matrix_t matrix{};
    struct Box {
        double x0, y0, x1, y1;
        bool empty;
    } box[256];
};

const GlyphInk &glyphInk(cairo_t *cr, const RealizedFont &rf)
{
    static std::vector<std::unique_ptr<GlyphInk>> cache; /* under the GDI lock */
    for (const auto &g : cache)
        if (g->face == rf.face && g->matrix.xx == rf.fontMatrix.xx &&
            g->matrix.yx == rf.fontMatrix.yx && g->matrix.xy == rf.fontMatrix.xy &&
            g->matrix.yy == rf.fontMatrix.yy)
            return *g;
    auto g = std::make_unique<GlyphInk>();
    g->face = rf.face;
    g->matrix = rf.fontMatrix;
    for (int i = 0; i < 256; i++) {
        cairo_glyph_t glyph{rf.face->glyph[i], 0, 0};
        cairo_text_extents_t e;
        cairo_glyph_extents(cr, &glyph, 1, &e);
        g->box[i] = {e.x_bearing, e.y_bearing, e.x_bearing + e.width, e.y_bearing + e.height,
                     e.width <= 0 && e.height <= 0};
    }
    if (cache.size() >= 32)
        cache.erase(cache.begin());
    cache.push_back(std::move(g));
    return *cache.back();
}

/* A printer page is clipped to its printable area, and cairo writes that
 * clip into the PDF again for every text whose rough extent reaches the
 * area's edge, as every report line that starts at the left margin does;
 * that costs more than the text.  Whether everything this text puts on the
 * page (glyph ink, background cell, underline and strike-out) lies inside
 * the clip, which then changes nothing and can be left out.  Plain text
 * only: no caller's advances, no turn, no emboldening cairo adds to the
 * outlines. */
bool insideClip(cairo_t *cr, const DeviceContext &dc, const RealizedFont &rf, const Layout &l,
                const BYTE *s, int c)
{
    if (l.dx || rf.escapement % 3600 != 0 || !rf.face || rf.face->synthBold)
        return false;
    const GlyphInk &ink = glyphInk(cr, rf);
    const double x = l.ref.x + l.startU, y = l.ref.y + l.baselineV;
    double left = HUGE_VAL, right = -HUGE_VAL, top = HUGE_VAL, bottom = -HUGE_VAL;
    double u = x;
    for (int i = 0; i < c; i++) {
        const GlyphInk::Box &b = ink.box[s[i]];
        if (!b.empty) {
            left = std::min(left, u + b.x0);
            right = std::max(right, u + b.x1);
            top = std::min(top, y + b.y0);
            bottom = std::max(bottom, y + b.y1);
        }
        u += rf.advance[s[i]];
    }
    const bool band = dc.bkMode == OPAQUE || rf.underline || rf.strikeOut;
    if (band) {
        left = std::min(left, x);
        right = std::max(right, x + l.width);
    }
    if (dc.bkMode == OPAQUE) {
        top = std::min(top, y - rf.ascent);
        bottom = std::max(bottom, y + rf.descent);
    }
    if (rf.underline) {
        top = std::min(top, y + rf.underlinePos - rf.underlineSize / 2.0);
        bottom = std::max(bottom, y + rf.underlinePos + rf.underlineSize / 2.0);
    }
    if (rf.strikeOut) {
        top = std::min<double>(top, y - rf.strikePos);
        bottom = std::max<double>(bottom, y - rf.strikePos + rf.strikeSize);
    }
    if (left > right)
        return true; /* nothing inked: blanks only */
    /* The page's clip is its printable area; anything drawing on the page
     * restores the clip it changes.  A check all the same: cairo reports a
     * clip's extent rounded out to whole points. */
    double cx0, cy0, cx1, cy1;
    cairo_clip_extents(cr, &cx0, &cy0, &cx1, &cy1);
    const double w = dc.caps.horzRes, h = dc.caps.vertRes;
    const double point = std::max(dc.caps.dpiX, dc.caps.dpiY) / 72.0 + 0.5;
    if (cx0 < -point || cx0 > 0 || cy0 < -point || cy0 > 0 || cx1 < w || cx1 > w + point ||
        cy1 < h || cy1 > h + point)
        return false;
    /* The PDF gives positions to about a hundredth of a point. */
    const double slack = 0.25;
    return left - slack >= 0 && right + slack <= w && top - slack >= 0 && bottom + slack <= h;
}

RECT cellBox(const Layout &l, const RealizedFont &rf)
{
    double u0 = l.startU, u1 = l.startU + l.width;
    double v0 = l.baselineV - rf.ascent, v1 = l.baselineV + rf.descent;
    POINT corners[4] = {pagePoint(l, u0, v0), pagePoint(l, u1, v0), pagePoint(l, u0, v1),
                        pagePoint(l, u1, v1)};
    RECT box{corners[0].x, corners[0].y, corners[0].x, corners[0].y};
    for (const POINT &p : corners) {
        box.left = std::min(box.left, p.x);
        box.top = std::min(box.top, p.y);
        box.right = std::max(box.right, p.x);
        box.bottom = std::max(box.bottom, p.y);
    }
    return box;
}

void recordText(DeviceContext &dc, const RealizedFont &rf, const Layout &l, const BYTE *s, int c)
{
    RecText t;
    t.page = currentPage(dc);
    t.text.assign(reinterpret_cast<const char *>(s), static_cast<std::size_t>(c));
    for (int i = 0; i < c; i++)
        appendUtf8(t.utf8, cp1252ToUnicode(s[i]));
    t.face = rf.faceName;
    t.family = rf.face ? rf.face->family : std::string();
    t.lfHeight = rf.lfHeight;
    t.emHeight = static_cast<int>(std::lround(rf.em));
    t.ascent = rf.ascent;
    t.descent = rf.descent;
    t.weight = rf.lfWeight;
    t.bold = rf.bold;
    t.italic = rf.italic;
    t.underline = rf.underline;
    t.strikeOut = rf.strikeOut;
    t.escapement = rf.escapement;
    t.color = dc.textColor;
    t.opaque = dc.bkMode == OPAQUE;
    t.bkColor = dc.bkColor;
    t.align = dc.textAlign;
    t.ref = l.ref;
    t.origin = pagePoint(l, l.startU, l.baselineV);
    t.width = l.width;
    t.box = cellBox(l, rf);
    addRecord(dc, std::move(t));
}

/* Moves the current position past the text for TA_UPDATECP. */
void advancePosition(DeviceContext &dc, const Layout &l)
{
    switch (dc.textAlign & TA_CENTER) {
    case TA_LEFT:
        dc.pos = pagePoint(l, l.width, 0);
        break;
    case TA_RIGHT:
        dc.pos = pagePoint(l, -l.width, 0);
        break;
    default:
        break;
    }
}

void fillRectWithBackground(DeviceContext &dc, cairo_t *cr, const RECT &r)
{
    setSourceColor(cr, dc, dc.bkColor);
    cairo_rectangle(cr, r.left, r.top, r.right - r.left, r.bottom - r.top);
    cairo_fill(cr);
}

BOOL drawText(HDC hdc, int x, int y, UINT options, const RECT *rect, LPCSTR str, int c,
              const INT *dx)
{
    GdiGuard guard(gdiLock());
    DeviceContext *dc = dcFromHandle(hdc);
    if (!dc)
        return FALSE;
    if (c < 0 || (c > 0 && !str)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    selectedFont(*dc);
    std::shared_ptr<const RealizedFont> font = dc->realized; /* kept for the whole call */
    const RealizedFont &rf = *font;
    const auto *s = reinterpret_cast<const BYTE *>(str);
    POINT ref = (dc->textAlign & TA_UPDATECP) ? dc->pos : POINT{x, y};
    Layout l = layoutText(*dc, rf, ref, s, c, dx);
    DrawTarget target(*dc);
    if (cairo_t *cr = target.cr()) {
        bool clipped = rect && (options & ETO_CLIPPED);
        if (rect && (options & ETO_OPAQUE))
            fillRectWithBackground(*dc, cr, *rect);
        if (clipped) {
            cairo_save(cr);
            cairo_rectangle(cr, rect->left, rect->top, rect->right - rect->left,
                            rect->bottom - rect->top);
            cairo_clip(cr);
        }
        if (c > 0 && rf.face) {
            useFont(cr, rf);
            const bool unclipped = !clipped && !target.raster() && insideClip(cr, *dc, rf, l, s, c);
            if (unclipped) {
                cairo_save(cr);
                cairo_reset_clip(cr);
            }
            paintText(cr, *dc, rf, l, s, c);
            if (unclipped)
                cairo_restore(cr);
        }
        if (clipped)
            cairo_restore(cr);
    }
    if (c > 0 && recording(*dc))
        recordText(*dc, rf, l, s, c);
    if (dc->textAlign & TA_UPDATECP)
        advancePosition(*dc, l);
    return failBetweenPages(*dc, "TextOutA") ? FALSE : TRUE;
}

} // namespace

/***********************************************************************
 *           TextOutA
 * c is a byte count; the string is Windows-1252.
 */
BOOL WINAPI TextOutA(HDC hdc, int x, int y, LPCSTR lpString, int c)
{
    return drawText(hdc, x, y, 0, nullptr, lpString, c, nullptr);
}

/***********************************************************************
 *           ExtTextOutA
 * ETO_OPAQUE and ETO_CLIPPED with a rectangle, and lpDx advances; other
 * options are ignored.
 */
BOOL WINAPI ExtTextOutA(HDC hdc, int x, int y, UINT options, const RECT *lprect, LPCSTR lpString,
                        UINT c, const INT *lpDx)
{
    if (c > 0x7FFFFFFF) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    return drawText(hdc, x, y, options, lprect, lpString, static_cast<int>(c), lpDx);
}
