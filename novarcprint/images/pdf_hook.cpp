/*
 * Stand-ins for the two calls image printing makes into the PDF printing
 * (a cached PDF, and an image on the convert printer).  The PDF printing
 * defines both; when it lands it removes this file.  Until then they say
 * in the log that the call has no printing behind it yet.
 */
#include "images.h"

int PrintNovarcPdfDocument(NovarcprintProcess *s, const char *szPath, int iPage, int iMode)
{
    s->Log("PrintNovarcPdfDocument(%s page:%d mode:%d) PDF printing not available", szPath, iPage,
           iMode);
    return 0;
}

int ConvertImageFile(NovarcprintProcess *s, const char *szName, int iPage, int iMode)
{
    s->Log("ConvertImageFile(%s page:%d mode:%d) image conversion not available", szName, iPage,
           iMode);
    return 0;
}
