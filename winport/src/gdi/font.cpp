/*
 * Logical fonts and their metrics: CreateFontA, CreateFontIndirectA,
 * GetTextMetricsA, GetTextFaceA, GetTextExtentPoint32A.
 *
 * Height rules are GDI's: lfHeight < 0 asks for that character (em)
 * height, lfHeight > 0 for that cell height (ascent + descent), 0 for the
 * device's default of 12 points.  Weights from 700 up draw bold; below,
 * regular.  Metrics come from the face's OS/2 table as Windows takes them:
 * ascent and descent from usWinAscent/usWinDescent, external leading from
 * the hhea line gap, each rounded to whole device units.
 */
#include "gdi_font.h"
#include "gdi_print.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace winport::gdi {

namespace {

constexpr LONG kMaxHeight = 1 << 20;

int round(double v)
{
    return static_cast<int>(std::floor(v + 0.5));
}

double emFor(const LOGFONTA &lf, const FaceData *face, const DeviceContext &dc,
             const DeviceFont *df)
{
    LONG h = std::clamp<LONG>(lf.lfHeight, -kMaxHeight, kMaxHeight);
    if (h < 0)
        return -h;
    if (h > 0 && face && face->winAscent + face->winDescent > 0) {
        int em =
            round(static_cast<double>(h) * face->unitsPerEm / (face->winAscent + face->winDescent));
        return std::max(em, 1);
    }
    if (h > 0)
        return h;
    int points = df ? df->pointSize : 12;
    return std::max(round(points * dc.caps.dpiY / 72.0), 1);
}

void setMetrics(RealizedFont &rf, const FaceData &f, const DeviceContext &dc, const DeviceFont *df)
{
    double scale = rf.em / f.unitsPerEm;
    if (df && df->charsPerInch > 0) {
        double pitch = dc.caps.dpiX / df->charsPerInch;
        double natural = f.advanceOf('0') * scale;
        rf.xScale = natural > 0 ? pitch / natural : 1;
    }
    double xs = scale * rf.xScale;
    rf.ascent = round(f.winAscent * scale);
    rf.descent = round(f.winDescent * scale);
    rf.internalLeading = rf.ascent + rf.descent - round(rf.em);
    int gap = f.lineGap - ((f.winAscent + f.winDescent) - (f.hheaAscent - f.hheaDescent));
    rf.externalLeading = std::max(0, round(gap * scale));
    rf.aveCharWidth = round(f.avgWidth * xs);
    rf.maxCharWidth = round(f.maxAdvance * xs);
    rf.underlinePos = round(-f.underlinePos * scale);
    rf.underlineSize = std::max(1, round(f.underlineThickness * scale));
    rf.strikePos = round(f.strikePos * scale);
    rf.strikeSize = std::max(1, round(f.strikeSize * scale));
    for (int b = 0; b < 256; b++)
        rf.advance[b] = round(f.advance[b] * xs);
    if (df && df->charsPerInch > 0) {
        int pitch = round(dc.caps.dpiX / df->charsPerInch);
        std::fill(std::begin(rf.advance), std::end(rf.advance), pitch);
        rf.aveCharWidth = rf.maxCharWidth = pitch;
    }
}

} // namespace

std::shared_ptr<const RealizedFont> realizeFont(const LOGFONTA &lf, const DeviceContext &dc)
{
    const std::vector<DeviceFont> *deviceFonts =
        dc.printer ? &dc.printer->device.deviceFonts : nullptr;
    ResolvedFace resolved = resolveFace(lf, deviceFonts);
    auto rf = std::make_shared<RealizedFont>();
    rf->bold = lf.lfWeight >= FW_BOLD;
    rf->face = loadFace(resolved.presented.family, rf->bold, lf.lfItalic != 0,
                        resolved.presented.charSet == SYMBOL_CHARSET);
    rf->faceName = resolved.presented.name;
    rf->lfHeight = lf.lfHeight;
    rf->lfWeight = lf.lfWeight;
    rf->escapement = lf.lfEscapement;
    rf->italic = lf.lfItalic != 0;
    rf->underline = lf.lfUnderline != 0;
    rf->strikeOut = lf.lfStrikeOut != 0;
    rf->device = resolved.deviceFont != nullptr;
    rf->pitchAndFamily = resolved.presented.pitchAndFamily;
    rf->charSet = resolved.presented.charSet;
    rf->em = emFor(lf, rf->face, dc, resolved.deviceFont);
    if (!rf->face)
        return rf; /* no fonts installed at all: text measures and draws as nothing */
    const FaceData &f = *rf->face;
    rf->synthItalic = rf->italic && !f.italic;
    rf->weight = f.synthBold ? FW_BOLD : f.weightClass;
    rf->xScale = 1;
    if (lf.lfWidth != 0 && f.avgWidth > 0)
        rf->xScale =
            std::abs(static_cast<double>(lf.lfWidth)) / (f.avgWidth * rf->em / f.unitsPerEm);
    setMetrics(*rf, f, dc, resolved.deviceFont);
    double drawX = rf->xScale;
    if ((f.fixedPitch || rf->device) && f.advanceOf('0') > 0) {
        /* Fixed pitch: widen the glyphs by the rounding of the advance (a
         * fraction of a percent) so they sit at their natural advance; a
         * PDF then needs no per-glyph position adjustments. */
        double natural = f.advanceOf('0') * rf->em / f.unitsPerEm * rf->xScale;
        drawX *= rf->advanceOf('0') / natural;
    }
    cairo_matrix_init(&rf->fontMatrix, rf->em * drawX, 0, rf->synthItalic ? -0.2 * rf->em : 0,
                      rf->em, 0, 0);
    return rf;
}

const RealizedFont &selectedFont(DeviceContext &dc)
{
    if (!dc.realized)
        dc.realized = realizeFont(dc.font->lf, dc);
    return *dc.realized;
}

void fillTextMetrics(const RealizedFont &rf, const DeviceCaps &caps, TEXTMETRICA *tm)
{
    std::memset(tm, 0, sizeof *tm);
    tm->tmHeight = rf.ascent + rf.descent;
    tm->tmAscent = rf.ascent;
    tm->tmDescent = rf.descent;
    tm->tmInternalLeading = rf.internalLeading;
    tm->tmExternalLeading = rf.externalLeading;
    tm->tmAveCharWidth = rf.aveCharWidth;
    tm->tmMaxCharWidth = rf.maxCharWidth;
    tm->tmWeight = rf.weight;
    tm->tmDigitizedAspectX = caps.dpiX;
    tm->tmDigitizedAspectY = caps.dpiY;
    tm->tmFirstChar = 0x1E;
    tm->tmLastChar = 0xFF;
    tm->tmDefaultChar = 0x1F;
    tm->tmBreakChar = 0x20;
    tm->tmItalic = rf.italic ? 255 : 0;
    tm->tmUnderlined = rf.underline ? 255 : 0;
    tm->tmStruckOut = rf.strikeOut ? 255 : 0;
    bool fixed =
        rf.device ? (rf.pitchAndFamily & 3) == FIXED_PITCH : (rf.face && rf.face->fixedPitch);
    /* TMPF_FIXED_PITCH set means variable pitch: GDI's historical inversion. */
    tm->tmPitchAndFamily = static_cast<BYTE>(
        (rf.pitchAndFamily & 0xF0) | (rf.device ? TMPF_DEVICE : TMPF_VECTOR | TMPF_TRUETYPE) |
        (fixed ? 0 : TMPF_FIXED_PITCH));
    tm->tmCharSet = rf.charSet;
}

} // namespace winport::gdi

using namespace winport::gdi;

/***********************************************************************
 *           CreateFontIndirectA
 * A face name without its terminating NUL is cut at 31 characters.
 */
HFONT WINAPI CreateFontIndirectA(const LOGFONTA *lplf)
{
    GdiGuard guard(gdiLock());
    if (!lplf) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    auto font = std::make_unique<Font>();
    font->lf = *lplf;
    font->lf.lfFaceName[LF_FACESIZE - 1] = '\0';
    return static_cast<HFONT>(addObject(std::move(font)));
}

/***********************************************************************
 *           CreateFontA
 * The face name is cut at 31 characters; NULL means no face name.
 */
HFONT WINAPI CreateFontA(int cHeight, int cWidth, int cEscapement, int cOrientation, int cWeight,
                         DWORD bItalic, DWORD bUnderline, DWORD bStrikeOut, DWORD iCharSet,
                         DWORD iOutPrecision, DWORD iClipPrecision, DWORD iQuality,
                         DWORD iPitchAndFamily, LPCSTR pszFaceName)
{
    LOGFONTA lf{};
    lf.lfHeight = cHeight;
    lf.lfWidth = cWidth;
    lf.lfEscapement = cEscapement;
    lf.lfOrientation = cOrientation;
    lf.lfWeight = cWeight;
    lf.lfItalic = static_cast<BYTE>(bItalic);
    lf.lfUnderline = static_cast<BYTE>(bUnderline);
    lf.lfStrikeOut = static_cast<BYTE>(bStrikeOut);
    lf.lfCharSet = static_cast<BYTE>(iCharSet);
    lf.lfOutPrecision = static_cast<BYTE>(iOutPrecision);
    lf.lfClipPrecision = static_cast<BYTE>(iClipPrecision);
    lf.lfQuality = static_cast<BYTE>(iQuality);
    lf.lfPitchAndFamily = static_cast<BYTE>(iPitchAndFamily);
    if (pszFaceName)
        std::strncpy(lf.lfFaceName, pszFaceName, LF_FACESIZE - 1);
    return CreateFontIndirectA(&lf);
}

/***********************************************************************
 *           GetTextMetricsA
 */
BOOL WINAPI GetTextMetricsA(HDC hdc, LPTEXTMETRICA lptm)
{
    GdiGuard guard(gdiLock());
    DeviceContext *dc = dcFromHandle(hdc);
    if (!dc)
        return FALSE;
    if (!lptm) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    fillTextMetrics(selectedFont(*dc), dc->caps, lptm);
    return TRUE;
}

/***********************************************************************
 *           GetTextFaceA
 * Returns the characters copied including the NUL; with a NULL buffer the
 * size needed.  The name is the Windows name presented for the font
 * ("Arial"), not the installed family drawing it.
 */
int WINAPI GetTextFaceA(HDC hdc, int c, LPSTR lpName)
{
    GdiGuard guard(gdiLock());
    DeviceContext *dc = dcFromHandle(hdc);
    if (!dc)
        return 0;
    const std::string &name = selectedFont(*dc).faceName;
    if (!lpName)
        return static_cast<int>(name.size()) + 1;
    if (c <= 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    std::size_t n = std::min(name.size(), static_cast<std::size_t>(c - 1));
    std::memcpy(lpName, name.data(), n);
    lpName[n] = '\0';
    return static_cast<int>(n) + 1;
}

/***********************************************************************
 *           GetTextExtentPoint32A
 * cx is the sum of the characters' advances, each a whole device unit;
 * cy the cell height (tmHeight).
 */
BOOL WINAPI GetTextExtentPoint32A(HDC hdc, LPCSTR lpString, int c, LPSIZE psizl)
{
    GdiGuard guard(gdiLock());
    DeviceContext *dc = dcFromHandle(hdc);
    if (!dc)
        return FALSE;
    if (c < 0 || !psizl || (c > 0 && !lpString)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const RealizedFont &rf = selectedFont(*dc);
    long long width = 0;
    for (int i = 0; i < c; i++)
        width += rf.advance[static_cast<unsigned char>(lpString[i])];
    psizl->cx = static_cast<LONG>(std::min<long long>(width, 0x7FFFFFFF));
    psizl->cy = rf.ascent + rf.descent;
    return TRUE;
}
