/*
 * The converter printers' port monitor: every document ended on a
 * converter printer, by this client's DC or by another program printing on
 * the printer by name, arrives here as a finished PDF and is written as
 * the printer's settings say: to the file set (or the folder, under the
 * document's name), appended to it when concatenating, scaled to the
 * scaling paper, its images stored as JPEG when asked.
 */
#include "converter_settings.h"

#include "pdf_files.h"
#include "pdf_qpdf.h"

#include <winport_gdi_ext.h>

#include <cstdio>

namespace {

/* The spool file is a POSIX path (winport_gdi_ext.h). */
bool ReadSpoolFile(const char *path, std::string *bytes)
{
    std::FILE *file = std::fopen(path, "rb");
    if (!file)
        return false;
    char buf[65536];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, file)) > 0 &&
           bytes->size() <= pdfshared::kMaxPdfBytes)
        bytes->append(buf, n);
    bool ok = !std::ferror(file) && bytes->size() <= pdfshared::kMaxPdfBytes;
    std::fclose(file);
    return ok;
}

/* The document as the settings want it written, before appending. */
bool Shape(const converter::Settings &s, std::string *pdf, std::string *error)
{
    if (s.scaling == CDINTF_SCALE_TO_PAPER) {
        int width = s.paperWidth, length = s.paperLength;
        converter::KnownPaper(s.scalingPaper, &width, &length);
        std::string scaled;
        if (!pdfshared::ScalePdfPages(*pdf, width * 72.0 / 254, length * 72.0 / 254, &scaled,
                                      error))
            return false;
        pdf->swap(scaled);
    }
    if (s.jpeg && (s.imageOptions & (CDINTF_JPEG_COLOR | CDINTF_JPEG_GREY))) {
        std::string compressed;
        int changed = 0;
        if (!pdfshared::JpegCompressImages(
                *pdf, 10 + 10 * s.jpegLevel, s.imageOptions & CDINTF_JPEG_COLOR,
                s.imageOptions & CDINTF_JPEG_GREY, &compressed, &changed, error))
            return false;
        if (changed)
            pdf->swap(compressed);
    }
    return true;
}

} // namespace

/* WinportPortDeliver: writes one finished document of a converter printer. */
extern "C" __attribute__((visibility("default"))) DWORD WINAPI
WinportPortDeliver(const WINPORT_PORT_DOCUMENT *doc)
{
    if (!doc || doc->cbSize < sizeof *doc || !doc->pPrinterName || !doc->pSpoolFile)
        return ERROR_INVALID_PARAMETER;
    if (doc->dwKind != WINPORT_DOC_PDF)
        return ERROR_NOT_SUPPORTED; /* raw bytes are no document for a PDF printer */
    std::string error;
    if (!converter::IsConverterPrinter(doc->pPrinterName, &error))
        return ERROR_INVALID_PRINTER_NAME;
    const converter::Settings settings = converter::LoadSettings(doc->pPrinterName);
    const std::string output =
        converter::OutputPath(settings, doc->pDocumentName ? doc->pDocumentName : "");
    std::string pdf;
    if (!ReadSpoolFile(doc->pSpoolFile, &pdf))
        return ERROR_READ_FAULT;
    if (!Shape(settings, &pdf, &error))
        return ERROR_INVALID_DATA;
    const bool append =
        (settings.fileOptions & CDINTF_CONCATENATE) && pdfshared::FileExists(output);
    /* A document ended without a page adds nothing to the file: appended,
     * it would be a blank page in the middle of the job. */
    if (append && doc->dwPages == 0)
        return 0;
    if (append) {
        std::string existing, joined;
        if (!pdfshared::ReadWholeFile(output, &existing, &error))
            return ERROR_READ_FAULT;
        if (!pdfshared::JoinPdfs({&existing, &pdf}, &joined, &error))
            return ERROR_INVALID_DATA;
        pdf.swap(joined);
    }
    if (!pdfshared::ReplaceFile(output, pdf, &error)) {
        DWORD err = GetLastError();
        return err ? err : ERROR_WRITE_FAULT;
    }
    return 0;
}
