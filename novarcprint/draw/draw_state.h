/*
 * What the shared drawing helpers keep between calls, held by the session
 * (m_Draw) and touched only under its print lock: the scratch of the font
 * lookup, which its enumeration callback fills.
 */
#ifndef NOVARCPRINT_DRAW_STATE_H
#define NOVARCPRINT_DRAW_STATE_H

#include <winsock2.h> /* before windows.h, which would bring the old winsock.h */
#include <windows.h>

/* A face name buffer: a LOGFONTA face with its NUL. */
#define FONT_FACE_SIZE LF_FACESIZE

/* The font lookup's scratch: the face looked for and the family found. */
struct FontLookup {
    LOGFONTA m_LogFont = {};
    char m_szWantedFace[FONT_FACE_SIZE] = "";
    bool m_bFontFound = false;
    bool m_bDeviceFont = false; /* the family found is printer-resident */
};

struct DrawingState {
    FontLookup m_Font;
};

#endif /* NOVARCPRINT_DRAW_STATE_H */
