/*
 * The update port's messages as plain records, and its replies as bytes.
 *
 * Everything here is a pure function of the bytes it is given: the readers
 * turn one payload into a record (or refuse it) before anything on the
 * workstation changes, and the builders lay out the replies and the
 * gateway's messages.  The update code, the tests and the fuzzer share
 * them; nothing here touches a socket or a file.
 */
#ifndef PRINTKEEPER_UPDATE_MSGS_H
#define PRINTKEEPER_UPDATE_MSGS_H

#include "printkeeper_msgs.h"

/* What a reader made of its bytes. */
#define UPD_READ_OK 1
#define UPD_READ_IGNORED 0      /* not for us: another kind, an unknown sub-code */
#define UPD_READ_MALFORMED -100 /* fields missing, too long or out of range */

#define GATEWAY_TEXT_SIZE 256
#define GATEWAY_PORT_SIZE 32
#define RELAY_TEXT_SIZE 1024
#define RELAY_NAME_SIZE 256

/* Sub-code 53. */
struct GatewaySettings {
    int iMode; /* 1 gateway mode, 2 gateway enabled, other: neither */
    char szHost[GATEWAY_TEXT_SIZE];
    char szPort[GATEWAY_PORT_SIZE];
    char szIdentity1[GATEWAY_TEXT_SIZE];
    char szIdentity2[GATEWAY_TEXT_SIZE];
    int iNumber;
};

/* One update message.  The pointers lie inside the payload given to the
 * reader and live as long as it does. */
struct UpdateMessage {
    int iKind;    /* UPDATE_KIND or UPDATE_KIND_VERSIONED */
    int iSubCode; /* UpdateSubCode */
    /* A transfer's data message: the chunk (the rest of the payload). */
    const char *pChunk;
    int iChunkLen;
    /* A transfer's end message: the size the file must have (0: unchecked). */
    int iExpectedSize;
    /* 24 (query), 25 and 26 (print client): the two version numbers. */
    int iA;
    int iB;
    GatewaySettings gateway;           /* 53 */
    int iRelayNumber;                  /* 234 and 235 */
    char szRelayText[RELAY_TEXT_SIZE]; /* 234 */
    int iRelayMarker;                  /* 235: -1 aborts */
    const char *pRelayRest;            /* 235: what follows marker and number */
    int iRelayRestLen;
};

/* Which transfer a data or end sub-code belongs to: its index in the
 * table of transfer kinds (update_transfer.cpp), or -1.  *pbEnd says
 * whether it is the end message. */
int UpdateTransferIndex(int iSubCode, bool *pbEnd);
#define UPDATE_TRANSFER_KINDS 8

/* Reads one update message (the payload of one wire message). */
int ReadUpdateMessage(const char *pData, int iLen, UpdateMessage *pMsg);

/* The first relay download message after a relay request: int32 total
 * size (1 to UPDATE_MAX_TRANSFER_BYTES) and the file name with its NUL. */
int ReadRelayStart(const char *pRest, int iLen, int *piSize, char *szName, int iNameSize);
/* A later one: int32 chunk length and that many bytes. */
int ReadRelayChunk(const char *pRest, int iLen, const char **ppChunk, int *piChunkLen);

/* Replies; each returns the number of bytes written to out. */
int BuildVersionReply(char out[UPD_REPLY_VERSION_SIZE], int iLockedVersion);
int BuildStatusReply(char out[UPD_REPLY_STATUS_SIZE], int iStatus);
int BuildEndAck(char out[UPD_REPLY_END_ACK_SIZE]);
int BuildQueryReply(char out[UPD_REPLY_QUERY_SIZE], int iValue, int iSubCode);
int BuildRuntimeReply(char out[UPD_REPLY_RUNTIME_SIZE], bool bInstalled);
int BuildRelayResult(char out[UPD_REPLY_RELAY_SIZE], bool bInstalled);

/* The gateway's registration message (0 when it does not fit iSize). */
struct GatewayRegistration {
    const char *szIdentity1;
    const char *szIdentity2;
    const char *szComputer;
    const char *szTime; /* GatewayTimeStamp */
    int iMilliseconds;
    const char *szAddress; /* dotted IPv4, "" when none */
    int iNumber;
};
int BuildGatewayRegistration(const GatewayRegistration &reg, char *out, int iSize);
/* The relay request sent to the gateway (0 when it does not fit iSize). */
int BuildRelayRequest(int iNumber, const char *szText, char *out, int iSize);
/* A ctime() text with every blank made "_" and the line end removed. */
void GatewayTimeStamp(const char *szCtime, char *out, int iSize);
/* atoi's reading of a decimal text, kept inside int's range. */
int GatewayNumber(const char *szText);

#endif /* PRINTKEEPER_UPDATE_MSGS_H */
