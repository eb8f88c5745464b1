/*
 * The server's side of a print connection, shared by novarc-send and the
 * end-to-end tests: a loopback connection handed to a local Novarcprint the
 * way the print service does it (WSADuplicateSocketA for the client's
 * process, then WM_COPYDATA with the 372-byte record to its "PrintProcess"
 * window), requests framed with kellib, and the replies decoded.
 */
#ifndef NOVARC_SEND_HANDOFF_H
#define NOVARC_SEND_HANDOFF_H

#include <winsock2.h>

#include <string>
#include <vector>

/* WSAStartup once for the calling program; 1 on success. */
int NovarcStartWinsock();

/* A connected loopback pair: *pServer stays here, *pClient is handed over. */
int NovarcLoopbackPair(SOCKET *pServer, SOCKET *pClient);

/* The "PrintProcess" window of process pid, waiting up to timeoutMs for it. */
HWND NovarcFindPrintWindow(DWORD pid, int timeoutMs);

/* Duplicates sock for pid and sends it to the client's window; 1 on success.
 * The caller closes its own copy afterwards, as the service does. */
int NovarcHandOffSocket(SOCKET sock, DWORD pid, int timeoutMs);

/* Connects to host:port (the workstation's print port); INVALID_SOCKET on failure. */
SOCKET NovarcConnect(const char *host, int port);

/* Starts a program with the given arguments; its process id, or -1.  The
 * child inherits the environment, with extraEnv ("NAME=value") added or
 * replacing (WINPORT_ROOT, WINPORT_TIME_SCALE). */
long NovarcSpawn(const char *program, const std::vector<std::string> &extraEnv = {},
                 const std::vector<std::string> &args = {});
/* Waits up to timeoutMs for a spawned child to end; its exit status, or -1
 * when it still runs after the time-out (it is left running). */
int NovarcWaitChild(long pid, int timeoutMs);
void NovarcKillChild(long pid);
/* Ctrl+C for a console program: SIGINT. */
void NovarcInterruptChild(long pid);

/* A 32-bit value as the wire carries it: four bytes, little-endian. */
std::string NovarcInt32(int value);

/* One request: int32 type, then the payload bytes. */
int NovarcSendRequest(SOCKET sock, int type, const std::string &payload);

/* One reply of the client as bytes; false when the connection ended or no
 * reply came within timeoutMs. */
bool NovarcReceiveReply(SOCKET sock, std::string *pReply, int timeoutMs);

/* Decodes the replies of one connection, saving returned files. */
class ReplyDecoder {
public:
    explicit ReplyDecoder(std::string saveDir) : saveDir_(std::move(saveDir)) {}
    /* Returned files are zlib streams on the wire: saved inflated when set
     * (a file that is no stream is saved as it came). */
    void InflateReturned(bool bInflate) { inflate_ = bInflate; }
    /* A request about to be sent: the cache answers (QUERY_FILE_SIZE,
     * STORE_CACHE_FILE) share their first byte with returned files, so the
     * decoder keeps which answers it is owed, in order. */
    void Expect(int requestType);
    /* One line describing the reply. */
    std::string Decode(const std::string &reply);
    const std::vector<std::string> &SavedFiles() const { return saved_; }

private:
    enum State { AWAIT_NAME, IN_FILE } state_ = AWAIT_NAME;
    std::string saveDir_;
    std::string name_;
    std::string data_;
    std::vector<std::string> saved_;
    std::vector<int> owed_; /* cache answers still to come, oldest first */
    bool inflate_ = false;
    std::string FileReturn(const std::string &body);
    std::string SaveFile();
};

#endif /* NOVARC_SEND_HANDOFF_H */
