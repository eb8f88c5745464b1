/*
 * A cached image made ready to draw: its file read (and deciphered), its
 * annotation file found and loaded, the picture decoded, turned by the
 * rotation code and its annotations laid over it.  Whole-page scans,
 * document images and the image conversion of the PDF printing share it.
 * Under the print lock.
 */
#ifndef NOVARCPRINT_IMAGES_IMAGE_LOAD_H
#define NOVARCPRINT_IMAGES_IMAGE_LOAD_H

#include "imaging_bind.h"
#include "images.h"

/* The rotation codes of IMAGE_SETTINGS and of document image records. */
#define ROTATE_90 1
#define ROTATE_MINUS_90 2
#define ROTATE_180 3

struct LoadedImage {
    BITMAPHANDLE bitmap = {};
    bool bDecoded = false;
    HANNOBJECT hAnnotations = NULL;       /* NULL: none found, or none with objects */
    char szAnnotationPath[MAX_PATH] = ""; /* the annotation file last tried */
};

/* How to decode: the depth asked of the library for a picture with or
 * without annotations (0: as stored). */
struct DecodeChoice {
    int iBitsPerPixel;
    int iBitsWithAnnotations;
};

/* Reads, decodes, rotates and annotates the cache file szPath.  1 when
 * ready; 0 when the file cannot be read (logged "Unable To Read File %s"
 * when it cannot be opened); -1 when it does not decode (logged
 * "KELL_LoadMemory(%s) FAILED" with szName). */
int LoadCachedImage(NovarcprintProcess *pSession, const char *szPath, const char *szName,
                    const DecodeChoice &choice, int iRotation, LoadedImage *pImage);

/* Frees the picture and the annotations and deletes the annotation file
 * last tried (annotations go with the one print they came for). */
void ReleaseLoadedImage(LoadedImage *pImage);

/* The picture's width and height as it lies on the page. */
int ShownWidth(const BITMAPHANDLE &bitmap);
int ShownHeight(const BITMAPHANDLE &bitmap);

/* Turns a bitmap by a rotation code, growing it and filling with white. */
void RotateByCode(BITMAPHANDLE *pBitmap, int iRotation);

/* Draws the annotations into rcBounds of the page and destroys them. */
void PrintAnnotations(HDC hdc, LoadedImage *pImage, const RECT &rcBounds);
/* Burns the annotations into the picture and destroys them. */
void RealizeAnnotations(LoadedImage *pImage);

/* Card processing (card.cpp): the border trimmed (and with the halves
 * mode the two stacked halves trimmed and joined), and after fitting the
 * scanner's dark bottom rows cleaned to white. */
void TrimCardImage(BITMAPHANDLE *pBitmap, int iMode);
void CleanCardBottomEdge(BITMAPHANDLE *pBitmap);

/* In raw-data mode an image's own GDI document ends with it. */
void CloseRawImageDocument(NovarcprintProcess *pSession);

/* A cache file name as the library takes it (UTF-16). */
bool ImagingPath(const char *szPath, char16_t *out);

#endif /* NOVARCPRINT_IMAGES_IMAGE_LOAD_H */
