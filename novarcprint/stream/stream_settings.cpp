/*
 * The settings messages that prepare a print stream, the heading and
 * footing record, the tokeniser of stream bytes and the PRINT_STREAM
 * worker.  Each payload is read whole before anything changes, so a short
 * or malformed one fails its request and leaves the session as it was.
 */
#include <cstring>

#include "stream.h"

namespace {

/* An int32 setting; a short payload fails the request. */
bool ReadIntSetting(NovarcprintProcess *pSession, MsgBuf *pMsg, const char *szName, int *pValue)
{
    if (pMsg->iLen < 4) {
        pSession->Log("%s payload too short iLen<%d>", szName, pMsg->iLen);
        return false;
    }
    *pValue = TakeInt(pMsg);
    return true;
}

bool IsLineEndByte(unsigned char c)
{
    return c == 0x0D || c == 0x0A || c == 0x17;
}

bool IsControlByte(unsigned char c)
{
    return IsLineEndByte(c) || c == 0x0C || c == 0xC4;
}

/* One NUL-terminated field of at most HEADING_FIELD_MAX characters. */
int ReadHeadingText(const char *pData, int iLen, char *szOut)
{
    const void *pEnd = memchr(pData, 0, (size_t)iLen);
    if (!pEnd)
        return -1;
    int n = (int)((const char *)pEnd - pData);
    if (n > HEADING_FIELD_MAX)
        return -1;
    memcpy(szOut, pData, (size_t)n);
    szOut[n] = 0;
    return n + 1;
}

int ReadInt32(const char *p)
{
    const unsigned char *u = (const unsigned char *)p;
    return (int)((unsigned)u[0] | (unsigned)u[1] << 8 | (unsigned)u[2] << 16 |
                 (unsigned)u[3] << 24);
}

} // namespace

int NextStreamToken(StreamCursor *pStream, char *szText, int *piTextLen)
{
    szText[0] = 0;
    *piTextLen = 0;
    if (pStream->iLen <= 0)
        return TOKEN_END;
    const unsigned char c = pStream->pData[0];
    if (c == 0xC4) {
        pStream->pData++;
        pStream->iLen--;
        return TOKEN_RULE_CELL;
    }
    if (IsLineEndByte(c) || c == 0x0C) {
        int iResult = IsLineEndByte(c) ? TOKEN_LINE_END : TOKEN_FORM_FEED;
        int iUsed = 1;
        if (pStream->iLen >= 2 && IsLineEndByte(pStream->pData[1])) {
            iResult = TOKEN_LINE_END_PAIR;
            iUsed = 2;
        }
        pStream->pData += iUsed;
        pStream->iLen -= iUsed;
        return iResult;
    }
    /* A run longer than the buffer is handed out in pieces: nothing is lost
     * and the next call goes on with the rest of the run. */
    int n = 0;
    while (n < pStream->iLen && n < STREAM_TEXT_MAX && !IsControlByte(pStream->pData[n]))
        n++;
    memcpy(szText, pStream->pData, (size_t)n);
    szText[n] = 0;
    *piTextLen = n;
    pStream->pData += n;
    pStream->iLen -= n;
    return TOKEN_TEXT;
}

bool ParseHeadingFooting(const char *pData, int iLen, HeadingFootingRecord *pRecord)
{
    memset(pRecord, 0, sizeof(*pRecord));
    if (!pData || iLen < 8)
        return false;
    pRecord->iHeadingType = ReadInt32(pData);
    pRecord->iFootingType = ReadInt32(pData + 4);
    int iUsed = ReadHeadingText(pData + 8, iLen - 8, pRecord->szHeading);
    if (iUsed < 0)
        return false;
    return ReadHeadingText(pData + 8 + iUsed, iLen - 8 - iUsed, pRecord->szFooting) >= 0;
}

int HandleSetPrintMode(NovarcprintProcess *s, MsgBuf *, int iType)
{
    switch (iType) {
    case SET_PRINT_SIZE_8:
    case SET_PRINT_SIZE_9:
        s->m_iPrintMode = iType;
        s->m_iLinesPerInch = 6;
        break;
    case SET_PRINT_SIZE_10:
        s->m_iLinesPerInch = 6;
        break;
    case SET_PRINT_SIZE_23:
        s->m_iLinesPerInch = 8;
        break;
    case SET_PRINT_SIZE_24:
        s->m_iPrintMode = SET_PRINT_SIZE_24;
        break;
    case SET_PRINT_SIZE_91:
        s->m_iBarCodeMode = 0;
        break;
    case SET_PRINT_SIZE_112:
        s->m_crTextColor = RGB(0, 0, 0);
        break;
    default:
        break;
    }
    s->Log("ThreadSetPrintMode iType:%d mode<%d> lpi<%d>", iType, s->m_iPrintMode,
           s->m_iLinesPerInch);
    return 1;
}

int HandleCustomFont(NovarcprintProcess *s, MsgBuf *pMsg, int)
{
    int iPoints;
    if (!ReadIntSetting(s, pMsg, "PRINT_STREAM_CUSTOM_FONT", &iPoints))
        return 0;
    int iLpi = 6, iIndex = 1;
    if (pMsg->iLen >= 4)
        iLpi = TakeInt(pMsg);
    /* Lines per inch without a whole font index: the index keeps row 1. */
    if (pMsg->iLen >= 4)
        iIndex = TakeInt(pMsg);
    s->m_iPrintMode = PRINT_STREAM_CUSTOM_FONT;
    s->m_Stream.m_iCustomPointSize = iPoints;
    s->m_Stream.m_iCustomLinesPerInch = iLpi;
    s->m_Stream.m_iFontIndex = iIndex;
    s->Log("PRINT_STREAM_CUSTOM_FONT size<%d> lpi<%d> font<%d>", iPoints, iLpi, iIndex);
    return 1;
}

int HandleBold(NovarcprintProcess *s, MsgBuf *pMsg, int)
{
    int iValue;
    if (!ReadIntSetting(s, pMsg, "SET_PRINTER_BOLD", &iValue))
        return 0;
    s->m_bBold = iValue > 0;
    s->Log("SET_PRINTER_BOLD <%d>", iValue);
    return 1;
}

int HandleFormLength(NovarcprintProcess *s, MsgBuf *pMsg, int)
{
    int iValue;
    if (!ReadIntSetting(s, pMsg, "PRINTER_FORM_LENGTH", &iValue))
        return 0;
    s->m_iFormLength = iValue;
    s->Log("PRINTER_FORM_LENGTH <%d>", iValue);
    return 1;
}

int HandleFormFeedOption(NovarcprintProcess *s, MsgBuf *pMsg, int)
{
    int iValue;
    if (!ReadIntSetting(s, pMsg, "SET_FORMFEED_OPTION", &iValue))
        return 0;
    s->m_iFormFeedOption = iValue;
    if (iValue == 0)
        s->m_bPageOpen = true;
    s->Log("SET_FORMFEED_OPTION <%d>", iValue);
    return 1;
}

int HandleSetPosition(NovarcprintProcess *s, MsgBuf *pMsg, int iType)
{
    const bool bVert = (iType == SET_VERT_POS);
    const char *szName = bVert ? "SET_VERT_POS" : "SET_HORZ_POS";
    int iValue;
    if (!ReadIntSetting(s, pMsg, szName, &iValue))
        return 0;
    HDC hdc = s->m_Printer.m_hPrinterDc;
    if (!hdc) {
        s->Log("%s <%d> no device context", szName, iValue);
        return 0;
    }
    const int iDevice = bVert ? ServerToDeviceY(hdc, iValue) : ServerToDeviceX(hdc, iValue);
    if (bVert) {
        s->m_Stream.m_iVertPos = iDevice;
        s->m_Stream.m_bVertPending = true;
    } else {
        s->m_Stream.m_iHorzPos = iDevice;
        s->m_Stream.m_bHorzPending = true;
    }
    s->Log("%s <%d> device<%d>", szName, iValue, iDevice);
    return 1;
}

int HandleBarCode(NovarcprintProcess *s, MsgBuf *pMsg, int)
{
    if (pMsg->iLen < 8) {
        s->Log("PRINT_BAR_CODE payload too short iLen<%d>", pMsg->iLen);
        return 0;
    }
    const int iMode = TakeInt(pMsg);
    const int iHeight = TakeInt(pMsg);
    s->m_iBarCodeMode = iMode;
    s->m_iBarCodeHeight = iHeight;
    s->Log("PRINT_BAR_CODE <%d> <%d>", iMode, iHeight);
    return 1;
}

int HandleFontColor(NovarcprintProcess *s, MsgBuf *pMsg, int)
{
    if (pMsg->iLen < 12) {
        s->Log("PRINT_FONT_COLOR payload too short iLen<%d>", pMsg->iLen);
        return 0;
    }
    int rgb[3];
    for (int &c : rgb)
        c = TakeInt(pMsg) & 0xff;
    s->m_crTextColor = RGB(rgb[0], rgb[1], rgb[2]);
    s->Log("PRINT_FONT_COLOR <%d> <%d> <%d>", rgb[0], rgb[1], rgb[2]);
    return 1;
}

int HandleHeadingFooting(NovarcprintProcess *s, MsgBuf *pMsg, int)
{
    s->Log("ReceiveHeadingFootingInfo()");
    HeadingFootingRecord r;
    if (!ParseHeadingFooting(pMsg->szBuf, pMsg->iLen, &r)) {
        s->Log("ReceiveHeadingFootingInfo() malformed record iLen<%d>", pMsg->iLen);
        return 0;
    }
    s->m_iHeadingType = r.iHeadingType;
    s->m_iFootingType = r.iFootingType;
    strcpy(s->m_szHeading, r.szHeading);
    strcpy(s->m_szFooting, r.szFooting);
    s->Log("ReceiveHeadingFootingInfo() heading<%d><%s> footing<%d><%s>", r.iHeadingType,
           r.szHeading, r.iFootingType, r.szFooting);
    return 1;
}

int HandlePrintNovarcStream(NovarcprintProcess *s, MsgBuf *pMsg, int)
{
    s->Log("TreadPrintNovarcStream");
    s->Log("ThreadPrintNovarcStream after WaitForSingleObject");
    int iResult = 0;
    if (pMsg->iLen > 0 && pMsg->szBuf) {
        s->Log("ThreadPrintNovarcStream PrintNovarcStream()");
        iResult = PrintNovarcStream(s, pMsg->szBuf, pMsg->iLen);
    }
    s->Log("END ThreadPrintNovarcStream");
    return iResult;
}
