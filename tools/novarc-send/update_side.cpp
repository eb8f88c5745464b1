/*
 * The server's side of an update connection (see update_side.h).
 */
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <kellib.h>

#include "handoff.h"
#include "update_side.h"

namespace {

struct Named {
    const char *name;
    int code;
};

const Named kQueries[] = {{"version", 1},    {"imaging", 4},      {"ecg", 7},
                          {"converter", 10}, {"pdf", 13},         {"vc2005", 16},
                          {"vc2008", 19},    {"restart-fax", 23}, {"client", 24}};

struct Kind {
    const char *name;
    int data;
    int end;
};

const Kind kKinds[] = {{"service", 2, 3},     {"imaging", 5, 6}, {"ecg", 8, 9},
                       {"converter", 11, 12}, {"pdf", 14, 15},   {"vc2005", 17, 18},
                       {"vc2008", 20, 21},    {"client", 25, 26}};

int Int32At(const std::string &s, size_t at)
{
    unsigned v = 0;
    for (int i = 0; i < 4; i++)
        v |= (unsigned)(unsigned char)s[at + i] << (8 * i);
    return (int)v;
}

/* The status of a 5-byte status reply, 0 when it is not one. */
int StatusOf(const std::string &reply)
{
    return reply.size() == 5 && reply[0] == 3 ? Int32At(reply, 1) : 0;
}

bool IsEndAck(const std::string &reply)
{
    return reply.size() == 5 && reply[0] == 1 && Int32At(reply, 1) == 0;
}

} // namespace

int NovarcQueryCode(const std::string &name)
{
    for (const Named &q : kQueries)
        if (name == q.name)
            return q.code;
    char *end = nullptr;
    const long code = strtol(name.c_str(), &end, 10);
    return !name.empty() && *end == 0 ? (int)code : -1;
}

bool NovarcTransferCodes(const std::string &kind, int *pData, int *pEnd)
{
    for (const Kind &k : kKinds) {
        if (kind == k.name) {
            *pData = k.data;
            *pEnd = k.end;
            return true;
        }
    }
    return false;
}

std::string NovarcUpdateMessage(int subCode, const std::string &fields)
{
    return std::string(1, '\x03') + NovarcInt32(subCode) + fields;
}

int NovarcSendUpdate(SOCKET sock, int subCode, const std::string &fields)
{
    const std::string message = NovarcUpdateMessage(subCode, fields);
    return SendMessageWithSize(sock, message.data(), (int)message.size(), 0x202);
}

std::string NovarcDecodeUpdateReply(const std::string &reply)
{
    char line[160];
    if (reply.size() == 13 && reply[0] == 1)
        snprintf(line, sizeof(line), "version %d.%d locked %d", Int32At(reply, 5),
                 Int32At(reply, 1), Int32At(reply, 9));
    else if (IsEndAck(reply))
        snprintf(line, sizeof(line), "end acknowledgement");
    else if (reply.size() == 5 && reply[0] == 3)
        snprintf(line, sizeof(line), "status %d", Int32At(reply, 1));
    else if (reply.size() == 9 && reply[0] == 2)
        snprintf(line, sizeof(line), "query %d answer %d", Int32At(reply, 5), Int32At(reply, 1));
    else if (reply.size() == 8 && Int32At(reply, 0) == 89)
        snprintf(line, sizeof(line), "relay result %d", Int32At(reply, 4));
    else
        snprintf(line, sizeof(line), "reply of %zu bytes, first %d", reply.size(),
                 reply.empty() ? -1 : (int)(unsigned char)reply[0]);
    return line;
}

bool NovarcRunTransfer(SOCKET sock, const NovarcTransfer &t, int endWaitMs,
                       std::vector<std::string> *log)
{
    const bool client = t.dataCode == 25;
    const std::string versions = client ? NovarcInt32(t.a) + NovarcInt32(t.b) : std::string();
    bool allAccepted = true;
    std::string reply;
    size_t sent = 0;
    do {
        const size_t n = std::min(t.chunk, t.bytes.size() - sent);
        NovarcSendUpdate(sock, t.dataCode, versions + t.bytes.substr(sent, n));
        sent += n;
        if (t.waitEachStatus) {
            if (!NovarcReceiveReply(sock, &reply, 30000)) {
                log->push_back("no status for a chunk");
                return false;
            }
            allAccepted = allAccepted && StatusOf(reply) == 1;
        }
    } while (sent < t.bytes.size());
    log->push_back("sent " + std::to_string(t.bytes.size()) + " bytes");
    const long long size = t.size >= 0 ? t.size : (long long)t.bytes.size();
    NovarcSendUpdate(sock, t.endCode, versions + NovarcInt32((int)size));
    bool acknowledged = false;
    while (!acknowledged && NovarcReceiveReply(sock, &reply, endWaitMs)) {
        log->push_back(NovarcDecodeUpdateReply(reply));
        if (StatusOf(reply) != 0)
            allAccepted = allAccepted && StatusOf(reply) == 1;
        acknowledged = IsEndAck(reply);
    }
    if (!acknowledged)
        log->push_back("no end acknowledgement");
    return allAccepted && acknowledged;
}
