/*
 * GDI extensions beyond the Windows API.  Not for the system code.
 *
 * For components: the cairo context behind a DC, so that vector content
 * (PDF pages through poppler) is drawn as vectors rather than as a bitmap.
 * For the build: registering the bitmap resources a program links in, which
 * LoadBitmapA then finds.
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

WINPORT_END_C

#endif /* WINPORT_GDI_EXT_H */
