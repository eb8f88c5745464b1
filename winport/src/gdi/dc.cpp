/*
 * Device contexts: the 96 dpi screen DC, memory DCs, deletion, device
 * capabilities and the DC attributes (mapping mode, text alignment,
 * background, colours, stretch mode).
 *
 * Printer DCs are made through the printer seam (printdc.cpp); everything
 * here applies to all kinds.  Only MM_TEXT exists: one logical unit is one
 * device unit, y grows downwards.
 */
#include "gdi_print.h"

#include <cmath>

namespace winport::gdi {

DeviceContext::DeviceContext() : GdiObject(ObjType::DC) {}
DeviceContext::~DeviceContext() = default;

DeviceCaps screenCaps()
{
    return DeviceCaps{};
}

DeviceContext *newDeviceContext(DcKind kind, const DeviceCaps &caps)
{
    auto dc = std::make_unique<DeviceContext>();
    dc->kind = kind;
    dc->caps = caps;
    dc->pen = static_cast<Pen *>(stockObject(BLACK_PEN));
    dc->brush = static_cast<Brush *>(stockObject(WHITE_BRUSH));
    dc->font = static_cast<Font *>(stockObject(SYSTEM_FONT));
    if (kind == DcKind::Memory)
        dc->bitmap = defaultBitmap();
    noteSelected(dc->pen);
    noteSelected(dc->brush);
    noteSelected(dc->font);
    noteSelected(dc->bitmap);
    DeviceContext *raw = dc.get();
    if (!addObject(std::move(dc)))
        return nullptr;
    return raw;
}

} // namespace winport::gdi

using namespace winport::gdi;

namespace {

int mmFromDots(int dots, int dpi)
{
    return static_cast<int>(std::lround(dots * 25.4 / dpi));
}

int deviceCap(const DeviceContext &dc, int index)
{
    const DeviceCaps &c = dc.caps;
    bool printer = c.technology == DT_RASPRINTER;
    switch (index) {
    case DRIVERVERSION:
        return 0x400;
    case TECHNOLOGY:
        return c.technology;
    case HORZSIZE:
        return mmFromDots(c.horzRes, c.dpiX);
    case VERTSIZE:
        return mmFromDots(c.vertRes, c.dpiY);
    case HORZRES:
        return c.horzRes;
    case VERTRES:
        return c.vertRes;
    case BITSPIXEL:
        return c.bitsPixel;
    case PLANES:
        return 1;
    case NUMBRUSHES:
    case NUMPENS:
        return -1;
    case NUMCOLORS:
        return c.bitsPixel <= 8 ? 1 << c.bitsPixel : -1;
    case ASPECTX:
        return printer ? c.dpiX : 36;
    case ASPECTY:
        return printer ? c.dpiY : 36;
    case ASPECTXY:
        return printer ? static_cast<int>(std::lround(std::hypot(c.dpiX, c.dpiY))) : 51;
    case CLIPCAPS:
        return 1; /* CP_RECTANGLE */
    case RASTERCAPS:
        return RC_BITBLT | RC_BITMAP64 | RC_GDI20_OUTPUT | RC_DI_BITMAP | RC_DIBTODEV |
               RC_STRETCHBLT | RC_STRETCHDIB | (printer ? RC_BANDING : 0);
    case LOGPIXELSX:
        return c.dpiX;
    case LOGPIXELSY:
        return c.dpiY;
    case PHYSICALWIDTH:
        return printer ? c.physWidth : 0;
    case PHYSICALHEIGHT:
        return printer ? c.physHeight : 0;
    case PHYSICALOFFSETX:
        return printer ? c.offsetX : 0;
    case PHYSICALOFFSETY:
        return printer ? c.offsetY : 0;
    default:
        return 0;
    }
}

} // namespace

/***********************************************************************
 *           CreateCompatibleDC
 * A memory DC holding the 1x1 monochrome default bitmap, with the device
 * capabilities of hdc (of the screen when hdc is NULL).
 */
HDC WINAPI CreateCompatibleDC(HDC hdc)
{
    GdiGuard guard(gdiLock());
    DeviceCaps caps = screenCaps();
    if (hdc) {
        DeviceContext *ref = dcFromHandle(hdc);
        if (!ref)
            return nullptr;
        caps = ref->caps;
    }
    DeviceContext *dc = newDeviceContext(DcKind::Memory, caps);
    return dc ? static_cast<HDC>(dc->handle) : nullptr;
}

/***********************************************************************
 *           GetDC
 * Headless: every window, and the desktop (NULL), answers with a new
 * 96 dpi screen DC that draws nowhere; release it with ReleaseDC.
 */
HDC WINAPI GetDC(HWND hWnd)
{
    (void)hWnd;
    GdiGuard guard(gdiLock());
    DeviceContext *dc = newDeviceContext(DcKind::Screen, screenCaps());
    if (!dc)
        return nullptr;
    dc->fromGetDC = true;
    return static_cast<HDC>(dc->handle);
}

/***********************************************************************
 *           ReleaseDC
 * 1 when hDC came from GetDC and is now released, else 0.
 */
int WINAPI ReleaseDC(HWND hWnd, HDC hDC)
{
    (void)hWnd;
    GdiGuard guard(gdiLock());
    auto *dc = findAs<DeviceContext>(hDC, ObjType::DC);
    if (!dc || !dc->fromGetDC)
        return 0;
    return DeleteDC(hDC) ? 1 : 0;
}

/***********************************************************************
 *           DeleteDC
 * A printer DC with an open document aborts it first (the sink is told).
 * Objects selected into the DC are let go; deleted ones are freed then.
 */
BOOL WINAPI DeleteDC(HDC hdc)
{
    GdiGuard guard(gdiLock());
    DeviceContext *dc = dcFromHandle(hdc);
    if (!dc)
        return FALSE;
    if (dc->printer && dc->printer->docOpen)
        abortDocument(*dc);
    releaseSelections(*dc);
    destroyObject(dc);
    return TRUE;
}

/***********************************************************************
 *           GetDeviceCaps
 * PHYSICAL* are 0 on non-printers; unknown indexes give 0.  An invalid hdc
 * gives 0 with ERROR_INVALID_HANDLE.
 */
int WINAPI GetDeviceCaps(HDC hdc, int index)
{
    GdiGuard guard(gdiLock());
    DeviceContext *dc = dcFromHandle(hdc);
    return dc ? deviceCap(*dc, index) : 0;
}

/***********************************************************************
 *           SetMapMode
 * Only MM_TEXT: the other valid modes fail with ERROR_NOT_SUPPORTED (rather
 * than being ignored, which would misplace everything drawn after), invalid
 * modes with ERROR_INVALID_PARAMETER.  Returns the previous mode, 0 on
 * failure.
 */
int WINAPI SetMapMode(HDC hdc, int iMode)
{
    GdiGuard guard(gdiLock());
    DeviceContext *dc = dcFromHandle(hdc);
    if (!dc)
        return 0;
    if (iMode < MM_TEXT || iMode > MM_ANISOTROPIC) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if (iMode != MM_TEXT) {
        SetLastError(ERROR_NOT_SUPPORTED);
        return 0;
    }
    int old = dc->mapMode;
    dc->mapMode = iMode;
    return old;
}

/***********************************************************************
 *           GetMapMode
 */
int WINAPI GetMapMode(HDC hdc)
{
    GdiGuard guard(gdiLock());
    DeviceContext *dc = dcFromHandle(hdc);
    return dc ? dc->mapMode : 0;
}

/***********************************************************************
 *           SetTextAlign
 * Returns the previous alignment, GDI_ERROR for an invalid hdc.
 */
UINT WINAPI SetTextAlign(HDC hdc, UINT align)
{
    GdiGuard guard(gdiLock());
    DeviceContext *dc = dcFromHandle(hdc);
    if (!dc)
        return GDI_ERROR;
    UINT old = dc->textAlign;
    dc->textAlign = align & TA_MASK;
    return old;
}

/***********************************************************************
 *           GetTextAlign
 */
UINT WINAPI GetTextAlign(HDC hdc)
{
    GdiGuard guard(gdiLock());
    DeviceContext *dc = dcFromHandle(hdc);
    return dc ? dc->textAlign : GDI_ERROR;
}

/***********************************************************************
 *           SetBkMode
 * OPAQUE or TRANSPARENT; returns the previous mode, 0 on failure.
 */
int WINAPI SetBkMode(HDC hdc, int mode)
{
    GdiGuard guard(gdiLock());
    DeviceContext *dc = dcFromHandle(hdc);
    if (!dc)
        return 0;
    if (mode != OPAQUE && mode != TRANSPARENT) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    int old = dc->bkMode;
    dc->bkMode = mode;
    return old;
}

/***********************************************************************
 *           GetBkMode
 */
int WINAPI GetBkMode(HDC hdc)
{
    GdiGuard guard(gdiLock());
    DeviceContext *dc = dcFromHandle(hdc);
    return dc ? dc->bkMode : 0;
}

/***********************************************************************
 *           SetBkColor
 * Returns the previous colour, CLR_INVALID on failure.
 */
COLORREF WINAPI SetBkColor(HDC hdc, COLORREF color)
{
    GdiGuard guard(gdiLock());
    DeviceContext *dc = dcFromHandle(hdc);
    if (!dc)
        return CLR_INVALID;
    COLORREF old = dc->bkColor;
    dc->bkColor = color & 0x00FFFFFF;
    return old;
}

/***********************************************************************
 *           GetBkColor
 */
COLORREF WINAPI GetBkColor(HDC hdc)
{
    GdiGuard guard(gdiLock());
    DeviceContext *dc = dcFromHandle(hdc);
    return dc ? dc->bkColor : CLR_INVALID;
}

/***********************************************************************
 *           SetTextColor
 * Returns the previous colour, CLR_INVALID on failure.
 */
COLORREF WINAPI SetTextColor(HDC hdc, COLORREF color)
{
    GdiGuard guard(gdiLock());
    DeviceContext *dc = dcFromHandle(hdc);
    if (!dc)
        return CLR_INVALID;
    COLORREF old = dc->textColor;
    dc->textColor = color & 0x00FFFFFF;
    return old;
}

/***********************************************************************
 *           GetTextColor
 */
COLORREF WINAPI GetTextColor(HDC hdc)
{
    GdiGuard guard(gdiLock());
    DeviceContext *dc = dcFromHandle(hdc);
    return dc ? dc->textColor : CLR_INVALID;
}

/***********************************************************************
 *           SetStretchBltMode
 * HALFTONE smooths scaled bitmaps; the other modes pick the nearest pixel
 * (BLACKONWHITE and WHITEONBLACK do not merge dropped rows).  Returns the
 * previous mode, 0 on failure.
 */
int WINAPI SetStretchBltMode(HDC hdc, int mode)
{
    GdiGuard guard(gdiLock());
    DeviceContext *dc = dcFromHandle(hdc);
    if (!dc)
        return 0;
    if (mode < BLACKONWHITE || mode > HALFTONE) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    int old = dc->stretchMode;
    dc->stretchMode = mode;
    return old;
}

/***********************************************************************
 *           GetStretchBltMode
 */
int WINAPI GetStretchBltMode(HDC hdc)
{
    GdiGuard guard(gdiLock());
    DeviceContext *dc = dcFromHandle(hdc);
    return dc ? dc->stretchMode : 0;
}
