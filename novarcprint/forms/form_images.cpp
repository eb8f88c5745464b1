/*
 * The signature and dispense-as-written images a form page carries.  The
 * server sends them before the form; the image module keeps them pending
 * until a page is ended.  Image reception is not part of this client yet,
 * so nothing is ever pending and the forms draw their own marks.
 */
#include "form_canvas.h"

bool FormSignaturePending(const FormCanvas *)
{
    return false;
}

bool FormDawPending(const FormCanvas *)
{
    return false;
}

void PrintFormSignature(FormCanvas *) {}

void PrintFormDaw(FormCanvas *) {}
