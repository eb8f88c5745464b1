/*
 * The imaging library: decoding, transforming, saving and drawing bitmaps,
 * and annotation files.  One header for both sides: the component that
 * implements it (components/imaging/) and the print client's binding
 * (novarcprint/images/), which loads it by the DLL names below and looks
 * every function up by name at each call.
 *
 * Windows types only.  File names are UTF-16 (char16_t, since wchar_t is
 * 32 bits wide on Linux).  Every function returning INT gives L_SUCCESS (1)
 * on success and a negative L_ERR_* code on failure; a binding that cannot
 * reach a function gives 0, which is a failure too.
 *
 * Pixel coordinates (rows, columns, rectangles inside a bitmap) are those
 * of the bitmap as it is shown: its view perspective applied.
 */
#ifndef NOVARC_IMAGING_H
#define NOVARC_IMAGING_H

#include <winsock2.h> /* before windows.h, which would bring the old winsock.h */
#include <windows.h>

#ifndef __cplusplus
#include <uchar.h>
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* The DLL names the library answers to, in the order a client loads them. */
#define L_DLL_KERNEL "ltkrnu.dll"
#define L_DLL_FILES "ltfilu.dll"
#define L_DLL_TWAIN "lttwnu.dll"
#define L_DLL_DISPLAY "LTDISU.DLL"
#define L_DLL_ANNOTATIONS "ltannu.dll"
#define L_DLL_EFFECTS "Ltimgefxu.dll"
#define L_DLL_CORRECTION "ltimgcoru.dll"

/* Results. */
#define L_SUCCESS 1
#define L_ERR_FAILURE (-1)
#define L_ERR_NO_MEMORY (-2)
#define L_ERR_INVALID_PARAMETER (-3) /* null pointer, wrong structure size, bad rectangle */
#define L_ERR_FILE_NOT_FOUND (-4)
#define L_ERR_FILE_READ (-5)
#define L_ERR_FILE_WRITE (-6)
#define L_ERR_FILE_FORMAT (-7) /* not a format we accept, or damaged */
#define L_ERR_PAGE_NOT_FOUND (-8)
#define L_ERR_TOO_LARGE (-9)    /* more pixels than the library takes */
#define L_ERR_NO_BITMAP (-10)   /* the handle holds no image */
#define L_ERR_CANNOT_DRAW (-11) /* the DC cannot be drawn on now */
#define L_ERR_ANN_FORMAT (-12)  /* not an annotation file of ours */

/* View perspectives: where the first stored row and column are shown.
 * 5 to 8 show the stored rows as columns: width and height exchange. */
#define L_TOP_LEFT 1
#define L_TOP_RIGHT 2
#define L_BOTTOM_RIGHT 3
#define L_BOTTOM_LEFT 4
#define L_LEFT_TOP 5
#define L_RIGHT_TOP 6
#define L_RIGHT_BOTTOM 7
#define L_LEFT_BOTTOM 8

/* File formats for saving. */
#define L_FMT_BMP 1
#define L_FMT_JPEG 2 /* nQFactor: quality 1-100 (0: 75) */
#define L_FMT_PNG 3
#define L_FMT_TIF 4 /* uncompressed */
#define L_FMT_TIF_LZW 5
#define L_FMT_JP2 6     /* nQFactor: signal-to-noise target in dB 1-99; 0 or 100 lossless */
#define L_FMT_TIF_G4 29 /* CCITT group 4, 1 bit per pixel */

/* L_RotateBitmap flags. */
#define L_ROTATE_RESIZE 0x0001   /* grow the bitmap to hold the whole image */
#define L_ROTATE_RESAMPLE 0x0002 /* interpolate (otherwise nearest pixel) */

/* L_SizeBitmap flags. */
#define L_SIZE_RESAMPLE 0x0001 /* smooth (otherwise nearest pixel) */

/* L_ColorResBitmap flags. */
#define L_COLORRES_DITHER 0x0001 /* dither when reducing to 1 bit (else threshold) */

/* L_CombineBitmap: the operation is in bits 16-19; the low 16 bits are
 * accepted and ignored, so callers that pass channel selections there
 * place the source unchanged. */
#define L_CB_OP_COPY 0x00000
#define L_CB_OP_AND 0x10000 /* darker of the two: black marks, white keeps */
#define L_CB_OP_OR 0x20000  /* lighter of the two */
#define L_CB_OP_MASK 0xF0000

/* Annotation flags. */
#define L_ANN_RECURSE 0x0001 /* a container: apply to every object in it */

/* The bitmap handle: 216 bytes.  The image itself is the library's; copy
 * bitmaps with L_CopyBitmap, never by copying this structure. */
#define L_BITMAPHANDLE_SIZE 216
typedef struct tagBITMAPHANDLE {
    UINT uStructSize;    /* L_BITMAPHANDLE_SIZE */
    INT Width;           /* stored columns (shown as rows for perspectives 5-8) */
    INT Height;          /* stored rows */
    INT BitsPerPixel;    /* 1, 2, 4, 8, 16, 24 or 32 */
    INT BytesPerLine;    /* a row of the Windows DIB layout, 4-byte aligned */
    DWORD Size;          /* BytesPerLine x Height */
    INT ViewPerspective; /* L_TOP_LEFT ... L_LEFT_BOTTOM */
    INT XResolution;     /* dots per inch, 0 when unknown */
    INT YResolution;
    DWORD Flags; /* L_BITMAP_* */
    union {
        void *pImage; /* the library's; do not touch */
        ULONGLONG qwPad;
    } Private;
    BYTE Reserved[168];
} BITMAPHANDLE, *pBITMAPHANDLE;

#define L_BITMAP_ALLOCATED 0x0001 /* holds an image */
#define L_BITMAP_COMPRESSED                                                                        \
    0x0002 /* still the pixels of a JPEG, JPEG 2000 or G4 file,                                    \
              whose bytes a PDF can carry as they are */

typedef struct HANNOBJECT__ *HANNOBJECT;
/* Called once per annotation object; any result other than L_SUCCESS
 * stops the enumeration and is returned by L_AnnEnumerate. */
typedef INT(WINAPI *pANNENUMCALLBACK)(HANNOBJECT hObject, LPVOID pUserData);

/* "ltkrnu.dll": bitmaps. */
INT WINAPI L_AccessBitmap(pBITMAPHANDLE pBitmap);
INT WINAPI L_ReleaseBitmap(pBITMAPHANDLE pBitmap);
INT WINAPI L_ChangeBitmapViewPerspective(pBITMAPHANDLE pDst, pBITMAPHANDLE pSrc,
                                         INT nViewPerspective);
INT WINAPI L_ColorResBitmap(pBITMAPHANDLE pSrc, pBITMAPHANDLE pDst, UINT uStructSize,
                            INT nBitsPerPixel, UINT uFlags);
INT WINAPI L_CopyBitmap(pBITMAPHANDLE pDst, pBITMAPHANDLE pSrc, UINT uStructSize);
INT WINAPI L_CopyBitmapRect(pBITMAPHANDLE pDst, pBITMAPHANDLE pSrc, UINT uStructSize, INT nCol,
                            INT nRow, INT nWidth, INT nHeight);
INT WINAPI L_CreateBitmap(pBITMAPHANDLE pBitmap, UINT uStructSize, INT nWidth, INT nHeight,
                          INT nBitsPerPixel);
INT WINAPI L_FillBitmap(pBITMAPHANDLE pBitmap, COLORREF crFill);
void WINAPI L_FreeBitmap(pBITMAPHANDLE pBitmap);
COLORREF WINAPI L_GetPixelColor(pBITMAPHANDLE pBitmap, INT nRow, INT nCol);
INT WINAPI L_PutPixelColor(pBITMAPHANDLE pBitmap, INT nRow, INT nCol, COLORREF crColor);
INT WINAPI L_ResizeBitmap(pBITMAPHANDLE pSrc, pBITMAPHANDLE pDst);
INT WINAPI L_RotateBitmap(pBITMAPHANDLE pBitmap, INT nAngle, UINT uFlags, COLORREF crFill);
INT WINAPI L_SizeBitmap(pBITMAPHANDLE pBitmap, INT nWidth, INT nHeight, UINT uFlags);
INT WINAPI L_TrimBitmap(pBITMAPHANDLE pBitmap, INT nCol, INT nRow, INT nWidth, INT nHeight);

/* "ltfilu.dll": files.  nPage counts from 1 (0 is the first page too). */
INT WINAPI L_LoadBitmap(const char16_t *pszFile, pBITMAPHANDLE pBitmap, UINT uStructSize,
                        INT nBitsPerPixel, INT nPage);
INT WINAPI L_LoadMemory(const BYTE *pBuffer, pBITMAPHANDLE pBitmap, UINT uStructSize,
                        INT nBitsPerPixel, INT nPage, DWORD dwBufferSize);
INT WINAPI L_PreLoadFilters(INT nFixedFilters, INT nCachedFilters, LPCSTR pszFilters);
INT WINAPI L_SaveBitmap(const char16_t *pszFile, pBITMAPHANDLE pBitmap, INT nFormat,
                        INT nBitsPerPixel, INT nQFactor, UINT uFlags);
/* The file's bytes in a new GlobalAlloc block (free it with GlobalFree). */
INT WINAPI L_SaveBitmapMemory(HGLOBAL *phHandle, pBITMAPHANDLE pBitmap, INT nFormat,
                              INT nBitsPerPixel, INT nQFactor, DWORD *pdwSize);

/* "LTDISU.DLL": drawing on a device context. */
INT WINAPI L_CopyBitmapPalette(pBITMAPHANDLE pDst, pBITMAPHANDLE pSrc);
HPALETTE WINAPI L_CreatePaintPalette(HDC hDC, pBITMAPHANDLE pBitmap);
INT WINAPI L_PaintDC(HDC hDC, pBITMAPHANDLE pBitmap, const RECT *prcSource, const RECT *prcDest,
                     DWORD dwRop);
INT WINAPI L_PrintBitmap(HDC hDC, pBITMAPHANDLE pBitmap, INT nX, INT nY, INT nWidth, INT nHeight);
INT WINAPI L_PrintBitmapFast(HDC hDC, pBITMAPHANDLE pBitmap, INT nX, INT nY, INT nWidth,
                             INT nHeight);

/* "ltannu.dll": annotation files (the format is in docs/annotations.md). */
INT WINAPI L_AnnLoad(const char16_t *pszFile, HANNOBJECT *phContainer);
INT WINAPI L_AnnEnumerate(HANNOBJECT hContainer, pANNENUMCALLBACK pfnCallback, LPVOID pUserData,
                          UINT uFlags);
INT WINAPI L_AnnGetLineWidth(HANNOBJECT hObject, double *pdLineWidth);
INT WINAPI L_AnnSetLineWidth(HANNOBJECT hObject, double dLineWidth, UINT uFlags);
INT WINAPI L_AnnSetRect(HANNOBJECT hContainer, const RECT *prcRect);
INT WINAPI L_AnnRealize(pBITMAPHANDLE pBitmap, const RECT *prcBounds, HANNOBJECT hContainer,
                        BOOL bRedactOnly);
INT WINAPI L_AnnPrint(HDC hDC, const RECT *prcBounds, HANNOBJECT hContainer);
INT WINAPI L_AnnDestroy(HANNOBJECT hObject, UINT uFlags);

/* "Ltimgefxu.dll": filters and combining. */
INT WINAPI L_AverageFilterBitmap(pBITMAPHANDLE pBitmap, INT nDim);
INT WINAPI L_CombineBitmap(pBITMAPHANDLE pDst, INT nXDst, INT nYDst, INT nWidth, INT nHeight,
                           pBITMAPHANDLE pSrc, INT nXSrc, INT nYSrc, UINT uFlags);
INT WINAPI L_SharpenBitmap(pBITMAPHANDLE pBitmap, INT nSharpness);

/* "ltimgcoru.dll": border trimming. */
INT WINAPI L_AutoTrimBitmap(pBITMAPHANDLE pBitmap, UINT uThreshold);
INT WINAPI L_GetAutoTrimRect(pBITMAPHANDLE pBitmap, UINT uThreshold, RECT *prcTrim);

#ifdef __cplusplus
}
#endif

#endif /* NOVARC_IMAGING_H */
