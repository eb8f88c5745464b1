/*
 * The PDF converter printer interface, "cdintf550.dll": shared by the
 * component (components/converter) and the client's binding
 * (novarcprint/documents).  Windows types only.
 *
 * A converter printer is a printer of the spooler whose documents become
 * PDF files.  A client takes one with DriverInit, sets where and how the
 * next documents are written, locks it, commits the settings and draws on
 * the DC that CDICreateDC gives; each document it ends (EndDoc) is written
 * to the file set.  Documents that other programs print on the printer by
 * name go to the same file, since the settings are the printer's.
 *
 * Units: paper sizes and margins in tenths of a millimetre, resolution in
 * dots per inch.  Functions returning BOOL give FALSE for an unknown
 * handle or a value out of range; GetLastErrorMsg tells why.
 */
#ifndef CDINTF550_H
#define CDINTF550_H

#include <winsock2.h> /* before windows.h, which would bring the old winsock.h */
#include <windows.h>

#define CDINTF_DLL_NAME "cdintf550.dll"
/* The version the converter's installer writes as the first line of
 * "cdintf550.kel" in the system folder. */
#define CDINTF_VERSION 1
#define CDINTF_VERSION_FILE "cdintf550.kel"
/* The converter's installer: "<system folder>\cdinstall.exe -s [printer]"
 * creates the printer given, or the three converter printers, silently. */
#define CDINTF_INSTALLER "cdinstall.exe"
/* The printer driver name of converter printers in the registry. */
#define CDINTF_DRIVER_NAME "Novarc PDF Converter"
#define CDINTF_ERROR_TEXT_SIZE 256

/* File options (SetFileNameOptions, SetDocFileProps). */
#define CDINTF_NO_PROMPT 0x01    /* write without asking for a name */
#define CDINTF_USE_FILENAME 0x02 /* write to the file name set, not the document's */
#define CDINTF_CONCATENATE 0x04  /* append to the file when it exists; else replace it */

/* Image options (SetImageOptions), with SetJPEGCompression on: images drawn
 * in colour or grey are stored as JPEG at the level's quality when that is
 * smaller than lossless.  Black-and-white images and images that are JPEG
 * already are kept as they are. */
#define CDINTF_JPEG_COLOR 0x01
#define CDINTF_JPEG_GREY 0x02

/* Paper sizes known by number; any other size uses length and width. */
#define CDINTF_PAPER_LETTER 1
#define CDINTF_PAPER_LEGAL 5
#define CDINTF_PAPER_A4 9
#define CDINTF_PAPER_USER 256

/* Scaling options (SetScalingOption). */
#define CDINTF_SCALE_NONE 0
#define CDINTF_SCALE_TO_PAPER 1 /* each page scaled to the scaling paper size */

#ifndef CDINTF_API
#define CDINTF_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* A converter handle for the converter printer `printerName`, or NULL when
 * no converter printer of that name is installed (GetLastErrorMsg). */
CDINTF_API HANDLE WINAPI DriverInit(LPCSTR printerName);
/* Releases the handle and its lock.  A DC made from it stays usable. */
CDINTF_API BOOL WINAPI DriverEnd(HANDLE hConverter);
/* Commits the settings and makes a printer DC (as CreateDCA) whose
 * documents become PDF files as set; NULL on failure. */
CDINTF_API HDC WINAPI CDICreateDC(HANDLE hConverter);
/* The last error text of the calling thread, at most `size` bytes with the
 * NUL; returns the length copied. */
CDINTF_API LONG WINAPI GetLastErrorMsg(LPSTR text, LONG size);

/* Locks the printer for this handle's documents, named `documentName`:
 * 0 when locked (again), -1 while another handle or process holds it,
 * below -1 when the lock cannot be taken (-2 unknown handle, -3 the lock
 * file cannot be opened).  DriverEnd and the end of the process unlock. */
CDINTF_API LONG WINAPI Lock(HANDLE hConverter, LPCSTR documentName);

CDINTF_API BOOL WINAPI SetDefaultDirectory(HANDLE hConverter, LPCSTR folder);
/* The file the next documents go to: a full path, or a name in the
 * default directory. */
CDINTF_API BOOL WINAPI SetDefaultFileName(HANDLE hConverter, LPCSTR fileName);
/* Document title, file options, folder and file name at once. */
CDINTF_API BOOL WINAPI SetDocFileProps(HANDLE hConverter, LPCSTR documentName, LONG fileOptions,
                                       LPCSTR folder, LPCSTR fileName);
CDINTF_API BOOL WINAPI SetFileNameOptions(HANDLE hConverter, LONG fileOptions);
/* 72 to 2400 dots per inch. */
CDINTF_API BOOL WINAPI SetResolution(HANDLE hConverter, LONG dpi);
CDINTF_API BOOL WINAPI SetImageOptions(HANDLE hConverter, LONG imageOptions);
CDINTF_API BOOL WINAPI SetJPEGCompression(HANDLE hConverter, BOOL compress);
/* 1 (smallest files) to 9 (best pictures): JPEG quality 10 + 10 x level. */
CDINTF_API BOOL WINAPI SetJPegLevel(HANDLE hConverter, LONG level);

/* Makes the settings the printer's: every later DC and every document
 * printed on the printer by name uses them. */
CDINTF_API BOOL WINAPI SetDefaultConfigEx(HANDLE hConverter);

/* Paper: a CDINTF_PAPER_* number, or CDINTF_PAPER_USER (or any number not
 * known) with length and width (100 to 12000); margins 0 to 4000, on each
 * side.  The getters return -1 for an unknown handle. */
CDINTF_API LONG WINAPI GetPaperSize(HANDLE hConverter);
CDINTF_API BOOL WINAPI SetPaperSize(HANDLE hConverter, LONG paperSize);
CDINTF_API LONG WINAPI GetPaperLength(HANDLE hConverter);
CDINTF_API BOOL WINAPI SetPaperLength(HANDLE hConverter, LONG length);
CDINTF_API LONG WINAPI GetPaperWidth(HANDLE hConverter);
CDINTF_API BOOL WINAPI SetPaperWidth(HANDLE hConverter, LONG width);
CDINTF_API LONG WINAPI GetHorizontalMargin(HANDLE hConverter);
CDINTF_API BOOL WINAPI SetHorizontalMargin(HANDLE hConverter, LONG margin);
CDINTF_API LONG WINAPI GetVerticalMargin(HANDLE hConverter);
CDINTF_API BOOL WINAPI SetVerticalMargin(HANDLE hConverter, LONG margin);
CDINTF_API BOOL WINAPI SetScalingOption(HANDLE hConverter, LONG option);
/* The paper pages are scaled to with CDINTF_SCALE_TO_PAPER (a number). */
CDINTF_API BOOL WINAPI SetScalingPaperSize(HANDLE hConverter, LONG paperSize);

/* Prints pages `firstPage` to `lastPage` (1 up; a last page past the end
 * means the last) of the PDF file on the printer `printerName`, `copies`
 * times, through the PDF engine's drawing.  TRUE when pages were printed. */
CDINTF_API BOOL WINAPI PrintPDFDocument(LPCSTR fileName, LPCSTR printerName, LONG firstPage,
                                        LONG lastPage, LONG copies);

#ifdef __cplusplus
}
#endif

#endif /* CDINTF550_H */
