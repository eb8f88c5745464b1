/*
 * Private: the printing state of a printer DC (its device, its sink, the
 * open document and page) shared by the document calls, the drawing target
 * and the record.
 */
#ifndef WINPORT_GDI_PRINT_H
#define WINPORT_GDI_PRINT_H

#include "gdi_device.h"
#include "gdi_private.h"
#include "pdf_writer.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <optional>

namespace winport::gdi {

struct PrinterState {
    PrinterState() = default;
    ~PrinterState();
    PrinterState(const PrinterState &) = delete;
    PrinterState &operator=(const PrinterState &) = delete;

    DeviceDescription device;                 /* what GetDeviceCaps answers for */
    std::optional<DeviceDescription> pending; /* a reset made while a page was open */
    std::shared_ptr<DocumentSink> sink;

    bool docOpen = false;
    /* Both read by the PDF writer's thread too. */
    std::atomic<bool> aborting{false}; /* AbortDoc: bytes cairo still writes are dropped */
    std::atomic<bool> writeFailed{false};
    std::mutex sinkLock; /* the sink hears from the writer's thread and the drawing thread */
    DocumentInfo doc;
    PageFormat format = PageFormat::Pdf;
    int pagesDone = 0;

    bool pageOpen = false;
    bool warnedBetweenPages = false; /* the error log has heard of drawing between pages */
    PageInfo page;
    cairo_surface_t *surface = nullptr; /* PDF: the document; raster: the open page */
    cairo_t *cr = nullptr;              /* in device units while a page is open */
    /* PDF: the open page is recorded, then written by the writer's thread. */
    cairo_surface_t *pageRecording = nullptr;
    double pageWidthPt = 0;
    double pageHeightPt = 0;
    std::unique_ptr<PdfWriter> writer;

    std::size_t recordStart = 0; /* first record item of the open document */
    bool autoRecord = false;     /* recording turned on by WINPORT_GDI_RECORD */
    std::string recordDir;
};

/* The caps a description gives, oriented. */
DeviceCaps capsFor(const DeviceDescription &device);
bool usableDescription(const DeviceDescription &device);
/* Applies a reset made while the page was open (EndPage). */
void applyPendingReset(DeviceContext &dc);
/* Ends an open document without output, telling the sink (DeleteDC). */
void abortDocument(DeviceContext &dc);
/* Writes the open document's record dump when WINPORT_GDI_RECORD asked. */
void writeRecordDump(DeviceContext &dc);

} // namespace winport::gdi

#endif /* WINPORT_GDI_PRINT_H */
