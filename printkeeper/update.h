/*
 * The update channel (port 13002): what its files share.
 *
 *   update_msgs.cpp     the messages as records and the replies as bytes
 *   update_port.cpp     reading a connection, dispatching by sub-code,
 *                       sending replies, a connection's end
 *   update_transfer.cpp the chunked transfers into c:\kel\transfer, their
 *                       bounds and their verification
 *   update_install.cpp  what a verified transfer installs
 *   update_queries.cpp  what is installed: converter, PDF engine, imaging
 *                       library, runtime libraries, print clients
 *   gateway.cpp         the gateway settings, registration and relay
 *
 * Running installers and placing clients in c:\novarc\bin2 need more
 * rights than the service has: they go through the privileged helper
 * (privileged.h), which takes only files the update code has verified
 * and put at the fixed places it expects.
 *
 * Everything runs on the main window's thread, one message at a time.
 */
#ifndef PRINTKEEPER_UPDATE_H
#define PRINTKEEPER_UPDATE_H

#include <windows.h>
#include <winsock2.h>

#include "update_msgs.h"

/* update_port.cpp */
/* Sends one reply on an update connection (sealed, uncompressed unless
 * the flags say otherwise). */
void SendUpdateReply(SOCKET sock, const char *pReply, int iLen);
void SendUpdateReplyWith(SOCKET sock, const char *pReply, int iLen, int iFlags);
void SendStatusReply(SOCKET sock, int iStatus);
void SendEndAck(SOCKET sock);
/* Everything an update connection owned ends with it: its transfers, its
 * relay, and a print port it had taken down comes back. */
void OnUpdateConnectionGone(SOCKET sock);
/* Dispatches one update message read from sock (the tests call it with
 * bytes of their own). */
void DispatchUpdateMessage(SOCKET sock, const char *pData, int iLen);

/* update_transfer.cpp */
void HandleTransferMessage(SOCKET sock, const UpdateMessage &msg, int iIndex, bool bEnd);
void AbortTransfersOf(SOCKET sock);
/* Abandons transfers that stalled or ran too long (the watch timer). */
void CheckTransferBounds();
/* Whether a transfer that took the print port down is under way. */
bool TransferHoldsPrintPort();
/* A new program file in the transfer folder, open for writing. */
HANDLE CreateProgramFile(const char *szPath);
/* The log prefix of a transfer kind ("ReceiveAmyuniUpdate"). */
const char *TransferLogPrefix(int iIndex);

/* update_install.cpp: after a transfer ended verified and was moved to
 * szFinal in the transfer folder.  The installers answer the status and
 * the end acknowledgement themselves, each at its moment; InstallClient
 * returns the status to answer. */
void InstallServiceUpdate(SOCKET sock, const char *szFinal);
void InstallKit(SOCKET sock, int iKit, const char *szFinal);
void InstallRuntime(SOCKET sock, int iKit, const char *szFinal);
int InstallClient(const char *szFinal, int iA, int iB);
/* Waits (2000 ms polls, bounded) while a runtime's setup window is open. */
void WaitForRuntimeSetupWindows();
/* The name a received print client is stored under: its version record's
 * "Novarcprint.<minor>.<major>.exe" when the record's major part is at
 * least 2, else the message's b then a. */
void ClientProgramName(const char *szFile, int iA, int iB, char *szName, int iSize);

/* update_queries.cpp */
int QueryImagingLibrary();
int QueryConverterVersion();
int QueryPdfEngineVersion();
bool Runtime2005Installed();
bool Runtime2008Installed();
int QueryClientInstalled(int iA, int iB);
/* The decimal number at the start of a converter version file's first line,
 * -1 when there is none. */
int ParseConverterVersion(const char *szText);

/* Runs a kit of the transfer folder (HelperKit) through the helper,
 * waited for at most UPDATE_INSTALLER_WAIT_MS when bWait; 1 when it ran. */
int RunUpdateKit(int iKit, bool bWait, const char *szPath, const char *szLogPrefix);

/* gateway.cpp */
void ApplyGatewaySettings(const GatewaySettings &settings);
void ShutdownGateway();
void RelayRequest(SOCKET sock, int iNumber, const char *szText);
void RelayDownload(SOCKET sock, const UpdateMessage &msg);
void AbortRelayOf(SOCKET sock);
/* Abandons a relay download that stalled (the watch timer). */
void CheckRelayBounds();

#endif /* PRINTKEEPER_UPDATE_H */
