/*
 * Windows font names and the installed families that draw them.
 *
 * Programs ask for the families a Windows workstation has.  Each Windows
 * name maps to a list of installed families, the first installed one
 * winning; the metric-compatible ones come first (Liberation is Arial,
 * Times New Roman and Courier New to the unit; URW Nimbus is Helvetica,
 * Times and Courier; Helvetica is drawn as Arial, as Windows substitutes
 * it), so widths the server computed on Windows hold here.
 * A target may itself be a Windows name, as FontSubstitutes values are.
 * A name that is neither a Windows name here nor an installed family falls
 * back by pitch and family, as GDI's font mapper does: fixed pitch or
 * FF_MODERN to "Courier New", FF_ROMAN to "Times New Roman", the symbol
 * character set to "Symbol", everything else to "Arial".
 */
#include "gdi_font.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <strings.h>

namespace winport::gdi {

namespace {

struct Rule {
    std::string name;
    std::vector<std::string> targets;
    BYTE pitchAndFamily;
    BYTE charSet;
};

constexpr BYTE kSwiss = VARIABLE_PITCH | FF_SWISS;
constexpr BYTE kRoman = VARIABLE_PITCH | FF_ROMAN;
constexpr BYTE kModern = FIXED_PITCH | FF_MODERN;
constexpr BYTE kDecorative = VARIABLE_PITCH | FF_DECORATIVE;

std::vector<Rule> &rules()
{
    static auto *table = new std::vector<Rule>{
        {"Arial", {"Liberation Sans", "Nimbus Sans", "DejaVu Sans"}, kSwiss, ANSI_CHARSET},
        {"Arial Narrow",
         {"Liberation Sans Narrow", "Nimbus Sans Narrow", "Arial"},
         kSwiss,
         ANSI_CHARSET},
        /* Windows lists Helvetica among its FontSubstitutes as Arial, so
         * Helvetica text has Arial's heights as well as its widths; forms
         * that step lines by text height depend on it (Nimbus Sans, the
         * same widths, stands a third taller). */
        {"Helvetica", {"Liberation Sans", "Nimbus Sans"}, kSwiss, ANSI_CHARSET},
        {"Microsoft Sans Serif", {"Liberation Sans", "Nimbus Sans"}, kSwiss, ANSI_CHARSET},
        {"MS Sans Serif", {"Liberation Sans", "Nimbus Sans"}, kSwiss, ANSI_CHARSET},
        {"MS Shell Dlg", {"Microsoft Sans Serif"}, kSwiss, ANSI_CHARSET},
        {"MS Shell Dlg 2", {"Tahoma"}, kSwiss, ANSI_CHARSET},
        {"System", {"Arial"}, kSwiss, ANSI_CHARSET},
        {"Tahoma", {"Liberation Sans", "DejaVu Sans"}, kSwiss, ANSI_CHARSET},
        {"Verdana", {"DejaVu Sans", "Liberation Sans"}, kSwiss, ANSI_CHARSET},
        {"Calibri", {"Carlito", "Liberation Sans"}, kSwiss, ANSI_CHARSET},
        {"Segoe UI", {"Liberation Sans", "DejaVu Sans"}, kSwiss, ANSI_CHARSET},
        {"Times New Roman",
         {"Liberation Serif", "Nimbus Roman", "DejaVu Serif"},
         kRoman,
         ANSI_CHARSET},
        {"Times", {"Nimbus Roman", "Liberation Serif"}, kRoman, ANSI_CHARSET},
        {"Cambria", {"Caladea", "Liberation Serif"}, kRoman, ANSI_CHARSET},
        {"Georgia", {"DejaVu Serif", "Liberation Serif"}, kRoman, ANSI_CHARSET},
        {"Courier New",
         {"Liberation Mono", "Nimbus Mono PS", "DejaVu Sans Mono"},
         kModern,
         ANSI_CHARSET},
        {"Courier", {"Nimbus Mono PS", "Liberation Mono"}, kModern, ANSI_CHARSET},
        {"Lucida Console", {"Liberation Mono", "DejaVu Sans Mono"}, kModern, ANSI_CHARSET},
        {"Consolas", {"Liberation Mono", "DejaVu Sans Mono"}, kModern, ANSI_CHARSET},
        {"Terminal", {"Courier New"}, kModern, ANSI_CHARSET},
        {"Fixedsys", {"Courier New"}, kModern, ANSI_CHARSET},
        {"Symbol", {"Standard Symbols PS"}, kDecorative, SYMBOL_CHARSET},
        {"Wingdings",
         {"Wingdings", "D050000L", "Standard Symbols PS"},
         kDecorative,
         SYMBOL_CHARSET},
    };
    return *table;
}

int generation = 0; /* bumped by AddFontSubstitute: cached lists go stale */

bool same(const std::string &a, const std::string &b)
{
    return strcasecmp(a.c_str(), b.c_str()) == 0;
}

const Rule *findRule(const std::string &name)
{
    for (const Rule &r : rules())
        if (same(r.name, name))
            return &r;
    return nullptr;
}

const std::string *installedSpelling(const std::string &name)
{
    for (const std::string &fam : installedFamilies())
        if (same(fam, name))
            return &fam;
    return nullptr;
}

/* How an installed family that has no Windows name is presented. */
PresentedFamily presentInstalled(const std::string &fam)
{
    PresentedFamily p{fam, fam, kSwiss, ANSI_CHARSET};
    if (fam.find("Mono") != std::string::npos)
        p.pitchAndFamily = kModern;
    else if (fam.find("Sans") == std::string::npos &&
             (fam.find("Serif") != std::string::npos || fam.find("Roman") != std::string::npos))
        p.pitchAndFamily = kRoman;
    if (fam.find("Symbol") != std::string::npos || fam == "D050000L") {
        p.pitchAndFamily = kDecorative;
        p.charSet = SYMBOL_CHARSET;
    }
    return p;
}

std::optional<PresentedFamily> resolveName(const std::string &name, int depth)
{
    if (const Rule *r = findRule(name)) {
        for (const std::string &target : r->targets) {
            std::string family;
            if (const std::string *fam = installedSpelling(target))
                family = *fam;
            else if (depth < 4 && !same(target, name))
                if (auto sub = resolveName(target, depth + 1))
                    family = sub->family;
            if (!family.empty())
                return PresentedFamily{r->name, family, r->pitchAndFamily, r->charSet};
        }
        return std::nullopt;
    }
    if (const std::string *fam = installedSpelling(name))
        return presentInstalled(*fam);
    return std::nullopt;
}

PresentedFamily fallback(const LOGFONTA &lf)
{
    const char *name = "Arial";
    BYTE family = lf.lfPitchAndFamily & 0xF0;
    if (lf.lfCharSet == SYMBOL_CHARSET)
        name = "Symbol";
    else if ((lf.lfPitchAndFamily & 3) == FIXED_PITCH || family == FF_MODERN)
        name = "Courier New";
    else if (family == FF_ROMAN)
        name = "Times New Roman";
    if (auto p = resolveName(name, 0))
        return *p;
    if (auto p = resolveName("Arial", 0))
        return *p;
    const auto &all = installedFamilies();
    return all.empty() ? PresentedFamily{"Arial", "", kSwiss, ANSI_CHARSET}
                       : presentInstalled(all.front());
}

std::string faceOf(const LOGFONTA &lf)
{
    return std::string(lf.lfFaceName, strnlen(lf.lfFaceName, LF_FACESIZE));
}

} // namespace

ResolvedFace resolveFace(const LOGFONTA &lf, const std::vector<DeviceFont> *deviceFonts)
{
    std::string face = faceOf(lf);
    /* OUT_TT_ONLY_PRECIS asks the mapper for outline fonts only: a device
     * font's name then maps like any other unknown name. */
    if (deviceFonts && !face.empty() && lf.lfOutPrecision != OUT_TT_ONLY_PRECIS) {
        for (const DeviceFont &df : *deviceFonts) {
            if (!same(df.faceName, face))
                continue;
            LOGFONTA standIn{};
            standIn.lfPitchAndFamily = df.pitchAndFamily;
            auto p = resolveName(df.drawWith, 0);
            PresentedFamily drawn = p ? *p : fallback(standIn);
            return ResolvedFace{{df.faceName, drawn.family, df.pitchAndFamily, ANSI_CHARSET}, &df};
        }
    }
    if (!face.empty())
        if (auto p = resolveName(face, 0))
            return ResolvedFace{*p, nullptr};
    return ResolvedFace{fallback(lf), nullptr};
}

std::vector<PresentedFamily> presentedFamilies()
{
    GdiGuard guard(gdiLock());
    static std::vector<PresentedFamily> cached;
    static int cachedGeneration = -1;
    static unsigned cachedFonts = 0;
    const unsigned fonts = fontGeneration();
    if (cachedGeneration == generation && cachedFonts == fonts)
        return cached;
    std::vector<PresentedFamily> windows, others;
    for (const Rule &r : rules())
        if (auto p = resolveName(r.name, 0))
            windows.push_back(*p);
    for (const std::string &fam : installedFamilies())
        if (!findRule(fam))
            others.push_back(presentInstalled(fam));
    auto byName = [](const PresentedFamily &a, const PresentedFamily &b) {
        return strcasecmp(a.name.c_str(), b.name.c_str()) < 0;
    };
    std::sort(windows.begin(), windows.end(), byName);
    std::sort(others.begin(), others.end(), byName);
    windows.insert(windows.end(), others.begin(), others.end());
    cached = std::move(windows);
    cachedGeneration = generation;
    cachedFonts = fonts;
    return cached;
}

BOOL AddFontSubstitute(const std::string &windowsName, const std::string &target)
{
    GdiGuard guard(gdiLock());
    if (windowsName.empty() || target.empty() || windowsName.size() >= LF_FACESIZE) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    generation++;
    for (Rule &r : rules()) {
        if (same(r.name, windowsName)) {
            r.targets.insert(r.targets.begin(), target);
            return TRUE;
        }
    }
    PresentedFamily like = presentInstalled(target);
    if (const Rule *t = findRule(target)) {
        like.pitchAndFamily = t->pitchAndFamily;
        like.charSet = t->charSet;
    }
    rules().push_back(Rule{windowsName, {target}, like.pitchAndFamily, like.charSet});
    return TRUE;
}

} // namespace winport::gdi
