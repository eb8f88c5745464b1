/*
 * Reading a hive's text (format in hive_format.h).  Bounded by the file's
 * length and the registry's limits; a damaged line is skipped and
 * reported, never trusted.
 */
#include "registry/hive_format.h"

#include <charconv>

namespace winport::reg {
namespace {

constexpr size_t kMaxReportedProblems = 10;

int HexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

bool ParseU64(std::string_view text, uint64_t &out, int base = 10)
{
    if (text.empty())
        return false;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), out, base);
    return ec == std::errc() && end == text.data() + text.size();
}

void SkipSpaces(std::string_view line, size_t &pos)
{
    while (pos < line.size() && (line[pos] == ' ' || line[pos] == '\t'))
        ++pos;
}

bool Consume(std::string_view line, size_t &pos, std::string_view word)
{
    if (line.substr(pos, word.size()) != word)
        return false;
    pos += word.size();
    return true;
}

/* A quoted string starting at line[pos]; pos ends after the closing quote. */
bool ReadQuoted(std::string_view line, size_t &pos, std::string &out, size_t limit)
{
    out.clear();
    if (pos >= line.size() || line[pos] != '"')
        return false;
    for (++pos; pos < line.size(); ++pos) {
        char c = line[pos];
        if (c == '"') {
            ++pos;
            return true;
        }
        if (c == '\0' || out.size() >= limit)
            return false;
        if (c != '\\') {
            out += c;
            continue;
        }
        if (++pos >= line.size())
            return false;
        switch (line[pos]) {
        case '\\':
        case '"':
            out += line[pos];
            break;
        case 'n':
            out += '\n';
            break;
        case 'r':
            out += '\r';
            break;
        case 't':
            out += '\t';
            break;
        case 'x': {
            if (pos + 2 >= line.size())
                return false;
            int hi = HexDigit(line[pos + 1]), lo = HexDigit(line[pos + 2]);
            if (hi < 0 || lo < 0)
                return false;
            out += static_cast<char>(hi * 16 + lo);
            pos += 2;
            break;
        }
        default:
            return false;
        }
    }
    return false;
}

/* "hh,hh,..." to the end of the line. */
bool ReadHexBytes(std::string_view line, size_t pos, std::string &out)
{
    out.clear();
    SkipSpaces(line, pos);
    while (pos < line.size()) {
        if (pos + 1 >= line.size() || out.size() >= kMaxValueSize)
            return false;
        int hi = HexDigit(line[pos]), lo = HexDigit(line[pos + 1]);
        if (hi < 0 || lo < 0)
            return false;
        out += static_cast<char>(hi * 16 + lo);
        pos += 2;
        SkipSpaces(line, pos);
        if (pos < line.size() && line[pos] == ',') {
            ++pos;
            SkipSpaces(line, pos);
            if (pos >= line.size())
                return false;
        } else if (pos < line.size()) {
            return false;
        }
    }
    return true;
}

/* "xxxxxxxx" as `bytes` little-endian bytes. */
bool ReadNumber(std::string_view text, size_t bytes, std::string &out)
{
    uint64_t number = 0;
    if (text.size() > bytes * 2 || !ParseU64(text, number, 16))
        return false;
    out.clear();
    for (size_t i = 0; i < bytes; ++i, number >>= 8)
        out += static_cast<char>(number & 0xff);
    return true;
}

bool ReadMulti(std::string_view line, size_t pos, std::string &out)
{
    out.clear();
    std::string item;
    SkipSpaces(line, pos);
    while (pos < line.size()) {
        if (!ReadQuoted(line, pos, item, kMaxValueSize) || item.empty() ||
            item.find('\0') != std::string::npos || out.size() + item.size() >= kMaxValueSize)
            return false;
        out += item;
        out += '\0';
        SkipSpaces(line, pos);
        if (pos < line.size() && !Consume(line, pos, ","))
            return false;
        SkipSpaces(line, pos);
    }
    out += '\0';
    return true;
}

/* "N):" after "str(" or "hex(": the type number in hex. */
bool ReadTypeNumber(std::string_view line, size_t &pos, DWORD &type)
{
    size_t close = line.find("):", pos);
    uint64_t number = 0;
    if (close == std::string_view::npos || !ParseU64(line.substr(pos, close - pos), number, 16) ||
        number > 0xffffffffu)
        return false;
    type = static_cast<DWORD>(number);
    pos = close + 2;
    return true;
}

/* The data part of a value line: type and bytes. */
bool ReadData(std::string_view line, size_t pos, DWORD &type, std::string &data)
{
    type = REG_SZ;
    if (Consume(line, pos, "str(") && !ReadTypeNumber(line, pos, type))
        return false;
    if (pos < line.size() && line[pos] == '"') {
        if (!ReadQuoted(line, pos, data, kMaxValueSize - 1))
            return false;
        data += '\0';
        SkipSpaces(line, pos);
        return pos == line.size();
    }
    if (Consume(line, pos, "multi:")) {
        type = REG_MULTI_SZ;
        return ReadMulti(line, pos, data);
    }
    if (Consume(line, pos, "dword:")) {
        type = REG_DWORD;
        return ReadNumber(line.substr(pos), 4, data);
    }
    if (Consume(line, pos, "qword:")) {
        type = REG_QWORD;
        return ReadNumber(line.substr(pos), 8, data);
    }
    if (Consume(line, pos, "hex:")) {
        type = REG_BINARY;
        return ReadHexBytes(line, pos, data);
    }
    if (Consume(line, pos, "hex(") && ReadTypeNumber(line, pos, type))
        return ReadHexBytes(line, pos, data);
    return false;
}

/* A section path: components separated by '\', each %HH-unescaped. */
bool ReadPath(std::string_view text, std::vector<std::string> &parts)
{
    parts.clear();
    if (text.empty())
        return true; // the root
    std::string part;
    for (size_t pos = 0; pos <= text.size(); ++pos) {
        if (pos == text.size() || text[pos] == '\\') {
            if (part.empty() || part.size() > kMaxKeyNameLen || parts.size() >= kMaxDepth)
                return false;
            parts.push_back(std::move(part));
            part.clear();
        } else if (text[pos] == '%') {
            if (pos + 2 >= text.size())
                return false;
            int hi = HexDigit(text[pos + 1]), lo = HexDigit(text[pos + 2]);
            if (hi < 0 || lo < 0 || hi * 16 + lo == 0)
                return false;
            part += static_cast<char>(hi * 16 + lo);
            pos += 2;
        } else if (text[pos] == '\0') {
            return false;
        } else {
            part += text[pos];
        }
    }
    return true;
}

class Reader {
public:
    Reader(HiveKind kind, uint64_t now, ParseReport &report)
        : kind_(kind), now_(now), report_(report), tree_(now)
    {}

    Tree Run(std::string_view text);

private:
    void Line(std::string_view line);
    bool Header(std::string_view line);
    bool Section(std::string_view line);
    bool ValueLine(std::string_view line);
    void Damaged(const char *why);

    HiveKind kind_;
    uint64_t now_;
    ParseReport &report_;
    Tree tree_;
    size_t lineNo_ = 0;
    bool sawMagic_ = false;
    bool skipping_ = false; // inside a section whose header was damaged
    Key *current_ = nullptr;
    uint64_t recordedNextId_ = 0;
};

void Reader::Damaged(const char *why)
{
    ++report_.damagedLines;
    if (report_.problems.size() < kMaxReportedProblems)
        report_.problems.push_back("line " + std::to_string(lineNo_) + ": " + why);
}

Tree Reader::Run(std::string_view text)
{
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find('\n', pos);
        bool complete = end != std::string_view::npos;
        std::string_view line = text.substr(pos, complete ? end - pos : std::string_view::npos);
        pos = complete ? end + 1 : text.size();
        ++lineNo_;
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        if (!complete && !line.empty()) {
            Damaged("the file ends inside this line"); // cut short: keep what came before
            break;
        }
        Line(line);
    }
    tree_.nextId = std::max(tree_.nextId, recordedNextId_);
    tree_.AssignMissingIds();
    return std::move(tree_);
}

void Reader::Line(std::string_view line)
{
    size_t start = 0;
    SkipSpaces(line, start);
    line.remove_prefix(start);
    while (!line.empty() && (line.back() == ' ' || line.back() == '\t'))
        line.remove_suffix(1);
    if (line.empty() || line[0] == ';')
        return;
    if (!sawMagic_) {
        sawMagic_ = true;
        if (line == kHiveMagic)
            return;
        Damaged("not a winport registry file header");
    }
    if (line[0] == '#') {
        if (!Header(line))
            Damaged("unreadable header line");
        return;
    }
    if (line[0] == '[') {
        skipping_ = !Section(line);
        if (skipping_)
            Damaged("unreadable key section; its values are skipped");
        return;
    }
    if (skipping_) {
        ++report_.damagedLines;
        return;
    }
    if (!current_ || !ValueLine(line))
        Damaged("unreadable value line");
}

bool Reader::Header(std::string_view line)
{
    size_t space = line.find(' ');
    std::string_view word = line.substr(0, space);
    if (word != "#generation" && word != "#nextid")
        return true; // a comment
    uint64_t number = 0;
    if (space == std::string_view::npos || !ParseU64(line.substr(space + 1), number))
        return false;
    if (word == "#generation")
        tree_.generation = number;
    else
        recordedNextId_ = number <= Tree::kMaxRecordedId ? number : 0;
    return true;
}

bool Reader::Section(std::string_view line)
{
    size_t close = line.find(']');
    std::vector<std::string> parts;
    if (close == std::string_view::npos || !ReadPath(line.substr(1, close - 1), parts))
        return false;
    uint64_t id = Tree::kPendingId, time = now_;
    std::string_view rest = line.substr(close + 1);
    size_t pos = 0;
    SkipSpaces(rest, pos);
    if (pos < rest.size()) {
        size_t gap = rest.find(' ', pos);
        if (gap == std::string_view::npos || !ParseU64(rest.substr(pos, gap - pos), id) ||
            id == 0 || !ParseU64(rest.substr(gap + 1), time))
            return false;
        if (id > Tree::kMaxRecordedId)
            id = Tree::kPendingId;
    }
    Key *key = &tree_.root();
    for (size_t i = 0; i < parts.size(); ++i) {
        std::string_view name = CanonicalName(*key, parts[i], kind_);
        Key *child = key->Child(name);
        if (!child)
            child =
                &tree_.AddChild(*key, name, time, i + 1 == parts.size() ? id : Tree::kPendingId);
        key = child;
    }
    key->Touch(time);
    current_ = key;
    return true;
}

bool Reader::ValueLine(std::string_view line)
{
    std::string name, data;
    size_t pos = 0;
    if (line[0] == '@') {
        pos = 1;
    } else if (!ReadQuoted(line, pos, name, kMaxValueNameLen) || name.empty() ||
               name.find('\0') != std::string::npos) {
        return false;
    }
    DWORD type = REG_NONE;
    SkipSpaces(line, pos);
    if (!Consume(line, pos, "="))
        return false;
    SkipSpaces(line, pos);
    if (!ReadData(line, pos, type, data) || data.size() > kMaxValueSize)
        return false;
    current_->SetValue(name, type, std::move(data));
    return true;
}

} // namespace

Tree ParseHive(std::string_view text, HiveKind kind, uint64_t now, ParseReport &report)
{
    Reader reader(kind, now, report);
    return reader.Run(text);
}

} // namespace winport::reg
