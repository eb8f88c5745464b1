/*
 * kelwire: checks a peer's wire format against ours.
 *
 *   kelwire listen PORT [--once]
 *       accepts connections on 127.0.0.1:PORT (or 0.0.0.0 with --any),
 *       decodes every frame, prints its header and a digest of the payload,
 *       and answers each with the same payload sealed (options 0x202).
 *   kelwire send HOST PORT FILE [--options N]
 *       sends FILE as one message with the given send options (default
 *       0x200), waits for one answer and prints it.
 *
 * A server engineer points a new implementation of the framing at
 * `kelwire listen` (or runs `kelwire send` against it) and compares digests.
 */
#include <kellib.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

int Usage()
{
    fprintf(stderr, "usage: kelwire listen PORT [--once] [--any]\n"
                    "       kelwire send HOST PORT FILE [--options N]\n");
    return 2;
}

/* The first int32 of a payload is the message type, when there is one. */
void PrintPayload(const char *what, const MsgBuf &buf)
{
    int type = 0;
    if (buf.iLen >= 4)
        memcpy(&type, buf.szBuf, 4);
    printf("%s: %d bytes, type %d, sha256 %s\n", what, buf.iLen, type,
           Sha256(buf.szBuf, size_t(buf.iLen), 0));
    fflush(stdout);
}

/* Blocks until one whole message arrived (the socket is blocking, so
 * KELrecv's "nothing waiting" answer cannot come). */
bool ReceiveOne(SOCKET s, MsgBuf *buf)
{
    return KELrecv(s, buf, 0) == 1 && buf->iLen > 0;
}

int Listen(int port, bool once, bool any)
{
    SOCKET listener = KelWs_socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = KelWs_htons(u_short(port));
    addr.sin_addr.s_addr = KelWs_htonl(any ? INADDR_ANY : INADDR_LOOPBACK);
    if (KelWs_bind(listener, reinterpret_cast<sockaddr *>(&addr), sizeof addr) == SOCKET_ERROR ||
        KelWs_listen(listener, 4) == SOCKET_ERROR) {
        char text[200];
        KELWSAErrorText(KelWs_WSAGetLastError(), text, sizeof text);
        fprintf(stderr, "kelwire: cannot listen on port %d: %s\n", port, text);
        return 1;
    }
    printf("kelwire: listening on port %d\n", port);
    fflush(stdout);
    for (;;) {
        SOCKET s = KelWs_accept(listener, nullptr, nullptr);
        if (s == INVALID_SOCKET)
            continue;
        MsgBuf buf{};
        while (ReceiveOne(s, &buf)) {
            PrintPayload("received", buf);
            SendMessageWithSize(s, buf.szBuf, buf.iLen, SEND_SEALED | SEND_NO_COMPRESS);
        }
        FreeMsgBuf(&buf);
        KELCloseSocket(s);
        if (once)
            break;
    }
    KelWs_closesocket(listener);
    return 0;
}

int Send(const char *host, int port, const char *file, int options)
{
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        fprintf(stderr, "kelwire: cannot read %s\n", file);
        return 1;
    }
    std::vector<char> data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ADDRINFOA hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    PADDRINFOA ai = nullptr;
    std::string service = std::to_string(port);
    if (KelWs_getaddrinfo(host, service.c_str(), &hints, &ai) != 0 || !ai) {
        fprintf(stderr, "kelwire: cannot resolve %s\n", host);
        return 1;
    }
    SOCKET s = KelWs_socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    int rc = KelWs_connect(s, ai->ai_addr, int(ai->ai_addrlen));
    KelWs_freeaddrinfo(ai);
    if (rc == SOCKET_ERROR) {
        char text[200];
        KELWSAErrorText(KelWs_WSAGetLastError(), text, sizeof text);
        fprintf(stderr, "kelwire: cannot connect to %s:%d: %s\n", host, port, text);
        return 1;
    }
    MsgBuf sent{};
    AppendBytes(&sent, data.data(), int(data.size()));
    PrintPayload("sent", sent);
    SendMessageWithSize(s, data.data(), int(data.size()), options);
    MsgBuf reply{};
    bool ok = ReceiveOne(s, &reply);
    if (ok)
        PrintPayload("answer", reply);
    else
        fprintf(stderr, "kelwire: no answer\n");
    bool same =
        ok && reply.iLen == sent.iLen && memcmp(reply.szBuf, sent.szBuf, size_t(sent.iLen)) == 0;
    if (ok)
        printf("kelwire: answer %s the message\n", same ? "matches" : "differs from");
    FreeMsgBuf(&sent);
    FreeMsgBuf(&reply);
    KELCloseSocket(s);
    return same ? 0 : 1;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 3)
        return Usage();
    if (!KELLoadWinsock() || !KELWSAStartup()) {
        fprintf(stderr, "kelwire: Winsock could not be started\n");
        return 1;
    }
    int rc;
    if (strcmp(argv[1], "listen") == 0) {
        bool once = false, any = false;
        for (int i = 3; i < argc; ++i) {
            once |= strcmp(argv[i], "--once") == 0;
            any |= strcmp(argv[i], "--any") == 0;
        }
        rc = Listen(atoi(argv[2]), once, any);
    } else if (strcmp(argv[1], "send") == 0 && argc >= 5) {
        int options = SEND_SEALED;
        for (int i = 5; i + 1 < argc; ++i)
            if (strcmp(argv[i], "--options") == 0)
                options = int(strtol(argv[i + 1], nullptr, 0));
        rc = Send(argv[2], atoi(argv[3]), argv[4], options);
    } else {
        rc = Usage();
    }
    KELReleaseSocketLibrary();
    KELUnloadWinsock();
    return rc;
}
