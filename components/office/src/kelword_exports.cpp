/*
 * "KelWord.dll", the office library: Word and Excel files printed through
 * LibreOffice, PDFs through the PDF engine's drawing, on a printer by name.
 * Installed when LibreOffice is; without it both programs say so.
 */
#define KELWORD_API extern "C" __attribute__((visibility("default")))
#include <kelword.h>

#include "office_print.h"
#include "pdf_text.h"

namespace {

int Installed(const char *what, char *szMessage)
{
    std::string program;
    const bool found = office::FindLibreOffice(&program);
    if (szMessage)
        pdfshared::CopyText(szMessage, KELWORD_MESSAGE_SIZE,
                            found ? std::string(what) + " through " + program
                                  : std::string(what) + " not installed");
    return found ? 1 : 0;
}

int Print(const char *szPrinter, const char *szPath, bool bPdf, char *szMessage)
{
    std::string error;
    int printed = office::PrintFile(szPrinter, szPath, bPdf, &error);
    if (szMessage)
        pdfshared::CopyText(szMessage, KELWORD_MESSAGE_SIZE, printed > 0 ? "" : error);
    return printed > 0 ? 1 : 0;
}

} // namespace

int WINAPI WordInstalled(char *szMessage)
{
    return Installed("Word documents", szMessage);
}

int WINAPI ExcelInstalled(char *szMessage)
{
    return Installed("Excel documents", szMessage);
}

/* The two texts belong to the office program's own maker; ours has no use
 * for them. */
int WINAPI PrintWordDocument(const char *szPrinter, const char *szPath, const char *, const char *,
                             char *szMessage)
{
    return Print(szPrinter, szPath, false, szMessage);
}

int WINAPI PrintExcelDocument(const char *szPrinter, const char *szPath, const char *, const char *,
                              char *szMessage)
{
    return Print(szPrinter, szPath, false, szMessage);
}

int WINAPI PrintAcrobatDocument(const char *szPrinter, const char *szPath, const char *,
                                const char *, char *szMessage)
{
    return Print(szPrinter, szPath, true, szMessage);
}
