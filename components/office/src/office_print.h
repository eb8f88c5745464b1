/*
 * Office files and PDFs printed on a winport printer by name: LibreOffice,
 * started headless with a profile of its own for each run, turns the
 * office file into a PDF; the PDF is fitted to the printer's paper and
 * drawn by the PDF engine's drawing onto a document of the printer.
 * Shared by the "soffice.exe" program and the office library.
 */
#ifndef OFFICE_PRINT_H
#define OFFICE_PRINT_H

#include <string>

namespace office {

/* The LibreOffice program on the PATH ("soffice"), or false. */
bool FindLibreOffice(std::string *program);

/* Prints the file (a Windows path) on the printer: an office file through
 * LibreOffice, a PDF (bPdf) as it is.  Returns the pages printed; 0 with
 * *error set. */
int PrintFile(const char *szPrinter, const char *szPath, bool bPdf, std::string *error);

} // namespace office

#endif /* OFFICE_PRINT_H */
