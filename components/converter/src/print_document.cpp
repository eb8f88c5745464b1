/*
 * PrintPDFDocument: a PDF file printed on a printer by name, with the PDF
 * engine's drawing (linked in, so it works where the engine's DLL is not
 * installed, which is when the client calls it).
 */
#include "pdf_draw.h"
#include "pdf_files.h"

#include <cdintf550.h>

CDINTF_API BOOL WINAPI PrintPDFDocument(LPCSTR fileName, LPCSTR printerName, LONG firstPage,
                                        LONG lastPage, LONG copies)
{
    std::string pdf, error;
    if (!fileName || !printerName || !pdfshared::ReadWholeFile(fileName, &pdf, &error))
        return FALSE;
    HDC dc = CreateDCA(nullptr, printerName, nullptr, nullptr);
    if (!dc)
        return FALSE;
    std::string name = fileName;
    std::size_t slash = name.find_last_of("\\/");
    if (slash != std::string::npos)
        name.erase(0, slash + 1);
    DOCINFOA info = {sizeof(DOCINFOA), name.c_str(), nullptr, nullptr, 0};
    int printed = 0;
    if (StartDocA(dc, &info) > 0) {
        pdfshared::PrintRequest request;
        request.hdc = dc;
        request.firstPage = firstPage;
        request.lastPage = lastPage;
        request.copies = copies;
        printed = pdfshared::PrintPdf(pdf, request, &error);
        if (printed > 0 && EndDoc(dc) <= 0)
            printed = 0;
        else if (printed == 0)
            AbortDoc(dc);
    }
    DeleteDC(dc);
    return printed > 0;
}
