/*
 * Text reports: the settings messages that prepare a print stream, the
 * tokeniser of stream bytes and the layout engine that draws a stream on
 * the open printer.  Everything here runs under the session's print lock.
 */
#ifndef NOVARCPRINT_STREAM_H
#define NOVARCPRINT_STREAM_H

#include "draw.h"
#include "novarcprint_process.h"

/* A text run holds at most this many bytes; a longer run comes in pieces. */
#define STREAM_TEXT_MAX 2499
#define HEADING_FIELD_MAX 199
/* Lines per page of a form whose length leaves no usable line. */
#define STREAM_DEFAULT_FORM_LENGTH 66

/* Token codes of NextStreamToken. */
enum StreamToken {
    TOKEN_END = 0,
    TOKEN_TEXT = 1,
    TOKEN_LINE_END = 2,
    TOKEN_FORM_FEED = 3,
    TOKEN_LINE_END_PAIR = 4,
    TOKEN_RULE_CELL = 196
};

/* What is left of a stream; tokens are taken from its front. */
struct StreamCursor {
    const unsigned char *pData;
    int iLen;
};

/* The next token; a text run's bytes go to szText (NUL-terminated), their
 * count to *piTextLen.  szText holds STREAM_TEXT_MAX + 1 bytes. */
int NextStreamToken(StreamCursor *pStream, char *szText, int *piTextLen);

/* The heading/footing record of RECEIVE_HEADING_FOOTING_INFO. */
struct HeadingFootingRecord {
    int iHeadingType;
    int iFootingType;
    char szHeading[HEADING_FIELD_MAX + 1];
    char szFooting[HEADING_FIELD_MAX + 1];
};
bool ParseHeadingFooting(const char *pData, int iLen, HeadingFootingRecord *pRecord);

/* Draws one stream: 1 drawn, 0 nothing to do; raw mode: whether all was written. */
int PrintNovarcStream(NovarcprintProcess *pSession, const char *pData, int iLen);
/* Job-level reset of the pen position and page flags. */
void ResetPrintingFlag(NovarcprintProcess *pSession);

/* Worker handlers (RequestHandler form). */
int HandleSetPrintMode(NovarcprintProcess *pSession, MsgBuf *pMsg, int iType);
int HandleCustomFont(NovarcprintProcess *pSession, MsgBuf *pMsg, int iType);
int HandleBold(NovarcprintProcess *pSession, MsgBuf *pMsg, int iType);
int HandleFormLength(NovarcprintProcess *pSession, MsgBuf *pMsg, int iType);
int HandleFormFeedOption(NovarcprintProcess *pSession, MsgBuf *pMsg, int iType);
int HandleSetPosition(NovarcprintProcess *pSession, MsgBuf *pMsg, int iType);
int HandleBarCode(NovarcprintProcess *pSession, MsgBuf *pMsg, int iType);
int HandleFontColor(NovarcprintProcess *pSession, MsgBuf *pMsg, int iType);
int HandleHeadingFooting(NovarcprintProcess *pSession, MsgBuf *pMsg, int iType);
int HandlePrintNovarcStream(NovarcprintProcess *pSession, MsgBuf *pMsg, int iType);

#endif /* NOVARCPRINT_STREAM_H */
