/*
 * The ECG library "KelEcg.dll": prints an ECG or Holter report from a data
 * file on a printer by name.  Loaded from "c:\novarc\bin\ecg" for each
 * report and unloaded after it; every function is looked up by name at
 * each call.  The calls set up one report and print it:
 *
 *   InitializeErc();
 *   ErcSetPrinter(printer);  SetReportDataFromFile(path);  PrintReport();
 *   (Holter: HolterSetPrinter, HolterSetReportDataFromFile, HolterPrintReport)
 *
 * Shared by the component and the print client's binding; Windows types
 * only.  Results: non-zero on success (the client does not rely on them).
 */
#ifndef COMPONENTS_KELECG_H
#define COMPONENTS_KELECG_H

#include <winsock2.h> /* before windows.h, which would bring the old winsock.h */
#include <windows.h>

#ifndef KELECG_API
#define KELECG_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

KELECG_API int WINAPI InitializeErc(void);
KELECG_API int WINAPI ErcSetPrinter(const char *szPrinter);
KELECG_API int WINAPI HolterSetPrinter(const char *szPrinter);
/* A Windows path of the data file. */
KELECG_API int WINAPI SetReportDataFromFile(const char *szPath);
KELECG_API int WINAPI HolterSetReportDataFromFile(const char *szPath);
KELECG_API int WINAPI PrintReport(void);
KELECG_API int WINAPI HolterPrintReport(void);

#ifdef __cplusplus
}
#endif

#endif /* COMPONENTS_KELECG_H */
