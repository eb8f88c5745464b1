/*
 * The imaging library bound by name at run time (see imaging_bind.h).
 *
 * Modelled on the Winsock binding (kellib/src/winsock_bind.cpp): each
 * binder takes its signature from the library's declaration, looks the
 * name up in its DLL at every call and fails visibly where the image
 * printing cannot go on.
 */
#include "imaging_bind.h"

#include <windows.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <string>
#include <type_traits>

namespace {

/* The seven DLLs, in load order; a function is looked up in its own. */
enum ImagingDll { KRN, FIL, TWN, DIS, ANN, EFX, COR, DLL_COUNT };

const char *const kDllNames[DLL_COUNT] = {L_DLL_KERNEL,    L_DLL_FILES,       L_DLL_TWAIN,
                                          L_DLL_DISPLAY,   L_DLL_ANNOTATIONS, L_DLL_EFFECTS,
                                          L_DLL_CORRECTION};

/* Loaded by the printer-open worker, read by every drawing thread. */
std::atomic<HMODULE> g_dll[DLL_COUNT];

/* The functions whose absence ends the client: without them no image
 * prints, and the box names the broken installation. */
bool FatalWhenMissing(const char *name)
{
    static const char *const kFatal[] = {"L_AnnDestroy",
                                         "L_AnnLoad",
                                         "L_AnnSetRect",
                                         "L_AverageFilterBitmap",
                                         "L_ChangeBitmapViewPerspective",
                                         "L_ColorResBitmap",
                                         "L_FillBitmap",
                                         "L_GetAutoTrimRect",
                                         "L_LoadMemory",
                                         "L_PaintDC",
                                         "L_SaveBitmap",
                                         "L_SaveBitmapMemory"};
    for (const char *fatal : kFatal)
        if (std::strcmp(fatal, name) == 0)
            return true;
    return false;
}

FARPROC LookUp(ImagingDll dll, const char *name)
{
    HMODULE module = g_dll[dll].load();
    if (module == nullptr)
        return nullptr;
    FARPROC fn = GetProcAddress(module, name);
    if (fn == nullptr && FatalWhenMissing(name)) {
        const std::string text = std::string("UNABLE TO LINK WITH ") + name;
        MessageBoxA(nullptr, text.c_str(), "ERROR", MB_OK);
        PostQuitMessage(0);
    }
    return fn;
}

/* Calls the bound function with the signature of its declaration; one that
 * cannot be bound yields a zero of its result type. */
template <typename Fn> struct Binder;
template <typename R, typename... A> struct Binder<R (*)(A...)> {
    static R Call(ImagingDll dll, const char *name, A... args)
    {
        auto generic = reinterpret_cast<void (*)(void)>(LookUp(dll, name));
        auto fn = reinterpret_cast<R (*)(A...)>(generic);
        if (fn == nullptr) {
            if constexpr (std::is_void_v<R>)
                return;
            else
                return R();
        }
        return fn(args...);
    }
};

void FreeAll()
{
    for (auto &slot : g_dll) {
        HMODULE old = slot.exchange(nullptr);
        if (old != nullptr)
            FreeLibrary(old);
    }
}

/* Code page 1252 bytes 0x80-0x9F in UTF-16 (the five it leaves undefined
 * stand for the control characters of the same number). */
constexpr char16_t kHigh[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

} // namespace

/* Binds the library function `name` (its declaration gives the signature). */
#define KELL_BOUND(dll, name, ...) Binder<decltype(&::name)>::Call(dll, #name, __VA_ARGS__)

int KELLoadImagingLibrary(void)
{
    if (KELImagingLibraryLoaded())
        return 1;
    char szSystem[MAX_PATH] = "";
    const UINT uLen = GetSystemDirectoryA(szSystem, sizeof(szSystem));
    if (uLen == 0 || uLen >= sizeof(szSystem))
        return 0;
    HMODULE loaded[DLL_COUNT] = {};
    for (int i = 0; i < DLL_COUNT; i++) {
        char szPath[MAX_PATH + 32];
        snprintf(szPath, sizeof(szPath), "%s\\%s", szSystem, kDllNames[i]);
        loaded[i] = LoadLibraryA(szPath);
        if (loaded[i] == nullptr) {
            for (int j = 0; j < i; j++)
                FreeLibrary(loaded[j]);
            return 0;
        }
    }
    for (int i = 0; i < DLL_COUNT; i++)
        g_dll[i].store(loaded[i]);
    KELL_PreLoadFilters(4, 4, "BMP,J2K,JPG,TIF");
    return 1;
}

int KELImagingLibraryLoaded(void)
{
    for (auto &slot : g_dll)
        if (slot.load() == nullptr)
            return 0;
    return 1;
}

void KELUnloadImagingLibrary(void)
{
    FreeAll();
}

int KelImagingName(const char *szName, char16_t *out, int outChars)
{
    if (!szName || !out || outChars <= 0)
        return 0;
    int n = 0;
    for (const unsigned char *p = reinterpret_cast<const unsigned char *>(szName); *p; p++) {
        if (n + 1 >= outChars) {
            out[0] = 0;
            return 0;
        }
        out[n++] = *p >= 0x80 && *p < 0xA0 ? kHigh[*p - 0x80] : static_cast<char16_t>(*p);
    }
    out[n] = 0;
    return 1;
}

INT KELL_AccessBitmap(pBITMAPHANDLE pBitmap)
{
    return KELL_BOUND(KRN, L_AccessBitmap, pBitmap);
}
INT KELL_ReleaseBitmap(pBITMAPHANDLE pBitmap)
{
    return KELL_BOUND(KRN, L_ReleaseBitmap, pBitmap);
}
INT KELL_ChangeBitmapViewPerspective(pBITMAPHANDLE pDst, pBITMAPHANDLE pSrc, INT nViewPerspective)
{
    return KELL_BOUND(KRN, L_ChangeBitmapViewPerspective, pDst, pSrc, nViewPerspective);
}
INT KELL_ColorResBitmap(pBITMAPHANDLE pSrc, pBITMAPHANDLE pDst, UINT uStructSize, INT nBitsPerPixel,
                        UINT uFlags)
{
    return KELL_BOUND(KRN, L_ColorResBitmap, pSrc, pDst, uStructSize, nBitsPerPixel, uFlags);
}
INT KELL_CopyBitmap(pBITMAPHANDLE pDst, pBITMAPHANDLE pSrc, UINT uStructSize)
{
    return KELL_BOUND(KRN, L_CopyBitmap, pDst, pSrc, uStructSize);
}
INT KELL_CopyBitmapRect(pBITMAPHANDLE pDst, pBITMAPHANDLE pSrc, UINT uStructSize, INT nCol,
                        INT nRow, INT nWidth, INT nHeight)
{
    return KELL_BOUND(KRN, L_CopyBitmapRect, pDst, pSrc, uStructSize, nCol, nRow, nWidth, nHeight);
}
INT KELL_CreateBitmap(pBITMAPHANDLE pBitmap, UINT uStructSize, INT nWidth, INT nHeight,
                      INT nBitsPerPixel)
{
    return KELL_BOUND(KRN, L_CreateBitmap, pBitmap, uStructSize, nWidth, nHeight, nBitsPerPixel);
}
INT KELL_FillBitmap(pBITMAPHANDLE pBitmap, COLORREF crFill)
{
    return KELL_BOUND(KRN, L_FillBitmap, pBitmap, crFill);
}
void KELL_FreeBitmap(pBITMAPHANDLE pBitmap)
{
    KELL_BOUND(KRN, L_FreeBitmap, pBitmap);
}
COLORREF KELL_GetPixelColor(pBITMAPHANDLE pBitmap, INT nRow, INT nCol)
{
    return KELL_BOUND(KRN, L_GetPixelColor, pBitmap, nRow, nCol);
}
INT KELL_PutPixelColor(pBITMAPHANDLE pBitmap, INT nRow, INT nCol, COLORREF crColor)
{
    return KELL_BOUND(KRN, L_PutPixelColor, pBitmap, nRow, nCol, crColor);
}
INT KELL_ResizeBitmap(pBITMAPHANDLE pSrc, pBITMAPHANDLE pDst)
{
    return KELL_BOUND(KRN, L_ResizeBitmap, pSrc, pDst);
}
INT KELL_RotateBitmap(pBITMAPHANDLE pBitmap, INT nAngle, UINT uFlags, COLORREF crFill)
{
    return KELL_BOUND(KRN, L_RotateBitmap, pBitmap, nAngle, uFlags, crFill);
}
INT KELL_SizeBitmap(pBITMAPHANDLE pBitmap, INT nWidth, INT nHeight, UINT uFlags)
{
    return KELL_BOUND(KRN, L_SizeBitmap, pBitmap, nWidth, nHeight, uFlags);
}
INT KELL_TrimBitmap(pBITMAPHANDLE pBitmap, INT nCol, INT nRow, INT nWidth, INT nHeight)
{
    return KELL_BOUND(KRN, L_TrimBitmap, pBitmap, nCol, nRow, nWidth, nHeight);
}

INT KELL_LoadBitmap(const char16_t *pszFile, pBITMAPHANDLE pBitmap, UINT uStructSize,
                    INT nBitsPerPixel, INT nPage)
{
    return KELL_BOUND(FIL, L_LoadBitmap, pszFile, pBitmap, uStructSize, nBitsPerPixel, nPage);
}
INT KELL_LoadMemory(const BYTE *pBuffer, pBITMAPHANDLE pBitmap, UINT uStructSize, INT nBitsPerPixel,
                    INT nPage, DWORD dwBufferSize)
{
    return KELL_BOUND(FIL, L_LoadMemory, pBuffer, pBitmap, uStructSize, nBitsPerPixel, nPage,
                      dwBufferSize);
}
INT KELL_PreLoadFilters(INT nFixedFilters, INT nCachedFilters, LPCSTR pszFilters)
{
    return KELL_BOUND(FIL, L_PreLoadFilters, nFixedFilters, nCachedFilters, pszFilters);
}
INT KELL_SaveBitmap(const char16_t *pszFile, pBITMAPHANDLE pBitmap, INT nFormat, INT nBitsPerPixel,
                    INT nQFactor, UINT uFlags)
{
    return KELL_BOUND(FIL, L_SaveBitmap, pszFile, pBitmap, nFormat, nBitsPerPixel, nQFactor,
                      uFlags);
}
INT KELL_SaveBitmapMemory(HGLOBAL *phHandle, pBITMAPHANDLE pBitmap, INT nFormat, INT nBitsPerPixel,
                          INT nQFactor, DWORD *pdwSize)
{
    return KELL_BOUND(FIL, L_SaveBitmapMemory, phHandle, pBitmap, nFormat, nBitsPerPixel, nQFactor,
                      pdwSize);
}

INT KELL_CopyBitmapPalette(pBITMAPHANDLE pDst, pBITMAPHANDLE pSrc)
{
    return KELL_BOUND(DIS, L_CopyBitmapPalette, pDst, pSrc);
}
HPALETTE KELL_CreatePaintPalette(HDC hDC, pBITMAPHANDLE pBitmap)
{
    return KELL_BOUND(DIS, L_CreatePaintPalette, hDC, pBitmap);
}
INT KELL_PaintDC(HDC hDC, pBITMAPHANDLE pBitmap, const RECT *prcSource, const RECT *prcDest,
                 DWORD dwRop)
{
    return KELL_BOUND(DIS, L_PaintDC, hDC, pBitmap, prcSource, prcDest, dwRop);
}
INT KELL_PrintBitmap(HDC hDC, pBITMAPHANDLE pBitmap, INT nX, INT nY, INT nWidth, INT nHeight)
{
    return KELL_BOUND(DIS, L_PrintBitmap, hDC, pBitmap, nX, nY, nWidth, nHeight);
}
INT KELL_PrintBitmapFast(HDC hDC, pBITMAPHANDLE pBitmap, INT nX, INT nY, INT nWidth, INT nHeight)
{
    return KELL_BOUND(DIS, L_PrintBitmapFast, hDC, pBitmap, nX, nY, nWidth, nHeight);
}

INT KELL_AnnLoad(const char16_t *pszFile, HANNOBJECT *phContainer)
{
    return KELL_BOUND(ANN, L_AnnLoad, pszFile, phContainer);
}
INT KELL_AnnEnumerate(HANNOBJECT hContainer, pANNENUMCALLBACK pfnCallback, LPVOID pUserData,
                      UINT uFlags)
{
    return KELL_BOUND(ANN, L_AnnEnumerate, hContainer, pfnCallback, pUserData, uFlags);
}
INT KELL_AnnGetLineWidth(HANNOBJECT hObject, double *pdLineWidth)
{
    return KELL_BOUND(ANN, L_AnnGetLineWidth, hObject, pdLineWidth);
}
INT KELL_AnnSetLineWidth(HANNOBJECT hObject, double dLineWidth, UINT uFlags)
{
    return KELL_BOUND(ANN, L_AnnSetLineWidth, hObject, dLineWidth, uFlags);
}
INT KELL_AnnSetRect(HANNOBJECT hContainer, const RECT *prcRect)
{
    return KELL_BOUND(ANN, L_AnnSetRect, hContainer, prcRect);
}
INT KELL_AnnRealize(pBITMAPHANDLE pBitmap, const RECT *prcBounds, HANNOBJECT hContainer,
                    BOOL bRedactOnly)
{
    return KELL_BOUND(ANN, L_AnnRealize, pBitmap, prcBounds, hContainer, bRedactOnly);
}
INT KELL_AnnPrint(HDC hDC, const RECT *prcBounds, HANNOBJECT hContainer)
{
    return KELL_BOUND(ANN, L_AnnPrint, hDC, prcBounds, hContainer);
}
INT KELL_AnnDestroy(HANNOBJECT hObject, UINT uFlags)
{
    return KELL_BOUND(ANN, L_AnnDestroy, hObject, uFlags);
}

INT KELL_AverageFilterBitmap(pBITMAPHANDLE pBitmap, INT nDim)
{
    return KELL_BOUND(EFX, L_AverageFilterBitmap, pBitmap, nDim);
}
INT KELL_CombineBitmap(pBITMAPHANDLE pDst, INT nXDst, INT nYDst, INT nWidth, INT nHeight,
                       pBITMAPHANDLE pSrc, INT nXSrc, INT nYSrc, UINT uFlags)
{
    return KELL_BOUND(EFX, L_CombineBitmap, pDst, nXDst, nYDst, nWidth, nHeight, pSrc, nXSrc, nYSrc,
                      uFlags);
}
INT KELL_SharpenBitmap(pBITMAPHANDLE pBitmap, INT nSharpness)
{
    return KELL_BOUND(EFX, L_SharpenBitmap, pBitmap, nSharpness);
}

INT KELL_AutoTrimBitmap(pBITMAPHANDLE pBitmap, UINT uThreshold)
{
    return KELL_BOUND(COR, L_AutoTrimBitmap, pBitmap, uThreshold);
}
INT KELL_GetAutoTrimRect(pBITMAPHANDLE pBitmap, UINT uThreshold, RECT *prcTrim)
{
    return KELL_BOUND(COR, L_GetAutoTrimRect, pBitmap, uThreshold, prcTrim);
}
