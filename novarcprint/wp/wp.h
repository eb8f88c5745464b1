/*
 * Word-processor documents: the handlers of the two print-document requests
 * and of PRINT_DATA_FIELD_INFO, and the pieces of the renderer that are
 * plain functions (the e-signature line, the structured heading).  The
 * document format itself is in wp_document.h, the data-field list in
 * data_fields.h.  Everything here runs under the session's print lock.
 */
#ifndef NOVARCPRINT_WP_H
#define NOVARCPRINT_WP_H

#include "novarcprint_process.h"
#include "wp_document.h"

/* Prints one document on the open printer: 1 printed, 0 when no printer
 * device context is open or the document could not be read. */
int PrintNovarcWpDocument(NovarcprintProcess *pSession, const char *pData, int iLen, bool bHeading);

/* Worker handlers (RequestHandler form). */
int HandlePrintNovarcDocument(NovarcprintProcess *pSession, MsgBuf *pMsg, int iType);
int HandleGetDataFieldInfo(NovarcprintProcess *pSession, MsgBuf *pMsg, int iType);

/* Flag bits of the e-signature line. */
#define ESIG_NAME 0x1
#define ESIG_DATE 0x2
#define ESIG_TIME 0x4
#define ESIG_AGENT 0x8

/* "Electronically signed by <name> on MM/DD/YYYY at hh:mm am"; the date is
 * a Julian day number, the time minutes since midnight. */
void FormatESignatureLine(char *szOut, int iSize, const char *szName, int iDate, int iTime,
                          int iFlags);

/* Spreads the items of a structured (JSON) heading over iWidth from (x, y)
 * in the selected font; false when the text is not one, so that the caller
 * draws it as plain text. */
bool DrawStructuredHeading(HDC hdc, const char *szHeading, int x, int y, int iWidth);

#endif /* NOVARCPRINT_WP_H */
