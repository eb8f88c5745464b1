/*
 * The images of a document: inline images, signature images, letterheads
 * and the signatures waiting for the page end.  All of them come from the
 * image cache and are drawn by the imaging library.  Until the cache and
 * its printing are in the client, every inline image is a file not found:
 * it is drawn as the "Virtual Image" placeholder, in the room the picture
 * would take and where its justification puts it, so the text around it
 * stays where it belongs; the other calls say in the log what they would
 * have drawn.
 */
#include <algorithm>
#include <cstring>

#include "wp_render.h"

namespace {

/* The cached picture named by the list, drawn at (x, y) within the box
 * (width by height, device units).  False when it is not in the cache or
 * does not decode: the caller draws the placeholder. */
bool DrawCachedImage(WpRender *r, const WpImageKeys &keys, int, int, int, int)
{
    r->s->Log("PrintStreamImage(%s) not in the image cache", keys.pImageFileName);
    return false;
}

/* Where the justification puts a box of iWidth: centred on the page (0),
 * at the left position (1) or against the right edge (2). */
int JustifiedX(WpRender *r, const WpImageKeys &keys, int iLeft, int iRight, int iWidth)
{
    switch (keys.iJustification) {
    case 0:
        return (r->iHorzRes - iWidth) / 2;
    case 2:
        return iRight - iWidth;
    default:
        return iLeft;
    }
}

void DrawPlaceholder(WpRender *r, int x, int y, int iWidth, int iHeight)
{
    static const char kText[] = "Virtual Image";
    SIZE size = {0, 0};
    GetTextExtentPoint32A(r->hdc, kText, (int)strlen(kText), &size);
    TextOutA(r->hdc, x + (iWidth - size.cx) / 2, y + iHeight / 2, kText, (int)strlen(kText));
    HGDIOBJ hOldBrush = SelectObject(r->hdc, GetStockObject(NULL_BRUSH));
    Rectangle(r->hdc, x, y, x + iWidth, y + iHeight);
    SelectObject(r->hdc, hOldBrush);
}

} // namespace

/* An inline image at the pen: its box is the list's size in hundredths of
 * an inch, each side cut on its own, the width to the usable width (not to
 * the right edge's coordinate, which would let a wide image start left of
 * the margin) and the height to the room above the page bottom; y moves
 * past it. */
void WpPrintImageRun(WpRender *r, const WpRun &run)
{
    const WpImageKeys &keys = run.image;
    const int iLeft = r->Margins().iLeft;
    const int iRight = iLeft + std::max(0, r->UsableWidth());
    const int iRoom = std::max(0, r->PageBottom() - (int)r->s->m_Stream.m_dY);
    /* A negative size from the list is an empty box. */
    const int iWidth =
        (int)std::clamp((long long)keys.iWidth * r->iDpiX / 100, 0LL, (long long)(iRight - iLeft));
    const int iHeight =
        (int)std::clamp((long long)keys.iHeight * r->iDpiY / 100, 0LL, (long long)iRoom);
    const int x = JustifiedX(r, keys, iLeft, iRight, iWidth);
    const int y = (int)r->s->m_Stream.m_dY;
    if (!DrawCachedImage(r, keys, x, y, iWidth, iHeight))
        DrawPlaceholder(r, x, y, iWidth, iHeight);
    r->s->m_Stream.m_dY += iHeight;
}

void WpPrintSignatureImage(WpRender *r, const WpRun &run, int iTop)
{
    r->s->Log("PrintDocumentSignatureFile(%s) x:%d y:%d height:%d not in the image cache",
              run.szSignatureFile, run.iX, iTop, run.iImageHeight);
}

void WpPrintPendingSignatures(WpRender *) {}

void WpPrintLetterhead(WpRender *r, int iPage)
{
    if (r->pDoc->iPrintFlags & WP_FLAG_LETTERHEAD)
        r->s->Log("PrintLetterhead(%d) not in the image cache", iPage);
}

void WpDeleteImageFiles(WpRender *r)
{
    r->images.clear();
}
