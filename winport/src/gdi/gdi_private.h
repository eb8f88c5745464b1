/*
 * Private to the GDI implementation: the objects behind GDI handles, the
 * device context, the lock every exported function takes, and the drawing
 * target a DC renders into.
 *
 * GDI handles are not kernel handles: they live in their own table
 * (objects.cpp) and encode their type, so a stale or foreign handle is
 * refused with ERROR_INVALID_HANDLE instead of reaching freed memory.
 */
#ifndef WINPORT_GDI_PRIVATE_H
#define WINPORT_GDI_PRIVATE_H

#include <windows.h>

#include "gdi_record.h"

#include <cairo.h>

#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

/* Codes GDI reports that the shared winerror.h does not list yet. */
#ifndef ERROR_GEN_FAILURE
#define ERROR_GEN_FAILURE 31L
#endif
#ifndef ERROR_RESOURCE_DATA_NOT_FOUND
#define ERROR_RESOURCE_DATA_NOT_FOUND 1812L
#endif
#ifndef ERROR_RESOURCE_TYPE_NOT_FOUND
#define ERROR_RESOURCE_TYPE_NOT_FOUND 1813L
#endif
#ifndef ERROR_RESOURCE_NAME_NOT_FOUND
#define ERROR_RESOURCE_NAME_NOT_FOUND 1814L
#endif

namespace winport::gdi {

/* One lock for all of GDI.  Recursive because sinks and enumeration
 * callbacks call back into GDI on the same thread. */
std::recursive_mutex &gdiLock();
using GdiGuard = std::lock_guard<std::recursive_mutex>;

enum class ObjType : std::uint8_t { DC = 1, Pen, Brush, Font, Bitmap };

struct GdiObject {
    explicit GdiObject(ObjType t) : type(t) {}
    virtual ~GdiObject() = default;
    GdiObject(const GdiObject &) = delete;
    GdiObject &operator=(const GdiObject &) = delete;

    const ObjType type;
    HGDIOBJ handle = nullptr;
    bool stock = false;
    int selectCount = 0;        /* DCs this object is selected into */
    bool deletePending = false; /* DeleteObject while selected: freed on the last deselect */
};

struct Pen final : GdiObject {
    Pen() : GdiObject(ObjType::Pen) {}
    int style = PS_SOLID;
    int width = 0;
    COLORREF color = 0;
};

struct Brush final : GdiObject {
    Brush() : GdiObject(ObjType::Brush) {}
    UINT style = BS_SOLID;
    COLORREF color = 0;
};

struct Font final : GdiObject {
    Font() : GdiObject(ObjType::Font) {}
    LOGFONTA lf{};
};

/* A bitmap keeps its pixels in the Windows layout the program sees: DIB
 * sections as their BITMAPINFO says, device-dependent bitmaps as 1 bpp
 * (rows padded to 16 bits) or 32 bpp top-down (cairo's RGB24 layout). */
struct Bitmap final : GdiObject {
    Bitmap() : GdiObject(ObjType::Bitmap) {}
    int width = 0;
    int height = 0;
    int bpp = 32;
    bool dib = false;
    bool topDown = true;
    int stride = 0;
    BITMAPINFOHEADER info{};
    std::vector<RGBQUAD> palette;
    DWORD masks[3] = {0, 0, 0};
    std::vector<std::uint8_t> storage;
    std::uint8_t *bits() { return storage.data(); }
    const std::uint8_t *bits() const { return storage.data(); }
};

enum class DcKind { Screen, Memory, Printer };

struct DeviceCaps {
    int dpiX = 96;
    int dpiY = 96;
    int horzRes = 1920; /* printable area */
    int vertRes = 1080;
    int physWidth = 1920; /* whole page */
    int physHeight = 1080;
    int offsetX = 0; /* printable area inside the page */
    int offsetY = 0;
    int bitsPixel = 32;
    int technology = DT_RASDISPLAY;
};

struct PrinterState;
struct RealizedFont;

struct DeviceContext final : GdiObject {
    DeviceContext(); /* out of line: PrinterState is complete only in the .cpp */
    ~DeviceContext() override;

    DcKind kind = DcKind::Screen;
    bool fromGetDC = false;
    DeviceCaps caps;

    Pen *pen = nullptr;
    Brush *brush = nullptr;
    Font *font = nullptr;
    Bitmap *bitmap = nullptr; /* memory DCs */

    int mapMode = MM_TEXT;
    UINT textAlign = TA_LEFT | TA_TOP | TA_NOUPDATECP;
    int bkMode = OPAQUE;
    COLORREF bkColor = RGB(255, 255, 255);
    COLORREF textColor = RGB(0, 0, 0);
    POINT pos{0, 0};
    int stretchMode = BLACKONWHITE;

    std::shared_ptr<const RealizedFont> realized; /* the selected font on this device */
    std::unique_ptr<PrinterState> printer;        /* printer DCs only */
    std::unique_ptr<std::vector<RecordItem>> record;
};

/* --- the object table (objects.cpp) --- */

/* Enters obj in the table; NULL with ERROR_NOT_ENOUGH_MEMORY when full. */
HGDIOBJ addObject(std::unique_ptr<GdiObject> obj);
/* The live object behind h, of the given type when want is set. */
GdiObject *findObject(HGDIOBJ h);
template <class T> T *findAs(HGDIOBJ h, ObjType want)
{
    GdiObject *o = findObject(h);
    return o && o->type == want ? static_cast<T *>(o) : nullptr;
}
/* Enters a stock object: never freed, not counted as live. */
HGDIOBJ addStockObject(std::unique_ptr<GdiObject> obj);
/* Removes obj from the table and frees it. */
void destroyObject(GdiObject *obj);
/* Stock objects by GetStockObject index (NULL for unknown indexes). */
GdiObject *stockObject(int index);
/* Live non-stock objects, for leak tests. */
std::size_t liveObjectCount();

/* The DC behind hdc, or null with ERROR_INVALID_HANDLE. */
DeviceContext *dcFromHandle(HDC hdc);

/* Selection bookkeeping: counts an object in or out of a DC and frees a
 * deleted object when its last DC lets go of it. */
void noteSelected(GdiObject *obj);
void noteDeselected(GdiObject *obj);
/* Lets go of everything a DC holds (DeleteDC). */
void releaseSelections(DeviceContext &dc);

/* --- bitmaps (bitmap.cpp) --- */

/* The 1x1 monochrome bitmap a new memory DC holds. */
Bitmap *defaultBitmap();
/* GetObjectA for a bitmap: BITMAP or DIBSECTION. */
int getBitmapObject(const Bitmap &bm, int c, void *pv);
/* 32 bpp top-down bitmaps can be drawn into in place. */
bool bitmapIsRgb24(const Bitmap &bm);
/* A new RGB24 surface with the bitmap's pixels (a view of them when
 * bitmapIsRgb24).  Monochrome device-dependent bitmaps map 0 bits to
 * zeroColor and 1 bits to oneColor, as a blit to a colour DC does with its
 * text and background colours. */
cairo_surface_t *bitmapSurface(Bitmap &bm, COLORREF zeroColor, COLORREF oneColor);
/* Copies an RGB24 surface of the bitmap's size back into its pixels. */
void storeSurface(cairo_surface_t *surface, Bitmap &bm);

/* --- device contexts (dc.cpp) --- */

DeviceCaps screenCaps();
/* Makes a DC with the stock selections and enters it in the table. */
DeviceContext *newDeviceContext(DcKind kind, const DeviceCaps &caps);

/* --- drawing (target.cpp) --- */

struct Rgb {
    double r, g, b;
};
/* A COLORREF as the device shows it: greys on monochrome devices. */
Rgb deviceColor(const DeviceContext &dc, COLORREF c);
void setSourceColor(cairo_t *cr, const DeviceContext &dc, COLORREF c);

/* Where a DC's drawing lands for one call: the open page of a printer DC,
 * the selected bitmap of a memory DC (copied back when the call ends), or
 * nothing (screen DC, printer DC between pages): cr() is then null and the
 * call only updates state and the record.  Coordinates are device units. */
/* True (last error ERROR_NOT_READY, one line in the error log per gap)
 * when dc is a printer whose document is open but has no page open:
 * drawing there reaches no paper, and the call says so. */
bool failBetweenPages(DeviceContext &dc, const char *call);

class DrawTarget {
public:
    explicit DrawTarget(DeviceContext &dc);
    ~DrawTarget();
    DrawTarget(const DrawTarget &) = delete;
    DrawTarget &operator=(const DrawTarget &) = delete;
    cairo_t *cr() const { return cr_; }
    bool raster() const { return raster_; }

private:
    DeviceContext &dc_;
    cairo_t *cr_ = nullptr;
    cairo_surface_t *temp_ = nullptr;
    bool owned_ = false;
    bool raster_ = false;
};

/* --- the record (record.cpp) --- */

inline bool recording(const DeviceContext &dc)
{
    return dc.record != nullptr;
}
void addRecord(DeviceContext &dc, RecordItem item);
/* Page number for record items: the open page of a printer DC, else 0. */
int currentPage(const DeviceContext &dc);
RecPen recPen(const Pen *pen);
RecBrush recBrush(const Brush *brush);

} // namespace winport::gdi

#endif /* WINPORT_GDI_PRIVATE_H */
