/*
 * Font files: fontconfig finds the file of an installed family in a style
 * (the system's fonts and the root's C:\Windows\Fonts, see fontdir.cpp),
 * FreeType opens it, and we keep, per Windows-1252 byte, its glyph and its
 * advance in font units.  Faces are cached for the life of the process (a
 * few dozen at most: families times four styles).
 *
 * OpenType and TrueType files are preferred to Type 1 files of the same
 * family: their OS/2 table carries the Windows ascent and descent that
 * GetTextMetricsA must report.
 */
#include "gdi_font.h"

#include <cairo-ft.h>
#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_ADVANCES_H
#include FT_TRUETYPE_TABLES_H

#include <algorithm>
#include <cstring>
#include <map>
#include <strings.h>

namespace winport::gdi {

namespace {

FT_Library ftLibrary()
{
    static FT_Library lib = [] {
        FT_Library l = nullptr;
        FT_Init_FreeType(&l);
        return l;
    }();
    return lib;
}

struct FileChoice {
    std::string file;
    int index = 0;
    bool bold = false;
    bool italic = false;
};

/* Among fontconfig's ordering for the pattern, the first file of exactly
 * this family, not Type 1 when another format exists. */
bool chooseFile(const std::string &family, bool bold, bool italic, FileChoice *out)
{
    fontGeneration();
    FcPattern *pat = FcPatternCreate();
    FcPatternAddString(pat, FC_FAMILY, reinterpret_cast<const FcChar8 *>(family.c_str()));
    FcPatternAddInteger(pat, FC_WEIGHT, bold ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
    FcPatternAddInteger(pat, FC_SLANT, italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
    FcPatternAddBool(pat, FC_SCALABLE, FcTrue);
    FcConfigSubstitute(nullptr, pat, FcMatchPattern);
    FcDefaultSubstitute(pat);
    FcResult result;
    FcFontSet *set = FcFontSort(nullptr, pat, FcFalse, nullptr, &result);
    FcPatternDestroy(pat);
    if (!set)
        return false;
    FcPattern *best = nullptr;
    for (int pass = 0; pass < 2 && !best; pass++) {
        for (int i = 0; i < set->nfont && !best; i++) {
            FcChar8 *fam = nullptr, *format = nullptr;
            if (FcPatternGetString(set->fonts[i], FC_FAMILY, 0, &fam) != FcResultMatch ||
                strcasecmp(reinterpret_cast<char *>(fam), family.c_str()) != 0)
                continue;
            bool type1 =
                FcPatternGetString(set->fonts[i], FC_FONTFORMAT, 0, &format) == FcResultMatch &&
                std::strcmp(reinterpret_cast<char *>(format), "Type 1") == 0;
            if (pass == 1 || !type1)
                best = set->fonts[i];
        }
    }
    if (best) {
        FcChar8 *file = nullptr;
        int weight = FC_WEIGHT_REGULAR, slant = FC_SLANT_ROMAN;
        FcPatternGetString(best, FC_FILE, 0, &file);
        FcPatternGetInteger(best, FC_INDEX, 0, &out->index);
        FcPatternGetInteger(best, FC_WEIGHT, 0, &weight);
        FcPatternGetInteger(best, FC_SLANT, 0, &slant);
        out->file = reinterpret_cast<char *>(file);
        out->bold = weight >= FC_WEIGHT_DEMIBOLD;
        out->italic = slant != FC_SLANT_ROMAN;
    }
    FcFontSetDestroy(set);
    return best != nullptr;
}

void readMetrics(FaceData &f)
{
    FT_Face ft = f.ft;
    f.unitsPerEm = ft->units_per_EM ? ft->units_per_EM : 1000;
    f.fixedPitch = FT_IS_FIXED_WIDTH(ft);
    f.outline = FT_IS_SCALABLE(ft);
    f.hheaAscent = ft->ascender;
    f.hheaDescent = ft->descender;
    f.lineGap = ft->height - (ft->ascender - ft->descender);
    f.maxAdvance = ft->max_advance_width;
    f.underlinePos = ft->underline_position;
    f.underlineThickness = ft->underline_thickness;
    auto *os2 = static_cast<TT_OS2 *>(FT_Get_Sfnt_Table(ft, FT_SFNT_OS2));
    auto *hhea = static_cast<TT_HoriHeader *>(FT_Get_Sfnt_Table(ft, FT_SFNT_HHEA));
    if (hhea) {
        f.hheaAscent = hhea->Ascender;
        f.hheaDescent = hhea->Descender;
        f.lineGap = hhea->Line_Gap;
    }
    f.winAscent = f.hheaAscent;
    f.winDescent = -f.hheaDescent;
    f.strikePos = f.unitsPerEm * 259 / 1000;
    f.strikeSize = f.underlineThickness;
    if (os2 && os2->version != 0xFFFF) {
        f.winAscent = os2->usWinAscent;
        f.winDescent = os2->usWinDescent;
        f.avgWidth = os2->xAvgCharWidth;
        f.weightClass = os2->usWeightClass;
        f.strikePos = os2->yStrikeoutPosition;
        f.strikeSize = os2->yStrikeoutSize;
    }
    if (f.weightClass == 0)
        f.weightClass = f.bold ? FW_BOLD : FW_NORMAL;
}

/* Glyph and advance of every byte: through Unicode, or for symbol fonts
 * through the font's own byte encoding. */
void mapBytes(FaceData &f, bool symbolBytes)
{
    FT_Face ft = f.ft;
    bool direct = symbolBytes && (FT_Select_Charmap(ft, FT_ENCODING_MS_SYMBOL) == 0 ||
                                  FT_Select_Charmap(ft, FT_ENCODING_ADOBE_CUSTOM) == 0 ||
                                  FT_Select_Charmap(ft, FT_ENCODING_ADOBE_STANDARD) == 0);
    if (!direct)
        FT_Select_Charmap(ft, FT_ENCODING_UNICODE);
    bool msSymbol = direct && ft->charmap && ft->charmap->encoding == FT_ENCODING_MS_SYMBOL;
    long sum = 0, count = 0;
    for (int b = 0; b < 256; b++) {
        FT_ULong code =
            direct ? static_cast<FT_ULong>(b) : cp1252ToUnicode(static_cast<unsigned char>(b));
        FT_UInt gid = FT_Get_Char_Index(ft, code);
        if (!gid && msSymbol)
            gid = FT_Get_Char_Index(ft, 0xF000 + code);
        FT_Fixed adv = 0;
        FT_Get_Advance(ft, gid, FT_LOAD_NO_SCALE | FT_LOAD_NO_HINTING, &adv);
        f.glyph[b] = gid;
        f.advance[b] = static_cast<std::int32_t>(adv);
        if (b >= 'a' && b <= 'z' && gid) {
            sum += adv;
            count++;
        }
    }
    if (f.avgWidth == 0)
        f.avgWidth = count ? static_cast<int>(sum / count) : f.advanceOf('x');
}

const cairo_user_data_key_t kFtFaceKey{};

void doneFace(void *face)
{
    FT_Done_Face(static_cast<FT_Face>(face));
}

std::unique_ptr<FaceData> openFace(const std::string &family, bool bold, bool italic,
                                   bool symbolBytes)
{
    FileChoice choice;
    if (!chooseFile(family, bold, italic, &choice))
        return nullptr;
    auto f = std::make_unique<FaceData>();
    if (FT_New_Face(ftLibrary(), choice.file.c_str(), choice.index, &f->ft) != 0)
        return nullptr;
    f->file = choice.file;
    f->family = family;
    f->bold = choice.bold;
    f->italic = choice.italic;
    f->synthBold = bold && !choice.bold;
    readMetrics(*f);
    mapBytes(*f, symbolBytes);
    /* Each entry opens its own FT_Face, so the synthesis flag set on its
     * cairo face touches no other entry. */
    f->cairoFace = cairo_ft_font_face_create_for_ft_face(f->ft, FT_LOAD_NO_HINTING);
    cairo_font_face_set_user_data(f->cairoFace, &kFtFaceKey, f->ft, doneFace);
    if (f->synthBold)
        cairo_ft_font_face_set_synthesize(f->cairoFace, CAIRO_FT_SYNTHESIZE_BOLD);
    return f;
}

} // namespace

const FaceData *loadFace(const std::string &family, bool bold, bool italic, bool symbolBytes)
{
    static auto *cache = new std::map<std::string, std::unique_ptr<FaceData>>;
    std::string key =
        family + (bold ? "|b" : "|r") + (italic ? "i" : "n") + (symbolBytes ? "s" : "t");
    auto it = cache->find(key);
    if (it != cache->end())
        return it->second.get();
    auto face = openFace(family, bold, italic, symbolBytes);
    const FaceData *raw = face.get();
    if (face)
        (*cache)[key] = std::move(face);
    return raw;
}

const std::vector<std::string> &installedFamilies()
{
    GdiGuard guard(gdiLock());
    static auto *families = new std::vector<std::string>;
    static unsigned listed = 0;
    unsigned generation = fontGeneration();
    if (generation == listed)
        return *families;
    std::vector<std::string> list;
    FcPattern *pat = FcPatternCreate();
    FcPatternAddBool(pat, FC_SCALABLE, FcTrue);
    FcObjectSet *os = FcObjectSetBuild(FC_FAMILY, nullptr);
    FcFontSet *set = FcFontList(nullptr, pat, os);
    for (int i = 0; set && i < set->nfont; i++) {
        FcChar8 *fam = nullptr;
        if (FcPatternGetString(set->fonts[i], FC_FAMILY, 0, &fam) == FcResultMatch)
            list.emplace_back(reinterpret_cast<char *>(fam));
    }
    if (set)
        FcFontSetDestroy(set);
    std::sort(list.begin(), list.end());
    list.erase(std::unique(list.begin(), list.end()), list.end());
    FcObjectSetDestroy(os);
    FcPatternDestroy(pat);
    *families = std::move(list);
    listed = generation;
    return *families;
}

} // namespace winport::gdi
