/*
 * The bindings to the office library "KelWord.dll" (system folder) and the
 * ECG library "KelEcg.dll" ("c:\novarc\bin\ecg").  Both are loaded for each
 * use and unloaded after it; each function is looked up by name at the
 * call, with its signature from the component's header.  A library that
 * does not load makes the call return 0 (the ECG call false); a function
 * missing from a loaded library posts a quit message and returns 0.
 */
#ifndef NOVARCPRINT_OFFICE_BIND_H
#define NOVARCPRINT_OFFICE_BIND_H

#include <winsock2.h> /* before windows.h, which would bring the old winsock.h */
#include <windows.h>

#include <kelword.h>

#define KELECG_FOLDER "c:\\novarc\\bin\\ecg"
#define ECG_KIND_HOLTER 4

/* `WordInstalled` or `ExcelInstalled` (szFunction); szMessage holds
 * KELWORD_MESSAGE_SIZE characters.  0 when the library is missing. */
int KelWordInstalled(const char *szFunction, char *szMessage);
/* `PrintWordDocument`, `PrintExcelDocument` or `PrintAcrobatDocument`. */
int KelWordPrint(const char *szFunction, const char *szPrinter, const char *szPath,
                 const char *szText1, const char *szText2, char *szMessage);
/* One report through the ECG library: the Holter functions for kind 4,
 * the ERC ones for any other.  False when the library did not load. */
bool KelEcgPrintReport(int iKind, const char *szPrinter, const char *szPath);

#endif /* NOVARCPRINT_OFFICE_BIND_H */
