/*
 * The images of a document: inline images, signature images, letterheads
 * and the signatures waiting for the page end.  All of them come from the
 * image cache and are drawn by image printing; what is not in the cache
 * leaves its room on the page (an inline image its "Virtual Image" box, a
 * signature its blank box), so the text around it stays where it belongs.
 */
#include <algorithm>

#include "images.h"
#include "wp_render.h"

/* An inline image at the pen, within the usable width and the room above
 * the page bottom; y moves past it.  The list's embedded bytes are the
 * image's annotations when the list says it has some. */
void WpPrintImageRun(WpRender *r, const WpRun &run)
{
    const WpImageKeys &keys = run.image;
    StreamImageRecord record;
    record.szName = keys.pImageFileName;
    record.iWidth = keys.iWidth;
    record.iHeight = keys.iHeight;
    record.iJustification = keys.iJustification;
    record.iRotation = keys.iRotation;
    if (keys.iAnnotationFlag && keys.bHasData && keys.iDataSize > 0) {
        record.pAnnotations = (const char *)keys.pData;
        record.iAnnotationLen = keys.iDataSize;
    }
    const int iLeft = r->Margins().iLeft;
    int x = (int)r->s->m_Stream.m_dX;
    int y = (int)r->s->m_Stream.m_dY;
    PrintStreamImage(r->s, r->hdc, record, &x, &y, iLeft, std::max(0, r->UsableWidth()),
                     std::max(0, r->PageBottom() - y), 0);
    r->s->m_Stream.m_dY = y;
}

/* A signature run's image in its box; a box with no height has nothing to
 * show (painting it page-tall would cover the document). */
void WpPrintSignatureImage(WpRender *r, const WpRun &run, int iTop)
{
    if (run.iImageHeight > 0 &&
        PrintDocumentSignatureFile(r->s, run.szSignatureFile, run.iX, iTop, run.iImageHeight) != 0)
        return;
    r->s->Log("PrintDocumentSignatureFile(%s) x:%d y:%d height:%d not in the image cache",
              run.szSignatureFile, run.iX, iTop, run.iImageHeight);
}

void WpPrintPendingSignatures(WpRender *r)
{
    if (r->s->m_Images.m_bSignaturePending)
        PrintSignatureFile(r->s);
}

void WpPrintLetterhead(WpRender *r, int iPage)
{
    if (r->pDoc->iPrintFlags & WP_FLAG_LETTERHEAD)
        PrintLetterhead(r->s, iPage);
}

void WpDeleteImageFiles(WpRender *r)
{
    for (const WpImageKeys &keys : r->images)
        DeleteWpStringImageFile(r->s, keys.pImageFileName);
    r->images.clear();
}
