/*
 * Bitmap handles and the images behind them: validation, the visible
 * fields, view perspectives and depth conversions (see bitmap.h).
 */
#include "bitmap.h"

#include <cstring>
#include <mutex>
#include <unordered_set>

namespace imaging {
namespace {

/* Images handed out and not yet freed: a handle whose pointer is not here
 * (never loaded, freed already, or a copy of a freed one) holds no image,
 * rather than memory the library would trust. */
struct LiveImages {
    std::mutex lock;
    std::unordered_set<const Image *> images; // guarded by lock
};

/* A plain static: the module may be unloaded, and its registry with it. */
LiveImages &Live()
{
    static LiveImages live;
    return live;
}

bool IsLive(const Image *image)
{
    LiveImages &live = Live();
    std::lock_guard<std::mutex> guard(live.lock);
    return live.images.count(image) != 0;
}

/* A shown Pix from stored pixels for one view perspective. */
Pix *ToShown(Pix *pix, int view)
{
    switch (view) {
    case L_TOP_RIGHT:
        return pixFlipLR(nullptr, pix);
    case L_BOTTOM_RIGHT:
        return pixRotate180(nullptr, pix);
    case L_BOTTOM_LEFT:
        return pixFlipTB(nullptr, pix);
    case L_LEFT_TOP: {
        PixPtr turned(pixRotate90(pix, 1));
        return turned ? pixFlipLR(nullptr, turned.get()) : nullptr;
    }
    case L_RIGHT_TOP:
        return pixRotate90(pix, 1);
    case L_RIGHT_BOTTOM: {
        PixPtr turned(pixRotate90(pix, 1));
        return turned ? pixFlipTB(nullptr, turned.get()) : nullptr;
    }
    case L_LEFT_BOTTOM:
        return pixRotate90(pix, -1);
    default:
        return pixClone(pix);
    }
}

/* Each perspective undoes itself, except the two quarter turns. */
int Inverse(int view)
{
    if (view == L_RIGHT_TOP)
        return L_LEFT_BOTTOM;
    if (view == L_LEFT_BOTTOM)
        return L_RIGHT_TOP;
    return view;
}

l_int32 Luminance(COLORREF c)
{
    return (299 * GetRValue(c) + 587 * GetGValue(c) + 114 * GetBValue(c) + 500) / 1000;
}

} // namespace

int SupportedDepth(int bpp)
{
    for (int d : {1, 2, 4, 8, 16, 24, 32})
        if (bpp <= d)
            return d;
    return 0;
}

bool ValidStructSize(UINT size)
{
    return size == L_BITMAPHANDLE_SIZE;
}

Image *ImageOf(const BITMAPHANDLE *handle, INT *error)
{
    if (!handle || !ValidStructSize(handle->uStructSize)) {
        *error = L_ERR_INVALID_PARAMETER;
        return nullptr;
    }
    auto *image = static_cast<Image *>(handle->Private.pImage);
    if (!image || !IsLive(image) || !image->pix) {
        *error = L_ERR_NO_BITMAP;
        return nullptr;
    }
    return image;
}

void Attach(BITMAPHANDLE *handle, std::unique_ptr<Image> image)
{
    std::memset(handle, 0, sizeof *handle);
    handle->uStructSize = L_BITMAPHANDLE_SIZE;
    Image *raw = image.release();
    {
        LiveImages &live = Live();
        std::lock_guard<std::mutex> guard(live.lock);
        live.images.insert(raw);
    }
    handle->Private.pImage = raw;
    Publish(handle);
}

void Detach(BITMAPHANDLE *handle)
{
    if (!handle)
        return;
    auto *image = static_cast<Image *>(handle->Private.pImage);
    bool owned = false;
    if (image) {
        LiveImages &live = Live();
        std::lock_guard<std::mutex> guard(live.lock);
        owned = live.images.erase(image) != 0;
    }
    if (owned)
        delete image;
    const UINT size = handle->uStructSize;
    std::memset(handle, 0, sizeof *handle);
    handle->uStructSize = size;
}

void Publish(BITMAPHANDLE *handle)
{
    const auto *image = static_cast<const Image *>(handle->Private.pImage);
    Pix *pix = image->pix.get();
    handle->Width = pixGetWidth(pix);
    handle->Height = pixGetHeight(pix);
    handle->BitsPerPixel = image->bpp;
    handle->BytesPerLine = ((handle->Width * image->bpp + 31) / 32) * 4;
    handle->Size = static_cast<DWORD>(handle->BytesPerLine) * static_cast<DWORD>(handle->Height);
    handle->ViewPerspective = image->view;
    handle->XResolution = pixGetXRes(pix);
    handle->YResolution = pixGetYRes(pix);
    handle->Flags = L_BITMAP_ALLOCATED;
    if (image->original.kind != Original::None)
        handle->Flags |= L_BITMAP_COMPRESSED;
}

int ReportedDepth(int pixDepth)
{
    return pixDepth == 32 ? 24 : pixDepth;
}

void ReplacePix(Image &image, PixPtr pix, int bpp)
{
    image.Touch();
    const int depth = pixGetDepth(pix.get());
    image.bpp = depth == 32 && bpp >= 16 ? bpp : ReportedDepth(depth);
    image.pix = std::move(pix);
}

PixPtr ShownPix(const Image &image)
{
    return PixPtr(ToShown(image.pix.get(), image.view));
}

PixPtr Reorient(Pix *pix, int fromView, int toView)
{
    PixPtr shown(ToShown(pix, fromView));
    if (!shown)
        return nullptr;
    return PixPtr(ToShown(shown.get(), Inverse(toView)));
}

INT Normalise(Image &image)
{
    if (image.view == L_TOP_LEFT)
        return L_SUCCESS;
    PixPtr shown = ShownPix(image);
    if (!shown)
        return L_ERR_NO_MEMORY;
    image.Touch();
    image.pix = std::move(shown);
    image.view = L_TOP_LEFT;
    return L_SUCCESS;
}

int ShownWidth(const Image &image)
{
    return image.view >= L_LEFT_TOP ? pixGetHeight(image.pix.get()) : pixGetWidth(image.pix.get());
}

int ShownHeight(const Image &image)
{
    return image.view >= L_LEFT_TOP ? pixGetWidth(image.pix.get()) : pixGetHeight(image.pix.get());
}

PixPtr ConvertDepth(Pix *pix, int bpp, bool dither, int *reported)
{
    const int depth = pixGetDepth(pix);
    const int target = bpp == 0 ? ReportedDepth(depth) : SupportedDepth(bpp);
    if (bpp < 0 || target == 0)
        return nullptr;
    *reported = target;
    if (target >= 16)
        return PixPtr(depth == 32 ? pixClone(pix) : pixConvertTo32(pix));
    if (target == depth)
        return PixPtr(pixClone(pix));
    if (target == 8) {
        if (depth == 32) {
            PixPtr mapped(pixConvertRGBToColormap(pix, dither ? 1 : 0));
            return mapped ? PixPtr(pixConvertTo8(mapped.get(), TRUE)) : nullptr;
        }
        return PixPtr(pixConvertTo8(pix, pixGetColormap(pix) != nullptr));
    }
    PixPtr grey(pixConvertTo8(pix, FALSE));
    if (!grey)
        return nullptr;
    if (target == 1)
        return PixPtr(dither ? pixDitherToBinary(grey.get())
                             : pixThresholdToBinary(grey.get(), 128));
    /* 2 and 4 bits: grey levels, darkest 0 as in 8-bit grey. */
    return PixPtr(target == 2 ? pixConvert8To2(grey.get()) : pixConvert8To4(grey.get()));
}

l_uint32 PixValueOf(Pix *pix, COLORREF color)
{
    const int depth = pixGetDepth(pix);
    if (depth == 32) {
        l_uint32 value = 0;
        composeRGBPixel(GetRValue(color), GetGValue(color), GetBValue(color), &value);
        return value;
    }
    if (PIXCMAP *cmap = pixGetColormap(pix)) {
        l_int32 index = 0;
        pixcmapGetNearestIndex(cmap, GetRValue(color), GetGValue(color), GetBValue(color), &index);
        return static_cast<l_uint32>(index);
    }
    const l_int32 lum = Luminance(color);
    if (depth == 1)
        return lum < 128 ? 1 : 0; /* 1 is black in a 1-bit Pix */
    const l_int32 levels = (1 << depth) - 1;
    return static_cast<l_uint32>((lum * levels + 127) / 255);
}

COLORREF ColorOf(Pix *pix, l_uint32 value)
{
    const int depth = pixGetDepth(pix);
    if (depth == 32) {
        l_int32 r, g, b;
        extractRGBValues(value, &r, &g, &b);
        return RGB(r, g, b);
    }
    if (PIXCMAP *cmap = pixGetColormap(pix)) {
        l_int32 r = 0, g = 0, b = 0;
        pixcmapGetColor(cmap, static_cast<l_int32>(value), &r, &g, &b);
        return RGB(r, g, b);
    }
    if (depth == 1)
        return value ? RGB(0, 0, 0) : RGB(255, 255, 255);
    const l_int32 levels = (1 << depth) - 1;
    const l_int32 v = static_cast<l_int32>(value) * 255 / levels;
    return RGB(v, v, v);
}

} // namespace imaging
