/*
 * What the document renderer's files share while one document is drawn:
 * the style the cells have set, the runs of the line being built, the page
 * geometry in device units, and the fonts and pens of the document.  Private
 * to wp/; everything here lives for one print-document request.
 */
#ifndef NOVARCPRINT_WP_RENDER_H
#define NOVARCPRINT_WP_RENDER_H

#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "wp.h"
#include "wp_keys.h"

#define WP_RUN_TEXT_MAX 4998
#define WP_LABEL_MAX 199
#define WP_ESIG_TEXT_SIZE 200
#define WP_SIGNATURE_NAME_SIZE 200

/* The style cells set, carried by every run made under it. */
struct WpStyle {
    int iFont = 5;     /* font table index after mapping */
    int iRawFont = 5;  /* as the document gave it (index 2 has its own height) */
    int iSize = 12;    /* points */
    bool bBase = true; /* the header's base font (print mode 9 fixes its height) */
    int iWeight = 400; /* 800 when bold */
    bool bItalic = false, bUnderline = false, bSub = false, bSuper = false;
    int iHighlight = 0; /* 0 none, 1 yellow, 2 the second kind */
    COLORREF crText = 0;
    bool bLineFlag = false; /* attribute 12: rules print as spaces, no symbols */
    bool bLineMark = false; /* record 25 */
    bool bRunFlag = false;  /* record 16 */
};

enum WpRunKind { WP_RUN_TEXT, WP_RUN_RULE, WP_RUN_CHECK, WP_RUN_SIGNATURE, WP_RUN_IMAGE };

struct WpRun {
    WpRunKind kind = WP_RUN_TEXT;
    std::string text;
    WpStyle style;
    HFONT hFont = NULL; /* owned by the document's font cache */
    int iX = 0;
    int iWidth = 0;
    int iHeight = 0; /* text cell, or the box of a signature */
    int iCheck = 0;  /* 1 empty box, -1 checked box */
    /* Signature: the image file, its box height and the e-signature line. */
    char szSignatureFile[WP_SIGNATURE_NAME_SIZE] = "";
    int iImageHeight = 0;
    char szESig[WP_ESIG_TEXT_SIZE] = "";
    int iDate = 0, iTime = 0;
    /* Image: the decoded key list. */
    WpImageKeys image;
};

/* One margin set in device units. */
struct WpMargins {
    int iTop = 0, iBottom = 0, iLeft = 0, iRight = 0;
};

/* A justified line: the width left over goes to its spaces share by share,
 * so that the last character ends on the right limit. */
struct WpJustify {
    int iExtra = 0;
    int iSpaces = 0;
    int iSeen = 0; /* spaces drawn so far on the line */
    /* Spaces past the last counted one (those ending the line) get none. */
    int Shift(int iSpacesBefore) const
    {
        const int k = iSpacesBefore < iSpaces ? iSpacesBefore : iSpaces;
        return iSpaces ? (int)((long long)iExtra * k / iSpaces) : 0;
    }
};

struct WpFontKey {
    int iFont, iRawFont, iHeight, iWeight;
    bool bItalic;
    bool operator<(const WpFontKey &o) const
    {
        return std::tie(iFont, iRawFont, iHeight, iWeight, bItalic) <
               std::tie(o.iFont, o.iRawFont, o.iHeight, o.iWeight, o.bItalic);
    }
};

struct WpRender {
    NovarcprintProcess *s = nullptr;
    HDC hdc = NULL;
    WpDocument *pDoc = nullptr;
    const WpHeading *pHeading = nullptr; /* heading variant only */

    int iDpiX = 0, iDpiY = 0, iHorzRes = 0, iVertRes = 0, iPhysX = 0, iPhysY = 0;
    WpMargins first, later;
    /* Hundredths of an inch, after the pending offsets. */
    int iLeftHundredths = 0, iFirstLeftHundredths = 0, iFirstBottomHundredths = 0;
    int iHorzOffset = 0;       /* pending horizontal offset taken at set-up */
    long long llTextWidth = 0; /* 1/72000 inch */

    /* The page being drawn. */
    int iPage = 1;
    bool bPageOpen = false; /* between our StartPage and EndPage */
    bool bAnyBreak = false;
    bool bDone = false; /* the page selector ended the document */
    const WpMargins &Margins() const { return iPage == 1 ? first : later; }
    int PageBottom() const { return iVertRes - Margins().iBottom; }
    int RightLimit() const { return iHorzRes - Margins().iRight; }
    int UsableWidth() const { return iHorzRes - Margins().iLeft - Margins().iRight; }

    WpStyle base, cur;
    int iBlockDepth = 0;
    std::map<WpFontKey, HFONT> fonts;
    std::map<std::pair<int, int>, int> lineHeights; /* (font, size) -> 1/7200 inch */
    HPEN hPenFirst = NULL, hPenBox = NULL, hPenCheck = NULL, hPenRule = NULL;
    int iBaseLineHeight = 0; /* device units */

    /* The line being built. */
    std::vector<WpRun> line;
    bool bCentre = false;
    std::string text; /* the open text run */
    bool bRuleOpen = false;
    int iTabs = 0;
    bool bNextX = false;
    double dNextX = 0;
    int iPageBreakRead = 0;
    /* Runs with images, kept until the end for their file clean-up. */
    std::vector<WpImageKeys> images;
};

/* wp_fonts.cpp */
int MapWpFont(int iType);
HFONT WpFont(WpRender *r, const WpStyle &style);
/* Size of a run's font in points (sub- and superscript are smaller). */
int WpRunSize(const WpStyle &style);
/* Line height of a font in 1/7200 inch, by the header's line-spacing mode. */
int WpLineHeight7200(WpRender *r, int iFont, int iSize);
int WpLineHeightDevice(WpRender *r, int iFont, int iSize);
/* Advance of one character from the width table, device units. */
double WpCharAdvance(const WpRender *r, const WpStyle &style, unsigned char c);
void WpReleaseFonts(WpRender *r);

/* wp_cells.cpp: the main loop over the cells. */
void WpRenderCells(WpRender *r);

/* wp_lines.cpp: closing runs and lines, page ends. */
void WpCloseText(WpRender *r);
void WpCloseRule(WpRender *r);
void WpAddRun(WpRender *r, WpRun run);
double WpRunStart(WpRender *r);
enum WpLineEnd { WP_END_HARD, WP_END_SOFT, WP_END_FEED, WP_END_IMAGE, WP_END_LAST };
void WpEndLine(WpRender *r, WpLineEnd end, bool bReadBreak);
void WpEndPage(WpRender *r);

/* wp_draw.cpp: one run on its baseline; a justified text run spreads its
 * spaces by the line's shares (its x already holds the share before it). */
void WpDrawRun(WpRender *r, const WpRun &run, int iBaseline, int iUnderlineBaseline,
               const WpJustify *pJustify);

/* wp_heading.cpp */
void WpDrawHeading(WpRender *r);
void WpDrawFooting(WpRender *r);

/* wp_pagebreaks.cpp */
void WpComputePageBreaks(WpRender *r);

/* wp_signature.cpp */
bool WpMakeSignatureRun(WpRender *r, const WpCodeRecord &record, WpRun *pRun);
void WpDrawSignature(WpRender *r, const WpRun &run, int iBaseline);

/* wp_images.cpp: what the imaging library draws for a document. */
void WpPrintImageRun(WpRender *r, const WpRun &run);
void WpPrintSignatureImage(WpRender *r, const WpRun &run, int iTop);
void WpPrintPendingSignatures(WpRender *r);
void WpPrintLetterhead(WpRender *r, int iPage);
void WpDeleteImageFiles(WpRender *r);

#endif /* NOVARCPRINT_WP_RENDER_H */
