/*
 * PDF printing and forms, convert and send: the request handlers of the
 * documents module and what the printer session and image printing call.
 * Everything here runs on a worker under the session's print lock.
 */
#ifndef NOVARCPRINT_DOCUMENTS_H
#define NOVARCPRINT_DOCUMENTS_H

#include "novarcprint_process.h"

/* Flags of PRINT_CONVERT_AND_SEND_FILES. */
#define CONVERT_PAGE_BY_PAGE 0x01
#define CONVERT_NORMALIZE 0x08

/* ---- Returning files (file_return.cpp) ---- */

/* Replaces the file by its zlib stream under the same name; false when the
 * file could not be compressed (the file is left as it was). */
bool CompressForReturn(NovarcprintProcess *pSession, const char *szPath);
/* The name message "DONE" and the end marker: nothing (more) follows. */
void SendLoneEndMarker(NovarcprintProcess *pSession);
/* snprintf into a path or name buffer; false when it did not fit (the
 * buffer then holds "", never a cut name that could be another file). */
bool FormatName(char *szOut, int iSize, const char *szFormat, ...)
    __attribute__((format(printf, 3, 4)));
/* "<name up to its first '.'>PG<page>.<extension>", the name of one page. */
void PageFileName(char *szOut, int iSize, const char *szName, int iPage, const char *szExtension);

/* ---- Convert and send (convert_send.cpp) ---- */

/* Joins the job's parts into the converter file; false when nothing or
 * not every part could be joined. */
bool MergeAmyuniPdfParts(NovarcprintProcess *pSession);
/* Ends the job's document, joins and returns what the converter wrote. */
void ConvertAndSendFiles(NovarcprintProcess *pSession, int iFlags);
int HandlePrintConvertAndSendFiles(NovarcprintProcess *pSession, MsgBuf *pMsg, int iType);

/* ---- The image convert printer (image_convert.cpp) ---- */

/* One image as one page file of the conversion format; 0, or -1 when the
 * image does not decode. */
int ConvertImageFile(NovarcprintProcess *pSession, const char *szName, int iPage, int iMode);
int HandleImageConversionOptions(NovarcprintProcess *pSession, MsgBuf *pMsg, int iType);

/* ---- The "CompImage" printer's output (comp_image_return.cpp) ---- */

/* The printer's TIFF file is there to be read. */
bool CompImageOutputReady(void);
/* Takes the file, enciphers, compresses and returns it, and removes what
 * the job left: 1 sent, 0 not sent, -1 the file could not be taken yet. */
int ReturnCompImageOutput(NovarcprintProcess *pSession);

/* ---- PDF printing and forms (pdf_print.cpp, pdf_forms.cpp) ---- */

int PrintNovarcPdfDocument(NovarcprintProcess *pSession, const char *szPath, int iPage, int iMode);
int HandlePrintPdfCompForm(NovarcprintProcess *pSession, MsgBuf *pMsg, int iType);
int HandleReceiveReturnFilledPdfForm(NovarcprintProcess *pSession, MsgBuf *pMsg, int iType);

/* ---- Web pages (print_url.cpp) ---- */

/* The longest URL RECEIVE_PRINT_URL takes, its NUL included. */
#define PRINT_URL_SIZE 2048
int HandleReceivePrintUrl(NovarcprintProcess *pSession, MsgBuf *pMsg, int iType);

#endif /* NOVARCPRINT_DOCUMENTS_H */
