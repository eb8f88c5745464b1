/*
 * What every renderer shares when it draws on the job's printer: the font
 * lookup with its printer-resident substitutions, the conversion of the
 * server's units to device units, and small text helpers.  Everything here
 * runs under the session's print lock, on the device context the printer
 * session opened.
 */
#ifndef NOVARCPRINT_DRAW_H
#define NOVARCPRINT_DRAW_H

#include "novarcprint_process.h"

/* ---- Fonts (printer_font.cpp) ---- */

/* 0 with the font in *phFont, -1 when no acceptable family is installed.
 * szFace (FONT_FACE_SIZE bytes) is changed in place by the substitutions of
 * the printer model and print mode. */
int CreatePrinterFont(NovarcprintProcess *pSession, HDC hdc, HFONT *phFont, char *szFace,
                      int iHeight, int iWidth, int iWeight, BYTE bItalic, BYTE bUnderline,
                      BYTE bStrikeOut);

/* ---- Units (units.cpp) ----
 * Device units are the printer's dots (LOGPIXELSX across, LOGPIXELSY down).
 * Every conversion truncates, as the server's layouts were measured with. */

/* Points (1/72 inch) at a resolution: MulDiv(trunc(points × 1000), dpi, 72000). */
int PointsToDevice(double dPoints, int iDpi);
int PointsToDeviceX(HDC hdc, double dPoints);
int PointsToDeviceY(HDC hdc, double dPoints);
/* The lfHeight of a font of that many points: negative, a character height. */
int FontHeightForPoints(HDC hdc, double dPoints);
/* Inches (forms give their geometry in inches or hundredths of one). */
int InchesToDeviceX(HDC hdc, double dInches);
int InchesToDeviceY(HDC hdc, double dInches);
/* Server positions, in 1/600 inch. */
int ServerToDeviceX(HDC hdc, int iPosition);
int ServerToDeviceY(HDC hdc, int iPosition);
/* Where a heading or footing type the server sends sits, in hundredths of
 * an inch from its edge of the page (types 1 to 18; 0 for any other: no
 * line).  Images and documents share the server's table. */
int HeadingTypePosition(int iType);

/* ---- Text (text.cpp) ---- */

/* Selects the font and sets what every renderer draws text with: the
 * reference point on the baseline and a transparent background. */
void SelectTextFont(HDC hdc, HFONT hFont);
/* The size of a text in the selected font. */
SIZE MeasureText(HDC hdc, const char *szText, int iLen);
/* How many leading characters fit dMaxWidth (nothing wraps: the rest is
 * cut at the right edge); their size in *pSize when given. */
int FitTextToWidth(HDC hdc, const char *szText, int iLen, double dMaxWidth, SIZE *pSize);
/* Draws the text with its baseline at y, centred in [xLeft, xLeft + iWidth). */
BOOL DrawTextCentred(HDC hdc, int xLeft, int iWidth, int y, const char *szText, int iLen);

#endif /* NOVARCPRINT_DRAW_H */
