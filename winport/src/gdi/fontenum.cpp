/*
 * EnumFontFamiliesExA: the families a DC offers.
 *
 * A printer DC lists its device-resident fonts first (DEVICE_FONTTYPE),
 * then every installed family under the name programs know it by: the
 * Windows names (Arial, Times New Roman, Courier New, Helvetica, ...) whose
 * families are installed, then installed families without a Windows name.
 * Without a face name each family is listed once; with one (compared
 * without regard to case), each of its styles.  Text families belong to
 * ANSI_CHARSET, symbol families to SYMBOL_CHARSET; DEFAULT_CHARSET lists
 * both.  Enumerated metrics are those of a 16-unit cell, as Windows
 * enumerates outline fonts at a nominal size.
 */
#include "gdi_font.h"
#include "gdi_print.h"

#include <algorithm>
#include <cstring>
#include <strings.h>

using namespace winport::gdi;

namespace {

struct Style {
    const char *name;
    bool bold;
    bool italic;
};

const Style kStyles[] = {
    {"Regular", false, false},
    {"Bold", true, false},
    {"Italic", false, true},
    {"Bold Italic", true, true},
};

void copyName(BYTE *dst, std::size_t size, const std::string &src)
{
    std::size_t n = std::min(src.size(), size - 1);
    std::memcpy(dst, src.data(), n);
    dst[n] = 0;
}

/* The entry handed to the callback for one family in one style. */
void describe(DeviceContext &dc, const PresentedFamily &fam, const Style &style, bool device,
              ENUMLOGFONTEXA *elf, NEWTEXTMETRICEXA *ntm)
{
    std::memset(elf, 0, sizeof *elf);
    std::memset(ntm, 0, sizeof *ntm);
    LOGFONTA lf{};
    lf.lfHeight = device ? 0 : 16;
    lf.lfWeight = style.bold ? FW_BOLD : FW_NORMAL;
    lf.lfItalic = style.italic;
    lf.lfCharSet = fam.charSet;
    lf.lfPitchAndFamily = fam.pitchAndFamily;
    copyName(reinterpret_cast<BYTE *>(lf.lfFaceName), LF_FACESIZE, fam.name);
    auto rf = realizeFont(lf, dc);

    TEXTMETRICA tm;
    fillTextMetrics(*rf, dc.caps, &tm);
    std::memcpy(&ntm->ntmTm, &tm, sizeof tm);
    ntm->ntmTm.ntmFlags = (style.bold ? NTM_BOLD : 0) | (style.italic ? NTM_ITALIC : 0) |
                          (!style.bold && !style.italic ? NTM_REGULAR : 0);
    if (rf->face && !device) {
        ntm->ntmTm.ntmSizeEM = static_cast<UINT>(rf->face->unitsPerEm);
        ntm->ntmTm.ntmCellHeight = static_cast<UINT>(rf->face->winAscent + rf->face->winDescent);
        ntm->ntmTm.ntmAvgWidth = static_cast<UINT>(rf->face->avgWidth);
    }
    ntm->ntmFontSig.fsCsb[0] = fam.charSet == SYMBOL_CHARSET ? 0x80000000u : 0x00000001u;

    lf.lfHeight = tm.tmHeight;
    lf.lfWidth = tm.tmAveCharWidth;
    lf.lfOutPrecision = device ? OUT_DEVICE_PRECIS : OUT_STROKE_PRECIS;
    lf.lfClipPrecision = CLIP_STROKE_PRECIS;
    lf.lfQuality = DRAFT_QUALITY;
    elf->elfLogFont = lf;
    std::string full = fam.name;
    if (style.bold || style.italic)
        full += std::string(" ") + style.name;
    copyName(elf->elfFullName, LF_FULLFACESIZE, full);
    copyName(elf->elfStyle, LF_FACESIZE, style.name);
    copyName(elf->elfScript, LF_FACESIZE, fam.charSet == SYMBOL_CHARSET ? "Symbol" : "Western");
}

struct Candidate {
    PresentedFamily family;
    bool device;
};

std::vector<Candidate> candidates(const DeviceContext &dc)
{
    std::vector<Candidate> list;
    if (dc.printer)
        for (const DeviceFont &df : dc.printer->device.deviceFonts)
            list.push_back({{df.faceName, df.drawWith, df.pitchAndFamily, ANSI_CHARSET}, true});
    for (const PresentedFamily &fam : presentedFamilies())
        list.push_back({fam, false});
    return list;
}

} // namespace

/***********************************************************************
 *           EnumFontFamiliesExA
 * Returns the last value the callback returned (0 when it stopped the
 * enumeration), or 1 when nothing matched.  0 with ERROR_INVALID_HANDLE or
 * ERROR_INVALID_PARAMETER for a bad DC, LOGFONTA or callback.
 */
int WINAPI EnumFontFamiliesExA(HDC hdc, LPLOGFONTA lpLogfont, FONTENUMPROCA lpProc, LPARAM lParam,
                               DWORD dwFlags)
{
    (void)dwFlags;
    GdiGuard guard(gdiLock());
    DeviceContext *dc = dcFromHandle(hdc);
    if (!dc)
        return 0;
    if (!lpLogfont || !lpProc) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    std::string face(lpLogfont->lfFaceName, strnlen(lpLogfont->lfFaceName, LF_FACESIZE));
    BYTE charSet = lpLogfont->lfCharSet;
    HDC self = hdc;
    int ret = 1;
    for (const Candidate &c : candidates(*dc)) {
        if (!face.empty() && strcasecmp(face.c_str(), c.family.name.c_str()) != 0)
            continue;
        if (charSet != DEFAULT_CHARSET && charSet != c.family.charSet)
            continue;
        int styles = face.empty() || c.device ? 1 : 4;
        for (int s = 0; s < styles; s++) {
            /* The callback may delete this DC; stop quietly if it did. */
            dc = findAs<DeviceContext>(self, ObjType::DC);
            if (!dc)
                return ret;
            ENUMLOGFONTEXA elf;
            NEWTEXTMETRICEXA ntm;
            describe(*dc, c.family, kStyles[s], c.device, &elf, &ntm);
            DWORD type = c.device ? DEVICE_FONTTYPE : TRUETYPE_FONTTYPE;
            ret =
                lpProc(&elf.elfLogFont, reinterpret_cast<const TEXTMETRICA *>(&ntm), type, lParam);
            if (ret == 0)
                return 0;
        }
    }
    return ret;
}
