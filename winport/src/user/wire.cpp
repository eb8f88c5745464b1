/*
 * Endpoint requests and frames (see wire.h).
 */
#include "user/wire.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace winport::wire {
namespace {

constexpr size_t kHeaderSize = 16;
constexpr int kMaxFdsPerFrame = 4;

void PutLe(unsigned char *p, uint64_t v, int bytes)
{
    for (int i = 0; i < bytes; i++)
        p[i] = static_cast<unsigned char>(v >> (8 * i));
}

uint64_t GetLe(const unsigned char *p, int bytes)
{
    uint64_t v = 0;
    for (int i = 0; i < bytes; i++)
        v |= static_cast<uint64_t>(p[i]) << (8 * i);
    return v;
}

bool WaitReadable(int sock, int timeoutMs)
{
    pollfd p = {sock, POLLIN, 0};
    for (;;) {
        int n = poll(&p, 1, timeoutMs);
        if (n < 0 && errno == EINTR)
            continue;
        return n > 0;
    }
}

/* Reads the header, keeping the first descriptor that comes with it. */
bool ReadHeader(int sock, unsigned char *header, int *fd, int timeoutMs, std::string *why)
{
    size_t got = 0;
    while (got < kHeaderSize) {
        if (!WaitReadable(sock, timeoutMs)) {
            *why = "timed out reading the header";
            return false;
        }
        iovec iov = {header + got, kHeaderSize - got};
        alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int) * kMaxFdsPerFrame)];
        msghdr msg = {};
        msg.msg_iov = &iov;
        msg.msg_iovlen = 1;
        msg.msg_control = control;
        msg.msg_controllen = sizeof control;
        ssize_t n = recvmsg(sock, &msg, MSG_CMSG_CLOEXEC);
        if (n < 0 && errno == EINTR)
            continue;
        for (cmsghdr *c = CMSG_FIRSTHDR(&msg); c; c = CMSG_NXTHDR(&msg, c)) {
            if (c->cmsg_level != SOL_SOCKET || c->cmsg_type != SCM_RIGHTS)
                continue;
            const size_t count = (c->cmsg_len - CMSG_LEN(0)) / sizeof(int);
            for (size_t i = 0; i < count; i++) {
                int received;
                std::memcpy(&received, CMSG_DATA(c) + i * sizeof(int), sizeof received);
                if (*fd < 0)
                    *fd = received;
                else
                    close(received); // one descriptor per frame; extras are not ours to keep
            }
        }
        if (n <= 0) {
            *why = n == 0 ? "end of stream" : std::strerror(errno);
            return false;
        }
        got += static_cast<size_t>(n);
    }
    return true;
}

} // namespace

void Writer::U32(uint32_t v)
{
    unsigned char b[4];
    PutLe(b, v, 4);
    buf_.insert(buf_.end(), b, b + 4);
}

void Writer::U64(uint64_t v)
{
    unsigned char b[8];
    PutLe(b, v, 8);
    buf_.insert(buf_.end(), b, b + 8);
}

void Writer::Blob(const void *data, size_t size)
{
    U32(static_cast<uint32_t>(size));
    const auto *p = static_cast<const unsigned char *>(data);
    buf_.insert(buf_.end(), p, p + size);
}

bool Reader::Take(void *out, size_t n)
{
    if (!ok_ || left_ < n) {
        ok_ = false;
        return false;
    }
    std::memcpy(out, p_, n);
    p_ += n;
    left_ -= n;
    return true;
}

uint8_t Reader::U8()
{
    uint8_t v = 0;
    Take(&v, 1);
    return v;
}

uint32_t Reader::U32()
{
    unsigned char b[4] = {};
    return Take(b, 4) ? static_cast<uint32_t>(GetLe(b, 4)) : 0;
}

uint64_t Reader::U64()
{
    unsigned char b[8] = {};
    return Take(b, 8) ? GetLe(b, 8) : 0;
}

bool Reader::Blob(Bytes *out, size_t maxSize)
{
    const uint32_t size = U32();
    if (!ok_ || size > maxSize || size > left_) {
        ok_ = false;
        return false;
    }
    out->assign(p_, p_ + size);
    p_ += size;
    left_ -= size;
    return true;
}

Bytes Encode(const MessageRequest &r)
{
    Writer w;
    w.U64(r.hwnd);
    w.U32(r.message);
    w.U64(r.wParam);
    w.U64(r.lParam);
    w.U32(r.flags);
    w.U8(r.payloadKind);
    w.U64(r.dataTag);
    w.Blob(r.data.data(), r.data.size());
    return w.data();
}

bool Decode(const Bytes &body, MessageRequest *out)
{
    Reader r(body);
    out->hwnd = r.U64();
    out->message = r.U32();
    out->wParam = r.U64();
    out->lParam = r.U64();
    out->flags = r.U32();
    out->payloadKind = r.U8();
    out->dataTag = r.U64();
    r.Blob(&out->data, kMaxBody);
    return r.Complete() && out->payloadKind <= kPayloadTextBuffer;
}

Bytes Encode(const ParkRequest &r)
{
    Writer w;
    w.U64(r.token);
    w.U32(static_cast<uint32_t>(r.family));
    w.U32(static_cast<uint32_t>(r.type));
    w.U32(static_cast<uint32_t>(r.protocol));
    return w.data();
}

bool Decode(const Bytes &body, ParkRequest *out)
{
    Reader r(body);
    out->token = r.U64();
    out->family = static_cast<int32_t>(r.U32());
    out->type = static_cast<int32_t>(r.U32());
    out->protocol = static_cast<int32_t>(r.U32());
    return r.Complete();
}

Bytes Encode(const Reply &reply)
{
    Writer w;
    w.U32(static_cast<uint32_t>(reply.status));
    w.U64(static_cast<uint64_t>(reply.result));
    w.Blob(reply.data.data(), reply.data.size());
    return w.data();
}

bool Decode(const Bytes &body, Reply *out)
{
    Reader r(body);
    const uint32_t status = r.U32();
    out->result = static_cast<int64_t>(r.U64());
    r.Blob(&out->data, kMaxBody);
    if (!r.Complete() || status > static_cast<uint32_t>(Status::BadRequest))
        return false;
    out->status = static_cast<Status>(status);
    return true;
}

bool SendFrame(int sock, Kind kind, const Bytes &body, int passFd)
{
    if (body.size() > kMaxBody)
        return false;
    unsigned char header[kHeaderSize] = {};
    PutLe(header, kMagic, 4);
    PutLe(header + 4, static_cast<uint32_t>(kind), 4);
    PutLe(header + 8, static_cast<uint32_t>(body.size()), 4);
    iovec iov[2] = {{header, kHeaderSize}, {const_cast<unsigned char *>(body.data()), body.size()}};
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))] = {};
    msghdr msg = {};
    msg.msg_iov = iov;
    msg.msg_iovlen = 2;
    if (passFd >= 0) {
        msg.msg_control = control;
        msg.msg_controllen = sizeof control;
        cmsghdr *c = CMSG_FIRSTHDR(&msg);
        c->cmsg_level = SOL_SOCKET;
        c->cmsg_type = SCM_RIGHTS;
        c->cmsg_len = CMSG_LEN(sizeof(int));
        std::memcpy(CMSG_DATA(c), &passFd, sizeof passFd);
    }
    const size_t total = kHeaderSize + body.size();
    size_t sent = 0;
    while (sent < total) {
        ssize_t n = sendmsg(sock, &msg, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        sent += static_cast<size_t>(n);
        if (sent == total)
            break;
        // Partial write: the descriptor went with the first byte; send the rest plainly.
        msg.msg_control = nullptr;
        msg.msg_controllen = 0;
        size_t skip = static_cast<size_t>(n);
        while (msg.msg_iovlen > 0 && skip >= msg.msg_iov[0].iov_len) {
            skip -= msg.msg_iov[0].iov_len;
            msg.msg_iov++;
            msg.msg_iovlen--;
        }
        msg.msg_iov[0].iov_base = static_cast<char *>(msg.msg_iov[0].iov_base) + skip;
        msg.msg_iov[0].iov_len -= skip;
    }
    return true;
}

static bool ReadFrameParts(int sock, Frame *out, int timeoutMs, std::string *why)
{
    unsigned char header[kHeaderSize];
    if (!ReadHeader(sock, header, &out->fd, timeoutMs, why))
        return false;
    const uint32_t magic = static_cast<uint32_t>(GetLe(header, 4));
    const uint32_t kind = static_cast<uint32_t>(GetLe(header + 4, 4));
    const uint32_t length = static_cast<uint32_t>(GetLe(header + 8, 4));
    if (magic != kMagic || GetLe(header + 12, 4) != 0) {
        *why = "bad header";
        return false;
    }
    if (kind != static_cast<uint32_t>(Kind::Post) && kind != static_cast<uint32_t>(Kind::Send) &&
        kind != static_cast<uint32_t>(Kind::Park) && kind != static_cast<uint32_t>(Kind::Reply)) {
        *why = "unknown request kind " + std::to_string(kind);
        return false;
    }
    if (length > kMaxBody) {
        *why = "oversized request (" + std::to_string(length) + " bytes)";
        return false;
    }
    out->kind = static_cast<Kind>(kind);
    out->body.resize(length);
    size_t got = 0;
    while (got < length) {
        if (!WaitReadable(sock, timeoutMs)) {
            *why = "timed out reading the body";
            return false;
        }
        ssize_t n = recv(sock, out->body.data() + got, length - got, 0);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            *why = "request cut short";
            return false;
        }
        got += static_cast<size_t>(n);
    }
    return true;
}

bool ReadFrame(int sock, Frame *out, int timeoutMs, std::string *why)
{
    out->fd = -1;
    if (ReadFrameParts(sock, out, timeoutMs, why))
        return true;
    if (out->fd >= 0)
        close(out->fd); // a refused frame's descriptor must not leak
    out->fd = -1;
    return false;
}

} // namespace winport::wire
