/*
 * The signature and dispense-as-written images a form page carries.  The
 * server sends them before the form with their places (tenths of an inch
 * across from the printable area's left edge and down from the form's
 * print position); image printing keeps them pending until the form's
 * page ends.  A form whose dispense-as-written image is pending
 * leaves its own "daw" mark to the image.
 */
#include "form_canvas.h"
#include "images.h"

bool FormSignaturePending(const FormCanvas *c)
{
    return c->pSession->m_Images.m_bSignaturePending;
}

bool FormDawPending(const FormCanvas *c)
{
    return c->pSession->m_Images.m_bDawPending;
}

void PrintFormSignature(FormCanvas *c)
{
    PrintSignatureFile(c->pSession);
}

void PrintFormDaw(FormCanvas *c)
{
    PrintDawFile(c->pSession, c->pSession->m_Images.m_szDawFileName);
}
