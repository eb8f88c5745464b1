/*
 * Version records (see version_record.h): building one for the build tool,
 * finding a value in one for VerQueryValueA, and finding one in an ELF
 * image for GetFileVersionInfoA.  Every read is bounded by the bytes given:
 * the images are files a peer may have sent.
 */
#include "version/version_record.h"

#include <cstdio>
#include <cstring>

namespace winport::version {
namespace {

constexpr uint32_t kFixedSignature = 0xFEEF04BD;
constexpr uint32_t kFixedStrucVersion = 0x00010000;
constexpr uint32_t kFixedFlagsMask = 0x3F;
constexpr uint32_t kFixedOsNtWindows32 = 0x00040004;
constexpr size_t kNodeHeader = 6; // wLength, wValueLength, wType

size_t Align4(size_t n)
{
    return (n + 3) & ~static_cast<size_t>(3);
}

uint16_t Word(const uint8_t *p)
{
    return static_cast<uint16_t>(p[0] | p[1] << 8);
}

uint32_t Dword(const uint8_t *p)
{
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

uint64_t Qword(const uint8_t *p)
{
    return Dword(p) | static_cast<uint64_t>(Dword(p + 4)) << 32;
}

/* UTF-8 to UTF-16 code units; a malformed sequence becomes U+FFFD. */
std::u16string Utf16(const std::string &text)
{
    std::u16string out;
    for (size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        uint32_t cp = 0xFFFD;
        size_t n = 1;
        if (c < 0x80) {
            cp = c;
        } else if ((c & 0xE0) == 0xC0 && i + 1 < text.size()) {
            cp = (c & 0x1Fu) << 6 | (static_cast<unsigned char>(text[i + 1]) & 0x3Fu);
            n = 2;
        } else if ((c & 0xF0) == 0xE0 && i + 2 < text.size()) {
            cp = (c & 0x0Fu) << 12 | (static_cast<unsigned char>(text[i + 1]) & 0x3Fu) << 6 |
                 (static_cast<unsigned char>(text[i + 2]) & 0x3Fu);
            n = 3;
        } else if ((c & 0xF8) == 0xF0 && i + 3 < text.size()) {
            cp = (c & 0x07u) << 18 | (static_cast<unsigned char>(text[i + 1]) & 0x3Fu) << 12 |
                 (static_cast<unsigned char>(text[i + 2]) & 0x3Fu) << 6 |
                 (static_cast<unsigned char>(text[i + 3]) & 0x3Fu);
            n = 4;
        }
        i += n;
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out += static_cast<char16_t>(0xD800 + (cp >> 10));
            out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
        } else {
            out += static_cast<char16_t>(cp);
        }
    }
    return out;
}

/* One node being written: the caller appends the value and children, then
 * Close() fills in wLength. */
class NodeWriter {
public:
    NodeWriter(std::vector<uint8_t> &out, const std::string &key, uint16_t valueLength,
               uint16_t type)
        : out_(out), start_(out.size())
    {
        PutWord(0);
        PutWord(valueLength);
        PutWord(type);
        for (char16_t unit : Utf16(key))
            PutWord(unit);
        PutWord(0);
        Pad();
    }
    void PutWord(uint32_t v)
    {
        out_.push_back(static_cast<uint8_t>(v));
        out_.push_back(static_cast<uint8_t>(v >> 8));
    }
    void PutDword(uint32_t v)
    {
        PutWord(v & 0xFFFF);
        PutWord(v >> 16);
    }
    void Pad()
    {
        while (out_.size() % 4)
            out_.push_back(0);
    }
    /* False when the node outgrew a WORD. */
    bool Close()
    {
        const size_t length = out_.size() - start_;
        if (length > kMaxRecord)
            return false;
        out_[start_] = static_cast<uint8_t>(length);
        out_[start_ + 1] = static_cast<uint8_t>(length >> 8);
        return true;
    }

private:
    std::vector<uint8_t> &out_;
    size_t start_;
};

void PutFixedInfo(NodeWriter &root, const RecordSpec &spec)
{
    const uint16_t *file = spec.fileVersion;
    bool noProduct = true;
    for (int i = 0; i < 4; i++)
        noProduct = noProduct && spec.productVersion[i] == 0;
    const uint16_t *product = noProduct ? file : spec.productVersion;
    root.PutDword(kFixedSignature);
    root.PutDword(kFixedStrucVersion);
    root.PutDword(static_cast<uint32_t>(file[0]) << 16 | file[1]);
    root.PutDword(static_cast<uint32_t>(file[2]) << 16 | file[3]);
    root.PutDword(static_cast<uint32_t>(product[0]) << 16 | product[1]);
    root.PutDword(static_cast<uint32_t>(product[2]) << 16 | product[3]);
    root.PutDword(kFixedFlagsMask);
    root.PutDword(0); // no flags: a release build
    root.PutDword(kFixedOsNtWindows32);
    root.PutDword(spec.fileType);
    root.PutDword(0); // subtype
    root.PutDword(0); // date, as resource compilers leave it
    root.PutDword(0);
}

bool SameNameNoCase(const uint8_t *key, size_t units, const char *name, size_t nameLength)
{
    if (units != nameLength)
        return false;
    for (size_t i = 0; i < units; i++) {
        uint16_t unit = Word(key + 2 * i);
        auto c = static_cast<unsigned char>(name[i]);
        if (unit >= 'A' && unit <= 'Z')
            unit = static_cast<uint16_t>(unit + 32);
        if (c >= 'A' && c <= 'Z')
            c = static_cast<unsigned char>(c + 32);
        if (unit != c)
            return false;
    }
    return true;
}

/* A node parsed in place: where its value and children lie. */
struct Node {
    size_t start = 0, end = 0;          // the node: [start, end)
    size_t keyOffset = 0, keyUnits = 0; // key without its NUL
    size_t valueOffset = 0, valueBytes = 0;
    size_t childrenOffset = 0;
    bool text = false;
};

/* The node at `start` that must end by `limit`. */
bool ParseNode(const uint8_t *record, size_t start, size_t limit, Node *node)
{
    if (start + kNodeHeader > limit)
        return false;
    const size_t length = Word(record + start);
    const size_t valueLength = Word(record + start + 2);
    const uint16_t type = Word(record + start + 4);
    if (length < kNodeHeader || start + length > limit)
        return false;
    node->start = start;
    node->end = start + length;
    node->text = type == 1;
    node->keyOffset = start + kNodeHeader;
    size_t at = node->keyOffset;
    while (at + 2 <= node->end && Word(record + at) != 0)
        at += 2;
    if (at + 2 > node->end)
        return false; // a key without its NUL
    node->keyUnits = (at - node->keyOffset) / 2;
    node->valueOffset = Align4(at + 2);
    /* wValueLength counts characters for text and bytes for binary data. */
    node->valueBytes = node->text ? valueLength * 2 : valueLength;
    if (node->valueOffset > node->end)
        node->valueOffset = node->end;
    if (node->valueOffset + node->valueBytes > node->end)
        return false;
    node->childrenOffset = Align4(node->valueOffset + node->valueBytes);
    return true;
}

} // namespace

std::vector<uint8_t> BuildRecord(const RecordSpec &spec)
{
    std::vector<uint8_t> out;
    NodeWriter root(out, "VS_VERSION_INFO", 52, 0);
    PutFixedInfo(root, spec);
    bool ok = true;
    {
        NodeWriter stringInfo(out, "StringFileInfo", 0, 1);
        char tableKey[16];
        snprintf(tableKey, sizeof tableKey, "%04x%04x", spec.language, spec.codePage);
        NodeWriter table(out, tableKey, 0, 1);
        for (const auto &[key, value] : spec.strings) {
            const std::u16string units = Utf16(value);
            NodeWriter entry(out, key, static_cast<uint16_t>(units.size() + 1), 1);
            for (char16_t unit : units)
                entry.PutWord(unit);
            entry.PutWord(0);
            ok = ok && units.size() < kMaxRecord && entry.Close();
            entry.Pad();
        }
        ok = ok && table.Close();
        ok = ok && stringInfo.Close();
    }
    {
        NodeWriter varInfo(out, "VarFileInfo", 0, 1);
        NodeWriter translation(out, "Translation", 4, 0);
        translation.PutWord(spec.language);
        translation.PutWord(spec.codePage);
        ok = ok && translation.Close() && varInfo.Close();
    }
    ok = ok && root.Close();
    if (!ok)
        out.clear();
    return out;
}

bool ParseVersion(const std::string &text, uint16_t out[4])
{
    uint32_t parts[4] = {0, 0, 0, 0};
    int count = 0;
    size_t i = 0;
    while (count < 4) {
        if (i >= text.size() || text[i] < '0' || text[i] > '9')
            return false;
        uint32_t v = 0;
        while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
            v = v * 10 + static_cast<uint32_t>(text[i++] - '0');
            if (v > 0xFFFF)
                return false;
        }
        parts[count++] = v;
        if (i == text.size())
            break;
        if (text[i++] != '.')
            return false;
    }
    if (i != text.size())
        return false;
    for (int k = 0; k < 4; k++)
        out[k] = static_cast<uint16_t>(parts[k]);
    return true;
}

bool FindValue(const uint8_t *record, size_t size, const char *path, Found *found)
{
    Node node;
    if (!record || !path || !ParseNode(record, 0, size, &node))
        return false;
    const char *p = path;
    for (;;) {
        while (*p == '\\')
            ++p;
        if (!*p)
            break;
        const char *end = p;
        while (*end && *end != '\\')
            ++end;
        const auto nameLength = static_cast<size_t>(end - p);
        bool matched = false;
        Node child;
        for (size_t at = node.childrenOffset; at < node.end; at = Align4(child.end)) {
            if (!ParseNode(record, at, node.end, &child))
                return false;
            if (SameNameNoCase(record + child.keyOffset, child.keyUnits, p, nameLength)) {
                matched = true;
                break;
            }
        }
        if (!matched)
            return false;
        node = child;
        p = end;
    }
    found->valueOffset = node.valueOffset;
    found->valueLength = node.valueBytes;
    found->text = node.text;
    return true;
}

int FindRecordInElf(const ReadAt &read, uint64_t size, std::vector<uint8_t> *record)
{
    uint8_t ident[64];
    if (size < 52 || !read(0, size < 64 ? 52 : 64, ident))
        return -1;
    if (memcmp(ident,
               "\x7f"
               "ELF",
               4) != 0 ||
        ident[5] != 1 /* little-endian */)
        return -1;
    const bool wide = ident[4] == 2;
    if (!wide && ident[4] != 1)
        return -1;
    if (wide && size < 64)
        return -1;
    const uint64_t shoff = wide ? Qword(ident + 0x28) : Dword(ident + 0x20);
    const size_t shentsize = Word(ident + (wide ? 0x3A : 0x2E));
    const size_t shnum = Word(ident + (wide ? 0x3C : 0x30));
    const size_t entryBytes = wide ? 64 : 40;
    if (shnum == 0)
        return 0;
    if (shentsize < entryBytes || shoff > size || shnum * shentsize > size - shoff)
        return -1;
    for (size_t i = 0; i < shnum; i++) {
        uint8_t sh[64];
        if (!read(shoff + i * shentsize, entryBytes, sh))
            return -1;
        constexpr uint32_t kShtNote = 7;
        if (Dword(sh + 4) != kShtNote)
            continue;
        const uint64_t offset = wide ? Qword(sh + 0x18) : Dword(sh + 0x10);
        const uint64_t bytes = wide ? Qword(sh + 0x20) : Dword(sh + 0x14);
        if (offset > size || bytes > size - offset)
            return -1;
        /* Notes: namesz, descsz, type, name (4-aligned), descriptor (4-aligned). */
        for (uint64_t at = 0; at + 12 <= bytes;) {
            uint8_t head[12];
            if (!read(offset + at, 12, head))
                return -1;
            const uint64_t namesz = Dword(head), descsz = Dword(head + 4);
            const uint64_t nameAt = at + 12, descAt = nameAt + Align4(namesz);
            const uint64_t next = descAt + Align4(descsz);
            if (next > bytes)
                return -1;
            const size_t ownerBytes = strlen(kNoteOwner) + 1;
            char owner[16] = {};
            if (Dword(head + 8) == kNoteType && namesz == ownerBytes &&
                read(offset + nameAt, ownerBytes, owner) &&
                memcmp(owner, kNoteOwner, ownerBytes) == 0) {
                if (descsz < kNodeHeader || descsz > kMaxRecord)
                    return -1;
                record->resize(descsz);
                if (!read(offset + descAt, descsz, record->data()))
                    return -1;
                return 1;
            }
            at = next;
        }
    }
    return 0;
}

} // namespace winport::version
