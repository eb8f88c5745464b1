/*
 * Prescriptions and optical forms: the request handlers.  Each form
 * message prints one page on the open printer, placed at the session's
 * print position; everything here runs under the session's print lock.
 */
#ifndef NOVARCPRINT_FORMS_H
#define NOVARCPRINT_FORMS_H

#include "novarcprint_process.h"

/* The seven prescription messages (general, Pennsylvania, the NJ blanks,
 * the NY stocks): 1 when the page was printed, 0 without a printer DC or
 * with a payload that does not hold the record. */
int HandlePrintPrescription(NovarcprintProcess *pSession, MsgBuf *pMsg, int iType);
/* PRINT_EYE_PRESCRIPTION and PRINT_CONTACT_LENS, the same way. */
int HandlePrintEyePrescription(NovarcprintProcess *pSession, MsgBuf *pMsg, int iType);
int HandlePrintContactLens(NovarcprintProcess *pSession, MsgBuf *pMsg, int iType);

#endif /* NOVARCPRINT_FORMS_H */
