/*
 * The imaging library, bound by name at run time.
 *
 * The print client never links the library: KELLoadImagingLibrary loads its
 * seven DLLs from the system folder when an open asks for imaging, and each
 * KELL_ function looks its L_ function up in its DLL at every call.  With
 * the library not loaded every call returns 0 (a null handle, a zero
 * colour, nothing for void) without a word.  A DLL that lacks a function
 * returns 0 too; for the functions the image printing cannot go on without
 * it first shows "UNABLE TO LINK WITH " and the name in a box titled
 * "ERROR" and posts a quit.  The signatures and results are the library's
 * (components/include/imaging.h): L_SUCCESS (1) on success.
 *
 * Safe to call from any thread; loading and unloading belong to the
 * printer-open worker.
 */
#ifndef NOVARCPRINT_IMAGES_IMAGING_BIND_H
#define NOVARCPRINT_IMAGES_IMAGING_BIND_H

#include <imaging.h>

/* Loads "ltkrnu.dll", "ltfilu.dll", "lttwnu.dll", "LTDISU.DLL",
 * "ltannu.dll", "Ltimgefxu.dll" and "ltimgcoru.dll" from the system folder,
 * in that order, then preloads the "BMP,J2K,JPG,TIF" filters.  1 when all
 * seven loaded (or already were); 0 otherwise, with none kept. */
int KELLoadImagingLibrary(void);

/* 1 while the library is loaded. */
int KELImagingLibraryLoaded(void);

/* Frees the seven DLLs; the KELL_ calls then return 0. */
void KELUnloadImagingLibrary(void);

/* A file name for the library: the client's single-byte (code page 1252)
 * name as UTF-16 in `out` (room for `outChars` including the NUL).
 * 1, or 0 when it does not fit. */
int KelImagingName(const char *szName, char16_t *out, int outChars);

/* "ltkrnu.dll" */
INT KELL_AccessBitmap(pBITMAPHANDLE pBitmap);
INT KELL_ReleaseBitmap(pBITMAPHANDLE pBitmap);
INT KELL_ChangeBitmapViewPerspective(pBITMAPHANDLE pDst, pBITMAPHANDLE pSrc, INT nViewPerspective);
INT KELL_ColorResBitmap(pBITMAPHANDLE pSrc, pBITMAPHANDLE pDst, UINT uStructSize, INT nBitsPerPixel,
                        UINT uFlags);
INT KELL_CopyBitmap(pBITMAPHANDLE pDst, pBITMAPHANDLE pSrc, UINT uStructSize);
INT KELL_CopyBitmapRect(pBITMAPHANDLE pDst, pBITMAPHANDLE pSrc, UINT uStructSize, INT nCol,
                        INT nRow, INT nWidth, INT nHeight);
INT KELL_CreateBitmap(pBITMAPHANDLE pBitmap, UINT uStructSize, INT nWidth, INT nHeight,
                      INT nBitsPerPixel);
INT KELL_FillBitmap(pBITMAPHANDLE pBitmap, COLORREF crFill);
void KELL_FreeBitmap(pBITMAPHANDLE pBitmap);
COLORREF KELL_GetPixelColor(pBITMAPHANDLE pBitmap, INT nRow, INT nCol);
INT KELL_PutPixelColor(pBITMAPHANDLE pBitmap, INT nRow, INT nCol, COLORREF crColor);
INT KELL_ResizeBitmap(pBITMAPHANDLE pSrc, pBITMAPHANDLE pDst);
INT KELL_RotateBitmap(pBITMAPHANDLE pBitmap, INT nAngle, UINT uFlags, COLORREF crFill);
INT KELL_SizeBitmap(pBITMAPHANDLE pBitmap, INT nWidth, INT nHeight, UINT uFlags);
INT KELL_TrimBitmap(pBITMAPHANDLE pBitmap, INT nCol, INT nRow, INT nWidth, INT nHeight);

/* "ltfilu.dll" */
INT KELL_LoadBitmap(const char16_t *pszFile, pBITMAPHANDLE pBitmap, UINT uStructSize,
                    INT nBitsPerPixel, INT nPage);
INT KELL_LoadMemory(const BYTE *pBuffer, pBITMAPHANDLE pBitmap, UINT uStructSize, INT nBitsPerPixel,
                    INT nPage, DWORD dwBufferSize);
INT KELL_PreLoadFilters(INT nFixedFilters, INT nCachedFilters, LPCSTR pszFilters);
INT KELL_SaveBitmap(const char16_t *pszFile, pBITMAPHANDLE pBitmap, INT nFormat, INT nBitsPerPixel,
                    INT nQFactor, UINT uFlags);
INT KELL_SaveBitmapMemory(HGLOBAL *phHandle, pBITMAPHANDLE pBitmap, INT nFormat, INT nBitsPerPixel,
                          INT nQFactor, DWORD *pdwSize);

/* "LTDISU.DLL" */
INT KELL_CopyBitmapPalette(pBITMAPHANDLE pDst, pBITMAPHANDLE pSrc);
HPALETTE KELL_CreatePaintPalette(HDC hDC, pBITMAPHANDLE pBitmap);
INT KELL_PaintDC(HDC hDC, pBITMAPHANDLE pBitmap, const RECT *prcSource, const RECT *prcDest,
                 DWORD dwRop);
INT KELL_PrintBitmap(HDC hDC, pBITMAPHANDLE pBitmap, INT nX, INT nY, INT nWidth, INT nHeight);
INT KELL_PrintBitmapFast(HDC hDC, pBITMAPHANDLE pBitmap, INT nX, INT nY, INT nWidth, INT nHeight);

/* "ltannu.dll" */
INT KELL_AnnLoad(const char16_t *pszFile, HANNOBJECT *phContainer);
INT KELL_AnnEnumerate(HANNOBJECT hContainer, pANNENUMCALLBACK pfnCallback, LPVOID pUserData,
                      UINT uFlags);
INT KELL_AnnGetLineWidth(HANNOBJECT hObject, double *pdLineWidth);
INT KELL_AnnSetLineWidth(HANNOBJECT hObject, double dLineWidth, UINT uFlags);
INT KELL_AnnSetRect(HANNOBJECT hContainer, const RECT *prcRect);
INT KELL_AnnRealize(pBITMAPHANDLE pBitmap, const RECT *prcBounds, HANNOBJECT hContainer,
                    BOOL bRedactOnly);
INT KELL_AnnPrint(HDC hDC, const RECT *prcBounds, HANNOBJECT hContainer);
INT KELL_AnnDestroy(HANNOBJECT hObject, UINT uFlags);

/* "Ltimgefxu.dll" */
INT KELL_AverageFilterBitmap(pBITMAPHANDLE pBitmap, INT nDim);
INT KELL_CombineBitmap(pBITMAPHANDLE pDst, INT nXDst, INT nYDst, INT nWidth, INT nHeight,
                       pBITMAPHANDLE pSrc, INT nXSrc, INT nYSrc, UINT uFlags);
INT KELL_SharpenBitmap(pBITMAPHANDLE pBitmap, INT nSharpness);

/* "ltimgcoru.dll" */
INT KELL_AutoTrimBitmap(pBITMAPHANDLE pBitmap, UINT uThreshold);
INT KELL_GetAutoTrimRect(pBITMAPHANDLE pBitmap, UINT uThreshold, RECT *prcTrim);

#endif /* NOVARCPRINT_IMAGES_IMAGING_BIND_H */
