/*
 * novarc-send --update-port: the server's side of the update port on a
 * command line, so an operator can ask a workstation what it has
 * installed, send it a print client in chunks or send it an installer.
 *
 *   novarc-send --update-port [--host H] [--port P] [--wait MS] COMMAND
 *     query NAME [A B]              version, imaging, ecg, converter, pdf,
 *                                   vc2005, vc2008, client A B, or a number
 *     send-file FILE --client-version MAJOR.MINOR
 *                                   a print client (sub-codes 25 and 26)
 *     send-installer KIND FILE      service, imaging, ecg, converter, pdf,
 *                                   vc2005, vc2008
 *     restart-fax                   the fax service restart (no reply)
 *   with send-file and send-installer:
 *     [--chunk BYTES] [--size N]    chunk size (65536); the expected size
 *                                   the end message gives (the file's)
 *
 * Exit status: 0 when every reply was a success, 1 otherwise, 2 for a
 * command line it does not understand.
 */
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "handoff.h"
#include "update_side.h"

namespace {

struct UpdateOptions {
    std::string host = "127.0.0.1";
    int port = 13002;
    int waitMs = 600000; /* an installer is waited for before the end is acknowledged */
    std::vector<std::string> words;
    size_t chunk = 65536;
    long long size = -1;
    std::string clientVersion;
};

int UpdateUsage()
{
    fprintf(stderr,
            "usage: novarc-send --update-port [--host H] [--port P] [--wait MS]\n"
            "         query NAME [A B] | restart-fax\n"
            "       | send-file FILE --client-version MAJOR.MINOR [--chunk N] [--size N]\n"
            "       | send-installer KIND FILE [--chunk N] [--size N]\n"
            "NAME: version imaging ecg converter pdf vc2005 vc2008 client (A B) or a number\n"
            "KIND: service imaging ecg converter pdf vc2005 vc2008\n");
    return 2;
}

bool ParseUpdateArgs(int argc, char **argv, UpdateOptions *o)
{
    for (int i = 1; i < argc; i++) {
        const std::string a = argv[i];
        if (a == "--update-port")
            continue;
        const bool hasValue = i + 1 < argc;
        if (a == "--host" && hasValue)
            o->host = argv[++i];
        else if (a == "--port" && hasValue)
            o->port = atoi(argv[++i]);
        else if (a == "--wait" && hasValue)
            o->waitMs = atoi(argv[++i]);
        else if (a == "--chunk" && hasValue)
            o->chunk = (size_t)std::max(1, atoi(argv[++i]));
        else if (a == "--size" && hasValue)
            o->size = atoll(argv[++i]);
        else if (a == "--client-version" && hasValue)
            o->clientVersion = argv[++i];
        else if (a.rfind("--", 0) == 0)
            return false;
        else
            o->words.push_back(a);
    }
    return !o->words.empty();
}

bool ReadWholeFile(const std::string &path, std::string *bytes)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    std::ostringstream all;
    all << in.rdbuf();
    *bytes = all.str();
    return true;
}

int Query(SOCKET sock, const UpdateOptions &o)
{
    const int code = NovarcQueryCode(o.words.size() > 1 ? o.words[1] : "");
    if (code < 0)
        return UpdateUsage();
    std::string fields;
    if (code == 24) {
        if (o.words.size() < 4)
            return UpdateUsage();
        fields = NovarcInt32(atoi(o.words[2].c_str())) + NovarcInt32(atoi(o.words[3].c_str()));
    }
    printf("-> sub-code %d\n", code);
    NovarcSendUpdate(sock, code, fields);
    std::string reply;
    if (!NovarcReceiveReply(sock, &reply, o.waitMs)) {
        printf("<- no reply\n");
        return 1;
    }
    /* The runtime answers share the status reply's layout. */
    if ((code == 16 || code == 19) && reply.size() == 5 && reply[0] == 3)
        printf("<- runtime installed %d\n", (unsigned char)reply[1]);
    else
        printf("<- %s\n", NovarcDecodeUpdateReply(reply).c_str());
    return 0;
}

int Send(SOCKET sock, const UpdateOptions &o, const std::string &kind, const std::string &file)
{
    NovarcTransfer t;
    if (!NovarcTransferCodes(kind, &t.dataCode, &t.endCode))
        return UpdateUsage();
    if (!ReadWholeFile(file, &t.bytes)) {
        fprintf(stderr, "novarc-send: cannot read %s\n", file.c_str());
        return 2;
    }
    if (kind == "client") {
        const size_t dot = o.clientVersion.find('.');
        if (dot == std::string::npos)
            return UpdateUsage();
        t.a = atoi(o.clientVersion.substr(0, dot).c_str());
        t.b = atoi(o.clientVersion.substr(dot + 1).c_str());
    }
    t.chunk = o.chunk;
    t.size = o.size;
    printf("-> %s %s: %zu bytes in chunks of %zu (sub-codes %d, %d)\n", kind.c_str(), file.c_str(),
           t.bytes.size(), t.chunk, t.dataCode, t.endCode);
    std::vector<std::string> log;
    const bool ok = NovarcRunTransfer(sock, t, o.waitMs, &log);
    for (const std::string &line : log)
        printf("<- %s\n", line.c_str());
    printf("%s\n", ok ? "transfer accepted" : "transfer FAILED");
    return ok ? 0 : 1;
}

} // namespace

int UpdatePortMain(int argc, char **argv)
{
    UpdateOptions o;
    if (!ParseUpdateArgs(argc, argv, &o))
        return UpdateUsage();
    const std::string &command = o.words[0];
    if (!NovarcStartWinsock()) {
        fprintf(stderr, "novarc-send: Winsock did not start\n");
        return 1;
    }
    SOCKET sock = NovarcConnect(o.host.c_str(), o.port);
    if (sock == INVALID_SOCKET) {
        fprintf(stderr, "novarc-send: no connection to %s:%d\n", o.host.c_str(), o.port);
        return 1;
    }
    int result;
    if (command == "query")
        result = Query(sock, o);
    else if (command == "restart-fax") {
        printf("-> sub-code 23\n");
        NovarcSendUpdate(sock, 23);
        result = 0;
    } else if (command == "send-file" && o.words.size() == 2)
        result = Send(sock, o, "client", o.words[1]);
    else if (command == "send-installer" && o.words.size() == 3 && o.words[1] != "client")
        result = Send(sock, o, o.words[1], o.words[2]);
    else
        result = UpdateUsage();
    closesocket(sock);
    return result;
}
