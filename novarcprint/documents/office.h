/*
 * Office documents and ECG reports: receiving Word and Excel files,
 * printing them through the office program (the registered headless one,
 * or the office library), and ECG reports through the ECG library.
 */
#ifndef NOVARCPRINT_OFFICE_H
#define NOVARCPRINT_OFFICE_H

#include "novarcprint_process.h"

#define WORD_DOCUMENT_FOLDER "c:\\novarc\\word_documents"
#define EXCEL_DOCUMENT_FOLDER "c:\\novarc\\excel_documents"
#define ECG_DOCUMENT_FOLDER "c:\\novarc\\ecg"
/* The compressed pieces of one office file held at most. */
#define OFFICE_FILE_MAX_BYTES (64 * 1024 * 1024)
#define OFFICE_BUFFER_INITIAL 10000
/* Each text of a print request, its NUL included. */
#define OFFICE_TEXT_SIZE 100
#define OPEN_OFFICE_APP_PATH_KEY                                                                   \
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\soffice.exe"

/* What a PRINT_WORD_DOCUMENT or PRINT_EXCEL_DOCUMENT payload carries. */
struct OfficePrintRecord {
    char szName[MAX_PATH];
    char szText1[OFFICE_TEXT_SIZE];
    char szText2[OFFICE_TEXT_SIZE];
};
/* False when the name is missing or a field overflows; absent texts are "". */
bool ParseOfficePrintRecord(const char *pData, int iLen, OfficePrintRecord *pRecord);

/* The capabilities of the printer-open reply: 1 when the registered
 * headless office program is there (which sets the session's flag),
 * else what the office library says. */
int WordAvailable(NovarcprintProcess *pSession);
int ExcelAvailable(NovarcprintProcess *pSession);

/* Request handlers (RequestHandler form). */
int HandleReceiveWordDocument(NovarcprintProcess *pSession, MsgBuf *pMsg, int iType);
int HandleReceiveEndWordDocument(NovarcprintProcess *pSession, MsgBuf *pMsg, int iType);
int HandleReceiveExcelDocument(NovarcprintProcess *pSession, MsgBuf *pMsg, int iType);
int HandleReceiveEndExcelDocument(NovarcprintProcess *pSession, MsgBuf *pMsg, int iType);
int HandlePrintWordDocument(NovarcprintProcess *pSession, MsgBuf *pMsg, int iType);
int HandlePrintExcelDocument(NovarcprintProcess *pSession, MsgBuf *pMsg, int iType);
int HandlePrintEcgDocument(NovarcprintProcess *pSession, MsgBuf *pMsg, int iType);

/* Ends the fax or converter printer's document before an outside program
 * prints on the same printer (ecg.cpp and office.cpp share it). */
void EndDocumentForOutsideProgram(NovarcprintProcess *pSession);
/* After the outside program: portrait again, the spool file counted up,
 * the fax or converter printer reopened. */
void ResumeAfterOutsideProgram(NovarcprintProcess *pSession);

/* The thread on a desktop of its own while an outside program runs, back
 * on its own desktop at the end of the scope. */
class DummyDesktop {
public:
    DummyDesktop();
    ~DummyDesktop();
    DummyDesktop(const DummyDesktop &) = delete;
    DummyDesktop &operator=(const DummyDesktop &) = delete;

private:
    HDESK m_hPrevious;
    HDESK m_hDesktop;
};

#endif /* NOVARCPRINT_OFFICE_H */
