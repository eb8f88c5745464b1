/*
 * The server's side of an update connection (port 13002), shared by
 * novarc-send --update-port and the end-to-end tests: the update messages
 * (byte kind 3, int32 sub-code, fields), a file sent in chunks with its
 * end message, and the service's replies decoded.
 */
#ifndef NOVARC_SEND_UPDATE_SIDE_H
#define NOVARC_SEND_UPDATE_SIDE_H

#include <winsock2.h>

#include <string>
#include <vector>

/* Sub-codes by name ("version", "converter", "client", ...) or number;
 * -1 for an unknown name. */
int NovarcQueryCode(const std::string &name);

/* A transfer's data and end sub-codes by kind ("service", "imaging", "ecg",
 * "converter", "pdf", "vc2005", "vc2008", "client"); false when unknown. */
bool NovarcTransferCodes(const std::string &kind, int *pData, int *pEnd);

/* One update message's payload: byte 3, int32 sub-code, then the fields. */
std::string NovarcUpdateMessage(int subCode, const std::string &fields = std::string());

/* Sends one update message (sealed, as the server sends them). */
int NovarcSendUpdate(SOCKET sock, int subCode, const std::string &fields = std::string());

/* One line describing a reply of the update port. */
std::string NovarcDecodeUpdateReply(const std::string &reply);

struct NovarcTransfer {
    int dataCode = 0;
    int endCode = 0;
    std::string bytes;    /* the file */
    size_t chunk = 65536; /* bytes per data message */
    long long size = -1;  /* the end's expected size; -1: the file's */
    int a = 0, b = 0;     /* the print client's version numbers (25, 26) */
    bool waitEachStatus = true;
};

/* Sends a transfer and reads its replies; each reply decoded is appended to
 * log.  Returns true when every status was 1 and the end was acknowledged
 * within endWaitMs. */
bool NovarcRunTransfer(SOCKET sock, const NovarcTransfer &t, int endWaitMs,
                       std::vector<std::string> *log);

#endif /* NOVARC_SEND_UPDATE_SIDE_H */
