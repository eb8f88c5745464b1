/*
 * The font lookup shared by the renderers, with its own scratch in the
 * session (m_Draw.m_Font).  Some printer models carry
 * resident fonts that print faster and crisper than downloaded ones, so
 * their faces replace the wanted one by print mode and line spacing; then
 * the installed families are searched by name prefix, with fall-backs for
 * families a workstation often lacks.
 */
#include <cstring>

#include "draw.h"

namespace {

/* Resident faces by [print mode row][lines per inch is 8]. */
enum { ROW_CONDENSED_PORTRAIT, ROW_CONDENSED_LANDSCAPE, ROW_MEDIUM, ROW_OTHER };

const char *const kUtilityFaces[4][2] = {{"Utility 17cpi", "Utility 20cpi"},
                                         {"Utility 20cpi", "Utility 25cpi"},
                                         {"Utility 12cpi", "Utility 17cpi"},
                                         {"Utility 10cpi", "Utility 15cpi"}};

const char *const kCourierFaces[4][2] = {{"Courier 17.1 cpi", "Courier 20 cpi"},
                                         {"Courier 20 cpi", "Courier 25 cpi"},
                                         {"Courier 12cpi", "Courier 17.1 cpi"},
                                         {"Courier 10 cpi", "Courier 15 cpi"}};

int ModeRow(const NovarcprintProcess *s)
{
    if (s->m_iPrintMode == SET_PRINT_SIZE_9)
        return s->m_Printer.m_bLandscapeRequest ? ROW_CONDENSED_LANDSCAPE : ROW_CONDENSED_PORTRAIT;
    return s->m_iPrintMode == SET_PRINT_SIZE_24 ? ROW_MEDIUM : ROW_OTHER;
}

void CopyFace(char *szFace, const char *szFrom)
{
    strncpy(szFace, szFrom, FONT_FACE_SIZE - 1);
    szFace[FONT_FACE_SIZE - 1] = 0;
}

void SubstituteResidentFace(const NovarcprintProcess *s, char *szFace)
{
    const int iClass = s->m_Printer.m_iModelClass;
    const int iCol = s->m_iLinesPerInch == 8 ? 1 : 0;
    const bool bCourier = strstr(szFace, "Courier") != NULL;
    if (iClass == 1)
        CopyFace(szFace, kUtilityFaces[ModeRow(s)][iCol]);
    else if (iClass == 2 && bCourier)
        CopyFace(szFace, kCourierFaces[ModeRow(s)][iCol]);
    else if (iClass == 3 && bCourier)
        CopyFace(szFace, "Courier New");
}

int CALLBACK AcceptFamily(const LOGFONTA *pLogFont, const TEXTMETRICA *, DWORD dwType,
                          LPARAM lParam)
{
    FontLookup *st = (FontLookup *)lParam;
    const size_t n = strlen(st->m_szWantedFace);
    if (strncmp(pLogFont->lfFaceName, st->m_szWantedFace, n) != 0)
        return 1;
    st->m_LogFont = *pLogFont;
    st->m_bFontFound = true;
    st->m_bDeviceFont = (dwType & DEVICE_FONTTYPE) != 0;
    return 0;
}

bool FindFamily(FontLookup *st, HDC hdc, const char *szWanted, BYTE bCharSet)
{
    CopyFace(st->m_szWantedFace, szWanted);
    st->m_LogFont.lfFaceName[0] = 0;
    st->m_bFontFound = false;
    st->m_bDeviceFont = false;
    LOGFONTA query = {};
    query.lfCharSet = bCharSet;
    EnumFontFamiliesExA(hdc, &query, AcceptFamily, (LPARAM)st, 0);
    return st->m_bFontFound;
}

} // namespace

int CreatePrinterFont(NovarcprintProcess *s, HDC hdc, HFONT *phFont, char *szFace, int iHeight,
                      int iWidth, int iWeight, BYTE bItalic, BYTE bUnderline, BYTE bStrikeOut)
{
    FontLookup &st = s->m_Draw.m_Font;
    st.m_bFontFound = false;
    *phFont = NULL;
    /* Older fax servers render Arial's regular weight too thin to survive
     * the fax's resolution. */
    if (s->m_bFax && s->m_Printer.m_iVsiFaxVersion < 6 && iWeight == FW_NORMAL &&
        strcmp(szFace, "Arial") == 0)
        iWeight = FW_SEMIBOLD;
    const BYTE bCharSet = strcmp(szFace, "Wingdings") == 0 ? SYMBOL_CHARSET : ANSI_CHARSET;
    SubstituteResidentFace(s, szFace);
    bool bFound = FindFamily(&st, hdc, szFace, bCharSet);
    if (!bFound && strstr(szFace, "Courier")) {
        CopyFace(szFace, "Courier");
        bFound = FindFamily(&st, hdc, szFace, bCharSet);
    }
    if (!bFound) {
        if (strcmp(szFace, "Univers") == 0)
            CopyFace(szFace, "Arial");
        else if (strcmp(szFace, "CG Times") == 0)
            CopyFace(szFace, "Times New Roman");
        else
            return -1;
        if (!FindFamily(&st, hdc, szFace, bCharSet))
            return -1;
    }
    LOGFONTA lf = st.m_LogFont;
    lf.lfHeight = iHeight;
    lf.lfWidth = iWidth;
    lf.lfWeight = iWeight;
    lf.lfItalic = bItalic;
    lf.lfUnderline = bUnderline;
    lf.lfStrikeOut = bStrikeOut;
    lf.lfEscapement = 0;
    lf.lfOrientation = 0;
    /* Outline fonts only, except for a printer-resident face chosen above:
     * asking for outlines would make the mapper pass the resident face by. */
    if (!st.m_bDeviceFont)
        lf.lfOutPrecision = OUT_TT_ONLY_PRECIS;
    *phFont = CreateFontIndirectA(&lf);
    return *phFont ? 0 : -1;
}
