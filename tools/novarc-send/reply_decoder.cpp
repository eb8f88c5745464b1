/*
 * Decoding the print client's replies for people and tests: the printer-open
 * reply, the file-is-here note, the checksum answer, and returned files
 * (name, blocks of up to 1000 bytes, then "DONE" or a short block), which
 * are saved into a folder.
 */
#include <zlib.h>

#include <cstdint>
#include <cstdio>
#include <fstream>

#include "handoff.h"

namespace {

constexpr int kQueryFileSize = 92;
constexpr int kStoreCacheFile = 93;

int32_t IntAt(const std::string &s, size_t offset)
{
    uint32_t v = 0;
    for (int i = 3; i >= 0; i--)
        v = (v << 8) | (unsigned char)s[offset + i];
    return (int32_t)v;
}

/* A file name from the client, reduced to its last component. */
std::string BaseName(const std::string &name)
{
    size_t cut = name.find_last_of("\\/");
    std::string base = cut == std::string::npos ? name : name.substr(cut + 1);
    if (base.empty() || base == "." || base == "..")
        base = "unnamed";
    return base;
}

/* The inflated stream; false when the bytes are no whole zlib stream. */
bool Inflate(const std::string &packed, std::string *pOut)
{
    z_stream z = z_stream();
    if (packed.empty() || inflateInit(&z) != Z_OK)
        return false;
    z.next_in = (Bytef *)packed.data();
    z.avail_in = (uInt)packed.size();
    std::string out;
    char chunk[65536];
    int rc = Z_OK;
    while (rc == Z_OK) {
        z.next_out = (Bytef *)chunk;
        z.avail_out = sizeof(chunk);
        rc = inflate(&z, Z_NO_FLUSH);
        out.append(chunk, sizeof(chunk) - z.avail_out);
    }
    inflateEnd(&z);
    if (rc != Z_STREAM_END || z.avail_in != 0)
        return false;
    *pOut = std::move(out);
    return true;
}

} // namespace

std::string ReplyDecoder::SaveFile()
{
    std::string inflated;
    if (inflate_ && Inflate(data_, &inflated))
        data_.swap(inflated);
    std::string path = saveDir_ + "/" + BaseName(name_);
    std::ofstream out(path, std::ios::binary);
    out.write(data_.data(), (std::streamsize)data_.size());
    saved_.push_back(path);
    state_ = AWAIT_NAME;
    std::string line = "file " + name_ + " (" + std::to_string(data_.size()) + " bytes) -> " + path;
    data_.clear();
    return line;
}

std::string ReplyDecoder::FileReturn(const std::string &body)
{
    const bool isDone = body == std::string("DONE", 5);
    if (state_ == AWAIT_NAME) {
        if (isDone)
            return "end of files";
        name_ = body.substr(0, body.find('\0'));
        state_ = IN_FILE;
        return "file name " + name_;
    }
    if (isDone)
        return SaveFile();
    data_ += body;
    if (body.size() < 1000)
        return SaveFile();
    return "file block " + std::to_string(body.size()) + " bytes";
}

void ReplyDecoder::Expect(int requestType)
{
    if (requestType == kQueryFileSize || requestType == kStoreCacheFile)
        owed_.push_back(requestType);
}

std::string ReplyDecoder::Decode(const std::string &reply)
{
    if (reply.empty())
        return "empty reply";
    const unsigned char code = (unsigned char)reply[0];
    if (code == 39 && state_ == AWAIT_NAME && !owed_.empty()) {
        const int request = owed_.front();
        owed_.erase(owed_.begin());
        std::string text = reply.substr(1);
        text = text.substr(0, text.find('\0'));
        return (request == kQueryFileSize ? "cache file size " : "cache answer ") + text;
    }
    if (code == 39)
        return FileReturn(reply.substr(1));
    if (code == 20 && reply.size() == 5)
        return "file is here flag " + std::to_string(IntAt(reply, 1));
    if (code == 27 && reply.size() >= 5)
        return "printer-open reply status " + std::to_string(IntAt(reply, 1)) + " (" +
               std::to_string(reply.size()) + " bytes)";
    if (code == 3 && reply.size() >= 5 && IntAt(reply, 1) == 113) {
        std::string hex = reply.substr(5);
        hex = hex.substr(0, hex.find('\0'));
        return "checksum " + (hex.empty() ? std::string("(none)") : hex);
    }
    char head[64];
    snprintf(head, sizeof(head), "reply code %u, %zu bytes", code, reply.size());
    return head;
}
