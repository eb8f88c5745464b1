/*
 * Bitmap resources linked into the program, and LoadBitmapA.
 *
 * On Windows a bitmap resource lives in the module's resource section.
 * Here the build turns each .bmp into a byte array and registers it under
 * its id or name before main runs (WINPORT_BITMAP_RESOURCE in
 * winport_gdi_ext.h); LoadBitmapA finds it by that id or name.  Names are
 * matched without regard to case, as resource names are.  All modules of
 * the process share one table, so hInstance is not consulted.
 */
#include "gdi_pixels.h"

#include "winport_gdi_ext.h"

#include <cctype>
#include <cstring>
#include <map>
#include <string>
#include <vector>

namespace {

struct Resource {
    const std::uint8_t *data;
    std::size_t size;
};

/* "#2523" for ids, the upper-cased name for names. */
std::string resourceKey(LPCSTR name)
{
    if (IS_INTRESOURCE(name))
        return "#" + std::to_string(reinterpret_cast<std::uintptr_t>(name));
    std::string key(name);
    for (char &ch : key)
        ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
    return key;
}

std::map<std::string, Resource> &resources()
{
    static auto *table = new std::map<std::string, Resource>;
    return *table;
}

/* The BITMAPINFO (copied out, aligned: in a .bmp file it follows a 14-byte
 * header) and the bits of a .bmp file or a packed DIB, checked against the
 * data's size so a damaged resource cannot make us read past it. */
bool parseBitmap(const Resource &res, std::vector<std::uint32_t> *info, const std::uint8_t **bits)
{
    const std::uint8_t *p = res.data;
    std::size_t size = res.size;
    std::size_t bitsOffset = 0;
    if (size >= sizeof(BITMAPFILEHEADER) && p[0] == 'B' && p[1] == 'M') {
        BITMAPFILEHEADER fh;
        std::memcpy(&fh, p, sizeof fh);
        p += sizeof fh;
        size -= sizeof fh;
        if (fh.bfOffBits < sizeof fh)
            return false;
        bitsOffset = fh.bfOffBits - sizeof fh;
    }
    if (size < sizeof(BITMAPINFOHEADER))
        return false;
    BITMAPINFOHEADER h;
    std::memcpy(&h, p, sizeof h);
    if (h.biSize < sizeof h || h.biSize > size || h.biBitCount == 0 || h.biBitCount > 32 ||
        h.biWidth <= 0 || h.biHeight == 0 || h.biHeight == INT32_MIN)
        return false;
    std::size_t colors = h.biBitCount <= 8 ? (h.biClrUsed ? h.biClrUsed : 1u << h.biBitCount) : 0;
    std::size_t masks = h.biCompression == BI_BITFIELDS && h.biSize == sizeof h ? 12 : 0;
    std::size_t tableEnd = h.biSize + masks + colors * sizeof(RGBQUAD);
    if (!bitsOffset)
        bitsOffset = tableEnd;
    std::size_t rows = static_cast<std::size_t>(h.biHeight < 0 ? -h.biHeight : h.biHeight);
    std::size_t need =
        static_cast<std::size_t>(winport::gdi::dibStride(h.biWidth, h.biBitCount)) * rows;
    if (tableEnd > size || bitsOffset > size || size - bitsOffset < need)
        return false;
    info->assign((tableEnd + 3) / 4, 0);
    std::memcpy(info->data(), p, tableEnd);
    *bits = p + bitsOffset;
    return true;
}

} // namespace

using namespace winport::gdi;

BOOL winport_register_bitmap(LPCSTR name, const void *data, size_t size)
{
    GdiGuard guard(gdiLock());
    if (!name || !data || size == 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    resources()[resourceKey(name)] = Resource{static_cast<const std::uint8_t *>(data), size};
    return TRUE;
}

/***********************************************************************
 *           LoadBitmapA
 * A bitmap registered with winport_register_bitmap, as a device-dependent
 * bitmap (monochrome for 1 bpp resources, else 32 bpp).  Not found: NULL
 * with ERROR_RESOURCE_NAME_NOT_FOUND; damaged: ERROR_INVALID_DATA.
 */
HBITMAP WINAPI LoadBitmapA(HINSTANCE hInstance, LPCSTR lpBitmapName)
{
    (void)hInstance;
    GdiGuard guard(gdiLock());
    if (!lpBitmapName) {
        SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
        return nullptr;
    }
    auto it = resources().find(resourceKey(lpBitmapName));
    if (it == resources().end()) {
        SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
        return nullptr;
    }
    std::vector<std::uint32_t> info;
    const std::uint8_t *bits = nullptr;
    PixelView view;
    if (!parseBitmap(it->second, &info, &bits) ||
        !viewOfDib(reinterpret_cast<const BITMAPINFO *>(info.data()), bits, &view)) {
        SetLastError(ERROR_INVALID_DATA);
        return nullptr;
    }
    HBITMAP hbm = CreateBitmap(view.width, view.height, 1, view.bpp == 1 ? 1 : 32, nullptr);
    auto *bm = findAs<Bitmap>(hbm, ObjType::Bitmap);
    cairo_surface_t *surface = bm ? surfaceFromView(view) : nullptr;
    if (!surface) {
        if (hbm)
            DeleteObject(hbm);
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    storeSurface(surface, *bm);
    cairo_surface_destroy(surface);
    return hbm;
}
