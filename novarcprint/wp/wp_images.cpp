/*
 * The images of a document: inline images, signature images, letterheads
 * and the signatures waiting for the page end.  All of them are drawn by
 * the imaging library from the image cache; until its binding is in the
 * client, each call says so in the log and the layout keeps the room the
 * image takes, so the text around it stays where it belongs.
 */
#include "wp_render.h"

void WpPrintImageRun(WpRender *r, const WpRun &run)
{
    const WpImageKeys &keys = run.image;
    r->s->Log("PrintStreamImage(%s) imaging library not available", keys.pImageFileName);
    int iHeight = keys.iHeight * r->iDpiY / 100;
    const int iRoom = r->PageBottom() - (int)r->s->m_Stream.m_dY;
    if (iHeight > iRoom)
        iHeight = iRoom > 0 ? iRoom : 0;
    r->s->m_Stream.m_dY += iHeight;
}

void WpPrintSignatureImage(WpRender *r, const WpRun &run, int iTop)
{
    r->s->Log("PrintDocumentSignatureFile(%s) x:%d y:%d height:%d imaging library not available",
              run.szSignatureFile, run.iX, iTop, run.iImageHeight);
}

void WpPrintPendingSignatures(WpRender *) {}

void WpPrintLetterhead(WpRender *r, int iPage)
{
    if (r->pDoc->iPrintFlags & WP_FLAG_LETTERHEAD)
        r->s->Log("PrintLetterhead(%d) imaging library not available", iPage);
}

void WpDeleteImageFiles(WpRender *r)
{
    r->images.clear();
}
