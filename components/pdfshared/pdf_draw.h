/*
 * Printing a PDF onto a printer DC: each page of the range becomes a page
 * of the DC's open document, drawn by poppler onto the DC's cairo context
 * as vectors (text stays text), or rasterised at the DC's resolution.
 * Shared by the PDF engine and the converter's PrintPDFDocument.
 */
#ifndef PDFSHARED_PDF_DRAW_H
#define PDFSHARED_PDF_DRAW_H

#include <windows.h>

#include <climits>
#include <string>

namespace pdfshared {

/* A heading or footing: a line of text in a band above or below the page.
 * Types as KELPDF_BAND_* in kelpdftron.h; text in Windows-1252. */
struct Band {
    int type = 0;
    std::string text;
};

struct PrintRequest {
    HDC hdc = nullptr;
    int paperSource = -1; /* DMBIN_* from the first page on; -1 keeps the DC's */
    int firstPage = 1;    /* 1 up, inclusive; clamped to the document */
    int lastPage = INT_MAX;
    int copies = 1;
    bool rasterize = false;
    Band heading;
    Band footing;
};

/* Prints the PDF held in `bytes`.  Returns the pages printed; 0 with
 * *error set when the PDF cannot be read, the range holds no page, or the
 * DC refuses a page. */
int PrintPdf(const std::string &bytes, const PrintRequest &request, std::string *error);

} // namespace pdfshared

#endif
