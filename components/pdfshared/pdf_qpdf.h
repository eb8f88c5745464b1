/*
 * Whole-document work done with qpdf, in memory: normalising, joining,
 * splitting into pages, scaling pages to a paper, storing images as JPEG.
 * Every function takes the document's bytes and returns false with a text
 * in *error when qpdf cannot read or write it; nothing here throws.
 */
#ifndef PDFSHARED_PDF_QPDF_H
#define PDFSHARED_PDF_QPDF_H

#include <string>
#include <vector>

namespace pdfshared {

/* A clean rewrite: damaged cross references rebuilt, objects renumbered,
 * unreachable objects dropped, no object streams (old readers). */
bool NormalizePdf(const std::string &in, std::string *out, std::string *error);

/* The pages of every part, in order, as one document (form fields kept). */
bool JoinPdfs(const std::vector<const std::string *> &parts, std::string *out, std::string *error);

/* One document per page. */
bool SplitPdf(const std::string &in, std::vector<std::string> *pages, std::string *error);

/* Page count, or -1 when the bytes are no readable PDF. */
int PdfPageCount(const std::string &in);

/* Every page scaled (keeping its proportions) and centred on a page of
 * widthPt x heightPt points. */
bool ScalePdfPages(const std::string &in, double widthPt, double heightPt, std::string *out,
                   std::string *error);

/* Stores 8-bit colour (color) and grey (grey) images that are not JPEG yet
 * as JPEG of the given quality (1-100) where that is smaller.  *changed
 * counts the images rewritten. */
bool JpegCompressImages(const std::string &in, int quality, bool color, bool grey, std::string *out,
                        int *changed, std::string *error);

} // namespace pdfshared

#endif
