/*
 * What every form draws with: the page a form is drawn on (the common
 * start and end of every form message), positions in inches from the
 * form's origin, fonts by face and points, text that remembers its height
 * for the next line, rules, boxes and the program's bitmaps.
 *
 * Inches and points scale with the printer's resolution; offsets the
 * layouts give in device units (the "+ 28" of a base line, a 4-unit pen)
 * are added as they are, at every resolution.
 */
#ifndef NOVARCPRINT_FORM_CANVAS_H
#define NOVARCPRINT_FORM_CANVAS_H

#include <string>

#include "draw.h"

/* Bitmap resources of the program. */
#define RX_SYMBOL_BITMAP 2523
#define FAX_HEADER_BITMAP 2525

/* Forms are laid out in a column this wide, centred text included. */
#define FORM_WIDTH_INCHES 4.0

/* A font of a form. */
struct FormTextStyle {
    const char *szFace;
    double dPoints;
    int iWeight;
};

#define FORM_FONT_MAX 24

struct FormCanvas {
    NovarcprintProcess *pSession;
    HDC hdc;
    int px, py; /* LOGPIXELSX, LOGPIXELSY */
    int x0, y0; /* the form's origin: the session's print position */
    int y;      /* the current base line */
    /* Height of the text drawn last: going to the next line adds it. */
    int iLastHeight;
    HPEN hPen;
    HGDIOBJ hOldPen, hOldBrush, hOldFont;
    struct {
        FormTextStyle style;
        HFONT hFont;
    } fonts[FORM_FONT_MAX];
    int iFontCount;
};

/* The start every form message shares: false (nothing done) without a
 * printer DC.  Selects a solid black pen of iPenWidth device units and the
 * black stock brush, starts a page when none is open, sets base-line text
 * on a transparent background and takes the session's print position as
 * the origin (the pending positions are taken). */
bool BeginFormPage(FormCanvas *c, NovarcprintProcess *pSession, int iPenWidth);
/* The end every form shares: releases the fonts and the pen, prints a
 * pending signature image and, when bDaw says the form wants it, a pending
 * dispense-as-written image, ends the page and marks the job as printed. */
void EndFormPage(FormCanvas *c, bool bDaw);

/* Signature and dispense-as-written images the server sent for this page
 * (form_images.cpp). */
bool FormSignaturePending(const FormCanvas *c);
bool FormDawPending(const FormCanvas *c);
void PrintFormSignature(FormCanvas *c);
void PrintFormDaw(FormCanvas *c);

/* Inches to device units, across and down. */
int FormInchX(const FormCanvas *c, double dInches);
int FormInchY(const FormCanvas *c, double dInches);
/* x0 + inches across; y0 + inches down. */
int FormX(const FormCanvas *c, double dInches);
int FormY(const FormCanvas *c, double dInches);

/* The font (created once per form, released at its end). */
HFONT FormFont(FormCanvas *c, const FormTextStyle &style);
/* The size of a text in a font (selects it). */
SIZE FormMeasure(FormCanvas *c, const FormTextStyle &style, const std::string &text);
/* Draws a text with its base line at y (nothing for an empty text, but
 * the height still counts as drawn); returns its width. */
int FormText(FormCanvas *c, const FormTextStyle &style, int x, int y, const std::string &text);
/* Centred in the form's width: x = x0 + (4 inches - width) / 2. */
int FormCentred(FormCanvas *c, const FormTextStyle &style, int y, const std::string &text);
/* y moves down by the height of the text drawn last. */
void FormNextLine(FormCanvas *c);

/* A line with the form's pen. */
void FormLine(FormCanvas *c, int x1, int y1, int x2, int y2);
/* A box outline with the form's pen; what is under it stays visible. */
void FormBox(FormCanvas *c, int iLeft, int iTop, int iRight, int iBottom);
/* A label, then a value right after it underlined from the label's end to
 * the value's end 4 device units below the base line; returns the x where
 * the value ends. */
int FormUnderlinedValue(FormCanvas *c, const FormTextStyle &label, const FormTextStyle &value,
                        int x, int y, const std::string &szLabel, const std::string &szValue);

/* One of the program's bitmaps at (x, y), scaled by the ratio of the
 * printer's resolution to the screen's; its scaled height, or -1 (nothing
 * drawn) when the program has no such bitmap. */
int FormBitmap(FormCanvas *c, int iResource, int x, int y);

/* printf into a std::string. */
std::string FormFormat(const char *szFormat, ...) __attribute__((format(printf, 1, 2)));

/* Splits a text into at most iMaxLines lines of at most iMaxChars: a line
 * breaks at the last space or after the last comma that keeps it within
 * the limit (else at the limit), and a continuation line loses a leading
 * space.  Lines past the last are empty. */
void SplitFormLines(const char *szText, int iMaxChars, int iMaxLines, std::string *pLines);

#endif /* NOVARCPRINT_FORM_CANVAS_H */
