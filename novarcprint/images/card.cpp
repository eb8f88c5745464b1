/*
 * Card processing (image mode bit 0x08): insurance cards and identity
 * documents come off flatbed scanners with a border around them and a dark
 * band along the bottom.  The border is trimmed before the card is fitted
 * (with bit 0x40 the scan holds the front above the back, and each half is
 * trimmed on its own before they are joined again), and the dark rows at
 * the bottom are painted white after.
 */
#include "image_load.h"

namespace {

#define COLOUR_TRIM_FILTER 10
#define COLOUR_TRIM_THRESHOLD 70
#define HALVES_SHARPEN 900
/* A row with this many pixels that are not black is part of the card. */
#define CARD_ROW_PIXELS 10
#define WHITE RGB(255, 255, 255)

/* Black and white scans trim to the exact border colour; colour scans
 * are smoothed first so that scanner noise does not stop the trim. */
void TrimBorder(BITMAPHANDLE *pBitmap)
{
    if (pBitmap->BitsPerPixel < 4) {
        KELL_AutoTrimBitmap(pBitmap, 0);
        return;
    }
    BITMAPHANDLE smooth = {};
    if (KELL_CopyBitmap(&smooth, pBitmap, sizeof(smooth)) != L_SUCCESS)
        return;
    RECT rc;
    if (KELL_AverageFilterBitmap(&smooth, COLOUR_TRIM_FILTER) == L_SUCCESS &&
        KELL_GetAutoTrimRect(&smooth, COLOUR_TRIM_THRESHOLD, &rc) == L_SUCCESS &&
        rc.right > rc.left && rc.bottom > rc.top)
        KELL_TrimBitmap(pBitmap, rc.left, rc.top, rc.right - rc.left, rc.bottom - rc.top);
    KELL_FreeBitmap(&smooth);
}

void TrimHalves(BITMAPHANDLE *pBitmap)
{
    const int w = ShownWidth(*pBitmap), h = ShownHeight(*pBitmap) / 2;
    BITMAPHANDLE top = {}, bottom = {};
    if (h <= 0 || KELL_CopyBitmapRect(&top, pBitmap, sizeof(top), 0, 0, w, h) != L_SUCCESS)
        return;
    if (KELL_CopyBitmapRect(&bottom, pBitmap, sizeof(bottom), 0, h, w, h) != L_SUCCESS) {
        KELL_FreeBitmap(&top);
        return;
    }
    TrimBorder(&top);
    TrimBorder(&bottom);
    KELL_FillBitmap(pBitmap, WHITE);
    KELL_CombineBitmap(pBitmap, 0, 0, ShownWidth(top), ShownHeight(top), &top, 0, 0, 800);
    KELL_CombineBitmap(pBitmap, 0, ShownHeight(top), ShownWidth(bottom), ShownHeight(bottom),
                       &bottom, 0, 0, 800);
    KELL_SharpenBitmap(pBitmap, HALVES_SHARPEN);
    KELL_FreeBitmap(&top);
    KELL_FreeBitmap(&bottom);
}

} // namespace

void TrimCardImage(BITMAPHANDLE *pBitmap, int iMode)
{
    TrimBorder(pBitmap);
    if (iMode & 0x40)
        TrimHalves(pBitmap);
}

void CleanCardBottomEdge(BITMAPHANDLE *pBitmap)
{
    KELL_ChangeBitmapViewPerspective(pBitmap, pBitmap, L_TOP_LEFT);
    if (pBitmap->BitsPerPixel < 24)
        KELL_ColorResBitmap(pBitmap, pBitmap, sizeof(*pBitmap), 24, 0);
    const int w = pBitmap->Width, h = pBitmap->Height;
    BITMAPHANDLE white = {};
    if (w <= 0 || KELL_CreateBitmap(&white, sizeof(white), w, 1, 24) != L_SUCCESS)
        return;
    KELL_FillBitmap(&white, WHITE);
    /* From the last row up: a row with fewer than ten pixels that are not
     * black is the scanner's band and becomes white; the first row with ten
     * is the card, and the cleaning stops there, leaving it as it was. */
    for (int iRow = h - 1; iRow >= 0; iRow--) {
        int iCount = 0;
        for (int iCol = w - 1; iCol >= 0 && iCount < CARD_ROW_PIXELS; iCol--)
            if (KELL_GetPixelColor(pBitmap, iRow, iCol) != 0)
                iCount++;
        if (iCount >= CARD_ROW_PIXELS)
            break;
        KELL_CombineBitmap(pBitmap, 0, iRow, w, 1, &white, 0, 0, L_CB_OP_COPY);
    }
    KELL_FreeBitmap(&white);
}
