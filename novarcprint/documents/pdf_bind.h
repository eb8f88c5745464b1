/*
 * The PDF engine wrapper ("kelpdftron.dll") and the PDF converter printer
 * ("cdintf550.dll"), loaded at run time and bound by name at every call, so
 * that a workstation without them (or with an older one lacking a
 * function) still prints everything else.
 *
 * Engine: KelPdfTron_* call the function of the same name after "KelPdfTron"
 * (KelPdfTron_Normalize -> NormalizeKelPdfTronDocument ...).  When the
 * library is not loaded they load it first; when it cannot be loaded, or
 * lacks the function, they return 0 (nothing for void functions), as the
 * callers expect of a missing engine.
 *
 * Converter: KelAmyuni_* call the converter function of the same name.
 * Without the library they return 0; a library that lacks the function
 * shows "UNABLE TO LINK WITH <name>", posts a quit message and returns 0.
 *
 * All functions may be called from any thread; loading and unloading are
 * for the printer open and close workers, which run one at a time.
 */
#ifndef NOVARCPRINT_DOCUMENTS_PDF_BIND_H
#define NOVARCPRINT_DOCUMENTS_PDF_BIND_H

#include <cdintf550.h>
#include <kelpdftron.h>

class NovarcprintProcess;

/* ---- PDF engine ---- */

/* Loads "C:\novarc\bin\PdfTron\kelpdftron.dll" unless it is loaded, then
 * calls InitializeKelPdfTron("C:\novarc\bin\PdfTron\resources").  1 when
 * the engine is loaded, 0 when it is missing. */
int KelLoadPdfTron(void);
void KelUnloadPdfTron(void);
bool KelPdfTronLoaded(void);

int KelPdfTron_Initialize(LPCSTR resourcesFolder);
void KelPdfTron_Terminate(void);
int KelPdfTron_DllVersion(void);
KelPdfCompFormObject *KelPdfTron_CreateFormObject(void);
void KelPdfTron_DeleteFormObject(KelPdfCompFormObject *form);
int KelPdfTron_PrintDocumentBuffer(HDC hdc, HANDLE hPrinter, LPCSTR printerName, int paperSource,
                                   LPCSTR documentName, const BYTE *data, DWORD length, int page,
                                   int copies, LPCSTR options, int headingType, int footingType,
                                   LPCSTR heading, LPCSTR footing);
int KelPdfTron_Normalize(LPCSTR path, int flags, LPSTR errorText);
int KelPdfTron_Concatenate(LPCSTR output, LPCSTR folder, LPCSTR prefix, LPCSTR baseName, int count,
                           LPSTR errorText);
int KelPdfTron_Separate(LPCSTR path, LPSTR errorText);

/* ---- PDF converter printer ---- */

/* Loads "<system folder>\cdintf550.dll" (again, at every printer open) and
 * logs "LoadAmyuniDLL SUCCESS" or "LoadAmyuniDLL FAILED".  1 or 0. */
int KelLoadAmyuni(NovarcprintProcess *s);
void KelUnloadAmyuni(void);
bool KelAmyuniLoaded(void);

/* Runs the converter's installer for `printerName`, silently, and waits
 * for it (at most 120 s).  Its exit code (0 installed), -1 when it could
 * not be started or did not finish. */
int KelAmyuni_RunInstaller(LPCSTR printerName);

HANDLE KelAmyuni_DriverInit(LPCSTR printerName);
BOOL KelAmyuni_DriverEnd(HANDLE hConverter);
HDC KelAmyuni_CDICreateDC(HANDLE hConverter);
LONG KelAmyuni_GetLastErrorMsg(LPSTR text, LONG size);
LONG KelAmyuni_Lock(HANDLE hConverter, LPCSTR documentName);
BOOL KelAmyuni_SetDefaultDirectory(HANDLE hConverter, LPCSTR folder);
BOOL KelAmyuni_SetDefaultFileName(HANDLE hConverter, LPCSTR fileName);
BOOL KelAmyuni_SetDocFileProps(HANDLE hConverter, LPCSTR documentName, LONG fileOptions,
                               LPCSTR folder, LPCSTR fileName);
BOOL KelAmyuni_SetFileNameOptions(HANDLE hConverter, LONG fileOptions);
BOOL KelAmyuni_SetResolution(HANDLE hConverter, LONG dpi);
BOOL KelAmyuni_SetImageOptions(HANDLE hConverter, LONG imageOptions);
BOOL KelAmyuni_SetJPEGCompression(HANDLE hConverter, BOOL compress);
BOOL KelAmyuni_SetJPegLevel(HANDLE hConverter, LONG level);
BOOL KelAmyuni_SetDefaultConfigEx(HANDLE hConverter);
LONG KelAmyuni_GetPaperSize(HANDLE hConverter);
BOOL KelAmyuni_SetPaperSize(HANDLE hConverter, LONG paperSize);
LONG KelAmyuni_GetPaperLength(HANDLE hConverter);
BOOL KelAmyuni_SetPaperLength(HANDLE hConverter, LONG length);
LONG KelAmyuni_GetPaperWidth(HANDLE hConverter);
BOOL KelAmyuni_SetPaperWidth(HANDLE hConverter, LONG width);
LONG KelAmyuni_GetHorizontalMargin(HANDLE hConverter);
BOOL KelAmyuni_SetHorizontalMargin(HANDLE hConverter, LONG margin);
LONG KelAmyuni_GetVerticalMargin(HANDLE hConverter);
BOOL KelAmyuni_SetVerticalMargin(HANDLE hConverter, LONG margin);
BOOL KelAmyuni_SetScalingOption(HANDLE hConverter, LONG option);
BOOL KelAmyuni_SetScalingPaperSize(HANDLE hConverter, LONG paperSize);
BOOL KelAmyuni_PrintPDFDocument(LPCSTR fileName, LPCSTR printerName, LONG firstPage, LONG lastPage,
                                LONG copies);

#endif
