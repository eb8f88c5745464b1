/*
 * Readers and builders of the update port's messages (see update_msgs.h).
 * Each reader is bounded by its payload and by each field's capacity: a
 * peer that sends too little, too much or nonsense gets its message
 * refused, never a read past its bytes.
 */
#include "update_msgs.h"

#include "kellib/payload.h"

#include <climits>
#include <cstdio>
#include <cstring>

namespace {

/* The transfers' sub-codes, in the order of the transfer table. */
const int kDataCodes[UPDATE_TRANSFER_KINDS] = {UPD_SERVICE_DATA,   UPD_IMAGING_DATA, UPD_ECG_DATA,
                                               UPD_CONVERTER_DATA, UPD_PDF_DATA,     UPD_VC8_DATA,
                                               UPD_VC9_DATA,       UPD_CLIENT_DATA};
const int kEndCodes[UPDATE_TRANSFER_KINDS] = {UPD_SERVICE_END,   UPD_IMAGING_END, UPD_ECG_END,
                                              UPD_CONVERTER_END, UPD_PDF_END,     UPD_VC8_END,
                                              UPD_VC9_END,       UPD_CLIENT_END};

void PutInt(char *out, int iValue)
{
    for (int i = 0; i < 4; i++)
        out[i] = (char)((unsigned)iValue >> (8 * i));
}

/* Appends bytes to a bounded output; false once it would not fit. */
struct Writer {
    char *out;
    int iSize;
    int iPos;
    bool Put(const void *p, int n)
    {
        if (n < 0 || n > iSize - iPos)
            return false;
        memcpy(out + iPos, p, (size_t)n);
        iPos += n;
        return true;
    }
    bool Byte(int v)
    {
        const char c = (char)v;
        return Put(&c, 1);
    }
    bool Int(int v)
    {
        char b[4];
        PutInt(b, v);
        return Put(b, 4);
    }
    bool String(const char *sz) { return Put(sz, (int)strlen(sz) + 1); }
};

int ReadTransfer(KelPayload &r, UpdateMessage *pMsg, bool bEnd)
{
    const bool bClient = pMsg->iSubCode == UPD_CLIENT_DATA || pMsg->iSubCode == UPD_CLIENT_END;
    if (bClient && (!r.Int32(&pMsg->iA) || !r.Int32(&pMsg->iB)))
        return UPD_READ_MALFORMED;
    if (bEnd)
        return r.Int32(&pMsg->iExpectedSize) ? UPD_READ_OK : UPD_READ_MALFORMED;
    pMsg->pChunk = r.Here();
    pMsg->iChunkLen = r.Left();
    return UPD_READ_OK;
}

int ReadGatewaySettings(KelPayload &r, GatewaySettings *pSettings)
{
    if (!r.Int32(&pSettings->iMode))
        return UPD_READ_MALFORMED;
    if (pSettings->iMode != 1)
        return UPD_READ_OK;
    char szNumber[32];
    if (!r.String(pSettings->szHost, sizeof(pSettings->szHost)) ||
        !r.String(pSettings->szPort, sizeof(pSettings->szPort)) ||
        !r.String(pSettings->szIdentity1, sizeof(pSettings->szIdentity1)) ||
        !r.String(pSettings->szIdentity2, sizeof(pSettings->szIdentity2)) ||
        !r.String(szNumber, sizeof(szNumber)))
        return UPD_READ_MALFORMED;
    pSettings->iNumber = GatewayNumber(szNumber);
    return UPD_READ_OK;
}

} // namespace

int UpdateTransferIndex(int iSubCode, bool *pbEnd)
{
    for (int i = 0; i < UPDATE_TRANSFER_KINDS; i++) {
        if (iSubCode == kDataCodes[i] || iSubCode == kEndCodes[i]) {
            *pbEnd = iSubCode == kEndCodes[i];
            return i;
        }
    }
    *pbEnd = false;
    return -1;
}

int ReadUpdateMessage(const char *pData, int iLen, UpdateMessage *pMsg)
{
    memset(pMsg, 0, sizeof(*pMsg));
    if (!pData || iLen <= 0)
        return UPD_READ_IGNORED;
    KelPayload r = KelPayload::Of(pData, iLen);
    r.Byte(&pMsg->iKind);
    if (pMsg->iKind != UPDATE_KIND && pMsg->iKind != UPDATE_KIND_VERSIONED)
        return UPD_READ_IGNORED;
    if (!r.Int32(&pMsg->iSubCode))
        return UPD_READ_MALFORMED;
    bool bEnd = false;
    if (UpdateTransferIndex(pMsg->iSubCode, &bEnd) >= 0)
        return ReadTransfer(r, pMsg, bEnd);
    switch (pMsg->iSubCode) {
    case UPD_VERSION:
    case UPD_IMAGING_QUERY:
    case UPD_ECG_QUERY:
    case UPD_CONVERTER_QUERY:
    case UPD_PDF_QUERY:
    case UPD_VC8_QUERY:
    case UPD_VC9_QUERY:
    case UPD_RESTART_FAX:
    case UPD_GATEWAY_SHUTDOWN:
        return UPD_READ_OK; /* no fields; anything after them is not read */
    case UPD_CLIENT_QUERY:
        return r.Int32(&pMsg->iA) && r.Int32(&pMsg->iB) ? UPD_READ_OK : UPD_READ_MALFORMED;
    case UPD_GATEWAY_SETTINGS:
        return ReadGatewaySettings(r, &pMsg->gateway);
    case UPD_RELAY_REQUEST:
        return r.Int32(&pMsg->iRelayNumber) && r.String(pMsg->szRelayText, RELAY_TEXT_SIZE)
                   ? UPD_READ_OK
                   : UPD_READ_MALFORMED;
    case UPD_RELAY_DOWNLOAD:
        if (!r.Int32(&pMsg->iRelayMarker))
            return UPD_READ_MALFORMED;
        /* An abort needs nothing more. */
        if (pMsg->iRelayMarker != -1 && !r.Int32(&pMsg->iRelayNumber))
            return UPD_READ_MALFORMED;
        pMsg->pRelayRest = r.Here();
        pMsg->iRelayRestLen = r.Left();
        return UPD_READ_OK;
    default:
        return UPD_READ_IGNORED;
    }
}

int ReadRelayStart(const char *pRest, int iLen, int *piSize, char *szName, int iNameSize)
{
    KelPayload r = KelPayload::Of(pRest, iLen);
    if (!r.Int32(piSize) || *piSize <= 0 || *piSize > UPDATE_MAX_TRANSFER_BYTES ||
        !r.String(szName, iNameSize))
        return UPD_READ_MALFORMED;
    return UPD_READ_OK;
}

int ReadRelayChunk(const char *pRest, int iLen, const char **ppChunk, int *piChunkLen)
{
    KelPayload r = KelPayload::Of(pRest, iLen);
    if (!r.Int32(piChunkLen) || *piChunkLen < 0 || *piChunkLen > r.Left())
        return UPD_READ_MALFORMED;
    *ppChunk = r.Here();
    return UPD_READ_OK;
}

int BuildVersionReply(char out[UPD_REPLY_VERSION_SIZE], int iLockedVersion)
{
    out[0] = UPD_REPLY_VERSION;
    PutInt(out + 1, PRINTKEEPER_VERSION_MINOR);
    PutInt(out + 5, PRINTKEEPER_VERSION_MAJOR);
    PutInt(out + 9, iLockedVersion);
    return UPD_REPLY_VERSION_SIZE;
}

int BuildStatusReply(char out[UPD_REPLY_STATUS_SIZE], int iStatus)
{
    out[0] = UPD_REPLY_STATUS;
    PutInt(out + 1, iStatus);
    return UPD_REPLY_STATUS_SIZE;
}

int BuildEndAck(char out[UPD_REPLY_END_ACK_SIZE])
{
    out[0] = UPD_REPLY_END_ACK;
    PutInt(out + 1, 0);
    return UPD_REPLY_END_ACK_SIZE;
}

int BuildQueryReply(char out[UPD_REPLY_QUERY_SIZE], int iValue, int iSubCode)
{
    out[0] = UPD_REPLY_QUERY;
    PutInt(out + 1, iValue);
    PutInt(out + 5, iSubCode);
    return UPD_REPLY_QUERY_SIZE;
}

int BuildRuntimeReply(char out[UPD_REPLY_RUNTIME_SIZE], bool bInstalled)
{
    out[0] = UPD_REPLY_RUNTIME;
    PutInt(out + 1, bInstalled ? 1 : 0);
    return UPD_REPLY_RUNTIME_SIZE;
}

int BuildRelayResult(char out[UPD_REPLY_RELAY_SIZE], bool bInstalled)
{
    PutInt(out, UPD_REPLY_RELAY);
    PutInt(out + 4, bInstalled ? 1 : 0);
    return UPD_REPLY_RELAY_SIZE;
}

int BuildGatewayRegistration(const GatewayRegistration &reg, char *out, int iSize)
{
    Writer w{out, iSize, 0};
    const bool ok = w.Byte(GATEWAY_KIND) && w.Int(GATEWAY_REGISTER) && w.String(reg.szIdentity2) &&
                    w.String(reg.szComputer) && w.String(reg.szTime) && w.Int(reg.iMilliseconds) &&
                    w.String(reg.szAddress) && w.String(reg.szIdentity1) && w.Int(reg.iNumber);
    return ok ? w.iPos : 0;
}

int BuildRelayRequest(int iNumber, const char *szText, char *out, int iSize)
{
    Writer w{out, iSize, 0};
    const bool ok =
        w.Byte(GATEWAY_KIND) && w.Int(GATEWAY_RELAY) && w.Int(iNumber) && w.String(szText);
    return ok ? w.iPos : 0;
}

void GatewayTimeStamp(const char *szCtime, char *out, int iSize)
{
    if (iSize <= 0)
        return;
    int n = 0;
    for (const char *p = szCtime; *p && *p != '\n' && *p != '\r' && n < iSize - 1; p++)
        out[n++] = *p == ' ' ? '_' : *p;
    out[n] = 0;
}

int GatewayNumber(const char *szText)
{
    const char *p = szText;
    while (*p == ' ' || (*p >= '\t' && *p <= '\r'))
        p++;
    const bool bNegative = *p == '-';
    if (*p == '-' || *p == '+')
        p++;
    long long llValue = 0;
    for (; *p >= '0' && *p <= '9'; p++) {
        llValue = llValue * 10 + (*p - '0');
        if (llValue > (long long)INT_MAX + 1)
            llValue = (long long)INT_MAX + 1;
    }
    if (bNegative)
        llValue = -llValue;
    if (llValue > INT_MAX)
        llValue = INT_MAX;
    return (int)llValue;
}
