/*
 * Private: fonts from the Windows name a program asks for to the FreeType
 * face that draws it, and the metrics GDI reports for it.
 *
 *   LOGFONTA --resolveFace--> Windows name + installed family (fontmap.cpp)
 *            --loadFace-----> FreeType face, per-byte glyphs and advances
 *                             in font units (fontface.cpp)
 *            --realizeFont--> metrics and advances in device units for one
 *                             height (font.cpp)
 *
 * Widths follow Windows: each character's advance is rounded to a whole
 * device unit on its own, and a string's extent is the sum of those, so
 * positions computed by the server from Windows widths land on ours.
 */
#ifndef WINPORT_GDI_FONT_H
#define WINPORT_GDI_FONT_H

#include "gdi_device.h"
#include "gdi_private.h"

#include <cstdint>
#include <string>
#include <vector>

typedef struct FT_FaceRec_ *FT_Face;

namespace winport::gdi {

/* Windows-1252 byte to Unicode (cp1252.cpp). */
char32_t cp1252ToUnicode(unsigned char b);
/* Appends the UTF-8 form of a code point. */
void appendUtf8(std::string &out, char32_t cp);

/* A family as programs see it: under its Windows name, drawn by an
 * installed fontconfig family. */
struct PresentedFamily {
    std::string name;   /* "Arial" */
    std::string family; /* "Liberation Sans" */
    BYTE pitchAndFamily = VARIABLE_PITCH | FF_SWISS;
    BYTE charSet = ANSI_CHARSET;
};

/* The result of looking a LOGFONTA up for one device. */
struct ResolvedFace {
    PresentedFamily presented;
    const DeviceFont *deviceFont = nullptr; /* a printer-resident font */
};

ResolvedFace resolveFace(const LOGFONTA &lf, const std::vector<DeviceFont> *deviceFonts);
/* Every family enumeration lists, Windows names first, sorted. */
std::vector<PresentedFamily> presentedFamilies();

/* One font file opened with FreeType, with what realisation needs. */
struct FaceData {
    std::string file;
    std::string family;
    FT_Face ft = nullptr;
    cairo_font_face_t *cairoFace = nullptr;
    bool bold = false; /* the file's own style */
    bool italic = false;
    bool synthBold = false; /* bold asked, the family has none: cairo emboldens */
    bool fixedPitch = false;
    bool outline = true;
    int unitsPerEm = 2048;
    int winAscent = 0, winDescent = 0; /* OS/2 usWin*, or the face's own */
    int hheaAscent = 0, hheaDescent = 0, lineGap = 0;
    int avgWidth = 0, maxAdvance = 0, weightClass = FW_NORMAL;
    int underlinePos = 0, underlineThickness = 0; /* centre, negative below baseline */
    int strikePos = 0, strikeSize = 0;            /* top of the stroke above baseline */
    std::uint32_t glyph[256] = {};                /* by Windows-1252 byte */
    std::int32_t advance[256] = {};               /* font units */

    /* A character's advance; takes the byte unsigned, so '0' or a text's
     * char never indexes with a signed value. */
    std::int32_t advanceOf(unsigned char byte) const { return advance[byte]; }
};

/* The face drawing family in the style asked (cached, never freed).
 * symbolBytes maps bytes straight to a symbol font's own encoding. */
const FaceData *loadFace(const std::string &family, bool bold, bool italic, bool symbolBytes);
/* Installed scalable families, as fontconfig names them, the root's
 * C:\Windows\Fonts included.  Call under the GDI lock: the list is rebuilt
 * when fontGeneration() changes. */
const std::vector<std::string> &installedFamilies();
/* Makes sure fontconfig knows the fonts of the current root's
 * C:\Windows\Fonts (fontdir.cpp), installing the fonts the build ships
 * there first.  The number changes whenever the set of fonts did, so lists
 * built from fontconfig know when to refresh. */
unsigned fontGeneration();

/* A font at one size on one device. */
struct RealizedFont {
    const FaceData *face = nullptr;
    std::string faceName; /* as GetTextFaceA reports it */
    LONG lfHeight = 0;
    LONG lfWeight = 0;
    LONG escapement = 0;
    double em = 0;     /* character height, device units */
    double xScale = 1; /* horizontal stretch (lfWidth, device font pitch) */
    bool synthItalic = false;
    bool bold = false;
    bool italic = false, underline = false, strikeOut = false;
    bool device = false;
    BYTE pitchAndFamily = 0; /* LOGFONT form */
    BYTE charSet = ANSI_CHARSET;
    int ascent = 0, descent = 0, internalLeading = 0, externalLeading = 0;
    int aveCharWidth = 0, maxCharWidth = 0, weight = FW_NORMAL;
    int underlinePos = 0, underlineSize = 1; /* device units, centre below baseline */
    int strikePos = 0, strikeSize = 1;       /* top of the stroke, above baseline */
    int advance[256] = {};                   /* device units */
    cairo_matrix_t fontMatrix{};

    int advanceOf(unsigned char byte) const { return advance[byte]; }
};

std::shared_ptr<const RealizedFont> realizeFont(const LOGFONTA &lf, const DeviceContext &dc);
/* The selected font realised for the DC (cached on the DC). */
const RealizedFont &selectedFont(DeviceContext &dc);
void fillTextMetrics(const RealizedFont &rf, const DeviceCaps &caps, TEXTMETRICA *tm);

} // namespace winport::gdi

#endif /* WINPORT_GDI_FONT_H */
