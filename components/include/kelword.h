/*
 * The office library "KelWord.dll": prints Word, Excel and PDF files on a
 * printer by name through the workstation's office program.  Loaded from
 * the system folder for each use and unloaded after it; every function is
 * looked up by name at each call.  Shared by the component and the print
 * client's binding; Windows types only.
 */
#ifndef COMPONENTS_KELWORD_H
#define COMPONENTS_KELWORD_H

#include <winsock2.h> /* before windows.h, which would bring the old winsock.h */
#include <windows.h>

/* Every message text buffer holds this many characters with its NUL. */
#define KELWORD_MESSAGE_SIZE 1024

#ifndef KELWORD_API
#define KELWORD_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Non-zero when the office program for that kind of file is installed;
 * szMessage (KELWORD_MESSAGE_SIZE) says which program, or why not. */
KELWORD_API int WINAPI WordInstalled(char *szMessage);
KELWORD_API int WINAPI ExcelInstalled(char *szMessage);

/* Prints the file (a Windows path) on the printer; the two texts are
 * passed through unchanged ("-1" when the caller has none).  Non-zero on
 * success; on failure szMessage says why. */
KELWORD_API int WINAPI PrintWordDocument(const char *szPrinter, const char *szPath,
                                         const char *szText1, const char *szText2, char *szMessage);
KELWORD_API int WINAPI PrintExcelDocument(const char *szPrinter, const char *szPath,
                                          const char *szText1, const char *szText2,
                                          char *szMessage);
KELWORD_API int WINAPI PrintAcrobatDocument(const char *szPrinter, const char *szPath,
                                            const char *szText1, const char *szText2,
                                            char *szMessage);

#ifdef __cplusplus
}
#endif

#endif /* COMPONENTS_KELWORD_H */
