/*
 * The requests processes send to each other's endpoints, and their framing
 * on a Unix stream socket.  Private to winport.
 *
 * A frame is a 16-byte header (magic "WPE1", kind, body length, zero) and a
 * body of at most kMaxBody bytes, integers little-endian.  A descriptor (a
 * socket being handed over) travels as SCM_RIGHTS with the header.
 * Readers are bounded: a frame that is too long, of an unknown kind, cut
 * short or late is refused, never trusted.
 */
#ifndef WINPORT_USER_WIRE_H
#define WINPORT_USER_WIRE_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace winport::wire {

constexpr uint32_t kMagic = 0x31455057; // "WPE1"
constexpr uint32_t kMaxBody = 32u << 20;

enum class Kind : uint32_t { Post = 1, Send = 2, Park = 3, Reply = 100 };

using Bytes = std::vector<unsigned char>;

class Writer {
public:
    void U8(uint8_t v) { buf_.push_back(v); }
    void U32(uint32_t v);
    void U64(uint64_t v);
    void Blob(const void *data, size_t size); // u32 length, then the bytes
    const Bytes &data() const { return buf_; }

private:
    Bytes buf_;
};

class Reader {
public:
    explicit Reader(const Bytes &data) : p_(data.data()), left_(data.size()) {}
    uint8_t U8();
    uint32_t U32();
    uint64_t U64();
    bool Blob(Bytes *out, size_t maxSize);
    /* Everything read, nothing left over, no read past the end. */
    bool Complete() const { return ok_ && left_ == 0; }

private:
    bool Take(void *out, size_t n);
    const unsigned char *p_;
    size_t left_;
    bool ok_ = true;
};

/* A window message for another process. */
struct MessageRequest {
    uint64_t hwnd = 0;
    uint32_t message = 0;
    uint64_t wParam = 0;
    uint64_t lParam = 0;
    uint32_t flags = 0;      // SMTO_* (sends only)
    uint8_t payloadKind = 0; // see Payload
    uint64_t dataTag = 0;    // COPYDATASTRUCT.dwData, or WM_GETTEXT's buffer size
    Bytes data;              // WM_COPYDATA bytes or a string without its NUL
};

/* What lParam of a sent message carries across. */
enum Payload : uint8_t {
    kPayloadNone = 0,       // lParam travels as a number
    kPayloadNull = 1,       // lParam is a NULL pointer
    kPayloadCopyData = 2,   // a COPYDATASTRUCT and its bytes
    kPayloadString = 3,     // a NUL-terminated string
    kPayloadTextBuffer = 4, // WM_GETTEXT: the receiver fills dataTag bytes, returned in the reply
};

/* A socket handed to another process (the descriptor travels beside). */
struct ParkRequest {
    uint64_t token = 0;
    int32_t family = 0;
    int32_t type = 0;
    int32_t protocol = 0;
};

enum class Status : uint32_t {
    Ok = 0,
    InvalidWindow = 1,
    Hung = 2,
    ReceiverGone = 3,
    QueueFull = 4,
    BadRequest = 5,
};

struct Reply {
    Status status = Status::Ok;
    int64_t result = 0;
    Bytes data; // WM_GETTEXT's text
};

Bytes Encode(const MessageRequest &request);
Bytes Encode(const ParkRequest &request);
Bytes Encode(const Reply &reply);
bool Decode(const Bytes &body, MessageRequest *out);
bool Decode(const Bytes &body, ParkRequest *out);
bool Decode(const Bytes &body, Reply *out);

struct Frame {
    Kind kind = Kind::Reply;
    Bytes body;
    int fd = -1; // a received descriptor, owned by the reader of the frame
};

/* Sends one frame, with `passFd` as SCM_RIGHTS when >= 0.  False on error. */
bool SendFrame(int sock, Kind kind, const Bytes &body, int passFd = -1);
/* Reads one frame; every wait for more bytes lasts at most `timeoutMs`
 * (real time; -1: no limit).  False (with the reason in *why) on end of
 * stream, time-out, a bad header or an oversized body. */
bool ReadFrame(int sock, Frame *out, int timeoutMs, std::string *why);

} // namespace winport::wire

#endif
