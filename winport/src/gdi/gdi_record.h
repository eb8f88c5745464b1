/*
 * The record: what a device context drew, as plain values.
 *
 * Tests assert layout on it to the device unit; a tool dumps it as text, one
 * line per item.  Recording is off until turned on for a DC (or, for every
 * printer document, by the WINPORT_GDI_RECORD environment variable naming a
 * folder: each document's dump is written there at EndDoc or AbortDoc as
 * "job<id>-<document name>.gdi.txt").
 *
 * Positions are device units.  Items drawn while no page is open (a printer
 * DC between pages, the screen DC) carry page 0: they reached no paper.
 */
#ifndef WINPORT_GDI_RECORD_H
#define WINPORT_GDI_RECORD_H

#include <windows.h>

#include <string>
#include <variant>
#include <vector>

namespace winport::gdi {

struct RecDocument {
    enum Event { Start, End, Abort } event = Start;
    int jobId = 0;
    std::string name;
    std::string output;
    int pages = 0; /* End and Abort: pages ended in the document */
};

struct RecPage {
    enum Event { Start, End } event = Start;
    int number = 0;
    int width = 0; /* physical size, as oriented */
    int height = 0;
    int dpiX = 0;
    int dpiY = 0;
    bool landscape = false;
};

struct RecText {
    int page = 0;
    std::string text;   /* the bytes drawn (Windows-1252) */
    std::string utf8;   /* the same text as Unicode */
    std::string face;   /* face name as GetTextFaceA reports it */
    std::string family; /* installed family that drew it */
    LONG lfHeight = 0;  /* as requested */
    int emHeight = 0;   /* character (em) height used */
    int ascent = 0;
    int descent = 0;
    LONG weight = 0;   /* as requested */
    bool bold = false; /* drawn bold (weight 700 and up) */
    bool italic = false;
    bool underline = false;
    bool strikeOut = false;
    LONG escapement = 0; /* tenths of a degree, counter-clockwise */
    COLORREF color = 0;
    bool opaque = false; /* background filled with bkColor */
    COLORREF bkColor = 0;
    UINT align = 0;
    POINT ref{};    /* the reference point (x, y or the current position) */
    POINT origin{}; /* left end of the baseline after alignment */
    int width = 0;  /* advance width, as GetTextExtentPoint32A */
    RECT box{};     /* the text cell, bounding the rotated cell when turned */
};

struct RecPen {
    int style = PS_SOLID;
    int width = 1; /* device units actually stroked (0 became 1) */
    COLORREF color = 0;
};

struct RecBrush {
    UINT style = BS_SOLID;
    COLORREF color = 0;
};

struct RecLine {
    int page = 0;
    POINT from{};
    POINT to{};
    RecPen pen;
};

struct RecShape {
    enum Kind { Rectangle, Ellipse, FillRect } kind = Rectangle;
    int page = 0;
    RECT rect{}; /* as given, normalised; right and bottom exclusive */
    RecPen pen;  /* FillRect: style PS_NULL */
    RecBrush brush;
};

struct RecBitmap {
    int page = 0;
    const char *call = "";            /* "BitBlt", "StretchBlt", "StretchDIBits" */
    int x = 0, y = 0, cx = 0, cy = 0; /* destination as given */
    int srcX = 0, srcY = 0, srcCx = 0, srcCy = 0;
    int bmWidth = 0, bmHeight = 0, bmBits = 0; /* the source bitmap */
    DWORD rop = SRCCOPY;
};

/* Something a component drew straight through cairo (winport_gdi_ext.h). */
struct RecExternal {
    int page = 0;
    std::string what;
    RECT box{};
};

using RecordItem =
    std::variant<RecDocument, RecPage, RecText, RecLine, RecShape, RecBitmap, RecExternal>;

/* Turns recording on or off for a DC; turning it on clears the record.
 * FALSE with ERROR_INVALID_HANDLE for an invalid hdc. */
BOOL SetRecording(HDC hdc, bool on);

/* A copy of the DC's record (empty when recording is off or hdc invalid). */
std::vector<RecordItem> GetRecord(HDC hdc);

/* One line per item, no trailing newline on the last. */
std::string DumpItem(const RecordItem &item);
std::string DumpRecord(const std::vector<RecordItem> &items);

/* Items of one kind, in order: Only<RecText>(GetRecord(dc)). */
template <class T> std::vector<T> Only(const std::vector<RecordItem> &items)
{
    std::vector<T> out;
    for (const auto &item : items)
        if (const T *p = std::get_if<T>(&item))
            out.push_back(*p);
    return out;
}

} // namespace winport::gdi

#endif /* WINPORT_GDI_RECORD_H */
