/*
 * GDI extensions beyond the Windows API.  Not for the system code.
 *
 * For components: the cairo context behind a DC, so that vector content
 * (PDF pages through poppler) is drawn as vectors rather than as a bitmap,
 * and blits from cairo surfaces, so that compressed image bytes reach PDF
 * pages as they are.
 * For the build: registering the bitmap resources a program links in, which
 * LoadBitmapA then finds.
 * For components that are printer drivers: port monitors, which receive the
 * documents printed on a printer whose port names them.
 */
#ifndef WINPORT_GDI_EXT_H
#define WINPORT_GDI_EXT_H

#include "windows.h"

WINPORT_BEGIN_C

typedef struct _cairo cairo_t;

/* The cairo context a DC draws with now: the open page of a printer DC, or
 * NULL (printer DC between pages, screen DC, memory DC, invalid hdc).
 * Its user space is the DC's device units with (0, 0) at the corner of
 * the printable area, clipped to it.  The context stays the DC's: save and
 * restore its state around your drawing, never destroy it, and do not keep
 * it past EndPage.  Call from the thread that draws on the DC. */
cairo_t *winport_gdi_cairo(HDC hdc);

/* Adds an entry to the DC's record (when recording) for something drawn
 * through winport_gdi_cairo: what, and the device rectangle it covers. */
void winport_gdi_note_drawing(HDC hdc, const char *what, const RECT *box);

typedef struct _cairo_surface cairo_surface_t;

/* StretchBlt from a cairo image surface (CAIRO_FORMAT_RGB24, top row first)
 * onto any DC, with the raster operations BitBlt takes that use a source.
 * A CAIRO_FORMAT_A1 surface is a black and white picture whose set bits are
 * black: SRCCOPY draws it whole, SRCAND its black alone (other operations
 * fail); a PDF page holds it as an image mask of one bit per pixel.
 * Mime data the surface carries (CAIRO_MIME_TYPE_JPEG, ..._CCITT_FAX with
 * its parameters, ..._JP2) reaches a PDF page, which then holds those
 * compressed bytes instead of the pixels.  The record gets a bitmap item
 * named `call` (NULL: "winport_gdi_blit_surface") with the surface's size
 * and the `bitsPerPixel` the caller's image has.  The surface stays the
 * caller's; cairo may keep a reference to it until the page is written.
 * FALSE with ERROR_INVALID_HANDLE for an invalid hdc, ERROR_INVALID_PARAMETER
 * for another surface or operation. */
BOOL winport_gdi_blit_surface(HDC hdc, const char *call, int xDest, int yDest, int wDest, int hDest,
                              cairo_surface_t *source, int xSrc, int ySrc, int wSrc, int hSrc,
                              int bitsPerPixel, DWORD rop);

/* Registers a bitmap resource for LoadBitmapA: the bytes of a .bmp file or
 * a packed DIB, kept by reference (they must outlive the program's use of
 * them).  name is a string or MAKEINTRESOURCEA(id).  Returns TRUE, or FALSE
 * with ERROR_INVALID_PARAMETER. */
BOOL winport_register_bitmap(LPCSTR name, const void *data, size_t size);

/* Registers a byte array as bitmap resource id before main runs:
 *     static const unsigned char rx_bmp[] = { 0x42, 0x4D, ... };
 *     WINPORT_BITMAP_RESOURCE(2523, rx_bmp)  */
#define WINPORT_BITMAP_RESOURCE(id, bytes)                                                         \
    __attribute__((constructor)) static void winport_bitmap_resource_##id(void)                    \
    {                                                                                              \
        winport_register_bitmap(MAKEINTRESOURCEA(id), bytes, sizeof(bytes));                       \
    }

/* Port monitors.  A printer whose "Port" value is "MONITOR:<dll>" hands
 * every finished document to that DLL instead of a file or queue: the
 * spooler loads it with LoadLibraryA (so a missing DLL fails the document
 * with ERROR_MOD_NOT_FOUND) and calls its export WinportPortDeliver, once
 * per document, in the process that ended the document (EndDoc,
 * EndDocPrinter), with GDI's lock held: the monitor may call winport,
 * but must not wait for another thread that draws.  A document with its
 * own output file (lpszOutput) still goes to that file. */
#define WINPORT_PORT_DELIVER_EXPORT "WinportPortDeliver"

#define WINPORT_DOC_PDF 1 /* a vector PDF (printer DCs) */
#define WINPORT_DOC_RAW 2 /* the bytes of a raw job (WritePrinter) */

typedef struct WINPORT_PORT_DOCUMENT {
    DWORD cbSize;         /* sizeof(WINPORT_PORT_DOCUMENT) */
    LPCSTR pPrinterName;  /* the printer as the registry spells it */
    LPCSTR pDocumentName; /* DOCINFOA's lpszDocName ("" when none) */
    LPCSTR pSpoolFile;    /* POSIX path of the finished document; the monitor
                             may move it away, whatever is left is removed */
    DWORD dwKind;         /* WINPORT_DOC_PDF or WINPORT_DOC_RAW */
    DWORD dwJobId;
    DWORD dwPages; /* pages ended; raw jobs: StartPagePrinter calls */
} WINPORT_PORT_DOCUMENT;

/* Returns 0 when the document is delivered, else a Windows error code,
 * which fails EndDoc (SP_ERROR) with that last error. */
typedef DWORD(WINAPI *WINPORT_PORT_DELIVER)(const WINPORT_PORT_DOCUMENT *document);

WINPORT_END_C

#endif /* WINPORT_GDI_EXT_H */
