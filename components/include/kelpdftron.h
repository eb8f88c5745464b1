/*
 * The PDF engine wrapper, "kelpdftron.dll": the interface shared by the
 * component (components/pdfengine) and the client's binding
 * (novarcprint/documents).  Windows types only, so the same header serves a
 * Windows build.
 *
 * The client loads the DLL from KELPDFTRON_FOLDER and looks every function
 * up by name at each call; the typedef-free declarations below give the
 * binding its signatures (decltype).  Paths are Windows paths.  Texts are
 * Windows-1252, as everything the server sends; a text that is well-formed
 * UTF-8 with multi-byte characters is taken as UTF-8.
 *
 * Error texts: functions that take an error buffer write at most
 * KELPDFTRON_ERROR_TEXT_SIZE bytes into it, the ending NUL included; the
 * caller's buffer must hold that many.  On success the buffer holds "".
 */
#ifndef KELPDFTRON_H
#define KELPDFTRON_H

#include <winsock2.h> /* before windows.h, which would bring the old winsock.h */
#include <windows.h>

#define KELPDFTRON_DLL_NAME "kelpdftron.dll"
#define KELPDFTRON_FOLDER "C:\\novarc\\bin\\PdfTron"
#define KELPDFTRON_RESOURCES "C:\\novarc\\bin\\PdfTron\\resources"
/* What KelPdfTronDllVersion answers; the update service compares it with
 * the version of an installer the server offers. */
#define KELPDFTRON_DLL_VERSION 1
#define KELPDFTRON_ERROR_TEXT_SIZE 512
/* The options text that rasterises pages at the device's resolution
 * instead of drawing them as vectors. */
#define KELPDFTRON_OPTION_RASTERIZE "USE_BUILTIN_RASTERIZER"

/* Heading and footing types: where the text goes in the band above (heading)
 * or below (footing) the page.  A band takes room only when its type is not
 * KELPDF_BAND_NONE; the page shrinks to fit the rest of the printable area. */
#define KELPDF_BAND_NONE 0
#define KELPDF_BAND_LEFT 1
#define KELPDF_BAND_CENTER 2
#define KELPDF_BAND_RIGHT 3
#define KELPDF_BAND_PAGE_NUMBER 4 /* centred: the text, then "Page n of N" */

/* Set-field flags (form object slot 3). */
#define KELPDF_FIELD_SET_VALUE 0x01 /* give the field the value */
#define KELPDF_FIELD_READ_ONLY 0x02 /* mark the field read-only */
#define KELPDF_FIELD_HIDDEN 0x04    /* hide the field's widgets: not printed */

/* Save flags (form object slot 5). */
#define KELPDF_SAVE_LINEARIZED 0x10 /* fast web view: page 1 readable first */

#ifdef __cplusplus
/*
 * A fillable PDF form.  The client calls it through its virtual slots, in
 * this order; slots 0 and 1 hold the destructor, which the client never
 * calls (DeleteKelPdfCompFormObject frees the object).  Each slot returns
 * 1 on success and 0 on failure, with the reason in `errorText` where the
 * slot has one.
 *
 *   2 OpenForm      the PDF form file at `path`
 *   3 SetField      the field named `name` (fully qualified: "a.b.c") gets
 *                   `value` as the flags say.  Text fields take the text;
 *                   check boxes are checked by "Yes", "On", "1", "True",
 *                   "X", "Checked" or their own on-state name, cleared by
 *                   anything else; radio groups select the button whose
 *                   on-state name is `value` (none for "Off" or ""); choice
 *                   fields select the option whose export value or text is
 *                   `value`, or, when editable, take it as text.
 *   4 PrintForm     page `page` (1 up) or every page (-1) onto the printer
 *                   DC's next pages (StartPage/EndPage per page), prepared
 *                   first if slot 6 was not called
 *   5 SaveForm      the filled form to `path` (KELPDF_SAVE_* flags)
 *   6 PrepareForm   makes the filled fields part of the pages (flattened),
 *                   so that every viewer and printer shows the values
 */
class KelPdfCompFormObject {
protected:
    virtual ~KelPdfCompFormObject() {} /* slots 0 and 1: declared first */

public:
    virtual int WINAPI OpenForm(LPCSTR path) = 0;
    virtual int WINAPI SetField(LPCSTR name, LPCSTR value, int flags) = 0;
    virtual int WINAPI PrintForm(HDC hdc, int page, LPSTR errorText) = 0;
    virtual int WINAPI SaveForm(LPCSTR path, int flags, LPSTR errorText) = 0;
    virtual int WINAPI PrepareForm(void) = 0;
};
#else
typedef struct KelPdfCompFormObject KelPdfCompFormObject;
#endif

#ifndef KELPDFTRON_API
#define KELPDFTRON_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Readies the engine; `resourcesFolder` may hold extra fonts (.ttf, .otf)
 * for PDFs that do not embed theirs.  Counted: each call needs one
 * TerminateKelPdfTron.  Returns 1. */
KELPDFTRON_API int WINAPI InitializeKelPdfTron(LPCSTR resourcesFolder);
KELPDFTRON_API void WINAPI TerminateKelPdfTron(void);

/* KELPDFTRON_DLL_VERSION. */
KELPDFTRON_API int WINAPI KelPdfTronDllVersion(void);

/* A new, empty form object, or NULL; freed by DeleteKelPdfCompFormObject. */
KELPDFTRON_API KelPdfCompFormObject *WINAPI CreateKelPdfCompFormObject(void);
KELPDFTRON_API void WINAPI DeleteKelPdfCompFormObject(KelPdfCompFormObject *form);

/* Prints the PDF held in `data` (`length` bytes) on the printer DC, whose
 * document the caller has started: each page as a page of its own
 * (StartPage, EndPage), drawn as vectors, or rasterised at the DC's
 * resolution when `options` contains KELPDFTRON_OPTION_RASTERIZE.  Pages
 * are turned to the paper's orientation, shrunk to the printable area when
 * larger, and centred.  `page` 1 up prints that page, below 1 all pages;
 * `copies` repeats them (1 to 99).  `paperSource` (a DMBIN_* or driver bin,
 * -1 for none) selects the tray from the first page on.  `documentName`
 * only names the document in errors.  hPrinter and printerName may be
 * NULL.  Returns the number of pages printed, 0 on failure. */
KELPDFTRON_API int WINAPI PrintKelPdfTronDocumentBufferOptionHeading(
    HDC hdc, HANDLE hPrinter, LPCSTR printerName, int paperSource, LPCSTR documentName,
    const BYTE *data, DWORD length, int page, int copies, LPCSTR options, int headingType,
    int footingType, LPCSTR heading, LPCSTR footing);

/* Rewrites the PDF at `path` in place as a clean, standard file (objects
 * renumbered, damaged cross references rebuilt, unused objects dropped).
 * `flags` is 0.  Non-zero on success. */
KELPDFTRON_API int WINAPI NormalizeKelPdfTronDocument(LPCSTR path, int flags, LPSTR errorText);

/* Joins "<folder>\<prefix><n><baseName>" for n = 1 to count, in that order,
 * into `output` (replaced).  Non-zero on success; a missing or damaged part
 * fails the whole join and leaves `output` untouched. */
KELPDFTRON_API int WINAPI ConcatenateKelPdfTronDocumentRange(LPCSTR output, LPCSTR folder,
                                                             LPCSTR prefix, LPCSTR baseName,
                                                             int count, LPSTR errorText);

/* Writes page i of the PDF at `path` to "<path up to its first '.'>PG<i>.pdf"
 * for i = 1 to the page count.  Returns the page count, 0 on failure. */
KELPDFTRON_API int WINAPI SeparateKelPdfTronDocument(LPCSTR path, LPSTR errorText);

#ifdef __cplusplus
}
#endif

#endif /* KELPDFTRON_H */
