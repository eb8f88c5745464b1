/*
 * Writing a hive's text (format in hive_format.h).
 */
#include "registry/hive_format.h"

#include <cinttypes>
#include <cstdio>

namespace winport::reg {
namespace {

constexpr char kHex[] = "0123456789abcdef";

bool Printable(unsigned char c)
{
    return c >= 0x20 && c < 0x7F;
}

void AppendHexByte(std::string &out, unsigned char c)
{
    out += kHex[c >> 4];
    out += kHex[c & 15];
}

void AppendQuoted(std::string &out, std::string_view text)
{
    out += '"';
    for (unsigned char c : text) {
        switch (c) {
        case '\\':
            out += "\\\\";
            break;
        case '"':
            out += "\\\"";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (Printable(c)) {
                out += static_cast<char>(c);
            } else {
                out += "\\x";
                AppendHexByte(out, c);
            }
        }
    }
    out += '"';
}

void AppendComponent(std::string &out, std::string_view name)
{
    for (unsigned char c : name) {
        if (!Printable(c) || c == '%' || c == '[' || c == ']') {
            out += '%';
            AppendHexByte(out, c);
        } else {
            out += static_cast<char>(c);
        }
    }
}

/* One NUL at the end and none before it. */
bool IsCleanString(std::string_view data)
{
    return !data.empty() && data.back() == '\0' && data.find('\0') == data.size() - 1;
}

/* The strings of a well-formed REG_MULTI_SZ, or false. */
bool SplitMulti(std::string_view data, std::vector<std::string_view> &items)
{
    if (data.empty() || data.back() != '\0')
        return false;
    size_t pos = 0;
    while (pos < data.size() - 1) {
        size_t end = data.find('\0', pos);
        if (end == pos)
            return false; // an empty string inside would end the list early
        items.push_back(data.substr(pos, end - pos));
        pos = end + 1;
    }
    return pos == data.size() - 1;
}

void AppendHex(std::string &out, const Value &value)
{
    if (value.type == REG_BINARY) {
        out += "hex:";
    } else {
        char prefix[24];
        snprintf(prefix, sizeof prefix, "hex(%x):", static_cast<unsigned>(value.type));
        out += prefix;
    }
    for (size_t i = 0; i < value.data.size(); ++i) {
        if (i)
            out += ',';
        AppendHexByte(out, static_cast<unsigned char>(value.data[i]));
    }
}

void AppendData(std::string &out, const Value &value)
{
    const std::string &data = value.data;
    char number[32];
    if ((value.type == REG_SZ || value.type == REG_EXPAND_SZ) && IsCleanString(data)) {
        if (value.type == REG_EXPAND_SZ)
            out += "str(2):";
        AppendQuoted(out, std::string_view(data).substr(0, data.size() - 1));
        return;
    }
    std::vector<std::string_view> items;
    if (value.type == REG_MULTI_SZ && SplitMulti(data, items)) {
        out += "multi:";
        for (size_t i = 0; i < items.size(); ++i) {
            if (i)
                out += ',';
            AppendQuoted(out, items[i]);
        }
        return;
    }
    if (value.type == REG_DWORD && data.size() == 4) {
        uint32_t dw = 0;
        for (int i = 3; i >= 0; --i)
            dw = (dw << 8) | static_cast<unsigned char>(data[static_cast<size_t>(i)]);
        snprintf(number, sizeof number, "dword:%08" PRIx32, dw);
        out += number;
        return;
    }
    if (value.type == REG_QWORD && data.size() == 8) {
        uint64_t qw = 0;
        for (int i = 7; i >= 0; --i)
            qw = (qw << 8) | static_cast<unsigned char>(data[static_cast<size_t>(i)]);
        snprintf(number, sizeof number, "qword:%016" PRIx64, qw);
        out += number;
        return;
    }
    AppendHex(out, value);
}

void AppendKey(std::string &out, const Key &key, std::string &path)
{
    char numbers[64];
    out += "\n[";
    out += path;
    snprintf(numbers, sizeof numbers, "] %" PRIu64 " %" PRIu64 "\n", key.id(), key.lastWrite());
    out += numbers;
    for (const Value &value : key.values()) {
        if (value.name.empty())
            out += '@';
        else
            AppendQuoted(out, value.name);
        out += '=';
        AppendData(out, value);
        out += '\n';
    }
    for (const auto &entry : key.children()) {
        const size_t mark = path.size();
        if (!path.empty())
            path += '\\';
        AppendComponent(path, entry.second->name());
        AppendKey(out, *entry.second, path); // depth is bounded by kMaxDepth
        path.resize(mark);
    }
}

} // namespace

std::string SerializeHive(const Tree &tree, std::string_view title)
{
    std::string out;
    char numbers[96];
    out += kHiveMagic;
    out += "\n; ";
    out += title;
    out += " (written by winport; change it with winport-reg)\n";
    snprintf(numbers, sizeof numbers, "#generation %" PRIu64 "\n#nextid %" PRIu64 "\n",
             tree.generation, tree.nextId);
    out += numbers;
    std::string path;
    AppendKey(out, tree.root(), path);
    return out;
}

} // namespace winport::reg
