/*
 * Loading a cached image for drawing: read and decipher, find its
 * annotations, decode, turn and lay the annotations over it.
 */
#include <cstdio>
#include <cstring>

#include "image_load.h"

namespace {

INT WINAPI CountObject(HANNOBJECT, LPVOID pUser)
{
    ++*(int *)pUser;
    return L_SUCCESS;
}

/* Lines thinner than one pixel vanish on paper: they are drawn one wide. */
INT WINAPI WidenHairline(HANNOBJECT hObject, LPVOID)
{
    double dWidth = 0;
    if (KELL_AnnGetLineWidth(hObject, &dWidth) == L_SUCCESS && dWidth < 1.0)
        KELL_AnnSetLineWidth(hObject, 1.0, 0);
    return L_SUCCESS;
}

/* The three places an image's annotation file may be, in the order tried:
 * the extension from the name's last dot replaced by ".ann", the same
 * from its first dot, and ".ann" added. */
int AnnotationCandidates(const char *szPath, char out[3][MAX_PATH])
{
    const char *pBase = strrchr(szPath, '\\');
    pBase = pBase ? pBase + 1 : szPath;
    const char *pLast = strrchr(pBase, '.');
    const char *pFirst = strchr(pBase, '.');
    int n = 0;
    for (const char *pDot : {pLast, pFirst})
        if (pDot && snprintf(out[n], MAX_PATH, "%.*s.ann", (int)(pDot - szPath), szPath) < MAX_PATH)
            n++;
    if (snprintf(out[n], MAX_PATH, "%s.ann", szPath) < MAX_PATH)
        n++;
    return n;
}

void FindAnnotations(const char *szPath, LoadedImage *pImage)
{
    char candidates[3][MAX_PATH];
    const int n = AnnotationCandidates(szPath, candidates);
    for (int i = 0; i < n; i++) {
        static_assert(sizeof pImage->szAnnotationPath == sizeof candidates[i]);
        memcpy(pImage->szAnnotationPath, candidates[i], sizeof candidates[i]);
        char16_t name[MAX_PATH];
        HANNOBJECT hContainer = NULL;
        if (!ImagingPath(candidates[i], name) || KELL_AnnLoad(name, &hContainer) != L_SUCCESS)
            continue;
        int iObjects = 0;
        KELL_AnnEnumerate(hContainer, CountObject, &iObjects, L_ANN_RECURSE);
        if (iObjects > 0)
            pImage->hAnnotations = hContainer;
        else
            KELL_AnnDestroy(hContainer, L_ANN_RECURSE);
        return;
    }
}

} // namespace

bool ImagingPath(const char *szPath, char16_t *out)
{
    return KelImagingName(szPath, out, MAX_PATH) == 1;
}

int ShownWidth(const BITMAPHANDLE &b)
{
    return b.ViewPerspective >= L_LEFT_TOP ? b.Height : b.Width;
}

int ShownHeight(const BITMAPHANDLE &b)
{
    return b.ViewPerspective >= L_LEFT_TOP ? b.Width : b.Height;
}

void RotateByCode(BITMAPHANDLE *pBitmap, int iRotation)
{
    int iAngle = 0;
    if (iRotation == ROTATE_90)
        iAngle = 9000;
    else if (iRotation == ROTATE_MINUS_90)
        iAngle = -9000;
    else if (iRotation == ROTATE_180)
        iAngle = 18000;
    if (iAngle)
        KELL_RotateBitmap(pBitmap, iAngle, L_ROTATE_RESIZE, RGB(255, 255, 255));
}

int LoadCachedImage(NovarcprintProcess *s, const char *szPath, const char *szName,
                    const DecodeChoice &choice, int iRotation, LoadedImage *pImage)
{
    CacheBytes bytes;
    bool bOpened = false;
    if (!ReadCacheFile(szPath, &bytes, &bOpened)) {
        if (!bOpened)
            s->Log("Unable To Read File %s", szPath);
        return 0;
    }
    FindAnnotations(szPath, pImage);
    const int iBits = pImage->hAnnotations ? choice.iBitsWithAnnotations : choice.iBitsPerPixel;
    KELL_PreLoadFilters(4, 4, "BMP,J2K,JPG,TIF");
    const int iLoaded = bytes.dwLen > 0
                            ? KELL_LoadMemory((const BYTE *)bytes.pData, &pImage->bitmap,
                                              sizeof(pImage->bitmap), iBits, 1, bytes.dwLen)
                            : 0;
    FreeCacheBytes(&bytes);
    if (iLoaded != L_SUCCESS) {
        s->Log("KELL_LoadMemory(%s) FAILED", szName);
        return -1;
    }
    pImage->bDecoded = true;
    RotateByCode(&pImage->bitmap, iRotation);
    if (pImage->hAnnotations) {
        const RECT rc = {0, 0, ShownWidth(pImage->bitmap) - 1, ShownHeight(pImage->bitmap) - 1};
        KELL_AnnSetRect(pImage->hAnnotations, &rc);
        KELL_AnnEnumerate(pImage->hAnnotations, WidenHairline, NULL, L_ANN_RECURSE);
    }
    return 1;
}

void PrintAnnotations(HDC hdc, LoadedImage *pImage, const RECT &rcBounds)
{
    if (!pImage->hAnnotations)
        return;
    KELL_AnnPrint(hdc, &rcBounds, pImage->hAnnotations);
    KELL_AnnDestroy(pImage->hAnnotations, L_ANN_RECURSE);
    pImage->hAnnotations = NULL;
}

void RealizeAnnotations(LoadedImage *pImage)
{
    if (!pImage->hAnnotations)
        return;
    KELL_AnnRealize(&pImage->bitmap, NULL, pImage->hAnnotations, FALSE);
    KELL_AnnDestroy(pImage->hAnnotations, L_ANN_RECURSE);
    pImage->hAnnotations = NULL;
}

void ReleaseLoadedImage(LoadedImage *pImage)
{
    if (pImage->hAnnotations)
        KELL_AnnDestroy(pImage->hAnnotations, L_ANN_RECURSE);
    pImage->hAnnotations = NULL;
    if (pImage->bDecoded)
        KELL_FreeBitmap(&pImage->bitmap);
    pImage->bDecoded = false;
    if (pImage->szAnnotationPath[0])
        DeleteFileA(pImage->szAnnotationPath);
    pImage->szAnnotationPath[0] = 0;
}
