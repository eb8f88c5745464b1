/*
 * The printer seam: how the spooler makes a printer device context and where
 * its pages go.  Private to libwinport; the spooler builds CreateDCA,
 * ResetDCA and DocumentPropertiesA on it.
 *
 * The spooler turns a printer (registry entry, DEVMODEA) into a
 * DeviceDescription and supplies a DocumentSink.  GDI owns everything between
 * StartDocA and EndDoc: it renders pages (vector PDF by default, raster
 * pages when the sink asks) and hands the bytes or images to the sink; the
 * sink decides where a document goes (folder, file, CUPS queue) and assigns
 * job ids.
 *
 * Thread safety: every function here may be called from any thread; GDI
 * serialises them with its own lock.  Sink callbacks run on the thread that
 * called the GDI function, with that lock held: a sink may call back into
 * GDI (the lock is recursive) but must not wait for another thread that does.
 */
#ifndef WINPORT_GDI_DEVICE_H
#define WINPORT_GDI_DEVICE_H

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace winport::gdi {

enum class Orientation { Portrait, Landscape };

/* A printer-resident font: listed first by EnumFontFamiliesExA on the
 * printer's DC and drawn with an installed family standing in for it. */
struct DeviceFont {
    std::string faceName;                 /* as the printer calls it: "Utility 10cpi" */
    std::string drawWith = "Courier New"; /* installed (or substituted) family that draws it */
    double charsPerInch = 0;              /* > 0: fixed pitch, every advance dpiX / cpi */
    int pointSize = 12;                   /* natural size, used when lfHeight is 0 */
    BYTE pitchAndFamily = FIXED_PITCH | FF_MODERN;
};

/* What a printer looks like to GDI.  Sizes are device units (dots) of the
 * paper held in portrait; GDI turns them for landscape, rotating the paper
 * 90 degrees counter-clockwise as Windows drivers do (the portrait's top
 * margin becomes the landscape's left margin). */
struct DeviceDescription {
    std::string deviceName; /* printer name, for the record */
    int dpiX = 600;         /* LOGPIXELSX */
    int dpiY = 600;         /* LOGPIXELSY */
    int paperWidth = 5100;  /* PHYSICALWIDTH in portrait (US Letter at 600 dpi) */
    int paperHeight = 6600; /* PHYSICALHEIGHT in portrait */
    int marginLeft = 0;     /* unprintable margins in portrait */
    int marginTop = 0;
    int marginRight = 0;
    int marginBottom = 0;
    Orientation orientation = Orientation::Portrait;
    bool color = true; /* false: BITSPIXEL 1, colours drawn as greys */
    std::vector<DeviceFont> deviceFonts;

    /* The spooler's own page attributes, carried untouched to the sink with
     * every page so that a queue can pick media and tray per page. */
    int paperSize = 0;     /* DMPAPER_* */
    int defaultSource = 0; /* DMBIN_* or a driver bin number */
    int mediaType = 0;     /* DMMEDIA_* */
    std::string paperName;
    int duplex = 0; /* DMDUP_*, 0 when the device mode does not say */
    int copies = 1;
    bool collate = false;
};

/* One page as it was rendered. */
struct PageInfo {
    int number = 0; /* 1-based within the document */
    int width = 0;  /* physical size in device units, as oriented */
    int height = 0;
    int dpiX = 0;
    int dpiY = 0;
    Orientation orientation = Orientation::Portrait;
    int paperSize = 0;
    int defaultSource = 0;
    int mediaType = 0;
    std::string paperName;
    bool color = true; /* the device's colour at this page */
    int duplex = 0;
    int copies = 1;
    bool collate = false;
};

/* StartDocA's DOCINFOA, copied, with the job id the sink gave. */
struct DocumentInfo {
    int jobId = 0;
    std::string docName;
    std::string output; /* lpszOutput: print to this file when not empty */
    std::string datatype;
    DWORD fwType = 0;
    std::string deviceName;
};

/* A finished raster page: rows of 32-bit pixels, B, G, R, unused in memory
 * order (cairo's RGB24), top row first, the whole physical page. */
struct RasterPage {
    const std::uint8_t *data = nullptr;
    int width = 0;
    int height = 0;
    int stride = 0;
};

enum class PageFormat {
    Pdf,    /* one vector PDF per document, streamed through writePdf */
    Raster, /* one image per page at device resolution, through endPage */
};

/* Where a printer DC's documents go.  Held by the DC (shared, so the spooler
 * may keep its own reference to count jobs). */
class DocumentSink {
public:
    virtual ~DocumentSink() = default;

    /* Asked once per document, at StartDocA. */
    virtual PageFormat format() const { return PageFormat::Pdf; }

    /* StartDocA: returns the job id (> 0), or <= 0 after SetLastError to
     * make StartDocA fail with SP_ERROR. */
    virtual int beginDocument(const DocumentInfo &doc) = 0;

    /* Pdf format: the document's bytes as cairo produces them, in order,
     * possibly long before EndDoc.  Returning false fails the document
     * (EndDoc then reports SP_ERROR). */
    virtual bool writePdf(const unsigned char *data, std::size_t size)
    {
        (void)data;
        (void)size;
        return true;
    }

    /* StartPage, with the page's size and the spooler's page attributes. */
    virtual void beginPage(const PageInfo &page) { (void)page; }

    /* EndPage; raster is set for the Raster format only and is valid only
     * during the call.  Returning false makes EndPage fail (SP_ERROR). */
    virtual bool endPage(const PageInfo &page, const RasterPage *raster)
    {
        (void)page;
        (void)raster;
        return true;
    }

    /* EndDoc (completed true) or AbortDoc / DeleteDC of an open document
     * (completed false: throw away what writePdf delivered).  Returning false
     * makes EndDoc fail (SP_ERROR); the document is closed either way. */
    virtual bool endDocument(const DocumentInfo &doc, int pages, bool completed) = 0;
};

/* A sink that writes each document's PDF to one file (replaced per
 * document) and numbers jobs from 1.  For tests, tools and the spooler's
 * file ports.  A failed document leaves no file. */
class PdfFileSink : public DocumentSink {
public:
    explicit PdfFileSink(std::string path);
    ~PdfFileSink() override;
    int beginDocument(const DocumentInfo &doc) override;
    bool writePdf(const unsigned char *data, std::size_t size) override;
    bool endDocument(const DocumentInfo &doc, int pages, bool completed) override;
    const std::string &path() const { return path_; }

private:
    std::string path_;
    std::string partPath_;
    std::FILE *file_ = nullptr;
    bool failed_ = false;
    int nextJob_ = 1;
};

/* Makes a printer DC (DT_RASPRINTER) for the device, drawing into documents
 * handed to the sink.  Returns NULL with ERROR_INVALID_PARAMETER when the
 * description is unusable (resolution or paper not positive, margins that
 * leave no printable area, no sink). */
HDC CreatePrinterDC(const DeviceDescription &device, std::shared_ptr<DocumentSink> sink);

/* Changes the device of a printer DC, as ResetDCA does: between pages it
 * applies at once (GetDeviceCaps answers for it, the next page takes its
 * size and orientation); while a page is open it is kept and applied when
 * that page ends, so a page never changes size under its drawing.  Returns
 * FALSE with ERROR_INVALID_HANDLE for anything but a printer DC and
 * ERROR_INVALID_PARAMETER for an unusable description. */
BOOL ResetPrinterDC(HDC hdc, const DeviceDescription &device);

/* The description a printer DC now draws with (pending resets included).
 * FALSE with ERROR_INVALID_HANDLE when hdc is not a printer DC. */
BOOL GetPrinterDevice(HDC hdc, DeviceDescription *device);

/* The sink of a printer DC, or null. */
std::shared_ptr<DocumentSink> GetPrinterSink(HDC hdc);

/* Font substitutes, what HKLM\SOFTWARE\Microsoft\Windows NT\CurrentVersion\
 * FontSubstitutes holds on Windows: from now on windowsName is drawn by
 * target, a Windows name GDI knows ("Arial") or an installed family
 * ("Liberation Sans"), tried before the built-in choices for that name.
 * FALSE with ERROR_INVALID_PARAMETER for an empty or over-long name. */
BOOL AddFontSubstitute(const std::string &windowsName, const std::string &target);

} // namespace winport::gdi

#endif /* WINPORT_GDI_DEVICE_H */
