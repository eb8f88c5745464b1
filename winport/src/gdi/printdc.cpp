/*
 * The printer seam: printer DCs made from a device description and a
 * document sink, device changes between pages (what ResetDCA does), and
 * PdfFileSink, the simplest sink.  See gdi_device.h for the contract with
 * the spooler.
 */
#include "gdi_print.h"

#include <cerrno>
#include <cstdio>

namespace winport::gdi {

namespace {

constexpr int kMaxDpi = 9600;
constexpr int kMaxDots = 1 << 20;

/* Applies a description to the DC's caps; the fonts realised for the old
 * device (device fonts, default heights) no longer apply. */
void applyDevice(DeviceContext &dc, const DeviceDescription &device)
{
    dc.printer->device = device;
    dc.caps = capsFor(device);
    dc.realized.reset();
}

} // namespace

PrinterState::~PrinterState()
{
    writer.reset(); /* its thread uses the surface */
    if (pageRecording)
        cairo_surface_destroy(pageRecording);
    if (cr)
        cairo_destroy(cr);
    if (surface)
        cairo_surface_destroy(surface);
}

DeviceCaps capsFor(const DeviceDescription &d)
{
    DeviceCaps c;
    c.dpiX = d.dpiX;
    c.dpiY = d.dpiY;
    c.technology = DT_RASPRINTER;
    c.bitsPixel = d.color ? 24 : 1;
    int left = d.marginLeft, top = d.marginTop, right = d.marginRight, bottom = d.marginBottom;
    c.physWidth = d.paperWidth;
    c.physHeight = d.paperHeight;
    if (d.orientation == Orientation::Landscape) {
        /* The portrait page turned a quarter counter-clockwise. */
        c.physWidth = d.paperHeight;
        c.physHeight = d.paperWidth;
        left = d.marginTop;
        top = d.marginRight;
        right = d.marginBottom;
        bottom = d.marginLeft;
    }
    c.offsetX = left;
    c.offsetY = top;
    c.horzRes = c.physWidth - left - right;
    c.vertRes = c.physHeight - top - bottom;
    return c;
}

bool usableDescription(const DeviceDescription &d)
{
    if (d.dpiX <= 0 || d.dpiY <= 0 || d.dpiX > kMaxDpi || d.dpiY > kMaxDpi)
        return false;
    if (d.paperWidth <= 0 || d.paperHeight <= 0 || d.paperWidth > kMaxDots ||
        d.paperHeight > kMaxDots)
        return false;
    if (d.marginLeft < 0 || d.marginTop < 0 || d.marginRight < 0 || d.marginBottom < 0)
        return false;
    return d.marginLeft + d.marginRight < d.paperWidth &&
           d.marginTop + d.marginBottom < d.paperHeight;
}

HDC CreatePrinterDC(const DeviceDescription &device, std::shared_ptr<DocumentSink> sink)
{
    GdiGuard guard(gdiLock());
    if (!sink || !usableDescription(device)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    DeviceContext *dc = newDeviceContext(DcKind::Printer, capsFor(device));
    if (!dc)
        return nullptr;
    dc->printer = std::make_unique<PrinterState>();
    dc->printer->sink = std::move(sink);
    applyDevice(*dc, device);
    return static_cast<HDC>(dc->handle);
}

BOOL ResetPrinterDC(HDC hdc, const DeviceDescription &device)
{
    GdiGuard guard(gdiLock());
    auto *dc = findAs<DeviceContext>(hdc, ObjType::DC);
    if (!dc || !dc->printer) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (!usableDescription(device)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (dc->printer->pageOpen)
        dc->printer->pending = device;
    else
        applyDevice(*dc, device);
    return TRUE;
}

/* Called when a page ends: a reset made during the page now applies. */
void applyPendingReset(DeviceContext &dc)
{
    if (dc.printer->pending) {
        DeviceDescription next = std::move(*dc.printer->pending);
        dc.printer->pending.reset();
        applyDevice(dc, next);
    }
}

BOOL GetPrinterDevice(HDC hdc, DeviceDescription *device)
{
    GdiGuard guard(gdiLock());
    auto *dc = findAs<DeviceContext>(hdc, ObjType::DC);
    if (!dc || !dc->printer) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (!device) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    *device = dc->printer->pending ? *dc->printer->pending : dc->printer->device;
    return TRUE;
}

std::shared_ptr<DocumentSink> GetPrinterSink(HDC hdc)
{
    GdiGuard guard(gdiLock());
    auto *dc = findAs<DeviceContext>(hdc, ObjType::DC);
    return dc && dc->printer ? dc->printer->sink : nullptr;
}

/* PdfFileSink writes to "<path>.part" and renames it over <path> only when
 * the document completed, so a reader never sees half a document and an
 * aborted or failed one leaves the previous file (or none) in place. */
PdfFileSink::PdfFileSink(std::string path) : path_(std::move(path)), partPath_(path_ + ".part") {}

PdfFileSink::~PdfFileSink()
{
    if (file_) {
        std::fclose(file_);
        std::remove(partPath_.c_str());
    }
}

int PdfFileSink::beginDocument(const DocumentInfo &doc)
{
    (void)doc;
    if (file_) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    file_ = std::fopen(partPath_.c_str(), "wb");
    if (!file_) {
        SetLastError(errno == ENOENT ? ERROR_PATH_NOT_FOUND : ERROR_ACCESS_DENIED);
        return 0;
    }
    failed_ = false;
    return nextJob_++;
}

bool PdfFileSink::writePdf(const unsigned char *data, std::size_t size)
{
    if (!file_ || failed_)
        return false;
    if (std::fwrite(data, 1, size, file_) != size)
        failed_ = true;
    return !failed_;
}

bool PdfFileSink::endDocument(const DocumentInfo &doc, int pages, bool completed)
{
    (void)doc;
    (void)pages;
    if (!file_)
        return false;
    bool ok = std::fclose(file_) == 0 && !failed_ && completed;
    file_ = nullptr;
    if (ok && std::rename(partPath_.c_str(), path_.c_str()) != 0)
        ok = false;
    if (!ok) {
        std::remove(partPath_.c_str());
        if (completed)
            SetLastError(ERROR_WRITE_FAULT);
    }
    return ok || !completed;
}

} // namespace winport::gdi
