/*
 * Printer documents: StartDocA, StartPage, EndPage, EndDoc, AbortDoc.
 *
 * A document is one cairo PDF surface streamed to the sink (vector pages,
 * device units scaled by 72/dpi to points), or, when the sink asks for
 * raster pages, one RGB24 image per page at the device resolution.  Each
 * page takes the size and orientation of the device at its StartPage, so a
 * reset between pages gives the next page another size.  Device (0, 0) is
 * the corner of the printable area, PHYSICALOFFSETX/Y inside the paper, and
 * drawing is clipped to that area as the printer would.
 */
#include "gdi_print.h"

#include <cairo-pdf.h>

#include <cstdlib>

using namespace winport::gdi;

namespace {

cairo_status_t pdfWrite(void *closure, const unsigned char *data, unsigned int length)
{
    auto *ps = static_cast<PrinterState *>(closure);
    if (ps->aborting)
        return CAIRO_STATUS_SUCCESS; /* the sink has been told to throw it away */
    std::lock_guard<std::mutex> guard(ps->sinkLock);
    if (ps->writeFailed || !ps->sink->writePdf(data, length)) {
        ps->writeFailed = true;
        return CAIRO_STATUS_WRITE_ERROR;
    }
    return CAIRO_STATUS_SUCCESS;
}

double points(int dots, int dpi)
{
    return dots * 72.0 / dpi;
}

std::string text(LPCSTR s)
{
    return s ? std::string(s) : std::string();
}

PageInfo pageFor(const DeviceDescription &d, const DeviceCaps &caps, int number)
{
    PageInfo p;
    p.number = number;
    p.width = caps.physWidth;
    p.height = caps.physHeight;
    p.dpiX = d.dpiX;
    p.dpiY = d.dpiY;
    p.orientation = d.orientation;
    p.paperSize = d.paperSize;
    p.defaultSource = d.defaultSource;
    p.mediaType = d.mediaType;
    p.paperName = d.paperName;
    p.color = d.color;
    p.duplex = d.duplex;
    p.copies = d.copies;
    p.collate = d.collate;
    return p;
}

bool openPdf(PrinterState &ps, const DeviceCaps &caps)
{
    ps.surface = cairo_pdf_surface_create_for_stream(
        pdfWrite, &ps, points(caps.physWidth, caps.dpiX), points(caps.physHeight, caps.dpiY));
    if (cairo_surface_status(ps.surface) != CAIRO_STATUS_SUCCESS)
        return false;
    cairo_pdf_surface_set_metadata(ps.surface, CAIRO_PDF_METADATA_TITLE, ps.doc.docName.c_str());
    cairo_pdf_surface_set_metadata(ps.surface, CAIRO_PDF_METADATA_CREATOR, "winport GDI");
    ps.writer = std::make_unique<PdfWriter>(ps.surface);
    return true;
}

/* Readies the page's surface and puts cr in device units, clipped to the
 * printable area. */
bool openPageSurface(PrinterState &ps, const DeviceCaps &caps)
{
    if (ps.format == PageFormat::Pdf) {
        ps.pageWidthPt = points(caps.physWidth, caps.dpiX);
        ps.pageHeightPt = points(caps.physHeight, caps.dpiY);
        cairo_rectangle_t extents = {0, 0, ps.pageWidthPt, ps.pageHeightPt};
        ps.pageRecording = cairo_recording_surface_create(CAIRO_CONTENT_COLOR_ALPHA, &extents);
        ps.cr = cairo_create(ps.pageRecording);
        if (cairo_status(ps.cr) != CAIRO_STATUS_SUCCESS) {
            cairo_destroy(ps.cr);
            cairo_surface_destroy(ps.pageRecording);
            ps.cr = nullptr;
            ps.pageRecording = nullptr;
            return false;
        }
    } else {
        if (static_cast<long long>(caps.physWidth) * caps.physHeight > (1LL << 29))
            return false;
        ps.surface =
            cairo_image_surface_create(CAIRO_FORMAT_RGB24, caps.physWidth, caps.physHeight);
        ps.cr = cairo_create(ps.surface);
        if (cairo_status(ps.cr) != CAIRO_STATUS_SUCCESS)
            return false;
        cairo_set_source_rgb(ps.cr, 1, 1, 1);
        cairo_paint(ps.cr);
        /* GDI rasterises lines and fills without antialiasing: whole device units. */
        cairo_set_antialias(ps.cr, CAIRO_ANTIALIAS_NONE);
    }
    cairo_save(ps.cr);
    if (ps.format == PageFormat::Pdf)
        cairo_scale(ps.cr, 72.0 / caps.dpiX, 72.0 / caps.dpiY);
    cairo_translate(ps.cr, caps.offsetX, caps.offsetY);
    cairo_rectangle(ps.cr, 0, 0, caps.horzRes, caps.vertRes);
    cairo_clip(ps.cr);
    return true;
}

void destroySurfaces(PrinterState &ps)
{
    if (ps.writer) {
        if (ps.aborting)
            ps.writer->Abandon();
        else
            ps.writer->Finish();
        if (ps.writer->Failed())
            ps.writeFailed = true;
        ps.writer.reset();
    }
    if (ps.cr)
        cairo_destroy(ps.cr);
    if (ps.pageRecording)
        cairo_surface_destroy(ps.pageRecording);
    ps.pageRecording = nullptr;
    if (ps.surface) {
        cairo_surface_finish(ps.surface);
        cairo_surface_destroy(ps.surface);
    }
    ps.cr = nullptr;
    ps.surface = nullptr;
}

/* Ends the open page and hands it to the sink. */
bool finishPage(DeviceContext &dc)
{
    PrinterState &ps = *dc.printer;
    cairo_restore(ps.cr);
    bool ok = true;
    if (ps.format == PageFormat::Pdf) {
        ok = cairo_status(ps.cr) == CAIRO_STATUS_SUCCESS;
        cairo_destroy(ps.cr);
        ps.cr = nullptr;
        ps.writer->Submit(ps.pageRecording, ps.pageWidthPt, ps.pageHeightPt);
        ps.pageRecording = nullptr;
        ok = ok && !ps.writer->Failed() && !ps.writeFailed;
        std::lock_guard<std::mutex> guard(ps.sinkLock);
        ok = ps.sink->endPage(ps.page, nullptr) && ok;
    } else {
        cairo_surface_flush(ps.surface);
        RasterPage raster{cairo_image_surface_get_data(ps.surface), ps.page.width, ps.page.height,
                          cairo_image_surface_get_stride(ps.surface)};
        ok = ps.sink->endPage(ps.page, &raster);
        destroySurfaces(ps);
    }
    ps.pageOpen = false;
    ps.pagesDone++;
    if (recording(dc))
        addRecord(dc,
                  RecPage{RecPage::End, ps.page.number, ps.page.width, ps.page.height, ps.page.dpiX,
                          ps.page.dpiY, ps.page.orientation == Orientation::Landscape});
    applyPendingReset(dc);
    return ok;
}

/* Closes the document; completed false tells the sink to discard it. */
bool closeDocument(DeviceContext &dc, bool completed)
{
    PrinterState &ps = *dc.printer;
    if (!completed)
        ps.aborting = true;
    destroySurfaces(ps);
    bool ok = completed && !ps.writeFailed;
    if (recording(dc))
        addRecord(dc, RecDocument{ok ? RecDocument::End : RecDocument::Abort, ps.doc.jobId,
                                  ps.doc.docName, ps.doc.output, ps.pagesDone});
    bool sinkOk = ps.sink->endDocument(ps.doc, ps.pagesDone, ok);
    writeRecordDump(dc);
    ps.docOpen = false;
    ps.pageOpen = false;
    ps.aborting = false;
    applyPendingReset(dc);
    if (!ok && completed)
        SetLastError(ERROR_WRITE_FAULT);
    return ok && sinkOk;
}

PrinterState *printerOf(HDC hdc, bool needDocument)
{
    DeviceContext *dc = dcFromHandle(hdc);
    if (!dc)
        return nullptr;
    if (!dc->printer) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    if (needDocument && !dc->printer->docOpen) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    return dc->printer.get();
}

void startRecordingFromEnvironment(DeviceContext &dc)
{
    const char *dir = std::getenv("WINPORT_GDI_RECORD");
    PrinterState &ps = *dc.printer;
    ps.recordDir = dir ? dir : "";
    if (!ps.recordDir.empty() && !recording(dc)) {
        dc.record = std::make_unique<std::vector<RecordItem>>();
        ps.autoRecord = true;
    }
    ps.recordStart = recording(dc) ? dc.record->size() : 0;
}

} // namespace

namespace winport::gdi {

void abortDocument(DeviceContext &dc)
{
    closeDocument(dc, false);
}

} // namespace winport::gdi

/***********************************************************************
 *           StartDocA
 * Returns the sink's job id.  SP_ERROR with ERROR_INVALID_HANDLE for a DC
 * that is not a printer DC, ERROR_INVALID_PARAMETER for a missing DOCINFOA
 * or a document already open, or the sink's own error.
 */
int WINAPI StartDocA(HDC hdc, const DOCINFOA *lpdi)
{
    GdiGuard guard(gdiLock());
    PrinterState *ps = printerOf(hdc, false);
    if (!ps)
        return SP_ERROR;
    if (!lpdi || ps->docOpen) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return SP_ERROR;
    }
    DeviceContext &dc = *dcFromHandle(hdc);
    DocumentInfo doc{0,
                     text(lpdi->lpszDocName),
                     text(lpdi->lpszOutput),
                     text(lpdi->lpszDatatype),
                     lpdi->fwType,
                     ps->device.deviceName};
    DWORD saved = GetLastError();
    SetLastError(ERROR_SUCCESS);
    int job = ps->sink->beginDocument(doc);
    if (job <= 0) {
        if (GetLastError() == ERROR_SUCCESS)
            SetLastError(ERROR_GEN_FAILURE);
        return SP_ERROR;
    }
    SetLastError(saved);
    doc.jobId = job;
    ps->doc = doc;
    ps->format = ps->sink->format();
    ps->pagesDone = 0;
    ps->writeFailed = false;
    ps->aborting = false;
    if (ps->format == PageFormat::Pdf && !openPdf(*ps, dc.caps)) {
        ps->aborting = true;
        destroySurfaces(*ps);
        ps->sink->endDocument(ps->doc, 0, false);
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return SP_ERROR;
    }
    ps->docOpen = true;
    startRecordingFromEnvironment(dc);
    if (recording(dc))
        addRecord(dc, RecDocument{RecDocument::Start, job, doc.docName, doc.output, 0});
    return job;
}

/***********************************************************************
 *           StartPage
 * With a page already open it succeeds and drawing goes on on that page
 * (an overlay drawn by a second renderer lands on the same sheet).
 */
int WINAPI StartPage(HDC hdc)
{
    GdiGuard guard(gdiLock());
    PrinterState *ps = printerOf(hdc, true);
    if (!ps)
        return SP_ERROR;
    if (ps->pageOpen)
        return 1;
    DeviceContext &dc = *dcFromHandle(hdc);
    ps->page = pageFor(ps->device, dc.caps, ps->pagesDone + 1);
    if (!openPageSurface(*ps, dc.caps)) {
        if (ps->format == PageFormat::Raster)
            destroySurfaces(*ps);
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return SP_ERROR;
    }
    ps->pageOpen = true;
    ps->warnedBetweenPages = false;
    {
        std::lock_guard<std::mutex> sinkGuard(ps->sinkLock);
        ps->sink->beginPage(ps->page);
    }
    if (recording(dc))
        addRecord(dc, RecPage{RecPage::Start, ps->page.number, ps->page.width, ps->page.height,
                              ps->page.dpiX, ps->page.dpiY,
                              ps->page.orientation == Orientation::Landscape});
    return 1;
}

/***********************************************************************
 *           EndPage
 * Without an open page it succeeds and does nothing.  SP_ERROR when the
 * page could not be delivered (the sink's error, or ERROR_WRITE_FAULT).
 */
int WINAPI EndPage(HDC hdc)
{
    GdiGuard guard(gdiLock());
    PrinterState *ps = printerOf(hdc, true);
    if (!ps)
        return SP_ERROR;
    if (!ps->pageOpen)
        return 1;
    if (!finishPage(*dcFromHandle(hdc))) {
        if (ps->writeFailed)
            SetLastError(ERROR_WRITE_FAULT);
        return SP_ERROR;
    }
    return 1;
}

/***********************************************************************
 *           EndDoc
 * A page still open is ended first, so its drawing is not lost.
 */
int WINAPI EndDoc(HDC hdc)
{
    GdiGuard guard(gdiLock());
    PrinterState *ps = printerOf(hdc, true);
    if (!ps)
        return SP_ERROR;
    DeviceContext &dc = *dcFromHandle(hdc);
    bool pageOk = !ps->pageOpen || finishPage(dc);
    bool docOk = closeDocument(dc, true);
    return pageOk && docOk ? 1 : SP_ERROR;
}

/***********************************************************************
 *           AbortDoc
 * Ends the document without output; the sink discards what it received.
 */
int WINAPI AbortDoc(HDC hdc)
{
    GdiGuard guard(gdiLock());
    PrinterState *ps = printerOf(hdc, true);
    if (!ps)
        return SP_ERROR;
    abortDocument(*dcFromHandle(hdc));
    return 1;
}
