/*
 * The text-stream half of the print session: settings the server sends
 * before a stream that have no field of their own in the session, the pen
 * position that carries one stream on where the last one stopped, and the
 * scratch of the font lookup.  Held inside the session; touched only under
 * the session's print lock.
 */
#ifndef NOVARCPRINT_STREAM_STATE_H
#define NOVARCPRINT_STREAM_STATE_H

#include <windows.h>

#include "draw_state.h"

#define STREAM_FACE_SIZE FONT_FACE_SIZE

/* Everything that decides the fonts a stream draws with. */
struct StreamFontChoice {
    HDC hdc = NULL;
    char szFace[STREAM_FACE_SIZE] = "";
    char szCaptionFace[STREAM_FACE_SIZE] = "";
    int iHeight = 0;
    int iWeight = 0;
    bool bCaption = false;
    /* What the printer-resident substitutions read. */
    int iModelClass = 0;
    int iPrintMode = 0;
    int iLinesPerInch = 0;
    bool bLandscapeRequest = false;

    bool operator==(const StreamFontChoice &) const = default;
};

struct StreamState {
    /* Custom size (print mode 109). */
    int m_iCustomPointSize = 0;
    int m_iCustomLinesPerInch = 6;
    int m_iFontIndex = 0;

    /* Requested positions in device units, applied once by the renderer. */
    int m_iHorzPos = 0;
    int m_iVertPos = 0;
    bool m_bHorzPending = false;
    bool m_bVertPending = false;

    /* Pen position; m_dY is a baseline, 0 while no position is set. */
    double m_dX = 0;
    double m_dY = 0;
    double m_dLineHeight = 0;
    double m_dLastWidth = 0;
    int m_iLineCount = 0;
    /* The last stream ended with a CR that was not half of a pair. */
    bool m_bEndedWithCr = false;

    /* The fonts of the last stream and the choice that made them: a
     * report comes in many pieces, and looking the family up again for each
     * one costs more than drawing it.  Released when the choice changes;
     * never selected between streams. */
    StreamFontChoice m_FontChoice;
    HFONT m_hFont = NULL;
    HFONT m_hCaptionFont = NULL;

    /* Characters and lines drawn by every stream of the session, and the
     * flag that lets a stream that began at a fresh position and drew
     * nothing give that position back. */
    int m_iDrawnItems = 0;
    bool m_bNothingDrawn = false;
};

#endif /* NOVARCPRINT_STREAM_STATE_H */
