/*
 * GDI objects: the handle table, stock objects, selection into device
 * contexts, deletion, pens and brushes, and GetObjectA.
 *
 * A handle packs the object type (bits 28-31), a generation (bits 16-27)
 * and a slot index (bits 0-15), so a handle whose object was freed and
 * whose slot was reused no longer resolves.  Objects selected into a DC are
 * freed only when the last DC lets go of them: DeleteObject on a selected
 * pen, brush, font or bitmap succeeds and defers the free, as Windows NT
 * does, so a renderer that deletes its font before deselecting it draws on
 * with the font intact and nothing leaks.
 */
#include "gdi_private.h"

#include <cstdlib>
#include <cstring>

namespace winport::gdi {

namespace {

constexpr std::uintptr_t kIndexBits = 16;
constexpr std::uintptr_t kGenBits = 12;
constexpr std::uintptr_t kIndexMask = (1u << kIndexBits) - 1;
constexpr std::uintptr_t kGenMask = (1u << kGenBits) - 1;

struct Slot {
    std::unique_ptr<GdiObject> obj;
    std::uint16_t gen = 0;
};

struct Table {
    std::vector<Slot> slots{1}; /* slot 0 unused: no handle has index 0 */
    std::vector<std::uint32_t> freeSlots;
    std::size_t live = 0;
    std::size_t stock = 0;
};

Table &table()
{
    static Table *t = new Table; /* never destroyed: handles outlive static destructors */
    return *t;
}

HGDIOBJ makeHandle(ObjType type, std::uint32_t index, std::uint16_t gen)
{
    std::uintptr_t v = (static_cast<std::uintptr_t>(type) << 28) |
                       (static_cast<std::uintptr_t>(gen & kGenMask) << kIndexBits) | index;
    return reinterpret_cast<HGDIOBJ>(v); // NOLINT(performance-no-int-to-ptr): handles are numbers
}

template <class T> void addStock(GdiObject **slot, std::unique_ptr<T> obj)
{
    T *raw = obj.get();
    if (addStockObject(std::move(obj)))
        *slot = raw;
}

void makeStockPen(GdiObject **slot, int style, COLORREF color)
{
    auto pen = std::make_unique<Pen>();
    pen->style = style;
    pen->color = color;
    addStock(slot, std::move(pen));
}

void makeStockBrush(GdiObject **slot, UINT style, COLORREF color)
{
    auto brush = std::make_unique<Brush>();
    brush->style = style;
    brush->color = color;
    addStock(slot, std::move(brush));
}

void makeStockFont(GdiObject **slot, const char *face, LONG height, BYTE pitchAndFamily)
{
    auto font = std::make_unique<Font>();
    font->lf.lfHeight = height;
    font->lf.lfWeight = FW_NORMAL;
    font->lf.lfCharSet = ANSI_CHARSET;
    font->lf.lfPitchAndFamily = pitchAndFamily;
    std::strncpy(font->lf.lfFaceName, face, LF_FACESIZE - 1);
    addStock(slot, std::move(font));
}

struct StockObjects {
    GdiObject *objects[DEFAULT_GUI_FONT + 1] = {};
    StockObjects()
    {
        makeStockBrush(&objects[WHITE_BRUSH], BS_SOLID, RGB(255, 255, 255));
        makeStockBrush(&objects[LTGRAY_BRUSH], BS_SOLID, RGB(192, 192, 192));
        makeStockBrush(&objects[GRAY_BRUSH], BS_SOLID, RGB(128, 128, 128));
        makeStockBrush(&objects[DKGRAY_BRUSH], BS_SOLID, RGB(64, 64, 64));
        makeStockBrush(&objects[BLACK_BRUSH], BS_SOLID, RGB(0, 0, 0));
        makeStockBrush(&objects[NULL_BRUSH], BS_NULL, 0);
        makeStockPen(&objects[WHITE_PEN], PS_SOLID, RGB(255, 255, 255));
        makeStockPen(&objects[BLACK_PEN], PS_SOLID, RGB(0, 0, 0));
        makeStockPen(&objects[NULL_PEN], PS_NULL, 0);
        /* Height 0 realises at the device's default size (12 points), so text
         * drawn before any font is selected is legible on a printer too. */
        makeStockFont(&objects[SYSTEM_FONT], "System", 0, VARIABLE_PITCH | FF_SWISS);
        makeStockFont(&objects[DEVICE_DEFAULT_FONT], "System", 0, VARIABLE_PITCH | FF_SWISS);
        makeStockFont(&objects[OEM_FIXED_FONT], "Terminal", 12, FIXED_PITCH | FF_MODERN);
        makeStockFont(&objects[ANSI_FIXED_FONT], "Courier", 12, FIXED_PITCH | FF_MODERN);
        makeStockFont(&objects[ANSI_VAR_FONT], "MS Sans Serif", 12, VARIABLE_PITCH | FF_SWISS);
        makeStockFont(&objects[SYSTEM_FIXED_FONT], "Fixedsys", 15, FIXED_PITCH | FF_MODERN);
        makeStockFont(&objects[DEFAULT_GUI_FONT], "MS Shell Dlg", -11, VARIABLE_PITCH | FF_SWISS);
    }
};

} // namespace

std::recursive_mutex &gdiLock()
{
    static std::recursive_mutex *m = new std::recursive_mutex;
    return *m;
}

HGDIOBJ addObject(std::unique_ptr<GdiObject> obj)
{
    Table &t = table();
    std::uint32_t index;
    if (!t.freeSlots.empty()) {
        index = t.freeSlots.back();
        t.freeSlots.pop_back();
    } else {
        if (t.slots.size() > kIndexMask) {
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            return nullptr;
        }
        index = static_cast<std::uint32_t>(t.slots.size());
        t.slots.emplace_back();
    }
    Slot &slot = t.slots[index];
    obj->handle = makeHandle(obj->type, index, slot.gen);
    slot.obj = std::move(obj);
    t.live++;
    return slot.obj->handle;
}

HGDIOBJ addStockObject(std::unique_ptr<GdiObject> obj)
{
    obj->stock = true;
    HGDIOBJ h = addObject(std::move(obj));
    if (h)
        table().stock++;
    return h;
}

GdiObject *findObject(HGDIOBJ h)
{
    auto v = reinterpret_cast<std::uintptr_t>(h);
    std::uintptr_t index = v & kIndexMask;
    std::uintptr_t gen = (v >> kIndexBits) & kGenMask;
    std::uintptr_t type = v >> 28;
    Table &t = table();
    if (index == 0 || index >= t.slots.size())
        return nullptr;
    Slot &slot = t.slots[index];
    if (!slot.obj || slot.gen != gen || static_cast<std::uintptr_t>(slot.obj->type) != type)
        return nullptr;
    return slot.obj.get();
}

void destroyObject(GdiObject *obj)
{
    auto v = reinterpret_cast<std::uintptr_t>(obj->handle);
    Table &t = table();
    Slot &slot = t.slots[v & kIndexMask];
    slot.gen = static_cast<std::uint16_t>((slot.gen + 1) & kGenMask);
    t.freeSlots.push_back(static_cast<std::uint32_t>(v & kIndexMask));
    t.live--;
    slot.obj.reset(); /* may free further objects (a DC's selections) */
}

GdiObject *stockObject(int index)
{
    static StockObjects *stock = new StockObjects;
    if (index < 0 || index > DEFAULT_GUI_FONT)
        return nullptr;
    return stock->objects[index];
}

std::size_t liveObjectCount()
{
    GdiGuard guard(gdiLock());
    stockObject(0);
    return table().live - table().stock;
}

DeviceContext *dcFromHandle(HDC hdc)
{
    auto *dc = findAs<DeviceContext>(hdc, ObjType::DC);
    if (!dc)
        SetLastError(ERROR_INVALID_HANDLE);
    return dc;
}

void noteSelected(GdiObject *obj)
{
    if (obj)
        obj->selectCount++;
}

void noteDeselected(GdiObject *obj)
{
    if (!obj)
        return;
    obj->selectCount--;
    if (obj->selectCount == 0 && obj->deletePending && !obj->stock)
        destroyObject(obj);
}

void releaseSelections(DeviceContext &dc)
{
    noteDeselected(dc.pen);
    noteDeselected(dc.brush);
    noteDeselected(dc.font);
    noteDeselected(dc.bitmap);
    dc.pen = nullptr;
    dc.brush = nullptr;
    dc.font = nullptr;
    dc.bitmap = nullptr;
}

namespace {

/* Swaps obj into the DC's slot for its type; returns the previous object. */
GdiObject *swapSelection(DeviceContext &dc, GdiObject *obj)
{
    GdiObject *old = nullptr;
    switch (obj->type) {
    case ObjType::Pen:
        old = dc.pen;
        dc.pen = static_cast<Pen *>(obj);
        break;
    case ObjType::Brush:
        old = dc.brush;
        dc.brush = static_cast<Brush *>(obj);
        break;
    case ObjType::Font:
        old = dc.font;
        dc.font = static_cast<Font *>(obj);
        dc.realized.reset();
        break;
    case ObjType::Bitmap:
        old = dc.bitmap;
        dc.bitmap = static_cast<Bitmap *>(obj);
        break;
    case ObjType::DC:
        return nullptr;
    }
    noteSelected(obj);
    return old;
}

} // namespace

} // namespace winport::gdi

using namespace winport::gdi;

/***********************************************************************
 *           GetStockObject
 * Stock objects are never freed; DeleteObject on one succeeds and does
 * nothing.  DEFAULT_PALETTE and the DC_BRUSH/DC_PEN objects are not
 * provided (NULL).
 */
HGDIOBJ WINAPI GetStockObject(int i)
{
    GdiGuard guard(gdiLock());
    GdiObject *obj = stockObject(i);
    return obj ? obj->handle : nullptr;
}

/***********************************************************************
 *           SelectObject
 * Returns the previously selected object of the same type.  A bitmap goes
 * only into a memory DC and into one DC at a time.
 */
HGDIOBJ WINAPI SelectObject(HDC hdc, HGDIOBJ h)
{
    GdiGuard guard(gdiLock());
    DeviceContext *dc = dcFromHandle(hdc);
    if (!dc || !h)
        return nullptr;
    GdiObject *obj = findObject(h);
    if (!obj || obj->type == ObjType::DC) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    if (obj->type == ObjType::Bitmap) {
        if (dc->kind != DcKind::Memory || obj->deletePending) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return nullptr;
        }
        if (obj == dc->bitmap)
            return h;
        if (obj->selectCount > 0 && !obj->stock) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return nullptr;
        }
    }
    GdiObject *old = swapSelection(*dc, obj);
    HGDIOBJ oldHandle = old ? old->handle : nullptr;
    noteDeselected(old); /* may free a deleted object; its handle is still returned */
    return oldHandle;
}

/***********************************************************************
 *           DeleteObject
 * A selected object stays usable until its last DC deselects it, then it is
 * freed (Windows NT behaviour; the documentation's FALSE is not returned).
 * A DC handle is deleted as DeleteDC does.
 */
BOOL WINAPI DeleteObject(HGDIOBJ ho)
{
    GdiGuard guard(gdiLock());
    if (!ho)
        return FALSE;
    GdiObject *obj = findObject(ho);
    if (!obj || obj->deletePending) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (obj->stock)
        return TRUE;
    if (obj->type == ObjType::DC)
        return DeleteDC(static_cast<HDC>(ho));
    if (obj->selectCount > 0) {
        obj->deletePending = true;
        return TRUE;
    }
    destroyObject(obj);
    return TRUE;
}

/***********************************************************************
 *           GetObjectType
 */
DWORD WINAPI GetObjectType(HGDIOBJ h)
{
    GdiGuard guard(gdiLock());
    GdiObject *obj = findObject(h);
    if (!obj) {
        SetLastError(ERROR_INVALID_HANDLE);
        return 0;
    }
    switch (obj->type) {
    case ObjType::Pen:
        return OBJ_PEN;
    case ObjType::Brush:
        return OBJ_BRUSH;
    case ObjType::Font:
        return OBJ_FONT;
    case ObjType::Bitmap:
        return OBJ_BITMAP;
    case ObjType::DC:
        return static_cast<DeviceContext *>(obj)->kind == DcKind::Memory ? OBJ_MEMDC : OBJ_DC;
    }
    return 0;
}

/***********************************************************************
 *           GetCurrentObject
 * NULL without a last error for a NULL DC or an unknown type.
 */
HGDIOBJ WINAPI GetCurrentObject(HDC hdc, UINT type)
{
    GdiGuard guard(gdiLock());
    auto *dc = findAs<DeviceContext>(hdc, ObjType::DC);
    if (!dc)
        return nullptr;
    GdiObject *obj = nullptr;
    switch (type) {
    case OBJ_PEN:
    case OBJ_EXTPEN:
        obj = dc->pen;
        break;
    case OBJ_BRUSH:
        obj = dc->brush;
        break;
    case OBJ_FONT:
        obj = dc->font;
        break;
    case OBJ_BITMAP:
        obj = dc->bitmap;
        break;
    default:
        break;
    }
    return obj ? obj->handle : nullptr;
}

/***********************************************************************
 *           CreatePen
 * PS_NULL returns the stock NULL_PEN, as Windows does.  Styles beyond
 * PS_INSIDEFRAME fail with ERROR_INVALID_PARAMETER.
 */
HPEN WINAPI CreatePen(int iStyle, int cWidth, COLORREF color)
{
    GdiGuard guard(gdiLock());
    if (iStyle < PS_SOLID || iStyle > PS_INSIDEFRAME) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    if (iStyle == PS_NULL)
        return static_cast<HPEN>(stockObject(NULL_PEN)->handle);
    auto pen = std::make_unique<Pen>();
    pen->style = iStyle;
    pen->width = std::abs(cWidth);
    pen->color = color & 0x00FFFFFF;
    return static_cast<HPEN>(addObject(std::move(pen)));
}

/***********************************************************************
 *           CreateSolidBrush
 */
HBRUSH WINAPI CreateSolidBrush(COLORREF color)
{
    GdiGuard guard(gdiLock());
    auto brush = std::make_unique<Brush>();
    brush->style = BS_SOLID;
    brush->color = color & 0x00FFFFFF;
    return static_cast<HBRUSH>(addObject(std::move(brush)));
}

namespace {

int getPenObject(const Pen &pen, int c, void *pv)
{
    if (!pv)
        return sizeof(LOGPEN);
    if (c < static_cast<int>(sizeof(LOGPEN)))
        return 0;
    LOGPEN lp{};
    lp.lopnStyle = static_cast<UINT>(pen.style);
    lp.lopnWidth.x = pen.width;
    lp.lopnColor = pen.color;
    std::memcpy(pv, &lp, sizeof lp);
    return sizeof(LOGPEN);
}

/* Copies as much of a plain structure as the caller has room for. */
int copyPartial(const void *src, int size, int c, void *pv)
{
    if (!pv)
        return size;
    int n = c < size ? c : size;
    if (n <= 0)
        return 0;
    std::memcpy(pv, src, static_cast<std::size_t>(n));
    return n;
}

} // namespace

/***********************************************************************
 *           GetObjectA
 * LOGPEN, LOGBRUSH, LOGFONTA, BITMAP or DIBSECTION.  A NULL buffer asks
 * for the size.  A NULL handle fails without a last error; other invalid
 * handles with ERROR_INVALID_HANDLE.
 */
int WINAPI GetObjectA(HANDLE h, int c, LPVOID pv)
{
    GdiGuard guard(gdiLock());
    if (!h)
        return 0;
    GdiObject *obj = findObject(h);
    if (!obj || obj->type == ObjType::DC) {
        SetLastError(ERROR_INVALID_HANDLE);
        return 0;
    }
    switch (obj->type) {
    case ObjType::Pen:
        return getPenObject(*static_cast<Pen *>(obj), c, pv);
    case ObjType::Brush: {
        const auto *brush = static_cast<Brush *>(obj);
        LOGBRUSH lb{brush->style, brush->color, 0};
        return copyPartial(&lb, sizeof lb, c, pv);
    }
    case ObjType::Font:
        return copyPartial(&static_cast<Font *>(obj)->lf, sizeof(LOGFONTA), c, pv);
    case ObjType::Bitmap:
        return getBitmapObject(*static_cast<Bitmap *>(obj), c, pv);
    case ObjType::DC:
        break;
    }
    return 0;
}
