/*
 * The table of special printers.  Rows are tried in order: the fax server
 * by its whole name, the others by a part of it.
 */
#include <cstring>

#include "shared_printers.h"

namespace {

// clang-format off
const SpecialPrinter kSpecialPrinters[LOCK_COUNT] = {
    {LOCK_FAX, "VSIFAX Server", true, false, "NOVARC_VSIFAX_MUTEX", 0, "hVsiFaxMutex",
     "OpenNovarcPrinter CreateMutex(VSIFAX_MUTEX) FAILED"},
    {LOCK_COMPIMAGE, "CompImage", false, false, NULL, 3000, "hCompImageMutex",
     "OpenNovarcPrinter CreateMutex(CompImage_MUTEX) FAILED"},
    {LOCK_NOVARCPDF, "NovarcPDF", false, true, NULL, 3000, "hNovarcPDFMutex",
     "OpenNovarcPrinter CreateMutex(NOVARCPDF_MUTEX) FAILED"},
    {LOCK_MOBILEPDF, "NovarcMobilePDF", false, true, NULL, 3000, "hNovarcMobilePDFMutex",
     "OpenNovarcPrinter CreateMutex(NOVARCMOBILEPDF_MUTEX) FAILED"},
    {LOCK_PRINTPDF, "NovarcPrintPDF", false, true, NULL, 3000, "hNovarcPrintPDFMutex",
     "OpenNovarcPrinter CreateMutex(NOVARCPRINTPDF_MUTEX) FAILED"},
};
// clang-format on

} // namespace

const SpecialPrinter *FindSpecialPrinter(const char *szPrinterName)
{
    for (const SpecialPrinter &row : kSpecialPrinters) {
        const bool bMatch = row.bWholeName ? strcmp(szPrinterName, row.szName) == 0
                                           : strstr(szPrinterName, row.szName) != NULL;
        if (bMatch)
            return &row;
    }
    return NULL;
}

const SpecialPrinter &SpecialPrinterOf(SpecialLock lock)
{
    return kSpecialPrinters[lock];
}
